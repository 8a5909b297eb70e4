// Modal choosers of a file to open, a file to save and a folder, and the
// framework's file dialog over them. The GTK backend shows a GTK file
// chooser (timers keep firing meanwhile); any other backend answers from the
// handler a test sets. UI thread only.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/cstring.h"
#include "platform/window/window_types.h"

class CWnd;

struct FileChooserRequest {
  enum Kind { OPEN, SAVE, FOLDER } kind = OPEN;
  std::wstring title;
  std::wstring folder;  // shown first; empty: the chooser's default
  std::wstring name;    // initial file name (SAVE) or file to select (OPEN)
  // Pairs of a description and its patterns separated by ';' ("*.txt;*.log").
  std::vector<std::pair<std::wstring, std::wstring>> filters;
  bool confirmOverwrite = false;  // SAVE: ask before an existing file is replaced
  // The window the chooser stands above: RunFileChooser sets it from its
  // owner, or the main or active window when the owner is not shown.
  HWND transientFor = nullptr;
};

// The chosen path, or nothing when the chooser was cancelled.
std::optional<std::wstring> RunFileChooser(HWND owner, const FileChooserRequest &request);
// Answers choosers outside the GTK backend (tests); without a handler every
// chooser is cancelled.
void SetFileChooserHandler(std::function<std::optional<std::wstring>(const FileChooserRequest &)> handler);

#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u

class CFileDialog {
 public:
  struct OPENFILENAMEW {
    DWORD Flags = 0;
    LPCWSTR lpstrInitialDir = nullptr;
    LPCWSTR lpstrDefExt = nullptr;
  };

  // `filter` is "Description|*.a;*.b|...|" with an optional closing '|'.
  CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = nullptr, LPCWSTR lpszFileName = nullptr,
              DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCWSTR lpszFilter = nullptr,
              CWnd *pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);
  // IDOK with a chosen path, else IDCANCEL. A Save As dialog appends the
  // default extension to a chosen name that has none.
  INT_PTR DoModal();
  CString GetPathName() const { return m_strPathName; }

  OPENFILENAMEW m_ofn;

 private:
  BOOL m_bOpenFileDialog;
  std::wstring m_strDefExt, m_strFileName, m_strFilter;
  CWnd *m_pParentWnd;
  CString m_strPathName;
};

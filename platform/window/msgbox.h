// Modal message boxes. The GTK backend shows a modal dialog (timers keep
// firing meanwhile); the headless backend answers from the test's script.
// Callable from any thread: off the UI thread the box runs on the UI thread and
// the caller waits for the answer.
#pragma once

#include "platform/window/window_types.h"

class CWnd;

// The answer: IDOK, IDCANCEL, IDYES, ... The close button counts as Cancel when
// the box has one, else as its only button. A NULL caption shows "错误" (the
// original system's "Error" in the program's language).
int MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType);
inline int MessageBox(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  return MessageBoxW(hWnd, lpText, lpCaption, uType);
}
// The framework's box: the application's name as caption, owned by the main
// window when one exists.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);

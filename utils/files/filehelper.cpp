#include "utils/files/filehelper.h"

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/system/afxfile.h"
#include "platform/system/fileapi.h"
#include "platform/system/module.h"
#include "platform/text/codepage.h"
#include "platform/window/filedialog.h"
#include "platform/window/window.h"
#include "utils/files/pathhelper.h"

BOOL SaveTextToFile(CString strPath, CString strText) {
  CFile file;
  if (!file.Open(strPath, CFile::modeCreate | CFile::modeWrite | CFile::typeBinary)) return FALSE;
  const std::string bytes = WideToUtf16Le(strText.GetString(), strText.GetLength());
  file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
  file.Close();
  return TRUE;
}

CString LoadTextFromFile(CString strPath) {
  CFile file;
  if (!file.Open(strPath, CFile::modeRead | CFile::typeBinary)) return CString();
  std::vector<char> bytes(static_cast<size_t>(file.GetLength()));
  size_t done = 0;
  while (done < bytes.size()) {
    const UINT n = file.Read(bytes.data() + done, static_cast<UINT>(std::min<size_t>(bytes.size() - done, 1u << 30)));
    if (n == 0) break;
    done += n;
  }
  file.Close();
  std::wstring text = Utf16LeToWide(bytes.data(), done);
  text.resize(std::wcslen(text.c_str()));
  return CString(text.c_str());
}

BOOL IsFileExist(CString strPath) {
  if (strPath.GetLength() >= MAX_PATH) return FALSE;
  return GetFileAttributesW(strPath) != INVALID_FILE_ATTRIBUTES;
}

BOOL IsDirectory(CString strPath) { return PathIsDirectoryW(strPath); }

BOOL IsFileInUse(CString strPath) {
  const HANDLE h =
      CreateFileW(strPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return TRUE;
  CloseHandle(h);
  return FALSE;
}

CString GetFileSystemName(CString strPath) {
  if (strPath.IsEmpty()) return CString();
  // The mount point that holds the path is the root of its volume.
  std::vector<wchar_t> root(4096);
  if (!GetVolumePathNameW(strPath, root.data(), static_cast<DWORD>(root.size()))) return CString();
  wchar_t name[MAX_PATH] = {};
  if (!GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, nullptr, name, MAX_PATH)) return CString();
  return name;
}

BOOL DeleteFileSafe(const CString &strPath) { return DeleteFileW(strPath); }

BOOL CopyFileTo(CString strSource, CString strTarget) {
  if (!IsFileExist(strSource)) return FALSE;
  return CopyFileW(strSource, strTarget, FALSE);
}

namespace {

CString SpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  return SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) ? CString(buffer) : CString();
}

}  // namespace

CString GetDesktopPath() { return SpecialFolder(CSIDL_DESKTOPDIRECTORY); }

CString GetAppDataPath() { return SpecialFolder(CSIDL_APPDATA); }

CString GetAppFileName() {
  std::vector<wchar_t> buffer(4096);
  const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  const std::wstring path(buffer.data(), length < buffer.size() ? length : 0);
  const size_t slash = path.rfind(L'/');
  return slash == std::wstring::npos ? CString() : CString(path.c_str() + slash + 1);
}

BOOL ShowFileDialog(CString &strPath, CString strInitialDir, HWND hOwner, CString strFilter, LPCTSTR lpszDefExt,
                    BOOL bOpen, CString strFileName) {
  CWnd *owner = hOwner ? CWnd::FromHandle(hOwner) : nullptr;
  CFileDialog dialog(bOpen, lpszDefExt, strFileName, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, strFilter, owner, 0, TRUE);
  dialog.m_ofn.lpstrInitialDir = strInitialDir;
  if (dialog.DoModal() != IDOK) return FALSE;
  strPath = dialog.GetPathName();
  return TRUE;
}

BOOL BrowseFolder(const CString &strInitialPath, HWND hOwner, CString &strFolder) {
  FileChooserRequest request;
  request.kind = FileChooserRequest::FOLDER;
  request.title = L"浏览目录";
  request.folder = GetParentFolder(strInitialPath).GetString();
  const std::optional<std::wstring> chosen = RunFileChooser(hOwner, request);
  if (!chosen || chosen->empty()) return FALSE;
  strFolder = chosen->c_str();
  return TRUE;
}

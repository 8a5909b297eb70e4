#include "utils/files/filesyshelper.h"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system/fileapi.h"
#include "platform/system/shellfileop.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "utils/base/autobuffer.h"
#include "utils/files/apppath.h"
#include "utils/files/detail/writeall.h"
#include "utils/files/pathhelper.h"
#include "utils/files/replacefile.h"

namespace FileSysHelper {

namespace {

using pcutil::WriteAll;

HRESULT LastErrorResult() { return HRESULT_FROM_WIN32(GetLastError()); }

// Owns a file handle for the length of one call.
class FileHandle {
 public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  FileHandle(const FileHandle &) = delete;
  FileHandle &operator=(const FileHandle &) = delete;
  ~FileHandle() {
    if (IsOpen()) CloseHandle(h_);
  }
  bool IsOpen() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

HANDLE OpenForReading(const CString &path) {
  return CreateFileW(path, FILE_READ_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

HANDLE OpenForWriting(const CString &path, DWORD disposition) {
  return CreateFileW(path, FILE_WRITE_DATA, FILE_SHARE_WRITE, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int EncodingOfFirstByte(BYTE first) {
  if (first == 0xEF) return FILE_ENCODING_UTF8;
  if (first == 0xFF || first == 0xFE) return FILE_ENCODING_UNICODE;
  return FILE_ENCODING_ANSI;
}

// Appends the bytes; a failed write cuts the file back to its old length.
BOOL AppendWhole(const CString &path, const void *data, size_t size) {
  FileHandle file(OpenForWriting(path, OPEN_ALWAYS));
  if (!file.IsOpen()) return FALSE;
  LONG high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(file.get(), 0, &high, FILE_END);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return FALSE;
  if (WriteAll(file.get(), data, size)) return TRUE;
  const DWORD error = GetLastError();
  LONG restoreHigh = high;
  SetFilePointer(file.get(), static_cast<LONG>(low), &restoreHigh, FILE_BEGIN);
  SetEndOfFile(file.get());
  SetLastError(error);
  return FALSE;
}

// The wide text of a narrow buffer up to its first NUL.
CString NarrowToText(UINT codePage, const BYTE *bytes) {
  const char *p = reinterpret_cast<const char *>(bytes);
  return CString(MultiByteToWide(codePage, p, std::strlen(p)).c_str());
}

// Runs one shell operation on a single source and destination. The lists
// are built to their full length with the double NUL the operation needs.
BOOL RunShellOperation(UINT func, FILEOP_FLAGS flags, const CString &from, const CString *to) {
  std::wstring fromList(from.GetString());
  fromList.append(2, L'\0');
  std::wstring toList;
  if (to) {
    toList = to->GetString();
    toList.append(2, L'\0');
  }
  SHFILEOPSTRUCTW op;
  op.wFunc = func;
  op.pFrom = fromList.c_str();
  op.pTo = to ? toList.c_str() : nullptr;
  op.fFlags = flags;
  return SHFileOperationW(&op) == 0;
}

constexpr FILEOP_FLAGS kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
constexpr FILEOP_FLAGS kQuietMulti = kQuiet | FOF_MULTIDESTFILES;

BOOL TransferTo(UINT func, FILEOP_FLAGS flags, const CString &from, const CString &to, BOOL createDest) {
  if (createDest) CreateDirectoryTree(to);
  return RunShellOperation(func, flags, from, &to);
}

CString WithoutTrailingSlash(CString dir) {
  if (dir.GetLength() > 1 && dir[dir.GetLength() - 1] == L'/') dir = dir.Left(dir.GetLength() - 1);
  return dir;
}

}  // namespace

BOOL CreateDirectoryTree(const CString &path) {
  if (PathIsDirectoryW(path)) return TRUE;
  // The root needs no creating; every folder below it is created in turn.
  const std::wstring text(path.GetString());
  for (size_t slash = text.find(L'/', 1); slash != std::wstring::npos; slash = text.find(L'/', slash + 1)) {
    CreateDirectoryW(text.substr(0, slash).c_str(), nullptr);
  }
  SetLastError(ERROR_SUCCESS);
  if (CreateDirectoryW(path, nullptr)) return TRUE;
  // An existing entry counts only when it is a folder, not a file.
  return GetLastError() == ERROR_ALREADY_EXISTS && PathIsDirectoryW(path);
}

CString GetExeDir() { return GetAppFilePath(CString()); }

CString GetAppDir() { return GetExeDir(); }

CString GetAppDataDir() {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return CString(buffer) + L"/Lumaro/" + L"DEBUG/";
}

CString GetUserDataDir() { return GetAppDataDir(); }

CString GetTempDir() {
  std::vector<wchar_t> buffer(GetTempPathW(0, nullptr) + 1);
  GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  return WithoutTrailingSlash(buffer.data());
}

CString GetTempFilePath() {
  wchar_t buffer[MAX_PATH] = {};
  GetTempFileNameW(GetTempDir(), L"imp", 0, buffer);
  return buffer;
}

CString GetWinDir() {
  wchar_t buffer[MAX_PATH] = {};
  GetWindowsDirectoryW(buffer, MAX_PATH);
  return WithoutTrailingSlash(buffer);
}

BOOL ShellCopy(const CString &strFrom, const CString &strTo, BOOL bCreateDest) {
  return TransferTo(FO_COPY, kQuiet, strFrom, strTo, bCreateDest);
}

BOOL ShellCopyEx(const CString &strFrom, const CString &strTo, BOOL bCreateDest) {
  return TransferTo(FO_COPY, kQuietMulti, strFrom, strTo, bCreateDest);
}

BOOL ShellDelete(const CString &strPath) { return RunShellOperation(FO_DELETE, kQuiet, strPath, nullptr); }

BOOL ShellDeleteEx(const CString &strPath) { return RunShellOperation(FO_DELETE, kQuietMulti, strPath, nullptr); }

BOOL ShellMove(const CString &strFrom, const CString &strTo, BOOL bCreateDest) {
  return TransferTo(FO_MOVE, kQuiet, strFrom, strTo, bCreateDest);
}

BOOL ShellRename(const CString &strOld, const CString &strNew) {
  if (GetParentFolder(strOld) != GetParentFolder(strNew)) return FALSE;
  return RunShellOperation(FO_RENAME, kQuiet, strOld, &strNew);
}

BOOL FileExists(const CString &strPath) { return GetFileAttributesW(strPath) != INVALID_FILE_ATTRIBUTES; }

HRESULT ReadTextFile(const CString &strPath, CString &strText, int encoding) {
  FileHandle file(OpenForReading(strPath));
  if (!file.IsOpen()) return LastErrorResult();
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return LastErrorResult();
  if (size.QuadPart == 0) {
    strText.Empty();
    return S_OK;
  }
  // The content is followed by two zero bytes: a NUL for either width.
  if (size.QuadPart > INT_MAX - 2) return E_OUTOFMEMORY;
  const DWORD length = static_cast<DWORD>(size.QuadPart);
  pcutil::CAutoBuffer buffer;
  if (!buffer.Alloc(length + 2)) return E_OUTOFMEMORY;
  DWORD read = 0;
  if (!ReadFile(file.get(), buffer.GetData(), length, &read, nullptr)) return LastErrorResult();
  const BYTE *bytes = buffer.GetData();
  if (encoding == FILE_ENCODING_UNKNOWN) encoding = EncodingOfFirstByte(bytes[0]);
  switch (encoding) {
    case FILE_ENCODING_UTF8: {
      const bool marked = bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
      strText = NarrowToText(CP_UTF8, marked ? bytes + 3 : bytes);
      return S_OK;
    }
    case FILE_ENCODING_UNICODE: {
      std::wstring text = Utf16LeToWide(bytes, (read + 2) & ~1u);
      text.resize(std::wcslen(text.c_str()));
      if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
      strText = text.c_str();
      return S_OK;
    }
    case FILE_ENCODING_ANSI:
      strText = NarrowToText(CP_ACP, bytes);
      return S_OK;
    default:
      return S_FALSE;
  }
}

HRESULT DetectTextFileEncoding(const CString &strPath, int *pEncoding) {
  if (pEncoding == nullptr) return E_POINTER;
  FileHandle file(OpenForReading(strPath));
  if (!file.IsOpen()) return LastErrorResult();
  BYTE first = 0;
  DWORD read = 0;
  if (!ReadFile(file.get(), &first, 1, &read, nullptr)) return LastErrorResult();
  if (read == 0) return S_OK;
  *pEncoding = EncodingOfFirstByte(first);
  return S_FALSE;
}

BOOL WriteTextFile(const CString &strPath, const CString &strText, int encoding) {
  std::string mark;
  std::string bytes;
  switch (encoding) {
    case FILE_ENCODING_UNICODE:
      bytes = WideToUtf16Le(strText.GetString(), strText.GetLength());
      if (strText.GetLength() == 0 || strText[0] != 0xFEFF) mark = "\xFF\xFE";
      break;
    case FILE_ENCODING_UTF8: {
      bytes = WideToMultiByte(CP_UTF8, strText.GetString(), strText.GetLength());
      bool ascii = true;
      for (unsigned char c : bytes) ascii = ascii && c < 0x80;
      if (bytes.size() >= 3 || !ascii) mark = "\xEF\xBB\xBF";
      break;
    }
    case FILE_ENCODING_ANSI:
      bytes = WideToMultiByte(CP_ACP, strText.GetString(), strText.GetLength());
      break;
    default:
      return FALSE;
  }
  FileHandle file(OpenForWriting(strPath, CREATE_ALWAYS));
  if (!file.IsOpen()) return FALSE;
  return WriteAll(file.get(), mark.data(), mark.size()) && WriteAll(file.get(), bytes.data(), bytes.size());
}

BOOL WriteBinaryFile(const CString &strPath, const void *pData, int nSize, BOOL bAppend) {
  if (nSize < 0 || (pData == nullptr && nSize > 0)) return FALSE;
  const DWORD attributes = GetFileAttributesW(strPath);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Only a plain file that may be written is replaced or extended.
  if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const size_t size = static_cast<size_t>(nSize);
  if (bAppend) return AppendWhole(strPath, pData, size);
  pcutil::CReplacementFile file(strPath);
  return file.Create() && file.Write(pData, size) && file.Commit();
}

BOOL GetFileLength(const CString &strPath, ULONGLONG &nLength) {
  FileHandle file(OpenForReading(strPath));
  if (!file.IsOpen()) return FALSE;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) return FALSE;
  nLength = static_cast<ULONGLONG>(size.QuadPart);
  return TRUE;
}

CString FormatFileSize(int nSize, BOOL bDecimals) {
  CString text;
  if (nSize <= 1023) {
    text.Format(L"%dB", nSize);
  } else if (nSize <= 1048575) {
    text.Format(L"%dK", nSize / 1024);
  } else if (nSize <= 1073741823) {
    if (bDecimals) {
      text.Format(L"%.1fM", nSize / 1024.0 / 1024.0);
    } else {
      text.Format(L"%dM", nSize / 1048576);
    }
  } else if (bDecimals) {
    text.Format(L"%.2fG", nSize / 1024.0 / 1024.0 / 1024.0);
  } else {
    text.Format(L"%dG", nSize / 1073741824);
  }
  return text;
}

}  // namespace FileSysHelper

#include "platform/system/afxfile.h"

#include "platform/system/fileapi.h"
#include "platform/text/winerror.h"

namespace {

int CauseOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return CFileException::fileNotFound;
    case ERROR_PATH_NOT_FOUND:
      return CFileException::badPath;
    case ERROR_ACCESS_DENIED:
      return CFileException::accessDenied;
    case ERROR_INVALID_HANDLE:
      return CFileException::invalidFile;
    case ERROR_DISK_FULL:
      return CFileException::diskFull;
    case ERROR_HANDLE_EOF:
      return CFileException::endOfFile;
    default:
      return CFileException::genericException;
  }
}

}  // namespace

BOOL CFile::Open(LPCWSTR fileName, UINT openFlags, CFileException *error) {
  Close();
  const UINT mode = openFlags & 3;
  const DWORD access = mode == modeWrite       ? GENERIC_WRITE
                       : mode == modeReadWrite ? GENERIC_READ | GENERIC_WRITE
                                               : GENERIC_READ;
  const DWORD disposition = !(openFlags & modeCreate)      ? OPEN_EXISTING
                            : (openFlags & modeNoTruncate) ? OPEN_ALWAYS
                                                           : CREATE_ALWAYS;
  h_ = CreateFileW(fileName, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h_ == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (error) *error = CFileException(CauseOf(code), static_cast<LONG>(code), fileName);
    return FALSE;
  }
  name_ = fileName;
  return TRUE;
}

UINT CFile::Read(void *buffer, UINT count) {
  DWORD read = 0;
  if (!ReadFile(h_, buffer, count, &read, nullptr)) ThrowLastError();
  return read;
}

void CFile::Write(const void *buffer, UINT count) {
  DWORD written = 0;
  if (!WriteFile(h_, buffer, count, &written, nullptr)) ThrowLastError();
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h_, &size)) ThrowLastError();
  return static_cast<ULONGLONG>(size.QuadPart);
}

void CFile::Close() {
  if (h_ != INVALID_HANDLE_VALUE) {
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }
}

void CFile::ThrowLastError() const {
  const DWORD code = GetLastError();
  throw CFileException(CauseOf(code), static_cast<LONG>(code), name_);
}

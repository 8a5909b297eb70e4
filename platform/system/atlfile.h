// CAtlFile: the framework's owner of one file handle, over a POSIX file
// descriptor. Only the create-for-writing road is provided; the file is
// opened through CreateFileW, whose share modes hold among openers through
// this layer (platform/system/fileapi.h), and the attributes are ignored. Paths are native paths in wide text (UTF-8 on
// disk). The destructor closes the file.
#pragma once

#include "platform/text/windef.h"

#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000u
#endif
#ifndef FILE_SHARE_WRITE
#define FILE_SHARE_WRITE 0x00000002u
#endif
#ifndef CREATE_ALWAYS
#define CREATE_ALWAYS 2u
#endif
#ifndef FILE_ATTRIBUTE_NORMAL
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#endif

class CAtlFile {
 public:
  CAtlFile() = default;
  CAtlFile(const CAtlFile &) = delete;  // one owner per descriptor
  CAtlFile &operator=(const CAtlFile &) = delete;
  ~CAtlFile() { Close(); }

  // Opens `path` for writing; CREATE_ALWAYS creates the file or truncates an
  // existing one. Any other access or disposition gives E_INVALIDARG. A
  // failure returns HRESULT_FROM_WIN32 of the system error (a missing
  // folder: ERROR_PATH_NOT_FOUND; a folder or no permission:
  // ERROR_ACCESS_DENIED) and leaves no file; a file already open is closed
  // first.
  HRESULT Create(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                 DWORD flagsAndAttributes = FILE_ATTRIBUTE_NORMAL);
  // Writes all `size` bytes (retrying short writes). S_OK, or the failing
  // HRESULT; HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE) without a file.
  HRESULT Write(LPCVOID buffer, DWORD size, DWORD *written = nullptr);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

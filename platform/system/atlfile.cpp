#include "platform/system/atlfile.h"

#include <unistd.h>
#include <cerrno>

#include <string>

#include "platform/system/fileapi.h"
#include "platform/text/winerror.h"

namespace {

HRESULT LastSystemError() { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(errno)); }

}  // namespace

HRESULT CAtlFile::Create(LPCWSTR path, DWORD desiredAccess, DWORD shareMode, DWORD creationDisposition,
                         DWORD flagsAndAttributes) {
  Close();
  if (path == nullptr || *path == L'\0' || desiredAccess != GENERIC_WRITE || creationDisposition != CREATE_ALWAYS) {
    return E_INVALIDARG;
  }
  // Through the file layer, so the file counts as held open for writing.
  const HANDLE h =
      CreateFileW(path, desiredAccess, shareMode, nullptr, creationDisposition, flagsAndAttributes, nullptr);
  if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
  fd_ = static_cast<int>(reinterpret_cast<intptr_t>(h));
  return S_OK;
}

HRESULT CAtlFile::Write(LPCVOID buffer, DWORD size, DWORD *written) {
  if (written) *written = 0;
  if (fd_ < 0) return HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE);
  if (buffer == nullptr && size != 0) return E_INVALIDARG;
  const char *p = static_cast<const char *>(buffer);
  DWORD done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, p + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (written) *written = done;
      return LastSystemError();
    }
    done += static_cast<DWORD>(n);
  }
  if (written) *written = done;
  return S_OK;
}

void CAtlFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

#include "platform/system/atlfile.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>

#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

HRESULT LastSystemError() { return HRESULT_FROM_WIN32(Win32ErrorFromErrno(errno)); }

}  // namespace

HRESULT CAtlFile::Create(LPCWSTR path, DWORD desiredAccess, DWORD /*shareMode*/, DWORD creationDisposition,
                         DWORD /*flagsAndAttributes*/) {
  Close();
  if (path == nullptr || *path == L'\0' || desiredAccess != GENERIC_WRITE || creationDisposition != CREATE_ALWAYS) {
    return E_INVALIDARG;
  }
  const std::string native = WideToMultiByte(CP_UTF8, std::wstring(path));
  const int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  // With O_CREAT a missing entry can only be a missing folder on the way.
  if (fd < 0) return errno == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : LastSystemError();
  fd_ = fd;
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

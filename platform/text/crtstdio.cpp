#include "platform/text/crtstdio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

#include <string>

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"
#include "platform/text/winerror.h"

struct crt_file {
  int fd = -1;
};

namespace {

void SetErrnoError() { SetLastError(Win32ErrorFromErrno(errno)); }

std::string NativePath(LPCWSTR path) { return WideToMultiByte(CP_UTF8, std::wstring(path)); }

// Open flags of a runtime mode text, or -1 for a mode it does not take.
int ModeFlags(const std::wstring &mode) {
  std::wstring m = mode;
  if (!m.empty() && m.back() == L't') m.pop_back();
  if (m == L"w") return O_WRONLY | O_CREAT | O_TRUNC;
  if (m == L"w+") return O_RDWR | O_CREAT | O_TRUNC;
  if (m == L"a") return O_WRONLY | O_CREAT | O_APPEND;
  if (m == L"a+") return O_RDWR | O_CREAT | O_APPEND;
  return -1;
}

// The bytes text mode writes for `text`.
std::string TextModeBytes(const std::wstring &text) {
  std::wstring crlf;
  crlf.reserve(text.size() + 8);
  for (const wchar_t c : text) {
    if (c == L'\n') crlf += L'\r';
    crlf += c;
  }
  if (crt_chinese_locale()) return WideToMultiByte(936, crlf);
  std::string bytes;
  bytes.reserve(crlf.size());
  for (const wchar_t c : crlf) bytes += static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?';
  return bytes;
}

}  // namespace

crt_file *crt_wfopen(LPCWSTR path, LPCWSTR mode) {
  const int flags = mode ? ModeFlags(mode) : -1;
  if (path == nullptr || *path == L'\0' || flags < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int fd = ::open(NativePath(path).c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) {
    // Every mode creates, so a missing entry is a missing folder on the way.
    if (errno == ENOENT)
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      SetErrnoError();
    return nullptr;
  }
  return new crt_file{fd};
}

int crt_fputws(LPCWSTR text, crt_file *file) {
  if (file == nullptr || text == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const std::string bytes = TextModeBytes(text);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(file->fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      SetErrnoError();
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return 0;
}

int crt_fclose(crt_file *file) {
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  const int rc = ::close(file->fd);
  if (rc != 0) SetErrnoError();
  delete file;
  return rc == 0 ? 0 : -1;
}

BOOL crt_wstat_mtime(LPCWSTR path, time_t *mtime) {
  struct stat st {};
  if (path == nullptr || mtime == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (::stat(NativePath(path).c_str(), &st) != 0) {
    SetErrnoError();
    return FALSE;
  }
  *mtime = st.st_mtime;
  return TRUE;
}

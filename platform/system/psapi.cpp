#include "platform/system/psapi.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

int Fd(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }

bool BadHandle(HANDLE h) { return !h || h == INVALID_HANDLE_VALUE || Fd(h) < 0; }

// The process a pidfd refers to, from the descriptor's fdinfo; -1 when the
// process has ended or the handle is no pidfd.
pid_t PidOf(HANDLE h) {
  if (BadHandle(h)) return -1;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/fdinfo/%d", Fd(h));
  FILE *f = std::fopen(path, "r");
  if (!f) return -1;
  char line[256];
  pid_t pid = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, "Pid:", 4) == 0) {
      pid = static_cast<pid_t>(std::strtol(line + 4, nullptr, 10));
      break;
    }
  }
  std::fclose(f);
  return pid > 0 ? pid : -1;
}

// The executable of a process, without the " (deleted)" mark of a removed
// file; errno set and false when it cannot be read.
bool ExecutablePath(pid_t pid, std::string &out) {
  char link[64];
  std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
  std::vector<char> buf(PATH_MAX + 1);
  ssize_t n = readlink(link, buf.data(), buf.size() - 1);
  if (n < 0) return false;
  out.assign(buf.data(), static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (out.size() > deleted.size() && out.compare(out.size() - deleted.size(), deleted.size(), deleted) == 0)
    out.erase(out.size() - deleted.size());
  return true;
}

}  // namespace

BOOL EnumProcesses(DWORD *processIds, DWORD cb, DWORD *bytesReturned) {
  if (!processIds || !bytesReturned) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DIR *dir = opendir("/proc");
  if (!dir) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  std::vector<DWORD> ids;
  while (dirent *e = readdir(dir)) {
    char *end = nullptr;
    unsigned long id = std::strtoul(e->d_name, &end, 10);
    if (e->d_name[0] >= '1' && e->d_name[0] <= '9' && *end == '\0') ids.push_back(static_cast<DWORD>(id));
  }
  closedir(dir);
  std::sort(ids.begin(), ids.end());
  size_t count = std::min<size_t>(ids.size(), cb / sizeof(DWORD));
  std::copy_n(ids.begin(), count, processIds);
  *bytesReturned = static_cast<DWORD>(count * sizeof(DWORD));
  return TRUE;
}

HANDLE OpenProcess(DWORD desiredAccess, BOOL, DWORD processId) {
  if (processId == 0 || processId > static_cast<DWORD>(INT_MAX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const pid_t pid = static_cast<pid_t>(processId);
  long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0) {
    SetLastError(errno == ESRCH ? ERROR_INVALID_PARAMETER : Win32ErrorFromErrno(errno));
    return nullptr;
  }
  fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  if ((desiredAccess & PROCESS_TERMINATE) && kill(pid, 0) != 0) {
    DWORD error = errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
    close(static_cast<int>(fd));
    SetLastError(error);
    return nullptr;
  }
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

BOOL EnumProcessModules(HANDLE process, HMODULE *modules, DWORD cb, LPDWORD bytesNeeded) {
  if (!bytesNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  pid_t pid = PidOf(process);
  std::string path;
  if (pid < 0 || !ExecutablePath(pid, path)) {
    SetLastError(pid >= 0 && errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PARTIAL_COPY);
    return FALSE;
  }
  *bytesNeeded = sizeof(HMODULE);
  if (modules && cb >= sizeof(HMODULE)) modules[0] = reinterpret_cast<HMODULE>(static_cast<intptr_t>(1));
  return TRUE;
}

DWORD GetModuleFileNameExW(HANDLE process, HMODULE, LPWSTR fileName, DWORD size) {
  pid_t pid = PidOf(process);
  std::string path;
  if (!fileName || size == 0 || pid < 0 || !ExecutablePath(pid, path)) {
    SetLastError(fileName && size ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::wstring wide = MultiByteToWide(CP_UTF8, path);
  size_t n = std::min<size_t>(wide.size(), size - 1);
  std::wmemcpy(fileName, wide.data(), n);
  fileName[n] = L'\0';
  return static_cast<DWORD>(n);
}

BOOL TerminateProcess(HANDLE process, UINT) {
  if (BadHandle(process)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (syscall(SYS_pidfd_send_signal, Fd(process), SIGKILL, nullptr, 0) != 0) {
    SetLastError(errno == EPERM || errno == ESRCH ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (BadHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  pollfd p{Fd(handle), POLLIN, 0};
  int timeout = milliseconds == INFINITE ? -1 : static_cast<int>(std::min<DWORD>(milliseconds, INT_MAX));
  for (;;) {
    int rc = poll(&p, 1, timeout);
    if (rc > 0) {
      if (p.revents & POLLNVAL) break;
      return WAIT_OBJECT_0;
    }
    if (rc == 0) return WAIT_TIMEOUT;
    if (errno != EINTR) break;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return WAIT_FAILED;
}

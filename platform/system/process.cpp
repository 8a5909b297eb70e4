#include "platform/system/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "platform/system/spawn.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

extern char **environ;

namespace {

// A handle of the child: a process file descriptor (pidfd), closed with
// CloseHandle like every descriptor handle of the layer.
HANDLE NewHandle(pid_t pid) {
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
}

std::string FileName(const wchar_t *text) { return WideToMultiByte(CP_UTF8, text, std::wcslen(text)); }

}  // namespace

namespace platform {

int Spawn(const std::vector<std::string> &args, bool search, const std::string &folder, pid_t *pidOut) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
  int rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (rc == 0 && !folder.empty()) rc = posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  if (rc == 0) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    rc = search ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (rc == 0) *pidOut = pid;
  return rc;
}

void ReapWhenEnded(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

bool WaitForExit(pid_t pid, int timeoutMs, int *status) {
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    pollfd ready = {static_cast<int>(fd), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int rc;
    do {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      rc = ::poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    } while (rc < 0 && errno == EINTR);
    ::close(static_cast<int>(fd));
    if (rc <= 0) return false;
  } else {
    // Without process descriptors: look every 10 ms.
    for (int waited = 0;; waited += 10) {
      const pid_t done = waitpid(pid, status, WNOHANG);
      if (done == pid) return true;
      if (done < 0 && errno != EINTR) return false;
      if (waited >= timeoutMs) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  while (waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace platform

using platform::ReapWhenEnded;
using platform::Spawn;

BOOL CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                    BOOL bInheritHandles, DWORD, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                    LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
  if (!lpApplicationName || !*lpApplicationName || !lpStartupInfo || !lpProcessInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (lpCommandLine || lpEnvironment || bInheritHandles) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  pid_t pid = 0;
  const int rc =
      Spawn({FileName(lpApplicationName)}, false, lpCurrentDirectory ? FileName(lpCurrentDirectory) : "", &pid);
  if (rc != 0) {
    SetLastError(Win32ErrorFromErrno(rc));
    return FALSE;
  }
  lpProcessInformation->hProcess = NewHandle(pid);
  lpProcessInformation->hThread = NewHandle(pid);
  ReapWhenEnded(pid);
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

namespace {

// How long the opener has to refuse a target. Refusals come at once; an opener
// that still runs by then has started a program for the target (some openers
// run that program in the foreground and end only with it).
constexpr int kOpenerVerdictMs = 2000;

// The result for the opener's exit status: 0 accepted, 2 no such file, any
// other failure (bad arguments, no program for the type, the program failed)
// no association.
intptr_t OpenerResult(int status) {
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return 42;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 2) return SE_ERR_FNF;
  return SE_ERR_NOASSOC;
}

}  // namespace

HINSTANCE ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR, LPCWSTR lpDirectory, INT) {
  const auto result = [](intptr_t code) { return reinterpret_cast<HINSTANCE>(code); };
  if ((lpOperation && std::wcscmp(lpOperation, L"open") != 0) || !lpFile || !*lpFile) return result(SE_ERR_NOASSOC);
  pid_t pid = 0;
  const int rc = Spawn({"xdg-open", FileName(lpFile)}, true, lpDirectory ? FileName(lpDirectory) : "", &pid);
  if (rc != 0) return result(rc == EACCES ? SE_ERR_ACCESSDENIED : SE_ERR_FNF);
  int status = 0;
  if (platform::WaitForExit(pid, kOpenerVerdictMs, &status)) return result(OpenerResult(status));
  ReapWhenEnded(pid);
  return result(42);
}

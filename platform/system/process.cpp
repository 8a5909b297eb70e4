#include "platform/system/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/system/spawn.h"
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

HINSTANCE ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR, LPCWSTR lpDirectory, INT) {
  const auto result = [](intptr_t code) { return reinterpret_cast<HINSTANCE>(code); };
  if ((lpOperation && std::wcscmp(lpOperation, L"open") != 0) || !lpFile || !*lpFile) return result(SE_ERR_NOASSOC);
  pid_t pid = 0;
  const int rc = Spawn({"xdg-open", FileName(lpFile)}, true, lpDirectory ? FileName(lpDirectory) : "", &pid);
  if (rc != 0) return result(rc == EACCES ? SE_ERR_ACCESSDENIED : SE_ERR_FNF);
  ReapWhenEnded(pid);
  return result(42);
}

#include "platform/system/process.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>
#include <string>

#include "platform/system/spawn.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

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

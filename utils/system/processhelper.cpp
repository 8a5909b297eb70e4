#include "utils/system/processhelper.h"

#include <vector>

#include "platform/system/psapi.h"
#include "platform/system/shutdown.h"
#include "platform/text/winerror.h"
#include "utils/files/pathhelper.h"

namespace {

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY;

// Enables or disables one privilege of the token. TRUE when the lookup and
// the adjustment call succeeded (the last error tells whether it was held).
BOOL SetPrivilege(HANDLE token, LPCWSTR name, BOOL enable) {
  TOKEN_PRIVILEGES privileges = {};
  if (!LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) return FALSE;
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  return AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr);
}

}  // namespace

DWORD FindProcessId(const CString &exeName) {
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  if (!EnumProcesses(ids.data(), static_cast<DWORD>(ids.size() * sizeof(DWORD)), &bytes)) return 0;
  for (DWORD i = 0; i < bytes / sizeof(DWORD); ++i) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, ids[i]);
    if (!process) continue;
    HMODULE modules[4096 / sizeof(HMODULE)] = {};
    DWORD needed = 0;
    // Paths are not limited to 260 characters here: a shorter buffer would
    // cut the file name of a deeply placed executable.
    std::vector<wchar_t> path(4096);
    bool named = EnumProcessModules(process, modules, sizeof modules, &needed) &&
                 GetModuleFileNameExW(process, modules[0], path.data(), static_cast<DWORD>(path.size())) > 0;
    CloseHandle(process);
    if (named && GetFileName(path.data()) == exeName) return ids[i];
  }
  return 0;
}

BOOL KillProcess(const CString &exeName) {
  EnableDebugPrivilege();
  HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, FindProcessId(exeName));
  if (!process) return FALSE;
  // A process that cannot be signalled would never end: waiting for it
  // would block for ever.
  if (!TerminateProcess(process, 0)) {
    CloseHandle(process);
    return FALSE;
  }
  WaitForSingleObject(process, INFINITE);
  return CloseHandle(process);
}

BOOL EnableDebugPrivilege() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &token)) return FALSE;
  // The adjustment succeeds also when the privilege is not held; only the
  // last error (ERROR_NOT_ALL_ASSIGNED) tells.
  SetLastError(ERROR_SUCCESS);
  const BOOL ok = SetPrivilege(token, L"SeDebugPrivilege", TRUE) && GetLastError() == ERROR_SUCCESS;
  const DWORD error = GetLastError();
  CloseHandle(token);
  SetLastError(error);
  return ok;
}

BOOL ShutdownSystem(DWORD seconds, const CString &message) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), kTokenAccess, &token)) return FALSE;
  SetLastError(ERROR_SUCCESS);
  SetPrivilege(token, L"SeShutdownPrivilege", TRUE);
  if (GetLastError() != ERROR_SUCCESS) {
    CloseHandle(token);
    return FALSE;
  }
  CString text(message);
  BOOL started = InitiateSystemShutdownW(nullptr, const_cast<LPWSTR>(text.GetString()), seconds, TRUE, FALSE);
  SetLastError(ERROR_SUCCESS);
  SetPrivilege(token, L"SeShutdownPrivilege", FALSE);
  BOOL restored = GetLastError() == ERROR_SUCCESS;
  CloseHandle(token);
  // The delayed shutdown is all that is asked for: an immediate power-off
  // on top of it would cut the delay and the message short.
  return started && restored;
}

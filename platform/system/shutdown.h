// Privileges and shutting the computer down.
//
// There are no access tokens here: a token handle is a plain descriptor
// (closed with CloseHandle) and privileges are answers of the system. The
// debug privilege is held when this process may trace other processes of its
// user (platform/system/ptracescope.h). The shutdown privilege is held when
// the power manager says power-off is allowed without asking ("yes").
// Enabling a privilege that is not held succeeds with ERROR_NOT_ALL_ASSIGNED
// as the last error, as for an account without it.
//
// The power manager is the login manager on the system bus
// (org.freedesktop.login1) unless a test installs its own backend.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system/fileapi.h"
#include "platform/text/windef.h"

#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define TOKEN_QUERY 0x0008u
#define SE_PRIVILEGE_ENABLED 0x00000002u
#define EWX_LOGOFF 0x00000000u
#define EWX_SHUTDOWN 0x00000001u
#define EWX_REBOOT 0x00000002u
#define EWX_POWEROFF 0x00000008u

#ifndef ERROR_NO_SUCH_PRIVILEGE
#define ERROR_NO_SUCH_PRIVILEGE 1313u
#endif
#ifndef ERROR_PRIVILEGE_NOT_HELD
#define ERROR_PRIVILEGE_NOT_HELD 1314u
#endif

#define SE_SHUTDOWN_NAME L"SeShutdownPrivilege"
#define SE_DEBUG_NAME L"SeDebugPrivilege"

struct LUID {
  DWORD LowPart;
  LONG HighPart;
};
struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};
typedef TOKEN_PRIVILEGES *PTOKEN_PRIVILEGES;

// The pseudo handle of the calling process (needs no closing).
HANDLE GetCurrentProcess() noexcept;
// Only the calling process's token can be opened.
BOOL OpenProcessToken(HANDLE process, DWORD desiredAccess, HANDLE *token);
// SeDebugPrivilege and SeShutdownPrivilege; others ERROR_NO_SUCH_PRIVILEGE.
BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID *luid);
// Sets the last error to ERROR_SUCCESS or ERROR_NOT_ALL_ASSIGNED (see above)
// and returns TRUE; FALSE for a bad token or record. The previous state is
// not reported.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD bufferLength,
                           PTOKEN_PRIVILEGES previousState, LPDWORD returnLength);

// Local computer only (machineName null or empty). Schedules a power-off (or a
// reboot) after `timeout` seconds with `message` shown to the logged-in
// users. Needs the shutdown privilege enabled: FALSE with
// ERROR_PRIVILEGE_NOT_HELD otherwise, and FALSE with ERROR_ACCESS_DENIED when
// the power manager refuses. Applications are always closed without asking.
BOOL InitiateSystemShutdownW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL forceAppsClosed,
                             BOOL rebootAfterShutdown);
// EWX_SHUTDOWN / EWX_POWEROFF power off, EWX_REBOOT reboots at once; needs
// the shutdown privilege enabled (else FALSE, ERROR_PRIVILEGE_NOT_HELD).
// Other requests: FALSE with ERROR_NOT_SUPPORTED.
BOOL ExitWindowsEx(UINT flags, DWORD reason);

namespace platform {

// The power manager's operations, in the login manager's terms.
class ShutdownBackend {
 public:
  virtual ~ShutdownBackend() = default;
  // "yes", "no", "challenge" or "na"; empty when it cannot be asked.
  virtual std::string CanPowerOff() = 0;
  virtual bool SetWallMessage(const std::string &utf8Message) = 0;
  // type "poweroff" or "reboot"; the time in microseconds since the epoch.
  virtual bool ScheduleShutdown(const std::string &type, uint64_t usecSinceEpoch) = 0;
  virtual bool PowerOff() = 0;
  virtual bool Reboot() = 0;
};

// Installs the backend (not owned); null restores the login manager. The
// privilege state is reset with it. Returns the previous backend (null for
// the login manager).
ShutdownBackend *SetShutdownBackend(ShutdownBackend *backend) noexcept;

}  // namespace platform

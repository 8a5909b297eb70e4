// The operating-system version query. On Linux the kernel release (uname)
// gives the major, minor and build numbers ("6.1.0-18-amd64" is 6.1.0), the
// family is the NT one (a multi-user system with separate processes), and
// the distribution's name from os-release stands where the service-pack
// text goes; there is no service pack (0.0).
#pragma once

#include <string>

#include "platform/text/windef.h"

#define VER_PLATFORM_WIN32s 0u
#define VER_PLATFORM_WIN32_WINDOWS 1u
#define VER_PLATFORM_WIN32_NT 2u
#define VER_PLATFORM_WIN32_CE 3u
#define VER_NT_WORKSTATION 1u

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
typedef OSVERSIONINFOW *LPOSVERSIONINFOW;

// The extended record: a pointer to it converts to LPOSVERSIONINFOW.
struct OSVERSIONINFOEXW : OSVERSIONINFOW {
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
typedef OSVERSIONINFOEXW *LPOSVERSIONINFOEXW;

// Fills the record whose dwOSVersionInfoSize is sizeof(OSVERSIONINFOW) or
// sizeof(OSVERSIONINFOEXW) (the extended fields only for the latter). Any
// other size or a null record: FALSE with ERROR_INSUFFICIENT_BUFFER or
// ERROR_INVALID_PARAMETER as the last error.
BOOL GetVersionExW(LPOSVERSIONINFOW info) noexcept;

namespace platform {

// PRETTY_NAME (else NAME) of an os-release file, unquoted and unescaped;
// empty when the file cannot be read or names neither.
std::wstring ReadOsReleaseName(const char *path);

}  // namespace platform

#include "platform/system/sysinfo.h"

#include <sys/utsname.h>

#include <cstddef>
#include <cwchar>
#include <fstream>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

// The value of an os-release assignment: quotes removed and, inside double
// quotes, the backslash escapes resolved.
std::string UnquoteValue(const std::string &raw) {
  if (raw.empty() || (raw[0] != '"' && raw[0] != '\'')) return raw;
  const char quote = raw[0];
  std::string value;
  for (size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
    if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value += raw[i];
  }
  return value;
}

// The leading "a.b.c" numbers of a kernel release; missing ones are 0.
void ParseRelease(const char *release, DWORD parts[3]) {
  const char *p = release;
  for (int i = 0; i < 3; ++i) {
    parts[i] = 0;
    if (*p < '0' || *p > '9') continue;
    while (*p >= '0' && *p <= '9') parts[i] = parts[i] * 10 + static_cast<DWORD>(*p++ - '0');
    if (*p == '.')
      ++p;
    else
      p = "";  // the numbers end here
  }
}

}  // namespace

std::wstring platform::ReadOsReleaseName(const char *path) {
  std::ifstream file(path);
  std::string line, pretty, name;
  while (std::getline(file, line)) {
    const size_t eq = line.find('=');
    if (line.empty() || line[0] == '#' || eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    if (key == "PRETTY_NAME")
      pretty = UnquoteValue(line.substr(eq + 1));
    else if (key == "NAME")
      name = UnquoteValue(line.substr(eq + 1));
  }
  return MultiByteToWide(CP_UTF8, pretty.empty() ? name : pretty);
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) noexcept {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  utsname uts{};
  if (uname(&uts) != 0) uts.release[0] = '\0';
  DWORD parts[3];
  ParseRelease(uts.release, parts);
  info->dwMajorVersion = parts[0];
  info->dwMinorVersion = parts[1];
  info->dwBuildNumber = parts[2];
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;

  std::wstring name;
  try {
    name = platform::ReadOsReleaseName("/etc/os-release");
    if (name.empty()) name = platform::ReadOsReleaseName("/usr/lib/os-release");
  } catch (...) {
    name.clear();  // the name is descriptive only; the numbers stand without it
  }
  const size_t capacity = sizeof(info->szCSDVersion) / sizeof(WCHAR);
  const size_t length = name.size() < capacity ? name.size() : capacity - 1;
  wmemcpy(info->szCSDVersion, name.data(), length);
  info->szCSDVersion[length] = L'\0';

  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto *ex = static_cast<LPOSVERSIONINFOEXW>(info);
    ex->wServicePackMajor = 0;
    ex->wServicePackMinor = 0;
    ex->wSuiteMask = 0;
    ex->wProductType = VER_NT_WORKSTATION;
    ex->wReserved = 0;
  }
  return TRUE;
}

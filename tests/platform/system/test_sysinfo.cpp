#include "platform/system/sysinfo.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text/winerror.h"

namespace fs = std::filesystem;

namespace {

TEST(GetVersionExW, ReportsTheKernelReleaseAsAnNtVersion) {
  utsname uts{};
  ASSERT_EQ(uname(&uts), 0);
  unsigned major = 0, minor = 0;
  ASSERT_EQ(std::sscanf(uts.release, "%u.%u", &major, &minor), 2) << uts.release;

  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof(ex);
  ex.wServicePackMajor = 9;
  ASSERT_TRUE(GetVersionExW(&ex));
  EXPECT_EQ(ex.dwMajorVersion, major);
  EXPECT_EQ(ex.dwMinorVersion, minor);
  EXPECT_EQ(ex.dwPlatformId, VER_PLATFORM_WIN32_NT);
  EXPECT_EQ(ex.wServicePackMajor, 0);
  EXPECT_EQ(ex.wServicePackMinor, 0);
  EXPECT_LT(std::wcslen(ex.szCSDVersion), 128u);

  OSVERSIONINFOW plain{};
  plain.dwOSVersionInfoSize = sizeof(plain);
  ASSERT_TRUE(GetVersionExW(&plain));
  EXPECT_EQ(plain.dwMajorVersion, major);
}

TEST(GetVersionExW, RefusesAWrongRecordSize) {
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = 284;  // the size on the original platform is not this record's
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&ex));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_FALSE(GetVersionExW(static_cast<LPOSVERSIONINFOW>(nullptr)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(ReadOsReleaseName, PrettyNameElseNameUnquoted) {
  struct Case {
    const char *content;
    const wchar_t *name;
  } const cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
       L"Debian GNU/Linux 12 (bookworm)"},
      {"# comment\nNAME=Plain\n", L"Plain"},
      {"PRETTY_NAME='Single \"q\"'\n", L"Single \"q\""},
      {"PRETTY_NAME=\"A \\\"b\\\" \\\\ \\$c\"\n", L"A \"b\" \\ $c"},
      {"PRETTY_NAME=\"\xE4\xB8\xAD\"\n", L"\x4E2D"},
      {"ID=x\n", L""},
  };
  const fs::path file = fs::temp_directory_path() / ("tickora-os-release-" + std::to_string(getpid()));
  for (const auto &c : cases) {
    std::ofstream(file) << c.content;
    EXPECT_EQ(platform::ReadOsReleaseName(file.c_str()), std::wstring(c.name)) << c.content;
  }
  fs::remove(file);
  EXPECT_EQ(platform::ReadOsReleaseName(file.c_str()), std::wstring());
}

}  // namespace

// The program's file and its arguments as wide text.
#include "platform/system/module.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

TEST(Module, ModuleFileName) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::wstring expected = MultiByteToWide(CP_UTF8, std::string(exe, n));
  wchar_t buf[4096];
  EXPECT_EQ(GetModuleFileNameW(nullptr, buf, 4096), expected.size());
  EXPECT_EQ(std::wstring(buf), expected);

  wchar_t small[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);  // cut and terminated
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::wstring(small), expected.substr(0, 4));
  int other;
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(&other), buf, 4096), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Module, WideArgumentVector) {
  char a0[] = "./tickora", a1[] = "--x", a2[] = "\xE4\xB8\xAD";
  char *argv[] = {a0, a1, a2, nullptr};
  SetProgramArguments(3, argv);
  ASSERT_EQ(__argc, 3);
  EXPECT_STREQ(__wargv[0], L"./tickora");  // as started, not resolved
  EXPECT_STREQ(__wargv[2], L"\u4e2d");
  EXPECT_EQ(__wargv[3], nullptr);
}

}  // namespace

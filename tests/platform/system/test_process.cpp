#include "platform/system/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/text/winerror.h"
#include "tests/support/child_files.h"
#include "tests/support/deadline.h"
#include "tests/support/scoped_env.h"

namespace {

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

using testsupport::ShellReportLine;
using testsupport::WaitForFileContent;
using testsupport::WriteShellScript;

BOOL Start(const std::wstring &path, LPCWSTR folder, PROCESS_INFORMATION &info) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  return CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, folder,
                        &startup, &info);
}

TEST(CreateProcessTest, StartsInTheGivenFolderWithOnlyTheStandardDescriptors) {
  testsupport::TempDir dir;
  const std::string out = dir.File("out");
  // A descriptor the caller left inheritable must not reach the child.
  const int leaked = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 3);
  const std::string fd = std::to_string(leaked);
  const std::string program = WriteShellScript(
      dir, "prog",
      "if [ -e /proc/self/fd/" + fd + " ]; then f=open; else f=closed; fi\n" + ShellReportLine(out, "$#|$(pwd)|$f"));
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(Start(Wide(program), L"/tmp", info));
  ::close(leaked);
  EXPECT_GT(info.dwProcessId, 0u);
  EXPECT_TRUE(CloseHandle(info.hProcess));
  EXPECT_TRUE(CloseHandle(info.hThread));
  EXPECT_EQ(WaitForFileContent(out), "0|/tmp|closed");
}

TEST(CreateProcessTest, FailuresSetTheLastError) {
  testsupport::TempDir dir;
  const std::string plain = dir.Write("plain", "data");
  const struct {
    std::wstring path;
    DWORD error;
  } cases[] = {{Wide(dir.File("missing")), ERROR_FILE_NOT_FOUND},
               {Wide(plain), ERROR_ACCESS_DENIED},
               {L"", ERROR_INVALID_PARAMETER}};
  for (const auto &c : cases) {
    PROCESS_INFORMATION info = {};
    SetLastError(0);
    EXPECT_FALSE(Start(c.path, nullptr, info));
    EXPECT_EQ(GetLastError(), c.error);
  }
  STARTUPINFOW startup = {};
  PROCESS_INFORMATION info = {};
  wchar_t args[] = L"x y";
  EXPECT_FALSE(CreateProcessW(L"/bin/true", args, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(CreateProcessW(L"/bin/true", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr, &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CreateProcessTest, EndedChildIsReaped) {
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(Start(L"/bin/true", nullptr, info));
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  const std::string stat = "/proc/" + std::to_string(info.dwProcessId) + "/stat";
  EXPECT_TRUE(testsupport::WaitUntil([&] { return access(stat.c_str(), F_OK) != 0; }, std::chrono::seconds(10)))
      << "the ended child was not reaped within 10 s: a zombie stays behind";
}

TEST(ShellExecuteTest, RunsTheOpenerFromPathWithTheTarget) {
  testsupport::TempDir dir;
  const std::string out = dir.File("out");
  WriteShellScript(dir, "xdg-open", ShellReportLine(out, "$#|$1|$(pwd)"));
  auto path = std::make_unique<testsupport::ScopedEnv>("PATH", dir.path() + ":/usr/bin:/bin");
  const auto ok = reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"open", L"file:///x y", nullptr, L"/tmp", 5));
  const auto verb = reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, L"print", L"a.txt", nullptr, nullptr, 5));
  const auto empty = reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"", nullptr, nullptr, 5));
  path = std::make_unique<testsupport::ScopedEnv>("PATH", dir.File("none"));
  const auto none = reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"a.txt", nullptr, nullptr, 5));
  path.reset();

  EXPECT_GT(ok, 32);
  EXPECT_EQ(WaitForFileContent(out), "1|file:///x y|/tmp");
  EXPECT_EQ(verb, SE_ERR_NOASSOC);
  EXPECT_EQ(empty, SE_ERR_NOASSOC);
  EXPECT_EQ(none, SE_ERR_FNF);
}

// The opener's exit status is its verdict on the target.
TEST(ShellExecuteTest, ResultFollowsTheOpenersVerdict) {
  testsupport::TempDir dir;
  testsupport::ScopedEnv path("PATH", dir.path() + ":/usr/bin:/bin");
  const struct {
    int exitCode;
    intptr_t result;  // 0: greater than 32
  } cases[] = {{0, 0}, {1, SE_ERR_NOASSOC}, {2, SE_ERR_FNF}, {3, SE_ERR_NOASSOC}, {4, SE_ERR_NOASSOC}};
  for (const auto &c : cases) {
    WriteShellScript(dir, "xdg-open", "exit " + std::to_string(c.exitCode) + "\n");
    const auto result = reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"a.txt", nullptr, nullptr, 5));
    if (c.result == 0)
      EXPECT_GT(result, 32) << c.exitCode;
    else
      EXPECT_EQ(result, c.result) << c.exitCode;
  }
}

// An opener that runs the chosen program in the foreground has accepted the
// target: the call returns while it still runs.
TEST(ShellExecuteTest, OpenerStillRunningHasAccepted) {
  testsupport::TempDir dir;
  const std::string go = dir.File("go"), out = dir.File("out");
  WriteShellScript(dir, "xdg-open",
                   "i=0; while [ ! -e '" + go + "' ] && [ $i -lt 3000 ]; do sleep 0.01; i=$((i+1)); done\n" +
                       ShellReportLine(out, "$i") + "exit 4\n");
  testsupport::ScopedEnv path("PATH", dir.path() + ":/usr/bin:/bin");
  EXPECT_GT(reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"a.txt", nullptr, nullptr, 5)), 32);
  EXPECT_TRUE(testsupport::ReadFileBytes(out).empty()) << "the call returned before the opener ended";
  dir.Write("go", "1");
  EXPECT_NE(WaitForFileContent(out), "3000") << "the opener was let go, not timed out";
}

}  // namespace

#include "utils/desktop/shellhelper.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/window/headless.h"
#include "tests/support/child_files.h"
#include "tests/support/scoped_env.h"

namespace {

// A copy of this program started by StartProcess("") finds this variable in
// the inherited environment, leaves its pid in the named file and ends before
// any test runs.
const char kSelfStartMarker[] = "TICKORA_SELFSTART_MARKER";
const bool kIsSelfStartedCopy = [] {
  if (const char *marker = std::getenv(kSelfStartMarker)) {
    std::ofstream(marker) << getpid();
    _exit(0);
  }
  return false;
}();

const UINT kTemplate = 900;

using testsupport::ShellReportLine;
using testsupport::WaitForFileContent;
using testsupport::WriteShellScript;

using testsupport::ScopedEnv;

CString Wide(const std::string &s) { return CString(std::wstring(s.begin(), s.end()).c_str()); }

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { HeadlessReset(); }
};

TEST_F(MessageBoxTest, OnlyOkCountsAsTrue) {
  struct Case {
    UINT type;
    int answer;
    BOOL expected;
  } cases[] = {
      {MB_OKCANCEL, IDOK, TRUE},        {MB_OKCANCEL, IDCANCEL, FALSE},  // Cancel and the close button
      {MB_YESNO, IDYES, FALSE},         {MB_OK, IDOK, TRUE},
      {MB_RETRYCANCEL, IDRETRY, FALSE},
  };
  for (const Case &c : cases) {
    HeadlessReset();
    HeadlessQueueMessageBoxAnswer(c.answer);
    EXPECT_EQ(ShowMessageBox(L"继续吗？", c.type, nullptr), c.expected) << c.type << " " << c.answer;
    const auto boxes = HeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, L"继续吗？");
    EXPECT_EQ(boxes[0].caption, L"提示");
    EXPECT_EQ(boxes[0].type, c.type);
  }
}

TEST_F(MessageBoxTest, NumberBoxShowsTheDecimalTextWithOk) {
  for (const auto &[n, text] : {std::pair{-42, L"-42"}, std::pair{0, L"0"}, std::pair{2147483647, L"2147483647"}}) {
    HeadlessReset();
    ShowNumberBox(n);
    const auto boxes = HeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, text);
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
  }
}

TEST(FlashIfInactiveTest, FlashesOnlyAWindowThatIsNotInFront) {
  HeadlessReset();
  RegisterDialogTemplate({kTemplate, 100, 50, WS_POPUP, 0, nullptr, 9, {}});
  CDialog front(kTemplate), back(kTemplate);
  ASSERT_TRUE(front.Create(kTemplate, nullptr));
  ASSERT_TRUE(back.Create(kTemplate, nullptr));
  HeadlessSetForegroundWindow(front.GetSafeHwnd());

  EXPECT_FALSE(FlashIfInactive(front.GetSafeHwnd()));
  EXPECT_EQ(HeadlessFlashCount(front.GetSafeHwnd()), 0);

  EXPECT_FALSE(FlashIfInactive(back.GetSafeHwnd())) << "the flash reports the window was not active";
  EXPECT_EQ(HeadlessFlashCount(back.GetSafeHwnd()), 1);
}

TEST(StartProcessTest, StartsTheProgramWithoutArgumentsOrWaiting) {
  testsupport::TempDir dir;
  const std::string out = dir.File("out");
  const std::string go = dir.File("go");
  // The program reports its argument count only once the test lets it go,
  // which it does after StartProcess returned: StartProcess must not wait.
  const std::string program =
      WriteShellScript(dir, "prog", "while [ ! -e '" + go + "' ]; do sleep 0.01; done\n" + ShellReportLine(out, "$#"));
  EXPECT_TRUE(StartProcess(Wide(program)));
  dir.Write("go", "1");
  EXPECT_EQ(WaitForFileContent(out), "0");
}

TEST(StartProcessTest, EmptyPathStartsAnotherCopyOfThisProgram) {
  testsupport::TempDir dir;
  const std::string marker = dir.File("pid");
  {
    ScopedEnv env(kSelfStartMarker, marker);
    EXPECT_TRUE(StartProcess(CString()));
  }
  const std::string pid = WaitForFileContent(marker);
  ASSERT_FALSE(pid.empty());
  EXPECT_NE(pid, std::to_string(getpid()));
}

TEST(StartProcessTest, FailsForWhatCannotBeStarted) {
  testsupport::TempDir dir;
  const std::string plain = dir.Write("plain.txt", "not a program");
  const std::string onPath = "sh";  // no search of PATH: a bare name is not found
  for (const std::string &path : {dir.File("missing"), plain, dir.path(), onPath}) {
    EXPECT_FALSE(StartProcess(Wide(path))) << path;
  }
}

TEST(OpenWithShellTest, HandsTheTargetToTheDesktopOpener) {
  testsupport::TempDir dir;
  const std::string out = dir.File("opened");
  WriteShellScript(dir, "xdg-open", ShellReportLine(out, "$#|$1"));
  ScopedEnv path("PATH", dir.path() + ":/usr/bin:/bin");
  EXPECT_TRUE(OpenWithShell(L"https://example.test/a b?q=中"));
  EXPECT_EQ(WaitForFileContent(out), "1|https://example.test/a b?q=中");
}

TEST(OpenWithShellTest, FalseWhenNothingOpensTheTarget) {
  testsupport::TempDir dir;
  {
    ScopedEnv path("PATH", dir.path());  // no opener at all
    EXPECT_FALSE(OpenWithShell(L"/nonexistent/file.txt"));
  }
  ScopedEnv path("PATH", dir.path() + ":/usr/bin:/bin");
  // The opener's exit codes for a missing file, a missing program for the
  // type and a program that failed to start.
  for (int refusal : {2, 3, 4}) {
    WriteShellScript(dir, "xdg-open", "exit " + std::to_string(refusal) + "\n");
    EXPECT_FALSE(OpenWithShell(L"/nonexistent/file.txt")) << refusal;
  }
  EXPECT_FALSE(OpenWithShell(L""));
}

}  // namespace

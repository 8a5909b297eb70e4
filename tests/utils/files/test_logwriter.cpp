#include "utils/files/logwriter.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/crttime.h"
#include "platform/text/wctype_win.h"
#include "tests/support/print_cstring.h"
#include "tests/support/temp_dir.h"
#include "utils/files/datetimehelper.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;

// The calendar time of a local wall-clock time.
time_t Local(int year, int month, int day, int hour, int minute, int second) {
  struct tm t {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return mktime(&t);
}

time_t g_now = 0;
time_t FakeClock() { return g_now; }

// Runs the runtime clock at a chosen time while the test runs.
class FakeClockTest : public ::testing::Test {
 protected:
  void SetUp() override { crt_set_time_source(&FakeClock); }
  void TearDown() override { crt_set_time_source(nullptr); }
  static void SetNow(time_t t) { g_now = t; }
};

CString Wide(const std::string &utf8) { return CString(MultiByteToWide(CP_UTF8, utf8).c_str()); }

using DateTexts = FakeClockTest;

TEST_F(DateTexts, FormatTheClockInLocalTime) {
  struct Case {
    time_t t;
    const wchar_t *date, *dateTime;
  } const cases[] = {
      {Local(2016, 5, 7, 9, 5, 3), L"2016-05-07", L"2016-05-07 09:05:03"},
      {Local(2026, 12, 31, 23, 59, 59), L"2026-12-31", L"2026-12-31 23:59:59"},
      {Local(2000, 1, 1, 0, 0, 0), L"2000-01-01", L"2000-01-01 00:00:00"},
  };
  for (const Case &c : cases) {
    SetNow(c.t);
    EXPECT_EQ(GetDateString(), CString(c.date));
    EXPECT_EQ(GetDateTimeString(), CString(c.dateTime));
  }
}

TEST(FileModifyTime, FilesAndFoldersOrEmpty) {
  TempDir dir;
  const std::string file = dir.Write("a.txt", "x");
  const time_t t = Local(2016, 5, 7, 9, 5, 3);
  const struct utimbuf times = {t, t};
  ASSERT_EQ(utime(file.c_str(), &times), 0);
  ASSERT_EQ(utime(dir.path().c_str(), &times), 0);
  EXPECT_EQ(GetFileModifyTime(Wide(file)), CString(L"2016-05-07 09:05:03"));
  EXPECT_EQ(GetFileModifyTime(Wide(dir.path())), CString(L"2016-05-07 09:05:03"));
  EXPECT_EQ(GetFileModifyTime(Wide(dir.File("missing"))), CString());
  EXPECT_EQ(GetFileModifyTime(CString()), CString());
}

using LogWriter = FakeClockTest;

TEST_F(LogWriter, AppendsStampedLinesInCodePage936WithCrLf) {
  TempDir dir;
  const CString log = Wide(dir.File("app.log"));
  SetNow(Local(2016, 5, 7, 9, 5, 3));
  EXPECT_EQ(WriteLog(L"abc", log), 0);
  EXPECT_EQ(WriteLog(Wide("中文\xF0\x9F\x98\x80"), log), 0);  // an emoji has no 936 form
  EXPECT_TRUE(WriteLogText(L"two\nlines", log));
  EXPECT_EQ(ReadFileBytes(dir.File("app.log")),
            "2016-05-07 09:05:03:abc\r\n"
            "2016-05-07 09:05:03:\xD6\xD0\xCE\xC4?\r\n"
            "two\r\nlines\r\n");
  EXPECT_TRUE(crt_chinese_locale());  // the writer leaves the runtime in the Chinese state
}

TEST_F(LogWriter, FailuresAreReported) {
  TempDir dir;
  struct Case {
    std::string path;
    const char *why;
  } const cases[] = {
      {dir.File("no/such/folder/x.log"), "a named folder is not created"},
      {dir.path(), "a folder is no log file"},
      {"/dev/full", "a write that fails is no success"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(WriteLog(L"abc", Wide(c.path)), -1) << c.why;
    EXPECT_FALSE(WriteLogText(L"abc", Wide(c.path))) << c.why;
  }
  struct stat st {};
  EXPECT_NE(stat(dir.File("no").c_str(), &st), 0);
}

// The default log sits next to the program, so this runs in a copy of the
// test program inside a temporary folder: DefaultLogFile below starts it
// with TICKORA_LOG_FOLDER set, and only then is this test registered.
class DefaultLogChild : public FakeClockTest {
 public:
  void TestBody() override {
    const std::string folder = std::getenv("TICKORA_LOG_FOLDER");
    SetNow(Local(2016, 5, 7, 9, 5, 3));
    EXPECT_EQ(WriteLog(L"abc", CString()), 0);
    EXPECT_EQ(GetDefaultLogFile(), Wide(folder + "/log/2016-05-07.log"));
    SetNow(Local(2016, 5, 8, 0, 0, 1));
    EXPECT_TRUE(WriteLogText(L"next day", CString()));
    EXPECT_EQ(ReadFileBytes(folder + "/log/2016-05-07.log"), "2016-05-07 09:05:03:abc\r\n");
    EXPECT_EQ(ReadFileBytes(folder + "/log/2016-05-08.log"), "next day\r\n");
  }
};

const bool kChildRegistered = [] {
  if (std::getenv("TICKORA_LOG_FOLDER") == nullptr) return false;
  testing::RegisterTest("LogWriterChild", "DefaultLog", nullptr, nullptr, __FILE__, __LINE__,
                        []() -> FakeClockTest * { return new DefaultLogChild; });
  return true;
}();

TEST(DefaultLogFile, DailyFilesInLogFolderNextToProgram) {
  TempDir dir;
  const std::string copy = dir.File("logchild");
  const std::string command = "cp /proc/" + std::to_string(getpid()) + "/exe '" + copy + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  // The child is this program itself; it ends within 60 s or is ended.
  const std::string run = "TICKORA_LOG_FOLDER='" + dir.path() + "' timeout -k 5 60 '" + copy +
                          "' --gtest_filter=LogWriterChild.DefaultLog > '" + dir.File("child.out") + "' 2>&1";
  const int status = std::system(run.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFEXITED(status) && WEXITSTATUS(status) == 124 ? "the child did not end within 60 s\n" : "")
      << ReadFileBytes(dir.File("child.out"));
  EXPECT_NE(ReadFileBytes(dir.File("child.out")).find("[  PASSED  ] 1 test"), std::string::npos);
}

}  // namespace

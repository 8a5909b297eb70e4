#include "utils/myfun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text/codepage.h"
#include "tests/support/config_home.h"

namespace fs = std::filesystem;

namespace {

struct BetweenCase {
  const wchar_t *text, *begin, *end;
  BOOL found;
  const wchar_t *out;  // the output afterwards; it starts as "previous"
};

TEST(GetStringBetween, CutsBetweenTheFirstMarkers) {
  const BetweenCase cases[] = {
      {L"<b>1</b> <b>2</b>", L"<b>", L"</b>", TRUE, L"1"},  // only the first occurrence counts
      {L"a=\"x\" b=\"y\"", L"b=\"", L"\"", TRUE, L"y"},     // end marker searched after the begin
      {L"<b>1", L"<b>", L"</b>", FALSE, L"previous"},       // end marker missing
      {L"</b>x<b>1", L"<b>", L"</b>", FALSE, L"previous"},  // end marker only before the begin
      {L"no marker", L"<b>", L"</b>", FALSE, L"previous"},  // begin marker missing
      {L"Last", L"last", L"", FALSE, L"previous"},          // case-sensitive
      {L"<b>1</b>", L"<b>", L"", TRUE, L""},                // empty end marker: empty value
      {L"abc;d", L"", L";", TRUE, L"abc"},                  // empty begin marker matches at the start
      {L"whole text", L"", L"", FALSE, L"whole text"},      // both empty: the whole text
      {L"<b></b>", L"<b>", L"</b>", TRUE, L""},             // empty value found
      {L"价格：<i>455.12</i>元", L"<i>", L"</i>", TRUE, L"455.12"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "text " << WideToMultiByte(CP_UTF8, c.text));
    CString out(L"previous");
    EXPECT_EQ(GetStringBetween(c.text, c.begin, c.end, out), c.found);
    EXPECT_STREQ(out.GetString(), c.out);
  }
}

std::wstring ProgramPath() { return MultiByteToWide(CP_UTF8, fs::read_symlink("/proc/self/exe").string()); }

TEST(GetAppFilePath, JoinsTheProgramFolderWithOneSeparator) {
  const std::wstring program = ProgramPath();
  const std::wstring folder = program.substr(0, program.rfind(L'/'));
  const std::wstring own_name = program.substr(program.rfind(L'/') + 1);
  const struct {
    std::wstring name, expected;
  } cases[] = {
      {own_name, program},  // the program's own file name: its own path
      {L"Tickora.exe", folder + L"/Tickora.exe"},
      {L"/air.WAV", folder + L"/air.WAV"},  // no second separator
      {L"", folder + L"/"},                 // the folder and one separator
      {L"log/x.txt", folder + L"/log/x.txt"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(WideToMultiByte(CP_UTF8, c.name));
    EXPECT_EQ(std::wstring(GetAppFilePath(CString(c.name)).GetString()), c.expected);
  }
}

TEST(SetAutoRun, WritesOneAutostartEntryReplacedByTheNextCall) {
  ScopedConfigHome config;
  EXPECT_TRUE(SetAutoRun(L"/opt/tickora one/tickora"));
  EXPECT_TRUE(SetAutoRun(L"/opt/tickora two/tickora"));
  const std::string entry = config.AutostartEntries();
  EXPECT_EQ(entry.find("one"), std::string::npos) << entry;
  EXPECT_NE(entry.find("\nExec=\"/opt/tickora two/tickora\"\n"), std::string::npos) << entry;
}

TEST(SetAutoRun, FailsWhenTheAutostartFolderCannotBeWritten) {
  ScopedConfigHome config;
  std::ofstream(fs::path(config.path()) / "autostart") << "a file where the folder belongs";
  EXPECT_FALSE(SetAutoRun(L"/opt/tickora/tickora"));
}

}  // namespace

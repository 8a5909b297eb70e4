#include "platform/text/crtstdio.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"
#include "platform/text/winerror.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;

std::wstring Wide(const std::string &utf8) { return MultiByteToWide(CP_UTF8, utf8); }

// Writes `text` to a fresh file in `mode` after `before` was there and
// returns the file's bytes.
std::string WriteThrough(const TempDir &dir, const wchar_t *mode, const std::string &before, const wchar_t *text) {
  const std::string path = dir.Write("f.txt", before);
  crt_file *file = crt_wfopen(Wide(path).c_str(), mode);
  EXPECT_NE(file, nullptr) << mode;
  if (file == nullptr) return std::string();
  EXPECT_EQ(crt_fputws(text, file), 0);
  EXPECT_EQ(crt_fclose(file), 0);
  return ReadFileBytes(path);
}

TEST(CrtTextFile, ModesAndTextModeConversion) {
  TempDir dir;
  struct Case {
    bool chinese;
    const wchar_t *mode;
    const wchar_t *text;
    std::string bytes;
  } const cases[] = {
      {true, L"a+", L"\u4e2d\n", "old\xD6\xD0\r\n"},
      {true, L"at", L"\U0001F600", "old?"},              // no 936 form
      {false, L"a", L"\u00e9\u4e2d\n", "old\xE9?\r\n"},  // "C": one byte up to U+00FF
      {false, L"w", L"new", "new"},
      {false, L"w+", L"", ""},
  };
  for (const Case &c : cases) {
    crt_set_chinese_locale(c.chinese);
    EXPECT_EQ(WriteThrough(dir, c.mode, "old", c.text), c.bytes) << c.mode;
  }
  crt_set_chinese_locale(false);
}

TEST(CrtTextFile, Failures) {
  TempDir dir;
  const std::wstring missing = Wide(dir.File("no/f.txt"));
  EXPECT_EQ(crt_wfopen(missing.c_str(), L"a+"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(crt_wfopen(Wide(dir.File("f.txt")).c_str(), L"r"), nullptr);  // not a mode this layer takes
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  crt_file *full = crt_wfopen(L"/dev/full", L"a");
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(crt_fputws(L"x", full), -1);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(crt_fclose(full), 0);

  time_t mtime = 0;
  EXPECT_FALSE(crt_wstat_mtime(missing.c_str(), &mtime));
  EXPECT_TRUE(crt_wstat_mtime(Wide(dir.path()).c_str(), &mtime));
}

}  // namespace

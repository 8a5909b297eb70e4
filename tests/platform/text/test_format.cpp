// The wide printf rules of the original runtime: %s wide, %S narrow, %ld 32
// bits, %I64d 64 bits, length queries and truncation results.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "platform/text/cstring.h"
#include "platform/text/format.h"
#include "tests/support/print_cstring.h"

namespace {

std::wstring V(const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  std::wstring s = platform::FormatWideV(format, ap);
  va_end(ap);
  return s;
}

int Count(const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = _vscwprintf(format, ap);
  va_end(ap);
  return n;
}

int Snw(wchar_t *buf, size_t size, size_t count, const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = _vsnwprintf_s(buf, size, count, format, ap);
  va_end(ap);
  return n;
}

TEST(Format, VaListDirectivesReadTheWidthTheyName) {
  const DWORD big = 4000000000u;
  const long long wide64 = 0x123456789LL;
  struct {
    std::wstring got, expected;
  } cases[] = {
      {V(L"%d|%i|%u", -5, 42, 7u), L"-5|42|7"},
      {V(L"%ld|%lu", big, big), L"-294967296|4000000000"},  // %ld is 32 bits
      {V(L"%I64d|%lld|%I64u", wide64, -wide64, ~0ULL), L"4886718345|-4886718345|18446744073709551615"},
      {V(L"%x|%X|%#x|%o|%#o", 255, 0xABCu, 16, 8, 8), L"ff|ABC|0x10|10|010"},
      {V(L"%05d|%-5d|%+d|% d|%5.3d", 42, 42, 42, 42, 7), L"00042|42   |+42| 42|  007"},
      {V(L"%*d|%-*d|%.*d", 4, 1, 3, 2, 3, 5), L"   1|2  |005"},
      {V(L"%02d-%02d %02d:%02d", 2024, 3, 9, 5), L"2024-03 09:05"},
      {V(L"%hd|%hu", 70000, 70000), L"4464|4464"},
      {V(L"%s|%S|%ls|%hs", L"w\u4e2d", "n", L"l", "h"), L"w\u4e2d|n|l|h"},
      {V(L"[%5s][%-5s][%.2s]", L"ab", L"ab", L"abcdef"), L"[   ab][ab   ][ab]"},
      {V(L"%s|%S", (const wchar_t *)nullptr, (const char *)nullptr), L"(null)|(null)"},
      {V(L"%c%c|%C", L'\u4e2d', L'x', 'y'), L"\u4e2dx|y"},
      {V(L"%f|%.1f|%.2f|%8.3f|%-8.1f|", 3.14159, 2.25, 1.005, -1.5, 2.0), L"3.141590|2.2|1.00|  -1.500|2.0     |"},
      {V(L"%e|%.2E|%g|%g", 12345.678, 0.000123, 0.0001, 1e20), L"1.234568e+04|1.23E-04|0.0001|1e+20"},
      {V(L"%p", (void *)0x1234), L"0000000000001234"},
      {V(L"100%%|%d%%", 5), L"100%|5%"},
      {V(L"%s%05d", L"id", 42), L"id00042"},
      {V(L"plain text"), L"plain text"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(Format, TypedArgumentsMatchTheVaListForm) {
  CString name(L"\u4e2d\u6587");
  std::string narrow = "bytes";
  EXPECT_EQ(platform::FormatWide(L"%s=%d (%S) %u", name, -3, narrow.c_str(), DWORD(4000000000u)),
            L"\u4e2d\u6587=-3 (bytes) 4000000000");
  // A 64-bit value for %ld is cut to 32 bits as the original reads it.
  EXPECT_EQ(platform::FormatWide(L"%ld %I64d", 0x100000002LL, 0x100000002LL), L"2 4294967298");
  EXPECT_EQ(platform::FormatWide(L"%.2f%%", 12.345), L"12.35%");  // 12.345 is just above .345
  EXPECT_EQ(platform::FormatWide(L"%c", L'Z'), L"Z");
  // Missing arguments format as 0 / empty instead of reading past the list.
  EXPECT_EQ(platform::FormatWide(L"%d|%s|", 1), L"1||");
  // A narrow text given where wide is expected is still converted.
  EXPECT_EQ(platform::FormatWide(L"%s", "abc"), L"abc");
}

TEST(Format, LengthQueryAndTruncation) {
  EXPECT_EQ(Count(L"Host: %s\r\n", L"example.com"), 19);
  EXPECT_EQ(Count(L"%d", 123456), 6);
  EXPECT_EQ(Count(L"%q", 1), -1);  // invalid directive

  wchar_t buf[8];
  EXPECT_EQ(Snw(buf, 8, 7, L"%s", L"abc"), 3);
  EXPECT_STREQ(buf, L"abc");
  EXPECT_EQ(Snw(buf, 8, 7, L"%s", L"abcdefghij"), -1);
  EXPECT_STREQ(buf, L"abcdefg");  // cut to count, terminated
  EXPECT_EQ(Snw(buf, 8, _TRUNCATE, L"%d", 123456789), -1);
  EXPECT_STREQ(buf, L"1234567");
  EXPECT_EQ(Snw(buf, 8, 7, L"%s", L"1234567"), 7);
  EXPECT_EQ(Snw(nullptr, 8, 7, L"x"), -1);

  EXPECT_EQ(swprintf_s(buf, L"%d-%d", 1, 2), 3);
  EXPECT_STREQ(buf, L"1-2");
  EXPECT_EQ(swprintf_s(buf, L"%s", L"much too long"), -1);
  EXPECT_STREQ(buf, L"");

  wchar_t raw[4] = {L'x', L'x', L'x', L'x'};
  EXPECT_EQ(_snwprintf(raw, 4, L"%s", L"abcd"), 4);  // fits exactly: no terminator
  EXPECT_EQ(std::wstring(raw, 4), L"abcd");
  EXPECT_EQ(_snwprintf(raw, 4, L"%s", L"abcde"), -1);
}

TEST(Format, NarrowFormsUseTheSameRules) {
  char buf[64];
  EXPECT_EQ(sprintf_s(buf, "InternetOpenA:%ld", DWORD(12029)), 19);
  EXPECT_STREQ(buf, "InternetOpenA:12029");
  EXPECT_EQ(sprintf_s(buf, "%s|%S|%lu", "n", L"w", DWORD(4000000000u)), 14);
  EXPECT_STREQ(buf, "n|w|4000000000");
  EXPECT_EQ(sprintf_s(buf, 4, "%s", "toolong"), -1);
}

}  // namespace

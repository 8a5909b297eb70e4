// Number texts as the original runtime reads and writes them: 32-bit
// saturation, radix rules and two's complement outside radix 10.
#include "platform/text/numeric.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(Numeric, TextToNumber) {
  struct {
    const wchar_t *text;
    LONG value;
  } cases[] = {{L"  42abc", 42},
               {L"-17", -17},
               {L"+8", 8},
               {L"abc", 0},
               {L"", 0},
               {L"2147483647", INT_MAX},
               {L"2147483648", INT_MAX},
               {L"99999999999", INT_MAX},
               {L"-99999999999", INT_MIN}};
  for (const auto &c : cases) {
    EXPECT_EQ(_wtol(c.text), c.value) << c.text;
    EXPECT_EQ(_wtoi(c.text), c.value) << c.text;
  }
  EXPECT_EQ(_wtol(nullptr), 0);
  wchar_t *end = nullptr;
  EXPECT_EQ(_wcstoi64(L"12345678901x", &end, 10), 12345678901LL);
  EXPECT_EQ(*end, L'x');
  EXPECT_EQ(win_wcstol(L"ff", nullptr, 16), 255);
}

TEST(Numeric, NumberToText) {
  wchar_t buf[72];
  struct {
    std::wstring got;
    const wchar_t *expected;
  } cases[] = {
      {_itow(-42, buf, 10), L"-42"},
      {_itow(255, buf, 16), L"ff"},
      {_itow(-1, buf, 16), L"ffffffff"},  // two's complement outside radix 10
      {_itow(5, buf, 2), L"101"},
      {_itow(35, buf, 36), L"z"},
      {_itow(0, buf, 10), L"0"},
      {_itow(INT_MIN, buf, 10), L"-2147483648"},
      {_i64tow(-1, buf, 16), L"ffffffffffffffff"},
      {_i64tow(LLONG_MIN, buf, 10), L"-9223372036854775808"},
      {_ui64tow(ULLONG_MAX, buf, 10), L"18446744073709551615"},
      {_itow(5, buf, 1), L""},
      {_itow(5, buf, 37), L""},
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected);
}

}  // namespace

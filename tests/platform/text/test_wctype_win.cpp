// Wide classification and case mapping follow the original runtime's "C"
// locale rules whatever the process locale is.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/text/wctype_win.h"

namespace {

struct ClassCase {
  wchar_t ch;
  int mask;      // every bit queried
  int expected;  // bits that must be reported
};

const ClassCase kClasses[] = {
    {L'A', 0x1FF, _UPPER | _HEX | 0x100},
    {L'z', 0x1FF, _LOWER | 0x100},
    {L'7', 0x1FF, _DIGIT | _HEX},
    {L' ', 0x1FF, _SPACE | _BLANK},
    {L'\t', 0x1FF, _SPACE | _BLANK | _CONTROL},
    {L'\n', 0x1FF, _SPACE | _CONTROL},
    {L'!', 0x1FF, _PUNCT},
    {0x7F, 0x1FF, _CONTROL},
    {0xE9, 0x1FF, 0},  // é: below 256 only ASCII classes exist
    {0xA0, 0x1FF, 0},
    {0xC0, 0x1FF, 0},
    {0x100, _ALPHA | _UPPER | _LOWER, 0x100 | _UPPER},  // Ā: a Unicode upper-case letter
    {0x101, _ALPHA | _UPPER | _LOWER, 0x100 | _LOWER},
    {0x1C5, 0x100, 0x100},  // ǅ: title-case letter
    {0x4E2D, _ALPHA | _PUNCT | _SPACE, 0x100},
    {0x3000, _SPACE | _ALPHA, _SPACE},
    {0x3002, _PUNCT | _ALPHA, _PUNCT},
    {0xD800, 0x1FF, 0},  // surrogate values classify as nothing
};

struct CaseCase {
  wchar_t ch;
  wchar_t upperC, lowerC;      // "C" state: ASCII below 256, simple Unicode mapping above
  wchar_t upperChs, lowerChs;  // Chinese state: full simple mapping
};

const CaseCase kCases[] = {
    {L'a', L'A', L'a', L'A', L'a'},      {L'Z', L'Z', L'z', L'Z', L'z'},           {L'1', L'1', L'1', L'1', L'1'},
    {0xE9, 0xE9, 0xE9, 0xC9, 0xE9},      {0x100, 0x100, 0x101, 0x100, 0x101},      {0x101, 0x100, 0x101, 0x100, 0x101},
    {0x1C5, 0x1C4, 0x1C6, 0x1C4, 0x1C6}, {0x4E2D, 0x4E2D, 0x4E2D, 0x4E2D, 0x4E2D},
};

void CheckAll(const char *locale_name) {
  SCOPED_TRACE(locale_name);
  for (const auto &c : kClasses)
    EXPECT_EQ(win_iswctype(c.ch, static_cast<win_wctype_t>(c.mask)), c.expected) << std::hex << int(c.ch);
  for (const auto &c : kCases) {
    crt_set_chinese_locale(false);
    EXPECT_EQ(crt_towupper(c.ch), c.upperC) << std::hex << int(c.ch);
    EXPECT_EQ(crt_towlower(c.ch), c.lowerC) << std::hex << int(c.ch);
    crt_set_chinese_locale(true);
    EXPECT_EQ(crt_towupper(c.ch), c.upperChs) << std::hex << int(c.ch);
    EXPECT_EQ(crt_towlower(c.ch), c.lowerChs) << std::hex << int(c.ch);
  }
  crt_set_chinese_locale(false);
}

TEST(WideClass, SameResultsUnderEveryProcessLocale) {
  for (const char *name : {"C", "zh_CN.UTF-8", "C.UTF-8"}) {
    ASSERT_NE(setlocale(LC_ALL, name), nullptr) << name;
    CheckAll(name);
  }
  setlocale(LC_ALL, "C");
}

TEST(WideClass, ClassNamesGiveTheOriginalMasks) {
  struct {
    const char *name;
    int mask;
  } cases[] = {{"alnum", 0x107}, {"alpha", 0x103}, {"cntrl", 0x20}, {"digit", 0x4}, {"graph", 0x117},
               {"lower", 0x2},   {"print", 0x157}, {"punct", 0x10}, {"space", 0x8}, {"upper", 0x1},
               {"xdigit", 0x80}, {"blank", 0},     {"word", 0},     {"ALPHA", 0}};
  for (const auto &c : cases) EXPECT_EQ(win_wctype(c.name), c.mask) << c.name;
  EXPECT_EQ(win_wctype(nullptr), 0);
  EXPECT_TRUE(win_iswctype(L'q', win_wctype("alnum")));
  EXPECT_TRUE(win_iswctype(L'~', win_wctype("graph")));
  EXPECT_TRUE(win_iswctype(L' ', win_wctype("print")));
  EXPECT_FALSE(win_iswctype(L'\n', win_wctype("print")));
}

TEST(WideClass, ByteTableIsAsciiOnly) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(win_isctype(c, 0x103) != 0, (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    EXPECT_EQ(win_toupper(c), c >= 'a' && c <= 'z' ? c - 32 : c);
    EXPECT_EQ(win_tolower(c), c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  EXPECT_EQ(win_isctype(-1, 0xFFFF), 0);
  EXPECT_EQ(win_isctype(300, 0xFFFF), 0);
}

TEST(WideClass, CaseInsensitiveCompareFollowsState) {
  EXPECT_EQ(crt_wcsicmp(L"HeLLo", L"hello"), 0);
  EXPECT_LT(crt_wcsicmp(L"abc", L"ABD"), 0);
  EXPECT_NE(crt_wcsicmp(L"\u00c9", L"\u00e9"), 0);
  crt_set_chinese_locale(true);
  EXPECT_EQ(crt_wcsicmp(L"\u00c9", L"\u00e9"), 0);
  crt_set_chinese_locale(false);
  EXPECT_EQ(crt_wcsnicmp(L"abcX", L"ABCy", 3), 0);
}

}  // namespace

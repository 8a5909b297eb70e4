#include "utils/text/texthelper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/support/print_cstring.h"

namespace {

std::vector<CString> Items(const CStringArray &parts) {
  std::vector<CString> out;
  for (INT_PTR i = 0; i < parts.GetSize(); ++i) out.push_back(parts.GetAt(i));
  return out;
}

TEST(ListHelpers, FindEraseAndNumberText) {
  std::vector<CString> list = {L"a", L"b", L"a"};
  EXPECT_EQ(FindStringIndex(list, L"a"), 0);
  EXPECT_EQ(FindStringIndex(list, L"A"), -1);  // case-sensitive
  EXPECT_FALSE(EraseStringAt(list, -1));
  EXPECT_FALSE(EraseStringAt(list, 3));
  EXPECT_TRUE(EraseStringAt(list, 0));
  EXPECT_EQ(list, (std::vector<CString>{L"b", L"a"}));
  EXPECT_EQ(IntToString(-2147483647 - 1), CString(L"-2147483648"));
}

TEST(JoinStrings, SkipsEmptyElementsAndTrailingBlanks) {
  struct Case {
    std::vector<CString> list;
    const wchar_t *separator, *joined;
  } const cases[] = {
      {{L"a", L"", L"b"}, L",", L"a,b"}, {{}, L",", L""},
      {{L"", L""}, L",", L""},           {{L"a", L"b"}, L" ", L"a b"},  // a blank separator vanishes at the end
      {{L"a", L"b "}, L";", L"a;b"},                                    // trailing white space of the result goes
      {{L"a", L"b"}, L"::", L"a::b"},                                   // the whole separator is removed at the end
      {{L"a", L"b"}, L"", L"ab"},
  };
  for (const auto &c : cases) EXPECT_EQ(JoinStrings(c.list, c.separator), CString(c.joined)) << c.joined;
}

TEST(SplitByChar, KeepsEveryPieceAndEmptiesTheArrayFirst) {
  struct Case {
    const wchar_t *text;
    std::vector<CString> parts;
  } const cases[] = {
      {L"a-b", {L"a", L"b"}}, {L"a-b-", {L"a", L"b", L""}}, {L"1--3", {L"1", L"", L"3"}},
      {L"", {L""}},           {L"-", {L"", L""}},           {L"abc", {L"abc"}},
  };
  for (const auto &c : cases) {
    CStringArray parts;
    parts.Add(L"stale");
    SplitByChar(c.text, parts, '-');
    EXPECT_EQ(Items(parts), c.parts) << c.text;
  }
}

TEST(SplitByTokens, RunsOfDelimitersGiveNoEmptyTokens) {
  CStringArray parts;
  parts.Add(L"stale");
  EXPECT_FALSE(SplitByTokens(L"", parts, L", "));
  EXPECT_EQ(Items(parts), std::vector<CString>{L"stale"});  // untouched on failure

  EXPECT_TRUE(SplitByTokens(L"a,,b", parts, L", "));
  EXPECT_EQ(Items(parts), (std::vector<CString>{L"a", L"b"}));
  EXPECT_TRUE(SplitByTokens(L" ,x y, ", parts, L", "));
  EXPECT_EQ(Items(parts), (std::vector<CString>{L"x", L"y"}));
  EXPECT_TRUE(SplitByTokens(L",,", parts, L","));
  EXPECT_TRUE(Items(parts).empty());
}

TEST(GetUrlHost, LowerCasesTrimsAndDropsOnlyHttp) {
  struct Case {
    const wchar_t *url, *host;
  } const cases[] = {
      {L" HTTP://Host-A/path?q=1 ", L"host-a"},
      {L"https://h.example/x", L"https:"},
      {L"host.example", L"host.example"},
      {L"http://h:8080", L"h:8080"},
      {L"", L""},
  };
  for (const auto &c : cases) EXPECT_EQ(GetUrlHost(c.url), CString(c.host)) << c.url;
}

TEST(CutString, CutsByDisplayWidth) {
  struct Case {
    const wchar_t *text;
    int width;
    const wchar_t *cut;
  } const cases[] = {
      {L"abcdef", 4, L"abcd..."},
      {L"abcd", 4, L"abcd"},  // fits: unchanged
      {L"\x4E00\x4E01\x4E02\x4E03\x4E04\x4E05", 4, L"\x4E00\x4E01..."},
      {L"a\x4E00\x4E01\x4E02", 2, L"a\x4E00..."},         // a double character crosses the limit
      {L"\x00E9\x00E9\x00E9", 2, L"\x00E9\x00E9..."},     // U+00E9 is single width
      {L"\x4E00\x4E01\x4E02", 3, L"\x4E00\x4E01\x4E02"},  // three characters fit in width 3
      {L"abc", 0, L"..."},
  };
  for (const auto &c : cases) EXPECT_EQ(CutString(c.text, c.width), CString(c.cut)) << c.width;
}

TEST(ToAnsiCompatible, ReplacesWhatTheAnsiCodePageCannotHold) {
  CString text = L"ab\x4E2D\x6587\x20AC\x0E01";  // Chinese and the euro sign are in GBK, Thai is not
  ToAnsiCompatible(text);
  EXPECT_EQ(text, CString(L"ab\x4E2D\x6587\x20AC?"));
}

TEST(GetStringBetweenEx, ReturnsBetweenAndRest) {
  struct Case {
    const wchar_t *text, *begin, *end;
    BOOL found;
    const wchar_t *between, *rest;  // outputs start as "B" and "R"
  } const cases[] = {
      {L"x[a]y", L"[", L"]", TRUE, L"a", L"y"},
      {L"x[a]y[b]z", L"[", L"]", TRUE, L"a", L"y[b]z"},
      {L"[a]", L"[", L"]", TRUE, L"a", L""},
      {L"abc", L"", L"b", TRUE, L"a", L"c"},  // empty begin matches at the start
      {L"abc", L"a", L"", TRUE, L"", L"bc"},  // empty end matches at once
      {L"abc", L"", L"", FALSE, L"abc", L"R"},
      {L"x[a", L"[", L"]", FALSE, L"B", L"R"},
      {L"x]a", L"[", L"]", FALSE, L"B", L"R"},
  };
  for (const auto &c : cases) {
    CString between = L"B", rest = L"R";
    EXPECT_EQ(GetStringBetweenEx(c.text, c.begin, c.end, between, rest), c.found) << c.text;
    EXPECT_EQ(between, CString(c.between)) << c.text;
    EXPECT_EQ(rest, CString(c.rest)) << c.text;
  }
}

TEST(CompareVersion, ComparesDashSeparatedNumbers) {
  struct Case {
    const wchar_t *first, *second;
    int result;
  } const cases[] = {
      {L"1-10", L"1-9", 1},
      {L"1-9", L"1-10", -1},
      {L"1-2", L"1-2", 0},
      {L" 3x-1", L"3-1", 0},  // read as _wtol reads
      {L"2-5", L"3", -1},     // differs before the second runs out
      // A missing part counts as 0, whichever side lacks it.
      {L"2-0", L"2", 0},
      {L"2", L"2-0", 0},
      {L"2-1", L"2", 1},
      {L"2", L"2-1", -1},
      {L"1-2", L"1-2-3", -1},
      {L"1-2-3", L"1-2", 1},
      {L"1-0-0", L"1", 0},
      {L"", L"0-0", 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(CompareVersion(c.first, c.second), c.result) << c.first << " against " << c.second;
  EXPECT_TRUE(IsStringLess(L"A", L"a"));
  EXPECT_FALSE(IsStringLess(L"a", L"a"));
}

TEST(CharacterClassTests, IntegerAndAscii) {
  struct Case {
    const wchar_t *text;
    BOOL integer, ascii;
  } const cases[] = {
      {L"-12", TRUE, TRUE},      {L"1-2", FALSE, TRUE},     {L"12a", FALSE, TRUE}, {L"-", TRUE, TRUE},
      {L"", FALSE, TRUE},        {L"+1", FALSE, TRUE},      {L" 1", FALSE, TRUE},  {L"\x00B2", FALSE, FALSE},
      {L"7\x007F", FALSE, TRUE}, {L"\x0080", FALSE, FALSE},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(IsIntegerString(c.text), c.integer) << WideToMultiByte(CP_UTF8, c.text);
    EXPECT_EQ(IsAsciiString(c.text), c.ascii) << WideToMultiByte(CP_UTF8, c.text);
  }
}

TEST(EscapeSql, MySqlAndStandardDialects) {
  struct Case {
    const wchar_t *text, *dialect, *escaped;
  } const cases[] = {
      {L"50%_a'b", L"MYSQL", L"50\\%\\_a\\'b"},
      {L"a\\b\"c", L"MYSQL", L"a\\\\b\\\"c"},  // inserted backslashes are not doubled
      {L"a'b", L"mysql", L"a''b"},             // the dialect name is case-sensitive
      {L"a'b\\%", L"", L"a''b\\%"},
  };
  for (const auto &c : cases) {
    CString text = c.text;
    EscapeSql(text, c.dialect);
    EXPECT_EQ(text, CString(c.escaped));
  }
}

}  // namespace

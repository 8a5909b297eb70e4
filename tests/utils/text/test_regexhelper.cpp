// The CString wrapper of the regular-expression engine.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/print_cstring.h"
#include "utils/regex/regex.h"
#include "utils/text/regexhelper.h"

namespace {

using regex::ALLMATCHES;
using regex::IGNORECASE;
using regex::KEEPALLGROUPS;

const regex::pattern_flags kDetect = IGNORECASE | ALLMATCHES | KEEPALLGROUPS;

TEST(RegexHelper, MatchFoldsLineBreaksOfPatternAndText) {
  CRegexHelper helper(kDetect);
  std::vector<CString> groups;
  ASSERT_TRUE(
      helper.Match(L"charset=(.+)", L"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n", groups));
  EXPECT_EQ(groups, (std::vector<CString>{L"charset=UTF-8", L"UTF-8"}));
  // A "\r\n" inside the pattern matches the folded line break.
  groups.clear();
  EXPECT_TRUE(helper.Match(L"a\r\nb", L"a\r\nb", groups));
}

TEST(RegexHelper, AllMatchesAppendEveryGroupAndMatchAllTheOddOnes) {
  CRegexHelper helper(kDetect);
  std::vector<CString> groups{L"kept"};
  ASSERT_TRUE(helper.Match(L"k=(\\w+)", L"k=one; K=two", groups));
  EXPECT_EQ(groups, (std::vector<CString>{L"kept", L"k=one", L"one", L"K=two", L"two"}));
  std::vector<CString> odd;
  ASSERT_TRUE(helper.MatchAll(L"k=(\\w+)", L"k=one; K=two", odd));
  EXPECT_EQ(odd, (std::vector<CString>{L"one", L"two"}));
}

TEST(RegexHelper, GroupThatTookNoPartAppendsEmptyText) {
  CRegexHelper helper(regex::NOFLAGS);
  std::vector<CString> groups;
  ASSERT_TRUE(helper.Match(L"(a)|(b)", L"b", groups));
  EXPECT_EQ(groups, (std::vector<CString>{L"b", L"", L"b"}));
}

TEST(RegexHelper, FailuresAndBadPatterns) {
  CRegexHelper helper(kDetect);
  std::vector<CString> groups;
  EXPECT_FALSE(helper.Match(L"x(", L"x(", groups));
  EXPECT_FALSE(helper.Match(L"z", L"abc", groups));
  EXPECT_TRUE(groups.empty());
  EXPECT_FALSE(helper.IsMatch(L"x(", L"x("));
  EXPECT_FALSE(helper.IsMatch(L"z", L"abc"));
  EXPECT_TRUE(helper.IsMatch(L"B", L"abc"));
  EXPECT_THROW(helper.MatchAll(L"x(", L"x(", groups), regex::bad_regexpr);
  EXPECT_FALSE(helper.MatchAll(L"z", L"abc", groups));
  CString text(L"abc");
  EXPECT_THROW(helper.Replace(L"x(", L"", text), regex::bad_regexpr);
  EXPECT_THROW(helper.Split(L"x(", text, groups), regex::bad_regexpr);
  EXPECT_EQ(text, CString(L"abc"));
}

TEST(RegexHelper, ReplaceFirstOrEveryMatchAndAlwaysTrue) {
  CRegexHelper helper(regex::NOFLAGS);
  CString text(L"k=one; k=two");
  EXPECT_TRUE(helper.Replace(L"k=(\\w+)", L"\\U$1", text));
  EXPECT_EQ(text, CString(L"ONE; k=two"));
  helper.SetFlags(regex::ALLMATCHES | regex::IGNORECASE);
  text = L"K=one; k=two";
  EXPECT_TRUE(helper.Replace(L"k=(\\w+)", L"[$1]", text));
  EXPECT_EQ(text, CString(L"[one]; [two]"));
  // No match: TRUE with the text unchanged; "\r\n" is not folded here.
  text = L"a\r\nb";
  EXPECT_TRUE(helper.Replace(L"a\nb", L"x", text));
  EXPECT_EQ(text, CString(L"a\r\nb"));
  // A bad replacement throws and leaves the text alone.
  EXPECT_THROW(helper.Replace(L"(a)", L"$2", text), regex::bad_regexpr);
  EXPECT_EQ(text, CString(L"a\r\nb"));
}

TEST(RegexHelper, SplitAppendsPiecesAndGroups) {
  CRegexHelper helper(regex::NOFLAGS);
  std::vector<CString> pieces{L"kept"};
  EXPECT_TRUE(helper.Split(L"\\s*(;)\\s*", L"a ; b;c;;", pieces));
  EXPECT_EQ(pieces, (std::vector<CString>{L"kept", L"a", L";", L"b", L";", L"c", L";", L"", L";"}));
  pieces.clear();
  EXPECT_TRUE(helper.Split(L",", L",,", pieces));
  EXPECT_TRUE(pieces.empty());
}

TEST(RegexHelper, SetFlagsChangesLaterCalls) {
  CRegexHelper helper(regex::NOFLAGS);
  EXPECT_FALSE(helper.IsMatch(L"ABC", L"abc"));
  helper.SetFlags(IGNORECASE);
  EXPECT_TRUE(helper.IsMatch(L"ABC", L"abc"));
}

TEST(RegexHelper, EscapeRegex) {
  struct escape_case {
    const wchar_t *text;
    std::vector<CString> keep;
    const wchar_t *expected;
  };
  const escape_case cases[] = {
      {L"a.b*c", {}, L"a\\.b\\*c"},
      {L"\\^[?+().$*|", {}, L"\\\\\\^\\[\\?\\+\\(\\)\\.\\$\\*\\|"},
      {L"a{2}] -x 9", {}, L"a\\{2}] -x 9"},
      {L"(x)[y]", {L"(x)"}, L"(x)\\[y]"},
      {L"(a).(b)", {L"(a)", L"(b)"}, L"(a)\\.(b)"},
      // The text may hold anything, placeholder-like words included.
      {L"string_key_00000.(k)", {L"(k)"}, L"string_key_00000\\.(k)"},
      {L"ab.", {L"", L"b."}, L"ab."},
      {L"aaa", {L"aa"}, L"aaa"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(EscapeRegex(c.text, c.keep), CString(c.expected)) << testing::PrintToString(CString(c.text));
  EXPECT_EQ(EscapeRegex(L"(x).", CString(L"(x)")), CString(L"(x)\\."));
  EXPECT_EQ(EscapeRegex(L"(x).", CString()), CString(L"\\(x\\)\\."));
  // An escaped text matches itself.
  CRegexHelper helper(regex::NOFLAGS);
  const CString raw(L"price{1,2}: $3.50 (net)*");
  std::vector<CString> groups;
  ASSERT_TRUE(helper.Match(EscapeRegex(raw, CString()), raw, groups));
  EXPECT_EQ(groups[0], raw);
}

// A search abandoned on its budget (regex::search_budget_exceeded: too many
// steps, or native nesting beyond the stack), and a pattern nested too
// deeply, count as no match in every call; nothing throws them at the caller.
TEST(CRegexHelper, AbandonedSearchesAreNoMatch) {
  CRegexHelper helper(regex::NOFLAGS);
  std::vector<CString> groups;
  // A back-reference keeps the failure memo off: only the step budget ends
  // this (ten million steps, seconds in the sanitizer build: asked once).
  const CString hopeless(L"(a|aa)\\1*(a|aa)*(a|aa)*(a|aa)*(a|aa)*(a|aa)*[bc]");
  EXPECT_FALSE(helper.Match(hopeless, CString(std::wstring(60, L'a')), groups));
  // Atomic groups reached through recursion nest native calls until the
  // stack runs short, which ends the search at once.
  const CString nested(L"(?>a(?:(?R)|))b");
  const CString text(std::wstring(100000, L'a') + L"b");
  regex::match_results results;
  EXPECT_THROW(regex::rpattern(nested.str(), regex::NOFLAGS, regex::MODE_RECURSIVE).match(text.str(), results),
               regex::search_budget_exceeded);
  EXPECT_FALSE(helper.Match(nested, text, groups));
  EXPECT_FALSE(helper.IsMatch(nested, text));
  EXPECT_FALSE(helper.MatchAll(nested, text, groups));
  EXPECT_TRUE(groups.empty());
  CString replaced = text;
  EXPECT_TRUE(helper.Replace(nested, L"x", replaced));
  EXPECT_EQ(replaced, text);
  std::vector<CString> pieces;
  EXPECT_TRUE(helper.Split(nested, text, pieces));
  EXPECT_EQ(pieces, std::vector<CString>{text});
  std::wstring deep(30000, L'(');
  deep += L"a" + std::wstring(30000, L')');
  EXPECT_FALSE(helper.Match(CString(deep), L"a", groups));
}

}  // namespace

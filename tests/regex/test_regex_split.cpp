// Split: pieces, group texts, the limit and the range, in both match modes;
// the cases where this engine and Perl's split agree are checked against Perl.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "perl_oracle.h"
#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"
#include "utils/regex/regex.h"

namespace {

using namespace regex;
typedef std::vector<std::wstring> pieces_t;

const match_mode kModes[] = {MODE_RECURSIVE, MODE_ITERATIVE};

pieces_t split(const std::wstring &pattern, const std::wstring &subject, int limit, pattern_flags flags,
               match_mode mode, std::size_t pos = 0, std::size_t len = std::wstring::npos) {
  rpattern pat(pattern, flags, mode);
  pieces_t pieces{L"stale"};
  const std::size_t count = pat.split(subject, pieces, limit, pos, len);
  EXPECT_EQ(count, pieces.size());
  return pieces;
}

TEST(RegexSplit, AgreesWithPerl) {
  struct perl_case {
    const wchar_t *pattern;
    const wchar_t *subject;
    int limit;
  } cases[] = {
      {L",", L"a,b,,c,,", 0},   {L",", L"a,b,,c,,", -1}, {L",", L"a,b,,c,,", 2}, {L",", L"a,b,,c,,", 3},
      {L"(-)", L"a-b", 0},      {L"", L"abc", 0},        {L"", L"abc", 2},       {L" ", L" a b", 0},
      {L",+", L",a,,b", 0},     {L"(\\d)", L"a1b2c", 0}, {L"b", L"abc", -1},     {L"\\b", L"ab cd", 0},
      {L"(,)(;)", L"a,;b", -1}, {L"z", L"abc", 0},       {L"(?<=a)", L"aab", 0},
  };
  std::vector<std::string> requests;
  for (const perl_case &c : cases) requests.push_back(regex_test::split_request(c.pattern, c.subject, c.limit));
  const std::vector<std::string> answers = regex_test::ask_perl(requests);
  for (std::size_t i = 0; i < std::size(cases); ++i)
    for (match_mode mode : kModes) {
      SCOPED_TRACE(testing::Message() << "case " << i << " mode " << mode);
      EXPECT_EQ(split(cases[i].pattern, cases[i].subject, cases[i].limit, NOFLAGS, mode),
                regex_test::split_fields(answers[i]));
    }
}

// Where this engine differs from Perl: a group that took no part adds
// nothing, an empty match right after a match cuts an empty piece, an empty
// range gives one empty piece unless the limit is 0.
TEST(RegexSplit, EngineOwnCases) {
  struct own_case {
    const wchar_t *pattern;
    const wchar_t *subject;
    int limit;
    pieces_t expected;
  } cases[] = {
      {L"(1)|(2)", L"a1b", 0, {L"a", L"1", L"b"}},
      {L"x*", L"axb", 0, {L"a", L"", L"b"}},
      {L",", L"", 0, {}},
      {L",", L"", 1, {L""}},
      {L",", L"", -1, {L""}},
      {L",", L"a,b", 1, {L"a,b"}},
      {L"(),", L"a,", 0, {L"a"}},
      {L"(),", L"a,", -1, {L"a", L"", L""}},
  };
  for (const own_case &c : cases)
    for (match_mode mode : kModes) {
      SCOPED_TRACE(regex_test::narrow(c.pattern) + " over " + regex_test::narrow(c.subject));
      EXPECT_EQ(split(c.pattern, c.subject, c.limit, NOFLAGS, mode), c.expected);
    }
}

TEST(RegexSplit, RangeAndIteratorForms) {
  for (match_mode mode : kModes) {
    EXPECT_EQ(split(L",", L"x,a,b,y", 0, NOFLAGS, mode, 2, 3), (pieces_t{L"a", L"b"}));
    // The range start is the subject start for anchors.
    EXPECT_EQ(split(L"^a", L"xab", 0, NOFLAGS, mode, 1), (pieces_t{L"", L"b"}));
    EXPECT_THROW(split(L",", L"a", 0, NOFLAGS, mode, 2), std::out_of_range);
    const std::wstring subject = L"a,b;c";
    rpattern pat(L"[,;]", NOFLAGS, mode);
    pieces_t pieces;
    EXPECT_EQ(pat.split(subject.begin() + 2, subject.end(), pieces, 0), 2u);
    EXPECT_EQ(pieces, (pieces_t{L"b", L"c"}));
  }
}

TEST(RegexSplit, RightmostEnds) {
  for (match_mode mode : kModes) {
    EXPECT_EQ(split(L",", L"a,b,c", 0, RIGHTMOST, mode), (pieces_t{L"a,b", L"c"}));
    EXPECT_EQ(split(L"x*", L"ab", -1, RIGHTMOST, mode), (pieces_t{L"ab", L""}));
    EXPECT_EQ(split(L"(?<![a-z])", L"ab", -1, RIGHTMOST, mode), (pieces_t{L"ab"}));
  }
}

}  // namespace

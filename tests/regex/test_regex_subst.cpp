// Substitution: template parsing, the replacement builder and the driver,
// in both match modes; ASCII cases are checked against Perl's s///.
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

const match_mode kModes[] = {MODE_RECURSIVE, MODE_ITERATIVE};

struct subst_outcome {
  std::wstring text;
  std::size_t count;
};

subst_outcome substitute(const std::wstring &pattern, const std::wstring &tmpl, std::wstring subject,
                         pattern_flags flags, match_mode mode, std::size_t pos = 0,
                         std::size_t len = std::wstring::npos) {
  rpattern pat(pattern, tmpl, flags, mode);
  subst_results results;
  const std::size_t count = pat.substitute(subject, results, pos, len);
  return {subject, count};
}

struct perl_case {
  const wchar_t *pattern;
  const wchar_t *tmpl;
  const wchar_t *subject;
  const char *perl_flags;  // g: ALLMATCHES, i: IGNORECASE
};

// Templates in the syntax both sides read alike: plain text, $n, $&, $`, $',
// \U \L \u \l \E and backslash-escaped punctuation.
const perl_case kPerlCases[] = {
    {L"b", L"[$&]", L"abc", ""},
    {L"o", L"0", L"foo", "g"},
    {L"o", L"0", L"foo", ""},
    {L"(\\w+)", L"\\u$1", L"ab", ""},
    {L"(\\w+)", L"\\U$1\\E-", L"ab", ""},
    {L"(\\w+)", L"\\l$1", L"ABC", ""},
    {L"(\\w+)", L"\\L\\u$1", L"hELLO wORLD", "g"},
    {L"(\\w+)", L"\\U\\l$1", L"abc", ""},
    {L"(\\w+)", L"\\u\\L$1x", L"ABC", ""},
    {L"(\\w)", L"\\l\\U$1b", L"a", ""},
    {L"(\\w+)", L"\\U$1\\E$1", L"ab cd", "g"},
    {L"(\\w+) (\\w+)", L"$2 $1", L"hello world", ""},
    {L"(a)(b)?", L"<$1$2>", L"ac ab", "g"},
    {L"(a)|(b)", L"[$2]", L"a", ""},
    {L"a", L"[$`|$']", L"xay", ""},
    {L"\\d+", L"<$&>", L"a1b22c333", "g"},
    {L"x*", L"-", L"ab", "g"},
    {L"x*", L"-", L"axb", "g"},
    {L"a", L"", L"banana", "g"},
    {L"a", L"\\U", L"banana", "g"},
    {L"a", L"\\$\\\\", L"bab", ""},
    {L"abc", L"x", L"aBc ABC", "gi"},
    {L"a", L"aa", L"aaa", "g"},
    {L"z", L"y", L"abc", "g"},
    // \u before an empty group waits for the next character of the replacement
    // and never touches the subject after the match.
    {L"(x?)b", L"\\u$1", L"abc", ""},
    {L"(x?)(b)", L"\\u$1$2", L"abc", ""},
    {L"(x?)b", L"\\u$1\\E", L"abc", "g"},
    {L"(?<=b)a", L"b", L"baaa", "g"},
};

TEST(RegexSubst, AgreesWithPerl) {
  std::vector<std::string> requests;
  for (const perl_case &c : kPerlCases)
    requests.push_back(regex_test::subst_request(c.pattern, c.tmpl, c.subject, c.perl_flags));
  const std::vector<std::string> answers = regex_test::ask_perl(requests);
  for (std::size_t i = 0; i < std::size(kPerlCases); ++i) {
    const perl_case &c = kPerlCases[i];
    const std::string flags = c.perl_flags;
    pattern_flags pf = NOFLAGS;
    if (flags.find('g') != std::string::npos) pf = pf | ALLMATCHES;
    if (flags.find('i') != std::string::npos) pf = pf | IGNORECASE;
    const std::size_t tab = answers[i].find('\t');
    const std::size_t perl_count = std::stoul(answers[i].substr(0, tab));
    const std::wstring perl_text = regex_test::widen(answers[i].substr(tab + 1));
    // DISCARDGROUPS changes where the records live, never the text.
    for (pattern_flags extra : {NOFLAGS, DISCARDGROUPS})
      for (match_mode mode : kModes) {
        SCOPED_TRACE(testing::Message() << "case " << i << " mode " << mode << " extra " << extra);
        const subst_outcome got = substitute(c.pattern, c.tmpl, c.subject, pf | extra, mode);
        EXPECT_EQ(got.text, perl_text);
        EXPECT_EQ(got.count, perl_count);
      }
  }
}

// Forms this engine reads its own way: the number rule of $n, \Q...\E and
// a backslash before a letter.
TEST(RegexSubst, EngineOwnTemplateForms) {
  const std::wstring twelve = L"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)";
  struct own_case {
    std::wstring pattern, tmpl, subject, expected;
  } cases[] = {
      {twelve, L"$12x", L"abcdefghijkl", L"lx"},
      {twelve, L"$13", L"abcdefghijkl", L"a3"},
      {twelve, L"$123", L"abcdefghijkl", L"l3"},
      {L"(a)", L"$01", L"a", L"a"},
      {L"(a)", L"\\Q$1\\U\\E$1", L"a", L"$1\\Ua"},
      {L"(a)", L"\\Q$&", L"a", L"$&"},
      {L"(a)", L"\\Ux\\Qy$1\\Ez$1", L"a", L"XY$1za"},
      {L"(a)", L"\\u\\E$1", L"a", L"A"},
      {L"(a)", L"\\n\\1", L"a", L"n1"},
  };
  for (const own_case &c : cases)
    for (match_mode mode : kModes) {
      SCOPED_TRACE(testing::Message() << "template " << regex_test::narrow(c.tmpl));
      EXPECT_EQ(substitute(c.pattern, c.tmpl, c.subject, NOFLAGS, mode).text, c.expected);
    }
}

TEST(RegexSubst, ExpandEscapesTurnsEscapesIntoControlCharacters) {
  EXPECT_EQ(substitute(L"b", L"<\\t\\$\\\\\\\\>", L"abc", EXPANDESCAPES, MODE_RECURSIVE).text, L"a<\t$\\>c");
}

TEST(RegexSubst, BadTemplatesThrow) {
  struct bad_case {
    const wchar_t *pattern;
    const wchar_t *tmpl;
    const char *message;
  } cases[] = {
      {L"(a)", L"$", "invalid backreference in substitution"},
      {L"(a)", L"x$", "invalid backreference in substitution"},
      {L"(a)", L"$x", "invalid backreference in substitution"},
      {L"(a)", L"$0", "invalid backreference in substitution"},
      {L"(a)", L"$2", "invalid backreference in substitution"},
      {L"a", L"$1", "invalid backreference in substitution"},
      {L"(?:a)", L"$1", "invalid backreference in substitution"},
      {L"(a)", L"ab\\", "expecting escape sequence in substitution string"},
  };
  for (const bad_case &c : cases) {
    SCOPED_TRACE(regex_test::narrow(c.tmpl));
    try {
      rpattern pat(c.pattern, c.tmpl, NOFLAGS, MODE_RECURSIVE);
      ADD_FAILURE() << "no exception";
    } catch (const bad_regexpr &e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
  // A failed set_substitution keeps the previous template.
  rpattern pat(L"(a)", L"<$1>", NOFLAGS, MODE_RECURSIVE);
  EXPECT_THROW(pat.set_substitution(L"$9"), bad_regexpr);
  std::wstring subject = L"a";
  subst_results results;
  pat.substitute(subject, results);
  EXPECT_EQ(subject, L"<a>");
  EXPECT_EQ(pat.substitution(), L"<$1>");
}

TEST(RegexSubst, RecordsFollowTheKeepFlagsAndReferToTheOriginal) {
  struct keep_case {
    pattern_flags flags;
    std::size_t records;
  } cases[] = {
      {ALLMATCHES | KEEPALLGROUPS, 4},
      {ALLMATCHES | KEEPWHOLEMATCHES, 2},
      {ALLMATCHES | KEEPWHOLEMATCHES | KEEPALLGROUPS, 2},
      {ALLMATCHES, 2},  // the last match: whole match and group 1
      {NOFLAGS, 2},
      {ALLMATCHES | KEEPALLGROUPS | DISCARDGROUPS, 0},
  };
  for (const keep_case &c : cases)
    for (match_mode mode : kModes) {
      SCOPED_TRACE(testing::Message() << "flags " << c.flags);
      rpattern pat(L"(a)", L"b", c.flags, mode);
      std::wstring subject = L"xaa";
      subst_results results;
      pat.substitute(subject, results);
      EXPECT_EQ(subject, c.flags & ALLMATCHES ? L"xbb" : L"xba");
      ASSERT_EQ(results.m_records.size(), c.records);
      EXPECT_EQ(results.result_text(), c.records ? L"xaa" : L"xbb");
      EXPECT_TRUE(results.m_ibegin == results.result_text().begin());
      for (const auto &r : results.m_records) {
        ASSERT_TRUE(r.matched);
        EXPECT_EQ(r.str(), L"a");
      }
    }
  // Without a match nothing changes and, under ALLMATCHES, no record is left.
  rpattern pat(L"(z)", L"b", ALLMATCHES, MODE_RECURSIVE);
  std::wstring subject = L"aa";
  subst_results results;
  EXPECT_EQ(pat.substitute(subject, results), 0u);
  EXPECT_EQ(subject, L"aa");
  EXPECT_TRUE(results.m_records.empty());
}

TEST(RegexSubst, PositionAndLengthLimitTheSearch) {
  for (match_mode mode : kModes) {
    const subst_outcome ranged = substitute(L"a", L"b", L"aaaa", ALLMATCHES, mode, 1, 2);
    EXPECT_EQ(ranged.text, L"abba");
    EXPECT_EQ(ranged.count, 2u);
    // The range start is the subject start for anchors; $` still takes
    // the text from the subject's beginning.
    EXPECT_EQ(substitute(L"^a", L"[$`]", L"aaaa", NOFLAGS, mode, 2).text, L"aa[aa]a");
    EXPECT_EQ(substitute(L"a", L"b", L"aaaa", ALLMATCHES, mode, 4).count, 0u);
    EXPECT_EQ(substitute(L"a", L"b", L"aaaa", ALLMATCHES, mode, 1, std::wstring::npos - 1).text, L"abbb");
    EXPECT_THROW(substitute(L"a", L"b", L"aaaa", ALLMATCHES, mode, 5), std::out_of_range);
  }
}

TEST(RegexSubst, RightmostWithAllMatchesEnds) {
  struct rightmost_case {
    const wchar_t *pattern;
    const wchar_t *subject;
    const wchar_t *expected;
    std::size_t count;
  } cases[] = {
      {L"a", L"banana", L"banan-", 1},
      {L"x*", L"ab", L"ab-", 1},
      {L"a*", L"baa", L"baa-", 1},  // the rightmost start matches empty
      {L"z", L"ab", L"ab", 0},
  };
  for (const rightmost_case &c : cases)
    for (pattern_flags extra : {NOFLAGS, DISCARDGROUPS, KEEPALLGROUPS})
      for (match_mode mode : kModes) {
        SCOPED_TRACE(regex_test::narrow(c.pattern));
        const subst_outcome got = substitute(c.pattern, L"-", c.subject, ALLMATCHES | RIGHTMOST | extra, mode);
        EXPECT_EQ(got.text, c.expected);
        EXPECT_EQ(got.count, c.count);
      }
}

}  // namespace

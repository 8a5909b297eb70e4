// Patterns compiled from text and matched: every construct of the parser,
// checked on every road of the matcher (string and pointer positions,
// recursive, iterative and NUL-terminated).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern_cases.h"
#include "utils/regex/detail/node_factory.h"
#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"
#include "utils/regex/regex.h"

namespace {

using namespace regex;
using regex_test::match_spans;
using regex_test::road;

struct match_case {
  const wchar_t *pattern;
  unsigned flags;
  std::wstring subject;
  const char *expected;
};

std::string describe(const match_case &c) {
  std::string s;
  for (const wchar_t *p = c.pattern; *p; ++p) s += *p < 128 && *p >= 32 ? char(*p) : '?';
  return "pattern '" + s + "' flags " + std::to_string(c.flags);
}

void expect_all_roads(const match_case &c) {
  regex_test::expect_on_every_road(c.pattern, pattern_flags(c.flags), c.subject,
                                   regex_test::spans_from_text(c.expected));
}

const unsigned I = IGNORECASE, M = LINEANCHORS, S = DOTALL, X = FREESPACING, E = EXPANDESCAPES;

TEST(RegexParse, DetectionPatternsFindTheirGroup) {
  const match_case cases[] = {
      {L"charset=(.+)", I, L"Content-Type: text/html; CharSet=UTF-8\nServer: x\n", "25-38 33-38"},
      {L"charset=(.+)", I, L"Content-Type: text/html\n", ""},
      {L"<meta.+?charset=([-\\w]+)", I,
       L"<html><head><META http-equiv=\"Content-Type\" content=\"text/html; charset=gb-2312\"></head>", "12-79 72-79"},
      {L"<meta.+?charset=([-\\w]+)", I, L"<meta charset=\"utf-8\">", ""},
      {L"<meta.+?charset=([-\\w]+)", I, L"<meta name=a>\n<meta x charset=big5>", "14-34 30-34"},
  };
  for (const auto &c : cases) expect_all_roads(c);
}

TEST(RegexParse, GroupsAndExtensions) {
  const match_case cases[] = {
      // numbering: hidden groups are dropped from the results
      {L"(a)(?:b)(c)", 0, L"abc", "0-3 0-1 2-3"},
      {L"(a)|(b)", 0, L"b", "0-1 x 0-1"},
      {L"a|b|", 0, L"zzb", "0-0"},
      {L"|a", 0, L"a", "0-0"},
      {L"x(a|)y", 0, L"xy", "0-2 1-1"},
      // inline modifiers: to the end of the enclosing group, or of the pattern
      {L"(a(?i)b)c", 0, L"aBc", "0-3 0-2"},
      {L"(a(?i)b)c", 0, L"aBC", ""},
      {L"(?i)abc", 0, L"xABC", "1-4"},
      {L"(?i:a)b", 0, L"Ab", "0-2"},
      {L"(?i:a)b", 0, L"AB", ""},
      {L"a(?-i)b", I, L"AB", ""},
      {L"a(?-i)b", I, L"Ab", "0-2"},
      {L"(?s).", 0, L"\n", "0-1"},
      {L"(?m)^b", 0, L"a\nb", "2-3"},
      {L"(?x) a b ", 0, L"ab", "0-2"},
      // empty extensions add nothing; empty negative look-arounds never hold
      {L"a(?:)b", 0, L"ab", "0-2"},
      {L"a(?=)b", 0, L"ab", "0-2"},
      {L"a(?#note)b", 0, L"ab", "0-2"},
      {L"a(?#)b", 0, L"ab", "0-2"},
      {L"a(?!)b", 0, L"ab", ""},
      {L"a(?<!)b|c", 0, L"abc", "2-3"},
      {L"", 0, L"abc", "0-0"},
      // back-references count capturing groups only
      {L"(a)(?:b)(c)\\2", 0, L"abcc", "0-4 0-1 2-3"},
      {L"(a)\\1", I, L"xaA", "1-3 1-2"},
      {L"\\1(a)", 0, L"aa", ""},
      {L"(a)|\\1b", 0, L"b", ""},
      {L"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\\10", 0, L"abcdefghijj", "0-11 0-1 1-2 2-3 3-4 4-5 5-6 6-7 7-8 8-9 9-10"},
      {L"(a)\\10", 0, L"a\x08", "0-2 0-1"},
      // look-around, atomic groups, conditionals, recursion
      {L"a(?=b)", 0, L"acab", "2-3"},
      {L"a(?!b)", 0, L"ab ac", "3-4"},
      {L"(?<=a)b", 0, L"cb ab", "4-5"},
      {L"(?<!a)b", 0, L"ab cb", "4-5"},
      {L"(?=(a))a", 0, L"a", "0-1 0-1"},
      {L"(?>a+)a", 0, L"aaa", ""},
      {L"(?>a+)b", 0, L"aab", "0-3"},
      {L"(?(?=(x))x|y)", 0, L"x", "0-1 0-1"},
      {L"(?(?=(x))x|y)", 0, L"y", "0-1 x"},
      {L"(x)?(y)?(?(2)a|b)", 0, L"ya", "0-2 x 0-1"},
      {L"(x)?(y)?(?(2)a|b)", 0, L"b", "0-1 x x"},
      {L"(?(?!)a|b)", 0, L"ab", "1-2"},
      {L"(?(?=)a|b)", 0, L"ba", "1-2"},
      {L"(?(1)a)", 0, L"b", "0-0"},
      {L"\\((?:[^()]|(?R))*\\)", 0, L"x(a(b)c)y", "1-8"},
  };
  for (const auto &c : cases) expect_all_roads(c);
}

TEST(RegexParse, EscapesAndQuotation) {
  const match_case cases[] = {
      {L"a\\", 0, L"xa\\", "1-3"},
      {L"\\0", 0, std::wstring(L"a\0b", 3), "1-2"},
      {L"\\012", 0, L"a\nb", "1-2"},
      {L"\\81", 0,
       std::wstring(L"\0"
                    L"81",
                    3),
       "0-3"},
      {L"\\x41", 0, L"zA", "1-2"},
      {L"\\x4G", 0, L"\x04G", "0-2"},
      {L"\\x", 0, std::wstring(L"a\0", 2), "1-2"},
      {L"\\cj\\c[\\c?", 0, L"\n\x1B\x7F", "0-3"},
      {L"\\e", 0, L"\x1B", "0-1"},
      {L"\\t", 0, L"t\t", "0-1"},
      {L"\\t", E, L"t\t", "1-2"},
      {L"\\n\\r\\f\\a", E, L"\n\r\f\a", "0-4"},
      {L"\\.\\*\\\\", 0, L"a.*\\", "1-4"},
      {L"\\Qa.b\\E", 0, L"axb a.b", "4-7"},
      {L"\\Qa.b", 0, L"a.b", "0-3"},
      {L"x\\Q\\Ey", 0, L"xy", "0-2"},
      {L"\\Q(a)|+\\E", 0, L"(a)|+", "0-5"},
      {L"\\d+", I, L"aD12", "2-4"},
      {L"\\w\\W\\s\\S", 0, L"_ a!", ""},
      {L"\\w\\W\\s\\S", 0, L"a- x", "0-4"},
      {L"\\D\\S", 0, L"1ab", "1-3"},
      {L"\\bab\\b", 0, L"cab ab", "4-6"},
      {L"a\\B.", 0, L"a bac", "3-5"},
      {L"\\Aa", 0, L"aa", "0-1"},
      {L"a\\Z", 0, L"aa\n", "1-2"},
      {L"a\\z", 0, L"aa\n", ""},
      {L"\\k\\g\\_", 0, L"kg_", "0-3"},
  };
  for (const auto &c : cases) expect_all_roads(c);
}

TEST(RegexParse, QuantifiersAndLiteralRuns) {
  const match_case cases[] = {
      {L"abc*", 0, L"xabccc", "1-6"},
      {L"abc*", 0, L"xab", "1-3"},
      {L"abc*", I, L"ABCc", "0-4"},
      {L"a+?", 0, L"aaa", "0-1"},
      {L"a*?b", 0, L"aab", "0-3"},
      {L"a??b", 0, L"ab", "0-2"},
      {L"a{2}", 0, L"aaa", "0-2"},
      {L"a{2,}", 0, L"aaaa", "0-4"},
      {L"a{,2}", 0, L"aaa", "0-2"},
      {L"a{2,3}?", 0, L"aaa", "0-2"},
      {L"a{}", 0, L"aa", "0-0"},
      {L"a{,}", 0, L"aa", "0-2"},
      {L"a{2}{3}", 0, L"aa{3}", "0-5"},
      {L"a{x}", 0, L"a{x}", "0-4"},
      {L"a{2", 0, L"a{2", "0-3"},
      {L"a{2,3", 0, L"a{2,3", "0-5"},
      {L"^{2}", 0, L"{2}", "0-3"},
      {L"{a", 0, L"{a", "0-2"},
      {L"x{0}y", 0, L"y", "0-1"},
      {L".*", 0, L"ab\ncd", "0-2"},
      {L".*", S, L"ab\ncd", "0-5"},
      {L"[a-c]+", I, L"xAbC", "1-4"},
      {L"[^a]", 0, L"aab", "2-3"},
      {L"a b *", X, L"abbb", "0-4"},
      {L"a{2 }", X, L"aa", "0-2"},
      {L"a{ 2}", X, L"aa{2}", "1-5"},
      {L"a # comment\nb", X, L"ab", "0-2"},
      {L"\\Q a \\E", X, L" a ", "0-2"},
      {L"^abc", 0, L"xabc", ""},
      {L"^b", M, L"a\nb", "2-3"},
      {L"a$", 0, L"a\n", "0-1"},
      {L"a$", 0, L"a\nb", ""},
      {L"a$", M, L"a\nb", "0-1"},
      {L".*abc", S, L"xxabc", "0-5"},
      // quantified groups
      {L"(ab)*", 0, L"ababx", "0-4 2-4"},
      {L"(a|b)+c", 0, L"xabbc", "1-5 3-4"},
      {L"(?:ab){2}", 0, L"abababx", "0-4"},
      {L"(a*)*b", 0, L"aab", "0-3 2-2"},
      {L"()+x", 0, L"x", "0-1 0-0"},
  };
  for (const auto &c : cases) expect_all_roads(c);
}

// Digits are read while the value stays below the limit; a digit that takes
// it above the limit is given back.
TEST(RegexParse, DecimalReader) {
  const struct {
    const wchar_t *text;
    std::uint32_t limit;
    std::uint32_t value;
    long stop;
  } cases[] = {
      {L"123", 999, 123, 3},  {L"1234", 999, 123, 3},
      {L"9999", 999, 999, 3}, {L"x", 999, 0, 0},
      {L"", 999, 0, 0},       {L"4294967295", 0xFFFFFFFFu, 0xFFFFFFFFu, 10},
      {L"07a", 999, 7, 2},    {L"42949672951", 0xFFFFFFFFu, 0xFFFFFFFFu, 10},
  };
  for (const auto &c : cases) {
    const std::wstring text = c.text;
    std::wstring::const_iterator p = text.begin();
    EXPECT_EQ(detail::read_decimal(p, text.cend(), c.limit), c.value) << describe({c.text, 0, L"", ""});
    EXPECT_EQ(p - text.begin(), c.stop) << describe({c.text, 0, L"", ""});
  }
}

TEST(RegexParse, FreeSpacingClosesGapsInLiteralRuns) {
  rpattern pat(L"a b *", FREESPACING, MODE_RECURSIVE);
  EXPECT_EQ(pat.pattern_text(), L"ab*");
}

TEST(RegexParse, GroupTableAndCounts) {
  detail::rpattern_engine pat(L"(a)(?:b)(c)", NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(pat._cgroups_total(), 4u);
  EXPECT_EQ(pat.visible_group_count(), 3u);
  EXPECT_EQ(pat.hidden_groups(), (std::vector<unsigned>{2}));
  // The largest count that is not "unbounded" compiles.
  EXPECT_EQ(detail::rpattern_engine(L"a{0,4294967294}", NOFLAGS, MODE_RECURSIVE).pattern_width().m_max, 4294967294u);
  EXPECT_EQ(detail::rpattern_engine(L"ab{2,5}", NOFLAGS, MODE_RECURSIVE).pattern_width(), (detail::node_width{3, 6}));
}

// Anchoring and the literal prefix search decided at compile time.
TEST(RegexParse, AnchoringAndSearcher) {
  struct anchor_case {
    const wchar_t *pattern;
    unsigned flags;
    bool unanchored;
    bool rightmost_kept;
  };
  const anchor_case cases[] = {
      {L"^abc", RIGHTMOST, false, false}, {L"^abc", LINEANCHORS, true, false},
      {L"^abc|x", 0, true, false},        {L" ^abc", FREESPACING, false, false},
      {L" ^abc", 0, true, false},         {L".*abc", DOTALL, false, false},
      {L".+abc", DOTALL, false, false},   {L".*?abc", DOTALL, false, false},
      {L".?abc", DOTALL, true, false},    {L".{2,}abc", DOTALL, true, false},
      {L".", DOTALL, true, false},        {L".*abc", 0, true, false},
      {L"(?s).*abc", 0, true, false},     {L".*abc", DOTALL | RIGHTMOST, true, true},
      {L"\\Aabc", 0, true, false},        {L"", 0, true, false},
  };
  for (const auto &c : cases) {
    detail::rpattern_engine pat(c.pattern, pattern_flags(c.flags), MODE_RECURSIVE);
    EXPECT_EQ(pat.is_unanchored(), c.unanchored) << describe({c.pattern, c.flags, L"", ""});
    EXPECT_EQ((pat.flags() & RIGHTMOST) != 0, c.rightmost_kept) << describe({c.pattern, c.flags, L"", ""});
  }
  EXPECT_NE(detail::rpattern_engine(L"abc.*", NOFLAGS, MODE_RECURSIVE).searcher(), nullptr);
  EXPECT_NE(detail::rpattern_engine(L"charset=(.+)", IGNORECASE, MODE_RECURSIVE).searcher(), nullptr);
  EXPECT_NE(detail::rpattern_engine(L"<meta.+?charset=([-\\w]+)", IGNORECASE, MODE_RECURSIVE).searcher(), nullptr);
  EXPECT_EQ(detail::rpattern_engine(L"a", NOFLAGS, MODE_RECURSIVE).searcher(), nullptr);
  EXPECT_EQ(detail::rpattern_engine(L"ab|cd", NOFLAGS, MODE_RECURSIVE).searcher(), nullptr);
  EXPECT_EQ(detail::rpattern_engine(L"a*bc", NOFLAGS, MODE_RECURSIVE).searcher(), nullptr);
  // A literal inside a group other than group 0 gives no searcher.
  EXPECT_EQ(detail::rpattern_engine(L"x|(abc)", NOFLAGS, MODE_RECURSIVE).searcher(), nullptr);
}

// Group loops above 16 repetitions make MODE_AUTO match iteratively.
TEST(RegexParse, GroupQuantifiersChooseTheAutoMode) {
  const struct {
    const wchar_t *pattern;
    bool recursive;
  } cases[] = {
      {L"(ab){2,20}", false}, {L"(ab)*", false},  {L"(ab)+", false}, {L"(?:ab){17}", false}, {L"(ab){2,16}", true},
      {L"(ab)?", true},       {L"a{2,20}", true}, {L"a*", true},     {L"a|b(?R)", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(detail::rpattern_engine(c.pattern, NOFLAGS, MODE_AUTO).use_recursion(), c.recursive)
        << describe({c.pattern, 0, L"", ""});
}

// The searcher looks for at most 255 leading characters of the literal; each
// candidate it returns is verified by a full match attempt.
TEST(RegexParse, LiteralPrefixSearchVerifiesEachCandidate) {
  std::wstring lit;
  for (int i = 0; i < 300; ++i) lit += wchar_t(L'a' + (i * 7) % 26);
  const std::wstring subject = L"zz" + lit.substr(0, 280) + L"#" + lit + L"!";
  for (unsigned flags : {0u, I}) {
    const match_case c{lit.c_str(), flags, subject, nullptr};
    const std::string expected = std::to_string(283) + "-" + std::to_string(583);
    const match_case k{c.pattern, flags, subject, expected.c_str()};
    expect_all_roads(k);
    const match_case none{c.pattern, flags, subject.substr(0, 290), ""};
    expect_all_roads(none);
  }
  // U+0143 shares its low byte with 'C': a shorter shift, never a false hit.
  expect_all_roads({L"CHARSET=", I, L"\u0143HARSET= \u0143CHARSET=x", "10-18"});
  expect_all_roads({L"abc", 0, L"xxabcab", "2-5"});
  expect_all_roads({L"abc", 0, L"xxab", ""});
}

// The search skips starts that cannot match: the starts inside a failed
// leading run, the alternatives whose first character does not fit, and
// (through the start analysis) the give-backs of a \w run before \s.
// What it finds stays what a full search finds (Perl's answers).
TEST(RegexParse, StartScanningSkipsOnlyHopelessStarts) {
  const match_case cases[] = {
      {L"[a-z]+ing\\b", 0, L"kingsing singer thing", "0-8"},
      {L"[a-z]+ing\\b", 0, L"abc,sing", "4-8"},  // the first start after a failed run
      {L"[a-z]{2,}ing\\b", 0, L"ing sing bring", "9-14"},
      {L"[a-z]+?ing\\b", 0, L"abc,sing", "4-8"},
      {L"(\\w+)\\s+\\1", 0, L"\u03c9\u03c9\u3000\u03c9\u03c9", "0-5 0-2"},
      {L"price|pr|p\\b|(?=x)xy|$", 0, L"pr p xy", "0-2"},
      {L"(?:b|a|)c", 0, L"xc", "1-2"},
      {L"bitcoin|DOLLAR|yuan", I, L"a Yuan", "2-6"},
      {L"a(?:b|$)", 0, L"a", "0-1"},
      {L"(?<=ab|c)d", 0, L"abd cd", "2-3"},
      {L"(?:ab|ac|a)+", 0, L"abacaa", "0-6"},
      // The fixed beginnings of several alternatives, offset by offset.
      {L"abc|de", 0, L"dabce", "1-4"},
      {L"abc|ax", 0, L"abxax", "3-5"},
      {L"abc|a", 0, L"ax", "0-1"},
      {L"(?:bc|xy)z|q\\d", I, L"bq xYZ", "3-6"},
  };
  for (const auto &c : cases) expect_all_roads(c);
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    const std::wstring text = L"kingsing singer thing xing, sing";
    rpattern pat(L"[a-z]+ing\\b", ALLMATCHES | KEEPWHOLEMATCHES, mode);
    match_results results;
    pat.match(text, results, 0, std::wstring::npos);
    std::vector<std::wstring> found;
    for (const auto &r : results.m_records) found.push_back(r.str());
    EXPECT_EQ(found, (std::vector<std::wstring>{L"kingsing", L"thing", L"xing", L"sing"})) << mode;
  }
}

// A pattern that begins with ^ under LINEANCHORS is tried at line starts
// only: the start of the range and every place after a line feed.
TEST(RegexParse, LineAnchoredPatternsMatchAtLineStarts) {
  const match_case cases[] = {
      {L"^.*market.*$", M, L"the price\nmarket up\nno", "10-19"},
      {L"^.*b.*$", M, L"ab\ncb", "0-2"},
      {L"^b", M, L"ab\nxb\nb", "6-7"},
      {L"^b", M, L"a\r\nb", "3-4"},
      {L"^$", M, L"a\n\nb", "2-2"},
      {L"^", M, L"", "0-0"},
      {L"^x", M, L"a\n", ""},
      {L"^\\w+$", M, L"a b\nword\n", "4-8"},
      {L"^.*z", M, L"abc\nxyz\nz", "4-7"},
      {L"^(a|b)c", M, L"xac\nbc", "4-6 4-5"},
      {L"^.{3}", M, L"ab\nabc", "3-6"},
      {L"^.{3}", M, L"abc\nab", "0-3"},
      {L"^.{4}", M, L"abc\nab", ""},
      {L" ^ a", M | X, L"ba\na", "3-4"},
      {L"^a|b", M, L"cb\na", "1-2"},
  };
  for (const auto &c : cases) expect_all_roads(c);
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    rpattern lines(L"^.*e.*$", LINEANCHORS | ALLMATCHES | KEEPWHOLEMATCHES, mode);
    match_results results;
    const std::wstring five = L"one\ntwo\nthree\n\nfive";
    lines.match(five, results);
    std::vector<std::wstring> found;
    for (const auto &r : results.m_records) found.push_back(r.str());
    EXPECT_EQ(found, (std::vector<std::wstring>{L"one", L"three", L"five"})) << mode;
    // Empty matches at every line start, the one after the final line feed included.
    rpattern starts(L"^", LINEANCHORS | ALLMATCHES | KEEPWHOLEMATCHES, mode);
    const std::wstring text = L"a\nb\n";
    starts.match(text, results);
    std::vector<long> at;
    for (const auto &r : results.m_records) at.push_back(long(r.first - text.begin()));
    EXPECT_EQ(at, (std::vector<long>{0, 2, 4})) << mode;
  }
}

TEST(RegexParse, AllMatchesOverTheSubject) {
  rpattern pat(L"charset=(.+)", IGNORECASE | ALLMATCHES | KEEPALLGROUPS, MODE_RECURSIVE);
  match_results results;
  const std::wstring text = L"a: charset=x\nb: CHARSET=yz\n";
  ASSERT_TRUE(pat.match(text, results, 0, std::wstring::npos).matched);
  ASSERT_EQ(results.m_records.size(), 4u);
  EXPECT_EQ(results.m_records[1].str(), L"x");
  EXPECT_EQ(results.m_records[3].str(), L"yz");
}

}  // namespace

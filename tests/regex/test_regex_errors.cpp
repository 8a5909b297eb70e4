// Every error of the pattern compiler, as a table of bad patterns and the
// message each must raise.
#include <gtest/gtest.h>

#include <string>

#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"
#include "utils/regex/regex.h"

namespace {

using namespace regex;

struct bad_case {
  const wchar_t *pattern;
  unsigned flags;
  const char *message;
};

std::string narrow(const wchar_t *p) {
  std::string s;
  for (; *p; ++p) s += char(*p);
  return s;
}

const char *const ill = "ill-formed regular expression";
const char *const bad_ext = "bad extension sequence";
const char *const paren = "mismatched parenthesis";
const char *const quant = "quantifier not expected";

TEST(RegexErrors, EveryParserMessage) {
  const bad_case cases[] = {
      {L"?a", 0, ill},
      {L"  ?a", FREESPACING, ill},
      {L"a(?", 0, ill},
      {L"a(?i", 0, ill},
      {L"a(?<", 0, ill},
      {L"(?y)", 0, bad_ext},
      {L"(?i-m-s)", 0, bad_ext},
      {L"(?Ra)", 0, bad_ext},
      {L"(?<a)", 0, bad_ext},
      {L"(?P<n>a)", 0, bad_ext},
      {L"(?(0)a|b)", 0, bad_ext},
      {L"(?(x)a|b)", 0, bad_ext},
      {L"a(?#x", 0, "Expecting end of comment"},
      {L"a(", 0, paren},
      {L"(a", 0, paren},
      {L"(a  ", FREESPACING, paren},
      {L"a)", 0, paren},
      {L"a)b", 0, paren},
      {L"((a)", 0, paren},
      {L"a\\c", 0, "incomplete escape sequence \\c"},
      {L"\\E", 0, "quotemeta turned off, but was never turned on"},
      {L"a\\Eb", 0, "quotemeta turned off, but was never turned on"},
      {L"*a", 0, quant},
      {L"(*a)", 0, quant},
      {L"a|*b", 0, quant},
      {L"a**", 0, quant},
      {L"a+*", 0, quant},
      {L"a{2}*", 0, quant},
      {L"^*", 0, quant},
      {L"\\b+", 0, quant},
      {L"\\Qab\\E*", 0, quant},
      {L"(?:)*", 0, quant},
      {L"(?i)+", 0, quant},
      {L"a(?!)*", 0, quant},
      {L"a{3,2}", 0, "Can't do {n, m} with n > m"},
      {L"a{4294967295}", 0, "count too large in {n, m}"},
      {L"a{4294967296}", 0, "count too large in {n, m}"},
      {L"a{1,99999999999}", 0, "count too large in {n, m}"},
      {L"[a", 0, "expecting end of character set"},
      {L"[", 0, "expecting end of character set"},
      {L"[z-a]", 0, "invalid range specified in character set"},
      {L"a(?R", 0, ill},
      {L"a(?R)*", 0, quant},
      {L"(?=a)*", 0, quant},
      {L"(?<=a)+", 0, quant},
      {L"(?(1)a|b|c)", 0, "Too many alternates in conditional subexpression"},
      {L"(?(?=x)a|b|)", 0, "Too many alternates in conditional subexpression"},
      // Checked once the whole pattern is known.
      {L"(a)\\2", 0, "reference to nonexistent group"},
      {L"\\1", 0, "reference to nonexistent group"},
      {L"(?:a)\\2", 0, "reference to nonexistent group"},
  };
  for (const auto &c : cases) {
    for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
      try {
        rpattern pat(c.pattern, pattern_flags(c.flags), mode);
        ADD_FAILURE() << "'" << narrow(c.pattern) << "' compiled";
      } catch (const bad_regexpr &e) {
        EXPECT_STREQ(e.what(), c.message) << "pattern '" << narrow(c.pattern) << "'";
      }
    }
    try {
      detail::basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>> pat(c.pattern, pattern_flags(c.flags),
                                                                             MODE_AUTO);
      ADD_FAILURE() << "'" << narrow(c.pattern) << "' compiled for pointer subjects";
    } catch (const bad_regexpr &e) {
      EXPECT_STREQ(e.what(), c.message) << "pattern '" << narrow(c.pattern) << "'";
    }
  }
}

TEST(RegexErrors, FailedInitKeepsThePreviousPattern) {
  rpattern pat(L"a(b)", NOFLAGS, MODE_RECURSIVE);
  EXPECT_THROW(pat.init(L"a(", NOFLAGS, MODE_RECURSIVE), bad_regexpr);
  match_results results;
  const std::wstring subject = L"xab";
  ASSERT_TRUE(pat.match(subject, results, 0, std::wstring::npos).matched);
  EXPECT_EQ(results.m_records[1].str(), L"b");
}

}  // namespace

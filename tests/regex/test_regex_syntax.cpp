// The Perl syntax tokenizer: one table of cases per scanning context.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/regex/detail/syntax.h"

using namespace regex;

namespace {

enum context { PATTERN, QUANTIFIER, EXTENSION, BRACKET, SUBSTITUTION };

struct scan_case {
  std::wstring text;
  token_kind token;
  std::ptrdiff_t consumed;  // characters the scanner moved past
  pattern_flags flags = NOFLAGS;
};

struct scan_result {
  token_kind token;
  std::ptrdiff_t consumed;
  pattern_flags flags;  // the syntax object's flags afterwards
};

scan_result scan(context ctx, const std::wstring &text, pattern_flags flags) {
  perl_syntax<wchar_t> syn(flags);
  std::wstring::const_iterator it = text.begin();
  token_kind t = TK_NONE;
  switch (ctx) {
    case PATTERN:
      t = syn.pattern_token(it, text.end());
      break;
    case QUANTIFIER:
      t = syn.quantifier_token(it, text.end());
      break;
    case EXTENSION:
      t = syn.extension_token(it, text.end());
      break;
    case BRACKET:
      t = syn.bracket_token(it, text.end());
      break;
    case SUBSTITUTION:
      t = syn.substitution_token(it, text.end());
      break;
  }
  return {t, it - text.begin(), syn.get_flags()};
}

void expect_table(context ctx, const std::vector<scan_case> &cases) {
  for (const scan_case &c : cases) {
    scan_result r = scan(ctx, c.text, c.flags);
    std::string shown(c.text.begin(), c.text.end());
    EXPECT_EQ(r.token, c.token) << "text: " << shown;
    EXPECT_EQ(r.consumed, c.consumed) << "text: " << shown;
  }
}

}  // namespace

TEST(PerlSyntax, PatternContext) {
  expect_table(PATTERN, {
                            {L"(", TK_GROUP_OPEN, 1},
                            {L")", TK_GROUP_CLOSE, 1},
                            {L"|", TK_ALTERNATIVE, 1},
                            {L"^", TK_LINE_START, 1},
                            {L"$", TK_LINE_END, 1},
                            {L"[", TK_SET_OPEN, 1},
                            {L".", TK_ANY_CHAR, 1},
                            {L"\\d", SET_DIGIT, 2},
                            {L"\\D", SET_NONDIGIT, 2},
                            {L"\\s", SET_SPACE, 2},
                            {L"\\S", SET_NONSPACE, 2},
                            {L"\\w", SET_WORD, 2},
                            {L"\\W", SET_NONWORD, 2},
                            {L"\\A", TK_SUBJECT_START, 2},
                            {L"\\Z", TK_SUBJECT_END_NL, 2},
                            {L"\\z", TK_SUBJECT_END, 2},
                            {L"\\b", TK_WORD_BOUNDARY, 2},
                            {L"\\B", TK_NOT_WORD_BOUNDARY, 2},
                            {L"\\Q", TK_QUOTE_START, 2},
                            {L"\\E", TK_QUOTE_STOP, 2},
                            // escapes without a token of their own stop on the escaped character
                            {L"\\q", TK_ESCAPED, 1},
                            {L"\\", TK_ESCAPED, 1},
                            {L"\\1", TK_ESCAPED, 1},
                            {L"\\(", TK_ESCAPED, 1},
                            // quantifier characters and closers are plain here
                            {L"*", TK_NONE, 0},
                            {L"+", TK_NONE, 0},
                            {L"?", TK_NONE, 0},
                            {L"{", TK_NONE, 0},
                            {L"}", TK_NONE, 0},
                            {L"]", TK_NONE, 0},
                            {L"a", TK_NONE, 0},
                            // from U+0100 up nothing is special, whatever the low byte says
                            {std::wstring(1, wchar_t(0x128)), TK_NONE, 0},  // low byte of '('
                            {std::wstring(1, wchar_t(0x15C)), TK_NONE, 0},  // low byte of '\'
                            {std::wstring(1, wchar_t(0x1F600)), TK_NONE, 0},
                            {std::wstring(L"\\") + wchar_t(0x164), TK_ESCAPED, 1},  // low byte of 'd'
                            {std::wstring(1, wchar_t(-1)), TK_NONE, 0},
                            // free spacing skips blanks and comments before the token
                            {L"  \t(", TK_GROUP_OPEN, 4, FREESPACING},
                            {L"# note\n|", TK_ALTERNATIVE, 8, FREESPACING},
                            {L"# no line feed (", TK_NONE, 16, FREESPACING},
                            {L" (", TK_NONE, 0},
                        });
}

TEST(PerlSyntax, FreeSpacingSkipsBetweenPlainCharacters) {
  const std::wstring text = L"a # note\n b";
  perl_syntax<wchar_t> syn(FREESPACING);
  std::wstring::const_iterator it = text.begin();
  EXPECT_EQ(syn.pattern_token(it, text.end()), TK_NONE);
  EXPECT_EQ(*it++, L'a');
  EXPECT_EQ(syn.pattern_token(it, text.end()), TK_NONE);
  EXPECT_EQ(*it, L'b');
}

TEST(PerlSyntax, QuantifierContext) {
  expect_table(QUANTIFIER, {
                               {L"+", TK_PLUS, 1},
                               {L"*", TK_STAR, 1},
                               {L"?", TK_QUESTION, 1},
                               {L"+?", TK_PLUS_LAZY, 2},
                               {L"*?", TK_STAR_LAZY, 2},
                               {L"??", TK_QUESTION_LAZY, 2},
                               {L"{", TK_REPEAT_OPEN, 1},
                               {L",", TK_REPEAT_COMMA, 1},
                               {L"}", TK_REPEAT_CLOSE, 1},
                               {L"}?", TK_REPEAT_CLOSE_LAZY, 2},
                               {L"a", TK_NONE, 0},
                               {L"2", TK_NONE, 0},
                               // without free spacing a blank ends the quantifier and stays
                               {L"* ?", TK_STAR, 1},
                               // with free spacing blanks and comments may stand before the lazy '?'
                               {L"* ?", TK_STAR_LAZY, 3, FREESPACING},
                               {L"+ #c\n?", TK_PLUS_LAZY, 6, FREESPACING},
                               // skipped blanks stay skipped when no '?' follows
                               {L"*  a", TK_STAR, 3, FREESPACING},
                               {L"  {", TK_REPEAT_OPEN, 3, FREESPACING},
                           });
}

TEST(PerlSyntax, ExtensionContext) {
  expect_table(EXTENSION, {
                              {L"?:", TK_EXT_GROUP, 2},
                              {L"?=", TK_EXT_AHEAD, 2},
                              {L"?!", TK_EXT_NOT_AHEAD, 2},
                              {L"?<=", TK_EXT_BEHIND, 3},
                              {L"?<!", TK_EXT_NOT_BEHIND, 3},
                              {L"?>", TK_EXT_ATOMIC, 2},
                              {L"?#", TK_EXT_COMMENT, 2},
                              {L"?(", TK_EXT_CONDITIONAL, 2},
                              {L"?R", TK_EXT_RECURSION, 2},
                              {L"a)", TK_NONE, 0},
                              {L"?", TK_EXT_INVALID, 1},
                              {L"?P<n>", TK_EXT_INVALID, 1},
                              {L"?<a", TK_EXT_INVALID, 2},
                              {L"?<", TK_EXT_INVALID, 2},
                              {L"?|", TK_EXT_INVALID, 1},
                              // modifier runs: ':' is taken, ')' is not
                              {L"?i-m:", TK_EXT_GROUP, 5},
                              {L"?i)", TK_EXT_GROUP, 2},
                              {L"?-i)", TK_EXT_GROUP, 3},
                              {L"?i-m-s)", TK_EXT_INVALID, 4},
                              {L"?iq)", TK_EXT_INVALID, 2},
                              {L"?ix", TK_EXT_INVALID, 3},
                              {L"?i m)", TK_EXT_INVALID, 2},
                              // free spacing: blanks and comments after '(' and blanks after '?'
                              {L" #c\n?:", TK_EXT_GROUP, 6, FREESPACING},
                              {L"? :", TK_EXT_GROUP, 3, FREESPACING},
                              {L"?< =", TK_EXT_BEHIND, 4, FREESPACING},
                              {L"? :", TK_EXT_INVALID, 1},
                          });
}

TEST(PerlSyntax, ModifierRunsChangeTheFlags) {
  struct {
    const wchar_t *text;
    pattern_flags before;
    pattern_flags after;
  } cases[] = {
      {L"?i-m:", LINEANCHORS, IGNORECASE},
      {L"?i)", NOFLAGS, IGNORECASE},
      {L"?msx)", NOFLAGS, LINEANCHORS | DOTALL | FREESPACING},
      {L"?-ix:", IGNORECASE | FREESPACING | DOTALL, DOTALL},
      // an invalid run keeps what it changed before the fault
      {L"?i-m-s)", LINEANCHORS | DOTALL, IGNORECASE | DOTALL},
      {L"?iq)", NOFLAGS, IGNORECASE},
      // other flags are never touched
      {L"?i)", EXPANDESCAPES | ALLMATCHES, EXPANDESCAPES | ALLMATCHES | IGNORECASE},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(scan(EXTENSION, c.text, c.before).flags, c.after) << std::string(c.text, c.text + 3);
  }
}

TEST(PerlSyntax, BracketContext) {
  std::vector<scan_case> cases = {
      {L"-", BRK_DASH, 1},
      {L"]", BRK_CLOSE, 1},
      {L"^", BRK_CARET, 1},
      {L"\\d", SET_DIGIT, 2},
      {L"\\D", SET_NONDIGIT, 2},
      {L"\\s", SET_SPACE, 2},
      {L"\\S", SET_NONSPACE, 2},
      {L"\\w", SET_WORD, 2},
      {L"\\W", SET_NONWORD, 2},
      {L"\\b", BRK_BACKSPACE, 2},
      {L"\\n", BRK_BACKSLASH, 1},
      {L"\\", BRK_BACKSLASH, 1},
      {L"\\]", BRK_BACKSLASH, 1},
      {L"[:alpha", TK_NONE, 0},
      {L"[", TK_NONE, 0},
      {L"[a", TK_NONE, 0},
      {L"[:foo:]", TK_NONE, 0},
      {L"[:^alpha]", TK_NONE, 0},
      {L"a", TK_NONE, 0},
      {L"(", TK_NONE, 0},
      {L".", TK_NONE, 0},
      {L"$", TK_NONE, 0},
      // no free spacing inside brackets
      {L" ", TK_NONE, 0, FREESPACING},
      {L"#", TK_NONE, 0, FREESPACING},
      {std::wstring(1, wchar_t(0x15D)), TK_NONE, 0},  // low byte of ']'
  };
  // every class text, in token order, with text after it
  for (std::size_t i = 0; i < detail::posix_class_count; ++i) {
    const detail::posix_class_text &p = detail::posix_class_texts[i];
    cases.push_back(
        {std::wstring(p.m_text, p.m_text + p.m_len) + L"]", token_kind(BRK_ALNUM + i), std::ptrdiff_t(p.m_len)});
  }
  expect_table(BRACKET, cases);
  EXPECT_EQ(scan(BRACKET, L"[:xdigit:]", NOFLAGS).token, BRK_XDIGIT);
  EXPECT_EQ(scan(BRACKET, L"[:^xdigit:]", NOFLAGS).consumed, 11);
  EXPECT_EQ(scan(BRACKET, L"[:upper:]", NOFLAGS).token, BRK_UPPER);
}

TEST(PerlSyntax, SubstitutionContext) {
  expect_table(SUBSTITUTION, {
                                 {L"$", TK_SUB_DOLLAR, 1},
                                 {L"$1", TK_SUB_DOLLAR, 1},
                                 {L"$`", TK_SUB_PREFIX, 2},
                                 {L"$'", TK_SUB_SUFFIX, 2},
                                 {L"$&", TK_SUB_WHOLE, 2},
                                 {L"\\", TK_SUB_ESCAPED, 1},
                                 {L"\\n", TK_SUB_ESCAPED, 1},
                                 {L"\\$", TK_SUB_ESCAPED, 1},
                                 {L"\\Q", TK_SUB_QUOTE, 2},
                                 {L"\\U", TK_SUB_UPPER, 2},
                                 {L"\\u", TK_SUB_UPPER_ONE, 2},
                                 {L"\\L", TK_SUB_LOWER, 2},
                                 {L"\\l", TK_SUB_LOWER_ONE, 2},
                                 {L"\\E", TK_SUB_CASE_END, 2},
                                 {L"a", TK_NONE, 0},
                                 {L" $&", TK_NONE, 0, FREESPACING},
                             });
}

TEST(PerlSyntax, StartsWithText) {
  const std::wstring s = L"[:alpha:]";
  EXPECT_TRUE(detail::starts_with_text(s.begin(), s.end(), "[:alpha:]"));
  EXPECT_TRUE(detail::starts_with_text(s.begin(), s.end(), "[:al"));
  EXPECT_FALSE(detail::starts_with_text(s.begin(), s.end() - 1, "[:alpha:]"));
  EXPECT_FALSE(detail::starts_with_text(s.begin(), s.end(), "[:alnum:]"));
  const std::wstring wide = std::wstring(1, wchar_t(0x15B)) + L":alpha:]";  // low byte of '['
  EXPECT_FALSE(detail::starts_with_text(wide.begin(), wide.end(), "[:alpha:]"));
}

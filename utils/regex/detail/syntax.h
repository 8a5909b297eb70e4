// regex::perl_syntax: the tokenizer of the pattern compiler.
//
// One scanner per context in which pattern text is read:
//
//   pattern_token      the pattern itself            '(' ')' '|' '^' '$' '[' '.' '\d' '\A' '\Q' ...
//   quantifier_token   right after an atom           '*' '+?' '{' ',' '}?' ...
//   extension_token    right after a '('             '?:' '?=' '?<!' '?>' '?i-m:' ...
//   bracket_token      inside '[...]'                '^' '-' ']' '\w' '\b' '[:alpha:]' ...
//   substitution_token a substitution text           '$&' '$`' "$'" '\U' '\l' ...
//
// Every scanner takes the current position by reference, moves it past what
// it recognises and returns a token_kind. Scanners never fail and never
// throw: TK_NONE means "an ordinary character, not consumed"; the parsers
// decide what each token means and which inputs are errors.
//
//   perl_syntax<wchar_t> syn(FREESPACING);
//   std::wstring::const_iterator it = pat.begin();
//   token_kind t = syn.pattern_token(it, pat.end());
//
// A syntax object carries the flags in force at the current point of one
// compilation (inline modifiers change them); it belongs to one thread.
// The scanners are templates over the position type so that parsers holding
// mutable iterators into the pattern text can use them too.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>

#include "platform/text/wctype_win.h"
#include "utils/regex/detail/basics.h"

namespace regex {

// One enumeration for all contexts; 30 and 31 are unassigned.
enum token_kind : unsigned {
  TK_NONE = 0,

  // pattern context
  TK_GROUP_OPEN = 1,
  TK_GROUP_CLOSE = 2,
  TK_ALTERNATIVE = 3,
  TK_LINE_START = 4,
  TK_LINE_END = 5,
  TK_SET_OPEN = 6,
  TK_ANY_CHAR = 7,
  TK_ESCAPED = 8,

  // quantifier context
  TK_PLUS = 9,
  TK_STAR = 10,
  TK_QUESTION = 11,
  TK_PLUS_LAZY = 12,
  TK_STAR_LAZY = 13,
  TK_QUESTION_LAZY = 14,
  TK_REPEAT_OPEN = 15,
  TK_REPEAT_COMMA = 16,
  TK_REPEAT_CLOSE = 17,
  TK_REPEAT_CLOSE_LAZY = 18,

  // class escapes, pattern and bracket context
  SET_DIGIT = 19,
  SET_NONDIGIT = 20,
  SET_SPACE = 21,
  SET_NONSPACE = 22,
  SET_WORD = 23,
  SET_NONWORD = 24,

  // pattern context escapes
  TK_SUBJECT_START = 25,
  TK_SUBJECT_END_NL = 26,
  TK_SUBJECT_END = 27,
  TK_WORD_BOUNDARY = 28,
  TK_NOT_WORD_BOUNDARY = 29,
  TK_QUOTE_START = 32,
  TK_QUOTE_STOP = 33,

  // substitution context
  TK_SUB_DOLLAR = 34,
  TK_SUB_PREFIX = 35,
  TK_SUB_SUFFIX = 36,
  TK_SUB_WHOLE = 37,
  TK_SUB_ESCAPED = 38,
  TK_SUB_QUOTE = 39,
  TK_SUB_UPPER = 40,
  TK_SUB_UPPER_ONE = 41,
  TK_SUB_LOWER = 42,
  TK_SUB_LOWER_ONE = 43,
  TK_SUB_CASE_END = 44,

  // bracket context
  BRK_CARET = 45,
  BRK_BACKSLASH = 46,
  BRK_DASH = 47,
  BRK_BACKSPACE = 48,
  BRK_CLOSE = 49,
  BRK_ALNUM = 50,
  BRK_NONALNUM = 51,
  BRK_ALPHA = 52,
  BRK_NONALPHA = 53,
  BRK_BLANK = 54,
  BRK_NONBLANK = 55,
  BRK_CNTRL = 56,
  BRK_NONCNTRL = 57,
  BRK_DIGIT = 58,
  BRK_NONDIGIT = 59,
  BRK_GRAPH = 60,
  BRK_NONGRAPH = 61,
  BRK_LOWER = 62,
  BRK_NONLOWER = 63,
  BRK_PRINT = 64,
  BRK_NONPRINT = 65,
  BRK_PUNCT = 66,
  BRK_NONPUNCT = 67,
  BRK_SPACE = 68,
  BRK_NONSPACE = 69,
  BRK_UPPER = 70,
  BRK_NONUPPER = 71,
  BRK_XDIGIT = 72,
  BRK_NONXDIGIT = 73,

  // extension context (after '(')
  TK_EXT_GROUP = 74,
  TK_EXT_AHEAD = 75,
  TK_EXT_NOT_AHEAD = 76,
  TK_EXT_BEHIND = 77,
  TK_EXT_NOT_BEHIND = 78,
  TK_EXT_ATOMIC = 79,
  TK_EXT_COMMENT = 80,
  TK_EXT_CONDITIONAL = 81,
  TK_EXT_RECURSION = 82,
  TK_EXT_INVALID = 83
};

namespace detail {

typedef std::array<unsigned char, 256> char_token_table;

constexpr char_token_table make_char_token_table(std::initializer_list<std::pair<char, token_kind>> entries) {
  char_token_table t{};
  for (const auto &e : entries) t[static_cast<unsigned char>(e.first)] = static_cast<unsigned char>(e.second);
  return t;
}

// Token of each character code 0..255 in pattern context: non-zero only for
// the eight characters of tokens 1 to 8.
inline constexpr char_token_table pattern_char_tokens = make_char_token_table({
    {'(', TK_GROUP_OPEN},
    {')', TK_GROUP_CLOSE},
    {'|', TK_ALTERNATIVE},
    {'^', TK_LINE_START},
    {'$', TK_LINE_END},
    {'[', TK_SET_OPEN},
    {'.', TK_ANY_CHAR},
    {'\\', TK_ESCAPED},
});

// Token of the character after a backslash in pattern context: non-zero only
// for d D s S w W A Z z b B Q E.
inline constexpr char_token_table escape_char_tokens = make_char_token_table({
    {'d', SET_DIGIT},
    {'D', SET_NONDIGIT},
    {'s', SET_SPACE},
    {'S', SET_NONSPACE},
    {'w', SET_WORD},
    {'W', SET_NONWORD},
    {'A', TK_SUBJECT_START},
    {'Z', TK_SUBJECT_END_NL},
    {'z', TK_SUBJECT_END},
    {'b', TK_WORD_BOUNDARY},
    {'B', TK_NOT_WORD_BOUNDARY},
    {'Q', TK_QUOTE_START},
    {'E', TK_QUOTE_STOP},
});

struct posix_class_text {
  const char *m_text;
  std::size_t m_len;
};

// The 24 class texts of bracket context; entry i gives token BRK_ALNUM + i.
inline constexpr std::size_t posix_class_count = 24;
inline constexpr posix_class_text posix_class_texts[posix_class_count] = {
    {"[:alnum:]", 9}, {"[:^alnum:]", 10}, {"[:alpha:]", 9}, {"[:^alpha:]", 10}, {"[:blank:]", 9},   {"[:^blank:]", 10},
    {"[:cntrl:]", 9}, {"[:^cntrl:]", 10}, {"[:digit:]", 9}, {"[:^digit:]", 10}, {"[:graph:]", 9},   {"[:^graph:]", 10},
    {"[:lower:]", 9}, {"[:^lower:]", 10}, {"[:print:]", 9}, {"[:^print:]", 10}, {"[:punct:]", 9},   {"[:^punct:]", 10},
    {"[:space:]", 9}, {"[:^space:]", 10}, {"[:upper:]", 9}, {"[:^upper:]", 10}, {"[:xdigit:]", 10}, {"[:^xdigit:]", 11},
};

// The wide white-space test of the free-spacing skip.
inline bool char_isspace(wchar_t ch) { return win_iswctype(ch, _SPACE) != 0; }

// The table's entry for codes 0..255, TK_NONE for every other code.
inline token_kind char_table_lookup(wchar_t ch, const char_token_table &table) {
  std::uint32_t c = static_cast<std::uint32_t>(ch);
  return c < 256 ? token_kind(table[c]) : TK_NONE;
}

// Whether the text from `icur` on starts with the narrow text `sz` (wide
// codes compared with the narrow characters' values).
template <class IterT>
bool starts_with_text(IterT icur, IterT iend, const char *sz) {
  for (; *sz; ++sz, ++icur) {
    if (icur == iend) return false;
    if (static_cast<std::uint32_t>(*icur) != static_cast<unsigned char>(*sz)) return false;
  }
  return true;
}

}  // namespace detail

// Empty base of the syntax policies.
struct syntax_base {};

template <class CharT>
class perl_syntax;

// The Perl syntax over wide characters, the only instantiation of the engine.
template <>
class perl_syntax<wchar_t> : public syntax_base {
 public:
  explicit perl_syntax(pattern_flags flags) : m_flags(flags) {}

  pattern_flags get_flags() const { return m_flags; }
  void set_flags(pattern_flags flags) { m_flags = flags; }

  // Under FREESPACING: skips white space and '#' comments (to the next line
  // feed or the end). Returns the position reached.
  template <class IterT>
  IterT skip_space_and_comments(IterT &icur, IterT iend) const {
    if (!(m_flags & FREESPACING)) return icur;
    while (icur != iend && (*icur == L'#' || detail::char_isspace(*icur))) {
      wchar_t ch = *icur++;
      if (ch == L'#') {
        while (icur != iend && *icur++ != L'\n') {
        }
      } else {
        while (icur != iend && detail::char_isspace(*icur)) ++icur;
      }
    }
    return icur;
  }

  // Steps over the quantifier character under the position, skips blanks
  // (free spacing) and takes a '?' when one follows.
  template <class IterT>
  bool take_lazy_suffix(IterT &icur, IterT iend) const {
    ++icur;
    skip_space_and_comments(icur, iend);
    if (icur != iend && *icur == L'?') {
      ++icur;
      return true;
    }
    return false;
  }

  template <class IterT>
  token_kind pattern_token(IterT &icur, IterT iend) const {
    assert(iend != icur);
    skip_space_and_comments(icur, iend);
    if (icur == iend) return TK_NONE;
    token_kind t = detail::char_table_lookup(*icur, detail::pattern_char_tokens);
    if (t == TK_NONE) return TK_NONE;
    ++icur;
    if (t == TK_ESCAPED && icur != iend) {
      token_kind e = detail::char_table_lookup(*icur, detail::escape_char_tokens);
      if (e != TK_NONE) {
        ++icur;
        return e;
      }
    }
    return t;
  }

  template <class IterT>
  token_kind quantifier_token(IterT &icur, IterT iend) const {
    assert(iend != icur);
    skip_space_and_comments(icur, iend);
    if (icur == iend) return TK_NONE;
    switch (*icur) {
      case L'*':
        return take_lazy_suffix(icur, iend) ? TK_STAR_LAZY : TK_STAR;
      case L'+':
        return take_lazy_suffix(icur, iend) ? TK_PLUS_LAZY : TK_PLUS;
      case L'?':
        return take_lazy_suffix(icur, iend) ? TK_QUESTION_LAZY : TK_QUESTION;
      case L'}':
        return take_lazy_suffix(icur, iend) ? TK_REPEAT_CLOSE_LAZY : TK_REPEAT_CLOSE;
      case L'{':
        ++icur;
        return TK_REPEAT_OPEN;
      case L',':
        ++icur;
        return TK_REPEAT_COMMA;
      default:
        return TK_NONE;
    }
  }

  // Read at the position right after a '('. Inline modifiers change the
  // current flags, also when the run turns out invalid.
  template <class IterT>
  token_kind extension_token(IterT &icur, IterT iend) {
    assert(iend != icur);
    skip_space_and_comments(icur, iend);
    if (icur == iend || *icur != L'?') return TK_NONE;
    ++icur;
    if (m_flags & FREESPACING) {
      while (icur != iend && detail::char_isspace(*icur)) ++icur;
    }
    if (icur == iend) return TK_EXT_INVALID;
    switch (*icur) {
      case L':':
        ++icur;
        return TK_EXT_GROUP;
      case L'=':
        ++icur;
        return TK_EXT_AHEAD;
      case L'!':
        ++icur;
        return TK_EXT_NOT_AHEAD;
      case L'>':
        ++icur;
        return TK_EXT_ATOMIC;
      case L'#':
        ++icur;
        return TK_EXT_COMMENT;
      case L'(':
        ++icur;
        return TK_EXT_CONDITIONAL;
      case L'R':
        ++icur;
        return TK_EXT_RECURSION;
      case L'<':
        ++icur;
        skip_space_and_comments(icur, iend);
        if (icur != iend && *icur == L'=') {
          ++icur;
          return TK_EXT_BEHIND;
        }
        if (icur != iend && *icur == L'!') {
          ++icur;
          return TK_EXT_NOT_BEHIND;
        }
        return TK_EXT_INVALID;
      default:
        return modifier_run(icur, iend);
    }
  }

  // No free-spacing skip here: blanks and '#' are ordinary inside brackets.
  template <class IterT>
  token_kind bracket_token(IterT &icur, IterT iend) const {
    assert(iend != icur);
    switch (*icur) {
      case L'-':
        ++icur;
        return BRK_DASH;
      case L']':
        ++icur;
        return BRK_CLOSE;
      case L'^':
        ++icur;
        return BRK_CARET;
      case L'[': {
        IterT inext = icur;
        if (++inext == iend || *inext != L':') return TK_NONE;
        for (std::size_t i = 0; i < detail::posix_class_count; ++i) {
          if (detail::starts_with_text(icur, iend, detail::posix_class_texts[i].m_text)) {
            icur += static_cast<std::ptrdiff_t>(detail::posix_class_texts[i].m_len);
            return token_kind(BRK_ALNUM + i);
          }
        }
        return TK_NONE;
      }
      case L'\\':
        ++icur;
        if (icur == iend) return BRK_BACKSLASH;
        switch (*icur) {
          case L'd':
            ++icur;
            return SET_DIGIT;
          case L'D':
            ++icur;
            return SET_NONDIGIT;
          case L's':
            ++icur;
            return SET_SPACE;
          case L'S':
            ++icur;
            return SET_NONSPACE;
          case L'w':
            ++icur;
            return SET_WORD;
          case L'W':
            ++icur;
            return SET_NONWORD;
          case L'b':
            ++icur;
            return BRK_BACKSPACE;
          default:
            return BRK_BACKSLASH;
        }
      default:
        return TK_NONE;
    }
  }

  template <class IterT>
  token_kind substitution_token(IterT &icur, IterT iend) const {
    assert(iend != icur);
    switch (*icur) {
      case L'$':
        ++icur;
        if (icur == iend) return TK_SUB_DOLLAR;
        switch (*icur) {
          case L'&':
            ++icur;
            return TK_SUB_WHOLE;
          case L'\'':
            ++icur;
            return TK_SUB_SUFFIX;
          case L'`':
            ++icur;
            return TK_SUB_PREFIX;
          default:
            return TK_SUB_DOLLAR;
        }
      case L'\\':
        ++icur;
        if (icur == iend) return TK_SUB_ESCAPED;
        switch (*icur) {
          case L'Q':
            ++icur;
            return TK_SUB_QUOTE;
          case L'U':
            ++icur;
            return TK_SUB_UPPER;
          case L'u':
            ++icur;
            return TK_SUB_UPPER_ONE;
          case L'L':
            ++icur;
            return TK_SUB_LOWER;
          case L'l':
            ++icur;
            return TK_SUB_LOWER_ONE;
          case L'E':
            ++icur;
            return TK_SUB_CASE_END;
          default:
            return TK_SUB_ESCAPED;
        }
      default:
        return TK_NONE;
    }
  }

 private:
  // An inline-modifier run such as "i-m:" or "sx)": each of i m s x sets
  // (before a '-') or clears (after it) its flag at once.
  template <class IterT>
  token_kind modifier_run(IterT &icur, IterT iend) {
    bool on = true;
    for (;;) {
      switch (*icur) {
        case L':':
          ++icur;
          return TK_EXT_GROUP;
        case L')':
          return TK_EXT_GROUP;
        case L'-':
          if (!on) return TK_EXT_INVALID;
          on = false;
          break;
        case L'i':
          switch_flag(IGNORECASE, on);
          break;
        case L'm':
          switch_flag(LINEANCHORS, on);
          break;
        case L's':
          switch_flag(DOTALL, on);
          break;
        case L'x':
          switch_flag(FREESPACING, on);
          break;
        default:
          return TK_EXT_INVALID;
      }
      if (++icur == iend) return TK_EXT_INVALID;
    }
  }

  void switch_flag(pattern_flags flag, bool on) { m_flags = on ? (m_flags | flag) : (m_flags & ~flag); }

  pattern_flags m_flags;
};

}  // namespace regex

// Character sets of the regular-expression engine.
//
// A set is the compiled form of a class atom: a bracket expression such as
// [^a-z0-9_] or one of the class escapes \d \D \s \S \w \W. It is filled once
// by the compiler, frozen by finalize(), and from then on only asked whether
// a character belongs to it:
//
//   custom_charset *set = new (arena) custom_charset(arena);
//   parse_bracket_set(*set, it, pattern.end(), syntax);   // reads "a-z]", finalizes
//   set->in(L'q');                                        // true
//
// Layout of a set (basic_charset):
//   - a 256-bit table that answers every character below 256 with one bit
//     test (single characters, ranges and positive classes all land there);
//   - a class mask whose classes hold for characters from 256 up (asked of
//     the platform's wide classification);
//   - sorted, merged ranges of members from 256 up;
//   - negated classes ([:^alpha:]) and nested negated shared sets, asked
//     only when the set has any (m_fskip_extended_check says it has none).
// The result is inverted for a negated set.
//
// Two kinds: custom_charset (one bracket expression; set and list cells on
// the pattern's arena, owned by the one node that tests it) and charset (on
// the heap; the six built-in sets derive from it and are shared by every
// pattern, never owned by a node). A finalized set is read-only, so any
// number of threads may test it at once.
//
// Classification and case mapping come from the platform layer's fixed
// rules (platform/text/wctype_win.h), never from the process locale. Characters
// are compared as unsigned codes over the full wchar_t range.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/text/wctype_win.h"
#include "utils/regex/detail/arena.h"
#include "utils/regex/detail/basics.h"
#include "utils/regex/detail/slist.h"
#include "utils/regex/detail/syntax.h"

namespace regex {
namespace detail {

// A set of classification bits (_UPPER 0x1 ... 0x100 alphabetic); a
// character has a class when its bits share one with the mask.
typedef win_wctype_t class_mask;

// A character's code, compared unsigned.
typedef std::uint32_t char_code;
inline char_code code_of(wchar_t ch) { return static_cast<char_code>(ch); }

// Case mapping of the engine: the runtime's wide mappings.
inline wchar_t char_toupper(wchar_t ch) { return crt_towupper(ch); }
inline wchar_t char_tolower(wchar_t ch) { return crt_towlower(ch); }

// Upper-cases [first, last) in place.
template <class MutIter>
void range_toupper(MutIter first, MutIter last) {
  for (; first != last; ++first) *first = char_toupper(*first);
}

// Lower-cases [first, last) in place.
template <class MutIter>
void range_tolower(MutIter first, MutIter last) {
  for (; first != last; ++first) *first = char_tolower(*first);
}

// One inclusive range of members.
struct charset_range {
  char_code first;
  char_code last;
};

// Sorting order: by first, then by last.
struct range_order {
  bool operator()(const charset_range &a, const charset_range &b) const {
    return a.first < b.first || (a.first == b.first && a.last < b.last);
  }
};

// Lookup order: a before b when a ends before b begins, so overlapping
// ranges are equivalent and {c, c} matches every range that contains c.
struct range_less {
  bool operator()(const charset_range &a, const charset_range &b) const { return a.last < b.first; }
};

// The twelve class names of bracket expressions, in the order of their
// tokens (BRK_ALNUM + 2 * class, +1 for the negated form).
enum char_class {
  cls_alnum,
  cls_alpha,
  cls_blank,
  cls_cntrl,
  cls_digit,
  cls_graph,
  cls_lower,
  cls_print,
  cls_punct,
  cls_space,
  cls_upper,
  cls_xdigit,
  char_class_count
};

// The mask of a class name, obtained once from the platform's class-name
// lookup ("blank", which that lookup does not know, is 0x40).
class_mask class_mask_for(char_class cls);

struct charset;

template <class Alloc>
struct basic_charset {
  explicit basic_charset(const Alloc &alloc = Alloc())
      : m_fnegate(false),
        m_fskip_extended_check(false),
        m_lowchars{},
        m_posixcharson(0),
        m_ranges(alloc),
        m_posixcharsoff(alloc),
        m_nestedcharsets(alloc) {}
  virtual ~basic_charset() {}
  basic_charset(const basic_charset &) = delete;
  basic_charset &operator=(const basic_charset &) = delete;

  // Back to the empty state.
  void reset() {
    m_fnegate = false;
    m_fskip_extended_check = false;
    for (std::uint32_t &w : m_lowchars) w = 0;
    m_posixcharson = 0;
    m_nestedcharsets.clear();
    m_posixcharsoff.clear();
    m_ranges.clear();
  }

  void add_char(wchar_t ch, bool fnocase) {
    const char_code c = code_of(ch);
    if (c < 256)
      set_low_char(c, fnocase);
    else
      m_ranges.push_front(charset_range{c, c});  // in_nocase folds the subject instead
  }

  // Adds [first, last]; throws bad_regexpr on a reversed range.
  void add_range(wchar_t chfirst, wchar_t chlast, bool fnocase) {
    const char_code first = code_of(chfirst), last = code_of(chlast);
    if (last < first) throw bad_regexpr("invalid range specified in character set");
    if (first <= 255) set_low_range(first, last < 255 ? last : 255, fnocase);
    if (last < 256) return;
    m_ranges.push_front(charset_range{first > 256 ? first : 256, last});
  }

  // Merges a shared set: a positive one member by member, a negated one
  // by reference (it keeps its own negation).
  void add_charset(const charset &that);

  // Sorts and merges the ranges, puts the members below 256 of the
  // positive classes into the table, and sets the skip flag.
  bool finalize() {
    if (!m_ranges.empty()) {
      m_ranges.sort(range_order());
      typename range_list::iterator p = m_ranges.begin();
      for (typename range_list::iterator c = p; ++c != m_ranges.end(); c = p) {
        if (std::uint64_t(p->last) + 1 < c->first) {
          p = c;
        } else {
          if (c->last > p->last) p->last = c->last;
          m_ranges.erase_after(p);
        }
      }
    }
    if (m_posixcharson != 0) {
      // The classes of the codes below 256 are fixed, so the table of
      // the last mask is kept per thread: compiling a pattern with a
      // class inside brackets need not classify all 256 codes again.
      thread_local class_mask t_mask = 0;
      thread_local std::uint32_t t_bits[8] = {};
      if (t_mask != m_posixcharson) {
        for (std::uint32_t &w : t_bits) w = 0;
        for (int c = 0; c < 256; ++c)
          if (win_isctype(c, m_posixcharson)) t_bits[c >> 5] |= 1u << (c & 31);
        t_mask = m_posixcharson;
      }
      for (int i = 0; i < 8; ++i) m_lowchars[i] |= t_bits[i];
    }
    m_fskip_extended_check = m_posixcharsoff.empty() && m_nestedcharsets.empty();
    return m_fskip_extended_check;
  }

  // The common case, a character below 256 in a set without negated
  // classes or nested sets, is one bit test.
  [[gnu::always_inline]] bool in(wchar_t ch) const {
    const char_code c = code_of(ch);
    if (c <= 255 && m_fskip_extended_check) return test_bit(c) != m_fnegate;
    return member<false>(ch);
  }

  // Membership without regard to case: the table already holds both cases
  // of what was added under IGNORECASE; from 256 up the ranges are asked
  // for the character's upper and lower forms.
  [[gnu::always_inline]] bool in_nocase(wchar_t ch) const {
    const char_code c = code_of(ch);
    if (c <= 255 && m_fskip_extended_check) return test_bit(c) != m_fnegate;
    return member<true>(ch);
  }

  // Builder of a built-in set: the classes of `mask` and the bytes of
  // `extra` (taken as they are, without case forms).
  void init_class(bool fnegate, class_mask mask, const char *extra) {
    reset();
    m_fnegate = fnegate;
    m_posixcharson = mask;
    for (; *extra; ++extra) set_bit(static_cast<unsigned char>(*extra));
    finalize();
  }

  // Fields, in order. The builders (bracket parser, init_class) also
  // write m_fnegate, m_posixcharson and m_posixcharsoff directly.
  typedef slist<charset_range, Alloc> range_list;

  bool m_fnegate;                                  // every result is inverted
  bool m_fskip_extended_check;                     // no negated classes, no nested sets
  std::uint32_t m_lowchars[8];                     // members below 256, bit c % 32 of word c / 32
  class_mask m_posixcharson;                       // positive classes, asked from 256 up
  range_list m_ranges;                             // members from 256 up
  slist<class_mask, Alloc> m_posixcharsoff;        // negated classes
  slist<const charset *, Alloc> m_nestedcharsets;  // negated shared sets, not owned

 private:
  bool test_bit(char_code c) const { return (m_lowchars[c >> 5] >> (c & 31)) & 1u; }
  void set_bit(char_code c) { m_lowchars[(c & 0xFF) >> 5] |= 1u << (c & 31); }

  void set_low_char(char_code c, bool fnocase) {
    if (fnocase) {
      set_bit(char_code(win_tolower(int(c))) % 256);
      set_bit(char_code(win_toupper(int(c))) % 256);
    } else {
      set_bit(c);
    }
  }

  void set_low_range(char_code first, char_code last, bool fnocase) {
    if (last < first) throw bad_regexpr("invalid range specified in character set");
    for (char_code i = first; i <= last; ++i) set_low_char(i, fnocase);
  }

  // Binary search of the sorted, merged ranges for c.
  bool in_ranges(char_code c) const {
    if (m_ranges.empty()) return false;
    const charset_range probe{c, c};
    typename range_list::iterator first = m_ranges.begin();
    std::size_t count = m_ranges.size();
    while (count > 0) {
      std::size_t half = count / 2;
      typename range_list::iterator mid = first;
      for (std::size_t i = 0; i < half; ++i) ++mid;
      if (range_less()(*mid, probe)) {
        first = ++mid;
        count -= half + 1;
      } else {
        count = half;
      }
    }
    return first != m_ranges.end() && !range_less()(probe, *first);
  }

  // The upper form, then the lower form when it differs; the character
  // itself matters only through them.
  bool in_ranges_nocase(wchar_t ch) const {
    if (m_ranges.empty()) return false;
    const wchar_t up = char_toupper(ch);
    if (in_ranges(code_of(up))) return true;
    const wchar_t low = char_tolower(ch);
    if (low == up) return false;
    return in_ranges(code_of(low));
  }

  template <bool Nocase>
  [[gnu::noinline]] bool member(wchar_t ch) const {
    const char_code c = code_of(ch);
    bool found;
    if (c <= 255)
      found = test_bit(c);
    else
      found =
          (Nocase ? in_ranges_nocase(ch) : in_ranges(c)) || (m_posixcharson != 0 && win_iswctype(ch, m_posixcharson));
    if (!found) found = Nocase ? extended_check_nocase(ch) : extended_check(ch);
    return found != m_fnegate;
  }

  bool extended_check(wchar_t ch) const { return extended_check_form<false>(ch); }
  bool extended_check_nocase(wchar_t ch) const { return extended_check_form<true>(ch); }

  // The negated classes (wide classification, below 256 too), then the
  // nested sets, asked exactly or without case.
  template <bool Nocase>
  bool extended_check_form(wchar_t ch) const;
};

// A shared set on the heap. The built-in sets derive from it.
struct charset : basic_charset<std::allocator<char>> {
  charset() {}
};

// The set of one bracket expression: the set and its list cells live on
// the pattern's arena; deleting it runs the destructor and frees nothing.
struct custom_charset : basic_charset<arena_allocator<char>> {
  explicit custom_charset(const arena_allocator<char> &arena) : basic_charset<arena_allocator<char>>(arena) {}

  static void *operator new(std::size_t size, arena_allocator<char> &arena) {
    return arena.allocate_bytes(size, alignof(custom_charset));
  }
  static void operator delete(void *, arena_allocator<char> &) noexcept {}
  static void operator delete(void *) noexcept {}
};

template <class Alloc>
void basic_charset<Alloc>::add_charset(const charset &that) {
  if (that.m_fnegate) {
    m_nestedcharsets.push_front(&that);
    return;
  }
  for (int i = 0; i < 8; ++i) m_lowchars[i] |= that.m_lowchars[i];
  for (const charset_range &r : that.m_ranges) m_ranges.push_front(r);
  m_posixcharson |= that.m_posixcharson;
  for (class_mask m : that.m_posixcharsoff) m_posixcharsoff.push_front(m);
  for (const charset *s : that.m_nestedcharsets) m_nestedcharsets.push_front(s);
}

template <class Alloc>
template <bool Nocase>
bool basic_charset<Alloc>::extended_check_form(wchar_t ch) const {
  assert(m_fskip_extended_check == (m_posixcharsoff.empty() && m_nestedcharsets.empty()));
  if (m_fskip_extended_check) return false;
  for (class_mask m : m_posixcharsoff)
    if (!win_iswctype(ch, m)) return true;
  for (const charset *s : m_nestedcharsets)
    if (Nocase ? s->in_nocase(ch) : s->in(ch)) return true;
  return false;
}

// The six shared sets of the class escapes. Each is made once, on first
// use (thread-safe), and lives until the process ends: it is never
// destroyed, so a worker still matching while the process exits stays safe.
struct intrinsic_charsets {
  struct intrinsic_charset : charset {
    intrinsic_charset(bool fnegate, class_mask mask, const char *extra) { init_class(fnegate, mask, extra); }
  };

  static const charset *get_word_charset();       // \w: alpha, digit and "_"
  static const charset *get_digit_charset();      // \d
  static const charset *get_space_charset();      // \s
  static const charset *get_not_word_charset();   // \W
  static const charset *get_not_digit_charset();  // \D
  static const charset *get_not_space_charset();  // \S
};

// The registry of named escape classes. Nothing registers an entry, so the
// lookup never yields a set and the escape keeps its ordinary meaning.
inline const charset *lookup_registered_charset(wchar_t /*ch*/, const perl_syntax<wchar_t> & /*syntax*/) {
  return nullptr;
}

// ---------------------------------------------------------------------------
// The bracket-expression parser.

// Throws "expecting end of character set" when the pattern has ended.
template <class IterT>
void require_more_pattern(IterT icur, IterT iend) {
  if (icur == iend) throw bad_regexpr("expecting end of character set");
}

inline int octal_digit(char_code c) { return c >= L'0' && c <= L'7' ? int(c - L'0') : -1; }
inline int hex_digit(char_code c) {
  if (c >= L'0' && c <= L'9') return int(c - L'0');
  if (c >= L'a' && c <= L'f') return int(c - L'a' + 10);
  if (c >= L'A' && c <= L'F') return int(c - L'A' + 10);
  return -1;
}

// The character value of an escape inside brackets; the backslash is
// consumed, the position is on the character after it and ends after the
// escape.
template <class IterT>
wchar_t bracket_escape_value(IterT &icur, IterT iend, bool fexpand) {
  require_more_pattern(icur, iend);
  const wchar_t ch = *icur++;
  switch (ch) {
    case L'0':
    case L'1':
    case L'2':
    case L'3':
    case L'4':
    case L'5':
    case L'6':
    case L'7': {
      char_code value = char_code(ch - L'0');
      for (int i = 0; i < 2 && icur != iend && octal_digit(code_of(*icur)) >= 0; ++i)
        value = value * 8 + char_code(octal_digit(code_of(*icur++)));
      return wchar_t(value);
    }
    case L'x': {
      char_code value = 0;
      for (int i = 0; i < 2 && icur != iend && hex_digit(code_of(*icur)) >= 0; ++i)
        value = value * 16 + char_code(hex_digit(code_of(*icur++)));
      return wchar_t(value);
    }
    case L'c': {
      // "\c" needs the character it controls; at the end the set is unclosed.
      require_more_pattern(icur, iend);
      wchar_t c = *icur++;
      if (c >= L'a' && c <= L'z') c = char_toupper(c);
      return wchar_t(code_of(c) ^ 0x40);
    }
    case L'e':
      return wchar_t(27);
    case L'a':
      return fexpand ? wchar_t(7) : ch;
    case L'f':
      return fexpand ? wchar_t(12) : ch;
    case L'n':
      return fexpand ? wchar_t(10) : ch;
    case L'r':
      return fexpand ? wchar_t(13) : ch;
    case L't':
      return fexpand ? wchar_t(9) : ch;
    case L'v':
      return fexpand ? wchar_t(11) : ch;
    default:
      return ch;
  }
}

// The built-in set of a class-escape token (SET_DIGIT ... SET_NONWORD).
inline const charset *builtin_charset_for(token_kind tok) {
  switch (tok) {
    case SET_DIGIT:
      return intrinsic_charsets::get_digit_charset();
    case SET_NONDIGIT:
      return intrinsic_charsets::get_not_digit_charset();
    case SET_SPACE:
      return intrinsic_charsets::get_space_charset();
    case SET_NONSPACE:
      return intrinsic_charsets::get_not_space_charset();
    case SET_WORD:
      return intrinsic_charsets::get_word_charset();
    case SET_NONWORD:
      return intrinsic_charsets::get_not_word_charset();
    default:
      return nullptr;
  }
}

// Reads a bracket expression after its '[' up to and including the closing
// ']', fills `set` (which must be empty) and finalizes it. Throws
// bad_regexpr "expecting end of character set" when the pattern ends first
// and "invalid range specified in character set" for a reversed range.
template <class Alloc, class IterT>
void parse_bracket_set(basic_charset<Alloc> &set, IterT &icur, IterT iend, const perl_syntax<wchar_t> &syntax) {
  const bool fnocase = (syntax.get_flags() & IGNORECASE) != 0;
  const bool fexpand = (syntax.get_flags() & EXPANDESCAPES) != 0;

  if (icur != iend) {
    IterT itemp = icur;
    if (syntax.bracket_token(itemp, iend) == BRK_CARET) {
      set.m_fnegate = true;
      icur = itemp;
    }
  }

  bool fpending = false;
  wchar_t chpending = 0;
  IterT itoken = icur;
  require_more_pattern(icur, iend);
  token_kind tok = syntax.bracket_token(icur, iend);

  do {
    require_more_pattern(icur, iend);
    if (tok == BRK_DASH && fpending) {
      // A range: the pending character is its start.
      fpending = false;
      const IterT iafter_dash = icur;
      const token_kind t = syntax.bracket_token(icur, iend);
      bool frange = true;
      wchar_t chend = 0;
      switch (t) {
        case TK_NONE:
          chend = *icur++;
          break;
        case BRK_CARET:
        case BRK_DASH:
          icur = iafter_dash;
          chend = *icur++;
          break;
        case BRK_BACKSLASH:
          chend = bracket_escape_value(icur, iend, fexpand);
          break;
        case BRK_BACKSPACE:
          chend = wchar_t(8);
          break;
        default:
          frange = false;
          break;
      }
      if (frange) {
        set.add_range(chpending, chend, fnocase);
      } else {
        // No range end follows: the pending character and the '-' are
        // ordinary; the token after the '-' is read again below.
        icur = itoken;
        set.add_char(chpending, fnocase);
        set.add_char(*icur++, fnocase);
      }
    } else {
      if (fpending) {
        set.add_char(chpending, fnocase);
        fpending = false;
      }
      switch (tok) {
        case SET_DIGIT:
        case SET_NONDIGIT:
        case SET_SPACE:
        case SET_NONSPACE:
        case SET_WORD:
        case SET_NONWORD:
          set.add_charset(*builtin_charset_for(tok));
          break;
        case BRK_CARET:
        case BRK_DASH:
        case BRK_CLOSE:
          icur = itoken;
          chpending = *icur++;
          fpending = true;
          break;
        case BRK_BACKSLASH:
          if (icur != iend) {
            if (const charset *registered = lookup_registered_charset(*icur, syntax)) {
              set.add_charset(*registered);
              ++icur;
              break;
            }
          }
          chpending = bracket_escape_value(icur, iend, fexpand);
          fpending = true;
          break;
        case BRK_BACKSPACE:
          chpending = wchar_t(8);
          fpending = true;
          break;
        default:
          if (tok >= BRK_ALNUM && tok <= BRK_NONXDIGIT) {
            const char_class cls = char_class((tok - BRK_ALNUM) / 2);
            const bool fnegated = ((tok - BRK_ALNUM) & 1) != 0;
            class_mask mask = class_mask_for(cls);
            if (fnocase && (cls == cls_lower || cls == cls_upper))
              mask = class_mask(class_mask_for(cls_lower) | class_mask_for(cls_upper));
            if (fnegated)
              set.m_posixcharsoff.push_front(mask);
            else
              set.m_posixcharson = class_mask(set.m_posixcharson | mask);
          } else {
            chpending = *icur++;
            fpending = true;
          }
          break;
      }
    }
    itoken = icur;
    require_more_pattern(icur, iend);
    tok = syntax.bracket_token(icur, iend);
  } while (tok != BRK_CLOSE);

  if (fpending) set.add_char(chpending, fnocase);
  set.finalize();
}

}  // namespace detail
}  // namespace regex

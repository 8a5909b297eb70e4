// Node factories of the pattern parser and its decimal reader.
//
// The parsers never construct an atom node themselves: a factory picks the
// node class from the flags in force at that point of the pattern (inline
// modifiers change them), allocates it from the pattern's arena and returns
// it. The caller owns the result until it appends it to a group.
//
//   node_holder<IT> atom(make_char_node<IT>(L'a', syntax.get_flags(), arena));
//
// Every factory exists for both subject position types; the built-in sets are
// shared statics that a set node points to and never owns.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "utils/regex/detail/arena.h"
#include "utils/regex/detail/basics.h"
#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/matcher_atoms.h"
#include "utils/regex/detail/matcher_backref.h"
#include "utils/regex/detail/matcher_lookaround.h"
#include "utils/regex/detail/matcher_recursion.h"
#include "utils/regex/detail/word_assertion.h"

namespace regex {
namespace detail {

// Reads decimal digits at p while the value stays below limit; a digit that
// takes the value above limit is given back. No digit: 0, p unmoved. The
// value is accumulated in 64 bits, so no count can wrap around.
template <class IterT>
std::uint32_t read_decimal(IterT &p, IterT end, std::uint32_t limit) {
  std::uint64_t value = 0;
  while (p != end && *p >= L'0' && *p <= L'9' && value < limit) {
    value = value * 10 + std::uint64_t(*p - L'0');
    ++p;
  }
  if (value > limit) {
    value /= 10;
    --p;
  }
  return std::uint32_t(value);
}

// A zero-width node that never holds: the compiled form of an empty negative
// look-around, "(?!)" or "(?<!)", which no position can satisfy.
template <class IT>
class match_fail : public assertion<IT> {
 public:
  bool match_chain(match_param<IT> &, IT) const override { return false; }
  bool match_chain_nul(match_param<IT> &, IT) const override { return false; }
  bool step_forward(match_param<IT> &) const override { return false; }
  bool step_forward_nul(match_param<IT> &) const override { return false; }
  bool match_here(match_param<IT> &, IT &) const override { return false; }
  bool match_here_nul(match_param<IT> &, IT &) const override { return false; }
  bool peek_start(start_hint &) const override { return false; }
  bool first_here(char_bits &) const override { return false; }
};

// One character; case-insensitive only under IGNORECASE and only when the
// character has two case forms.
template <class IT>
sub_expr<IT> *make_char_node(wchar_t ch, pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & IGNORECASE) {
    const wchar_t lo = char_tolower(ch);
    const wchar_t up = char_toupper(ch);
    if (lo != up) return new (arena) match_char_t<IT, char_nocase<wchar_t>>(char_nocase<wchar_t>{lo, up});
  }
  return new (arena) match_char_t<IT, wchar_t>(ch);
}

// A run of literal characters of the pattern's own text, [begin, end), not
// empty. Under IGNORECASE the run is upper-cased in place and a lower-case
// copy kept on the arena.
template <class IT>
sub_expr<IT> *make_literal_node(std::wstring::iterator begin, std::wstring::iterator end, pattern_flags flags,
                                arena_allocator<char> &arena) {
  if (end - begin == 1) return make_char_node<IT>(*begin, flags, arena);
  if (flags & IGNORECASE) return new (arena) match_literal_nocase_t<IT>(begin, end, arena);
  return new (arena) match_literal_t<IT>(begin, end);
}

// '^': begin of line under LINEANCHORS, else begin of subject.
template <class IT>
sub_expr<IT> *make_line_start_node(pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & LINEANCHORS) return new (arena) assert_op<IT, opwrap_of<bol_t>>();
  return new (arena) assert_op<IT, opwrap_of<bos_t>>();
}

// '$': end of line under LINEANCHORS, else end of subject or before a final
// line feed.
template <class IT>
sub_expr<IT> *make_line_end_node(pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & LINEANCHORS) return new (arena) assert_op<IT, opwrap_of<eol_t>>();
  return new (arena) assert_op<IT, opwrap_of<peos_t>>();
}

// '.': any character under DOTALL, else any but a line feed.
template <class IT>
sub_expr<IT> *make_any_node(pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & DOTALL) return new (arena) match_any_t<IT, opwrap_of<eos_t>>();
  return new (arena) match_any_t<IT, opwrap_of<eol_t>>();
}

// '[...]': the node takes the set over. The arena allocation comes before the
// move, so the holder keeps the set when it fails.
template <class IT>
sub_expr<IT> *make_bracket_set_node(std::unique_ptr<const custom_charset> &set, pattern_flags flags,
                                    arena_allocator<char> &arena) {
  typedef std::unique_ptr<const custom_charset> holder;
  if (flags & IGNORECASE) return new (arena) match_charset_t<IT, holder, false>(std::move(set));
  return new (arena) match_charset_t<IT, holder, true>(std::move(set));
}

// '\d' '\D' '\s' '\S' '\w' '\W': a node over the shared built-in set.
template <class IT>
sub_expr<IT> *make_builtin_set_node(const charset *set, pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & IGNORECASE) return new (arena) match_charset_t<IT, const charset *, false>(set);
  return new (arena) match_charset_t<IT, const charset *, true>(set);
}

// '\b' (boundary true) and '\B' (false).
template <class IT>
sub_expr<IT> *make_word_boundary_node(bool boundary, pattern_flags, arena_allocator<char> &arena) {
  if (boundary) return new (arena) word_assertion_t<IT, word_boundary<true>>();
  return new (arena) word_assertion_t<IT, word_boundary<false>>();
}

// '\A'
template <class IT>
sub_expr<IT> *make_subject_start_node(pattern_flags, arena_allocator<char> &arena) {
  return new (arena) assert_op<IT, opwrap_of<bos_t>>();
}

// '\Z'
template <class IT>
sub_expr<IT> *make_subject_end_nl_node(pattern_flags, arena_allocator<char> &arena) {
  return new (arena) assert_op<IT, opwrap_of<peos_t>>();
}

// '\z'
template <class IT>
sub_expr<IT> *make_subject_end_node(pattern_flags, arena_allocator<char> &arena) {
  return new (arena) assert_op<IT, opwrap_of<eos_t>>();
}

// A back-reference to group n as written (capturing groups counted); the
// width pass translates and checks the number.
template <class IT>
sub_expr<IT> *make_backref_node(std::uint32_t n, pattern_flags flags, arena_allocator<char> &arena) {
  if (flags & IGNORECASE) return new (arena) match_backref_t<ch_neq_nocase_t<wchar_t>, IT>(n);
  return new (arena) match_backref_t<ch_neq_t<wchar_t>, IT>(n);
}

// "(?R)": the whole pattern again at the position.
template <class IT>
sub_expr<IT> *make_recursion_node(arena_allocator<char> &arena) {
  return new (arena) match_recurse<IT>();
}

// "(?(n)yes|no)": conditional group `number` testing group `tested` as written.
template <class IT>
match_group_base<IT> *make_backref_conditional_node(int number, std::uint32_t tested, arena_allocator<char> &arena) {
  return new (arena) match_conditional<IT, backref_condition<IT>>(number, backref_condition<IT>(tested), arena);
}

// "(?(?=...)yes|no)" and the other look-arounds: the condition takes the
// look-around out of the holder only once it is built, and the conditional
// node takes the condition; a failed allocation destroys what was taken.
template <class IT>
match_group_base<IT> *make_assertion_conditional_node(int number, node_holder<IT> &lookaround,
                                                      arena_allocator<char> &arena) {
  assertion_condition<IT> condition(static_cast<independent_group_base<IT> *>(lookaround.get()), arena);
  lookaround.release();
  return new (arena) match_conditional<IT, assertion_condition<IT>>(number, std::move(condition), arena);
}

// "(?!)", "(?<!)"
template <class IT>
sub_expr<IT> *make_fail_node(arena_allocator<char> &arena) {
  return new (arena) match_fail<IT>();
}

}  // namespace detail
}  // namespace regex

// The engine's shared vocabulary: node widths, the failure memo, the
// per-call match parameters and the process-wide constant records (flags,
// errors and the group record are the public headers').
//
// Subjects are walked by one of two position types, `std::wstring::const_iterator`
// (every caller outside the engine) or `const wchar_t *`; every template here
// exists for both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "utils/regex/detail/hetero_stack.h"
#include "utils/regex/flags.h"
#include "utils/regex/results.h"

namespace regex {
namespace detail {

template <class IT>
class sub_expr_base;
template <class IT>
class match_group_base;

// The {min, max} length of a node or sequence; max 0xFFFFFFFF is unbounded.
struct node_width {
  std::uint32_t m_min;
  std::uint32_t m_max;
  bool operator==(const node_width &that) const { return m_min == that.m_min && m_max == that.m_max; }
  bool operator!=(const node_width &that) const { return !(*this == that); }
};

inline constexpr std::uint32_t width_unbounded = 0xFFFFFFFFu;

inline constexpr node_width uninit_width() { return node_width{width_unbounded, width_unbounded}; }

// Sum of two widths: unbounded stays unbounded, and a sum that does not fit
// in 32 bits saturates at unbounded instead of wrapping.
inline constexpr std::uint32_t width_add(std::uint32_t a, std::uint32_t b) {
  if (a == width_unbounded || b == width_unbounded) return width_unbounded;
  std::uint64_t s = std::uint64_t(a) + b;
  return s >= width_unbounded ? width_unbounded : std::uint32_t(s);
}
inline constexpr node_width operator+(const node_width &a, const node_width &b) {
  return node_width{width_add(a.m_min, b.m_min), width_add(a.m_max, b.m_max)};
}

// Product of a width and a repeat count: 0 on either side gives 0, unbounded
// on either side gives unbounded, and an overflowing product saturates.
inline constexpr std::uint32_t width_mult(std::uint32_t a, std::uint32_t b) {
  if (a == 0 || b == 0) return 0;
  if (a == width_unbounded || b == width_unbounded) return width_unbounded;
  std::uint64_t p = std::uint64_t(a) * b;
  return p >= width_unbounded ? width_unbounded : std::uint32_t(p);
}
inline constexpr node_width operator*(const node_width &w, const node_width &count) {
  return node_width{width_mult(w.m_min, count.m_min), width_mult(w.m_max, count.m_max)};
}

// The leading literal of a pattern, as positions in the compiled pattern's
// own text, with its other-case copy (null when compared with case).
struct literal_hint {
  bool m_present = false;
  std::wstring::const_iterator m_begin{};
  std::wstring::const_iterator m_end{};
  const wchar_t *m_pother = nullptr;
};

// Shared, never matched record: returned by a failed match; every record is
// reset to it before a search.
template <class IT>
inline const backref_tag<IT> empty_backref{null_position<IT>, null_position<IT>};

// The failure memo of one search: the (loop, position) states from which the
// rest of the pattern is known to fail. A loop-back node whose loop has no
// upper bound (and whose enclosing loops have none) is a memo point; it
// consults and fills the memo only where the outcome can depend on nothing
// but the position (see group_quantifier::memo_eligible), and only in
// patterns without back-references, group conditions and recursion. The
// memo comes into force only once the points have been visited more often
// than a linear search would need, so ordinary searches never allocate it.
// Failures noted while an empty match is refused at the start
// (m_fno_empty_match) hold only while that refusal does: they are dropped
// when it ends.
template <class IT>
class loop_memo {
 public:
  loop_memo(unsigned points, IT base, IT end)
      : m_points(points),
        m_base(base),
        m_span(std::size_t(end - base) + 1),
        m_threshold(std::uint64_t(m_span) * points + 64) {}

  // Counts a visit of a memo point; true while the memo is in force.
  bool visit() {
    if (m_active) return true;
    if (m_points == 0 || ++m_visits < m_threshold) return false;
    m_bits.assign((m_span * m_points + 63) / 64, 0);
    m_active = true;
    return true;
  }
  bool known_failure(unsigned point, IT pos) const {
    const std::size_t i = index(point, pos);
    return (m_bits[i / 64] >> (i % 64)) & 1u;
  }
  void note_failure(unsigned point, IT pos, bool provisional) {
    const std::size_t i = index(point, pos);
    std::uint64_t &w = m_bits[i / 64];
    const std::uint64_t bit = std::uint64_t(1) << (i % 64);
    if (provisional && !(w & bit)) m_provisional.push_back(i);
    w |= bit;
  }
  // The refusal of an empty match at the start has ended.
  void end_provisional() {
    for (std::size_t i : m_provisional) m_bits[i / 64] &= ~(std::uint64_t(1) << (i % 64));
    m_provisional.clear();
  }

 private:
  std::size_t index(unsigned point, IT pos) const { return std::size_t(point) * m_span + std::size_t(pos - m_base); }

  unsigned m_points;
  IT m_base;
  std::size_t m_span;
  std::uint64_t m_threshold;
  std::uint64_t m_visits = 0;
  bool m_active = false;
  std::vector<std::uint64_t> m_bits;
  std::vector<std::size_t> m_provisional;
};

// What one search shares across its attempts (and with the bodies of its
// look-behinds): the steps spent against the budget and the failure memo.
template <class IT>
struct search_state {
  search_state(std::uint64_t budget, unsigned memo_points, IT base, IT end)
      : m_budget(budget), m_memo(memo_points, base, end) {}
  search_state(const search_state &) = delete;
  search_state &operator=(const search_state &) = delete;

  std::uint64_t m_steps = 0;
  std::uint64_t m_budget;
  loop_memo<IT> m_memo;
  std::vector<backref_tag<IT>> m_scratch;  // records of a finished recursion pass, reused
};

// The recursion pass an iterative match is inside: the node to go on with
// once the pass reaches the end of the pattern (null: no pass runs), and the
// stack position above the recursion's own entries, where the pass's
// entries begin.
template <class IT>
struct pass_frame {
  const sub_expr_base<IT> *after = nullptr;
  match_stack::stack_type base = nullptr;
};

// The parameter block of one match call, handed to every node operation.
template <class IT>
struct match_param {
  backref_tag<IT> *m_prgbackrefs;
  IT m_iend;
  IT m_icur;
  std::uint32_t m_cbackrefs;
  const sub_expr_base<IT> *m_pnext;
  IT m_ibegin;
  IT m_istart;
  const match_group_base<IT> *m_ptopgroup;
  match_stack *m_pstack;
  bool m_fno_empty_match;
  bool m_fspare;
  search_state<IT> *m_psearch;  // null outside a pattern's search: no budget, no memo
  pass_frame<IT> m_frame;       // iterative mode: the recursion pass running
  // A stack that the searches of one all-matches or split loop share, so
  // an iterative search need not build its own (null: each builds one).
  match_stack *m_pkept_stack = nullptr;

  match_param(IT ibegin, IT istart, IT iend, backref_tag<IT> *prgbackrefs, std::uint32_t cbackrefs)
      : m_prgbackrefs(prgbackrefs),
        m_iend(iend),
        m_icur(istart),
        m_cbackrefs(cbackrefs),
        m_pnext(nullptr),
        m_ibegin(ibegin),
        m_istart(istart),
        m_ptopgroup(nullptr),
        m_pstack(nullptr),
        m_fno_empty_match(false),
        m_fspare(false),
        m_psearch(nullptr) {}
};

[[noreturn]] void throw_step_budget_exceeded();

// One backtracking step of the search: counted against the budget.
template <class IT>
inline void count_backtrack(const match_param<IT> &param) {
  search_state<IT> *s = param.m_psearch;
  if (s && ++s->m_steps > s->m_budget) throw_step_budget_exceeded();
}

}  // namespace detail
}  // namespace regex

// Conditionals and recursion: nodes that choose their way at match time.
//
//   match_conditional<IT, backref_condition<IT>>     (?(n)yes|no)
//   match_conditional<IT, assertion_condition<IT>>   (?(?=...)yes|no), and
//                                                    with ?!, ?<=, ?<!
//   match_recurse<IT>                                (?R)
//
// A conditional tests its condition where it stands and runs exactly one
// branch: the first when the condition holds, else the second, or nothing
// when there is none. The choice is final. A condition is decided alike in
// both modes: an assertion's captures stay while its branch runs and are
// undone when the branch fails.
//
// A recursion matches the whole pattern again at the position, takes the
// first way it matches and goes on after itself; the recursive pass is not
// retried. Its captures stay when the match goes on successfully and are
// undone when it fails; the state of the groups and loops that were running
// around it (pending starts, loop counts and marks) is back as soon as the
// pass ends. A recursion where the running pass began matches the empty
// string, so left recursion cannot loop.
#pragma once

#include <cstdint>
#include <utility>

#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/matcher_backref.h"
#include "utils/regex/detail/matcher_groups.h"
#include "utils/regex/detail/matcher_lookaround.h"

namespace regex {
namespace detail {

// The condition "group n has taken part in the match". The number is kept as
// written and translated by the width pass; a number with no record makes
// the condition false.
template <class IT>
class backref_condition {
 public:
  explicit backref_condition(std::uint32_t written) : m_nwritten(written), m_ngroup(written) {}

  template <class Tag>
  bool test(match_param<IT> &param, IT, Tag) const {
    return holds(param);
  }
  template <class Tag>
  bool test_step(match_param<IT> &param, Tag) const {
    return holds(param);
  }
  template <class Tag>
  void undo_step(match_param<IT> &, Tag) const {}
  saved_records<IT> save(const match_param<IT> &param) const { return saved_records<IT>(param, 0, 0); }
  void resolve(const width_context<IT> &wp) {
    m_ngroup = m_nwritten;
    translate_group_number(m_ngroup, *wp.m_phidden);
  }

 private:
  bool holds(const match_param<IT> &param) const {
    return m_ngroup < param.m_cbackrefs && param.m_prgbackrefs[m_ngroup].matched;
  }

  const std::uint32_t m_nwritten;
  std::uint32_t m_ngroup;
};

// The continuation of an assertion used as a condition: accepts at once,
// whatever the running match forbids of its own end.
template <class IT>
class condition_end : public sub_expr<IT> {
 public:
  bool match_chain(match_param<IT> &, IT) const override { return true; }
  bool match_chain_nul(match_param<IT> &, IT) const override { return true; }
  bool step_forward(match_param<IT> &param) const override {
    param.m_pnext = nullptr;
    return true;
  }
  bool step_forward_nul(match_param<IT> &param) const override {
    param.m_pnext = nullptr;
    return true;
  }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
  void scan_first(first_chars &fc) const override { fc.can_end = true; }
};

// The condition "this look-around holds here". Owns the look-around node,
// whose continuation is a condition_end; moving the condition moves the
// ownership.
template <class IT>
class assertion_condition {
 public:
  assertion_condition(independent_group_base<IT> *assertion, arena_allocator<char> &arena) : m_passertion(assertion) {
    *assertion->next_link() = new (arena) condition_end<IT>();
  }
  assertion_condition(assertion_condition &&that) noexcept : m_passertion(that.m_passertion) {
    that.m_passertion = nullptr;
  }
  assertion_condition(const assertion_condition &) = delete;
  assertion_condition &operator=(const assertion_condition &) = delete;
  ~assertion_condition() { delete m_passertion; }

  template <class Tag>
  bool test(match_param<IT> &param, IT pos, Tag tag) const {
    return call_match_chain<IT>(m_passertion, param, pos, tag);
  }
  // The assertion's step leaves, when it holds, what undo_step removes.
  template <class Tag>
  bool test_step(match_param<IT> &param, Tag tag) const {
    return call_step_forward<IT>(m_passertion, param, tag);
  }
  template <class Tag>
  void undo_step(match_param<IT> &param, Tag) const {
    m_passertion->abandon(param);
  }
  // The records a holding assertion may have written.
  saved_records<IT> save(const match_param<IT> &param) const {
    const auto &block = m_passertion->nested_groups();
    return saved_records<IT>(param, block.first, block.second);
  }
  // Measures the look-around's body (a look-behind needs its width).
  void resolve(const width_context<IT> &wp) { m_passertion->width_range(wp); }

 private:
  independent_group_base<IT> *m_passertion;
};

template <class IT, class C>
class match_conditional : public match_group<IT> {
 public:
  // (own number, tested group number, arena) with a backref_condition;
  // (own number, assertion_condition, arena), which takes the assertion over.
  template <class Arg>
  match_conditional(int cgroup, Arg &&condition, arena_allocator<char> arena)
      : match_group<IT>(cgroup, arena), m_condition(std::forward<Arg>(condition)) {}

  bool match_chain(match_param<IT> &param, IT pos) const override { return chain(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return chain(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return forward(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return forward(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const override { return back(param, bounded_tag()); }
  bool step_back_nul(match_param<IT> &param) const override { return back(param, nul_tag()); }

  // The branches' widths; a missing second branch is the empty path.
  node_width width_range(const width_context<IT> &wp) override {
    typename match_group_base<IT>::alt_iterator it = this->m_alternates.begin();
    node_width w = (*it)->chain_width(wp);
    if (++it != this->m_alternates.end()) {
      const node_width w2 = (*it)->chain_width(wp);
      w.m_min = std::min(w.m_min, w2.m_min);
      w.m_max = std::max(w.m_max, w2.m_max);
    } else {
      w.m_min = 0;
    }
    m_condition.resolve(wp);
    this->m_width = w;
    return w;
  }
  bool fixed_sets(fixed_prefix &) const override { return false; }
  const sub_expr<IT> *must_match_body() const override { return nullptr; }
  // A single branch may be skipped: no first character is certain.
  bool peek_start(start_hint &hint) const override {
    return this->alternative_count() > 1 && match_group_base<IT>::peek_start(hint);
  }
  void scan_first(first_chars &fc) const override {
    if (!fc.enter(this)) return;
    this->scan_alternatives(fc);
    if (this->alternative_count() < 2) this->scan_next(fc);
  }

 private:
  const sub_expr<IT> *branch(bool holds) const {
    typename match_group_base<IT>::alt_iterator it = this->m_alternates.begin();
    if (holds) return *it;
    ++it;
    return it != this->m_alternates.end() ? *it : nullptr;
  }

  template <class Tag>
  bool chain(match_param<IT> &param, IT pos, Tag tag) const {
    const saved_records<IT> saved = m_condition.save(param);
    const bool holds = m_condition.test(param, pos, tag);
    const sub_expr<IT> *b = branch(holds);
    bool ok;
    if (b) {
      recursion_scope depth;
      ok = call_match_chain<IT>(b, param, pos, tag);
    } else {
      ok = this->match_next(param, pos, tag);
    }
    if (!ok && holds) saved.restore(param);
    return ok;
  }

  template <class Tag>
  bool forward(match_param<IT> &param, Tag tag) const {
    const bool holds = m_condition.test_step(param, tag);
    param.m_pstack->push(holds);
    const sub_expr<IT> *b = branch(holds);
    param.m_pnext = b ? b : this->next;
    return true;
  }

  template <class Tag>
  bool back(match_param<IT> &param, Tag tag) const {
    bool holds = false;
    param.m_pstack->pop(holds);
    if (holds) m_condition.undo_step(param, tag);
    return false;
  }

  C m_condition;
};

// (?R): the whole pattern again, as a sub-match at the position.
template <class IT>
class match_recurse : public sub_expr<IT> {
 public:
  bool match_chain(match_param<IT> &param, IT pos) const override { return chain(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return chain(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return forward(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return forward(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const override { return back(param); }
  bool step_back_nul(match_param<IT> &param) const override { return back(param); }

  sub_expr<IT> *make_quantifier(std::uint32_t, std::uint32_t, bool, arena_allocator<char> &) override {
    throw bad_regexpr("recursion sub-expression cannot be quantified");
  }
  node_width width_range(const width_context<IT> &) override { return node_width{0, width_unbounded}; }

 private:
  // Puts back the state of the attempts that ran around the pass; the
  // captures stay as the pass left them.
  static void restore_attempt_state(match_param<IT> &param, const saved_records<IT> &saved) {
    for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) param.m_prgbackrefs[i].take_attempt_state(saved[i]);
  }

  static bool at_pass_start(const match_param<IT> &param, IT pos) {
    return param.m_cbackrefs != 0 && pos == param.m_prgbackrefs[0].pending_start;
  }

  template <class Tag>
  bool chain(match_param<IT> &param, IT pos, Tag tag) const {
    if (!param.m_ptopgroup) return false;
    if (at_pass_start(param, pos)) return this->match_next(param, pos, tag);
    const saved_records<IT> saved(param, 0, param.m_cbackrefs);
    bool ok;
    {
      recursion_scope depth;
      ok = call_match_chain<IT>(param.m_ptopgroup, param, pos, tag);
    }
    if (!ok) return false;
    const IT end = param.m_prgbackrefs[0].second;
    restore_attempt_state(param, saved);
    if (this->match_next(param, end, tag)) return true;
    saved.restore(param);
    return false;
  }

  // Stack after a step forward: the start position, then false where the
  // recursion matches empty; else every record as it was, the frame
  // around and true, with this recursion's frame opened above them.
  template <bool Nul>
  bool forward(match_param<IT> &param, bool2type<Nul>) const {
    if (!param.m_ptopgroup) return false;
    match_stack &stack = *param.m_pstack;
    stack.push(param.m_icur);
    if (at_pass_start(param, param.m_icur)) {
      stack.push(false);
      param.m_pnext = this->next;
      return true;
    }
    for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) stack.push(param.m_prgbackrefs[i]);
    stack.push(param.m_frame);
    stack.push(true);
    param.m_frame = pass_frame<IT>{this->next, stack.mark()};
    param.m_pnext = param.m_ptopgroup;
    return true;
  }

  // Reached when the pass failed (its frame is still open) or when the
  // empty recursion's continuation did.
  bool back(match_param<IT> &param) const {
    match_stack &stack = *param.m_pstack;
    bool running = false;
    stack.pop(running);
    if (running) {
      stack.pop(param.m_frame);
      for (std::uint32_t i = param.m_cbackrefs; i-- > 0;) stack.pop(param.m_prgbackrefs[i]);
    }
    stack.pop(param.m_icur);
    return false;
  }
};

}  // namespace detail
}  // namespace regex

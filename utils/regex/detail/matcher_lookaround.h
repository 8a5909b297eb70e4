// Atomic groups and look-around: group bodies that run in isolation.
//
//   independent_group     (?>...)  atomic: the first way the body matches is
//                                  final; the pattern never backtracks into it
//   lookahead_assertion   (?=...) (?!...)   the body at the position
//   lookbehind_assertion  (?<=...) (?<!...) the body ending at the position
//
// Each runs its body once, takes the outcome and either goes on after
// itself or fails as a whole. The block of records the body may change
// (m_nested_groups, set by the compiler) is saved before the body runs and
// put back whenever the node fails or is backtracked into: on the call stack
// in recursive mode, on the hetero_stack in iterative mode, where a nested
// run_iterative over a group_wrapper matches the body and its guard drops
// every entry the body pushed.
//
// A positive assertion keeps the captures its body made; a negative one
// leaves every record as it was. A look-behind tries the start positions its
// body's width allows, farthest first, with the subject ending at the
// position; a negative look-behind holds only when no start lets the body end
// there. A look-behind body may recurse into the whole pattern.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <new>

#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/matcher_groups.h"

namespace regex {
namespace detail {

// A copy of a block of group records on the call stack (small blocks) or
// the heap, put back by restore.
template <class IT>
class saved_records {
 public:
  saved_records(const match_param<IT> &param, std::uint32_t first, std::uint32_t count)
      : m_first(first), m_count(count), m_p(nullptr) {
    if (count == 0) return;
    if (count <= inline_count) {
      m_p = reinterpret_cast<backref_tag<IT> *>(m_inline);
    } else {
      m_heap.reset(new backref_tag<IT>[count]);
      m_p = m_heap.get();
    }
    const backref_tag<IT> *src = param.m_prgbackrefs + first;
    if (m_heap)
      std::copy(src, src + count, m_p);
    else
      std::uninitialized_copy(src, src + count, m_p);
  }
  ~saved_records() {
    if (m_p && !m_heap) std::destroy(m_p, m_p + m_count);
  }
  saved_records(const saved_records &) = delete;
  saved_records &operator=(const saved_records &) = delete;

  void restore(match_param<IT> &param) const {
    if (m_count) std::copy(m_p, m_p + m_count, param.m_prgbackrefs + m_first);
  }
  const backref_tag<IT> &operator[](std::uint32_t i) const { return m_p[i]; }

 private:
  static constexpr std::uint32_t inline_count = 4;

  std::uint32_t m_first;
  std::uint32_t m_count;
  backref_tag<IT> *m_p;
  std::unique_ptr<backref_tag<IT>[]> m_heap;
  alignas(backref_tag<IT>) unsigned char m_inline[inline_count * sizeof(backref_tag<IT>)];
};

template <class IT>
class independent_group_base : public match_group_base<IT> {
 public:
  typedef typename match_group_base<IT>::group_range group_range;

  // An atomic group: a group number (hidden), positive.
  independent_group_base(int cgroup, arena_allocator<char> arena)
      : match_group_base<IT>(cgroup, arena), m_fpositive(true), m_nested_groups(0, 0) {}
  // A look-around: no number; positive or negative.
  independent_group_base(bool positive, arena_allocator<char> arena)
      : match_group_base<IT>(-1, arena), m_fpositive(positive), m_nested_groups(0, 0) {}

  void set_nested_groups(const group_range &block) override { m_nested_groups = block; }
  const group_range &nested_groups() const { return m_nested_groups; }

  // Saves the block's records and the position on the stack, and puts
  // them back.
  void push_block(match_param<IT> &param) const {
    for (std::uint32_t i = 0; i < m_nested_groups.second; ++i)
      param.m_pstack->push(param.m_prgbackrefs[m_nested_groups.first + i]);
    param.m_pstack->push(param.m_icur);
  }
  void pop_block(match_param<IT> &param) const {
    param.m_pstack->pop(param.m_icur);
    for (std::uint32_t i = m_nested_groups.second; i-- > 0;)
      param.m_pstack->pop(param.m_prgbackrefs[m_nested_groups.first + i]);
  }

  bool step_back(match_param<IT> &param) const override {
    pop_block(param);
    return false;
  }
  bool step_back_nul(match_param<IT> &param) const override {
    pop_block(param);
    return false;
  }

  // Removes what a holding step_forward left on the stack, without
  // trying the body again (a condition is decided once).
  virtual void abandon(match_param<IT> &param) const { pop_block(param); }

 protected:
  saved_records<IT> save_block(const match_param<IT> &param) const {
    return saved_records<IT>(param, m_nested_groups.first, m_nested_groups.second);
  }

  bool m_fpositive;
  group_range m_nested_groups;
};

// Atomic group, and the base of the look-ahead.
template <class IT>
class independent_group : public independent_group_base<IT> {
 public:
  // Records an atomic group's match and ends the body: the group decides
  // how to go on.
  class end_group : public indestructable_sub_expr<IT, end_group> {
   public:
    explicit end_group(const independent_group_base<IT> *pgroup = nullptr) : m_pgroup(pgroup) {}

    bool match_chain(match_param<IT> &param, IT pos) const override { return record(param, pos); }
    bool match_chain_nul(match_param<IT> &param, IT pos) const override { return record(param, pos); }
    bool step_forward(match_param<IT> &param) const override {
      param.m_pnext = nullptr;
      return record(param, param.m_icur);
    }
    bool step_forward_nul(match_param<IT> &param) const override {
      param.m_pnext = nullptr;
      return record(param, param.m_icur);
    }
    node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
    // An atomic group goes on after itself; a look-ahead's body ends here.
    void scan_first(first_chars &fc) const override {
      if (!fc.enter(this)) return;
      if (m_pgroup->group_number() != -1)
        m_pgroup->scan_next(fc);
      else
        fc.can_end = true;
    }

   private:
    bool record(match_param<IT> &param, IT pos) const {
      const int n = m_pgroup->group_number();
      if (n != -1) {
        backref_tag<IT> &r = param.m_prgbackrefs[n];
        r.first = r.pending_start;
        r.second = pos;
        r.matched = true;
      }
      return true;
    }

    const independent_group_base<IT> *m_pgroup;
  };

  independent_group(int cgroup, arena_allocator<char> arena)
      : independent_group_base<IT>(cgroup, arena), m_end_group(this) {}
  independent_group(bool positive, arena_allocator<char> arena)
      : independent_group_base<IT>(positive, arena), m_end_group(this) {}
  ~independent_group() override { this->delete_alternatives(); }

  bool match_chain(match_param<IT> &param, IT pos) const override { return isolated(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return isolated(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return isolated_step(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return isolated_step(param, nul_tag()); }

  sub_expr<IT> *make_quantifier(std::uint32_t min, std::uint32_t max, bool greedy,
                                arena_allocator<char> &arena) override {
    return make_group_quantifier<IT>(this, min, max, greedy, arena);
  }
  bool peek_start(start_hint &hint) const override {
    return this->m_cgroup != -1 && match_group_base<IT>::peek_start(hint);
  }
  sub_expr<IT> *get_end_group() override { return &m_end_group; }

 private:
  // The body's first match decides; an atomic group goes on where the body
  // ended, a look-ahead where it began.
  template <bool Nul>
  bool isolated(match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    const saved_records<IT> saved = this->save_block(param);
    const bool ok = this->body(param, pos, tag);
    if (ok == this->m_fpositive) {
      const IT at = ok && this->m_cgroup != -1 ? param.m_prgbackrefs[this->m_cgroup].second : pos;
      if (this->match_next(param, at, tag)) return true;
    }
    if (ok) saved.restore(param);
    return false;
  }

  template <bool Nul>
  bool isolated_step(match_param<IT> &param, bool2type<Nul>) const {
    this->push_block(param);
    const IT start = param.m_icur;
    const group_wrapper<IT> wrapper(this);
    bool ok;
    {
      recursion_scope depth;
      ok = run_iterative_form<IT, Nul>(&wrapper, param, start);
    }
    if (ok != this->m_fpositive) {
      this->pop_block(param);
      return false;
    }
    if (!ok || this->m_cgroup == -1) param.m_icur = start;
    param.m_pnext = this->next;
    return true;
  }

  end_group m_end_group;
};

template <class IT>
class lookahead_assertion : public independent_group<IT> {
 public:
  lookahead_assertion(bool positive, arena_allocator<char> arena) : independent_group<IT>(positive, arena) {}

  sub_expr<IT> *make_quantifier(std::uint32_t, std::uint32_t, bool, arena_allocator<char> &) override {
    throw bad_regexpr("look-ahead assertion cannot be quantified");
  }
  bool is_assertion_node() const override { return true; }
  // Measures and keeps the body's width; the assertion itself consumes
  // nothing.
  node_width width_range(const width_context<IT> &wp) override {
    independent_group<IT>::width_range(wp);
    return node_width{0, 0};
  }
  bool peek_start(start_hint &hint) const override { return this->next && this->next->peek_start(hint); }
  // Zero-width: the start analysis looks past it.
  bool first_here(char_bits &) const override { return true; }
  void scan_first(first_chars &fc) const override {
    if (fc.enter(this)) this->scan_next(fc);
  }
};

template <class IT>
class lookbehind_assertion : public independent_group_base<IT> {
 public:
  // Accepts exactly at the end of the body's subject, the assertion's
  // position.
  class end_group : public indestructable_sub_expr<IT, end_group> {
   public:
    bool match_chain(match_param<IT> &param, IT pos) const override { return pos == param.m_iend; }
    bool match_chain_nul(match_param<IT> &param, IT pos) const override { return pos == param.m_iend; }
    bool step_forward(match_param<IT> &param) const override {
      param.m_pnext = nullptr;
      return param.m_icur == param.m_iend;
    }
    bool step_forward_nul(match_param<IT> &param) const override {
      param.m_pnext = nullptr;
      return param.m_icur == param.m_iend;
    }
    node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
    void scan_first(first_chars &fc) const override { fc.can_end = true; }
  };

  lookbehind_assertion(bool positive, arena_allocator<char> arena) : independent_group_base<IT>(positive, arena) {}
  ~lookbehind_assertion() override { this->delete_alternatives(); }

  bool match_chain(match_param<IT> &param, IT pos) const override { return behind(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return behind(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return behind_step(param); }
  bool step_forward_nul(match_param<IT> &param) const override { return behind_step(param); }
  // A positive look-behind backtracked into tries its nearer start
  // positions, as the recursive form does.
  bool step_back(match_param<IT> &param) const override { return behind_retry(param); }
  bool step_back_nul(match_param<IT> &param) const override { return behind_retry(param); }

  bool is_assertion_node() const override { return true; }
  node_width width_range(const width_context<IT> &wp) override {
    independent_group_base<IT>::width_range(wp);
    return node_width{0, 0};
  }
  bool peek_start(start_hint &hint) const override { return this->next && this->next->peek_start(hint); }
  sub_expr<IT> *get_end_group() override { return &m_end_group; }
  bool first_here(char_bits &) const override { return true; }
  void scan_first(first_chars &fc) const override {
    if (fc.enter(this)) this->scan_next(fc);
  }

 private:
  typedef typename std::iterator_traits<IT>::difference_type distance;

  // The start positions of the body at pos: from pos - min(max, d) (the
  // farthest) to pos - min (the nearest); none when fewer than min
  // characters precede pos.
  bool candidates(const match_param<IT> &param, IT pos, IT &farthest, IT &nearest) const {
    const std::uint64_t d = std::uint64_t(pos - param.m_ibegin);
    const std::uint64_t min = this->m_width.m_min;
    if (min > d) return false;
    const std::uint64_t max = std::min<std::uint64_t>(this->m_width.m_max, d);
    farthest = pos - distance(max);
    nearest = pos - distance(min);
    return true;
  }

  // The body's own match parameters: its subject ends at pos; it shares
  // the records, the stack and the outermost group (for a recursion).
  static match_param<IT> body_param(const match_param<IT> &param, IT pos) {
    match_param<IT> body(param.m_ibegin, param.m_istart, pos, param.m_prgbackrefs, param.m_cbackrefs);
    body.m_ptopgroup = param.m_ptopgroup;
    body.m_pstack = param.m_pstack;
    body.m_psearch = param.m_psearch;
    return body;
  }

  template <bool Nul>
  bool behind(match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    IT c{}, nearest{};
    if (!candidates(param, pos, c, nearest)) return !this->m_fpositive && this->match_next(param, pos, tag);
    const saved_records<IT> saved = this->save_block(param);
    match_param<IT> bp = body_param(param, pos);
    for (;; ++c) {
      if (this->body(bp, c, bounded_tag())) {
        if (!this->m_fpositive) {
          saved.restore(param);
          return false;
        }
        if (this->match_next(param, pos, tag)) return true;
        saved.restore(param);
      }
      if (c == nearest) break;
      count_backtrack(param);
    }
    return !this->m_fpositive && this->match_next(param, pos, tag);
  }

  // Runs the body iteratively from the candidates [c, nearest] in turn;
  // the first that ends at the position gives its start in c.
  bool scan_step(match_param<IT> &param, IT &c, IT nearest) const {
    match_param<IT> bp = body_param(param, param.m_icur);
    const group_wrapper<IT> wrapper(this);
    recursion_scope depth;
    for (;; ++c) {
      if (run_iterative<IT>(&wrapper, bp, c)) return true;
      if (c == nearest) return false;
    }
  }

  // Stack after a holding positive look-behind: the block, then the start
  // that let the body end here. A negative one leaves the block alone.
  bool behind_step(match_param<IT> &param) const {
    this->push_block(param);
    IT c{}, nearest{};
    const bool found = candidates(param, param.m_icur, c, nearest) && scan_step(param, c, nearest);
    if (found != this->m_fpositive) {
      this->pop_block(param);
      return false;
    }
    if (found) param.m_pstack->push(c);
    param.m_pnext = this->next;
    return true;
  }

  void abandon(match_param<IT> &param) const override {
    if (this->m_fpositive) param.m_pstack->template pop<IT>();
    this->pop_block(param);
  }

  bool behind_retry(match_param<IT> &param) const {
    if (!this->m_fpositive) {
      this->pop_block(param);
      return false;
    }
    IT c;
    param.m_pstack->pop(c);
    this->pop_block(param);
    IT first{}, nearest{};
    candidates(param, param.m_icur, first, nearest);
    if (c == nearest) return false;
    ++c;
    this->push_block(param);
    if (!scan_step(param, c, nearest)) {
      this->pop_block(param);
      return false;
    }
    param.m_pstack->push(c);
    param.m_pnext = this->next;
    return true;
  }

  end_group m_end_group;
};

}  // namespace detail
}  // namespace regex

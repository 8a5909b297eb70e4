// Group quantifiers: a quantifier applied to a group (capturing,
// non-capturing, atomic or conditional).
//
// A group can match texts of different lengths on different iterations and
// backtrack inside itself, so its quantifier runs it as a loop: the group's
// `next` is the quantifier's embedded loop-back node, `end_quantifier`, which
// after each iteration decides whether the group runs again or the loop ends
// and the quantifier's `next` (the successor) runs.
//
//   max_group_quantifier   greedy: as many iterations as possible first
//   min_group_quantifier   lazy: the successor first, one more iteration
//                          each time it fails
//
// The loop state of a pass lives in the group's record (loop_count,
// loop_more, loop_prev_mark, loop_mark), so the nodes stay read-only and a
// loop entered again while it runs (nested loops, recursion) saves and
// restores it: on the call stack in recursive mode, as an old_quant entry on
// the hetero_stack in iterative mode.
//
// Empty iterations: the loop ends as soon as two consecutive iterations
// together consumed nothing; the first empty iteration is still counted.
//
// Ownership: the quantifier owns the group (through m_patom); the loop-back
// node is a member of the quantifier and survives the group's deletion of
// its `next` (indestructable_sub_expr).
#pragma once

#include <cstdint>

#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/matcher_atoms.h"

namespace regex {
namespace detail {

// Position marks of the loop state: a smart_iter, or a plain pointer that
// is null while unset.
template <class IT>
inline typename backref_tag<IT>::mark_type loop_mark_at(IT pos) {
  return typename backref_tag<IT>::mark_type(pos);
}

// True when the mark is set and lies before pos.
template <class IT>
inline bool mark_before(const smart_iter<IT> &mark, IT pos) {
  return mark.m_valid && mark.m_iter < pos;
}
inline bool mark_before(const wchar_t *mark, const wchar_t *pos) { return mark && mark < pos; }

template <class IT>
class group_quantifier : public match_quantifier<IT, sub_expr<IT>> {
 public:
  typedef typename backref_tag<IT>::mark_type mark_type;

  // The four loop fields of a record, saved while a nested pass runs.
  struct old_quant {
    std::uint32_t loop_count;
    bool loop_more;
    mark_type loop_prev_mark;
    mark_type loop_mark;

    old_quant() : loop_count(0), loop_more(false), loop_prev_mark(), loop_mark() {}
    explicit old_quant(const backref_tag<IT> &r)
        : loop_count(r.loop_count), loop_more(r.loop_more), loop_prev_mark(r.loop_prev_mark), loop_mark(r.loop_mark) {}
    void restore(backref_tag<IT> &r) const {
      r.loop_count = loop_count;
      r.loop_more = loop_more;
      r.loop_prev_mark = loop_prev_mark;
      r.loop_mark = loop_mark;
    }
  };

  group_quantifier(match_group_base<IT> *group, std::uint32_t min, std::uint32_t max, sub_expr<IT> *end)
      : match_quantifier<IT, sub_expr<IT>>(group, min, max), m_pgroup(group) {
    *group->next_link() = end;
  }
  ~group_quantifier() override = 0;

  const sub_expr<IT> *must_match_body() const override {
    return this->m_cmin != 0 ? this->m_patom->must_match_body() : nullptr;
  }

  // The group's chains (whose end reaches the loop-back node), and the
  // successor when the loop may run no iteration.
  void scan_first(first_chars &fc) const override {
    if (!fc.enter(this)) return;
    this->m_patom->scan_first(fc);
    if (this->m_cmin == 0) this->scan_next(fc);
  }

  // Iterative loop entry: a fresh loop state; the first decision is taken
  // by the loop-back node before the group runs at all.
  bool step_forward(match_param<IT> &param) const final { return enter(param); }
  bool step_forward_nul(match_param<IT> &param) const final { return enter(param); }
  // Iterative loop exit: the state of the enclosing pass comes back.
  bool step_back(match_param<IT> &param) const final {
    pop_loop_state(param);
    return false;
  }
  bool step_back_nul(match_param<IT> &param) const final {
    pop_loop_state(param);
    return false;
  }

  backref_tag<IT> &record(match_param<IT> &param) const { return param.m_prgbackrefs[m_pgroup->group_number()]; }
  const backref_tag<IT> &record(const match_param<IT> &param) const {
    return param.m_prgbackrefs[m_pgroup->group_number()];
  }
  const match_group_base<IT> *group() const { return m_pgroup; }
  std::uint32_t min_count() const { return this->m_cmin; }
  std::uint32_t max_count() const { return this->m_cmax; }

  // Makes the loop-back node memo point `point` of the search's failure
  // memo; `enclosing` lists the loops around this one (in the arena).
  void set_memo_point(int point, const group_quantifier *const *enclosing, unsigned count) {
    m_memo_point = point;
    m_penclosing = enclosing;
    m_cenclosing = count;
  }

 protected:
  // The memo, while it is in force, for a memo point; null otherwise.
  loop_memo<IT> *active_memo(const match_param<IT> &param) const {
    if (m_memo_point < 0 || !param.m_psearch) return nullptr;
    loop_memo<IT> &memo = param.m_psearch->m_memo;
    return memo.visit() ? &memo : nullptr;
  }

  // Whether the loop-back visit at pos may be answered from the memo: the
  // rest of the match from here then depends on pos alone. That holds when
  // the iteration that ends here consumed something (so neither the
  // empty-iteration guard nor the marks it reads can act on this visit),
  // the count has reached the minimum (no upper bound: the count no longer
  // matters), and the same holds for every loop around this one, whose
  // current iteration has consumed something before pos.
  bool memo_eligible(const match_param<IT> &param, IT pos) const {
    const backref_tag<IT> &r = record(param);
    if (!mark_before(r.loop_mark, pos) || r.loop_count < this->m_cmin) return false;
    for (unsigned i = 0; i < m_cenclosing; ++i) {
      const group_quantifier *e = m_penclosing[i];
      const backref_tag<IT> &er = e->record(param);
      if (er.loop_count < e->m_cmin || !mark_before(er.loop_mark, pos)) return false;
    }
    return true;
  }
  // The memo to consult and fill for this visit at pos, or null.
  loop_memo<IT> *memo_for(const match_param<IT> &param, IT pos) const {
    loop_memo<IT> *memo = active_memo(param);
    return memo && memo_eligible(param, pos) ? memo : nullptr;
  }
  // The visit at m_icur is known to fail.
  bool memo_says_fail(const match_param<IT> &param) const {
    const loop_memo<IT> *memo = memo_for(param, param.m_icur);
    return memo && memo->known_failure(unsigned(m_memo_point), param.m_icur);
  }
  // The visit at m_icur, now given up with its state restored, has failed.
  void note_failed_visit(const match_param<IT> &param) const {
    if (loop_memo<IT> *memo = memo_for(param, param.m_icur))
      memo->note_failure(unsigned(m_memo_point), param.m_icur, param.m_fno_empty_match);
  }

  void push_loop_state(match_param<IT> &param) const {
    backref_tag<IT> &r = record(param);
    param.m_pstack->push(old_quant(r));
    r.loop_count = 0;
    r.loop_more = true;
    r.loop_prev_mark = mark_type();
    r.loop_mark = mark_type();
  }
  void pop_loop_state(match_param<IT> &param) const {
    old_quant saved;
    param.m_pstack->pop(saved);
    saved.restore(record(param));
  }

  // Recursive loop entry: fresh state around repeat, the old state back
  // when the loop fails.
  template <class Repeat, class Tag>
  bool run_loop(match_param<IT> &param, IT pos, Tag tag, Repeat repeat) const {
    backref_tag<IT> &r = record(param);
    const old_quant saved(r);
    r.loop_prev_mark = mark_type();
    r.loop_mark = loop_mark_at(pos);
    r.loop_count = 0;
    if (repeat(param, pos, tag)) return true;
    saved.restore(record(param));
    return false;
  }

  // One more iteration of the group at pos (recursive mode).
  template <class Tag>
  bool run_group(match_param<IT> &param, IT pos, Tag tag) const {
    recursion_scope depth;
    if (call_match_chain<IT>(this->m_patom, param, pos, tag)) return true;
    count_backtrack(param);
    return false;
  }

  // The loop-back step shared by both kinds in recursive mode: ends the
  // loop after a second consecutive empty iteration, else shifts the marks
  // and asks repeat.
  template <class Repeat, class Tag>
  bool loop_back(match_param<IT> &param, IT pos, Tag tag, Repeat repeat) const {
    backref_tag<IT> &r = record(param);
    const mark_type prev = r.loop_prev_mark;
    const mark_type here = loop_mark_at(pos);
    if (prev == here) return this->match_next(param, pos, tag);
    loop_memo<IT> *memo = memo_for(param, pos);
    if (memo && memo->known_failure(unsigned(m_memo_point), pos)) return false;
    r.loop_prev_mark = r.loop_mark;
    r.loop_mark = here;
    if (repeat(param, pos, tag)) return true;
    backref_tag<IT> &r2 = record(param);
    r2.loop_mark = r2.loop_prev_mark;
    r2.loop_prev_mark = prev;
    if (memo) memo->note_failure(unsigned(m_memo_point), pos, param.m_fno_empty_match);
    return false;
  }

  // Iterative mark shift of one loop-back visit, and its undo.
  void push_marks(match_param<IT> &param) const {
    backref_tag<IT> &r = record(param);
    param.m_pstack->push(r.loop_prev_mark);
    r.loop_prev_mark = r.loop_mark;
    r.loop_mark = loop_mark_at(param.m_icur);
  }
  void pop_marks(match_param<IT> &param) const {
    backref_tag<IT> &r = record(param);
    r.loop_mark = r.loop_prev_mark;
    param.m_pstack->pop(r.loop_prev_mark);
  }
  // True when the visit being undone took the empty-iteration exit: the
  // mark it saved is the position it saw.
  bool undoing_guard_exit(match_param<IT> &param) const {
    return param.m_pstack->template top<mark_type>() == loop_mark_at(param.m_icur);
  }
  bool at_second_empty_iteration(match_param<IT> &param) const {
    return loop_mark_at(param.m_icur) == record(param).loop_prev_mark;
  }

  match_group_base<IT> *m_pgroup;
  int m_memo_point = -1;
  const group_quantifier *const *m_penclosing = nullptr;
  unsigned m_cenclosing = 0;

 private:
  bool enter(match_param<IT> &param) const {
    push_loop_state(param);
    param.m_pnext = m_pgroup->get_next();
    return true;
  }
};

template <class IT>
group_quantifier<IT>::~group_quantifier() {}

// The node after a quantified group's body: it loops back into its
// quantifier `Q` (greedy or lazy), which makes every decision.
template <class IT, class Q>
class group_loop_end : public indestructable_sub_expr<IT, group_loop_end<IT, Q>> {
 public:
  explicit group_loop_end(const Q *pquant = nullptr) : m_pquant(pquant) {}

  bool match_chain(match_param<IT> &param, IT pos) const override { return chain(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return chain(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return m_pquant->decide(param); }
  bool step_forward_nul(match_param<IT> &param) const override { return m_pquant->decide(param); }
  bool step_back(match_param<IT> &param) const override { return m_pquant->undo(param); }
  bool step_back_nul(match_param<IT> &param) const override { return m_pquant->undo(param); }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
  // Another iteration, or the loop's successor.
  void scan_first(first_chars &fc) const override {
    if (!fc.enter(this)) return;
    m_pquant->scan_first(fc);
    m_pquant->scan_next(fc);
  }

 private:
  template <class Tag>
  bool chain(match_param<IT> &param, IT pos, Tag tag) const {
    const Q *q = m_pquant;
    return q->loop_back(param, pos, tag, [q](match_param<IT> &p, IT at, Tag t) { return q->repeat(p, at, t); });
  }

  const Q *m_pquant;
};

// Greedy group loop.
template <class IT>
class max_group_quantifier : public group_quantifier<IT> {
  typedef group_quantifier<IT> base;

 public:
  // The node after the body that loops back here.
  using end_quantifier = group_loop_end<IT, max_group_quantifier>;
  friend end_quantifier;

  max_group_quantifier(match_group_base<IT> *group, std::uint32_t min, std::uint32_t max)
      : base(group, min, max, &m_end_quant), m_end_quant(this) {}

  // The group goes first: its deletion rebuilds the loop-back node, which
  // must still be alive then.
  ~max_group_quantifier() override {
    delete this->m_patom;
    this->m_patom = nullptr;
  }

  bool match_chain(match_param<IT> &param, IT pos) const override { return entry(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return entry(param, pos, nul_tag()); }

  // The recursive loop decision at the current count.
  template <class Tag>
  bool repeat(match_param<IT> &param, IT pos, Tag tag) const {
    backref_tag<IT> &r = this->record(param);
    if (r.loop_count == this->m_cmax) return this->match_next(param, pos, tag);
    ++r.loop_count;
    if (this->run_group(param, pos, tag)) return true;
    backref_tag<IT> &r2 = this->record(param);
    --r2.loop_count;
    if (r2.loop_count < this->m_cmin) return false;
    return this->match_next(param, pos, tag);
  }

 private:
  template <class Tag>
  bool entry(match_param<IT> &param, IT pos, Tag tag) const {
    return this->run_loop(param, pos, tag, [this](match_param<IT> &p, IT at, Tag t) { return repeat(p, at, t); });
  }

  bool decide(match_param<IT> &param) const {
    if (this->at_second_empty_iteration(param)) {
      this->push_marks(param);
      param.m_pnext = this->next;
      return true;
    }
    if (this->memo_says_fail(param)) return false;
    this->push_marks(param);
    backref_tag<IT> &r = this->record(param);
    if (r.loop_count == this->m_cmax) {
      param.m_pnext = this->next;
      r.loop_more = false;
      return true;
    }
    r.loop_more = true;
    param.m_pnext = this->m_patom;
    ++r.loop_count;
    return true;
  }

  bool undo(match_param<IT> &param) const {
    if (this->undoing_guard_exit(param)) {
      this->pop_marks(param);
      return false;
    }
    backref_tag<IT> &r = this->record(param);
    if (r.loop_more) {
      // The group ran from here and has failed: the loop may end here.
      --r.loop_count;
      param.m_pnext = this->next;
      if (r.loop_count >= this->m_cmin) {
        r.loop_more = false;
        return true;
      }
      this->pop_marks(param);
      this->note_failed_visit(param);
      return false;
    }
    r.loop_more = true;
    this->pop_marks(param);
    this->note_failed_visit(param);
    return false;
  }

  end_quantifier m_end_quant;
};

// Lazy group loop.
template <class IT>
class min_group_quantifier : public group_quantifier<IT> {
  typedef group_quantifier<IT> base;

 public:
  // The node after the body that loops back here.
  using end_quantifier = group_loop_end<IT, min_group_quantifier>;
  friend end_quantifier;

  min_group_quantifier(match_group_base<IT> *group, std::uint32_t min, std::uint32_t max)
      : base(group, min, max, &m_end_quant), m_end_quant(this) {}

  ~min_group_quantifier() override {
    delete this->m_patom;
    this->m_patom = nullptr;
  }

  bool match_chain(match_param<IT> &param, IT pos) const override { return entry(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return entry(param, pos, nul_tag()); }

  template <class Tag>
  bool repeat(match_param<IT> &param, IT pos, Tag tag) const {
    if (this->record(param).loop_count >= this->m_cmin && this->match_next(param, pos, tag)) return true;
    backref_tag<IT> &r = this->record(param);
    if (r.loop_count < this->m_cmax) {
      ++r.loop_count;
      if (this->run_group(param, pos, tag)) return true;
      --this->record(param).loop_count;
    }
    return false;
  }

 private:
  template <class Tag>
  bool entry(match_param<IT> &param, IT pos, Tag tag) const {
    return this->run_loop(param, pos, tag, [this](match_param<IT> &p, IT at, Tag t) { return repeat(p, at, t); });
  }

  bool decide(match_param<IT> &param) const {
    if (this->at_second_empty_iteration(param)) {
      this->push_marks(param);
      param.m_pnext = this->next;
      return true;
    }
    if (this->memo_says_fail(param)) return false;
    this->push_marks(param);
    backref_tag<IT> &r = this->record(param);
    if (r.loop_count < this->m_cmin) {
      ++r.loop_count;
      param.m_pnext = this->m_patom;
      return true;
    }
    r.loop_more = false;
    param.m_pnext = this->next;
    return true;
  }

  bool undo(match_param<IT> &param) const {
    if (this->undoing_guard_exit(param)) {
      this->pop_marks(param);
      return false;
    }
    backref_tag<IT> &r = this->record(param);
    if (r.loop_more) {
      --r.loop_count;
      this->pop_marks(param);
      this->note_failed_visit(param);
      return false;
    }
    // The loop had ended here and the successor failed: one more iteration.
    r.loop_more = true;
    if (r.loop_count < this->m_cmax) {
      ++r.loop_count;
      param.m_pnext = this->m_patom;
      return true;
    }
    this->pop_marks(param);
    this->note_failed_visit(param);
    return false;
  }

  end_quantifier m_end_quant;
};

template <class IT>
sub_expr<IT> *make_group_quantifier(match_group_base<IT> *group, std::uint32_t min, std::uint32_t max, bool greedy,
                                    arena_allocator<char> &arena) {
  if (greedy) return new (arena) max_group_quantifier<IT>(group, min, max);
  return new (arena) min_group_quantifier<IT>(group, min, max);
}

}  // namespace detail
}  // namespace regex

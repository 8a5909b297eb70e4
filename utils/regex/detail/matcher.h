// The matcher node protocol.
//
// A compiled pattern is a graph of nodes allocated from its arena: group 0
// around everything, then an end_of_pattern node. Nodes run in one of two
// modes, with the same results:
//   - recursive: match_chain (param, pos) matches this node and, through
//     match_next, everything after it; true leaves the group records of the
//     successful path, false leaves them as they were.
//   - iterative: run_iterative drives step_forward / step_back and keeps what
//     backtracking needs on the match's hetero_stack.
// Every operation has a bounded form (the subject ends at m_iend) and a
// NUL-terminated form (suffix _nul; the subject ends at its first L'\0'). A
// form only ever calls the same form of other nodes. Node templates take the
// position type IT: std::wstring::const_iterator or const wchar_t *.
//
// Ownership: a node owns its `next`, a group its alternatives, a wrapper the
// node it wraps. Memory comes from the arena (operator new with the arena
// handle) and is never freed node by node: deleting a node only runs
// destructors. Nodes are read-only while matching, so one graph may serve
// several matches at once, each with its own match_param, records and stack.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "platform/system/stack_limit.h"
#include "platform/text/debug.h"
#include "utils/regex/detail/arena.h"
#include "utils/regex/detail/basics.h"
#include "utils/regex/detail/hetero_stack.h"
#include "utils/regex/detail/literal_searcher.h"
#include "utils/regex/detail/slist.h"
#include "utils/regex/detail/start_set.h"

namespace regex {
namespace detail {

// Compile-time choice of the bounded (false) or NUL-terminated (true) form.
template <bool B>
struct bool2type {
  static constexpr bool value = B;
};
typedef bool2type<false> bounded_tag;
typedef bool2type<true> nul_tag;

// Pairs the bounded and the NUL-terminated form of one position predicate.
template <class Bounded, class Nul>
struct opwrap {
  typedef Bounded bounded_type;
  typedef Nul nul_type;
};

template <class IT>
class sub_expr;
template <class IT>
class match_group_base;

typedef std::vector<unsigned> hidden_group_list;

// What every width_range receives: the group table indexed by group number
// and the pattern's hidden group numbers.
template <class IT>
struct width_context {
  std::vector<match_group_base<IT> *> *m_pgroups;
  const hidden_group_list *m_phidden;
};

// What peek_start fills: the characters a match can begin with (up to two
// inline, else a pointer into the arena) and the leading literal.
struct start_hint {
  std::uint32_t m_count;
  wchar_t m_rgch[2];
  const wchar_t *m_pch;
  literal_hint m_lit;

  const wchar_t *chars() const { return m_count < 3 ? m_rgch : m_pch; }
};

// End-of-subject tests made before a node reads a character.
template <class IT>
inline bool at_subject_end(const match_param<IT> &param, IT pos) {
  return pos == param.m_iend;
}
template <class IT>
inline bool at_subject_end_nul(const match_param<IT> &, IT pos) {
  return *pos == L'\0';
}
template <class IT>
inline bool at_subject_end(const match_param<IT> &param, IT pos, bounded_tag) {
  return pos == param.m_iend;
}
template <class IT>
inline bool at_subject_end(const match_param<IT> &, IT pos, nul_tag) {
  return *pos == L'\0';
}

// ---------------------------------------------------------------------------
// Recursion budget of the recursive mode. Every nested match_chain call made
// through match_next or a group body counts one level; when the depth or the
// room left on the thread's stack runs out, recursion_budget_spent is thrown,
// and the match driver runs the same search again iteratively.

struct recursion_budget_spent {};

inline constexpr unsigned recursion_depth_limit = 200000;
inline constexpr std::size_t recursion_stack_margin = 128 * 1024;

inline thread_local unsigned t_recursion_depth = 0;

// Throws recursion_budget_spent once the depth or the stack has run out.
void check_recursion_budget(unsigned depth);

class recursion_scope {
 public:
  recursion_scope() {
    // The stack is measured every 16 levels: 16 frames stay far below the margin.
    const unsigned depth = ++t_recursion_depth;
    if ((depth & 15u) == 0) check_recursion_budget(depth);
  }
  ~recursion_scope() { --t_recursion_depth; }
  recursion_scope(const recursion_scope &) = delete;
  recursion_scope &operator=(const recursion_scope &) = delete;
};

// ---------------------------------------------------------------------------

// Abstract root: the six matching operations every node has.
template <class IT>
class sub_expr_base {
 public:
  virtual bool match_chain(match_param<IT> &param, IT pos) const = 0;
  virtual bool match_chain_nul(match_param<IT> &param, IT pos) const = 0;
  virtual bool step_forward(match_param<IT> &param) const = 0;
  virtual bool step_forward_nul(match_param<IT> &param) const = 0;
  virtual bool step_back(match_param<IT> &param) const = 0;
  virtual bool step_back_nul(match_param<IT> &param) const = 0;
  virtual ~sub_expr_base() {}
};

// Form-selecting calls: the same operation in the form the tag names.
template <class IT>
inline bool call_match_chain(const sub_expr_base<IT> *node, match_param<IT> &param, IT pos, bounded_tag) {
  return node->match_chain(param, pos);
}
template <class IT>
inline bool call_match_chain(const sub_expr_base<IT> *node, match_param<IT> &param, IT pos, nul_tag) {
  return node->match_chain_nul(param, pos);
}
template <class IT>
inline bool call_step_forward(const sub_expr_base<IT> *node, match_param<IT> &param, bounded_tag) {
  return node->step_forward(param);
}
template <class IT>
inline bool call_step_forward(const sub_expr_base<IT> *node, match_param<IT> &param, nul_tag) {
  return node->step_forward_nul(param);
}
template <class IT>
inline bool call_step_back(const sub_expr_base<IT> *node, match_param<IT> &param, bounded_tag) {
  return node->step_back(param);
}
template <class IT>
inline bool call_step_back(const sub_expr_base<IT> *node, match_param<IT> &param, nul_tag) {
  return node->step_back_nul(param);
}

// Base of every node.
template <class IT>
class sub_expr : public sub_expr_base<IT> {
 public:
  sub_expr() : next(nullptr) {}
  sub_expr(const sub_expr &) = delete;
  sub_expr &operator=(const sub_expr &) = delete;

  // Default: match_here on a copy of pos, then the rest of the chain.
  bool match_chain(match_param<IT> &param, IT pos) const override {
    return match_here(param, pos) && match_next(param, pos);
  }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override {
    return match_here_nul(param, pos) && match_next_nul(param, pos);
  }
  bool step_forward(match_param<IT> &param) const override {
    param.m_pnext = next;
    return true;
  }
  bool step_forward_nul(match_param<IT> &param) const override {
    param.m_pnext = next;
    return true;
  }
  bool step_back(match_param<IT> &) const override { return false; }
  bool step_back_nul(match_param<IT> &) const override { return false; }

  // Destroys the rest of the chain. The chain is taken apart one node at a
  // time so that a long sequence does not nest one destructor per node.
  ~sub_expr() override {
    sub_expr *p = next;
    next = nullptr;
    while (p) {
      sub_expr *n = p->next;
      p->next = nullptr;
      delete p;
      p = n;
    }
  }

  virtual sub_expr *make_quantifier(std::uint32_t /*min*/, std::uint32_t /*max*/, bool /*greedy*/,
                                    arena_allocator<char> & /*arena*/) {
    throw bad_regexpr("sub-expression cannot be quantified");
  }
  virtual bool match_here(match_param<IT> &, IT &) const { return true; }
  virtual bool match_here_nul(match_param<IT> &, IT &) const { return true; }
  virtual bool is_assertion_node() const { return false; }
  virtual node_width width_range(const width_context<IT> &wp) = 0;
  virtual bool peek_start(start_hint &) const { return false; }

  // Start analysis (start_set.h): adds the characters a match of this node
  // alone can begin with; true when it can match without consuming. The
  // default knows nothing.
  virtual bool first_here(char_bits &fc) const {
    fc.add_all();
    return true;
  }
  // Adds what a match from this node to the end of the pattern can begin
  // with.
  virtual void scan_first(first_chars &fc) const {
    if (fc.enter(this) && first_here(fc)) scan_next(fc);
  }
  void scan_next(first_chars &fc) const {
    if (next)
      next->scan_first(fc);
    else
      fc.can_end = true;
  }
  // Appends, one set per subject character, what a match of this node
  // alone reads when its width is fixed; false (leaving `out` as it was
  // or partly filled) when it is not, or when the prefix is full.
  // Zero-width assertions add nothing and hold.
  virtual bool fixed_sets(fixed_prefix &) const { return false; }
  // For an atom one character wide: adds its set and returns true.
  virtual bool single_char_set(char_bits &) const { return false; }
  // Called once the whole graph stands: a node may settle what it can
  // learn from the nodes after it.
  virtual void settle() {}
  // For a leading run whose failed start fails every start inside it
  // (inner_starts_fail): where the run from pos ends. The search skips the
  // starts inside a run that failed.
  virtual IT run_end(match_param<IT> &, IT pos) const { return pos; }
  virtual bool inner_starts_fail() const { return false; }
  // The text this node matches as a literal (absent: none).
  virtual required_literal literal() const { return {}; }
  // What every match of this node matches first: the body of a group with
  // one alternative, also as the first iteration of a loop; null for the
  // rest.
  virtual const sub_expr *must_match_body() const { return nullptr; }
  // A back-reference: its outcome depends on the captures.
  virtual bool reads_captures() const { return false; }
  virtual bool is_word_boundary() const { return false; }
  // The atom that every match of this node contains at least once (an
  // atom quantifier with a minimum of one or more); null for the rest.
  virtual const sub_expr *required_atom() const { return nullptr; }

  // Continues with the following node (never called where next is null).
  // The budget counts the retries at the choice points (alternatives,
  // repetitions, look-behind starts), so a failure here is not counted:
  // between two retries lies at most one pass along the pattern.
  bool match_next(match_param<IT> &param, IT pos) const {
    recursion_scope depth;
    return next->match_chain(param, pos);
  }
  bool match_next_nul(match_param<IT> &param, IT pos) const {
    recursion_scope depth;
    return next->match_chain_nul(param, pos);
  }
  bool match_next(match_param<IT> &param, IT pos, bounded_tag) const { return match_next(param, pos); }
  bool match_next(match_param<IT> &param, IT pos, nul_tag) const { return match_next_nul(param, pos); }

  sub_expr **next_link() { return &next; }
  sub_expr *get_next() const { return next; }

  // Width of this node and everything after it up to the end of its
  // alternative or body.
  node_width chain_width(const width_context<IT> &wp) {
    node_width w = width_range(wp);
    for (sub_expr *p = next; p; p = p->next) w = w + p->width_range(wp);
    return w;
  }

  [[gnu::always_inline]] static void *operator new(std::size_t size, arena_allocator<char> &arena) {
    return arena.allocate_bytes(size, alignof(std::max_align_t));
  }
  static void operator delete(void *, arena_allocator<char> &) noexcept {}
  static void operator delete(void *) noexcept {}

 protected:
  sub_expr *next;
};

// Base of the end nodes embedded in groups and quantifiers. Deleting one frees
// nothing and rebuilds it in place (with null links), so it stays valid until
// it is destroyed as a member of its embedding node.
template <class IT, class T>
class indestructable_sub_expr : public sub_expr<IT> {
 public:
  static void operator delete(void *p) noexcept { ::new (p) T(); }
  static void operator delete(void *, arena_allocator<char> &) noexcept {}
};

// ---------------------------------------------------------------------------
// Recursion passes of the iterative mode. A (?R) runs the whole pattern again
// in the same driver loop, without a native call: it pushes the start
// position, every record as it was, the frame around and a true flag, then
// opens its frame (param.m_frame) and goes on with the outermost group. When
// the pass reaches the end of the pattern, finish_recursion_pass cuts the
// stack back to the frame (the pass is final: its choices are dropped),
// puts back the state of the attempts around the pass (pending starts and
// loop states) and goes on after the recursion; the end node stays on the
// stack with the saved records below it, and undo_recursion_pass puts the
// records back when the match backtracks past it. The depth of recursion is
// so bounded by memory alone.

template <class IT>
bool finish_recursion_pass(match_param<IT> &param) {
  match_stack &stack = *param.m_pstack;
  const pass_frame<IT> frame = param.m_frame;
  stack.unwind(frame.base);
  stack.template pop<bool>();
  stack.pop(param.m_frame);
  std::vector<backref_tag<IT>> local;
  std::vector<backref_tag<IT>> &saved = param.m_psearch ? param.m_psearch->m_scratch : local;
  saved.resize(param.m_cbackrefs);
  for (std::uint32_t i = param.m_cbackrefs; i-- > 0;) stack.pop(saved[i]);
  for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) param.m_prgbackrefs[i].take_attempt_state(saved[i]);
  for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) stack.push(saved[i]);
  stack.push(true);
  param.m_pnext = frame.after;
  return true;
}

// Undoes a finished pass: every record as before it, the position where the
// recursion stood.
template <class IT>
void undo_recursion_pass(match_param<IT> &param) {
  match_stack &stack = *param.m_pstack;
  stack.template pop<bool>();
  for (std::uint32_t i = param.m_cbackrefs; i-- > 0;) stack.pop(param.m_prgbackrefs[i]);
  stack.pop(param.m_icur);
}

// The terminal node: reaching it means the pattern has matched, or, inside
// a recursion pass of the iterative mode, that the pass has. While
// m_fno_empty_match is set it refuses a match that ends where it began.
template <class IT>
class end_of_pattern : public sub_expr<IT> {
 public:
  bool match_chain(match_param<IT> &param, IT pos) const override { return accept(param, pos); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return accept(param, pos); }
  bool step_forward(match_param<IT> &param) const override { return end_step(param); }
  bool step_forward_nul(match_param<IT> &param) const override { return end_step(param); }
  // Reached only by backtracking past a finished recursion pass: the end
  // of the whole match is never backtracked into.
  bool step_back(match_param<IT> &param) const override {
    undo_recursion_pass(param);
    return false;
  }
  bool step_back_nul(match_param<IT> &param) const override {
    undo_recursion_pass(param);
    return false;
  }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
  void scan_first(first_chars &fc) const override { fc.can_end = true; }

 private:
  static bool accept(const match_param<IT> &param, IT pos) {
    return !(param.m_fno_empty_match && pos == param.m_istart);
  }
  static bool end_step(match_param<IT> &param) {
    if (!accept(param, param.m_icur)) return false;
    if (param.m_frame.after) return finish_recursion_pass(param);
    param.m_pnext = nullptr;
    return true;
  }
};

// Owning holder of a node under construction; destroys it on an exception.
template <class IT>
class node_holder {
 public:
  explicit node_holder(sub_expr<IT> *p = nullptr) : m_p(p) {}
  ~node_holder() { delete m_p; }
  node_holder(const node_holder &) = delete;
  node_holder &operator=(const node_holder &) = delete;

  sub_expr<IT> *get() const { return m_p; }
  sub_expr<IT> *operator->() const { return m_p; }
  sub_expr<IT> *release() {
    sub_expr<IT> *p = m_p;
    m_p = nullptr;
    return p;
  }
  void reset(sub_expr<IT> *p = nullptr) {
    if (m_p != p) delete m_p;
    m_p = p;
  }
  void reset(node_holder &that) { reset(that.release()); }

 private:
  sub_expr<IT> *m_p;
};

// ---------------------------------------------------------------------------
// The iterative driver loop.

template <class IT, bool Nul>
bool run_iterative_form(const sub_expr_base<IT> *start, match_param<IT> &param, IT pos) {
  typedef bool2type<Nul> tag;
  match_stack &stack = *param.m_pstack;
  stack_guard guard(stack);
  const match_stack::stack_type base = stack.mark();
  param.m_icur = pos;
  if (!call_step_forward(start, param, tag())) return false;
  const sub_expr_base<IT> *node = start;
  while (param.m_pnext) {
    stack.push(node);
    node = param.m_pnext;
    if (call_step_forward(node, param, tag())) continue;
    for (;;) {
      if (stack.mark() == base) return false;
      stack.pop(node);
      count_backtrack(param);
      if (call_step_back(node, param, tag())) break;
    }
  }
  return true;
}

template <class IT>
bool run_iterative(const sub_expr_base<IT> *start, match_param<IT> &param, IT pos) {
  return run_iterative_form<IT, false>(start, param, pos);
}
template <class IT>
bool run_iterative_nul(const sub_expr_base<IT> *start, match_param<IT> &param, IT pos) {
  return run_iterative_form<IT, true>(start, param, pos);
}

// ---------------------------------------------------------------------------
// Groups.

template <class IT>
class match_group_base : public sub_expr<IT> {
 public:
  typedef slist<sub_expr<IT> *> alt_list_type;
  typedef typename alt_list_type::iterator alt_iterator;
  typedef std::pair<unsigned, unsigned> group_range;  // {first number, count}

  // An alternative as the matcher tries it: its chain and, when known, the
  // characters a match of it can begin with, [m_pfirst, m_plast) (null:
  // any), so a start that none of them fits skips it untried.
  struct alternative {
    const sub_expr<IT> *m_pnode;
    const wchar_t *m_pfirst;
    const wchar_t *m_plast;
  };

  match_group_base(int cgroup, arena_allocator<char> arena)
      : m_alternates(arena),
        m_cgroup(cgroup),
        m_width(uninit_width()),
        m_pptail(nullptr),
        m_pstart_chars(nullptr),
        m_pstart_chars_end(nullptr) {}

  int group_number() const { return m_cgroup; }
  unsigned alternative_count() const { return unsigned(m_alternates.size()); }

  // Building, in this order: begin_group, then append_node for each node of
  // an alternative, end_alternative + add_alternative at each "|", and
  // close_group at the end.
  void begin_group() { add_alternative(); }
  sub_expr<IT> **append_node(sub_expr<IT> *node) {
    *m_pptail = node;
    m_pptail = node->next_link();
    return m_pptail;
  }
  sub_expr<IT> *end_alternative() {
    sub_expr<IT> *end = get_end_group();
    *m_pptail = end;
    return end;
  }
  sub_expr<IT> **add_alternative() {
    m_alternates.push_front(nullptr);
    m_pptail = &m_alternates.front();
    return m_pptail;
  }
  literal_hint close_group(arena_allocator<char> arena);

  virtual void set_nested_groups(const group_range &) {}
  virtual sub_expr<IT> *get_end_group() = 0;

  // Width of group 0 and, once, of everything below it.
  node_width top_width_range(std::vector<match_group_base<IT> *> &groups, const hidden_group_list &hidden) {
    ASSERT(0 == m_cgroup);
    if (m_width == uninit_width()) {
      width_context<IT> wp{&groups, &hidden};
      width_range(wp);
    }
    return m_width;
  }

  bool match_chain(match_param<IT> &param, IT pos) const override { return body(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override { return body(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return entry_step(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return entry_step(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const override { return retry_step(param, bounded_tag()); }
  bool step_back_nul(match_param<IT> &param) const override { return retry_step(param, nul_tag()); }

  node_width width_range(const width_context<IT> &wp) override {
    node_width w{width_unbounded, 0};
    std::vector<match_group_base<IT> *> &table = *wp.m_pgroups;
    const bool in_table = unsigned(m_cgroup) < table.size();
    // Every alternative is measured, also once the width can grow no
    // more: measuring is what translates and checks the back-reference
    // and condition numbers and sizes the look-behind bodies inside.
    for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it) {
      if (in_table) table[m_cgroup] = nullptr;
      node_width a = (*it)->chain_width(wp);
      if (in_table) table[m_cgroup] = this;
      w.m_min = std::min(w.m_min, a.m_min);
      w.m_max = std::max(w.m_max, a.m_max);
    }
    m_width = w;
    return w;
  }

  const sub_expr<IT> *must_match_body() const override {
    return m_cgroup != -1 && alternative_count() == 1 ? *m_alternates.begin() : nullptr;
  }

  // Every alternative's chain; an alternative's end continues after the
  // group.
  void scan_first(first_chars &fc) const override {
    if (fc.enter(this)) scan_alternatives(fc);
  }
  void scan_alternatives(first_chars &fc) const {
    for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it) (*it)->scan_first(fc);
  }

  bool peek_start(start_hint &hint) const override {
    if (!m_pstart_chars) return false;
    hint.m_count = std::uint32_t(m_pstart_chars_end - m_pstart_chars);
    if (hint.m_count < 3)
      std::copy(m_pstart_chars, m_pstart_chars_end, hint.m_rgch);
    else
      hint.m_pch = m_pstart_chars;
    hint.m_lit = m_lit;
    return true;
  }

  // The steps of the iterative mode, callable without virtual dispatch. A
  // group of several alternatives keeps the one it is trying on the stack.
  template <bool Nul>
  bool entry_step(match_param<IT> &param, bool2type<Nul> tag) const {
    if (!start_filter(param, param.m_icur, tag)) return false;
    const alternative *a = m_palts;
    if (several()) {
      a = admitted(param, param.m_icur, a, tag);
      if (a == m_palts_end) return false;
    }
    if (m_cgroup != -1) {
      backref_tag<IT> &r = param.m_prgbackrefs[m_cgroup];
      param.m_pstack->push(r.pending_start);
      r.pending_start = param.m_icur;
    }
    if (several()) param.m_pstack->push(a);
    param.m_pnext = a->m_pnode;
    return true;
  }
  template <bool Nul>
  bool retry_step(match_param<IT> &param, bool2type<Nul> tag) const {
    if (several()) {
      const alternative *&a = param.m_pstack->template top<const alternative *>();
      a = admitted(param, param.m_icur, a + 1, tag);
      if (a != m_palts_end) {
        param.m_pnext = a->m_pnode;
        return true;
      }
      param.m_pstack->template pop<const alternative *>();
    }
    if (m_cgroup != -1) param.m_pstack->pop(param.m_prgbackrefs[m_cgroup].pending_start);
    return false;
  }

  const alt_list_type &alternates() const { return m_alternates; }

 protected:
  // Deletes every alternative; called by the class that embeds the end
  // node, while that node is still alive.
  void delete_alternatives() {
    for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it) delete *it;
    m_alternates.clear();
  }

  // Tries the alternatives in order at pos (the group body of the
  // recursive mode).
  template <bool Nul>
  bool body(match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    if (!start_filter(param, pos, tag)) return false;
    if (m_cgroup == -1) return alternatives(param, pos, tag);
    backref_tag<IT> &r = param.m_prgbackrefs[m_cgroup];
    const IT saved = r.pending_start;
    r.pending_start = pos;
    if (alternatives(param, pos, tag)) return true;
    r.pending_start = saved;
    return false;
  }
  // Each alternative tried after the first is a retry counted against the
  // budget. Always inlined into body: it is on the path of every match, and
  // left to the compiler the choice changed with unrelated code in the
  // translation unit.
  template <bool Nul>
  [[gnu::always_inline]] bool alternatives(match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    if (!several()) {
      recursion_scope depth;
      return call_match_chain<IT>(m_palts->m_pnode, param, pos, tag);
    }
    for (const alternative *a = admitted(param, pos, m_palts, tag); a != m_palts_end;
         a = admitted(param, pos, a + 1, tag)) {
      if (a != m_palts) count_backtrack(param);
      recursion_scope depth;
      if (call_match_chain<IT>(a->m_pnode, param, pos, tag)) return true;
    }
    return false;
  }

  bool several() const { return m_palts_end - m_palts > 1; }
  // The first alternative from `a` on that may match at pos.
  template <bool Nul>
  const alternative *admitted(const match_param<IT> &param, IT pos, const alternative *a, bool2type<Nul> tag) const {
    const bool end = at_subject_end(param, pos, tag);
    for (; a != m_palts_end; ++a) {
      if (!a->m_pfirst) break;
      if (end) continue;
      const wchar_t ch = *pos;
      if (std::find(a->m_pfirst, a->m_plast, ch) != a->m_plast) break;
    }
    return a;
  }

  template <bool Nul>
  bool start_filter(const match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    if (!m_pstart_chars) return true;
    if (at_subject_end(param, pos, tag)) return false;
    const wchar_t ch = *pos;
    for (const wchar_t *p = m_pstart_chars; p != m_pstart_chars_end; ++p)
      if (*p == ch) return true;
    return false;
  }

  alt_list_type m_alternates;
  int m_cgroup;
  node_width m_width;
  sub_expr<IT> **m_pptail;  // while building: where the next node is linked
  wchar_t *m_pstart_chars;  // after close_group: the start filter, or null
  wchar_t *m_pstart_chars_end;
  const alternative *m_palts = nullptr;  // after close_group: the alternatives in order
  const alternative *m_palts_end = nullptr;
  literal_hint m_lit;  // after close_group: the leading literal of a single alternative
};

template <class IT>
literal_hint match_group_base<IT>::close_group(arena_allocator<char> arena) {
  end_alternative();
  m_alternates.reverse();
  m_pptail = nullptr;
  const std::size_t count = alternative_count();
  alternative *alts = arena_allocator<alternative>(arena).allocate(count);
  m_palts = alts;
  m_palts_end = alts + count;
  start_hint hint{};
  std::size_t total = 0;
  bool every = true;
  alternative *a = alts;
  for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it, ++a) {
    *a = alternative{*it, nullptr, nullptr};
    if (!(*it)->peek_start(hint)) {
      every = false;
      continue;
    }
    total += hint.m_count;
  }
  arena_allocator<wchar_t> chars(arena);
  // Each alternative's own beginning, worth keeping where there are several.
  if (count > 1 && total != 0) {
    wchar_t *own = chars.allocate(total);
    a = alts;
    for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it, ++a) {
      if (!(*it)->peek_start(hint) || hint.m_count == 0) continue;
      const wchar_t *src = hint.chars();
      a->m_pfirst = own;
      own = std::copy(src, src + hint.m_count, own);
      a->m_plast = own;
    }
  }
  // A fresh hint where none is kept: patching the flag of the one at hand
  // and copying it out would stall on the byte just stored.
  if (!every) {
    m_pstart_chars = m_pstart_chars_end = nullptr;
    return literal_hint{};
  }
  m_pstart_chars = m_pstart_chars_end = chars.allocate(total);
  for (alt_iterator it = m_alternates.begin(); it != m_alternates.end(); ++it) {
    (*it)->peek_start(hint);
    const wchar_t *src = hint.chars();
    m_pstart_chars_end = std::copy(src, src + hint.m_count, m_pstart_chars_end);
  }
  std::sort(m_pstart_chars, m_pstart_chars_end);
  m_pstart_chars_end = std::unique(m_pstart_chars, m_pstart_chars_end);
  if (alternative_count() > 1) return literal_hint{};
  // Kept, so a group around this one reads it without walking down again.
  m_lit = hint.m_lit;
  return m_lit;
}

template <class IT>
class group_quantifier;

// The fixed sets of a sequence up to its end node: true when all of it has
// a fixed width (and fits the limit); else `out` holds the sets of the
// fixed part it began with.
template <class IT>
bool chain_fixed_sets(const sub_expr<IT> *first, fixed_prefix &out) {
  for (const sub_expr<IT> *n = first; n && n->get_next(); n = n->get_next())
    if (!n->fixed_sets(out)) return false;
  return true;
}

// The loop over a group that a quantifier after it makes (matcher_groups.h).
template <class IT>
sub_expr<IT> *make_group_quantifier(match_group_base<IT> *group, std::uint32_t min, std::uint32_t max, bool greedy,
                                    arena_allocator<char> &arena);

// A capturing, non-capturing or outermost group with its end node.
template <class IT>
class match_group : public match_group_base<IT> {
 public:
  // The end node of every alternative: records the group's match and goes
  // on with the node after the group.
  class end_group : public indestructable_sub_expr<IT, end_group> {
   public:
    explicit end_group(match_group_base<IT> *pgroup = nullptr) : m_pgroup(pgroup) {}

    bool match_chain(match_param<IT> &param, IT pos) const override { return finish(param, pos, bounded_tag()); }
    bool match_chain_nul(match_param<IT> &param, IT pos) const override { return finish(param, pos, nul_tag()); }
    bool step_forward(match_param<IT> &param) const override { return record_step(param); }
    bool step_forward_nul(match_param<IT> &param) const override { return record_step(param); }
    bool step_back(match_param<IT> &param) const override { return undo_step(param); }
    bool step_back_nul(match_param<IT> &param) const override { return undo_step(param); }
    node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
    void scan_first(first_chars &fc) const override {
      if (!fc.enter(this)) return;
      if (sub_expr<IT> *after = m_pgroup->get_next())
        after->scan_first(fc);
      else
        fc.can_end = true;
    }

   private:
    template <bool Nul>
    bool finish(match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
      const int n = m_pgroup->group_number();
      if (n == -1) return m_pgroup->match_next(param, pos, tag);
      backref_tag<IT> &r = param.m_prgbackrefs[n];
      const old_backref saved(r);
      r.first = r.pending_start;
      r.second = pos;
      r.matched = true;
      if (m_pgroup->match_next(param, pos, tag)) return true;
      saved.restore(r);
      return false;
    }
    bool record_step(match_param<IT> &param) const {
      const int n = m_pgroup->group_number();
      if (n != -1) {
        backref_tag<IT> &r = param.m_prgbackrefs[n];
        param.m_pstack->push(old_backref(r));
        r.first = r.pending_start;
        r.second = param.m_icur;
        r.matched = true;
      }
      param.m_pnext = m_pgroup->get_next();
      return true;
    }
    bool undo_step(match_param<IT> &param) const {
      const int n = m_pgroup->group_number();
      if (n != -1) {
        old_backref saved;
        param.m_pstack->pop(saved);
        saved.restore(param.m_prgbackrefs[n]);
      }
      return false;
    }

    match_group_base<IT> *m_pgroup;
  };

  // The first, second and matched fields of a record, saved by the end
  // node while the rest of the pattern is tried.
  struct old_backref {
    IT first;
    IT second;
    bool matched;

    old_backref() : first(null_position<IT>), second(null_position<IT>), matched(false) {}
    explicit old_backref(const backref_tag<IT> &r) : first(r.first), second(r.second), matched(r.matched) {}
    void restore(backref_tag<IT> &r) const {
      r.first = first;
      r.second = second;
      r.matched = matched;
    }
  };

  match_group(int cgroup, arena_allocator<char> arena) : match_group_base<IT>(cgroup, arena), m_end_group(this) {}

  ~match_group() override { this->delete_alternatives(); }

  sub_expr<IT> *get_end_group() override { return &m_end_group; }

  sub_expr<IT> *make_quantifier(std::uint32_t min, std::uint32_t max, bool greedy,
                                arena_allocator<char> &arena) override {
    return make_group_quantifier<IT>(this, min, max, greedy, arena);
  }

  // The sets of a group with one alternative of fixed width. Of several
  // alternatives, the union of their sets at each offset that the fixed
  // beginnings of all of them reach; true when all have one fixed width.
  // The first alternative's sets collect the union; each later one is read
  // only as far as all before it reached, and none beyond the room in `out`.
  bool fixed_sets(fixed_prefix &out) const override {
    if (this->alternative_count() == 1) return chain_fixed_sets(*this->m_alternates.begin(), out);
    const std::size_t room = out.room();
    auto it = this->m_alternates.begin();
    fixed_prefix all(room);
    bool fixed = chain_fixed_sets(*it, all);
    const std::size_t width = all.size();
    std::size_t common = width;
    for (++it; it != this->m_alternates.end() && (fixed || common != 0); ++it) {
      fixed_prefix one(common);
      const bool whole = chain_fixed_sets(*it, one);
      fixed = fixed && whole && one.size() == width;
      common = one.size();
      for (std::size_t i = 0; i < common; ++i) all[i].add_all_of(one[i]);
    }
    for (std::size_t i = 0; i < common; ++i) *out.next() = all[i];
    return fixed;
  }

 private:
  end_group m_end_group;
};

// Runs a group's entry and retry steps as a node of its own whose next is
// null, so the group's alternatives can run as a match of their own.
template <class IT>
class group_wrapper : public sub_expr<IT> {
 public:
  explicit group_wrapper(const match_group_base<IT> *pgroup) : m_pgroup(pgroup) {}

  bool step_forward(match_param<IT> &param) const override { return m_pgroup->entry_step(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return m_pgroup->entry_step(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const override { return m_pgroup->retry_step(param, bounded_tag()); }
  bool step_back_nul(match_param<IT> &param) const override { return m_pgroup->retry_step(param, nul_tag()); }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }

 private:
  const match_group_base<IT> *m_pgroup;
};

// ---------------------------------------------------------------------------
// Position predicates of the anchors (and of the dot atoms): bounded form
// over bool2type<false>, NUL-terminated form over bool2type<true>. The only
// line break is L'\n'.

template <class Tag>
struct bos_t;
template <class Tag>
struct bol_t;
template <class Tag>
struct eos_t;
template <class Tag>
struct eol_t;
template <class Tag>
struct peos_t;

template <bool Nul>
struct bos_t<bool2type<Nul>> {
  template <class IT>
  bool operator()(const match_param<IT> &param, IT pos) const {
    return pos == param.m_ibegin;
  }
};

template <bool Nul>
struct bol_t<bool2type<Nul>> {
  template <class IT>
  bool operator()(const match_param<IT> &param, IT pos) const {
    return pos == param.m_ibegin || *(pos - 1) == L'\n';
  }
};

template <>
struct eos_t<bounded_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &param, IT pos) const {
    return pos == param.m_iend;
  }
};
template <>
struct eos_t<nul_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &, IT pos) const {
    return *pos == L'\0';
  }
};

template <>
struct eol_t<bounded_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &param, IT pos) const {
    return pos == param.m_iend || *pos == L'\n';
  }
};
template <>
struct eol_t<nul_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &, IT pos) const {
    return *pos == L'\0' || *pos == L'\n';
  }
};

template <>
struct peos_t<bounded_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &param, IT pos) const {
    return pos == param.m_iend || (*pos == L'\n' && pos + 1 == param.m_iend);
  }
};
template <>
struct peos_t<nul_tag> {
  template <class IT>
  bool operator()(const match_param<IT> &, IT pos) const {
    return *pos == L'\0' || (*pos == L'\n' && *(pos + 1) == L'\0');
  }
};

template <template <class> class X>
using opwrap_of = opwrap<X<bounded_tag>, X<nul_tag>>;

// Base of the zero-width assertions: width {0, 0}, never quantified, and the
// start hint of whatever follows.
template <class IT>
class assertion : public sub_expr<IT> {
 public:
  bool is_assertion_node() const override { return true; }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }
  bool peek_start(start_hint &hint) const override { return this->next && this->next->peek_start(hint); }
  bool first_here(char_bits &) const override { return true; }
  bool fixed_sets(fixed_prefix &) const override { return true; }
};

// An anchor: holds where its predicate holds, consuming nothing.
template <class IT, class OpWrap>
class assert_op : public assertion<IT> {
  typedef typename OpWrap::bounded_type bounded_pred;
  typedef typename OpWrap::nul_type nul_pred;

 public:
  bool match_chain(match_param<IT> &param, IT pos) const override {
    return bounded_pred()(param, pos) && this->match_next(param, pos);
  }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override {
    return nul_pred()(param, pos) && this->match_next_nul(param, pos);
  }
  bool step_forward(match_param<IT> &param) const override {
    param.m_pnext = this->next;
    return bounded_pred()(param, param.m_icur);
  }
  bool step_forward_nul(match_param<IT> &param) const override {
    param.m_pnext = this->next;
    return nul_pred()(param, param.m_icur);
  }
  bool match_here(match_param<IT> &param, IT &pos) const override { return bounded_pred()(param, pos); }
  bool match_here_nul(match_param<IT> &param, IT &pos) const override { return nul_pred()(param, pos); }
};

}  // namespace detail
}  // namespace regex

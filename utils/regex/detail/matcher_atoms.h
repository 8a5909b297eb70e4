// Atoms and atom quantifiers of the matcher.
//
// An atom consumes a fixed number of subject characters and never branches:
//
//   match_char_t<IT, wchar_t>                 one character, exact
//   match_char_t<IT, char_nocase<wchar_t>>    one character in either case
//   match_literal_t<IT>                       a run of two or more characters
//   match_literal_nocase_t<IT>                such a run in either case
//   match_charset_t<IT, Holder, Exact>        one character of a set; Holder is
//                                             const charset * (shared built-in
//                                             set) or an owning pointer to the
//                                             custom_charset of a bracket
//                                             expression; Exact picks in() or
//                                             in_nocase()
//   match_any_t<IT, OpWrap>                   the dot: eol_t stops at L'\n',
//                                             eos_t only at the subject's end
//
// A quantifier after an atom replaces it by max_atom_quantifier (greedy) or
// min_atom_quantifier (lazy), made by the atom's make_quantifier and owning
// the atom. Because every repetition of an atom has the same width, a
// quantifier remembers a whole run as (start, count): one stack record per
// visit in iterative mode, two locals in recursive mode.
//
// A quantifiable atom type A offers, as public non-virtual calls on the exact
// type: match_here / match_here_nul (one repetition at a position, advanced
// on success, unchanged on failure), step_forward / step_forward_nul (the
// same at m_icur) and step_back / step_back_nul (m_icur back by one
// repetition). The quantifiers call them qualified, without virtual dispatch.
//
// Case-insensitive atoms prepare both cases while the pattern is compiled
// and do no case mapping while matching.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/matcher.h"

namespace regex {
namespace detail {

template <class IT, class A>
class max_atom_quantifier;
template <class IT, class A>
class min_atom_quantifier;

// The operations every atom shares, written once over the atom's own
// match_here: match_chain, step_forward and make_quantifier, in both forms.
// Derived supplies here (param, pos, tag).
template <class IT, class Derived, class Base>
class atom_node : public Base {
 public:
  using Base::Base;

  bool match_here(match_param<IT> &param, IT &pos) const final { return self().here(param, pos, bounded_tag()); }
  bool match_here_nul(match_param<IT> &param, IT &pos) const final { return self().here(param, pos, nul_tag()); }

  bool match_chain(match_param<IT> &param, IT pos) const final {
    return self().here(param, pos, bounded_tag()) && this->match_next(param, pos);
  }
  bool match_chain_nul(match_param<IT> &param, IT pos) const final {
    return self().here(param, pos, nul_tag()) && this->match_next_nul(param, pos);
  }
  bool step_forward(match_param<IT> &param) const final {
    param.m_pnext = this->next;
    return self().here(param, param.m_icur, bounded_tag());
  }
  bool step_forward_nul(match_param<IT> &param) const final {
    param.m_pnext = this->next;
    return self().here(param, param.m_icur, nul_tag());
  }

  sub_expr<IT> *make_quantifier(std::uint32_t min, std::uint32_t max, bool greedy, arena_allocator<char> &arena) final;

 private:
  const Derived &self() const { return static_cast<const Derived &>(*this); }
};

// ---------------------------------------------------------------------------
// Character atoms.

// A pattern character under IGNORECASE with two case forms: both are
// matched, the pattern character itself only when it is one of them.
template <class CharT>
struct char_nocase {
  CharT m_chlower;
  CharT m_chupper;
};

inline bool char_matches(wchar_t pat, wchar_t ch) { return ch == pat; }
inline bool char_matches(const char_nocase<wchar_t> &pat, wchar_t ch) {
  return ch == pat.m_chlower || ch == pat.m_chupper;
}

inline required_literal literal_of_char(const wchar_t &pat) { return required_literal{&pat, nullptr, 1}; }
inline required_literal literal_of_char(const char_nocase<wchar_t> &pat) {
  return required_literal{&pat.m_chupper, &pat.m_chlower, 1};
}

inline void add_first(wchar_t pat, char_bits &fc) { fc.add(pat); }
inline void add_first(const char_nocase<wchar_t> &pat, char_bits &fc) {
  fc.add(pat.m_chlower);
  fc.add(pat.m_chupper);
}

// The members of a set, for the start analysis: exactly below 256; from 256
// up exactly only for ranges compared with case and positive classes.
template <class Set>
void add_set_first(const Set &set, bool exact, char_bits &fc) {
  if (set.m_fskip_extended_check) {
    const std::uint32_t flip = set.m_fnegate ? ~0u : 0u;
    for (int i = 0; i < 8; ++i) fc.low[i] |= set.m_lowchars[i] ^ flip;
  } else {
    for (int c = 0; c < 256; ++c)
      if (exact ? set.in(wchar_t(c)) : set.in_nocase(wchar_t(c))) fc.add(wchar_t(c));
  }
  if (set.m_fnegate || !set.m_fskip_extended_check || (!exact && !set.m_ranges.empty())) {
    fc.set_high_any();
    return;
  }
  if (set.m_posixcharson != 0) fc.add_high_classes(set.m_posixcharson);
  for (const charset_range &r : set.m_ranges) fc.add_high(r.first, r.last);
}

inline void fill_char_hint(wchar_t pat, start_hint &hint) {
  hint.m_count = 1;
  hint.m_rgch[0] = pat;
}
inline void fill_char_hint(const char_nocase<wchar_t> &pat, start_hint &hint) {
  hint.m_count = 2;
  hint.m_rgch[0] = pat.m_chlower;
  hint.m_rgch[1] = pat.m_chupper;
}

// Atoms of width one: back by one character on a step back.
template <class IT, class Base = sub_expr<IT>>
class single_width_atom : public Base {
 public:
  bool step_back(match_param<IT> &param) const final {
    --param.m_icur;
    return false;
  }
  bool step_back_nul(match_param<IT> &param) const final {
    --param.m_icur;
    return false;
  }
  node_width width_range(const width_context<IT> &) final { return node_width{1, 1}; }
  bool fixed_sets(fixed_prefix &out) const final {
    char_bits *set = out.next();
    return set && single_char_set(*set);
  }
  bool single_char_set(char_bits &set) const final {
    this->first_here(set);
    return true;
  }
};

template <class IT>
class match_char : public single_width_atom<IT> {};

template <class IT, class CharT>
class match_char_t : public atom_node<IT, match_char_t<IT, CharT>, match_char<IT>> {
 public:
  explicit match_char_t(const CharT &ch) : m_char(ch) {}

  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    if (at_subject_end(param, pos, tag) || !char_matches(m_char, *pos)) return false;
    ++pos;
    return true;
  }

  bool peek_start(start_hint &hint) const override {
    fill_char_hint(m_char, hint);
    hint.m_lit.m_present = false;
    return true;
  }
  bool first_here(char_bits &fc) const override {
    add_first(m_char, fc);
    return false;
  }
  required_literal literal() const override { return literal_of_char(m_char); }

  const CharT m_char;
};

// ---------------------------------------------------------------------------
// Literal atoms: a run of characters of the compiled pattern's own text.

template <class IT>
class match_literal : public sub_expr<IT> {
 public:
  typedef std::wstring::const_iterator lit_iterator;

  match_literal(lit_iterator ibegin, lit_iterator iend)
      : m_ilitbegin(ibegin), m_ilitend(iend), m_clitlen(std::uint32_t(iend - ibegin)) {}

  bool step_back(match_param<IT> &param) const final {
    param.m_icur -= m_clitlen;
    return false;
  }
  bool step_back_nul(match_param<IT> &param) const final {
    param.m_icur -= m_clitlen;
    return false;
  }
  node_width width_range(const width_context<IT> &) final { return node_width{m_clitlen, m_clitlen}; }

  const lit_iterator m_ilitbegin;
  const lit_iterator m_ilitend;
  const std::uint32_t m_clitlen;
};

template <class IT>
class match_literal_t : public atom_node<IT, match_literal_t<IT>, match_literal<IT>> {
  typedef typename match_literal<IT>::lit_iterator lit_iterator;

 public:
  match_literal_t(lit_iterator ibegin, lit_iterator iend)
      : atom_node<IT, match_literal_t<IT>, match_literal<IT>>(ibegin, iend) {}

  // The literal's end is tested before the subject's, so a literal that
  // ends exactly at the end of the subject matches.
  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    IT s = pos;
    for (lit_iterator l = this->m_ilitbegin; l != this->m_ilitend; ++l, ++s) {
      if (at_subject_end(param, s, tag) || *s != *l) return false;
    }
    pos = s;
    return true;
  }

  bool peek_start(start_hint &hint) const override {
    hint.m_count = 1;
    hint.m_rgch[0] = *this->m_ilitbegin;
    hint.m_lit.m_present = true;
    hint.m_lit.m_begin = this->m_ilitbegin;
    hint.m_lit.m_end = this->m_ilitend;
    hint.m_lit.m_pother = nullptr;
    return true;
  }
  bool first_here(char_bits &fc) const override {
    fc.add(*this->m_ilitbegin);
    return false;
  }
  required_literal literal() const override { return required_literal{&*this->m_ilitbegin, nullptr, this->m_clitlen}; }
  bool fixed_sets(fixed_prefix &out) const override {
    for (lit_iterator l = this->m_ilitbegin; l != this->m_ilitend; ++l) {
      char_bits *set = out.next();
      if (!set) return false;
      set->add(*l);
    }
    return true;
  }
};

// The run is upper-cased in the pattern text when the atom is built, and a
// lower-case copy is kept on the arena; a subject character matches when it
// equals either form at its index.
template <class IT>
class match_literal_nocase_t : public atom_node<IT, match_literal_nocase_t<IT>, match_literal<IT>> {
  typedef typename match_literal<IT>::lit_iterator lit_iterator;

 public:
  match_literal_nocase_t(std::wstring::iterator ibegin, std::wstring::iterator iend, arena_allocator<char> &arena)
      : atom_node<IT, match_literal_nocase_t<IT>, match_literal<IT>>(ibegin, iend),
        m_plower(arena_allocator<wchar_t>(arena).allocate(this->m_clitlen)) {
    // The copy is allocated before the text changes: a failed allocation
    // leaves the pattern text as it was.
    std::copy(ibegin, iend, m_plower);
    range_toupper(ibegin, iend);
    for (std::uint32_t i = 0; i < this->m_clitlen; ++i) m_plower[i] = char_tolower(m_plower[i]);
  }

  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    IT s = pos;
    const wchar_t *low = m_plower;
    for (lit_iterator l = this->m_ilitbegin; l != this->m_ilitend; ++l, ++s, ++low) {
      if (at_subject_end(param, s, tag) || (*s != *l && *s != *low)) return false;
    }
    pos = s;
    return true;
  }

  bool peek_start(start_hint &hint) const override {
    hint.m_count = 2;
    hint.m_rgch[0] = *this->m_ilitbegin;
    hint.m_rgch[1] = m_plower[0];
    hint.m_lit.m_present = true;
    hint.m_lit.m_begin = this->m_ilitbegin;
    hint.m_lit.m_end = this->m_ilitend;
    hint.m_lit.m_pother = m_plower;
    return true;
  }
  bool first_here(char_bits &fc) const override {
    fc.add(*this->m_ilitbegin);
    fc.add(m_plower[0]);
    return false;
  }
  required_literal literal() const override { return required_literal{&*this->m_ilitbegin, m_plower, this->m_clitlen}; }
  bool fixed_sets(fixed_prefix &out) const override {
    for (std::uint32_t i = 0; i < this->m_clitlen; ++i) {
      char_bits *set = out.next();
      if (!set) return false;
      set->add(this->m_ilitbegin[i]);
      set->add(m_plower[i]);
    }
    return true;
  }

  wchar_t *const m_plower;
};

// ---------------------------------------------------------------------------
// Character-set and any atoms.

template <class IT>
class match_charset : public single_width_atom<IT> {};

// Holder: const charset * (shared, not owned) or
// std::unique_ptr<const custom_charset> (owned; destroyed with the atom, its
// memory stays with the arena). Exact: in() when true, in_nocase() when false.
template <class IT, class Holder, bool Exact>
class match_charset_t : public atom_node<IT, match_charset_t<IT, Holder, Exact>, match_charset<IT>> {
 public:
  explicit match_charset_t(Holder pcharset) : m_pcharset(std::move(pcharset)) {}

  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    if (at_subject_end(param, pos, tag)) return false;
    if (!(Exact ? m_pcharset->in(*pos) : m_pcharset->in_nocase(*pos))) return false;
    ++pos;
    return true;
  }
  bool first_here(char_bits &fc) const override {
    add_set_first(*m_pcharset, Exact, fc);
    return false;
  }

  const Holder m_pcharset;
};

template <class IT>
class match_any : public single_width_atom<IT> {};

// Refuses the positions where its predicate holds: eol_t (the end or a line
// feed) for the dot, eos_t (the end only) for the dot under DOTALL.
template <class IT, class OpWrap>
class match_any_t : public atom_node<IT, match_any_t<IT, OpWrap>, match_any<IT>> {
 public:
  bool here(const match_param<IT> &param, IT &pos, bounded_tag) const {
    if (typename OpWrap::bounded_type()(param, pos)) return false;
    ++pos;
    return true;
  }
  bool here(const match_param<IT> &param, IT &pos, nul_tag) const {
    if (typename OpWrap::nul_type()(param, pos)) return false;
    ++pos;
    return true;
  }
  bool first_here(char_bits &fc) const override {
    const bool but_line_feed = std::is_same_v<OpWrap, opwrap_of<eol_t>>;
    for (int i = 0; i < 8; ++i) fc.low[i] |= i == 0 && but_line_feed ? ~(1u << 10) : ~0u;
    fc.set_high_any();
    return false;
  }
};

// ---------------------------------------------------------------------------
// The atom quantifier frame.

// Owns and wraps one node, reached only through m_patom.
template <class IT, class A>
class match_wrapper : public sub_expr<IT> {
 public:
  explicit match_wrapper(A *atom) : m_patom(atom) {}
  ~match_wrapper() override {
    if (m_patom) {
      delete m_patom;
      m_patom = nullptr;
    }
  }

  node_width width_range(const width_context<IT> &wp) override { return m_patom->width_range(wp); }
  bool peek_start(start_hint &hint) const override { return m_patom->peek_start(hint); }

 protected:
  A *m_patom;
};

// A wrapper repeated between m_cmin and m_cmax times (0xFFFFFFFF: no bound).
template <class IT, class A>
class match_quantifier : public match_wrapper<IT, A> {
 public:
  match_quantifier(A *atom, std::uint32_t min, std::uint32_t max)
      : match_wrapper<IT, A>(atom), m_cmin(min), m_cmax(max) {}

  // The wrapped width times the counts; the wrapped width is computed
  // first in every case, so its checks run even under {0}.
  node_width width_range(const width_context<IT> &wp) override {
    const node_width w = this->m_patom->width_range(wp);
    return w * node_width{m_cmin, m_cmax};
  }
  // A quantifier that may match nothing promises no first character.
  bool peek_start(start_hint &hint) const override { return m_cmin != 0 && this->m_patom->peek_start(hint); }
  bool first_here(char_bits &fc) const override { return this->m_patom->first_here(fc) || m_cmin == 0; }

 protected:
  const std::uint32_t m_cmin;
  const std::uint32_t m_cmax;
};

template <class IT, class A>
class atom_quantifier : public match_quantifier<IT, A> {
 public:
  typedef std::pair<IT, std::uint32_t> run_record;  // (start of the run, atoms taken)

  atom_quantifier(A *atom, std::uint32_t min, std::uint32_t max) : match_quantifier<IT, A>(atom, min, max) {}

  const sub_expr<IT> *required_atom() const override { return this->m_cmin != 0 ? this->m_patom : nullptr; }

  // A fixed count of an atom one character wide: that many copies of its set.
  bool fixed_sets(fixed_prefix &out) const override {
    if (this->m_cmin != this->m_cmax) return false;
    char_bits one;
    if (!this->m_patom->single_char_set(one)) return false;
    for (std::uint32_t i = 0; i < this->m_cmin; ++i) {
      char_bits *set = out.next();
      if (!set) return false;
      *set = one;
    }
    return true;
  }

  // When no character the atom can begin with can begin the rest of the
  // pattern (and the rest cannot match empty), giving back a repetition
  // only puts the rest before a character it refuses: only the longest run
  // is worth offering.
  void settle() override {
    if (this->m_cmin == this->m_cmax) return;  // one count: nothing to give back
    char_bits atom;
    first_chars rest;
    if (this->m_patom->first_here(atom)) return;
    this->scan_next(rest);
    m_fpossessive = !rest.can_end && atom.disjoint(rest);
  }
  bool possessive() const { return m_fpossessive; }

 protected:
  bool m_fpossessive = false;

  void push_run_record(match_stack *stack, IT start, std::uint32_t count) const {
    stack->push(run_record(start, count));
  }
  // Pops the record and puts m_icur back at the start of the run.
  void pop_run_record(match_param<IT> &param) const {
    run_record rec;
    param.m_pstack->pop(rec);
    param.m_icur = rec.first;
  }
  run_record &top_run_record(match_param<IT> &param) const { return param.m_pstack->template top<run_record>(); }

  // Direct calls on the atom's exact type, in the form of the tag.
  bool atom_here(match_param<IT> &param, IT &pos, bounded_tag) const {
    return this->m_patom->A::match_here(param, pos);
  }
  bool atom_here(match_param<IT> &param, IT &pos, nul_tag) const {
    return this->m_patom->A::match_here_nul(param, pos);
  }
  bool atom_step_forward(match_param<IT> &param, bounded_tag) const { return this->m_patom->A::step_forward(param); }
  bool atom_step_forward(match_param<IT> &param, nul_tag) const { return this->m_patom->A::step_forward_nul(param); }
  void atom_step_back(match_param<IT> &param, bounded_tag) const { this->m_patom->A::step_back(param); }
  void atom_step_back(match_param<IT> &param, nul_tag) const { this->m_patom->A::step_back_nul(param); }
};

// The six matching slots of an atom quantifier, each in the form of its
// tag, over Derived's chain (recursive), forward and back (iterative).
template <class IT, class A, class Derived>
class atom_quantifier_slots : public atom_quantifier<IT, A> {
 public:
  using atom_quantifier<IT, A>::atom_quantifier;

  bool match_chain(match_param<IT> &param, IT pos) const final { return self().chain(param, pos, bounded_tag()); }
  bool match_chain_nul(match_param<IT> &param, IT pos) const final { return self().chain(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const final { return self().forward(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const final { return self().forward(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const final { return self().back(param, bounded_tag()); }
  bool step_back_nul(match_param<IT> &param) const final { return self().back(param, nul_tag()); }

 private:
  const Derived &self() const { return static_cast<const Derived &>(*this); }
};

// Greedy: takes as many repetitions as it can, then offers the rest of the
// pattern the longest run first and one repetition less each time, down to
// the minimum.
template <class IT, class A>
class max_atom_quantifier : public atom_quantifier_slots<IT, A, max_atom_quantifier<IT, A>> {
  typedef typename atom_quantifier<IT, A>::run_record run_record;

 public:
  max_atom_quantifier(A *atom, std::uint32_t min, std::uint32_t max)
      : atom_quantifier_slots<IT, A, max_atom_quantifier<IT, A>>(atom, min, max) {}

  // A run of a one-character atom without upper bound, where the outcome
  // of the rest of the pattern depends on the position alone: a start that
  // failed tried the rest at every place where a later start inside the
  // same run would try it, so those starts fail too. A possessive run
  // tried the rest just after the run, which is where such a start tries
  // it; a greedy run with a minimum of one or more tried it at every place
  // from start + minimum to the run's end, past which a later start
  // begins its own tries.
  bool inner_starts_fail() const override {
    return this->m_cmax == width_unbounded && std::is_base_of_v<single_width_atom<IT>, A> &&
           (this->m_fpossessive || this->m_cmin != 0);
  }
  // The run is scanned atom by atom; a run that cannot grow ends at once.
  IT run_end(match_param<IT> &param, IT pos) const override {
    if (!inner_starts_fail()) return pos;
    const IT start = pos;
    while (this->atom_here(param, pos, bounded_tag())) {
      if (pos == start) break;
    }
    return pos;
  }

  template <class, class, class>
  friend class atom_quantifier_slots;

 private:
  template <class Tag>
  bool chain(match_param<IT> &param, IT pos, Tag tag) const {
    const IT start = pos;
    std::uint32_t n = 0;
    typename std::iterator_traits<IT>::difference_type width = 0;
    if (this->m_cmax != 0 && this->atom_here(param, pos, tag)) {
      width = pos - start;
      // An empty repetition repeats for ever at the same place: one offer.
      if (width == 0) return this->match_next(param, pos, tag);
      do {
        ++n;
      } while (n != this->m_cmax && this->atom_here(param, pos, tag));
    }
    if (n < this->m_cmin) return false;
    if (this->m_fpossessive) return this->match_next(param, pos, tag);
    for (;;) {
      if (this->match_next(param, pos, tag)) return true;
      if (n == this->m_cmin) return false;
      count_backtrack(param);
      --n;
      pos -= width;
    }
  }

  template <class Tag>
  bool forward(match_param<IT> &param, Tag tag) const {
    const IT start = param.m_icur;
    std::uint32_t n = 0;
    if (this->m_cmax != 0 && this->atom_step_forward(param, tag)) {
      if (param.m_icur != start) {
        do {
          ++n;
        } while (n != this->m_cmax && this->atom_step_forward(param, tag));
      } else {
        n = this->m_cmin;  // empty repetition: backtracking into it fails at once
      }
    }
    if (n < this->m_cmin) {
      param.m_icur = start;
      return false;
    }
    this->push_run_record(param.m_pstack, start, n);
    param.m_pnext = this->next;
    return true;
  }

  template <class Tag>
  bool back(match_param<IT> &param, Tag tag) const {
    run_record &rec = this->top_run_record(param);
    if (rec.second == this->m_cmin || this->m_fpossessive) {
      this->pop_run_record(param);
      return false;
    }
    --rec.second;
    this->atom_step_back(param, tag);
    param.m_pnext = this->next;
    return true;
  }
};

// Lazy: takes the minimum, offers the rest of the pattern, and takes one
// more repetition only each time the rest fails, up to the maximum.
template <class IT, class A>
class min_atom_quantifier : public atom_quantifier_slots<IT, A, min_atom_quantifier<IT, A>> {
  typedef typename atom_quantifier<IT, A>::run_record run_record;

 public:
  min_atom_quantifier(A *atom, std::uint32_t min, std::uint32_t max)
      : atom_quantifier_slots<IT, A, min_atom_quantifier<IT, A>>(atom, min, max) {}

  template <class, class, class>
  friend class atom_quantifier_slots;

 private:
  template <class Tag>
  bool chain(match_param<IT> &param, IT pos, Tag tag) const {
    std::uint32_t n = 0;
    IT probe = pos;
    if (this->atom_here(param, probe, tag)) {
      // An empty repetition: no other count is offered.
      if (probe == pos) return this->match_next(param, pos, tag);
      if (this->m_cmin != 0) {
        pos = probe;
        n = 1;
      }
    } else if (this->m_cmin != 0) {
      return false;
    }
    for (; n < this->m_cmin; ++n) {
      if (!this->atom_here(param, pos, tag)) return false;
    }
    for (;;) {
      if (this->match_next(param, pos, tag)) return true;
      if (n >= this->m_cmax) return false;
      count_backtrack(param);
      ++n;
      if (!this->atom_here(param, pos, tag)) return false;
    }
  }

  template <class Tag>
  bool forward(match_param<IT> &param, Tag tag) const {
    const IT start = param.m_icur;
    std::uint32_t n = 0;
    if (this->atom_step_forward(param, tag)) {
      if (param.m_icur == start) {
        n = this->m_cmax;  // empty repetition: no extension is left
      } else if (this->m_cmin != 0) {
        for (n = 1; n < this->m_cmin; ++n) {
          if (!this->atom_step_forward(param, tag)) {
            param.m_icur = start;
            return false;
          }
        }
      } else {
        param.m_icur = start;  // the probe is undone
      }
    } else if (this->m_cmin != 0) {
      return false;
    }
    this->push_run_record(param.m_pstack, start, n);
    param.m_pnext = this->next;
    return true;
  }

  template <class Tag>
  bool back(match_param<IT> &param, Tag tag) const {
    run_record &rec = this->top_run_record(param);
    if (rec.second == this->m_cmax || !this->atom_step_forward(param, tag)) {
      this->pop_run_record(param);
      return false;
    }
    ++rec.second;
    param.m_pnext = this->next;
    return true;
  }
};

template <class IT, class Derived, class Base>
sub_expr<IT> *atom_node<IT, Derived, Base>::make_quantifier(std::uint32_t min, std::uint32_t max, bool greedy,
                                                            arena_allocator<char> &arena) {
  Derived *atom = static_cast<Derived *>(this);
  if (greedy) return new (arena) max_atom_quantifier<IT, Derived>(atom, min, max);
  return new (arena) min_atom_quantifier<IT, Derived>(atom, min, max);
}

}  // namespace detail
}  // namespace regex

// Hand-built node graphs for the matcher tests.
//
// A graph is described as data (node_spec), built with the group-building
// operations into a pattern object of either subject type, and run in every
// combination of mode (recursive, iterative) and subject form (bounded,
// NUL-terminated). run_everywhere returns the records of each run as offsets,
// so one expectation checks all eight.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "utils/regex/detail/matcher_recursion.h"
#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/word_assertion.h"
#include "utils/regex/regex.h"

namespace graph_test {

using namespace regex;
using namespace regex::detail;

typedef std::wstring::const_iterator SIT;
typedef const wchar_t *PIT;

// One character, exactly: the smallest consuming node, enough to drive
// groups, anchors and backtracking.
template <class IT>
class test_char : public sub_expr<IT> {
 public:
  explicit test_char(wchar_t ch) : m_ch(ch) {}

  bool match_here(match_param<IT> &param, IT &pos) const override { return here(param, pos, bounded_tag()); }
  bool match_here_nul(match_param<IT> &param, IT &pos) const override { return here(param, pos, nul_tag()); }
  bool step_forward(match_param<IT> &param) const override { return step(param, bounded_tag()); }
  bool step_forward_nul(match_param<IT> &param) const override { return step(param, nul_tag()); }
  bool step_back(match_param<IT> &param) const override { return back(param); }
  bool step_back_nul(match_param<IT> &param) const override { return back(param); }
  node_width width_range(const width_context<IT> &) override { return node_width{1, 1}; }
  bool peek_start(start_hint &hint) const override {
    hint.m_count = 1;
    hint.m_rgch[0] = m_ch;
    hint.m_lit.m_present = false;
    return true;
  }

 private:
  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    if (at_subject_end(param, pos, tag) || *pos != m_ch) return false;
    ++pos;
    return true;
  }
  template <bool Nul>
  bool step(match_param<IT> &param, bool2type<Nul> tag) const {
    if (!here(param, param.m_icur, tag)) return false;
    param.m_pnext = this->next;
    return true;
  }
  bool back(match_param<IT> &param) const {
    --param.m_icur;
    return false;
  }

  wchar_t m_ch;
};

struct node_spec {
  enum kind {
    CHAR,
    GROUP,
    BOS,
    BOL,
    EOL,
    EOS,
    PEOS,
    WORD_B,
    NOT_WORD_B,
    WORD_START,
    WORD_STOP,
    QUANT,        // alts[0][0] under {min, max}, greedy or lazy
    BACKREF,      // to the written number `group`; nocase compares through towupper
    ATOMIC,       // (?>...) with number `group`
    AHEAD,        // (?=...) or (?!...) by `positive`
    BEHIND,       // (?<=...) or (?<!...)
    COND_REF,     // own number `group`, tests the written number `ref`; alts are the branches
    COND_ASSERT,  // own number `group`, condition cond[0] (AHEAD or BEHIND)
    RECURSE       // (?R)
  };
  kind k;
  wchar_t ch;
  int group;
  std::vector<std::vector<node_spec>> alts;
  std::uint32_t min = 0, max = 0;
  bool greedy = true;
  bool positive = true;
  bool nocase = false;
  std::uint32_t ref = 0;
  std::vector<node_spec> cond{};
};

typedef std::vector<node_spec> seq;

inline node_spec C(wchar_t c) { return node_spec{node_spec::CHAR, c, 0, {}}; }
inline node_spec A(node_spec::kind k) { return node_spec{k, 0, 0, {}}; }
inline node_spec G(int n, std::vector<seq> alts) { return node_spec{node_spec::GROUP, 0, n, std::move(alts)}; }
inline node_spec Q(node_spec inner, std::uint32_t min, std::uint32_t max, bool greedy = true) {
  node_spec q{node_spec::QUANT, 0, 0, {{std::move(inner)}}};
  q.min = min;
  q.max = max;
  q.greedy = greedy;
  return q;
}
inline node_spec BR(std::uint32_t written, bool nocase = false) {
  node_spec b{node_spec::BACKREF, 0, int(written), {}};
  b.nocase = nocase;
  return b;
}
inline node_spec ATOMIC(int n, std::vector<seq> alts) { return node_spec{node_spec::ATOMIC, 0, n, std::move(alts)}; }
inline node_spec AHEAD(bool positive, std::vector<seq> alts) {
  node_spec a{node_spec::AHEAD, 0, -1, std::move(alts)};
  a.positive = positive;
  return a;
}
inline node_spec BEHIND(bool positive, std::vector<seq> alts) {
  node_spec a{node_spec::BEHIND, 0, -1, std::move(alts)};
  a.positive = positive;
  return a;
}
inline node_spec COND_REF(int n, std::uint32_t ref, std::vector<seq> branches) {
  node_spec c{node_spec::COND_REF, 0, n, std::move(branches)};
  c.ref = ref;
  return c;
}
inline node_spec COND_ASSERT(int n, node_spec assertion, std::vector<seq> branches) {
  node_spec c{node_spec::COND_ASSERT, 0, n, std::move(branches)};
  c.cond.push_back(std::move(assertion));
  return c;
}
inline node_spec RECURSE() { return node_spec{node_spec::RECURSE, 0, 0, {}}; }
inline seq S(const wchar_t *text) {
  seq s;
  for (; *text; ++text) s.push_back(C(*text));
  return s;
}
inline seq operator+(seq a, const seq &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A pattern object whose graph is built from a description instead of text:
// it takes the compiler's place, using the same building operations.
template <class IT>
class graph_pattern : public basic_rpattern_base<IT, perl_syntax<wchar_t>> {
  typedef basic_rpattern_base<IT, perl_syntax<wchar_t>> base;

 public:
  graph_pattern(const std::vector<seq> &top, const hidden_group_list &hidden, pattern_flags flags, match_mode mode)
      : base(std::wstring(), flags, mode) {
    delete this->m_plan.m_pfirst;
    this->m_plan.m_pfirst = nullptr;
    match_group<IT> *g0 = build_group(0, top);
    *g0->next_link() = new (this->m_arena) end_of_pattern<IT>();
    this->m_plan.m_pfirst = g0;
    this->m_plan.m_hidden_groups = hidden;
    this->m_plan.m_cgroups_total = unsigned(m_groups.size());
    this->m_plan.m_cvisible_groups = unsigned(m_groups.size() - hidden.size());
    this->m_plan.m_width = g0->top_width_range(m_groups, this->m_plan.m_hidden_groups);
  }

  match_group<IT> *group(int n) const { return static_cast<match_group<IT> *>(m_groups.at(n)); }

  // Finds candidate start positions with a searcher over `literal`, as the
  // compiler does for a pattern that begins with a literal.
  void use_searcher(const std::wstring &literal, bool anchored) {
    m_literal = literal;
    this->m_plan.m_psearcher = new (this->m_arena) literal_searcher(m_literal.begin(), m_literal.end(), nullptr);
    this->m_plan.m_funanchored = !anchored;
  }

 private:
  match_group<IT> *build_group(int n, const std::vector<seq> &alts) {
    return fill_group(new (this->m_arena) match_group<IT>(n, this->m_arena), alts);
  }

  // Numbers the group, builds its alternatives and gives it the block of
  // the group numbers used inside it (its own included).
  template <class G>
  G *fill_group(G *g, const std::vector<seq> &alts) {
    const int n = g->group_number();
    if (n >= 0) {
      if (m_groups.size() <= std::size_t(n)) m_groups.resize(n + 1, nullptr);
      m_groups[n] = g;
    }
    int lo = n >= 0 ? n : 0x7FFFFFFF, hi = n;
    for (const seq &alt : alts)
      for (const node_spec &s : alt) number_range(s, lo, hi);
    if (hi >= 0) g->set_nested_groups({unsigned(lo), unsigned(hi - lo + 1)});
    g->begin_group();
    for (std::size_t i = 0; i < alts.size(); ++i) {
      if (i) {
        g->end_alternative();
        g->add_alternative();
      }
      for (const node_spec &s : alts[i]) g->append_node(build(s));
    }
    g->close_group(this->m_arena);
    return g;
  }

  static void number_range(const node_spec &s, int &lo, int &hi) {
    if (s.k == node_spec::GROUP || s.k == node_spec::ATOMIC || s.k == node_spec::COND_REF ||
        s.k == node_spec::COND_ASSERT) {
      lo = std::min(lo, s.group);
      hi = std::max(hi, s.group);
    }
    for (const seq &alt : s.alts)
      for (const node_spec &t : alt) number_range(t, lo, hi);
    for (const node_spec &t : s.cond) number_range(t, lo, hi);
  }

  sub_expr<IT> *build(const node_spec &s) {
    arena_allocator<char> &a = this->m_arena;
    switch (s.k) {
      case node_spec::QUANT: {
        node_holder<IT> inner(build(s.alts.at(0).at(0)));
        sub_expr<IT> *q = inner->make_quantifier(s.min, s.max, s.greedy, a);
        inner.release();
        return q;
      }
      case node_spec::BACKREF:
        if (s.nocase) return new (a) match_backref_t<ch_neq_nocase_t<wchar_t>, IT>(std::uint32_t(s.group));
        return new (a) match_backref_t<ch_neq_t<wchar_t>, IT>(std::uint32_t(s.group));
      case node_spec::ATOMIC:
        return fill_group(new (a) independent_group<IT>(s.group, a), s.alts);
      case node_spec::AHEAD:
        return fill_group(new (a) lookahead_assertion<IT>(s.positive, a), s.alts);
      case node_spec::BEHIND:
        return fill_group(new (a) lookbehind_assertion<IT>(s.positive, a), s.alts);
      case node_spec::COND_REF:
        return fill_group(new (a) match_conditional<IT, backref_condition<IT>>(s.group, s.ref, a), s.alts);
      case node_spec::COND_ASSERT: {
        auto *assertion = static_cast<independent_group_base<IT> *>(build(s.cond.at(0)));
        assertion_condition<IT> condition(assertion, a);
        return fill_group(new (a) match_conditional<IT, assertion_condition<IT>>(s.group, std::move(condition), a),
                          s.alts);
      }
      case node_spec::RECURSE:
        return new (a) match_recurse<IT>();
      case node_spec::CHAR:
        return new (a) test_char<IT>(s.ch);
      case node_spec::GROUP:
        return build_group(s.group, s.alts);
      case node_spec::BOS:
        return new (a) assert_op<IT, opwrap_of<bos_t>>();
      case node_spec::BOL:
        return new (a) assert_op<IT, opwrap_of<bol_t>>();
      case node_spec::EOL:
        return new (a) assert_op<IT, opwrap_of<eol_t>>();
      case node_spec::EOS:
        return new (a) assert_op<IT, opwrap_of<eos_t>>();
      case node_spec::PEOS:
        return new (a) assert_op<IT, opwrap_of<peos_t>>();
      case node_spec::WORD_B:
        return new (a) word_assertion_t<IT, word_boundary<true>>();
      case node_spec::NOT_WORD_B:
        return new (a) word_assertion_t<IT, word_boundary<false>>();
      case node_spec::WORD_START:
        return new (a) word_assertion_t<IT, word_start>();
      case node_spec::WORD_STOP:
        return new (a) word_assertion_t<IT, word_stop>();
    }
    return nullptr;
  }

  std::vector<match_group_base<IT> *> m_groups;
  std::wstring m_literal;
};

// A record as offsets into the subject; unmatched records compare equal
// whatever their positions.
struct rec {
  bool matched;
  long first, second;
  bool operator==(const rec &o) const {
    return matched == o.matched && (!matched || (first == o.first && second == o.second));
  }
};
inline rec R(long f, long s) { return rec{true, f, s}; }
inline const rec NONE{false, 0, 0};

inline void PrintTo(const rec &r, std::ostream *os) {
  if (r.matched)
    *os << "[" << r.first << "," << r.second << ")";
  else
    *os << "unmatched";
}

template <class IT>
std::vector<rec> offsets(const std::vector<backref_tag<IT>> &records, IT origin) {
  std::vector<rec> out;
  for (const backref_tag<IT> &r : records)
    out.push_back(r.matched ? rec{true, long(r.first - origin), long(r.second - origin)} : NONE);
  return out;
}

// Records of one run over subject[pos, end) through the pattern's driver.
template <class IT>
std::vector<rec> run_once(const graph_pattern<IT> &pat, const std::wstring &subject, bool nul, std::size_t pos = 0) {
  basic_match_results<IT> results;
  if constexpr (std::is_same_v<IT, SIT>) {
    if (!nul) {
      pat.match(subject, results, pos, std::wstring::npos);
      return offsets(results.m_records, subject.begin());
    }
    pat.run_match(results, subject.begin() + long(pos), subject.end(), true);
    return offsets(results.m_records, subject.begin());
  } else {
    const wchar_t *b = subject.c_str();
    pat.run_match(results, b + pos, b + subject.size(), nul);
    return offsets(results.m_records, b);
  }
}

struct graph_case {
  const char *name;
  std::vector<seq> top;
  hidden_group_list hidden;
  std::wstring subject;
  pattern_flags flags;
  std::vector<rec> expected;
};

// Runs the case in both modes, both subject forms and both subject types;
// every run must give the expected records. The NUL form is skipped for
// subjects that hold a NUL and for RIGHTMOST, which it does not support.
inline void run_everywhere(const graph_case &c) {
  SCOPED_TRACE(c.name);
  const bool nul_ok = c.subject.find(L'\0') == std::wstring::npos && !(c.flags & RIGHTMOST);
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    SCOPED_TRACE(mode == MODE_RECURSIVE ? "recursive" : "iterative");
    graph_pattern<SIT> ps(c.top, c.hidden, c.flags, mode);
    graph_pattern<PIT> pp(c.top, c.hidden, c.flags, mode);
    EXPECT_EQ(run_once(ps, c.subject, false), c.expected) << "string iterator, bounded";
    EXPECT_EQ(run_once(pp, c.subject, false), c.expected) << "pointer, bounded";
    if (nul_ok) {
      EXPECT_EQ(run_once(ps, c.subject, true), c.expected) << "string iterator, NUL-terminated";
      EXPECT_EQ(run_once(pp, c.subject, true), c.expected) << "pointer, NUL-terminated";
    }
  }
}

}  // namespace graph_test

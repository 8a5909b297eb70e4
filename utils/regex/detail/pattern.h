// The compiled pattern behind regex::basic_rpattern: compilation, the
// search plan it produces, and the match drivers.
//
// Layers: basic_rpattern_base (compilation and matching) ->
// basic_rpattern_base_impl (accessors and the swap) -> pattern_state (the
// pattern's texts, its arena and node graph, and the search plan: all that
// compiling derives and every search reads). The state is one value: init
// compiles a pattern on the side and swaps the whole state in, so no member
// is ever swapped on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/text/debug.h"
#include "utils/regex/detail/arena.h"
#include "utils/regex/detail/basics.h"
#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/hetero_stack.h"
#include "utils/regex/detail/literal_searcher.h"
#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/pattern_detail.h"
#include "utils/regex/detail/start_set.h"
#include "utils/regex/flags.h"
#include "utils/regex/results.h"

namespace regex {

template <class CharT>
class perl_syntax;

namespace detail {

// A pattern's arena with its first block takes 1032 bytes, the largest
// request the C library's per-thread cache serves: taking and freeing it
// costs a few dozen instructions instead of a pass through the general heap.
inline constexpr std::size_t pattern_arena_block = 1032 - arena::create_overhead();
// The least heap block of an iterative search's backtracking stack.
inline constexpr std::size_t search_stack_block = 16 * 1024;

// What compiling a pattern derives and every search reads: the node graph's
// entry and shape, and what tells the drivers where a match can start.
template <class IT>
struct search_plan {
  match_group_base<IT> *m_pfirst = nullptr;  // group 0; null until compiled
  node_width m_width = uninit_width();
  bool m_funanchored = true;      // later start positions may match
  bool m_fauto_recursive = true;  // MODE_AUTO may run the recursive driver
  unsigned m_cgroups_total = 0;   // records of a match, hidden groups included
  unsigned m_cvisible_groups = 0;
  hidden_group_list m_hidden_groups;
  const literal_searcher *m_psearcher = nullptr;  // the pattern begins with a literal
  unsigned m_cmemo_points = 0;                    // loops of the failure memo
  // What a match must begin with (null: anything), and a literal it must
  // contain (absent: none found).
  const start_set *m_pstart_set = nullptr;
  required_literal m_required;
  bool m_fword_edge = false;   // the pattern begins with \b
  bool m_fline_start = false;  // it begins with ^ under LINEANCHORS: it matches only at line starts
  // The characters at offsets 1 to m_cprefix - 1 of every match (a
  // fixed-width beginning), offset i in m_pprefix[i - 1]; offset 0 is the
  // start set's.
  const start_set *m_pprefix = nullptr;
  std::size_t m_cprefix = 0;
  // The pattern begins with a run whose failed start also fails every
  // later start inside the run (null: it does not).
  const sub_expr<IT> *m_plead_run = nullptr;
};

// Runs the destructor of a string whose memory belongs to an arena.
struct destroy_in_arena {
  void operator()(std::wstring *p) const { p->~basic_string(); }
};

// Everything a compiled pattern holds, as one value: swapping two of them
// swaps two patterns. The arena handle does not own the arena; the pattern
// that holds the state destroys it.
template <class IT>
struct pattern_state {
  pattern_state(pattern_flags flags, match_mode mode)
      // Blocks of about 1 KiB hold the few dozen nodes of a typical
      // pattern in one or two allocations, which keeps compiling cheap; a
      // larger node still gets a block of its own.
      : m_arena(pattern_arena_block, std::allocator<char>()), m_flags(flags), m_mode(mode) {}

  arena_allocator<char> m_arena;
  bool m_fsubst_backrefs = false;  // the substitution refers to groups
  pattern_flags m_flags;
  match_mode m_mode;
  std::uint64_t m_step_budget = default_step_budget;
  std::unique_ptr<std::wstring, destroy_in_arena> m_pattern;
  std::unique_ptr<std::wstring> m_subst;
  std::list<subst_node> m_subst_list;
  search_plan<IT> m_plan;
};

// A compiled pattern's state, its accessors and the swap.
template <class IT, class SyntaxT>
class basic_rpattern_base_impl : protected pattern_state<IT> {
  typedef pattern_state<IT> state;

 public:
  typedef IT iterator_type;
  typedef backref_tag<IT> backref_type;
  typedef std::list<subst_node> subst_list_type;

  basic_rpattern_base_impl(const basic_rpattern_base_impl &) = delete;
  basic_rpattern_base_impl &operator=(const basic_rpattern_base_impl &) = delete;

  virtual ~basic_rpattern_base_impl() {
    // The graph is not walked: node destructors free nothing and hold no
    // other resource, and the nodes' memory goes with the arena.
    this->m_plan.m_pfirst = nullptr;
    this->m_pattern.reset();
    this->m_subst.reset();
    if (this->m_arena.get_arena()) this->m_arena.destroy_arena();
  }

  pattern_flags flags() const { return this->m_flags; }
  unsigned _cgroups_total() const { return this->m_plan.m_cgroups_total; }
  unsigned visible_group_count() const { return this->m_plan.m_cvisible_groups; }
  const match_group_base<IT> *first_node() const { return this->m_plan.m_pfirst; }
  node_width pattern_width() const { return this->m_plan.m_width; }
  bool is_unanchored() const { return this->m_plan.m_funanchored; }
  const std::wstring &substitution() const {
    static const std::wstring none;
    return this->m_subst ? *this->m_subst : none;
  }
  const std::wstring &pattern_text() const { return *this->m_pattern; }
  const search_plan<IT> &plan() const { return this->m_plan; }
  const literal_searcher *searcher() const { return this->m_plan.m_psearcher; }
  const hidden_group_list &hidden_groups() const { return this->m_plan.m_hidden_groups; }
  match_mode mode() const { return this->m_mode; }
  unsigned memo_points() const { return this->m_plan.m_cmemo_points; }

  // Backtracking steps one search may take before it is abandoned with
  // regex::search_budget_exceeded (default: default_step_budget).
  std::uint64_t step_budget() const { return this->m_step_budget; }
  void set_step_budget(std::uint64_t steps) { this->m_step_budget = steps; }

  unsigned next_group_number() { return this->m_plan.m_cgroups_total++; }

  bool use_recursion() const {
    if (this->m_mode == MODE_RECURSIVE) return true;
    if (this->m_mode == MODE_AUTO) return this->m_plan.m_fauto_recursive;
    return false;
  }
  bool keep_group_records() const { return this->m_fsubst_backrefs || !(this->m_flags & DISCARDGROUPS); }

  // Swaps every part of two patterns at once; the texts keep their
  // addresses (they move with their owners).
  void swap(basic_rpattern_base_impl &that) noexcept {
    using std::swap;
    swap(static_cast<state &>(*this), static_cast<state &>(that));
  }

 protected:
  basic_rpattern_base_impl(pattern_flags flags, match_mode mode, const std::wstring &pat, const std::wstring &subst)
      : state(flags, mode) {
    // The handle owns the arena from here; a throwing text copy must not leak it.
    try {
      // The text's string object lives in the arena: one heap allocation
      // less per pattern. Its characters stay on the heap.
      this->m_pattern.reset(::new (this->m_arena.allocate_bytes(sizeof(std::wstring), alignof(std::wstring)))
                                std::wstring(pat));
      // A pattern without substitution text keeps none.
      if (!subst.empty()) this->m_subst.reset(new std::wstring(subst));
    } catch (...) {
      this->m_arena.destroy_arena();
      throw;
    }
  }
};

template <class IT, class SyntaxT>
class basic_rpattern_base : public basic_rpattern_base_impl<IT, SyntaxT> {
  typedef basic_rpattern_base_impl<IT, SyntaxT> impl;
  static constexpr bool string_subject = std::is_same_v<IT, std::wstring::const_iterator>;

 public:
  typedef backref_tag<IT> backref_type;
  typedef basic_match_results<IT> results_type;
  typedef basic_subst_results<IT> subst_results_type;
  typedef match_param<IT> param_type;

  basic_rpattern_base(const std::wstring &pat, pattern_flags flags, match_mode mode)
      : impl(flags, mode, pat, std::wstring()) {
    compile(this->m_flags);
  }
  basic_rpattern_base(const std::wstring &pat, const std::wstring &subst, pattern_flags flags, match_mode mode)
      : impl(flags, mode, pat, subst) {
    compile(this->m_flags);
    if (this->m_subst && (this->m_flags & EXPANDESCAPES)) expand_escapes(*this->m_subst);
    parse_substitution(this->substitution(), this->m_fsubst_backrefs, this->m_subst_list);
  }
  ~basic_rpattern_base() override {}

  void set_substitution(const std::wstring &subst) {
    std::unique_ptr<std::wstring> text(new std::wstring(subst));
    if (this->m_flags & EXPANDESCAPES) expand_escapes(*text);
    bool backrefs = false;
    typename impl::subst_list_type list;
    parse_substitution(*text, backrefs, list);
    this->m_subst.swap(text);
    std::swap(this->m_fsubst_backrefs, backrefs);
    this->m_subst_list.swap(list);
  }

  // Matches subject[pos, pos + len), cut at the subject's end (npos: to the end); returns
  // record 0 or, without a match, empty_backref. A pos beyond the subject
  // throws std::out_of_range.
  const backref_type &match(const std::wstring &subject, results_type &results, std::size_t pos = 0,
                            std::size_t len = std::wstring::npos) const requires string_subject {
    const std::size_t end = range_end(subject.size(), pos, len);
    return match(subject.begin() + std::ptrdiff_t(pos), subject.begin() + std::ptrdiff_t(end), results);
  }
  const backref_type &match(IT ibegin, IT iend, results_type &results) const requires string_subject {
    if (run_match(results, ibegin, iend, false)) return results.m_records[0];
    return empty_backref<IT>;
  }

  // Replaces the first match in subject[pos, pos + len) (npos: to the
  // end), or every match under ALLMATCHES, by the substitution text's
  // expansion; returns the number of replacements. Matching always runs
  // over the subject as it was, so a replacement is never matched again
  // and anchors and look-behinds see the original text. The records follow
  // the keep flags and refer to results.m_text, the original subject, when
  // keep_group_records(); DISCARDGROUPS leaves none. The subject changes
  // only once every replacement is built: on an exception it is unchanged.
  // A pos beyond the subject throws std::out_of_range.
  std::size_t substitute(std::wstring &subject, subst_results_type &results, std::size_t pos = 0,
                         std::size_t len = std::wstring::npos) const requires string_subject;

  // Cuts subject[pos, pos + len) at the matches into pieces (cleared
  // first), adding the text of every capturing group that took part in a
  // match after the piece before it; returns pieces.size(). limit n > 0
  // makes at most n - 1 cuts, 0 cuts freely and drops empty strings at the
  // end, a negative limit cuts freely and keeps them. A pos beyond the
  // subject throws std::out_of_range.
  std::size_t split(const std::wstring &subject, std::vector<std::wstring> &pieces, int limit = 0, std::size_t pos = 0,
                    std::size_t len = std::wstring::npos) const requires string_subject;
  std::size_t split(IT ibegin, IT iend, std::vector<std::wstring> &pieces, int limit) const requires string_subject;

  // One match call over [ibegin, iend), or with nul over the subject that
  // ends at the first NUL from ibegin (iend is not read). That end is found
  // first: the failure memo indexes positions up to the subject's end, so
  // both forms are bounded alike.
  bool run_match(results_type &results, IT ibegin, IT iend, bool nul) const {
    if (nul) iend = nul_end(ibegin);
    results.m_ibegin = ibegin;
    param_type param(ibegin, ibegin, iend, nullptr, 0);
    if (!(this->m_flags & ALLMATCHES)) return match_guarded(param, results.m_records, nul);
    match_all(param, results.m_records, nul, [] {});
    return !results.m_records.empty();
  }

  // The all-matches loop: matches from param.m_istart on until no match is
  // left, calling on_match() while records hold the current match. An
  // empty match is never taken twice at one place. Afterwards records hold
  // what the keep flags ask for: the whole match of every match
  // (KEEPWHOLEMATCHES), all records of every match (KEEPALLGROUPS), or the
  // records of the last match; nothing when nothing matched.
  template <class OnMatch>
  void match_all(param_type &param, std::vector<backref_type> &records, bool nul, OnMatch on_match) const {
    const bool keep_whole = (this->m_flags & KEEPWHOLEMATCHES) != 0;
    const bool keep_all = !keep_whole && (this->m_flags & KEEPALLGROUPS) != 0;
    std::vector<backref_type> kept;
    match_stack stack(search_stack_block);  // takes memory on its first push only
    struct keep {
      param_type &p;
      ~keep() { p.m_pkept_stack = nullptr; }
    } on_exit{param};
    param.m_pkept_stack = &stack;
    while (match_guarded(param, records, nul)) {
      on_match();
      const backref_type whole = records[0];
      if (keep_whole)
        kept.push_back(whole);
      else if (keep_all)
        kept.insert(kept.end(), records.begin(), records.end());
      else
        kept.swap(records);
      param.m_istart = whole.second;
      param.m_fno_empty_match = whole.first == whole.second;
    }
    records.swap(kept);
  }

  // One guarded match: sizes the records, runs the search in the pattern's
  // mode and removes the hidden groups' records. When the recursive mode
  // spends its depth budget, the same search runs again iteratively.
  // param.m_iend is the subject's end in both forms.
  bool match_guarded(param_type &param, std::vector<backref_type> &records, bool nul) const {
    records.resize(this->_cgroups_total());
    param.m_prgbackrefs = records.data();
    param.m_cbackrefs = std::uint32_t(records.size());
    search_state<IT> state(this->m_step_budget, this->m_plan.m_cmemo_points, param.m_istart, param.m_iend);
    struct detach {
      param_type &p;
      ~detach() { p.m_psearch = nullptr; }
    } on_exit{param};
    param.m_psearch = &state;
    bool result;
    try {
      if (this->use_recursion()) {
        const param_type saved = param;
        try {
          result = search(*this, param, nul);
        } catch (const recursion_budget_spent &) {
          param = saved;
          result = search_iterative(*this, param, nul);
        }
      } else {
        result = search_iterative(*this, param, nul);
      }
    } catch (...) {
      remove_hidden_groups(records, this->m_plan.m_hidden_groups);
      throw;
    }
    remove_hidden_groups(records, this->m_plan.m_hidden_groups);
    return result;
  }

  // Tries start positions until the pattern matches; the result is record
  // 0's matched. Recursive when param.m_pstack is null, else iterative.
  static bool search(const basic_rpattern_base &pat, param_type &param, bool nul) {
    typedef bool (*attempt_fn)(const match_group_base<IT> *, param_type &, IT);
    const bool unanchored = pat.is_unanchored();
    const pattern_flags flags = pat.flags();
    const node_width width = pat.pattern_width();
    ASSERT(0 != param.m_prgbackrefs);
    ASSERT(param.m_cbackrefs == pat._cgroups_total());
    param.m_ptopgroup = pat.first_node();
    for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) param.m_prgbackrefs[i] = empty_backref<IT>;
    const match_group_base<IT> *top = param.m_ptopgroup;
    if (!top || param.m_cbackrefs == 0) return false;
    attempt_fn attempt = param.m_pstack ? (nul ? &match_iterative_nul : &match_iterative)
                                        : (nul ? &match_recursive_nul : &match_recursive);
    if (!nul) {
      if (std::uint64_t(param.m_iend - param.m_istart) < width.m_min) return false;
      const IT last = param.m_iend - std::ptrdiff_t(width.m_min);
      required_tracker required{pat.plan().m_required, param.m_iend};
      if (flags & RIGHTMOST) {
        // m_fno_empty_match is kept for the whole backward walk: it can
        // only refuse the attempt at m_istart, the place of the previous
        // empty match, so an all-matches loop always moves on.
        if (!required.allows(param.m_istart)) return false;
        for (IT p = last;; --p) {
          if (attempt(top, param, p) || p == param.m_istart) break;
        }
      } else if (pat.searcher()) {
        for (IT s = pat.searcher()->find(param.m_istart, param.m_iend); s != param.m_iend;
             s = pat.searcher()->find(s + 1, param.m_iend)) {
          if (!required.allows(s) || attempt(top, param, s) || !unanchored) break;
          end_empty_refusal(param);
        }
      } else if (!unanchored) {
        if (required.allows(param.m_istart)) attempt(top, param, param.m_istart);
      } else if (pat.plan().m_fline_start) {
        // The pattern begins with a line anchor: only line starts are tried.
        for (IT p = param.m_istart;;) {
          if ((p == param.m_ibegin || p[-1] == L'\n') && (!required.allows(p) || attempt(top, param, p))) break;
          if (p == last) break;
          end_empty_refusal(param);
          p = find_line_feed(p, last);
          if (p == last) break;
          ++p;
        }
      } else if (const start_set *first = pat.plan().m_pstart_set) {
        // Only positions whose character can begin a match are tried.
        const word_edge edge{pat.plan().m_fword_edge, param.m_ibegin, param.m_iend};
        const start_set *prefix = pat.plan().m_pprefix;
        const std::size_t count = pat.plan().m_cprefix;
        // A position is a candidate when its character and the ones after
        // it fit the fixed beginning (all lie before m_iend: p <= last).
        auto rest_fits = [&](IT p) {
          if (!edge.holds(p)) return false;
          for (std::size_t i = 1; i < count; ++i)
            if (!prefix[i - 1].admits(p[std::ptrdiff_t(i)])) return false;
          return true;
        };
        auto candidate = [&](IT p) { return first->admits(*p) && rest_fits(p); };
        const sub_expr<IT> *lead = pat.plan().m_plead_run;
        for (IT p = param.m_istart;; ++p) {
          for (;;) {
            p = first->skip(p, last);
            if (p == last || rest_fits(p)) break;
            // Inside a word no position is a word edge.
            const bool in_word = edge.active && p != param.m_iend && edge.word->in(*p);
            ++p;
            if (in_word)
              while (p != last && edge.word->in(*p)) ++p;
          }
          if (p == param.m_iend || !candidate(p) || !required.allows(p) || attempt(top, param, p) || p == last) break;
          end_empty_refusal(param);
          // Every start up to the end of the failed run fails the same way:
          // the run ends there too, before the same rest of the pattern.
          if (lead) {
            const IT end = lead->run_end(param, p);
            if (end >= last) break;
            if (end > p) p = end;
          }
        }
      } else {
        const word_edge edge{pat.plan().m_fword_edge, param.m_ibegin, param.m_iend};
        for (IT p = param.m_istart;; ++p) {
          if ((edge.holds(p) && (!required.allows(p) || attempt(top, param, p))) || p == last) break;
          end_empty_refusal(param);
        }
      }
    } else {
      ASSERT(0 == (RIGHTMOST & flags));
      for (IT p = param.m_istart;; ++p) {
        if (attempt(top, param, p) || !unanchored || *p == L'\0') break;
        end_empty_refusal(param);
      }
    }
    return param.m_prgbackrefs[0].matched;
  }

 private:
  // The first line feed in [p, last), or last.
  static IT find_line_feed(IT p, IT last) {
    const wchar_t *b = &*p;
    const wchar_t *f = std::wmemchr(b, L'\n', std::size_t(last - p));
    return f ? p + (f - b) : last;
  }

  static IT nul_end(IT p) {
    while (*p != L'\0') ++p;
    return p;
  }

  // Whether a position lies at a word edge, for a pattern that begins with
  // \b (always true for the others).
  struct word_edge {
    bool active;
    IT begin;
    IT end;
    const charset *word = intrinsic_charsets::get_word_charset();

    bool holds(IT p) const {
      if (!active) return true;
      const bool current = p != end && word->in(*p);
      const bool previous = p != begin && word->in(*(p - 1));
      return current != previous;
    }
  };

  // The next occurrence of the required literal, searched again only once
  // the start positions have passed the last one found.
  struct required_tracker {
    const required_literal &lit;
    IT end;
    IT found{};
    bool searched = false;

    bool allows(IT p) {
      if (!lit.present()) return true;
      if (!searched || found < p) {
        found = lit.find(p, end);
        searched = true;
      }
      return found != end;
    }
  };

  // The refusal of an empty match at the first start position ends when
  // the search moves on; failures the memo noted under it are dropped.
  static void end_empty_refusal(param_type &param) {
    if (param.m_fno_empty_match && param.m_psearch) param.m_psearch->m_memo.end_provisional();
    param.m_fno_empty_match = false;
  }

  // The search over a hetero_stack of its own. Only look-arounds and atomic
  // groups nest native calls in this mode; when recursion nests them deeper
  // than the thread's stack allows, the search is abandoned.
  static bool search_iterative(const basic_rpattern_base &pat, param_type &param, bool nul) {
    try {
      return search_iterative_unguarded(pat, param, nul);
    } catch (const recursion_budget_spent &) {
      for (std::uint32_t i = 0; i < param.m_cbackrefs; ++i) param.m_prgbackrefs[i] = empty_backref<IT>;
      throw search_budget_exceeded("regex: nesting budget exceeded");
    }
  }
  static bool search_iterative_unguarded(const basic_rpattern_base &pat, param_type &param, bool nul) {
    match_stack own(search_stack_block);
    match_stack &stack = param.m_pkept_stack ? *param.m_pkept_stack : own;
    struct detach {
      param_type &p;
      ~detach() { p.m_pstack = nullptr; }
    } on_exit{param};
    param.m_pstack = &stack;
    return search(pat, param, nul);
  }

  static bool match_recursive(const match_group_base<IT> *top, param_type &param, IT pos) {
    return top->match_chain(param, pos);
  }
  static bool match_recursive_nul(const match_group_base<IT> *top, param_type &param, IT pos) {
    return top->match_chain_nul(param, pos);
  }
  static bool match_iterative(const match_group_base<IT> *top, param_type &param, IT pos) {
    return run_iterative<IT>(top, param, pos);
  }
  static bool match_iterative_nul(const match_group_base<IT> *top, param_type &param, IT pos) {
    return run_iterative_nul<IT>(top, param, pos);
  }

 protected:
  typedef std::wstring::iterator pattern_iterator;
  typedef std::vector<match_group_base<IT> *> group_table;

  // Working state of one compilation: the group table, every group loop
  // built with the loops around it, whether the outcome of a search from a
  // position can depend on captures (back-references, group conditions,
  // recursion), and the nesting depth of the group being parsed.
  struct compile_state {
    struct loop {
      group_quantifier<IT> *node;
      std::vector<group_quantifier<IT> *> enclosing;
      bool behind;  // inside a look-behind body, whose subject ends elsewhere each time
    };
    // Pointers kept in place while they are few, so compiling a small
    // pattern allocates nothing for them.
    struct short_list {
      sub_expr<IT> *first[8];
      std::size_t count = 0;
      std::vector<sub_expr<IT> *> more;

      void push_back(sub_expr<IT> *p) {
        if (count < 8)
          first[count++] = p;
        else
          more.push_back(p);
      }
      template <class F>
      void each(F f) const {
        for (std::size_t i = 0; i < count; ++i) f(first[i]);
        for (sub_expr<IT> *p : more) f(p);
      }
    };
    explicit compile_state(group_table &table) : groups(table) {}

    group_table &groups;
    std::vector<loop> loops;
    short_list atom_loops;
    bool position_only = true;
    unsigned depth = 0;
  };

  // Turns the pattern text into the node graph: group 0, then the
  // end-of-pattern node; records the first node, the width and whether
  // later start positions may match. Throws bad_regexpr for a bad pattern.
  void compile(pattern_flags flags);

  // The pattern parser (parser.cpp). Positions walk the pattern's own
  // text, which literal runs may shorten under FREESPACING.
  //
  // Parses one group from just after its '(' (or the whole pattern as
  // group 0) up to and after its ')'; null when the parenthesis yields no
  // group node (comments, inline modifiers, empty extensions).
  match_group_base<IT> *parse_group(pattern_iterator &ipat, match_group_base<IT> *enclosing, SyntaxT &syntax,
                                    compile_state &cs);
  // Adds the next atom of a group's body; false once the group has ended.
  bool parse_atom(pattern_iterator &ipat, match_group_base<IT> *group, SyntaxT &syntax, compile_state &cs);
  // Adds a run of plain characters as one literal, splitting off the last
  // character when a quantifier follows it.
  void parse_literal_run(pattern_iterator &ipat, match_group_base<IT> *group, SyntaxT &syntax, compile_state &cs);
  // Wraps the held atom in a quantifier node when one follows at ipat. A
  // group loop becomes the enclosing loop of the loops built from
  // cs.loops[inner_loops] on (those inside the group).
  void parse_quantifier(node_holder<IT> &atom, pattern_iterator &ipat, bool is_group, SyntaxT &syntax,
                        compile_state &cs, std::size_t inner_loops);
  // Makes the unbounded loops whose outcome depends on the position alone
  // the memo points of the search's failure memo.
  void assign_memo_points(compile_state &cs);
  // The start analysis of the finished graph: the atom quantifiers settle,
  // then what a match begins with and a literal it must contain.
  void analyse_start(compile_state &cs);
  // The atom of an escape; ipat stands after the backslash.
  sub_expr<IT> *parse_escape(pattern_iterator &ipat, SyntaxT &syntax);

  // Parses a substitution text into its pieces.
  void parse_substitution(const std::wstring &subst, bool &backrefs, typename impl::subst_list_type &list) const;
};

typedef basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>> rpattern_engine;

extern template class basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>;
extern template class basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>>;

}  // namespace detail
}  // namespace regex

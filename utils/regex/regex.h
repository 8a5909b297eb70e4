// The regular-expression engine: a backtracking matcher with Perl syntax over
// wide characters. This is its only header for code outside the engine.
//
// SYNTAX
//   Literals and "\" + punctuation; "." (any but "\n"; with DOTALL anything);
//   [...] and [^...] with ranges, \d \w \s \D \W \S, POSIX [:alpha:] ... and
//   [:^alpha:]; "|" (leftmost first); (...) capturing, (?:...), (?>...) atomic,
//   (?=...) (?!...) (?<=...) (?<!...) of any width; (?imsx-imsx) and
//   (?imsx-imsx:...); (?#...); (?(n)yes|no) and (?(?=...)yes|no) with any
//   look-around as condition; (?R) for the whole pattern (atomic: a pass is
//   not retried); \1 ... \999 back-references; * + ? {n} {n,} {n,m} {,m}, each
//   lazy with a following "?"; ^ $ \A \Z \z \b \B; \Q...\E; \e \cX \0oo \xHH,
//   and with EXPANDESCAPES \a \f \n \r \t as control characters.
//   Not supported: named groups, possessive quantifiers, \g, \K, \p{...},
//   \x{...}, (*VERBS), code blocks. Classification and case folding below 256
//   are ASCII's; from 256 up the platform's Unicode tables.
//
// FLAGS (regex::pattern_flags, combined with |)
//   IGNORECASE (i)  ALLMATCHES  LINEANCHORS (m)  DOTALL (s)  RIGHTMOST
//   DISCARDGROUPS  KEEPWHOLEMATCHES  KEEPALLGROUPS  EXPANDESCAPES
//   FREESPACING (x). The letters are also inline modifiers.
//
// THE TWO DRIVERS (regex::match_mode)
//   MODE_RECURSIVE: nodes call each other; a search that runs out of depth or
//   stack runs again iteratively, so the answer never depends on the stack.
//
//     const regex::rpattern pat(L"charset=(.+)", regex::IGNORECASE, regex::MODE_RECURSIVE);
//     regex::match_results results;
//     if (pat.match(headers, results).matched) name = results.m_records[1].str();
//
//   MODE_ITERATIVE: a backtracking stack on the heap takes the place of
//   recursion; any depth that memory allows, recursion (?R) included.
//
//     const regex::rpattern balanced(L"a(?:(?R)|)b", regex::NOFLAGS, regex::MODE_ITERATIVE);
//     balanced.match(std::wstring(1000000, L'a') + std::wstring(1000000, L'b'), results);
//
//   MODE_AUTO picks the recursive driver unless the pattern recurses or
//   repeats a group more than 16 times. substitute() and split() run on the
//   same drivers.
//
// BOUNDED WORK
//   A search never takes exponential time where only the position can tell
//   two attempts apart: it remembers the loop states known to fail. Every
//   search also has a step budget (default regex::default_step_budget
//   backtracking steps, settable per pattern with set_step_budget); a search
//   that spends it throws regex::search_budget_exceeded, which is neither a
//   match nor a proof that there is none. Groups nested deeper than a
//   thousand levels make the pattern a regex::bad_regexpr.
//
// ERRORS
//   regex::bad_regexpr (std::invalid_argument): a bad pattern or substitution
//   text, with a fixed English message. regex::search_budget_exceeded
//   (std::runtime_error): a search abandoned on its budget. std::out_of_range:
//   a start position beyond the subject. std::bad_alloc passes through.
//
// THREADS
//   A compiled pattern is read-only while it matches: any number of threads
//   may call match, substitute and split on one pattern at once, each with its
//   own results object. init, set_substitution, set_step_budget and swap need
//   the pattern to themselves.
//
// OWNERSHIP
//   A pattern owns its pattern text, its substitution text and its node graph
//   (in an arena freed with the pattern); it cannot be copied, since the graph
//   points into its own text. match_results hold positions into the subject:
//   the caller keeps the subject alive while it reads them. subst_results
//   keep a copy of the original subject when they keep group records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "utils/regex/flags.h"
#include "utils/regex/results.h"

namespace regex {

template <class CharT>
class perl_syntax;

namespace detail {
template <class IT, class SyntaxT>
class basic_rpattern_base;
}  // namespace detail

// A compiled pattern (regex::rpattern) over subjects walked by IT.
template <class IT, class SyntaxT>
class basic_rpattern {
 public:
  typedef backref_tag<IT> backref_type;
  typedef basic_match_results<IT> results_type;
  typedef basic_subst_results<IT> subst_results_type;

  // Compiles pat (and the substitution text subst); a bad one throws
  // regex::bad_regexpr.
  basic_rpattern(const std::wstring &pat, pattern_flags flags, match_mode mode);
  basic_rpattern(const std::wstring &pat, const std::wstring &subst, pattern_flags flags, match_mode mode);
  basic_rpattern(const basic_rpattern &) = delete;
  basic_rpattern &operator=(const basic_rpattern &) = delete;
  ~basic_rpattern();

  // Re-initialisation with the strong guarantee: the new pattern is
  // compiled on the side and takes the place of the old one (the step
  // budget returns to its default).
  void init(const std::wstring &pat, pattern_flags flags, match_mode mode);
  void init(const std::wstring &pat, const std::wstring &subst, pattern_flags flags, match_mode mode);
  // A new substitution text; a bad one throws and keeps the old one.
  void set_substitution(const std::wstring &subst);
  void swap(basic_rpattern &that) noexcept;

  // Matches subject[pos, pos + len), cut at the subject's end (npos: to the
  // end); returns record 0 or, without a match, a record whose matched is
  // false. A pos beyond the subject throws std::out_of_range.
  const backref_type &match(const std::wstring &subject, results_type &results, std::size_t pos = 0,
                            std::size_t len = std::wstring::npos) const;
  const backref_type &match(IT ibegin, IT iend, results_type &results) const;

  // Replaces the first match in subject[pos, pos + len) (npos: to the
  // end), or every match under ALLMATCHES, by the substitution text's
  // expansion; returns the number of replacements. Matching always runs
  // over the subject as it was, so a replacement is never matched again
  // and anchors and look-behinds see the original text. The records follow
  // the keep flags and refer to results.m_text, the original subject, when
  // group records are kept; DISCARDGROUPS without a group reference in the
  // substitution leaves none. The subject changes only once every
  // replacement is built: on an exception it is unchanged.
  std::size_t substitute(std::wstring &subject, subst_results_type &results, std::size_t pos = 0,
                         std::size_t len = std::wstring::npos) const;

  // Cuts subject[pos, pos + len) at the matches into pieces (cleared
  // first), adding the text of every capturing group that took part in a
  // match after the piece before it; returns pieces.size(). limit n > 0
  // makes at most n - 1 cuts, 0 cuts freely and drops empty strings at the
  // end, a negative limit cuts freely and keeps them.
  std::size_t split(const std::wstring &subject, std::vector<std::wstring> &pieces, int limit = 0, std::size_t pos = 0,
                    std::size_t len = std::wstring::npos) const;
  std::size_t split(IT ibegin, IT iend, std::vector<std::wstring> &pieces, int limit) const;

  pattern_flags flags() const;
  match_mode mode() const;
  // Capturing groups, group 0 included.
  unsigned visible_group_count() const;
  const std::wstring &pattern_text() const;
  const std::wstring &substitution() const;  // empty when none was given

  // Backtracking steps one search may take before it is abandoned with
  // regex::search_budget_exceeded (default: default_step_budget).
  std::uint64_t step_budget() const;
  void set_step_budget(std::uint64_t steps);

 private:
  typedef detail::basic_rpattern_base<IT, SyntaxT> engine;
  engine &get() noexcept;
  const engine &get() const noexcept;

  // The compiled pattern is built in place: compiling a pattern takes no
  // heap block more than the compilation itself needs. pattern.cpp checks
  // that the engine fits.
  static constexpr std::size_t engine_size = 256;
  alignas(std::max_align_t) unsigned char m_engine[engine_size];
};

typedef basic_rpattern<std::wstring::const_iterator, perl_syntax<wchar_t>> rpattern;

extern template class basic_rpattern<std::wstring::const_iterator, perl_syntax<wchar_t>>;

}  // namespace regex

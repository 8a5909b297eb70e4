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

#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"

// Runs one compiled pattern over a subject in every way the engine offers
// (string and pointer positions, recursive and iterative mode, bounded and
// NUL-terminated subjects) and reports the first match as offsets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"
#include "utils/regex/regex.h"

namespace regex_test {

// One group of a match: -1/-1 when the group did not take part.
struct span {
  long begin = -1;
  long end = -1;
  bool operator==(const span &that) const { return begin == that.begin && end == that.end; }
};

// The groups of the first match (empty vector: no match).
typedef std::vector<span> match_spans;

enum class road {
  string_recursive,
  string_iterative,
  string_nul,  // NUL-terminated, recursive
  pointer_recursive,
  pointer_iterative,
  pointer_nul  // NUL-terminated, iterative
};

inline constexpr road every_road[] = {road::string_recursive,  road::string_iterative,  road::string_nul,
                                      road::pointer_recursive, road::pointer_iterative, road::pointer_nul};

inline const char *road_name(road r) {
  switch (r) {
    case road::string_recursive:
      return "string/recursive";
    case road::string_iterative:
      return "string/iterative";
    case road::string_nul:
      return "string/nul";
    case road::pointer_recursive:
      return "pointer/recursive";
    case road::pointer_iterative:
      return "pointer/iterative";
    case road::pointer_nul:
      return "pointer/nul";
  }
  return "?";
}

template <class IT>
match_spans spans_of(const std::vector<regex::backref_tag<IT>> &records, IT origin) {
  match_spans out;
  for (const auto &r : records) {
    span s;
    if (r.matched) {
      s.begin = long(r.first - origin);
      s.end = long(r.second - origin);
    }
    out.push_back(s);
  }
  return out;
}

// "(b,e)" per group ("(-1,-1)" for one that took no part), or "no match".
inline std::string spans_text(const match_spans &m) {
  if (m.empty()) return "no match";
  std::string out;
  for (const span &s : m) out += "(" + std::to_string(s.begin) + "," + std::to_string(s.end) + ")";
  return out;
}

// The groups written "b-e" each, "x" for a group that took no part,
// separated by blanks; "" is no match.
inline match_spans spans_from_text(const std::string &text) {
  match_spans out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t end = std::min(text.find(' ', i), text.size());
    const std::string item = text.substr(i, end - i);
    span s;
    if (item != "x") {
      const std::size_t dash = item.find('-');
      s.begin = std::stol(item.substr(0, dash));
      s.end = std::stol(item.substr(dash + 1));
    }
    out.push_back(s);
    i = end + 1;
  }
  return out;
}

// Compiles and matches; throws what the compiler throws.
inline match_spans run_first_match(const std::wstring &pattern, regex::pattern_flags flags, const std::wstring &subject,
                                   road r) {
  using namespace regex;
  if (r == road::string_recursive || r == road::string_iterative) {
    rpattern pat(pattern, flags & ~ALLMATCHES, r == road::string_recursive ? MODE_RECURSIVE : MODE_ITERATIVE);
    match_results results;
    if (!pat.match(subject, results, 0, std::wstring::npos).matched) return {};
    return spans_of(results.m_records, subject.begin());
  }
  if (r == road::string_nul) {
    detail::rpattern_engine pat(pattern, flags & ~ALLMATCHES, MODE_RECURSIVE);
    match_results results;
    if (!pat.run_match(results, subject.begin(), subject.end(), true)) return {};
    return spans_of(results.m_records, subject.begin());
  }
  typedef detail::basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>> ppattern;
  ppattern pat(pattern, flags & ~ALLMATCHES, r == road::pointer_recursive ? MODE_RECURSIVE : MODE_ITERATIVE);
  basic_match_results<const wchar_t *> results;
  const wchar_t *b = subject.c_str();
  if (!pat.run_match(results, b, b + subject.size(), r == road::pointer_nul)) return {};
  return spans_of(results.m_records, b);
}

}  // namespace regex_test

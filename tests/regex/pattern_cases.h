// Patterns compiled from text, each matched on every road of the matcher
// (regex_run.h); the groups of the first match must be the expected ones.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex_run.h"

namespace regex_test {

struct pattern_case {
  const wchar_t *pattern;
  std::wstring subject;
  std::vector<span> expected;  // empty: no match
  regex::pattern_flags flags = regex::NOFLAGS;
};

inline span P(long b, long e) { return span{b, e}; }
inline const span PX{};  // a group that did not take part

inline void PrintTo(const span &s, std::ostream *os) {
  if (s.begin < 0)
    *os << "x";
  else
    *os << "[" << s.begin << "," << s.end << ")";
}

// Matches pattern over subject on every road; each must give the expected
// groups of the first match. The NUL-terminated roads are left out for a
// subject that holds a NUL.
inline void expect_on_every_road(const std::wstring &pattern, regex::pattern_flags flags, const std::wstring &subject,
                                 const match_spans &expected) {
  SCOPED_TRACE(testing::Message() << "pattern " << testing::PrintToString(pattern) << " flags " << unsigned(flags)
                                  << " subject " << testing::PrintToString(subject));
  const bool holds_nul = subject.find(L'\0') != std::wstring::npos;
  for (road r : every_road) {
    if (holds_nul && (r == road::string_nul || r == road::pointer_nul)) continue;
    EXPECT_EQ(run_first_match(pattern, flags, subject, r), expected) << road_name(r);
  }
}

inline void run_pattern_cases(const std::vector<pattern_case> &cases) {
  for (const pattern_case &c : cases) expect_on_every_road(c.pattern, c.flags, c.subject, c.expected);
}

}  // namespace regex_test

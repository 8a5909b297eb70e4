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

inline void run_pattern_cases(const std::vector<pattern_case> &cases) {
  for (const pattern_case &c : cases) {
    SCOPED_TRACE(testing::Message() << "pattern " << testing::PrintToString(std::wstring(c.pattern)) << " subject "
                                    << testing::PrintToString(c.subject));
    for (road r : {road::string_recursive, road::string_iterative, road::pointer_recursive, road::pointer_iterative,
                   road::pointer_nul}) {
      EXPECT_EQ(run_first_match(c.pattern, c.flags, c.subject, r), c.expected) << road_name(r);
    }
  }
}

}  // namespace regex_test

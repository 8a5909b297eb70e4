// Bounded work: nested quantifiers over subjects they cannot match answer at
// once (the failure memo, the required literal) with Perl's results; a search
// beyond its step budget ends with search_budget_exceeded; groups nested
// deeper than the parser allows are a pattern error; one compiled pattern
// serves eight threads at once.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "perl_oracle.h"
#include "regex_run.h"
#include "utils/regex/regex.h"

namespace {

using regex_test::road;

struct hostile_case {
  const wchar_t *pattern;
  std::wstring subject;
};

// Nested quantifiers over subjects they cannot match (and a few they can):
// exponential for a plain backtracker, in both the counted and the
// NUL-terminated form.
std::vector<hostile_case> hostile_cases() {
  const std::wstring as(100, L'a');
  return {
      {L"(a+)*b", as},
      {L"(a+)*b", std::wstring(30, L'a')},
      {L"(a|)*\\d", as},
      {L"(a|)*\\d", L"x" + std::wstring(40, L'a')},
      {L"(?:a|)*\\d", as},
      {L".X(.+)+X", L"bX" + std::wstring(98, L'x')},
      {L".X(.+)+X", L"=XX" + std::wstring(97, L'=')},
      {L".X(.+)+X", L"bX" + std::wstring(30, L'x') + L"X"},
      {L"(?:a*)*-baa", as},
      {L"a(b|)+d", L"a" + std::wstring(31, L'b') + L"cd"},
      {L"a(b|)+d", L"a" + std::wstring(31, L'b') + L"d"},
      {L"(a+)*b", as + L"b"},
      {L"(a|)*\\d", as + L"7"},
      {L"((?:a|b)*)*c", std::wstring(50, L'a') + std::wstring(50, L'b')},
      {L"(?:(a+)+b|a)+x", as},
  };
}

// Every road, counted and NUL-terminated, answers at once and as Perl does
// (first match and groups): none spends its step budget.
TEST(Budget, NestedQuantifiersAnswerAtOnceAsPerlDoes) {
  const std::vector<hostile_case> cases = hostile_cases();
  std::vector<std::string> requests;
  for (const hostile_case &c : cases) requests.push_back(regex_test::match_request(c.pattern, c.subject, ""));
  const std::vector<std::string> answers = regex_test::ask_perl(requests);
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const hostile_case &c = cases[i];
    SCOPED_TRACE(testing::Message() << "pattern " << testing::PrintToString(std::wstring(c.pattern)) << " subject "
                                    << testing::PrintToString(c.subject));
    const regex_test::match_spans perl = regex_test::perl_spans(answers[i]);
    for (road r : regex_test::every_road) {
      const auto start = std::chrono::steady_clock::now();
      regex_test::match_spans got{regex_test::span{}};
      EXPECT_NO_THROW(got = regex_test::run_first_match(c.pattern, regex::NOFLAGS, c.subject, r)) << road_name(r);
      EXPECT_EQ(got, perl) << road_name(r);
      // Generous: the search takes well below a millisecond (bench_regex_text, Hostile/).
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500)) << road_name(r);
    }
  }
}

// A back-reference can tell two visits of a loop apart, so the memo stays
// off; the step budget ends the search instead, with its own error.
TEST(Budget, StepBudgetEndsTheSearchWithItsOwnError) {
  const std::wstring subject = std::wstring(40, L'a');
  for (regex::match_mode mode : {regex::MODE_RECURSIVE, regex::MODE_ITERATIVE}) {
    regex::rpattern pat(L"(a|aa)\\1*(a|aa)*(a|aa)*(a|aa)*[bc]", regex::NOFLAGS, mode);
    EXPECT_EQ(pat.step_budget(), regex::default_step_budget);
    pat.set_step_budget(100000);
    regex::match_results results;
    EXPECT_THROW(pat.match(subject, results), regex::search_budget_exceeded);
    // A search within the budget is unaffected by it.
    EXPECT_TRUE(pat.match(std::wstring(L"aab"), results).matched);
  }
}

TEST(Budget, DeepNestingIsAPatternError) {
  for (const wchar_t *open : {L"(", L"(?:", L"(?>"}) {
    std::wstring fits, deep;
    for (int i = 0; i < 1000; ++i) fits += open;
    fits += L"a" + std::wstring(1000, L')');
    for (int i = 0; i < 30000; ++i) deep += open;
    deep += L"a" + std::wstring(30000, L')');
    regex::match_results results;
    EXPECT_TRUE(
        regex::rpattern(fits, regex::NOFLAGS, regex::MODE_RECURSIVE).match(std::wstring(L"a"), results).matched);
    EXPECT_THROW(regex::rpattern(deep, regex::NOFLAGS, regex::MODE_RECURSIVE), regex::bad_regexpr);
  }
}

// Compiled patterns serve eight threads at once, each search with its own
// results: the memo, the step count and the iterative stack belong to the
// search, the pattern is only read.
TEST(Budget, OnePatternServesEightThreads) {
  const regex::rpattern words(L"\\b(\\w+)\\s+\\1\\b", regex::ALLMATCHES | regex::KEEPALLGROUPS, regex::MODE_RECURSIVE);
  const regex::rpattern hostile(L"(a|)*\\d|(?:a*)*-baa", regex::NOFLAGS, regex::MODE_ITERATIVE);
  const regex::rpattern nested(L"c(?:(?R)|)d", regex::NOFLAGS, regex::MODE_ITERATIVE);
  std::wstring text;
  for (int i = 0; i < 200; ++i) text += L"the the market price price ";
  const std::wstring as = std::wstring(300, L'a') + L"-ba";
  const std::wstring deep = std::wstring(2000, L'c') + std::wstring(2000, L'd');
  regex::match_results expected;
  words.match(text, expected);
  ASSERT_EQ(expected.m_records.size(), 800u);
  std::vector<int> agree(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        regex::match_results a, b, c;
        words.match(text, a);
        const bool none = !hostile.match(as, b).matched;
        const bool whole = nested.match(deep, c).matched && c.group_length(0) == deep.size();
        agree[t] += a.m_records.size() == expected.m_records.size() && none && whole;
      }
    });
  }
  for (std::thread &th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(agree[t], 20) << "thread " << t;
}

}  // namespace

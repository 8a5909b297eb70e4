// Group quantifiers over hand-built graphs, in both modes, both subject forms
// and both subject types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph_fixture.h"
#include "pattern_cases.h"

using namespace graph_test;

namespace {

const std::uint32_t INF = width_unbounded;

TEST(GroupQuantifier, LoopsAgreeEverywhere) {
  const node_spec ab = G(1, {S(L"ab")});
  const std::vector<graph_case> cases = {
      {"(a){0}b never runs the group", {{Q(G(1, {S(L"a")}), 0, 0), C(L'b')}}, {}, L"ab", NOFLAGS, {R(1, 2), NONE}},
      {"(a){0}?b tries the successor only",
       {{Q(G(1, {S(L"a")}), 0, 0, false), C(L'b')}},
       {},
       L"ab",
       NOFLAGS,
       {R(1, 2), NONE}},
      {"(a){0}?x fails when the successor fails",
       {{Q(G(1, {S(L"a")}), 0, 0, false), C(L'x')}},
       {},
       L"a",
       NOFLAGS,
       {NONE, NONE}},
      {"(ab){2} takes exactly two", {{Q(ab, 2, 2)}}, {}, L"ababab", NOFLAGS, {R(0, 4), R(2, 4)}},
      {"(a?)*b: two empty iterations, then the successor",
       {{Q(G(1, {S(L"a"), {}}), 0, INF), C(L'b')}},
       {},
       L"b",
       NOFLAGS,
       {R(0, 1), R(0, 0)}},
      {"(a?){3}b ends after two empty iterations below the minimum",
       {{Q(G(1, {S(L"a"), {}}), 3, 3), C(L'b')}},
       {},
       L"b",
       NOFLAGS,
       {R(0, 1), R(0, 0)}},
      {"(a?)*?b lazy with empty iterations",
       {{Q(G(1, {S(L"a"), {}}), 0, INF, false), C(L'b')}},
       {},
       L"aab",
       NOFLAGS,
       {R(0, 3), R(1, 2)}},
      {"(ab)+c gives back iterations and fails", {{Q(ab, 1, INF), C(L'c')}}, {}, L"ababx", NOFLAGS, {NONE, NONE}},
      {"(ab)+c greedy", {{Q(ab, 1, INF), C(L'c')}}, {}, L"ababc", NOFLAGS, {R(0, 5), R(2, 4)}},
      {"(ab)+ab gives one iteration back",
       {{Q(ab, 1, INF), C(L'a'), C(L'b')}},
       {},
       L"ababab",
       NOFLAGS,
       {R(0, 6), R(2, 4)}},
      {"(ab)*?c lazy adds iterations until the successor matches",
       {{Q(ab, 0, INF, false), C(L'c')}},
       {},
       L"ababc",
       NOFLAGS,
       {R(0, 5), R(2, 4)}},
      {"(ab)*?ab stops at the first success",
       {{Q(ab, 0, INF, false), S(L"ab")[0], C(L'b')}},
       {},
       L"ababab",
       NOFLAGS,
       {R(0, 2), NONE}},
      {"(a){1,2}?a lazy takes the minimum",
       {{Q(G(1, {S(L"a")}), 1, 2, false), C(L'a')}},
       {},
       L"aaa",
       NOFLAGS,
       {R(0, 2), R(0, 1)}},
      {"(a){1,2}?b lazy extends up to the maximum",
       {{Q(G(1, {S(L"a")}), 1, 2, false), C(L'b')}},
       {},
       L"aaab",
       NOFLAGS,
       {R(1, 4), R(2, 3)}},
      {"(a){2,3} greedy stops at the maximum", {{Q(G(1, {S(L"a")}), 2, 3)}}, {}, L"aaaa", NOFLAGS, {R(0, 3), R(2, 3)}},
      {"(a|ab)*c backtracks inside an earlier iteration",
       {{Q(G(1, {S(L"a"), S(L"ab")}), 0, INF), C(L'c')}},
       {},
       L"abc",
       NOFLAGS,
       {R(0, 3), R(0, 2)}},
      {"((a)*b)*c nests two loops",
       {{Q(G(1, {{Q(G(2, {S(L"a")}), 0, INF), C(L'b')}}), 0, INF), C(L'c')}},
       {},
       L"abaabc",
       NOFLAGS,
       {R(0, 6), R(2, 5), R(3, 4)}},
      {"((a)*b)*c: the inner capture stays from an earlier iteration",
       {{Q(G(1, {{Q(G(2, {S(L"a")}), 0, INF), C(L'b')}}), 0, INF), C(L'c')}},
       {},
       L"abbc",
       NOFLAGS,
       {R(0, 4), R(2, 3), R(0, 1)}},
      {"(?:a|ab)+c as a hidden group",
       {{Q(G(1, {S(L"a"), S(L"ab")}), 1, INF), C(L'c')}},
       {1},
       L"abc",
       NOFLAGS,
       {R(0, 3)}},
      {"(?>a|ab)+c: the atomic iteration keeps its first choice",
       {{Q(ATOMIC(1, {S(L"a"), S(L"ab")}), 1, INF), C(L'c')}},
       {1},
       L"abc",
       NOFLAGS,
       {NONE}},
      {"(?>ab|a)+c loops over an atomic group",
       {{Q(ATOMIC(1, {S(L"ab"), S(L"a")}), 1, INF), C(L'c')}},
       {1},
       L"abac",
       NOFLAGS,
       {R(0, 4)}},
      {"(a)(?(1)b|c){2} loops over a conditional",
       {{G(1, {S(L"a")}), Q(COND_REF(2, 1, {S(L"b"), S(L"c")}), 2, 2)}},
       {2},
       L"abb",
       NOFLAGS,
       {R(0, 3), R(0, 1)}},
      {"(ab)*c, no iteration", {{Q(ab, 0, INF), C(L'c')}}, {}, L"c", NOFLAGS, {R(0, 1), NONE}},
      {"(a)*(a)* gives every a to the first loop",
       {{Q(G(1, {S(L"a")}), 0, INF), Q(G(2, {S(L"a")}), 0, INF)}},
       {},
       L"aa",
       NOFLAGS,
       {R(0, 2), R(1, 2), NONE}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(GroupQuantifier, WidthsAndHints) {
  graph_pattern<PIT> counted({{Q(G(1, {S(L"ab")}), 2, 3)}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(counted.pattern_width(), (node_width{4, 6}));
  graph_pattern<PIT> star({{Q(G(1, {S(L"a"), S(L"bc")}), 0, INF)}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(star.pattern_width(), (node_width{0, INF}));
  // A count that overflows 32 bits saturates instead of wrapping.
  graph_pattern<PIT> huge({{Q(G(1, {S(L"abcd")}), 0x40000000u, 0x40000001u)}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(huge.pattern_width(), (node_width{INF, INF}));

  // (ab)? promises no first character; (ab)+ promises the group's.
  graph_pattern<PIT> opt({{Q(G(1, {S(L"ab")}), 0, 1)}, {C(L'x')}}, {}, NOFLAGS, MODE_RECURSIVE);
  start_hint h{};
  EXPECT_FALSE(opt.first_node()->peek_start(h));
  graph_pattern<PIT> plus({{Q(G(1, {S(L"ab")}), 1, INF)}, {C(L'x')}}, {}, NOFLAGS, MODE_RECURSIVE);
  ASSERT_TRUE(plus.first_node()->peek_start(h));
  EXPECT_EQ(std::wstring(h.chars(), h.chars() + h.m_count), L"ax");
}

TEST(GroupQuantifier, RefusesToBeQuantifiedAgain) {
  graph_pattern<SIT> pat({{Q(G(1, {S(L"a")}), 0, INF)}}, {}, NOFLAGS, MODE_RECURSIVE);
  sub_expr<SIT> *q = pat.first_node()->alternates().front();
  arena_allocator<char> arena(1, std::allocator<char>());
  EXPECT_THROW(q->make_quantifier(0, 1, true, arena), bad_regexpr);
  arena.destroy_arena();
}

// In iterative mode a failed loop leaves the stack and the records exactly
// as before, loop state included.
TEST(GroupQuantifier, IterativeFailureRestoresLoopState) {
  graph_pattern<PIT> pat({{Q(G(1, {S(L"ab")}), 1, INF), C(L'c')}}, {}, NOFLAGS, MODE_ITERATIVE);
  const std::wstring subject = L"ababx";
  std::vector<backref_tag<PIT>> records(pat._cgroups_total());
  records[1].loop_count = 7;
  records[1].loop_more = true;
  records[1].pending_start = subject.c_str() + 3;
  match_param<PIT> param(subject.c_str(), subject.c_str(), subject.c_str() + subject.size(), records.data(),
                         std::uint32_t(records.size()));
  match_stack stack;
  param.m_pstack = &stack;
  param.m_ptopgroup = pat.first_node();
  EXPECT_FALSE(run_iterative<PIT>(pat.first_node(), param, subject.c_str()));
  EXPECT_TRUE(stack.empty());
  EXPECT_EQ(records[1].loop_count, 7u);
  EXPECT_TRUE(records[1].loop_more);
  EXPECT_EQ(records[1].loop_mark, nullptr);
  EXPECT_EQ(records[1].pending_start, subject.c_str() + 3);
  EXPECT_FALSE(records[1].matched);
}

// Many iterations exceed the recursive depth budget; the search is run again
// iteratively and still finds the match.
TEST(GroupQuantifier, DeepLoopFallsBackToIterative) {
  std::wstring subject;
  for (int i = 0; i < 100000; ++i) subject += L"ab";
  subject += L'c';
  graph_pattern<SIT> pat({{Q(G(1, {S(L"ab")}), 0, INF), C(L'c')}}, {}, NOFLAGS, MODE_RECURSIVE);
  const std::vector<rec> got = run_once(pat, subject, false);
  EXPECT_EQ(got, (std::vector<rec>{R(0, long(subject.size())), R(long(subject.size()) - 3, long(subject.size()) - 1)}));
}

TEST(GroupQuantifier, ThroughPatterns) {
  using namespace regex_test;
  run_pattern_cases({
      {L"(ab)*c", L"xababc", {P(1, 6), P(3, 5)}},
      {L"(ab)+c", L"ababx", {}},
      {L"(ab)*?c", L"ababc", {P(0, 5), P(2, 4)}},
      {L"(a?)*b", L"b", {P(0, 1), P(0, 0)}},
      // The first empty iteration counts: two of the three are left for "ab".
      {L"(?:\\b|.){1,3}(?!^)", L"abc", {P(0, 2)}},
      {L"(a|ab){2,3}?c", L"aababc", {P(0, 6), P(3, 5)}},
      {L"((a)*b)*c", L"abbc", {P(0, 4), P(2, 3), P(0, 1)}},
      {L"(?:a|b)+?b", L"aab", {P(0, 3)}},
      {L"(?>ab|a)+c", L"abac", {P(0, 4)}},
      {L"(a)(?(1)b|c){2}", L"abb", {P(0, 3), P(0, 1)}},
      {L"(?:AB){2}", L"abAB", {P(0, 4)}, IGNORECASE},
      {L"(x){0}y", L"xy", {P(1, 2), PX}},
      {L"(ab){1,4294967294}", L"abab", {P(0, 4), P(2, 4)}},
      {L"(?:abcd){1073741824,}", L"abcdabcd", {}},
  });
  // 0xFFFFFFFF would read as "unbounded": it is refused as a count.
  for (const wchar_t *bad : {L"(ab){4294967295}", L"(ab){1,4294967295}", L"(ab){99999999999}"})
    EXPECT_THROW(rpattern(bad, NOFLAGS, MODE_RECURSIVE), bad_regexpr);
}

}  // namespace

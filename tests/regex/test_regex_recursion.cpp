// Conditionals and recursion over hand-built graphs, in both modes, both
// subject forms and both subject types.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graph_fixture.h"
#include "pattern_cases.h"

using namespace graph_test;

namespace {

const std::uint32_t INF = width_unbounded;

TEST(Conditional, ChoosesOneBranch) {
  const node_spec opt_a = Q(G(1, {S(L"a")}), 0, 1);
  const node_spec bc = COND_REF(2, 1, {S(L"b"), S(L"c")});
  const std::vector<graph_case> cases = {
      {"(a)?(?(1)b|c) on ab", {{opt_a, bc}}, {2}, L"ab", NOFLAGS, {R(0, 2), R(0, 1)}},
      {"(a)?(?(1)b|c) on c", {{opt_a, bc}}, {2}, L"c", NOFLAGS, {R(0, 1), NONE}},
      {"(a)?(?(1)b|c) on ac finds the c", {{opt_a, bc}}, {2}, L"ac", NOFLAGS, {R(1, 2), NONE}},
      {"(a)?(?(1)b|c) on b", {{opt_a, bc}}, {2}, L"b", NOFLAGS, {NONE, NONE}},
      {"(a)?(?(1)b)c: no second branch matches empty",
       {{opt_a, COND_REF(2, 1, {S(L"b")}), C(L'c')}},
       {2},
       L"c",
       NOFLAGS,
       {R(0, 1), NONE}},
      {"(a)?(?:(?(1)b)c): a single branch gives no start hint",
       {{opt_a, G(2, {{COND_REF(3, 1, {S(L"b")}), C(L'c')}})}},
       {2, 3},
       L"c",
       NOFLAGS,
       {R(0, 1), NONE}},
      {"(?(5)x|y) with no group 5 behaves as y",
       {{COND_REF(1, 5, {S(L"x"), S(L"y")})}},
       {1},
       L"xy",
       NOFLAGS,
       {R(1, 2)}},
      {"(?:x)(a)?(?(1)b|c): the written number skips hidden groups",
       {{G(1, {S(L"x")}), Q(G(2, {S(L"a")}), 0, 1), COND_REF(3, 1, {S(L"b"), S(L"c")})}},
       {1, 3},
       L"xc",
       NOFLAGS,
       {R(0, 2), NONE}},
      {"(?(?=a)b|a) does not try the other branch",
       {{COND_ASSERT(1, AHEAD(true, {S(L"a")}), {S(L"b"), S(L"a")})}},
       {1},
       L"a",
       NOFLAGS,
       {NONE}},
      {"(?(?=a)ab|cd) on ab",
       {{COND_ASSERT(1, AHEAD(true, {S(L"a")}), {S(L"ab"), S(L"cd")})}},
       {1},
       L"ab",
       NOFLAGS,
       {R(0, 2)}},
      {"(?(?=a)ab|cd) on cd",
       {{COND_ASSERT(1, AHEAD(true, {S(L"a")}), {S(L"ab"), S(L"cd")})}},
       {1},
       L"cd",
       NOFLAGS,
       {R(0, 2)}},
      {"(?(?!a)b|c)", {{COND_ASSERT(1, AHEAD(false, {S(L"a")}), {S(L"b"), S(L"c")})}}, {1}, L"ab", NOFLAGS, {R(1, 2)}},
      {"(?(?<=a)b|c) after an a",
       {{COND_ASSERT(1, BEHIND(true, {S(L"a")}), {S(L"b"), S(L"c")})}},
       {1},
       L"ab",
       NOFLAGS,
       {R(1, 2)}},
      {"(?(?<=a)b|c) after an x",
       {{COND_ASSERT(1, BEHIND(true, {S(L"a")}), {S(L"b"), S(L"c")})}},
       {1},
       L"xc",
       NOFLAGS,
       {R(1, 2)}},
      {"(?(?<=ab|b)c|d): a variable-width look-behind condition",
       {{COND_ASSERT(1, BEHIND(true, {S(L"ab"), S(L"b")}), {S(L"c"), S(L"d")})}},
       {1},
       L"xbc",
       NOFLAGS,
       {R(2, 3)}},
      {"(?(?=(a))ab) keeps the assertion's capture",
       {{COND_ASSERT(2, AHEAD(true, {{G(1, {S(L"a")})}}), {S(L"ax")})}, {S(L"a")}},
       {2},
       L"ax",
       NOFLAGS,
       {R(0, 2), R(0, 1)}},
      {"(?(?=(a))ax)|a undoes the assertion's capture when the branch fails",
       {{COND_ASSERT(2, AHEAD(true, {{G(1, {S(L"a")})}}), {S(L"ax")})}, {S(L"a")}},
       {2},
       L"ab",
       NOFLAGS,
       {R(0, 1), NONE}},
      {"x*|(?(?=a)a|c): the empty-match rule does not falsify the condition",
       {{Q(G(1, {S(L"x")}), 0, INF)}, {COND_ASSERT(2, AHEAD(true, {S(L"a")}), {S(L"a"), S(L"c")})}},
       {1, 2},
       L"a",
       ALLMATCHES | KEEPWHOLEMATCHES,
       {R(0, 0), R(0, 1), R(1, 1)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Conditional, WidthAndQuantifier) {
  graph_pattern<PIT> two({{COND_REF(1, 1, {S(L"ab"), S(L"c")})}}, {1}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(two.pattern_width(), (node_width{1, 2}));
  graph_pattern<PIT> one({{COND_REF(1, 1, {S(L"ab")})}}, {1}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(one.pattern_width(), (node_width{0, 2}));

  arena_allocator<char> arena(1, std::allocator<char>());
  auto *cond = new (arena) match_conditional<SIT, backref_condition<SIT>>(1, 1u, arena);
  cond->begin_group();
  cond->close_group(arena);
  node_holder<SIT> holder(cond);
  sub_expr<SIT> *q = holder->make_quantifier(0, 2, true, arena);
  holder.release();
  holder.reset(q);
  EXPECT_NE(dynamic_cast<max_group_quantifier<SIT> *>(q), nullptr);
  holder.reset();
  arena.destroy_arena();
}

TEST(Recursion, MatchesThePatternAgain) {
  const node_spec opt_r = G(1, {{RECURSE()}, {}});
  const std::vector<graph_case> cases = {
      {"a(?:(?R)|)b on aabb", {{C(L'a'), opt_r, C(L'b')}}, {1}, L"aabb", NOFLAGS, {R(0, 4)}},
      {"a(?:(?R)|)b on aab: the recursion is not retried",
       {{C(L'a'), opt_r, C(L'b')}},
       {1},
       L"aab",
       NOFLAGS,
       {R(1, 3)}},
      {"a|ab|c(?R)c keeps the first result of the pass",
       {S(L"a"), S(L"ab"), {C(L'c'), RECURSE(), C(L'c')}},
       {},
       L"cabc",
       NOFLAGS,
       {R(1, 2)}},
      {"(?R) alone matches empty", {{RECURSE()}}, {}, L"abc", NOFLAGS, {R(0, 0)}},
      {"a|(?R)b", {S(L"a"), {RECURSE(), C(L'b')}}, {}, L"b", NOFLAGS, {R(0, 1)}},
      {"(a)|b(?R) keeps the captures of a successful pass",
       {{G(1, {S(L"a")})}, {C(L'b'), RECURSE()}},
       {},
       L"ba",
       NOFLAGS,
       {R(0, 2), R(1, 2)}},
      {"(b)|a(?R)x|a undoes the captures of a failed pass",
       {{G(1, {S(L"b")})}, {C(L'a'), RECURSE(), C(L'x')}, {S(L"a")}},
       {},
       L"ab",
       NOFLAGS,
       {R(0, 1), NONE}},
      {"(((((b)))))|a(?R)x|a: more records than the inline save area",
       {{G(1, {{G(2, {{G(3, {{G(4, {{G(5, {S(L"b")})}})}})}})}})}, {C(L'a'), RECURSE(), C(L'x')}, {S(L"a")}},
       {},
       L"ab",
       NOFLAGS,
       {R(0, 1), NONE, NONE, NONE, NONE, NONE}},
      {"(?:x(?R)|y){2}z: the loop around the recursion keeps its count",
       {{Q(G(1, {{C(L'x'), RECURSE()}, {C(L'y')}}), 2, 2), C(L'z')}},
       {1},
       L"xyyzyz",
       NOFLAGS,
       {R(0, 6)}},
      {"b\\z|(?<=a(?:(?R)|))c recurses inside a look-behind",
       {{C(L'b'), A(node_spec::EOS)}, {BEHIND(true, {{C(L'a'), opt_r}}), C(L'c')}},
       {1},
       L"abc",
       NOFLAGS,
       {R(2, 3)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Recursion, RefusesAQuantifierAndHasOpenWidth) {
  arena_allocator<char> arena(1, std::allocator<char>());
  match_recurse<SIT> node;
  try {
    node.make_quantifier(0, 1, true, arena);
    ADD_FAILURE();
  } catch (const bad_regexpr &e) {
    EXPECT_STREQ(e.what(), "recursion sub-expression cannot be quantified");
  }
  arena.destroy_arena();
  graph_pattern<PIT> pat({{C(L'a'), RECURSE()}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(pat.pattern_width(), (node_width{1, INF}));
}

// Nested recursions deeper than the stack allows end the search cleanly;
// shallower ones match in both modes.
// Depth is bounded by memory alone: the recursive mode, out of its depth
// budget, runs the search again iteratively, and the iterative mode nests
// no native calls per recursion.
TEST(Recursion, DeepRecursionMatches) {
  const std::vector<seq> top = {{C(L'a'), G(1, {{RECURSE()}, {}}), C(L'b')}};
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    SCOPED_TRACE(mode == MODE_RECURSIVE ? "recursive" : "iterative");
    graph_pattern<SIT> pat(top, {1}, NOFLAGS, mode);
    const std::wstring shallow = std::wstring(200, L'a') + std::wstring(200, L'b');
    EXPECT_EQ(run_once(pat, shallow, false), (std::vector<rec>{R(0, 400)}));
    const std::wstring deep = std::wstring(300000, L'a') + std::wstring(300000, L'b');
    EXPECT_EQ(run_once(pat, deep, false), (std::vector<rec>{R(0, 600000)}));
  }
}

TEST(Recursion, MillionLevelsThroughThePattern) {
  const std::size_t n = 1000000;
  const std::wstring subject = std::wstring(n, L'a') + std::wstring(n, L'b');
  for (match_mode mode : {MODE_ITERATIVE, MODE_RECURSIVE}) {
    SCOPED_TRACE(mode == MODE_RECURSIVE ? "recursive" : "iterative");
    const rpattern pat(L"a(?:(?R)|)b", NOFLAGS, mode);
    match_results results;
    ASSERT_TRUE(pat.match(subject, results).matched);
    EXPECT_EQ(results.group_position(0), 0u);
    EXPECT_EQ(results.group_length(0), 2 * n);
    // One b too few: the longest balanced part, found from position 1.
    const std::wstring short_b = subject.substr(0, 2 * n - 1);
    ASSERT_TRUE(pat.match(short_b, results).matched);
    EXPECT_EQ(results.group_position(0), 1u);
    EXPECT_EQ(results.group_length(0), 2 * n - 2);
  }
}

// Fault fixed: when the rest of the pattern fails after a recursion pass,
// the captures and loop states the pass left are undone. Here the pass at 1
// captures "c" and its continuation x fails; the match the outer pattern
// then finds through its third branch leaves group 1 unset. In the loop,
// the pass counts two iterations of its own; undone, the outer loop still
// stands at its first iteration and takes a second one.
TEST(Recursion, FailedContinuationUndoesThePass) {
  using namespace regex_test;
  run_pattern_cases({
      {L"a(?:(?R)x|(c)|a)", L"aac", {P(0, 2), PX}},
      {L"(?:x(?R)y|x){2}", L"xxxz", {P(0, 2)}},
      {L"(?:x(?R)y|(x)){2}", L"xxxz", {P(0, 2), P(1, 2)}},
  });
}

TEST(ConditionalAndRecursion, ThroughPatterns) {
  using namespace regex_test;
  run_pattern_cases({
      {L"(a)?(?(1)b|c)", L"ab", {P(0, 2), P(0, 1)}},
      {L"(a)?(?(1)b|c)", L"ac", {P(1, 2), PX}},
      {L"(a)?(?(1)b|c)", L"b", {}},
      {L"(a)?(?(1)b)c", L"c", {P(0, 1), PX}},
      {L"(a)?(?:(?(1)b)c)", L"c", {P(0, 1), PX}},
      {L"(?(?=a)b|a)", L"a", {}},
      {L"(?(?=a)ab|cd)", L"cd", {P(0, 2)}},
      {L"(?(5)x|y)", L"xy", {P(1, 2)}},
      {L"(?(?=(a))ax)|a", L"ab", {P(0, 1), PX}},
      {L"(?(?<=ab|b)c|d)", L"xbc", {P(2, 3)}},
      {L"a(?:(?R)|)b", L"aabb", {P(0, 4)}},
      {L"a(?:(?R)|)b", L"aab", {P(1, 3)}},
      {L"a|ab|c(?R)c", L"cabc", {P(1, 2)}},
      {L"(?R)", L"abc", {P(0, 0)}},
      {L"a|(?R)b", L"b", {P(0, 1)}},
      {L"(b)|a(?R)x|a", L"ab", {P(0, 1), PX}},
      {L"(?:x(?R)|y){2}z", L"xyyzyz", {P(0, 6)}},
      {L"b\\z|(?<=a(?:(?R)|))c", L"abc", {P(2, 3)}},
  });
  try {
    rpattern pat(L"a(?R)*", NOFLAGS, MODE_RECURSIVE);
    ADD_FAILURE() << "compiled";
  } catch (const bad_regexpr &) {
  }
}

}  // namespace

// Atomic groups, look-ahead and look-behind over hand-built graphs, in both
// modes, both subject forms and both subject types.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graph_fixture.h"
#include "pattern_cases.h"

using namespace graph_test;

namespace {

const std::uint32_t INF = width_unbounded;

node_spec a_plus(int n) { return Q(G(n, {S(L"a")}), 1, INF); }

TEST(AtomicGroup, NeverBacktracksIntoItsBody) {
  const std::vector<graph_case> cases = {
      {"(?>a*)a", {{ATOMIC(1, {{Q(G(2, {S(L"a")}), 0, INF)}}), C(L'a')}}, {1, 2}, L"aaa", NOFLAGS, {NONE}},
      {"(?:a*)a for contrast", {{G(1, {{Q(G(2, {S(L"a")}), 0, INF)}}), C(L'a')}}, {1, 2}, L"aaa", NOFLAGS, {R(0, 3)}},
      {"(?>a|ab)c", {{ATOMIC(1, {S(L"a"), S(L"ab")}), C(L'c')}}, {1}, L"abc", NOFLAGS, {NONE}},
      {"(?>(a+))b|a+c undoes the failed atomic capture",
       {{ATOMIC(1, {{G(2, {{a_plus(3)}})}}), C(L'b')}, {a_plus(4), C(L'c')}},
       {1, 3, 4},
       L"aac",
       NOFLAGS,
       {R(0, 3), NONE}},
      {"(?>(a))b|ac: backtracking into the group restores its block",
       {{ATOMIC(1, {{G(2, {S(L"a")})}}), C(L'b')}, {S(L"ac")}},
       {1},
       L"ac",
       NOFLAGS,
       {R(0, 2), NONE}},
      {"(?>(a)b)c keeps the captures of the body",
       {{ATOMIC(1, {{G(2, {S(L"a")}), C(L'b')}}), C(L'c')}},
       {1},
       L"xabc",
       NOFLAGS,
       {R(1, 4), R(1, 2)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Lookahead, HoldsWithoutConsuming) {
  const std::vector<graph_case> cases = {
      {"(?=(a))a keeps the capture",
       {{AHEAD(true, {{G(1, {S(L"a")})}}), C(L'a')}},
       {},
       L"a",
       NOFLAGS,
       {R(0, 1), R(0, 1)}},
      {"(?=ab)a", {{AHEAD(true, {S(L"ab")}), C(L'a')}}, {}, L"acab", NOFLAGS, {R(2, 3)}},
      {"(?!(a)b)(a)c leaves group 1 unmatched when it holds",
       {{AHEAD(false, {{G(1, {S(L"a")}), C(L'b')}}), G(2, {S(L"a")}), C(L'c')}},
       {},
       L"ac",
       NOFLAGS,
       {R(0, 2), NONE, R(0, 1)}},
      {"(?!(a)b)z|ab restores group 1 when it fails",
       {{AHEAD(false, {{G(1, {S(L"a")}), C(L'b')}}), C(L'z')}, {S(L"ab")}},
       {},
       L"ab",
       NOFLAGS,
       {R(0, 2), NONE}},
      {"a(?!)b never holds", {{C(L'a'), AHEAD(false, {{}}), C(L'b')}}, {}, L"ab", NOFLAGS, {NONE}},
      {"(?=)a always holds", {{AHEAD(true, {{}}), C(L'a')}}, {}, L"a", NOFLAGS, {R(0, 1)}},
      {"(?:(?=a)a)* inside a loop",
       {{Q(G(1, {{AHEAD(true, {S(L"a")}), C(L'a')}}), 0, INF), C(L'b')}},
       {1},
       L"aab",
       NOFLAGS,
       {R(0, 3)}},
      {"(?=a|ab)(ab) the first way of the body is enough",
       {{AHEAD(true, {S(L"a"), S(L"ab")}), G(1, {S(L"ab")})}},
       {},
       L"ab",
       NOFLAGS,
       {R(0, 2), R(0, 2)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Lookbehind, ScansTheStartsItsWidthAllows) {
  const std::vector<graph_case> cases = {
      {"(?<=ab)c needs two characters before", {{BEHIND(true, {S(L"ab")}), C(L'c')}}, {}, L"bc", NOFLAGS, {NONE}},
      {"(?<!ab)c holds at the subject start", {{BEHIND(false, {S(L"ab")}), C(L'c')}}, {}, L"c", NOFLAGS, {R(0, 1)}},
      {"(?<=ab|b)c from the farthest start",
       {{BEHIND(true, {S(L"ab"), S(L"b")}), C(L'c')}},
       {},
       L"abc",
       NOFLAGS,
       {R(2, 3)}},
      {"(?<=ab|b)c from the nearest start",
       {{BEHIND(true, {S(L"ab"), S(L"b")}), C(L'c')}},
       {},
       L"xbc",
       NOFLAGS,
       {R(2, 3)}},
      {"(?<!ab|b)c fails when a nearer start matches",
       {{BEHIND(false, {S(L"ab"), S(L"b")}), C(L'c')}},
       {},
       L"xbc",
       NOFLAGS,
       {NONE}},
      {"(?<!ab|b)c holds when no start matches",
       {{BEHIND(false, {S(L"ab"), S(L"b")}), C(L'c')}},
       {},
       L"xac",
       NOFLAGS,
       {R(2, 3)}},
      {"(?<!)a never holds", {{BEHIND(false, {{}}), C(L'a')}}, {}, L"ba", NOFLAGS, {NONE}},
      {"(?<=a\\z)b: the body's subject ends at the position",
       {{BEHIND(true, {{C(L'a'), A(node_spec::EOS)}}), C(L'b')}},
       {},
       L"ab",
       NOFLAGS,
       {R(1, 2)}},
      {"(?<=(?:a)+)b with an unbounded body",
       {{BEHIND(true, {{a_plus(1)}}), C(L'b')}},
       {1},
       L"aab",
       NOFLAGS,
       {R(2, 3)}},
      {"(?<=(ab|b))\\1 tries a nearer start when the continuation fails",
       {{BEHIND(true, {{G(1, {S(L"ab"), S(L"b")})}}), BR(1)}},
       {},
       L"abb",
       NOFLAGS,
       {R(2, 3), R(1, 2)}},
      {"(?<!(a))b restores the capture of a failed body",
       {{BEHIND(false, {{G(1, {S(L"a")})}}), C(L'b')}},
       {},
       L"abxb",
       NOFLAGS,
       {R(3, 4), NONE}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Lookaround, QuantifierWidthAndHint) {
  arena_allocator<char> arena(1, std::allocator<char>());
  lookahead_assertion<SIT> ahead(true, arena);
  lookbehind_assertion<SIT> behind(false, arena);
  EXPECT_TRUE(ahead.is_assertion_node());
  EXPECT_TRUE(behind.is_assertion_node());
  try {
    ahead.make_quantifier(0, 1, true, arena);
    ADD_FAILURE();
  } catch (const bad_regexpr &e) {
    EXPECT_STREQ(e.what(), "look-ahead assertion cannot be quantified");
  }
  try {
    behind.make_quantifier(0, 1, true, arena);
    ADD_FAILURE();
  } catch (const bad_regexpr &e) {
    EXPECT_STREQ(e.what(), "sub-expression cannot be quantified");
  }
  arena.destroy_arena();

  // A look-around consumes nothing and hints what follows it; an atomic
  // group has its body's width.
  graph_pattern<PIT> pat({{AHEAD(true, {S(L"abc")}), BEHIND(false, {S(L"xy")}), C(L'a')}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(pat.pattern_width(), (node_width{1, 1}));
  start_hint h{};
  ASSERT_TRUE(pat.first_node()->peek_start(h));
  EXPECT_EQ(h.m_count, 1u);
  EXPECT_EQ(h.chars()[0], L'a');
  graph_pattern<PIT> atomic({{ATOMIC(1, {S(L"a"), S(L"bcd")})}}, {1}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(atomic.pattern_width(), (node_width{1, 3}));
}

TEST(Lookaround, ThroughPatterns) {
  using namespace regex_test;
  run_pattern_cases({
      {L"(?>a*)a", L"aaa", {}},
      {L"(?>a|ab)c", L"abc", {}},
      {L"(?>(a+))b|a+c", L"aac", {P(0, 3), PX}},
      {L"(?=(a))a", L"a", {P(0, 1), P(0, 1)}},
      {L"(?!(a)b)(a)c", L"ac", {P(0, 2), PX, P(0, 1)}},
      {L"a(?!)b", L"ab", {}},
      {L"(?<!)a", L"ba", {}},
      {L"(?<=ab|b)c", L"abc", {P(2, 3)}},
      {L"(?<!ab|b)c", L"xbc", {}},
      {L"(?<!ab|b)c", L"xac", {P(2, 3)}},
      {L"(?<!a)b", L"b", {P(0, 1)}},
      {L"(?<=a+)b", L"aab", {P(2, 3)}},
      {L"(?<=(ab|b))\\1", L"abb", {P(2, 3), P(1, 2)}},
      {L"(?<=a$)b", L"ab", {P(1, 2)}},
  });
}

}  // namespace

// Fault fixed: a positive look-behind that the iterative mode backtracks
// into tries its nearer start positions, as the recursive mode does. The
// farthest start gives \1 = "aaa", then "aa"; only the nearest ("a") lets
// the rest match.
TEST(Lookbehind, BacktrackedIntoTriesNearerStarts) {
  regex_test::run_pattern_cases({
      {L"(?<=(a+))b\\1x", L"aaabax", {regex_test::P(3, 6), regex_test::P(2, 3)}},
      {L"(?<=(a|aa|aaa))b\\1\\1x", L"aaabaaaax", {regex_test::P(3, 9), regex_test::P(1, 3)}},
  });
}

// Back-references over hand-built graphs, in both modes, both subject forms
// and both subject types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph_fixture.h"
#include "pattern_cases.h"

using namespace graph_test;

namespace {

const std::uint32_t INF = width_unbounded;

TEST(Backref, MatchesAgreeEverywhere) {
  const node_spec a = G(1, {S(L"a")});
  const std::vector<graph_case> cases = {
      {"(a)\\1 on aa", {{a, BR(1)}}, {}, L"aa", NOFLAGS, {R(0, 2), R(0, 1)}},
      {"(a)\\1 on ab", {{a, BR(1)}}, {}, L"ab", NOFLAGS, {NONE, NONE}},
      {"(a)\\1 caseless on aA", {{a, BR(1, true)}}, {}, L"aA", NOFLAGS, {R(0, 2), R(0, 1)}},
      {"(A)\\1 caseless on Aa", {{G(1, {S(L"A")}), BR(1, true)}}, {}, L"Aa", NOFLAGS, {R(0, 2), R(0, 1)}},
      {"caseless compares through the C-locale towupper only",
       {{G(1, {S(L"\u00e9")}), BR(1, true)}},
       {},
       L"\u00e9\u00c9",
       NOFLAGS,
       {NONE, NONE}},
      {"(a)?b\\1: an unmatched group fails the reference",
       {{Q(a, 0, 1), C(L'b'), BR(1)}},
       {},
       L"b",
       NOFLAGS,
       {NONE, NONE}},
      {"(a|)b\\1: an empty capture matches empty",
       {{G(1, {S(L"a"), {}}), C(L'b'), BR(1)}},
       {},
       L"b",
       NOFLAGS,
       {R(0, 1), R(0, 0)}},
      {"(abc)x\\1: the subject ends inside the capture",
       {{G(1, {S(L"abc")}), C(L'x'), BR(1)}},
       {},
       L"abcxab",
       NOFLAGS,
       {NONE, NONE}},
      {"(?:x)(a)\\1 names the first capturing group",
       {{G(1, {S(L"x")}), G(2, {S(L"a")}), BR(1)}},
       {1},
       L"xaa",
       NOFLAGS,
       {R(0, 3), R(1, 2)}},
      {"(?:x)(a)\\1 on xax", {{G(1, {S(L"x")}), G(2, {S(L"a")}), BR(1)}}, {1}, L"xax", NOFLAGS, {NONE, NONE}},
      {"(ab)\\1* greedy takes both repetitions",
       {{G(1, {S(L"ab")}), Q(BR(1), 0, INF)}},
       {},
       L"ababab",
       NOFLAGS,
       {R(0, 6), R(0, 2)}},
      {"(ab)\\1*? lazy takes none",
       {{G(1, {S(L"ab")}), Q(BR(1), 0, INF, false)}},
       {},
       L"ababab",
       NOFLAGS,
       {R(0, 2), R(0, 2)}},
      {"(a)\\1*ab gives one repetition back",
       {{a, Q(BR(1), 0, INF), C(L'a'), C(L'b')}},
       {},
       L"aaaab",
       NOFLAGS,
       {R(0, 5), R(0, 1)}},
      {"(a|)\\1*b: an empty capture repeats once",
       {{G(1, {S(L"a"), {}}), Q(BR(1), 0, INF), C(L'b')}},
       {},
       L"b",
       NOFLAGS,
       {R(0, 1), R(0, 0)}},
      {"(a|aa)\\1b steps back over the reference",
       {{G(1, {S(L"a"), S(L"aa")}), BR(1), C(L'b')}},
       {},
       L"aaaab",
       NOFLAGS,
       {R(0, 5), R(0, 2)}},
      {"(a\\1) inside its own group matches nothing", {{G(1, {{C(L'a'), BR(1)}})}}, {}, L"aa", NOFLAGS, {NONE, NONE}},
      {"forward reference (\\2b|(a))+ sees the earlier iteration",
       {{Q(G(1, {{BR(2), C(L'b')}, {G(2, {S(L"a")})}}), 1, INF)}},
       {},
       L"aab",
       NOFLAGS,
       {R(0, 3), R(1, 3), R(0, 1)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

TEST(Backref, WidthPassTranslatesOnceAndChecksEveryReference) {
  // (?:x)(a)(b\1)\2: measuring \2 measures group 3 again, and with it \1.
  const std::vector<seq> top = {{G(1, {S(L"x")}), G(2, {S(L"a")}), G(3, {{C(L'b'), BR(1)}}), BR(2)}};
  run_everywhere(
      {"a reference measured twice keeps its number", top, {1}, L"xababa", NOFLAGS, {R(0, 6), R(1, 2), R(2, 4)}});

  struct bad_case {
    const char *name;
    std::vector<seq> top;
    hidden_group_list hidden;
  };
  const std::vector<bad_case> bad = {
      {"(a)\\2", {{G(1, {S(L"a")}), BR(2)}}, {}},
      {"(a)\\2{0}: the width is measured under {0} too", {{G(1, {S(L"a")}), Q(BR(2), 0, 0)}}, {}},
      {"(?:a)\\1: the hidden group is no capture", {{G(1, {S(L"a")}), BR(1)}}, {1}},
      {"a*|\\1 in an alternative after an unbounded one", {{Q(G(1, {S(L"a")}), 0, INF)}, {BR(2)}}, {}},
  };
  for (const bad_case &b : bad) {
    SCOPED_TRACE(b.name);
    try {
      graph_pattern<SIT> pat(b.top, b.hidden, NOFLAGS, MODE_RECURSIVE);
      ADD_FAILURE() << "compiled";
    } catch (const bad_regexpr &e) {
      EXPECT_STREQ(e.what(), "reference to nonexistent group");
    }
  }
}

TEST(Backref, Widths) {
  graph_pattern<PIT> self({{G(1, {{C(L'a'), BR(1)}})}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(self.pattern_width(), (node_width{1, INF}));
  graph_pattern<PIT> after({{G(1, {S(L"a"), S(L"bc")}), Q(BR(1), 2, 2)}}, {}, NOFLAGS, MODE_RECURSIVE);
  EXPECT_EQ(after.pattern_width(), (node_width{3, 6}));
}

TEST(Backref, ThroughPatterns) {
  using namespace regex_test;
  run_pattern_cases({
      {L"(a)\\1", L"aa", {P(0, 2), P(0, 1)}},
      {L"(a)\\1", L"aA", {P(0, 2), P(0, 1)}, IGNORECASE},
      {L"(a)\\1", L"ab", {}},
      {L"(a)?b\\1", L"b", {}},
      {L"(a*)b\\1", L"b", {P(0, 1), P(0, 0)}},
      {L"(?:x)(a)\\1", L"xaa", {P(0, 3), P(1, 2)}},
      {L"(?:x)(a)\\1", L"xax", {}},
      {L"(ab)\\1*", L"ababab", {P(0, 6), P(0, 2)}},
      {L"(ab)\\1*?", L"ababab", {P(0, 2), P(0, 2)}},
      {L"(a\\1)", L"aa", {}},
      {L"(\\2b|(a))+", L"aab", {P(0, 3), P(1, 3), P(0, 1)}},
  });
  for (const wchar_t *bad : {L"(a)\\2", L"(a)\\2{0}", L"a*|(b)\\2"}) {
    try {
      rpattern pat(bad, NOFLAGS, MODE_RECURSIVE);
      ADD_FAILURE() << "compiled";
    } catch (const bad_regexpr &e) {
      EXPECT_STREQ(e.what(), "reference to nonexistent group");
    }
  }
}

}  // namespace

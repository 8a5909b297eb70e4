// Anchors and word assertions over hand-built graphs, in both modes, both
// subject forms and both subject types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graph_fixture.h"

using namespace graph_test;

namespace {

const node_spec bos = A(node_spec::BOS), bol = A(node_spec::BOL), eol = A(node_spec::EOL), eos = A(node_spec::EOS),
                peos = A(node_spec::PEOS), wb = A(node_spec::WORD_B), nwb = A(node_spec::NOT_WORD_B),
                wstart = A(node_spec::WORD_START), wstop = A(node_spec::WORD_STOP);

TEST(Anchors, AllModesAndSubjectsAgree) {
  const std::vector<graph_case> cases = {
      {"begin of subject is the subject's start, not the attempt's",
       {seq{bos} + S(L"a")},
       {},
       L"ba\na",
       NOFLAGS,
       {NONE}},
      {"begin of line after a line feed", {seq{bol} + S(L"a")}, {}, L"ba\na", NOFLAGS, {R(3, 4)}},
      {"begin of line at the very end after a final line feed", {{bol, eos}}, {}, L"a\n", NOFLAGS, {R(2, 2)}},
      {"end or before a final line feed", {S(L"b") + seq{peos}}, {}, L"ab\n", NOFLAGS, {R(1, 2)}},
      {"not before two line feeds", {S(L"b") + seq{peos}}, {}, L"ab\n\n", NOFLAGS, {NONE}},
      {"end of subject only at the end", {S(L"b") + seq{eos}}, {}, L"ab\n", NOFLAGS, {NONE}},
      {"end of subject", {S(L"ab") + seq{eos}}, {}, L"xab", NOFLAGS, {R(1, 3)}},
      {"end of line before a line feed", {S(L"a") + seq{eol}}, {}, L"a\nb", NOFLAGS, {R(0, 1)}},
      {"a carriage return is an ordinary character", {S(L"a") + seq{eol}}, {}, L"a\r\nb", NOFLAGS, {NONE}},
      {"end of line at the end", {S(L"b") + seq{eol}}, {}, L"a\nb", NOFLAGS, {R(2, 3)}},
      {"whole word between boundaries", {seq{wb} + S(L"foo") + seq{wb}}, {}, L"a foo.", NOFLAGS, {R(2, 5)}},
      {"no boundary inside a word", {seq{wb} + S(L"foo") + seq{wb}}, {}, L"afoo", NOFLAGS, {NONE}},
      {"underscore is a word character", {seq{wb} + S(L"x")}, {}, L"_x", NOFLAGS, {NONE}},
      {"digits are word characters", {seq{wb} + S(L"x")}, {}, L"9x", NOFLAGS, {NONE}},
      {"no word edge on an empty subject", {{nwb}}, {}, L"", NOFLAGS, {R(0, 0)}},
      {"no boundary on an empty subject", {{wb}}, {}, L"", NOFLAGS, {NONE}},
      {"U+00E9 is not a word character", {S(L"x") + seq{wb}}, {}, L"x\u00e9", NOFLAGS, {R(0, 1)}},
      {"U+0101 is a word character", {S(L"x") + seq{wb}}, {}, L"x\u0101", NOFLAGS, {NONE}},
      {"word end at the subject's end", {S(L"x") + seq{wstop}}, {}, L"ax", NOFLAGS, {R(1, 2)}},
      {"word start", {seq{wstart} + S(L"a")}, {}, L"ba a", NOFLAGS, {R(3, 4)}},
      {"anchors inside a group", {{G(1, {{bos}, S(L"q")}), C(L'x')}}, {}, L"qx", NOFLAGS, {R(0, 2), R(0, 1)}},
      {"RIGHTMOST with ALLMATCHES ends after an empty match",
       {{wb}},
       {},
       L"a ",
       RIGHTMOST | ALLMATCHES | KEEPWHOLEMATCHES,
       {R(1, 1)}},
      {"ALLMATCHES over word boundaries",
       {{wb}},
       {},
       L"ab cd",
       ALLMATCHES | KEEPWHOLEMATCHES,
       {R(0, 0), R(2, 2), R(3, 3), R(5, 5)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

// A NUL ends a NUL-terminated subject but is an ordinary character in a
// bounded one.
TEST(Anchors, NulTerminatedSubjectEndsAtTheFirstNul) {
  const std::wstring subject(L"ab\0cd\n\0", 7);
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    graph_pattern<PIT> b_eos({S(L"b") + seq{eos}}, {}, NOFLAGS, mode);
    graph_pattern<SIT> b_eol({S(L"b") + seq{eol}}, {}, NOFLAGS, mode);
    graph_pattern<PIT> d_peos({S(L"d") + seq{peos}}, {}, NOFLAGS, mode);
    graph_pattern<SIT> nul_c({{C(L'\0'), C(L'c')}}, {}, NOFLAGS, mode);
    EXPECT_EQ(run_once(b_eos, subject, true), (std::vector<rec>{R(1, 2)}));
    EXPECT_EQ(run_once(b_eos, subject, false), (std::vector<rec>{NONE}));
    EXPECT_EQ(run_once(b_eol, subject, true), (std::vector<rec>{R(1, 2)}));
    EXPECT_EQ(run_once(d_peos, subject, true, 3), (std::vector<rec>{R(4, 5)}));
    EXPECT_EQ(run_once(d_peos, subject, false, 3), (std::vector<rec>{NONE}));
    EXPECT_EQ(run_once(nul_c, subject, false), (std::vector<rec>{R(2, 4)}));
    EXPECT_EQ(run_once(nul_c, subject, true), (std::vector<rec>{NONE}));
  }
}

TEST(Anchors, AssertionsAreZeroWidthAndPassTheHintOn) {
  graph_pattern<SIT> pat({{wb, C(L'a'), bol, eos}, {nwb, peos, bos, eol, wstart, wstop, C(L'b')}}, {}, NOFLAGS,
                         MODE_RECURSIVE);
  EXPECT_TRUE(pat.pattern_width() == (node_width{1, 1}));
  start_hint hint{};
  ASSERT_TRUE(pat.group(0)->peek_start(hint));
  ASSERT_EQ(hint.m_count, 2u);
  EXPECT_EQ(std::wstring(hint.chars(), hint.chars() + 2), L"ab");
}

}  // namespace

// Groups, alternation and the match drivers over hand-built graphs, in both
// modes, both subject forms and both subject types.
#include <gtest/gtest.h>

#include <pthread.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "graph_fixture.h"

using namespace graph_test;

namespace {

TEST(GroupMatch, AllModesAndSubjectsAgree) {
  const std::vector<graph_case> cases = {
      {"(a|ab)c backtracks into the second alternative",
       {{G(1, {S(L"a"), S(L"ab")}), C(L'c')}},
       {},
       L"abc",
       NOFLAGS,
       {R(0, 3), R(0, 2)}},
      {"(a|) matches empty where a is missing", {{G(1, {S(L"a"), {}})}}, {}, L"b", NOFLAGS, {R(0, 0), R(0, 0)}},
      {"(cat|dog) found after a non-start character",
       {{G(1, {S(L"cat"), S(L"dog")})}},
       {},
       L"xdog",
       NOFLAGS,
       {R(1, 4), R(1, 4)}},
      {"(cat|dog) fails on x", {{G(1, {S(L"cat"), S(L"dog")})}}, {}, L"x", NOFLAGS, {NONE, NONE}},
      {"(a|ab)(c|bcd) backtracks across groups",
       {{G(1, {S(L"a"), S(L"ab")}), G(2, {S(L"c"), S(L"bcd")})}},
       {},
       L"abcd",
       NOFLAGS,
       {R(0, 4), R(0, 1), R(1, 4)}},
      {"((a)|(b))c leaves the untaken inner group unmatched",
       {{G(1, {{G(2, {S(L"a")})}, {G(3, {S(L"b")})}}), C(L'c')}},
       {},
       L"bc",
       NOFLAGS,
       {R(0, 2), R(0, 1), NONE, R(0, 1)}},
      {"(a)x|(a)y restores group 1 when its branch fails",
       {{G(1, {S(L"a")}), C(L'x')}, {G(2, {S(L"a")}), C(L'y')}},
       {},
       L"ay",
       NOFLAGS,
       {R(0, 2), NONE, R(0, 1)}},
      {"hidden group records are removed",
       {{G(1, {S(L"a")}), G(2, {S(L"b")})}},
       {1},
       L"ab",
       NOFLAGS,
       {R(0, 2), R(1, 2)}},
      {"hidden group removal without a match", {{G(1, {S(L"a")}), G(2, {S(L"b")})}}, {1}, L"xx", NOFLAGS, {NONE, NONE}},
      {"subject shorter than the minimum width", {S(L"abc")}, {}, L"ab", NOFLAGS, {NONE}},
      {"empty pattern on an empty subject", {{}}, {}, L"", NOFLAGS, {R(0, 0)}},
      {"a NUL-free subject: the last start position is tried", {S(L"b")}, {}, L"aab", NOFLAGS, {R(2, 3)}},
      {"RIGHTMOST finds the last occurrence", {S(L"a")}, {}, L"banana", RIGHTMOST, {R(5, 6)}},
      {"ALLMATCHES with an empty-capable pattern never stalls",
       {{G(1, {S(L"x"), {}})}},
       {},
       L"axb",
       ALLMATCHES | KEEPWHOLEMATCHES,
       {R(0, 0), R(1, 2), R(2, 2), R(3, 3)}},
      {"ALLMATCHES keeps all groups of every match",
       {{G(1, {S(L"a")})}},
       {},
       L"aaa",
       ALLMATCHES | KEEPALLGROUPS,
       {R(0, 1), R(0, 1), R(1, 2), R(1, 2), R(2, 3), R(2, 3)}},
      {"KEEPWHOLEMATCHES wins over KEEPALLGROUPS",
       {{G(1, {S(L"a")})}},
       {},
       L"aaa",
       ALLMATCHES | KEEPALLGROUPS | KEEPWHOLEMATCHES,
       {R(0, 1), R(1, 2), R(2, 3)}},
      {"ALLMATCHES without keep flags holds the last match",
       {{G(1, {S(L"a")})}},
       {},
       L"aaa",
       ALLMATCHES,
       {R(2, 3), R(2, 3)}},
      {"ALLMATCHES without any match holds no record", {S(L"q")}, {}, L"aaa", ALLMATCHES, {}},
      {"RIGHTMOST with ALLMATCHES ends after an empty match below the last start",
       {{A(node_spec::BOS)}},
       {},
       L"ab",
       RIGHTMOST | ALLMATCHES | KEEPWHOLEMATCHES,
       {R(0, 0)}},
  };
  for (const graph_case &c : cases) run_everywhere(c);
}

// Presets every record, including pending_start, to a sentinel and checks
// that a failing attempt leaves them exactly so.
template <class IT>
void check_failed_attempt_keeps_records(const std::wstring &subject, IT begin, IT end) {
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    graph_pattern<IT> pat({{G(1, {S(L"a")}), G(2, {S(L"b"), S(L"c")}), C(L'x')}}, {}, NOFLAGS, mode);
    std::vector<backref_tag<IT>> records(3, backref_tag<IT>(begin + 1, begin + 2));
    for (auto &r : records) {
      r.matched = true;
      r.pending_start = begin + 3;
    }
    const std::vector<backref_tag<IT>> before = records;
    match_param<IT> param(begin, begin, end, records.data(), 3);
    match_stack stack;
    stack.push(true);
    const match_stack::stack_type m = stack.mark();
    bool matched;
    if (mode == MODE_RECURSIVE) {
      matched = pat.first_node()->match_chain(param, begin);
    } else {
      param.m_pstack = &stack;
      matched = run_iterative<IT>(pat.first_node(), param, begin);
    }
    EXPECT_FALSE(matched);
    EXPECT_TRUE(stack.mark() == m);
    EXPECT_TRUE(stack.top<bool>());
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_TRUE(records[i].first == before[i].first && records[i].second == before[i].second);
      EXPECT_EQ(records[i].matched, before[i].matched);
      EXPECT_TRUE(records[i].pending_start == before[i].pending_start) << "record " << i;
    }
    (void)subject;
  }
}

TEST(GroupMatch, FailedAttemptLeavesRecordsAndStackAsBefore) {
  const std::wstring subject = L"abcabc";  // (a)(b|c)x fails after both groups matched
  check_failed_attempt_keeps_records<SIT>(subject, subject.begin(), subject.end());
  check_failed_attempt_keeps_records<PIT>(subject, subject.c_str(), subject.c_str() + subject.size());
}

// With m_fno_empty_match set, an empty match at m_istart is refused and the
// search moves on; a non-empty one there is accepted.
TEST(GroupMatch, NoEmptyMatchFlag) {
  const std::wstring subject = L"ba";
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    for (wchar_t ch : {L'a', L'b'}) {
      graph_pattern<SIT> pat({{G(1, {{C(ch)}, {}})}}, {}, NOFLAGS, mode);
      std::vector<backref_tag<SIT>> records;
      match_param<SIT> param(subject.begin(), subject.begin(), subject.end(), nullptr, 0);
      param.m_fno_empty_match = true;
      ASSERT_TRUE(pat.match_guarded(param, records, false));
      const std::vector<rec> expected =
          ch == L'a' ? std::vector<rec>{R(1, 2), R(1, 2)} : std::vector<rec>{R(0, 1), R(0, 1)};
      EXPECT_EQ(offsets(records, subject.begin()), expected);
    }
  }
  end_of_pattern<PIT> eop;
  const wchar_t *s = L"x";
  match_param<PIT> param(s, s, s + 1, nullptr, 0);
  EXPECT_TRUE(eop.match_chain(param, s));
  param.m_fno_empty_match = true;
  EXPECT_FALSE(eop.match_chain(param, s));
  EXPECT_FALSE(eop.step_forward(param));
  EXPECT_EQ(param.m_pnext, nullptr);
  EXPECT_TRUE(eop.match_chain_nul(param, s + 1));
}

// A chain far deeper than the recursion budget: the recursive mode gives up
// and the same search runs iteratively, with the right answer.
TEST(GroupMatch, DeepGraphBeyondTheRecursionBudget) {
  const std::size_t n = 300000;
  const std::wstring subject = L"x" + std::wstring(n, L'a') + L"y";
  const std::vector<seq> top = {seq{C(L'x')} + seq(n, C(L'a')) + seq{C(L'y')}};
  graph_pattern<SIT> pat(top, {}, NOFLAGS, MODE_RECURSIVE);
  ASSERT_TRUE(pat.use_recursion());
  {
    // The recursive search alone spends the budget.
    std::vector<backref_tag<SIT>> records(1);
    match_param<SIT> param(subject.begin(), subject.begin(), subject.end(), records.data(), 1);
    EXPECT_THROW(graph_pattern<SIT>::search(pat, param, false), recursion_budget_spent);
  }
  for (int round = 0; round < 2; ++round) {  // the thread stays usable
    EXPECT_EQ(run_once(pat, subject, false), (std::vector<rec>{R(0, long(n + 2))}));
    EXPECT_EQ(run_once(pat, subject, true), (std::vector<rec>{R(0, long(n + 2))}));
  }
  const std::wstring miss = L"x" + std::wstring(n, L'a') + L"z";
  EXPECT_EQ(run_once(pat, miss, false), (std::vector<rec>{NONE}));

  // In an all-matches loop each fallback starts where its match step began.
  graph_pattern<PIT> all(top, {}, ALLMATCHES | KEEPWHOLEMATCHES, MODE_RECURSIVE);
  const long m = long(n + 2);
  EXPECT_EQ(run_once(all, L"-" + subject + subject, false), (std::vector<rec>{R(1, 1 + m), R(1 + m, 1 + 2 * m)}));
  EXPECT_EQ(t_recursion_depth, 0u);
}

// On a thread with a small stack the room left on the stack, not the depth
// count, ends the recursion, still in time.
TEST(GroupMatch, DeepGraphOnASmallStack) {
  const std::size_t n = 20000;
  const std::wstring subject = std::wstring(n, L'a') + L"b";
  const std::vector<seq> top = {seq(n, C(L'a')) + seq{C(L'b')}};
  graph_pattern<PIT> pat(top, {}, NOFLAGS, MODE_RECURSIVE);
  struct job {
    const graph_pattern<PIT> *pat;
    const std::wstring *subject;
    std::vector<rec> result;
  } work{&pat, &subject, {}};
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 512 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void *p) -> void * {
                  job *w = static_cast<job *>(p);
                  w->result = run_once(*w->pat, *w->subject, false);
                  return nullptr;
                },
                &work),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(work.result, (std::vector<rec>{R(0, long(n + 1))}));
}

TEST(MatchDriver, RangeOfTheStringForm) {
  graph_pattern<SIT> anchored({seq{A(node_spec::BOS)} + S(L"abc")}, {}, NOFLAGS, MODE_RECURSIVE);
  graph_pattern<SIT> c({S(L"c")}, {}, NOFLAGS, MODE_RECURSIVE);
  graph_pattern<SIT> empty({{}}, {}, NOFLAGS, MODE_ITERATIVE);
  const std::wstring subject = L"abcabc";
  match_results results;

  // The range begin is the subject's begin for the anchors, and positions
  // count from it.
  EXPECT_TRUE(anchored.match(subject, results, 3, std::wstring::npos).matched);
  EXPECT_EQ(results.group_position(0), 0u);
  EXPECT_EQ(results.group_length(0), 3u);
  EXPECT_TRUE(results.m_ibegin == subject.begin() + 3);
  EXPECT_FALSE(anchored.match(subject, results, 1, std::wstring::npos).matched);

  EXPECT_EQ(c.match(subject, results, 1, 100).first - subject.begin(), 2);  // len cut at the end
  EXPECT_EQ(c.match(subject, results, 4, std::wstring::npos - 2).first - subject.begin(), 5);
  EXPECT_FALSE(c.match(subject, results, 0, 2).matched);
  EXPECT_EQ(c.match(subject, results, 4, 1).matched, false);

  const backref_tag<SIT> &at_end = empty.match(subject, results, subject.size(), std::wstring::npos);
  EXPECT_TRUE(at_end.matched);
  EXPECT_TRUE(at_end.first == subject.end());

  EXPECT_THROW(c.match(subject, results, subject.size() + 1, std::wstring::npos), std::out_of_range);
}

// Candidates come from the literal searcher; an anchored pattern tries the
// first candidate only.
TEST(MatchDriver, SearchTriesTheLiteralSearchersCandidates) {
  const std::wstring subject = L"zabxabc";
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    graph_pattern<SIT> ps({S(L"abc")}, {}, NOFLAGS, mode);
    graph_pattern<PIT> pp({S(L"abc")}, {}, NOFLAGS, mode);
    ps.use_searcher(L"ab", false);
    pp.use_searcher(L"ab", false);
    EXPECT_EQ(run_once(ps, subject, false), (std::vector<rec>{R(4, 7)}));
    EXPECT_EQ(run_once(pp, subject, false), (std::vector<rec>{R(4, 7)}));
    ps.use_searcher(L"ab", true);
    EXPECT_EQ(run_once(ps, subject, false), (std::vector<rec>{NONE}));
    EXPECT_EQ(run_once(ps, subject, false, 3), (std::vector<rec>{R(4, 7)}));
  }
}

TEST(MatchDriver, FailedMatchReturnsTheSharedEmptyRecord) {
  graph_pattern<SIT> pat({S(L"z")}, {}, NOFLAGS, MODE_RECURSIVE);
  graph_pattern<SIT> big({{G(1, {S(L"a")}), G(2, {S(L"b")})}}, {}, NOFLAGS, MODE_RECURSIVE);
  const std::wstring subject = L"ab";
  match_results results;
  for (int i = 0; i < 2; ++i) {
    const backref_tag<SIT> &r = pat.match(subject, results, 0, std::wstring::npos);
    EXPECT_EQ(&r, &empty_backref<SIT>);
    EXPECT_FALSE(r.matched);
    EXPECT_EQ(r.str(), L"");
    EXPECT_EQ(results.m_records.size(), 1u);
    // A results object reused for a pattern with more groups grows.
    EXPECT_EQ(big.match(subject, results, 0, std::wstring::npos).str(), L"ab");
    EXPECT_EQ(results.m_records.size(), 3u);
    EXPECT_EQ(results.m_records[2].str(), L"b");
  }
}

TEST(PatternObject, ModesFlagsAndAccessors) {
  struct {
    unsigned mode;
    bool recursive;
  } const modes[] = {{MODE_RECURSIVE, true}, {MODE_ITERATIVE, false}, {MODE_AUTO, true}, {7, false}};
  for (const auto &m : modes) {
    detail::rpattern_engine pat(L"", NOFLAGS, match_mode(m.mode));
    EXPECT_EQ(pat.use_recursion(), m.recursive) << m.mode;
  }
  EXPECT_EQ(unsigned(IGNORECASE | ALLMATCHES | KEEPALLGROUPS), 0x83u);
  EXPECT_EQ(unsigned(~RIGHTMOST & (DOTALL | RIGHTMOST)), unsigned(DOTALL));

  detail::rpattern_engine pat(L"", DISCARDGROUPS, MODE_RECURSIVE);
  EXPECT_EQ(pat._cgroups_total(), 1u);
  EXPECT_EQ(pat.visible_group_count(), 1u);
  EXPECT_EQ(pat.first_node()->alternative_count(), 1u);
  EXPECT_TRUE(pat.pattern_width() == (node_width{0, 0}));
  EXPECT_TRUE(pat.is_unanchored());
  EXPECT_FALSE(pat.keep_group_records());
  EXPECT_TRUE(detail::rpattern_engine(L"", NOFLAGS, MODE_RECURSIVE).keep_group_records());
}

TEST(PatternObject, InitKeepsTheOldPatternWhenItFails) {
  rpattern pat(L"", ALLMATCHES, MODE_ITERATIVE);
  EXPECT_THROW(pat.init(L"(", NOFLAGS, MODE_RECURSIVE), bad_regexpr);
  EXPECT_EQ(pat.flags(), ALLMATCHES);
  EXPECT_EQ(pat.mode(), MODE_ITERATIVE);
  match_results results;
  EXPECT_TRUE(pat.match(std::wstring(L"ab"), results, 0, std::wstring::npos).matched);
  EXPECT_EQ(results.m_records.size(), 1u);  // the last of the three empty matches
}

TEST(PatternObject, SwapKeepsTextsAtTheirAddresses) {
  rpattern a(L"", IGNORECASE, MODE_RECURSIVE);
  rpattern b(L"", DOTALL, MODE_ITERATIVE);
  const std::wstring *text_a = &a.pattern_text();
  a.swap(b);
  EXPECT_EQ(&b.pattern_text(), text_a);
  EXPECT_EQ(a.flags(), DOTALL);
  EXPECT_EQ(b.mode(), MODE_RECURSIVE);
}

TEST(PatternObject, EscapeExpansionOfSubstitutionText) {
  const struct {
    std::wstring in, out;
  } cases[] = {
      {L"", L""},
      {L"x\\", L"x\\"},
      {L"a\\tb", L"a\tb"},
      {L"\\a\\e\\f\\n\\r\\v", std::wstring{7, 27, 12, 10, 13, 11}},
      {L"\\1\\$\\x", L"\\1\\$\\x"},
      {L"\\\\\\\\", L"\\\\"},
      {L"\\\\\\\\\\\\", L"\\\\\\\\"},
      {L"\\\\n", L"\\\\n"},
  };
  for (const auto &c : cases) {
    std::wstring text = c.in;
    expand_escapes(text);
    EXPECT_EQ(text, c.out) << std::string(c.in.begin(), c.in.end());
  }
}

TEST(NodeProtocol, WidthsSaturateAndGroupsMeasureAlternatives) {
  EXPECT_TRUE((node_width{2, 5} + node_width{1, width_unbounded}) == (node_width{3, width_unbounded}));
  EXPECT_TRUE((node_width{0xFFFFFFF0u, 1} + node_width{0x20, 1}) == (node_width{width_unbounded, 2}));
  EXPECT_TRUE((node_width{3, 0x10000} * node_width{0, 0x10000}) == (node_width{0, width_unbounded}));
  EXPECT_TRUE((node_width{0, 1} * node_width{5, width_unbounded}) == (node_width{0, width_unbounded}));

  graph_pattern<PIT> pat({{G(1, {S(L"a"), S(L"bc")}), G(2, {S(L"a"), {}}), A(node_spec::BOS)}}, {}, NOFLAGS,
                         MODE_RECURSIVE);
  std::vector<match_group_base<PIT> *> table;
  hidden_group_list hidden;
  width_context<PIT> wp{&table, &hidden};
  EXPECT_TRUE(pat.group(1)->width_range(wp) == (node_width{1, 2}));
  EXPECT_TRUE(pat.group(2)->width_range(wp) == (node_width{0, 1}));
  EXPECT_TRUE(pat.pattern_width() == (node_width{1, 3}));
  end_of_pattern<PIT> eop;
  EXPECT_TRUE(eop.width_range(wp) == (node_width{0, 0}));
}

TEST(NodeProtocol, DefaultQuantifierRefuses) {
  arena_allocator<char> arena(1, std::allocator<char>());
  {
    end_of_pattern<SIT> eop;
    assert_op<SIT, opwrap_of<bos_t>> anchor;
    for (sub_expr<SIT> *node : {static_cast<sub_expr<SIT> *>(&eop), static_cast<sub_expr<SIT> *>(&anchor)}) {
      try {
        node->make_quantifier(0, width_unbounded, true, arena);
        ADD_FAILURE() << "quantified";
      } catch (const bad_regexpr &e) {
        EXPECT_STREQ(e.what(), "sub-expression cannot be quantified");
      }
    }
    EXPECT_TRUE(anchor.is_assertion_node());
    EXPECT_FALSE(eop.is_assertion_node());
  }
  arena.destroy_arena();
}

TEST(NodeProtocol, StartFilterHoldsEachFirstCharacterOnce) {
  graph_pattern<SIT> pat({{G(1, {S(L"cat"), S(L"dog"), S(L"cow")})}, {G(2, {S(L"a"), {}})}}, {}, NOFLAGS,
                         MODE_RECURSIVE);
  start_hint hint{};
  ASSERT_TRUE(pat.group(1)->peek_start(hint));
  ASSERT_EQ(hint.m_count, 2u);
  EXPECT_EQ(std::wstring(hint.chars(), hint.chars() + 2), L"cd");
  EXPECT_FALSE(hint.m_lit.m_present);
  EXPECT_FALSE(pat.group(2)->peek_start(hint));  // the empty alternative gives no hint
  EXPECT_FALSE(pat.group(0)->peek_start(hint));
  // At the subject's end the filter refuses before any record is touched.
  const std::wstring subject = L"xc";
  match_param<SIT> param(subject.begin(), subject.begin(), subject.end(), nullptr, 0);
  EXPECT_FALSE(pat.group(1)->match_chain(param, subject.end()));
  EXPECT_FALSE(pat.group(1)->match_chain(param, subject.begin()));
}

// A wrapper runs a group's entry and retry steps as a node of its own.
TEST(NodeProtocol, GroupWrapperRunsTheGroupAsAMatch) {
  graph_pattern<PIT> pat({{G(1, {S(L"ab"), S(L"a")}), C(L'c')}}, {}, NOFLAGS, MODE_ITERATIVE);
  const wchar_t *s = L"acx";
  std::vector<backref_tag<PIT>> records(2);
  match_param<PIT> param(s, s, s + 3, records.data(), 2);
  match_stack stack;
  param.m_pstack = &stack;
  const group_wrapper<PIT> wrapper(pat.group(1));
  ASSERT_TRUE(run_iterative<PIT>(&wrapper, param, s));  // "ab" fails at c, "a" is retried
  EXPECT_EQ(offsets(records, s)[1], R(0, 1));
  EXPECT_TRUE(stack.empty());
  EXPECT_FALSE(run_iterative_nul<PIT>(&wrapper, param, s + 1));
  EXPECT_TRUE(stack.empty());
}

TEST(NodeProtocol, NodeHolderOwnsUntilReleased) {
  arena_allocator<char> arena(1, std::allocator<char>());
  {
    node_holder<PIT> holder(new (arena) end_of_pattern<PIT>());
    sub_expr<PIT> *same = holder.get();
    holder.reset(same);  // keeps the node it already holds
    EXPECT_EQ(holder.get(), same);
    node_holder<PIT> other(new (arena) end_of_pattern<PIT>());
    holder.reset(other);
    EXPECT_EQ(other.get(), nullptr);
    delete holder.release();
    EXPECT_EQ(holder.get(), nullptr);
  }
  arena.destroy_arena();
}

TEST(LiteralSearcher, FindsEveryOccurrenceAndNothingPastTheEnd) {
  const std::wstring lit = L"abc";
  literal_searcher exact(lit.begin(), lit.end(), nullptr);
  const std::wstring s = L"xxabcabc";
  PIT b = s.c_str(), e = b + s.size();
  EXPECT_EQ(exact.find(b, e) - b, 2);
  EXPECT_EQ(exact.find(b + 3, e) - b, 5);
  EXPECT_EQ(exact.find(b + 6, e), e);
  EXPECT_EQ(exact.find(b, b + 4), b + 4);  // would run past the end
  EXPECT_EQ(exact.find(b, b + 2), b + 2);  // shorter than the literal
  EXPECT_TRUE(exact.find(s.begin() + 1, s.end()) == s.begin() + 2);

  const std::wstring upper = L"CHARSET=", lower = L"charset=";
  literal_searcher nocase(upper.begin(), upper.end(), lower.c_str());
  const std::wstring page = L"x CharSet=utf-8 \u0143CHARSET=";
  EXPECT_EQ(nocase.find(page.begin(), page.end()) - page.begin(), 2);
  EXPECT_EQ(nocase.find(page.begin() + 3, page.end()) - page.begin(), long(page.size() - 8));

  // Punctuation in the literal is scanned for, and each hit compared whole.
  const std::wstring eq = L"ab=";
  literal_searcher anchored(eq.begin(), eq.end(), nullptr);
  const std::wstring t = L"=ab=xb=ab=";
  PIT tb = t.c_str(), te = tb + t.size();
  EXPECT_EQ(anchored.find(tb, te) - tb, 1);
  EXPECT_EQ(anchored.find(tb + 2, te) - tb, 7);
  EXPECT_EQ(anchored.find(tb + 2, te - 1), te - 1);  // the last window runs past the end
  EXPECT_EQ(anchored.find(tb, tb + 2), tb + 2);
  const std::wstring meta = L"<META", meta_lower = L"<meta";
  literal_searcher tag(meta.begin(), meta.end(), meta_lower.c_str());
  const std::wstring html = L"<a><b <MeTa x<meta";
  EXPECT_EQ(tag.find(html.begin(), html.end()) - html.begin(), 6);
  EXPECT_EQ(tag.find(html.begin() + 7, html.end()) - html.begin(), 13);
  EXPECT_TRUE(tag.find(html.begin() + 14, html.end()) == html.end());

  // A short literal: its first character in both forms, block by block.
  const std::wstring up = L"ABC", low = L"abc";
  literal_searcher short_nocase(up.begin(), up.end(), low.c_str());
  for (std::size_t at : {std::size_t(1), std::size_t(2046), std::size_t(2047), std::size_t(2048), std::size_t(5000)}) {
    const std::wstring text = std::wstring(at, L'x') + L"aBc" + L" Abc";
    EXPECT_EQ(short_nocase.find(text.begin(), text.end()) - text.begin(), long(at)) << at;
    EXPECT_EQ(short_nocase.find(text.begin() + long(at) + 1, text.end()) - text.begin(), long(at) + 4) << at;
    EXPECT_TRUE(short_nocase.find(text.begin(), text.end() - 5) == text.end() - 5) << at;
  }
}

}  // namespace

// Character, literal, set and dot atoms and the greedy and lazy atom
// quantifiers, on hand-built graphs run in both modes, both subject forms and
// both subject types.
#include <gtest/gtest.h>

#include <cwchar>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "graph_fixture.h"
#include "utils/regex/detail/matcher_atoms.h"

using namespace graph_test;

namespace {

constexpr std::uint32_t INF = 0xFFFFFFFFu;

// A zero-width node that logs each position at which the rest of the
// pattern is offered to it, then goes on.
template <class IT>
class probe_node : public sub_expr<IT> {
 public:
  probe_node(std::vector<long> *log, IT origin) : m_plog(log), m_origin(origin) {}
  bool match_chain(match_param<IT> &param, IT pos) const override {
    m_plog->push_back(long(pos - m_origin));
    return this->match_next(param, pos);
  }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override {
    m_plog->push_back(long(pos - m_origin));
    return this->match_next_nul(param, pos);
  }
  bool step_forward(match_param<IT> &param) const override {
    m_plog->push_back(long(param.m_icur - m_origin));
    param.m_pnext = this->next;
    return true;
  }
  bool step_forward_nul(match_param<IT> &param) const override { return step_forward(param); }
  node_width width_range(const width_context<IT> &) override { return node_width{0, 0}; }

 private:
  std::vector<long> *m_plog;
  IT m_origin;
};

struct atom_spec {
  enum kind { CHR, CHR_NC, LIT, LIT_NC, SET, SET_NC, DIGIT, DIGIT_NC, ANY, ANY_ALL, GROUP, PROBE };
  kind k;
  std::wstring text;
  int group = 0;
  std::vector<atom_spec> body{};
  bool quantified = false;
  std::uint32_t min = 0, max = 0;
  bool greedy = true;
};
typedef std::vector<atom_spec> aseq;

atom_spec Ch(wchar_t c) { return {atom_spec::CHR, std::wstring(1, c)}; }
atom_spec ChI(wchar_t c) { return {atom_spec::CHR_NC, std::wstring(1, c)}; }
atom_spec Lit(const wchar_t *s) { return {atom_spec::LIT, s}; }
atom_spec LitI(const wchar_t *s) { return {atom_spec::LIT_NC, s}; }
atom_spec Set(const wchar_t *s) { return {atom_spec::SET, s}; }  // text after the '['
atom_spec SetI(const wchar_t *s) { return {atom_spec::SET_NC, s}; }
atom_spec Dig() { return {atom_spec::DIGIT, L""}; }
atom_spec DigI() { return {atom_spec::DIGIT_NC, L""}; }
atom_spec Any() { return {atom_spec::ANY, L""}; }
atom_spec AnyAll() { return {atom_spec::ANY_ALL, L""}; }
atom_spec Grp(int n, aseq body) { return {atom_spec::GROUP, L"", n, std::move(body)}; }
atom_spec Probe() { return {atom_spec::PROBE, L""}; }
atom_spec Q(atom_spec a, std::uint32_t min, std::uint32_t max) {
  a.quantified = true;
  a.min = min;
  a.max = max;
  return a;
}
atom_spec Lazy(atom_spec a, std::uint32_t min, std::uint32_t max) {
  a = Q(a, min, max);
  a.greedy = false;
  return a;
}

// A pattern whose graph is built from atom descriptions, as the compiler
// would build it: literal atoms point into texts the pattern keeps.
template <class IT>
class atom_pattern : public basic_rpattern_base<IT, perl_syntax<wchar_t>> {
  typedef basic_rpattern_base<IT, perl_syntax<wchar_t>> base;

 public:
  atom_pattern(const aseq &top, match_mode mode, std::vector<long> *log = nullptr, IT origin = IT())
      : base(std::wstring(), NOFLAGS, mode), m_plog(log), m_origin(origin) {
    delete this->m_plan.m_pfirst;
    this->m_plan.m_pfirst = nullptr;
    match_group<IT> *g0 = build_group(0, {top});
    *g0->next_link() = new (this->m_arena) end_of_pattern<IT>();
    this->m_plan.m_pfirst = g0;
    this->m_plan.m_cgroups_total = this->m_plan.m_cvisible_groups = unsigned(m_groups.size());
    this->m_plan.m_width = g0->top_width_range(m_groups, this->m_plan.m_hidden_groups);
  }

  // The stored text of the i-th literal built.
  const std::wstring &literal_text(std::size_t i) const { return *m_texts.at(i); }
  arena_allocator<char> &arena() { return this->m_arena; }

  sub_expr<IT> *build(const atom_spec &s) {
    arena_allocator<char> &a = this->m_arena;
    sub_expr<IT> *node = nullptr;
    switch (s.k) {
      case atom_spec::CHR:
        node = new (a) match_char_t<IT, wchar_t>(s.text[0]);
        break;
      case atom_spec::CHR_NC: {
        const wchar_t lo = char_tolower(s.text[0]), up = char_toupper(s.text[0]);
        if (lo == up)
          node = new (a) match_char_t<IT, wchar_t>(s.text[0]);
        else
          node = new (a) match_char_t<IT, char_nocase<wchar_t>>(char_nocase<wchar_t>{lo, up});
        break;
      }
      case atom_spec::LIT:
        m_texts.push_back(std::make_unique<std::wstring>(s.text));
        node = new (a) match_literal_t<IT>(m_texts.back()->cbegin(), m_texts.back()->cend());
        break;
      case atom_spec::LIT_NC:
        m_texts.push_back(std::make_unique<std::wstring>(s.text));
        node = new (a) match_literal_nocase_t<IT>(m_texts.back()->begin(), m_texts.back()->end(), a);
        break;
      case atom_spec::SET:
      case atom_spec::SET_NC: {
        const bool nocase = s.k == atom_spec::SET_NC;
        std::unique_ptr<const custom_charset> set(parse_set(s.text, nocase));
        if (nocase)
          node = new (a) match_charset_t<IT, std::unique_ptr<const custom_charset>, false>(std::move(set));
        else
          node = new (a) match_charset_t<IT, std::unique_ptr<const custom_charset>, true>(std::move(set));
        break;
      }
      case atom_spec::DIGIT:
        node = new (a) match_charset_t<IT, const charset *, true>(intrinsic_charsets::get_digit_charset());
        break;
      case atom_spec::DIGIT_NC:
        node = new (a) match_charset_t<IT, const charset *, false>(intrinsic_charsets::get_digit_charset());
        break;
      case atom_spec::ANY:
        node = new (a) match_any_t<IT, opwrap_of<eol_t>>();
        break;
      case atom_spec::ANY_ALL:
        node = new (a) match_any_t<IT, opwrap_of<eos_t>>();
        break;
      case atom_spec::GROUP:
        node = build_group(s.group, {s.body});
        break;
      case atom_spec::PROBE:
        node = new (a) probe_node<IT>(m_plog, m_origin);
        break;
    }
    if (s.quantified) node = node->make_quantifier(s.min, s.max, s.greedy, a);
    return node;
  }

  custom_charset *parse_set(const std::wstring &text, bool nocase) {
    custom_charset *set = new (this->m_arena) custom_charset(this->m_arena);
    perl_syntax<wchar_t> syn(nocase ? IGNORECASE : NOFLAGS);
    std::wstring::const_iterator it = text.begin();
    parse_bracket_set(*set, it, text.end(), syn);
    return set;
  }

 private:
  match_group<IT> *build_group(int n, const std::vector<aseq> &alts) {
    match_group<IT> *g = new (this->m_arena) match_group<IT>(n, this->m_arena);
    if (m_groups.size() <= std::size_t(n)) m_groups.resize(n + 1, nullptr);
    m_groups[n] = g;
    g->begin_group();
    for (const atom_spec &s : alts[0]) g->append_node(build(s));
    g->close_group(this->m_arena);
    return g;
  }

  std::vector<long> *m_plog;
  IT m_origin;
  std::vector<match_group_base<IT> *> m_groups;
  std::vector<std::unique_ptr<std::wstring>> m_texts;
};

template <class IT>
std::vector<rec> run_atoms(const atom_pattern<IT> &pat, const std::wstring &subject, bool nul) {
  basic_match_results<IT> results;
  if constexpr (std::is_same_v<IT, SIT>) {
    pat.run_match(results, subject.begin(), subject.end(), nul);
    return offsets(results.m_records, subject.begin());
  } else {
    const wchar_t *b = subject.c_str();
    pat.run_match(results, b, b + subject.size(), nul);
    return offsets(results.m_records, b);
  }
}

struct atom_case {
  const char *name;
  aseq pattern;
  std::wstring subject;
  std::vector<rec> expected;
};

// Both modes, both subject types, bounded and (for NUL-free subjects)
// NUL-terminated: every run gives the expected records.
void run_everywhere(const atom_case &c) {
  SCOPED_TRACE(c.name);
  const bool nul_ok = c.subject.find(L'\0') == std::wstring::npos;
  for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
    SCOPED_TRACE(mode == MODE_RECURSIVE ? "recursive" : "iterative");
    atom_pattern<SIT> ps(c.pattern, mode);
    atom_pattern<PIT> pp(c.pattern, mode);
    EXPECT_EQ(run_atoms(ps, c.subject, false), c.expected) << "string iterator, bounded";
    EXPECT_EQ(run_atoms(pp, c.subject, false), c.expected) << "pointer, bounded";
    if (nul_ok) {
      EXPECT_EQ(run_atoms(ps, c.subject, true), c.expected) << "string iterator, NUL-terminated";
      EXPECT_EQ(run_atoms(pp, c.subject, true), c.expected) << "pointer, NUL-terminated";
    }
  }
}

void run_table(const std::vector<atom_case> &cases) {
  for (const atom_case &c : cases) run_everywhere(c);
}

// Runs the pattern once at the start of the subject, directly on its top
// group, and returns the positions offered to its probe node; checks that
// the iterative run leaves the stack as it found it.
template <class IT>
std::vector<long> offers(const aseq &pattern, const std::wstring &subject, match_mode mode, bool &matched) {
  std::vector<long> log;
  IT b, e;
  if constexpr (std::is_same_v<IT, SIT>) {
    b = subject.begin();
    e = subject.end();
  } else {
    b = subject.c_str();
    e = b + subject.size();
  }
  atom_pattern<IT> pat(pattern, mode, &log, b);
  std::vector<backref_tag<IT>> records(pat._cgroups_total());
  match_param<IT> param(b, b, e, records.data(), unsigned(records.size()));
  if (mode == MODE_RECURSIVE) {
    matched = pat.first_node()->match_chain(param, b);
  } else {
    match_stack stack;
    param.m_pstack = &stack;
    const match_stack::stack_type before = stack.mark();
    matched = run_iterative<IT>(pat.first_node(), param, b);
    EXPECT_EQ(stack.mark(), before);
  }
  return log;
}

}  // namespace

TEST(Atoms, CharactersLiteralsSetsAndDots) {
  run_table({
      {"exact character", {Ch(L'a')}, L"bAa", {R(2, 3)}},
      {"character in either case", {ChI(L'a')}, L"bAa", {R(1, 2)}},
      {"either case matches only its two forms", {ChI(L'a'), ChI(L'b')}, L"ab", {R(0, 2)}},
      {"uncased character under IGNORECASE is exact", {ChI(L'5'), ChI(L'=')}, L"x5=", {R(1, 3)}},
      {"character beyond U+FFFF", {Ch(wchar_t(0x1F600))}, std::wstring(L"a") + wchar_t(0x1F600), {R(1, 2)}},
      {"literal", {Lit(L"abc")}, L"xabcx", {R(1, 4)}},
      {"literal ending at the subject's end", {Lit(L"abc")}, L"zabc", {R(1, 4)}},
      {"literal cut off by the subject's end", {Lit(L"abc")}, L"zab", {NONE}},
      {"literal is case-sensitive", {Lit(L"abc")}, L"ABC", {NONE}},
      {"literal in either case", {LitI(L"charset=")}, L"x: ChArSeT=", {R(3, 11)}},
      {"literal in either case, upper subject", {LitI(L"charset=")}, L"CHARSET=", {R(0, 8)}},
      {"bracket set", {Set(L"a-c]")}, L"xzb", {R(2, 3)}},
      {"negated bracket set", {Set(L"^a-c]")}, L"abcd", {R(3, 4)}},
      {"bracket set in either case", {SetI(L"a-c]")}, L"xzB", {R(2, 3)}},
      {"bracket set is exact without IGNORECASE", {Set(L"a-c]")}, L"ABC", {NONE}},
      {"built-in digit set", {Dig()}, L"ab3", {R(2, 3)}},
      {"built-in digit set through in_nocase", {DigI()}, L"ab3", {R(2, 3)}},
      {"dot skips a line feed, takes a carriage return", {Any()}, L"\n\rx", {R(1, 2)}},
      {"DOTALL dot takes a line feed", {AnyAll()}, L"\n", {R(0, 1)}},
      {"dot fails on an empty subject", {Any()}, L"", {NONE}},
  });
}

TEST(Atoms, CaseInsensitiveSetOfTheCharsetPattern) {
  // [-\w]+ as the character-set detection builds it
  run_table({
      {"[-\\w]+ in either case", {Q(SetI(L"-\\w]"), 1, INF)}, L"=  aB_9-=", {R(3, 8)}},
      {"[-\\w] refuses = space and line feed", {SetI(L"-\\w]")}, L"= \n", {NONE}},
  });
}

TEST(Atoms, NulTerminatedFormsStopAtNul) {
  const std::wstring subject = std::wstring(L"ab") + L'\0' + L"cd";
  const struct {
    aseq pattern;
    rec bounded;
    rec nul;
  } cases[] = {
      {{Q(AnyAll(), 1, INF)}, R(0, 5), R(0, 2)}, {{Q(Set(L"^x]"), 1, INF)}, R(0, 5), R(0, 2)},
      {{Lit(L"b"), AnyAll()}, R(1, 3), NONE},    {{Ch(L'\0')}, R(2, 3), NONE},
      {{Lazy(AnyAll(), 3, INF)}, R(0, 3), NONE},
  };
  for (const auto &c : cases) {
    for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
      atom_pattern<SIT> ps(c.pattern, mode);
      atom_pattern<PIT> pp(c.pattern, mode);
      EXPECT_EQ(run_atoms(ps, subject, false), std::vector<rec>{c.bounded});
      EXPECT_EQ(run_atoms(pp, subject, false), std::vector<rec>{c.bounded});
      EXPECT_EQ(run_atoms(ps, subject, true), std::vector<rec>{c.nul});
      EXPECT_EQ(run_atoms(pp, subject, true), std::vector<rec>{c.nul});
    }
  }
}

TEST(AtomQuantifiers, Greedy) {
  run_table({
      {"a+b", {Q(Ch(L'a'), 1, INF), Ch(L'b')}, L"aaab", {R(0, 4)}},
      {"a{2,3}x fails on aaaa", {Q(Ch(L'a'), 2, 3), Ch(L'x')}, L"aaaa", {NONE}},
      {"a{2,3}x stops at the maximum", {Q(Ch(L'a'), 2, 3), Ch(L'x')}, L"aaaax", {R(1, 5)}},
      {"a?a gives its repetition back", {Q(Ch(L'a'), 0, 1), Ch(L'a')}, L"a", {R(0, 1)}},
      {"x{0} takes nothing", {Q(Ch(L'a'), 0, 0), Ch(L'b')}, L"ab", {R(1, 2)}},
      {"a* with a failing atom offers the start", {Q(Ch(L'a'), 0, INF), Ch(L'b')}, L"b", {R(0, 1)}},
      {"a{3} needs three", {Q(Ch(L'a'), 3, 3)}, L"aab", {NONE}},
      {"(?:ab)+abc backs off a whole literal", {Q(Lit(L"ab"), 1, INF), Lit(L"abc")}, L"abababc", {R(0, 7)}},
      {"[a-c]{2,}c backs off one", {Q(Set(L"a-c]"), 2, INF), Ch(L'c')}, L"abcbc", {R(0, 5)}},
      {".+ab finds the last ab", {Q(Any(), 1, INF), Lit(L"ab")}, L"xabyab", {R(0, 6)}},
      {".+ stops before a line feed", {Q(Any(), 1, INF)}, L"utf-8\r\nmore", {R(0, 6)}},
      {"DOTALL .+ runs to the end", {Q(AnyAll(), 1, INF)}, L"utf-8\r\nmore", {R(0, 11)}},
      {"case-insensitive character repeated", {Q(ChI(L'k'), 2, INF)}, L"xkKkq", {R(1, 4)}},
      {"case-insensitive literal repeated", {Q(LitI(L"ab"), 1, INF)}, L"aBAbab", {R(0, 6)}},
      {"\\d+ inside a group", {Grp(1, {Q(Dig(), 1, INF)})}, L"ab123c", {R(2, 5), R(2, 5)}},
  });
}

TEST(AtomQuantifiers, Lazy) {
  run_table({
      {"a*? matches empty", {Lazy(Ch(L'a'), 0, INF)}, L"aaa", {R(0, 0)}},
      {"a*?b takes the a one at a time", {Lazy(Ch(L'a'), 0, INF), Ch(L'b')}, L"aaab", {R(0, 4)}},
      {"a+? takes one", {Lazy(Ch(L'a'), 1, INF)}, L"aaa", {R(0, 1)}},
      {"a{2,3}?b", {Lazy(Ch(L'a'), 2, 3), Ch(L'b')}, L"aaab", {R(0, 4)}},
      {"a{2,3}?b needs the second start on aaaab", {Lazy(Ch(L'a'), 2, 3), Ch(L'b')}, L"aaaab", {R(1, 5)}},
      {"a{2,}? on a", {Lazy(Ch(L'a'), 2, INF)}, L"a", {NONE}},
      {"a{0}? takes nothing", {Lazy(Ch(L'a'), 0, 0), Ch(L'b')}, L"ab", {R(1, 2)}},
      {"a*?c with a failing atom", {Lazy(Ch(L'a'), 0, INF), Ch(L'c')}, L"bc", {R(1, 2)}},
      {"(?:ab)+?c", {Lazy(Lit(L"ab"), 1, INF), Ch(L'c')}, L"ababc", {R(0, 5)}},
      {".+?x stops at the first x", {Lazy(Any(), 1, INF), Ch(L'x')}, L"abxcx", {R(0, 3)}},
      {".+? does not cross a line feed", {Lazy(Any(), 1, INF), Ch(L'x')}, L"a\nx", {NONE}},
      {"[0-9]{2,}? inside a group", {Grp(1, {Lazy(Set(L"0-9]"), 2, INF)})}, L"a1234", {R(1, 3), R(1, 3)}},
  });
}

TEST(AtomQuantifiers, CharsetDetectionPatterns) {
  // charset=(.+) and <meta.+?charset=([-\w]+), compiled case-insensitively
  const aseq first = {LitI(L"charset="), Grp(1, {Q(Any(), 1, INF)})};
  const aseq meta = {LitI(L"<meta"), Lazy(Any(), 1, INF), LitI(L"charset="), Grp(1, {Q(SetI(L"-\\w]"), 1, INF)})};
  const std::wstring header = L"text/html; Charset=gb2312\r\nServer: x";
  const std::wstring tag = L"<META http-equiv=\"Content-Type\" content=\"text/html; charset=GB2312\">";
  const std::wstring twice = L"<meta charset= x; charset=utf-8>";
  const long tag_value = long(tag.find(L"GB2312"));
  const long twice_value = long(twice.find(L"utf-8"));
  run_table({
      {"charset=(.+) takes the rest of the line", first, header, {R(11, 26), R(19, 26)}},
      {"meta tag", meta, tag, {R(0, tag_value + 6), R(tag_value, tag_value + 6)}},
      {"the first charset= followed by a set character wins",
       meta,
       twice,
       {R(0, twice_value + 5), R(twice_value, twice_value + 5)}},
      {"charset= only after a line end", meta, L"<meta a=b\ncharset=gbk>", {NONE, NONE}},
  });
}

TEST(AtomQuantifiers, OffersInTheSameOrderInBothModes) {
  const struct {
    const char *name;
    aseq pattern;
    std::wstring subject;
    std::vector<long> offered;
    bool matched;
  } cases[] = {
      {"greedy {2,3} offers 3 then 2", {Q(Ch(L'a'), 2, 3), Probe(), Ch(L'x')}, L"aaaa", {3, 2}, false},
      {"greedy + offers every count down to 1", {Q(Ch(L'a'), 1, INF), Probe(), Ch(L'b')}, L"aaab", {3}, true},
      {"greedy ? offers 1 then 0", {Q(Ch(L'a'), 0, 1), Probe(), Ch(L'a')}, L"a", {1, 0}, true},
      {"greedy {0} offers the start once", {Q(Ch(L'a'), 0, 0), Probe(), Ch(L'x')}, L"aa", {0}, false},
      {"greedy literal backs off by its length",
       {Q(Lit(L"abc"), 0, INF), Probe(), Ch(L'x')},
       L"abcabc",
       {6, 3, 0},
       false},
      {"lazy {2,3} offers 2 then 3", {Lazy(Ch(L'a'), 2, 3), Probe(), Ch(L'b')}, L"aaaab", {2, 3}, false},
      {"lazy * offers 0, 1, 2, 3", {Lazy(Ch(L'a'), 0, INF), Probe(), Ch(L'b')}, L"aaab", {0, 1, 2, 3}, true},
      {"lazy * with a failing atom offers the start once",
       {Lazy(Ch(L'a'), 0, INF), Probe(), Ch(L'c')},
       L"bc",
       {0},
       false},
      {"lazy {2,} without enough atoms offers nothing", {Lazy(Ch(L'a'), 2, INF), Probe()}, L"a", {}, false},
      {"lazy {0} offers the start once", {Lazy(Ch(L'a'), 0, 0), Probe(), Ch(L'x')}, L"aa", {0}, false},
      {"lazy literal extends by its length", {Lazy(Lit(L"ab"), 1, INF), Probe(), Ch(L'c')}, L"ababc", {2, 4}, true},
      {"lazy stops where the atom fails", {Lazy(Ch(L'a'), 1, INF), Probe(), Ch(L'x')}, L"aab", {1, 2}, false},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    for (match_mode mode : {MODE_RECURSIVE, MODE_ITERATIVE}) {
      SCOPED_TRACE(mode == MODE_RECURSIVE ? "recursive" : "iterative");
      bool matched = false;
      EXPECT_EQ(offers<SIT>(c.pattern, c.subject, mode, matched), c.offered);
      EXPECT_EQ(matched, c.matched);
      EXPECT_EQ(offers<PIT>(c.pattern, c.subject, mode, matched), c.offered);
      EXPECT_EQ(matched, c.matched);
    }
  }
}

// The iterative steps of one quantifier node, driven by hand: the run
// record on the stack and m_icur after each step.
class QuantifierSteps : public ::testing::Test {
 protected:
  typedef std::pair<PIT, std::uint32_t> record;

  QuantifierSteps() : m_pat({}, MODE_ITERATIVE) {}
  ~QuantifierSteps() override {
    for (sub_expr<PIT> *n : m_nodes) delete n;
  }

  // The node for `spec`, followed by an end_of_pattern.
  sub_expr<PIT> *node(const atom_spec &spec) {
    sub_expr<PIT> *n = m_pat.build(spec);
    *n->next_link() = new (m_pat.arena()) end_of_pattern<PIT>();
    m_nodes.push_back(n);
    return n;
  }
  match_param<PIT> &start(const wchar_t *subject) {
    m_subject = subject;
    m_param.reset(new match_param<PIT>(m_subject, m_subject, m_subject + std::wcslen(m_subject), nullptr, 0));
    m_param->m_pstack = &m_stack;
    return *m_param;
  }
  long cur() const { return long(m_param->m_icur - m_subject); }
  record top() { return m_stack.top<record>(); }

  atom_pattern<PIT> m_pat;
  std::vector<sub_expr<PIT> *> m_nodes;
  const wchar_t *m_subject = nullptr;
  std::unique_ptr<match_param<PIT>> m_param;
  match_stack m_stack;
};

TEST_F(QuantifierSteps, GreedyRecordShrinksThenPops) {
  sub_expr<PIT> *q = node(Q(Ch(L'a'), 2, 3));
  match_param<PIT> &p = start(L"aaaa");
  const match_stack::stack_type base = m_stack.mark();
  ASSERT_TRUE(q->step_forward(p));
  EXPECT_EQ(cur(), 3);
  EXPECT_EQ(top(), record(m_subject, 3));
  EXPECT_EQ(p.m_pnext, q->get_next());
  ASSERT_TRUE(q->step_back(p));
  EXPECT_EQ(cur(), 2);
  EXPECT_EQ(top(), record(m_subject, 2));
  EXPECT_FALSE(q->step_back(p));
  EXPECT_EQ(cur(), 0);
  EXPECT_EQ(m_stack.mark(), base);
}

TEST_F(QuantifierSteps, LazyRecordGrowsThenPops) {
  sub_expr<PIT> *q = node(Lazy(Ch(L'a'), 2, 3));
  match_param<PIT> &p = start(L"aaaa");
  const match_stack::stack_type base = m_stack.mark();
  ASSERT_TRUE(q->step_forward_nul(p));
  EXPECT_EQ(cur(), 2);
  EXPECT_EQ(top(), record(m_subject, 2));
  ASSERT_TRUE(q->step_back_nul(p));
  EXPECT_EQ(cur(), 3);
  EXPECT_EQ(top(), record(m_subject, 3));
  EXPECT_FALSE(q->step_back_nul(p));
  EXPECT_EQ(cur(), 0);
  EXPECT_EQ(m_stack.mark(), base);
}

TEST_F(QuantifierSteps, FailedFirstStepPushesNothing) {
  const struct {
    const char *name;
    atom_spec spec;
    const wchar_t *subject;
  } cases[] = {
      {"a+ on bbb", Q(Ch(L'a'), 1, INF), L"bbb"},          {"a{2,} on a", Q(Ch(L'a'), 2, INF), L"ab"},
      {"a+? on bbb", Lazy(Ch(L'a'), 1, INF), L"bbb"},      {"a{2,}? on a", Lazy(Ch(L'a'), 2, INF), L"ab"},
      {"(?:abc)+ on abx", Q(Lit(L"abc"), 1, INF), L"abx"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    sub_expr<PIT> *q = node(c.spec);
    match_param<PIT> &p = start(c.subject);
    const match_stack::stack_type base = m_stack.mark();
    EXPECT_FALSE(q->step_forward(p));
    EXPECT_EQ(cur(), 0);
    EXPECT_EQ(m_stack.mark(), base);
  }
}

TEST_F(QuantifierSteps, AtomsStepBackByTheirWidth) {
  const struct {
    atom_spec spec;
    const wchar_t *subject;
    long width;
  } cases[] = {
      {LitI(L"charset="), L"CharSet=x", 8}, {Lit(L"ab"), L"abc", 2}, {Ch(L'a'), L"ab", 1}, {ChI(L'a'), L"Ab", 1},
      {SetI(L"-\\w]"), L"-x", 1},           {Dig(), L"5", 1},        {Any(), L"\r", 1},    {AnyAll(), L"\n", 1},
  };
  for (const auto &c : cases) {
    sub_expr<PIT> *a = node(c.spec);
    match_param<PIT> &p = start(c.subject);
    ASSERT_TRUE(a->step_forward(p)) << c.width;
    EXPECT_EQ(cur(), c.width);
    EXPECT_EQ(p.m_pnext, a->get_next());
    EXPECT_FALSE(a->step_back(p));
    EXPECT_EQ(cur(), 0);
  }
}

TEST(AtomQuantifiers, WidthsAndStartHints) {
  const struct {
    const char *name;
    atom_spec spec;
    node_width width;
    bool hint;
  } cases[] = {
      {"x{0}", Q(Ch(L'x'), 0, 0), {0, 0}, false},
      {"abc{2,3}", Q(Lit(L"abc"), 2, 3), {6, 9}, true},
      {"a+", Q(Ch(L'a'), 1, INF), {1, INF}, true},
      {"a*", Q(Ch(L'a'), 0, INF), {0, INF}, false},
      {"a?", Q(Ch(L'a'), 0, 1), {0, 1}, false},
      {"a{3}", Q(Ch(L'a'), 3, 3), {3, 3}, true},
      {"a{3}?", Lazy(Ch(L'a'), 3, 3), {3, 3}, true},
      {"abcd", Lit(L"abcd"), {4, 4}, true},
      {"(?i)a", ChI(L'a'), {1, 1}, true},
      {"[ab]", Set(L"ab]"), {1, 1}, false},
      {"\\d+", Q(Dig(), 1, INF), {1, INF}, false},
      {".", Any(), {1, 1}, false},
      {"a product beyond 32 bits saturates", Q(Lit(L"abc"), 0x60000000u, 0x70000000u), {INF, INF}, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    atom_pattern<SIT> pat({c.spec}, MODE_RECURSIVE);
    EXPECT_EQ(pat.pattern_width(), c.width);
    start_hint hint{};
    EXPECT_EQ((*pat.first_node()->alternates().begin())->peek_start(hint), c.hint);
  }
}

TEST(Atoms, StartHints) {
  atom_pattern<SIT> pat({}, MODE_RECURSIVE);
  auto hint_of = [&pat](const atom_spec &spec, start_hint &h) {
    std::unique_ptr<sub_expr<SIT>> node(pat.build(spec));
    return node->peek_start(h);
  };
  start_hint h{};
  ASSERT_TRUE(hint_of(Ch(L'q'), h));
  EXPECT_EQ(h.m_count, 1u);
  EXPECT_EQ(h.m_rgch[0], L'q');
  EXPECT_FALSE(h.m_lit.m_present);

  ASSERT_TRUE(hint_of(ChI(L'q'), h));
  EXPECT_EQ(h.m_count, 2u);
  EXPECT_EQ(h.m_rgch[0], L'q');
  EXPECT_EQ(h.m_rgch[1], L'Q');

  ASSERT_TRUE(hint_of(Lit(L"xyz"), h));
  EXPECT_EQ(h.m_count, 1u);
  EXPECT_EQ(h.m_rgch[0], L'x');
  EXPECT_TRUE(h.m_lit.m_present);
  EXPECT_EQ(std::wstring(h.m_lit.m_begin, h.m_lit.m_end), L"xyz");
  EXPECT_EQ(h.m_lit.m_pother, nullptr);

  // A literal in either case: its stored text is upper-cased, the lower
  // copy is the other-case text, and an uncased first character comes twice.
  ASSERT_TRUE(hint_of(LitI(L"<meta"), h));
  EXPECT_EQ(pat.literal_text(1), L"<META");
  EXPECT_EQ(h.m_count, 2u);
  EXPECT_EQ(h.m_rgch[0], L'<');
  EXPECT_EQ(h.m_rgch[1], L'<');
  EXPECT_EQ(std::wstring(h.m_lit.m_begin, h.m_lit.m_end), L"<META");
  ASSERT_NE(h.m_lit.m_pother, nullptr);
  EXPECT_EQ(std::wstring(h.m_lit.m_pother, 5), L"<meta");

  start_hint untouched{};
  EXPECT_FALSE(hint_of(Set(L"a]"), untouched));
  EXPECT_FALSE(hint_of(Any(), untouched));
  EXPECT_FALSE(hint_of(Dig(), untouched));
}

TEST(AtomQuantifiers, QuantifierCannotBeQuantified) {
  atom_pattern<SIT> pat({}, MODE_RECURSIVE);
  std::unique_ptr<sub_expr<SIT>> q(pat.build(Q(Ch(L'a'), 1, INF)));
  try {
    q->make_quantifier(0, 1, true, pat.arena());
    FAIL() << "no exception";
  } catch (const bad_regexpr &e) {
    EXPECT_STREQ(e.what(), "sub-expression cannot be quantified");
  }
}

namespace {

int g_destroyed_sets = 0;

struct counted_set : custom_charset {
  using custom_charset::custom_charset;
  ~counted_set() override { ++g_destroyed_sets; }
};

}  // namespace

TEST(AtomQuantifiers, DestroyingThePatternDestroysEachOwnedSetOnce) {
  g_destroyed_sets = 0;
  {
    atom_pattern<SIT> pat({}, MODE_RECURSIVE);
    arena_allocator<char> &a = pat.arena();
    for (bool greedy : {true, false}) {
      counted_set *s = new (a) counted_set(a);
      s->add_char(L'a', false);
      s->finalize();
      sub_expr<SIT> *atom = new (a)
          match_charset_t<SIT, std::unique_ptr<const custom_charset>, true>(std::unique_ptr<const custom_charset>(s));
      std::unique_ptr<sub_expr<SIT>> q(atom->make_quantifier(1, INF, greedy, a));
    }
    EXPECT_EQ(g_destroyed_sets, 2);
    // a shared built-in set is never destroyed by its atoms
    delete new (a) match_charset_t<SIT, const charset *, true>(intrinsic_charsets::get_word_charset());
    EXPECT_TRUE(intrinsic_charsets::get_word_charset()->in(L'x'));
  }
  EXPECT_EQ(g_destroyed_sets, 2);
}

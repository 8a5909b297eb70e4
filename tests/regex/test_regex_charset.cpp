// Character sets, the built-in sets and the bracket-expression parser.
#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/start_set.h"

using namespace regex;
using namespace regex::detail;

namespace {

std::vector<std::pair<char_code, char_code>> ranges_of(const charset &s) {
  std::vector<std::pair<char_code, char_code>> out;
  for (const charset_range &r : s.m_ranges) out.push_back({r.first, r.last});
  return out;
}

bool table_bit(const charset &s, unsigned c) { return (s.m_lowchars[c / 32] >> (c % 32)) & 1u; }

std::string shown(wchar_t c) { return "U+" + std::to_string(unsigned(c)); }

// Every character of `yes` is a member and none of `no` is, by `in`, or by
// `in_nocase` when `nocase` is set.
template <class Set>
void expect_members(const Set &set, const std::wstring &yes, const std::wstring &no, bool nocase = false,
                    const std::string &context = "") {
  for (wchar_t c : yes) EXPECT_TRUE(nocase ? set.in_nocase(c) : set.in(c)) << context << " " << shown(c);
  for (wchar_t c : no) EXPECT_FALSE(nocase ? set.in_nocase(c) : set.in(c)) << context << " " << shown(c);
}

std::wstring chars(std::initializer_list<unsigned> codes) {
  std::wstring s;
  for (unsigned c : codes) s += wchar_t(c);
  return s;
}

// Restores the runtime's default ("C") ctype state.
struct chinese_ctype_state {
  chinese_ctype_state() { crt_set_chinese_locale(true); }
  ~chinese_ctype_state() { crt_set_chinese_locale(false); }
};

}  // namespace

TEST(Charset, RangeIsSplitBetweenTableAndList) {
  charset s;
  s.add_range(wchar_t(0xF0), wchar_t(0x120), false);
  s.finalize();
  for (unsigned c = 0; c < 256; ++c) EXPECT_EQ(table_bit(s, c), c >= 0xF0) << c;
  EXPECT_EQ(ranges_of(s), (std::vector<std::pair<char_code, char_code>>{{0x100, 0x120}}));
  expect_members(s, chars({0xF0, 0xFF, 0x100, 0x120}), chars({0xEF, 0x121, 0x20}));

  charset low;
  low.add_range(L'a', wchar_t(255), false);
  low.finalize();
  EXPECT_TRUE(low.m_ranges.empty());
  EXPECT_TRUE(table_bit(low, 255));
}

TEST(Charset, FinalizeSortsAndMergesRanges) {
  typedef std::vector<std::pair<char_code, char_code>> ranges;
  struct {
    ranges added;   // in the order added
    ranges merged;  // after finalize
  } cases[] = {
      {{{0x100, 0x102}, {0x103, 0x105}}, {{0x100, 0x105}}},  // touching
      {{{0x100, 0x102}, {0x104, 0x105}}, {{0x100, 0x102}, {0x104, 0x105}}},
      {{{0x250, 0x260}, {0x200, 0x300}}, {{0x200, 0x300}}},  // contained, added later
      {{{0x300, 0x300}, {0x300, 0x300}}, {{0x300, 0x300}}},  // duplicate
      {{{0x500, 0x600}, {0x100, 0x200}, {0x150, 0x550}}, {{0x100, 0x600}}},
      {{{0x400, 0x410}, {0x100, 0x110}, {0x200, 0x210}}, {{0x100, 0x110}, {0x200, 0x210}, {0x400, 0x410}}},
      {{{0xFFF0, 0xFFFF}, {0x10000, 0x10FFFF}}, {{0xFFF0, 0x10FFFF}}},  // past the 16-bit range
      // the merge test must not wrap at the largest code
      {{{0x200, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}}, {{0x200, 0xFFFFFFFF}}},
  };
  for (const auto &c : cases) {
    charset s;
    for (auto r : c.added) s.add_range(wchar_t(r.first), wchar_t(r.second), false);
    EXPECT_TRUE(s.finalize());
    EXPECT_EQ(ranges_of(s), c.merged);
    s.finalize();  // idempotent
    EXPECT_EQ(ranges_of(s), c.merged);
  }
}

TEST(Charset, LookupFindsEveryMergedRange) {
  charset s;
  for (unsigned base = 0x1000; base < 0x1000 + 40 * 0x10; base += 0x10)
    s.add_range(wchar_t(base), wchar_t(base + 3), false);
  s.finalize();
  for (unsigned base = 0x1000; base < 0x1000 + 40 * 0x10; base += 0x10) {
    expect_members(s, chars({base, base + 3}), chars({base - 1, base + 4}));
  }
  wchar_t largest = wchar_t(0xFFFFFFFF);
  EXPECT_FALSE(s.in(largest));
}

TEST(Charset, ReversedRangeThrows) {
  charset s;
  for (auto r : {std::pair<unsigned, unsigned>{'z', 'a'}, {0x200, 0x100}, {0x100, 0x41}}) {
    try {
      s.add_range(wchar_t(r.first), wchar_t(r.second), false);
      ADD_FAILURE() << "no exception for " << r.first << "-" << r.second;
    } catch (const bad_regexpr &e) {
      EXPECT_STREQ(e.what(), "invalid range specified in character set");
    }
  }
}

TEST(Charset, ClassesUseTableBelow256AndWideTestAbove) {
  charset letters;
  letters.m_posixcharson = class_mask_for(cls_alpha);
  letters.finalize();
  // U+00E9 has no class in the single-byte table; U+0100 is a letter.
  expect_members(letters, chars({'a', 'Z', 0x100, 0x3B1}), chars({0xE9, '1', '_', 0x3000}));

  charset not_alpha;
  not_alpha.m_posixcharsoff.push_front(class_mask_for(cls_alpha));
  EXPECT_FALSE(not_alpha.finalize());
  expect_members(not_alpha, chars({'1', '#', 0xE9, 0x3000}), chars({'a', 'Z', 0x100}));
}

TEST(Charset, CaseFoldingOfCharacters) {
  charset s;
  s.add_char(L'k', true);
  s.add_range(L'A', L'C', true);
  s.add_char(wchar_t(0x100), true);  // from 256 up only the subject is folded
  s.finalize();
  expect_members(s, L"kKaAbBcC", L"dDjJ");
  EXPECT_TRUE(s.in_nocase(wchar_t(0x100)));
  EXPECT_FALSE(s.in(wchar_t(0x101)));

  // From 256 up case mapping follows Unicode in either ctype state.
  EXPECT_TRUE(s.in_nocase(wchar_t(0x101)));
  chinese_ctype_state full_mapping;
  EXPECT_TRUE(s.in_nocase(wchar_t(0x101)));
}

TEST(Charset, TitleCaseLetterUnderNocaseIsSearchedByItsCaseForms) {
  charset s;
  s.add_char(wchar_t(0x1C5), false);
  s.finalize();
  EXPECT_TRUE(s.in(wchar_t(0x1C5)));
  // U+01C5 -> upper U+01C4, lower U+01C6: only those are looked up.
  EXPECT_FALSE(s.in_nocase(wchar_t(0x1C5)));
  chinese_ctype_state full_mapping;
  EXPECT_FALSE(s.in_nocase(wchar_t(0x1C5)));
  EXPECT_TRUE(s.in(wchar_t(0x1C5)));

  charset pair;
  pair.add_char(wchar_t(0x1C4), false);
  pair.finalize();
  EXPECT_TRUE(pair.in_nocase(wchar_t(0x1C6)));
  EXPECT_TRUE(pair.in_nocase(wchar_t(0x1C5)));
}

TEST(IntrinsicCharsets, Members) {
  const charset *w = intrinsic_charsets::get_word_charset();
  const charset *nw = intrinsic_charsets::get_not_word_charset();
  expect_members(*w, chars({'_', 'A', 'z', '5', 0x100, 0x3B1}), chars({'-', ' ', 0xE9, 0xFF, 0x3000}));
  // \W is exactly the complement of \w
  for (unsigned c = 0; c < 0x3100; ++c) EXPECT_NE(w->in(wchar_t(c)), nw->in(wchar_t(c))) << c;

  const charset *d = intrinsic_charsets::get_digit_charset();
  const charset *s = intrinsic_charsets::get_space_charset();
  for (unsigned c = 0; c < 256; ++c) {
    EXPECT_EQ(d->in(wchar_t(c)), c >= '0' && c <= '9') << c;
    EXPECT_EQ(s->in(wchar_t(c)), c == 9 || c == 10 || c == 11 || c == 12 || c == 13 || c == 32) << c;
    EXPECT_NE(d->in(wchar_t(c)), intrinsic_charsets::get_not_digit_charset()->in(wchar_t(c))) << c;
    EXPECT_NE(s->in(wchar_t(c)), intrinsic_charsets::get_not_space_charset()->in(wchar_t(c))) << c;
  }
  EXPECT_TRUE(s->in(wchar_t(0x3000)));
}

TEST(IntrinsicCharsets, SharedAndShaped) {
  EXPECT_EQ(intrinsic_charsets::get_word_charset(), intrinsic_charsets::get_word_charset());
  EXPECT_EQ(intrinsic_charsets::get_not_space_charset(), intrinsic_charsets::get_not_space_charset());
  const charset *nw = intrinsic_charsets::get_not_word_charset();
  EXPECT_TRUE(nw->m_fnegate);
  EXPECT_EQ(nw->m_posixcharson, 0x107);
  EXPECT_TRUE(nw->m_fskip_extended_check);
  EXPECT_FALSE(intrinsic_charsets::get_word_charset()->m_fnegate);
  EXPECT_EQ(intrinsic_charsets::get_digit_charset()->m_posixcharson, 0x004);
  EXPECT_EQ(intrinsic_charsets::get_space_charset()->m_posixcharson, 0x008);
}

TEST(IntrinsicCharsets, ClassMasks) {
  const std::pair<char_class, class_mask> masks[] = {
      {cls_alnum, 0x107}, {cls_alpha, 0x103}, {cls_blank, 0x040}, {cls_cntrl, 0x020},
      {cls_digit, 0x004}, {cls_graph, 0x117}, {cls_lower, 0x002}, {cls_print, 0x157},
      {cls_punct, 0x010}, {cls_space, 0x008}, {cls_upper, 0x001}, {cls_xdigit, 0x080},
  };
  for (auto m : masks) EXPECT_EQ(class_mask_for(m.first), m.second) << m.first;
}

// The start analysis takes \s and the letter, digit and punctuation
// classes for disjoint from 256 up, so a run of \w before \s gives
// nothing back; the platform's classification must keep them apart.
TEST(IntrinsicCharsets, WhiteSpaceSharesNoWideCharacterWithGraphicClasses) {
  unsigned spaces = 0;
  for (std::uint32_t c = 256; c <= 0x10FFFF; ++c) {
    if (!win_iswctype(wchar_t(c), blank_classes)) continue;
    ++spaces;
    EXPECT_EQ(win_iswctype(wchar_t(c), graphic_classes), 0) << std::hex << c;
  }
  EXPECT_GT(spaces, 10u);  // U+1680, U+2000 to U+200A, U+3000, ...
  EXPECT_TRUE(classes_disjoint(class_mask_for(cls_alnum), class_mask_for(cls_space)));
  EXPECT_TRUE(classes_disjoint(class_mask_for(cls_blank), class_mask_for(cls_punct)));
  EXPECT_FALSE(classes_disjoint(class_mask_for(cls_alnum), class_mask_for(cls_print)));
  EXPECT_FALSE(classes_disjoint(class_mask_for(cls_space), class_mask_for(cls_cntrl)));
}

TEST(IntrinsicCharsets, RegistryGivesNoSet) {
  perl_syntax<wchar_t> syn(NOFLAGS);
  for (wchar_t c : std::wstring(L"qpPhHvVkKR")) EXPECT_EQ(lookup_registered_charset(c, syn), nullptr);
}

// ---------------------------------------------------------------------------
// The bracket-expression parser, over sets on a pattern arena as the compiler
// builds them.

class BracketParser : public ::testing::Test {
 protected:
  ~BracketParser() override {
    m_sets.clear();
    m_arena.destroy_arena();
  }

  // Parses `text` (what follows the '['); `consumed` receives how far the
  // parser moved.
  const custom_charset &parse(const std::wstring &text, pattern_flags flags = NOFLAGS,
                              std::ptrdiff_t *consumed = nullptr) {
    m_texts.push_back(std::make_unique<std::wstring>(text));
    const std::wstring &t = *m_texts.back();
    m_sets.emplace_back(new (m_arena) custom_charset(m_arena));
    perl_syntax<wchar_t> syn(flags);
    std::wstring::const_iterator it = t.begin();
    parse_bracket_set(*m_sets.back(), it, t.end(), syn);
    if (consumed) *consumed = it - t.begin();
    return *m_sets.back();
  }

  std::string error_of(const std::wstring &text, pattern_flags flags = NOFLAGS) {
    try {
      parse(text, flags);
    } catch (const bad_regexpr &e) {
      return e.what();
    }
    return "(no error)";
  }

  arena_allocator<char> m_arena{64, std::allocator<char>()};
  std::vector<std::unique_ptr<custom_charset>> m_sets;
  std::vector<std::unique_ptr<std::wstring>> m_texts;
};

TEST_F(BracketParser, Grammar) {
  struct {
    const wchar_t *text;
    std::wstring yes;
    std::wstring no;
    pattern_flags flags;
  } cases[] = {
      {L"]a]", L"]a", L"b[", NOFLAGS},
      {L"^]a]", L"b^[", L"]a", NOFLAGS},
      {L"a^]", L"a^", L"b", NOFLAGS},
      {L"a-]", L"a-", L"b", NOFLAGS},
      {L"-a]", L"a-", L"b", NOFLAGS},
      {L"a-c-e]", L"abc-e", L"d", NOFLAGS},
      {L"a-\\d]", L"a-059", L"bc", NOFLAGS},
      {L"a-[:digit:]]", L"a-059", L"bc[:", NOFLAGS},
      {L"\\d-z]", L"05-z", L"ay", NOFLAGS},
      {L"!--]", L"!\"#,-", L"./ ", NOFLAGS},
      {L"%-^]", L"%&AZ[^", L"_a$", NOFLAGS},
      {L"--/]", L"-./", L",0", NOFLAGS},
      {L"\\x41-\\x5A]", L"AMZ", L"@[a", NOFLAGS},
      {L"\\x414]", L"A4", L"1x", NOFLAGS},
      {L"\\1234]", L"S4", L"123", NOFLAGS},
      {L"\\n]", L"n", L"\n", NOFLAGS},
      {L"\\n\\t\\r\\f\\a\\v]", L"\n\t\r\f\a\v", L"ntrfav", EXPANDESCAPES},
      {L"\\e]", L"\x1b", L"e", NOFLAGS},
      {L"\\b]", L"\b", L"b", NOFLAGS},
      {L"\\x01-\\b]", L"\x01\x05\b", L"\t", NOFLAGS},
      {L"\\]\\-\\^\\\\]", L"]-^\\", L"a", NOFLAGS},
      {L"\\cA\\ca\\c[]", L"\x01\x1b", L"cAa[", NOFLAGS},
      {L"\\xg]", std::wstring(L"g") + L'\0', L"x", NOFLAGS},
      {L"\\0]", std::wstring(1, L'\0'), L"0", NOFLAGS},
      {L"\\d\\s]", L"5 \t", L"a_", NOFLAGS},
      {L"\\W\\d]", L"5- ", L"a_", NOFLAGS},
      {L"^\\W]", L"aZ5_", L"- \xe9", NOFLAGS},
      {L"[:^alpha:]]", L"1#\xe9", L"aZ", NOFLAGS},
      {L"^[:alpha:]]", L"1#\xe9", L"aZ", NOFLAGS},
      {L"a-c]", L"abcABC", L"dD", IGNORECASE},
      {L"x. *+?(){}|$]", L"x. *+?(){}|$", L"a", NOFLAGS},
      {L" #]", L" #", L"a", FREESPACING},
  };
  for (const auto &c : cases) {
    std::string ctx(c.text, c.text + std::wcslen(c.text));
    const custom_charset &s = parse(c.text, c.flags);
    expect_members(s, c.yes, c.no, (c.flags & IGNORECASE) != 0, ctx);
  }
  EXPECT_TRUE(parse(L"\\777]").in(wchar_t(0777)));
  EXPECT_TRUE(parse(L"^[:alpha:]]").in(wchar_t(0x3000)));
  EXPECT_FALSE(parse(L"^[:alpha:]]").in(wchar_t(0x100)));
  EXPECT_FALSE(parse(L"[:^alpha:]]").in(wchar_t(0x100)));
}

TEST_F(BracketParser, StopsAfterTheClosingBracket) {
  struct {
    const wchar_t *text;
    std::ptrdiff_t consumed;
  } cases[] = {
      {L"a]rest", 2}, {L"]]", 2}, {L"[:foo:]]", 7}, {L"[:alpha:]]x", 10}, {L"\\]]", 3}, {L"a-z]]", 4},
  };
  for (const auto &c : cases) {
    std::ptrdiff_t consumed = -1;
    parse(c.text, NOFLAGS, &consumed);
    EXPECT_EQ(consumed, c.consumed) << std::string(c.text, c.text + std::wcslen(c.text));
  }
  // [[:foo:]] is no class: [ : f o and the first ] closes the set
  expect_members(parse(L"[:foo:]]"), L"[:fo", L"]x");
}

TEST_F(BracketParser, ClassesAndCase) {
  const custom_charset &upper = parse(L"[:upper:]]", IGNORECASE);
  expect_members(upper, L"aAzZ", L"1_", true);
  EXPECT_TRUE(upper.in(wchar_t(0x101)));  // the class widens to both cases
  const custom_charset &upper_exact = parse(L"[:upper:]]");
  expect_members(upper_exact, L"AZ", L"az");

  const custom_charset &merged = parse(L"\\d\\s]");
  EXPECT_TRUE(merged.m_nestedcharsets.empty());
  EXPECT_EQ(merged.m_posixcharson, 0x00C);
  EXPECT_TRUE(merged.m_fskip_extended_check);

  const custom_charset &nested = parse(L"\\W\\d]");
  EXPECT_EQ(nested.m_nestedcharsets.size(), 1u);
  EXPECT_FALSE(nested.m_fskip_extended_check);

  const custom_charset &word_nocase = parse(L"-\\w]", IGNORECASE);
  expect_members(word_nocase, L"-_09azAZ", L"= \n", true);
}

TEST_F(BracketParser, Errors) {
  const std::string unclosed = "expecting end of character set";
  const std::string reversed = "invalid range specified in character set";
  struct {
    const wchar_t *text;
    const std::string &message;
  } cases[] = {
      {L"", unclosed},           {L"a", unclosed},    {L"a-", unclosed},
      {L"\\", unclosed},         {L"]", unclosed},    {L"^]", unclosed},
      {L"^", unclosed},          {L"a-\\", unclosed}, {L"\\x4", unclosed},
      {L"\\12", unclosed},       {L"\\c", unclosed},  {L"[:alpha:]", unclosed},
      {L"z-a]", reversed},       {L"a-^]", reversed}, {L"\\x5A-\\x41]", reversed},
      {L"\\b-\\x01]", reversed},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(error_of(c.text), c.message) << std::string(c.text, c.text + std::wcslen(c.text));
  }
}

TEST(BracketParserHeap, FillsSharedSetsToo) {
  const std::wstring text = L"a-f\\d]";
  charset s;
  perl_syntax<wchar_t> syn(NOFLAGS);
  std::wstring::const_iterator it = text.begin();
  parse_bracket_set(s, it, text.end(), syn);
  EXPECT_EQ(it, text.end());
  expect_members(s, L"af09", L"gA");
}

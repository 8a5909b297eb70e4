#include "utils/text/randomhelper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tests/support/print_cstring.h"

namespace {

constexpr int kDraws = 2000;

template <class F>
std::set<int> Values(F draw) {
  std::set<int> seen;
  for (int i = 0; i < kDraws; ++i) seen.insert(draw());
  return seen;
}

TEST(RandomInRange, RangesByCase) {
  struct Case {
    int low, high;
    std::set<int> values;  // every value a draw may give; all of them appear in kDraws draws
  } const cases[] = {
      {5, 5, {0}},          {0, 0, {0}},
      {3, 7, {3, 4, 5, 6}}, {7, 3, {0, 1, 2, 3, 4, 5, 6}},  // high below low: 0 up to low
      {-2, 1, {-2, -1, 0}}, {-3, 0, {0, 1, 2}},             // high 0: the remainder by low keeps the draw's sign
      {0, -4, {0}},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(Values([&] { return RandomInRange(c.low, c.high); }), c.values) << c.low << "," << c.high;
  }
}

TEST(RandomInRange, ExtremeBoundsStayInRange) {
  for (int i = 0; i < 200; ++i) {
    const int v = RandomInRange(-2147483647 - 1, 2147483647);
    EXPECT_LT(v, 2147483647);
    EXPECT_LT(v, -2147483647 - 1 + 32768);  // a draw below 32768 covers only the bottom of the range
  }
}

TEST(RandomEvenInRange, OddDrawsMoveDown) {
  EXPECT_EQ(Values([] { return RandomEvenInRange(1, 4); }), (std::set<int>{0, 2}));
  EXPECT_EQ(Values([] { return RandomEvenInRange(-3, -1); }), (std::set<int>{-4, -2}));
}

TEST(RandomString, DrawsFromTheAlphabet) {
  const CString text = RandomString(500, L"ab\x4E2D");
  ASSERT_EQ(text.GetLength(), 500);
  EXPECT_EQ(text.SpanIncluding(L"ab\x4E2D"), text);
  EXPECT_NE(text.Find(L'a'), -1);
  EXPECT_NE(text.Find(L'\x4E2D'), -1);
  EXPECT_EQ(RandomString(0, L"ab"), CString());
  EXPECT_EQ(RandomString(-1, L"ab"), CString());
  EXPECT_EQ(RandomString(5, L""), CString());
}

TEST(ShuffleStrings, KeepsTheElementsAndReordersThem) {
  std::vector<CString> original;
  for (int i = 0; i < 20; ++i) original.push_back(CString(static_cast<wchar_t>(L'a' + i)));
  bool reordered = false;
  for (int round = 0; round < 5 && !reordered; ++round) {
    std::vector<CString> list = original;
    ShuffleStrings(list);
    reordered = list != original;
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, original);
  }
  EXPECT_TRUE(reordered);
  std::vector<CString> empty;
  ShuffleStrings(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(PickRandomString, ExcludesTheGivenIndex) {
  const std::vector<CString> list = {L"a", L"b", L"c"};
  std::set<CString> seen;
  for (int i = 0; i < kDraws; ++i) seen.insert(PickRandomString(list, 1));
  EXPECT_EQ(seen, (std::set<CString>{L"a", L"c"}));
  seen.clear();
  for (int i = 0; i < kDraws; ++i) seen.insert(PickRandomString(list, -1));  // excludes nothing
  EXPECT_EQ(seen, (std::set<CString>{L"a", L"b", L"c"}));
  EXPECT_EQ(PickRandomString({L"x"}, 0), CString());  // nothing left
  EXPECT_EQ(PickRandomString({}, -1), CString());
}

}  // namespace

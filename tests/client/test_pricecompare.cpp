#include "client/pricecompare.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const wchar_t *price;
  const wchar_t *threshold;
  bool above;
};

// Numbers compare by value, not as texts: lengths, leading and trailing zeros, fraction
// prefixes and signs all have to come out right.
TEST(PriceAboveThreshold, ComparesDecimalValues) {
  const Case cases[] = {
      {L"10000", L"9000", true},  // longer integer part wins, unlike text order
      {L"10000.5", L"9000", true},
      {L"9000", L"10000.5", false},
      {L"501.25", L"500", true},
      {L"3500.5", L"3500", true},
      {L"3500", L"3500.5", false},
      {L"3500", L"3500", false},       // equal never alarms
      {L"3500.50", L"3500.5", false},  // trailing zeros do not count
      {L"0012", L"12", false},         // leading zeros do not count
      {L"12.1", L"12.09", true},
      {L"12.09", L"12.1", false},
      {L".5", L"0", true},
      {L"7.", L"6", true},
      {L" 42 ", L"41", true},  // surrounding blanks are allowed
      {L"-1", L"-2", true},
      {L"-2", L"-1", false},
      {L"0", L"-0", false},  // zero has no sign
      {L"1", L"-1", true},
      {L"123456789012345678901234567891", L"123456789012345678901234567890", true},
  };
  for (const Case &c : cases)
    EXPECT_EQ(PriceAboveThreshold(c.price, c.threshold), c.above)
        << "price " << c.price << " threshold " << c.threshold;
}

TEST(PriceAboveThreshold, TextsThatAreNoNumbersNeverAlarm) {
  const Case cases[] = {
      {L"100", L"", false},    {L"", L"1", false},       {L"abc", L"1", false},  {L"100", L"abc", false},
      {L"1.2.3", L"1", false}, {L"12,345", L"1", false}, {L".", L"0", false},    {L"-", L"-1", false},
      {L"1 2", L"0", false},   {L"9x", L"1", false},     {nullptr, L"1", false}, {L"1", nullptr, false},
  };
  for (const Case &c : cases)
    EXPECT_FALSE(PriceAboveThreshold(c.price, c.threshold))
        << "price " << (c.price ? c.price : L"(null)") << " threshold " << (c.threshold ? c.threshold : L"(null)");
}

}  // namespace

// The scrape against the loopback quote feed: what one pass stores, what a
// failing source leaves alone, and the quote record derived after the pass.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cwchar>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "client/quoteworker.h"
#include "quotefeed_fixture.h"
#include "tests/support/deadline.h"
#include "tests/support/peak_memory.h"

namespace {

using testsupport::FinishesWithin;

QuoteFeed *feed;

class QuoteWorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { feed = new QuoteFeed; }
  static void TearDownTestSuite() {
    delete feed;
    feed = nullptr;
  }
  void SetUp() override { feed->Control("reset=1"); }

  static void Pin(const std::string &key, const std::string &value) { feed->Control("pin=" + key + "&value=" + value); }

  CQuoteTable table;
};

std::wstring W(const CString &s) { return s.GetString(); }

// The quote keys are ASCII.
std::string Narrow(const wchar_t *key) { return std::string(key, key + std::wcslen(key)); }

// The keys each source fills, in the order of the pass.
const std::vector<std::vector<const wchar_t *>> kKeysOfSource = {
    {},
    {L"last1", L"fanwei1", L"vol1"},
    {L"last2", L"newprice", L"fanwei2", L"vol2"},
    {L"last3", L"fanwei3", L"vol3"},
    {L"last4", L"fanwei4", L"vol4"},
    {L"suanli", L"getyear", L"nettotal"},
};

TEST_F(QuoteWorkerTest, OnePassFillsAllSixteenKeys) {
  ScrapeQuotesInto(table);
  CQuoteTable::Map map = table.Snapshot();
  EXPECT_EQ(map.size(), std::size(kQuoteKeys));
  for (const wchar_t *key : kQuoteKeys) EXPECT_FALSE(map[key].IsEmpty()) << key;
  // Figures look as the sources carry them.
  EXPECT_NE(W(map[L"suanli"]).find(L','), std::wstring::npos);
  EXPECT_EQ(W(map[L"vol1"]).find(L'<'), std::wstring::npos);
  EXPECT_NE(W(map[L"fanwei3"]).find(L" - "), std::wstring::npos);
}

TEST_F(QuoteWorkerTest, PricesMoveFromPassToPass) {
  ScrapeQuotesInto(table);
  CString first = table.Take(L"last1");
  ScrapeQuotesInto(table);
  ScrapeQuotesInto(table);
  EXPECT_NE(W(table.Take(L"last1")), W(first));
}

TEST_F(QuoteWorkerTest, SecondSourceLastPriceGoesToBothKeys) {
  Pin("last2", "3015.20");
  Pin("vol2", "777.5");
  ScrapeQuotesInto(table);
  CQuoteTable::Map map = table.Snapshot();
  EXPECT_EQ(W(map[L"last2"]), L"3015.20");
  EXPECT_EQ(W(map[L"newprice"]), L"3015.20");
  EXPECT_EQ(W(map[L"vol2"]), L"777.5");
}

TEST_F(QuoteWorkerTest, RecordDerivationRules) {
  struct Case {
    const char *last3, *suanli;
    const wchar_t *priceB, *hashRate;
  } cases[] = {
      {"455.123", "12,345.67", L"455.12", L"12,345"},
      {"455.1", "12345", L"455.1", L"12345"},
      {"455", "1.2.3", L"455", L"1"},
      {"1.234.5678", ".5", L"1.234.56", L""},
      {"455.12", "7.", L"455.12", L"7"},
  };
  Pin("last4", "3012.50");
  Pin("nettotal", "12,150,075");
  for (const Case &c : cases) {
    Pin("last3", c.last3);
    Pin("suanli", c.suanli);
    ScrapeQuotesInto(table);
    QuoteRecord record = CopyQuoteRecord();
    EXPECT_EQ(W(record.m_strPriceB), c.priceB) << c.last3;
    EXPECT_EQ(W(record.m_strHashRate), c.hashRate) << c.suanli;
    EXPECT_EQ(W(record.m_strPriceA), L"3012.50");
    EXPECT_EQ(W(record.m_strTotal), L"12,150,075");
    // The table keeps the figures uncut.
    EXPECT_EQ(W(table.Take(L"last3")), CString(c.last3).GetString());
  }
}

// A source that fails keeps every one of its keys; the others still update.
TEST_F(QuoteWorkerTest, FailingSourceKeepsItsKeys) {
  struct Case {
    int source;
    const char *mode;
  } cases[] = {{1, "refuse"}, {2, "404"}, {3, "refuse"}, {4, "404"}, {5, "refuse"}, {5, "404"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.source) + " " + c.mode);
    feed->Control("reset=1");
    ScrapeQuotesInto(table);
    CQuoteTable::Map before = table.Snapshot();
    feed->Control("source=" + std::to_string(c.source) + "&mode=" + c.mode);
    for (const wchar_t *key : kQuoteKeys) Pin(Narrow(key), "1.5");
    ScrapeQuotesInto(table);
    CQuoteTable::Map after = table.Snapshot();
    for (int n = 1; n <= kQuoteSourceCount; ++n)
      for (const wchar_t *key : kKeysOfSource[n])
        EXPECT_EQ(W(after[key]), n == c.source ? W(before[key]) : L"1.5") << key;
  }
}

TEST_F(QuoteWorkerTest, MissingLowPriceSpanKeepsOnlyItsKey) {
  ScrapeQuotesInto(table);
  CString low = table.Take(L"fanwei1");
  feed->Control("source=1&mode=drop");
  Pin("last1", "2999.99");
  Pin("vol1", "1234.5");
  Pin("fanwei1", "1.0");
  ScrapeQuotesInto(table);
  EXPECT_EQ(W(table.Take(L"fanwei1")), W(low));
  EXPECT_EQ(W(table.Take(L"last1")), L"2999.99");
  EXPECT_EQ(W(table.Take(L"vol1")), L"1234.5");
}

TEST_F(QuoteWorkerTest, AllSourcesFailingOnFirstPassLeavesEmptyDerivationKeys) {
  for (int n = 1; n <= kQuoteSourceCount; ++n) feed->Control("source=" + std::to_string(n) + "&mode=refuse");
  ScrapeQuotesInto(table);
  CQuoteTable::Map map = table.Snapshot();
  ASSERT_EQ(map.size(), 4u);
  for (const wchar_t *key : {L"suanli", L"last4", L"last3", L"nettotal"}) {
    ASSERT_EQ(map.count(key), 1u) << key;
    EXPECT_TRUE(map[key].IsEmpty()) << key;
  }
  QuoteRecord record = CopyQuoteRecord();
  EXPECT_TRUE(record.m_strPriceA.IsEmpty());
  EXPECT_TRUE(record.m_strTotal.IsEmpty());
  EXPECT_TRUE(record.m_strHashRate.IsEmpty());
  EXPECT_TRUE(record.m_strPriceB.IsEmpty());
}

// A source that accepts the request and never answers costs the pass one
// receive time-out: the request is not sent again. The pass ends, the other
// sources update, and the next pass reads the source again.
TEST_F(QuoteWorkerTest, HangingSourceEndsThePassWithinTheTimeout) {
  struct ShortTimeouts {
    ShortTimeouts() { InternetSetDefaultTimeouts(1500, 1500); }
    ~ShortTimeouts() { InternetSetDefaultTimeouts(0, 0); }
  } shortTimeouts;
  feed->Control("source=3&mode=hang");
  Pin("last4", "42.00");
  int before = feed->Requests(3);
  CQuoteTable shared = table.Share();
  ASSERT_TRUE(FinishesWithin(std::chrono::seconds(30), [shared]() mutable { ScrapeQuotesInto(shared); }))
      << "the pass with a hanging source did not end";
  EXPECT_EQ(W(table.Take(L"last4")), L"42.00");
  EXPECT_TRUE(table.Take(L"last3").IsEmpty());
  EXPECT_EQ(feed->Requests(3), before + 1);
  feed->Control("source=3&mode=ok");
  Pin("last3", "455.5");
  ScrapeQuotesInto(table);
  EXPECT_EQ(W(table.Take(L"last3")), L"455.5");
}

// Each source has a budget per pass. With one source that never answers and
// one that drips its page, every pass still ends within the budgets and the
// other three sources' figures are fresh after each pass.
TEST_F(QuoteWorkerTest, SilentAndDrippingSourcesStayWithinTheirBudgets) {
  struct ShortBudget {
    ShortBudget() { SetQuoteSourceBudget(2000); }
    ~ShortBudget() { SetQuoteSourceBudget(0); }
  } shortBudget;
  feed->Control("source=2&mode=hang");
  feed->Control("source=4&mode=drip");
  Pin("last2", "9.99");
  Pin("last4", "9.99");
  const int silentBefore = feed->Requests(2), drippingBefore = feed->Requests(4);
  CQuoteTable shared = table.Share();
  for (const char *price : {"101.25", "202.50"}) {
    SCOPED_TRACE(price);
    for (const char *key : {"last1", "last3", "nettotal"}) Pin(key, price);
    // Five budgets are ten seconds: the bound is twice that.
    ASSERT_TRUE(FinishesWithin(std::chrono::seconds(20), [shared]() mutable { ScrapeQuotesInto(shared); }))
        << "the pass did not end within its budgets";
    CQuoteTable::Map map = table.Snapshot();
    for (const wchar_t *key : {L"last1", L"last3", L"nettotal"})
      EXPECT_EQ(W(map[key]), CString(price).GetString()) << key;
    for (const wchar_t *key : kKeysOfSource[2]) EXPECT_TRUE(map[key].IsEmpty()) << key;
    for (const wchar_t *key : kKeysOfSource[4]) EXPECT_TRUE(map[key].IsEmpty()) << key;
  }
  // Each pass asked each of them once.
  EXPECT_EQ(feed->Requests(2), silentBefore + 2);
  EXPECT_EQ(feed->Requests(4), drippingBefore + 2);
}

// A source that sends its page and then 64 MiB of blanks as fast as the
// link takes them: the fetch stops at the page limit, so the pass keeps
// about that much, drops the connection without reading on and ends long
// before the source's budget; the source keeps its keys, the others refresh.
TEST_F(QuoteWorkerTest, FloodingSourceFailsAtThePageLimit) {
  struct LongBudget {
    LongBudget() { SetQuoteSourceBudget(120000); }
    ~LongBudget() { SetQuoteSourceBudget(0); }
  } longBudget;
  ScrapeQuotesInto(table);  // connections, TLS and trust store made before the measure
  CQuoteTable::Map before = table.Snapshot();
  feed->Control("source=4&mode=flood");
  for (const wchar_t *key : kQuoteKeys) Pin(Narrow(key), "7.25");
  const long long peakBefore = testsupport::PeakResidentBytes();
  CQuoteTable shared = table.Share();
  ASSERT_TRUE(FinishesWithin(std::chrono::seconds(60), [shared]() mutable { ScrapeQuotesInto(shared); }))
      << "the pass with a flooding source did not end";
  CQuoteTable::Map map = table.Snapshot();
  for (int n = 1; n <= kQuoteSourceCount; ++n)
    for (const wchar_t *key : kKeysOfSource[n]) EXPECT_EQ(W(map[key]), n == 4 ? W(before[key]) : L"7.25") << key;
  // The feed saw the connection end early: far less than its 64 MiB went out
  // (the page limit plus what the sockets' buffers hold).
  QuoteFeed::Flood flood = feed->LastFlood(4, std::chrono::seconds(30));
  EXPECT_EQ(flood.state, "cut") << flood.sent << " bytes sent";
  EXPECT_LT(flood.sent, 48ll << 20);
  EXPECT_GT(flood.sent, static_cast<long long>(kQuotePageLimit));
  // What the pass kept stayed near the limit (its text alone would be four
  // times the body).
  EXPECT_LT(testsupport::PeakResidentBytes() - peakBefore, 64ll << 20);
}

// Passes on several threads and readers at the same time (the worker threads
// and the UI timers): run under ThreadSanitizer, this finds any unguarded
// access to the table or the record.
TEST_F(QuoteWorkerTest, ConcurrentPassesAndReaders) {
  testsupport::Watchdog watchdog(std::chrono::seconds(60), "three threads of three passes each");
  std::atomic<bool> done{false};
  std::thread reader([&] {
    while (!done) {
      CQuoteTable::Map map = table.Snapshot();
      QuoteRecord record = CopyQuoteRecord();
      (void)map;
      (void)record;
    }
  });
  std::vector<std::thread> workers;
  CQuoteTable shared = table.Share();
  for (int i = 0; i < 3; ++i)
    workers.emplace_back([&shared] {
      for (int pass = 0; pass < 3; ++pass) ScrapeQuotesInto(shared);
    });
  for (std::thread &w : workers) w.join();
  done = true;
  reader.join();
  EXPECT_EQ(table.Snapshot().size(), std::size(kQuoteKeys));
}

// The entries outlive the table that made them while a worker's handle holds
// them.
TEST(QuoteTable, SharedEntriesOutliveTheTable) {
  auto *table = new CQuoteTable;
  CQuoteTable worker = table->Share();
  table->Set(L"last1", L"1");
  delete table;
  worker.Set(L"last2", L"2");
  EXPECT_EQ(worker.Snapshot().size(), 2u);
}

}  // namespace

#include "client/quoteworker.h"

#include <atomic>
#include <iterator>
#include <mutex>
#include <system_error>
#include <thread>

#include "client/tickora_config.h"
#include "platform/inet/wininet.h"
#include "utils/http/httpclientsession.h"
#include "utils/myfun.h"

namespace {

// One value cut out of a page: the text between begin and end goes to key
// (and to key2, when given).
struct QuoteCut {
  const wchar_t *begin;
  const wchar_t *end;
  const wchar_t *key;
  const wchar_t *key2;
};

struct QuoteSource {
  const wchar_t *scheme;
  const wchar_t *path;
  const wchar_t *charset;  // empty: detect
  QuoteCut cuts[3];
};

// The five sources in the order of a pass. "vol2" and "fanwei3" use markers of
// the same form as their neighbours: the ticker's values are quoted strings,
// and the documentation page gives its range as "Range: <strong>... USD".
const QuoteSource kSources[kQuoteSourceCount] = {
    {L"https",
     L"/",
     L"utf-8",
     {{L"<span id=\"last\">", L"</span></div>", L"last1", nullptr},
      {L"<span id=\"low\" class=\"fontcolor1\">", L"</span>", L"fanwei1", nullptr},
      {L"<span id=\"vol\">", L"</div>", L"vol1", nullptr}}},
    {L"https",
     L"/api/ticker.do",
     L"",
     {{L"\"last\":\"", L"\"", L"last2", L"newprice"},
      {L"\"low\":\"", L"\"", L"fanwei2", nullptr},
      {L"\"vol\":\"", L"\"", L"vol2", nullptr}}},
    {L"https",
     L"/api/documentation",
     L"",
     {{L"Last Price: <strong>", L" USD</strong></div>", L"last3", nullptr},
      {L"Range: <strong>", L" USD</strong></div>", L"fanwei3", nullptr},
      {L"Volume: <strong>", L" USD</strong></div>", L"vol3", nullptr}}},
    {L"http",
     L"/staticmarket/ticker_btc_json.js",
     L"",
     {{L"\"last\":\"", L"\"", L"last4", nullptr},
      {L"\"low\":\"", L"\"", L"fanwei4", nullptr},
      {L"\"vol\":", L",\"", L"vol4", nullptr}}},
    {L"http",
     L"/",
     L"",
     {{L"<tr><td class=\"label\">Network total</td><td>", L" Thash/s</td>", L"suanli", nullptr},
      {L"<tr><td class=\"label\">Blocks/hour</td><td>", L"</td></tr>", L"getyear", nullptr},
      {L"tr><td class=\"label\">Total BTC</td><td>", L"</td></tr>", L"nettotal", nullptr}}},
};

const wchar_t kUserAgent[] =
    L"Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; QQDownload 665; .NET CLR 2.0.50727; "
    L".NET CLR 3.0.04506.30; .NET CLR 3.0.04506.648; .NET CLR 3.5.21022; InfoPath.2)";

// The configured hosts, changeable by tests while workers of earlier tests
// still run; immortal like the rest of the shared state.
struct SourceHosts {
  std::mutex lock;
  CString hosts[kQuoteSourceCount] = {TICKORA_SOURCE1_HOST, TICKORA_SOURCE2_HOST, TICKORA_SOURCE3_HOST,
                                      TICKORA_SOURCE4_HOST, TICKORA_SOURCE5_HOST};
};

SourceHosts &Hosts() {
  static SourceHosts *hosts = new SourceHosts;
  return *hosts;
}

std::atomic<DWORD> g_sourceBudgetMs{kQuoteSourceBudgetMs};

bool ValidSource(int n) { return n >= 1 && n <= kQuoteSourceCount; }

}  // namespace

std::mutex &GetQuoteLock() {
  static std::mutex *lock = new std::mutex;
  return *lock;
}

QuoteRecord &GetQuoteRecord() {
  static QuoteRecord *record = new QuoteRecord;
  return *record;
}

QuoteRecord CopyQuoteRecord() {
  std::lock_guard<std::mutex> guard(GetQuoteLock());
  return GetQuoteRecord();
}

CQuoteTable::CQuoteTable() : m_map(std::make_shared<Map>()) {}

CQuoteTable CQuoteTable::Share() const { return CQuoteTable(m_map); }

CQuoteTable::Map CQuoteTable::Snapshot() const {
  std::lock_guard<std::mutex> guard(GetQuoteLock());
  return *m_map;
}

void CQuoteTable::Set(const CString &key, const CString &value) {
  WithLock([&](Map &map) { map[key] = value; });
}

CString CQuoteTable::Take(const CString &key) {
  return WithLock([&](Map &map) { return map[key]; });
}

CString GetQuoteSourceUrl(int n) {
  if (!ValidSource(n)) return CString();
  const QuoteSource &source = kSources[n - 1];
  CString host;
  {
    std::lock_guard<std::mutex> guard(Hosts().lock);
    host = Hosts().hosts[n - 1];
  }
  return CString(source.scheme) + L"://" + host + source.path;
}

void SetQuoteSourceHost(int n, const CString &hostAndPort) {
  if (!ValidSource(n)) return;
  std::lock_guard<std::mutex> guard(Hosts().lock);
  Hosts().hosts[n - 1] = hostAndPort;
}

DWORD GetQuoteSourceBudget() { return g_sourceBudgetMs.load(); }

void SetQuoteSourceBudget(DWORD ms) { g_sourceBudgetMs = ms ? ms : kQuoteSourceBudgetMs; }

BOOL FetchQuotePage(const CString &url, CString &text, CString charset) {
  pcutil::CHttpClientSession session;
  session.SetAgentName(kUserAgent);
  session.SetTimeout(GetQuoteSourceBudget());
  session.SetBodyLimit(kQuotePageLimit);
  if (!session.Request(url, pcutil::HTTP_REQUEST_METHOD_GET, TRUE)) return FALSE;
  text = session.GetResponseText(charset.IsEmpty() ? CString(HTTP_CHARSET_AUTODETECT) : charset);
  return TRUE;
}

void ScrapeQuotesInto(CQuoteTable &table) {
  CString page;  // one page text serves every source in turn
  for (int n = 1; n <= kQuoteSourceCount; ++n) {
    const QuoteSource &source = kSources[n - 1];
    if (!FetchQuotePage(GetQuoteSourceUrl(n), page, source.charset)) continue;
    for (const QuoteCut &cut : source.cuts) {
      CString value;
      if (!GetStringBetween(page, cut.begin, cut.end, value)) continue;
      table.WithLock([&](CQuoteTable::Map &map) {
        map[cut.key] = value;
        if (cut.key2) map[cut.key2] = value;
      });
    }
  }
  DeriveQuoteRecord(table);
}

void DeriveQuoteRecord(CQuoteTable &table) {
  table.WithLock([](CQuoteTable::Map &map) {
    QuoteRecord &record = GetQuoteRecord();
    CString hashRate = map[L"suanli"];
    int dot = hashRate.Find(L'.');
    record.m_strHashRate = dot >= 0 ? hashRate.Left(dot) : hashRate;
    record.m_strPriceA = map[L"last4"];
    CString priceB = map[L"last3"];
    dot = priceB.ReverseFind(L'.');
    if (dot >= 0 && priceB.GetLength() - dot - 1 > 2) priceB = priceB.Left(dot + 3);
    record.m_strPriceB = priceB;
    record.m_strTotal = map[L"nettotal"];
  });
}

struct CBackgroundScrape::State {
  explicit State(const CQuoteTable &t) : table(t.Share()) {}
  CQuoteTable table;
  std::atomic<int> requests{0};  // not yet served by a pass
};

CBackgroundScrape::CBackgroundScrape(const CQuoteTable &table) : m_state(std::make_shared<State>(table)) {}

void CBackgroundScrape::Request() {
  if (m_state->requests.fetch_add(1) > 0) return;  // the running thread serves it
  try {
    std::thread([state = m_state] {
      int served;
      do {
        served = state->requests.load();
        ScrapeQuotesInto(state->table);
      } while (state->requests.fetch_sub(served) != served);
    }).detach();
  } catch (const std::system_error &) {
    m_state->requests = 0;  // no thread: like a worker that cannot start, nothing runs
  }
}

void TrustQuoteFeed() { InternetSetExtraTrustedCaFile(TICKORA_FEED_CA_FILE); }

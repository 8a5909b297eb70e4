// The quote worker: fetches the five quote sources, cuts each value out of the
// page text between two fixed markers into the quote table, and derives the
// quote record that the floating window shows.
//
// Shared state and its lock:
// - One process-wide quote lock guards every quote table and the quote record.
//   Hold it only while copying values in or out, never during a fetch.
// - The lock and the record are never destroyed: "退出" ends the process with
//   exit(0) while workers may be in a pass, and they must still find both.
// - A quote table's entries are shared between the dialog that holds the
//   table and the workers it started (each keeps a handle from Share()), so a
//   worker still in a pass after the dialog is destroyed writes into entries
//   that stay alive, never into a destroyed table.
//
// What CTickoraDlg (client/tickoradlg.h) declares for this unit, defined in
// client/quoteworker_dlg.cpp:
//     CQuoteTable m_mapQuotes;
//     BOOL FetchPage(const CString &url, CString &text, CString charset);
//     void ScrapeQuotes();
//     CBackgroundScrape m_pageScrape;  // the quote page's pass
//     friend UINT QuoteWorkerProc(LPVOID pParam);
// and OnInitDialog starts the worker with AfxBeginThread(QuoteWorkerProc, this).
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"

// The sixteen quote keys, which are also the element ids of the product's page.
inline constexpr const wchar_t *kQuoteKeys[] = {
    L"last1",  L"fanwei1",  L"vol1",               // first exchange
    L"last2",  L"newprice", L"fanwei2",  L"vol2",  // second exchange
    L"last3",  L"fanwei3",  L"vol3",               // third exchange
    L"last4",  L"fanwei4",  L"vol4",               // fourth exchange
    L"suanli", L"getyear",  L"nettotal",           // statistics site
};

// The quote lock (see above).
std::mutex &GetQuoteLock();

// The four figures of the floating window, derived from the table after each
// pass. Copying copies the four texts.
struct QuoteRecord {
  CString m_strPriceA;    // "last4"
  CString m_strTotal;     // "nettotal"
  CString m_strHashRate;  // "suanli" cut before its first '.'
  CString m_strPriceB;    // "last3" with at most two characters after its last '.'
};

// The process's quote record, four empty texts until the first pass ends.
// Read or write it only while holding the quote lock.
QuoteRecord &GetQuoteRecord();
// A copy of the record taken under the quote lock, for readers.
QuoteRecord CopyQuoteRecord();

// The quote table: key text to value text, ordered by ordinal comparison of
// the keys. It starts empty and only grows. Every operation takes the quote
// lock itself, so callers must not hold it.
class CQuoteTable {
 public:
  using Map = std::map<CString, CString>;

  CQuoteTable();
  // Another handle on the same entries (see the lifetime note above).
  CQuoteTable Share() const;

  // A copy of all entries: readers work on it outside the lock.
  Map Snapshot() const;
  void Set(const CString &key, const CString &value);
  // The key's value; an absent key is inserted with an empty value.
  CString Take(const CString &key);

  // Runs fn(Map&) under the quote lock: for a group of reads and stores that
  // must see one state of the table.
  template <class Fn>
  auto WithLock(Fn &&fn) {
    std::lock_guard<std::mutex> guard(GetQuoteLock());
    return fn(*m_map);
  }

 private:
  explicit CQuoteTable(std::shared_ptr<Map> map) : m_map(std::move(map)) {}
  std::shared_ptr<Map> m_map;
};

// The quote sources, polled in this order every pass.
inline constexpr int kQuoteSourceCount = 5;

// The URL of source n (1..5): its fixed scheme and path on its configured host.
CString GetQuoteSourceUrl(int n);
// Points source n (1..5) at another host[:port] ("127.0.0.1:18441"); for tests
// that run their own feed. Takes effect from the next fetch.
void SetQuoteSourceHost(int n, const CString &hostAndPort);

// Each source's budget per pass: its connect, attempts and body together
// take at most this long (15,000 ms unless set), so a pass over the five
// sources ends within five budgets whatever the sources do.
inline constexpr DWORD kQuoteSourceBudgetMs = 15000;
DWORD GetQuoteSourceBudget();
// Sets the budget (0 restores the default); for tests. Takes effect from the
// next fetch.
void SetQuoteSourceBudget(DWORD ms);

// What one source's page may bring per pass: 4 MiB of body bytes as they
// arrive (a quote page is a few KiB), so a source that sends without end
// costs the pass neither the memory nor the rest of its budget.
inline constexpr DWORD kQuotePageLimit = 4u << 20;

// One GET of url with the fixed browser User-Agent within one source's
// budget, taking at most kQuotePageLimit body bytes. TRUE: text holds the
// body converted by charset (empty: detect it). FALSE (also for a longer
// body, whose connection is dropped at once): text is left untouched.
BOOL FetchQuotePage(const CString &url, CString &text, CString charset);

// One pass over the five sources into table, then the record derivation. A
// source whose fetch fails keeps all its keys; a missing marker keeps its key.
void ScrapeQuotesInto(CQuoteTable &table);

// Passes into a table on a thread of their own, for callers that must not
// wait on the network (the UI thread, when the quote page has loaded). One
// pass runs at a time; requests made while it runs get one more pass after
// it. The thread keeps the table's entries alive, like a worker.
class CBackgroundScrape {
 public:
  explicit CBackgroundScrape(const CQuoteTable &table);
  // Returns at once; the values reach the table under the quote lock.
  void Request();

 private:
  struct State;
  std::shared_ptr<State> m_state;
};

// Derives the quote record from table (inserting "suanli", "last4", "last3"
// and "nettotal" with empty values when absent), all under the quote lock.
void DeriveQuoteRecord(CQuoteTable &table);

// The worker thread: asks the main dialog's browser to show the product's
// page, then for ever runs a pass and sleeps 5000 ms. pParam is the main
// dialog; the worker reads it only at its start.
UINT QuoteWorkerProc(LPVOID pParam);

// In the loopback configuration, trusts the quote feed's certificate
// authority besides the system's. Called once by the program at start.
void TrustQuoteFeed();

// The main window on an X display of its own (Xvfb) against the loopback
// feed: within two passes of its worker the floating window's four figures
// change from their initial "0" to the feed's values; and the window's timers
// keep their time while the quote page's pass waits on a silent source.
#include <glib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/tickora.h"
#include "client/tickora_config.h"
#include "client/tickoradlg.h"
#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "quotefeed_fixture.h"
#include "tests/support/config_home.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/scoped_env.h"
#include "tests/support/x_server.h"

namespace {

using Clock = std::chrono::steady_clock;

const int kFigures[] = {IDC_PRICE_A, IDC_PRICE_B, IDC_TOTAL, IDC_HASHRATE};

// The display and the GTK backend, started once for the whole program; the
// server ends with the program, since the toolkit holds its connection as long.
bool UseOwnDisplay() {
  static testsupport::XServer x;
  static const bool ready = [] {
    if (x.display().empty()) return false;
    static const testsupport::ScopedEnv display("DISPLAY", x.display());
    return AfxSetBackend(BACKEND_GTK) != FALSE;
  }();
  return ready;
}

void UseClientResources() {
  (void)&theApp;
  SetResourceFolder(MultiByteToWide(CP_UTF8, TICKORA_SOURCE_DIR "/client/res"));
  RegisterClientResources();
}

// The floating window: the top-level window the main window owns that has the
// figure labels.
CWnd *FloatingWindow(HWND hMain) {
  for (HWND h : HeadlessTopLevelWindows()) {
    CWnd *w = CWnd::FromHandlePermanent(h);
    if (w && HeadlessGetWindow(h).owner == hMain && w->GetDlgItem(IDC_PRICE_A)) return w;
  }
  return nullptr;
}

struct Watch {
  CTickoraDlg *dlg = nullptr;
  const QuoteFeed *feed = nullptr;
  bool sawInitialZeros = false;
  bool sawFigures = false;
  int passesStarted = 0;  // of the statistics source, when the figures showed
  std::wstring figures[4];
};

gboolean Poll(gpointer data) {
  auto *watch = static_cast<Watch *>(data);
  CWnd *floating = FloatingWindow(watch->dlg->GetSafeHwnd());
  if (!floating) return G_SOURCE_CONTINUE;
  bool allZero = true, allFigures = true;
  for (int i = 0; i < 4; ++i) {
    CString text;
    floating->GetDlgItemText(kFigures[i], text);
    watch->figures[i] = text.GetString();
    allZero = allZero && text == L"0";
    allFigures = allFigures && !text.IsEmpty() && text != L"0";
  }
  watch->sawInitialZeros = watch->sawInitialZeros || allZero;
  if (allFigures) {
    watch->sawFigures = true;
    watch->passesStarted = watch->feed->Requests(5);
    watch->dlg->EndDialog(IDCANCEL);
    return G_SOURCE_REMOVE;
  }
  return G_SOURCE_CONTINUE;
}

TEST(QuoteWorkerGui, FloatingWindowShowsTheFeedsFiguresWithinTwoPasses) {
  ASSERT_TRUE(UseOwnDisplay()) << "Xvfb or the GTK backend did not start";
  ScopedConfigHome config;
  QuoteFeed feed;
  feed.Control("pin=last4&value=3012.50");
  feed.Control("pin=last3&value=455.129");
  feed.Control("pin=nettotal&value=12150075");
  feed.Control("pin=suanli&value=12,345.67");
  UseClientResources();

  CTickoraDlg dlg;
  Watch watch;
  watch.dlg = &dlg;
  watch.feed = &feed;
  guint poll = g_timeout_add(100, Poll, &watch);
  {
    testsupport::MainLoopDeadline limit(std::chrono::seconds(45), [&] { dlg.EndDialog(IDCANCEL); });
    dlg.DoModal();
  }
  if (!watch.sawFigures) g_source_remove(poll);

  EXPECT_TRUE(watch.sawInitialZeros);
  ASSERT_TRUE(watch.sawFigures) << "the feed's figures did not show within 45 s; figures still: "
                                << std::string(watch.figures[0].begin(), watch.figures[0].end());
  EXPECT_LE(watch.passesStarted, 2);
  EXPECT_EQ(watch.figures[0], L"3012.50");
  EXPECT_EQ(watch.figures[1], L"455.12");
  EXPECT_EQ(watch.figures[2], L"12150075");
  EXPECT_EQ(watch.figures[3], L"12,345");
}

// The quote page's pass, with the first source silent for its whole budget,
// runs beside a 100 ms window timer: the page's completion returns at once
// and the timer never misses a beat while the pass waits.
constexpr UINT_PTR kTickTimer = 77;
constexpr UINT kTickMs = 100;
std::vector<Clock::time_point> g_ticks;

void OnTick(HWND, UINT, UINT_PTR, DWORD) { g_ticks.push_back(Clock::now()); }

void NoWorker(CTickoraDlg *) {}

// Lets the test hand the dialog the page's completion itself.
class PageDlg : public CTickoraDlg {
 public:
  using CTickoraDlg::OnDocumentComplete;
};

struct PageWatch {
  PageDlg *dlg = nullptr;
  Clock::time_point handed, returned, ended;
  bool passEnded = false;
};

gboolean CompleteQuotePage(gpointer data) {
  auto *watch = static_cast<PageWatch *>(data);
  watch->dlg->SetTimer(kTickTimer, kTickMs, &OnTick);
  watch->handed = Clock::now();
  watch->dlg->OnDocumentComplete(nullptr, TICKORA_QUOTE_PAGE_URL);
  watch->returned = Clock::now();
  return G_SOURCE_REMOVE;
}

// The pass has ended once the source after the silent one has been read.
gboolean WatchPass(gpointer data) {
  auto *watch = static_cast<PageWatch *>(data);
  if (watch->dlg->m_mapQuotes.Snapshot()[L"last4"] != L"4242.42") return G_SOURCE_CONTINUE;
  watch->passEnded = true;
  watch->ended = Clock::now();
  watch->dlg->EndDialog(IDCANCEL);
  return G_SOURCE_REMOVE;
}

gboolean GiveUpOnPass(gpointer data) {
  static_cast<PageWatch *>(data)->dlg->EndDialog(IDCANCEL);
  return G_SOURCE_REMOVE;
}

TEST(QuoteWorkerGui, WindowTimerKeepsTimeWhileTheQuotePagePassWaits) {
  ASSERT_TRUE(UseOwnDisplay()) << "Xvfb or the GTK backend did not start";
  ScopedConfigHome config;
  QuoteFeed feed;
  feed.Control("source=1&mode=hang");
  feed.Control("pin=last4&value=4242.42");
  const int silentBefore = feed.Requests(1);
  SetQuoteSourceBudget(3000);
  CTickoraDlg::SetWorkerStarter(&NoWorker);  // only the page's pass goes to the sources
  UseClientResources();

  PageDlg dlg;
  PageWatch watch;
  watch.dlg = &dlg;
  g_ticks.clear();
  g_timeout_add(300, CompleteQuotePage, &watch);
  guint poll = g_timeout_add(50, WatchPass, &watch);
  guint limit = g_timeout_add_seconds(30, GiveUpOnPass, &watch);
  dlg.DoModal();
  if (!watch.passEnded) g_source_remove(poll);
  g_source_remove(limit);
  CTickoraDlg::SetWorkerStarter(nullptr);
  SetQuoteSourceBudget(0);

  ASSERT_TRUE(watch.passEnded) << "the quote page's pass did not end within 30 s";
  EXPECT_EQ(feed.Requests(1), silentBefore + 1);
  EXPECT_LT(watch.returned - watch.handed, std::chrono::seconds(1)) << "the page's completion waited on the network";
  // The pass waited out the silent source's budget; the timer went on beside it.
  ASSERT_GE(watch.ended - watch.handed, std::chrono::milliseconds(3000));
  std::vector<Clock::time_point> during;
  for (Clock::time_point t : g_ticks)
    if (t >= watch.handed && t <= watch.ended) during.push_back(t);
  ASSERT_FALSE(during.empty()) << "the timer never fired during the pass";
  Clock::duration widest = during.front() - watch.handed;
  for (size_t i = 1; i < during.size(); ++i) widest = std::max(widest, during[i] - during[i - 1]);
  widest = std::max(widest, watch.ended - during.back());
  EXPECT_LT(widest, std::chrono::seconds(1)) << "the timer stalled while the pass ran";
  EXPECT_GE(during.size() * kTickMs, 1000u)
      << during.size() << " ticks in "
      << std::chrono::duration_cast<std::chrono::milliseconds>(watch.ended - watch.handed).count() << " ms";
}

}  // namespace

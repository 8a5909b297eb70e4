// The main window on an X display of its own (Xvfb) with its worker
// against the loopback feed: within two passes the floating window's four
// figures change from their initial "0" to the feed's values.
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/tickora.h"
#include "client/tickoradlg.h"
#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "quotefeed_fixture.h"
#include "tests/support/config_home.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/x_server.h"

namespace {

const int kFigures[] = {IDC_PRICE_A, IDC_PRICE_B, IDC_TOTAL, IDC_HASHRATE};

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
  // Kept to the end of the process: the toolkit holds its connection as long.
  static testsupport::XServer x;
  ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
  setenv("DISPLAY", x.display().c_str(), 1);
  ScopedConfigHome config;
  QuoteFeed feed;
  feed.Control("pin=last4&value=3012.50");
  feed.Control("pin=last3&value=455.129");
  feed.Control("pin=nettotal&value=12150075");
  feed.Control("pin=suanli&value=12,345.67");
  ASSERT_TRUE(AfxSetBackend(BACKEND_GTK));
  (void)&theApp;
  SetResourceFolder(MultiByteToWide(CP_UTF8, TICKORA_SOURCE_DIR "/client/res"));
  RegisterClientResources();

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

}  // namespace

// The quote worker started by the headless main window against the loopback
// feed: its values reach the page on timer 1, and the process ends cleanly
// while workers are still in a pass.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/tickora.h"
#include "client/tickora_config.h"
#include "client/tickoradlg.h"
#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "platform/window/shellnotify.h"
#include "quotefeed_fixture.h"
#include "tests/support/config_home.h"
#include "tests/support/deadline.h"

namespace {

// Static, so a death test's child that ends through exit() also stops its feed.
std::unique_ptr<QuoteFeed> feed;

// Waits in real time (the worker runs on its own thread) until done() holds.
bool WaitFor(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(30)) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class QuoteWorkerDialogTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Death tests run in a fresh process: no worker of an earlier test
    // holds a lock across the fork.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    feed = std::make_unique<QuoteFeed>();
  }
  static void TearDownTestSuite() { feed.reset(); }
  void SetUp() override {
    (void)&theApp;
    HeadlessReset();
    HeadlessTrayReset();
    SetResourceFolder(MultiByteToWide(CP_UTF8, TICKORA_SOURCE_DIR "/client/res"));
    RegisterClientResources();
    CTickoraDlg::SetWorkerStarter(nullptr);  // the real worker thread
    feed->Control("reset=1");
  }
  void TearDown() override {
    HeadlessReset();
    HeadlessTrayReset();
  }

  ScopedConfigHome config_;
};

// The worker's first pass lands in the table; the next tick of timer 1 writes
// every entry into the page element of the same id.
TEST_F(QuoteWorkerDialogTest, WorkerValuesReachThePageOnTimer1) {
  feed->Control("pin=last1&value=3333.33");
  feed->Control("pin=last2&value=3015.20");
  CTickoraDlg dlg;
  HeadlessOnModal([&](CWnd *) {
    HWND h = dlg.GetSafeHwnd();
    ASSERT_TRUE(WaitFor([&] { return dlg.m_mapQuotes.Snapshot().size() == std::size(kQuoteKeys); }));
    HeadlessPumpMessages();  // the navigation the worker asked for
    std::vector<std::wstring> navigations = HeadlessNavigations(h);
    EXPECT_NE(std::find(navigations.begin(), navigations.end(), TICKORA_PRODUCT_URL), navigations.end());

    EXPECT_NE(HeadlessElementText(h, L"last1"), std::optional<std::wstring>(L"3333.33"));
    HeadlessAdvanceClock(5000);
    CQuoteTable::Map map = dlg.m_mapQuotes.Snapshot();
    EXPECT_EQ(HeadlessElementText(h, L"last1"), std::optional<std::wstring>(L"3333.33"));
    EXPECT_EQ(HeadlessElementText(h, L"newprice"), std::optional<std::wstring>(L"3015.20"));
    for (const auto &[key, value] : map)
      EXPECT_EQ(HeadlessElementText(h, key.GetString()), std::optional<std::wstring>(value.GetString()))
          << key.GetString();
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
}

// "退出" ends the process with code 0 while the worker waits inside a fetch.
TEST_F(QuoteWorkerDialogTest, ExitCommandEndsCleanlyDuringAPass) {
  EXPECT_EXIT(
      {
        testsupport::Watchdog watchdog(std::chrono::seconds(60), "the exit during a pass");
        feed->Control("source=1&mode=hang");
        int before = feed->Requests(1);
        CTickoraDlg dlg;
        HeadlessOnModal([&](CWnd *) {
          if (!WaitFor([&] { return feed->Requests(1) > before; })) {
            std::fprintf(stderr, "the worker did not ask source 1 within 30 s\n");
            std::exit(2);
          }
          feed->Control("reset=1");  // the worker runs on into the exit
          dlg.SendMessage(WM_COMMAND, ID_MENU_EXIT, 0);
        });
        dlg.DoModal();
        std::exit(1);  // not reached
      },
      ::testing::ExitedWithCode(0), "");
}

// Both modal runs of the application end while their workers wait inside a
// fetch; the dialog and its table are destroyed, then the workers go on with
// their passes before the process ends. They must write only into entries
// that are still alive (the sanitizer build checks this).
TEST_F(QuoteWorkerDialogTest, WorkersOutliveTheDialogAfterTheSecondRun) {
  EXPECT_EXIT(
      {
        testsupport::Watchdog watchdog(std::chrono::seconds(90), "two modal runs and the workers after them");
        feed->Control("source=1&mode=hang");
        for (int run = 0; run < 2; ++run)
          HeadlessOnModal([run](CWnd *dialog) {
            if (!WaitFor([&] { return feed->Requests(1) > run; })) {
              std::fprintf(stderr, "the worker of run %d did not ask source 1 within 30 s\n", run + 1);
              std::exit(2);
            }
            static_cast<CDialog *>(dialog)->EndDialog(IDCANCEL);
          });
        int statsBefore = feed->Requests(5);
        BOOL result = theApp.InitInstance();
        feed->Control("reset=1");
        bool passed = WaitFor([&] { return feed->Requests(5) >= statsBefore + 2; });
        bool recorded = WaitFor([] { return !CopyQuoteRecord().m_strPriceA.IsEmpty(); });
        if (!passed) std::fprintf(stderr, "the workers did not make two more passes within 30 s\n");
        if (!recorded) std::fprintf(stderr, "no quote record within 30 s\n");
        std::exit(result == FALSE && passed && recorded ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

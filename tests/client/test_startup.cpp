// The program's start-up and its main window, on the headless window backend.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/suspenddlg.h"
#include "client/tickora.h"
#include "client/tickora_config.h"
#include "client/tickoradlg.h"
#include "platform/text/codepage.h"
#include "platform/window/headless.h"
#include "platform/window/shellnotify.h"
#include "tests/support/config_home.h"

namespace fs = std::filesystem;

namespace {

std::vector<CTickoraDlg *> g_workersStarted;
// State seen when the worker was started: the timer must not run yet, the
// tray icon must be there.
std::vector<bool> g_timerRunningAtWorkerStart;

void RecordWorker(CTickoraDlg *dlg) {
  g_workersStarted.push_back(dlg);
  g_timerRunningAtWorkerStart.push_back(HeadlessTimerPeriod(dlg->GetSafeHwnd(), 1).has_value());
}

// The main dialog with its protected hit-test handler opened to the test.
class TestDlg : public CTickoraDlg {
 public:
  using CTickoraDlg::OnNcHitTest;
};

// The floating windows: top-level windows owned by hMain.
std::vector<HWND> OwnedBy(HWND hMain) {
  std::vector<HWND> out;
  for (HWND h : HeadlessTopLevelWindows())
    if (HeadlessGetWindow(h).owner == hMain && IsWindowVisible(h)) out.push_back(h);
  return out;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessReset();
    HeadlessTrayReset();
    SetResourceFolder(MultiByteToWide(CP_UTF8, TICKORA_SOURCE_DIR "/client/res"));
    RegisterClientResources();
    g_nHidePaints = 2;
    g_workersStarted.clear();
    g_timerRunningAtWorkerStart.clear();
    CTickoraDlg::SetWorkerStarter(&RecordWorker);
  }
  void TearDown() override {
    HeadlessReset();
    HeadlessTrayReset();
  }

  // Runs the dialog modally; action runs at the loop's first idle moment and
  // the dialog is closed after it.
  void RunModal(CTickoraDlg &dlg, std::function<void(CTickoraDlg &)> action) {
    HeadlessOnModal([&](CWnd *) {
      action(dlg);
      dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    EXPECT_EQ(HeadlessStalledModalLoops(), 0);
  }

  ScopedConfigHome config_;
};

TEST_F(StartupTest, MainWindowStartDoesEveryStepAndEndsHidden) {
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    const HWND h = d.GetSafeHwnd();
    const HeadlessWindowInfo main = HeadlessGetWindow(h);

    // The page of resource 104.
    EXPECT_NE(HeadlessLoadedHtmlFile(h).find(L"tickora_dialog.html"), std::wstring::npos);
    EXPECT_TRUE(HeadlessElementText(h, L"ButtonOK").has_value());

    // Autostart: the program's own file, quoted for the launcher.
    const std::string entry = config_.AutostartEntries();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_NE(entry.find("\nExec=\"" + self + "\"\n"), std::string::npos) << entry;

    // A tool window, off the taskbar.
    EXPECT_TRUE(main.exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(main.exStyle & WS_EX_APPWINDOW);

    // The floating window: owned by the main window, shown in the bottom-right
    // corner of the work area.
    const auto floating = OwnedBy(h);
    ASSERT_EQ(floating.size(), 1u);
    const RECT fr = HeadlessGetWindow(floating[0]).rect;
    EXPECT_EQ(fr.right, GetSystemMetrics(SM_CXFULLSCREEN));
    EXPECT_EQ(fr.bottom, GetSystemMetrics(SM_CYFULLSCREEN));
    EXPECT_GT(fr.right - fr.left, 0);

    // The tray icon.
    const auto icons = HeadlessTrayIcons();
    ASSERT_EQ(icons.size(), 1u);
    EXPECT_EQ(icons[0].hWnd, h);
    EXPECT_EQ(icons[0].uID, static_cast<UINT>(IDR_MENU_TRAY));
    EXPECT_EQ(icons[0].uCallbackMessage, 0x040Au);
    EXPECT_EQ(icons[0].tip, L"Tickora");
    EXPECT_NE(icons[0].hIcon, nullptr);

    EXPECT_EQ(d.m_dwHostFlags, 13u);

    // The system menu ends with a separator and the About item.
    const auto items = HeadlessMenuItems(d.GetSystemMenu(FALSE)->GetSafeHmenu());
    ASSERT_GE(items.size(), 2u);
    EXPECT_TRUE(items[items.size() - 2].separator);
    EXPECT_EQ(items.back().text, L"关于 Tickora(&A)...");
    EXPECT_EQ(items.back().id, static_cast<UINT>(IDM_ABOUTBOX));

    EXPECT_NE(main.bigIcon, nullptr);
    EXPECT_NE(main.smallIcon, nullptr);

    // The worker, then timer 1.
    ASSERT_EQ(g_workersStarted.size(), 1u);
    EXPECT_EQ(g_workersStarted[0], &d);
    EXPECT_FALSE(g_timerRunningAtWorkerStart[0]);
    EXPECT_EQ(HeadlessTimerPeriod(h, 1), std::optional<UINT>(5000));

    // Its first two non-client paints hid it.
    EXPECT_FALSE(main.visible);
    EXPECT_EQ(main.ncPaints, 2);
    EXPECT_EQ(g_nHidePaints, 0);
  });
}

TEST_F(StartupTest, ClosingTheMainWindowOnceRebuildsItTwiceEndsTheRun) {
  HWND first = nullptr, firstFloating = nullptr;
  int runs = 0;
  auto close = [&](CWnd *dlg) {
    ++runs;
    const HWND h = dlg->GetSafeHwnd();
    if (runs == 1) {
      first = h;
      EXPECT_FALSE(IsWindowVisible(h));
      const auto floating = OwnedBy(h);
      ASSERT_EQ(floating.size(), 1u);
      firstFloating = floating[0];
    } else {
      EXPECT_NE(h, first);
      EXPECT_TRUE(IsWindowVisible(h)) << "the second main window stays visible";
      EXPECT_EQ(AfxGetMainWnd(), dlg);
      EXPECT_FALSE(IsWindow(firstFloating)) << "the first floating window went with its owner";
      EXPECT_EQ(OwnedBy(h).size(), 1u);
      const auto icons = HeadlessTrayIcons();
      ASSERT_EQ(icons.size(), 1u);
      EXPECT_EQ(icons[0].hWnd, h);
      EXPECT_EQ(g_workersStarted.size(), 2u) << "a second worker beside the first";
      EXPECT_EQ(HeadlessTimerPeriod(h, 1), std::optional<UINT>(5000));
    }
    HeadlessRequestClose(h);  // the close button or Alt+F4: Cancel
  };
  HeadlessOnModal(close);
  HeadlessOnModal(close);
  EXPECT_FALSE(theApp.InitInstance());
  EXPECT_EQ(runs, 2);
  EXPECT_EQ(HeadlessStalledModalLoops(), 0);
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

TEST_F(StartupTest, QuoteTimerWritesTheTableIntoThePage) {
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    const HWND h = d.GetSafeHwnd();
    std::vector<std::optional<std::wstring>> before;
    const auto ids = HeadlessElementIds(h);
    for (const auto &id : ids) before.push_back(HeadlessElementText(h, id.c_str()));

    // An empty table changes nothing.
    HeadlessAdvanceClock(5000);
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(HeadlessElementText(h, ids[i].c_str()), before[i]) << ids[i];

    d.m_mapQuotes.Set(L"last1", L"455.12");
    d.m_mapQuotes.Set(L"nosuchid", L"ignored");  // no element: nothing happens for it
    d.m_mapQuotes.Set(L"vol1", L"1,234 中");
    d.m_mapQuotes.Set(L"", L"empty key");
    HeadlessAdvanceClock(4999);
    EXPECT_EQ(HeadlessElementText(h, L"last1"), before[0]) << "not before 5000 ms";
    HeadlessAdvanceClock(1);
    EXPECT_EQ(HeadlessElementText(h, L"last1"), std::optional<std::wstring>(L"455.12"));
    EXPECT_EQ(HeadlessElementText(h, L"vol1"), std::optional<std::wstring>(L"1,234 中"));
    EXPECT_FALSE(HeadlessElementText(h, L"nosuchid").has_value());
    EXPECT_EQ(HeadlessElementIds(h), ids);
  });
}

TEST_F(StartupTest, PageSwallowsRightPressesAndItsButtonsHideTheWindow) {
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    const HWND h = d.GetSafeHwnd();
    const POINT pt = {HeadlessGetWindow(h).rect.left + 10, HeadlessGetWindow(h).rect.top + 10};
    EXPECT_TRUE(HeadlessBrowserMouse(h, WM_RBUTTONDOWN, pt));
    EXPECT_TRUE(HeadlessBrowserMouse(h, WM_RBUTTONDBLCLK, pt));
    EXPECT_FALSE(HeadlessBrowserMouse(h, WM_RBUTTONUP, pt));
    EXPECT_FALSE(HeadlessBrowserMouse(h, WM_LBUTTONDOWN, pt));

    for (const wchar_t *button : {L"ButtonOK", L"ButtonCancel"}) {
      d.ShowWindow(SW_SHOW);
      EXPECT_EQ(HeadlessClickElement(h, button), S_OK) << button;
      EXPECT_FALSE(IsWindowVisible(h)) << button;
      EXPECT_TRUE(IsWindow(h)) << "the dialog goes on";
    }
    EXPECT_EQ(HeadlessClickElement(h, L"last1"), S_FALSE);

    // Any point of the client area drags the window.
    EXPECT_EQ(static_cast<TestDlg &>(d).OnNcHitTest(CPoint(pt.x, pt.y)), HTCAPTION);
  });
}

TEST_F(StartupTest, SystemMenuAboutItemOpensTheAboutBox) {
  TestDlg dlg;
  std::vector<std::wstring> texts;
  HeadlessOnModal([&](CWnd *) {
    const HWND h = dlg.GetSafeHwnd();
    // Other system commands do not open it.
    dlg.SendMessage(WM_SYSCOMMAND, 0xF010 /* move */, 0);
    EXPECT_EQ(HeadlessModalDepth(), 1);

    HeadlessOnModal([&](CWnd *about) {
      EXPECT_EQ(HeadlessModalDepth(), 2);
      const HeadlessWindowInfo info = HeadlessGetWindow(about->GetSafeHwnd());
      texts.push_back(info.text);
      CString label;
      about->GetDlgItem(IDOK)->GetWindowText(label);
      texts.push_back(label.GetString());
      static_cast<CButton *>(about->GetDlgItem(IDOK))->Click();
    });
    dlg.SendMessage(WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);  // the low four bits do not count
    EXPECT_TRUE(IsWindow(h));
    dlg.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"关于 Tickora", L"确定"}));
  EXPECT_EQ(HeadlessStalledModalLoops(), 0);
}

TEST_F(StartupTest, TrayIconShowsTheWindowAndItsMenu) {
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    const HWND h = d.GetSafeHwnd();
    EXPECT_EQ(HeadlessTrayEvent(h, IDR_MENU_TRAY, WM_LBUTTONDBLCLK), 1);
    EXPECT_TRUE(IsWindowVisible(h));
    EXPECT_EQ(HeadlessForegroundWindow(), h);

    EXPECT_EQ(HeadlessTrayEvent(h, IDR_MENU_TRAY, WM_RBUTTONUP), 1);
    const auto popups = HeadlessPopups();
    ASSERT_EQ(popups.size(), 1u);
    ASSERT_EQ(popups[0].items.size(), 1u);
    EXPECT_EQ(popups[0].items[0].text, L"退出");
    EXPECT_EQ(popups[0].items[0].id, static_cast<UINT>(ID_MENU_EXIT));
  });
}

TEST_F(StartupTest, ExitCommandEndsTheProcessWithCodeZero) {
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    EXPECT_EXIT(d.SendMessage(WM_COMMAND, ID_MENU_EXIT, 0), ::testing::ExitedWithCode(0), "");
  });
}

// The quote page's pass runs on a thread of its own; its values reach the
// table like the worker's.
TEST_F(StartupTest, OnlyTheQuotePageCompletionRunsAScrape) {
  // Sources that refuse at once: a pass then only inserts the record's keys.
  for (int n = 1; n <= kQuoteSourceCount; ++n) SetQuoteSourceHost(n, L"127.0.0.1:1");
  TestDlg dlg;
  RunModal(dlg, [&](CTickoraDlg &d) {
    const HWND h = d.GetSafeHwnd();
    HeadlessDocumentComplete(h, TICKORA_PRODUCT_URL);
    HeadlessDocumentComplete(h, (std::wstring(TICKORA_QUOTE_PAGE_URL) + L"?x").c_str());
    EXPECT_TRUE(d.m_mapQuotes.Snapshot().empty());
    HeadlessDocumentComplete(h, TICKORA_QUOTE_PAGE_URL);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (d.m_mapQuotes.Snapshot().size() < 4 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto table = d.m_mapQuotes.Snapshot();
    ASSERT_EQ(table.size(), 4u) << "the quote page's pass did not store the record's keys within 30 s";
    EXPECT_EQ(table.count(CString(L"last4")), 1u);
  });
}

}  // namespace

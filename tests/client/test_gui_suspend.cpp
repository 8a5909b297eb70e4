// The floating window on a real X display (run under xvfb-run): a screenshot shows
// its bitmap with the four figures in their colours, and a click in its folded
// corner opens the alarm panel.
#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "client/quoteworker.h"
#include "client/resource.h"
#include "client/resources.h"
#include "client/setdlg.h"
#include "client/suspenddlg.h"
#include "platform/window/afxwin.h"
#include "platform/window/gtk_probe.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr UINT kTestMainTemplate = 900;

using namespace std::chrono_literals;
using testsupport::SpinFor;
using testsupport::SpinUntil;

// The whole screen, taken with ImageMagick's import as a binary PPM.
struct Screenshot {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  COLORREF At(int x, int y) const {
    const unsigned char *p = &rgb[(size_t(y) * width + x) * 3];
    return RGB(p[0], p[1], p[2]);
  }
};

bool TakeScreenshot(const std::string &path, Screenshot &shot) {
  const std::string cmd = "import -window root -depth 8 ppm:" + path;
  if (system(cmd.c_str()) != 0) return false;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> shot.width >> shot.height >> maxval;
  in.get();
  if (magic != "P6" || maxval != 255 || shot.width <= 0 || shot.height <= 0) return false;
  shot.rgb.resize(size_t(shot.width) * shot.height * 3);
  in.read(reinterpret_cast<char *>(shot.rgb.data()), shot.rgb.size());
  return bool(in);
}

// Counts the pixels of rc whose colour is close to the pure colour c (one channel
// at 255, the others at 0), as antialiased text in that colour leaves some.
int CountNear(const Screenshot &shot, const RECT &rc, COLORREF c) {
  int n = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) {
      const COLORREF p = shot.At(x, y);
      const int dr = GetRValue(p) - GetRValue(c), dg = GetGValue(p) - GetGValue(c), db = GetBValue(p) - GetBValue(c);
      n += dr * dr + dg * dg + db * db < 60 * 60;
    }
  return n;
}

COLORREF BitmapPixel(UINT id, int x, int y) {
  CBitmap bitmap;
  CDC mem;
  if (!bitmap.LoadBitmap(id) || !mem.CreateCompatibleDC(nullptr) || !mem.SelectObject(&bitmap)) return CLR_INVALID;
  return mem.GetPixel(x, y);
}

void SetRecord(const wchar_t *priceA, const wchar_t *priceB, const wchar_t *total, const wchar_t *hashRate) {
  std::lock_guard<std::mutex> lock(GetQuoteLock());
  QuoteRecord &r = GetQuoteRecord();
  r.m_strPriceA = priceA;
  r.m_strPriceB = priceB;
  r.m_strTotal = total;
  r.m_strHashRate = hashRate;
}

// A hidden stand-in for the main window owning the floating window, placed and shown
// in the bottom-right corner as the main window does it.
class SuspendGui : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (xvfb-run)";
    ASSERT_TRUE(AfxSetBackend(BACKEND_GTK));
    SetResourceFolder(TICKORA_SOURCE_DIR L"/client/res");
    RegisterSuspendResources();
    RegisterDialogTemplate({kTestMainTemplate, 181, 288, WS_POPUP | WS_SYSMENU, 0, nullptr, 9, {}});
    ASSERT_TRUE(main_.Create(kTestMainTemplate, nullptr));
    ASSERT_TRUE(floating_.Create(IDD_SUSPEND_DIALOG, &main_));
    floating_.PlaceAtBottomRight();
    floating_.ShowWindow(SW_SHOW);
  }
  void TearDown() override {
    floating_.DestroyWindow();
    main_.DestroyWindow();
  }
  std::wstring Label(int id) {
    CString text;
    floating_.GetDlgItem(id)->GetWindowText(text);
    return text.GetString();
  }

  CDialog main_;
  CSUSPENDDLG floating_;
};

TEST_F(SuspendGui, ShowsFiguresAndOpensPanelFromCorner) {
  SetRecord(L"88888", L"888.88", L"8888888", L"88888");
  floating_.SendMessage(WM_TIMER, CSUSPENDDLG::kRefreshTimer, 0);
  SpinFor(1500ms);

  CRect f;
  floating_.GetWindowRect(&f);
  ASSERT_EQ(f.Width(), 105);
  ASSERT_EQ(f.Height(), 118);
  testsupport::TempDir dir;
  Screenshot shot;
  ASSERT_TRUE(TakeScreenshot(dir.path() + "/screen.ppm", shot));
  ASSERT_LE(f.right, shot.width);
  ASSERT_LE(f.bottom, shot.height);

  // The bitmap where no label stands: the left margin, the folded corner, the bottom.
  for (POINT p : {POINT{2, 2}, POINT{3, 60}, POINT{103, 1}, POINT{95, 20}, POINT{50, 115}})
    EXPECT_EQ(shot.At(f.left + p.x, f.top + p.y), BitmapPixel(IDB_SUSPEND_SKIN, p.x, p.y)) << p.x << "," << p.y;

  // Each figure in its colour within its label.
  struct Figure {
    int id;
    COLORREF colour;
  } figures[] = {{IDC_PRICE_A, RGB(255, 0, 0)},
                 {IDC_PRICE_B, RGB(0, 255, 0)},
                 {IDC_TOTAL, RGB(0, 0, 255)},
                 {IDC_HASHRATE, RGB(0, 0, 255)}};
  for (const Figure &fig : figures) {
    CRect rc;
    floating_.GetDlgItem(fig.id)->GetWindowRect(&rc);
    EXPECT_GE(CountNear(shot, rc, fig.colour), 5) << "figure " << fig.id;
  }

  // A click in the folded corner opens the panel 100 pixels to the left.
  ASSERT_FALSE(floating_.m_pSetDlg->IsWindowVisible());
  const std::string click =
      "xdotool mousemove " + std::to_string(f.right - 10) + " " + std::to_string(f.top + 10) + " click 1";
  ASSERT_EQ(system(click.c_str()), 0);
  ASSERT_TRUE(SpinUntil([&] { return floating_.m_pSetDlg->IsWindowVisible(); }, 10s))
      << "the click in the folded corner did not open the panel within 10 s";
  SpinFor(1500ms);
  CRect p;
  floating_.m_pSetDlg->GetWindowRect(&p);
  EXPECT_EQ(p.left, f.left - 100);
  EXPECT_EQ(p.top, f.top);

  ASSERT_TRUE(TakeScreenshot(dir.path() + "/panel.ppm", shot));
  // The panel's header and its round clear button, left of the floating window.
  for (POINT q : {POINT{3, 3}, POINT{40, 28}, POINT{105 - 22, 118 - 22}})
    EXPECT_EQ(shot.At(p.left + q.x, p.top + q.y), BitmapPixel(IDB_SET_SKIN, q.x, q.y)) << q.x << "," << q.y;
}

// A real double click (press, release, press, release from the X server): the
// first press starts a drag that must neither move the window nor swallow the
// second press; the double click then places the main window by the quarter rule
// and shows it, and the next one hides it. The floating window stays put.
TEST_F(SuspendGui, DoubleClickShowsMainWindowAboveAndHidesIt) {
  SpinFor(1000ms);
  CRect f;
  floating_.GetWindowRect(&f);
  CRect m;
  main_.GetWindowRect(&m);
  ASSERT_FALSE(main_.IsWindowVisible());
  // Away from the folded corner, so the panel stays closed.
  const std::string doubleClick = "xdotool mousemove " + std::to_string(f.left + 20) + " " +
                                  std::to_string(f.top + 60) + " click --repeat 2 --delay 80 1";

  // On-screen origin of a window, as the X server has it.
  auto origin = [](CWnd &wnd) {
    int x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(AfxGtkWidget(wnd.m_hWnd)), &x, &y);
    return CPoint(x, y);
  };

  ASSERT_EQ(system(doubleClick.c_str()), 0);
  ASSERT_TRUE(SpinUntil([&] { return main_.IsWindowVisible(); }, 10s))
      << "the double click did not show the main window within 10 s";
  SpinFor(1500ms);
  CRect after;
  floating_.GetWindowRect(&after);
  EXPECT_EQ(after, f) << after.left << "," << after.top;
  EXPECT_EQ(origin(floating_), f.TopLeft());
  EXPECT_FALSE(floating_.m_pSetDlg->IsWindowVisible());
  // Bottom-right quarter: above the floating window, right edges aligned.
  const CRect expected(f.right - m.Width(), f.top - m.Height(), f.right, f.top);
  CRect shown;
  main_.GetWindowRect(&shown);
  EXPECT_EQ(shown, expected) << shown.left << "," << shown.top;
  EXPECT_EQ(origin(main_), expected.TopLeft());

  ASSERT_EQ(system(doubleClick.c_str()), 0);
  EXPECT_TRUE(SpinUntil([&] { return !gtk_widget_get_mapped(AfxGtkWidget(main_.m_hWnd)); }, 10s))
      << "the second double click did not hide the main window within 10 s";
  SpinFor(1500ms);
  EXPECT_FALSE(main_.IsWindowVisible());
  floating_.GetWindowRect(&after);
  EXPECT_EQ(after, f) << after.left << "," << after.top;
}

// The alarm message is a modal dialog of the toolkit: the program keeps running its
// loop meanwhile, timer 1 stays stopped until the message is closed, then runs again.
TEST_F(SuspendGui, AlarmMessageHoldsRefreshUntilClosed) {
  SetRecord(L"1", L"10000.5", L"", L"");
  floating_.SendMessage(WM_COMMAND, ID_MENU_ALARM, 0);
  floating_.m_pSetDlg->SetDlgItemText(IDC_ALARM_B, L"9000");

  // Runs inside the message's own loop: new quotes arrive at once, and after more
  // than one refresh period the labels are read and the message is answered.
  struct Probe {
    CWnd *labelB;
    bool fired;
    bool answered;
    CString labelWhileOpen;
  } probe{floating_.GetDlgItem(IDC_PRICE_B), false, false, CString()};
  const guint quotes = g_timeout_add(
      500,
      [](gpointer) -> gboolean {
        SetRecord(L"1", L"9500", L"", L"");
        return G_SOURCE_REMOVE;
      },
      nullptr);
  // Answered again while it stays open; closed after 30 s.
  testsupport::GtkAnswerer answer(
      {.find =
           [] {
             return testsupport::OpenToplevel(GTK_TYPE_MESSAGE_DIALOG, [](GtkWidget *box) {
               gchar *text = nullptr;
               g_object_get(box, "text", &text, nullptr);
               const bool alarm = text && std::string(text) == "Tickora提醒：市场已达到你设置的报警价格，请注意！";
               g_free(text);
               return alarm;
             });
           },
       .answer =
           [&probe](GtkWidget *box) {
             if (!probe.fired) probe.labelB->GetWindowText(probe.labelWhileOpen);
             probe.fired = true;
             gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK);
             probe.answered = true;
             return true;
           },
       .firstAfter = 6500ms});
  // Timer 1 finds price B above 9000 and shows the message; this returns when the
  // probe has answered it.
  floating_.SendMessage(WM_TIMER, CSUSPENDDLG::kRefreshTimer, 0);
  if (!probe.fired) g_source_remove(quotes);
  ASSERT_FALSE(answer.timedOut()) << "the alarm message stayed open for 30 s after " << answer.answers() << " answers";
  ASSERT_TRUE(probe.answered) << "timer 1 showed no alarm message";
  // 9500 arrived while the message was open, but timer 1 did not run.
  EXPECT_EQ(std::wstring(probe.labelWhileOpen.GetString()), L"10000.5");

  // Quotes move below the threshold; the restarted timer 1 shows them.
  SetRecord(L"1", L"8000", L"", L"");
  EXPECT_TRUE(SpinUntil([&] { return Label(IDC_PRICE_B) == L"8000"; }, 15s))
      << "the restarted timer 1 did not show the new price within 15 s";
}

}  // namespace

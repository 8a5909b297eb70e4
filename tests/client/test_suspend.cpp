// The floating window headless: skin and placement, the hot corner, the hand
// cursor, double-click placement of the main window, the context menu, and the
// labels refreshed from the quote record.
#include <algorithm>

#include "tests/client/suspend_fixture.h"
#include "utils/myfun.h"

namespace {

bool DragStarted(HWND h) {
  const std::vector<HWND> drags = HeadlessDragsStarted();
  return std::find(drags.begin(), drags.end(), h) != drags.end();
}

TEST_F(SuspendTest, StartsSkinnedTopMostAndPlacedBottomRight) {
  const HeadlessWindowInfo info = HeadlessGetWindow(Float());
  const int cx = GetSystemMetrics(SM_CXFULLSCREEN), cy = GetSystemMetrics(SM_CYFULLSCREEN);
  EXPECT_EQ(info.rect.left, cx - 105);
  EXPECT_EQ(info.rect.top, cy - 118);
  EXPECT_EQ(info.rect.right, cx);
  EXPECT_EQ(info.rect.bottom, cy);
  EXPECT_TRUE(info.visible);
  EXPECT_TRUE(info.topmost);
  EXPECT_TRUE(info.exStyle & WS_EX_TOOLWINDOW);
  EXPECT_FALSE(info.exStyle & WS_EX_APPWINDOW);
  EXPECT_EQ(info.owner, main_.m_hWnd);
  EXPECT_TRUE(info.hasRegion);
  EXPECT_EQ(HeadlessTimerPeriod(Float(), 1), 5000u);

  // The panel starts hidden, skinned to the same size at the top-left corner.
  const HeadlessWindowInfo panel = HeadlessGetWindow(Panel());
  EXPECT_FALSE(panel.visible);
  EXPECT_EQ(panel.owner, Float());
  EXPECT_EQ(panel.rect.left, 0);
  EXPECT_EQ(panel.rect.top, 0);
  EXPECT_EQ(panel.rect.right, 105);
  EXPECT_EQ(panel.rect.bottom, 118);

  for (int id : {IDC_PRICE_A, IDC_PRICE_B, IDC_TOTAL, IDC_HASHRATE}) EXPECT_EQ(Label(id), L"0");
}

TEST_F(SuspendTest, HotCornerOpensPanelHundredPixelsLeftAndEveryPressDrags) {
  struct Case {
    int dx, dy;  // press point from the window's right edge and top edge
    bool opens;
  } cases[] = {
      {1, 0, true},    {29, 29, true},  {15, 15, true},  {30, 10, false},
      {10, 30, false}, {30, 30, false}, {80, 60, false}, {104, 117, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "dx " << c.dx << " dy " << c.dy);
    float_->m_pSetDlg->ShowWindow(SW_HIDE);
    MoveFloat(600, 400);
    HeadlessPumpMessages();
    const size_t drags = HeadlessDragsStarted().size();

    HeadlessMouse(Float(), MOUSE_LDOWN, POINT{705 - c.dx, 400 + c.dy});
    HeadlessPumpMessages();

    const HeadlessWindowInfo panel = HeadlessGetWindow(Panel());
    EXPECT_EQ(panel.visible, c.opens);
    if (c.opens) {
      EXPECT_EQ(panel.rect.left, 500);
      EXPECT_EQ(panel.rect.top, 400);
      EXPECT_EQ(panel.rect.right - panel.rect.left, 105);  // size kept
    }
    EXPECT_EQ(HeadlessDragsStarted().size(), drags + 1);
    EXPECT_TRUE(DragStarted(Float()));
  }
}

TEST_F(SuspendTest, HandCursorExactlyOverHotCorner) {
  MoveFloat(600, 400);
  const HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
  struct Case {
    int dx, dy;
    bool hand;
  } cases[] = {{1, 1, true}, {29, 0, true}, {29, 29, true}, {30, 5, false}, {5, 30, false}, {60, 60, false}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "dx " << c.dx << " dy " << c.dy);
    HeadlessMouse(Float(), MOUSE_MOVE, POINT{705 - c.dx, 400 + c.dy});
    EXPECT_EQ(HeadlessCurrentCursor() == hand, c.hand);
  }
}

// Where the main window goes on the first double click, for the floating window in
// each quarter of the screen; the second double click hides it again.
TEST_F(SuspendTest, DoubleClickPlacesMainWindowByQuarterThenHidesIt) {
  const int cx = GetSystemMetrics(SM_CXFULLSCREEN), cy = GetSystemMetrics(SM_CYFULLSCREEN);
  RECT m = Rect(main_.m_hWnd);
  const int mw = m.right - m.left, mh = m.bottom - m.top;
  ASSERT_GT(mw, 0);
  ASSERT_GT(mh, 0);
  struct Case {
    const char *quarter;
    int fx, fy;
    bool rightOfHalf, belowHalf;
  } cases[] = {
      {"top-left", 10, 10, false, false},
      {"top-right", cx - 150, 10, true, false},
      {"bottom-left", 10, cy - 150, false, true},
      {"bottom-right", cx - 105, cy - 118, true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.quarter);
    MoveFloat(c.fx, c.fy);
    const RECT f = Rect(Float());
    HeadlessMouse(Float(), MOUSE_LDBLCLK, POINT{f.left + 50, f.top + 60});
    const HeadlessWindowInfo shown = HeadlessGetWindow(main_.m_hWnd);
    EXPECT_TRUE(shown.visible);
    // Left edges line up unless the window stands right of the middle; then the
    // right edges do. It goes below unless the window stands below the middle.
    EXPECT_EQ(shown.rect.left, c.rightOfHalf ? f.right - mw : f.left);
    EXPECT_EQ(shown.rect.top, c.belowHalf ? f.top - mh : f.bottom);
    EXPECT_EQ(shown.rect.right - shown.rect.left, mw);  // size kept
    EXPECT_FALSE(float_->m_bMainHidden);

    HeadlessMouse(Float(), MOUSE_LDBLCLK, POINT{f.left + 50, f.top + 60});
    EXPECT_FALSE(HeadlessGetWindow(main_.m_hWnd).visible);
    EXPECT_TRUE(float_->m_bMainHidden);
  }
}

TEST_F(SuspendTest, MainWindowShownElsewhereIsPlacedAgainBeforeItHides) {
  // The tray icon shows the main window; the floating window's record still says
  // hidden, so the next double click places and shows it, and only the one after
  // that hides it.
  main_.ShowWindow(SW_SHOWNORMAL);
  main_.SetWindowPos(nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT f = Rect(Float());
  const RECT m = Rect(main_.m_hWnd);

  HeadlessMouse(Float(), MOUSE_LDBLCLK, POINT{f.left + 50, f.top + 60});
  HeadlessWindowInfo info = HeadlessGetWindow(main_.m_hWnd);
  EXPECT_TRUE(info.visible);
  EXPECT_EQ(info.rect.left, f.right - (m.right - m.left));
  EXPECT_EQ(info.rect.top, f.top - (m.bottom - m.top));

  HeadlessMouse(Float(), MOUSE_LDBLCLK, POINT{f.left + 50, f.top + 60});
  EXPECT_FALSE(HeadlessGetWindow(main_.m_hWnd).visible);
}

TEST_F(SuspendTest, ContextMenuShowsChecksAndToggles) {
  auto openMenu = [&](UINT choice) {
    HeadlessQueuePopupChoice(choice);
    float_->SendMessage(WM_CONTEXTMENU, (WPARAM)Float(), MAKELONG(1200, 900));
    HeadlessPumpMessages();
    const std::vector<HeadlessPopup> popups = HeadlessPopups();
    return popups.empty() ? HeadlessPopup{} : popups.back();
  };
  auto checked = [](const HeadlessPopup &p, UINT id) {
    for (const HeadlessMenuItem &i : p.items)
      if (i.id == id) return i.checked;
    ADD_FAILURE() << "no item " << id;
    return false;
  };

  HeadlessPopup p = openMenu(0);
  ASSERT_EQ(p.items.size(), 3u);
  EXPECT_EQ(p.items[0].text, L"退出");
  EXPECT_EQ(p.items[0].id, (UINT)ID_MENU_EXIT);
  EXPECT_EQ(p.items[1].text, L"警报");
  EXPECT_EQ(p.items[1].id, (UINT)ID_MENU_ALARM);
  EXPECT_EQ(p.items[2].text, L"置顶");
  EXPECT_EQ(p.items[2].id, (UINT)ID_MENU_TOPMOST);
  EXPECT_EQ(p.owner, Float());
  EXPECT_EQ(p.pt.x, 1200);
  EXPECT_EQ(p.pt.y, 900);
  EXPECT_FALSE(checked(p, ID_MENU_ALARM));
  EXPECT_TRUE(checked(p, ID_MENU_TOPMOST));

  openMenu(ID_MENU_ALARM);
  EXPECT_TRUE(float_->m_bAlarm);
  openMenu(ID_MENU_TOPMOST);
  EXPECT_FALSE(float_->m_bTopMost);
  EXPECT_FALSE(HeadlessGetWindow(Float()).topmost);
  p = openMenu(0);
  EXPECT_TRUE(checked(p, ID_MENU_ALARM));
  EXPECT_FALSE(checked(p, ID_MENU_TOPMOST));

  openMenu(ID_MENU_TOPMOST);
  EXPECT_TRUE(HeadlessGetWindow(Float()).topmost);
  openMenu(ID_MENU_ALARM);
  p = openMenu(0);
  EXPECT_FALSE(checked(p, ID_MENU_ALARM));
  EXPECT_TRUE(checked(p, ID_MENU_TOPMOST));
}

TEST_F(SuspendTest, ExitItemEndsTheProcessWithCodeZero) {
  EXPECT_EXIT(float_->SendMessage(WM_COMMAND, ID_MENU_EXIT, 0), testing::ExitedWithCode(0), "");
}

TEST_F(SuspendTest, TimerOneRefreshesLabelsFromRecordWithTheirColours) {
  SetRecord(L"3500.5", L"455.12", L"12345678", L"12,345");
  HeadlessAdvanceClock(4999);
  EXPECT_EQ(Label(IDC_PRICE_A), L"0");
  HeadlessAdvanceClock(1);
  EXPECT_EQ(Label(IDC_PRICE_A), L"3500.5");
  EXPECT_EQ(Label(IDC_PRICE_B), L"455.12");
  EXPECT_EQ(Label(IDC_TOTAL), L"12345678");
  EXPECT_EQ(Label(IDC_HASHRATE), L"12,345");

  SetRecord(L"3600", L"456", L"12345679", L"12,346");
  HeadlessAdvanceClock(5000);
  EXPECT_EQ(Label(IDC_PRICE_A), L"3600");
  EXPECT_EQ(Label(IDC_HASHRATE), L"12,346");

  HeadlessPumpMessages();
  struct Look {
    int id;
    COLORREF colour;
  } looks[] = {{IDC_PRICE_A, 0x0000FF}, {IDC_PRICE_B, 0x00FF00}, {IDC_TOTAL, 0xFF0000}, {IDC_HASHRATE, 0xFF0000}};
  for (const Look &l : looks) {
    const HeadlessControlLook look = HeadlessGetControlLook(float_->GetDlgItem(l.id)->m_hWnd);
    EXPECT_EQ(look.textColor, l.colour) << l.id;
    EXPECT_TRUE(look.transparentText) << l.id;
    EXPECT_TRUE(look.nullBrush) << l.id;
  }
}

TEST_F(SuspendTest, PaintShowsTheSkinBitmap) {
  // The window's pixels are the bitmap's, compared with the bitmap read directly.
  CBitmap bitmap;
  ASSERT_TRUE(bitmap.LoadBitmap(IDB_SUSPEND_SKIN));
  CDC mem;
  ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
  ASSERT_NE(mem.SelectObject(&bitmap), nullptr);
  float_->Invalidate();
  HeadlessPumpMessages();
  for (POINT p : {POINT{2, 2}, POINT{104, 0}, POINT{90, 20}, POINT{10, 30}, POINT{60, 110}})
    EXPECT_EQ(HeadlessWindowPixel(Float(), p.x, p.y), mem.GetPixel(p.x, p.y)) << p.x << "," << p.y;
}

}  // namespace

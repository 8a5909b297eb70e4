// The window layer over the headless backend: message maps and delivery,
// timers on the fake clock, modal runs, templates and controls, menus,
// non-client hit testing and window regions.
#include <gtest/gtest.h>

#include <thread>

#include "platform/window/afxwin.h"
#include "platform/window/headless.h"
#include "tests/platform/window/window_fixture.h"

namespace {

using namespace window_test;

TEST_F(WindowTest, SentMessagesRunAtOncePostedOnesInOrderWhenPumped) {
  Probe dlg;
  ASSERT_TRUE(dlg.Create(IDD_PLAIN));
  EXPECT_EQ(dlg.SendMessage(WM_APP_PING, 1, 2), 42);
  EXPECT_TRUE(dlg.PostMessage(WM_APP_PING, 3, 4));
  EXPECT_TRUE(::PostMessage(dlg.m_hWnd, WM_COMMAND, ID_CMD_A, 0));
  EXPECT_EQ(dlg.log, (Log{"init", "ping1,2"}));
  HeadlessPumpMessages();
  EXPECT_EQ(dlg.log, (Log{"init", "ping1,2", "ping3,4", "cmdA"}));
  // Unmapped commands and messages fall to the default processing.
  EXPECT_EQ(dlg.SendMessage(WM_COMMAND, 49999, 0), 0);
  HWND dead = dlg.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_FALSE(::IsWindow(dead));
  EXPECT_FALSE(::PostMessage(dead, WM_APP_PING, 0, 0));
  EXPECT_EQ(::SendMessage(dead, WM_APP_PING, 0, 0), 0);
}

TEST_F(WindowTest, PostFromAnotherThreadIsDeliveredOnTheUiThread) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  std::thread([&] { ::PostMessage(dlg.m_hWnd, WM_APP_PING, 7, 8); }).join();
  EXPECT_EQ(dlg.log.size(), 1u);
  HeadlessPumpMessages();
  EXPECT_EQ(dlg.log.back(), "ping7,8");
}

TEST_F(WindowTest, TimersFireInDueOrderAndStopWhenKilledOrDestroyed) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  dlg.SetTimer(1, 5000, nullptr);
  dlg.SetTimer(2, 3000, nullptr);
  HeadlessAdvanceClock(10000);
  EXPECT_EQ(dlg.log, (Log{"init", "timer2@3000", "timer1@5000", "timer2@6000", "timer2@9000", "timer1@10000"}));
  dlg.log.clear();
  EXPECT_TRUE(dlg.KillTimer(2));
  EXPECT_FALSE(dlg.KillTimer(2));
  dlg.SetTimer(1, 1000, nullptr);  // restarts with the new period
  EXPECT_EQ(HeadlessTimerPeriod(dlg.m_hWnd, 1), 1000u);
  HeadlessAdvanceClock(2500);
  EXPECT_EQ(dlg.log, (Log{"timer1@11000", "timer1@12000"}));
  HWND h = dlg.m_hWnd;
  dlg.DestroyWindow();
  EXPECT_FALSE(HeadlessTimerPeriod(h, 1).has_value());
  HeadlessAdvanceClock(5000);
  EXPECT_EQ(dlg.log.size(), 2u);
}

TEST_F(WindowTest, ModalRunEndsHiddenAfterTwoHidingPaintsAndCanRunAgain) {
  Probe dlg;
  dlg.hidePaints = 2;
  HWND seen = nullptr;
  HeadlessOnModal([&](CWnd *w) {
    seen = w->m_hWnd;
    EXPECT_FALSE(HeadlessGetWindow(seen).visible);  // shown at creation and at the first idle, hidden both times
    EXPECT_EQ(HeadlessGetWindow(seen).ncPaints, 2);
    static_cast<CDialog *>(w)->EndDialog(7);
  });
  EXPECT_EQ(dlg.DoModal(), 7);
  EXPECT_FALSE(::IsWindow(seen));
  EXPECT_EQ(dlg.m_hWnd, nullptr);
  HeadlessOnModal([&](CWnd *w) {
    EXPECT_TRUE(w->IsWindowVisible());  // the counter is used up: the second run stays visible
    HeadlessRequestClose(w->m_hWnd);    // close request: the dialog's Cancel
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.log, (Log{"init", "init", "sys61536", "cancel"}));  // SC_CLOSE, then Cancel
  EXPECT_EQ(HeadlessStalledModalLoops(), 0);
}

TEST_F(WindowTest, ModalRunWithoutScriptEndsAsStalledAndMissingTemplateFails) {
  Probe dlg;
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(HeadlessStalledModalLoops(), 1);
  Probe missing(9999);
  EXPECT_EQ(missing.DoModal(), -1);
  EXPECT_FALSE(missing.Create(9999));
}

TEST_F(WindowTest, OwnedWindowsOutliveHidingAndDieWithTheirOwner) {
  Probe owner;
  owner.Create(IDD_PLAIN);
  Probe owned(IDD_CHILD);
  ASSERT_TRUE(owned.Create(IDD_CHILD, &owner));
  owned.ShowWindow(SW_SHOW);
  EXPECT_EQ(HeadlessGetWindow(owned.m_hWnd).owner, owner.m_hWnd);
  owner.ShowWindow(SW_HIDE);
  EXPECT_TRUE(owned.IsWindowVisible());
  HWND h = owned.m_hWnd;
  owner.DestroyWindow();
  EXPECT_FALSE(::IsWindow(h));
  EXPECT_EQ(owned.m_hWnd, nullptr);
}

TEST_F(WindowTest, TemplateMapsDialogUnitsAndBuildsTypedControls) {
  Probe dlg(IDD_FORM);
  dlg.Create(IDD_FORM);
  CRect r;
  dlg.GetWindowRect(&r);
  EXPECT_EQ(r, CRect(0, 0, 160 * 6 / 4, 80 * 13 / 8));  // 8-point base units 6 x 13
  CWnd *label = dlg.GetDlgItem(IDC_LABEL);
  ASSERT_NE(label, nullptr);
  EXPECT_NE(dynamic_cast<CStatic *>(label), nullptr);
  EXPECT_NE(dynamic_cast<CEdit *>(dlg.GetDlgItem(IDC_NUMBER)), nullptr);
  EXPECT_NE(dynamic_cast<CButton *>(dlg.GetDlgItem(IDOK)), nullptr);
  EXPECT_EQ(dlg.GetDlgItem(4242), nullptr);
  label->GetWindowRect(&r);
  EXPECT_EQ(r, CRect(33 * 6 / 4, 16 * 13 / 8, 65 * 6 / 4, 24 * 13 / 8));
  CString text;
  label->GetWindowText(text);
  EXPECT_EQ(text, L"0");
  label->SetWindowText(L"3500.5");
  label->GetWindowText(text);
  EXPECT_EQ(text, L"3500.5");
  label->ScreenToClient(&r);
  EXPECT_EQ(r.TopLeft(), CPoint(0, 0));
}

TEST_F(WindowTest, NumberEditRefusesTypedLettersButTakesPastedText) {
  Probe dlg(IDD_FORM);
  dlg.Create(IDD_FORM);
  HWND edit = dlg.GetDlgItem(IDC_NUMBER)->m_hWnd;
  struct Case {
    bool paste;
    const wchar_t *input;
    const wchar_t *expected;
  } cases[] = {{false, L"9000", L"9000"},
               {false, L"90a0", L"9000"},
               {false, L"-1", L"9000"},
               {true, L"abc", L"abc"},
               {false, L"", L""}};
  for (const Case &c : cases) {
    c.paste ? HeadlessPasteText(edit, c.input) : HeadlessTypeText(edit, c.input);
    CString text;
    dlg.GetDlgItemText(IDC_NUMBER, text);
    EXPECT_EQ(text, c.expected) << (c.paste ? "paste " : "type ") << c.input;
  }
}

TEST_F(WindowTest, DialogKeysAndButtonsEndAModalRunButOnlyHideAModelessOne) {
  Probe modeless(IDD_FORM);
  modeless.Create(IDD_FORM);
  modeless.ShowWindow(SW_SHOW);
  HeadlessKey(modeless.m_hWnd, VK_RETURN);
  EXPECT_FALSE(modeless.IsWindowVisible());
  EXPECT_TRUE(::IsWindow(modeless.m_hWnd));
  modeless.ShowWindow(SW_SHOW);
  HeadlessKey(modeless.m_hWnd, VK_ESCAPE);
  EXPECT_EQ(modeless.log, (Log{"init", "ok", "cancel"}));

  Probe modal(IDD_FORM);
  HeadlessOnModal([](CWnd *w) { static_cast<CButton *>(w->GetDlgItem(IDOK))->Click(); });
  EXPECT_EQ(modal.DoModal(), IDOK);
  HeadlessOnModal([](CWnd *w) { HeadlessKey(w->m_hWnd, VK_F4, true); });  // Alt+F4
  EXPECT_EQ(modal.DoModal(), IDCANCEL);
}

TEST_F(WindowTest, PlacementStylesTopMostAndMetrics) {
  HeadlessSetScreen(1920, 1080, RECT{0, 0, 1920, 1040});
  EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN), 1040);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  dlg.SetWindowPos(nullptr, 1800, 900, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  CRect r;
  dlg.GetWindowRect(&r);
  EXPECT_EQ(r, CRect(1800, 900, 1800 + 175, 900 + 93));
  dlg.MoveWindow(0, 0, 105, 118);
  dlg.GetClientRect(&r);
  EXPECT_EQ(r, CRect(0, 0, 105, 118));
  dlg.SetWindowPos(&CWnd::wndTopMost, 5, 5, 1, 1, SWP_NOMOVE | SWP_NOSIZE);
  HeadlessWindowInfo info = HeadlessGetWindow(dlg.m_hWnd);
  EXPECT_TRUE(info.topmost);
  EXPECT_EQ(info.rect.right, 105);
  dlg.SetWindowPos(&CWnd::wndNoTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_FALSE(HeadlessGetWindow(dlg.m_hWnd).topmost);
  EXPECT_TRUE(dlg.ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW));
  EXPECT_EQ(dlg.GetExStyle() & (WS_EX_APPWINDOW | WS_EX_TOOLWINDOW), (DWORD)WS_EX_TOOLWINDOW);
  EXPECT_FALSE(dlg.ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW));  // nothing changed
}

TEST_F(WindowTest, CaptionHitTestStartsADragAndTheRegionCutsClicks) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  dlg.MoveWindow(100, 100, 50, 50);
  HeadlessMouse(dlg.m_hWnd, MOUSE_LDOWN, POINT{110, 120});
  EXPECT_EQ(dlg.log.back(), "ldown10,20");  // client coordinates
  EXPECT_TRUE(HeadlessDragsStarted().empty());
  dlg.hit = HTCAPTION;
  HeadlessMouse(dlg.m_hWnd, MOUSE_LDOWN, POINT{110, 120});
  EXPECT_EQ(HeadlessDragsStarted(), std::vector<HWND>{dlg.m_hWnd});
  dlg.hit = -100;
  // A region without the pixel (0,0): the default hit test misses there.
  HRGN rgn = CreateRectRgn(0, 0, 50, 50);
  HRGN hole = CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(CombineRgn(rgn, rgn, hole, RGN_XOR), COMPLEXREGION);
  DeleteObject(hole);
  dlg.SetWindowRgn(rgn, TRUE);
  EXPECT_EQ(dlg.SendMessage(WM_NCHITTEST, 0, MAKELONG(100, 100)), HTNOWHERE);
  EXPECT_EQ(dlg.SendMessage(WM_NCHITTEST, 0, MAKELONG(101, 100)), HTCLIENT);
  EXPECT_EQ(dlg.SendMessage(WM_NCHITTEST, 0, MAKELONG(150, 100)), HTNOWHERE);
  CRgn copy;
  copy.CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(dlg.GetWindowRgn(copy), ERROR);
  EXPECT_FALSE(copy.PtInRegion(0, 0));
  EXPECT_TRUE(copy.PtInRegion(49, 49));
}

TEST_F(WindowTest, RightClickOpensTheContextMenuAndTheChoiceArrivesAsCommand) {
  Probe dlg;
  dlg.updateChecks = true;
  dlg.Create(IDD_PLAIN);
  dlg.MoveWindow(10, 10, 100, 100);
  HeadlessQueuePopupChoice(ID_CMD_A);
  HeadlessMouse(dlg.m_hWnd, MOUSE_RDOWN, POINT{20, 30});
  HeadlessMouse(dlg.m_hWnd, MOUSE_RUP, POINT{20, 30});
  HeadlessPumpMessages();
  EXPECT_EQ(dlg.log, (Log{"init", "context20,30", "initpopup", "cmdA"}));
  auto popups = HeadlessPopups();
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_EQ(popups[0].pt.x, 20);
  ASSERT_EQ(popups[0].items.size(), 3u);
  EXPECT_TRUE(popups[0].items[1].separator);
  EXPECT_FALSE(popups[0].items[0].checked);
  EXPECT_TRUE(popups[0].items[2].checked);  // set by the update handler before showing
  // Dismissed: no command.
  HeadlessMouse(dlg.m_hWnd, MOUSE_RUP, POINT{20, 30});
  HeadlessPumpMessages();
  EXPECT_EQ(dlg.log.back(), "initpopup");
}

TEST_F(WindowTest, MenuOperationsReportTheirResults) {
  CMenu menu;
  EXPECT_FALSE(menu.LoadMenu(4242));
  ASSERT_TRUE(menu.LoadMenu(IDM_POPUP));
  CMenu *popup = menu.GetSubMenu(0);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(menu.GetSubMenu(1), nullptr);
  EXPECT_EQ(popup->GetMenuItemCount(), 3);
  EXPECT_EQ(popup->GetMenuItemID(0), ID_CMD_A);
  EXPECT_EQ(popup->GetMenuItemID(1), 0u);
  EXPECT_EQ(menu.GetMenuItemID(0), (UINT)-1);
  EXPECT_EQ(menu.CheckMenuItem(ID_CMD_B, MF_CHECKED), (UINT)MF_UNCHECKED);  // found inside the popup
  EXPECT_EQ(popup->CheckMenuItem(ID_CMD_B, MF_UNCHECKED), (UINT)MF_CHECKED);
  EXPECT_EQ(popup->CheckMenuItem(4242, MF_CHECKED), (UINT)-1);
  EXPECT_TRUE(popup->SetDefaultItem(0, TRUE));
  EXPECT_TRUE(HeadlessMenuItems(popup->m_hMenu)[0].isDefault);
  CString s;
  popup->GetMenuString(ID_CMD_B, s, MF_BYCOMMAND);
  EXPECT_EQ(s, L"B");
  HMENU sub = popup->m_hMenu;
  menu.DestroyMenu();
  EXPECT_FALSE(IsMenu(sub));
  EXPECT_EQ(CMenu::FromHandle(sub), nullptr);
}

TEST_F(WindowTest, SystemMenuTakesAppendedItemsAndItsKeysSendTheChoice) {
  Probe plain;
  plain.Create(IDD_PLAIN);
  CMenu *sys = plain.GetSystemMenu(FALSE);
  ASSERT_NE(sys, nullptr);
  sys->AppendMenu(MF_SEPARATOR);
  sys->AppendMenu(MF_STRING, 0x10, L"关于(&A)...");
  auto items = HeadlessMenuItems(sys->m_hMenu);
  ASSERT_GE(items.size(), 2u);
  EXPECT_TRUE(items[items.size() - 2].separator);
  EXPECT_EQ(items.back().text, L"关于(&A)...");
  // Alt+Space, and the context-menu keys that window managers leave to the
  // program: Shift+F10 and the Menu key. F10 alone opens nothing.
  struct Key {
    UINT vk;
    bool alt, shift;
  } keys[] = {{VK_SPACE, true, false}, {VK_F10, false, true}, {VK_APPS, false, false}};
  for (const Key &k : keys) {
    SCOPED_TRACE(k.vk);
    plain.log.clear();
    const size_t popups = HeadlessPopups().size();
    HeadlessQueuePopupChoice(0x10);
    HeadlessKey(plain.m_hWnd, k.vk, k.alt, k.shift);
    HeadlessPumpMessages();
    EXPECT_EQ(plain.log, (Log{"sys61696", "initsys", "sys16"}));  // SC_KEYMENU, then the item
    ASSERT_EQ(HeadlessPopups().size(), popups + 1);
    EXPECT_EQ(HeadlessPopups().back().items.back().text, L"关于(&A)...");
  }
  plain.log.clear();
  HeadlessKey(plain.m_hWnd, VK_F10);
  HeadlessPumpMessages();
  EXPECT_EQ(plain.log, Log{});
  Probe noSysMenu(IDD_CHILD);
  noSysMenu.Create(IDD_CHILD);
  EXPECT_EQ(noSysMenu.GetSystemMenu(FALSE), nullptr);
  const size_t popups = HeadlessPopups().size();
  HeadlessKey(noSysMenu.m_hWnd, VK_F10, false, true);
  EXPECT_EQ(HeadlessPopups().size(), popups);
}

TEST_F(WindowTest, ControlColoursComeFromTheParentsCtlColorAnswer) {
  Probe dlg(IDD_FORM);
  dlg.Create(IDD_FORM);
  HeadlessControlLook label = HeadlessGetControlLook(dlg.GetDlgItem(IDC_LABEL)->m_hWnd);
  EXPECT_EQ(label.textColor, RGB(255, 0, 0));
  EXPECT_TRUE(label.transparentText);
  EXPECT_TRUE(label.nullBrush);
  HeadlessControlLook edit = HeadlessGetControlLook(dlg.GetDlgItem(IDC_NUMBER)->m_hWnd);
  EXPECT_EQ(edit.textColor, RGB(0, 0, 0));
  EXPECT_FALSE(edit.nullBrush);
}

TEST_F(WindowTest, CursorAndForegroundFollowTheCalls) {
  HCURSOR hand = LoadCursor(nullptr, IDC_HAND);
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(hand, LoadCursor(nullptr, IDC_HAND));
  SetCursor(hand);
  EXPECT_EQ(HeadlessCurrentCursor(), hand);
  HeadlessSetCursorPos(640, 480);
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 640);
  EXPECT_EQ(p.y, 480);
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  EXPECT_EQ(GetForegroundWindow(), nullptr);
  dlg.SetForegroundWindow();
  EXPECT_EQ(GetForegroundWindow(), dlg.m_hWnd);
}

}  // namespace

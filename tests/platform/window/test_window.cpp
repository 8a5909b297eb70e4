// The window layer over the headless backend: message maps and delivery,
// timers on the fake clock, modal runs, templates and controls, menus,
// non-client hit testing, regions and painting, message boxes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/window/afxwin.h"
#include "platform/window/headless.h"

namespace {

enum : UINT { IDD_PLAIN = 500, IDD_FORM = 501, IDD_CHILD = 502, IDM_POPUP = 600, IDB_SKIN = 700 };
enum : UINT { ID_CMD_A = 40001, ID_CMD_B = 40002, IDC_LABEL = 1001, IDC_NUMBER = 1002 };
const UINT WM_APP_PING = WM_USER + 10;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HeadlessReset();
    UnregisterAllResources();
    RegisterDialogTemplate({IDD_PLAIN, 100, 50, WS_POPUP | WS_SYSMENU | WS_VISIBLE, WS_EX_APPWINDOW, L"plain", 9, {}});
    RegisterDialogTemplate({IDD_CHILD, 40, 40, WS_POPUP, 0, L"owned", 8, {}});
    RegisterDialogTemplate({IDD_FORM,
                            160,
                            80,
                            WS_POPUP | WS_SYSMENU,
                            0,
                            L"form",
                            8,
                            {{IDC_LABEL, DLGITEM_STATIC, L"0", 33, 16, 32, 8, SS_LEFT | WS_VISIBLE},
                             {IDC_NUMBER, DLGITEM_EDIT, L"", 31, 27, 32, 12, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP},
                             {IDOK, DLGITEM_BUTTON, L"确定", 100, 60, 50, 14, BS_DEFPUSHBUTTON},
                             {IDCANCEL, DLGITEM_BUTTON, L"取消", 40, 60, 50, 14, 0}}});
    RegisterMenuResource(IDM_POPUP,
                         {MenuPopup(L"右键", {MenuItem(L"A", ID_CMD_A), MenuSeparator(), MenuItem(L"B", ID_CMD_B)})});
  }
};

// A dialog recording what reaches its handlers.
class Probe : public CDialog {
 public:
  explicit Probe(UINT id = IDD_PLAIN, CWnd *parent = nullptr) : CDialog(id, parent) {}
  std::vector<std::string> log;
  int hidePaints = 0;
  LRESULT hit = -100;
  bool updateChecks = false;
  BOOL OnInitDialog() override {
    log.push_back("init");
    return CDialog::OnInitDialog();
  }
  void OnOK() override {
    log.push_back("ok");
    CDialog::OnOK();
  }
  void OnCancel() override {
    log.push_back("cancel");
    CDialog::OnCancel();
  }

 protected:
  void OnTimer(UINT_PTR id) {
    log.push_back("timer" + std::to_string(id) + "@" + std::to_string(HeadlessNow()));
    CDialog::OnTimer(id);
  }
  void OnNcPaint() {
    if (hidePaints > 0) {
      --hidePaints;
      ShowWindow(SW_HIDE);
      return;
    }
    CDialog::OnNcPaint();
  }
  LRESULT OnNcHitTest(CPoint p) {
    LRESULT base = CDialog::OnNcHitTest(p);
    return hit == -100 ? base : hit;
  }
  void OnLButtonDown(UINT, CPoint p) { log.push_back("ldown" + std::to_string(p.x) + "," + std::to_string(p.y)); }
  void OnContextMenu(CWnd *, CPoint p) {
    log.push_back("context" + std::to_string(p.x) + "," + std::to_string(p.y));
    CMenu menu;
    menu.LoadMenu(IDM_POPUP);
    menu.GetSubMenu(0)->TrackPopupMenu(TPM_LEFTALIGN, p.x, p.y, this);
  }
  void OnInitMenuPopup(CMenu *popup, UINT, BOOL sys) {
    log.push_back(sys ? "initsys" : "initpopup");
    if (!updateChecks || sys) return;
    CCmdUI ui;
    ui.m_pMenu = popup;
    ui.m_nIndexMax = (UINT)popup->GetMenuItemCount();
    for (ui.m_nIndex = 0; ui.m_nIndex < ui.m_nIndexMax; ++ui.m_nIndex) {
      ui.m_nID = popup->GetMenuItemID((int)ui.m_nIndex);
      ui.DoUpdate(this, FALSE);
    }
  }
  void OnSysCommand(UINT id, LPARAM l) {
    log.push_back("sys" + std::to_string(id));
    CDialog::OnSysCommand(id, l);
  }
  void OnCmdA() { log.push_back("cmdA"); }
  void OnUpdateCmdB(CCmdUI *ui) { ui->SetCheck(1); }
  LRESULT OnPing(WPARAM w, LPARAM l) {
    log.push_back("ping" + std::to_string(w) + "," + std::to_string(l));
    return 42;
  }
  HBRUSH OnCtlColor(CDC *dc, CWnd *w, UINT kind) {
    HBRUSH b = CDialog::OnCtlColor(dc, w, kind);
    if (w->GetDlgCtrlID() == IDC_LABEL) {
      dc->SetBkMode(TRANSPARENT);
      dc->SetTextColor(RGB(255, 0, 0));
      return (HBRUSH)GetStockObject(NULL_BRUSH);
    }
    return b;
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, CDialog)
ON_WM_TIMER()
ON_WM_NCPAINT()
ON_WM_NCHITTEST()
ON_WM_LBUTTONDOWN()
ON_WM_CONTEXTMENU()
ON_WM_INITMENUPOPUP()
ON_WM_SYSCOMMAND()
ON_WM_CTLCOLOR()
ON_COMMAND(ID_CMD_A, OnCmdA)
ON_UPDATE_COMMAND_UI(ID_CMD_B, OnUpdateCmdB)
ON_MESSAGE(WM_APP_PING, OnPing)
END_MESSAGE_MAP()

using Log = std::vector<std::string>;

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

TEST_F(WindowTest, TimersKeepFiringWhileAMessageBoxIsOpen) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  dlg.SetTimer(2, 5000, nullptr);
  HeadlessSetMessageBoxHandler([&](const HeadlessMessageBox &) {
    HeadlessAdvanceClock(12000);  // the user waits twelve seconds
    return IDOK;
  });
  EXPECT_EQ(AfxMessageBox(L"alarm"), IDOK);
  EXPECT_EQ(dlg.log, (Log{"init", "timer2@5000", "timer2@10000"}));
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

TEST_F(WindowTest, SystemMenuTakesAppendedItemsAndAltSpaceSendsTheChoice) {
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
  HeadlessQueuePopupChoice(0x10);
  HeadlessKey(plain.m_hWnd, VK_SPACE, true);
  HeadlessPumpMessages();
  EXPECT_EQ(plain.log, (Log{"init", "sys61696", "initsys", "sys16"}));  // SC_KEYMENU, then the item
  Probe noSysMenu(IDD_CHILD);
  noSysMenu.Create(IDD_CHILD);
  EXPECT_EQ(noSysMenu.GetSystemMenu(FALSE), nullptr);
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

TEST_F(WindowTest, MessageBoxesAreRecordedAndAnsweredFromTheScript) {
  Probe dlg;
  dlg.Create(IDD_PLAIN);
  RegisterStringResource(AFX_IDS_APP_TITLE, L"Tickora");
  HeadlessQueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(::MessageBoxW(dlg.m_hWnd, L"q?", L"提示", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(::MessageBoxW(nullptr, L"y?", nullptr, MB_YESNO), IDYES);  // no answer queued: first button
  EXPECT_EQ(dlg.MessageBox(L"加载位图失败！"), IDOK);
  int fromThread = 0;
  std::thread([&] { fromThread = AfxMessageBox(L"worker"); }).join();
  EXPECT_EQ(fromThread, IDOK);
  auto boxes = HeadlessMessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].owner, dlg.m_hWnd);
  EXPECT_EQ(boxes[0].caption, L"提示");
  EXPECT_EQ(boxes[1].caption, L"错误");
  EXPECT_EQ(boxes[2].caption, L"Tickora");
  EXPECT_EQ(boxes[2].text, L"加载位图失败！");
  EXPECT_EQ(boxes[3].type, (UINT)MB_OK);
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

// A 24-bit bottom-up BMP file.
void WriteBmp(const std::string &path, int w, int h, const std::function<COLORREF(int, int)> &pixel) {
  int stride = (w * 3 + 3) / 4 * 4;
  std::vector<unsigned char> data(54 + (size_t)stride * h, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + i] = (unsigned char)(v >> (8 * i));
  };
  data[0] = 'B', data[1] = 'M';
  put32(2, (uint32_t)data.size());
  put32(10, 54);
  put32(14, 40);
  put32(18, (uint32_t)w);
  put32(22, (uint32_t)h);
  data[26] = 1, data[28] = 24;
  put32(34, (uint32_t)(stride * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      COLORREF c = pixel(x, y);
      size_t at = 54 + (size_t)(h - 1 - y) * stride + (size_t)x * 3;
      data[at] = GetBValue(c), data[at + 1] = GetGValue(c), data[at + 2] = GetRValue(c);
    }
  std::ofstream(path, std::ios::binary).write((const char *)data.data(), (std::streamsize)data.size());
}

// Paints the skin stretched over the window.
class Skinned : public CDialog {
 public:
  Skinned() : CDialog(IDD_PLAIN) {}

 protected:
  void OnPaint() {
    CPaintDC dc(this);
    CRect r;
    GetWindowRect(&r);
    CDC mem;
    mem.CreateCompatibleDC(&dc);
    CBitmap bmp;
    bmp.LoadBitmap(IDB_SKIN);
    CBitmap *old = mem.SelectObject(&bmp);
    BITMAP bm;
    bmp.GetBitmap(&bm);
    dc.StretchBlt(0, 0, r.Width(), r.Height(), &mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    mem.SelectObject(old);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Skinned, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

TEST_F(WindowTest, BitmapsLoadFromFilesAndPaintIntoTheWindow) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tickora_gdi_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  WriteBmp((dir / "skin.bmp").string(), 4, 2,
           [](int x, int y) { return x == 0 && y == 0 ? RGB(0, 0, 0) : RGB(10 * x, 20 * y, 200); });
  SetResourceFolder(dir.wstring());
  RegisterBitmapResource(IDB_SKIN, L"skin.bmp");
  RegisterBitmapResource(IDB_SKIN + 1, L"missing.bmp");

  CBitmap missing;
  EXPECT_FALSE(missing.LoadBitmap(IDB_SKIN + 1));
  EXPECT_FALSE(missing.LoadBitmap(4242));
  CDC mem;
  ASSERT_TRUE(mem.CreateCompatibleDC(nullptr));
  EXPECT_EQ(mem.SelectObject(&missing), nullptr);  // a bitmap never loaded cannot be selected
  BITMAP bm{};
  EXPECT_EQ(missing.GetBitmap(&bm), 0);

  CBitmap bmp;
  ASSERT_TRUE(bmp.LoadBitmap(IDB_SKIN));
  ASSERT_TRUE(bmp.GetBitmap(&bm));
  EXPECT_EQ(bm.bmWidth, 4);
  EXPECT_EQ(bm.bmHeight, 2);
  CBitmap *old = mem.SelectObject(&bmp);
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(mem.GetPixel(0, 0), RGB(0, 0, 0));
  EXPECT_EQ(mem.GetPixel(3, 1), RGB(30, 20, 200));
  EXPECT_EQ(mem.GetPixel(4, 0), CLR_INVALID);
  mem.SelectObject(old);

  Skinned wnd;
  wnd.Create(IDD_PLAIN);
  wnd.MoveWindow(0, 0, 8, 4);
  wnd.ShowWindow(SW_SHOW);
  HeadlessPumpMessages();
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 7, 3), RGB(30, 20, 200));  // stretched twice in each direction
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 1, 1), RGB(0, 0, 0));
  EXPECT_EQ(HeadlessWindowPixel(wnd.m_hWnd, 2, 0), RGB(10, 0, 200));
  std::filesystem::remove_all(dir);
}

}  // namespace

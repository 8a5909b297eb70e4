#include "client/suspenddlg.h"

#include <cstdlib>

#include "client/pricecompare.h"
#include "client/quoteworker.h"
#include "client/resources.h"
#include "client/setdlg.h"
#include "client/skin.h"
#include "platform/text/debug.h"
#include "platform/window/sound.h"
#include "utils/myfun.h"

namespace {

// Label colours on the bitmap: price A red, price B green, the others blue.
constexpr COLORREF kPriceAColour = RGB(255, 0, 0);
constexpr COLORREF kPriceBColour = RGB(0, 255, 0);
constexpr COLORREF kFigureColour = RGB(0, 0, 255);

// The alarm sound lies among the program's resources: next to the program in
// the build folder, in the installed resource folder once installed.
CString AlarmSoundPath() { return ResourceFilePath(L"air.WAV"); }

}  // namespace

CSUSPENDDLG::CSUSPENDDLG(CWnd *pParent)
    : CDialog(IDD_SUSPEND_DIALOG, pParent), m_pSetDlg(nullptr), m_bTopMost(TRUE), m_bAlarm(FALSE), m_bMainHidden(TRUE) {
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

CSUSPENDDLG::~CSUSPENDDLG() { delete m_pSetDlg; }

void CSUSPENDDLG::DoDataExchange(CDataExchange *pDX) { CDialog::DoDataExchange(pDX); }

BEGIN_MESSAGE_MAP(CSUSPENDDLG, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_LBUTTONDBLCLK()
ON_WM_LBUTTONDOWN()
ON_WM_SETCURSOR()
ON_WM_CTLCOLOR()
ON_WM_CONTEXTMENU()
ON_WM_INITMENUPOPUP()
ON_COMMAND(ID_MENU_EXIT, OnMenuExit)
ON_COMMAND(ID_MENU_ALARM, OnMenuAlarm)
ON_UPDATE_COMMAND_UI(ID_MENU_ALARM, OnUpdateMenuAlarm)
ON_COMMAND(ID_MENU_TOPMOST, OnMenuTopMost)
ON_UPDATE_COMMAND_UI(ID_MENU_TOPMOST, OnUpdateMenuTopMost)
ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CSUSPENDDLG::OnInitDialog() {
  CDialog::OnInitDialog();
  m_bTopMost = TRUE;
  m_bAlarm = FALSE;
  m_bMainHidden = TRUE;
  SetWindowPos(&wndTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);

  delete m_pSetDlg;
  m_pSetDlg = new CSetDlg();
  m_pSetDlg->Create(IDD_SET_DIALOG, this);

  SetTimer(kRefreshTimer, kTimerPeriod, nullptr);
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  CDC *pDC = GetDC();
  SetWindowSkin(this, pDC, IDB_SUSPEND_SKIN, RGB(0, 0, 0));
  ReleaseDC(pDC);
  return TRUE;
}

void CSUSPENDDLG::PlaceAtBottomRight() {
  CRect rc;
  GetWindowRect(&rc);
  SetWindowPos(nullptr, GetSystemMetrics(SM_CXFULLSCREEN) - rc.Width(), GetSystemMetrics(SM_CYFULLSCREEN) - rc.Height(),
               0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CSUSPENDDLG::OnPaint() { PaintWindowSkin(this, IDB_SUSPEND_SKIN); }

HCURSOR CSUSPENDDLG::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

bool CSUSPENDDLG::CursorInHotCorner() const {
  CRect rc;
  GetWindowRect(&rc);
  CPoint pt;
  GetCursorPos(&pt);
  return rc.right - pt.x < 30 && pt.y - rc.top < 30;
}

void CSUSPENDDLG::OnLButtonDown(UINT nFlags, CPoint point) {
  CDialog::OnLButtonDown(nFlags, point);
  if (CursorInHotCorner() && m_pSetDlg) {
    CRect rc;
    GetWindowRect(&rc);
    m_pSetDlg->SetWindowPos(nullptr, rc.left - 100, rc.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_pSetDlg->ShowWindow(SW_SHOW);
  }
  // Every press also drags the window.
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELONG(point.x, point.y));
}

void CSUSPENDDLG::OnLButtonDblClk(UINT nFlags, CPoint point) {
  CWnd *pMain = GetOwner();
  if (pMain) {
    if (m_bMainHidden) {
      m_bMainHidden = FALSE;
      // The main window goes right of or left of this one's edge, below or above it,
      // towards the larger part of the screen.
      const int cx = GetSystemMetrics(SM_CXFULLSCREEN) / 2;
      const int cy = GetSystemMetrics(SM_CYFULLSCREEN) / 2;
      CRect f, m;
      GetWindowRect(&f);
      pMain->GetWindowRect(&m);
      const int x = cx > f.right ? f.left : f.right - m.Width();
      const int y = cy > f.top ? f.bottom : f.top - m.Height();
      pMain->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      pMain->ShowWindow(SW_SHOW);
    } else {
      m_bMainHidden = TRUE;
      pMain->ShowWindow(SW_HIDE);
    }
  }
  CDialog::OnLButtonDblClk(nFlags, point);
}

BOOL CSUSPENDDLG::OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message) {
  if (CursorInHotCorner()) {
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    return TRUE;
  }
  return CDialog::OnSetCursor(pWnd, nHitTest, message);
}

HBRUSH CSUSPENDDLG::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor) {
  CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
  COLORREF colour;
  switch (pWnd ? pWnd->GetDlgCtrlID() : 0) {
    case IDC_PRICE_A:
      colour = kPriceAColour;
      break;
    case IDC_PRICE_B:
      colour = kPriceBColour;
      break;
    case IDC_TOTAL:
    case IDC_HASHRATE:
      colour = kFigureColour;
      break;
    default:
      colour = CLR_INVALID;
      break;
  }
  if (colour != CLR_INVALID) {
    pDC->SetBkMode(TRANSPARENT);
    pDC->SetTextColor(colour);
  }
  // Nothing is filled behind the window or its controls: the bitmap shows through.
  return reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
}

void CSUSPENDDLG::OnContextMenu(CWnd *, CPoint point) {
  CMenu menu;
  VERIFY(menu.LoadMenu(IDR_MENU_FLOAT));
  CMenu *pPopup = menu.GetSubMenu(0);
  ASSERT(pPopup != nullptr);
  if (pPopup) pPopup->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, point.x, point.y, this);
}

void CSUSPENDDLG::OnInitMenuPopup(CMenu *pPopupMenu, UINT nIndex, BOOL bSysMenu) {
  CDialog::OnInitMenuPopup(pPopupMenu, nIndex, bSysMenu);
  if (!pPopupMenu) return;

  // Runs each item's update handler before the popup opens, as frame windows do.
  CCmdUI state;
  state.m_pMenu = pPopupMenu;
  state.m_nIndexMax = static_cast<UINT>(pPopupMenu->GetMenuItemCount());
  for (state.m_nIndex = 0; state.m_nIndex < state.m_nIndexMax; ++state.m_nIndex) {
    state.m_nID = pPopupMenu->GetMenuItemID(static_cast<int>(state.m_nIndex));
    if (state.m_nID == 0) continue;  // separator
    if (state.m_nID == static_cast<UINT>(-1)) {
      // A sub-menu is updated through its first item.
      state.m_pSubMenu = pPopupMenu->GetSubMenu(static_cast<int>(state.m_nIndex));
      if (!state.m_pSubMenu) continue;
      state.m_nID = state.m_pSubMenu->GetMenuItemID(0);
      if (state.m_nID == 0 || state.m_nID == static_cast<UINT>(-1)) continue;
      state.DoUpdate(this, TRUE);
    } else {
      state.m_pSubMenu = nullptr;
      state.DoUpdate(this, FALSE);
    }
    // An update handler may have removed or added items: step back over removed
    // ones and past the item just updated.
    const UINT count = static_cast<UINT>(pPopupMenu->GetMenuItemCount());
    if (count < state.m_nIndexMax) {
      state.m_nIndex -= state.m_nIndexMax - count;
      while (state.m_nIndex < count && pPopupMenu->GetMenuItemID(static_cast<int>(state.m_nIndex)) == state.m_nID)
        ++state.m_nIndex;
    }
    state.m_nIndexMax = count;
  }
}

void CSUSPENDDLG::OnMenuExit() { exit(0); }

void CSUSPENDDLG::OnMenuAlarm() {
  if (m_bAlarm) {
    m_bAlarm = FALSE;
    PlaySoundW(nullptr, nullptr, SND_FILENAME);
  } else {
    m_bAlarm = TRUE;
  }
}

void CSUSPENDDLG::OnUpdateMenuAlarm(CCmdUI *pCmdUI) { pCmdUI->SetCheck(m_bAlarm); }

void CSUSPENDDLG::OnMenuTopMost() {
  m_bTopMost = !m_bTopMost;
  SetWindowPos(m_bTopMost ? &wndTopMost : &wndNoTopMost, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void CSUSPENDDLG::OnUpdateMenuTopMost(CCmdUI *pCmdUI) { pCmdUI->SetCheck(m_bTopMost); }

void CSUSPENDDLG::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kRefreshTimer)
    RefreshQuotes();
  else if (nIDEvent == kReplayTimer)
    PlaySoundW(AlarmSoundPath(), nullptr, SND_ASYNC);
  CDialog::OnTimer(nIDEvent);
}

void CSUSPENDDLG::SetLabel(int nID, const CString &text) {
  CWnd *pLabel = GetDlgItem(nID);
  if (!pLabel) return;
  pLabel->SetWindowText(text);
  // The text has no background of its own: repaint the bitmap behind it.
  CRect rc;
  pLabel->GetWindowRect(&rc);
  ScreenToClient(&rc);
  InvalidateRect(&rc, TRUE);
}

void CSUSPENDDLG::RefreshQuotes() {
  const QuoteRecord record = CopyQuoteRecord();
  SetLabel(IDC_PRICE_A, record.m_strPriceA);
  SetLabel(IDC_PRICE_B, record.m_strPriceB);
  SetLabel(IDC_TOTAL, record.m_strTotal);
  SetLabel(IDC_HASHRATE, record.m_strHashRate);

  if (!m_bAlarm || !m_pSetDlg) return;
  CString thresholdA, thresholdB;
  m_pSetDlg->GetDlgItemText(IDC_ALARM_A, thresholdA);
  m_pSetDlg->GetDlgItemText(IDC_ALARM_B, thresholdB);
  // Each check reads the price as the record holds it then: the first alarm's
  // message may stay open while new quotes arrive.
  if (PriceAboveThreshold(CopyQuoteRecord().m_strPriceA, thresholdA)) SoundAlarm();
  if (PriceAboveThreshold(CopyQuoteRecord().m_strPriceB, thresholdB)) SoundAlarm();
}

void CSUSPENDDLG::SoundAlarm() {
  PlaySoundW(AlarmSoundPath(), nullptr, SND_ASYNC);
  SetTimer(kReplayTimer, kTimerPeriod, nullptr);
  KillTimer(kRefreshTimer);
  AfxMessageBox(kAlarmMessage, MB_OK);
  KillTimer(kReplayTimer);
  SetTimer(kRefreshTimer, kTimerPeriod, nullptr);
}

void RegisterSuspendResources() {
  const DWORD kPopup = WS_POPUP | WS_SYSMENU | DS_SETFONT;
  const DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT;
  const DWORD kEdit = WS_CHILD | WS_VISIBLE | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP;

  RegisterDialogTemplate({IDD_SUSPEND_DIALOG,
                          146,
                          183,
                          kPopup,
                          0,
                          nullptr,
                          8,
                          {
                              {IDC_PRICE_A, DLGITEM_STATIC, L"0", 33, 16, 32, 8, kLabel},
                              {IDC_PRICE_B, DLGITEM_STATIC, L"0", 33, 29, 32, 8, kLabel},
                              {IDC_TOTAL, DLGITEM_STATIC, L"0", 33, 42, 32, 8, kLabel},
                              {IDC_HASHRATE, DLGITEM_STATIC, L"0", 33, 55, 32, 8, kLabel},
                          }});
  RegisterDialogTemplate(
      {IDD_SET_DIALOG,
       316,
       183,
       kPopup,
       0,
       nullptr,
       8,
       {
           {IDC_ALARM_A, DLGITEM_EDIT, L"", 31, 27, 32, 12, kEdit},
           {IDCANCEL, DLGITEM_BUTTON, L"取消", 259, 162, 50, 14, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | WS_TABSTOP},
           {IDC_ALARM_B, DLGITEM_EDIT, L"", 31, 48, 32, 12, kEdit},
       }});
  RegisterMenuResource(IDR_MENU_FLOAT, {MenuPopup(L"右键", {
                                                               MenuItem(L"退出", ID_MENU_EXIT),
                                                               MenuItem(L"警报", ID_MENU_ALARM),
                                                               MenuItem(L"置顶", ID_MENU_TOPMOST),
                                                           })});
  RegisterBitmapResource(IDB_SUSPEND_SKIN, L"suspend_skin.bmp");
  RegisterBitmapResource(IDB_SET_SKIN, L"set_skin.bmp");
}

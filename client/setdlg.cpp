#include "client/setdlg.h"

#include "client/skin.h"

CSetDlg::CSetDlg(CWnd *pParent) : CDialog(IDD_SUSPEND_DIALOG, pParent) {
  // The floating window then creates the panel from its own template, 137.
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
}

CSetDlg::~CSetDlg() = default;

void CSetDlg::DoDataExchange(CDataExchange *pDX) { CDialog::DoDataExchange(pDX); }

BEGIN_MESSAGE_MAP(CSetDlg, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_LBUTTONDOWN()
ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

BOOL CSetDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // The edits lie on the bitmap's two entry lines.
  CRect rcA(50, 45, 95, 60), rcB(50, 66, 95, 81);
  if (CWnd *pEdit = GetDlgItem(IDC_ALARM_A)) pEdit->MoveWindow(&rcA, TRUE);
  if (CWnd *pEdit = GetDlgItem(IDC_ALARM_B)) pEdit->MoveWindow(&rcB, TRUE);

  ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  // The shape comes from the floating window's bitmap, which has the panel's size.
  CDC *pDC = GetDC();
  SetWindowSkin(this, pDC, IDB_SUSPEND_SKIN, RGB(0, 0, 0));
  ReleaseDC(pDC);
  return TRUE;
}

void CSetDlg::OnPaint() { PaintWindowSkin(this, IDB_SET_SKIN); }

HCURSOR CSetDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CSetDlg::OnLButtonDown(UINT nFlags, CPoint point) {
  CRect rcWindow;
  GetWindowRect(&rcWindow);
  CPoint cursor;
  GetCursorPos(&cursor);
  const int dx = rcWindow.right - cursor.x;
  const int dy = rcWindow.bottom - cursor.y;

  CDialog::OnLButtonDown(nFlags, point);
  if (InClearSpot(dx, dy)) {
    SetDlgItemText(IDC_ALARM_A, L"");
    SetDlgItemText(IDC_ALARM_B, L"");
    OnOK();
  }
  if (InCloseSpot(dx, dy)) OnOK();
  // Every press also drags the panel.
  PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELONG(point.x, point.y));
}

HBRUSH CSetDlg::OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor) {
  HBRUSH hbr = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
  const int id = pWnd ? pWnd->GetDlgCtrlID() : 0;
  if (id == IDC_ALARM_A)
    pDC->SetTextColor(RGB(255, 0, 0));
  else if (id == IDC_ALARM_B)
    pDC->SetTextColor(RGB(0, 255, 0));
  return hbr;
}

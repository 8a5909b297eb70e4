// The fixture of the window layer's headless suites: dialog templates, a
// popup menu, and a dialog that records what reaches its handlers. It defines
// that dialog's message map, so one source file per test program includes it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/window/afxwin.h"
#include "platform/window/headless.h"

namespace window_test {

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

}  // namespace window_test

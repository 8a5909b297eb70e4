#include "client/tickoradlg.h"

#include <cstdlib>
#include <vector>

#include "client/aboutdlg.h"
#include "client/suspenddlg.h"
#include "client/tickora.h"
#include "client/tickora_config.h"
#include "platform/system/module.h"
#include "platform/system/threads.h"
#include "platform/text/debug.h"
#include "utils/myfun.h"

int g_nHidePaints = 2;

namespace {

const UINT_PTR kQuoteTimer = 1;
const UINT kQuoteTimerMs = 5000;

void StartWorkerThread(CTickoraDlg *dlg) { AfxBeginThread(QuoteWorkerProc, dlg); }

CTickoraDlg::WorkerStarter g_startWorker = &StartWorkerThread;

// The name of the program's own file, which the autostart value starts.
CString ProgramFileName() {
  wchar_t path[4096];
  const DWORD n = GetModuleFileNameW(nullptr, path, sizeof path / sizeof path[0]);
  CString full(path, n < sizeof path / sizeof path[0] ? static_cast<int>(n) : 0);
  return full.Mid(full.ReverseFind(L'/') + 1);
}

// Floating windows live until the process ends; keeping them here leaves
// them reachable, not leaked.
void KeepForProcessLife(CSUSPENDDLG *dlg) {
  static auto *alive = new std::vector<CSUSPENDDLG *>;
  alive->push_back(dlg);
}

}  // namespace

BEGIN_MESSAGE_MAP(CTickoraDlg, CDHtmlDialog)
ON_WM_SYSCOMMAND()
ON_WM_NCPAINT()
ON_WM_TIMER()
ON_WM_NCHITTEST()
ON_MESSAGE(WM_TRAY_NOTIFY, OnTrayNotification)
ON_COMMAND(ID_MENU_EXIT, OnMenuExit)
END_MESSAGE_MAP()

BEGIN_DHTML_EVENT_MAP(CTickoraDlg)
DHTML_EVENT_ONCLICK(L"ButtonOK", OnButtonOK)
DHTML_EVENT_ONCLICK(L"ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CTickoraDlg::CTickoraDlg(CWnd *pParent) : CDHtmlDialog(IDD_TICKORA_DIALOG, IDR_HTML_TICKORA_DIALOG, pParent) {
  m_hIcon = theApp.LoadIcon(IDR_MAINFRAME);
}

CTickoraDlg::~CTickoraDlg() = default;

void CTickoraDlg::SetWorkerStarter(WorkerStarter starter) { g_startWorker = starter ? starter : &StartWorkerThread; }

void CTickoraDlg::DoDataExchange(CDataExchange *pDX) { CDHtmlDialog::DoDataExchange(pDX); }

BOOL CTickoraDlg::OnInitDialog() {
  CDHtmlDialog::OnInitDialog();

  SetAutoRun(GetAppFilePath(ProgramFileName()));

  ModifyStyleEx(WS_EX_APPWINDOW, WS_EX_TOOLWINDOW);

  CSUSPENDDLG *floating = new CSUSPENDDLG();
  KeepForProcessLife(floating);
  floating->Create(IDD_SUSPEND_DIALOG, this);
  floating->PlaceAtBottomRight();
  floating->ShowWindow(SW_SHOW);

  m_trayIcon.Create(this, WM_TRAY_NOTIFY, L"Tickora", theApp.LoadIcon(IDR_MAINFRAME), IDR_MENU_TRAY);

  SetHostFlags(DOCHOSTUIFLAG_DIALOG | DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO);

  if (CMenu *sysMenu = GetSystemMenu(FALSE)) {
    CString about;
    const BOOL loaded = about.LoadString(IDS_ABOUTBOX);
    ASSERT(loaded);
    (void)loaded;
    if (!about.IsEmpty()) {
      sysMenu->AppendMenu(MF_SEPARATOR);
      sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  g_startWorker(this);
  SetTimer(kQuoteTimer, kQuoteTimerMs, nullptr);
  return TRUE;
}

void CTickoraDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    CDHtmlDialog::OnSysCommand(nID, lParam);
  }
}

void CTickoraDlg::OnNcPaint() {
  if (g_nHidePaints > 0) {
    --g_nHidePaints;
    ShowWindow(SW_HIDE);
  } else {
    CDHtmlDialog::OnNcPaint();
  }
}

void CTickoraDlg::OnTimer(UINT_PTR nIDEvent) {
  if (nIDEvent == kQuoteTimer) {
    // Copied under the quote lock; the page is written outside it.
    for (const auto &[key, value] : m_mapQuotes.Snapshot()) {
      if (key.IsEmpty()) continue;
      BSTR text = value.AllocSysString();
      SetElementText(key, text);
      SysFreeString(text);
    }
  }
  CDHtmlDialog::OnTimer(nIDEvent);
}

LRESULT CTickoraDlg::OnNcHitTest(CPoint point) {
  CRect client;
  GetClientRect(&client);
  ClientToScreen(&client);
  if (client.PtInRect(point)) return HTCAPTION;
  return CDHtmlDialog::OnNcHitTest(point);
}

LRESULT CTickoraDlg::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
  return m_trayIcon.OnTrayNotification(wParam, lParam);
}

void CTickoraDlg::OnMenuExit() { std::exit(0); }

BOOL CTickoraDlg::PreTranslateMessage(MSG *pMsg) {
  if (pMsg->message == WM_RBUTTONDOWN || pMsg->message == WM_RBUTTONDBLCLK) return TRUE;
  return CDHtmlDialog::PreTranslateMessage(pMsg);
}

HRESULT CTickoraDlg::OnButtonOK(IHTMLElement *) {
  ShowWindow(SW_HIDE);
  return S_OK;
}

HRESULT CTickoraDlg::OnButtonCancel(IHTMLElement *) {
  ShowWindow(SW_HIDE);
  return S_OK;
}

void CTickoraDlg::OnDocumentComplete(LPDISPATCH pDisp, LPCTSTR szUrl) {
  CDHtmlDialog::OnDocumentComplete(pDisp, szUrl);
  // The UI thread never waits on the network: the pass runs on a thread of its own.
  if (szUrl && CString(szUrl) == CString(TICKORA_QUOTE_PAGE_URL)) m_pageScrape.Request();
}

// The main window: a dialog whose client area is a browser showing the
// product's page. At its start it writes the autostart value, creates the
// floating quote window it owns, adds the tray icon, starts a quote worker and
// the timer that pushes the quote table into the page; it then hides itself.
#pragma once

#include "client/quoteworker.h"
#include "client/resource.h"
#include "platform/window/dhtml.h"
#include "utils/desktop/trayicon.h"

// How many non-client paints of a main window are still to be turned into
// hiding. Shared by every main window of the process and never reset, so only
// the first modal run's window ends hidden.
extern int g_nHidePaints;

class CTickoraDlg : public CDHtmlDialog {
 public:
  explicit CTickoraDlg(CWnd *pParent = nullptr);
  ~CTickoraDlg() override;

  enum { IDD = IDD_TICKORA_DIALOG, IDH = IDR_HTML_TICKORA_DIALOG };

  // The quote worker's side of the dialog (client/quoteworker_dlg.cpp).
  // ScrapeQuotes runs one pass on the calling thread, so never on the UI thread.
  BOOL FetchPage(const CString &url, CString &text, CString charset);
  void ScrapeQuotes();
  friend UINT QuoteWorkerProc(LPVOID pParam);

  // The tray icon's callback message, forwarded to the icon.
  virtual LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

  // Starts the quote worker for a dialog; by default a thread running
  // QuoteWorkerProc. Tests replace it to keep the network out.
  using WorkerStarter = void (*)(CTickoraDlg *dlg);
  static void SetWorkerStarter(WorkerStarter starter);

 protected:
  void DoDataExchange(CDataExchange *pDX) override;
  BOOL PreTranslateMessage(MSG *pMsg) override;
  BOOL OnInitDialog() override;
  void OnDocumentComplete(LPDISPATCH pDisp, LPCTSTR szUrl) override;

  HRESULT OnButtonOK(IHTMLElement *pElement);
  HRESULT OnButtonCancel(IHTMLElement *pElement);

  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnNcPaint();
  void OnTimer(UINT_PTR nIDEvent);
  LRESULT OnNcHitTest(CPoint point);
  void OnMenuExit();

  HICON m_hIcon;
  CTrayIcon m_trayIcon;

 public:
  // Key text to value text; its keys are the element ids of the page.
  CQuoteTable m_mapQuotes;

 private:
  // The pass that the quote page's loading asks for runs here, off the UI thread.
  CBackgroundScrape m_pageScrape{m_mapQuotes};

 public:
  DECLARE_MESSAGE_MAP()
  DECLARE_DHTML_EVENT_MAP()
};

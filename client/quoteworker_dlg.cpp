// The parts of the quote worker that belong to the main dialog.
#include "client/quoteworker.h"

#include "client/tickora_config.h"
#include "client/tickoradlg.h"
#include "platform/system/threads.h"

BOOL CTickoraDlg::FetchPage(const CString &url, CString &text, CString charset) {
  return FetchQuotePage(url, text, charset);
}

void CTickoraDlg::ScrapeQuotes() { ScrapeQuotesInto(m_mapQuotes); }

UINT QuoteWorkerProc(LPVOID pParam) {
  auto *dlg = static_cast<CTickoraDlg *>(pParam);
  // The dialog lives through the modal run that started this thread; the
  // table's entries stay with this handle after the dialog is gone, so the
  // dialog itself is read only here.
  CQuoteTable table = dlg->m_mapQuotes.Share();
  dlg->Navigate(TICKORA_PRODUCT_URL);
  for (;;) {
    ScrapeQuotesInto(table);
    Sleep(5000);
  }
}

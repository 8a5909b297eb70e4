// The browser dialog: the page, navigation, element texts and events; the
// backend realises the browser itself.
#include "platform/window/dhtml.h"

#include <set>

#include "platform/window/window_internal.h"

using namespace wl;

namespace {
// Dialog objects alive, so a navigation queued by another thread can tell
// whether its dialog still exists when the UI thread gets to it. Touched on
// the UI thread only.
std::set<CDHtmlDialog *> &LiveDialogs() {
  static std::set<CDHtmlDialog *> *live = new std::set<CDHtmlDialog *>;
  return *live;
}
}  // namespace

BEGIN_MESSAGE_MAP(CDHtmlDialog, CDialog)
ON_WM_DESTROY()
END_MESSAGE_MAP()

CDHtmlDialog::CDHtmlDialog() { LiveDialogs().insert(this); }

CDHtmlDialog::CDHtmlDialog(UINT nIDTemplate, UINT nHtmlResID, CWnd *pParentWnd)
    : CDialog(nIDTemplate, pParentWnd), m_nHtmlResID(nHtmlResID) {
  LiveDialogs().insert(this);
}

CDHtmlDialog::~CDHtmlDialog() {
  LiveDialogs().erase(this);
  if (IsLive(m_hWnd)) m_hWnd->browser = nullptr;
}

const DHtmlEventMapEntry *CDHtmlDialog::GetDHtmlEventMap() {
  static const DHtmlEventMapEntry none[] = {{0, nullptr, nullptr}};
  return none;
}

void CDHtmlDialog::OnTemplateCreated() {
  m_hWnd->browser = this;
  CurrentBackend()->BrowserCreate(m_hWnd, this);
  CurrentBackend()->BrowserSetHostFlags(m_hWnd, m_dwHostFlags);
}

void CDHtmlDialog::OnDestroy() {
  if (IsLive(m_hWnd)) m_hWnd->browser = nullptr;
  CDialog::OnDestroy();
}

BOOL CDHtmlDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  if (m_nHtmlResID) LoadFromResource(m_nHtmlResID);
  return TRUE;
}

BOOL CDHtmlDialog::PreTranslateMessage(MSG *) {
  // Keys belong to the page (Enter in the page must not end the dialog).
  return FALSE;
}

void CDHtmlDialog::OnDocumentComplete(LPDISPATCH, LPCTSTR szUrl) { m_strCurrentUrl = szUrl ? szUrl : L""; }

BOOL CDHtmlDialog::LoadFromResource(UINT nRes) {
  std::wstring path = FindHtmlResourcePath(nRes);
  if (path.empty() || !IsLive(m_hWnd)) return FALSE;
  CurrentBackend()->BrowserLoadFile(m_hWnd, path);
  return TRUE;
}

void CDHtmlDialog::Navigate(LPCTSTR lpszURL, DWORD, LPCTSTR, LPCTSTR, LPVOID, DWORD) {
  std::wstring url = lpszURL ? lpszURL : L"";
  // The browser belongs to the UI thread; a navigation asked for elsewhere is
  // carried out there, and the caller does not wait. The dialog's window is
  // looked up there too: it may have been destroyed (or the dialog object
  // with it) by then, and the navigation is dropped.
  AfxRunOnUiThread([this, url] {
    if (!LiveDialogs().count(this)) return;
    HWND h = m_hWnd;
    if (IsLive(h) && h->browser == this) CurrentBackend()->BrowserNavigate(h, url);
  });
}

void CDHtmlDialog::SetElementText(LPCTSTR szElementId, BSTR bstrText) {
  if (!IsLive(m_hWnd) || !szElementId) return;
  CurrentBackend()->BrowserSetElementText(m_hWnd, szElementId, bstrText ? bstrText : L"");
}

void CDHtmlDialog::SetHostFlags(DWORD dwFlags) {
  m_dwHostFlags = dwFlags;
  if (IsLive(m_hWnd)) CurrentBackend()->BrowserSetHostFlags(m_hWnd, dwFlags);
}

void CDHtmlDialog::DispatchDocumentComplete(LPCTSTR szUrl) { OnDocumentComplete(nullptr, szUrl); }

HRESULT CDHtmlDialog::DispatchElementEvent(long dispId, LPCTSTR szElementId) {
  if (!szElementId) return S_FALSE;
  for (const DHtmlEventMapEntry *e = GetDHtmlEventMap(); e && e->pfn; ++e) {
    if (e->dispId == dispId && e->szName && wcscmp(e->szName, szElementId) == 0) {
      IHTMLElement element(szElementId);
      return e->pfn(this, &element);
    }
  }
  return S_FALSE;
}

BOOL CDHtmlDialog::FilterBrowserMouseMessage(UINT message, POINT pt) {
  if (!IsLive(m_hWnd)) return FALSE;
  RECT r = ScreenRect(m_hWnd);
  MSG m{m_hWnd, message, 0, MAKELONG((short)(pt.x - r.left), (short)(pt.y - r.top)), ::GetTickCount(), pt};
  return PreTranslateMessage(&m);
}

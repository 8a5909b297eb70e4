// The framework's command target and window classes over the window records.
#include <algorithm>

#include "platform/window/msgbox.h"
#include "platform/window/window_internal.h"

using namespace wl;

namespace {
uint64_t g_timerOrder = 0;  // start order of timers, to break ties between equal due times
}  // namespace

// ------------------------------------------------------------ CCmdTarget

const AFX_MSGMAP *CCmdTarget::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
  static const AFX_MSGMAP map = {nullptr, &entries[0]};
  return &map;
}

const AFX_MSGMAP *CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY *CCmdTarget::FindMessageEntry(UINT message, UINT code, UINT id) const {
  for (const AFX_MSGMAP *map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY *e = map->lpEntries; e->pfn; ++e) {
      if (message == WM_COMMAND) {
        if (e->nMessage == WM_COMMAND && e->nCode == code && id >= e->nID && id <= e->nLastID) return e;
      } else if (e->nMessage != WM_COMMAND) {
        UINT last = e->nLastID ? e->nLastID : e->nMessage;
        if (message >= e->nMessage && message <= last) return e;
      }
    }
  }
  return nullptr;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, int nCode, void *pExtra, void *) {
  const AFX_MSGMAP_ENTRY *e = FindMessageEntry(WM_COMMAND, (UINT)nCode, nID);
  if (!e) return FALSE;
  if ((UINT)nCode == CN_UPDATE_COMMAND_UI) {
    CCmdUI *ui = static_cast<CCmdUI *>(pExtra);
    if (ui) ui->m_bContinueRouting = FALSE;
    e->pfn(this, WM_COMMAND, 0, reinterpret_cast<LPARAM>(pExtra));
    return ui ? !ui->m_bContinueRouting : TRUE;
  }
  e->pfn(this, WM_COMMAND, MAKELONG(nID, nCode), 0);
  return TRUE;
}

// ------------------------------------------------------------ CWnd

struct WindowAccess {
  static HWND Rec(const CWnd *w) { return IsLive(w->m_hWnd) ? w->m_hWnd : nullptr; }
};
HWND wl::RecordOf(const CWnd *w) { return w ? WindowAccess::Rec(w) : nullptr; }

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::CWnd() = default;
CWnd::CWnd(HWND marker) : m_hWnd(marker) {}

CWnd::~CWnd() {
  HWND h = m_hWnd;
  if (h == HWND_TOP || h == HWND_BOTTOM || h == HWND_TOPMOST || h == HWND_NOTOPMOST) return;
  if (IsLive(h) && h->wnd == this) {
    ::DestroyWindow(h);
    if (h->wnd == this) h->wnd = nullptr;
  }
}

CWnd *CWnd::FromHandlePermanent(HWND h) { return IsLive(h) ? h->wnd : nullptr; }

CWnd *CWnd::FromHandle(HWND h) {
  if (!IsLive(h)) return nullptr;
  if (!h->wnd) {
    h->ownedObject = std::make_unique<CWnd>();
    h->ownedObject->m_hWnd = h;
    h->wnd = h->ownedObject.get();
  }
  return h->wnd;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult) {
  if (message == WM_COMMAND) {
    if (OnCommand(wParam, lParam)) {
      *pResult = 1;
      return TRUE;
    }
    return FALSE;
  }
  const AFX_MSGMAP_ENTRY *e = FindMessageEntry(message, 0, 0);
  if (!e) return FALSE;
  *pResult = e->pfn(this, message, wParam, lParam);
  return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT r = 0;
  if (!OnWndMsg(message, wParam, lParam, &r)) r = DefWindowProc(message, wParam, lParam);
  return r;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND h = RecordOf(this);
  return h ? DefaultProc(h, message, wParam, lParam) : 0;
}

BOOL CWnd::PreTranslateMessage(MSG *) { return FALSE; }

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) { return OnCmdMsg(LOWORD(wParam), HIWORD(wParam), nullptr, nullptr); }

void CWnd::DoDataExchange(CDataExchange *) {}
void CWnd::PostNcDestroy() {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate) {
  CDataExchange dx(this, bSaveAndValidate);
  DoDataExchange(&dx);
  return TRUE;
}

LRESULT CWnd::Default() {
  const SentMessage *m = CurrentMessage();
  return m ? DefWindowProc(m->msg, m->w, m->l) : 0;
}

BOOL CWnd::DestroyWindow() { return ::DestroyWindow(m_hWnd); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) { return Send(m_hWnd, message, wParam, lParam); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  HWND h = RecordOf(this);
  if (!h) return FALSE;
  RECT r = h->rect;
  bool moved = false, sized = false;
  if (!(nFlags & SWP_NOMOVE)) {
    OffsetRect(&r, x - r.left, y - r.top);
    moved = true;
  }
  if (!(nFlags & SWP_NOSIZE)) {
    r.right = r.left + std::max(0, cx);
    r.bottom = r.top + std::max(0, cy);
    sized = true;
  }
  if (moved || sized) {
    h->rect = r;
    CurrentBackend()->RectChanged(h);
    if (sized) InvalidateRect(nullptr, TRUE);
  }
  if (!(nFlags & SWP_NOZORDER) && pWndInsertAfter) {
    HWND after = pWndInsertAfter->m_hWnd;
    if (after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
      h->topmost = after == HWND_TOPMOST;
      h->exStyle = h->topmost ? (h->exStyle | WS_EX_TOPMOST) : (h->exStyle & ~WS_EX_TOPMOST);
      CurrentBackend()->TopMostChanged(h);
    }
  }
  if (nFlags & SWP_SHOWWINDOW) ::ShowWindow(h, SW_SHOWNA);
  if (nFlags & SWP_HIDEWINDOW) ::ShowWindow(h, SW_HIDE);
  return TRUE;
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint) {
  SetWindowPos(nullptr, x, y, nWidth, nHeight, SWP_NOZORDER | (bRepaint ? 0 : SWP_NOREDRAW));
}

void CWnd::MoveWindow(LPCRECT r, BOOL bRepaint) {
  MoveWindow(r->left, r->top, r->right - r->left, r->bottom - r->top, bRepaint);
}

void CWnd::GetWindowRect(LPRECT lpRect) const { ::GetWindowRect(m_hWnd, lpRect); }
void CWnd::GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }

void CWnd::ClientToScreen(LPPOINT p) const {
  if (HWND h = RecordOf(this)) {
    RECT r = ScreenRect(h);
    p->x += r.left, p->y += r.top;
  }
}

void CWnd::ClientToScreen(LPRECT rc) const {
  if (HWND h = RecordOf(this)) {
    RECT r = ScreenRect(h);
    OffsetRect(rc, r.left, r.top);
  }
}

void CWnd::ScreenToClient(LPPOINT p) const {
  if (HWND h = RecordOf(this)) {
    RECT r = ScreenRect(h);
    p->x -= r.left, p->y -= r.top;
  }
}

void CWnd::ScreenToClient(LPRECT rc) const {
  if (HWND h = RecordOf(this)) {
    RECT r = ScreenRect(h);
    OffsetRect(rc, -r.left, -r.top);
  }
}

BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
CWnd *CWnd::GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
BOOL CWnd::FlashWindow(BOOL bInvert) { return ::FlashWindow(m_hWnd, bInvert); }

BOOL CWnd::EnableWindow(BOOL bEnable) {
  HWND h = RecordOf(this);
  if (!h) return FALSE;
  BOOL wasDisabled = !h->enabled;
  h->enabled = bEnable != FALSE;
  h->style = h->enabled ? (h->style & ~WS_DISABLED) : (h->style | WS_DISABLED);
  CurrentBackend()->EnabledChanged(h);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  HWND h = RecordOf(this);
  return h && h->enabled;
}

DWORD CWnd::GetStyle() const {
  HWND h = RecordOf(this);
  return h ? (h->style | (h->visible ? WS_VISIBLE : 0)) : 0;
}

DWORD CWnd::GetExStyle() const {
  HWND h = RecordOf(this);
  return h ? h->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT) {
  HWND h = RecordOf(this);
  if (!h) return FALSE;
  DWORD before = h->style;
  h->style = (h->style & ~dwRemove) | dwAdd;
  if (h->style & WS_VISIBLE) {
    h->style &= ~WS_VISIBLE;
    if (!h->visible) ::ShowWindow(h, SW_SHOWNA);
  }
  if (h->style == before) return FALSE;
  CurrentBackend()->StylesChanged(h);
  return TRUE;
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT) {
  HWND h = RecordOf(this);
  if (!h) return FALSE;
  DWORD before = h->exStyle;
  h->exStyle = (h->exStyle & ~dwRemove) | dwAdd;
  if (h->exStyle == before) return FALSE;
  CurrentBackend()->StylesChanged(h);
  return TRUE;
}

void CWnd::SetWindowText(LPCTSTR s) {
  HWND h = RecordOf(this);
  if (!h) return;
  std::wstring text = s ? s : L"";
  if (text == h->text) return;
  h->text = text;
  CurrentBackend()->TextChanged(h);
  if (h->isControl && h->ctrlKind == DLGITEM_EDIT && h->parent)
    Send(h->parent, WM_COMMAND, MAKELONG(h->ctrlId, EN_CHANGE), (LPARAM)h);
}

int CWnd::GetWindowText(LPTSTR buf, int nMaxCount) const {
  HWND h = RecordOf(this);
  if (!buf || nMaxCount <= 0) return 0;
  if (!h) {
    buf[0] = 0;
    return 0;
  }
  int n = std::min<int>((int)h->text.size(), nMaxCount - 1);
  std::copy_n(h->text.begin(), n, buf);
  buf[n] = 0;
  return n;
}

void CWnd::GetWindowText(CString &rString) const {
  HWND h = RecordOf(this);
  rString = h ? h->text.c_str() : L"";
}

int CWnd::GetWindowTextLength() const {
  HWND h = RecordOf(this);
  return h ? (int)h->text.size() : 0;
}

CWnd *CWnd::GetDlgItem(int nID) const {
  HWND h = RecordOf(this);
  if (!h) return nullptr;
  for (HWND c : h->children)
    if (c->ctrlId == nID && IsLive(c)) return FromHandle(c);
  return nullptr;
}

int CWnd::GetDlgCtrlID() const {
  HWND h = RecordOf(this);
  return h ? h->ctrlId : 0;
}

void CWnd::SetDlgItemText(int nID, LPCTSTR s) {
  if (CWnd *c = GetDlgItem(nID)) c->SetWindowText(s);
}

int CWnd::GetDlgItemText(int nID, CString &rString) const {
  CWnd *c = GetDlgItem(nID);
  if (!c) {
    rString = L"";
    return 0;
  }
  c->GetWindowText(rString);
  return rString.GetLength();
}

CWnd *CWnd::GetParent() const {
  HWND h = RecordOf(this);
  if (!h) return nullptr;
  return FromHandle(h->parent ? h->parent : h->owner);
}

CWnd *CWnd::GetOwner() const {
  HWND h = RecordOf(this);
  if (!h) return nullptr;
  return FromHandle(h->owner ? h->owner : h->parent);
}

void CWnd::Invalidate(BOOL bErase) { InvalidateRect(nullptr, bErase); }

void CWnd::InvalidateRect(LPCRECT, BOOL bErase) {
  HWND h = RecordOf(this);
  if (!h) return;
  HWND top = TopLevelOf(h);  // controls are drawn with their window
  top->invalid = true;
  top->erase = top->erase || bErase;
  CurrentBackend()->Invalidated(top);
}

void CWnd::UpdateWindow() {
  HWND h = RecordOf(this);
  if (h && h->invalid && h->visible) PaintWindow(h);
}

int CWnd::SetWindowRgn(HRGN hRgn, BOOL bRedraw) {
  HWND h = RecordOf(this);
  if (!h) return 0;
  if (h->region && h->region != hRgn) ::DeleteObject((HGDIOBJ)h->region);
  h->region = hRgn;
  CurrentBackend()->RegionChanged(h);
  if (bRedraw) Invalidate(TRUE);
  return 1;
}

int CWnd::GetWindowRgn(HRGN hRgn) const {
  HWND h = RecordOf(this);
  if (!h || !h->region || !RegionOf(hRgn)) return ERROR;
  return ::CombineRgn(hRgn, h->region, nullptr, RGN_COPY);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  HWND h = RecordOf(this);
  if (!h) return nullptr;
  HICON &slot = bBigIcon ? h->bigIcon : h->smallIcon;
  HICON old = slot;
  slot = hIcon;
  CurrentBackend()->IconChanged(h);
  return old;
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
  HWND h = RecordOf(this);
  return h ? (bBigIcon ? h->bigIcon : h->smallIcon) : nullptr;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  HWND h = RecordOf(this);
  if (!h) return 0;
  KillTimer(nIDEvent);
  Timer &t = h->timers[nIDEvent];
  t.id = nIDEvent;
  t.period = std::max<UINT>(nElapse, 10);  // the original system's minimum period
  t.proc = lpfnTimer;
  t.order = ++g_timerOrder;
  CurrentBackend()->TimerStarted(h, t);
  return nIDEvent ? nIDEvent : 1;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent) {
  HWND h = RecordOf(this);
  if (!h) return FALSE;
  auto it = h->timers.find(nIDEvent);
  if (it == h->timers.end()) return FALSE;
  CurrentBackend()->TimerStopped(h, it->second);
  h->timers.erase(it);
  return TRUE;
}

CMenu *CWnd::GetSystemMenu(BOOL bRevert) const {
  HWND h = RecordOf(this);
  if (!h || !(h->style & WS_SYSMENU)) return nullptr;
  if (bRevert) {
    if (h->sysMenu) ::DestroyMenu(h->sysMenu);
    h->sysMenu = nullptr;
    return nullptr;
  }
  if (!h->sysMenu) {
    CMenu m;
    m.CreatePopupMenu();
    m.AppendMenu(MF_STRING, SC_CLOSE, L"关闭(&C)\tAlt+F4");
    h->sysMenu = m.Detach();
    h->sysMenu->isSystemMenu = true;
  }
  return CMenu::FromHandle(h->sysMenu);
}

int CWnd::MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption, UINT nType) {
  return ::MessageBoxW(m_hWnd, lpszText, lpszCaption ? lpszCaption : AfxGetAppName(), nType);
}

void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnNcPaint() { Default(); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnContextMenu(CWnd *, CPoint) { Default(); }
BOOL CWnd::OnSetCursor(CWnd *, UINT, UINT) { return (BOOL)Default(); }
HBRUSH CWnd::OnCtlColor(CDC *, CWnd *, UINT) { return (HBRUSH)Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return (HCURSOR)Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnDestroy() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC *) { return (BOOL)Default(); }
void CWnd::OnInitMenuPopup(CMenu *, UINT, BOOL) { Default(); }

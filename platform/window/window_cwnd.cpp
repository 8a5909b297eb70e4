// Window records, message delivery, default processing, timers, backends.
#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/window/window_internal.h"

namespace wl {
namespace {

Backend *g_backend = nullptr;  // never destroyed at exit (see Records)
std::thread::id g_uiThread;
bool g_uiThreadSet = false;

// Window records are never freed (stale handles stay safe to test) and the
// tables are never destroyed: exit(0) from a menu ends the process with windows
// alive, and objects destroyed at exit may still ask whether their window lives.
struct Records {
  std::mutex mutex;
  std::vector<std::unique_ptr<HWND__>> all;
  std::vector<HWND> live;  // creation order
};
Records &Recs() {
  static Records *r = new Records;
  return *r;
}
#define g_recordsMutex (Recs().mutex)
#define g_records (Recs().all)
#define g_live (Recs().live)

struct Posted {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM w = 0;
  LPARAM l = 0;
  std::function<void()> fn;
};
std::mutex g_postedMutex;
std::deque<Posted> g_posted;

struct CurrentMessage {
  HWND hwnd;
  UINT msg;
  WPARAM w;
  LPARAM l;
};
thread_local std::vector<CurrentMessage> t_current;

uint64_t g_timerOrder = 0;

}  // namespace

Backend *CurrentBackend() {
  if (!g_backend) InstallBackend(MakeHeadlessBackend());
  return g_backend;
}

void InstallBackend(std::unique_ptr<Backend> backend) {
  delete g_backend;
  g_backend = backend.release();
  g_uiThread = std::this_thread::get_id();
  g_uiThreadSet = true;
}

bool IsLive(HWND h) {
  if (!h) return false;
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  return std::find(g_live.begin(), g_live.end(), h) != g_live.end() && h->alive;
}

HWND NewWindowRecord() {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  g_records.push_back(std::make_unique<HWND__>());
  HWND h = g_records.back().get();
  g_live.push_back(h);
  return h;
}

static void Unlist(HWND h) {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  h->alive = false;
  g_live.erase(std::remove(g_live.begin(), g_live.end(), h), g_live.end());
}

std::vector<HWND> LiveTopLevelWindows() {
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  std::vector<HWND> out;
  for (HWND h : g_live)
    if (!h->parent) out.push_back(h);
  return out;
}

void ForgetAllWindows() {
  for (HWND h : LiveTopLevelWindows())
    if (IsLive(h)) ::DestroyWindow(h);
  ClearPosted();
  std::lock_guard<std::mutex> lock(g_recordsMutex);
  g_live.clear();
}

HWND TopLevelOf(HWND h) {
  while (h && h->parent) h = h->parent;
  return h;
}

RECT ScreenRect(HWND h) {
  RECT r = h->rect;
  for (HWND p = h->parent; p; p = p->parent) OffsetRect(&r, p->rect.left, p->rect.top);
  return r;
}

int ClientWidth(HWND h) { return std::max<LONG>(0, h->rect.right - h->rect.left); }
int ClientHeight(HWND h) { return std::max<LONG>(0, h->rect.bottom - h->rect.top); }

// ------------------------------------------------------------ delivery

LRESULT Send(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (!IsLive(h)) return 0;
  CWnd *wnd = CWnd::FromHandle(h);
  t_current.push_back({h, msg, w, l});
  LRESULT r = wnd->WindowProc(msg, w, l);
  t_current.pop_back();
  return r;
}

BOOL DeliverInput(HWND h, UINT msg, WPARAM w, LPARAM l, POINT screenPt) {
  if (!IsLive(h)) return FALSE;
  MSG m{h, msg, w, l, ::GetTickCount(), screenPt};
  for (HWND t = h; t; t = t->parent) {
    CWnd *o = CWnd::FromHandlePermanent(t);
    if (o && o->PreTranslateMessage(&m)) return TRUE;
    if (!IsLive(h)) return TRUE;
  }
  Send(h, msg, w, l);
  return FALSE;
}

void MouseInput(HWND h, UINT clientMsg, POINT pt, UINT keyFlags) {
  if (!IsLive(h)) return;
  LPARAM screenL = MAKELONG((short)pt.x, (short)pt.y);
  LRESULT ht = Send(h, WM_NCHITTEST, 0, screenL);
  Send(h, WM_SETCURSOR, (WPARAM)h, MAKELONG((WORD)(short)ht, (WORD)clientMsg));
  if (ht == HTCLIENT) {
    RECT r = ScreenRect(h);
    LPARAM clientL = MAKELONG((short)(pt.x - r.left), (short)(pt.y - r.top));
    DeliverInput(h, clientMsg, keyFlags, clientL, pt);
  } else if (ht != HTNOWHERE && ht != HTERROR && ht != HTTRANSPARENT && clientMsg != WM_MOUSEMOVE) {
    DeliverInput(h, clientMsg - WM_MOUSEFIRST + 0x00A0, (WPARAM)ht, screenL, pt);
  }
}

BOOL KeyInput(HWND h, UINT vk, bool alt) {
  if (!IsLive(h)) return FALSE;
  POINT pt{};
  ::GetCursorPos(&pt);
  HWND top = TopLevelOf(h);
  if (DeliverInput(h, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, alt ? (1 << 29) : 0, pt)) return TRUE;
  return alt && (vk == VK_F4 || vk == VK_SPACE) && top;
}

void PostFunction(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(g_postedMutex);
    Posted p;
    p.fn = std::move(fn);
    g_posted.push_back(std::move(p));
  }
  CurrentBackend()->Wake();
}

static bool PostRecord(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (!IsLive(h)) return false;
  {
    std::lock_guard<std::mutex> lock(g_postedMutex);
    g_posted.push_back({h, msg, w, l, nullptr});
  }
  CurrentBackend()->Wake();
  return true;
}

bool HasPosted() {
  std::lock_guard<std::mutex> lock(g_postedMutex);
  return !g_posted.empty();
}

bool DeliverOnePosted() {
  Posted p;
  {
    std::lock_guard<std::mutex> lock(g_postedMutex);
    if (g_posted.empty()) return false;
    p = std::move(g_posted.front());
    g_posted.pop_front();
  }
  if (p.fn) {
    p.fn();
  } else if (IsLive(p.hwnd)) {
    POINT pt{};
    ::GetCursorPos(&pt);
    bool input = (p.msg >= WM_MOUSEFIRST && p.msg <= WM_MOUSELAST) || (p.msg >= WM_KEYFIRST && p.msg <= WM_KEYLAST);
    if (input)
      DeliverInput(p.hwnd, p.msg, p.w, p.l, pt);
    else
      Send(p.hwnd, p.msg, p.w, p.l);
  }
  return true;
}

void ClearPosted() {
  std::lock_guard<std::mutex> lock(g_postedMutex);
  g_posted.clear();
}

void PaintWindow(HWND h) {
  if (!IsLive(h)) return;
  h->invalid = false;
  h->erase = false;
  h->backBuffer.Resize(ClientWidth(h), ClientHeight(h), GetSysColor(COLOR_BTNFACE));
  Send(h, WM_PAINT, 0, 0);
}

bool PaintOneInvalid() {
  std::vector<HWND> all;
  {
    std::lock_guard<std::mutex> lock(g_recordsMutex);
    all = g_live;
  }
  for (HWND h : all) {
    if (IsLive(h) && h->invalid && h->visible && !h->isControl) {
      PaintWindow(h);
      return true;
    }
    if (IsLive(h) && h->isControl) h->invalid = false;
  }
  return false;
}

void FireTimer(HWND h, UINT_PTR id) {
  if (!IsLive(h)) return;
  auto it = h->timers.find(id);
  if (it == h->timers.end()) return;
  if (it->second.proc)
    it->second.proc(h, WM_TIMER, id, ::GetTickCount());
  else
    Send(h, WM_TIMER, id, 0);
}

void ModalIdle(ModalLoop &loop) {
  if (!loop.showOnIdle) return;
  loop.showOnIdle = false;
  if (IsLive(loop.hwnd) && !loop.hwnd->visible) ::ShowWindow(loop.hwnd, SW_SHOWNORMAL);
}

void ShowSystemMenu(HWND h, POINT pt) {
  h = TopLevelOf(h);
  if (!IsLive(h) || !h->sysMenu) {
    CWnd *w = CWnd::FromHandle(h);
    if (!w || !w->GetSystemMenu(FALSE)) return;
  }
  Send(h, WM_INITMENUPOPUP, (WPARAM)h->sysMenu, MAKELONG(0, 1));
  UINT id = CurrentBackend()->TrackPopup(h->sysMenu, pt.x, pt.y, h);
  if (id) PostRecord(h, WM_SYSCOMMAND, id, MAKELONG((short)pt.x, (short)pt.y));
}

bool IsDigitsOnly(const std::wstring &s) {
  return std::all_of(s.begin(), s.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

ControlLook QueryControlLook(HWND c) {
  ControlLook look;
  if (!IsLive(c) || !c->parent) return look;
  UINT msg = c->ctrlKind == DLGITEM_EDIT     ? WM_CTLCOLOREDIT
             : c->ctrlKind == DLGITEM_BUTTON ? WM_CTLCOLORBTN
                                             : WM_CTLCOLORSTATIC;
  CDC dc;
  dc.Attach(new HDC__);
  dc.m_hDC->wnd = c;
  HBRUSH brush = (HBRUSH)Send(c->parent, msg, (WPARAM)dc.m_hDC, (LPARAM)c);
  look.textColor = dc.GetTextColor();
  look.transparentText = dc.GetBkMode() == TRANSPARENT;
  look.nullBrush = IsNullBrush(brush);
  if (Brush *b = BrushOf(brush); b && !b->null) {
    look.hasBrush = true;
    look.brushColor = b->color;
  }
  delete dc.Detach();
  return look;
}

// Default processing of the messages the layer knows.
// A move drag starts where the cursor is: the message's point is not used, as
// callers commonly pass the press in client coordinates.
static void BeginMoveDragAtCursor(HWND h) {
  POINT pt{};
  ::GetCursorPos(&pt);
  CurrentBackend()->BeginMoveDrag(h, pt);
}

static LRESULT DefProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_NCHITTEST: {
      POINT pt{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
      RECT r = ScreenRect(h);
      if (!PtInRect(&r, pt)) return HTNOWHERE;
      if (h->region && !PtInRegion(h->region, pt.x - r.left, pt.y - r.top)) return HTNOWHERE;
      if (h->isControl && h->ctrlKind == DLGITEM_STATIC && !(h->style & SS_NOTIFY)) return HTTRANSPARENT;
      return HTCLIENT;
    }
    case WM_SETCURSOR:
      if (h->parent && Send(h->parent, WM_SETCURSOR, w, l)) return TRUE;
      if ((short)LOWORD(l) == HTCLIENT) ::SetCursor(StockCursor(32512));
      return FALSE;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      CDC *dc = CDC::FromHandle((HDC)w);
      if (dc) {
        dc->SetTextColor(0);
        dc->SetBkColor(GetSysColor(msg == WM_CTLCOLOREDIT ? COLOR_WINDOW : COLOR_BTNFACE));
      }
      return (LRESULT)GetSysColorBrush(msg == WM_CTLCOLOREDIT ? COLOR_WINDOW : COLOR_BTNFACE);
    }
    case WM_CLOSE:
      if (h->isDialog) {
        HWND cancel = nullptr;
        for (HWND c : h->children)
          if (c->ctrlId == IDCANCEL) cancel = c;
        Send(h, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED), (LPARAM)cancel);
      } else {
        ::DestroyWindow(h);
      }
      return 0;
    case WM_SYSCOMMAND:
      switch (w & 0xFFF0) {
        case SC_CLOSE:
          Send(h, WM_CLOSE, 0, 0);
          break;
        case SC_MOVE:
          BeginMoveDragAtCursor(h);
          break;
        case SC_KEYMENU: {
          RECT r = ScreenRect(h);
          ShowSystemMenu(h, POINT{r.left, r.top});
          break;
        }
        default:
          break;
      }
      return 0;
    case WM_SYSKEYDOWN:
      if (w == VK_F4) Send(TopLevelOf(h), WM_SYSCOMMAND, SC_CLOSE, 0);
      if (w == VK_SPACE) Send(TopLevelOf(h), WM_SYSCOMMAND, SC_KEYMENU, VK_SPACE);
      return 0;
    case WM_NCLBUTTONDOWN:
      if (w == HTCAPTION) BeginMoveDragAtCursor(TopLevelOf(h));
      return 0;
    case WM_RBUTTONUP: {
      RECT r = ScreenRect(h);
      Send(h, WM_CONTEXTMENU, (WPARAM)h, MAKELONG((short)(GET_X_LPARAM(l) + r.left), (short)(GET_Y_LPARAM(l) + r.top)));
      return 0;
    }
    case 0x00A5:  // WM_NCRBUTTONUP
      Send(h, WM_CONTEXTMENU, (WPARAM)h, l);
      return 0;
    case WM_CONTEXTMENU:
      if (h->parent) return Send(h->parent, WM_CONTEXTMENU, w, l);
      if (Send(h, WM_NCHITTEST, 0, l) == HTCAPTION) ShowSystemMenu(h, POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)});
      return 0;
    case WM_INITDIALOG:
      return TRUE;
    case WM_ERASEBKGND:
      return TRUE;
    default:
      return 0;
  }
}

}  // namespace wl

using namespace wl;

BOOL AfxSetBackend(AFX_BACKEND backend) {
  if (!LiveTopLevelWindows().empty()) return g_backend && g_backend->Kind() == backend;
  if (backend == BACKEND_HEADLESS) {
    InstallBackend(MakeHeadlessBackend());
    return TRUE;
  }
  if (backend == BACKEND_GTK) {
    auto gtk = MakeGtkBackend();
    if (!gtk) return FALSE;
    InstallBackend(std::move(gtk));
    return TRUE;
  }
  return FALSE;
}

AFX_BACKEND AfxGetBackend() { return g_backend ? g_backend->Kind() : BACKEND_NONE; }

BOOL AfxIsUiThread() { return !g_uiThreadSet || std::this_thread::get_id() == g_uiThread; }

void AfxRunOnUiThread(std::function<void()> fn) {
  if (AfxIsUiThread())
    fn();
  else
    PostFunction(std::move(fn));
}

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
static HWND Rec(const CWnd *w) { return w ? WindowAccess::Rec(w) : nullptr; }

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
  HWND h = Rec(this);
  return h ? DefProc(h, message, wParam, lParam) : 0;
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
  if (t_current.empty()) return 0;
  const CurrentMessage &m = t_current.back();
  return DefWindowProc(m.msg, m.w, m.l);
}

BOOL CWnd::DestroyWindow() { return ::DestroyWindow(m_hWnd); }

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) { return Send(m_hWnd, message, wParam, lParam); }

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return ::PostMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
BOOL CWnd::IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }

BOOL CWnd::SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
  HWND h = Rec(this);
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
  if (HWND h = Rec(this)) {
    RECT r = ScreenRect(h);
    p->x += r.left, p->y += r.top;
  }
}

void CWnd::ClientToScreen(LPRECT rc) const {
  if (HWND h = Rec(this)) {
    RECT r = ScreenRect(h);
    OffsetRect(rc, r.left, r.top);
  }
}

void CWnd::ScreenToClient(LPPOINT p) const {
  if (HWND h = Rec(this)) {
    RECT r = ScreenRect(h);
    p->x -= r.left, p->y -= r.top;
  }
}

void CWnd::ScreenToClient(LPRECT rc) const {
  if (HWND h = Rec(this)) {
    RECT r = ScreenRect(h);
    OffsetRect(rc, -r.left, -r.top);
  }
}

BOOL CWnd::SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
CWnd *CWnd::GetForegroundWindow() { return FromHandle(::GetForegroundWindow()); }
BOOL CWnd::FlashWindow(BOOL bInvert) { return ::FlashWindow(m_hWnd, bInvert); }

BOOL CWnd::EnableWindow(BOOL bEnable) {
  HWND h = Rec(this);
  if (!h) return FALSE;
  BOOL wasDisabled = !h->enabled;
  h->enabled = bEnable != FALSE;
  h->style = h->enabled ? (h->style & ~WS_DISABLED) : (h->style | WS_DISABLED);
  CurrentBackend()->EnabledChanged(h);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  HWND h = Rec(this);
  return h && h->enabled;
}

DWORD CWnd::GetStyle() const {
  HWND h = Rec(this);
  return h ? (h->style | (h->visible ? WS_VISIBLE : 0)) : 0;
}

DWORD CWnd::GetExStyle() const {
  HWND h = Rec(this);
  return h ? h->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT) {
  HWND h = Rec(this);
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
  HWND h = Rec(this);
  if (!h) return FALSE;
  DWORD before = h->exStyle;
  h->exStyle = (h->exStyle & ~dwRemove) | dwAdd;
  if (h->exStyle == before) return FALSE;
  CurrentBackend()->StylesChanged(h);
  return TRUE;
}

void CWnd::SetWindowText(LPCTSTR s) {
  HWND h = Rec(this);
  if (!h) return;
  std::wstring text = s ? s : L"";
  if (text == h->text) return;
  h->text = text;
  CurrentBackend()->TextChanged(h);
  if (h->isControl && h->ctrlKind == DLGITEM_EDIT && h->parent)
    Send(h->parent, WM_COMMAND, MAKELONG(h->ctrlId, EN_CHANGE), (LPARAM)h);
}

int CWnd::GetWindowText(LPTSTR buf, int nMaxCount) const {
  HWND h = Rec(this);
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
  HWND h = Rec(this);
  rString = h ? h->text.c_str() : L"";
}

int CWnd::GetWindowTextLength() const {
  HWND h = Rec(this);
  return h ? (int)h->text.size() : 0;
}

CWnd *CWnd::GetDlgItem(int nID) const {
  HWND h = Rec(this);
  if (!h) return nullptr;
  for (HWND c : h->children)
    if (c->ctrlId == nID && IsLive(c)) return FromHandle(c);
  return nullptr;
}

int CWnd::GetDlgCtrlID() const {
  HWND h = Rec(this);
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
  HWND h = Rec(this);
  if (!h) return nullptr;
  return FromHandle(h->parent ? h->parent : h->owner);
}

CWnd *CWnd::GetOwner() const {
  HWND h = Rec(this);
  if (!h) return nullptr;
  return FromHandle(h->owner ? h->owner : h->parent);
}

void CWnd::Invalidate(BOOL bErase) { InvalidateRect(nullptr, bErase); }

void CWnd::InvalidateRect(LPCRECT, BOOL bErase) {
  HWND h = Rec(this);
  if (!h) return;
  HWND top = TopLevelOf(h);  // controls are drawn with their window
  top->invalid = true;
  top->erase = top->erase || bErase;
  CurrentBackend()->Invalidated(top);
}

void CWnd::UpdateWindow() {
  HWND h = Rec(this);
  if (h && h->invalid && h->visible) PaintWindow(h);
}

int CWnd::SetWindowRgn(HRGN hRgn, BOOL bRedraw) {
  HWND h = Rec(this);
  if (!h) return 0;
  if (h->region && h->region != hRgn) ::DeleteObject((HGDIOBJ)h->region);
  h->region = hRgn;
  CurrentBackend()->RegionChanged(h);
  if (bRedraw) Invalidate(TRUE);
  return 1;
}

int CWnd::GetWindowRgn(HRGN hRgn) const {
  HWND h = Rec(this);
  if (!h || !h->region || !RegionOf(hRgn)) return ERROR;
  return ::CombineRgn(hRgn, h->region, nullptr, RGN_COPY);
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
  HWND h = Rec(this);
  if (!h) return nullptr;
  HICON &slot = bBigIcon ? h->bigIcon : h->smallIcon;
  HICON old = slot;
  slot = hIcon;
  CurrentBackend()->IconChanged(h);
  return old;
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
  HWND h = Rec(this);
  return h ? (bBigIcon ? h->bigIcon : h->smallIcon) : nullptr;
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer) {
  HWND h = Rec(this);
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
  HWND h = Rec(this);
  if (!h) return FALSE;
  auto it = h->timers.find(nIDEvent);
  if (it == h->timers.end()) return FALSE;
  CurrentBackend()->TimerStopped(h, it->second);
  h->timers.erase(it);
  return TRUE;
}

CMenu *CWnd::GetSystemMenu(BOOL bRevert) const {
  HWND h = Rec(this);
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

// ------------------------------------------------------------ controls

HICON CStatic::SetIcon(HICON hIcon) {
  HWND h = Rec(this);
  if (!h) return nullptr;
  HICON old = h->ctrlIcon;
  h->ctrlIcon = hIcon;
  CurrentBackend()->IconChanged(h);
  return old;
}

HICON CStatic::GetIcon() const {
  HWND h = Rec(this);
  return h ? h->ctrlIcon : nullptr;
}

void CEdit::SetSel(int, int, BOOL) {}
void CEdit::LimitText(int) {}

void CEdit::ReplaceSel(LPCTSTR lpszNewText, BOOL) {
  CString s;
  GetWindowText(s);
  s += lpszNewText ? lpszNewText : L"";
  SetWindowText(s);
}

void CButton::Click() {
  HWND h = Rec(this);
  if (h && h->parent && h->enabled) Send(h->parent, WM_COMMAND, MAKELONG(h->ctrlId, BN_CLICKED), (LPARAM)h);
}

// ------------------------------------------------------------ free functions

BOOL IsWindow(HWND hWnd) { return IsLive(hWnd); }

BOOL IsWindowVisible(HWND h) {
  if (!IsLive(h)) return FALSE;
  for (HWND p = h; p; p = p->parent)
    if (!p->visible) return FALSE;
  return TRUE;
}

BOOL ShowWindow(HWND h, int nCmdShow) {
  if (!IsLive(h)) return FALSE;
  BOOL was = h->visible;
  bool show = nCmdShow != SW_HIDE;
  if (show == (bool)was) {
    if (show && nCmdShow == SW_SHOWNORMAL) CurrentBackend()->VisibilityChanged(h);  // restores
    return was;
  }
  h->visible = show;
  if (show && !h->isControl) {
    h->ncPaints++;
    Send(h, WM_NCPAINT, 1, 0);
    if (IsLive(h) && h->visible) {
      h->invalid = true;
      h->erase = true;
    }
  }
  if (IsLive(h)) CurrentBackend()->VisibilityChanged(h);
  return was;
}

BOOL DestroyWindow(HWND h) {
  if (!IsLive(h)) return FALSE;
  for (HWND o : LiveTopLevelWindows())
    if (o->owner == h && IsLive(o)) DestroyWindow(o);
  Send(h, WM_DESTROY, 0, 0);
  for (HWND c : std::vector<HWND>(h->children))
    if (IsLive(c)) DestroyWindow(c);
  for (auto &[id, t] : h->timers) CurrentBackend()->TimerStopped(h, t);
  h->timers.clear();
  CurrentBackend()->Destroyed(h);
  Send(h, WM_NCDESTROY, 0, 0);
  if (h->region) DeleteObject((HGDIOBJ)h->region);
  h->region = nullptr;
  if (h->sysMenu) DestroyMenu(h->sysMenu);
  h->sysMenu = nullptr;
  if (h->parent) {
    auto &siblings = h->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), h), siblings.end());
  }
  h->visible = false;
  Unlist(h);
  CWnd *w = h->wnd;
  h->wnd = nullptr;
  if (w) {
    w->m_hWnd = nullptr;
    if (w != h->ownedObject.get()) w->PostNcDestroy();
  }
  h->ownedObject.reset();
  h->backBuffer = Image();
  return TRUE;
}

BOOL SetForegroundWindow(HWND h) { return IsLive(h) ? CurrentBackend()->SetForeground(h) : FALSE; }
HWND GetForegroundWindow() { return CurrentBackend()->Foreground(); }
BOOL FlashWindow(HWND h, BOOL) { return IsLive(h) ? CurrentBackend()->Flash(h) : FALSE; }

BOOL GetWindowRect(HWND h, LPRECT r) {
  if (!IsLive(h) || !r) return FALSE;
  *r = ScreenRect(h);
  return TRUE;
}

BOOL GetClientRect(HWND h, LPRECT r) {
  if (!IsLive(h) || !r) return FALSE;
  SetRect(r, 0, 0, ClientWidth(h), ClientHeight(h));
  return TRUE;
}

LRESULT SendMessageW(HWND h, UINT msg, WPARAM w, LPARAM l) { return Send(h, msg, w, l); }
BOOL PostMessageW(HWND h, UINT msg, WPARAM w, LPARAM l) { return PostRecord(h, msg, w, l); }

BOOL GetCursorPos(LPPOINT p) {
  if (!p) return FALSE;
  *p = CurrentBackend()->CursorPos();
  return TRUE;
}

int GetSystemMetrics(int nIndex) {
  switch (nIndex) {
    case SM_CXSCREEN:
      return CurrentBackend()->ScreenSize().cx;
    case SM_CYSCREEN:
      return CurrentBackend()->ScreenSize().cy;
    case SM_CXFULLSCREEN: {
      RECT r = CurrentBackend()->WorkArea();
      return r.right - r.left;
    }
    case SM_CYFULLSCREEN: {
      RECT r = CurrentBackend()->WorkArea();
      return r.bottom - r.top;
    }
    case SM_CYCAPTION:
      return 23;
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    default:
      return 0;
  }
}

BOOL SetRect(LPRECT rc, int l, int t, int r, int b) {
  if (!rc) return FALSE;
  *rc = RECT{l, t, r, b};
  return TRUE;
}
BOOL SetRectEmpty(LPRECT rc) { return SetRect(rc, 0, 0, 0, 0); }
BOOL IsRectEmpty(const RECT *rc) { return !rc || rc->right <= rc->left || rc->bottom <= rc->top; }
BOOL PtInRect(const RECT *rc, POINT p) {
  return rc && p.x >= rc->left && p.x < rc->right && p.y >= rc->top && p.y < rc->bottom;
}
BOOL OffsetRect(LPRECT rc, int dx, int dy) {
  if (!rc) return FALSE;
  rc->left += dx, rc->right += dx, rc->top += dy, rc->bottom += dy;
  return TRUE;
}
BOOL IntersectRect(LPRECT dst, const RECT *a, const RECT *b) {
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(dst);
    return FALSE;
  }
  *dst = r;
  return TRUE;
}
BOOL EqualRect(const RECT *a, const RECT *b) {
  return a->left == b->left && a->top == b->top && a->right == b->right && a->bottom == b->bottom;
}

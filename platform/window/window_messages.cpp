// Message delivery: sending, input from a backend, the posted queue, repaints,
// timers, and the default processing of the messages the layer knows.
#include <algorithm>
#include <deque>
#include <mutex>

#include "platform/window/window_internal.h"

namespace wl {
namespace {

struct Posted {
  HWND hwnd = nullptr;
  UINT msg = 0;
  WPARAM w = 0;
  LPARAM l = 0;
  std::function<void()> fn;
};
std::mutex g_postedMutex;
std::deque<Posted> g_posted;

thread_local std::vector<SentMessage> t_current;  // the messages being handled, innermost last

}  // namespace

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

BOOL KeyInput(HWND h, UINT vk, bool alt, bool shift) {
  if (!IsLive(h)) return FALSE;
  POINT pt{};
  ::GetCursorPos(&pt);
  HWND top = TopLevelOf(h);
  if (DeliverInput(h, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, alt ? (1 << 29) : 0, pt)) return TRUE;
  // Most window managers take Alt+Space for their own window menu, which the
  // program cannot extend; the keyboard's context-menu keys are left to the
  // program, and open the window's own system menu as Alt+Space does.
  if (!alt && (vk == VK_APPS || (vk == VK_F10 && shift)) && IsLive(top) && (top->style & WS_SYSMENU)) {
    Send(top, WM_SYSCOMMAND, SC_KEYMENU, vk);
    return TRUE;
  }
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

bool PostRecord(HWND h, UINT msg, WPARAM w, LPARAM l) {
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
  for (HWND h : LiveWindows()) {
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

const SentMessage *CurrentMessage() { return t_current.empty() ? nullptr : &t_current.back(); }

// Default processing of the messages the layer knows.
// A move drag starts where the cursor is: the message's point is not used, as
// callers commonly pass the press in client coordinates.
static void BeginMoveDragAtCursor(HWND h) {
  POINT pt{};
  ::GetCursorPos(&pt);
  CurrentBackend()->BeginMoveDrag(h, pt);
}

LRESULT DefaultProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
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

LRESULT SendMessageW(HWND h, UINT msg, WPARAM w, LPARAM l) { return wl::Send(h, msg, w, l); }
BOOL PostMessageW(HWND h, UINT msg, WPARAM w, LPARAM l) { return wl::PostRecord(h, msg, w, l); }

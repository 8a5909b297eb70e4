// The window functions over handles: state, visibility, destruction, placement,
// foreground, cursor and screen metrics.
#include <algorithm>
#include <vector>

#include "platform/window/window_internal.h"

using namespace wl;

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
  UnlistWindow(h);
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

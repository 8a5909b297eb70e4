#include "utils/desktop/trayicon.h"

#include <cstring>
#include <cwchar>

#include "platform/text/debug.h"

IMPLEMENT_DYNAMIC(CTrayIcon, CObject)

namespace {
const size_t kMaxTipChars = 64;
const UINT kAllFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
}  // namespace

CTrayIcon::CTrayIcon() : m_bEnabled(FALSE), m_bHidden(FALSE) { std::memset(&m_nid, 0, sizeof m_nid); }

CTrayIcon::CTrayIcon(CWnd *pWnd, UINT uCallbackMessage, LPCTSTR szTip, HICON icon, UINT uID) : CTrayIcon() {
  Create(pWnd, uCallbackMessage, szTip, icon, uID);
  m_bHidden = FALSE;
}

CTrayIcon::~CTrayIcon() { RemoveIcon(); }

void CTrayIcon::CopyTip(LPCTSTR pszTip) {
  const size_t cap = sizeof m_nid.szTip / sizeof m_nid.szTip[0];
  const size_t n = pszTip ? wcsnlen(pszTip, cap - 1) : 0;
  if (n) std::wmemcpy(m_nid.szTip, pszTip, n);
  m_nid.szTip[n] = L'\0';
}

BOOL CTrayIcon::Create(CWnd *pWnd, UINT uCallbackMessage, LPCTSTR szTip, HICON icon, UINT uID) {
  // Created again while its icon is shown: that icon goes first, so the area
  // keeps at most one icon of this object, with the new values.
  if (m_bEnabled && !m_bHidden) {
    m_nid.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &m_nid);
  }
  m_bEnabled = LOBYTE(LOWORD(GetVersion())) >= 4;
  if (!m_bEnabled) {
    ASSERT(FALSE);  // the shell is too old for notification icons
    return FALSE;
  }
  m_bEnabled = pWnd && ::IsWindow(pWnd->GetSafeHwnd());
  if (!m_bEnabled) {
    ASSERT(FALSE);  // no notification window
    return FALSE;
  }
  ASSERT(uCallbackMessage >= WM_USER);
  ASSERT(!szTip || wcslen(szTip) <= kMaxTipChars);

  m_nid.cbSize = sizeof(NOTIFYICONDATAW);
  m_nid.hWnd = pWnd->GetSafeHwnd();
  m_nid.uID = uID;
  m_nid.hIcon = icon;
  m_nid.uFlags = kAllFlags;
  m_nid.uCallbackMessage = uCallbackMessage;
  CopyTip(szTip);

  m_bEnabled = Shell_NotifyIconW(NIM_ADD, &m_nid);
  ASSERT(m_bEnabled);
  if (m_bEnabled) m_bHidden = FALSE;
  return m_bEnabled;
}

void CTrayIcon::RemoveIcon() {
  if (!m_bEnabled) return;
  // A hidden icon is no longer in the area. Either way the object is done
  // with it: a refusal of the area must not leave it enabled for ShowIcon
  // and the setters.
  if (!m_bHidden) {
    m_nid.uFlags = 0;
    Shell_NotifyIconW(NIM_DELETE, &m_nid);
  }
  m_bEnabled = FALSE;
  m_bHidden = FALSE;
}

void CTrayIcon::HideIcon() {
  if (!m_bEnabled || m_bHidden) return;
  m_nid.uFlags = NIF_ICON;
  if (Shell_NotifyIconW(NIM_DELETE, &m_nid)) m_bHidden = TRUE;
}

void CTrayIcon::ShowIcon() {
  if (!m_bEnabled || !m_bHidden) return;
  m_nid.uFlags = kAllFlags;
  if (Shell_NotifyIconW(NIM_ADD, &m_nid)) m_bHidden = FALSE;
}

void CTrayIcon::RefreshIcon() {
  HideIcon();
  ShowIcon();
}

BOOL CTrayIcon::SetIcon(HICON hIcon) {
  if (!m_bEnabled) return FALSE;
  m_nid.uFlags = NIF_ICON;
  m_nid.hIcon = hIcon;
  return Shell_NotifyIconW(NIM_MODIFY, &m_nid);
}

BOOL CTrayIcon::SetIcon(LPCTSTR lpszIconName) {
  CWinApp *app = AfxGetApp();
  return SetIcon(app ? app->LoadIcon(lpszIconName) : HICON(nullptr));
}

BOOL CTrayIcon::SetIcon(UINT nIDResource) {
  CWinApp *app = AfxGetApp();
  return SetIcon(app ? app->LoadIcon(nIDResource) : HICON(nullptr));
}

BOOL CTrayIcon::SetStandardIcon(LPCTSTR lpIconName) { return SetIcon(::LoadIconW(nullptr, lpIconName)); }

BOOL CTrayIcon::SetStandardIcon(UINT nIDResource) {
  return SetIcon(::LoadIconW(nullptr, MAKEINTRESOURCEW(nIDResource)));
}

HICON CTrayIcon::GetIcon() const { return m_bEnabled ? m_nid.hIcon : nullptr; }

BOOL CTrayIcon::SetTooltipText(LPCTSTR pszTip) {
  if (!m_bEnabled) return FALSE;
  m_nid.uFlags = NIF_TIP;
  CopyTip(pszTip);
  return Shell_NotifyIconW(NIM_MODIFY, &m_nid);
}

BOOL CTrayIcon::SetTooltipText(UINT nID) {
  CString text;
  VERIFY(text.LoadString(nID));
  return SetTooltipText(text);
}

CString CTrayIcon::GetTooltipText() const { return m_bEnabled ? CString(m_nid.szTip) : CString(); }

BOOL CTrayIcon::SetNotificationWnd(CWnd *pNotifyWnd) {
  if (!m_bEnabled) return FALSE;
  ASSERT(pNotifyWnd && ::IsWindow(pNotifyWnd->GetSafeHwnd()));
  const HWND hNew = pNotifyWnd ? pNotifyWnd->GetSafeHwnd() : nullptr;
  if (hNew == m_nid.hWnd || m_bHidden) {
    m_nid.hWnd = hNew;
    m_nid.uFlags = 0;
    return m_bHidden ? TRUE : Shell_NotifyIconW(NIM_MODIFY, &m_nid);
  }
  // The area knows an icon by its window and id: moving it to another window
  // adds it there and then takes the old one away.
  NOTIFYICONDATAW old = m_nid;
  old.uFlags = 0;
  m_nid.hWnd = hNew;
  m_nid.uFlags = kAllFlags;
  if (!Shell_NotifyIconW(NIM_ADD, &m_nid)) {
    m_nid.hWnd = old.hWnd;
    return FALSE;
  }
  Shell_NotifyIconW(NIM_DELETE, &old);
  return TRUE;
}

CWnd *CTrayIcon::GetNotificationWnd() const { return CWnd::FromHandle(m_nid.hWnd); }

LRESULT CTrayIcon::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
  if (!m_bEnabled || wParam != m_nid.uID) return 0;
  switch (LOWORD(lParam)) {
    case WM_RBUTTONUP: {
      CMenu menu;
      if (!menu.LoadMenu(m_nid.uID)) return 0;
      CMenu *popup = menu.GetSubMenu(0);
      if (!popup) return 0;
      popup->SetDefaultItem(0, TRUE);
      POINT pt = {0, 0};
      ::GetCursorPos(&pt);
      popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_LEFTBUTTON, pt.x, pt.y, GetNotificationWnd());
      menu.DestroyMenu();
      break;
    }
    case WM_LBUTTONDBLCLK:
      ::SetForegroundWindow(m_nid.hWnd);
      ::ShowWindow(m_nid.hWnd, SW_SHOWNORMAL);
      break;
    default:
      break;
  }
  return 1;
}

// One icon in the notification area with a callback message and a tip of at
// most 64 characters. The owner window forwards the callback message to
// OnTrayNotification: a right-button release shows the first popup of the menu
// resource whose id is the icon's id, a double click brings the window to the
// front and shows it.
//
// The object starts disabled; Create enables it, RemoveIcon (also run by the
// destructor) disables it until Create runs again. While disabled every
// operation but Create does nothing and gives FALSE, none or an empty text.
#pragma once

#include "platform/window/afxwin.h"
#include "platform/window/shellnotify.h"

class CTrayIcon : public CObject {
  DECLARE_DYNAMIC(CTrayIcon)

 public:
  CTrayIcon();
  CTrayIcon(CWnd *pWnd, UINT uCallbackMessage, LPCTSTR szTip, HICON icon, UINT uID);
  ~CTrayIcon() override;

  // Adds the icon: pWnd receives uCallbackMessage (at least WM_USER) with
  // (uID, mouse message). A second call replaces the icon with the new values.
  BOOL Create(CWnd *pWnd, UINT uCallbackMessage, LPCTSTR szTip, HICON icon, UINT uID);

  // Takes the icon out of the area (when shown) and disables the object,
  // also when the area refuses.
  void RemoveIcon();
  // Takes the icon out of the area until ShowIcon puts it back.
  void HideIcon();
  void ShowIcon();
  void RefreshIcon();

  BOOL SetIcon(HICON hIcon);
  BOOL SetIcon(LPCTSTR lpszIconName);  // loaded through the application object
  BOOL SetIcon(UINT nIDResource);
  BOOL SetStandardIcon(LPCTSTR lpIconName);  // a system icon (IDI_*)
  BOOL SetStandardIcon(UINT nIDResource);
  HICON GetIcon() const;

  BOOL SetTooltipText(LPCTSTR pszTip);
  BOOL SetTooltipText(UINT nID);  // a string resource
  CString GetTooltipText() const;

  // Moves the icon's notifications to another window.
  BOOL SetNotificationWnd(CWnd *pNotifyWnd);
  CWnd *GetNotificationWnd() const;

  // Handles the callback message; 0 for another icon's id or a right click
  // without its menu, else 1.
  virtual LRESULT OnTrayNotification(WPARAM wParam, LPARAM lParam);

 protected:
  BOOL m_bEnabled;
  BOOL m_bHidden;
  NOTIFYICONDATAW m_nid;

 private:
  void CopyTip(LPCTSTR pszTip);
};

// Window objects with the message model of the original window system.
//
// A CWnd is attached to a window record (HWND) owned by the layer. Messages are
// delivered with SendMessage (at once, on the calling thread) or PostMessage
// (queued; any thread may post, the UI thread delivers). Delivery runs the
// class's WindowProc: message-map entries first (most derived class first, then
// its bases), and DefWindowProc for messages no entry handles. A handler that
// calls the base class's OnXxx gets the default processing of the message it is
// handling (Default()).
//
// Window state (rectangles, visibility, top-most, owner, styles, texts, region,
// timers) lives in the layer; a backend mirrors it: GTK 3 on X11 for the
// program, a headless one for tests (platform/window/headless.h). Choose the backend
// with AfxSetBackend before the first window exists. All window calls belong to
// the UI thread, except PostMessage and the browser's Navigate.
//
// Owned windows (a dialog created with a parent that is not its child) stay
// visible while the owner is hidden and are destroyed with the owner.
#pragma once

#include <functional>
#include <map>

#include "platform/text/cstring.h"
#include "platform/window/gdi.h"
#include "platform/window/object.h"
#include "platform/window/window_resources.h"
#include "platform/window/window_types.h"

class CWnd;
class CMenu;
class CCmdTarget;
class CCmdUI;

// ---------------------------------------------------------------- backends

enum AFX_BACKEND { BACKEND_NONE, BACKEND_GTK, BACKEND_HEADLESS };
// Selects the backend; FALSE once windows exist or when GTK cannot open a
// display. The GTK backend runs on X11 (it sets GDK_BACKEND=x11 first).
BOOL AfxSetBackend(AFX_BACKEND backend);
AFX_BACKEND AfxGetBackend();
// True on the thread that owns the windows (the one that chose the backend).
BOOL AfxIsUiThread();
// Runs fn on the UI thread: at once when called there, else queued like a
// posted message.
void AfxRunOnUiThread(std::function<void()> fn);

// ---------------------------------------------------------------- message maps

#define CN_COMMAND 0
#define CN_UPDATE_COMMAND_UI ((UINT)(-1))

typedef LRESULT (*AFX_MSGTHUNK)(CCmdTarget *target, UINT message, WPARAM wParam, LPARAM lParam);

// One row of a class's message table. Commands: nMessage WM_COMMAND, nCode the
// notification (CN_COMMAND for menus and button clicks, CN_UPDATE_COMMAND_UI
// for update handlers, lParam then being the CCmdUI*), ids nID..nLastID. Other
// messages: nMessage up to nLastID when nLastID is set (a range).
struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  UINT nLastID;
  AFX_MSGTHUNK pfn;
};

struct AFX_MSGMAP {
  const AFX_MSGMAP *(*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY *lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP *GetThisMessageMap(); \
  const AFX_MSGMAP *GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP *theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP *theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                    \
    using TheBaseClass = baseClass;                                                 \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                       \
  { 0, 0, 0, 0, nullptr }                                                                       \
  }                                                                                             \
  ;                                                                                             \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                           \
  }

#define AFX_THUNK(body)                                                                                             \
  [](CCmdTarget *_t, [[maybe_unused]] UINT _m, [[maybe_unused]] WPARAM _w, [[maybe_unused]] LPARAM _l) -> LRESULT { \
    body                                                                                                            \
  }
#define AFX_THIS static_cast<ThisClass *>(_t)

#define ON_COMMAND(id, memberFxn)                                                                 \
  { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(id), AFX_THUNK(AFX_THIS->memberFxn(); return 0;) } \
  ,
#define ON_COMMAND_RANGE(id, idLast, memberFxn)                                                                       \
  { WM_COMMAND, CN_COMMAND, (UINT)(id), (UINT)(idLast), AFX_THUNK(AFX_THIS->memberFxn((UINT)LOWORD(_w)); return 0;) } \
  ,
#define ON_BN_CLICKED(id, memberFxn)                                                              \
  { WM_COMMAND, BN_CLICKED, (UINT)(id), (UINT)(id), AFX_THUNK(AFX_THIS->memberFxn(); return 0;) } \
  ,
#define ON_EN_CHANGE(id, memberFxn)                                                              \
  { WM_COMMAND, EN_CHANGE, (UINT)(id), (UINT)(id), AFX_THUNK(AFX_THIS->memberFxn(); return 0;) } \
  ,
#define ON_UPDATE_COMMAND_UI(id, memberFxn)                                       \
  {                                                                               \
    WM_COMMAND, CN_UPDATE_COMMAND_UI, (UINT)(id), (UINT)(id),                     \
        AFX_THUNK(AFX_THIS->memberFxn(reinterpret_cast<CCmdUI *>(_l)); return 0;) \
  }                                                                               \
  ,
#define ON_MESSAGE(message, memberFxn)                                         \
  { (UINT)(message), 0, 0, 0, AFX_THUNK(return AFX_THIS->memberFxn(_w, _l);) } \
  ,

#define ON_WM_TIMER()                                                          \
  { WM_TIMER, 0, 0, 0, AFX_THUNK(AFX_THIS->OnTimer((UINT_PTR)_w); return 0;) } \
  ,
#define ON_WM_PAINT()                                              \
  { WM_PAINT, 0, 0, 0, AFX_THUNK(AFX_THIS->OnPaint(); return 0;) } \
  ,
#define ON_WM_NCPAINT()                                                \
  { WM_NCPAINT, 0, 0, 0, AFX_THUNK(AFX_THIS->OnNcPaint(); return 0;) } \
  ,
#define ON_WM_NCHITTEST()                                                         \
  { WM_NCHITTEST, 0, 0, 0, AFX_THUNK(return AFX_THIS->OnNcHitTest(CPoint(_l));) } \
  ,
#define ON_WM_NCLBUTTONDOWN()                                                                          \
  { WM_NCLBUTTONDOWN, 0, 0, 0, AFX_THUNK(AFX_THIS->OnNcLButtonDown((UINT)_w, CPoint(_l)); return 0;) } \
  ,
#define AFX_MOUSE_ENTRY(msg, fn)                                             \
  { msg, 0, 0, 0, AFX_THUNK(AFX_THIS->fn((UINT)_w, CPoint(_l)); return 0;) } \
  ,
#define ON_WM_MOUSEMOVE() AFX_MOUSE_ENTRY(WM_MOUSEMOVE, OnMouseMove)
#define ON_WM_LBUTTONDOWN() AFX_MOUSE_ENTRY(WM_LBUTTONDOWN, OnLButtonDown)
#define ON_WM_LBUTTONUP() AFX_MOUSE_ENTRY(WM_LBUTTONUP, OnLButtonUp)
#define ON_WM_LBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_LBUTTONDBLCLK, OnLButtonDblClk)
#define ON_WM_RBUTTONDOWN() AFX_MOUSE_ENTRY(WM_RBUTTONDOWN, OnRButtonDown)
#define ON_WM_RBUTTONUP() AFX_MOUSE_ENTRY(WM_RBUTTONUP, OnRButtonUp)
#define ON_WM_RBUTTONDBLCLK() AFX_MOUSE_ENTRY(WM_RBUTTONDBLCLK, OnRButtonDblClk)
#define ON_WM_CONTEXTMENU()                                                                                          \
  { WM_CONTEXTMENU, 0, 0, 0, AFX_THUNK(AFX_THIS->OnContextMenu(CWnd::FromHandle((HWND)_w), CPoint(_l)); return 0;) } \
  ,
#define ON_WM_SETCURSOR()                                                                                         \
  {                                                                                                               \
    WM_SETCURSOR, 0, 0, 0,                                                                                        \
        AFX_THUNK(                                                                                                \
            return AFX_THIS->OnSetCursor(CWnd::FromHandle((HWND)_w), (UINT)(short)LOWORD(_l), (UINT)HIWORD(_l));) \
  }                                                                                                               \
  ,
// wParam: the HDC of the control's paint; lParam: the control's HWND.
#define ON_WM_CTLCOLOR()                                                                                     \
  {                                                                                                          \
    WM_CTLCOLORMSGBOX, 0, 0, WM_CTLCOLORSTATIC,                                                              \
        AFX_THUNK(return (LRESULT)AFX_THIS->OnCtlColor(CDC::FromHandle((HDC)_w), CWnd::FromHandle((HWND)_l), \
                                                       _m - WM_CTLCOLORMSGBOX);)                             \
  }                                                                                                          \
  ,
#define ON_WM_SYSCOMMAND()                                                               \
  { WM_SYSCOMMAND, 0, 0, 0, AFX_THUNK(AFX_THIS->OnSysCommand((UINT)_w, _l); return 0;) } \
  ,
#define ON_WM_QUERYDRAGICON()                                                            \
  { WM_QUERYDRAGICON, 0, 0, 0, AFX_THUNK(return (LRESULT)AFX_THIS->OnQueryDragIcon();) } \
  ,
#define ON_WM_CLOSE()                                              \
  { WM_CLOSE, 0, 0, 0, AFX_THUNK(AFX_THIS->OnClose(); return 0;) } \
  ,
#define ON_WM_DESTROY()                                                \
  { WM_DESTROY, 0, 0, 0, AFX_THUNK(AFX_THIS->OnDestroy(); return 0;) } \
  ,
#define ON_WM_ERASEBKGND()                                                                        \
  { WM_ERASEBKGND, 0, 0, 0, AFX_THUNK(return AFX_THIS->OnEraseBkgnd(CDC::FromHandle((HDC)_w));) } \
  ,
// wParam: the popup's HMENU; lParam: MAKELONG(index, is-system-menu).
#define ON_WM_INITMENUPOPUP()                                                                                  \
  {                                                                                                            \
    WM_INITMENUPOPUP, 0, 0, 0,                                                                                 \
        AFX_THUNK(AFX_THIS->OnInitMenuPopup(CMenu::FromHandle((HMENU)_w), (UINT)LOWORD(_l), (BOOL)HIWORD(_l)); \
                  return 0;)                                                                                   \
  }                                                                                                            \
  ,

class CCmdTarget : public CObject {
 public:
  CCmdTarget() = default;
  // Runs the message-map entry for a command (CN_COMMAND) or an update
  // (CN_UPDATE_COMMAND_UI, pExtra = CCmdUI*). TRUE when an entry handled it.
  virtual BOOL OnCmdMsg(UINT nID, int nCode, void *pExtra, void *pHandlerInfo);
  static const AFX_MSGMAP *GetThisMessageMap();
  virtual const AFX_MSGMAP *GetMessageMap() const;

 protected:
  // The first entry of the class chain for the message (commands: for the
  // notification code and id); nullptr when none.
  const AFX_MSGMAP_ENTRY *FindMessageEntry(UINT message, UINT code, UINT id) const;
};

// Command-update routing of a menu item: the update handler sets its check
// mark or enabled state.
class CCmdUI {
 public:
  UINT m_nID = 0;
  UINT m_nIndex = 0;
  CMenu *m_pMenu = nullptr;
  CMenu *m_pSubMenu = nullptr;
  CMenu *m_pParentMenu = nullptr;
  CWnd *m_pOther = nullptr;
  BOOL m_bEnableChanged = FALSE;
  BOOL m_bContinueRouting = FALSE;
  UINT m_nIndexMax = 0;

  virtual ~CCmdUI() = default;
  virtual void Enable(BOOL bOn = TRUE);
  virtual void SetCheck(int nCheck = 1);
  virtual void SetText(LPCTSTR lpszText);
  void ContinueRouting() { m_bContinueRouting = TRUE; }
  // Runs the target's update handler for m_nID; with no handler and
  // bDisableIfNoHndler the item is disabled. TRUE when a handler ran.
  BOOL DoUpdate(CCmdTarget *pTarget, BOOL bDisableIfNoHndler);
};

class CDataExchange {
 public:
  CDataExchange(CWnd *pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
  BOOL m_bSaveAndValidate;
  CWnd *m_pDlgWnd;
};

// ---------------------------------------------------------------- menus

// A menu or popup. LoadMenu and CreatePopupMenu make a menu this object owns
// (destroyed with it); FromHandle and GetSubMenu give wrappers that never
// destroy. Destroying a menu destroys its popups.
class CMenu : public CObject {
 public:
  CMenu() = default;
  ~CMenu() override;
  CMenu(const CMenu &) = delete;
  CMenu &operator=(const CMenu &) = delete;

  HMENU m_hMenu = nullptr;
  HMENU GetSafeHmenu() const { return m_hMenu; }
  operator HMENU() const { return m_hMenu; }
  static CMenu *FromHandle(HMENU hMenu);
  BOOL Attach(HMENU hMenu);
  HMENU Detach();

  BOOL CreateMenu();
  BOOL CreatePopupMenu();
  // The menu resource of the id; FALSE when none is registered.
  BOOL LoadMenu(UINT nIDResource);
  BOOL LoadMenu(LPCTSTR lpszResourceName);
  BOOL DestroyMenu();

  BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
  BOOL InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
  BOOL RemoveMenu(UINT nPosition, UINT nFlags);
  BOOL DeleteMenu(UINT nPosition, UINT nFlags);
  BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
  // The previous check state (MF_CHECKED / MF_UNCHECKED), or (UINT)-1 when
  // the item does not exist.
  UINT CheckMenuItem(UINT nIDCheckItem, UINT nCheck);
  UINT EnableMenuItem(UINT nIDEnableItem, UINT nEnable);
  UINT GetMenuState(UINT nID, UINT nFlags) const;
  int GetMenuItemCount() const;
  UINT GetMenuItemID(int nPos) const;  // 0 separator, (UINT)-1 popup or none
  int GetMenuString(UINT nIDItem, CString &rString, UINT nFlags) const;
  CMenu *GetSubMenu(int nPos) const;
  BOOL SetDefaultItem(UINT uItem, BOOL fByPos = FALSE);
  UINT GetDefaultItem(UINT gmdiFlags, BOOL fByPos = FALSE) const;

  // Shows the popup at the screen point until an item is chosen or the menu
  // is dismissed. WM_INITMENUPOPUP goes to the owner first; the chosen item
  // is posted to the owner as WM_COMMAND (WM_SYSCOMMAND for the system menu),
  // or returned with TPM_RETURNCMD. FALSE when nothing was chosen.
  BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd *pWnd, LPCRECT lpRect = nullptr);

 private:
  bool m_bTemporary = false;
  friend struct MenuAccess;
};

// ---------------------------------------------------------------- windows

class CWnd : public CCmdTarget {
 public:
  CWnd();
  ~CWnd() override;
  CWnd(const CWnd &) = delete;
  CWnd &operator=(const CWnd &) = delete;

  HWND m_hWnd = nullptr;
  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }
  // The object attached to the window (its class object, or a wrapper the
  // layer keeps for the window); nullptr for no window.
  static CWnd *FromHandle(HWND hWnd);
  static CWnd *FromHandlePermanent(HWND hWnd);

  // Insert-after markers for SetWindowPos.
  static const CWnd wndTop;
  static const CWnd wndBottom;
  static const CWnd wndTopMost;
  static const CWnd wndNoTopMost;

  BOOL DestroyWindow();

  // Messages.
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Input messages pass here before delivery (the window under the pointer
  // or with the focus first, then its parents); TRUE swallows the message.
  virtual BOOL PreTranslateMessage(MSG *pMsg);
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
  virtual void DoDataExchange(CDataExchange *pDX);
  virtual void PostNcDestroy();
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  // Default processing of the message being handled.
  LRESULT Default();

  // Visibility, placement, z-order.
  BOOL ShowWindow(int nCmdShow);
  BOOL IsWindowVisible() const;
  BOOL SetWindowPos(const CWnd *pWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags);
  void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
  void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
  // Screen coordinates for every window.
  void GetWindowRect(LPRECT lpRect) const;
  // (0, 0, width, height): these windows have no frame.
  void GetClientRect(LPRECT lpRect) const;
  void ClientToScreen(LPPOINT lpPoint) const;
  void ClientToScreen(LPRECT lpRect) const;
  void ScreenToClient(LPPOINT lpPoint) const;
  void ScreenToClient(LPRECT lpRect) const;
  BOOL SetForegroundWindow();
  static CWnd *GetForegroundWindow();
  BOOL FlashWindow(BOOL bInvert);
  BOOL EnableWindow(BOOL bEnable = TRUE);
  BOOL IsWindowEnabled() const;

  // Styles.
  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
  BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);

  // Texts, children, relations.
  void SetWindowText(LPCTSTR lpszString);
  int GetWindowText(LPTSTR lpszStringBuf, int nMaxCount) const;
  void GetWindowText(CString &rString) const;
  int GetWindowTextLength() const;
  CWnd *GetDlgItem(int nID) const;
  int GetDlgCtrlID() const;
  void SetDlgItemText(int nID, LPCTSTR lpszString);
  int GetDlgItemText(int nID, CString &rString) const;
  CWnd *GetParent() const;
  CWnd *GetOwner() const;

  // Painting.
  void Invalidate(BOOL bErase = TRUE);
  void InvalidateRect(LPCRECT lpRect, BOOL bErase = TRUE);
  void UpdateWindow();
  CDC *GetDC();
  CDC *GetWindowDC() { return GetDC(); }
  int ReleaseDC(CDC *pDC);
  // The window takes the region (it deletes it when replaced or destroyed);
  // NULL removes the shape. Coordinates are the window's own.
  int SetWindowRgn(HRGN hRgn, BOOL bRedraw);
  // Copies the window's region into hRgn; ERROR when it has none.
  int GetWindowRgn(HRGN hRgn) const;
  HICON SetIcon(HICON hIcon, BOOL bBigIcon);
  HICON GetIcon(BOOL bBigIcon) const;

  // Timers arrive as WM_TIMER; SetTimer on a running id restarts it.
  UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer);
  BOOL KillTimer(UINT_PTR nIDEvent);

  // The window's system menu (only for WS_SYSMENU windows); bRevert restores
  // the default one and gives nullptr.
  CMenu *GetSystemMenu(BOOL bRevert) const;
  int MessageBox(LPCTSTR lpszText, LPCTSTR lpszCaption = nullptr, UINT nType = MB_OK);

 protected:
  // Base handlers: each runs the default processing of its message.
  void OnTimer(UINT_PTR nIDEvent);
  void OnPaint();
  void OnNcPaint();
  LRESULT OnNcHitTest(CPoint point);
  void OnNcLButtonDown(UINT nHitTest, CPoint point);
  void OnMouseMove(UINT nFlags, CPoint point);
  void OnLButtonDown(UINT nFlags, CPoint point);
  void OnLButtonUp(UINT nFlags, CPoint point);
  void OnLButtonDblClk(UINT nFlags, CPoint point);
  void OnRButtonDown(UINT nFlags, CPoint point);
  void OnRButtonUp(UINT nFlags, CPoint point);
  void OnRButtonDblClk(UINT nFlags, CPoint point);
  void OnContextMenu(CWnd *pWnd, CPoint pos);
  BOOL OnSetCursor(CWnd *pWnd, UINT nHitTest, UINT message);
  HBRUSH OnCtlColor(CDC *pDC, CWnd *pWnd, UINT nCtlColor);
  void OnSysCommand(UINT nID, LPARAM lParam);
  HCURSOR OnQueryDragIcon();
  void OnClose();
  void OnDestroy();
  BOOL OnEraseBkgnd(CDC *pDC);
  void OnInitMenuPopup(CMenu *pPopupMenu, UINT nIndex, BOOL bSysMenu);

  // Runs the message-map entry for the message; FALSE when none handled it.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT *pResult);

  DECLARE_MESSAGE_MAP()

 private:
  explicit CWnd(HWND marker);
  friend struct WindowAccess;
};

// ---------------------------------------------------------------- dialogs

class CDialog : public CWnd {
 public:
  CDialog();
  explicit CDialog(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
  ~CDialog() override;

  // Modeless: builds the window from the template (controls included), owned
  // by pParentWnd, runs OnInitDialog and shows it if the template is visible.
  virtual BOOL Create(UINT nIDTemplate, CWnd *pParentWnd = nullptr);
  // Modal: builds the window, runs a nested message loop until EndDialog, then
  // destroys the window (and the windows it owns). The same object can run
  // again. A window that is not visible when the loop starts is shown at the
  // loop's first idle moment. -1 when the template is missing.
  virtual INT_PTR DoModal();
  // Modal: ends the loop with nResult. Modeless: hides the window.
  void EndDialog(int nResult);
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  BOOL PreTranslateMessage(MSG *pMsg) override;
  BOOL IsModal() const { return m_bModal; }
  void MapDialogRect(LPRECT lpRect) const;

  UINT m_nIDHelp = 0;
  UINT m_nIDTemplate = 0;
  CWnd *m_pParentWnd = nullptr;

 protected:
  LRESULT HandleInitDialog(WPARAM wParam, LPARAM lParam);
  // Builds the window of template m_nIDTemplate; FALSE when it is missing.
  BOOL CreateFromTemplate(CWnd *pOwner, bool modal);
  // Called after the window exists and before WM_INITDIALOG (the browser
  // dialog adds its view here).
  virtual void OnTemplateCreated();

  DECLARE_MESSAGE_MAP()

 private:
  bool m_bModal = false;
  bool m_bEndLoop = false;
  int m_nModalResult = -1;
  friend struct DialogAccess;
};

// Controls created by dialog templates. GetDlgItem returns these objects.
class CStatic : public CWnd {
 public:
  HICON SetIcon(HICON hIcon);
  HICON GetIcon() const;
};

class CEdit : public CWnd {
 public:
  void SetSel(int nStartChar, int nEndChar, BOOL bNoScroll = FALSE);
  void LimitText(int nChars = 0);
  void ReplaceSel(LPCTSTR lpszNewText, BOOL bCanUndo = FALSE);
};

class CButton : public CWnd {
 public:
  // Presses the button: WM_COMMAND (id, BN_CLICKED) to the parent.
  void Click();
};

// ---------------------------------------------------------------- application

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
#define ICC_WIN95_CLASSES 0x000000FF
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX *picce);

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(LPCTSTR lpszAppName = nullptr);
  ~CWinApp() override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  // Delivers messages until PostQuitMessage; gives its exit code.
  virtual int Run();

  HICON LoadIcon(UINT nIDResource) const;
  HICON LoadIcon(LPCTSTR lpszResourceName) const;
  HICON LoadStandardIcon(LPCTSTR lpszIconName) const;
  HCURSOR LoadStandardCursor(LPCTSTR lpszCursorName) const;
  void SetRegistryKey(LPCTSTR lpszRegistryKey);
  void OnHelp();

  CWnd *m_pMainWnd = nullptr;
  LPCTSTR m_pszAppName = nullptr;
  LPCTSTR m_pszRegistryKey = nullptr;

  DECLARE_MESSAGE_MAP()
};

// String resource holding the application's name (AfxGetAppName, message-box
// captions); without it the program file's name stands in.
#define AFX_IDS_APP_TITLE 0xE000

class CWinAppEx : public CWinApp {
 public:
  explicit CWinAppEx(BOOL bResourceSmartUpdate = FALSE);
};

CWinApp *AfxGetApp();
LPCTSTR AfxGetAppName();
CWnd *AfxGetMainWnd();
void AfxEnableControlContainer();
void PostQuitMessage(int nExitCode);
// The program's entry: chooses the GTK backend (unless one was chosen), runs
// the application's InitInstance, then Run when it returned TRUE. The process
// exit code.
int AfxWinMain(int argc, char **argv);

// ---------------------------------------------------------------- free functions

BOOL IsWindow(HWND hWnd);
BOOL IsWindowVisible(HWND hWnd);
BOOL ShowWindow(HWND hWnd, int nCmdShow);
BOOL DestroyWindow(HWND hWnd);
BOOL SetForegroundWindow(HWND hWnd);
HWND GetForegroundWindow();
BOOL FlashWindow(HWND hWnd, BOOL bInvert);
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);
BOOL GetClientRect(HWND hWnd, LPRECT lpRect);
LRESULT SendMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL PostMessageW(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
inline LRESULT SendMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(hWnd, msg, wParam, lParam);
}
inline BOOL PostMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(hWnd, msg, wParam, lParam);
}
BOOL GetCursorPos(LPPOINT lpPoint);
BOOL DestroyMenu(HMENU hMenu);
BOOL IsMenu(HMENU hMenu);
int GetSystemMetrics(int nIndex);

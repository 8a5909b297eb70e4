// Icons in the notification area (the system tray).
//
// Each icon is known by its notification window and id. Its mouse events come
// back to the window as the icon's callback message with wParam = the id and
// lParam = the mouse message: WM_RBUTTONUP when the right button is released
// over it (or its menu is asked for from the keyboard), WM_LBUTTONDBLCLK on a
// double click of the left button.
//
// GTK backend: where the session bus has a StatusNotifierWatcher (the panels
// of today's desktops), each icon is a StatusNotifierItem on that bus; its
// Activate gives the double click, its ContextMenu the right button's
// release. Elsewhere each icon is a GtkStatusIcon, shown by any XEmbed tray
// host. A watcher that appears or goes away later is followed: the icons move
// to it and back. An item the watcher refuses falls back to XEmbed. The first
// icon of the process shows once the bus has answered (at most 2 s).
// Headless backend: the icons are records a test reads and whose events it
// fires.
//
// An icon whose window has been destroyed is taken out of the area before the
// next icon is added, so a window created again (with the same id) does not
// leave a dead icon beside the new one.
#pragma once

#include <string>
#include <vector>

#include "platform/window/window_types.h"

#define NIM_ADD 0x00000000u
#define NIM_MODIFY 0x00000001u
#define NIM_DELETE 0x00000002u

#define NIF_MESSAGE 0x00000001u
#define NIF_ICON 0x00000002u
#define NIF_TIP 0x00000004u

struct NOTIFYICONDATAW {
  DWORD cbSize;
  HWND hWnd;
  UINT uID;
  UINT uFlags;
  UINT uCallbackMessage;
  HICON hIcon;
  WCHAR szTip[128];
  DWORD dwState;
  DWORD dwStateMask;
  WCHAR szInfo[256];
  UINT uTimeout;
  WCHAR szInfoTitle[64];
  DWORD dwInfoFlags;
};
typedef NOTIFYICONDATAW *PNOTIFYICONDATAW;

// NIM_ADD: a new icon (FALSE when the window is no window, or when it already
// has an icon of that id). NIM_MODIFY: changes the fields uFlags names.
// NIM_DELETE: removes the icon. FALSE for an icon that does not exist.
BOOL Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData);

// The version of the platform: the low byte is the major version, the next
// byte the minor one.
DWORD GetVersion();

// ---------------------------------------------------------------- headless tests

struct HeadlessTrayIcon {
  HWND hWnd;
  UINT uID;
  UINT uCallbackMessage;
  HICON hIcon;
  std::wstring tip;
};
// The icons in the area, in the order they were added.
std::vector<HeadlessTrayIcon> HeadlessTrayIcons();
// Counts of Shell_NotifyIconW calls by message (NIM_ADD, NIM_MODIFY, NIM_DELETE).
int HeadlessTrayCallCount(DWORD dwMessage);
// The tray refuses the next calls (every Shell_NotifyIconW returns FALSE)
// while set.
void HeadlessTraySetRefusing(bool refusing);
// The user acts on an icon: sends its callback message to its window with
// (id, mouseMessage) and gives the handler's result; 0 when there is no such
// icon.
LRESULT HeadlessTrayEvent(HWND hWnd, UINT uID, UINT mouseMessage);
// Clears the records (HeadlessReset does not reach them).
void HeadlessTrayReset();

// ---------------------------------------------------------------- GTK backend tests

typedef struct _GtkStatusIcon GtkStatusIcon;
// The XEmbed icon that shows the icon now, or nullptr.
GtkStatusIcon *AfxTrayStatusIcon(HWND hWnd, UINT uID);
// The bus name of the StatusNotifierItem that shows the icon now, once the
// watcher has accepted it; empty otherwise.
std::string AfxTrayItemName(HWND hWnd, UINT uID);

// A program that holds one tray icon (window 900, icon id 136, tip "holder")
// on the GTK backend until it is ended: SIGTERM makes it exit(0) from its main
// loop, as the tray menu's exit does; any other end is the system's.
#include <glib-unix.h>

#include <cstdlib>
#include <cwchar>

#include "platform/window/afxwin.h"
#include "platform/window/shellnotify.h"
#include "platform/window/window_resources.h"

int main() {
  if (!AfxSetBackend(BACKEND_GTK)) return 2;
  RegisterDialogTemplate({900, 100, 50, WS_POPUP | WS_SYSMENU, 0, nullptr, 9, {}});
  CDialog owner(900);
  if (!owner.Create(900, nullptr)) return 3;
  NOTIFYICONDATAW nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner.GetSafeHwnd();
  nid.uID = 136;
  nid.uFlags = NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = WM_USER + 10;
  std::wcscpy(nid.szTip, L"holder");
  if (!Shell_NotifyIconW(NIM_ADD, &nid)) return 4;
  g_unix_signal_add(
      SIGTERM, [](gpointer) -> gboolean { std::exit(0); }, nullptr);
  for (;;) g_main_context_iteration(nullptr, TRUE);
}

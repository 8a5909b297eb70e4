#include "platform/window/shellnotify.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cwchar>
#include <mutex>

#include "platform/text/codepage.h"
#include "platform/window/window.h"
#include "platform/window/window_internal.h"

namespace {

struct TrayIcon {
  HWND hWnd;
  UINT uID;
  UINT uCallbackMessage;
  HICON hIcon;
  std::wstring tip;
  GtkStatusIcon *status = nullptr;  // GTK backend only
};

std::mutex g_mutex;
std::vector<TrayIcon> g_icons;
int g_calls[3] = {0, 0, 0};
bool g_refusing = false;

std::vector<TrayIcon>::iterator FindIcon(HWND hWnd, UINT uID) {
  return std::find_if(g_icons.begin(), g_icons.end(),
                      [&](const TrayIcon &i) { return i.hWnd == hWnd && i.uID == uID; });
}

// The callback message of an icon; 0 when there is no such icon or it has none.
UINT CallbackOf(HWND hWnd, UINT uID) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = FindIcon(hWnd, uID);
  return it == g_icons.end() ? 0 : it->uCallbackMessage;
}

// ---- GTK mirror. GtkStatusIcon is deprecated in GTK 3 but is what XEmbed
// tray hosts show.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// The icon's record travels with its status icon as (window, id), looked up
// again when an event arrives: the record may be gone by then.
struct StatusKey {
  HWND hWnd;
  UINT uID;
};

// Sent at once from the GTK signal (the UI thread), so a menu the window opens
// has the click as its trigger event.
void SendTrayMessage(const StatusKey *key, UINT mouseMessage) {
  if (const UINT callback = CallbackOf(key->hWnd, key->uID)) SendMessageW(key->hWnd, callback, key->uID, mouseMessage);
}

gboolean OnStatusPress(GtkStatusIcon *, GdkEventButton *event, gpointer data) {
  if (event->button == 1 && event->type == GDK_2BUTTON_PRESS) {
    SendTrayMessage(static_cast<StatusKey *>(data), WM_LBUTTONDBLCLK);
    return TRUE;
  }
  // The right button acts on its release; keep GTK from opening a menu on the press.
  return event->button == 3;
}

gboolean OnStatusRelease(GtkStatusIcon *, GdkEventButton *event, gpointer data) {
  if (event->button != 3) return FALSE;
  SendTrayMessage(static_cast<StatusKey *>(data), WM_RBUTTONUP);
  return TRUE;
}

void OnStatusPopupMenu(GtkStatusIcon *, guint, guint, gpointer data) {
  SendTrayMessage(static_cast<StatusKey *>(data), WM_RBUTTONUP);
}

void ApplyStatusIcon(TrayIcon &icon) {
  if (!icon.status) {
    icon.status = gtk_status_icon_new();
    auto *key = new StatusKey{icon.hWnd, icon.uID};
    g_object_set_data_full(G_OBJECT(icon.status), "tickora-tray-key", key,
                           [](gpointer p) { delete static_cast<StatusKey *>(p); });
    g_signal_connect(icon.status, "button-press-event", G_CALLBACK(OnStatusPress), key);
    g_signal_connect(icon.status, "button-release-event", G_CALLBACK(OnStatusRelease), key);
    g_signal_connect(icon.status, "popup-menu", G_CALLBACK(OnStatusPopupMenu), key);
  }
  if (GdkPixbuf *pixbuf = AfxIconPixbuf(icon.hIcon))
    gtk_status_icon_set_from_pixbuf(icon.status, pixbuf);
  else
    gtk_status_icon_set_from_icon_name(icon.status, "application-x-executable");
  gtk_status_icon_set_tooltip_text(icon.status, WideToMultiByte(CP_UTF8, icon.tip).c_str());
  gtk_status_icon_set_visible(icon.status, TRUE);
}

void DropStatusIcon(TrayIcon &icon) {
  if (!icon.status) return;
  gtk_status_icon_set_visible(icon.status, FALSE);
  g_object_unref(icon.status);
  icon.status = nullptr;
}

#pragma GCC diagnostic pop

bool Mirrored() { return AfxGetBackend() == BACKEND_GTK; }

void CopyTip(TrayIcon &icon, const NOTIFYICONDATAW &nid) {
  const size_t cap = sizeof nid.szTip / sizeof nid.szTip[0];
  icon.tip.assign(nid.szTip, wcsnlen(nid.szTip, cap));
}

// Takes icons of destroyed windows out of the area.
void SweepDeadIcons() {
  for (auto it = g_icons.begin(); it != g_icons.end();) {
    if (IsWindow(it->hWnd)) {
      ++it;
    } else {
      DropStatusIcon(*it);
      it = g_icons.erase(it);
    }
  }
}

}  // namespace

BOOL Shell_NotifyIconW(DWORD dwMessage, PNOTIFYICONDATAW lpData) {
  if (!lpData || dwMessage > NIM_DELETE) return FALSE;
  std::lock_guard<std::mutex> lock(g_mutex);
  ++g_calls[dwMessage];
  if (g_refusing) return FALSE;
  const NOTIFYICONDATAW &nid = *lpData;
  auto it = FindIcon(nid.hWnd, nid.uID);
  switch (dwMessage) {
    case NIM_ADD: {
      if (!IsWindow(nid.hWnd)) return FALSE;
      SweepDeadIcons();
      if (FindIcon(nid.hWnd, nid.uID) != g_icons.end()) return FALSE;
      TrayIcon icon{nid.hWnd, nid.uID, 0, nullptr, {}};
      if (nid.uFlags & NIF_MESSAGE) icon.uCallbackMessage = nid.uCallbackMessage;
      if (nid.uFlags & NIF_ICON) icon.hIcon = nid.hIcon;
      if (nid.uFlags & NIF_TIP) CopyTip(icon, nid);
      if (Mirrored()) ApplyStatusIcon(icon);
      g_icons.push_back(std::move(icon));
      return TRUE;
    }
    case NIM_MODIFY: {
      if (it == g_icons.end()) return FALSE;
      if (nid.uFlags & NIF_MESSAGE) it->uCallbackMessage = nid.uCallbackMessage;
      if (nid.uFlags & NIF_ICON) it->hIcon = nid.hIcon;
      if (nid.uFlags & NIF_TIP) CopyTip(*it, nid);
      if (Mirrored()) ApplyStatusIcon(*it);
      return TRUE;
    }
    default: {
      if (it == g_icons.end()) return FALSE;
      DropStatusIcon(*it);
      g_icons.erase(it);
      return TRUE;
    }
  }
}

DWORD GetVersion() {
  // 6.1, build 7601: a shell of version 4 or later.
  return (7601u << 16) | (1u << 8) | 6u;
}

std::vector<HeadlessTrayIcon> HeadlessTrayIcons() {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::vector<HeadlessTrayIcon> out;
  for (const auto &i : g_icons) out.push_back({i.hWnd, i.uID, i.uCallbackMessage, i.hIcon, i.tip});
  return out;
}

int HeadlessTrayCallCount(DWORD dwMessage) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return dwMessage <= NIM_DELETE ? g_calls[dwMessage] : 0;
}

void HeadlessTraySetRefusing(bool refusing) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_refusing = refusing;
}

LRESULT HeadlessTrayEvent(HWND hWnd, UINT uID, UINT mouseMessage) {
  const UINT callback = CallbackOf(hWnd, uID);
  return callback ? SendMessageW(hWnd, callback, uID, mouseMessage) : 0;
}

void HeadlessTrayReset() {
  std::lock_guard<std::mutex> lock(g_mutex);
  for (auto &i : g_icons) DropStatusIcon(i);
  g_icons.clear();
  std::fill(std::begin(g_calls), std::end(g_calls), 0);
  g_refusing = false;
}

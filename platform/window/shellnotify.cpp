#include "platform/window/shellnotify.h"

#include <gtk/gtk.h>

#include <errno.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <mutex>

#include "platform/text/codepage.h"
#include "platform/window/statusnotifier_internal.h"
#include "platform/window/window.h"
#include "platform/window/window_internal.h"

namespace {

struct TrayIcon {
  HWND hWnd;
  UINT uID;
  UINT uCallbackMessage;
  HICON hIcon;
  std::wstring tip;
  // GTK backend only: the icon is shown by one of the two.
  GtkStatusIcon *status = nullptr;
  std::unique_ptr<wl::StatusNotifierItem> item;
  unsigned itemSerial = 0;    // tells the item's callbacks apart from those of an earlier one
  unsigned itemFailedAt = 0;  // the watcher's generation in which its item failed
};

std::mutex g_mutex;
// Never destroyed: the process may end with icons in the area (the tray
// menu's exit), and their bus connections and widgets end with it.
std::vector<TrayIcon> &g_icons = *new std::vector<TrayIcon>;
int g_calls[3] = {0, 0, 0};
bool g_refusing = false;

// The session's StatusNotifierWatcher, as last heard: unknown until the bus
// answers (icons wait for that, at most 2 s), then its bus's address or empty.
// The generation counts its changes.
struct WatcherState {
  bool known = false;
  std::string address;
  unsigned generation = 1;
} g_watcher;

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

// Sent from the UI thread (a GTK signal or an idle), so a menu the window
// opens has the click, if any, as its trigger event. The icon is looked up
// again: it may be gone by then.
void SendTrayMessage(HWND hWnd, UINT uID, UINT mouseMessage) {
  if (const UINT callback = CallbackOf(hWnd, uID)) SendMessageW(hWnd, callback, uID, mouseMessage);
}

// ---- XEmbed. GtkStatusIcon is deprecated in GTK 3 but is what XEmbed tray
// hosts show.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// The icon's record travels with its status icon as (window, id).
struct StatusKey {
  HWND hWnd;
  UINT uID;
};

gboolean OnStatusPress(GtkStatusIcon *, GdkEventButton *event, gpointer data) {
  if (event->button == 1 && event->type == GDK_2BUTTON_PRESS) {
    const auto *key = static_cast<StatusKey *>(data);
    SendTrayMessage(key->hWnd, key->uID, WM_LBUTTONDBLCLK);
    return TRUE;
  }
  // The right button acts on its release; keep GTK from opening a menu on the press.
  return event->button == 3;
}

gboolean OnStatusRelease(GtkStatusIcon *, GdkEventButton *event, gpointer data) {
  if (event->button != 3) return FALSE;
  const auto *key = static_cast<StatusKey *>(data);
  SendTrayMessage(key->hWnd, key->uID, WM_RBUTTONUP);
  return TRUE;
}

void OnStatusPopupMenu(GtkStatusIcon *, guint, guint, gpointer data) {
  const auto *key = static_cast<StatusKey *>(data);
  SendTrayMessage(key->hWnd, key->uID, WM_RBUTTONUP);
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

// ---- StatusNotifierItem

wl::TrayLook LookOf(const TrayIcon &icon) { return {WideToMultiByte(CP_UTF8, icon.tip), AfxIconPixbuf(icon.hIcon)}; }

// The item's Id: the program's name and the icon's id, the same in every
// session.
std::string ItemId(UINT uID) { return std::string(program_invocation_short_name) + "-" + std::to_string(uID); }

void Present(TrayIcon &icon);

// An item that cannot be shown leaves its icon to XEmbed until the watcher
// changes. Its record is found again by the item's serial, from an idle: the
// item must not be destroyed inside its own callback.
void OnItemFailed(unsigned serial) {
  g_idle_add(
      [](gpointer p) -> gboolean {
        const unsigned serial = GPOINTER_TO_UINT(p);
        std::lock_guard<std::mutex> lock(g_mutex);
        for (auto &icon : g_icons) {
          if (!icon.item || icon.itemSerial != serial) continue;
          icon.itemFailedAt = g_watcher.generation;
          Present(icon);
        }
        return G_SOURCE_REMOVE;
      },
      GUINT_TO_POINTER(serial));
}

void Present(TrayIcon &icon) {
  if (!g_watcher.known) return;
  if (g_watcher.address.empty() || icon.itemFailedAt == g_watcher.generation) {
    icon.item.reset();
    ApplyStatusIcon(icon);
    return;
  }
  DropStatusIcon(icon);
  if (icon.item) return icon.item->SetLook(LookOf(icon));
  static unsigned serials = 0;
  const unsigned serial = ++serials;
  const HWND hWnd = icon.hWnd;
  const UINT uID = icon.uID;
  wl::StatusNotifierItem::Handlers handlers;
  handlers.event = [hWnd, uID](UINT mouseMessage) { SendTrayMessage(hWnd, uID, mouseMessage); };
  handlers.failed = [serial] { OnItemFailed(serial); };
  icon.itemSerial = serial;
  icon.item = std::make_unique<wl::StatusNotifierItem>(g_watcher.address, ItemId(uID), LookOf(icon), handlers);
}

void Withdraw(TrayIcon &icon) {
  icon.item.reset();
  DropStatusIcon(icon);
}

void OnWatcherChanged(const std::string &address) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_watcher.known && address == g_watcher.address) return;
  g_watcher.known = true;
  g_watcher.address = address;
  ++g_watcher.generation;
  // Items of a watcher that went away go with it; a new watcher gets new ones.
  for (auto &icon : g_icons) {
    icon.item.reset();
    Present(icon);
  }
}

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
      Withdraw(*it);
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
      TrayIcon icon{nid.hWnd, nid.uID, 0, nullptr, {}, nullptr, nullptr, 0, 0};
      if (nid.uFlags & NIF_MESSAGE) icon.uCallbackMessage = nid.uCallbackMessage;
      if (nid.uFlags & NIF_ICON) icon.hIcon = nid.hIcon;
      if (nid.uFlags & NIF_TIP) CopyTip(icon, nid);
      g_icons.push_back(std::move(icon));
      if (Mirrored()) {
        wl::FollowStatusNotifierWatcher(&OnWatcherChanged);
        Present(g_icons.back());
      }
      return TRUE;
    }
    case NIM_MODIFY: {
      if (it == g_icons.end()) return FALSE;
      if (nid.uFlags & NIF_MESSAGE) it->uCallbackMessage = nid.uCallbackMessage;
      if (nid.uFlags & NIF_ICON) it->hIcon = nid.hIcon;
      if (nid.uFlags & NIF_TIP) CopyTip(*it, nid);
      if (Mirrored()) Present(*it);
      return TRUE;
    }
    default: {
      if (it == g_icons.end()) return FALSE;
      Withdraw(*it);
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
  for (auto &i : g_icons) Withdraw(i);
  g_icons.clear();
  std::fill(std::begin(g_calls), std::end(g_calls), 0);
  g_refusing = false;
}

GtkStatusIcon *AfxTrayStatusIcon(HWND hWnd, UINT uID) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = FindIcon(hWnd, uID);
  return it == g_icons.end() ? nullptr : it->status;
}

std::string AfxTrayItemName(HWND hWnd, UINT uID) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto it = FindIcon(hWnd, uID);
  return it == g_icons.end() || !it->item || !it->item->Registered() ? std::string() : it->item->BusName();
}

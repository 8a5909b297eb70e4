// Tray icons on the panels that speak the StatusNotifierItem protocol over
// D-Bus (the session bus's org.kde.StatusNotifierWatcher keeps the list of
// items; the panels read each item's properties and call its methods).
//
// An item has a bus connection of its own, because the protocol puts every
// item at the object path /StatusNotifierItem, under a bus name of the form
// org.kde.StatusNotifierItem-<pid>-<n>. Its properties: Category
// "ApplicationStatus", Id, Title and ToolTip (the tip), Status "Active",
// IconPixmap (ARGB32 in network byte order; IconName names a generic icon when
// there is no image), ItemIsMenu false and Menu "/NO_DBUSMENU": the program
// shows its own menu. Activate stands for the left button's double click,
// ContextMenu for the right button's release.
//
// Everything runs in the main loop of the thread that made the item (the UI
// thread): the connection, the name and the registration are asynchronous,
// and the handlers are called from the main loop, never from inside a call
// of this interface.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <functional>
#include <string>

#include "platform/text/windef.h"

namespace wl {

// What an item shows.
struct TrayLook {
  std::string tip;              // UTF-8
  GdkPixbuf *pixbuf = nullptr;  // not owned; nullptr: a generic icon by name
};

class StatusNotifierItem {
 public:
  struct Handlers {
    // The user acted on the item: the mouse message the action stands for,
    // called from an idle of the main loop (the item may be gone by then;
    // the handler must not use it).
    std::function<void(UINT mouseMessage)> event;
    // The item cannot be shown: the name was refused or lost, the connection
    // failed or closed, or the watcher refused the item. Called from the main
    // loop; the handler may destroy the item only later (from an idle).
    std::function<void()> failed;
  };

  // Connects to the bus at `address` and registers the item with the watcher.
  StatusNotifierItem(const std::string &address, const std::string &id, const TrayLook &look, Handlers handlers);
  // Takes the item off the bus: its name goes, and with it the watcher's entry.
  ~StatusNotifierItem();
  StatusNotifierItem(const StatusNotifierItem &) = delete;
  StatusNotifierItem &operator=(const StatusNotifierItem &) = delete;

  // Changes what the item shows and tells the panels (NewIcon, NewTitle,
  // NewToolTip) what changed.
  void SetLook(const TrayLook &look);

  const std::string &BusName() const { return busName_; }
  // The watcher accepted the item.
  bool Registered() const { return registered_; }

 private:
  static void OnConnected(GObject *, GAsyncResult *result, gpointer self);
  static void OnNameAcquired(GDBusConnection *, const gchar *, gpointer self);
  static void OnNameLost(GDBusConnection *, const gchar *, gpointer self);
  static void OnRegistered(GObject *, GAsyncResult *result, gpointer self);
  static void OnMethodCall(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *method,
                           GVariant *, GDBusMethodInvocation *invocation, gpointer self);
  static GVariant *OnGetProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *name,
                                 GError **error, gpointer self);
  void Fail();
  void Emit(const char *signal);

  const std::string busName_;
  const std::string id_;
  TrayLook look_;  // holds a reference on the pixbuf
  Handlers handlers_;
  GCancellable *cancel_;
  GDBusConnection *bus_ = nullptr;
  guint object_ = 0;
  guint name_ = 0;
  bool registered_ = false;
  bool failed_ = false;
};

// Follows the watcher on the session bus from the main loop: `changed` gets
// the bus's address when a watcher is there, an empty text when there is none
// (also when the session has no bus, or the bus gives no answer within 2 s).
// Started once per process; later calls change nothing.
void FollowStatusNotifierWatcher(std::function<void(const std::string &address)> changed);

}  // namespace wl

#include "platform/window/statusnotifier_internal.h"

#include <unistd.h>

#include <atomic>
#include <vector>

#include "platform/window/window_types.h"

namespace wl {

namespace {

const char kWatcherName[] = "org.kde.StatusNotifierWatcher";
const char kWatcherPath[] = "/StatusNotifierWatcher";
const char kItemPath[] = "/StatusNotifierItem";
const char kItemInterface[] = "org.kde.StatusNotifierItem";
const char kGenericIcon[] = "application-x-executable";

const char kItemXml[] =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='WindowId' type='i' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='IconPixmap' type='a(iiay)' access='read'/>"
    "<property name='OverlayIconName' type='s' access='read'/>"
    "<property name='OverlayIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='AttentionIconName' type='s' access='read'/>"
    "<property name='AttentionIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='ToolTip' type='(sa(iiay)ss)' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<property name='Menu' type='o' access='read'/>"
    "<method name='ContextMenu'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='Activate'><arg name='x' type='i' direction='in'/><arg name='y' type='i' direction='in'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i' direction='in'/>"
    "<arg name='y' type='i' direction='in'/></method>"
    "<method name='Scroll'><arg name='delta' type='i' direction='in'/>"
    "<arg name='orientation' type='s' direction='in'/></method>"
    "<signal name='NewTitle'/><signal name='NewIcon'/><signal name='NewAttentionIcon'/>"
    "<signal name='NewOverlayIcon'/><signal name='NewToolTip'/>"
    "<signal name='NewStatus'><arg name='status' type='s'/></signal>"
    "</interface></node>";

GDBusInterfaceInfo *ItemInterface() {
  static GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(kItemXml, nullptr);
  return node->interfaces[0];
}

std::string NextBusName() {
  static std::atomic<unsigned> n{0};
  return "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" + std::to_string(++n);
}

// The image as the protocol carries it: rows of ARGB32 pixels, each in
// network byte order (A, R, G, B); a pixbuf without alpha is opaque.
GVariant *PixmapVariant(GdkPixbuf *pixbuf) {
  GVariantBuilder list;
  g_variant_builder_init(&list, G_VARIANT_TYPE("a(iiay)"));
  if (pixbuf && gdk_pixbuf_get_colorspace(pixbuf) == GDK_COLORSPACE_RGB &&
      gdk_pixbuf_get_bits_per_sample(pixbuf) == 8) {
    const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
    const int stride = gdk_pixbuf_get_rowstride(pixbuf), channels = gdk_pixbuf_get_n_channels(pixbuf);
    const bool alpha = gdk_pixbuf_get_has_alpha(pixbuf);
    const guint8 *pixels = gdk_pixbuf_read_pixels(pixbuf);
    std::vector<guint8> argb(size_t(w) * h * 4);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const guint8 *in = pixels + size_t(y) * stride + size_t(x) * channels;
        guint8 *out = &argb[(size_t(y) * w + x) * 4];
        out[0] = alpha ? in[3] : 0xff;
        out[1] = in[0];
        out[2] = in[1];
        out[3] = in[2];
      }
    }
    g_variant_builder_add(&list, "(ii@ay)", w, h,
                          g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, argb.data(), argb.size(), 1));
  }
  return g_variant_builder_end(&list);
}

GVariant *EmptyPixmap() { return PixmapVariant(nullptr); }

}  // namespace

StatusNotifierItem::StatusNotifierItem(const std::string &address, const std::string &id, const TrayLook &look,
                                       Handlers handlers)
    : busName_(NextBusName()),
      id_(id),
      look_{look.tip, look.pixbuf ? GDK_PIXBUF(g_object_ref(look.pixbuf)) : nullptr},
      handlers_(std::move(handlers)),
      cancel_(g_cancellable_new()) {
  g_dbus_connection_new_for_address(address.c_str(),
                                    GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                    nullptr, cancel_, &OnConnected, this);
}

StatusNotifierItem::~StatusNotifierItem() {
  // Callbacks of calls still under way see the cancellation and leave the
  // item alone.
  g_cancellable_cancel(cancel_);
  g_object_unref(cancel_);
  if (name_) g_bus_unown_name(name_);
  if (bus_) {
    if (object_) g_dbus_connection_unregister_object(bus_, object_);
    // Closing takes every name of the connection off the bus at once.
    g_dbus_connection_close(bus_, nullptr, nullptr, nullptr);
    g_object_unref(bus_);
  }
  if (look_.pixbuf) g_object_unref(look_.pixbuf);
}

void StatusNotifierItem::SetLook(const TrayLook &look) {
  const bool newIcon = look.pixbuf != look_.pixbuf, newTip = look.tip != look_.tip;
  if (newIcon) {
    if (look.pixbuf) g_object_ref(look.pixbuf);
    if (look_.pixbuf) g_object_unref(look_.pixbuf);
    look_.pixbuf = look.pixbuf;
    Emit("NewIcon");
  }
  if (newTip) {
    look_.tip = look.tip;
    Emit("NewTitle");
    Emit("NewToolTip");
  }
}

void StatusNotifierItem::Emit(const char *signal) {
  if (bus_ && object_)
    g_dbus_connection_emit_signal(bus_, nullptr, kItemPath, kItemInterface, signal, nullptr, nullptr);
}

void StatusNotifierItem::Fail() {
  if (failed_) return;
  failed_ = true;
  registered_ = false;
  if (handlers_.failed) handlers_.failed();
}

void StatusNotifierItem::OnConnected(GObject *, GAsyncResult *result, gpointer self) {
  GError *error = nullptr;
  GDBusConnection *bus = g_dbus_connection_new_for_address_finish(result, &error);
  if (!bus) {
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_error_free(error);
    if (!cancelled) static_cast<StatusNotifierItem *>(self)->Fail();
    return;
  }
  // Not cancelled, so the item is still there: a call cancelled by the
  // destructor ends with G_IO_ERROR_CANCELLED even when it had succeeded.
  auto *me = static_cast<StatusNotifierItem *>(self);
  me->bus_ = bus;
  static const GDBusInterfaceVTable vtable = {&OnMethodCall, &OnGetProperty, nullptr, {}};
  me->object_ = g_dbus_connection_register_object(bus, kItemPath, ItemInterface(), &vtable, me, nullptr, nullptr);
  if (!me->object_) return me->Fail();
  me->name_ = g_bus_own_name_on_connection(bus, me->busName_.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                           &OnNameAcquired, &OnNameLost, me, nullptr);
}

void StatusNotifierItem::OnNameAcquired(GDBusConnection *bus, const gchar *, gpointer self) {
  auto *me = static_cast<StatusNotifierItem *>(self);
  g_dbus_connection_call(bus, kWatcherName, kWatcherPath, kWatcherName, "RegisterStatusNotifierItem",
                         g_variant_new("(s)", me->busName_.c_str()), nullptr, G_DBUS_CALL_FLAGS_NONE, 10000,
                         me->cancel_, &OnRegistered, me);
}

void StatusNotifierItem::OnNameLost(GDBusConnection *, const gchar *, gpointer self) {
  static_cast<StatusNotifierItem *>(self)->Fail();
}

void StatusNotifierItem::OnRegistered(GObject *bus, GAsyncResult *result, gpointer self) {
  GError *error = nullptr;
  GVariant *reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (!reply) {
    const bool cancelled = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    g_error_free(error);
    if (!cancelled) static_cast<StatusNotifierItem *>(self)->Fail();
    return;
  }
  g_variant_unref(reply);
  static_cast<StatusNotifierItem *>(self)->registered_ = true;
}

void StatusNotifierItem::OnMethodCall(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                                      const gchar *method, GVariant *, GDBusMethodInvocation *invocation,
                                      gpointer self) {
  auto *me = static_cast<StatusNotifierItem *>(self);
  const std::string name = method;
  UINT mouseMessage = 0;
  if (name == "Activate")
    mouseMessage = WM_LBUTTONDBLCLK;
  else if (name == "ContextMenu")
    mouseMessage = WM_RBUTTONUP;
  // SecondaryActivate and Scroll have no counterpart: answered, nothing done.
  g_dbus_method_invocation_return_value(invocation, nullptr);
  // The answer goes first: the owner's menu runs a modal loop, and the panel
  // must not wait for it. The event itself runs from an idle, apart from the
  // item, which the owner may remove.
  if (!mouseMessage || !me->handlers_.event) return;
  struct Pending {
    std::function<void(UINT)> event;
    UINT mouseMessage;
  };
  g_idle_add_full(
      G_PRIORITY_DEFAULT,
      [](gpointer p) -> gboolean {
        auto *pending = static_cast<Pending *>(p);
        pending->event(pending->mouseMessage);
        return G_SOURCE_REMOVE;
      },
      new Pending{me->handlers_.event, mouseMessage}, [](gpointer p) { delete static_cast<Pending *>(p); });
}

GVariant *StatusNotifierItem::OnGetProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *,
                                            const gchar *property, GError **error, gpointer self) {
  auto *me = static_cast<StatusNotifierItem *>(self);
  const std::string name = property;
  if (name == "Category") return g_variant_new_string("ApplicationStatus");
  if (name == "Id") return g_variant_new_string(me->id_.c_str());
  if (name == "Title") return g_variant_new_string(me->look_.tip.c_str());
  if (name == "Status") return g_variant_new_string("Active");
  if (name == "WindowId") return g_variant_new_int32(0);
  if (name == "IconName") return g_variant_new_string(me->look_.pixbuf ? "" : kGenericIcon);
  if (name == "IconPixmap") return PixmapVariant(me->look_.pixbuf);
  if (name == "OverlayIconName" || name == "AttentionIconName") return g_variant_new_string("");
  if (name == "OverlayIconPixmap" || name == "AttentionIconPixmap") return EmptyPixmap();
  if (name == "ToolTip")
    return g_variant_new("(s@a(iiay)ss)", me->look_.pixbuf ? "" : kGenericIcon, EmptyPixmap(), me->look_.tip.c_str(),
                         "");
  if (name == "ItemIsMenu") return g_variant_new_boolean(FALSE);
  if (name == "Menu") return g_variant_new_object_path("/NO_DBUSMENU");
  g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", property);
  return nullptr;
}

// ---------------------------------------------------------------- the watcher

namespace {

struct Follower {
  std::function<void(const std::string &)> changed;
  std::string address;
  GDBusConnection *bus = nullptr;
  guint timeout = 0;
  bool answered = false;

  void Tell(const std::string &watcherAt) {
    answered = true;
    if (timeout) g_source_remove(timeout);
    timeout = 0;
    changed(watcherAt);
  }
};

void OnWatcherAppeared(GDBusConnection *, const gchar *, const gchar *, gpointer p) {
  auto *f = static_cast<Follower *>(p);
  f->Tell(f->address);
}

void OnWatcherVanished(GDBusConnection *, const gchar *, gpointer p) { static_cast<Follower *>(p)->Tell({}); }

void OnFollowerConnected(GObject *, GAsyncResult *result, gpointer p) {
  auto *f = static_cast<Follower *>(p);
  GError *error = nullptr;
  f->bus = g_dbus_connection_new_for_address_finish(result, &error);
  if (!f->bus) {
    g_error_free(error);
    f->Tell({});
    return;
  }
  // A bus that goes away takes the watcher with it: the name vanishes, and
  // the process goes on (GIO would end it when the session bus closes).
  g_dbus_connection_set_exit_on_close(f->bus, FALSE);
  g_bus_watch_name_on_connection(f->bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE, &OnWatcherAppeared,
                                 &OnWatcherVanished, f, nullptr);
}

}  // namespace

void FollowStatusNotifierWatcher(std::function<void(const std::string &address)> changed) {
  static Follower *follower = nullptr;
  if (follower) return;
  follower = new Follower{std::move(changed), {}, nullptr, 0, false};  // lives as long as the process
  gchar *address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!address) {
    g_idle_add(
        [](gpointer p) -> gboolean {
          static_cast<Follower *>(p)->Tell({});
          return G_SOURCE_REMOVE;
        },
        follower);
    return;
  }
  follower->address = address;
  g_free(address);
  follower->timeout = g_timeout_add(
      2000,
      [](gpointer p) -> gboolean {
        auto *f = static_cast<Follower *>(p);
        f->timeout = 0;
        if (!f->answered) f->changed({});
        return G_SOURCE_REMOVE;
      },
      follower);
  g_dbus_connection_new_for_address(follower->address.c_str(),
                                    GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                         G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                    nullptr, nullptr, &OnFollowerConnected, follower);
}

}  // namespace wl

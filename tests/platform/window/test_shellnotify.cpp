// Tray icons of the GTK backend on a session bus and an X server of the
// suite's own: a StatusNotifierItem where the bus has a watcher (the test's
// own, as a panel's would be), read back and driven over D-Bus; an XEmbed icon
// in a tray host (trayer) where there is none; and the move between the two
// when a watcher appears or goes away.
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/window/afxwin.h"
#include "platform/window/shellnotify.h"
#include "platform/window/window_resources.h"
#include "tests/support/deadline.h"
#include "tests/support/gtk_wait.h"
#include "tests/support/session_bus.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_server.h"

extern char **environ;

namespace {

using namespace std::chrono_literals;

const UINT kTemplate = 900;
const UINT kIconRes = 128;
const UINT kId = 136;
const UINT kCallback = WM_USER + 10;
const char kWatcherName[] = "org.kde.StatusNotifierWatcher";
const char kItemInterface[] = "org.kde.StatusNotifierItem";

bool Spin(const std::function<bool()> &done, std::chrono::milliseconds limit = 20s) {
  return testsupport::SpinUntil(done, limit);
}

// ------------------------------------------------------------ D-Bus, from the test's side

// A call made while the main loop runs (the item answers from this thread's
// loop too); the reply, or nullptr and the error's text in *error.
GVariant *Call(GDBusConnection *bus, const char *dest, const char *path, const char *iface, const char *method,
               GVariant *args, std::string *error = nullptr) {
  struct Result {
    bool done = false;
    GVariant *reply = nullptr;
    std::string error;
  };
  auto *result = new Result;
  g_dbus_connection_call(
      bus, dest, path, iface, method, args, nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
      [](GObject *source, GAsyncResult *res, gpointer p) {
        auto *r = static_cast<Result *>(p);
        GError *e = nullptr;
        r->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, &e);
        if (e) {
          r->error = e->message;
          g_error_free(e);
        }
        r->done = true;
      },
      result);
  // The call itself times out after 10 s; its callback always comes.
  const bool done = Spin([&] { return result->done; }, 15s);
  EXPECT_TRUE(done) << method << " on " << dest << " got no answer within 15 s";
  if (!done) return nullptr;  // the callback still owns the result
  GVariant *reply = result->reply;
  if (error) *error = result->error;
  delete result;
  return reply;
}

GVariant *ItemProperty(GDBusConnection *bus, const std::string &item, const char *name) {
  std::string error;
  GVariant *reply = Call(bus, item.c_str(), "/StatusNotifierItem", "org.freedesktop.DBus.Properties", "Get",
                         g_variant_new("(ss)", kItemInterface, name), &error);
  EXPECT_NE(reply, nullptr) << "property " << name << ": " << error;
  if (!reply) return nullptr;
  GVariant *value = nullptr;
  g_variant_get(reply, "(v)", &value);
  g_variant_unref(reply);
  return value;
}

std::string StringProperty(GDBusConnection *bus, const std::string &item, const char *name) {
  GVariant *v = ItemProperty(bus, item, name);
  if (!v) return "<none>";
  std::string s = g_variant_is_of_type(v, G_VARIANT_TYPE_STRING) || g_variant_is_of_type(v, G_VARIANT_TYPE_OBJECT_PATH)
                      ? g_variant_get_string(v, nullptr)
                      : "<type " + std::string(g_variant_get_type_string(v)) + ">";
  g_variant_unref(v);
  return s;
}

bool HasOwner(GDBusConnection *bus, const std::string &name) {
  GVariant *reply = Call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         g_variant_new("(s)", name.c_str()));
  gboolean has = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &has);
    g_variant_unref(reply);
  }
  return has;
}

// A StatusNotifierWatcher as a panel runs it: it takes registrations, drops
// an item whose name leaves the bus, and says both by its signals. With
// `refusing` it answers every registration with an error.
class TestWatcher {
 public:
  TestWatcher(const std::string &address, bool refusing = false) : refusing_(refusing) {
    GError *error = nullptr;
    bus_ = g_dbus_connection_new_for_address_sync(address.c_str(),
                                                  GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                       G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                                  nullptr, nullptr, &error);
    EXPECT_NE(bus_, nullptr) << "the watcher could not connect: " << (error ? error->message : "");
    if (error) g_error_free(error);
    if (!bus_) return;
    static GDBusNodeInfo *node = g_dbus_node_info_new_for_xml(
        "<node><interface name='org.kde.StatusNotifierWatcher'>"
        "<method name='RegisterStatusNotifierItem'><arg name='service' type='s' direction='in'/></method>"
        "<method name='RegisterStatusNotifierHost'><arg name='service' type='s' direction='in'/></method>"
        "<property name='RegisteredStatusNotifierItems' type='as' access='read'/>"
        "<property name='IsStatusNotifierHostRegistered' type='b' access='read'/>"
        "<property name='ProtocolVersion' type='i' access='read'/>"
        "<signal name='StatusNotifierItemRegistered'><arg type='s'/></signal>"
        "<signal name='StatusNotifierItemUnregistered'><arg type='s'/></signal>"
        "<signal name='StatusNotifierHostRegistered'/>"
        "</interface></node>",
        nullptr);
    static const GDBusInterfaceVTable vtable = {&OnMethod, &OnProperty, nullptr, {}};
    object_ = g_dbus_connection_register_object(bus_, "/StatusNotifierWatcher", node->interfaces[0], &vtable, this,
                                                nullptr, nullptr);
    ownerChanged_ = g_dbus_connection_signal_subscribe(bus_, "org.freedesktop.DBus", "org.freedesktop.DBus",
                                                       "NameOwnerChanged", "/org/freedesktop/DBus", nullptr,
                                                       G_DBUS_SIGNAL_FLAGS_NONE, &OnOwnerChanged, this, nullptr);
    name_ = g_bus_own_name_on_connection(
        bus_, kWatcherName, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
        [](GDBusConnection *, const gchar *, gpointer self) { static_cast<TestWatcher *>(self)->owned_ = true; },
        nullptr, this, nullptr);
    EXPECT_TRUE(Spin([&] { return owned_; })) << "the watcher did not get its name within 20 s";
  }
  ~TestWatcher() { Stop(); }
  TestWatcher(const TestWatcher &) = delete;
  TestWatcher &operator=(const TestWatcher &) = delete;

  // The watcher leaves the bus, as when its panel ends.
  void Stop() {
    if (!bus_) return;
    g_bus_unown_name(name_);
    g_dbus_connection_signal_unsubscribe(bus_, ownerChanged_);
    g_dbus_connection_unregister_object(bus_, object_);
    g_dbus_connection_close_sync(bus_, nullptr, nullptr);
    g_object_unref(bus_);
    bus_ = nullptr;
  }

  GDBusConnection *bus() const { return bus_; }
  const std::set<std::string> &items() const { return items_; }
  int registrations() const { return registrations_; }
  int unregistered() const { return unregistered_; }

 private:
  static void OnMethod(GDBusConnection *bus, const gchar *sender, const gchar *, const gchar *, const gchar *method,
                       GVariant *args, GDBusMethodInvocation *invocation, gpointer self) {
    auto *me = static_cast<TestWatcher *>(self);
    if (std::strcmp(method, "RegisterStatusNotifierItem") != 0) {
      g_dbus_method_invocation_return_value(invocation, nullptr);
      return;
    }
    ++me->registrations_;
    if (me->refusing_) {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.AccessDenied", "refused");
      return;
    }
    const gchar *service = nullptr;
    g_variant_get(args, "(&s)", &service);
    // A service may be given as a bus name or as an object path of the sender.
    const std::string name = service[0] == '/' ? sender : service;
    me->items_.insert(name);
    g_dbus_method_invocation_return_value(invocation, nullptr);
    g_dbus_connection_emit_signal(bus, nullptr, "/StatusNotifierWatcher", kWatcherName, "StatusNotifierItemRegistered",
                                  g_variant_new("(s)", name.c_str()), nullptr);
  }

  static GVariant *OnProperty(GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *name,
                              GError **, gpointer self) {
    auto *me = static_cast<TestWatcher *>(self);
    if (std::strcmp(name, "IsStatusNotifierHostRegistered") == 0) return g_variant_new_boolean(TRUE);
    if (std::strcmp(name, "ProtocolVersion") == 0) return g_variant_new_int32(0);
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("as"));
    for (const auto &item : me->items_) g_variant_builder_add(&list, "s", item.c_str());
    return g_variant_builder_end(&list);
  }

  static void OnOwnerChanged(GDBusConnection *bus, const gchar *, const gchar *, const gchar *, const gchar *,
                             GVariant *args, gpointer self) {
    auto *me = static_cast<TestWatcher *>(self);
    const gchar *name, *oldOwner, *newOwner;
    g_variant_get(args, "(&s&s&s)", &name, &oldOwner, &newOwner);
    if (*newOwner || !me->items_.erase(name)) return;
    ++me->unregistered_;
    g_dbus_connection_emit_signal(bus, nullptr, "/StatusNotifierWatcher", kWatcherName,
                                  "StatusNotifierItemUnregistered", g_variant_new("(s)", name), nullptr);
  }

  const bool refusing_;
  GDBusConnection *bus_ = nullptr;
  guint object_ = 0, ownerChanged_ = 0, name_ = 0;
  bool owned_ = false;
  std::set<std::string> items_;
  int registrations_ = 0, unregistered_ = 0;
};

// The signals an item sends, by name.
class SignalLog {
 public:
  SignalLog(GDBusConnection *bus, const std::string &sender) : bus_(bus) {
    id_ = g_dbus_connection_signal_subscribe(
        bus, sender.c_str(), kItemInterface, nullptr, "/StatusNotifierItem", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection *, const gchar *, const gchar *, const gchar *, const gchar *signal, GVariant *,
           gpointer self) { ++static_cast<SignalLog *>(self)->counts[signal]; },
        this, nullptr);
    // The subscription reaches the bus before anything the test does next:
    // the bus answers a connection's calls in order.
    if (GVariant *id =
            Call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "GetId", nullptr))
      g_variant_unref(id);
  }
  ~SignalLog() { g_dbus_connection_signal_unsubscribe(bus_, id_); }
  std::map<std::string, int> counts;

 private:
  GDBusConnection *bus_;
  guint id_;
};

// ------------------------------------------------------------ the owner window

// Records the tray callbacks and acts on a double click as the tray icon's
// owner does: brings itself to the front, shown.
class Owner : public CDialog {
 public:
  Owner() : CDialog(kTemplate) {}
  std::vector<std::pair<WPARAM, LPARAM>> got;
  std::function<void()> onRightButton;

 protected:
  LRESULT OnTray(WPARAM w, LPARAM l) {
    got.push_back({w, l});
    if (l == WM_LBUTTONDBLCLK) {
      SetForegroundWindow();
      ShowWindow(SW_SHOWNORMAL);
    }
    if (l == WM_RBUTTONUP && onRightButton) onRightButton();
    return 1;
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Owner, CDialog)
ON_MESSAGE(kCallback, OnTray)
END_MESSAGE_MAP()

// ------------------------------------------------------------ the suite

// A tray host on the suite's X server.
class TrayHost {
 public:
  TrayHost() {
    const char *argv[] = {"trayer", "--edge",       "top",   "--align",  "right", "--widthtype", "pixel", "--width",
                          "64",     "--heighttype", "pixel", "--height", "32",    "--expand",    "false", nullptr};
    if (posix_spawnp(&pid_, "trayer", nullptr, nullptr, const_cast<char **>(argv), environ) != 0) pid_ = -1;
  }
  ~TrayHost() { testsupport::EndChild(pid_); }
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
bool Embedded(HWND h) {
  GtkStatusIcon *icon = AfxTrayStatusIcon(h, kId);
  return icon && gtk_status_icon_is_embedded(icon);
}
#pragma GCC diagnostic pop

// The icon's image: 3 x 2 pixels, one half transparent, one fully; its
// pixels as the protocol carries them (A, R, G, B each).
const guint8 kRgba[] = {255, 0,  0,  255, 0,  255, 0,  128, 0,   0,   255, 0,
                        10,  20, 30, 255, 40, 50,  60, 200, 255, 255, 255, 255};
std::vector<guint8> ExpectedArgb() {
  std::vector<guint8> out;
  for (size_t i = 0; i < sizeof kRgba; i += 4)
    out.insert(out.end(), {kRgba[i + 3], kRgba[i], kRgba[i + 1], kRgba[i + 2]});
  return out;
}

class ShellNotifyTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    x_ = new testsupport::XServer;
    bus_ = new testsupport::SessionBus;
    if (x_->display().empty() || bus_->address().empty()) return;
    // The whole process uses them: the toolkit's display, and the session
    // bus the tray stand-in asks for its watcher.
    setenv("DISPLAY", x_->display().c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
    setenv("NO_AT_BRIDGE", "1", 1);  // the toolkit's accessibility bridge stays off the bus
    ready_ = AfxSetBackend(BACKEND_GTK);
    GdkPixbuf *pixbuf = gdk_pixbuf_new_from_data(kRgba, GDK_COLORSPACE_RGB, TRUE, 8, 3, 2, 12, nullptr, nullptr);
    ready_ = ready_ && gdk_pixbuf_save(pixbuf, dir_.File("icon.png").c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
    RegisterIconResource(kIconRes, MultiByteToWide(CP_UTF8, dir_.File("icon.png")).c_str());
  }
  static void TearDownTestSuite() {
    delete bus_;
    delete x_;
  }

  void SetUp() override {
    if (!ready_) GTEST_SKIP() << "no X server or no session bus (Xvfb, dbus-daemon)";
    RegisterDialogTemplate({kTemplate, 100, 50, WS_POPUP | WS_SYSMENU, 0, nullptr, 9, {}});
    ASSERT_TRUE(owner_.Create(kTemplate, nullptr));
    GError *error = nullptr;
    client_ =
        g_dbus_connection_new_for_address_sync(bus_->address().c_str(),
                                               GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                    G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                               nullptr, nullptr, &error);
    ASSERT_NE(client_, nullptr) << error->message;
  }
  void TearDown() override {
    HeadlessTrayReset();
    if (client_) {
      g_dbus_connection_close_sync(client_, nullptr, nullptr);
      g_object_unref(client_);
    }
  }

  HICON Icon() { return app_.LoadIcon(kIconRes); }

  BOOL Notify(DWORD message, UINT flags, HICON icon, const wchar_t *tip) {
    NOTIFYICONDATAW nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = owner_.GetSafeHwnd();
    nid.uID = kId;
    nid.uFlags = flags;
    nid.uCallbackMessage = kCallback;
    nid.hIcon = icon;
    std::wcsncpy(nid.szTip, tip, 127);
    return Shell_NotifyIconW(message, &nid);
  }
  BOOL Add() { return Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP, Icon(), L"Tickora"); }

  // The icon's registered item, once the watcher has it (up to 20 s).
  std::string WaitForItem(const TestWatcher &watcher) {
    std::string name;
    const bool shown = Spin([&] {
      name = AfxTrayItemName(owner_, kId);
      return !name.empty() && watcher.items().count(name);
    });
    EXPECT_TRUE(shown) << "no StatusNotifierItem registered with the watcher within 20 s";
    return shown ? name : std::string();
  }

  static testsupport::XServer *x_;
  static testsupport::SessionBus *bus_;
  static testsupport::TempDir dir_;
  static bool ready_;
  CWinApp app_;
  Owner owner_;
  GDBusConnection *client_ = nullptr;
};
testsupport::XServer *ShellNotifyTest::x_ = nullptr;
testsupport::SessionBus *ShellNotifyTest::bus_ = nullptr;
testsupport::TempDir ShellNotifyTest::dir_;
bool ShellNotifyTest::ready_ = false;

TEST_F(ShellNotifyTest, ItemShowsTheIconAndTheTipAndFollowsChanges) {
  TestWatcher watcher(bus_->address());
  ASSERT_TRUE(Add());
  const std::string item = WaitForItem(watcher);
  ASSERT_FALSE(item.empty());
  EXPECT_TRUE(
      std::regex_match(item, std::regex("org\\.kde\\.StatusNotifierItem-" + std::to_string(getpid()) + "-[0-9]+")))
      << item;
  EXPECT_EQ(AfxTrayStatusIcon(owner_, kId), nullptr) << "an XEmbed icon beside the item";

  EXPECT_EQ(StringProperty(client_, item, "Category"), "ApplicationStatus");
  EXPECT_EQ(StringProperty(client_, item, "Status"), "Active");
  EXPECT_EQ(StringProperty(client_, item, "Title"), "Tickora");
  EXPECT_EQ(StringProperty(client_, item, "Menu"), "/NO_DBUSMENU");
  EXPECT_FALSE(StringProperty(client_, item, "Id").empty());
  if (GVariant *isMenu = ItemProperty(client_, item, "ItemIsMenu")) {
    EXPECT_FALSE(g_variant_get_boolean(isMenu));
    g_variant_unref(isMenu);
  }
  if (GVariant *tip = ItemProperty(client_, item, "ToolTip")) {
    const gchar *title = nullptr;
    g_variant_get_child(tip, 2, "&s", &title);
    EXPECT_STREQ(title, "Tickora");
    g_variant_unref(tip);
  }
  if (GVariant *pixmaps = ItemProperty(client_, item, "IconPixmap")) {
    ASSERT_EQ(g_variant_n_children(pixmaps), 1u);
    gint32 w = 0, h = 0;
    GVariant *bytes = nullptr;
    g_variant_get_child(pixmaps, 0, "(ii@ay)", &w, &h, &bytes);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    gsize n = 0;
    const auto *data = static_cast<const guint8 *>(g_variant_get_fixed_array(bytes, &n, 1));
    EXPECT_EQ(std::vector<guint8>(data, data + n), ExpectedArgb());
    g_variant_unref(bytes);
    g_variant_unref(pixmaps);
  }

  // NIM_MODIFY: the panels hear what changed and read it anew.
  SignalLog signals(client_, item);
  ASSERT_TRUE(Notify(NIM_MODIFY, NIF_TIP, nullptr, L"Tickora 提醒"));
  ASSERT_TRUE(Spin([&] { return signals.counts["NewToolTip"] && signals.counts["NewTitle"]; }))
      << "no NewToolTip and NewTitle within 20 s";
  EXPECT_EQ(StringProperty(client_, item, "Title"), "Tickora 提醒");
  EXPECT_EQ(signals.counts["NewIcon"], 0);
  ASSERT_TRUE(Notify(NIM_MODIFY, NIF_ICON, nullptr, L""));
  ASSERT_TRUE(Spin([&] { return signals.counts["NewIcon"] > 0; })) << "no NewIcon within 20 s";
  EXPECT_EQ(StringProperty(client_, item, "IconName"), "application-x-executable");
  if (GVariant *pixmaps = ItemProperty(client_, item, "IconPixmap")) {
    EXPECT_EQ(g_variant_n_children(pixmaps), 0u);
    g_variant_unref(pixmaps);
  }
  EXPECT_EQ(AfxTrayItemName(owner_, kId), item) << "a change keeps the item";

  // NIM_DELETE: the name leaves the bus, and the watcher drops the item.
  ASSERT_TRUE(Notify(NIM_DELETE, 0, nullptr, L""));
  EXPECT_TRUE(Spin([&] { return watcher.items().empty(); })) << "the watcher still lists the item after 20 s";
  EXPECT_EQ(watcher.unregistered(), 1);
  EXPECT_FALSE(HasOwner(client_, item));
}

TEST_F(ShellNotifyTest, ActivateAndContextMenuReachTheOwnerAsTheMouseWould) {
  TestWatcher watcher(bus_->address());
  ASSERT_TRUE(Add());
  const std::string item = WaitForItem(watcher);
  ASSERT_FALSE(item.empty());
  ASSERT_FALSE(owner_.IsWindowVisible());

  // Activate: the double click, which shows the hidden owner.
  GVariant *reply =
      Call(client_, item.c_str(), "/StatusNotifierItem", kItemInterface, "Activate", g_variant_new("(ii)", 1200, 10));
  ASSERT_NE(reply, nullptr);
  g_variant_unref(reply);
  ASSERT_TRUE(Spin([&] { return !owner_.got.empty(); })) << "the owner got no callback for Activate within 20 s";
  EXPECT_EQ(owner_.got[0], (std::pair<WPARAM, LPARAM>(kId, WM_LBUTTONDBLCLK)));
  EXPECT_TRUE(owner_.IsWindowVisible());

  // ContextMenu: the right button's release, so the owner runs its own menu.
  // The panel has its answer while that menu is still open.
  bool answeredDuringMenu = false;
  owner_.onRightButton = [&] { answeredDuringMenu = Spin([&] { return reply != nullptr; }, 10s); };
  reply = nullptr;
  g_dbus_connection_call(
      client_, item.c_str(), "/StatusNotifierItem", kItemInterface, "ContextMenu", g_variant_new("(ii)", 1200, 10),
      nullptr, G_DBUS_CALL_FLAGS_NONE, 10000, nullptr,
      [](GObject *source, GAsyncResult *res, gpointer p) {
        GVariant *r = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), res, nullptr);
        *static_cast<GVariant **>(p) = r ? r : g_variant_ref_sink(g_variant_new("()"));
      },
      &reply);
  ASSERT_TRUE(Spin([&] { return owner_.got.size() == 2 && reply; }))
      << "the owner got no callback for ContextMenu, or the call no answer, within 20 s";
  g_variant_unref(reply);
  EXPECT_EQ(owner_.got[1], (std::pair<WPARAM, LPARAM>(kId, WM_RBUTTONUP)));
  EXPECT_TRUE(answeredDuringMenu) << "ContextMenu was answered only after the owner's menu closed";
  owner_.onRightButton = nullptr;

  // The other actions of a panel mean nothing here, and are still answered.
  for (const char *method : {"SecondaryActivate", "Scroll"}) {
    GVariant *args =
        std::strcmp(method, "Scroll") == 0 ? g_variant_new("(is)", 1, "vertical") : g_variant_new("(ii)", 0, 0);
    GVariant *r = Call(client_, item.c_str(), "/StatusNotifierItem", kItemInterface, method, args);
    EXPECT_NE(r, nullptr) << method;
    if (r) g_variant_unref(r);
  }
  testsupport::SpinFor(200ms);
  EXPECT_EQ(owner_.got.size(), 2u);
}

// No watcher: the icon stands in the XEmbed tray host. A watcher that comes
// later takes it; when the watcher goes, the icon goes back to the tray host,
// and a new watcher gets it again.
TEST_F(ShellNotifyTest, IconFollowsTheWatcherAndFallsBackToXEmbed) {
  TrayHost host;
  ASSERT_TRUE(host.started()) << "trayer did not start";
  ASSERT_TRUE(Add());
  ASSERT_TRUE(Spin([&] { return Embedded(owner_); })) << "the icon is not in the XEmbed tray host after 20 s";
  EXPECT_TRUE(AfxTrayItemName(owner_, kId).empty());

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    auto watcher = std::make_unique<TestWatcher>(bus_->address());
    const std::string item = WaitForItem(*watcher);
    ASSERT_FALSE(item.empty());
    EXPECT_TRUE(Spin([&] { return AfxTrayStatusIcon(owner_, kId) == nullptr; }))
        << "the XEmbed icon stayed beside the item for 20 s";
    EXPECT_EQ(StringProperty(client_, item, "Title"), "Tickora");

    watcher.reset();
    EXPECT_TRUE(Spin([&] { return Embedded(owner_); })) << "the icon did not come back to the tray host in 20 s";
    EXPECT_TRUE(AfxTrayItemName(owner_, kId).empty());
    EXPECT_TRUE(Spin([&] { return !HasOwner(client_, item); }, 10s)) << "the item's name stayed on the bus";
  }

  // Removed while on XEmbed: nothing stays in the tray host.
  ASSERT_TRUE(Notify(NIM_DELETE, 0, nullptr, L""));
  EXPECT_EQ(AfxTrayStatusIcon(owner_, kId), nullptr);
}

TEST_F(ShellNotifyTest, ItemTheWatcherRefusesFallsBackToXEmbed) {
  TrayHost host;
  ASSERT_TRUE(host.started()) << "trayer did not start";
  TestWatcher watcher(bus_->address(), /*refusing=*/true);
  ASSERT_TRUE(Add());
  ASSERT_TRUE(Spin([&] { return watcher.registrations() > 0 && Embedded(owner_); }))
      << "a refused item's icon is not in the XEmbed tray host after 20 s";
  EXPECT_TRUE(AfxTrayItemName(owner_, kId).empty());
  EXPECT_TRUE(watcher.items().empty());
}

// The item goes with the program, whether it exits (as the tray menu's exit
// does, while the icon is still there) or is killed.
TEST_F(ShellNotifyTest, ItemGoesWhenTheProgramEnds) {
  TestWatcher watcher(bus_->address());
  for (const int signal : {SIGTERM, SIGKILL}) {
    SCOPED_TRACE(signal);
    const char *argv[] = {TRAY_HOLDER, nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, TRAY_HOLDER, nullptr, nullptr, const_cast<char **>(argv), environ), 0);
    const std::string prefix = "org.kde.StatusNotifierItem-" + std::to_string(pid) + "-";
    std::string item;
    const bool registered = Spin([&] {
      for (const auto &name : watcher.items())
        if (name.rfind(prefix, 0) == 0) item = name;
      return !item.empty();
    });
    if (!registered) testsupport::EndChild(pid);
    ASSERT_TRUE(registered) << "the holding program registered no item within 20 s";

    kill(pid, signal);
    int status = 0;
    const bool ended = Spin([&] { return waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) testsupport::EndChild(pid);
    ASSERT_TRUE(ended) << "the holding program did not end within 20 s";
    if (signal == SIGTERM) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "it did not exit cleanly: status " << status;
    }
    EXPECT_TRUE(Spin([&] { return watcher.items().empty(); })) << "the watcher still lists " << item << " after 20 s";
    EXPECT_FALSE(HasOwner(client_, item));
  }
}

}  // namespace

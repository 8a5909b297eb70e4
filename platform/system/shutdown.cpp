#include "platform/system/shutdown.h"

#include <gio/gio.h>
#include <sys/eventfd.h>

#include <atomic>
#include <chrono>
#include <cwchar>

#include "platform/system/ptracescope.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

constexpr DWORD kShutdownLuid = 19;
constexpr DWORD kDebugLuid = 20;

// The login manager on the system bus; every call fails cleanly when there
// is none.
class LogindBackend : public platform::ShutdownBackend {
 public:
  std::string CanPowerOff() override {
    GVariant *reply = Call("CanPowerOff", nullptr);
    if (!reply) return "";
    const gchar *answer = nullptr;
    g_variant_get(reply, "(&s)", &answer);
    std::string result = answer ? answer : "";
    g_variant_unref(reply);
    return result;
  }
  bool SetWallMessage(const std::string &utf8Message) override {
    return Done(Call("SetWallMessage", g_variant_new("(sb)", utf8Message.c_str(), TRUE)));
  }
  bool ScheduleShutdown(const std::string &type, uint64_t usec) override {
    return Done(Call("ScheduleShutdown", g_variant_new("(st)", type.c_str(), static_cast<guint64>(usec))));
  }
  bool PowerOff() override { return Done(Call("PowerOff", g_variant_new("(b)", FALSE))); }
  bool Reboot() override { return Done(Call("Reboot", g_variant_new("(b)", FALSE))); }

 private:
  static GVariant *Call(const char *method, GVariant *args) {
    GDBusConnection *bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, nullptr);
    if (!bus) {
      if (args) g_variant_unref(g_variant_ref_sink(args));
      return nullptr;
    }
    GVariant *reply = g_dbus_connection_call_sync(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", method, args, nullptr,
                                                  G_DBUS_CALL_FLAGS_NONE, 25000, nullptr, nullptr);
    g_object_unref(bus);
    return reply;
  }
  static bool Done(GVariant *reply) {
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
  }
};

LogindBackend g_logind;
std::atomic<platform::ShutdownBackend *> g_backend{nullptr};
std::atomic<bool> g_shutdownEnabled{false};

platform::ShutdownBackend &Backend() {
  platform::ShutdownBackend *b = g_backend.load();
  return b ? *b : g_logind;
}

BOOL FailWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

const HANDLE kCurrentProcess = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));

}  // namespace

HANDLE GetCurrentProcess() noexcept { return kCurrentProcess; }

BOOL OpenProcessToken(HANDLE process, DWORD, HANDLE *token) {
  if (process != kCurrentProcess || !token) return FailWith(ERROR_INVALID_PARAMETER);
  int fd = eventfd(0, EFD_CLOEXEC);
  if (fd < 0) {
    SetLastError(Win32ErrorFromErrno(errno));
    return FALSE;
  }
  *token = reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd));
  return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR systemName, LPCWSTR name, LUID *luid) {
  if ((systemName && *systemName) || !name || !luid) return FailWith(ERROR_INVALID_PARAMETER);
  DWORD id = 0;
  if (std::wcscmp(name, SE_SHUTDOWN_NAME) == 0)
    id = kShutdownLuid;
  else if (std::wcscmp(name, SE_DEBUG_NAME) == 0)
    id = kDebugLuid;
  if (!id) return FailWith(ERROR_NO_SUCH_PRIVILEGE);
  luid->LowPart = id;
  luid->HighPart = 0;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, PTOKEN_PRIVILEGES newState, DWORD, PTOKEN_PRIVILEGES,
                           LPDWORD returnLength) {
  if (!token || token == INVALID_HANDLE_VALUE || (!disableAll && !newState)) return FailWith(ERROR_INVALID_PARAMETER);
  if (returnLength) *returnLength = 0;
  DWORD error = ERROR_SUCCESS;
  if (disableAll) {
    g_shutdownEnabled = false;
  } else {
    for (DWORD i = 0; i < newState->PrivilegeCount; ++i) {
      const LUID_AND_ATTRIBUTES &p = newState->Privileges[i];
      if (p.Luid.LowPart == kDebugLuid) {
        if ((p.Attributes & SE_PRIVILEGE_ENABLED) && !platform::MayTraceOtherProcesses())
          error = ERROR_NOT_ALL_ASSIGNED;
        continue;
      }
      if (p.Luid.LowPart != kShutdownLuid) continue;
      if (!(p.Attributes & SE_PRIVILEGE_ENABLED))
        g_shutdownEnabled = false;
      else if (Backend().CanPowerOff() == "yes")
        g_shutdownEnabled = true;
      else
        error = ERROR_NOT_ALL_ASSIGNED;
    }
  }
  SetLastError(error);
  return TRUE;
}

BOOL InitiateSystemShutdownW(LPWSTR machineName, LPWSTR message, DWORD timeout, BOOL, BOOL rebootAfterShutdown) {
  if (machineName && *machineName) return FailWith(ERROR_NOT_SUPPORTED);
  if (!g_shutdownEnabled) return FailWith(ERROR_PRIVILEGE_NOT_HELD);
  platform::ShutdownBackend &b = Backend();
  std::string text = message ? WideToMultiByte(CP_UTF8, std::wstring(message)) : "";
  auto at = std::chrono::system_clock::now() + std::chrono::seconds(timeout);
  uint64_t usec =
      static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count());
  if (!b.SetWallMessage(text) || !b.ScheduleShutdown(rebootAfterShutdown ? "reboot" : "poweroff", usec))
    return FailWith(ERROR_ACCESS_DENIED);
  return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD) {
  UINT what = flags & 0x0Bu;
  if (what != EWX_SHUTDOWN && what != EWX_POWEROFF && what != EWX_REBOOT && what != (EWX_SHUTDOWN | EWX_POWEROFF))
    return FailWith(ERROR_NOT_SUPPORTED);
  if (!g_shutdownEnabled) return FailWith(ERROR_PRIVILEGE_NOT_HELD);
  platform::ShutdownBackend &b = Backend();
  if (!(what == EWX_REBOOT ? b.Reboot() : b.PowerOff())) return FailWith(ERROR_ACCESS_DENIED);
  return TRUE;
}

namespace platform {

ShutdownBackend *SetShutdownBackend(ShutdownBackend *backend) noexcept {
  g_shutdownEnabled = false;
  return g_backend.exchange(backend);
}

}  // namespace platform

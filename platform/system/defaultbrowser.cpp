#include "platform/system/defaultbrowser.h"

#include <gio/gio.h>

#include <atomic>

#include "platform/text/codepage.h"

namespace {

std::atomic<platform::DefaultBrowserProvider> g_provider{nullptr};

std::wstring DesktopBrowserCommand() {
  GAppInfo *app = g_app_info_get_default_for_type("x-scheme-handler/http", FALSE);
  if (!app) app = g_app_info_get_default_for_type("text/html", FALSE);
  if (!app) return std::wstring();
  const char *line = g_app_info_get_commandline(app);
  std::string command = line ? line : "";
  g_object_unref(app);
  bool placed = false;
  for (const char *code : {"%u", "%U", "%f", "%F"}) {
    for (size_t at = command.find(code); at != std::string::npos; at = command.find(code, at)) {
      command.replace(at, 2, "\"%1\"");
      placed = true;
    }
  }
  if (!command.empty() && !placed) command += " \"%1\"";
  return MultiByteToWide(CP_UTF8, command);
}

}  // namespace

namespace platform {

std::wstring DefaultBrowserCommand() {
  DefaultBrowserProvider p = g_provider.load();
  return p ? p() : DesktopBrowserCommand();
}

DefaultBrowserProvider SetDefaultBrowserProvider(DefaultBrowserProvider provider) noexcept {
  return g_provider.exchange(provider);
}

}  // namespace platform

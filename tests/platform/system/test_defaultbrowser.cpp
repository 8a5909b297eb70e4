#include "platform/system/defaultbrowser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/text/codepage.h"
#include "tests/support/loopback_server.h"

namespace {

// The desktop's answer from its association files, in a temporary folder
// standing for the user's data and configuration folders.
TEST(DefaultBrowserCommand, TakesTheHttpHandlerWithTheUrlAsPercentOne) {
  testsupport::TempDir home;
  std::filesystem::create_directories(home.File("data/applications"));
  std::filesystem::create_directories(home.File("config"));
  home.Write("data/applications/tk-browser.desktop",
             "[Desktop Entry]\nType=Application\nName=Browser\nExec=/bin/true --private %U\n");
  home.Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=tk-browser.desktop\n");
  setenv("XDG_DATA_HOME", home.File("data").c_str(), 1);
  setenv("XDG_DATA_DIRS", home.File("none").c_str(), 1);
  setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
  setenv("XDG_CONFIG_DIRS", home.File("none").c_str(), 1);
  EXPECT_EQ(WideToMultiByte(CP_UTF8, platform::DefaultBrowserCommand()), "/bin/true --private \"%1\"");
}

std::wstring Fixed() { return L"browser \"%1\""; }

TEST(DefaultBrowserCommand, ComesFromAnInstalledProvider) {
  EXPECT_EQ(platform::SetDefaultBrowserProvider(Fixed), nullptr);
  EXPECT_EQ(platform::DefaultBrowserCommand(), L"browser \"%1\"");
  EXPECT_EQ(platform::SetDefaultBrowserProvider(nullptr), Fixed);
}

}  // namespace

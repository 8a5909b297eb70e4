#include "platform/system/defaultbrowser.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text/codepage.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

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
  const testsupport::ScopedEnv dataHome("XDG_DATA_HOME", home.File("data"));
  const testsupport::ScopedEnv dataDirs("XDG_DATA_DIRS", home.File("none"));
  const testsupport::ScopedEnv configHome("XDG_CONFIG_HOME", home.File("config"));
  const testsupport::ScopedEnv configDirs("XDG_CONFIG_DIRS", home.File("none"));
  EXPECT_EQ(WideToMultiByte(CP_UTF8, platform::DefaultBrowserCommand()), "/bin/true --private \"%1\"");
}

std::wstring Fixed() { return L"browser \"%1\""; }

TEST(DefaultBrowserCommand, ComesFromAnInstalledProvider) {
  EXPECT_EQ(platform::SetDefaultBrowserProvider(Fixed), nullptr);
  EXPECT_EQ(platform::DefaultBrowserCommand(), L"browser \"%1\"");
  EXPECT_EQ(platform::SetDefaultBrowserProvider(nullptr), Fixed);
}

}  // namespace

#include "tests/support/config_home.h"

#include <filesystem>

ScopedConfigHome::ScopedConfigHome() : env_("XDG_CONFIG_HOME", dir_.path()) {}

std::string ScopedConfigHome::AutostartEntries() const {
  std::string all;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(dir_.File("autostart"), ec))
    all += testsupport::ReadFileBytes(e.path().string());
  return all;
}

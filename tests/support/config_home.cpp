#include "tests/support/config_home.h"

#include <cstdlib>
#include <filesystem>

ScopedConfigHome::ScopedConfigHome() {
  if (const char *old = std::getenv("XDG_CONFIG_HOME")) {
    had_old_ = true;
    old_ = old;
  }
  setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
}

ScopedConfigHome::~ScopedConfigHome() {
  if (had_old_)
    setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

std::string ScopedConfigHome::AutostartEntries() const {
  std::string all;
  std::error_code ec;
  for (const auto &e : std::filesystem::directory_iterator(dir_.File("autostart"), ec))
    all += testsupport::ReadFileBytes(e.path().string());
  return all;
}

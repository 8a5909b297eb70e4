// Points XDG_CONFIG_HOME at a fresh temporary folder for the object's life, so
// nothing touches the real user's configuration.
#pragma once

#include <string>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

class ScopedConfigHome {
 public:
  ScopedConfigHome();
  ScopedConfigHome(const ScopedConfigHome &) = delete;
  ScopedConfigHome &operator=(const ScopedConfigHome &) = delete;
  const std::string &path() const { return dir_.path(); }
  // The contents of every autostart entry in the folder, one after another.
  std::string AutostartEntries() const;

 private:
  testsupport::TempDir dir_;
  testsupport::ScopedEnv env_;
};

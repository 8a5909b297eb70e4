// A folder of a test's own for what a file chooser keeps (its settings in
// memory, recent files and cache in the folder), set for the object's life.
#pragma once

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

class ChooserHome {
 public:
  ChooserHome() {
    env_.Set("GSETTINGS_BACKEND", "memory");
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) env_.Set(name, dir_.path().c_str());
  }
  const TempDir &dir() const { return dir_; }

 private:
  TempDir dir_;
  ScopedEnvSet env_;  // undone before the folder goes
};

}  // namespace testsupport

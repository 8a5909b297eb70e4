// A small tmpfs mounted on a folder for one scope, where this process may
// mount (root, or CAP_SYS_ADMIN); unmounted with the object.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace testsupport {

class ScopedTmpfs {
 public:
  // `size` as mount(8) takes it, e.g. "64k". The folder is created.
  ScopedTmpfs(const std::string &folder, const std::string &size) : folder_(folder) {
    std::filesystem::create_directories(folder);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, ("size=" + size).c_str()) == 0;
  }
  ~ScopedTmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  ScopedTmpfs(const ScopedTmpfs &) = delete;
  ScopedTmpfs &operator=(const ScopedTmpfs &) = delete;
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_ = false;
};

}  // namespace testsupport

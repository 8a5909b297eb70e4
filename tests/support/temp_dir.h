// A temporary folder for a test, and reading a whole file back.
#pragma once

#include <string>

namespace testsupport {

// A fresh folder under TMPDIR (or /tmp), removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  const std::string &path() const { return path_; }
  std::string File(const std::string &name) const { return path_ + "/" + name; }
  // Writes bytes to File(name) and returns its path.
  std::string Write(const std::string &name, const std::string &bytes) const;

 private:
  std::string path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string &path);

}  // namespace testsupport

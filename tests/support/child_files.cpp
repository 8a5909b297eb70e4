#include "tests/support/child_files.h"

#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace testsupport {

std::string WriteShellScript(const TempDir &dir, const std::string &name, const std::string &body) {
  const std::string path = dir.Write(name, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
  return path;
}

std::string ShellReportLine(const std::string &path, const std::string &text) {
  return "printf '%s' \"" + text + "\" > '" + path + ".tmp'; mv '" + path + ".tmp' '" + path + "'\n";
}

std::string WaitForFileContent(const std::string &path) {
  for (int i = 0; i < 1000; ++i) {
    const std::string bytes = ReadFileBytes(path);
    if (!bytes.empty()) return bytes;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::string();
}

}  // namespace testsupport

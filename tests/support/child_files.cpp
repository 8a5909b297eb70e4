#include "tests/support/child_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>

#include "tests/support/deadline.h"

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
  std::string bytes;
  if (!WaitUntil([&] { return !(bytes = ReadFileBytes(path)).empty(); }, std::chrono::seconds(10)))
    ADD_FAILURE() << "no child wrote " << path << " within 10 s";
  return bytes;
}

}  // namespace testsupport

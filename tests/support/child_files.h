// Helpers for tests that start child processes which report through files.
#pragma once

#include <string>

#include "tests/support/temp_dir.h"

namespace testsupport {

// Writes a shell script "#!/bin/sh" + body as File(name) of dir, executable;
// returns its path.
std::string WriteShellScript(const TempDir &dir, const std::string &name, const std::string &body);

// A shell line that writes `text` (expanded by the shell) into `path`
// atomically, so a reader never sees half of it.
std::string ShellReportLine(const std::string &path, const std::string &text);

// The content of the file once it exists and is not empty (up to 10 s);
// empty, and a test failure naming the file, when it never appears.
std::string WaitForFileContent(const std::string &path);

}  // namespace testsupport

// Runs a shell command to its end and keeps what it printed, for tests that
// check a tool's verdict (a validator, an installer).
#pragma once

#include <string>

namespace testsupport {

// The command's exit status (-1 when it could not run or ended by a signal),
// with its standard output in *out. A command that may hang brings its own
// bound (timeout(1)).
int RunCommand(const std::string &command, std::string *out);

}  // namespace testsupport

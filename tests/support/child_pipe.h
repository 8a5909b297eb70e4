// Starting a child that says on a descriptor when it is ready (Xvfb's
// -displayfd, dbus-daemon's --print-address).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testsupport {

// Starts `argv` (searched on PATH) with the write end of a pipe open in it;
// "{fd}" in any argument stands for that descriptor's number. Gives the first
// line the child writes there, without its newline, once it is complete
// (within `limit`), and the child in *pid; an empty line when none came, and
// *pid -1 when the child did not start. The caller ends the child.
std::string SpawnForFirstLine(const std::vector<std::string> &argv, std::chrono::milliseconds limit, pid_t *pid);

}  // namespace testsupport

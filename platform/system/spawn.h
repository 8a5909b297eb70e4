// Starting child processes: shared by the process and command-line stand-ins.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

// Starts args[0] (searched on PATH when `search`) with `args` as its
// arguments, in `folder` (the caller's when empty), with only descriptors 0 to
// 2 inherited. 0 or the errno value.
int Spawn(const std::vector<std::string> &args, bool search, const std::string &folder, pid_t *pidOut);

// Waits for the child on a detached thread so it never stays a zombie. Its
// handles must be opened before: once reaped, its id may name another process.
void ReapWhenEnded(pid_t pid);

// Waits up to `timeoutMs` for the child to end. True with its wait status in
// *status once it has ended and is reaped; false when it still runs (it is
// then left to the caller, e.g. for ReapWhenEnded).
bool WaitForExit(pid_t pid, int timeoutMs, int *status);

}  // namespace platform

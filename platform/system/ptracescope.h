// Whether this process may trace other processes of its user, as the kernel
// decides it: the Yama ptrace scope and the process's CAP_SYS_PTRACE
// capability. This is what the debug privilege stands for here.
#pragma once

#include <string>

namespace platform {

// The files the answer is read from.
struct TraceInputs {
  std::string yamaScopeFile = "/proc/sys/kernel/yama/ptrace_scope";
  std::string statusFile = "/proc/self/status";  // its CapEff line
};

// Without Yama (no scope file) or with scope 0: yes. Scopes 1 (descendants
// only) and 2 (administrators only): only with CAP_SYS_PTRACE in effect.
// Scope 3 (no tracing at all), or a scope file that cannot be read or
// understood: no. Other security modules are not asked.
bool MayTraceOtherProcesses();

// Reads the answer from other files from now on (tests); returns the
// inputs used before.
TraceInputs SetTraceInputs(const TraceInputs &inputs);

}  // namespace platform

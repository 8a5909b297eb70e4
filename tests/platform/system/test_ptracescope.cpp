#include "platform/system/ptracescope.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

// Points the answer at files of a temporary folder for one scope.
class ScopedTraceInputs {
 public:
  explicit ScopedTraceInputs(const platform::TraceInputs &inputs) : old_(platform::SetTraceInputs(inputs)) {}
  ~ScopedTraceInputs() { platform::SetTraceInputs(old_); }

 private:
  platform::TraceInputs old_;
};

TEST(PtraceScope, ScopeAndCapabilityDecide) {
  const std::string withCap = "Name:\tx\nCapEff:\t0000000000080000\n";  // CAP_SYS_PTRACE only
  const std::string allButTrace = "CapEff:\t000001fffff7ffff\n";
  const std::string noCapLine = "Name:\tx\n";
  struct Case {
    std::optional<std::string> scope;  // none: no Yama
    std::string status;
    bool allowed;
  } const cases[] = {
      {std::nullopt, allButTrace, true}, {"0\n", allButTrace, true},
      {"1\n", allButTrace, false},       {"1\n", withCap, true},
      {"2\n", allButTrace, false},       {"2\n", withCap, true},
      {"3\n", withCap, false},           {"1\n", noCapLine, false},
      {"garbage\n", withCap, false},     {"", withCap, false},
      {"-1\n", withCap, false},
  };
  for (const Case &c : cases) {
    testsupport::TempDir dir;
    platform::TraceInputs inputs{dir.File("ptrace_scope"), dir.Write("status", c.status)};
    if (c.scope) dir.Write("ptrace_scope", *c.scope);
    ScopedTraceInputs scoped(inputs);
    EXPECT_EQ(platform::MayTraceOtherProcesses(), c.allowed)
        << (c.scope ? *c.scope : "no Yama") << " with " << c.status;
  }
}

// On this machine the answer is what the kernel does: attach to a process of
// this user that is not a descendant of this one.
TEST(PtraceScope, AnswerMatchesARealAttach) {
  FILE *shell = popen("sleep 30 </dev/null >/dev/null 2>&1 & echo $!", "r");
  ASSERT_NE(shell, nullptr);
  int pid = 0;
  const bool gotPid = std::fscanf(shell, "%d", &pid) == 1;
  pclose(shell);  // the shell is gone: the sleep is no descendant of this process
  ASSERT_TRUE(gotPid && pid > 0);
  const bool attached = ptrace(PTRACE_SEIZE, pid, nullptr, nullptr) == 0;
  const int error = errno;
  kill(pid, SIGKILL);
  if (attached) waitpid(pid, nullptr, __WALL);
  EXPECT_EQ(attached, platform::MayTraceOtherProcesses()) << (attached ? "attached" : std::strerror(error));
}

}  // namespace

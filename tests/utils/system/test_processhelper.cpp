#include "utils/system/processhelper.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/system/ptracescope.h"
#include "platform/system/shutdown.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "tests/support/deadline.h"
#include "tests/support/temp_dir.h"

extern char **environ;

namespace {

// Runs copies of sleep under a name no other process has, and ends only its
// own children when done.
class ProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    name_ = "tkr-sleep-" + std::to_string(getpid());
    path_ = dir_.File(name_);
    std::filesystem::copy_file("/bin/sleep", path_);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
  }
  void TearDown() override {
    for (pid_t pid : children_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  pid_t Start() {
    char *argv[] = {const_cast<char *>(name_.c_str()), const_cast<char *>("600"), nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, path_.c_str(), nullptr, nullptr, argv, environ), 0);
    children_.push_back(pid);
    // Wait until the child runs the copied program (after its exec).
    const std::string exe = "/proc/" + std::to_string(pid) + "/exe";
    std::error_code ec;
    EXPECT_TRUE(testsupport::WaitUntil([&] { return std::filesystem::read_symlink(exe, ec) == path_; },
                                       std::chrono::seconds(10)))
        << "child " << pid << " did not run " << path_ << " within 10 s";
    return pid;
  }
  // Reaps a child and tells whether SIGKILL ended it.
  bool EndedByKill(pid_t pid) {
    int status = 0;
    if (!testsupport::WaitForExit(pid, std::chrono::seconds(10), &status)) {
      ADD_FAILURE() << "child " << pid << " did not end within 10 s";
      return false;
    }
    children_.erase(std::find(children_.begin(), children_.end(), pid));
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }
  CString Name() const { return CString(MultiByteToWide(CP_UTF8, name_)); }

  testsupport::TempDir dir_;
  std::string name_, path_;
  std::vector<pid_t> children_;
};

TEST_F(ProcessTest, FindsAndEndsTheFirstListedProcessOfTheExecutable) {
  pid_t a = Start();
  pid_t b = Start();
  pid_t first = std::min(a, b), second = std::max(a, b);
  EXPECT_EQ(FindProcessId(Name()), static_cast<DWORD>(first));
  CString upper(Name());
  upper.MakeUpper();
  EXPECT_EQ(FindProcessId(upper), 0u);  // names compare case-sensitively

  EXPECT_TRUE(KillProcess(Name()));
  // The ended child is not reaped yet; it no longer counts as running.
  EXPECT_EQ(FindProcessId(Name()), static_cast<DWORD>(second));
  EXPECT_TRUE(EndedByKill(first));
  EXPECT_EQ(kill(second, 0), 0);  // the other one still runs

  EXPECT_TRUE(KillProcess(Name()));
  EXPECT_TRUE(EndedByKill(second));
  EXPECT_EQ(FindProcessId(Name()), 0u);
}

TEST_F(ProcessTest, KillingANameThatDoesNotRunFails) {
  pid_t child = Start();
  EXPECT_FALSE(KillProcess(Name() + L"-other"));
  EXPECT_FALSE(KillProcess(L""));
  EXPECT_EQ(kill(child, 0), 0);
}

// The privilege follows what the kernel allows: the Yama scope and the
// CAP_SYS_PTRACE capability, here read from files of the test.
TEST(EnableDebugPrivilege, ReportsWhetherTracingIsAllowed) {
  testsupport::TempDir dir;
  const platform::TraceInputs inputs{dir.File("ptrace_scope"), dir.Write("status", "CapEff:\t0000000000000000\n")};
  const platform::TraceInputs old = platform::SetTraceInputs(inputs);
  dir.Write("ptrace_scope", "0\n");
  SetLastError(ERROR_INVALID_FUNCTION);
  EXPECT_TRUE(EnableDebugPrivilege());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  dir.Write("ptrace_scope", "2\n");  // administrators only, and this status has no capability
  EXPECT_FALSE(EnableDebugPrivilege());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ALL_ASSIGNED));
  platform::SetTraceInputs(old);
}

// A power manager that records what it is asked to do.
class FakePowerManager : public platform::ShutdownBackend {
 public:
  std::string canPowerOff = "yes";
  bool scheduleWorks = true;
  std::vector<std::string> calls;
  std::string wall, type;
  uint64_t when = 0;

  std::string CanPowerOff() override { return canPowerOff; }
  bool SetWallMessage(const std::string &m) override {
    calls.push_back("wall");
    wall = m;
    return true;
  }
  bool ScheduleShutdown(const std::string &t, uint64_t usec) override {
    calls.push_back("schedule");
    type = t;
    when = usec;
    return scheduleWorks;
  }
  bool PowerOff() override {
    calls.push_back("poweroff");
    return true;
  }
  bool Reboot() override {
    calls.push_back("reboot");
    return true;
  }
};

class ShutdownTest : public testing::Test {
 protected:
  ShutdownTest() { platform::SetShutdownBackend(&power_); }
  ~ShutdownTest() override { platform::SetShutdownBackend(nullptr); }
  static uint64_t NowUsec() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
  }
  FakePowerManager power_;
};

TEST_F(ShutdownTest, SchedulesADelayedPowerOffWithTheMessage) {
  uint64_t before = NowUsec();
  EXPECT_TRUE(ShutdownSystem(60, L"系统将在一分钟后关机"));
  uint64_t after = NowUsec();
  EXPECT_EQ(power_.calls, (std::vector<std::string>{"wall", "schedule"}));  // no immediate power-off
  EXPECT_EQ(power_.wall, "系统将在一分钟后关机");
  EXPECT_EQ(power_.type, "poweroff");
  EXPECT_GE(power_.when, before + 60000000u);
  EXPECT_LE(power_.when, after + 60000000u);
  // The privilege is given back afterwards.
  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));
  EXPECT_TRUE(power_.calls.size() == 2);
}

TEST_F(ShutdownTest, StartsNothingWithoutTheRightToPowerOff) {
  for (const char *answer : {"no", "challenge", "na", ""}) {
    SCOPED_TRACE(answer);
    power_.canPowerOff = answer;
    EXPECT_FALSE(ShutdownSystem(30, L"bye"));
    EXPECT_TRUE(power_.calls.empty());
  }
}

TEST_F(ShutdownTest, FailsWhenThePowerManagerRefusesTheSchedule) {
  power_.scheduleWorks = false;
  EXPECT_FALSE(ShutdownSystem(30, L"bye"));
  EXPECT_FALSE(ExitWindowsEx(EWX_SHUTDOWN, 0));  // privilege given back here too
  EXPECT_EQ(power_.calls, (std::vector<std::string>{"wall", "schedule"}));
}

}  // namespace

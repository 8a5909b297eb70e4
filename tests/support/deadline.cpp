#include "tests/support/deadline.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace testsupport {

bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit, const std::function<void()> &step) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    if (step)
      step();
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool WaitForExit(pid_t pid, std::chrono::milliseconds limit, int *status) {
  int st = 0;
  const bool ended = WaitUntil([&] { return waitpid(pid, &st, WNOHANG) == pid; }, limit);
  if (ended && status) *status = st;
  return ended;
}

void EndChild(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (WaitForExit(pid, grace)) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

Watchdog::Watchdog(std::chrono::seconds limit, std::string what, std::source_location where) {
  thread_ = std::thread([this, limit, what = std::move(what), where] {
    std::unique_lock<std::mutex> lock(mutex_);
    if (cv_.wait_for(lock, limit, [this] { return done_; })) return;
    std::fprintf(stderr, "%s:%d: Failure\n%s did not finish within %lld s\n", where.file_name(),
                 static_cast<int>(where.line()), what.c_str(), static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::fflush(stdout);
    _exit(124);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  cv_.notify_one();
  thread_.join();
}

}  // namespace testsupport

// Waiting for what happens outside the test's own thread (another thread, a
// child process, a file, a main loop) always within a deadline, so a test
// that waits in vain fails saying what it waited for instead of hanging.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <source_location>
#include <string>
#include <thread>
#include <utility>

namespace testsupport {

// Calls step() until done() holds or `limit` has passed; step() sleeps 10 ms
// when none is given. True when done() held.
bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds limit,
               const std::function<void()> &step = {});

// Waits up to `limit` for the child `pid` to end and reaps it. True (and its
// wait status in *status) when it ended.
bool WaitForExit(pid_t pid, std::chrono::milliseconds limit, int *status = nullptr);

// Ends the child `pid`: SIGTERM, up to `grace` for it to go, then SIGKILL.
// Always reaps it.
void EndChild(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(5));

// For a wait that cannot be given up half-way (a join of threads that use the
// test's objects, a death test's child that must end by itself): unless the
// watchdog is destroyed within `limit`, it reports "<what> did not finish
// within N s" as a test failure on standard error and ends the process with
// code 124, before ctest's own time-out would end it without a word.
class Watchdog {
 public:
  Watchdog(std::chrono::seconds limit, std::string what, std::source_location where = std::source_location::current());
  ~Watchdog();
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool done_ = false;
  std::thread thread_;
};

// Runs `work` on a new thread and waits at most `limit` for it; true when it
// finished in time. Work that overruns goes on on its thread after the test
// moved on, so it must own (or share) everything it touches, results included.
template <class Work>
bool FinishesWithin(std::chrono::milliseconds limit, Work work) {
  struct State {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
  };
  auto state = std::make_shared<State>();
  std::thread([state, work = std::move(work)]() mutable {
    work();
    std::lock_guard<std::mutex> guard(state->lock);
    state->done = true;
    state->ended.notify_all();
  }).detach();
  std::unique_lock<std::mutex> guard(state->lock);
  return state->ended.wait_for(guard, limit, [&] { return state->done; });
}

}  // namespace testsupport

// Waiting for work that may not end: the work runs on a thread of its own and
// the test waits for it with a deadline, so a call that hangs fails the test
// (naming what it waited for) instead of stalling the whole suite.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace testsupport {

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

#include "platform/system/spawn.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

extern char **environ;

namespace platform {

int Spawn(const std::vector<std::string> &args, bool search, const std::string &folder, pid_t *pidOut) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
  int rc = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (rc == 0 && !folder.empty()) rc = posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = 0;
  if (rc == 0) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    rc = search ? posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ)
                : posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (rc == 0) *pidOut = pid;
  return rc;
}

void ReapWhenEnded(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

bool WaitForExit(pid_t pid, int timeoutMs, int *status) {
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  if (fd >= 0) {
    pollfd ready = {static_cast<int>(fd), POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int rc;
    do {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      rc = ::poll(&ready, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
    } while (rc < 0 && errno == EINTR);
    ::close(static_cast<int>(fd));
    if (rc <= 0) return false;
  } else {
    // Without process descriptors: look every 10 ms.
    for (int waited = 0;; waited += 10) {
      const pid_t done = waitpid(pid, status, WNOHANG);
      if (done == pid) return true;
      if (done < 0 && errno != EINTR) return false;
      if (waited >= timeoutMs) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  while (waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace platform

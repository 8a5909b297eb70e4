#include "platform/system/spawn.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
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

}  // namespace platform

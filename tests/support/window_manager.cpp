#include "tests/support/window_manager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/support/deadline.h"
#include "tests/support/scoped_env.h"
#include "tests/support/x_server.h"

extern char **environ;

namespace testsupport {

namespace {

// What xprop prints for properties of `target` ("-root" or "-id 0x..."); a
// tool that gets no answer from the X server ends after 20 s.
std::string Xprop(const std::string &display, const std::string &target, const std::string &properties) {
  const std::string cmd =
      "timeout -k 5 20 xprop -display " + display + " " + target + " -notype " + properties + " 2>/dev/null";
  std::string out;
  if (FILE *p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

// The window ids after "window id # " in xprop's answer.
std::vector<unsigned long> WindowIds(const std::string &answer) {
  std::vector<unsigned long> ids;
  const size_t at = answer.find("window id # ");
  if (at == std::string::npos) return ids;
  std::istringstream list(answer.substr(at + 12));
  std::string item;
  while (list >> item) ids.push_back(std::strtoul(item.c_str(), nullptr, 16));
  return ids;
}

std::string Hex(unsigned long window) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%lx", window);
  return buf;
}

}  // namespace

// Starting a client right after the server said it accepts them fails now
// and then on a busy machine: openbox then ends at once ("Failed to open the
// display"), and is started again, within one deadline for it all.
WindowManager::WindowManager(const std::string &display) {
  std::vector<std::string> env = {"DISPLAY=" + display};
  for (char **e = environ; *e; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.push_back(*e);
  std::vector<char *> envp;
  for (auto &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  // What it says goes to a file, for the report when it does not start.
  char log[] = "/tmp/openbox-log-XXXXXX";
  const int fd = mkstemp(log);
  if (fd >= 0) log_ = log;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, fd, 1);
    posix_spawn_file_actions_adddup2(&actions, fd, 2);
  }
  // The default configuration as installed, whatever the user's own says.
  const char *argv[] = {"openbox", "--config-file", "/etc/xdg/openbox/rc.xml", nullptr};
  int starts = 0, status = 0;
  const bool managing = WaitUntil(
      [&] {
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) pid_ = -1;
        if (pid_ <= 0) {
          ++starts;
          if (posix_spawnp(&pid_, "openbox", &actions, nullptr, const_cast<char **>(argv), envp.data()) != 0) {
            pid_ = -1;
            error_ = "openbox could not be started (is it installed?)";
            return true;
          }
          return false;
        }
        return !WindowIds(Xprop(display, "-root", "_NET_SUPPORTING_WM_CHECK")).empty();
      },
      std::chrono::seconds(20), [] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });
  posix_spawn_file_actions_destroy(&actions);
  if (fd >= 0) close(fd);
  if (!error_.empty() || (managing && pid_ > 0)) return;
  std::ifstream in(log_);
  const std::string said((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  error_ = "openbox did not manage the screen of " + display + " within 20 s (started " + std::to_string(starts) +
           " times, last status " + std::to_string(status) + "); it said: " + said;
}

WindowManager::~WindowManager() {
  EndChild(pid_);
  if (!log_.empty()) unlink(log_.c_str());
}

std::vector<unsigned long> StackingOrder(const std::string &display) {
  return WindowIds(Xprop(display, "-root", "_NET_CLIENT_LIST_STACKING"));
}

unsigned long TransientFor(const std::string &display, unsigned long window) {
  const std::vector<unsigned long> ids = WindowIds(Xprop(display, "-id " + Hex(window), "WM_TRANSIENT_FOR"));
  return ids.empty() ? 0 : ids.front();
}

std::string WindowTitle(const std::string &display, unsigned long window) {
  const std::string answer = Xprop(display, "-id " + Hex(window), "_NET_WM_NAME");
  const size_t open = answer.find(" = \"");
  const size_t close = answer.rfind('"');
  if (open == std::string::npos || close <= open + 3) return {};
  return answer.substr(open + 4, close - open - 4);
}

std::string NotAbove(const std::string &display, unsigned long window, unsigned long owner) {
  if (!window || !owner) return "a window is not realised yet";
  const unsigned long transientFor = TransientFor(display, window);
  const std::vector<unsigned long> order = StackingOrder(display);
  const auto at = std::find(order.begin(), order.end(), window), ownerAt = std::find(order.begin(), order.end(), owner);
  char text[256];
  std::snprintf(text, sizeof text, "WM_TRANSIENT_FOR 0x%lx (owner 0x%lx); stacking position %ld, owner's %ld",
                transientFor, owner, at == order.end() ? -1L : long(at - order.begin()),
                ownerAt == order.end() ? -1L : long(ownerAt - order.begin()));
  if (transientFor != owner || at == order.end() || ownerAt == order.end() || at < ownerAt) return text;
  return {};
}

std::string SharedDesktop(std::string *why, bool (*startToolkit)()) {
  static XServer x;
  static std::unique_ptr<WindowManager> wm;
  static std::string error;
  static const bool ready = [startToolkit] {
    if (x.display().empty()) {
      error = "Xvfb did not start";
      return false;
    }
    wm = std::make_unique<WindowManager>(x.display());
    if (!wm->error().empty()) {
      error = wm->error();
      return false;
    }
    static const ScopedEnv display("DISPLAY", x.display());
    if (!startToolkit()) error = "the toolkit did not start on " + x.display();
    return error.empty();
  }();
  *why = error;
  return ready ? x.display() : std::string();
}

}  // namespace testsupport

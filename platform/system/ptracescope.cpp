#include "platform/system/ptracescope.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::mutex g_mutex;
platform::TraceInputs g_inputs;

platform::TraceInputs Inputs() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_inputs;
}

// The scope of the Yama file: -1 when Yama is absent, -2 when the file
// exists but cannot be read or holds no scope.
int YamaScope(const std::string &file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? -1 : -2;
  char text[32] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  int scope = -2;
  if (n <= 0 || !(std::istringstream(std::string(text, static_cast<size_t>(n))) >> scope) || scope < 0) return -2;
  return scope;
}

bool HasTraceCapability(const std::string &statusFile) {
  std::ifstream in(statusFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    unsigned long long caps = 0;
    std::istringstream(line.substr(7)) >> std::hex >> caps;
    return (caps >> CAP_SYS_PTRACE) & 1u;
  }
  return false;
}

}  // namespace

namespace platform {

bool MayTraceOtherProcesses() {
  const TraceInputs inputs = Inputs();
  switch (YamaScope(inputs.yamaScopeFile)) {
    case -1:
    case 0:
      return true;
    case 1:
    case 2:
      return HasTraceCapability(inputs.statusFile);
    default:
      return false;
  }
}

TraceInputs SetTraceInputs(const TraceInputs &inputs) {
  std::lock_guard<std::mutex> lock(g_mutex);
  TraceInputs previous = g_inputs;
  g_inputs = inputs;
  return previous;
}

}  // namespace platform

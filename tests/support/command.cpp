#include "tests/support/command.h"

#include <sys/wait.h>

#include <cstdio>

namespace testsupport {

int RunCommand(const std::string &command, std::string *out) {
  out->clear();
  FILE *p = popen(command.c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
  const int status = pclose(p);
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testsupport

#include "platform/system/osrandom.h"

#include <sys/random.h>

#include <cerrno>

namespace platform {

bool FillRandomBytes(void *buffer, size_t size) noexcept {
  auto *p = static_cast<unsigned char *>(buffer);
  while (size > 0) {
    ssize_t n = getrandom(p, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace platform

#include "platform/text/crtrand.h"

namespace {

thread_local std::uint32_t t_state = 1;

}  // namespace

void crt_srand(unsigned int seed) noexcept { t_state = seed; }

int crt_rand() noexcept {
  t_state = t_state * 214013u + 2531011u;
  return static_cast<int>((t_state >> 16) & CRT_RAND_MAX);
}

// The runtime's pseudo-random generator: a linear congruential generator
// with values 0..CRT_RAND_MAX, its state kept per thread (each thread starts
// as if seeded with 1). glibc's rand is process-wide with a wider range, so
// the runtime's own is kept here. Not for security uses.
#pragma once

#include <cstdint>

#define CRT_RAND_MAX 0x7FFF

void crt_srand(unsigned int seed) noexcept;
int crt_rand() noexcept;

// A uniform random bit generator over crt_rand, for the standard library's
// shuffles: it draws from the calling thread's state.
struct CrtRandomEngine {
  using result_type = unsigned int;
  static constexpr result_type min() { return 0; }
  static constexpr result_type max() { return CRT_RAND_MAX; }
  result_type operator()() const noexcept { return static_cast<result_type>(crt_rand()); }
};

// The process's peak resident size, for tests that bound what an operation
// keeps: the growth of the peak across it is at least what it held at once.
#pragma once

#include <sys/resource.h>

namespace testsupport {

// The peak resident size of the process so far, in bytes.
inline long long PeakResidentBytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

}  // namespace testsupport

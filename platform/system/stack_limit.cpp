#include "platform/system/stack_limit.h"

#include <pthread.h>

#include <cstdint>

namespace platform {

namespace {

// Low end of the thread's stack, looked up once per thread; 0 when unknown.
std::uintptr_t stack_low_bound() noexcept {
  thread_local std::uintptr_t low = [] {
    std::uintptr_t result = 0;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
      void *addr = nullptr;
      std::size_t size = 0;
      if (pthread_attr_getstack(&attr, &addr, &size) == 0) result = reinterpret_cast<std::uintptr_t>(addr);
      pthread_attr_destroy(&attr);
    }
    return result;
  }();
  return low;
}

}  // namespace

std::size_t stack_headroom() noexcept {
  std::uintptr_t low = stack_low_bound();
  std::uintptr_t here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (low == 0 || here <= low) return low == 0 ? std::size_t(-1) : 0;
  return here - low;
}

}  // namespace platform

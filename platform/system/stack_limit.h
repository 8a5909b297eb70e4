// Room left on the calling thread's stack. Stands in for the platform's
// stack-overflow exception: code that recurses deeply asks before it goes
// deeper instead of running into the guard page.
#pragma once

#include <cstddef>

namespace platform {

// Bytes between the caller's frame and the low end of the current thread's
// stack; a very large value when the bounds cannot be determined.
std::size_t stack_headroom() noexcept;

}  // namespace platform

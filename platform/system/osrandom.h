// Random bytes from the kernel's cryptographic source (getrandom).
#pragma once

#include <cstddef>

namespace platform {

// Fills `size` bytes; false when the source fails (the buffer's contents are
// then unspecified).
bool FillRandomBytes(void *buffer, size_t size) noexcept;

}  // namespace platform

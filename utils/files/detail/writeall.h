// Writing a whole buffer through a file handle of the platform's file layer.
#pragma once

#include <cstddef>

#include "platform/text/windef.h"

namespace pcutil {

// Writes all `size` bytes at the handle's position, in pieces the platform's
// WriteFile takes, advancing by what each write reports. false when a write
// fails or writes nothing (the error code in GetLastError).
bool WriteAll(HANDLE file, const void *data, size_t size);

}  // namespace pcutil

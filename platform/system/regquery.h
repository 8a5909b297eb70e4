// Reading a key's default value by sub-key path, over the registry functions.
#pragma once

#include "platform/system/registry.h"

// Opens `subKey` under `hKey` (null or empty: `hKey` itself) for reading and
// reads its default value as text. `*size` is the buffer's size in bytes; on
// success it becomes the bytes of the text with its terminator. A key
// without a default value reads as an empty text. Errors: those of opening
// the key; ERROR_MORE_DATA (with the size needed) when the buffer is too
// small; ERROR_INVALID_PARAMETER without a size.
LONG RegQueryValueW(HKEY hKey, LPCWSTR subKey, LPWSTR value, LONG *size);

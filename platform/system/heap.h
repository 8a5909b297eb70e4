// Freeing blocks that platform functions allocate for their callers
// (FormatMessageW's buffer, the proxy query's texts). Those blocks come from
// malloc; both functions free them and return null (success).
#pragma once

#include "platform/text/windef.h"

typedef HANDLE HLOCAL;
typedef HANDLE HGLOBAL;

HLOCAL LocalFree(HLOCAL block) noexcept;
HGLOBAL GlobalFree(HGLOBAL block) noexcept;

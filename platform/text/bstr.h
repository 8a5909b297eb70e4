// BSTR: a length-prefixed wide text owned by whoever allocated it, freed with
// SysFreeString. Here a BSTR holds wchar_t characters (one per Unicode
// character) and is NUL-terminated.
#pragma once

#include "platform/text/windef.h"

typedef wchar_t OLECHAR;
typedef OLECHAR *BSTR;

// Null when out of memory. A null `text` gives a zero-filled text of `length`.
BSTR SysAllocString(const OLECHAR *text);
BSTR SysAllocStringLen(const OLECHAR *text, UINT length);
void SysFreeString(BSTR text) noexcept;
UINT SysStringLen(BSTR text) noexcept;

// Number <-> text functions of the original runtime, with its widths.
#pragma once

#include "platform/text/windef.h"

// Leading white space, optional sign, decimal digits; saturates at the
// 32-bit range; no digits gives 0.
LONG _wtol(const wchar_t *text) noexcept;
int _wtoi(const wchar_t *text) noexcept;
LONGLONG _wtoi64(const wchar_t *text) noexcept;
// wcstol with a 32-bit result: saturates at LONG_MIN/LONG_MAX (errno
// ERANGE); `end` as wcstol.
LONG win_wcstol(const wchar_t *text, wchar_t **end, int base) noexcept;
__int64 _wcstoi64(const wchar_t *text, wchar_t **end, int base) noexcept;
ULONGLONG _wcstoui64(const wchar_t *text, wchar_t **end, int base) noexcept;

// Number to text in `radix` 2..36, lower-case digits; a minus sign only in
// radix 10 (other radixes show the two's complement). Returns `buffer`,
// which must hold 33 (32-bit) or 65 (64-bit) characters plus the sign; an
// invalid radix gives an empty text.
wchar_t *_itow(int value, wchar_t *buffer, int radix) noexcept;
wchar_t *_ltow(LONG value, wchar_t *buffer, int radix) noexcept;
wchar_t *_ultow(ULONG value, wchar_t *buffer, int radix) noexcept;
wchar_t *_i64tow(__int64 value, wchar_t *buffer, int radix) noexcept;
wchar_t *_ui64tow(ULONGLONG value, wchar_t *buffer, int radix) noexcept;

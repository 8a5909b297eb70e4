#include "platform/text/numeric.h"

#include <cerrno>
#include <climits>
#include <cwchar>

namespace {

template <class S, class U>
wchar_t *ToText(U magnitude, bool negative, wchar_t *buffer, int radix) {
  if (!buffer) return buffer;
  if (radix < 2 || radix > 36) {
    buffer[0] = 0;
    return buffer;
  }
  wchar_t digits[72];
  int n = 0;
  do {
    unsigned d = static_cast<unsigned>(magnitude % static_cast<U>(radix));
    digits[n++] = static_cast<wchar_t>(d < 10 ? L'0' + d : L'a' + d - 10);
    magnitude /= static_cast<U>(radix);
  } while (magnitude);
  wchar_t *p = buffer;
  if (negative) *p++ = L'-';
  while (n) *p++ = digits[--n];
  *p = 0;
  return buffer;
}

template <class S, class U>
wchar_t *SignedToText(S value, wchar_t *buffer, int radix) {
  bool negative = radix == 10 && value < 0;
  U magnitude = static_cast<U>(value);
  if (negative) magnitude = static_cast<U>(0) - magnitude;
  return ToText<S, U>(magnitude, negative, buffer, radix);
}

}  // namespace

LONG win_wcstol(const wchar_t *text, wchar_t **end, int base) noexcept {
  if (!text) return 0;
  long v = std::wcstol(text, end, base);
  if (v > INT32_MAX) {
    errno = ERANGE;
    return INT32_MAX;
  }
  if (v < INT32_MIN) {
    errno = ERANGE;
    return INT32_MIN;
  }
  return static_cast<LONG>(v);
}

LONG _wtol(const wchar_t *text) noexcept { return win_wcstol(text, nullptr, 10); }
int _wtoi(const wchar_t *text) noexcept { return win_wcstol(text, nullptr, 10); }
LONGLONG _wtoi64(const wchar_t *text) noexcept { return text ? std::wcstoll(text, nullptr, 10) : 0; }

__int64 _wcstoi64(const wchar_t *text, wchar_t **end, int base) noexcept {
  return text ? std::wcstoll(text, end, base) : 0;
}

ULONGLONG _wcstoui64(const wchar_t *text, wchar_t **end, int base) noexcept {
  return text ? std::wcstoull(text, end, base) : 0;
}

wchar_t *_itow(int value, wchar_t *buffer, int radix) noexcept {
  return SignedToText<int32_t, uint32_t>(value, buffer, radix);
}
wchar_t *_ltow(LONG value, wchar_t *buffer, int radix) noexcept {
  return SignedToText<int32_t, uint32_t>(value, buffer, radix);
}
wchar_t *_ultow(ULONG value, wchar_t *buffer, int radix) noexcept {
  return ToText<uint32_t, uint32_t>(value, false, buffer, radix);
}
wchar_t *_i64tow(__int64 value, wchar_t *buffer, int radix) noexcept {
  return SignedToText<int64_t, uint64_t>(value, buffer, radix);
}
wchar_t *_ui64tow(ULONGLONG value, wchar_t *buffer, int radix) noexcept {
  return ToText<uint64_t, uint64_t>(value, false, buffer, radix);
}

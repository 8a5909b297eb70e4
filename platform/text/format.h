// Wide printf with the rules of the original platform's runtime, whatever
// glibc does:
//   %s   wide text (const wchar_t*), %S narrow text (const char*), "(null)"
//        for a null pointer; %hs narrow, %ls/%ws wide
//   %c   wide character, %C narrow character
//   %d %i %u %x %X %o  32-bit unless sized: %hd 16, %ld 32 (as DWORD/LONG),
//        %lld %I64d 64, %I32d 32, %Id %zd pointer-sized
//   %f %F %e %E %g %G %a %A  double, always with '.' as the decimal point
//   %p   pointer as zero-padded upper-case hex digits (16 here)
//   %%   percent; flags - + space # 0, width and precision, '*' for both
// %n writes nothing and prints nothing. A missing argument of the typed
// forms formats as 0 or as an empty text, never as a read past the list.
//
// The va_list forms read each argument with the width the directive names,
// as the original does. The typed form (FormatWide) takes the arguments
// themselves (numbers, characters, pointers, wide/narrow texts, CString).
#pragma once

#include <concepts>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/text/windef.h"

class CString;

#define _TRUNCATE ((size_t)-1)

namespace platform {

// One argument of the typed formatter.
struct FormatArg {
  enum Kind { kInt, kUInt, kDouble, kWide, kNarrow, kPointer } kind;
  union {
    int64_t i;
    uint64_t u;
    double d;
    const wchar_t *ws;
    const char *s;
    const void *p;
  };
};

const wchar_t *FormatArgText(const CString &s) noexcept;

template <class T>
FormatArg MakeFormatArg(const T &v) {
  FormatArg a;
  using D = std::decay_t<T>;
  if constexpr (std::is_same_v<D, CString>) {
    a.kind = FormatArg::kWide;
    a.ws = FormatArgText(v);
  } else if constexpr (std::is_same_v<D, std::wstring>) {
    a.kind = FormatArg::kWide;
    a.ws = v.c_str();
  } else if constexpr (std::is_same_v<D, std::string>) {
    a.kind = FormatArg::kNarrow;
    a.s = v.c_str();
  } else if constexpr (std::is_same_v<D, const wchar_t *> || std::is_same_v<D, wchar_t *>) {
    a.kind = FormatArg::kWide;
    a.ws = v;
  } else if constexpr (std::is_same_v<D, const char *> || std::is_same_v<D, char *>) {
    a.kind = FormatArg::kNarrow;
    a.s = v;
  } else if constexpr (std::is_pointer_v<D> || std::is_null_pointer_v<D>) {
    a.kind = FormatArg::kPointer;
    a.p = static_cast<const void *>(v);
  } else if constexpr (std::is_floating_point_v<D>) {
    a.kind = FormatArg::kDouble;
    a.d = static_cast<double>(v);
  } else if constexpr (std::is_enum_v<D>) {
    a.kind = FormatArg::kInt;
    a.i = static_cast<int64_t>(v);
  } else if constexpr (std::is_integral_v<D> && std::is_signed_v<D>) {
    a.kind = FormatArg::kInt;
    a.i = static_cast<int64_t>(v);
  } else if constexpr (std::is_integral_v<D>) {
    a.kind = FormatArg::kUInt;
    a.u = static_cast<uint64_t>(v);
  } else {
    static_assert(sizeof(T) == 0, "type cannot be formatted");
  }
  return a;
}

// Formats with the typed arguments `args[0..count)`.
std::wstring FormatWideArgs(LPCWSTR format, const FormatArg *args, size_t count);

template <class... Args>
std::wstring FormatWide(LPCWSTR format, const Args &...args) {
  if constexpr (sizeof...(Args) == 0) {
    return FormatWideArgs(format, nullptr, 0);
  } else {
    const FormatArg list[] = {MakeFormatArg(args)...};
    return FormatWideArgs(format, list, sizeof...(Args));
  }
}

// Formats reading the arguments from a va_list.
std::wstring FormatWideV(LPCWSTR format, va_list args);

// Narrow printf with the same rules, where %s is narrow text and %S wide.
std::string FormatNarrowV(const char *format, va_list args);

}  // namespace platform

// The runtime's wide printf family.
// Number of characters the output would have (without the terminator).
int _vscwprintf(LPCWSTR format, va_list args);
int _scwprintf(LPCWSTR format, ...);
// Writes at most min(count, size - 1) characters and the terminator
// (count == _TRUNCATE: as many as fit); returns the length written, or -1
// when the output was cut or buf/size are invalid (buf gets an empty text
// when size > 0).
int _vsnwprintf_s(wchar_t *buf, size_t size, size_t count, LPCWSTR format, va_list args);
int _snwprintf_s(wchar_t *buf, size_t size, size_t count, LPCWSTR format, ...);
// Writes the whole output or, when it does not fit in `size` characters with
// the terminator, an empty text and returns -1.
int vswprintf_s(wchar_t *buf, size_t size, LPCWSTR format, va_list args);
int swprintf_s(wchar_t *buf, size_t size, LPCWSTR format, ...);
template <size_t N>
int swprintf_s(wchar_t (&buf)[N], LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vswprintf_s(buf, N, format, ap);
  va_end(ap);
  return n;
}
// Writes up to `count` characters; the terminator only when it fits; -1
// when the output is longer than `count`.
int _vsnwprintf(wchar_t *buf, size_t count, LPCWSTR format, va_list args);
int _snwprintf(wchar_t *buf, size_t count, LPCWSTR format, ...);
// Narrow forms with the runtime's rules (%ld 32 bits).
int _vscprintf(const char *format, va_list args);
int vsprintf_s(char *buf, size_t size, const char *format, va_list args);
int sprintf_s(char *buf, size_t size, const char *format, ...);
template <size_t N>
int sprintf_s(char (&buf)[N], const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vsprintf_s(buf, N, format, ap);
  va_end(ap);
  return n;
}

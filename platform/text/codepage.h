// Code-page conversions with the original platform's signatures and rules.
// Code pages: CP_ACP, CP_OEMCP and CP_THREAD_ACP are 936 (GBK, which also
// decodes GB2312 text); 936, 950 (Big5), 28591 (ISO-8859-1) and CP_UTF8.
// Any other code page fails with ERROR_INVALID_PARAMETER.
//
// Both functions: `src_len` -1 converts up to and including the terminating
// NUL (which then counts in the result); an output size of 0 returns the
// size needed without writing; the result is the number of units written,
// or 0 with the last error set: ERROR_INSUFFICIENT_BUFFER when the output
// is too small, ERROR_NO_UNICODE_TRANSLATION when MB_ERR_INVALID_CHARS is
// given and the input is invalid, ERROR_INVALID_PARAMETER for bad
// arguments, ERROR_INVALID_FLAGS for flags the code page does not take.
// An empty input (src_len 0) fails with ERROR_INVALID_PARAMETER, as on the
// original.
//
// Invalid input without MB_ERR_INVALID_CHARS:
// - UTF-8 decode: each maximal invalid subpart (bad lead byte, truncated,
//   overlong or surrogate sequence) becomes one U+FFFD;
// - UTF-8 encode: a surrogate character becomes EF BF BD;
// - 936/950 decode: a byte that starts no valid character becomes '?'; a
//   valid lead byte with a bad trail gives '?' and decoding goes on at the
//   trail byte;
// - 936/950/28591 encode: an unmappable character becomes the default
//   character ('?' or `default_char`) and *used_default is set TRUE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text/windef.h"

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_MACCP 2u
#define CP_THREAD_ACP 3u
#define CP_UTF7 65000u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u
#define WC_ERR_INVALID_CHARS 0x00000080u

// The code page CP_ACP, CP_OEMCP and CP_THREAD_ACP stand for.
#define PLATFORM_ANSI_CODE_PAGE 936u

UINT GetACP() noexcept;
UINT GetOEMCP() noexcept;

int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR src, int src_len, LPWSTR dst, int dst_len);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR src, int src_len, LPSTR dst, int dst_len,
                        LPCSTR default_char, LPBOOL used_default);

// Convenience forms of the two-call pattern: the whole input (embedded NULs
// included), invalid input replaced as above; an unknown code page gives an
// empty result.
std::wstring MultiByteToWide(UINT code_page, const std::string &bytes);
std::wstring MultiByteToWide(UINT code_page, const char *bytes, size_t length);
std::string WideToMultiByte(UINT code_page, const std::wstring &text);
std::string WideToMultiByte(UINT code_page, const wchar_t *text, size_t length);

// Writes the UTF-8 form of `c` (U+0000 to U+10FFFF, not a surrogate) at
// `out`; returns its bytes, 1 to 4.
inline size_t PutUtf8(uint32_t c, char *out) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
}

// UTF-8 decoded a piece at a time, for a reader that finds the pieces in a
// larger buffer and decodes only them, each whole, as MultiByteToWide
// decodes them alone (a piece that ends inside a character decodes as at
// the end of the input). `bytes` stays readable for kUtf8PaddedRead bytes
// beyond `length`, and `out` has room for `length` + kUtf8PaddedWrite
// characters; those beyond the ones it returns may be written over.
// Returns the characters written.
constexpr size_t kUtf8PaddedRead = 48;
constexpr size_t kUtf8PaddedWrite = 16;
namespace utf8_detail {
size_t DecodePadded(const char *bytes, size_t length, wchar_t *out);
// The decoders behind DecodePadded, each of which decodes any piece alike,
// for tests that hold every one this processor runs to MultiByteToWide:
// level 0 the decoder of whole texts (which reads nothing beyond the
// piece), 1 blocks of sixteen bytes (SSE4.1), 2 of 32 (AVX2), 3 of 64
// (AVX-512 BW and VBMI2); null for a level the processor lacks or beyond
// the last.
using PieceDecoder = size_t (*)(const char *bytes, size_t length, wchar_t *out);
PieceDecoder PieceDecoderOf(int level);
#ifdef __SSE2__
// Sixteen bytes of ASCII written as sixteen characters.
inline void WidenSixteen(__m128i v, wchar_t *to) {
  static_assert(sizeof(wchar_t) == 4, "four characters in sixteen bytes");
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
  __m128i *w = reinterpret_cast<__m128i *>(to);
  _mm_storeu_si128(w, _mm_unpacklo_epi16(lo, zero));
  _mm_storeu_si128(w + 1, _mm_unpackhi_epi16(lo, zero));
  _mm_storeu_si128(w + 2, _mm_unpacklo_epi16(hi, zero));
  _mm_storeu_si128(w + 3, _mm_unpackhi_epi16(hi, zero));
}
#endif
}  // namespace utf8_detail
// Most names and values of markup are short and ASCII: those are widened
// here, without a call.
inline size_t DecodeUtf8Padded(const char *bytes, size_t length, wchar_t *out) {
#ifdef __SSE2__
  static_assert(kUtf8PaddedRead >= 16 && kUtf8PaddedWrite >= 16, "sixteen bytes read and written");
  if (length <= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes));
    if (!(static_cast<unsigned>(_mm_movemask_epi8(v)) & ((1u << length) - 1))) {
      utf8_detail::WidenSixteen(v, out);
      return length;
    }
  }
#endif
  return utf8_detail::DecodePadded(bytes, length, out);
}

// UTF-16 little-endian bytes <-> wide text. Characters above U+FFFF are
// surrogate pairs in the bytes; an unpaired surrogate decodes to U+FFFD and a
// trailing odd byte is dropped. Encoding writes a surrogate character or one
// beyond U+10FFFF as U+FFFD.
std::wstring Utf16LeToWide(const void *bytes, size_t byte_count);
std::string WideToUtf16Le(const std::wstring &text);
std::string WideToUtf16Le(const wchar_t *text, size_t length);

// The reader's scanners over UTF-8 bytes, and the decoding of the pieces it
// finds there. A reader over UTF-8 finds the markup in the bytes themselves:
// every character the markup is made of is ASCII, and an ASCII byte is
// always a character of its own, so a piece between two markup characters
// decodes to exactly the characters the whole decoded text holds there.
// Only white space beyond ASCII (U+1680 to U+3000) needs a character
// decoded to be told.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "utils/xml/xmlentity.h"
#include "utils/xml/xmlreader.h"

namespace pcutil {

// As the wide scanners of xmlentity.h, over NUL-terminated bytes; the
// decoded output of XmlScanUntil is wide.
const char *XmlScanName(const char *p, char stop, const char *&nameEnd);
const char *XmlScanUntil(const char *p, const char *limit, char stop, bool unescape, std::wstring &out,
                         XmlScanOf<char> &scan);
// `p` begins with the ASCII `tag` (case-blind as the wide form is).
bool XmlStartsWith(const char *p, const char *tag, bool ignoreCase);

namespace xmlread {

// White space to the reader in ASCII: the blank and tab to CR (XmlIsSpace).
inline bool IsAsciiSpace(uint32_t c) { return c == ' ' || c - '\t' <= uint32_t{'\r' - '\t'}; }
// A byte that can lead the three bytes of white space beyond ASCII (U+1680
// to U+3000).
inline bool LeadsWideSpace(uint32_t c) { return c - 0xE1 <= 0xE3 - 0xE1; }

// 3 when the bytes at `p` (NUL-terminated) are a character beyond U+00FF
// that is white space to the reader, else 0.
inline size_t WideSpaceBytes(const char *p) {
  const unsigned lead = static_cast<unsigned char>(p[0]);
  if (!LeadsWideSpace(lead)) return 0;
  const unsigned c1 = static_cast<unsigned char>(p[1]);
  if ((c1 & 0xC0) != 0x80) return 0;
  const unsigned c2 = static_cast<unsigned char>(p[2]);
  if ((c2 & 0xC0) != 0x80) return 0;
  return XmlIsWideSpace(static_cast<wchar_t>(((lead & 0x0F) << 12) | ((c1 & 0x3F) << 6) | (c2 & 0x3F))) ? 3 : 0;
}

// The code of one unit of either kind of text.
inline uint32_t Unit(wchar_t c) { return static_cast<uint32_t>(c); }
inline uint32_t Unit(char c) { return static_cast<unsigned char>(c); }
// Units below this are one character each that no test of the reader needs
// decoded: every character of a wide text; ASCII in UTF-8.
template <class Char>
inline constexpr uint32_t kPlain = sizeof(Char) == 1 ? 0x80u : 256u;

// How many units of white space to the reader stand at `p`: 0 or one
// character's.
inline size_t SpaceAt(const wchar_t *p) { return XmlIsSpace(*p) ? 1 : 0; }
inline size_t SpaceAt(const char *p) {
  // In ASCII the blank and tab to CR (XmlIsSpace); beyond it only the
  // characters of three bytes WideSpaceBytes tells.
  const uint32_t c = Unit(*p);
  if (IsAsciiSpace(c)) return 1;
  return LeadsWideSpace(c) ? WideSpaceBytes(p) : 0;
}

// Four characters (sixteen bytes) at a time while they lie before `limit`
// (the end of the text), one at a time beyond it or without a limit: every
// load stays inside the text, so every build (the address sanitizer's too)
// runs the same scan. The reader always knows the end of its text; the
// helpers that do not are not on its path. Inline: the reader scans
// every text and value with it.
template <class Char>
inline const Char *FindFirst(const Char *p, const Char *limit, Char a, Char b) {
#ifdef __SSE2__
  if (limit) {
    const __m128i zero = _mm_setzero_si128();
    if constexpr (sizeof(Char) == 4) {
      const __m128i va = _mm_set1_epi32(static_cast<int>(a)), vb = _mm_set1_epi32(static_cast<int>(b));
      for (; p + 4 <= limit; p += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(v, va), _mm_cmpeq_epi32(v, vb)), _mm_cmpeq_epi32(v, zero));
        if (const int mask = _mm_movemask_ps(_mm_castsi128_ps(hit)))
          return p + __builtin_ctz(static_cast<unsigned>(mask));
      }
    } else {
      const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b);
      for (; p + 16 <= limit; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, zero));
        if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
      }
    }
  }
#endif
  while (*p != a && *p != b && *p != 0) ++p;
  return p;
}

// The pieces decoded here lie in the reader's window, which stays readable
// for kUtf8PaddedRead bytes beyond any piece (platform/text/codepage.h).
//
// Appends the `n` bytes at `p`, decoded (invalid input as MultiByteToWide
// replaces it).
void AppendUtf8(std::wstring &out, const char *p, size_t n);

// A text's references in UTF-8 bytes, written in the bytes themselves
// before the text is decoded: then its decode is that of a text without
// references, in one piece. A reference's character in UTF-8 takes no more
// bytes than the reference, and, as a whole sequence that starts with a
// lead byte or is ASCII, decodes as itself next to whatever stands before
// and after it, so the decode is the one that decoding the runs between
// references apart would give (xmlread::Reference is in xmlreader.h).
//
// The references of the text from `p` (on its first '&') up to '<', noted
// in `references`; returns the '<'. Null when the text holds anything the
// byte form does not take: a malformed reference, one to a surrogate alone
// (which only the wide text holds), or an end before '<'; the caller then
// reads the text as before, and that tells which.
const char *FindReferences(const char *p, const char *limit, std::vector<Reference> &references);
// Writes the `references` of the `n` bytes at `text` (all within them)
// in UTF-8 over them, moving what follows each up behind it; returns the
// bytes left.
size_t WriteReferences(char *text, size_t n, const std::vector<Reference> &references);

}  // namespace xmlread

}  // namespace pcutil

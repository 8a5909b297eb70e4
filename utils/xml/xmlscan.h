// The scanners the XML reader and the entity helpers are built from, over a
// text of wide characters or of UTF-8 bytes (`C` is wchar_t or char). A
// text ends at a NUL, which stops every scan.
//
// Over UTF-8 every scan decides as it would over the decoded text: all the
// characters that steer a scan are ASCII, except white space beyond ASCII,
// which is decoded where it counts; the case-blind tests compare with tags
// and entity names whose letters no other character lowers to; and a scan
// cuts the text only at ASCII characters, so the pieces it hands out decode
// to what the whole text decodes to there. A UTF-8 text is the reader's
// window: besides its NUL it has kSlack readable bytes, so sixteen bytes
// are loaded at a time without a bound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"
#include "utils/xml/xmlentity.h"

namespace pcutil::xmlscan {

// Readable bytes beyond the NUL of a UTF-8 text.
inline constexpr size_t kSlack = 16;

// A character as a number, bytes without sign.
inline uint32_t Unit(wchar_t c) { return static_cast<uint32_t>(c); }
inline uint32_t Unit(char c) { return static_cast<unsigned char>(c); }

// --- white space ---------------------------------------------------------------

// The length of the character at `p` (a byte from 0x80 up), and whether it
// is white space to the reader.
size_t Utf8Char(const char *p, bool &space);

// The units of the white-space character at `p`, or 0.
inline size_t SpaceAt(const wchar_t *p) { return XmlIsSpace(*p) ? 1 : 0; }
inline size_t SpaceAt(const char *p) {
  const uint32_t c = Unit(*p);
  if (c < 0x80) return c == ' ' || (c >= '\t' && c <= '\r') ? 1 : 0;
  bool space;
  const size_t length = Utf8Char(p, space);
  return space ? length : 0;
}

#ifdef __SSE2__
inline __m128i Load16(const char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
// Lanes (bit i for byte i) of the bytes that are ASCII white space.
inline unsigned AsciiSpace(__m128i v) {
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8('\t'));
  const __m128i tabToCr = _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(4)), shifted);
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(tabToCr, _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')))));
}
// Lanes of the bytes at or below `c`, and of the bytes from 0x80 up.
inline unsigned AtMost(__m128i v, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(c)), v)));
}
inline unsigned High(__m128i v) { return static_cast<unsigned>(_mm_movemask_epi8(v)); }
inline unsigned Equal(__m128i v, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}
#endif

// The first character from `p` that is not white space.
inline const wchar_t *SkipSpace(const wchar_t *p) {
  while (XmlIsSpace(*p)) ++p;  // not the NUL
  return p;
}
inline const char *SkipSpace(const char *p) {
#ifdef __SSE2__
  // Runs between tags are shorter than sixteen bytes: one load finds their
  // end without a branch per character.
  for (;;) {
    const unsigned other = ~AsciiSpace(Load16(p)) & 0xFFFF;
    if (!other) {
      p += 16;
      continue;
    }
    p += __builtin_ctz(other);
    const size_t n = SpaceAt(p);
    if (!n) return p;
    p += n;
  }
#else
  while (size_t n = SpaceAt(p)) p += n;
  return p;
#endif
}

// The end of a start tag's name from `p`: white space, '>', "/>" or the
// NUL.
inline const wchar_t *NameEnd(const wchar_t *p) {
  for (;; ++p) {
    const wchar_t c = *p;
    if (c > L' ' && c < 256 && c != L'>' && c != L'/') continue;  // the common case
    if (c == L'\0' || c == L'>' || XmlIsSpace(c) || (c == L'/' && p[1] == L'>')) return p;
  }
}
inline const char *NameEnd(const char *p) {
  for (;;) {
#ifdef __SSE2__
    const __m128i v = Load16(p);
    const unsigned maybe = AtMost(v, ' ') | High(v) | Equal(v, '>') | Equal(v, '/');
    if (!maybe) {
      p += 16;
      continue;
    }
    p += __builtin_ctz(maybe);
#endif
    const uint32_t c = Unit(*p);
    if (c == 0 || c == '>' || (c == '/' && p[1] == '>')) return p;
    if (c < 0x80) {
      if (SpaceAt(p)) return p;
      ++p;
      continue;
    }
    bool space;
    const size_t length = Utf8Char(p, space);
    if (space) return p;
    p += length;
  }
}

// The end of an attribute name written right up to '=' from `p`: the
// first character that is not plain (white space, a control character, one
// beyond ASCII, or the NUL), or '='.
inline const wchar_t *PlainNameEnd(const wchar_t *p) {
  while (*p > L' ' && *p < 256 && *p != L'=') ++p;
  return p;
}
inline const char *PlainNameEnd(const char *p) {
#ifdef __SSE2__
  for (;; p += 16) {
    const __m128i v = Load16(p);
    if (const unsigned stop = AtMost(v, ' ') | High(v) | Equal(v, '=')) return p + __builtin_ctz(stop);
  }
#else
  while (Unit(*p) > ' ' && Unit(*p) < 0x80 && *p != '=') ++p;
  return p;
#endif
}

// Scans a name that ends at `stop` (see XmlReadName): the position of
// `stop`, with `nameEnd` the end of the name; null when it fails, with
// `nameEnd` the NUL the text ended at, or null for a name broken by white
// space.
template <class C>
const C *ScanName(const C *p, wchar_t stop, const C *&nameEnd) {
  if (p == nullptr) return nullptr;
  const C *end = nullptr;  // first white space after the name
  const C *q = p;
  while (Unit(*q) != Unit(stop)) {
    const uint32_t c = Unit(*q);
    size_t n = 1;
    if (c > ' ' && c < 0x80) {  // the common case: no white space, no NUL
      if (end != nullptr) {
        nameEnd = nullptr;
        return nullptr;
      }
    } else if (c == 0) {
      nameEnd = q;
      return nullptr;
    } else if ((n = SpaceAt(q)) != 0) {
      if (end == nullptr) end = q;
    } else if (end != nullptr) {
      nameEnd = nullptr;
      return nullptr;
    } else {
      n = 1;
      if constexpr (sizeof(C) == 1) {
        if (c >= 0x80) {
          bool space;
          n = Utf8Char(q, space);
        }
      }
    }
    q += n;
  }
  nameEnd = end ? end : q;
  return q;
}

// --- finding -------------------------------------------------------------------

// The first of `a`, `b` or NUL from `p` (ASCII `a` and `b` over UTF-8).
// `limit`, when given, is the end of a wide text (its NUL), which lets the
// scan read four characters at once up to there. Without it the loads are
// aligned: an aligned load never crosses into the next page, so reading
// past the NUL within it is safe (but not under the address sanitizer,
// which checks every byte loaded).
inline const wchar_t *FindFirst(const wchar_t *p, const wchar_t *limit, wchar_t a, wchar_t b) {
#ifdef __SSE2__
  static_assert(sizeof(wchar_t) == 4, "four characters in sixteen bytes");
  const __m128i va = _mm_set1_epi32(a), vb = _mm_set1_epi32(b), zero = _mm_setzero_si128();
  auto hits = [&](__m128i v) {
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi32(v, va), _mm_cmpeq_epi32(v, vb)), _mm_cmpeq_epi32(v, zero));
    return _mm_movemask_ps(_mm_castsi128_ps(hit));
  };
  if (limit) {
    for (; p + 4 <= limit; p += 4)
      if (const int mask = hits(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))))
        return p + __builtin_ctz(static_cast<unsigned>(mask));
  } else {
#ifndef __SANITIZE_ADDRESS__
    for (int i = 0; i < 8; ++i, ++p)  // most runs are short
      if (*p == a || *p == b || *p == L'\0') return p;
    for (; reinterpret_cast<uintptr_t>(p) & 15; ++p)
      if (*p == a || *p == b || *p == L'\0') return p;
    for (;; p += 4)
      if (const int mask = hits(_mm_load_si128(reinterpret_cast<const __m128i *>(p))))
        return p + __builtin_ctz(static_cast<unsigned>(mask));
#endif
  }
#endif
  while (*p != a && *p != b && *p != L'\0') ++p;
  return p;
}
inline const char *FindFirst(const char *p, const char *, wchar_t a, wchar_t b) {
#ifdef __SSE2__
  const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b));
  const __m128i zero = _mm_setzero_si128();
  for (;; p += 16) {
    const __m128i v = Load16(p);
    const __m128i hit =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)), _mm_cmpeq_epi8(v, zero));
    if (const int mask = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#else
  while (Unit(*p) != Unit(a) && Unit(*p) != Unit(b) && *p != '\0') ++p;
  return p;
#endif
}

// The first occurrence of the ASCII `closer` from `p`, or null when the
// text ends first; `ended` is then the NUL.
template <class C>
const C *FindText(const C *p, const char *closer, const C *&ended) {
  const size_t n = std::strlen(closer);
  for (;;) {
    p = FindFirst(p, nullptr, static_cast<wchar_t>(closer[0]), static_cast<wchar_t>(closer[0]));
    if (*p == 0) {
      ended = p;
      return nullptr;
    }
    size_t i = 1;
    while (i < n && Unit(p[i]) == Unit(closer[i])) ++i;
    if (i == n) return p;
    ++p;
  }
}

// A character lowered as towlower does, for a comparison with the
// lower-case ASCII of a tag or an entity name: over UTF-8 only ASCII
// letters need lowering, as no other character lowers to a letter those
// hold (only U+0130 and U+212A lower to ASCII at all, to 'i' and 'k').
inline uint32_t Lower(wchar_t c) { return Unit(crt_towlower(c)); }
inline uint32_t Lower(char c) {
  const uint32_t u = Unit(c);
  return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

// True when `p` begins with the lower-case ASCII `tag`, without regard to
// case. A text that ends first does not.
template <class C>
bool StartsWithNoCase(const C *p, const char *tag) {
  for (; *tag; ++p, ++tag)
    if (*p == 0 || Lower(*p) != Unit(*tag)) return false;
  return true;
}

// --- text -----------------------------------------------------------------------

// Appends `n` units of text: wide characters as they are, UTF-8 decoded.
inline void Append(std::wstring &out, const wchar_t *p, size_t n) { out.append(p, n); }
void Append(std::wstring &out, const char *p, size_t n);

// Decodes `n` bytes of UTF-8 (from a window, see kSlack) into `out`, with
// room for `n` characters and at least sixteen; returns the characters. Up
// to sixteen ASCII bytes, the common name, take no loop.
inline size_t Widen(const char *p, size_t n, wchar_t *out) {
#ifdef __SSE2__
  if (n <= 16) {
    const __m128i v = Load16(p);
    if ((High(v) & ((1u << n) - 1)) == 0) {
      const __m128i zero = _mm_setzero_si128();
      const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
      __m128i *to = reinterpret_cast<__m128i *>(out);
      _mm_storeu_si128(to, _mm_unpacklo_epi16(lo, zero));
      _mm_storeu_si128(to + 1, _mm_unpackhi_epi16(lo, zero));
      _mm_storeu_si128(to + 2, _mm_unpacklo_epi16(hi, zero));
      _mm_storeu_si128(to + 3, _mm_unpackhi_epi16(hi, zero));
      return n;
    }
  }
#endif
  size_t written;
  DecodeUtf8Piece(p, n, out, n, written);
  return written;
}

inline int HexDigit(uint32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// kEnded: malformed as the text stands, but only because it ends (a NUL)
// inside the reference; `p` then stands on that NUL.
enum class RefResult { kOk, kMalformed, kCutOff, kEnded };

// Reads the digits of a character reference after "&#x" at `p`: hexadecimal
// digits only (no blanks or sign), a value up to U+10FFFF, ended by ';' so
// that the character after the digits is never swallowed unexamined. `p`
// moves past the ';', or onto the NUL for kCutOff (digits that run to the
// end of the text).
template <class C>
RefResult ParseCharRef(const C *&p, unsigned long &value) {
  value = 0;
  const C *q = p;
  for (int d; (d = HexDigit(Unit(*q))) >= 0; ++q) {
    value = value * 16 + static_cast<unsigned long>(d);
    if (value > 0x10FFFF) return RefResult::kMalformed;
  }
  if (*q == 0) {
    p = q;
    return RefResult::kCutOff;
  }
  if (Unit(*q) != ';') return RefResult::kMalformed;
  p = q + 1;
  return RefResult::kOk;
}

inline bool IsHighSurrogate(unsigned long v) { return v >= 0xD800 && v <= 0xDBFF; }
inline bool IsLowSurrogate(unsigned long v) { return v >= 0xDC00 && v <= 0xDFFF; }

// Decodes the reference at `p` (which stands on '&'), appends its character
// and moves `p` past it. kCutOff: a character reference cut off by the end
// of the text; its character is appended and `p` stands on the NUL. A pair
// of references to a high and a low surrogate (UTF-16 written out) makes
// the one character they encode.
template <class C>
RefResult DecodeReference(const C *&p, std::wstring &out) {
  const C *q = p + 1;
  if (Unit(*q) == '#') {
    if (Unit(q[1]) != 'x') {
      if (q[1] != 0) return RefResult::kMalformed;
      p = q + 1;
      return RefResult::kEnded;
    }
    q += 2;
    unsigned long value;
    RefResult result = ParseCharRef(q, value);
    if (result == RefResult::kMalformed) return result;
    if (result == RefResult::kOk && IsHighSurrogate(value) && Unit(q[0]) == '&' && Unit(q[1]) == '#' &&
        Unit(q[2]) == 'x') {
      const C *r = q + 3;
      unsigned long low;
      const RefResult lowResult = ParseCharRef(r, low);
      if (lowResult != RefResult::kMalformed && IsLowSurrogate(low)) {
        value = 0x10000 + ((value - 0xD800) << 10) + (low - 0xDC00);
        q = r;
        result = lowResult;
      }
    }
    out.push_back(static_cast<wchar_t>(value));
    p = q;
    return result;
  }
  static const struct {
    const char *name;
    size_t length;
    wchar_t ch;
  } kEntities[] = {{"apos;", 5, L'\''}, {"quot;", 5, L'"'}, {"gt;", 3, L'>'}, {"lt;", 3, L'<'}, {"amp;", 4, L'&'}};
  // The names as written almost always; then without regard to case. No
  // name is a prefix of another, so the order of the tests does not matter.
  auto exact = [q](const char *name) {
    size_t i = 0;
    while (name[i] && Unit(q[i]) == Unit(name[i])) ++i;
    return name[i] == '\0';
  };
  for (const auto &e : kEntities) {
    if (exact(e.name)) {
      out.push_back(e.ch);
      p = q + e.length;
      return RefResult::kOk;
    }
  }
  for (const auto &e : kEntities) {
    if (StartsWithNoCase(q, e.name)) {
      out.push_back(e.ch);
      p = q + e.length;
      return RefResult::kOk;
    }
  }
  // Text that ends within what could still become a name.
  for (const auto &e : kEntities) {
    size_t i = 0;
    while (q[i] != 0 && Lower(q[i]) == Unit(e.name[i])) ++i;
    if (q[i] == 0) {
      p = q + i;
      return RefResult::kEnded;
    }
  }
  return RefResult::kMalformed;
}

// The result of ScanUntil besides its position.
template <class C>
struct Scan {
  bool decoded = false;      // the text is in `out`, decoded
  size_t literalFrom = 0;    // the length of `out` just after the last reference
  const C *ended = nullptr;  // a scan that failed because the text ended: its NUL
};

// Scans up to `stop` as XmlReadUntil does. Text without a reference stays
// in place (`decoded` false; it is [p, end)); otherwise it is appended,
// decoded, to `out`. `limit` as for FindFirst. Returns the position of
// `stop`, or null when the text ends first or a reference is malformed.
template <class C>
const C *ScanUntil(const C *p, const C *limit, wchar_t stop, bool unescape, std::wstring &out, Scan<C> &scan) {
  scan = Scan<C>();
  if (p == nullptr) return nullptr;
  const wchar_t amp = unescape ? L'&' : stop;
  const C *q = FindFirst(p, limit, stop, amp);
  if (Unit(*q) == Unit(stop)) return q;
  if (*q == 0) {
    scan.ended = q;
    return nullptr;
  }
  // A reference: decode from here on, copying the literal runs between
  // references at once.
  scan.decoded = true;
  Append(out, p, static_cast<size_t>(q - p));
  while (Unit(*q) != Unit(stop)) {
    if (*q == 0) {
      scan.ended = q;
      return nullptr;
    }
    const RefResult result = DecodeReference(q, out);
    if (result == RefResult::kEnded) scan.ended = q;
    if (result == RefResult::kMalformed || result == RefResult::kEnded) return nullptr;
    scan.literalFrom = out.size();
    const C *run = q;
    q = FindFirst(q, limit, stop, amp);
    Append(out, run, static_cast<size_t>(q - run));
  }
  return q;
}

}  // namespace pcutil::xmlscan

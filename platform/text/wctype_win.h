// Character classification and case mapping with the original runtime's
// rules, independent of the process locale (GTK changes it):
// - wide classification: below 256 the "C" locale (ASCII classes only; 128
//   to 255 are nothing, U+00E9 is no letter), from 256 up the Unicode
//   categories (U+0100 is a letter, U+3000 white space); surrogate values
//   classify as nothing;
// - case mapping follows the runtime ctype state: in the default "C" state
//   only A-Z/a-z change; in the Chinese state (set by the log writer) the
//   full simple Unicode mapping applies.
// Masks combine by OR, as on the original.
#pragma once

#include "platform/text/windef.h"

#define _UPPER 0x0001
#define _LOWER 0x0002
#define _DIGIT 0x0004
#define _SPACE 0x0008
#define _PUNCT 0x0010
#define _CONTROL 0x0020
#define _BLANK 0x0040
#define _HEX 0x0080
#define _LEADBYTE 0x8000
#define _ALPHA (0x0100 | _UPPER | _LOWER)

typedef unsigned short win_wctype_t;

// The mask bits of `ch` that are also in `mask` (0 when none).
int win_iswctype(wchar_t ch, win_wctype_t mask) noexcept;
// The mask of a class name as the original's wctype returns it: "alnum"
// 0x107, "alpha" 0x103, "cntrl" 0x20, "digit" 0x4, "graph" 0x117, "lower"
// 0x2, "print" 0x157, "punct" 0x10, "space" 0x8, "upper" 0x1, "xdigit" 0x80;
// 0 for any other name ("blank" included).
win_wctype_t win_wctype(const char *name) noexcept;

// The single wide tests, as the original's isw* functions.
inline bool win_iswalpha(wchar_t c) noexcept { return win_iswctype(c, _ALPHA) != 0; }
inline bool win_iswdigit(wchar_t c) noexcept { return win_iswctype(c, _DIGIT) != 0; }
inline bool win_iswspace(wchar_t c) noexcept { return win_iswctype(c, _SPACE) != 0; }
inline bool win_iswupper(wchar_t c) noexcept { return win_iswctype(c, _UPPER) != 0; }
inline bool win_iswlower(wchar_t c) noexcept { return win_iswctype(c, _LOWER) != 0; }
inline bool win_iswalnum(wchar_t c) noexcept { return win_iswctype(c, _ALPHA | _DIGIT) != 0; }
inline bool win_iswpunct(wchar_t c) noexcept { return win_iswctype(c, _PUNCT) != 0; }
inline bool win_iswxdigit(wchar_t c) noexcept { return win_iswctype(c, _HEX) != 0; }
inline bool win_iswcntrl(wchar_t c) noexcept { return win_iswctype(c, _CONTROL) != 0; }

// The byte classification of the "C" locale (values 0..255; other values:
// 0). ASCII classes only.
int win_isctype(int c, int mask) noexcept;
// ASCII-only case change of a byte value.
int win_toupper(int c) noexcept;
int win_tolower(int c) noexcept;

// Case mapping by the runtime ctype state: in the "C" start state values
// below 256 change only for ASCII letters and values from 256 up follow the
// simple Unicode mapping; the Chinese state maps every value fully.
wchar_t crt_towupper(wchar_t ch) noexcept;
wchar_t crt_towlower(wchar_t ch) noexcept;
// Full simple Unicode case mapping, whatever the state.
wchar_t unicode_towupper(wchar_t ch) noexcept;
wchar_t unicode_towlower(wchar_t ch) noexcept;

// The runtime ctype state: false = "C" (the start state), true = the
// Chinese locale (full case mapping, code page 936 for text-mode output).
// Process-wide.
void crt_set_chinese_locale(bool on) noexcept;
bool crt_chinese_locale() noexcept;

// Case-insensitive ordinal comparison with the case mapping of the runtime
// ctype state (_wcsicmp / _wcsnicmp).
int crt_wcsicmp(const wchar_t *a, const wchar_t *b) noexcept;
int crt_wcsnicmp(const wchar_t *a, const wchar_t *b, size_t count) noexcept;

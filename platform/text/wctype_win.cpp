#include "platform/text/wctype_win.h"

#include <locale.h>
#include <wctype.h>

#include <atomic>
#include <cstring>

namespace {

// Unicode tables of glibc's C.UTF-8, used through the *_l functions so the
// process locale never matters. Created once, never freed.
locale_t UnicodeLocale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "C.utf8", static_cast<locale_t>(0));
    return l;
  }();
  return loc;
}

std::atomic<bool> g_chinese_locale{false};

// The "C" locale's byte classes (ASCII only).
int AsciiMask(int c) {
  int m = 0;
  if (c >= 'A' && c <= 'Z') m |= _UPPER | 0x100;
  if (c >= 'a' && c <= 'z') m |= _LOWER | 0x100;
  if (c >= '0' && c <= '9') m |= _DIGIT;
  if (c == ' ' || (c >= 0x09 && c <= 0x0D)) m |= _SPACE;
  if (c == ' ' || c == '\t') m |= _BLANK;
  if (c < 0x20 || c == 0x7F) m |= _CONTROL;
  if (c > 0x20 && c < 0x7F && !(m & (_UPPER | _LOWER | _DIGIT))) m |= _PUNCT;
  if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) m |= _HEX;
  return m;
}

// The classes of `ch` among those in `wanted`: each table is looked up only
// when asked for, as most callers ask for one class (white space, say).
int UnicodeMask(wchar_t ch, int wanted) {
  if (ch >= 0xD800 && ch <= 0xDFFF) return 0;
  locale_t l = UnicodeLocale();
  if (!l) return 0;
  wint_t c = static_cast<wint_t>(ch);
  static const struct {
    int bit;
    int (*test)(wint_t, locale_t);
  } kTables[] = {{_UPPER, iswupper_l}, {_LOWER, iswlower_l}, {_DIGIT, iswdigit_l},
                 {_SPACE, iswspace_l}, {_PUNCT, iswpunct_l}, {_CONTROL, iswcntrl_l},
                 {_BLANK, iswblank_l}, {_HEX, iswxdigit_l},  {0x100, iswalpha_l}};
  int m = 0;
  for (const auto &t : kTables)
    if ((wanted & t.bit) && t.test(c, l)) m |= t.bit;
  return m;
}

}  // namespace

int win_iswctype(wchar_t ch, win_wctype_t mask) noexcept {
  if (ch < 0) return 0;
  int m = ch < 256 ? AsciiMask(ch) : UnicodeMask(ch, mask);
  return m & mask;
}

win_wctype_t win_wctype(const char *name) noexcept {
  static const struct {
    const char *name;
    win_wctype_t mask;
  } kClasses[] = {
      {"alnum", 0x107}, {"alpha", 0x103}, {"cntrl", 0x020}, {"digit", 0x004}, {"graph", 0x117},  {"lower", 0x002},
      {"print", 0x157}, {"punct", 0x010}, {"space", 0x008}, {"upper", 0x001}, {"xdigit", 0x080},
  };
  if (!name) return 0;
  for (const auto &c : kClasses)
    if (std::strcmp(c.name, name) == 0) return c.mask;
  return 0;
}

int win_isctype(int c, int mask) noexcept {
  if (c < 0 || c > 255) return 0;
  return AsciiMask(c) & mask;
}

int win_toupper(int c) noexcept { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }
int win_tolower(int c) noexcept { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

wchar_t unicode_towupper(wchar_t ch) noexcept {
  locale_t l = UnicodeLocale();
  if (ch < 0 || (ch >= 0xD800 && ch <= 0xDFFF) || !l) return ch;
  return static_cast<wchar_t>(towupper_l(static_cast<wint_t>(ch), l));
}

wchar_t unicode_towlower(wchar_t ch) noexcept {
  locale_t l = UnicodeLocale();
  if (ch < 0 || (ch >= 0xD800 && ch <= 0xDFFF) || !l) return ch;
  return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(ch), l));
}

wchar_t crt_towupper(wchar_t ch) noexcept {
  if (g_chinese_locale.load(std::memory_order_relaxed) || static_cast<uint32_t>(ch) >= 256) return unicode_towupper(ch);
  return ch >= L'a' && ch <= L'z' ? ch - L'a' + L'A' : ch;
}

wchar_t crt_towlower(wchar_t ch) noexcept {
  if (g_chinese_locale.load(std::memory_order_relaxed) || static_cast<uint32_t>(ch) >= 256) return unicode_towlower(ch);
  return ch >= L'A' && ch <= L'Z' ? ch - L'A' + L'a' : ch;
}

void crt_set_chinese_locale(bool on) noexcept { g_chinese_locale.store(on); }
bool crt_chinese_locale() noexcept { return g_chinese_locale.load(); }

int crt_wcsnicmp(const wchar_t *a, const wchar_t *b, size_t count) noexcept {
  for (size_t i = 0; i < count; ++i) {
    wchar_t x = crt_towlower(a[i]), y = crt_towlower(b[i]);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
  return 0;
}

int crt_wcsicmp(const wchar_t *a, const wchar_t *b) noexcept { return crt_wcsnicmp(a, b, static_cast<size_t>(-1)); }

#include "platform/text/format.h"

#include <locale.h>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"

namespace platform {
namespace {

// A text argument: exactly one of the two pointers is used; both null means
// a null pointer was passed.
struct TextArg {
  const wchar_t *wide = nullptr;
  const char *narrow = nullptr;
};

// Where the formatter takes its arguments from.
class ArgReader {
 public:
  virtual ~ArgReader() = default;
  // The raw bits of an integer argument of `bits` width (8/16/32/64).
  virtual uint64_t Int(int bits) = 0;
  virtual double Double() = 0;
  virtual TextArg Text(bool wide) = 0;
  virtual const void *Pointer() = 0;
};

class VaReader : public ArgReader {
 public:
  explicit VaReader(va_list args) { va_copy(ap_, args); }
  ~VaReader() override { va_end(ap_); }
  uint64_t Int(int bits) override {
    if (bits > 32) return static_cast<uint64_t>(va_arg(ap_, long long));
    return static_cast<uint64_t>(static_cast<int64_t>(va_arg(ap_, int)));
  }
  double Double() override { return va_arg(ap_, double); }
  TextArg Text(bool wide) override {
    TextArg t;
    if (wide)
      t.wide = va_arg(ap_, const wchar_t *);
    else
      t.narrow = va_arg(ap_, const char *);
    return t;
  }
  const void *Pointer() override { return va_arg(ap_, const void *); }

 private:
  va_list ap_;
};

class ListReader : public ArgReader {
 public:
  ListReader(const FormatArg *args, size_t count) : args_(args), count_(count) {}
  uint64_t Int(int) override {
    const FormatArg *a = Next();
    if (!a) return 0;
    switch (a->kind) {
      case FormatArg::kInt:
        return static_cast<uint64_t>(a->i);
      case FormatArg::kUInt:
        return a->u;
      case FormatArg::kDouble:
        return static_cast<uint64_t>(static_cast<int64_t>(a->d));
      default:
        return reinterpret_cast<uintptr_t>(a->p);
    }
  }
  double Double() override {
    const FormatArg *a = Next();
    if (!a) return 0.0;
    switch (a->kind) {
      case FormatArg::kDouble:
        return a->d;
      case FormatArg::kInt:
        return static_cast<double>(a->i);
      case FormatArg::kUInt:
        return static_cast<double>(a->u);
      default:
        return 0.0;
    }
  }
  TextArg Text(bool) override {
    TextArg t;
    const FormatArg *a = Next();
    if (!a) {
      t.wide = L"";
    } else if (a->kind == FormatArg::kWide) {
      t.wide = a->ws;
    } else if (a->kind == FormatArg::kNarrow) {
      t.narrow = a->s;
    } else if (a->kind == FormatArg::kPointer && a->p == nullptr) {
      // null text
    } else {
      t.wide = L"";
    }
    return t;
  }
  const void *Pointer() override {
    const FormatArg *a = Next();
    if (!a) return nullptr;
    if (a->kind == FormatArg::kInt || a->kind == FormatArg::kUInt)
      return reinterpret_cast<const void *>(static_cast<uintptr_t>(a->u));
    if (a->kind == FormatArg::kDouble) return nullptr;
    return a->p;
  }

 private:
  const FormatArg *Next() { return next_ < count_ ? &args_[next_++] : nullptr; }
  const FormatArg *args_;
  size_t count_;
  size_t next_ = 0;
};

// Narrow text inside wide output and the reverse follow the runtime ctype
// state: code page 936 in the Chinese state, byte values otherwise.
std::wstring NarrowToWide(const char *s, size_t n) {
  if (crt_chinese_locale()) return MultiByteToWide(PLATFORM_ANSI_CODE_PAGE, s, n);
  std::wstring out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out += static_cast<wchar_t>(static_cast<unsigned char>(s[i]));
  return out;
}

std::string WideToNarrow(const wchar_t *s, size_t n) {
  if (crt_chinese_locale()) return WideToMultiByte(PLATFORM_ANSI_CODE_PAGE, s, n);
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) out += (s[i] >= 0 && s[i] < 256) ? static_cast<char>(s[i]) : '?';
  return out;
}

struct Directive {
  bool left = false, plus = false, space = false, alt = false, zero = false;
  int width = 0;
  int precision = -1;
  int bits = 32;
  int textSize = 0;  // -1 narrow (h), +1 wide (l/w), 0 default
};

template <class Ch>
class Formatter {
 public:
  using Str = std::basic_string<Ch>;
  static constexpr bool kWideOut = sizeof(Ch) == sizeof(wchar_t);

  Formatter(ArgReader &args, Str &out) : args_(args), out_(out) {}

  // False when the format holds a directive the runtime rejects.
  bool Run(const Ch *f) {
    if (!f) return false;
    while (*f) {
      if (*f != '%') {
        out_ += *f++;
        continue;
      }
      ++f;
      if (*f == '%') {
        out_ += *f++;
        continue;
      }
      Directive sp;
      for (;; ++f) {
        if (*f == '-')
          sp.left = true;
        else if (*f == '+')
          sp.plus = true;
        else if (*f == ' ')
          sp.space = true;
        else if (*f == '#')
          sp.alt = true;
        else if (*f == '0')
          sp.zero = true;
        else
          break;
      }
      if (*f == '*') {
        int w = static_cast<int>(static_cast<int32_t>(args_.Int(32)));
        if (w < 0) {
          sp.left = true;
          w = w == INT32_MIN ? INT32_MAX : -w;
        }
        sp.width = w;
        ++f;
      } else {
        sp.width = ReadNumber(f);
      }
      if (*f == '.') {
        ++f;
        if (*f == '*') {
          int p = static_cast<int>(static_cast<int32_t>(args_.Int(32)));
          sp.precision = p < 0 ? -1 : p;
          ++f;
        } else {
          sp.precision = ReadNumber(f);
        }
      }
      if (!ReadSize(f, sp)) return false;
      if (!*f) return false;
      if (!Convert(*f++, sp)) return false;
    }
    return true;
  }

 private:
  static int ReadNumber(const Ch *&f) {
    long long n = 0;
    while (*f >= '0' && *f <= '9') {
      n = n * 10 + (*f++ - '0');
      if (n > 100000000) n = 100000000;
    }
    return static_cast<int>(n);
  }

  static bool ReadSize(const Ch *&f, Directive &sp) {
    switch (*f) {
      case 'h':
        ++f;
        sp.textSize = -1;
        sp.bits = 16;
        if (*f == 'h') {
          ++f;
          sp.bits = 8;
        }
        return true;
      case 'l':
        ++f;
        sp.textSize = 1;
        sp.bits = 32;
        if (*f == 'l') {
          ++f;
          sp.bits = 64;
        }
        return true;
      case 'w':
        ++f;
        sp.textSize = 1;
        return true;
      case 'L':
      case 'q':
      case 'j':
        ++f;
        sp.bits = 64;
        return true;
      case 'z':
      case 't':
        ++f;
        sp.bits = 8 * sizeof(void *);
        return true;
      case 'I':
        ++f;
        if (f[0] == '6' && f[1] == '4') {
          f += 2;
          sp.bits = 64;
        } else if (f[0] == '3' && f[1] == '2') {
          f += 2;
          sp.bits = 32;
        } else {
          sp.bits = 8 * sizeof(void *);
        }
        return true;
      default:
        return true;
    }
  }

  void Pad(size_t n, Ch c) { out_.append(n, c); }

  // Appends `body` with `prefix` (sign, 0x) padded to the width.
  void Emit(const Str &prefix, const Str &body, const Directive &sp, bool zero_pad) {
    size_t len = prefix.size() + body.size();
    size_t pad = sp.width > 0 && static_cast<size_t>(sp.width) > len ? sp.width - len : 0;
    if (sp.left) {
      out_ += prefix;
      out_ += body;
      Pad(pad, ' ');
    } else if (zero_pad) {
      out_ += prefix;
      Pad(pad, '0');
      out_ += body;
    } else {
      Pad(pad, ' ');
      out_ += prefix;
      out_ += body;
    }
  }

  void Integer(Ch conv, const Directive &sp) {
    uint64_t raw = args_.Int(sp.bits);
    bool is_signed = conv == 'd' || conv == 'i';
    bool negative = false;
    uint64_t mag;
    if (sp.bits < 64) {
      uint64_t mask = (uint64_t{1} << sp.bits) - 1;
      raw &= mask;
      if (is_signed && (raw >> (sp.bits - 1)) & 1) raw |= ~mask;
    }
    if (is_signed && static_cast<int64_t>(raw) < 0) {
      negative = true;
      mag = ~raw + 1;
    } else {
      mag = raw;
    }
    unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    const char *digits = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    Str body;
    for (uint64_t v = mag; v; v /= base) body.insert(body.begin(), static_cast<Ch>(digits[v % base]));
    if (sp.precision < 0 && body.empty()) body = Str(1, '0');
    if (sp.precision >= 0 && body.size() < static_cast<size_t>(sp.precision))
      body.insert(body.begin(), sp.precision - body.size(), '0');
    Str prefix;
    if (negative)
      prefix = Str(1, '-');
    else if (is_signed && sp.plus)
      prefix = Str(1, '+');
    else if (is_signed && sp.space)
      prefix = Str(1, ' ');
    if (sp.alt && base == 16 && mag != 0) {
      prefix += '0';
      prefix += static_cast<Ch>(conv);
    }
    if (sp.alt && base == 8 && (body.empty() || body[0] != '0')) body.insert(body.begin(), '0');
    Emit(prefix, body, sp, sp.zero && !sp.left && sp.precision < 0);
  }

  void Floating(Ch conv, const Directive &sp) {
    double v = args_.Double();
    char printf_directive[32];
    int n = 0;
    printf_directive[n++] = '%';
    if (sp.left) printf_directive[n++] = '-';
    if (sp.plus) printf_directive[n++] = '+';
    if (sp.space) printf_directive[n++] = ' ';
    if (sp.alt) printf_directive[n++] = '#';
    if (sp.zero) printf_directive[n++] = '0';
    printf_directive[n++] = '*';
    printf_directive[n++] = '.';
    printf_directive[n++] = '*';
    printf_directive[n++] = static_cast<char>(conv);
    printf_directive[n] = 0;
    int precision = sp.precision;
    if (precision < 0) precision = (conv == 'a' || conv == 'A') ? -1 : 6;
    // The original runtime's "C" locale: '.' whatever the process locale.
    static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    locale_t old = c_locale ? uselocale(c_locale) : static_cast<locale_t>(0);
    int len = std::snprintf(nullptr, 0, printf_directive, sp.width, precision, v);
    std::string text(len > 0 ? len : 0, '\0');
    if (len > 0) std::snprintf(text.data(), text.size() + 1, printf_directive, sp.width, precision, v);
    if (old) uselocale(old);
    for (char c : text) out_ += static_cast<Ch>(static_cast<unsigned char>(c));
  }

  void Character(bool wide_arg, const Directive &sp) {
    uint64_t raw = args_.Int(32);
    Str body;
    if (wide_arg) {
      wchar_t c = static_cast<wchar_t>(static_cast<uint32_t>(raw));
      if constexpr (kWideOut)
        body = Str(1, c);
      else
        body = WideToNarrow(&c, 1);
    } else {
      char c = static_cast<char>(raw);
      if constexpr (kWideOut)
        body = NarrowToWide(&c, 1);
      else
        body = Str(1, c);
    }
    Emit(Str(), body, sp, false);
  }

  void Text(bool wide_arg, const Directive &sp) {
    TextArg t = args_.Text(wide_arg);
    size_t max = sp.precision >= 0 ? static_cast<size_t>(sp.precision) : static_cast<size_t>(-1);
    Str body;
    if (!t.wide && !t.narrow) {
      for (const char *p = "(null)"; *p && body.size() < max; ++p) body += static_cast<Ch>(*p);
    } else if (t.wide) {
      size_t n = 0;
      while (n < max && t.wide[n]) ++n;
      if constexpr (kWideOut)
        body.assign(t.wide, n);
      else
        body = WideToNarrow(t.wide, n);
    } else {
      if constexpr (kWideOut) {
        size_t n = std::strlen(t.narrow);
        body = NarrowToWide(t.narrow, n);
        if (body.size() > max) body.resize(max);
      } else {
        size_t n = 0;
        while (n < max && t.narrow[n]) ++n;
        body.assign(t.narrow, n);
      }
    }
    Emit(Str(), body, sp, false);
  }

  void Pointer(const Directive &sp) {
    uintptr_t v = reinterpret_cast<uintptr_t>(args_.Pointer());
    Str body;
    const char *digits = "0123456789ABCDEF";
    for (int i = static_cast<int>(2 * sizeof(void *)) - 1; i >= 0; --i)
      body += static_cast<Ch>(digits[(v >> (4 * i)) & 0xF]);
    Emit(Str(), body, sp, false);
  }

  bool Convert(Ch conv, const Directive &sp) {
    // The default text width is the output's; 'S' and 'C' take the other.
    bool wide_default = kWideOut;
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
        Integer(conv, sp);
        return true;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        Floating(conv, sp);
        return true;
      case 'c':
      case 'C': {
        bool wide = sp.textSize ? sp.textSize > 0 : (conv == 'c') == wide_default;
        Character(wide, sp);
        return true;
      }
      case 's':
      case 'S': {
        bool wide = sp.textSize ? sp.textSize > 0 : (conv == 's') == wide_default;
        Text(wide, sp);
        return true;
      }
      case 'p':
        Pointer(sp);
        return true;
      case '%':
        out_ += '%';
        return true;
      case 'n':
        args_.Pointer();
        return true;
      default:
        return false;
    }
  }

  ArgReader &args_;
  Str &out_;
};

}  // namespace

std::wstring FormatWideArgs(LPCWSTR format, const FormatArg *args, size_t count) {
  std::wstring out;
  ListReader reader(args, count);
  Formatter<wchar_t>(reader, out).Run(format);
  return out;
}

std::wstring FormatWideV(LPCWSTR format, va_list args) {
  std::wstring out;
  VaReader reader(args);
  Formatter<wchar_t>(reader, out).Run(format);
  return out;
}

std::string FormatNarrowV(const char *format, va_list args) {
  std::string out;
  VaReader reader(args);
  Formatter<char>(reader, out).Run(format);
  return out;
}

namespace {

// Formats into `out`; false for an invalid format.
bool TryFormatWide(LPCWSTR format, va_list args, std::wstring &out) {
  VaReader reader(args);
  return Formatter<wchar_t>(reader, out).Run(format);
}

bool TryFormatNarrow(const char *format, va_list args, std::string &out) {
  VaReader reader(args);
  return Formatter<char>(reader, out).Run(format);
}

}  // namespace
}  // namespace platform

int _vscwprintf(LPCWSTR format, va_list args) {
  std::wstring out;
  if (!platform::TryFormatWide(format, args, out)) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(out.size());
}

int _scwprintf(LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = _vscwprintf(format, ap);
  va_end(ap);
  return n;
}

int _vsnwprintf_s(wchar_t *buf, size_t size, size_t count, LPCWSTR format, va_list args) {
  if (!buf || size == 0 || !format) {
    errno = EINVAL;
    return -1;
  }
  std::wstring out;
  if (!platform::TryFormatWide(format, args, out)) {
    buf[0] = 0;
    errno = EINVAL;
    return -1;
  }
  size_t limit = size - 1;
  if (count != _TRUNCATE && count < limit) limit = count;
  if (out.size() > limit) {
    if (count == _TRUNCATE || count < size) {
      std::wmemcpy(buf, out.data(), limit);
      buf[limit] = 0;
    } else {
      buf[0] = 0;
      errno = ERANGE;
    }
    return -1;
  }
  std::wmemcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
  return static_cast<int>(out.size());
}

int _snwprintf_s(wchar_t *buf, size_t size, size_t count, LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = _vsnwprintf_s(buf, size, count, format, ap);
  va_end(ap);
  return n;
}

int vswprintf_s(wchar_t *buf, size_t size, LPCWSTR format, va_list args) {
  if (!buf || size == 0 || !format) {
    errno = EINVAL;
    return -1;
  }
  std::wstring out;
  if (!platform::TryFormatWide(format, args, out) || out.size() >= size) {
    buf[0] = 0;
    errno = out.size() >= size ? ERANGE : EINVAL;
    return -1;
  }
  std::wmemcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
  return static_cast<int>(out.size());
}

int swprintf_s(wchar_t *buf, size_t size, LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vswprintf_s(buf, size, format, ap);
  va_end(ap);
  return n;
}

int _vsnwprintf(wchar_t *buf, size_t count, LPCWSTR format, va_list args) {
  std::wstring out;
  if (!platform::TryFormatWide(format, args, out)) {
    errno = EINVAL;
    return -1;
  }
  if (!buf) return -1;
  size_t n = out.size() < count ? out.size() : count;
  std::wmemcpy(buf, out.data(), n);
  if (out.size() < count) buf[out.size()] = 0;
  return out.size() > count ? -1 : static_cast<int>(out.size());
}

int _snwprintf(wchar_t *buf, size_t count, LPCWSTR format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = _vsnwprintf(buf, count, format, ap);
  va_end(ap);
  return n;
}

int _vscprintf(const char *format, va_list args) {
  std::string out;
  if (!platform::TryFormatNarrow(format, args, out)) {
    errno = EINVAL;
    return -1;
  }
  return static_cast<int>(out.size());
}

int vsprintf_s(char *buf, size_t size, const char *format, va_list args) {
  if (!buf || size == 0 || !format) {
    errno = EINVAL;
    return -1;
  }
  std::string out;
  if (!platform::TryFormatNarrow(format, args, out) || out.size() >= size) {
    buf[0] = 0;
    errno = out.size() >= size ? ERANGE : EINVAL;
    return -1;
  }
  std::memcpy(buf, out.data(), out.size());
  buf[out.size()] = 0;
  return static_cast<int>(out.size());
}

int sprintf_s(char *buf, size_t size, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = vsprintf_s(buf, size, format, ap);
  va_end(ap);
  return n;
}

#include "utils/xml/xmlentity.h"

#include <cwchar>

#include "platform/text/debug.h"
#include "platform/text/wctype_win.h"

namespace pcutil {

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

enum class RefResult { kOk, kMalformed, kCutOff };

// Reads the digits of a character reference after "&#x" at `p`: hexadecimal
// digits only (no blanks or sign), a value up to U+10FFFF, ended by ';' so
// that the character after the digits is never swallowed unexamined. `p`
// moves past the ';', or onto the NUL for kCutOff (digits that run to the
// end of the text).
RefResult ParseCharRef(const wchar_t *&p, unsigned long &value) {
  value = 0;
  const wchar_t *q = p;
  for (int d; (d = HexDigit(*q)) >= 0; ++q) {
    value = value * 16 + static_cast<unsigned long>(d);
    if (value > 0x10FFFF) return RefResult::kMalformed;
  }
  if (*q == L'\0') {
    p = q;
    return RefResult::kCutOff;
  }
  if (*q != L';') return RefResult::kMalformed;
  p = q + 1;
  return RefResult::kOk;
}

bool IsHighSurrogate(unsigned long v) { return v >= 0xD800 && v <= 0xDBFF; }
bool IsLowSurrogate(unsigned long v) { return v >= 0xDC00 && v <= 0xDFFF; }

// Decodes the reference at `p` (which stands on '&'), appends its character
// and moves `p` past it. kCutOff: a character reference cut off by the end
// of the text; its character is appended and `p` stands on the NUL. A pair
// of references to a high and a low surrogate (UTF-16 written out) makes
// the one character they encode.
RefResult DecodeReference(const wchar_t *&p, std::wstring &out) {
  const wchar_t *q = p + 1;
  if (*q == L'#') {
    if (q[1] != L'x') return RefResult::kMalformed;
    q += 2;
    unsigned long value;
    RefResult result = ParseCharRef(q, value);
    if (result == RefResult::kMalformed) return result;
    if (result == RefResult::kOk && IsHighSurrogate(value) && XmlStartsWith(q, L"&#x", false)) {
      const wchar_t *r = q + 3;
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
    const wchar_t *name;
    wchar_t ch;
  } kEntities[] = {{L"apos;", L'\''}, {L"quot;", L'"'}, {L"gt;", L'>'}, {L"lt;", L'<'}, {L"amp;", L'&'}};
  for (const auto &e : kEntities) {
    if (XmlStartsWith(q, e.name, true)) {
      out.push_back(e.ch);
      p = q + wcslen(e.name);
      return RefResult::kOk;
    }
  }
  return RefResult::kMalformed;
}

}  // namespace

bool XmlIsSpace(wchar_t c) { return c == L'\n' || c == L'\r' || win_iswspace(c); }

bool XmlStartsWith(const wchar_t *p, const wchar_t *tag, bool ignoreCase) {
  ASSERT(p);
  ASSERT(tag);
  if (p == nullptr || tag == nullptr || *p == L'\0') return false;
  for (; *p && *tag; ++p, ++tag) {
    wchar_t a = *p, b = *tag;
    if (ignoreCase) {
      a = crt_towlower(a);
      b = crt_towlower(b);
    }
    if (a != b) return false;
  }
  return *tag == L'\0';
}

const wchar_t *XmlReadName(const wchar_t *p, std::wstring &name, wchar_t stop) {
  if (p == nullptr) return nullptr;
  const wchar_t *end = nullptr;  // first white space after the name
  const wchar_t *q = p;
  for (; *q != stop; ++q) {
    if (*q == L'\0') return nullptr;
    if (XmlIsSpace(*q)) {
      if (end == nullptr) end = q;
    } else if (end != nullptr) {
      return nullptr;
    }
  }
  name.append(p, end ? end : q);
  return q;
}

const wchar_t *XmlReadUntil(const wchar_t *p, std::wstring &text, wchar_t stop, bool unescape) {
  if (p == nullptr) return nullptr;
  if (!unescape) {
    const wchar_t *q = p;
    while (*q != stop) {
      if (*q == L'\0') return nullptr;
      ++q;
    }
    text.append(p, q);
    return q;
  }
  while (*p != stop) {
    if (*p == L'\0') return nullptr;
    if (*p == L'&') {
      if (DecodeReference(p, text) == RefResult::kMalformed) return nullptr;
    } else {
      text.push_back(*p++);
    }
  }
  return p;
}

void XmlEscape(const std::wstring &input, std::wstring &output) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  for (wchar_t c : input) {
    switch (c) {
      case L'&':
        output += L"&amp;";
        break;
      case L'<':
        output += L"&lt;";
        break;
      case L'>':
        output += L"&gt;";
        break;
      case L'"':
        output += L"&quot;";
        break;
      case L'\'':
        output += L"&apos;";
        break;
      default:
        if (c >= 0 && c < 0x20) {
          output += L"&#x";
          output.push_back(kHex[c >> 4]);
          output.push_back(kHex[c & 0xF]);
          output.push_back(L';');
        } else {
          output.push_back(c);
        }
    }
  }
}

bool XmlUnescape(const std::wstring &input, std::wstring &output) {
  const wchar_t *p = input.c_str();
  while (*p) {
    if (*p != L'&') {
      output.push_back(*p++);
    } else if (DecodeReference(p, output) == RefResult::kMalformed) {
      return false;
    }
  }
  return true;
}

}  // namespace pcutil

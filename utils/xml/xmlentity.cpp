#include "utils/xml/xmlentity.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/wctype_win.h"
#include "utils/xml/detail/xmlutf8.h"

namespace pcutil {

namespace {

// The reader's scanners run over the wide text of a document and over its
// UTF-8 bytes alike: every character they look for is ASCII, and in UTF-8
// an ASCII byte is always a character of its own (no sequence, valid or
// not, takes one in), so a run between two such bytes decodes to the same
// characters wherever it stands.

// What the case-blind comparisons compare. Bytes are folded in ASCII only:
// no character beyond ASCII lowers to a letter of the markup or the
// entity names the reader compares so (the runtime lowers only U+0130 and
// U+212A into ASCII, to 'i' and 'k').
inline uint32_t Lower(wchar_t c) { return static_cast<uint32_t>(crt_towlower(c)); }
inline uint32_t Lower(char c) {
  const uint32_t u = xmlread::Unit(c);
  return u >= 'A' && u <= 'Z' ? u + ('a' - 'A') : u;
}

// A run of the text appended to the decoded output.
inline void AppendRun(std::wstring &out, const wchar_t *from, const wchar_t *to) { out.append(from, to); }
inline void AppendRun(std::wstring &out, const char *from, const char *to) {
  xmlread::AppendUtf8(out, from, static_cast<size_t>(to - from));
}

int HexDigit(uint32_t c) {
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
template <class Char>
RefResult ParseCharRef(const Char *&p, unsigned long &value) {
  value = 0;
  const Char *q = p;
  for (int d; (d = HexDigit(xmlread::Unit(*q))) >= 0; ++q) {
    value = value * 16 + static_cast<unsigned long>(d);
    if (value > 0x10FFFF) return RefResult::kMalformed;
  }
  if (*q == 0) {
    p = q;
    return RefResult::kCutOff;
  }
  if (*q != ';') return RefResult::kMalformed;
  p = q + 1;
  return RefResult::kOk;
}

bool IsHighSurrogate(unsigned long v) { return v >= 0xD800 && v <= 0xDBFF; }
bool IsLowSurrogate(unsigned long v) { return v >= 0xDC00 && v <= 0xDFFF; }

// `p` begins with the ASCII `tag`; case-blind through Lower.
template <class Char>
bool StartsWithAscii(const Char *p, const char *tag, bool ignoreCase) {
  for (; *tag; ++p, ++tag) {
    if (*p == 0) return false;
    const uint32_t a = xmlread::Unit(*p), b = static_cast<unsigned char>(*tag);
    if (a == b) continue;
    if (!ignoreCase || Lower(*p) != Lower(static_cast<wchar_t>(b))) return false;
  }
  return true;
}

// Decodes the reference at `p` (which stands on '&'), appends its character
// and moves `p` past it. kCutOff: a character reference cut off by the end
// of the text; its character is appended and `p` stands on the NUL. A pair
// of references to a high and a low surrogate (UTF-16 written out) makes
// the one character they encode.
template <class Char, class Out>
RefResult DecodeReference(const Char *&p, Out &out) {
  const Char *q = p + 1;
  if (*q == '#') {
    if (q[1] != 'x') {
      if (q[1] != 0) return RefResult::kMalformed;
      p = q + 1;
      return RefResult::kEnded;
    }
    q += 2;
    unsigned long value;
    RefResult result = ParseCharRef(q, value);
    if (result == RefResult::kMalformed) return result;
    if (result == RefResult::kOk && IsHighSurrogate(value) && StartsWithAscii(q, "&#x", false)) {
      const Char *r = q + 3;
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
  // The names as written almost always, told apart by their first letter;
  // then without regard to case. No name is a prefix of another, so the
  // order of the tests does not matter. (The tests stop at the first
  // character that differs, so none reads beyond a NUL.)
  auto named = [&](wchar_t ch, size_t length) {
    out.push_back(ch);
    p = q + length;
    return RefResult::kOk;
  };
  switch (xmlread::Unit(q[0])) {
    case 'a':
      if (q[1] == 'm' && q[2] == 'p' && q[3] == ';') return named(L'&', 4);
      if (q[1] == 'p' && q[2] == 'o' && q[3] == 's' && q[4] == ';') return named(L'\'', 5);
      break;
    case 'l':
      if (q[1] == 't' && q[2] == ';') return named(L'<', 3);
      break;
    case 'g':
      if (q[1] == 't' && q[2] == ';') return named(L'>', 3);
      break;
    case 'q':
      if (q[1] == 'u' && q[2] == 'o' && q[3] == 't' && q[4] == ';') return named(L'"', 5);
      break;
    default:
      break;
  }
  for (const auto &e : kEntities) {
    if (StartsWithAscii(q, e.name, true)) {
      out.push_back(e.ch);
      p = q + e.length;
      return RefResult::kOk;
    }
  }
  // Text that ends within what could still become a name.
  for (const auto &e : kEntities) {
    size_t i = 0;
    while (q[i] && Lower(q[i]) == static_cast<unsigned char>(e.name[i])) ++i;
    if (q[i] == 0) {
      p = q + i;
      return RefResult::kEnded;
    }
  }
  return RefResult::kMalformed;
}

template <class Char>
const Char *ScanName(const Char *p, Char stop, const Char *&nameEnd) {
  if (p == nullptr) return nullptr;
  const Char *end = nullptr;  // first white space after the name
  const Char *q = p;
  for (; *q != stop; ++q) {
    const uint32_t c = xmlread::Unit(*q);
    if (c > ' ' && c < xmlread::kPlain<Char>) {  // the common case: no white space, no NUL
      if (end != nullptr) {
        nameEnd = nullptr;
        return nullptr;
      }
    } else if (c == 0) {
      nameEnd = q;
      return nullptr;
    } else if (const size_t space = xmlread::SpaceAt(q)) {
      if (end == nullptr) end = q;
      q += space - 1;
    } else if (end != nullptr) {
      nameEnd = nullptr;
      return nullptr;
    }
  }
  nameEnd = end ? end : q;
  return q;
}

template <class Char>
const Char *ScanUntil(const Char *p, const Char *limit, Char stop, bool unescape, std::wstring &out,
                      XmlScanOf<Char> &scan) {
  scan = XmlScanOf<Char>();
  if (p == nullptr) return nullptr;
  const Char amp = unescape ? Char('&') : stop;
  const Char *q = xmlread::FindFirst(p, limit, stop, amp);
  if (*q == stop) return q;
  if (*q == 0) {
    scan.ended = q;
    return nullptr;
  }
  // A reference: decode from here on, copying the literal runs between
  // references at once.
  scan.decoded = true;
  AppendRun(out, p, q);
  while (*q != stop) {
    if (*q == 0) {
      scan.ended = q;
      return nullptr;
    }
    const RefResult result = DecodeReference(q, out);
    if (result == RefResult::kEnded) scan.ended = q;
    if (result == RefResult::kMalformed || result == RefResult::kEnded) return nullptr;
    scan.literalFrom = out.size();
    const Char *run = q;
    q = xmlread::FindFirst(q, limit, stop, amp);
    AppendRun(out, run, q);
  }
  return q;
}

}  // namespace

// Texts in Chinese and other scripts begin beyond U+00FF and are asked
// about first: the runtime's white space above U+00FF lies between U+1680
// and U+3000, so anything outside is answered without its tables.
bool XmlIsWideSpace(wchar_t c) { return c >= 0x1680 && c <= 0x3000 && win_iswspace(c); }

bool XmlStartsWith(const wchar_t *p, const wchar_t *tag, bool ignoreCase) {
  ASSERT(p);
  ASSERT(tag);
  if (p == nullptr || tag == nullptr || *p == L'\0') return false;
  for (; *p && *tag; ++p, ++tag) {
    const wchar_t a = *p, b = *tag;
    if (a == b) continue;  // equal characters need no case mapping
    if (!ignoreCase || crt_towlower(a) != crt_towlower(b)) return false;
  }
  return *tag == L'\0';
}

bool XmlStartsWith(const char *p, const char *tag, bool ignoreCase) {
  if (p == nullptr || tag == nullptr || *p == '\0') return false;
  return StartsWithAscii(p, tag, ignoreCase);
}

const wchar_t *XmlScanName(const wchar_t *p, wchar_t stop, const wchar_t *&nameEnd) {
  return ScanName(p, stop, nameEnd);
}
const char *XmlScanName(const char *p, char stop, const char *&nameEnd) { return ScanName(p, stop, nameEnd); }

const wchar_t *XmlReadName(const wchar_t *p, std::wstring &name, wchar_t stop) {
  const wchar_t *nameEnd;
  const wchar_t *q = XmlScanName(p, stop, nameEnd);
  if (q) name.append(p, nameEnd);
  return q;
}

const wchar_t *XmlFindFirst(const wchar_t *p, const wchar_t *limit, wchar_t a, wchar_t b) {
  return xmlread::FindFirst(p, limit, a, b);
}

const wchar_t *XmlScanUntil(const wchar_t *p, const wchar_t *limit, wchar_t stop, bool unescape, std::wstring &out,
                            XmlScan &scan) {
  return ScanUntil(p, limit, stop, unescape, out, scan);
}
const char *XmlScanUntil(const char *p, const char *limit, char stop, bool unescape, std::wstring &out,
                         XmlScanOf<char> &scan) {
  return ScanUntil(p, limit, stop, unescape, out, scan);
}

const wchar_t *XmlReadUntil(const wchar_t *p, std::wstring &text, wchar_t stop, bool unescape) {
  XmlScan scan;
  const wchar_t *end = XmlScanUntil(p, nullptr, stop, unescape, text, scan);
  if (end && !scan.decoded) text.append(p, end);
  return end;
}

namespace {

bool InRange(uint32_t c, uint32_t low, uint32_t high) { return c >= low && c <= high; }

bool IsNameStart(uint32_t c) {
  if (c < 0x80) return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || c == L'_' || c == L':';
  return InRange(c, 0xC0, 0xD6) || InRange(c, 0xD8, 0xF6) || InRange(c, 0xF8, 0x2FF) || InRange(c, 0x370, 0x37D) ||
         InRange(c, 0x37F, 0x1FFF) || InRange(c, 0x200C, 0x200D) || InRange(c, 0x2070, 0x218F) ||
         InRange(c, 0x2C00, 0x2FEF) || InRange(c, 0x3001, 0xD7FF) || InRange(c, 0xF900, 0xFDCF) ||
         InRange(c, 0xFDF0, 0xFFFD) || InRange(c, 0x10000, 0xEFFFF);
}

bool IsNameChar(uint32_t c) {
  if (c < 0x80) return IsNameStart(c) || c == L'-' || c == L'.' || (c >= L'0' && c <= L'9');
  return IsNameStart(c) || c == 0xB7 || InRange(c, 0x300, 0x36F) || InRange(c, 0x203F, 0x2040);
}

}  // namespace

bool XmlIsName(const wchar_t *name, size_t length) {
  if (name == nullptr || length == 0 || !IsNameStart(static_cast<uint32_t>(name[0]))) return false;
  for (size_t i = 0; i < length; ++i) {
    const uint32_t c = static_cast<uint32_t>(name[i]);
    if ((i && !IsNameChar(c)) || XmlIsSpace(name[i])) return false;
  }
  return true;
}

void XmlEscape(const std::wstring &input, std::wstring &output) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  const wchar_t *p = input.data();
  const wchar_t *const end = p + input.size();
  while (p < end) {
    // The run of characters that stand as they are, at once.
    const wchar_t *run = p;
    while (p < end && *p >= 0x20 && *p != L'&' && *p != L'<' && *p != L'>' && *p != L'"' && *p != L'\'') ++p;
    output.append(run, p);
    if (p == end) break;
    const wchar_t c = *p++;
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
          output.push_back(c);  // a negative value: written as it is
        }
    }
  }
}

bool XmlUnescape(const std::wstring &input, std::wstring &output) {
  const wchar_t *p = input.c_str();
  while (*p) {
    if (*p != L'&') {
      output.push_back(*p++);
    } else {
      const RefResult result = DecodeReference(p, output);
      if (result == RefResult::kMalformed || result == RefResult::kEnded) return false;
    }
  }
  return true;
}

namespace xmlread {

void AppendUtf8(std::wstring &out, const char *p, size_t n) {
  const size_t at = out.size();
  out.resize(at + n + kUtf8PaddedWrite);
  out.resize(at + DecodeUtf8Padded(p, n, out.data() + at));
}

namespace {

// The one character a reference decodes to, as DecodeReference appends it.
struct Character {
  uint32_t value = 0;
  void push_back(wchar_t c) { value = static_cast<uint32_t>(c); }
};

}  // namespace

const char *FindReferences(const char *p, const char *limit, std::vector<Reference> &references) {
  references.clear();
  for (;;) {
    const char *q = p;
    Character c;
    if (DecodeReference(q, c) != RefResult::kOk || (c.value >= 0xD800 && c.value <= 0xDFFF)) return nullptr;
    references.push_back({p, static_cast<size_t>(q - p), c.value});
    p = FindFirst(q, limit, '<', '&');
    if (*p == '<') return p;
    if (*p == 0) return nullptr;
  }
}

size_t WriteReferences(char *text, size_t n, const std::vector<Reference> &references) {
  char *to = text + (references.front().at - text);
  for (size_t i = 0; i < references.size(); ++i) {
    const Reference &r = references[i];
    to += PutUtf8(r.value, to);
    const char *run = r.at + r.length;
    const char *next = i + 1 < references.size() ? references[i + 1].at : text + n;
    std::memmove(to, run, static_cast<size_t>(next - run));
    to += next - run;
  }
  return static_cast<size_t>(to - text);
}

}  // namespace xmlread

}  // namespace pcutil

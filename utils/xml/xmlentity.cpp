#include "utils/xml/xmlentity.h"

#include <cstdint>
#include <cwchar>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/wctype_win.h"
#include "utils/xml/xmlscan.h"

namespace pcutil {

bool XmlIsWideSpace(wchar_t c) { return win_iswspace(c); }

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
  const wchar_t *nameEnd;
  const wchar_t *q = xmlscan::ScanName(p, stop, nameEnd);
  if (q) name.append(p, nameEnd);
  return q;
}

const wchar_t *XmlReadUntil(const wchar_t *p, std::wstring &text, wchar_t stop, bool unescape) {
  xmlscan::Scan<wchar_t> scan;
  const wchar_t *end = xmlscan::ScanUntil<wchar_t>(p, nullptr, stop, unescape, text, scan);
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
  using xmlscan::RefResult;
  const wchar_t *p = input.c_str();
  while (*p) {
    if (*p != L'&') {
      output.push_back(*p++);
    } else {
      const RefResult result = xmlscan::DecodeReference(p, output);
      if (result == RefResult::kMalformed || result == RefResult::kEnded) return false;
    }
  }
  return true;
}

// --- the scanners over UTF-8 ---------------------------------------------------

namespace xmlscan {

size_t Utf8Char(const char *p, bool &space) {
  // A sequence is at most four bytes, and the NUL after a text is no
  // continuation byte: the decode never reads past it.
  size_t n = 1;
  while (n < 4 && (Unit(p[n]) & 0xC0) == 0x80) ++n;
  wchar_t c;
  size_t written;
  const size_t length = DecodeUtf8Piece(p, n, &c, 1, written);
  space = XmlIsSpace(c);
  return length;
}

void Append(std::wstring &out, const char *p, size_t n) {
  const size_t at = out.size();
  out.resize(at + n);  // a character takes at least a byte
  size_t written;
  DecodeUtf8Piece(p, n, out.data() + at, n, written);
  out.resize(at + written);
}

}  // namespace xmlscan

}  // namespace pcutil

#include "utils/text/stringhelper.h"

#include <cstring>
#include <initializer_list>
#include <new>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/format.h"

namespace {

constexpr int kPassCap = 500000;
constexpr const char kHex[] = "0123456789ABCDEF";

void AppendEscape(std::string &out, unsigned char b) {
  out += '%';
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

CString FromAscii(const std::string &s) { return CString(std::wstring(s.begin(), s.end())); }

bool StartsWith(const CString &text, const CString &prefix) {
  return text.GetLength() >= prefix.GetLength() && text.str().compare(0, prefix.GetLength(), prefix.str()) == 0;
}

bool EndsWith(const CString &text, const CString &suffix) {
  return text.GetLength() >= suffix.GetLength() &&
         text.str().compare(text.GetLength() - suffix.GetLength(), suffix.GetLength(), suffix.str()) == 0;
}

struct Replacement {
  LPCWSTR from, to;
};

// Applies the replacements one after the other over the whole text.
CString ReplaceInOrder(CString text, std::initializer_list<Replacement> steps) {
  for (const auto &step : steps) text.Replace(step.from, step.to);
  return text;
}

}  // namespace

std::string ToUtf8(LPCWSTR text) {
  if (!text) return std::string();
  return WideToMultiByte(CP_UTF8, text, std::wcslen(text));
}

std::string ToUtf8(const CString &text) { return WideToMultiByte(CP_UTF8, text.str()); }

CString FromUtf8(const char *bytes) {
  if (!bytes) return CString();
  return CString(MultiByteToWide(CP_UTF8, bytes, std::strlen(bytes)));
}

CString FromUtf8(const std::string &bytes) { return FromUtf8(bytes.c_str()); }

CString FoldDoubleUtf8(const CString &text) {
  const std::wstring &s = text.str();
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    wchar_t c = s[i];
    if (c >= 0 && c < 128) {
      out += c;
      continue;
    }
    wchar_t next = i + 1 < s.size() ? s[++i] : 0;
    out += static_cast<wchar_t>(((c << 6) & 0x7FF) | (next & 0x3F));
  }
  return CString(std::move(out));
}

BOOL WideToOemAlloc(LPCWSTR text, char **out) {
  if (!text || !out) return FALSE;
  std::string bytes = WideToMultiByte(CP_OEMCP, text, std::wcslen(text));
  delete[] * out;
  *out = new (std::nothrow) char[bytes.size() + 1];
  if (!*out) return FALSE;
  std::memcpy(*out, bytes.c_str(), bytes.size() + 1);
  return TRUE;
}

BOOL AnsiToWideAlloc(const char *text, wchar_t **out, int /*length*/) {
  if (!text || !out) return FALSE;
  std::wstring wide = MultiByteToWide(CP_ACP, text, std::strlen(text));
  delete[] * out;
  *out = new (std::nothrow) wchar_t[wide.size() + 1];
  if (!*out) return FALSE;
  std::wmemcpy(*out, wide.c_str(), wide.size() + 1);
  return TRUE;
}

bool IsUrlSafeChar(char c) {
  unsigned char b = static_cast<unsigned char>(c);
  return IsAsciiAlnum(b) || (b != 0 && std::strchr("!'()*-._", b) != nullptr);
}

CString UrlEncode(const CString &text) {
  std::string out;
  for (char c : ToUtf8(text)) {
    if (IsUrlSafeChar(c))
      out += c;
    else if (c == ' ' || (c >= '\t' && c <= '\r'))
      out += '+';
    else
      AppendEscape(out, static_cast<unsigned char>(c));
  }
  return FromAscii(out);
}

BYTE HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<BYTE>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<BYTE>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<BYTE>(c - 'A' + 10);
  return 0xFF;
}

BYTE HexPairToByte(const char *two) { return static_cast<BYTE>((HexDigitValue(two[0]) << 4) | HexDigitValue(two[1])); }

CString UrlDecode(const CString &text) {
  std::string in = ToUtf8(text), out;
  for (size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '%' && in.size() - i > 2) {
      out += static_cast<char>(HexPairToByte(&in[i + 1]));
      i += 2;
    } else if (in[i] == '+') {
      out += ' ';
    } else {
      out += in[i];
    }
  }
  return CString(MultiByteToWide(CP_UTF8, out));
}

CString UrlEncodeCharset(const CString &text, CString charset) {
  // "%XX\0" for every byte value, shared by all calls.
  static const auto table = [] {
    struct Table {
      char escape[256][4];
    } t{};
    for (int i = 0; i < 256; ++i) {
      t.escape[i][0] = '%';
      t.escape[i][1] = kHex[i >> 4];
      t.escape[i][2] = kHex[i & 0xF];
      t.escape[i][3] = 0;
    }
    return t;
  }();
  std::string out;
  if (charset == L"utf-8") {
    auto put = [&out](unsigned b) { out.append(table.escape[b & 0xFF], 3); };
    for (wchar_t ch : text.str()) {
      uint32_t u = static_cast<uint32_t>(ch);
      if (u != 0 && u < 0x80 &&
          (IsAsciiAlnum(static_cast<unsigned char>(u)) || std::strchr("-_.!~*'()/:", static_cast<int>(u)))) {
        out += static_cast<char>(u);
        continue;
      }
      if (u < 0x80) {
        put(u);
      } else if (u < 0x800) {
        put(0xC0 | (u >> 6));
        put(0x80 | (u & 0x3F));
      } else if (u < 0x10000 || u > 0x10FFFF) {
        put(0xE0 | ((u >> 12) & 0x0F));
        put(0x80 | ((u >> 6) & 0x3F));
        put(0x80 | (u & 0x3F));
      } else {
        // A character beyond U+FFFF is one four-byte sequence.
        put(0xF0 | (u >> 18));
        put(0x80 | ((u >> 12) & 0x3F));
        put(0x80 | ((u >> 6) & 0x3F));
        put(0x80 | (u & 0x3F));
      }
    }
  } else {
    for (char c : WideToMultiByte(CP_OEMCP, text.str())) {
      unsigned char b = static_cast<unsigned char>(c);
      if (IsAsciiAlnum(b) || b == '/' || b == ':')
        out += c;
      else
        out.append(table.escape[b], 3);
    }
  }
  return FromAscii(out);
}

CString HtmlEncode(const CString &text) {
  return ReplaceInOrder(text, {{L"&", L"&amp;"}, {L"\"", L"&quot;"}, {L"<", L"&lt;"}, {L">", L"&gt;"}});
}

CString HtmlDecode(const CString &text) {
  return ReplaceInOrder(text, {{L"&quot;", L"\""}, {L"&lt;", L"<"}, {L"&gt;", L">"}, {L"&amp;", L"&"}});
}

CString CsvQuote(const CString &text) {
  return L"\"" + ReplaceInOrder(text, {{L"\r\n", L""}, {L"\"", L"\"\""}}) + L"\"";
}

CString EscapeQuotes(const CString &text) {
  return ReplaceInOrder(text, {{L"\\", L"\\\\"}, {L"'", L"\\'"}, {L"\"", L"\\\""}});
}

CString EscapeBackslashBar(CString text) { return ReplaceInOrder(std::move(text), {{L"\\", L"\\\\"}, {L"|", L"\\|"}}); }

BOOL SplitString(const CString &text, const CString &separator, std::vector<CString> &parts, BOOL keepEmpty) {
  parts.clear();
  if (separator.IsEmpty()) return FALSE;
  const CString work = text + separator;
  const int sep = separator.GetLength();
  int passes = 0;
  for (int pos = 0, found; (found = work.Find(separator, pos)) >= 0;) {
    if (++passes > kPassCap) return FALSE;
    if (found > pos || keepEmpty) parts.push_back(work.Mid(pos, found - pos));
    pos = found + sep;
    if (pos >= work.GetLength()) break;
  }
  return TRUE;
}

int CountSubString(const CString &text, const CString &separator) {
  if (separator.IsEmpty()) return 0;
  const CString work = text + separator;
  const int sep = separator.GetLength();
  int passes = 0, count = 0;
  for (int pos = 0, found; (found = work.Find(separator, pos)) >= 0;) {
    if (++passes > kPassCap) return 0;
    pos = found + sep;
    if (pos >= work.GetLength()) break;
    ++count;
  }
  return count;
}

int FormatCount(wchar_t *buffer, int size, LPCWSTR format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int n = _vsnwprintf_s(buffer, static_cast<size_t>(size), static_cast<size_t>(size) - 1, format, copy);
  va_end(copy);
  if (n < 0) {
    va_copy(copy, args);
    n = _vscwprintf(format, copy);
    va_end(copy);
  }
  return n;
}

CString FormatV(LPCWSTR format, va_list args) {
  constexpr int kFirst = 4096;
  constexpr int kLimit = 0xA00000;
  wchar_t first[kFirst];
  int n = FormatCount(first, kFirst, format, args);
  ASSERT(n >= 0);
  if (n < 0) return CString();
  if (n < kFirst) return CString(first, n);
  for (int size = kFirst * 2; size <= kLimit; size *= 2) {
    std::wstring buffer(static_cast<size_t>(size), L'\0');
    n = FormatCount(buffer.data(), size, format, args);
    if (n < 0) return CString();
    if (n < size) {
      buffer.resize(static_cast<size_t>(n));
      return CString(std::move(buffer));
    }
  }
  return CString();
}

CString LoadResourceString(UINT id, HINSTANCE module) {
  CString s;
  s.LoadString(module, id);
  return s;
}

int GetDisplayWidth(const CString &text) {
  int width = 0;
  for (wchar_t c : text.str()) width += (c >= 128 || c < 0) ? 2 : 1;
  return width;
}

void TruncateToDisplayWidth(CString &text, int width) {
  int used = 0;
  for (int i = 0; i < text.GetLength(); ++i) {
    wchar_t c = text[i];
    used += (c >= 128 || c < 0) ? 2 : 1;
    if (used > width) {
      text.Truncate(i);
      return;
    }
  }
}

CString Ellipsize(CString text, int maxLength) {
  if (text.GetLength() <= maxLength) return text;
  if (maxLength <= 3) return text.Left(maxLength);
  return text.Left(maxLength - 3) + L"...";
}

int FullWidthToHalfWidth(CString &text) {
  for (int i = 0; i < text.GetLength(); ++i) {
    wchar_t c = text[i];
    if (c == 0x3000)
      text.SetAt(i, L' ');
    else if (c >= 0xFF01 && c <= 0xFF5E)
      text.SetAt(i, static_cast<wchar_t>(c - 0xFEE0));
  }
  return text.GetLength();
}

void TrimBoth(CString &text) {
  text.TrimLeft();
  text.TrimRight();
}

int StripText(CString &text, const CString &strip) {
  if (strip.IsEmpty()) return 0;
  while (StartsWith(text, strip)) text.Delete(0, 1);
  while (EndsWith(text, strip)) text.Truncate(text.GetLength() - strip.GetLength());
  return text.GetLength() - strip.GetLength();
}

void CrToLf(CString &text) {
  if (text.IsEmpty() || text.Find(L'\r') == 0) return;
  text.Replace(L'\r', L'\n');
}

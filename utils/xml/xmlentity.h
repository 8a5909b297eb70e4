// Text helpers of the XML library: the prefix test and the two scanners the
// reader is built from, and entity escaping for the writers.
//
// References understood when decoding: &apos; &quot; &gt; &lt; &amp; (names
// without regard to case) and hexadecimal character references &#xHHHH;
// (lower-case 'x' only; decimal references are malformed). A character
// reference must end with ';' and name a value up to U+10FFFF; a high and a
// low surrogate referenced one after the other make one character.
#pragma once

#include <cstddef>
#include <string>

namespace pcutil {

// White space for the reader and the scanners: the runtime's iswspace, LF
// and CR. Below 256 that is the blank and tab to CR.
bool XmlIsWideSpace(wchar_t c);
inline bool XmlIsSpace(wchar_t c) {
  if (c > L' ') return c >= 256 && XmlIsWideSpace(c);
  return c == L' ' || (c >= L'\t' && c <= L'\r');
}

// True when `p` begins with `tag`; with `ignoreCase` both sides pass through
// the runtime's towlower. A null or empty `p` gives false.
bool XmlStartsWith(const wchar_t *p, const wchar_t *tag, bool ignoreCase);

// Scans a name that ends at `stop`: the name may be followed by white space
// before `stop` but not interrupted by it. Appends the name (possibly empty)
// to `name` and returns the position of `stop` (not consumed); null for a
// null `p`, a text that ends first or a name broken by white space.
const wchar_t *XmlReadName(const wchar_t *p, std::wstring &name, wchar_t stop);

// Scans up to `stop` and appends what stands before it to `text`, decoding
// references when `unescape` is true (a decoded character never ends the
// scan). Returns the position of `stop` (not consumed); null for a null `p`,
// a text that ends first or a malformed reference.
const wchar_t *XmlReadUntil(const wchar_t *p, std::wstring &text, wchar_t stop, bool unescape);

// The scanners' work without copying, for the reader. XmlScanName scans as
// XmlReadName and sets `nameEnd` to the end of the name, which starts at
// `p`; when it fails, `nameEnd` is the NUL the text ended at, or null for a
// name broken by white space. XmlScanUntil scans as XmlReadUntil: text
// without a reference stays in place (`decoded` false; it is [p, end));
// otherwise it is appended, decoded, to `out` (`decoded` true) and
// `literalFrom` is the length of `out` just after the last decoded
// reference, so a caller can tell literal characters from decoded ones.
// When it fails because the text ended (before the stop character or
// inside a reference that more text could still complete), `ended` is that
// NUL. Both return the stop position, or null.
// `limit`, when given, is the end of the text (its NUL), which lets the scan
// read several characters at once up to there.
// The first of `a`, `b` or NUL from `p`; `limit` as for XmlScanUntil.
const wchar_t *XmlFindFirst(const wchar_t *p, const wchar_t *limit, wchar_t a, wchar_t b);

template <class Char>
struct XmlScanOf {
  bool decoded = false;
  size_t literalFrom = 0;
  const Char *ended = nullptr;
};
using XmlScan = XmlScanOf<wchar_t>;
const wchar_t *XmlScanName(const wchar_t *p, wchar_t stop, const wchar_t *&nameEnd);
const wchar_t *XmlScanUntil(const wchar_t *p, const wchar_t *limit, wchar_t stop, bool unescape, std::wstring &out,
                            XmlScan &scan);

// True when the `length` characters at `name` form a well-formed XML name
// (the Name production of XML 1.0) that the reader reads back as one name:
// no character of it is white space to the reader.
bool XmlIsName(const wchar_t *name, size_t length);

// Appends `input` to `output` with & < > " ' replaced by their entities and
// every character below U+0020 (NUL included) by &#xHH;.
void XmlEscape(const std::wstring &input, std::wstring &output);

// Appends `input` (up to its first NUL) to `output` with references decoded.
// False at the first malformed reference; what came before it stays
// appended. A character reference cut off by the end of the text still
// counts.
bool XmlUnescape(const std::wstring &input, std::wstring &output);

}  // namespace pcutil

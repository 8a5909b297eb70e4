// The reading of one node by CXmlReader, inline: the reader's Read and the
// tree loader (CXmlElement::ReadFrom) each compile it into their own loop,
// so a node's kind leads straight to what is done with it and the read
// position stays in registers. Only those two include this file.
//
// Every step is written once for the two kinds of text (Char): the wide
// text, and the UTF-8 bytes, in which the markup is ASCII and found as it
// is (detail/xmlutf8.h says why that reads what the decoded text holds).
#pragma once

#include <cstring>
#include <cwchar>
#include <string>

#include "utils/xml/detail/xmlutf8.h"
#include "utils/xml/xmlreader.h"

namespace pcutil {

namespace xmlread {

// The first character from `p` that is not white space to the reader.
// Runs between tags are short: one character at a time.
template <class Char>
inline const Char *SkipSpace(const Char *p) {
  while (const size_t n = SpaceAt(p)) p += n;  // not the NUL
  return p;
}

// The first character from `p` that is not white space to the reader,
// where white space may run long: between nodes, where a line break and an
// indent stand. Sixteen bytes at a time over the reader's UTF-8 window,
// which stays readable kUtf8PaddedRead bytes beyond its NUL; white space
// beyond ASCII one character at a time.
inline const wchar_t *SkipSpaceRun(const wchar_t *p) { return SkipSpace(p); }
inline const char *SkipSpaceRun(const char *p) {
  const uint32_t c = Unit(*p);
  if (!IsAsciiSpace(c)) return LeadsWideSpace(c) ? SkipSpace(p) : p;  // a text's start
#ifdef __SSE2__
  static_assert(kUtf8PaddedRead >= 16, "sixteen bytes read");
  const __m128i nine = _mm_set1_epi8(9), four = _mm_set1_epi8(4), blank = _mm_set1_epi8(' ');
  for (;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i d = _mm_sub_epi8(v, nine);  // tab to CR: 0 to 4
    const __m128i space = _mm_or_si128(_mm_cmpeq_epi8(v, blank), _mm_cmpeq_epi8(_mm_min_epu8(d, four), d));
    if (const unsigned other = ~static_cast<unsigned>(_mm_movemask_epi8(space)) & 0xFFFFu) {
      p += __builtin_ctz(other);
      break;
    }
    p += 16;
  }
  if (!LeadsWideSpace(Unit(*p))) return p;
#endif
  return SkipSpace(p);
}

// Within a tag: one blank at `p` and, after it, printable ASCII other than
// what ends the tag ('>' or '/'): the common start of the next attribute.
template <class Char>
inline bool BlankBeforeName(const Char *p) {
  if (*p != ' ') return false;
  const uint32_t c = Unit(p[1]);  // at most the NUL
  return c - uint32_t{'!'} <= uint32_t{'~' - '!'} && c != '>' && c != '/';
}

// Where a name ends: the one rule for the reader's scans of element and
// attribute names and for the loader's recognition of names it knows
// (CXmlElement::KnownNames). Every name ends at the NUL and at white
// space; a start tag's name also at '>' and at "/>", an attribute's (or a
// declaration's) at '='. No character from '!' to U+00FF but '/', '=' and
// '>' ever ends one.
enum class NameOf { kElement, kAttribute };
template <NameOf kind, class Char>
inline bool EndsName(const Char *p) {
  const uint32_t c = Unit(*p);
  if (c > ' ' && c < kPlain<Char> && c != '>' && c != '/' && c != '=') return false;  // the common case
  if (c == (kind == NameOf::kElement ? '>' : '=')) return true;                       // the common end
  if (c == 0 || SpaceAt(p)) return true;
  if constexpr (kind == NameOf::kElement) return c == '/' && p[1] == '>';
  return false;
}
// A name that holds none of '/', '=' and '>' (and, as every name the
// reader gives, no white space or NUL) ends, wherever it stands, exactly
// where the text after it lets EndsName end it: no character inside it can
// end it earlier.
template <class Char>
inline bool HoldsNoNameEnd(const Char *name, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (name[i] == '>' || name[i] == '/' || name[i] == '=') return false;
  return true;
}

// The end of a start tag's name from `p`.
template <class Char>
inline const Char *NameEnd(const Char *p) {
  while (!EndsName<NameOf::kElement>(p)) ++p;
  return p;
}

// The characters a text's end is trimmed of.
template <class Char>
inline bool Trimmed(Char c) {
  return c == '\t' || c == '\r' || c == ' ' || c == '\n';
}

// The markup the reader compares (case-blind), written for either kind of
// text. In UTF-8 the markup as written is compared inline first: the
// reader's window is readable beyond its end.
inline bool StartsWith(const char *p, const char *tag, const wchar_t *) {
  return std::memcmp(p, tag, std::strlen(tag)) == 0 || XmlStartsWith(p, tag, true);
}
inline bool StartsWith(const wchar_t *p, const char *, const wchar_t *tag) { return XmlStartsWith(p, tag, true); }

}  // namespace xmlread

template <class Char>
inline void CXmlReader::Fail(int code) {
  _error = code;
  In<Char>().attributes.clear();
  SetValue(In<Char>().end, 0);
  throw CXmlException(code);
}

// Reads the next node, taking more of a UTF-8 input when the window ends
// inside it; Read is this.
template <class Char, class Names>
inline BOOL CXmlReader::ReadInline(Names &names) {
  if (_error) throw CXmlException(_error);
  return ReadNext<Char>(names);
}

template <class Char, class Names>
inline BOOL CXmlReader::ReadNext(Names &names) {
  Text<Char> &t = In<Char>();
  if constexpr (sizeof(Char) == 1)
    if (t.p > t.refillAfter) Refill();
  for (;;) {
    const Char *start = t.p;
    try {
      return ReadNode<Char>(names);
    } catch (const WindowEnd &) {
      if constexpr (sizeof(Char) == 1) {
        t.p = start;
        Refill();
      }
    }
  }
}

template <class Char>
inline void CXmlReader::SkipWhitespace() {
  In<Char>().p = xmlread::SkipSpace(In<Char>().p);
}

template <class Char, class Names>
inline BOOL CXmlReader::ReadNode(Names &names) {
  Text<Char> &t = In<Char>();
  t.attributes.clear();
  if (*t.p != '<') t.p = xmlread::SkipSpaceRun(t.p);  // nodes often follow each other directly
  const Char *p = t.p;
  if (*p == 0) {
    Ended(p);
    SetValue(p, 0);  // every node below sets its own value
    return FALSE;
  }
  if (*p != '<') {
    ReadText<Char>();
    return TRUE;
  }
  // Only these second characters can begin a declaration, a section, a
  // comment or an end tag; anything else (or such a start that is none of
  // them) opens a start tag. All three lie below 'A', where names rarely
  // start, so a start tag is told by one test.
  if (xmlread::Unit(p[1]) < 'A') {
    if (p[1] == '/') {
      ReadEndTag<Char>(names);
      return TRUE;
    }
    if (p[1] == '?' && xmlread::StartsWith(p, "<?xml", L"<?xml")) {
      ReadDeclaration<Char>();
      return TRUE;
    }
    if (p[1] == '!') {
      if (xmlread::StartsWith(p, "<![CDATA[", L"<![CDATA[")) {
        ReadDelimited<Char>(9, "]]>", XML_NODE_CDATA, XML_ERROR_PARSE_CDATA);
        return TRUE;
      }
      if (xmlread::StartsWith(p, "<!--", L"<!--")) {
        ReadDelimited<Char>(4, "-->", XML_NODE_COMMENT, XML_ERROR_PARSE_COMMENT);
        return TRUE;
      }
    }
  }
  ReadStartTag<Char>(names);
  return TRUE;
}

// Text runs to the next '<' with references decoded. Its end is trimmed of
// the blanks and line breaks written there; one that a reference produced
// is content and stays (so "&#x20;" keeps a blank a writer had to protect).
template <class Char>
inline void CXmlReader::ReadText() {
  // Most texts hold no reference and are found at once; one with a
  // reference (or the end of the text) goes to the scanner.
  Text<Char> &t = In<Char>();
  XmlScanOf<Char> scan;
  const Char *end = xmlread::FindFirst(t.p, t.end, Char('<'), Char('&'));
  if constexpr (sizeof(Char) == 1) {
    // In UTF-8 the references are written over themselves in the window
    // (the reader's own copy), so the text stays where it is. The end is
    // trimmed first: a reference ends with ';', and a blank it makes stays.
    if (*end == '&') {
      if (const char *stop = xmlread::FindReferences(end, t.end, _references)) {
        const char *last = stop;
        while (xmlread::Trimmed(last[-1])) --last;
        char *text = t.window.get() + (t.p - t.window.get());
        SetValue(t.p, xmlread::WriteReferences(text, static_cast<size_t>(last - t.p), _references));
        t.p = stop;
        _nodeType = XML_NODE_TEXT;
        return;
      }
    }
  }
  if (*end != '<') {
    _value.clear();
    end = XmlScanUntil(t.p, t.end, Char('<'), true, _value, scan);
  }
  if (end == nullptr) {
    Ended(scan.ended);
    Fail<Char>(XML_ERROR_PARSE_TEXT);
  }
  if (scan.decoded) {
    size_t length = _value.size();
    while (length > scan.literalFrom && xmlread::Trimmed(_value[length - 1])) --length;
    SetValue(static_cast<const Char *>(nullptr), length);
  } else {
    const Char *last = end;
    while (last > t.p && xmlread::Trimmed(last[-1])) --last;
    SetValue(t.p, static_cast<size_t>(last - t.p));
  }
  t.p = end;
  _nodeType = XML_NODE_TEXT;
}

template <class Char>
inline void CXmlReader::ReadDeclaration() {
  Text<Char> &t = In<Char>();
  ForgetDecoded();
  t.p += 5;  // "<?xml"
  for (;;) {
    SkipWhitespace<Char>();
    if (*t.p == 0) {
      Ended(t.p);
      Fail<Char>(XML_ERROR_PARSE_DECLARATION);
    }
    if (t.p[0] == '?' && t.p[1] == '>') {
      t.p += 2;
      SetValue(t.p, 0);
      _nodeType = XML_NODE_DECLARATION;
      return;
    }
    NoNames none;
    ReadAttribute<Char>(XML_ERROR_PARSE_DECLARATION, none);
  }
}

template <class Char>
inline void CXmlReader::ReadDelimited(size_t openerLength, const char *closer, int kind, int error) {
  // The first closer: its first character found four at a time up to the
  // text's end, then the rest compared (never beyond the NUL).
  Text<Char> &t = In<Char>();
  const Char *begin = t.p + openerLength;
  const size_t length = std::strlen(closer);
  const Char *end = begin;
  for (;; ++end) {
    end = xmlread::FindFirst(end, t.end, Char(closer[0]), Char(closer[0]));
    if (*end == 0) {
      Ended(end);
      Fail<Char>(error);
    }
    size_t i = 1;
    while (i < length && end[i] == Char(closer[i])) ++i;  // stops at the NUL
    if (i == length) break;
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  t.p = end + length;
  _nodeType = kind;
}

template <class Char, class Names>
inline void CXmlReader::ReadEndTag(Names &names) {
  Text<Char> &t = In<Char>();
  const Char *begin = t.p + 2;
  const Char *end = names.EndName(begin, t.end);
  if (end == nullptr) {
    end = begin;
    while (*end != '>' && *end != 0) ++end;  // names are short
    if (*end == 0) {
      Ended(end);
      Fail<Char>(XML_ERROR_PARSE_ELEMENT);
    }
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  t.p = end + 1;
  _nodeType = XML_NODE_END_ELEMENT;
}

template <class Char, class Names>
inline void CXmlReader::ReadStartTag(Names &names) {
  Text<Char> &t = In<Char>();
  ForgetDecoded();
  names.BeginTag();
  const Char *name = ++t.p;
  if (const Char *known = names.StartName(t.p, t.end)) {
    t.p = known;
  } else {
    t.p = xmlread::NameEnd(t.p);
    Ended(t.p);
    if (*t.p == 0 || t.p == name) Fail<Char>(XML_ERROR_PARSE_ELEMENT);
  }
  const Char *nameEnd = t.p;
  for (;;) {
    // Most attributes follow one blank, and start with a character that
    // neither ends the tag nor is white space.
    if (*t.p != '>') {  // most tags end right after a name or value
      if (xmlread::BlankBeforeName(t.p)) {
        ++t.p;
        ReadAttribute<Char>(XML_ERROR_PARSE_ELEMENT, names);
        continue;
      }
      SkipWhitespace<Char>();
    }
    if (*t.p == 0) {
      Ended(t.p);
      Fail<Char>(XML_ERROR_PARSE_ELEMENT);
    }
    if (*t.p == '>') {
      ++t.p;
      _nodeType = XML_NODE_START_ELEMENT;
      break;
    }
    if (t.p[0] == '/' && t.p[1] == '>') {
      t.p += 2;
      _nodeType = XML_NODE_EMPTY_ELEMENT;
      break;
    }
    ReadAttribute<Char>(XML_ERROR_PARSE_ELEMENT, names);
  }
  SetValue(name, static_cast<size_t>(nameEnd - name));
}

template <class Char, class Names>
inline void CXmlReader::ReadAttribute(int error, Names &names) {
  // A name right up to '=' is the common case; anything else (white space
  // after the name, no '=') goes through the scanner.
  Text<Char> &t = In<Char>();
  const wchar_t *known = nullptr;
  const Char *p = names.AttributeName(t.p, t.end, known);
  const Char *nameEnd = p;
  if (p == nullptr) {
    p = t.p;
    while (!xmlread::EndsName<xmlread::NameOf::kAttribute>(p)) ++p;
    nameEnd = p;
    if (*p != '=') p = XmlScanName(t.p, Char('='), nameEnd);  // white space before '=', or no '='
    if (p == nullptr) {
      Ended(nameEnd);
      Fail<Char>(error);
    }
  }
  Attribute<Char> a{t.p, static_cast<size_t>(nameEnd - t.p), nullptr, 0, 0, known};
  t.p = p + 1;
  if (*t.p != '"' && *t.p != '\'') SkipWhitespace<Char>();  // the value mostly follows '=' at once
  const Char quote = *t.p;
  if (quote != '\'' && quote != '"') {
    Ended(t.p);
    Fail<Char>(error);
  }
  // A value without references stays where it is; one with a reference
  // (or the end of the text) goes to the scanner.
  const Char *value = t.p + 1;
  p = xmlread::FindFirst(value, t.end, quote, Char('&'));
  if (*p == quote) {
    a.value = value;
    a.valueLength = static_cast<size_t>(p - value);
  } else {
    const size_t offset = _decoded.size();
    XmlScanOf<Char> scan;
    p = XmlScanUntil(value, t.end, quote, true, _decoded, scan);
    if (p == nullptr) {
      Ended(scan.ended);
      Fail<Char>(error);
    }
    a.offset = offset;
    a.valueLength = _decoded.size() - offset;
  }
  t.p = p + 1;
  names.TakeAttribute(*this, a);
}

}  // namespace pcutil

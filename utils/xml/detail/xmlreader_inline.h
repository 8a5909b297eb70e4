// The reading of one node by CXmlReader, inline: the reader's Read and the
// tree loader (CXmlElement::ReadFrom) each compile it into their own loop,
// so a node's kind leads straight to what is done with it and the read
// position stays in registers. Only those two include this file.
#pragma once

#include <cwchar>

#include "utils/xml/xmlreader.h"

namespace pcutil {

namespace xmlread {

// The first character from `p` that is not white space to the reader.
// Runs between tags are short: one character at a time.
inline const wchar_t *SkipSpace(const wchar_t *p) {
  while (XmlIsSpace(*p)) ++p;  // not the NUL
  return p;
}

// Where a name ends: the one rule for the reader's scans of element and
// attribute names and for the loader's recognition of names it knows
// (CXmlElement::KnownNames). Every name ends at the NUL and at white
// space; a start tag's name also at '>' and at "/>", an attribute's (or a
// declaration's) at '='. No character from '!' to U+00FF but '/', '=' and
// '>' ever ends one.
enum class NameOf { kElement, kAttribute };
template <NameOf kind>
inline bool EndsName(const wchar_t *p) {
  const wchar_t c = *p;
  if (c > L' ' && c < 256 && c != L'>' && c != L'/' && c != L'=') return false;  // the common case
  if (c == L'\0' || XmlIsSpace(c)) return true;
  if constexpr (kind == NameOf::kElement) return c == L'>' || (c == L'/' && p[1] == L'>');
  return c == L'=';
}
// A name that holds none of '/', '=' and '>' (and, as every name the
// reader gives, no white space or NUL) ends, wherever it stands, exactly
// where the text after it lets EndsName end it: no character inside it can
// end it earlier.
inline bool HoldsNoNameEnd(const wchar_t *name, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (name[i] == L'>' || name[i] == L'/' || name[i] == L'=') return false;
  return true;
}

// The end of a start tag's name from `p`.
inline const wchar_t *NameEnd(const wchar_t *p) {
  while (!EndsName<NameOf::kElement>(p)) ++p;
  return p;
}

// The characters a text's end is trimmed of.
inline bool Trimmed(wchar_t c) { return c == L'\t' || c == L'\r' || c == L' ' || c == L'\n'; }

}  // namespace xmlread

inline void CXmlReader::Fail(int code) {
  _error = code;
  _attributes.clear();
  SetValue(_end, 0);
  throw CXmlException(code);
}

// Reads the next node, decoding more of a UTF-8 input when the window ends
// inside it; Read is this.
template <class Names>
inline BOOL CXmlReader::ReadInline(Names &names) {
  if (_error) throw CXmlException(_error);
  if (_refillAfter && _p > _refillAfter) Refill();
  for (;;) {
    const wchar_t *start = _p;
    try {
      return ReadNode(names);
    } catch (const WindowEnd &) {
      _p = start;
      Refill();
    }
  }
}

inline void CXmlReader::SkipWhitespace() { _p = xmlread::SkipSpace(_p); }

template <class Names>
inline BOOL CXmlReader::ReadNode(Names &names) {
  _attributes.clear();
  _decoded.clear();
  _value.clear();
  SkipWhitespace();
  SetValue(_p, 0);
  if (*_p == L'\0') {
    Ended(_p);
    return FALSE;
  }
  if (*_p != L'<') {
    ReadText();
    return TRUE;
  }
  // Only these second characters can begin a declaration, a section, a
  // comment or an end tag; anything else opens a start tag.
  switch (_p[1]) {
    case L'?':
      if (XmlStartsWith(_p, L"<?xml", true))
        ReadDeclaration();
      else
        ReadStartTag(names);
      break;
    case L'!':
      if (XmlStartsWith(_p, L"<![CDATA[", true))
        ReadDelimited(L"<![CDATA[", L"]]>", XML_NODE_CDATA, XML_ERROR_PARSE_CDATA);
      else if (XmlStartsWith(_p, L"<!--", true))
        ReadDelimited(L"<!--", L"-->", XML_NODE_COMMENT, XML_ERROR_PARSE_COMMENT);
      else
        ReadStartTag(names);
      break;
    case L'/':
      ReadEndTag(names);
      break;
    default:
      ReadStartTag(names);
  }
  return TRUE;
}

// Text runs to the next '<' with references decoded. Its end is trimmed of
// the blanks and line breaks written there; one that a reference produced
// is content and stays (so "&#x20;" keeps a blank a writer had to protect).
inline void CXmlReader::ReadText() {
  // Most texts hold no reference and are found at once; one with a
  // reference (or the end of the text) goes to the scanner.
  XmlScan scan;
  const wchar_t *end = XmlFindFirst(_p, _end, L'<', L'&');
  if (*end != L'<') end = XmlScanUntil(_p, _end, L'<', true, _value, scan);
  if (end == nullptr) {
    Ended(scan.ended);
    Fail(XML_ERROR_PARSE_TEXT);
  }
  if (scan.decoded) {
    size_t length = _value.size();
    while (length > scan.literalFrom && xmlread::Trimmed(_value[length - 1])) --length;
    SetValue(_value.data(), length);
  } else {
    const wchar_t *last = end;
    while (last > _p && xmlread::Trimmed(last[-1])) --last;
    SetValue(_p, static_cast<size_t>(last - _p));
  }
  _p = end;
  _nodeType = XML_NODE_TEXT;
}

inline void CXmlReader::ReadDeclaration() {
  _p += 5;  // "<?xml"
  for (;;) {
    SkipWhitespace();
    if (*_p == L'\0') {
      Ended(_p);
      Fail(XML_ERROR_PARSE_DECLARATION);
    }
    if (_p[0] == L'?' && _p[1] == L'>') {
      _p += 2;
      SetValue(_p, 0);
      _nodeType = XML_NODE_DECLARATION;
      return;
    }
    NoNames none;
    ReadAttribute(XML_ERROR_PARSE_DECLARATION, none);
  }
}

inline void CXmlReader::ReadDelimited(const wchar_t *opener, const wchar_t *closer, int kind, int error) {
  // The first closer: its first character found four at a time up to the
  // text's end, then the rest compared (never beyond the NUL).
  const wchar_t *begin = _p + wcslen(opener);
  const size_t length = wcslen(closer);
  const wchar_t *end = begin;
  for (;; ++end) {
    end = XmlFindFirst(end, _end, closer[0], closer[0]);
    if (*end == L'\0') {
      Ended(end);
      Fail(error);
    }
    if (wcsncmp(end, closer, length) == 0) break;
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  _p = end + length;
  _nodeType = kind;
}

template <class Names>
inline void CXmlReader::ReadEndTag(Names &names) {
  const wchar_t *begin = _p + 2;
  const wchar_t *end = names.EndName(begin, _end);
  if (end == nullptr) {
    end = begin;
    while (*end != L'>' && *end != L'\0') ++end;  // names are short
    if (*end == L'\0') {
      Ended(end);
      Fail(XML_ERROR_PARSE_ELEMENT);
    }
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  _p = end + 1;
  _nodeType = XML_NODE_END_ELEMENT;
}

template <class Names>
inline void CXmlReader::ReadStartTag(Names &names) {
  const wchar_t *name = ++_p;
  if (const wchar_t *known = names.StartName(_p, _end)) {
    _p = known;
  } else {
    _p = xmlread::NameEnd(_p);
    Ended(_p);
    if (*_p == L'\0' || _p == name) Fail(XML_ERROR_PARSE_ELEMENT);
  }
  const wchar_t *nameEnd = _p;
  for (;;) {
    SkipWhitespace();
    if (*_p == L'\0') {
      Ended(_p);
      Fail(XML_ERROR_PARSE_ELEMENT);
    }
    if (*_p == L'>') {
      ++_p;
      _nodeType = XML_NODE_START_ELEMENT;
      break;
    }
    if (_p[0] == L'/' && _p[1] == L'>') {
      _p += 2;
      _nodeType = XML_NODE_EMPTY_ELEMENT;
      break;
    }
    ReadAttribute(XML_ERROR_PARSE_ELEMENT, names);
  }
  SetValue(name, static_cast<size_t>(nameEnd - name));
}

template <class Names>
inline void CXmlReader::ReadAttribute(int error, Names &names) {
  // A name right up to '=' is the common case; anything else (white space
  // after the name, no '=') goes through the scanner.
  const wchar_t *known = nullptr;
  const wchar_t *p = names.AttributeName(_p, _end, known);
  const wchar_t *nameEnd = p;
  if (p == nullptr) {
    p = _p;
    while (!xmlread::EndsName<xmlread::NameOf::kAttribute>(p)) ++p;
    nameEnd = p;
    if (*p != L'=') p = XmlScanName(_p, L'=', nameEnd);  // white space before '=', or no '=
    if (p == nullptr) {
      Ended(nameEnd);
      Fail(error);
    }
  }
  Attribute a{_p, static_cast<size_t>(nameEnd - _p), nullptr, 0, 0, known};
  _p = p + 1;
  SkipWhitespace();
  const wchar_t quote = *_p;
  if (quote != L'\'' && quote != L'"') {
    Ended(_p);
    Fail(error);
  }
  // A value without references stays where it is; one with a reference
  // (or the end of the text) goes to the scanner.
  const wchar_t *value = _p + 1;
  p = XmlFindFirst(value, _end, quote, L'&');
  if (*p == quote) {
    a.value = value;
    a.valueLength = static_cast<size_t>(p - value);
  } else {
    const size_t offset = _decoded.size();
    XmlScan scan;
    p = XmlScanUntil(value, _end, quote, true, _decoded, scan);
    if (p == nullptr) {
      Ended(scan.ended);
      Fail(error);
    }
    a.offset = offset;
    a.valueLength = _decoded.size() - offset;
  }
  _p = p + 1;
  _attributes.push_back(a);
}

}  // namespace pcutil

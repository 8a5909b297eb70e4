#include "utils/xml/xmlreader.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"

namespace pcutil {

namespace {

// The first character from `p` that is not white space to the reader.
// Runs between tags are short: one character at a time.
const wchar_t *SkipSpace(const wchar_t *p) {
  while (XmlIsSpace(*p)) ++p;  // not the NUL
  return p;
}

// The end of a start tag's name from `p`: white space, '>', "/>" or the
// NUL.
const wchar_t *NameEnd(const wchar_t *p) {
  for (;; ++p) {
    const wchar_t c = *p;
    if (c > L' ' && c < 256 && c != L'>' && c != L'/') continue;  // the common case
    if (c == L'\0' || c == L'>' || XmlIsSpace(c) || (c == L'/' && p[1] == L'>')) return p;
  }
}

// The characters a text's end is trimmed of.
bool Trimmed(wchar_t c) { return c == L'\t' || c == L'\r' || c == L' ' || c == L'\n'; }

}  // namespace

CXmlReader::CXmlReader(const std::wstring &source)
    : _source(&source), _p(source.c_str()), _end(source.c_str() + source.size()), _valueText(source.c_str()) {
  ASSERT(_p);
}

CXmlReader::CXmlReader(const char *utf8, size_t length, size_t window)
    : _bytes(utf8), _bytesLeft(utf8 ? length : 0), _windowChars(window < 4 ? 4 : window) {
  ASSERT(utf8 || length == 0);
  static const wchar_t kNothing = L'\0';
  _p = _end = _valueText = &kNothing;
  Refill();
}

void CXmlReader::Refill() {
  // Room for at least half a window, or for as many characters again as a
  // node that did not fit, so a long node is read again only a few times;
  // the window shrinks back once such a node is behind.
  const size_t kept = static_cast<size_t>(_end - _p);
  const size_t size = kept < _windowChars / 2 ? _windowChars : 2 * kept + 1;
  if (size != _windowSize) {
    std::unique_ptr<wchar_t[]> window(new wchar_t[size]);
    std::memcpy(window.get(), _p, kept * sizeof(wchar_t));
    _window = std::move(window);
    _windowSize = size;
  } else {
    std::memmove(_window.get(), _p, kept * sizeof(wchar_t));
  }
  wchar_t *w = _window.get();
  size_t written;
  const size_t consumed = DecodeUtf8Piece(_bytes, _bytesLeft, w + kept, size - 1 - kept, written);
  _bytes += consumed;
  _bytesLeft -= consumed;
  _p = w;
  _end = w + kept + written;
  *const_cast<wchar_t *>(_end) = L'\0';
  SetValue(_end, 0);
}

void CXmlReader::GetAttribute(int index, std::wstring &name, std::wstring &value) const {
  if (index < 0 || index >= GetAttributeCount()) return;
  const Attribute &a = _attributes[index];
  name.assign(a.name, a.nameLength);
  value.assign(AttributeValue(a), a.valueLength);
}

std::wstring CXmlReader::GetAttribute(const wchar_t *name) const {
  if (name == nullptr) return std::wstring();
  const size_t length = wcslen(name);
  for (const Attribute &a : _attributes) {
    if (a.nameLength == length && wmemcmp(a.name, name, length) == 0)
      return std::wstring(AttributeValue(a), a.valueLength);
  }
  return std::wstring();
}

void CXmlReader::Fail(int code) {
  _error = code;
  _attributes.clear();
  SetValue(_end, 0);
  throw CXmlException(code);
}

void CXmlReader::SkipWhitespace() { _p = SkipSpace(_p); }

// Every part of reading a node is inlined into this one function (flatten),
// so the position and the node's pieces stay in registers from one part of
// a tag to the next instead of passing through memory at every call: about
// a tenth of the time of a tree build.
[[gnu::flatten]] BOOL CXmlReader::Read() {
  if (_error) throw CXmlException(_error);
  if (_bytesLeft && static_cast<size_t>(_end - _p) < _windowChars / 16) Refill();
  for (;;) {
    const wchar_t *start = _p;
    try {
      return ReadNode();
    } catch (const WindowEnd &) {
      _p = start;
      Refill();
    }
  }
}

BOOL CXmlReader::ReadNode() {
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
        ReadStartTag();
      break;
    case L'!':
      if (XmlStartsWith(_p, L"<![CDATA[", true))
        ReadDelimited(L"<![CDATA[", L"]]>", XML_NODE_CDATA, XML_ERROR_PARSE_CDATA);
      else if (XmlStartsWith(_p, L"<!--", true))
        ReadDelimited(L"<!--", L"-->", XML_NODE_COMMENT, XML_ERROR_PARSE_COMMENT);
      else
        ReadStartTag();
      break;
    case L'/':
      ReadEndTag();
      break;
    default:
      ReadStartTag();
  }
  return TRUE;
}

// Text runs to the next '<' with references decoded. Its end is trimmed of
// the blanks and line breaks written there; one that a reference produced
// is content and stays (so "&#x20;" keeps a blank a writer had to protect).
void CXmlReader::ReadText() {
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
    while (length > scan.literalFrom && Trimmed(_value[length - 1])) --length;
    SetValue(_value.data(), length);
  } else {
    const wchar_t *last = end;
    while (last > _p && Trimmed(last[-1])) --last;
    SetValue(_p, static_cast<size_t>(last - _p));
  }
  _p = end;
  _nodeType = XML_NODE_TEXT;
}

void CXmlReader::ReadDeclaration() {
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
    ReadAttribute(XML_ERROR_PARSE_DECLARATION);
  }
}

void CXmlReader::ReadDelimited(const wchar_t *opener, const wchar_t *closer, int kind, int error) {
  const wchar_t *begin = _p + wcslen(opener);
  const wchar_t *end = wcsstr(begin, closer);
  if (end == nullptr) {
    Ended(begin + wcslen(begin));
    Fail(error);
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  _p = end + wcslen(closer);
  _nodeType = kind;
}

void CXmlReader::ReadEndTag() {
  const wchar_t *begin = _p + 2;
  const wchar_t *end = begin;
  while (*end != L'>' && *end != L'\0') ++end;  // names are short
  if (*end == L'\0') {
    Ended(end);
    Fail(XML_ERROR_PARSE_ELEMENT);
  }
  SetValue(begin, static_cast<size_t>(end - begin));
  _p = end + 1;
  _nodeType = XML_NODE_END_ELEMENT;
}

void CXmlReader::ReadStartTag() {
  const wchar_t *name = ++_p;
  _p = NameEnd(_p);
  Ended(_p);
  if (*_p == L'\0' || _p == name) Fail(XML_ERROR_PARSE_ELEMENT);
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
    ReadAttribute(XML_ERROR_PARSE_ELEMENT);
  }
  SetValue(name, static_cast<size_t>(nameEnd - name));
}

void CXmlReader::ReadAttribute(int error) {
  // A name of plain characters right up to '=' is the common case; anything
  // else (white space, wide characters, no '=') goes through the scanner.
  const wchar_t *p = _p;
  while (*p > L' ' && *p < 256 && *p != L'=') ++p;
  const wchar_t *nameEnd = p;
  if (*p != L'=') p = XmlScanName(_p, L'=', nameEnd);
  if (p == nullptr) {
    Ended(nameEnd);
    Fail(error);
  }
  Attribute a{_p, static_cast<size_t>(nameEnd - _p), nullptr, 0, 0};
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

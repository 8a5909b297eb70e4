#include "utils/xml/xmlreader.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "utils/xml/xmlscan.h"

namespace pcutil {

// Reads one node of a wide text (C = wchar_t) or of the UTF-8 window
// (C = char) at the reader's position, into the reader's node kind, value
// and attributes. The position moves past a node once it is read.
template <class C>
class XmlParser {
 public:
  explicit XmlParser(CXmlReader &reader);
  BOOL ReadNode();

 private:
  static constexpr bool kUtf8 = sizeof(C) == 1;

  XmlTextRef Ref(const C *text, size_t length) const { return XmlTextRef{text, length, kUtf8}; }
  void SetValue(const C *text, size_t length) { r_._valueRef = Ref(text, length); }
  // The text ended at `nul`: when that is the window's end and more input
  // follows, the node is read again with more of it.
  void Ended(const C *nul) const {
    if (nul == end_ && r_._bytesLeft) throw CXmlReader::WindowEnd{};
  }
  // Fails with `code`, unless the text ended at `nul` only because the
  // window did.
  [[noreturn]] void Fail(int code, const C *nul = nullptr) {
    if (nul) Ended(nul);
    r_.Fail(code);
  }
  void SkipWhitespace() { p_ = xmlscan::SkipSpace(p_); }
  // Moves the reader's position to here.
  void Consumed() {
    if constexpr (kUtf8)
      r_._bp = p_;
    else
      r_._p = p_;
  }
  void ReadText();
  void ReadDeclaration();
  void ReadDelimited(size_t opener, const char *closer, int kind, int error);
  void ReadEndTag();
  void ReadStartTag();
  // Reads name='value' at the position into the attributes; fails with
  // `error` when malformed.
  void ReadAttribute(int error);

  CXmlReader &r_;
  const C *p_;
  const C *const end_;
};

template <>
XmlParser<wchar_t>::XmlParser(CXmlReader &reader) : r_(reader), p_(reader._p), end_(reader._end) {}
template <>
XmlParser<char>::XmlParser(CXmlReader &reader) : r_(reader), p_(reader._bp), end_(reader._bend) {}

namespace {

// The characters a text's end is trimmed of.
bool Trimmed(uint32_t c) { return c == '\t' || c == '\r' || c == ' ' || c == '\n'; }

}  // namespace

template <class C>
BOOL XmlParser<C>::ReadNode() {
  r_._attributes.clear();
  r_._decoded.clear();
  r_._value.clear();
  // White space between nodes is consumed at once: a node read again after
  // the window has moved starts after it.
  SkipWhitespace();
  Consumed();
  SetValue(p_, 0);
  if (*p_ == 0) {
    Ended(p_);
    return FALSE;
  }
  if (*p_ != '<') {
    ReadText();
  } else {
    // Only these second characters can begin a declaration, a section, a
    // comment or an end tag; anything else opens a start tag.
    switch (p_[1]) {
      case '?':
        if (xmlscan::StartsWithNoCase(p_, "<?xml"))
          ReadDeclaration();
        else
          ReadStartTag();
        break;
      case '!':
        if (xmlscan::StartsWithNoCase(p_, "<![cdata["))
          ReadDelimited(9, "]]>", XML_NODE_CDATA, XML_ERROR_PARSE_CDATA);
        else if (xmlscan::StartsWithNoCase(p_, "<!--"))
          ReadDelimited(4, "-->", XML_NODE_COMMENT, XML_ERROR_PARSE_COMMENT);
        else
          ReadStartTag();
        break;
      case '/':
        ReadEndTag();
        break;
      default:
        ReadStartTag();
    }
  }
  Consumed();
  return TRUE;
}

// Text runs to the next '<' with references decoded. Its end is trimmed of
// the blanks and line breaks written there; one that a reference produced
// is content and stays (so "&#x20;" keeps a blank a writer had to protect).
template <class C>
void XmlParser<C>::ReadText() {
  xmlscan::Scan<C> scan;
  const C *end = xmlscan::ScanUntil(p_, end_, L'<', true, r_._value, scan);
  if (end == nullptr) Fail(XML_ERROR_PARSE_TEXT, scan.ended);
  if (scan.decoded) {
    size_t length = r_._value.size();
    while (length > scan.literalFrom && Trimmed(xmlscan::Unit(r_._value[length - 1]))) --length;
    r_._valueRef = XmlTextRef{r_._value.data(), length, false};
  } else {
    const C *last = end;
    while (last > p_ && Trimmed(xmlscan::Unit(last[-1]))) --last;
    SetValue(p_, static_cast<size_t>(last - p_));
  }
  p_ = end;
  r_._nodeType = XML_NODE_TEXT;
}

template <class C>
void XmlParser<C>::ReadDeclaration() {
  p_ += 5;  // "<?xml"
  for (;;) {
    SkipWhitespace();
    if (*p_ == 0) Fail(XML_ERROR_PARSE_DECLARATION, p_);
    if (p_[0] == '?' && p_[1] == '>') {
      p_ += 2;
      SetValue(p_, 0);
      r_._nodeType = XML_NODE_DECLARATION;
      return;
    }
    ReadAttribute(XML_ERROR_PARSE_DECLARATION);
  }
}

template <class C>
void XmlParser<C>::ReadDelimited(size_t opener, const char *closer, int kind, int error) {
  const C *begin = p_ + opener;
  const C *ended;
  const C *end = xmlscan::FindText(begin, closer, ended);
  if (end == nullptr) Fail(error, ended);
  SetValue(begin, static_cast<size_t>(end - begin));
  p_ = end + std::strlen(closer);
  r_._nodeType = kind;
}

template <class C>
void XmlParser<C>::ReadEndTag() {
  const C *begin = p_ + 2;
  const C *end = xmlscan::FindFirst(begin, end_, L'>', L'>');
  if (*end == 0) Fail(XML_ERROR_PARSE_ELEMENT, end);
  SetValue(begin, static_cast<size_t>(end - begin));
  p_ = end + 1;
  r_._nodeType = XML_NODE_END_ELEMENT;
}

template <class C>
void XmlParser<C>::ReadStartTag() {
  const C *name = ++p_;
  p_ = xmlscan::NameEnd(p_);
  if (*p_ == 0) Fail(XML_ERROR_PARSE_ELEMENT, p_);
  if (p_ == name) Fail(XML_ERROR_PARSE_ELEMENT);
  const C *nameEnd = p_;
  for (;;) {
    SkipWhitespace();
    if (*p_ == 0) Fail(XML_ERROR_PARSE_ELEMENT, p_);
    if (*p_ == '>') {
      ++p_;
      r_._nodeType = XML_NODE_START_ELEMENT;
      break;
    }
    if (p_[0] == '/' && p_[1] == '>') {
      p_ += 2;
      r_._nodeType = XML_NODE_EMPTY_ELEMENT;
      break;
    }
    ReadAttribute(XML_ERROR_PARSE_ELEMENT);
  }
  SetValue(name, static_cast<size_t>(nameEnd - name));
}

template <class C>
void XmlParser<C>::ReadAttribute(int error) {
  // A name of plain characters right up to '=' is the common case; anything
  // else (white space, wide characters, no '=') goes through the scanner.
  const C *p = xmlscan::PlainNameEnd(p_);
  const C *nameEnd = p;
  if (*p != '=') p = xmlscan::ScanName(p_, L'=', nameEnd);
  if (p == nullptr) Fail(error, nameEnd);
  CXmlReader::Attribute a{Ref(p_, static_cast<size_t>(nameEnd - p_)), XmlTextRef{}, 0};
  p_ = p + 1;
  SkipWhitespace();
  const C quote = *p_;
  if (quote != '\'' && quote != '"') Fail(error, p_);
  // A value without references stays where it is; one with a reference
  // (or the end of the text) goes to the scanner.
  const C *value = p_ + 1;
  p = xmlscan::FindFirst(value, end_, static_cast<wchar_t>(quote), L'&');
  if (*p == quote) {
    a.value = Ref(value, static_cast<size_t>(p - value));
  } else {
    const size_t offset = r_._decoded.size();
    xmlscan::Scan<C> scan;
    p = xmlscan::ScanUntil(value, end_, static_cast<wchar_t>(quote), true, r_._decoded, scan);
    if (p == nullptr) Fail(error, scan.ended);
    a.offset = offset;
    a.value.length = r_._decoded.size() - offset;
  }
  p_ = p + 1;
  r_._attributes.push_back(a);
}

// --- CXmlReader ------------------------------------------------------------------

CXmlReader::CXmlReader(const std::wstring &source) : _source(&source), _p(source.c_str()), _end(_p + source.size()) {
  ASSERT(_p);
  _valueRef = XmlTextRef{_p, 0, false};
}

CXmlReader::CXmlReader(const char *utf8, size_t length, size_t window)
    : _bytes(utf8), _bytesLeft(utf8 ? length : 0), _windowBytes(window < 4 ? 4 : window) {
  ASSERT(utf8 || length == 0);
  static const char kNothing = '\0';
  _bp = _bend = &kNothing;
  Refill();
}

namespace {

bool Continues(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

// A window must end between two characters of the decode of the whole
// input, or a scan would take the end of a cut sequence for a character of
// its own. A byte that continues no sequence always starts a character, and
// so does one after three that continue (a sequence has at most three).
size_t CXmlReader::CharacterEnd(const char *p, size_t n) {
  for (size_t j = n; j >= n - 3; --j)
    if (!Continues(p[j])) return j;
  return n;
}

void CXmlReader::Refill() {
  // Room for at least half a window, or for as many bytes again as a node
  // that did not fit, so a long node is read again only a few times; the
  // window shrinks back once such a node is behind.
  const size_t kept = static_cast<size_t>(_bend - _bp);
  size_t size = kept < _windowBytes / 2 ? _windowBytes : 2 * kept + 1;
  if (size < kept + 5) size = kept + 5;  // room for a whole character and more
  if (size != _windowSize) {
    // The bytes after the NUL are the scanners' slack (see xmlscan.h).
    std::unique_ptr<char[]> window(new char[size + xmlscan::kSlack]());
    std::memcpy(window.get(), _bp, kept);
    _window = std::move(window);
    _windowSize = size;
  } else {
    std::memmove(_window.get(), _bp, kept);
  }
  char *w = _window.get();
  size_t n = _bytesLeft < size - 1 - kept ? _bytesLeft : size - 1 - kept;
  if (n < _bytesLeft) n = CharacterEnd(_bytes, n);
  if (n) std::memcpy(w + kept, _bytes, n);
  _bytes += n;
  _bytesLeft -= n;
  _bp = w;
  _bend = w + kept + n;
  *const_cast<char *>(_bend) = '\0';
  _valueRef = XmlTextRef{_bend, 0, true};
}

std::wstring CXmlReader::Widen(const XmlTextRef &text) {
  if (!text.utf8) return std::wstring(static_cast<const wchar_t *>(text.data), text.length);
  std::wstring out;
  xmlscan::Append(out, static_cast<const char *>(text.data), text.length);
  return out;
}

void CXmlReader::GetAttribute(int index, std::wstring &name, std::wstring &value) const {
  if (index < 0 || index >= GetAttributeCount()) return;
  const Attribute &a = _attributes[index];
  name = Widen(a.name);
  value = Widen(AttributeValue(a));
}

std::wstring CXmlReader::GetAttribute(const wchar_t *name) const {
  if (name == nullptr) return std::wstring();
  const size_t length = wcslen(name);
  for (const Attribute &a : _attributes) {
    const std::wstring n = Widen(a.name);
    if (n.size() == length && wmemcmp(n.data(), name, length) == 0) return Widen(AttributeValue(a));
  }
  return std::wstring();
}

void CXmlReader::Fail(int code) {
  _error = code;
  _attributes.clear();
  _valueRef = XmlTextRef{L"", 0, false};
  throw CXmlException(code);
}

BOOL CXmlReader::Read() {
  if (_error) throw CXmlException(_error);
  if (!_window) return XmlParser<wchar_t>(*this).ReadNode();
  if (_bytesLeft && static_cast<size_t>(_bend - _bp) < _windowBytes / 4) Refill();
  for (;;) {
    try {
      return XmlParser<char>(*this).ReadNode();
    } catch (const WindowEnd &) {
      Refill();
    }
  }
}

}  // namespace pcutil

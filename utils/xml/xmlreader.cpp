#include "utils/xml/xmlreader.h"

#include <cstring>
#include <cwchar>
#include <utility>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "utils/xml/detail/xmlreader_inline.h"

namespace pcutil {

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
  // Read decodes more before a node that begins in the window's last
  // sixteenth; never once the input is all decoded.
  const size_t margin = _windowChars / 16;
  if (!_bytesLeft)
    _refillAfter = nullptr;
  else
    _refillAfter = static_cast<size_t>(_end - w) > margin ? _end - margin : w;
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

// Every part of reading a node is inlined into this one function (flatten),
// so the position and the node's pieces stay in registers from one part of
// a tag to the next instead of passing through memory at every call: about
// a tenth of the time of a tree build.
[[gnu::flatten]] BOOL CXmlReader::Read() {
  NoNames none;
  return ReadInline(none);
}

}  // namespace pcutil

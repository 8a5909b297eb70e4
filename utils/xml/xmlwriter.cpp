#include "utils/xml/xmlwriter.h"

#include <cwchar>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "utils/xml/xmlentity.h"

namespace pcutil {

namespace {

std::wstring Wide(const wchar_t *p) { return p ? std::wstring(p) : std::wstring(); }

size_t Length(const wchar_t *p) { return p ? wcslen(p) : 0; }

void AppendReference(wchar_t c, std::wstring &out) {
  static const wchar_t kHex[] = L"0123456789ABCDEF";
  wchar_t digits[8];
  int n = 0;
  for (uint32_t v = static_cast<uint32_t>(c); n < 2 || v; v >>= 4) digits[n++] = kHex[v & 0xF];
  out += L"&#x";
  while (n) out.push_back(digits[--n]);
  out.push_back(L';');
}

// Text content, escaped. Its first character is written as a reference when
// the reader would skip it as white space, and its last when the reader
// would trim it, so the text reads back whole.
void EscapeContent(const wchar_t *text, size_t length, std::wstring &out) {
  if (length == 0) return;
  size_t begin = 0, end = length;
  if (XmlIsSpace(text[0])) {
    AppendReference(text[0], out);
    begin = 1;
  }
  const wchar_t last = text[length - 1];
  const bool protectLast = end > begin && (last == L' ' || last == L'\t' || last == L'\r' || last == L'\n');
  if (protectLast) --end;
  if (end > begin) XmlEscape(std::wstring(text + begin, end - begin), out);
  if (protectLast) AppendReference(last, out);
}

}  // namespace

// The writer rules: a call made in a state that does not admit it writes
// nothing but still moves to the state it leads to, so the caller's later
// calls keep their meaning. Text, CDATA and child elements are admitted in
// any order inside an open element (mixed content), so a tree read from a
// document is written back whole and well-formed.

void CXmlWriter::NameStack::Push(const wchar_t *name, size_t length) {
  starts_.push_back(names_.size());
  names_.append(name, length);
}

void CXmlWriter::NameStack::Pop() {
  names_.resize(starts_.back());
  starts_.pop_back();
}

const wchar_t *CXmlWriter::NameStack::Back(size_t &length) const {
  length = names_.size() - starts_.back();
  return names_.data() + starts_.back();
}

void CXmlWriter::NameStack::clear() {
  names_.clear();
  starts_.clear();
}

void CXmlWriter::WriteStartDocument(const std::wstring &version, const std::wstring &encoding) {
  if (_refused) return;
  ASSERT(_state == XML_WRITER_STATE_DOCUMENT);
  EmitText(L"<?xml version=\"");
  EmitText(version);
  EmitText(L"\" encoding=\"");
  EmitText(encoding);
  EmitText(L"\"?>");
  _state = XML_WRITER_STATE_CONTENT;
}

void CXmlWriter::WriteStartDocument(const wchar_t *version, const wchar_t *encoding) {
  WriteStartDocument(Wide(version), Wide(encoding));
}

void CXmlWriter::StartElement(const wchar_t *name, size_t length) {
  if (_refused) {
    ++_refused;
    return;
  }
  if (!XmlIsName(name, length)) {
    ASSERT(!"an element name must be a well-formed XML name");
    _refused = 1;
    return;
  }
  // After text the element is mixed content of the open element.
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  EmitText(L"<");
  Emit(name, length);
  _elementStack.Push(name, length);
  _state = XML_WRITER_STATE_ELEMENT_START;
}

void CXmlWriter::WriteStartElement(const std::wstring &name) { StartElement(name.data(), name.size()); }

void CXmlWriter::WriteStartElement(const wchar_t *name) { StartElement(name ? name : L"", Length(name)); }

void CXmlWriter::WriteEndElement() {
  if (_refused) {
    --_refused;
    return;
  }
  ASSERT(_elementStack.size());
  if (_elementStack.empty()) return;
  if (_state == XML_WRITER_STATE_ELEMENT_START) {
    EmitText(L" />");
  } else {
    size_t length;
    const wchar_t *name = _elementStack.Back(length);
    EmitText(L"</");
    Emit(name, length);
    EmitText(L">");
  }
  _elementStack.Pop();
  _state = XML_WRITER_STATE_CONTENT;
}

bool CXmlWriter::BeginContent() {
  if (_state == XML_WRITER_STATE_ELEMENT_START) {
    EmitText(L">");
    return true;
  }
  return !_elementStack.empty();
}

void CXmlWriter::Text(const wchar_t *text, size_t length) {
  if (_refused) return;
  if (BeginContent()) {
    std::wstring escaped;
    EscapeContent(text, length, escaped);
    EmitText(escaped);
  } else {
    ASSERT(!"text outside an element");
  }
  _state = XML_WRITER_STATE_TEXT;
}

void CXmlWriter::WriteString(const std::wstring &text) { Text(text.data(), text.size()); }

void CXmlWriter::WriteString(const wchar_t *text) { Text(text ? text : L"", Length(text)); }

void CXmlWriter::ElementString(const wchar_t *name, size_t nameLength, const wchar_t *text, size_t textLength) {
  if (_refused) return;
  if (!XmlIsName(name, nameLength)) {
    ASSERT(!"an element name must be a well-formed XML name");
    return;
  }
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  EmitText(L"<");
  Emit(name, nameLength);
  std::wstring content(L">");
  EscapeContent(text, textLength, content);
  content += L"</";
  EmitText(content);
  Emit(name, nameLength);
  EmitText(L">");
  _state = XML_WRITER_STATE_CONTENT;
}

void CXmlWriter::WriteElementString(const wchar_t *name, const wchar_t *text) {
  ElementString(name ? name : L"", Length(name), text ? text : L"", Length(text));
}

void CXmlWriter::WriteElementString(const std::wstring &name, const std::wstring &text) {
  ElementString(name.data(), name.size(), text.data(), text.size());
}

void CXmlWriter::Attribute(const wchar_t *name, size_t nameLength, const wchar_t *value, size_t valueLength) {
  if (_refused) return;
  if (!XmlIsName(name, nameLength)) {
    ASSERT(!"an attribute name must be a well-formed XML name");
    return;
  }
  ASSERT(_state == XML_WRITER_STATE_ELEMENT_START);
  EmitText(L" ");
  Emit(name, nameLength);
  std::wstring quoted(L"=\"");
  XmlEscape(std::wstring(value, valueLength), quoted);
  quoted.push_back(L'"');
  EmitText(quoted);
}

void CXmlWriter::WriteAttributeString(const wchar_t *name, const wchar_t *value) {
  Attribute(name ? name : L"", Length(name), value ? value : L"", Length(value));
}

void CXmlWriter::WriteAttributeString(const std::wstring &name, const std::wstring &value) {
  Attribute(name.data(), name.size(), value.data(), value.size());
}

void CXmlWriter::WriteRaw(const wchar_t *text) {
  if (_refused) return;
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  if (text) Emit(text, wcslen(text));
  _state = XML_WRITER_STATE_TEXT;
}

// A section cannot hold "]]>", so each one ends the section after its "]]"
// and a new section begins with its ">".
void CXmlWriter::CDataSection(const wchar_t *text, size_t length) {
  if (_refused) return;
  if (BeginContent()) {
    EmitText(L"<![CDATA[");
    size_t from = 0;
    for (size_t i = 0; i + 2 < length; ++i) {
      if (text[i] == L']' && text[i + 1] == L']' && text[i + 2] == L'>') {
        Emit(text + from, i + 2 - from);
        EmitText(L"]]><![CDATA[");
        from = i + 2;
      }
    }
    Emit(text + from, length - from);
    EmitText(L"]]>");
  } else {
    ASSERT(!"CDATA outside an element");
  }
  _state = XML_WRITER_STATE_TEXT;
}

CXmlTextWriter::CXmlTextWriter(std::wstring &output) : _output(&output) {}

void CXmlTextWriter::Emit(const wchar_t *text, size_t length) { _output->append(text, length); }

void CXmlTextWriter::WriteCData(const std::wstring &text) { CDataSection(text.data(), text.size()); }

void CXmlTextWriter::WriteCData(const CString &text) { CDataSection(text.str().data(), text.str().size()); }

void CXmlTextWriter::WriteElementCData(const wchar_t *name, const CString &text) {
  WriteStartElement(name);
  WriteCData(text);
  WriteEndElement();
}

HRESULT CXmlFileWriter::Open(const wchar_t *path, int encoding) {
  ASSERT(encoding != XML_ENCODING_UNKNOWN);
  if (encoding != XML_ENCODING_UTF16 && encoding != XML_ENCODING_UTF8) {
    _file.Close();
    return E_INVALIDARG;
  }
  _encoding = encoding;
  const HRESULT hr = _file.Create(path, GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (FAILED(hr)) return hr;
  static const BYTE kUtf16Bom[] = {0xFF, 0xFE};
  static const BYTE kUtf8Bom[] = {0xEF, 0xBB, 0xBF};
  _state = XML_WRITER_STATE_DOCUMENT;
  _elementStack.clear();
  return encoding == XML_ENCODING_UTF16 ? _file.Write(kUtf16Bom, sizeof kUtf16Bom)
                                        : _file.Write(kUtf8Bom, sizeof kUtf8Bom);
}

void CXmlFileWriter::Emit(const wchar_t *text, size_t length) {
  if (!_file.IsOpen() || length == 0) return;
  if (_encoding == XML_ENCODING_UTF16) {
    // Characters beyond U+FFFF become surrogate pairs.
    const std::string bytes = WideToUtf16Le(text, length);
    _file.Write(bytes.data(), static_cast<DWORD>(bytes.size()));
    return;
  }
  ASSERT(_encoding == XML_ENCODING_UTF8);
  if (_encoding != XML_ENCODING_UTF8 || length > 0x7FFFFFFF) return;
  const int src = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text, src, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return;
  if (_buffer.GetSize() < needed && !_buffer.Alloc(static_cast<DWORD>(needed))) return;
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, src, reinterpret_cast<LPSTR>(_buffer.GetData()),
                                    _buffer.GetSize(), nullptr, nullptr);
  if (n > 0) _file.Write(_buffer.GetData(), static_cast<DWORD>(n));
}

}  // namespace pcutil

#include "utils/xml/xmlwriter.h"

#include <cwchar>

#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "utils/xml/xmlentity.h"

namespace pcutil {

namespace {

std::wstring Text(const wchar_t *p) { return p ? std::wstring(p) : std::wstring(); }

}  // namespace

// The writer rules: a call made in a state that does not admit it writes
// nothing but still moves to the state it leads to, so the caller's later
// calls keep their meaning. Text, CDATA and child elements are admitted in
// any order inside an open element (mixed content), so a tree read from a
// document is written back whole and well-formed.

void CXmlWriter::WriteStartDocument(const std::wstring &version, const std::wstring &encoding) {
  ASSERT(_state == XML_WRITER_STATE_DOCUMENT);
  EmitText(L"<?xml version=\"");
  EmitText(version);
  EmitText(L"\" encoding=\"");
  EmitText(encoding);
  EmitText(L"\"?>");
  _state = XML_WRITER_STATE_CONTENT;
}

void CXmlWriter::WriteStartDocument(const wchar_t *version, const wchar_t *encoding) {
  WriteStartDocument(Text(version), Text(encoding));
}

void CXmlWriter::WriteStartElement(const std::wstring &name) {
  // After text the element is mixed content of the open element.
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  EmitText(L"<");
  EmitText(name);
  _elementStack.push_back(name);
  _state = XML_WRITER_STATE_ELEMENT_START;
}

void CXmlWriter::WriteStartElement(const wchar_t *name) { WriteStartElement(Text(name)); }

void CXmlWriter::WriteEndElement() {
  ASSERT(_elementStack.size());
  if (_elementStack.empty()) return;
  if (_state == XML_WRITER_STATE_ELEMENT_START) {
    EmitText(L" />");
  } else {
    EmitText(L"</");
    EmitText(_elementStack.back());
    EmitText(L">");
  }
  _elementStack.pop_back();
  _state = XML_WRITER_STATE_CONTENT;
}

bool CXmlWriter::BeginContent() {
  if (_state == XML_WRITER_STATE_ELEMENT_START) {
    EmitText(L">");
    return true;
  }
  return !_elementStack.empty();
}

void CXmlWriter::WriteString(const std::wstring &text) {
  if (BeginContent()) {
    std::wstring escaped;
    XmlEscape(text, escaped);
    EmitText(escaped);
  } else {
    ASSERT(!"text outside an element");
  }
  _state = XML_WRITER_STATE_TEXT;
}

void CXmlWriter::WriteString(const wchar_t *text) { WriteString(Text(text)); }

void CXmlWriter::WriteElementString(const wchar_t *name, const wchar_t *text) {
  WriteElementString(Text(name), Text(text));
}

void CXmlWriter::WriteElementString(const std::wstring &name, const std::wstring &text) {
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  EmitText(L"<");
  EmitText(name);
  std::wstring content(L">");
  XmlEscape(text, content);
  content += L"</";
  EmitText(content);
  EmitText(name);
  EmitText(L">");
  _state = XML_WRITER_STATE_CONTENT;
}

void CXmlWriter::WriteAttributeString(const wchar_t *name, const wchar_t *value) {
  WriteAttributeString(Text(name), Text(value));
}

void CXmlWriter::WriteAttributeString(const std::wstring &name, const std::wstring &value) {
  ASSERT(_state == XML_WRITER_STATE_ELEMENT_START);
  EmitText(L" ");
  EmitText(name);
  std::wstring quoted(L"=\"");
  XmlEscape(value, quoted);
  quoted.push_back(L'"');
  EmitText(quoted);
}

void CXmlWriter::WriteRaw(const wchar_t *text) {
  if (_state == XML_WRITER_STATE_ELEMENT_START) EmitText(L">");
  if (text) Emit(text, wcslen(text));
  _state = XML_WRITER_STATE_TEXT;
}

void CXmlWriter::WriteCDataSection(const std::wstring &text) {
  if (BeginContent()) {
    EmitText(L"<![CDATA[");
    EmitText(text);
    EmitText(L"]]>");
  } else {
    ASSERT(!"CDATA outside an element");
  }
  _state = XML_WRITER_STATE_TEXT;
}

CXmlTextWriter::CXmlTextWriter(std::wstring &output) : _output(&output) {}

void CXmlTextWriter::Emit(const wchar_t *text, size_t length) { _output->append(text, length); }

void CXmlTextWriter::WriteCData(const std::wstring &text) { WriteCDataSection(text); }

void CXmlTextWriter::WriteCData(const CString &text) { WriteCDataSection(text.str()); }

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

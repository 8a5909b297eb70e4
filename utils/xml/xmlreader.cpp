#include "utils/xml/xmlreader.h"

#include <cwchar>

#include "platform/text/debug.h"

namespace pcutil {

CXmlReader::CXmlReader(const std::wstring &source) : _source(&source), _p(source.c_str()) { ASSERT(_p); }

void CXmlReader::GetAttribute(int index, std::wstring &name, std::wstring &value) const {
  if (index < 0 || index >= GetAttributeCount()) return;
  name = _attributes[index].first;
  value = _attributes[index].second;
}

std::wstring CXmlReader::GetAttribute(const wchar_t *name) const {
  if (name == nullptr) return std::wstring();
  for (const auto &a : _attributes) {
    if (a.first == name) return a.second;
  }
  return std::wstring();
}

void CXmlReader::SkipWhitespace() {
  while (*_p && XmlIsSpace(*_p)) ++_p;
}

BOOL CXmlReader::Read() {
  _attributes.clear();
  _value.clear();
  SkipWhitespace();
  if (*_p == L'\0') return FALSE;
  if (*_p != L'<') {
    ReadText();
  } else if (XmlStartsWith(_p, L"<?xml", true)) {
    ReadDeclaration();
  } else if (XmlStartsWith(_p, L"<![CDATA[", true)) {
    ReadDelimited(L"<![CDATA[", L"]]>", XML_NODE_CDATA, XML_ERROR_PARSE_CDATA);
  } else if (XmlStartsWith(_p, L"<!--", true)) {
    ReadDelimited(L"<!--", L"-->", XML_NODE_COMMENT, XML_ERROR_PARSE_COMMENT);
  } else if (XmlStartsWith(_p, L"</", true)) {
    ReadEndTag();
  } else {
    ReadStartTag();
  }
  return TRUE;
}

void CXmlReader::ReadText() {
  const wchar_t *end = XmlReadUntil(_p, _value, L'<', true);
  if (end == nullptr) throw CXmlException(XML_ERROR_PARSE_TEXT);
  const size_t keep = _value.find_last_not_of(L"\t\r \n");
  _value.erase(keep == std::wstring::npos ? 0 : keep + 1);
  _p = end;
  _nodeType = XML_NODE_TEXT;
}

void CXmlReader::ReadDeclaration() {
  _p += 5;  // "<?xml"
  for (;;) {
    SkipWhitespace();
    if (*_p == L'\0') throw CXmlException(XML_ERROR_PARSE_DECLARATION);
    if (_p[0] == L'?' && _p[1] == L'>') {
      _p += 2;
      _nodeType = XML_NODE_DECLARATION;
      return;
    }
    ReadAttribute(XML_ERROR_PARSE_DECLARATION);
  }
}

void CXmlReader::ReadDelimited(const wchar_t *opener, const wchar_t *closer, int kind, int error) {
  const wchar_t *begin = _p + wcslen(opener);
  const wchar_t *end = wcsstr(begin, closer);
  if (end == nullptr) throw CXmlException(error);
  _value.assign(begin, end);
  _p = end + wcslen(closer);
  _nodeType = kind;
}

void CXmlReader::ReadEndTag() {
  const wchar_t *end = XmlReadUntil(_p + 2, _value, L'>', false);
  if (end == nullptr) throw CXmlException(XML_ERROR_PARSE_ELEMENT);
  _p = end + 1;
  _nodeType = XML_NODE_END_ELEMENT;
}

void CXmlReader::ReadStartTag() {
  const wchar_t *name = ++_p;
  while (*_p && !XmlIsSpace(*_p) && *_p != L'>' && !(_p[0] == L'/' && _p[1] == L'>')) ++_p;
  if (*_p == L'\0' || _p == name) throw CXmlException(XML_ERROR_PARSE_ELEMENT);
  _value.assign(name, _p);
  for (;;) {
    SkipWhitespace();
    if (*_p == L'\0') throw CXmlException(XML_ERROR_PARSE_ELEMENT);
    if (*_p == L'>') {
      ++_p;
      _nodeType = XML_NODE_START_ELEMENT;
      return;
    }
    if (_p[0] == L'/' && _p[1] == L'>') {
      _p += 2;
      _nodeType = XML_NODE_EMPTY_ELEMENT;
      return;
    }
    ReadAttribute(XML_ERROR_PARSE_ELEMENT);
  }
}

void CXmlReader::ReadAttribute(int error) {
  std::wstring name, value;
  const wchar_t *p = XmlReadName(_p, name, L'=');
  if (p == nullptr) throw CXmlException(error);
  _p = p + 1;
  SkipWhitespace();
  const wchar_t quote = *_p;
  if (quote != L'\'' && quote != L'"') throw CXmlException(error);
  p = XmlReadUntil(_p + 1, value, quote, true);
  if (p == nullptr) throw CXmlException(error);
  _p = p + 1;
  _attributes.emplace_back(name, value);
}

}  // namespace pcutil

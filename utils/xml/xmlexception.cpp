#include "utils/xml/xmlexception.h"

namespace pcutil {

namespace {

const wchar_t *MessageOf(int code) {
  switch (code) {
    case XML_ERROR_OPEN_FILE:
      return L"Open File Error";
    case XML_ERROR_PARSE_ELEMENT:
      return L"Parse Element Error";
    case XML_ERROR_PARSE_TEXT:
      return L"Parse Text Node Error";
    case XML_ERROR_PARSE_COMMENT:
      return L"Parse Comment Error";
    case XML_ERROR_PARSE_DECLARATION:
      return L"Parse Declaration Error";
    case XML_ERROR_PARSE_CDATA:
      return L"Parse CData Error";
    case XML_ERROR_DOCUMENT_EMPTY:
      return L"Document Empty";
    case XML_ERROR_DOCUMENT_ILLEGAL:
      return L"Document Illegal";
    default:
      return L"";
  }
}

}  // namespace

CXmlException::CXmlException(int code) : code(code), message(MessageOf(code)) {}

}  // namespace pcutil

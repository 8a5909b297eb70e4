#include "utils/xml/xml.h"

namespace pcutil {

BOOL MoveToXmlRoot(CXmlReader &reader) {
  while (reader.Read()) {
    switch (reader.GetNodeType()) {
      case XML_NODE_START_ELEMENT:
      case XML_NODE_EMPTY_ELEMENT:
        return TRUE;
      case XML_NODE_DECLARATION:
      case XML_NODE_COMMENT:
        break;
      default:
        throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
    }
  }
  return FALSE;
}

std::unique_ptr<CXmlElement> LoadXmlRoot(CXmlReader &reader) {
  if (!MoveToXmlRoot(reader)) return nullptr;
  auto root = std::make_unique<CXmlElement>(reader.GetValue());
  root->ReadFrom(reader);
  return root;
}

std::unique_ptr<CXmlElement> LoadXmlRoot(const std::wstring &text) {
  CXmlReader reader(text);
  return LoadXmlRoot(reader);
}

}  // namespace pcutil

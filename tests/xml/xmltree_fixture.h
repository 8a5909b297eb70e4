// Shared by the XML tree tests: loading a tree from text and counting the
// debug assertions a call reports.
#pragma once

#include <memory>
#include <string>

#include "utils/xml/xmlelement.h"
#include "utils/xml/xmlreader.h"

namespace xmltest {

// The root element of `text` loaded through the reader (a declaration before
// it is skipped). Throws what the reader or the loader throws.
inline std::unique_ptr<pcutil::CXmlElement> Load(const std::wstring &text) {
  pcutil::CXmlReader reader(text);
  do {
    if (!reader.Read()) return nullptr;
  } while (reader.GetNodeType() == pcutil::XML_NODE_DECLARATION);
  auto root = std::make_unique<pcutil::CXmlElement>(reader.GetValue());
  root->ReadFrom(reader);
  return root;
}

inline std::wstring Xml(const pcutil::CXmlNode *node) { return node->GetXml().str(); }

}  // namespace xmltest

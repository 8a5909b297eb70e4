// Shared by the XML tree tests: a tree written as text.
#pragma once

#include <string>

#include "utils/xml/xml.h"

namespace xmltest {

inline std::wstring Xml(const pcutil::CXmlNode *node) { return node->GetXml().str(); }

}  // namespace xmltest

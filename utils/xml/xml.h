// The XML library in one include: the pull reader (xmlreader.h), the tree
// (xmlnode.h, xmlelement.h), the writers (xmlwriter.h), the tree helpers
// (xmlutil.h), the text helpers (xmlentity.h) and the errors
// (xmlexception.h); and the one way to load a document and reach its root.
//
//   pcutil::CXmlReader reader(text);  // or over UTF-8 bytes
//   std::unique_ptr<pcutil::CXmlElement> root = pcutil::LoadXmlRoot(reader);
//   if (!root) ...;                   // the text holds no element
//
// utils/xml/README.md says how the reader and the loader work together.
#pragma once

#include <memory>
#include <string>

#include "platform/text/windef.h"
#include "utils/xml/xmlelement.h"
#include "utils/xml/xmlentity.h"
#include "utils/xml/xmlexception.h"
#include "utils/xml/xmlnode.h"
#include "utils/xml/xmlreader.h"
#include "utils/xml/xmlutil.h"
#include "utils/xml/xmlwriter.h"

namespace pcutil {

// Reads on to the document's root element, past a declaration and comments
// before it (white space never forms a node). TRUE with the reader on the
// root's start or empty-element tag; FALSE when nothing but those follows.
// Text, a CDATA section or an end tag before the root throws CXmlException
// XML_ERROR_DOCUMENT_ILLEGAL; the reader's own errors pass through.
BOOL MoveToXmlRoot(CXmlReader &reader);

// The root element of the document the reader stands before, loaded with
// everything in it (MoveToXmlRoot, then CXmlElement::ReadFrom); the reader
// then stands after the root's end tag. Null when the text holds no
// element. Throws what those two throw, and the part loaded before the
// error goes with the exception: a caller that wants it calls the two
// itself.
std::unique_ptr<CXmlElement> LoadXmlRoot(CXmlReader &reader);
// The same from a wide text, which need live only during the call.
std::unique_ptr<CXmlElement> LoadXmlRoot(const std::wstring &text);

}  // namespace pcutil

// pcutil::CXmlException: the error that the XML reader and the tree loader
// throw by value. It carries a code and the fixed message of that code.
#pragma once

#include "platform/text/cstring.h"

namespace pcutil {

// Error codes. 2 and 8 have messages but nothing in the library raises them.
enum {
  XML_ERROR_OPEN_FILE = 2,
  XML_ERROR_PARSE_ELEMENT = 3,      // start, empty-element and end tags
  XML_ERROR_PARSE_TEXT = 4,         // text between tags
  XML_ERROR_PARSE_COMMENT = 5,      // <!-- ... -->
  XML_ERROR_PARSE_DECLARATION = 6,  // <?xml ... ?>
  XML_ERROR_PARSE_CDATA = 7,        // <![CDATA[ ... ]]>
  XML_ERROR_DOCUMENT_EMPTY = 8,
  XML_ERROR_DOCUMENT_ILLEGAL = 9,  // the tree loader: missing or wrong end tag
};

class CXmlException {
 public:
  // Picks the message of `code`; any other code leaves it empty.
  explicit CXmlException(int code);
  CXmlException(const CXmlException &other) = default;
  CXmlException &operator=(const CXmlException &other) = default;

  int code;
  CString message;
};

}  // namespace pcutil

// Helpers over the XML tree: merging one tree into another and reading a
// node's text as a typed value. None of them lets an exception out: a caught
// exception is reported as false (or, for the merge, ends it).
#pragma once

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/xml/xmlelement.h"

namespace pcutil {

// Merges `source` into `destination`; the source is never changed and what
// enters the destination is a clone. For two elements the source's
// attributes are set on the destination (existing ones keep their place).
// Then each child of the source, in order:
// - text replaces all children of the destination;
// - an element is merged into the destination's only child of the same
//   name, or appended when there is none; when several children have that
//   name the destination as a whole is replaced by a clone of the source
//   (at the end of its parent's children, or in place when it has none);
// - comments are skipped.
// Null arguments do nothing.
void MergeXmlNode(CXmlNode *destination, CXmlNode *source);

// Reads the text of the node's first child when that is a text node (CDATA
// included) into `value`, otherwise leaves `value` unchanged. True in both
// cases; false for a null node or a caught exception.
// bool: the lower-cased text equals "true". Integers: wcstol with `base`,
// saturating at the 32-bit range. The three 32-bit forms are int, DWORD and
// long (32 bits on the original platform; here wider, it holds the same
// saturated value, as CXmlElement::GetAttribute does). The 64-bit form
// sign-extends that value; __int64 is long on this platform and takes the
// long form, with the same result.
bool GetXmlNodeValue(CXmlNode *node, CString &value);
bool GetXmlNodeValue(CXmlNode *node, bool &value);
bool GetXmlNodeValue(CXmlNode *node, int &value, int base);
bool GetXmlNodeValue(CXmlNode *node, DWORD &value, int base);
bool GetXmlNodeValue(CXmlNode *node, long &value, int base);
bool GetXmlNodeValue(CXmlNode *node, long long &value, int base);

// Stores wcstol of `text` in `value`. A non-zero result is true; a zero
// result is true only when every character is '0' or at or below U+0020
// (XmlTextToInt), or every character is '0' (XmlTextToIntStrict). An empty
// text gives true with 0; a sign with a zero result ("-0") gives false.
bool XmlTextToInt(const CString &text, int &value, int base);
bool XmlTextToIntStrict(const CString &text, int &value, int base);

}  // namespace pcutil

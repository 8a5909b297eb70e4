// pcutil::CXmlReader: a pull reader over XML text held by the caller. Each
// Read consumes the next tag, comment, CDATA section, declaration or run of
// text and reports it as one node. The reader keeps no stack and checks no
// nesting, duplicate attributes or name characters: matching start and end
// tags is the tree loader's business.
//
// The reader scans the caller's string in place and does not copy it: the
// string must stay alive and unchanged while the reader is used. A NUL
// character ends the text. One thread at a time.
#pragma once

#include <string>
#include <vector>

#include "platform/text/windef.h"
#include "utils/xml/xmlentity.h"
#include "utils/xml/xmlexception.h"

namespace pcutil {

// A plain pair.
template <class T1, class T2>
struct tuple2 {
  tuple2() = default;
  tuple2(const T1 &a, const T2 &b) : first(a), second(b) {}
  T1 first{};
  T2 second{};
};

// Node kinds reported by CXmlReader::GetNodeType.
enum {
  XML_NODE_NONE = -1,          // nothing read yet
  XML_NODE_START_ELEMENT = 0,  // value: the name; attributes
  XML_NODE_END_ELEMENT = 1,    // value: the text between "</" and ">" as written
  XML_NODE_EMPTY_ELEMENT = 2,  // value: the name; attributes
  XML_NODE_COMMENT = 3,        // value: the content as written
  XML_NODE_TEXT = 4,           // value: the text, references decoded, trimmed
  XML_NODE_CDATA = 5,          // value: the content as written
  XML_NODE_DECLARATION = 6,    // value empty; attributes
};

class CXmlReader {
 public:
  explicit CXmlReader(const std::wstring &source);
  // The reader keeps a pointer to the text, so a temporary would dangle.
  explicit CXmlReader(std::wstring &&source) = delete;
  CXmlReader(const CXmlReader &) = delete;  // the position belongs to one reader
  CXmlReader &operator=(const CXmlReader &) = delete;

  // Reads the next node: TRUE for a node, FALSE when nothing but white space
  // is left (the node kind then stays as it was). Throws CXmlException with
  // the code of the construct being read on malformed input; the reader must
  // not be read again after that.
  BOOL Read();

  int GetNodeType() const { return _nodeType; }
  std::wstring GetValue() const { return _value; }
  int GetAttributeCount() const { return static_cast<int>(_attributes.size()); }
  // Copies attribute `index`; an index out of range leaves both unchanged.
  void GetAttribute(int index, std::wstring &name, std::wstring &value) const;
  // The value of the first attribute named exactly `name`, or empty.
  std::wstring GetAttribute(const wchar_t *name) const;

 private:
  void ReadText();
  void ReadDeclaration();
  void ReadDelimited(const wchar_t *opener, const wchar_t *closer, int kind, int error);
  void ReadEndTag();
  void ReadStartTag();
  // Reads name='value' at _p into _attributes; throws `error` when malformed.
  void ReadAttribute(int error);
  void SkipWhitespace();

  const std::wstring *_source;
  const wchar_t *_p;
  int _nodeType = XML_NODE_NONE;
  std::wstring _value;
  std::vector<tuple2<std::wstring, std::wstring>> _attributes;
};

}  // namespace pcutil

// pcutil::CXmlReader: a pull reader over XML text held by the caller. Each
// Read consumes the next tag, comment, CDATA section, declaration or run of
// text and reports it as one node. The reader keeps no stack and checks no
// nesting, duplicate attributes or name characters: matching start and end
// tags is the tree loader's business.
//
// The reader scans the caller's string in place and does not copy it: the
// string must stay alive and unchanged while the reader is used. Names and
// texts without references are not copied either: the reader notes where
// they stand and copies only what an accessor hands out. A NUL character
// ends the text. One thread at a time.
//
// A reader can also take the UTF-8 bytes of a document (the caller's too,
// not copied). It reads exactly what it would read from the wide text that
// MultiByteToWide(CP_UTF8, ...) makes of them, but decodes a window of some
// thousand characters at a time, so the whole wide text never exists; a
// window holds at least the node being read.
#pragma once

#include <cstddef>
#include <memory>
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
  XML_NODE_TEXT = 4,           // value: the text, references decoded, literal white space trimmed
  XML_NODE_CDATA = 5,          // value: the content as written
  XML_NODE_DECLARATION = 6,    // value empty; attributes
};

class CXmlReader {
 public:
  explicit CXmlReader(const std::wstring &source);
  // The reader keeps a pointer to the text, so a temporary would dangle.
  explicit CXmlReader(std::wstring &&source) = delete;
  // A reader over `length` bytes of UTF-8 at `utf8`, which stay alive and
  // unchanged while the reader is used. It decodes `window` characters at a
  // time (at least 4), more when a node needs more.
  static constexpr size_t kDefaultWindow = 16384;
  CXmlReader(const char *utf8, size_t length, size_t window = kDefaultWindow);
  CXmlReader(const CXmlReader &) = delete;  // the position belongs to one reader
  CXmlReader &operator=(const CXmlReader &) = delete;

  // Reads the next node: TRUE for a node, FALSE when nothing but white space
  // is left (the node kind then stays as it was). Throws CXmlException with
  // the code of the construct being read on malformed input. A reader that
  // has thrown stays failed: every later Read throws the same error again,
  // and the accessors report no value and no attributes.
  BOOL Read();

  int GetNodeType() const { return _nodeType; }
  std::wstring GetValue() const { return std::wstring(_valueText, _valueLength); }
  int GetAttributeCount() const { return static_cast<int>(_attributes.size()); }
  // Copies attribute `index`; an index out of range leaves both unchanged.
  void GetAttribute(int index, std::wstring &name, std::wstring &value) const;
  // The value of the first attribute named exactly `name`, or empty.
  std::wstring GetAttribute(const wchar_t *name) const;

 private:
  friend class CXmlElement;  // the tree loader takes names and texts where they stand

  // One attribute: the name where it stands in the source; the value there
  // too, or (value null) at `offset` in _decoded when it held references.
  // `known` is the name as the reading's Names recognised it, or null.
  struct Attribute {
    const wchar_t *name;
    size_t nameLength;
    const wchar_t *value;
    size_t offset;
    size_t valueLength;
    const wchar_t *known;
  };

  // What reading a node asks of a caller that may know names it meets:
  // each returns the end of the name at `p` (the text ends at `limit`) when
  // it recognises it there, where the reader would end it, or null, and the
  // reader then scans the name itself. The tree loader knows the names of
  // its load; Read knows none.
  struct NoNames {
    const wchar_t *StartName(const wchar_t *, const wchar_t *) { return nullptr; }
    // Recognised only right before '='; `known` takes the name.
    const wchar_t *AttributeName(const wchar_t *, const wchar_t *, const wchar_t *&) { return nullptr; }
    // Recognised only as the whole end tag up to '>'.
    const wchar_t *EndName(const wchar_t *, const wchar_t *) { return nullptr; }
  };

  // The value and the attributes of the last node, without copying.
  const wchar_t *ValueText() const { return _valueText; }
  size_t ValueLength() const { return _valueLength; }
  const wchar_t *AttributeValue(const Attribute &a) const { return a.value ? a.value : _decoded.data() + a.offset; }

  // Thrown inside Read when a node runs into the end of the decoded window
  // while more input follows; Read then decodes more and reads it again.
  struct WindowEnd {};
  // Read's work, inline for the tree loader (detail/xmlreader_inline.h).
  template <class Names>
  BOOL ReadInline(Names &names);
  template <class Names>
  BOOL ReadNode(Names &names);
  // Keeps the window from _p on and decodes more input behind it.
  void Refill();
  // The text ended at `nul`: when that is the window's end and more input
  // follows, the node is read again with more of it.
  void Ended(const wchar_t *nul) const {
    if (nul == _end && _bytesLeft) throw WindowEnd{};
  }
  [[noreturn]] void Fail(int code);
  void SetValue(const wchar_t *text, size_t length) {
    _valueText = text;
    _valueLength = length;
  }
  void ReadText();
  void ReadDeclaration();
  void ReadDelimited(const wchar_t *opener, const wchar_t *closer, int kind, int error);
  template <class Names>
  void ReadEndTag(Names &names);
  template <class Names>
  void ReadStartTag(Names &names);
  // Reads name='value' at _p into _attributes; fails with `error` when
  // malformed.
  template <class Names>
  void ReadAttribute(int error, Names &names);
  void SkipWhitespace();

  const std::wstring *_source = nullptr;
  const wchar_t *_p;
  const wchar_t *_end;           // the terminating NUL of the source or the window
  const char *_bytes = nullptr;  // UTF-8 input not decoded yet
  size_t _bytesLeft = 0;
  std::unique_ptr<wchar_t[]> _window;
  size_t _windowSize = 0;                 // characters, the NUL after them included
  size_t _windowChars = 0;                // the window asked for
  const wchar_t *_refillAfter = nullptr;  // Read decodes more when _p is beyond it (null: never)

  int _nodeType = XML_NODE_NONE;
  int _error = 0;  // the code this reader failed with, or 0
  const wchar_t *_valueText;
  size_t _valueLength = 0;
  std::wstring _value;    // a text's value when it held references
  std::wstring _decoded;  // attribute values that held references
  std::vector<Attribute> _attributes;
};

}  // namespace pcutil

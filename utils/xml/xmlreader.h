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
// MultiByteToWide(CP_UTF8, ...) makes of them: it finds the markup in the
// bytes themselves, a window of some thousand bytes at a time (a window
// holds at least the node being read), and decodes a name or a text only
// when it is handed out.
#pragma once

#include <cstddef>
#include <cstdint>
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

namespace xmlread {
// A reference in a UTF-8 text (see xmlread::FindReferences).
struct Reference {
  const char *at;  // its '&'
  size_t length;
  uint32_t value;
};
// A piece of the reader's text: where it stands (`text` non-null), or
// decoded, wide, in `decoded`; `length` units either way.
template <class Char>
struct Piece {
  const Char *text;
  const wchar_t *decoded;
  size_t length;
};
}  // namespace xmlread

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
  // unchanged while the reader is used. It takes `window` bytes at a time
  // (at least 4), more when a node needs more.
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
  std::wstring GetValue() const;
  int GetAttributeCount() const {
    return static_cast<int>(_isUtf8 ? _utf8.attributes.size() : _wide.attributes.size());
  }
  // Copies attribute `index`; an index out of range leaves both unchanged.
  void GetAttribute(int index, std::wstring &name, std::wstring &value) const;
  // The value of the first attribute named exactly `name`, or empty.
  std::wstring GetAttribute(const wchar_t *name) const;

 private:
  friend class CXmlElement;  // the tree loader takes names and texts where they stand

  // One attribute: the name where it stands in the text; the value there
  // too, or (value null) at `offset` in _decoded when it held references.
  // `known` is the name as the reading's Names recognised it, or null.
  template <class Char>
  struct Attribute {
    const Char *name;
    size_t nameLength;
    const Char *value;
    size_t offset;
    size_t valueLength;
    const wchar_t *known;
  };

  // The text being read, of wide characters (the caller's string) or of
  // UTF-8 bytes (a window over the caller's bytes), and the last node's
  // pieces where they stand in it.
  template <class Char>
  struct Text {
    const Char *p = nullptr;
    const Char *end = nullptr;          // the terminating NUL of the source or the window
    const Char *refillAfter = nullptr;  // Read takes more input when p is beyond it (UTF-8; `end` once all is taken)
    std::unique_ptr<Char[]> window;     // UTF-8 only
    size_t windowSize = 0;              // units, the NUL after them included
    const Char *value = nullptr;        // the value where it stands, or null: decoded in _value
    size_t valueLength = 0;
    std::vector<Attribute<Char>> attributes;
  };
  template <class Char>
  Text<Char> &In() {
    if constexpr (sizeof(Char) == 1)
      return _utf8;
    else
      return _wide;
  }
  template <class Char>
  const Text<Char> &In() const {
    return const_cast<CXmlReader *>(this)->In<Char>();
  }

  // What reading a node asks of a caller that may know names it meets:
  // each returns the end of the name at `p` (the text ends at `limit`) when
  // it recognises it there, where the reader would end it, or null, and the
  // reader then scans the name itself. The tree loader knows the names of
  // its load; Read knows none. The caller also takes each attribute of a
  // start tag as the reader meets it: Read keeps them in the reader's list,
  // the tree loader makes them at once.
  struct NoNames {
    // A start tag is read from its start (again, after the window moved:
    // the attributes taken since its last start are void).
    void BeginTag() {}
    template <class Char>
    void TakeAttribute(CXmlReader &reader, const Attribute<Char> &a) {
      reader.In<Char>().attributes.push_back(a);
    }
    template <class Char>
    const Char *StartName(const Char *, const Char *) {
      return nullptr;
    }
    // Recognised only right before '='; `known` takes the name.
    template <class Char>
    const Char *AttributeName(const Char *, const Char *, const wchar_t *&) {
      return nullptr;
    }
    // Recognised only as the whole end tag up to '>'.
    template <class Char>
    const Char *EndName(const Char *, const Char *) {
      return nullptr;
    }
  };

  // The value of the last node, and an attribute's value.
  template <class Char>
  using Piece = xmlread::Piece<Char>;
  template <class Char>
  Piece<Char> ValuePiece() const {
    const Text<Char> &t = In<Char>();
    return {t.value, t.value ? nullptr : _value.data(), t.valueLength};
  }
  template <class Char>
  Piece<Char> AttributePiece(const Attribute<Char> &a) const {
    return {a.value, a.value ? nullptr : _decoded.data() + a.offset, a.valueLength};
  }

  // Thrown inside Read when a node runs into the end of the window while
  // more input follows; Read then takes more and reads it again.
  struct WindowEnd {};
  // Read's work, inline for the tree loader (detail/xmlreader_inline.h).
  template <class Char, class Names>
  BOOL ReadInline(Names &names);
  // The same without the test for an earlier failure, for a caller that
  // made it once and stops at any failure (the tree loader).
  template <class Char, class Names>
  BOOL ReadNext(Names &names);
  template <class Char, class Names>
  BOOL ReadNode(Names &names);
  // Keeps the window from its position on and copies more input behind it.
  void Refill();
  // The text ended at `nul`: when that is the window's end and more input
  // follows, the node is read again with more of it.
  template <class Char>
  void Ended(const Char *nul) const {
    if (nul == In<Char>().end && _bytesLeft) throw WindowEnd{};
  }
  template <class Char>
  [[noreturn]] void Fail(int code);
  template <class Char>
  void SetValue(const Char *text, size_t length) {
    In<Char>().value = text;
    In<Char>().valueLength = length;
  }
  // A tag's attribute values with references are decoded into _decoded
  // from its start; most tags have none (no store where nothing is held).
  void ForgetDecoded() {
    if (!_decoded.empty()) _decoded.clear();
  }
  template <class Char>
  void ReadText();
  template <class Char>
  void ReadDeclaration();
  template <class Char>
  void ReadDelimited(size_t openerLength, const char *closer, int kind, int error);
  template <class Char, class Names>
  void ReadEndTag(Names &names);
  template <class Char, class Names>
  void ReadStartTag(Names &names);
  // Reads name='value' at the position into the attributes; fails with
  // `error` when malformed.
  template <class Char, class Names>
  void ReadAttribute(int error, Names &names);
  template <class Char>
  void SkipWhitespace();
  // Appends a piece of the text, decoded when it is UTF-8.
  static void Append(std::wstring &out, const wchar_t *text, size_t length) { out.append(text, length); }
  static void Append(std::wstring &out, const char *text, size_t length);
  template <class Char>
  static void Append(std::wstring &out, const Piece<Char> &piece) {
    if (piece.text)
      Append(out, piece.text, piece.length);
    else
      out.append(piece.decoded, piece.length);
  }

  const std::wstring *_source = nullptr;
  bool _isUtf8 = false;
  Text<wchar_t> _wide;
  Text<char> _utf8;
  const char *_bytes = nullptr;  // UTF-8 input not taken into the window yet
  size_t _bytesLeft = 0;
  size_t _windowBytes = 0;  // the window asked for

  int _nodeType = XML_NODE_NONE;
  int _error = 0;                               // the code this reader failed with, or 0
  std::wstring _value;                          // a text's value decoded with its references (the last such)
  std::wstring _decoded;                        // attribute values of the last tag that held references
  std::vector<xmlread::Reference> _references;  // those of the UTF-8 text being read
};

}  // namespace pcutil

// XML writers: a stream of calls (start the document, start an element, add
// attributes, add text, end the element) becomes XML on one line, with no
// line breaks or indentation. Names, the declaration's values and raw text
// are written unchanged; text and attribute values are escaped (XmlEscape).
//
// What the writer writes reads back as written: a text's first character,
// when the reader would skip it as white space, and its last, when the
// reader would trim it, are written as character references; a CDATA text
// holding "]]>" is split there into two sections, so its characters read
// back unchanged; and a name that is not a well-formed XML name is refused
// like any other call that breaks the rules (a debug assertion, nothing
// written): a refused element is left out with its attributes and content.
//
// The state machine lives in CXmlWriter and is shared by both writers, so
// they produce the same characters for the same calls; each derived writer
// only says where the characters go. A start tag stays open (its '>'
// unwritten) until the next call decides how to close it: a child writes
// "><", text writes ">", an end writes " />". An element holds either text
// or child elements. A call that breaks the order is reported by a debug
// assertion; elements, text and CDATA out of place are not written (the
// writer still moves to the state the call leads to), while a declaration
// or an attribute out of place is. One thread at a time.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/system/atlfile.h"
#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/base/autobuffer.h"

namespace pcutil {

enum {
  XML_WRITER_STATE_DOCUMENT = 0,       // nothing written; the declaration may follow
  XML_WRITER_STATE_CONTENT = 1,        // after the declaration or a complete element
  XML_WRITER_STATE_ELEMENT_START = 2,  // a start tag is open; attributes may follow
  XML_WRITER_STATE_TEXT = 3,           // after text, raw text or CDATA in an element
};

enum {
  XML_ENCODING_UNKNOWN = 0,  // rejected by CXmlFileWriter::Open
  XML_ENCODING_UTF16 = 1,    // FF FE, then UTF-16 little-endian
  XML_ENCODING_UTF8 = 2,     // EF BB BF, then UTF-8
};

class CXmlElement;
class CXmlText;

class CXmlWriter {
 public:
  CXmlWriter() = default;
  CXmlWriter(const CXmlWriter &) = delete;  // the output target is not shared
  CXmlWriter &operator=(const CXmlWriter &) = delete;
  virtual ~CXmlWriter() = default;

  // <?xml version="v" encoding="e"?>, unescaped; then state CONTENT.
  virtual void WriteStartDocument(const std::wstring &version, const std::wstring &encoding);
  virtual void WriteStartDocument(const wchar_t *version, const wchar_t *encoding);
  // Opens element `name` and pushes it; then state ELEMENT_START.
  virtual void WriteStartElement(const std::wstring &name);
  virtual void WriteStartElement(const wchar_t *name);
  // Closes the innermost open element (" />" when it got no content); with
  // no element open it writes nothing.
  virtual void WriteEndElement();
  // Escaped text; only directly after a start tag.
  virtual void WriteString(const std::wstring &text);
  virtual void WriteString(const wchar_t *text);
  // A complete element <n>t</n>; the open-element stack is not touched.
  virtual void WriteElementString(const wchar_t *name, const wchar_t *text);
  virtual void WriteElementString(const std::wstring &name, const std::wstring &text);
  // ' name="value"' with the value escaped; belongs to an open start tag.
  virtual void WriteAttributeString(const wchar_t *name, const wchar_t *value);
  virtual void WriteAttributeString(const std::wstring &name, const std::wstring &value);
  // Text written unchanged, nothing checked; then state TEXT.
  virtual void WriteRaw(const wchar_t *text);

 protected:
  friend class CXmlElement;  // the tree writes itself from its counted strings
  friend class CXmlText;

  // The operations over counted text, behind the public ones.
  void StartElement(const wchar_t *name, size_t length);
  void Attribute(const wchar_t *name, size_t nameLength, const wchar_t *value, size_t valueLength);
  void Text(const wchar_t *text, size_t length);
  void CDataSection(const wchar_t *text, size_t length);
  void ElementString(const wchar_t *name, size_t nameLength, const wchar_t *text, size_t textLength);

  // The names of the open elements, innermost last, in one buffer.
  class NameStack {
   public:
    void Push(const wchar_t *name, size_t length);
    void Pop();
    const wchar_t *Back(size_t &length) const;
    size_t size() const { return starts_.size(); }
    bool empty() const { return starts_.empty(); }
    void clear();

   private:
    std::wstring names_;
    std::vector<size_t> starts_;
  };

  // Delivers one piece of output.
  virtual void Emit(const wchar_t *text, size_t length) = 0;
  void EmitText(const std::wstring &text) { Emit(text.data(), text.size()); }
  template <size_t N>
  void EmitText(const wchar_t (&literal)[N]) {
    Emit(literal, N - 1);
  }

  // Readies the output for content inside the open element: closes a start
  // tag still open. False where no element is open (content would stand
  // outside the root).
  bool BeginContent();

  int _state = XML_WRITER_STATE_DOCUMENT;
  NameStack _elementStack;
  // Open elements inside a refused one (the refused one included): while
  // not zero nothing is written.
  size_t _refused = 0;
};

// Appends the XML to a string that the caller owns and keeps alive; the
// writer never clears it.
class CXmlTextWriter : public CXmlWriter {
 public:
  explicit CXmlTextWriter(std::wstring &output);

  // <![CDATA[text]]>, unchanged; only directly after a start tag.
  void WriteCData(const std::wstring &text);
  void WriteCData(const CString &text);
  // WriteStartElement, WriteCData, WriteEndElement.
  void WriteElementCData(const wchar_t *name, const CString &text);

 protected:
  void Emit(const wchar_t *text, size_t length) override;

 private:
  std::wstring *_output;
};

// Writes the XML to a file after a byte-order mark. Constructed, opened
// once, written and destroyed; the destructor closes the file. Calls before
// a successful Open write nothing. Write errors are not reported.
class CXmlFileWriter : public CXmlWriter {
 public:
  CXmlFileWriter() = default;

  // Creates (or truncates) `path` and writes the BOM of `encoding`. Returns
  // the failing HRESULT when the file cannot be created (the writer then
  // has no file), E_INVALIDARG for XML_ENCODING_UNKNOWN, otherwise the
  // result of writing the BOM.
  HRESULT Open(const wchar_t *path, int encoding);

 protected:
  void Emit(const wchar_t *text, size_t length) override;

 private:
  CAtlFile _file;
  int _encoding = XML_ENCODING_UNKNOWN;
  CAutoBuffer _buffer;  // UTF-8 conversion buffer; only grows
};

}  // namespace pcutil

// The node classes of the XML tree (elements, text, comments) and an
// element's attributes.
//
// Ownership: an element owns its attributes and destroys them with itself
// (children first, then attributes); RemoveAttribute destroys one at once.
// Everything about child nodes is in utils/xml/xmlnode.h.
#pragma once

#include <string>
#include <unordered_map>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/xml/xmlnode.h"

namespace pcutil {

class CXmlReader;

// One attribute, linked into its element's list.
class CXmlAttribute : public CXmlBase {
 public:
  CXmlAttribute() = default;
  CXmlAttribute(const wchar_t *name, const wchar_t *value);
  CXmlAttribute(const CXmlAttribute &) = delete;
  CXmlAttribute &operator=(const CXmlAttribute &) = delete;

  const wchar_t *GetName() const noexcept { return name.c_str(); }
  const wchar_t *GetValue() const noexcept { return value.c_str(); }
  void SetValue(const std::wstring &text) { value = text; }
  // The next attribute of the list, or null at its end.
  CXmlAttribute *GetNext() const noexcept;

 private:
  friend class CXmlAttributeList;

  std::wstring name;
  std::wstring value;
  CXmlAttribute *prev = nullptr;
  CXmlAttribute *next = nullptr;
  // Set only on a list's own head record. The end of a walk is told by this
  // flag rather than by an empty name and value, so an attribute with an
  // empty name and value does not end the walk and hide the ones after it.
  bool isHead = false;
};

// An element's attributes: a circular list in insertion order (for writing
// in document order) behind a head record, and a hash index by name (for
// constant-time lookup). The index holds exactly the names in the list, each
// once. The list does not own the records: the element destroys them.
class CXmlAttributeList {
 public:
  CXmlAttributeList();
  CXmlAttributeList(const CXmlAttributeList &) = delete;
  CXmlAttributeList &operator=(const CXmlAttributeList &) = delete;

  // The first attribute, or null when there is none.
  CXmlAttribute *GetFirst() const noexcept;
  CXmlAttribute *Find(const std::wstring &name) const;
  CXmlAttribute *Find(const wchar_t *name) const;
  // Links the record at the end and indexes it. False (nothing changes, the
  // caller keeps the record) for null or a name already in the list.
  bool Add(CXmlAttribute *attribute);
  // Unlinks the record (it is not destroyed). False for null or a record
  // that is not in this list.
  bool Remove(CXmlAttribute *attribute);

 private:
  CXmlAttribute head;
  std::unordered_map<std::wstring, CXmlAttribute *> index;
};

class CXmlElement : public CXmlNode {
 public:
  explicit CXmlElement(const wchar_t *name);
  explicit CXmlElement(const std::wstring &name);
  ~CXmlElement() override;

  // Sets the value of the attribute `name`: an existing one keeps its place,
  // a new one goes to the end. A null name is ignored; a null value is empty.
  void SetAttribute(const wchar_t *name, const wchar_t *value);
  // The value, or null when the attribute is absent.
  const wchar_t *GetAttribute(const wchar_t *name) const;
  // Copy the value (as wcstol in base 10 for the numbers, saturating at 32
  // bits) and return TRUE; FALSE with the output unchanged when absent.
  BOOL GetAttribute(const wchar_t *name, CString &value) const;
  BOOL GetAttribute(const wchar_t *name, int &value) const;
  BOOL GetAttribute(const wchar_t *name, long &value) const;
  // Destroys the attribute; an absent name changes nothing.
  void RemoveAttribute(const wchar_t *name);
  CXmlAttribute *GetFirstAttribute() const noexcept { return attributes.GetFirst(); }

  // The text of the first child when that is a text node, otherwise null.
  const wchar_t *GetText() const;
  // Gives the first child (a text node) the text and the flag, or appends a
  // new text node when there are no children. When the first child is of
  // another kind a new text node is put before it.
  void SetText(const wchar_t *text, bool cdata = false);

  // Loads attributes and content from the reader, which stands on this
  // element's start or empty-element tag. Throws CXmlException: the reader's
  // own codes pass through; code 9 for a missing or wrong end tag, a
  // declaration inside the element, or nesting deeper than kMaxReadDepth.
  // What was loaded before the error stays attached.
  void ReadFrom(CXmlReader &reader);

  // The deepest nesting ReadFrom loads. It bounds the recursion of loading,
  // writing, cloning and destroying a tree read from untrusted text.
  static constexpr int kMaxReadDepth = 1000;

  CXmlNode *Clone() const override;
  CXmlElement *AsElement() override { return this; }
  void WriteTo(CXmlTextWriter &writer) const override;
  void WriteChildren(CXmlTextWriter &writer) const override;

 private:
  void ReadContent(CXmlReader &reader, int depth);

  CXmlAttributeList attributes;
};

// A run of text, written escaped or, with the cdata flag, as a CDATA section.
class CXmlText : public CXmlNode {
 public:
  explicit CXmlText(const wchar_t *text, bool cdata = false);
  explicit CXmlText(const std::wstring &text, bool cdata = false);

  void SetCData(bool on) noexcept { cdata = on; }

  CXmlNode *Clone() const override;
  CXmlText *AsText() override { return this; }
  void WriteTo(CXmlTextWriter &writer) const override;

 private:
  bool cdata;
};

// A comment. Comments are kept in the tree but never written.
class CXmlComment : public CXmlNode {
 public:
  CXmlComment();
  explicit CXmlComment(const std::wstring &content);

  CXmlNode *Clone() const override;
  CXmlComment *AsComment() override { return this; }
};

}  // namespace pcutil

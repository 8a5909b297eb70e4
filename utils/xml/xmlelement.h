// The node classes of the XML tree (elements, text, comments) and an
// element's attributes.
//
// Ownership: an element owns its attributes and destroys them with itself
// (children first, then attributes); RemoveAttribute destroys one at once.
// Everything about child nodes is in utils/xml/xmlnode.h.
#pragma once

#include <string>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/xml/xmlnode.h"

namespace pcutil {

class CXmlReader;

// One attribute, linked into its element's list.
class CXmlAttribute : public CXmlBase {
 public:
  CXmlAttribute();
  CXmlAttribute(const wchar_t *name, const wchar_t *value);
  ~CXmlAttribute() override;

  const wchar_t *GetName() const noexcept { return name; }
  const wchar_t *GetValue() const noexcept { return value; }
  void SetValue(const std::wstring &text);
  // The next attribute of the list, or null at its end.
  CXmlAttribute *GetNext() const noexcept { return next; }

 private:
  friend class CXmlAttributeList;
  friend class CXmlElement;
  friend class CXmlStore;

  struct Stored {};
  // An attribute whose strings live in its store.
  CXmlAttribute(Stored, const wchar_t *name, const wchar_t *value) noexcept : name(name), value(value) {}

  const wchar_t *name;
  const wchar_t *value;
  CXmlAttribute *next = nullptr;
};

// An element's attributes in insertion order (for writing in document
// order), found by name in constant time on average: a short list is
// searched, a longer one gets a hash index by name. The list has no head
// record, so no attribute, whatever its name and value, ends a walk early.
// The list does not own the records: the element destroys them.
class CXmlAttributeList {
 public:
  CXmlAttributeList() = default;
  CXmlAttributeList(const CXmlAttributeList &) = delete;
  CXmlAttributeList &operator=(const CXmlAttributeList &) = delete;
  ~CXmlAttributeList();

  // The first attribute, or null when there is none.
  CXmlAttribute *GetFirst() const noexcept;
  CXmlAttribute *Find(const std::wstring &name) const;
  CXmlAttribute *Find(const wchar_t *name) const;
  // Links the record at the end and indexes it. False (nothing changes, the
  // caller keeps the record) for null, a record already in a list, or a
  // name already in the list.
  bool Add(CXmlAttribute *attribute);
  // Unlinks the record (it is not destroyed). False for null or a record
  // that is not in this list.
  bool Remove(CXmlAttribute *attribute);

 private:
  friend class CXmlElement;
  struct Index;

  // Up to this many attributes are searched in the list.
  static constexpr size_t kListed = 8;

  CXmlAttribute *Find(const wchar_t *name, size_t length) const;
  // Links a record whose name is not in the list at the end. An index that
  // has to be built or grown goes into `store` when given, else the heap.
  void Append(CXmlAttribute *attribute, CXmlStore *store);
  // Takes every record out of the list; returns the first, the others
  // follow through GetNext.
  CXmlAttribute *TakeAll() noexcept;
  Index *GetIndex() const noexcept { return bits_ & 1 ? reinterpret_cast<Index *>(bits_ & ~uintptr_t{1}) : nullptr; }
  // An empty index with room for `count` records, in `store` when given,
  // else on the heap.
  static Index *NewIndex(size_t count, CXmlStore *store);
  void Reindex(Index *old, size_t count, CXmlStore *store);

  // The first record, or the index (tagged with 1) once there is one.
  uintptr_t bits_ = 0;
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
  // own codes pass through; XML_ERROR_DOCUMENT_ILLEGAL for a missing or
  // wrong end tag, a declaration inside the element, or nesting deeper than
  // kMaxReadDepth.
  // An end tag may hold white space (blank, tab, CR, LF) after the name.
  // What was loaded before the error stays attached. Loading is a loop, and
  // its cost does not depend on the depth.
  void ReadFrom(CXmlReader &reader);

  // The deepest nesting ReadFrom loads, so text from outside cannot make a
  // tree of unbounded depth.
  static constexpr int kMaxReadDepth = 1000;

  CXmlNode *Clone() const override;
  CXmlElement *AsElement() override { return this; }
  void WriteTo(CXmlTextWriter &writer) const override;
  void WriteChildren(CXmlTextWriter &writer) const override;

 private:
  friend class CXmlStore;

  struct Stored {};
  // An element whose name lives in its store.
  CXmlElement(Stored, const wchar_t *name) noexcept : CXmlNode(ELEMENT) { SetStoredValue(name); }

  // Sets an attribute from counted text; in `store` (counting into `made`)
  // when given, else on the heap.
  void PutAttribute(const wchar_t *name, size_t nameLength, const wchar_t *value, size_t valueLength, CXmlStore *store,
                    size_t &made);
  template <class Char>
  class KnownNames;
  // The attributes of the reader's current tag, set on this element (on
  // the heap).
  template <class Char>
  void LoadAttributes(const CXmlReader &reader);
  // ReadFrom's work, for a reader over wide text or over UTF-8.
  template <class Char>
  [[gnu::flatten]] void ReadContent(CXmlReader &reader);
  // Copies of this element's descendants under `copy`, in a new store.
  void CloneChildren(CXmlElement *copy) const;
  // Writes this element (or only its children) in one loop over the tree.
  void WriteTree(CXmlTextWriter &writer, bool childrenOnly) const;

  CXmlAttributeList attributes;
};

// A run of text, written escaped or, with the cdata flag, as a CDATA section.
class CXmlText : public CXmlNode {
 public:
  explicit CXmlText(const wchar_t *text, bool cdata = false);
  explicit CXmlText(const std::wstring &text, bool cdata = false);

  void SetCData(bool on) noexcept {
    if (on)
      nodeFlags |= kCData;
    else
      nodeFlags &= static_cast<uint8_t>(~kCData);
  }

  CXmlNode *Clone() const override;
  CXmlText *AsText() override { return this; }
  void WriteTo(CXmlTextWriter &writer) const override;

 private:
  friend class CXmlStore;
  friend class CXmlElement;

  struct Stored {};
  CXmlText(Stored, bool cdata, const wchar_t *text) noexcept : CXmlNode(TEXT) {
    SetStoredValue(text);
    SetCData(cdata);
  }
  bool CData() const noexcept { return nodeFlags & kCData; }
};

// A comment. Comments are kept in the tree but never written.
class CXmlComment : public CXmlNode {
 public:
  CXmlComment();
  explicit CXmlComment(const std::wstring &content);

  CXmlNode *Clone() const override;
  CXmlComment *AsComment() override { return this; }

 private:
  friend class CXmlStore;
  friend class CXmlElement;

  struct Stored {};
  CXmlComment(Stored, const wchar_t *content) noexcept : CXmlNode(COMMENT) { SetStoredValue(content); }
};

}  // namespace pcutil

// The XML document tree: pcutil::CXmlNode is the base of the tree's nodes
// (elements, text and comments, in utils/xml/xmlelement.h).
//
// Ownership: a node owns its children, and destroying a node destroys its
// whole subtree. AppendChild and PrependChild take ownership of the node they
// are given; RemoveChild and RemoveAllChildren destroy what they remove.
// Clone returns a new tree that nobody owns yet. Destroying a node that is
// still linked takes it out of its parent's list first, so the parent never
// keeps a dangling pointer.
//
// Children form a doubly linked list (constant-time append, prepend and
// removal); the find family walks it comparing values exactly. A tree is used
// by one thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "platform/text/cstring.h"

namespace pcutil {

class CXmlElement;
class CXmlText;
class CXmlComment;
class CXmlTextWriter;

// The root of the node and attribute classes.
class CXmlBase {
 public:
  CXmlBase() = default;
  virtual ~CXmlBase();

  // A word for the caller's own use: zero when constructed, carried over by
  // Clone, never read by the library.
  intptr_t data = 0;
};

class CXmlNode : public CXmlBase {
 public:
  // Node types. 3 is not used; no class of this library has type DOCUMENT.
  enum { DOCUMENT = 0, ELEMENT = 1, COMMENT = 2, TEXT = 4 };

  explicit CXmlNode(int type);
  // Destroys the children (and unlinks this node from its parent).
  ~CXmlNode() override;
  // Nodes are linked by address: no copies; use Clone.
  CXmlNode(const CXmlNode &) = delete;
  CXmlNode &operator=(const CXmlNode &) = delete;

  int Type() const noexcept { return type; }
  CXmlNode *GetParent() const noexcept { return parent; }
  CXmlNode *GetFirstChild() const noexcept { return firstChild; }
  CXmlNode *GetNextSibling() const noexcept { return nextSibling; }

  // The element's name, the text of a text node, the content of a comment.
  const wchar_t *GetValue() const noexcept { return value.c_str(); }
  void SetValue(const wchar_t *text) { value = text ? text : L""; }
  void SetValue(const std::wstring &text) { value = text; }

  // The first node up the parent chain (this one included) that is a
  // document, or null.
  CXmlNode *GetDocument() const;

  // Make `node` the last (first) child and take ownership of it. A node that
  // is still linked is taken out of its old list first. Returns `node`; null
  // (and nothing changes) for a null node, a document node, or a node that
  // is this one or one of its ancestors, which would make the tree a cycle.
  CXmlNode *AppendChild(CXmlNode *node);
  CXmlNode *PrependChild(CXmlNode *node);
  // Unlinks and destroys a child. False, with nothing changed, when `node`
  // is not a child of this node.
  bool RemoveChild(CXmlNode *node);
  void RemoveAllChildren();

  // The first node whose value equals `text` exactly, searching from the
  // first child forwards, the last child backwards, or from this node's
  // previous (next) sibling along the list. Null when none matches.
  CXmlNode *FindFirstChild(const wchar_t *text) const;
  CXmlNode *FindLastChild(const wchar_t *text) const;
  CXmlNode *FindPrevSibling(const wchar_t *text) const;
  CXmlNode *FindNextSibling(const wchar_t *text) const;

  // Sets the target's value and data word to this node's.
  void CopyTo(CXmlNode *target) const;

  // A deep copy without a parent.
  virtual CXmlNode *Clone() const = 0;
  virtual CXmlNode *AsDocument() { return nullptr; }
  virtual CXmlElement *AsElement() { return nullptr; }
  virtual CXmlComment *AsComment() { return nullptr; }
  virtual CXmlText *AsText() { return nullptr; }
  virtual CXmlNode *AsOther() { return nullptr; }
  // Writes this node (its children) through the writer; the base writes
  // nothing.
  virtual void WriteTo(CXmlTextWriter &writer) const;
  virtual void WriteChildren(CXmlTextWriter &writer) const;

  // This node (its children) as XML text, without a declaration.
  CString GetXml() const;
  CString GetInnerXml() const;

 protected:
  std::wstring value;

 private:
  // Takes `node` out of this node's child list; it keeps no links.
  void Unlink(CXmlNode *node) noexcept;
  // The checks AppendChild and PrependChild share; unlinks a linked node.
  bool Adopt(CXmlNode *node);
  // Links an adopted node after `after`, or first when `after` is null.
  void LinkAfter(CXmlNode *node, CXmlNode *after) noexcept;

  CXmlNode *parent = nullptr;
  const int type;
  CXmlNode *firstChild = nullptr;
  CXmlNode *lastChild = nullptr;
  CXmlNode *prevSibling = nullptr;
  CXmlNode *nextSibling = nullptr;
};

}  // namespace pcutil

// The XML document tree: pcutil::CXmlNode is the base of the tree's nodes
// (elements, text and comments, in utils/xml/xmlelement.h).
//
// Ownership: a node owns its children, and destroying a node destroys its
// whole subtree. AppendChild and PrependChild take ownership of the node they
// are given; RemoveChild and RemoveAllChildren destroy what they remove.
// Clone returns a new tree that nobody owns yet. Destroying a node that is
// still linked takes it out of its parent's list first, so the parent never
// keeps a dangling pointer. Nodes are destroyed with `delete` whether the
// caller made them with `new` or the loader or Clone made them; the memory of
// loaded and copied nodes comes from a store (utils/xml/detail/xmlstore.h).
//
// Children form a doubly linked list (constant-time append, prepend and
// removal); the find family walks it comparing values exactly. Every walk
// over a whole subtree (destroying, copying, writing, merging) is a loop, not
// a recursion, so a tree of any depth built by code is safe. A tree is used
// by one thread at a time.
#pragma once

#include <cstdint>
#include <new>
#include <string>

#include "platform/text/cstring.h"
#include "utils/xml/detail/xmlstore.h"

namespace pcutil {

class CXmlElement;
class CXmlText;
class CXmlComment;
class CXmlTextWriter;

// The root of the node and attribute classes.
class CXmlBase {
 public:
  CXmlBase() = default;
  CXmlBase(const CXmlBase &) = delete;
  CXmlBase &operator=(const CXmlBase &) = delete;
  virtual ~CXmlBase();

  // `delete` looks at where the object lives before it destroys it: the
  // heap, or a store that counts its objects. The other forms serve `new`
  // and the stores' placement of objects (and a constructor that throws).
  static void operator delete(CXmlBase *object, std::destroying_delete_t);
  static void *operator new(size_t size);
  static void *operator new(size_t, void *memory) noexcept { return memory; }
  static void operator delete(void *memory) noexcept;
  static void operator delete(void *, void *) noexcept {}

  // A word for the caller's own use: zero when constructed, carried over by
  // Clone, never read by the library.
  intptr_t data = 0;

 protected:
  enum : uint8_t {
    kInStore = 1,    // the object was made in a store
    kOwnsValue = 2,  // the value string is the object's own (heap)
    kOwnsName = 4,   // the name string is the object's own (attributes)
    kLinked = 8,     // the attribute is in a list
  };
  bool InStore() const noexcept { return storeFlags_ & kInStore; }
  // Tells the object's store (if any) that the object changed.
  void MarkChanged() const noexcept {
    if (InStore()) CXmlStore::Of(this)->MarkDirty();
  }
  // Replaces a counted string held in `slot`, freeing the old one when
  // `owned` (a bit of storeFlags_) says it was the object's own.
  void SetOwned(const wchar_t *&slot, uint8_t owned, const wchar_t *text, size_t length);
  void SetStored(const wchar_t *&slot, uint8_t owned, const wchar_t *stored) noexcept {
    FreeOwned(slot, owned);
    slot = stored;
    storeFlags_ &= static_cast<uint8_t>(~owned);
  }
  void FreeOwned(const wchar_t *slot, uint8_t owned) noexcept {
    if (storeFlags_ & owned) xmlstr::FreeOwned(slot);
  }
  // Destroys an object that is in no list or tree any more; the release of
  // store objects is gathered in `released`.
  static void Destroy(CXmlBase *object, CXmlStoreRelease &released) noexcept;

  // Where the object lives. Declared last and small, so the derived
  // classes' first fields share their word.
 private:
  friend class CXmlStore;
  uint32_t storeOffset_ = 0;  // offset in the store block (kInStore)

 protected:
  uint8_t storeFlags_ = 0;
};

inline void CXmlStore::Adopt(CXmlBase *object, uint32_t offset) noexcept {
  object->storeOffset_ = offset;
  object->storeFlags_ |= CXmlBase::kInStore;
}

class CXmlNode : public CXmlBase {
 public:
  // Node types. 3 is not used; no class of this library has type DOCUMENT.
  enum { DOCUMENT = 0, ELEMENT = 1, COMMENT = 2, TEXT = 4 };

  explicit CXmlNode(int type) noexcept : type(static_cast<uint8_t>(type)), value(xmlstr::Empty()) {}
  // Destroys the children (and unlinks this node from its parent).
  ~CXmlNode() override;

  int Type() const noexcept { return type; }
  CXmlNode *GetParent() const noexcept { return parent; }
  CXmlNode *GetFirstChild() const noexcept { return firstChild; }
  CXmlNode *GetNextSibling() const noexcept { return nextSibling; }

  // The element's name, the text of a text node, the content of a comment.
  const wchar_t *GetValue() const noexcept { return value; }
  void SetValue(const wchar_t *text);
  void SetValue(const std::wstring &text);

  // The first node up the parent chain (this one included) that is a
  // document, or null.
  CXmlNode *GetDocument() const;

  // Make `node` the last (first) child and take ownership of it. A node that
  // is still linked is taken out of its old list first. Returns `node`; null
  // (and nothing changes) for a null node, a document node, or a node that
  // is this one or one of its ancestors, which would make the tree a cycle.
  // Only a node with children can be an ancestor, so only then are this
  // node's ancestors walked: appending a childless node takes constant time.
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
  enum : uint8_t { kCData = 1 };  // nodeFlags: a text node written as CDATA

  size_t ValueLength() const noexcept { return xmlstr::Length(value); }
  // A value that lives in the node's store (loader and Clone).
  void SetStoredValue(const wchar_t *stored) noexcept { SetStored(value, kOwnsValue, stored); }
  // The previous sibling, or null for the first child.
  CXmlNode *PrevSibling() const noexcept { return parent && parent->firstChild != this ? prevSibling : nullptr; }
  CXmlNode *LastChild() const noexcept { return firstChild ? firstChild->prevSibling : nullptr; }
  // Links a node that is in no list as the last child (loader and Clone).
  void LinkLast(CXmlNode *node) noexcept {
    node->parent = this;
    node->nextSibling = nullptr;
    if (!firstChild) {
      firstChild = node;
    } else {
      CXmlNode *tail = firstChild->prevSibling;
      tail->nextSibling = node;
      node->prevSibling = tail;
    }
    firstChild->prevSibling = node;
  }

  uint8_t nodeFlags = 0;

 private:
  friend class CXmlStore;

  // Takes `node` out of this node's child list; it keeps no links.
  void Unlink(CXmlNode *node) noexcept;
  // Takes the run of children from `first` to `last` out of the list.
  void UnlinkRun(CXmlNode *first, CXmlNode *last) noexcept;
  // The checks AppendChild and PrependChild share; unlinks a linked node.
  bool Adopt(CXmlNode *node);
  // Links an adopted node after `after`, or first when `after` is null.
  void LinkAfter(CXmlNode *node, CXmlNode *after) noexcept;
  // Destroys every child, deepest first, in one loop.
  void DestroyChildren() noexcept;
  // Frees the clean stores this node anchors, with the runs of children
  // they hold, without visiting their nodes.
  void FreeCleanRuns() noexcept;

  const uint8_t type;
  CXmlNode *parent = nullptr;
  CXmlNode *firstChild = nullptr;
  // The previous sibling; the first child's is the last child.
  CXmlNode *prevSibling = nullptr;
  CXmlNode *nextSibling = nullptr;
  const wchar_t *value;
};

}  // namespace pcutil

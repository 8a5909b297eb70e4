#include "utils/xml/xmlnode.h"

#include <cwchar>

#include "platform/text/debug.h"
#include "utils/xml/xmlwriter.h"

namespace pcutil {

// --- CXmlBase ------------------------------------------------------------------

CXmlBase::~CXmlBase() = default;

void *CXmlBase::operator new(size_t size) { return ::operator new(size); }

void CXmlBase::operator delete(void *memory) noexcept { ::operator delete(memory); }

void CXmlBase::operator delete(CXmlBase *object, std::destroying_delete_t) {
  if (!object->InStore()) {
    object->~CXmlBase();
    ::operator delete(object);
    return;
  }
  // Destroyed on its own: its store can no longer be freed in bulk, and
  // gets its memory back when its last object is gone.
  CXmlStore *store = CXmlStore::Of(object);
  store->MarkDirty();
  object->~CXmlBase();
  store->Release(1);
}

void CXmlBase::Destroy(CXmlBase *object, CXmlStoreRelease &released) noexcept {
  if (!object->InStore()) {
    delete object;
    return;
  }
  CXmlStore *store = CXmlStore::Of(object);
  store->MarkDirty();
  object->~CXmlBase();
  released.Add(store);
}

void CXmlBase::SetOwned(const wchar_t *&slot, uint8_t owned, const wchar_t *text, size_t length) {
  MarkChanged();
  const wchar_t *fresh = length ? xmlstr::NewOwned(text, length) : xmlstr::Empty();
  FreeOwned(slot, owned);
  slot = fresh;
  if (length)
    storeFlags_ |= owned;
  else
    storeFlags_ &= static_cast<uint8_t>(~owned);
}

// --- CXmlNode: life ------------------------------------------------------------------

CXmlNode::~CXmlNode() {
  DestroyChildren();
  if (parent) parent->Unlink(this);
  FreeOwned(value, kOwnsValue);
}

void CXmlNode::FreeCleanRuns() noexcept {
  // Only a node outside any store anchors one (see xmlstore.h).
  if (InStore()) return;
  for (CXmlNode *child = firstChild; child;) {
    CXmlStore *store = child->InStore() ? CXmlStore::Of(child) : nullptr;
    if (store && store->Clean() && store->anchor == this && store->firstTop == child) {
      CXmlNode *after = store->lastTop->nextSibling;
      UnlinkRun(child, store->lastTop);
      store->FreeAll();
      child = after;
    } else {
      child = child->nextSibling;
    }
  }
}

void CXmlNode::DestroyChildren() noexcept {
  FreeCleanRuns();
  // Always destroy a leaf: go down first children to one, destroy it, and
  // go on with its parent's next first child, or the parent itself once it
  // has none left.
  CXmlStoreRelease released;
  CXmlNode *node = firstChild;
  while (node) {
    for (;;) {
      node->FreeCleanRuns();
      if (!node->firstChild) break;
      node = node->firstChild;
    }
    CXmlNode *up = node->parent;
    up->Unlink(node);
    Destroy(node, released);
    node = up->firstChild ? up->firstChild : (up == this ? nullptr : up);
  }
}

void CXmlNode::RemoveAllChildren() { DestroyChildren(); }

bool CXmlNode::RemoveChild(CXmlNode *node) {
  if (!node || node->parent != this) {
    ASSERT(node && node->parent == this);
    return false;
  }
  Unlink(node);
  delete node;
  return true;
}

// --- CXmlNode: links -------------------------------------------------------------------

CXmlNode *CXmlNode::GetDocument() const {
  for (const CXmlNode *node = this; node; node = node->parent) {
    if (CXmlNode *document = const_cast<CXmlNode *>(node)->AsDocument()) return document;
  }
  return nullptr;
}

void CXmlNode::UnlinkRun(CXmlNode *first, CXmlNode *last) noexcept {
  CXmlNode *const tail = LastChild();
  CXmlNode *const before = first == firstChild ? nullptr : first->prevSibling;
  CXmlNode *const after = last->nextSibling;
  if (before)
    before->nextSibling = after;
  else
    firstChild = after;
  if (after)
    after->prevSibling = before ? before : tail;
  else if (firstChild)
    firstChild->prevSibling = before;
}

void CXmlNode::Unlink(CXmlNode *node) noexcept {
  UnlinkRun(node, node);
  node->parent = node->prevSibling = node->nextSibling = nullptr;
}

bool CXmlNode::Adopt(CXmlNode *node) {
  if (!node) return false;
  ASSERT(node->parent == 0 || node->parent == this);
  ASSERT(node->Type() != CXmlNode::DOCUMENT);
  if (node->GetDocument() != 0) {
    ASSERT(node->GetDocument() == 0 || node->GetDocument() == this->GetDocument());
  }
  if (node->Type() == DOCUMENT) return false;
  // Only this node, or one of its ancestors, would close a cycle, and an
  // ancestor has children.
  bool cycle = node == this;
  for (const CXmlNode *up = parent; up && node->firstChild && !cycle; up = up->parent) cycle = up == node;
  if (cycle) {
    ASSERT(!"a node cannot become a child of itself or of its descendant");
    return false;
  }
  MarkChanged();
  node->MarkChanged();
  if (node->parent) node->parent->Unlink(node);
  node->parent = this;
  return true;
}

void CXmlNode::LinkAfter(CXmlNode *node, CXmlNode *after) noexcept {
  if (!after) {
    node->nextSibling = firstChild;
    node->prevSibling = firstChild ? firstChild->prevSibling : node;
    if (firstChild) firstChild->prevSibling = node;
    firstChild = node;
    return;
  }
  node->prevSibling = after;
  node->nextSibling = after->nextSibling;
  after->nextSibling = node;
  (node->nextSibling ? node->nextSibling : firstChild)->prevSibling = node;
}

CXmlNode *CXmlNode::AppendChild(CXmlNode *node) {
  if (!Adopt(node)) return nullptr;
  LinkAfter(node, LastChild());
  return node;
}

CXmlNode *CXmlNode::PrependChild(CXmlNode *node) {
  if (!Adopt(node)) return nullptr;
  LinkAfter(node, nullptr);
  return node;
}

// --- CXmlNode: values and searches ---------------------------------------------------------

void CXmlNode::SetValue(const wchar_t *text) { SetOwned(value, kOwnsValue, text, text ? wcslen(text) : 0); }

void CXmlNode::SetValue(const std::wstring &text) { SetOwned(value, kOwnsValue, text.data(), text.size()); }

CXmlNode *CXmlNode::FindFirstChild(const wchar_t *text) const {
  if (!text) return nullptr;
  for (CXmlNode *node = firstChild; node; node = node->nextSibling)
    if (std::wcscmp(node->value, text) == 0) return node;
  return nullptr;
}

CXmlNode *CXmlNode::FindLastChild(const wchar_t *text) const {
  if (!text) return nullptr;
  for (CXmlNode *node = LastChild(); node; node = node->PrevSibling())
    if (std::wcscmp(node->value, text) == 0) return node;
  return nullptr;
}

CXmlNode *CXmlNode::FindPrevSibling(const wchar_t *text) const {
  if (!text) return nullptr;
  for (CXmlNode *node = PrevSibling(); node; node = node->PrevSibling())
    if (std::wcscmp(node->value, text) == 0) return node;
  return nullptr;
}

CXmlNode *CXmlNode::FindNextSibling(const wchar_t *text) const {
  if (!text) return nullptr;
  for (CXmlNode *node = nextSibling; node; node = node->nextSibling)
    if (std::wcscmp(node->value, text) == 0) return node;
  return nullptr;
}

void CXmlNode::CopyTo(CXmlNode *target) const {
  if (!target || target == this) return;
  target->SetOwned(target->value, kOwnsValue, value, ValueLength());
  target->data = data;
}

// --- CXmlNode: writing ---------------------------------------------------------------------

void CXmlNode::WriteTo(CXmlTextWriter &) const {}

void CXmlNode::WriteChildren(CXmlTextWriter &) const {}

CString CXmlNode::GetXml() const {
  std::wstring xml;
  CXmlTextWriter writer(xml);
  WriteTo(writer);
  return CString(std::move(xml));
}

CString CXmlNode::GetInnerXml() const {
  std::wstring xml;
  CXmlTextWriter writer(xml);
  WriteChildren(writer);
  return CString(std::move(xml));
}

}  // namespace pcutil

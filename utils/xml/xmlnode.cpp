#include "utils/xml/xmlnode.h"

#include <cwchar>

#include "platform/text/debug.h"
#include "utils/xml/xmlwriter.h"

namespace pcutil {

CXmlBase::~CXmlBase() = default;

CXmlNode::CXmlNode(int type) : type(type) {}

CXmlNode::~CXmlNode() {
  RemoveAllChildren();
  if (parent) parent->Unlink(this);
}

CXmlNode *CXmlNode::GetDocument() const {
  for (const CXmlNode *node = this; node; node = node->parent) {
    if (CXmlNode *document = const_cast<CXmlNode *>(node)->AsDocument()) return document;
  }
  return nullptr;
}

void CXmlNode::Unlink(CXmlNode *node) noexcept {
  if (node->prevSibling)
    node->prevSibling->nextSibling = node->nextSibling;
  else
    firstChild = node->nextSibling;
  if (node->nextSibling)
    node->nextSibling->prevSibling = node->prevSibling;
  else
    lastChild = node->prevSibling;
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
  for (const CXmlNode *up = this; up; up = up->parent) {
    if (up == node) {
      ASSERT(!"a node cannot become a child of itself or of its descendant");
      return false;
    }
  }
  if (node->parent) node->parent->Unlink(node);
  node->parent = this;
  return true;
}

void CXmlNode::LinkAfter(CXmlNode *node, CXmlNode *after) noexcept {
  node->prevSibling = after;
  node->nextSibling = after ? after->nextSibling : firstChild;
  (node->prevSibling ? node->prevSibling->nextSibling : firstChild) = node;
  (node->nextSibling ? node->nextSibling->prevSibling : lastChild) = node;
}

CXmlNode *CXmlNode::AppendChild(CXmlNode *node) {
  if (!Adopt(node)) return nullptr;
  LinkAfter(node, lastChild);
  return node;
}

CXmlNode *CXmlNode::PrependChild(CXmlNode *node) {
  if (!Adopt(node)) return nullptr;
  LinkAfter(node, nullptr);
  return node;
}

bool CXmlNode::RemoveChild(CXmlNode *node) {
  if (!node || node->parent != this) {
    ASSERT(node && node->parent == this);
    return false;
  }
  Unlink(node);
  delete node;
  return true;
}

void CXmlNode::RemoveAllChildren() {
  while (CXmlNode *child = firstChild) {
    Unlink(child);
    delete child;
  }
}

namespace {

// Walks from `start` along `step` to the first node whose value is `text`.
CXmlNode *FindAlong(CXmlNode *start, CXmlNode *(*step)(CXmlNode *), const wchar_t *text) {
  if (!text) return nullptr;
  for (CXmlNode *node = start; node; node = step(node)) {
    if (std::wcscmp(node->GetValue(), text) == 0) return node;
  }
  return nullptr;
}

}  // namespace

CXmlNode *CXmlNode::FindFirstChild(const wchar_t *text) const {
  return FindAlong(
      firstChild, [](CXmlNode *n) { return n->nextSibling; }, text);
}

CXmlNode *CXmlNode::FindLastChild(const wchar_t *text) const {
  return FindAlong(
      lastChild, [](CXmlNode *n) { return n->prevSibling; }, text);
}

CXmlNode *CXmlNode::FindPrevSibling(const wchar_t *text) const {
  return FindAlong(
      prevSibling, [](CXmlNode *n) { return n->prevSibling; }, text);
}

CXmlNode *CXmlNode::FindNextSibling(const wchar_t *text) const {
  return FindAlong(
      nextSibling, [](CXmlNode *n) { return n->nextSibling; }, text);
}

void CXmlNode::CopyTo(CXmlNode *target) const {
  if (!target) return;
  target->value = value;
  target->data = data;
}

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

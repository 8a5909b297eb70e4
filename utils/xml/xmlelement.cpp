#include "utils/xml/xmlelement.h"

#include <memory>

#include "platform/text/debug.h"
#include "platform/text/numeric.h"
#include "utils/xml/xmlreader.h"
#include "utils/xml/xmlwriter.h"

namespace pcutil {

// --- CXmlAttribute ---------------------------------------------------------

CXmlAttribute::CXmlAttribute(const wchar_t *name, const wchar_t *value)
    : name(name ? name : L""), value(value ? value : L"") {}

CXmlAttribute *CXmlAttribute::GetNext() const noexcept { return next && !next->isHead ? next : nullptr; }

// --- CXmlAttributeList -----------------------------------------------------

CXmlAttributeList::CXmlAttributeList() {
  head.isHead = true;
  head.prev = head.next = &head;
}

CXmlAttribute *CXmlAttributeList::GetFirst() const noexcept { return head.next != &head ? head.next : nullptr; }

CXmlAttribute *CXmlAttributeList::Find(const std::wstring &name) const {
  auto found = index.find(name);
  return found != index.end() ? found->second : nullptr;
}

CXmlAttribute *CXmlAttributeList::Find(const wchar_t *name) const { return name ? Find(std::wstring(name)) : nullptr; }

bool CXmlAttributeList::Add(CXmlAttribute *attribute) {
  if (!attribute || attribute->prev || !index.emplace(attribute->name, attribute).second) return false;
  attribute->prev = head.prev;
  attribute->next = &head;
  head.prev->next = attribute;
  head.prev = attribute;
  return true;
}

bool CXmlAttributeList::Remove(CXmlAttribute *attribute) {
  if (!attribute || Find(attribute->name) != attribute) return false;
  index.erase(attribute->name);
  attribute->prev->next = attribute->next;
  attribute->next->prev = attribute->prev;
  attribute->prev = attribute->next = nullptr;
  return true;
}

// --- CXmlElement -----------------------------------------------------------

CXmlElement::CXmlElement(const wchar_t *name) : CXmlNode(ELEMENT) { SetValue(name); }

CXmlElement::CXmlElement(const std::wstring &name) : CXmlNode(ELEMENT) { SetValue(name); }

CXmlElement::~CXmlElement() {
  RemoveAllChildren();
  while (CXmlAttribute *attribute = attributes.GetFirst()) {
    attributes.Remove(attribute);
    delete attribute;
  }
}

void CXmlElement::SetAttribute(const wchar_t *name, const wchar_t *value) {
  ASSERT(name);
  if (!name) return;
  if (CXmlAttribute *existing = attributes.Find(name)) {
    existing->SetValue(value ? value : L"");
    return;
  }
  auto *attribute = new CXmlAttribute(name, value);
  if (!attributes.Add(attribute)) delete attribute;
}

const wchar_t *CXmlElement::GetAttribute(const wchar_t *name) const {
  const CXmlAttribute *attribute = attributes.Find(name);
  return attribute ? attribute->GetValue() : nullptr;
}

BOOL CXmlElement::GetAttribute(const wchar_t *name, CString &value) const {
  const wchar_t *text = GetAttribute(name);
  if (!text) return FALSE;
  value = text;
  return TRUE;
}

BOOL CXmlElement::GetAttribute(const wchar_t *name, int &value) const {
  const wchar_t *text = GetAttribute(name);
  if (!text) return FALSE;
  value = win_wcstol(text, nullptr, 10);
  return TRUE;
}

BOOL CXmlElement::GetAttribute(const wchar_t *name, long &value) const {
  const wchar_t *text = GetAttribute(name);
  if (!text) return FALSE;
  value = win_wcstol(text, nullptr, 10);
  return TRUE;
}

void CXmlElement::RemoveAttribute(const wchar_t *name) {
  CXmlAttribute *attribute = attributes.Find(name);
  if (attribute && attributes.Remove(attribute)) delete attribute;
}

const wchar_t *CXmlElement::GetText() const {
  CXmlNode *first = GetFirstChild();
  return first && first->Type() == TEXT ? first->GetValue() : nullptr;
}

void CXmlElement::SetText(const wchar_t *text, bool cdata) {
  CXmlNode *first = GetFirstChild();
  if (!first) {
    AppendChild(new CXmlText(text, cdata));
    return;
  }
  ASSERT(first->Type() == TEXT);
  if (CXmlText *node = first->AsText()) {
    node->SetValue(text);
    node->SetCData(cdata);
  } else {
    PrependChild(new CXmlText(text, cdata));
  }
}

void CXmlElement::ReadFrom(CXmlReader &reader) { ReadContent(reader, 1); }

void CXmlElement::ReadContent(CXmlReader &reader, int depth) {
  if (depth > kMaxReadDepth) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
  std::wstring name, text;
  for (int i = 0, count = reader.GetAttributeCount(); i < count; ++i) {
    name.clear();
    text.clear();
    reader.GetAttribute(i, name, text);
    SetAttribute(name.c_str(), text.c_str());
  }
  if (reader.GetNodeType() != XML_NODE_START_ELEMENT) return;

  for (;;) {
    if (!reader.Read()) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
    switch (reader.GetNodeType()) {
      case XML_NODE_END_ELEMENT:
        if (reader.GetValue() == value) return;
        throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
      case XML_NODE_COMMENT:
        AppendChild(new CXmlComment(reader.GetValue()));
        break;
      case XML_NODE_START_ELEMENT:
      case XML_NODE_EMPTY_ELEMENT: {
        auto *child = new CXmlElement(reader.GetValue());
        AppendChild(child);
        child->ReadContent(reader, depth + 1);
        break;
      }
      case XML_NODE_TEXT:
        AppendChild(new CXmlText(reader.GetValue(), false));
        break;
      case XML_NODE_CDATA:
        AppendChild(new CXmlText(reader.GetValue(), true));
        break;
      default:  // a declaration, or anything unknown
        throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
    }
  }
}

CXmlNode *CXmlElement::Clone() const {
  auto copy = std::make_unique<CXmlElement>(value);
  CopyTo(copy.get());
  for (const CXmlAttribute *a = GetFirstAttribute(); a; a = a->GetNext())
    copy->SetAttribute(a->GetName(), a->GetValue());
  for (const CXmlNode *child = GetFirstChild(); child; child = child->GetNextSibling())
    copy->AppendChild(child->Clone());
  return copy.release();
}

void CXmlElement::WriteTo(CXmlTextWriter &writer) const {
  writer.WriteStartElement(value);
  for (const CXmlAttribute *a = GetFirstAttribute(); a; a = a->GetNext())
    writer.WriteAttributeString(a->GetName(), a->GetValue());
  WriteChildren(writer);
  writer.WriteEndElement();
}

void CXmlElement::WriteChildren(CXmlTextWriter &writer) const {
  for (const CXmlNode *child = GetFirstChild(); child; child = child->GetNextSibling()) child->WriteTo(writer);
}

// --- CXmlText ----------------------------------------------------------------

CXmlText::CXmlText(const wchar_t *text, bool cdata) : CXmlNode(TEXT), cdata(cdata) { SetValue(text); }

CXmlText::CXmlText(const std::wstring &text, bool cdata) : CXmlNode(TEXT), cdata(cdata) { SetValue(text); }

CXmlNode *CXmlText::Clone() const {
  auto *copy = new CXmlText(value, cdata);
  CopyTo(copy);
  return copy;
}

void CXmlText::WriteTo(CXmlTextWriter &writer) const {
  if (cdata)
    writer.WriteCData(value);
  else
    writer.WriteString(value);
}

// --- CXmlComment -------------------------------------------------------------

CXmlComment::CXmlComment() : CXmlNode(COMMENT) {}

CXmlComment::CXmlComment(const std::wstring &content) : CXmlNode(COMMENT) { SetValue(content); }

CXmlNode *CXmlComment::Clone() const {
  auto *copy = new CXmlComment();
  CopyTo(copy);
  return copy;
}

}  // namespace pcutil

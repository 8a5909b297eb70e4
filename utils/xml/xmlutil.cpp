#include "utils/xml/xmlutil.h"

#include <memory>
#include <vector>

#include "platform/text/numeric.h"

namespace pcutil {

namespace {

// True when one of the nodes is the other or lies in its subtree.
bool Overlap(const CXmlNode *a, const CXmlNode *b) {
  for (const CXmlNode *up = a; up; up = up->GetParent())
    if (up == b) return true;
  for (const CXmlNode *up = b; up; up = up->GetParent())
    if (up == a) return true;
  return false;
}

CXmlElement *ElementOf(const CXmlNode *node) { return const_cast<CXmlNode *>(node)->AsElement(); }

void CopyAttributes(CXmlElement *destination, const CXmlElement *source) {
  for (const CXmlAttribute *a = source->GetFirstAttribute(); a; a = a->GetNext())
    destination->SetAttribute(a->GetName(), a->GetValue());
}

// Puts a clone of `source` where `destination` stands. Without a parent to
// hold the clone, the destination takes the source's value, data word,
// attributes and (cloned) children in place. The two do not overlap.
void Replace(CXmlNode *destination, const CXmlNode *source) {
  if (CXmlNode *parent = destination->GetParent()) {
    std::unique_ptr<CXmlNode> copy(source->Clone());
    parent->RemoveChild(destination);
    parent->AppendChild(copy.release());
    return;
  }
  destination->RemoveAllChildren();
  source->CopyTo(destination);
  if (CXmlElement *element = destination->AsElement()) {
    while (CXmlAttribute *a = element->GetFirstAttribute()) element->RemoveAttribute(a->GetName());
    if (const CXmlElement *from = ElementOf(source)) CopyAttributes(element, from);
  }
  for (const CXmlNode *child = source->GetFirstChild(); child; child = child->GetNextSibling())
    destination->AppendChild(child->Clone());
}

// One loop over the source with a stack of the elements being merged, so a
// tree of any depth merges without recursion.
void Merge(CXmlNode *destination, const CXmlNode *source) {
  struct Level {
    CXmlNode *d;
    const CXmlNode *s;
    const CXmlNode *next;  // the next child of s to merge
  };
  std::vector<Level> levels;
  auto enter = [&levels](CXmlNode *d, const CXmlNode *s) {
    CXmlElement *to = d->AsElement();
    const CXmlElement *from = ElementOf(s);
    if (to && from) CopyAttributes(to, from);
    levels.push_back({d, s, s->GetFirstChild()});
  };
  enter(destination, source);
  while (!levels.empty()) {
    Level &level = levels.back();
    const CXmlNode *c = level.next;
    if (!c) {
      levels.pop_back();
      continue;
    }
    level.next = c->GetNextSibling();
    CXmlNode *d = level.d;
    if (c->Type() == CXmlNode::TEXT) {
      d->RemoveAllChildren();
      d->AppendChild(c->Clone());
      continue;
    }
    if (c->Type() != CXmlNode::ELEMENT) continue;
    CXmlNode *f = d->FindFirstChild(c->GetValue());
    if (!f) {
      d->AppendChild(c->Clone());
    } else if (f->FindNextSibling(c->GetValue())) {
      // The name is not unique among d's children: d is replaced as a whole
      // and its merge ends (d no longer exists when it has a parent).
      const CXmlNode *s = level.s;
      levels.pop_back();
      Replace(d, s);
    } else if (f->AsElement()) {
      enter(f, c);  // `level` is not used after this
    } else {
      d->RemoveAllChildren();
      d->AppendChild(c->Clone());
    }
  }
}

template <class Convert>
bool ReadFirstText(CXmlNode *node, Convert convert) {
  if (!node) return false;
  try {
    CXmlNode *first = node->GetFirstChild();
    if (first && first->Type() == CXmlNode::TEXT) convert(first->GetValue());
    return true;
  } catch (...) {
    return false;
  }
}

bool TextToInt(const CString &text, int &value, int base, bool strict) {
  try {
    value = win_wcstol(text, nullptr, base);
    if (value != 0) return true;
    for (wchar_t ch : text.str()) {
      if (ch == L'0') continue;
      if (strict || static_cast<unsigned>(ch) > 0x20) return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

void MergeXmlNode(CXmlNode *destination, CXmlNode *source) {
  if (!destination || !source) return;
  try {
    // Merging a tree into itself (or into a part of itself) would destroy
    // source nodes while they are walked: merge from a copy instead.
    std::unique_ptr<CXmlNode> copy;
    if (Overlap(destination, source)) copy.reset(source->Clone());
    Merge(destination, copy ? copy.get() : source);
  } catch (...) {
  }
}

bool GetXmlNodeValue(CXmlNode *node, CString &value) {
  return ReadFirstText(node, [&](const wchar_t *text) { value = text; });
}

bool GetXmlNodeValue(CXmlNode *node, bool &value) {
  return ReadFirstText(node, [&](const wchar_t *text) {
    CString lower(text);
    lower.MakeLower();
    value = lower == L"true";
  });
}

bool GetXmlNodeValue(CXmlNode *node, int &value, int base) {
  return ReadFirstText(node, [&](const wchar_t *text) { value = win_wcstol(text, nullptr, base); });
}

bool GetXmlNodeValue(CXmlNode *node, DWORD &value, int base) {
  return ReadFirstText(node, [&](const wchar_t *text) { value = static_cast<DWORD>(win_wcstol(text, nullptr, base)); });
}

bool GetXmlNodeValue(CXmlNode *node, long &value, int base) {
  return ReadFirstText(node, [&](const wchar_t *text) { value = win_wcstol(text, nullptr, base); });
}

bool GetXmlNodeValue(CXmlNode *node, long long &value, int base) {
  return ReadFirstText(node, [&](const wchar_t *text) { value = win_wcstol(text, nullptr, base); });
}

bool XmlTextToInt(const CString &text, int &value, int base) { return TextToInt(text, value, base, false); }

bool XmlTextToIntStrict(const CString &text, int &value, int base) { return TextToInt(text, value, base, true); }

}  // namespace pcutil

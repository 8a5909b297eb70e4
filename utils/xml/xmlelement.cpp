#include "utils/xml/xmlelement.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <memory>
#include <typeinfo>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text/debug.h"
#include "platform/text/numeric.h"
#include "utils/xml/detail/xmlreader_inline.h"
#include "utils/xml/xmlreader.h"
#include "utils/xml/xmlwriter.h"

namespace pcutil {

// --- CXmlAttribute ---------------------------------------------------------

CXmlAttribute::CXmlAttribute() : name(xmlstr::Empty()), value(xmlstr::Empty()) {}

CXmlAttribute::CXmlAttribute(const wchar_t *name, const wchar_t *value) : CXmlAttribute() {
  SetOwned(this->name, kOwnsName, name, name ? wcslen(name) : 0);
  SetOwned(this->value, kOwnsValue, value, value ? wcslen(value) : 0);
}

CXmlAttribute::~CXmlAttribute() {
  FreeOwned(name, kOwnsName);
  FreeOwned(value, kOwnsValue);
}

void CXmlAttribute::SetValue(const std::wstring &text) { SetOwned(value, kOwnsValue, text.data(), text.size()); }

// --- CXmlAttributeList -----------------------------------------------------
//
// Beyond kListed records the list keeps an index: the ends of the list, the
// count and an open-addressing table of the records by name (linear
// probing, at most half full). The index of a list being loaded or copied
// lives in the store of its element, so it needs no destructor; one built
// or grown later is on the heap and owned.

struct CXmlAttributeList::Index {
  CXmlAttribute *first;
  CXmlAttribute *last;
  size_t count;
  size_t mask;
  bool owned;
  CXmlAttribute **Slots() noexcept { return reinterpret_cast<CXmlAttribute **>(this + 1); }

  static size_t Bytes(size_t slots) { return sizeof(Index) + slots * sizeof(CXmlAttribute *); }
  size_t Home(const wchar_t *name, size_t length) const noexcept { return xmlstr::Hash(name, length) & mask; }
  // The slot of `name`, or the empty slot where it belongs.
  size_t Slot(const wchar_t *name, size_t length) noexcept {
    return SlotByHash(name, length, xmlstr::Hash(name, length));
  }
  // The same where the name's xmlstr::Hash is known.
  size_t SlotByHash(const wchar_t *name, size_t length, size_t hash) noexcept {
    size_t i = hash & mask;
    while (Slots()[i] && Slots()[i]->name != name && !xmlstr::Equals(Slots()[i]->name, name, length))
      i = (i + 1) & mask;
    return i;
  }
  void Insert(CXmlAttribute *a) noexcept { Slots()[Slot(a->name, xmlstr::Length(a->name))] = a; }
  // Empties slot `i` and moves later records of the probe run back into
  // the gap, so every record stays reachable from its home slot.
  void Erase(size_t i) noexcept {
    CXmlAttribute **slots = Slots();
    slots[i] = nullptr;
    for (size_t j = (i + 1) & mask; slots[j]; j = (j + 1) & mask) {
      const size_t home = Home(slots[j]->name, xmlstr::Length(slots[j]->name));
      // Move the record when its home does not lie in the run (i, j].
      if (((j - home) & mask) >= ((j - i) & mask)) {
        slots[i] = slots[j];
        slots[j] = nullptr;
        i = j;
      }
    }
  }
};

CXmlAttributeList::~CXmlAttributeList() {
  Index *index = GetIndex();
  if (index && index->owned) ::operator delete(index);
}

CXmlAttribute *CXmlAttributeList::GetFirst() const noexcept {
  if (Index *index = GetIndex()) return index->first;
  return reinterpret_cast<CXmlAttribute *>(bits_);
}

CXmlAttribute *CXmlAttributeList::Find(const wchar_t *name, size_t length) const {
  if (Index *index = GetIndex()) return index->Slots()[index->Slot(name, length)];
  for (CXmlAttribute *a = GetFirst(); a; a = a->next)
    if (xmlstr::Equals(a->name, name, length)) return a;
  return nullptr;
}

CXmlAttribute *CXmlAttributeList::Find(const std::wstring &name) const { return Find(name.data(), name.size()); }

CXmlAttribute *CXmlAttributeList::Find(const wchar_t *name) const { return name ? Find(name, wcslen(name)) : nullptr; }

CXmlAttributeList::Index *CXmlAttributeList::NewIndex(size_t count, CXmlStore *store) {
  size_t slots = 32;
  while (slots < count * 2) slots *= 2;
  const size_t bytes = Index::Bytes(slots);
  auto *index = static_cast<Index *>(store ? store->Allocate(bytes) : ::operator new(bytes));
  std::memset(static_cast<void *>(index), 0, bytes);
  index->mask = slots - 1;
  index->owned = store == nullptr;
  return index;
}

void CXmlAttributeList::Reindex(Index *old, size_t count, CXmlStore *store) {
  Index *index = NewIndex(count, store);
  index->first = GetFirst();
  index->last = old ? old->last : nullptr;
  for (CXmlAttribute *a = index->first; a; a = a->next) {
    index->Insert(a);
    index->last = a;
    ++index->count;
  }
  if (old && old->owned) ::operator delete(old);
  bits_ = reinterpret_cast<uintptr_t>(index) | 1;
}

void CXmlAttributeList::Append(CXmlAttribute *attribute, CXmlStore *store) {
  attribute->next = nullptr;
  attribute->storeFlags_ |= CXmlAttribute::kLinked;
  Index *index = GetIndex();
  if (!index) {
    size_t count = 1;
    CXmlAttribute *last = reinterpret_cast<CXmlAttribute *>(bits_);
    if (!last) {
      bits_ = reinterpret_cast<uintptr_t>(attribute);
      return;
    }
    for (; last->next; last = last->next) ++count;
    last->next = attribute;
    if (count + 1 > kListed) Reindex(nullptr, count + 1, store);
    return;
  }
  index->last->next = attribute;
  index->last = attribute;
  ++index->count;
  if (index->count * 2 > index->mask + 1) {
    Reindex(index, index->count, store);
  } else {
    index->Insert(attribute);
  }
}

bool CXmlAttributeList::Add(CXmlAttribute *attribute) {
  if (!attribute || (attribute->storeFlags_ & CXmlAttribute::kLinked) ||
      Find(attribute->name, xmlstr::Length(attribute->name)))
    return false;
  Append(attribute, nullptr);
  return true;
}

bool CXmlAttributeList::Remove(CXmlAttribute *attribute) {
  if (!attribute || Find(attribute->name, xmlstr::Length(attribute->name)) != attribute) return false;
  CXmlAttribute *before = nullptr;
  for (CXmlAttribute *a = GetFirst(); a != attribute; a = a->next) before = a;
  Index *index = GetIndex();
  if (before)
    before->next = attribute->next;
  else if (index)
    index->first = attribute->next;
  else
    bits_ = reinterpret_cast<uintptr_t>(attribute->next);
  if (index) {
    if (index->last == attribute) index->last = before;
    --index->count;
    index->Erase(index->Slot(attribute->name, xmlstr::Length(attribute->name)));
  }
  attribute->next = nullptr;
  attribute->storeFlags_ &= static_cast<uint8_t>(~CXmlAttribute::kLinked);
  return true;
}

CXmlAttribute *CXmlAttributeList::TakeAll() noexcept {
  CXmlAttribute *first = GetFirst();
  Index *index = GetIndex();
  if (index && index->owned) ::operator delete(index);
  bits_ = 0;
  return first;
}

// --- CXmlElement: attributes and text -----------------------------------------

CXmlElement::CXmlElement(const wchar_t *name) : CXmlNode(ELEMENT) { SetValue(name); }

CXmlElement::CXmlElement(const std::wstring &name) : CXmlNode(ELEMENT) { SetValue(name); }

CXmlElement::~CXmlElement() {
  RemoveAllChildren();
  CXmlStoreRelease released;
  for (CXmlAttribute *a = attributes.TakeAll(); a;) {
    CXmlAttribute *next = a->next;
    Destroy(a, released);
    a = next;
  }
}

void CXmlElement::PutAttribute(const wchar_t *name, size_t nameLength, const wchar_t *value, size_t valueLength,
                               CXmlStore *store, size_t &made) {
  if (CXmlAttribute *existing = attributes.Find(name, nameLength)) {
    if (store)
      existing->SetStored(existing->value, kOwnsValue, store->CopyString(value, valueLength));
    else
      existing->SetOwned(existing->value, kOwnsValue, value, valueLength);
    return;
  }
  CXmlAttribute *attribute;
  if (store) {
    attribute = store->Make<CXmlAttribute>(CXmlAttribute::Stored{}, store->Name(name, nameLength),
                                           store->CopyString(value, valueLength));
    ++made;
  } else {
    attribute = new CXmlAttribute();
    std::unique_ptr<CXmlAttribute> guard(attribute);
    attribute->SetOwned(attribute->name, kOwnsName, name, nameLength);
    attribute->SetOwned(attribute->value, kOwnsValue, value, valueLength);
    guard.release();
  }
  attributes.Append(attribute, store);
}

void CXmlElement::SetAttribute(const wchar_t *name, const wchar_t *value) {
  ASSERT(name);
  if (!name) return;
  MarkChanged();
  size_t made = 0;
  PutAttribute(name, wcslen(name), value ? value : L"", value ? wcslen(value) : 0, nullptr, made);
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
  if (!attribute || !attributes.Remove(attribute)) return;
  MarkChanged();
  delete attribute;
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

// --- CXmlElement: loading ---------------------------------------------------------

namespace {

// An end tag closes the element when it holds its name, then nothing but
// blanks, tabs and line breaks.
bool Closes(const wchar_t *tag, size_t length, const wchar_t *name) {
  const size_t n = xmlstr::Length(name);
  if (length < n || !xmlstr::SameChars(tag, name, n)) return false;
  for (size_t i = n; i < length; ++i)
    if (tag[i] != L' ' && tag[i] != L'\t' && tag[i] != L'\r' && tag[i] != L'\n') return false;
  return true;
}

// A load or copy into a store: counts what it makes and, when the store is
// new, records the run of the anchor's children it appends. Ends the build
// however it ends.
class Build {
 public:
  explicit Build(CXmlNode *target, CXmlStore *existing) : target_(target) {
    if (existing) {
      store_ = existing;
    } else {
      store_ = CXmlStore::Create();
      store_->anchor = target;
      fresh_ = true;
    }
  }
  ~Build() { store_->EndBuild(made); }
  Build(const Build &) = delete;
  Build &operator=(const Build &) = delete;

  CXmlStore *store() const { return store_; }
  // Notes a node just appended to `parent`.
  void Appended(const CXmlNode *parent, CXmlNode *node) {
    if (!fresh_ || parent != target_) return;
    if (!store_->firstTop) store_->firstTop = node;
    store_->lastTop = node;
  }

  size_t made = 0;

 private:
  CXmlNode *target_;
  CXmlStore *store_;
  bool fresh_ = false;
};

}  // namespace

// The names of a load where they stand in the text, for the reader: a name
// is recognised when the text at its position holds one of the names
// noted last with the same first two characters, and then a character
// that ends it; an end tag when it holds the name of the open element.
// Recognising a name costs one comparison of known length, where scanning
// it and looking it up cost a loop and a hash (and, in UTF-8, a decode).
// Both ends follow the reader's rule (xmlread::EndsName), and only names in
// which no character can end a name are noted (xmlread::HoldsNoNameEnd), so
// a recognised name ends exactly where the reader's own scan would end it.
// In a wide text the store keeps the noted names (CXmlStore::Starting); in
// UTF-8 they are kept here with their bytes, and a name is recognised by
// the very bytes it was read from, which decode to it wherever they stand.
template <class Char>
class CXmlElement::KnownNames {
 public:
  explicit KnownNames(CXmlStore *store) : store_(store) {
    if constexpr (kBytes) noted_ = std::make_unique<Noted[]>(kSlots);
  }

  const wchar_t *element = nullptr;  // the start tag's name, when recognised
  const CXmlNode *open = nullptr;    // the element an end tag should close; null for none
  bool closed = false;               // the last end tag was recognised as closing `open`

  const Char *StartName(const Char *p, const Char *limit) {
    size_t n = 0;
    element =
        Find<false>(p, limit, n, [](const Char *end) { return xmlread::EndsName<xmlread::NameOf::kElement>(end); });
    return element ? p + n : nullptr;
  }
  const Char *AttributeName(const Char *p, const Char *limit, const wchar_t *&known) {
    size_t n = 0;
    // Only right before '=': white space there goes through the reader's
    // scanner.
    known = Find<true>(p, limit, n, [](const Char *end) {
      return *end == '=' && xmlread::EndsName<xmlread::NameOf::kAttribute>(end);
    });
    return known ? p + n : nullptr;
  }
  const Char *EndName(const Char *p, const Char *limit) {
    closed = false;
    if (!open) return nullptr;
    if constexpr (kBytes) {
      // The bytes the open element's start tag was written with (names
      // longer than kNotedBytes go through the reader's scan); a short
      // name and the '>' after it in one word. A '>' found keeps the name
      // within the text, which ends with a NUL.
      const Opened &o = opened_.back();
      const size_t n = o.length;
      if (o.mask) {
        if ((Word(p) & o.mask) != o.word) return nullptr;
      } else if (n == 0 || static_cast<size_t>(limit - p) <= n || p[n] != '>' || !SameBytes(p, o.bytes, n)) {
        return nullptr;
      }
      closed = true;
      return p + n;
    } else {
      const wchar_t *name = open->GetValue();
      const size_t n = xmlstr::Length(name);
      if (static_cast<size_t>(limit - p) <= n || p[n] != '>' || !xmlstr::SameChars(p, name, n)) return nullptr;
      closed = true;
      return p + n;
    }
  }

  // `element`, whose start tag's name is the `length` units at `text`, is
  // now open; Close goes back to `parent` (null for the element loaded
  // into).
  void Open(const CXmlNode *element, const Char *text, size_t length) {
    open = element;
    if constexpr (kBytes) {
      Opened &o = opened_.emplace_back();
      o.length = length <= kNotedBytes ? length : 0;
      if (length < 8) {
        o.mask = kEndMasks[length].mask;  // the name and '>'
        o.word = (Word(text) & kEndMasks[length].name) | kEndMasks[length].end;
      } else {
        o.mask = 0;
        std::memcpy(o.bytes, text, kNotedBytes);  // the window is readable that far
      }
    }
  }
  void Close(const CXmlNode *parent) {
    open = parent;
    if constexpr (kBytes) opened_.pop_back();
  }

  // The attributes of the start tag being read, made as the reader meets
  // them and chained here until the element is made (AttachTo). Reading
  // the tag again from its start voids them: they stay in the store,
  // uncounted and unlinked.
  void BeginTag() {
    tag_.count = 0;
    tag_.seen = 0;
    tag_.maybeRepeated = false;
  }
  void TakeAttribute(const CXmlReader &reader, const CXmlReader::Attribute<Char> &a);
  // Gives the tag's attributes to `list` (an element's new, empty list) and
  // counts them in `made`.
  void AttachTo(CXmlAttributeList &list, size_t &made) {
    if (!tag_.count) return;  // many elements have none
    CXmlAttributeList::Index *index = nullptr;
    if (tag_.maybeRepeated || tag_.count > CXmlAttributeList::kListed) index = Settle();
    if (index) {
      index->first = tag_.first;
      index->last = tag_.last;
      index->count = tag_.count;
      list.bits_ = reinterpret_cast<uintptr_t>(index) | 1;
    } else {
      list.bits_ = reinterpret_cast<uintptr_t>(tag_.first);
    }
    made += tag_.count;
  }

  // xmlstr::Hash of a name of the load, kept for the names met last: an
  // element's long attribute list is indexed by its names' hashes, and the
  // same few names come again and again. Two ways per set, the last met
  // first, so that two names of one list rarely push each other out.
  size_t HashOf(const wchar_t *name) {
    static_assert(kHashed == 128, "64 sets of two");
    Hashed *set = hashed_ + SixBitsOf(name) * 2;
    if (set[0].name == name) return set[0].hash;
    if (set[1].name != name) set[1] = {name, xmlstr::Hash(name, xmlstr::Length(name))};
    std::swap(set[0], set[1]);
    return set[0].hash;
  }

  // `name`, just found by the store for the `length` units at `text`, for
  // later recognition.
  void Note(const wchar_t *name, const Char *text, size_t length) {
    // A name of one byte is found by the byte after it too, which the
    // window holds; the store finds wide names by their first two
    // characters.
    if (length < (kBytes ? 1 : 2) || !xmlread::HoldsNoNameEnd(text, length)) return;
    if constexpr (kBytes) {
      if (length > kNotedBytes) return;
      Noted *set = noted_.get() + Slot(text);
      if (set[0].name == name) return;
      std::copy_backward(set, set + kWays - 1, set + kWays);
      Noted &first = set[0];
      first.name = name;
      first.length = static_cast<uint32_t>(length);
      if (length > 8) std::memcpy(first.tail, text + 8, length - 8);
      // The window is readable beyond the name: its first eight bytes are
      // read in one word and masked.
      first.headMask = length < 8 ? kEndMasks[length].name : ~uint64_t{0};
      first.head = Word(text) & first.headMask;
      first.assignedMask = length < 8 ? kEndMasks[length].mask : ~uint64_t{0};
      first.assigned = length < 8 ? first.head | uint64_t{'='} << (8 * length) : first.head;
    } else {
      store_->NoteStart(name);
    }
  }

 private:
  static constexpr bool kBytes = sizeof(Char) == 1;
  // UTF-8: sets of names by their first two bytes, with their bytes, the
  // last noted first. Four ways, as names often share their first two
  // bytes (a1, a10, a11...).
  static constexpr size_t kSlots = 256;
  static constexpr size_t kWays = 4;
  static constexpr size_t kNotedBytes = 24;
  struct alignas(64) Noted {  // a power of two: a slot's address is a shift
    const wchar_t *name = nullptr;
    uint64_t head = 0, headMask = 0;  // the first eight bytes (fewer: the rest masked out)
    // A name of up to seven bytes with the '=' after it, as an attribute's
    // name mostly stands; a longer one's first eight bytes.
    uint64_t assigned = 0, assignedMask = 0;
    uint32_t length = 0;
    char tail[kNotedBytes - 8];  // the bytes beyond the first eight
  };
  // The start tags' names of the open elements, innermost last (UTF-8).
  struct Opened {
    size_t length;                // 0: longer than kNotedBytes
    uint64_t word = 0, mask = 0;  // a name of up to seven bytes and '>'; mask 0: longer
    char bytes[kNotedBytes];      // a longer name
  };
  std::vector<Opened> opened_;
  // For a name of 0 to 7 bytes: the masks of its bytes (a noted name's
  // head too) and of them with the '>' after them, and that '>' in place.
  struct EndMask {
    uint64_t name, mask, end;
  };
  static constexpr EndMask kEndMasks[8] = {
      {0, 0xFF, '>'},
      {0xFF, 0xFFFF, uint64_t{'>'} << 8},
      {0xFFFF, 0xFFFFFF, uint64_t{'>'} << 16},
      {0xFFFFFF, 0xFFFFFFFF, uint64_t{'>'} << 24},
      {0xFFFFFFFF, 0xFFFFFFFFFF, uint64_t{'>'} << 32},
      {0xFFFFFFFFFF, 0xFFFFFFFFFFFF, uint64_t{'>'} << 40},
      {0xFFFFFFFFFFFF, 0xFFFFFFFFFFFFFF, uint64_t{'>'} << 48},
      {0xFFFFFFFFFFFFFF, ~uint64_t{0}, uint64_t{'>'} << 56},
  };
  // Equal when the `n` bytes (at most kNotedBytes) at `a` and `b` are: in
  // words that may overlap, never beyond the n bytes.
  static bool SameBytes(const char *a, const char *b, size_t n) {
#ifdef __SSE2__
    // Sixteen bytes at a time and the first n of them compared, without a
    // branch on the length: `a` lies in the reader's window, `b` in bytes
    // noted here with at least sixteen after it, and both are readable
    // that far.
    auto differ = [a, b](size_t at) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + at));
      const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + at));
      return ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y))) & 0xFFFFu;
    };
    if (n <= 16) return (differ(0) & ((1u << n) - 1)) == 0;
    return (differ(0) | differ(n - 16)) == 0;
#else
    return std::memcmp(a, b, n) == 0;
#endif
  }
  // The set for the first two bytes (in the low sixteen bits of `two`).
  static size_t Slot(uint32_t two) {
    static_assert(kSlots == 256 && kWays == 4, "64 sets: six bits of the hash");
    return static_cast<size_t>(((two & 0xFFFFu) * 0x9E3779B1u) >> 26) * kWays;
  }
  static size_t Slot(const char *p) {
    return Slot(static_cast<unsigned char>(p[0]) | static_cast<uint32_t>(static_cast<unsigned char>(p[1])) << 8);
  }
  // Six well-mixed bits of a name's pointer (names lie a few bytes apart).
  static unsigned SixBitsOf(const wchar_t *name) {
    return static_cast<unsigned>((reinterpret_cast<uintptr_t>(name) * 0x9E3779B97F4A7C15u) >> 58);
  }
  static uint64_t Word(const char *p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
  }

  // One of the noted names that the text at `p` begins with, followed
  // before `limit` by a character that `ends` accepts; its length in `n`.
  // `kAssigned`: `ends` accepts only '=', and a short name is recognised
  // with its '=' in one word.
  template <bool kAssigned, class Ends>
  const wchar_t *Find(const Char *p, const Char *limit, size_t &n, Ends ends) const {
    if constexpr (kBytes) {
      // The window stays readable beyond its end, so eight bytes can be
      // read anywhere; the length test below keeps a name within the text.
      // A name's first eight bytes are compared in one word, the rest
      // (names of up to kNotedBytes) apart.
      const uint64_t w = Word(p);
      const Noted *set = noted_.get() + Slot(static_cast<uint32_t>(w));
      for (size_t i = 0; i < kWays; ++i) {
        if (!set[i].name) return nullptr;
        n = set[i].length;
        if constexpr (kAssigned) {
          if ((w & set[i].assignedMask) != set[i].assigned) continue;
          // Neither the name nor its '=' is the NUL that ends the text, so
          // both lie within it.
          if (n < 8) return set[i].name;
        } else {
          if ((w ^ set[i].head) & set[i].headMask) continue;
        }
        if (static_cast<size_t>(limit - p) > n && ends(p + n) && (n <= 8 || SameBytes(p + 8, set[i].tail, n - 8)))
          return set[i].name;
      }
    } else {
      if (limit - p < 2) return nullptr;
      const CXmlStore::Start *pair = store_->Starting(p);
      if (!pair) return nullptr;
      for (int i = 0; i < 2; ++i) {
        const wchar_t *name = pair[i].name;
        if (!name) return nullptr;
        n = pair[i].length;
        if (static_cast<size_t>(limit - p) > n && ends(p + n) && xmlstr::SameChars(p, name, n)) return name;
      }
    }
    return nullptr;
  }

  // A repeated name keeps its place and takes the value: the tag's later
  // records of a name are merged into its first and unlinked (they stay
  // in the store, uncounted). A list longer than kListed gets its index in
  // the store, which finds the repeats; a shorter one is searched.
  [[gnu::noinline]] CXmlAttributeList::Index *Settle() {
    const bool unique = store_->NamesUnique();
    CXmlAttributeList::Index *index =
        tag_.count > CXmlAttributeList::kListed ? CXmlAttributeList::NewIndex(tag_.count, store_) : nullptr;
    CXmlAttribute *kept = nullptr;
    for (CXmlAttribute *a = tag_.first; a; a = a->next) {
      CXmlAttribute *same = nullptr, **slot = nullptr;
      if (index) {
        slot = &index->Slots()[index->SlotByHash(a->name, xmlstr::Length(a->name), HashOf(a->name))];
        same = *slot;
      } else {
        for (same = tag_.first; same != a; same = same->next)
          if (same->name == a->name || (!unique && xmlstr::Equals(same->name, a->name, xmlstr::Length(a->name)))) break;
        if (same == a) same = nullptr;
      }
      if (same) {
        same->value = a->value;
        kept->next = a->next;  // a repeat is never the first
        --tag_.count;
        continue;
      }
      if (slot) *slot = a;
      kept = a;
    }
    tag_.last = kept;
    return index;
  }

  CXmlStore *store_;
  struct Tag {
    size_t count = 0;
    CXmlAttribute *first = nullptr, *last = nullptr;  // while count > 0
    // A bit for each name's pointer: while the store keeps every name
    // once, a name whose bit is clear is not in the tag yet.
    uint64_t seen = 0;
    bool maybeRepeated = false;
  } tag_;
  std::unique_ptr<Noted[]> noted_;
  struct Hashed {
    const wchar_t *name;
    size_t hash;
  };
  static constexpr size_t kHashed = 128;
  Hashed hashed_[kHashed] = {};
};

namespace {

// Pieces of the reader's text made into objects of the tree with their
// text: as they stand (wide), decoded (UTF-8), or from what the reader
// decoded.
template <class T, class... Args>
T *MakeWithPiece(CXmlStore *store, const xmlread::Piece<wchar_t> &piece, Args &&...args) {
  return store->MakeWithText<T>(piece.text ? piece.text : piece.decoded, piece.length, std::forward<Args>(args)...);
}
template <class T, class... Args>
T *MakeWithPiece(CXmlStore *store, const xmlread::Piece<char> &piece, Args &&...args) {
  if (piece.text) return store->MakeWithUtf8Text<T>(piece.text, piece.length, std::forward<Args>(args)...);
  return store->MakeWithText<T>(piece.decoded, piece.length, std::forward<Args>(args)...);
}

// A piece as a wide text, where it can stand for itself or must be decoded
// (into `scratch`).
struct WideText {
  const wchar_t *text;
  size_t length;
};
WideText Widen(const wchar_t *text, size_t length, std::wstring &) { return {text, length}; }
WideText Widen(const char *text, size_t length, std::wstring &scratch) {
  scratch.clear();
  xmlread::AppendUtf8(scratch, text, length);
  return {scratch.data(), scratch.size()};
}
template <class Char>
WideText Widen(const xmlread::Piece<Char> &piece, std::wstring &scratch) {
  return piece.text ? Widen(piece.text, piece.length, scratch) : WideText{piece.decoded, piece.length};
}

// A name of the store for the `length` units at `text`.
const wchar_t *StoreName(CXmlStore *store, const wchar_t *text, size_t length) { return store->Name(text, length); }
const wchar_t *StoreName(CXmlStore *store, const char *text, size_t length) {
  wchar_t name[64 + kUtf8PaddedWrite];  // names are short
  if (length <= 64) return store->Name(name, DecodeUtf8Padded(text, length, name));
  std::wstring wide;
  xmlread::AppendUtf8(wide, text, length);
  return store->Name(wide.data(), wide.size());
}

}  // namespace

template <class Char>
void CXmlElement::LoadAttributes(const CXmlReader &reader) {
  std::wstring nameScratch, valueScratch;
  size_t made = 0;
  for (const auto &a : reader.In<Char>().attributes) {
    const WideText name = Widen(a.name, a.nameLength, nameScratch);
    const WideText value = Widen(reader.AttributePiece(a), valueScratch);
    PutAttribute(name.text, name.length, value.text, value.length, nullptr, made);
  }
}

template <class Char>
void CXmlElement::KnownNames<Char>::TakeAttribute(const CXmlReader &reader, const CXmlReader::Attribute<Char> &a) {
  const wchar_t *name = a.known;
  if (!name) {
    name = StoreName(store_, a.name, a.nameLength);
    Note(name, a.name, a.nameLength);
  }
  const auto value = reader.AttributePiece(a);
  auto *attribute = MakeWithPiece<CXmlAttribute>(store_, value, CXmlAttribute::Stored{}, name);
  attribute->storeFlags_ |= CXmlAttribute::kLinked;
  (tag_.count ? tag_.last->next : tag_.first) = attribute;
  tag_.last = attribute;
  ++tag_.count;
  // Repeats are rare: they are looked for once the tag is whole, and only
  // when a name may have come before (Settle).
  const uint64_t bit = uint64_t{1} << SixBitsOf(name);
  if ((tag_.seen & bit) || !store_->NamesUnique()) tag_.maybeRepeated = true;
  tag_.seen |= bit;
}

void CXmlElement::ReadFrom(CXmlReader &reader) {
  if (reader._isUtf8)
    ReadContent<char>(reader);
  else
    ReadContent<wchar_t>(reader);
}

// The reading of each node is compiled into this loop (flatten and the
// inline reader), so a node's kind leads straight to the node made of it
// and the names the load knows are recognised in the text (KnownNames).
template <class Char>
[[gnu::flatten]] void CXmlElement::ReadContent(CXmlReader &reader) {
  if (reader.GetAttributeCount()) MarkChanged();
  LoadAttributes<Char>(reader);
  if (reader.GetNodeType() != XML_NODE_START_ELEMENT) return;

  // The content goes into a new store anchored here, or into this
  // element's own store when it lives in one.
  if (InStore()) MarkChanged();
  Build build(this, InStore() ? CXmlStore::Of(this) : nullptr);
  CXmlStore *store = build.store();
  CXmlElement *current = this;
  KnownNames<Char> names(store);  // `open` stays null for this element, whose name is not the load's
  std::wstring scratch;
  int depth = 1;
  auto append = [&](CXmlNode *node) {
    ++build.made;
    current->LinkLast(node);
    if (current == this) build.Appended(current, node);  // only the top level's run is recorded
  };
  // A reader that failed before fails here; any failure below ends the load.
  if (reader._error) throw CXmlException(reader._error);
  // Tests in the order of how often the kinds come, rather than a switch:
  // the branches learn the document's rhythm better than one jump does.
  for (;;) {
    if (!reader.ReadNext<Char>(names)) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
    const xmlread::Piece<Char> value = reader.ValuePiece<Char>();
    const int type = reader.GetNodeType();
    if (type == XML_NODE_START_ELEMENT || type == XML_NODE_EMPTY_ELEMENT) {
      const wchar_t *name = names.element;
      if (!name) {
        name = StoreName(store, value.text, value.length);
        names.Note(name, value.text, value.length);
      }
      auto *child = store->Make<CXmlElement>(Stored{}, name);
      append(child);
      if (depth + 1 > kMaxReadDepth) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
      names.AttachTo(child->attributes, build.made);
      if (type == XML_NODE_START_ELEMENT) {
        current = child;
        names.Open(child, value.text, value.length);
        ++depth;
      }
    } else if (type == XML_NODE_END_ELEMENT) {
      if (!names.closed) {
        const WideText tag = Widen(value.text, value.length, scratch);
        if (!Closes(tag.text, tag.length, current->GetValue())) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
      }
      if (current == this) return;
      current = static_cast<CXmlElement *>(current->GetParent());
      names.Close(current != this ? current : nullptr);
      --depth;
    } else if (type == XML_NODE_TEXT || type == XML_NODE_CDATA) {
      append(MakeWithPiece<CXmlText>(store, value, CXmlText::Stored{}, type == XML_NODE_CDATA));
    } else if (type == XML_NODE_COMMENT) {
      append(MakeWithPiece<CXmlComment>(store, value, CXmlComment::Stored{}));
    } else {  // a declaration, or anything unknown
      throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
    }
  }
}

// --- CXmlElement: copying -------------------------------------------------------------

namespace {

template <class T>
bool Is(const CXmlNode *node) {
  return typeid(*node) == typeid(T);
}

}  // namespace

void CXmlElement::CloneChildren(CXmlElement *copy) const {
  Build build(copy, nullptr);
  CXmlStore *store = build.store();
  const CXmlNode *from = GetFirstChild();
  CXmlNode *into = copy;  // the copy of from's parent
  while (from) {
    // The node's own copy: the library's classes into the store, any other
    // class through its own Clone.
    CXmlNode *made = nullptr;
    bool descend = false;
    if (Is<CXmlElement>(from)) {
      const auto *element = static_cast<const CXmlElement *>(from);
      auto *e = store->Make<CXmlElement>(Stored{}, store->Name(from->GetValue(), element->ValueLength()));
      ++build.made;
      for (const CXmlAttribute *a = element->GetFirstAttribute(); a; a = a->next)
        e->PutAttribute(a->name, xmlstr::Length(a->name), a->value, xmlstr::Length(a->value), store, build.made);
      made = e;
      descend = from->GetFirstChild() != nullptr;
    } else if (Is<CXmlText>(from)) {
      const auto *text = static_cast<const CXmlText *>(from);
      made = store->MakeWithText<CXmlText>(from->GetValue(), text->ValueLength(), CXmlText::Stored{}, text->CData());
      ++build.made;
    } else if (Is<CXmlComment>(from)) {
      const auto *comment = static_cast<const CXmlComment *>(from);
      made = store->MakeWithText<CXmlComment>(from->GetValue(), comment->ValueLength(), CXmlComment::Stored{});
      ++build.made;
    } else {
      // Another class copies itself, outside the store: the store's nodes
      // then hold one it must not free in bulk.
      made = from->Clone();
      store->MarkDirty();
    }
    made->data = from->data;
    static_cast<CXmlElement *>(into)->LinkLast(made);
    build.Appended(into, made);
    if (descend) {
      from = from->GetFirstChild();
      into = made;
      continue;
    }
    // On to the next sibling, or up to the first ancestor that has one.
    while (from != this && !from->GetNextSibling()) {
      from = from->GetParent();
      into = into->GetParent();
    }
    from = from == this ? nullptr : from->GetNextSibling();
  }
}

CXmlNode *CXmlElement::Clone() const {
  auto copy = std::make_unique<CXmlElement>(std::wstring(GetValue(), ValueLength()));
  copy->data = data;
  for (const CXmlAttribute *a = GetFirstAttribute(); a; a = a->GetNext())
    copy->SetAttribute(a->GetName(), a->GetValue());
  if (GetFirstChild()) CloneChildren(copy.get());
  return copy.release();
}

// --- CXmlElement: writing ---------------------------------------------------------------

void CXmlElement::WriteTree(CXmlTextWriter &writer, bool childrenOnly) const {
  const CXmlNode *node = childrenOnly ? GetFirstChild() : this;
  while (node) {
    if (node == this || Is<CXmlElement>(node)) {
      const auto *element = static_cast<const CXmlElement *>(node);
      writer.StartElement(node->GetValue(), element->ValueLength());
      for (const CXmlAttribute *a = element->GetFirstAttribute(); a; a = a->next)
        writer.Attribute(a->name, xmlstr::Length(a->name), a->value, xmlstr::Length(a->value));
      if (node->GetFirstChild()) {
        node = node->GetFirstChild();
        continue;
      }
      writer.WriteEndElement();
    } else {
      node->WriteTo(writer);
    }
    // On to the next sibling, closing every element left on the way up.
    for (;;) {
      if (node == this) return;
      if (node->GetNextSibling()) {
        node = node->GetNextSibling();
        break;
      }
      node = node->GetParent();
      if (node == this && childrenOnly) return;
      writer.WriteEndElement();
    }
  }
}

void CXmlElement::WriteTo(CXmlTextWriter &writer) const { WriteTree(writer, false); }

void CXmlElement::WriteChildren(CXmlTextWriter &writer) const { WriteTree(writer, true); }

// --- CXmlText ----------------------------------------------------------------

CXmlText::CXmlText(const wchar_t *text, bool cdata) : CXmlNode(TEXT) {
  SetValue(text);
  SetCData(cdata);
}

CXmlText::CXmlText(const std::wstring &text, bool cdata) : CXmlNode(TEXT) {
  SetValue(text);
  SetCData(cdata);
}

CXmlNode *CXmlText::Clone() const {
  auto *copy = new CXmlText(std::wstring(GetValue(), ValueLength()), CData());
  copy->data = data;
  return copy;
}

void CXmlText::WriteTo(CXmlTextWriter &writer) const {
  if (CData())
    writer.CDataSection(GetValue(), ValueLength());
  else
    writer.Text(GetValue(), ValueLength());
}

// --- CXmlComment -------------------------------------------------------------

CXmlComment::CXmlComment() : CXmlNode(COMMENT) {}

CXmlComment::CXmlComment(const std::wstring &content) : CXmlNode(COMMENT) { SetValue(content); }

CXmlNode *CXmlComment::Clone() const {
  auto *copy = new CXmlComment(std::wstring(GetValue(), ValueLength()));
  copy->data = data;
  return copy;
}

}  // namespace pcutil

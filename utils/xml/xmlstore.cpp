#include "utils/xml/detail/xmlstore.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "utils/xml/xmlnode.h"

namespace pcutil {

// --- counted strings ---------------------------------------------------------

namespace xmlstr {

void ThrowTooLong() { throw std::length_error("XML text too long"); }

wchar_t *Fill(void *memory, const wchar_t *text, size_t length) {
  CheckLength(length);
  *static_cast<uint32_t *>(memory) = static_cast<uint32_t>(length);
  auto *chars = reinterpret_cast<wchar_t *>(static_cast<uint32_t *>(memory) + 1);
  // Names and short values: two or four overlapping blocks of four
  // characters, cheaper than a call.
  constexpr size_t kBlock = 4 * sizeof(wchar_t);
  if (length < 4) {
    for (size_t i = 0; i < length; ++i) chars[i] = text[i];
  } else if (length <= 8) {
    std::memcpy(chars, text, kBlock);
    std::memcpy(chars + length - 4, text + length - 4, kBlock);
  } else if (length <= 16) {
    std::memcpy(chars, text, kBlock);
    std::memcpy(chars + 4, text + 4, kBlock);
    std::memcpy(chars + length - 8, text + length - 8, kBlock);
    std::memcpy(chars + length - 4, text + length - 4, kBlock);
  } else {
    std::memcpy(chars, text, length * sizeof(wchar_t));
  }
  chars[length] = L'\0';
  return chars;
}

const wchar_t *NewOwned(const wchar_t *text, size_t length) {
  CheckLength(length);
  return Fill(::operator new(Bytes(length)), text, length);
}

void FreeOwned(const wchar_t *s) noexcept {
  if (s) ::operator delete(const_cast<uint32_t *>(reinterpret_cast<const uint32_t *>(s) - 1));
}

size_t Hash(const wchar_t *text, size_t length) noexcept {
  // Names are short: two characters at a time, mixed at the end.
  uint64_t h = length * 0x9E3779B97F4A7C15ull;
  size_t i = 0;
  for (; i + 1 < length; i += 2)
    h = (h ^ (static_cast<uint64_t>(static_cast<uint32_t>(text[i])) << 32 | static_cast<uint32_t>(text[i + 1]))) *
        0xFF51AFD7ED558CCDull;
  if (i < length) h = (h ^ static_cast<uint32_t>(text[i])) * 0xFF51AFD7ED558CCDull;
  return static_cast<size_t>(h ^ (h >> 32));
}

}  // namespace xmlstr

// --- blocks ----------------------------------------------------------------------

// A block starts with this header; objects record their offset from it.
struct alignas(16) CXmlStore::Block {
  Block *next;
  CXmlStore *store;
};

namespace {

// Blocks grow from kFirstBlock to kLastBlock bytes, so a small tree costs
// little and a large one few allocations; every block stays below the size
// at which the C library maps memory of its own. Larger strings get a block
// each.
constexpr size_t kFirstBlock = 512;
constexpr size_t kLastBlock = 64 * 1024;
constexpr size_t kOwnBlock = kLastBlock / 4;

}  // namespace

CXmlStore *CXmlStore::Create() { return new CXmlStore(); }

CXmlStore *CXmlStore::Of(const CXmlBase *object) noexcept {
  const char *base = reinterpret_cast<const char *>(object) - object->storeOffset_;
  return reinterpret_cast<const Block *>(base)->store;
}

CXmlStore::Block *CXmlStore::NewBlock(size_t payload) {
  void *memory = std::malloc(sizeof(Block) + payload);
  if (!memory) throw std::bad_alloc();
  Block *block = new (memory) Block{blocks_, this};
  blocks_ = block;
  return block;
}

void *CXmlStore::CarveInNewBlock(size_t size) {
  if (size >= kOwnBlock) return NewBlock(size) + 1;  // the current block stays current
  nextBlock_ = nextBlock_ ? (nextBlock_ < kLastBlock ? nextBlock_ * 2 : kLastBlock) : kFirstBlock;
  // A string may be larger than the next block would be: that one is
  // larger then (kLastBlock holds anything below kOwnBlock).
  while (nextBlock_ - sizeof(Block) < size) nextBlock_ *= 2;
  Block *block = NewBlock(nextBlock_ - sizeof(Block));
  current_ = reinterpret_cast<uintptr_t>(block);
  cursor_ = reinterpret_cast<uintptr_t>(block + 1) + size;
  limit_ = current_ + nextBlock_;
  return block + 1;
}

const wchar_t *CXmlStore::CopyUtf8(const char *bytes, size_t n) {
  if (n == 0) return xmlstr::Empty();
  const size_t size = xmlstr::Utf8Bytes(n);
  if (size < kOwnBlock) {
    // Carved last in the current block: what the decode does not fill
    // goes back to it.
    const wchar_t *text = xmlstr::FillUtf8(Carve(size, alignof(uint32_t)), bytes, n);
    GiveBackAfter(text);
    return text;
  }
  // A long text has a block of its own: decoded into room for a character
  // per byte, then cut to the size its characters take.
  Block *block = NewBlock(size);
  const wchar_t *text = xmlstr::FillUtf8(block + 1, bytes, n);
  const size_t at = static_cast<size_t>(reinterpret_cast<const char *>(text) - reinterpret_cast<const char *>(block));
  if (void *smaller = std::realloc(block, at + xmlstr::Bytes(xmlstr::Length(text)) - sizeof(uint32_t))) {
    blocks_ = static_cast<Block *>(smaller);  // the newest block: the head of the list
    text = reinterpret_cast<const wchar_t *>(static_cast<const char *>(smaller) + at);
  }
  return text;
}

// --- names -------------------------------------------------------------------------

// Open addressing over the names seen in the current build, each slot with
// its name's hash. Bounded: long names and names beyond kMaxNames are
// copied instead of kept.
struct CXmlStore::NameTable {
  static constexpr size_t kMaxLength = 64;
  static constexpr size_t kMaxNames = 4096;
  struct Slot {
    const wchar_t *name;
    size_t hash;
  };
  std::vector<Slot> slots = std::vector<Slot>(64, Slot{nullptr, 0});
  size_t used = 0;
  // The names last seen (see RecentSlot): most names repeat, and these are
  // found without hashing.
  const wchar_t *recent[kRecent] = {};
  Start starts[kStarts] = {};

  // The slot holding `text`, or the empty slot where it belongs.
  Slot &Find(const wchar_t *text, size_t length, size_t hash) noexcept {
    const size_t mask = slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      Slot &slot = slots[i];
      if (!slot.name || (slot.hash == hash && xmlstr::Equals(slot.name, text, length))) return slot;
    }
  }
  void Grow() {
    std::vector<Slot> old(slots.size() * 2, Slot{nullptr, 0});
    old.swap(slots);
    for (const Slot &s : old)
      if (s.name) Find(s.name, xmlstr::Length(s.name), s.hash) = s;
  }
};

const wchar_t *CXmlStore::NewName(const wchar_t *text, size_t length) {
  if (length == 0) return xmlstr::Empty();
  if (length > NameTable::kMaxLength) {
    namesCopied_ = true;
    return CopyString(text, length);
  }
  if (!names_) {
    names_ = new NameTable();
    recent_ = names_->recent;
    starts_ = names_->starts;
  }
  // The name takes its slot of the recent names; the one it displaces
  // moves to the other slot of the pair, so two names that share a slot
  // are both found.
  const wchar_t **recent = names_->recent;
  const size_t at = RecentSlot(text, length);
  auto remember = [recent, at](const wchar_t *name) {
    recent[at ^ 1] = recent[at];
    recent[at] = name;
    return name;
  };
  const size_t hash = xmlstr::Hash(text, length);
  NameTable::Slot &slot = names_->Find(text, length, hash);
  if (slot.name) return remember(slot.name);
  const wchar_t *name = CopyString(text, length);
  if (names_->used >= NameTable::kMaxNames) {
    namesCopied_ = true;
    return name;
  }
  slot = {name, hash};
  remember(name);
  if (++names_->used * 2 > names_->slots.size()) names_->Grow();
  return name;
}

// --- life ------------------------------------------------------------------------------

bool CXmlStore::EndBuild(size_t objects) noexcept {
  delete names_;
  names_ = nullptr;
  namesCopied_ = false;
  recent_ = nullptr;
  starts_ = nullptr;
  if (live_.fetch_add(objects, std::memory_order_relaxed) + objects == 0) {
    FreeAll();
    return false;
  }
  return true;
}

void CXmlStore::Release(size_t count) noexcept {
  if (live_.fetch_sub(count, std::memory_order_acq_rel) == count) FreeAll();
}

void CXmlStore::FreeAll() noexcept {
  for (Block *b = blocks_; b;) {
    Block *next = b->next;
    std::free(b);
    b = next;
  }
  delete names_;
  delete this;
}

}  // namespace pcutil

// Storage of the XML tree's nodes, attributes and strings.
//
// Strings of the tree are "counted strings": a 32-bit length, the characters
// and a NUL, addressed by their first character, so GetValue hands out the
// pointer and the length costs nothing. A string is either owned by its node
// (allocated on the heap) or lives in a store.
//
// A store (CXmlStore) is an arena that the tree loader and Clone fill: the
// nodes, attributes and strings of one load or one copy are carved from a
// few large blocks instead of one allocation each, and element and
// attribute names are kept once per store. Each object in a store records
// its offset in its block, and the block its store, so any object finds its
// store without a pointer of its own.
//
// The ownership rules of the tree do not change: a node still owns its
// children and destroying it destroys them. A store only decides when the
// memory goes back: it counts the objects alive in it and frees its blocks
// when the last one is destroyed. The element whose load (or copy) filled a
// store is its anchor; while nothing in the store has been changed, moved
// or destroyed on its own (the store is "clean"), its objects hold nothing
// that needs a destructor and are exactly the subtrees of one run of the
// anchor's children, so destroying the anchor frees the store's blocks
// without visiting its nodes. Any change to an object in a store marks the
// store dirty, and from then on its nodes are destroyed one by one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "platform/text/codepage.h"
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace pcutil {

class CXmlBase;
class CXmlNode;

namespace xmlstr {

// The length of a counted string.
inline uint32_t Length(const wchar_t *s) noexcept { return reinterpret_cast<const uint32_t *>(s)[-1]; }
// The empty counted string (static, never freed).
struct EmptyString {
  uint32_t length = 0;
  wchar_t nul = L'\0';
};
inline constexpr EmptyString kEmpty{};
inline const wchar_t *Empty() noexcept { return &kEmpty.nul; }
// A counted string on the heap holding `text` (`length` characters).
// Throws std::bad_alloc; a length beyond 32 bits throws std::length_error.
const wchar_t *NewOwned(const wchar_t *text, size_t length);
void FreeOwned(const wchar_t *s) noexcept;
// Equal when the `n` characters at `a` and `b` are. Names are short: up
// to sixteen characters take one branch, in blocks of four that may
// overlap (never beyond the n characters).
[[gnu::always_inline]] inline bool SameChars(const wchar_t *a, const wchar_t *b, size_t n) noexcept {
  static_assert(sizeof(wchar_t) == 4, "four characters in sixteen bytes");
  auto differ = [a, b](size_t i) {
#ifdef __SSE2__
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
    return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi32(x, y)) ^ 0xFFFF);
#else
    uint32_t x[4], y[4];
    std::memcpy(x, a + i, sizeof x);
    std::memcpy(y, b + i, sizeof y);
    return (x[0] ^ y[0]) | (x[1] ^ y[1]) | (x[2] ^ y[2]) | (x[3] ^ y[3]);
#endif
  };
  if (n < 4) {
    uint32_t d = 0;
    for (size_t i = 0; i < n; ++i) d |= static_cast<uint32_t>(a[i]) ^ static_cast<uint32_t>(b[i]);
    return d == 0;
  }
  if (n <= 8) return (differ(0) | differ(n - 4)) == 0;
  if (n <= 16) return (differ(0) | differ(4) | differ(n - 8) | differ(n - 4)) == 0;
  return std::memcmp(a, b, n * sizeof(wchar_t)) == 0;
}
// Equal when `s` holds exactly `text` (`length` characters).
inline bool Equals(const wchar_t *s, const wchar_t *text, size_t length) noexcept {
  return Length(s) == length && SameChars(s, text, length);
}
// Bytes of a counted string of `length` characters: the length word, the
// characters and the NUL.
inline size_t Bytes(size_t length) { return sizeof(uint32_t) + (length + 1) * sizeof(wchar_t); }
// Throws std::length_error for a length beyond 32 bits (a counted string's
// length word); the throw stays out of line.
[[noreturn]] void ThrowTooLong();
inline void CheckLength(size_t length) {
  if (length >= UINT32_MAX) ThrowTooLong();
}
// Writes a counted string into `memory` (Bytes(length) bytes, 4-aligned).
// Throws as CheckLength.
wchar_t *Fill(void *memory, const wchar_t *text, size_t length);
inline size_t Utf8Bytes(size_t n) { return Bytes(n) + kUtf8PaddedWrite * sizeof(wchar_t); }
// Writes the decode of `n` bytes of UTF-8 (readable a little beyond, see
// DecodeUtf8Padded) into `memory` (Utf8Bytes(n) bytes, 4-aligned) as a
// counted string; what it does not fill is left over. Throws as
// CheckLength. Inline: every loaded name, value and text goes through it.
inline wchar_t *FillUtf8(void *memory, const char *bytes, size_t n) {
  CheckLength(n);
  auto *chars = reinterpret_cast<wchar_t *>(static_cast<uint32_t *>(memory) + 1);
  const size_t length = DecodeUtf8Padded(bytes, n, chars);
  *static_cast<uint32_t *>(memory) = static_cast<uint32_t>(length);
  chars[length] = L'\0';
  return chars;
}
// A hash of `length` characters, for the name tables.
size_t Hash(const wchar_t *text, size_t length) noexcept;

}  // namespace xmlstr

class CXmlStore {
 public:
  // A new, empty store. Throws std::bad_alloc.
  static CXmlStore *Create();
  CXmlStore(const CXmlStore &) = delete;
  CXmlStore &operator=(const CXmlStore &) = delete;

  // The store of an object made by Make.
  static CXmlStore *Of(const CXmlBase *object) noexcept;

  // A new T built in the store (it counts once EndBuild is called). Throws
  // std::bad_alloc and what T's constructor throws.
  template <class T, class... Args>
  T *Make(Args &&...args) {
    uint32_t offset;
    void *memory = AllocateObject(sizeof(T), offset);
    T *object = new (memory) T(std::forward<Args>(args)...);
    Adopt(object, offset);
    return object;
  }
  // A new T built in the store with a copy of `text` right after it, in one
  // allocation (long texts go apart). T's constructor takes the counted
  // string last.
  template <class T, class... Args>
  T *MakeWithText(const wchar_t *text, size_t length, Args &&...args) {
    if (length == 0 || length > kInlineText) return Make<T>(std::forward<Args>(args)..., CopyString(text, length));
    return MakeBeside<T>(
        xmlstr::Bytes(length), [&](void *memory) { return xmlstr::Fill(memory, text, length); },
        std::forward<Args>(args)...);
  }
  // The same from `n` bytes of UTF-8, decoded into the object's text.
  template <class T, class... Args>
  T *MakeWithUtf8Text(const char *bytes, size_t n, Args &&...args) {
    if (n == 0 || n > kInlineText) return Make<T>(std::forward<Args>(args)..., CopyUtf8(bytes, n));
    return MakeBeside<T>(
        xmlstr::Utf8Bytes(n), [&](void *memory) { return xmlstr::FillUtf8(memory, bytes, n); },
        std::forward<Args>(args)...);
  }

  // A counted string in the store holding `n` bytes of UTF-8, decoded.
  // Throws std::bad_alloc.
  const wchar_t *CopyUtf8(const char *bytes, size_t n);
  // A counted string in the store. Throws std::bad_alloc.
  const wchar_t *CopyString(const wchar_t *text, size_t length) {
    if (length == 0) return xmlstr::Empty();
    return xmlstr::Fill(Carve(xmlstr::Bytes(length), alignof(uint32_t)), text, length);
  }
  // Raw memory (8-byte aligned) that lives as long as the store.
  void *Allocate(size_t size) { return Carve((size + 7) & ~size_t{7}, 8); }
  // A name: the same text gives the same string while a load or copy is
  // being built (see EndBuild); other names are copied. The names seen
  // last are found inline, by length, first and last character, in their
  // slot or the other slot of its pair.
  const wchar_t *Name(const wchar_t *text, size_t length) {
    if (recent_ && length) {
      const size_t at = RecentSlot(text, length);
      const wchar_t *r = recent_[at];
      if (r && xmlstr::Equals(r, text, length)) return r;
      r = recent_[at ^ 1];
      if (r && xmlstr::Equals(r, text, length)) return r;
    }
    return NewName(text, length);
  }

  // True while every name Name has given in this build is the one copy of
  // its text (none was too long for the table or came after it was full):
  // then names equal in text are the same string.
  bool NamesUnique() const noexcept { return !namesCopied_; }

  // For a reader that recognises names where they stand, before it knows
  // their length: the two names noted last (by NoteStart) whose first two
  // characters are those at `p`, with their lengths (a null name for none);
  // null while the build keeps no names. `p[1]` must be readable.
  struct Start {
    const wchar_t *name;
    size_t length;
  };
  const Start *Starting(const wchar_t *p) const noexcept { return starts_ ? starts_ + StartSlot(p[0], p[1]) : nullptr; }
  // Notes `name`, a name from Name of at least two characters, for
  // Starting.
  void NoteStart(const wchar_t *name) noexcept {
    if (!starts_) return;
    Start *pair = starts_ + StartSlot(name[0], name[1]);
    if (pair[0].name == name) return;
    pair[1] = pair[0];
    pair[0] = {name, xmlstr::Length(name)};
  }

  // A load or copy has placed `objects` objects (they become alive in the
  // count) and is finished: the name table is dropped. A store left with no
  // live object is freed (then `this` is gone). Returns false in that case.
  bool EndBuild(size_t objects) noexcept;

  // Called when an object of the store is changed, moved or destroyed on
  // its own: its nodes can no longer be freed in bulk.
  void MarkDirty() noexcept { dirty_.store(true, std::memory_order_relaxed); }
  bool Clean() const noexcept { return !dirty_.load(std::memory_order_relaxed); }

  // `count` objects of the store were destroyed one by one. The last one
  // frees the store.
  void Release(size_t count) noexcept;

  // The anchor and the run of its children that the build appended (clean
  // stores only; see the top of this file).
  CXmlNode *anchor = nullptr;
  CXmlNode *firstTop = nullptr;
  CXmlNode *lastTop = nullptr;

  // Frees every block at once; the objects in them are not destroyed. Only
  // for a clean store whose anchor is destroying the run.
  void FreeAll() noexcept;

 private:
  struct Block;
  struct NameTable;

  CXmlStore() = default;
  ~CXmlStore() = default;
  // `size` bytes at `align` from the current block, or a new one.
  void *Carve(size_t size, size_t align) {
    const uintptr_t p = (cursor_ + align - 1) & ~(align - 1);
    if (p + size <= limit_) {
      cursor_ = p + size;
      return reinterpret_cast<void *>(p);
    }
    return CarveInNewBlock(size);
  }
  void *CarveInNewBlock(size_t size);
  static constexpr size_t kRecent = 256;
  static constexpr size_t kStarts = 256;  // pairs of names by their first two characters
  static size_t StartSlot(wchar_t first, wchar_t second) noexcept {
    return ((static_cast<size_t>(first) * 31 + static_cast<size_t>(second)) & (kStarts / 2 - 1)) * 2;
  }
  static constexpr size_t kInlineText = 512;  // characters kept beside their object
  static size_t RecentSlot(const wchar_t *text, size_t length) noexcept {
    return (length * 7 + static_cast<size_t>(text[0]) * 31 + static_cast<size_t>(text[length - 1])) & (kRecent - 1);
  }
  const wchar_t *NewName(const wchar_t *text, size_t length);
  Block *NewBlock(size_t payload);
  // Objects are small, so they always come from the current block.
  void *AllocateObject(size_t size, uint32_t &offset) {
    void *memory = Carve((size + 7) & ~size_t{7}, 8);
    offset = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(memory) - current_);
    return memory;
  }
  static void Adopt(CXmlBase *object, uint32_t offset) noexcept;
  // A new T with its text (written by `fill` into `textBytes` bytes) right
  // after it, in one allocation; what the text does not fill goes back to
  // the block, where it was carved last.
  template <class T, class Fill, class... Args>
  T *MakeBeside(size_t textBytes, Fill fill, Args &&...args) {
    constexpr size_t objectBytes = (sizeof(T) + 7) & ~size_t{7};
    uint32_t offset;
    char *memory = static_cast<char *>(AllocateObject(objectBytes + textBytes, offset));
    const wchar_t *text = fill(memory + objectBytes);
    GiveBackAfter(text);
    T *object = new (memory) T(std::forward<Args>(args)..., text);
    Adopt(object, offset);
    return object;
  }
  // The block's room from the end of `text` (a counted string carved last
  // from the current block) on is free again.
  void GiveBackAfter(const wchar_t *text) noexcept {
    cursor_ = reinterpret_cast<uintptr_t>(text + xmlstr::Length(text) + 1);
  }

  std::atomic<size_t> live_{0};
  std::atomic<bool> dirty_{false};
  Block *blocks_ = nullptr;  // every block, newest first
  uintptr_t current_ = 0;    // the block objects and small strings come from
  uintptr_t cursor_ = 0;
  uintptr_t limit_ = 0;
  size_t nextBlock_ = 0;
  NameTable *names_ = nullptr;
  bool namesCopied_ = false;          // a name of this build was copied, not kept (NamesUnique)
  const wchar_t **recent_ = nullptr;  // names_'s recent names
  Start *starts_ = nullptr;           // names_'s names by their start
};

// Releases objects of stores in batches while a subtree is destroyed one
// node at a time: consecutive objects of one store cost one atomic update.
class CXmlStoreRelease {
 public:
  CXmlStoreRelease() = default;
  CXmlStoreRelease(const CXmlStoreRelease &) = delete;
  CXmlStoreRelease &operator=(const CXmlStoreRelease &) = delete;
  ~CXmlStoreRelease() { Flush(); }

  void Add(CXmlStore *store, size_t count = 1) noexcept {
    if (store != store_) {
      Flush();
      store_ = store;
    }
    count_ += count;
  }
  void Flush() noexcept {
    if (store_ && count_) store_->Release(count_);
    store_ = nullptr;
    count_ = 0;
  }

 private:
  CXmlStore *store_ = nullptr;
  size_t count_ = 0;
};

}  // namespace pcutil

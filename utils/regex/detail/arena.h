// The node arena of a compiled pattern.
//
// Every piece of a compiled pattern (matcher nodes, character sets, lists of
// alternatives, copied literals, start-character arrays, the literal searcher)
// is taken from one arena and is never given back piece by piece: the whole
// arena is released at once when the pattern goes or its compilation fails.
//
//   arena_allocator<char> a(1, std::allocator<char>());   // creates the arena
//   void *p = a.allocate(n);                               // bump allocation
//   a.release_all();      // frees every block, keeps the arena for reuse
//   a.destroy_arena();    // frees the blocks and the arena; a is null after
//
// Ownership: the handle created with the arena (held by the compiled pattern)
// destroys it; every copy of the handle only refers to it. Not thread-safe: an
// arena is filled on the compiling thread and only read while matching.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

namespace regex {
namespace detail {

// Bytes handed out are counted in units of this size.
inline constexpr std::size_t arena_unit = 4;

// n rounded up to a multiple of `to`, a power of two (a mask, not a division).
inline constexpr std::size_t arena_round_up(std::size_t n, std::size_t to) { return (n + to - 1) & ~(to - 1); }

// A region allocator: a list of blocks, newest first; only the newest block
// is allocated from. Each block's data area starts aligned for any object.
// An arena lives on the heap with its first block in the same allocation,
// so a small arena costs one allocation in all: create() makes it,
// destroy() frees it.
class arena {
 public:
  arena(const arena &) = delete;  // owns raw blocks
  arena &operator=(const arena &) = delete;

  // An arena whose blocks hold block_size bytes each (a larger request
  // gets a block of its own size).
  static arena *create(std::size_t block_size, const std::allocator<char> &base) {
    const std::size_t capacity = arena_round_up(block_size, arena_unit);
    std::allocator<char> heap(base);
    char *raw = heap.allocate(own_offset() + sizeof(block) + capacity);  // throws std::bad_alloc
    arena *a = ::new (raw) arena(block_size, base);
    a->m_pown = ::new (raw + own_offset()) block;
    a->m_pown->m_used = 0;
    a->m_pown->m_size = sizeof(block) + capacity;
    a->m_pown->m_pnext = nullptr;
    return a;
  }
  // Frees every block and the arena; null does nothing.
  static void destroy(arena *a) noexcept {
    if (!a) return;
    std::allocator<char> heap(a->m_base);
    const std::size_t total = own_offset() + a->m_pown->m_size;
    a->~arena();
    heap.deallocate(reinterpret_cast<char *>(a), total);
  }

  // n bytes whose address is a multiple of `align` (a power of two, at most
  // alignof(std::max_align_t)). A request of 0 bytes counts as 1. Inlined,
  // so that constant sizes and alignments fold away.
  [[gnu::always_inline]] void *allocate(std::size_t n, std::size_t align = arena_unit) {
    if (n == 0) n = 1;
    if (align < arena_unit) align = arena_unit;
    if (m_phead) [[likely]] {
      const std::size_t offset = arena_round_up(m_phead->m_used, align);
      if (offset + n <= m_phead->capacity()) [[likely]] {
        m_phead->m_used = offset + arena_round_up(n, arena_unit);
        return m_phead->data() + offset;
      }
    }
    new_block(n);
    m_phead->m_used = arena_round_up(n, arena_unit);
    return m_phead->data();
  }

  // Frees every block; the arena's own first block is only unlinked, to be
  // used again.
  void release_all() noexcept {
    while (m_phead) {
      block *next = m_phead->m_pnext;
      if (m_phead == m_pown)
        m_own_linked = false;
      else
        m_base.deallocate(reinterpret_cast<char *>(m_phead), m_phead->m_size);
      m_phead = next;
    }
  }

  std::size_t block_size() const { return m_block_size; }

  // Bytes that the heap allocation of an arena from create() spends ahead
  // of its first block's data area.
  static constexpr std::size_t create_overhead();

  // Introspection for tests and diagnostics: the number of blocks.
  std::size_t block_count() const {
    std::size_t c = 0;
    for (block *b = m_phead; b; b = b->m_pnext) ++c;
    return c;
  }

 private:
  arena(std::size_t block_size, const std::allocator<char> &base)
      : m_base(base), m_phead(nullptr), m_block_size(block_size) {}
  ~arena() { release_all(); }

  struct alignas(std::max_align_t) block {
    std::size_t m_used;  // bytes of the data area handed out
    std::size_t m_size;  // size of the block, header included
    block *m_pnext;      // the block created before this one
    char *data() { return reinterpret_cast<char *>(this) + sizeof(block); }
    std::size_t capacity() const { return m_size - sizeof(block); }
  };
  // Where the first block of an arena from create() begins.
  static constexpr std::size_t own_offset() { return arena_round_up(sizeof(arena), alignof(block)); }

  // Out of line, so the bump path above stays small. The arena's own
  // block is taken first while it is free and large enough.
  [[gnu::noinline]] void new_block(std::size_t n) {
    block *b;
    if (!m_own_linked && n <= m_pown->capacity()) {
      b = m_pown;
      m_own_linked = true;
    } else {
      std::size_t capacity = n > m_block_size ? n : m_block_size;
      std::size_t total = sizeof(block) + arena_round_up(capacity, arena_unit);
      char *raw = m_base.allocate(total);  // throws std::bad_alloc
      if (!raw) throw std::bad_alloc();
      b = ::new (raw) block;
      b->m_size = total;
    }
    b->m_used = 0;
    b->m_pnext = m_phead;
    m_phead = b;
  }

  std::allocator<char> m_base;
  block *m_phead;
  std::size_t m_block_size;
  block *m_pown = nullptr;  // the first block, in the arena's own allocation
  bool m_own_linked = false;
};

inline constexpr std::size_t arena::create_overhead() { return own_offset() + sizeof(block); }
static_assert(sizeof(arena) <= sizeof(arena *) * 8, "the first block of a created arena follows the arena");

// The allocator handle through which the compiler and the engine's
// containers reach an arena. Copies share the arena; destroying a handle
// does nothing.
template <class T, class Base = std::allocator<char>>
class arena_allocator {
 public:
  typedef T value_type;
  typedef T *pointer;
  typedef const T *const_pointer;
  typedef T &reference;
  typedef const T &const_reference;
  typedef std::size_t size_type;
  typedef std::ptrdiff_t difference_type;
  template <class U>
  struct rebind {
    typedef arena_allocator<U, Base> other;
  };

  // Creates the arena on the heap.
  arena_allocator(std::size_t block_size, const Base &base) : m_parena(arena::create(block_size, base)) {}
  arena_allocator(const arena_allocator &) = default;
  arena_allocator &operator=(const arena_allocator &) = default;
  template <class U>
  arena_allocator(const arena_allocator<U, Base> &that) : m_parena(that.m_parena) {}
  ~arena_allocator() = default;

  // count objects of T, aligned for T; the hint is ignored.
  [[gnu::always_inline]] T *allocate(size_type count, const void * = nullptr) {
    return static_cast<T *>(m_parena->allocate(count * sizeof(T), alignof(T)));
  }
  // Raw bytes aligned as the caller asks (node allocation uses this).
  [[gnu::always_inline]] void *allocate_bytes(size_type n, size_type align) { return m_parena->allocate(n, align); }
  void deallocate(T *, size_type) noexcept {}
  template <class U, class... Args>
  void construct(U *p, Args &&...args) {
    ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
  }
  template <class U>
  void destroy(U *p) {
    p->~U();
  }
  T *address(T &r) const { return std::addressof(r); }
  const T *address(const T &r) const { return std::addressof(r); }
  size_type max_size() const { return std::size_t(-1) / sizeof(T); }

  void release_all() { m_parena->release_all(); }
  void destroy_arena() {
    arena::destroy(m_parena);
    m_parena = nullptr;
  }

  arena *get_arena() const { return m_parena; }

  template <class U>
  bool operator==(const arena_allocator<U, Base> &that) const {
    return m_parena == that.m_parena;
  }
  template <class U>
  bool operator!=(const arena_allocator<U, Base> &that) const {
    return m_parena != that.m_parena;
  }

 private:
  template <class U, class B>
  friend class arena_allocator;
  arena *m_parena;
};

}  // namespace detail
}  // namespace regex

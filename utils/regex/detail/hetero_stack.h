// regex::hetero_stack: the typed backtracking stack of the iterative matcher.
//
// One stack holds values of many types one after another; every entry is
// tagged with its type's record, and every typed access checks the tag:
//
//   hetero_stack<4, 1, 0, 32, 0> s;
//   s.push(it);                 // copy of any copyable value
//   s.push(true);
//   bool b; s.pop(b);           // checked: a wrong type throws type_error
//   s.top<iterator>()++;        // in-place access to the top entry
//   { stack_guard g(s); ... }   // unwinds to the mark on every exit
//
// Layout: an inline, empty bottom block, then heap blocks in a doubly linked
// chain. An entry is the value (padded to a whole number of words) followed by
// the pointer to its type record, and never spans two blocks. Blocks emptied by
// pops stay linked for reuse and are freed only by the destructor.
//
// Entries are aligned for their types: the padding unit is at least a pointer
// and every block's data starts aligned for any object, so each value and each
// tag word lies on its natural boundary.
//
// Not thread-safe; a stack belongs to one match call.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <typeinfo>

#include <cxxabi.h>

namespace regex {

namespace detail {

// Readable type name from the platform's type information.
inline std::string readable_type_name(const std::type_info &t) {
  int status = 0;
  char *demangled = abi::__cxa_demangle(t.name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : t.name();
  std::free(demangled);
  return name;
}

}  // namespace detail

// AlignSize: the minimum padding unit of an entry (raised to a pointer's size
// so tags stay aligned). RuntimeTypeCheck: typed accesses check the tag.
// AssumePod: values are not destroyed on unwind. DynamicBlockSize: the least
// data capacity of a heap block allocated at the top of the chain.
// StaticBlockSize: reserved; the inline bottom block holds no entry.
template <std::size_t AlignSize = 4, bool RuntimeTypeCheck = true, bool AssumePod = false,
          std::size_t DynamicBlockSize = 32, std::size_t StaticBlockSize = 0>
class hetero_stack {
 public:
  static constexpr std::size_t unit = AlignSize > alignof(void *) ? AlignSize : alignof(void *);
  static_assert((unit & (unit - 1)) == 0, "entry unit must be a power of two");

  static constexpr std::size_t padded(std::size_t n) { return (n + unit - 1) / unit * unit; }

  // One static record per stored value type.
  struct type_record {
    const std::type_info &type;
    std::size_t size;
    std::size_t aligned_size;
    void (*destroy)(void *);
    void (*copy)(void *, const void *);
  };

  class type_error : public std::logic_error {
   public:
    type_error(const std::type_info &requested, const std::type_info &actual)
        : std::logic_error(std::string("type error in hetero_stack") +
                           " (requested type: " + detail::readable_type_name(requested) +
                           ", actual type: " + detail::readable_type_name(actual) + ")"),
          m_prequested(&requested),
          m_pactual(&actual) {}
    const std::type_info &requested_type() const { return *m_prequested; }
    const std::type_info &actual_type() const { return *m_pactual; }

   private:
    const std::type_info *m_prequested;
    const std::type_info *m_pactual;
  };

  // An opaque position of the top.
  typedef const void *stack_type;

  hetero_stack() noexcept : hetero_stack(DynamicBlockSize) {}
  // A stack whose heap blocks at the top hold at least least_block bytes:
  // a deep match then needs few allocations.
  explicit hetero_stack(std::size_t least_block) noexcept : m_least_block(least_block) {
    m_inline.m_pprev = &m_inline;
    m_inline.m_pnext = nullptr;
    m_inline.m_ptop = m_inline.data();
    m_inline.m_pend = m_inline.data();
    m_pcurrent = &m_inline;
    m_pbegin = m_inline.data();
    m_ptop = m_inline.data();
    m_pend = m_inline.data();
  }

  ~hetero_stack() {
    unwind(m_inline.data());
    block *b = m_inline.m_pnext;
    while (b) {
      block *next = b->m_pnext;
      ::operator delete(static_cast<void *>(b));
      b = next;
    }
  }

  hetero_stack(const hetero_stack &) = delete;  // entries know their addresses
  hetero_stack &operator=(const hetero_stack &) = delete;

  template <class T>
  void push(const T &value) {
    static_assert(alignof(T) <= unit, "value needs more alignment than an entry gives");
    const type_record &rec = record_of<T>();
    char *p = reserve(rec.aligned_size + sizeof(const type_record *));
    if constexpr (std::is_nothrow_copy_constructible_v<T>) {
      ::new (static_cast<void *>(p)) T(value);
    } else {
      try {
        ::new (static_cast<void *>(p)) T(value);
      } catch (...) {
        release_to(p);
        throw;
      }
    }
    *reinterpret_cast<const type_record **>(p + rec.aligned_size) = &rec;
  }

  template <class T>
  void pop(T &out) {
    T &stored = checked_top<T>();
    out = stored;
    destroy_top<T>(stored);
  }

  // Discarding pop.
  template <class T>
  void pop() {
    T &stored = checked_top<T>();
    destroy_top<T>(stored);
  }

  template <class T>
  T &top() {
    return checked_top<T>();
  }
  template <class T>
  const T &top() const {
    return const_cast<hetero_stack *>(this)->checked_top<T>();
  }

  stack_type mark() const { return m_ptop; }

  bool empty() const { return m_ptop == m_inline.data(); }

  // Removes every entry above the position, destroying its value.
  void unwind(stack_type pos) {
    while (m_ptop != pos) {
      if (m_ptop == m_pbegin) {              // top left at a block start by an earlier unwind
        if (m_pcurrent == &m_inline) break;  // below the bottom: caller error
        step_back();
        continue;
      }
      m_ptop -= sizeof(const type_record *);
      const type_record *rec = *reinterpret_cast<const type_record *const *>(m_ptop);
      m_ptop -= rec->aligned_size;
      if (!AssumePod && rec->destroy) rec->destroy(m_ptop);
      if (m_ptop == m_pbegin && m_ptop != pos) step_back();
    }
  }

  // Introspection for tests: heap blocks in the chain, and the data
  // capacity of the block holding the top (0 for the inline block).
  std::size_t heap_block_count() const {
    std::size_t c = 0;
    for (block *b = m_inline.m_pnext; b; b = b->m_pnext) ++c;
    return c;
  }
  std::size_t current_capacity() const { return static_cast<std::size_t>(m_pend - m_pbegin); }
  bool in_inline_block() const { return m_pcurrent == &m_inline; }

  template <class T>
  static const type_record &record_of() {
    return typed_record<std::remove_cv_t<T>>::value;
  }

 private:
  struct alignas(std::max_align_t) block {
    block *m_pprev;
    block *m_pnext;
    char *m_ptop;
    char *m_pend;
    char *data() { return reinterpret_cast<char *>(this) + sizeof(block); }
    const char *data() const { return reinterpret_cast<const char *>(this) + sizeof(block); }
  };

  struct inline_block : block {};

  template <class T>
  struct typed_record {
    static void destroy_value(void *p) { static_cast<T *>(p)->~T(); }
    static void copy_value(void *dst, const void *src) { ::new (dst) T(*static_cast<const T *>(src)); }
    static constexpr bool scalar = std::is_scalar_v<T>;
    static inline const type_record value{typeid(T), sizeof(T), padded(sizeof(T)), scalar ? nullptr : &destroy_value,
                                          &copy_value};
  };

  template <class T>
  T &checked_top() {
    const type_record *rec = *reinterpret_cast<const type_record *const *>(m_ptop - sizeof(const type_record *));
    const type_record &want = record_of<T>();
    if (RuntimeTypeCheck && rec != &want && !(rec->type == want.type)) throw type_error(want.type, rec->type);
    return *std::launder(reinterpret_cast<T *>(m_ptop - sizeof(const type_record *) - want.aligned_size));
  }

  template <class T>
  void destroy_top(T &stored) {
    char *p = reinterpret_cast<char *>(std::addressof(stored));
    if constexpr (!std::is_trivially_destructible_v<T>) {
      if (!AssumePod) stored.~T();
    }
    release_to(p);
  }

  // The common case, room in the current block, stays inline at every push.
  [[gnu::always_inline]] char *reserve(std::size_t n) {
    char *result = m_ptop;
    if (static_cast<std::size_t>(m_pend - m_ptop) >= n) [[likely]] {
      m_ptop += n;
      return result;
    }
    return reserve_block(n);
  }

  [[gnu::noinline]] char *reserve_block(std::size_t n) {
    m_pcurrent->m_ptop = m_ptop;
    block *next = m_pcurrent->m_pnext;
    if (next && static_cast<std::size_t>(next->m_pend - next->data()) >= n) {
      m_pcurrent = next;
      m_pbegin = next->data();
      m_ptop = m_pbegin + n;
      m_pend = next->m_pend;
      next->m_ptop = m_ptop;
      return m_pbegin;
    }
    std::size_t capacity = n;
    if (!next && capacity < m_least_block) capacity = padded(m_least_block);
    block *b = static_cast<block *>(::operator new(sizeof(block) + capacity));
    b = ::new (static_cast<void *>(b)) block;
    b->m_pprev = m_pcurrent;
    b->m_pnext = next;
    b->m_pend = b->data() + capacity;
    b->m_ptop = b->data() + n;
    if (next) next->m_pprev = b;
    m_pcurrent->m_pnext = b;
    m_pcurrent = b;
    m_pbegin = b->data();
    m_ptop = m_pbegin + n;
    m_pend = b->m_pend;
    return m_pbegin;
  }

  void release_to(char *p) {
    m_ptop = p;
    if (p == m_pbegin) [[unlikely]]
      step_back();
  }

  [[gnu::noinline]] void step_back() {
    m_pcurrent->m_ptop = m_ptop;
    m_pcurrent = m_pcurrent->m_pprev;
    m_pbegin = m_pcurrent->data();
    m_ptop = m_pcurrent->m_ptop;
    m_pend = m_pcurrent->m_pend;
  }

  std::size_t m_least_block;
  inline_block m_inline;
  block *m_pcurrent;
  char *m_pbegin;
  char *m_ptop;
  char *m_pend;
};

// Unwinds the stack to the position it had when the guard was made.
template <class Stack>
class basic_stack_guard {
 public:
  explicit basic_stack_guard(Stack &s) : m_pstack(&s), m_pos(s.mark()) {}
  ~basic_stack_guard() { m_pstack->unwind(m_pos); }
  basic_stack_guard(const basic_stack_guard &) = delete;
  basic_stack_guard &operator=(const basic_stack_guard &) = delete;

 private:
  Stack *m_pstack;
  typename Stack::stack_type m_pos;
};

// The instantiation the engine uses.
typedef hetero_stack<4, true, false, 32, 0> match_stack;
typedef basic_stack_guard<match_stack> stack_guard;

}  // namespace regex

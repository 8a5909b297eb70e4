// pcutil::shared_ptr: a reference-counted owning pointer. Every copy shares
// one count block (pcutil::ref_counter) whose count changes with interlocked
// operations, so copies may be made and dropped on different threads; the
// last owner deletes the block, and the block deletes the pointee through
// its virtual destructor. One shared_ptr object itself must not be read and
// replaced from two threads at once: each thread works on its own copy.
//
// Assignment is copy-and-swap: the assigned-to pointer takes a reference on
// the other's block before it drops its own, so an object still referenced
// is never deleted (self-assignment included).
#pragma once

#include <type_traits>
#include <utility>

#include "platform/system/threads.h"
#include "platform/text/debug.h"
#include "platform/text/windef.h"

namespace pcutil {

// The count block: the number of shared_ptr objects sharing it (1 when
// created) and the owned object, which may be NULL.
template <class T>
class ref_counter {
 public:
  explicit ref_counter(T *object) : m_refCount(1), m_pObject(object) {}
  ref_counter(const ref_counter &) = delete;
  ref_counter &operator=(const ref_counter &) = delete;
  ~ref_counter() { delete m_pObject; }

  void add_ref() {
    ASSERT(InterlockedExchangeAdd(&m_refCount, 0) >= 0);
    InterlockedIncrement(&m_refCount);
  }
  // Deletes the block (and with it the object) when the count reaches zero.
  void release() {
    ASSERT(InterlockedExchangeAdd(&m_refCount, 0) > 0);
    if (InterlockedDecrement(&m_refCount) == 0) delete this;
  }
  LONG count() const { return InterlockedExchangeAdd(const_cast<volatile LONG *>(&m_refCount), 0); }
  void set_object(T *object) { m_pObject = object; }

 private:
  volatile LONG m_refCount;
  T *m_pObject;
};

template <class T>
class shared_ptr {
  static_assert(std::has_virtual_destructor_v<T>, "the pointee is deleted through its virtual destructor");

 public:
  shared_ptr() = default;
  // Takes ownership of p with a new block of count 1, also for a NULL p.
  explicit shared_ptr(T *p) : m_ptr(p), m_pCounter(new ref_counter<T>(p)) {}
  shared_ptr(const shared_ptr &other) : m_ptr(other.m_ptr), m_pCounter(other.m_pCounter) {
    if (m_pCounter) {
      m_pCounter->set_object(m_ptr);
      m_pCounter->add_ref();
    }
  }
  shared_ptr &operator=(const shared_ptr &other) {
    shared_ptr copy(other);
    swap(copy);
    return *this;
  }
  ~shared_ptr() {
    if (m_pCounter) m_pCounter->release();
  }

  T *operator->() const {
    ASSERT(m_ptr != 0);
    return m_ptr;
  }
  // The pointee, NULL for an empty pointer.
  T *get() const { return m_ptr; }
  // Owners sharing the block; 0 when there is no block.
  LONG use_count() const { return m_pCounter ? m_pCounter->count() : 0; }

  // Replaces the pointee with p (a fresh block); the old block loses one
  // reference. Resetting to the pointer already held is refused: a second
  // block would delete the object twice.
  void reset(T *p = nullptr) {
    ASSERT(p == 0 || p != m_ptr);
    if (p != nullptr && p == m_ptr) return;
    shared_ptr fresh(p);
    swap(fresh);
  }

  void swap(shared_ptr &other) noexcept {
    std::swap(m_ptr, other.m_ptr);
    std::swap(m_pCounter, other.m_pCounter);
  }

 private:
  T *m_ptr = nullptr;
  ref_counter<T> *m_pCounter = nullptr;
};

}  // namespace pcutil

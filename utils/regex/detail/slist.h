// regex::detail::slist: the engine's singly linked list.
//
// A head pointer and an allocator; each cell holds one value and the link to
// the next cell. Used for the alternatives of a group (over the pattern's
// arena) and for the ranges, negated classes and nested sets of a character
// set (over the arena or the heap). With the arena allocator, giving a cell
// back does nothing: the arena releases everything with the pattern.
//
// Not copyable (cells belong to one list); not thread-safe while written.
#pragma once

#include <cstddef>
#include <memory>
#include <new>

#include "utils/regex/detail/arena.h"

namespace regex {
namespace detail {

template <class T, class A = arena_allocator<char>>
class slist {
  struct cell {
    T m_value;
    cell *m_pnext;
  };
  typedef typename std::allocator_traits<A>::template rebind_alloc<cell> cell_allocator;

 public:
  class iterator {
   public:
    iterator(cell *p = nullptr) : m_p(p) {}
    T &operator*() const { return m_p->m_value; }
    T *operator->() const { return &m_p->m_value; }
    iterator &operator++() {
      m_p = m_p->m_pnext;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      m_p = m_p->m_pnext;
      return old;
    }
    bool operator==(const iterator &that) const { return m_p == that.m_p; }
    bool operator!=(const iterator &that) const { return m_p != that.m_p; }

   private:
    friend class slist;
    cell *m_p;
  };
  typedef iterator const_iterator;

  explicit slist(const A &alloc = A()) : m_alloc(alloc), m_phead(nullptr) {}
  ~slist() { clear(); }
  slist(const slist &) = delete;
  slist &operator=(const slist &) = delete;

  // Allocates one cell; when copying the value throws, the cell goes back
  // and the list is unchanged.
  void push_front(const T &value) {
    cell_allocator cells(m_alloc);
    cell *c = cells.allocate(1);
    try {
      ::new (static_cast<void *>(&c->m_value)) T(value);
    } catch (...) {
      cells.deallocate(c, 1);
      throw;
    }
    c->m_pnext = m_phead;
    m_phead = c;
  }

  // Unlinks and gives back the cell after `pos`.
  void erase_after(iterator pos) {
    cell *victim = pos.m_p->m_pnext;
    pos.m_p->m_pnext = victim->m_pnext;
    destroy(victim);
  }

  // Stable insertion sort: each cell, taken in list order, is inserted
  // after every cell already placed that does not order after it.
  template <class Less>
  void sort(Less less) {
    cell *sorted = nullptr;
    while (m_phead) {
      cell *c = m_phead;
      m_phead = c->m_pnext;
      cell **link = &sorted;
      while (*link && !less(c->m_value, (*link)->m_value)) link = &(*link)->m_pnext;
      c->m_pnext = *link;
      *link = c;
    }
    m_phead = sorted;
  }

  std::size_t size() const {
    std::size_t n = 0;
    for (cell *c = m_phead; c; c = c->m_pnext) ++n;
    return n;
  }
  bool empty() const { return !m_phead; }
  void reverse() {
    cell *prev = nullptr;
    while (m_phead) {
      cell *n = m_phead->m_pnext;
      m_phead->m_pnext = prev;
      prev = m_phead;
      m_phead = n;
    }
    m_phead = prev;
  }
  iterator begin() const { return iterator(m_phead); }
  iterator end() const { return iterator(nullptr); }
  T &front() const { return m_phead->m_value; }
  void clear() {
    while (m_phead) {
      cell *n = m_phead->m_pnext;
      destroy(m_phead);
      m_phead = n;
    }
  }

 private:
  void destroy(cell *c) {
    c->m_value.~T();
    cell_allocator cells(m_alloc);
    cells.deallocate(c, 1);
  }

  A m_alloc;
  cell *m_phead;
};

}  // namespace detail
}  // namespace regex

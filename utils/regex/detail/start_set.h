// Start analysis of a compiled pattern: which characters a match (or the rest
// of a pattern after some node) can begin with.
//
//   first_chars fc;
//   group0->scan_first(fc);
//   if (!fc.can_end && !fc.admits_all()) ...   // a match needs one of fc's characters first
//
// The analysis is conservative: a node it cannot see through adds every
// character and may end the match. The nodes add what they can begin with
// (sub_expr::first_here) and pass the scan on when they can match without
// consuming (sub_expr::scan_first); a visit limit keeps the scan linear in
// the size of the pattern.
//
// start_set is the frozen result the search and the atom quantifiers read:
// a bitmap below 256 and, from 256 up, either every character or a sorted
// list of ranges. It lives in the pattern's arena and is read-only.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/text/wctype_win.h"

namespace regex {
namespace detail {

struct code_range {
  std::uint32_t first;
  std::uint32_t last;
};

// The frozen set: a bitmap below 256, then high_any or the ranges
// [ranges, ranges + count).
struct start_set {
  std::uint64_t low[4];
  bool high_any;
  const code_range *ranges;
  std::size_t count;

  bool admits(wchar_t ch) const {
    const std::uint32_t c = std::uint32_t(ch);
    if (c < 256) return (low[c >> 6] >> (c & 63)) & 1u;
    return admits_high(c);
  }
  bool admits_high(std::uint32_t c) const {
    if (high_any) return true;
    const code_range *r =
        std::upper_bound(ranges, ranges + count, c, [](std::uint32_t v, const code_range &x) { return v < x.first; });
    return r != ranges && (r - 1)->last >= c;
  }

  // The first position in [p, last) whose character the set admits, or last.
  template <class IT>
  IT skip(IT p, IT last) const {
    for (; p != last; ++p) {
      const std::uint32_t c = std::uint32_t(*p);
      if (c < 256 ? (low[c >> 6] >> (c & 63)) & 1u : admits_high(c)) break;
    }
    return p;
  }
};

// Classification masks (win_iswctype) whose members from 256 up never
// share a character: white space is neither a letter, a digit nor
// punctuation (the platform's classes keep them apart, as the C library's
// locale rules demand).
inline constexpr win_wctype_t blank_classes = _SPACE | _BLANK;
inline constexpr win_wctype_t graphic_classes = _ALPHA | _DIGIT | _PUNCT | _HEX;
inline bool classes_disjoint(win_wctype_t a, win_wctype_t b) {
  return ((a & ~blank_classes) == 0 && (b & ~graphic_classes) == 0) ||
         ((b & ~blank_classes) == 0 && (a & ~graphic_classes) == 0);
}

// A set of characters under construction.
class char_bits {
 public:
  // Ranges from 256 up are kept while they are few; more make the set
  // hold every character from 256 up (the analysis may always widen).
  static constexpr std::size_t high_capacity = 8;

  std::uint32_t low[8] = {};
  bool high_any = false;
  std::uint32_t high_count = 0;
  code_range high[high_capacity];
  // From 256 up also the members of these classes (the search cannot
  // test them fast: a frozen set admits every character from 256 up).
  win_wctype_t high_classes = 0;

  void add(wchar_t ch) {
    const std::uint32_t c = std::uint32_t(ch);
    if (c < 256)
      low[c >> 5] |= 1u << (c & 31);
    else
      add_high(c, c);
  }
  void add_high(std::uint32_t first, std::uint32_t last) {
    if (high_any) return;
    if (high_count == high_capacity) return set_high_any();
    high[high_count++] = code_range{first < 256 ? 256 : first, last};
  }
  void add_high_classes(win_wctype_t mask) {
    if (!high_any) high_classes = win_wctype_t(high_classes | mask);
  }
  void set_high_any() {
    high_any = true;
    high_count = 0;
    high_classes = 0;
  }
  void add_all() {
    for (std::uint32_t &w : low) w = ~0u;
    set_high_any();
  }
  // Adds every character of `that`.
  void add_all_of(const char_bits &that) {
    for (int i = 0; i < 8; ++i) low[i] |= that.low[i];
    if (that.high_any) return set_high_any();
    add_high_classes(that.high_classes);
    for (std::uint32_t i = 0; i < that.high_count; ++i) add_high(that.high[i].first, that.high[i].last);
  }
  bool admits_all() const {
    if (!high_any) return false;
    for (std::uint32_t w : low)
      if (w != ~0u) return false;
    return true;
  }

  // True when no character belongs to both sets.
  bool disjoint(const char_bits &that) const {
    for (int i = 0; i < 8; ++i)
      if (low[i] & that.low[i]) return false;
    if (high_any) return !that.high_any && that.high_count == 0 && that.high_classes == 0;
    if (that.high_any) return high_count == 0 && high_classes == 0;
    if ((high_classes && that.high_count) || (that.high_classes && high_count)) return false;
    if (high_classes && that.high_classes && !classes_disjoint(high_classes, that.high_classes)) return false;
    for (std::uint32_t i = 0; i < high_count; ++i)
      for (std::uint32_t j = 0; j < that.high_count; ++j)
        if (high[i].first <= that.high[j].last && that.high[j].first <= high[i].last) return false;
    return true;
  }

  // Freezes the set into `out`; its ranges are copied with `alloc`
  // (count elements), sorted and merged.
  template <class Alloc>
  void freeze(start_set &out, Alloc alloc) {
    for (int i = 0; i < 4; ++i) out.low[i] = std::uint64_t(low[2 * i]) | std::uint64_t(low[2 * i + 1]) << 32;
    out.high_any = high_any || high_classes != 0;
    out.ranges = nullptr;
    out.count = 0;
    if (out.high_any || high_count == 0) return;
    std::sort(high, high + high_count, [](const code_range &a, const code_range &b) { return a.first < b.first; });
    code_range *p = alloc(high_count);
    std::size_t n = 0;
    for (std::uint32_t i = 0; i < high_count; ++i) {
      if (n != 0 && std::uint64_t(p[n - 1].last) + 1 >= high[i].first)
        p[n - 1].last = std::max(p[n - 1].last, high[i].last);
      else
        p[n++] = high[i];
    }
    out.ranges = p;
    out.count = n;
  }
};

// The sets of a fixed-width beginning, one per character, at most capacity
// (or a lower limit). A slot is cleared only when it is handed out, so an
// unused prefix costs nothing to make.
class fixed_prefix {
 public:
  static constexpr std::size_t capacity = 8;

  explicit fixed_prefix(std::size_t limit = capacity) : m_limit(limit < capacity ? limit : capacity) {}

  // The slot of the next character's set, empty, or null when the prefix
  // is full.
  char_bits *next() { return m_count < m_limit ? ::new (&m_slots[m_count++].bits) char_bits : nullptr; }
  std::size_t size() const { return m_count; }
  // Slots the prefix can still hand out.
  std::size_t room() const { return m_limit - m_count; }
  char_bits &operator[](std::size_t i) { return m_slots[i].bits; }
  const char_bits &operator[](std::size_t i) const { return m_slots[i].bits; }

 private:
  union slot {
    slot() {}
    char_bits bits;
  };
  slot m_slots[capacity];
  std::size_t m_count = 0;
  std::size_t m_limit;
};

// The set a scan gathers, with the scan's bookkeeping.
class first_chars : public char_bits {
 public:
  bool can_end = false;  // some path ends without consuming, or nothing is known

  // Unknown: every character, and the path may end here.
  void add_unknown() {
    add_all();
    can_end = true;
  }

  // Visit bookkeeping: false when the node was seen already in this scan
  // or the scan has used up its visits (then it gives up: unknown).
  bool enter(const void *node) {
    if (std::find(m_visited, m_visited + m_cvisited, node) != m_visited + m_cvisited) return false;
    if (m_cvisited == visit_limit) {
      add_unknown();
      return false;
    }
    m_visited[m_cvisited++] = node;
    return true;
  }

 private:
  static constexpr std::size_t visit_limit = 64;
  const void *m_visited[visit_limit];
  std::size_t m_cvisited = 0;
};

}  // namespace detail
}  // namespace regex

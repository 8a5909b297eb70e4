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

namespace regex {
namespace detail {

struct code_range {
  std::uint32_t first;
  std::uint32_t last;
};

// The frozen set: one byte per character below 256 (a load per test in the
// search's scan), then high_any or the ranges [ranges, ranges + count).
struct start_set {
  std::uint8_t low[256];
  bool high_any;
  const code_range *ranges;
  std::size_t count;

  bool admits(wchar_t ch) const {
    const std::uint32_t c = std::uint32_t(ch);
    if (c < 256) return low[c] != 0;
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
      if (c < 256 ? low[c] != 0 : admits_high(c)) break;
    }
    return p;
  }
};

// The set under construction, with the scan's bookkeeping.
class first_chars {
 public:
  std::uint32_t low[8] = {};
  bool high_any = false;
  std::vector<code_range> high;
  bool can_end = false;  // some path ends without consuming, or nothing is known

  void add(wchar_t ch) {
    const std::uint32_t c = std::uint32_t(ch);
    if (c < 256)
      low[c >> 5] |= 1u << (c & 31);
    else
      add_high(c, c);
  }
  void add_high(std::uint32_t first, std::uint32_t last) {
    if (!high_any) high.push_back(code_range{first < 256 ? 256 : first, last});
  }
  void add_all() {
    for (std::uint32_t &w : low) w = ~0u;
    high_any = true;
    high.clear();
  }
  // Unknown: every character, and the path may end here.
  void add_unknown() {
    add_all();
    can_end = true;
  }

  bool admits_all() const {
    if (!high_any) return false;
    for (std::uint32_t w : low)
      if (w != ~0u) return false;
    return true;
  }

  // True when no character belongs to both sets.
  bool disjoint(const first_chars &that) const {
    for (int i = 0; i < 8; ++i)
      if (low[i] & that.low[i]) return false;
    if (high_any) return !that.high_any && that.high.empty();
    if (that.high_any) return high.empty();
    for (const code_range &a : high)
      for (const code_range &b : that.high)
        if (a.first <= b.last && b.first <= a.last) return false;
    return true;
  }

  // Visit bookkeeping: false when the node was seen already in this scan
  // or the scan has used up its visits (then it gives up: unknown).
  bool enter(const void *node) {
    if (std::find(m_visited.begin(), m_visited.end(), node) != m_visited.end()) return false;
    if (m_visited.size() >= visit_limit) {
      add_unknown();
      return false;
    }
    m_visited.push_back(node);
    return true;
  }

  // Freezes the set into `out`; its ranges are copied with `alloc`
  // (count elements), sorted and merged.
  template <class Alloc>
  void freeze(start_set &out, Alloc alloc) {
    for (std::uint32_t c = 0; c < 256; ++c) out.low[c] = std::uint8_t((low[c >> 5] >> (c & 31)) & 1u);
    out.high_any = high_any;
    out.ranges = nullptr;
    out.count = 0;
    if (high_any || high.empty()) return;
    std::sort(high.begin(), high.end(), [](const code_range &a, const code_range &b) { return a.first < b.first; });
    std::vector<code_range> merged;
    for (const code_range &r : high) {
      if (!merged.empty() && std::uint64_t(merged.back().last) + 1 >= r.first)
        merged.back().last = std::max(merged.back().last, r.last);
      else
        merged.push_back(r);
    }
    code_range *p = alloc(merged.size());
    std::copy(merged.begin(), merged.end(), p);
    out.ranges = p;
    out.count = merged.size();
  }

 private:
  static constexpr std::size_t visit_limit = 256;
  std::vector<const void *> m_visited;
};

}  // namespace detail
}  // namespace regex

// Skip-table search for the leading literal of a pattern.
//
// When group 0 begins with a literal, the search finds candidate start
// positions with this searcher instead of trying every position; every
// candidate is still verified by a full match attempt. Up to 255 leading
// characters are searched for, with one shift table indexed by the low byte
// of each character. For a case-insensitive literal the pattern text holds the
// upper-case form and the other-case copy the lower-case form; a subject
// character matches when it equals either.
//
// The skip table suits long literals. A short one, or one holding
// punctuation of one case form ('<' of "<meta", '=' of "charset="), which is
// rare in text, is found by the library's vectorised scan for one of its
// characters (the punctuation, else the first character in each of its
// case forms), and each hit is compared whole.
//
// Lives in the pattern's arena; owns nothing; read-only after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>

#include "utils/regex/detail/arena.h"

namespace regex {
namespace detail {

class literal_searcher {
 public:
  typedef std::wstring::const_iterator pattern_iterator;

  literal_searcher(pattern_iterator ilitbegin, pattern_iterator ilitend, const wchar_t *pother)
      : m_ilitbegin(ilitbegin), m_ilitlast(ilitbegin), m_potherbegin(pother), m_potherlast(pother) {
    std::ptrdiff_t len = ilitend - ilitbegin;
    const unsigned prefix = unsigned(len < 255 ? len : 255);
    m_cprefix = prefix;
    for (unsigned i = 0; i < prefix && !m_fanchor; ++i) {
      const wchar_t c = ilitbegin[i];
      const bool punctuation =
          c > L' ' && c < 0x7F && !(c >= L'0' && c <= L'9') && !((c | 0x20) >= L'a' && (c | 0x20) <= L'z');
      if (punctuation && (!pother || pother[i] == c)) {
        m_fanchor = true;
        m_canchor = i;
      }
    }
    if (!m_fanchor && prefix < short_literal) m_fanchor = true;
    m_chanchor = ilitbegin[m_canchor];
    m_chanchor_other = pother ? pother[m_canchor] : m_chanchor;
    if (m_fanchor) return;  // the scan needs no skip table
    for (unsigned i = 0; i < 256; ++i) m_rgskip[i] = std::uint8_t(prefix);
    m_clastindex = std::uint8_t(prefix - 1);
    for (unsigned k = prefix - 1; k >= 1; --k, ++m_ilitlast) m_rgskip[low_byte(*m_ilitlast)] = std::uint8_t(k);
    if (m_potherlast) {
      for (unsigned k = prefix - 1; k >= 1; --k, ++m_potherlast) {
        std::uint8_t &e = m_rgskip[low_byte(*m_potherlast)];
        if (k < e) e = std::uint8_t(k);
      }
    }
  }

  static void *operator new(std::size_t size, arena_allocator<char> &arena) {
    return arena.allocate_bytes(size, alignof(literal_searcher));
  }
  static void operator delete(void *, arena_allocator<char> &) noexcept {}
  static void operator delete(void *) noexcept {}

  const wchar_t *literal_begin() const { return &*m_ilitbegin; }

  // First position of the searched prefix lying wholly in [first, last),
  // or last when there is none.
  template <class IT>
  IT find(IT first, IT last) const {
    if (m_fanchor) return find_anchored(first, last);
    return m_potherlast ? find_nocase(first, last) : find_exact(first, last);
  }

  template <class IT>
  IT find_exact(IT first, IT last) const {
    return search<false>(first, last);
  }
  template <class IT>
  IT find_nocase(IT first, IT last) const {
    return search<true>(first, last);
  }

 private:
  // Horspool loop: the window's last character decides the shift; a window
  // is compared backwards from its last character. Without case a subject
  // character may equal the literal's or the other-case copy's character.
  template <bool Nocase, class IT>
  IT search(IT first, IT last) const {
    const std::ptrdiff_t n = last - first;
    std::ptrdiff_t shift = m_clastindex;
    std::ptrdiff_t covered = shift;
    while (covered < n) {
      first += shift;
      pattern_iterator l = m_ilitlast;
      const wchar_t *o = m_potherlast;
      IT s = first;
      while (*s == *l || (Nocase && *s == *o)) {
        if (l == m_ilitbegin) return s;
        --l;
        --s;
        if (Nocase) --o;
      }
      shift = m_rgskip[low_byte(*first)];
      covered += shift;
    }
    return last;
  }

  // Literals shorter than this are found by the scan for one character.
  static constexpr unsigned short_literal = 8;
  // Characters scanned for both case forms before the scan moves on.
  static constexpr std::ptrdiff_t scan_block = 2048;

  // The scan for the anchor character in each of its forms: both forms
  // are looked for block by block, so the subject passes through the cache
  // once; a hit at offset k of a window is compared there whole.
  template <class IT>
  IT find_anchored(IT first, IT last) const {
    if (last - first < std::ptrdiff_t(m_cprefix)) return last;
    const wchar_t *const base = std::to_address(first);
    const wchar_t *const stop = base + (last - first) - std::ptrdiff_t(m_cprefix - 1 - m_canchor);
    const bool two = m_chanchor_other != m_chanchor;
    for (const wchar_t *block = base + m_canchor; block < stop;) {
      const wchar_t *const end = stop - block > scan_block ? block + scan_block : stop;
      auto next = [end](const wchar_t *from, wchar_t c) {
        const wchar_t *hit = from < end ? std::wmemchr(from, c, std::size_t(end - from)) : nullptr;
        return hit ? hit : end;
      };
      const wchar_t *hit_one = next(block, m_chanchor);
      const wchar_t *hit_other = two ? next(block, m_chanchor_other) : end;
      for (;;) {
        const wchar_t *hit = hit_one < hit_other ? hit_one : hit_other;
        if (hit == end) break;
        const wchar_t *s = hit - m_canchor;
        unsigned i = 0;
        while (i < m_cprefix && (s[i] == m_ilitbegin[i] || (m_potherbegin && s[i] == m_potherbegin[i]))) ++i;
        if (i == m_cprefix) return first + (s - base);
        if (hit == hit_one) hit_one = next(hit + 1, m_chanchor);
        if (two && hit == hit_other) hit_other = next(hit + 1, m_chanchor_other);
      }
      block = end;
    }
    return last;
  }

  static unsigned low_byte(wchar_t c) { return unsigned(c) & 0xFFu; }

  pattern_iterator m_ilitbegin;
  pattern_iterator m_ilitlast;
  const wchar_t *m_potherbegin;
  const wchar_t *m_potherlast;
  unsigned m_cprefix = 0;
  unsigned m_canchor = 0;  // the scanned character's offset in the literal
  bool m_fanchor = false;  // found by the scan, else by the skip table
  wchar_t m_chanchor = 0;  // the scanned character, in its two case forms
  wchar_t m_chanchor_other = 0;
  std::uint8_t m_clastindex = 0;
  std::uint8_t m_rgskip[256];  // filled for the skip-table search only
};

}  // namespace detail
}  // namespace regex

namespace regex {
namespace detail {

// A literal that every match contains (from the pattern's main sequence):
// when it does not occur from a start position on, no match starts there or
// later. The characters are compared with case, or against either form of
// the other-case copy. Points into the pattern's text or its nodes.
struct required_literal {
  const wchar_t *m_ptext = nullptr;   // as compared exactly (upper case without case)
  const wchar_t *m_pother = nullptr;  // the other-case copy, or null
  std::uint32_t m_len = 0;

  bool present() const { return m_len != 0; }

  // First position in [first, last) where the literal lies wholly, or last.
  template <class IT>
  IT find(IT first, IT last) const {
    if (last - first < std::ptrdiff_t(m_len)) return last;
    const IT stop = last - std::ptrdiff_t(m_len - 1);
    const wchar_t c0 = m_ptext[0], o0 = m_pother ? m_pother[0] : c0;
    for (IT p = first; p != stop; ++p) {
      if (c0 == o0) {
        // One form of the first character: the library's vectorised scan.
        const wchar_t *from = std::to_address(p);
        const wchar_t *hit = std::wmemchr(from, c0, std::size_t(stop - p));
        if (!hit) return last;
        p += hit - from;
      } else if (*p != c0 && *p != o0) {
        continue;
      }
      std::uint32_t i = 1;
      while (i < m_len && (p[i] == m_ptext[i] || (m_pother && p[i] == m_pother[i]))) ++i;
      if (i == m_len) return p;
    }
    return last;
  }
};

}  // namespace detail
}  // namespace regex

// Back-references: "\n" matches, at the current position, the text that
// capturing group n captured last on the current path.
//
//   match_backref_t<ch_neq_t<wchar_t>, IT>          exact comparison
//   match_backref_t<ch_neq_nocase_t<wchar_t>, IT>   both sides through towupper
//
// The number is kept as written (counting capturing groups from 1); the
// pattern's width pass turns it into the internal group number, which also
// counts the hidden groups, and rejects a number that names no group. The
// pass may reach a node more than once, so the translation always starts
// again from the written number.
//
// A back-reference is an atom of variable width: quantifiers repeat it with
// the atom quantifiers (matcher_atoms.h), since within one run of a
// quantifier every repetition has the length of the same capture. A group
// that has not taken part in the match makes the reference fail; an empty
// capture matches the empty text anywhere.
#pragma once

#include <cstdint>

#include "platform/text/debug.h"
#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/matcher.h"
#include "utils/regex/detail/matcher_atoms.h"

namespace regex {
namespace detail {

// Character comparators: true when the two characters differ.
template <class CharT>
struct ch_neq_t {
  bool operator()(CharT a, CharT b) const { return a != b; }
};
template <class CharT>
struct ch_neq_nocase_t {
  bool operator()(CharT a, CharT b) const { return char_toupper(a) != char_toupper(b); }
};

// Turns a group number as written (capturing groups only) into the
// internal one: steps it past every hidden number not above it. The list is
// ascending.
inline void translate_group_number(std::uint32_t &n, const hidden_group_list &hidden) {
  for (unsigned h : hidden) {
    if (h > n) break;
    ++n;
  }
}

template <class IT>
class match_backref : public sub_expr<IT> {
 public:
  explicit match_backref(std::uint32_t written) : m_nwritten(written), m_nbackref(written) {}

  // Back by the length of the referenced capture: a back-reference has no
  // second choice.
  bool step_back(match_param<IT> &param) const override { return back(param); }
  bool step_back_nul(match_param<IT> &param) const override { return back(param); }
  bool reads_captures() const override { return true; }

  // Translates and checks the number, then gives the referenced group's
  // width; {0, unbounded} while that group measures its own alternatives.
  node_width width_range(const width_context<IT> &wp) override {
    std::uint32_t n = m_nwritten;
    translate_group_number(n, *wp.m_phidden);
    const std::vector<match_group_base<IT> *> &table = *wp.m_pgroups;
    if (n >= table.size()) throw bad_regexpr("reference to nonexistent group");
    m_nbackref = n;
    if (!table[n]) return node_width{0, width_unbounded};
    return table[n]->width_range(wp);
  }

 protected:
  const backref_tag<IT> *referenced(const match_param<IT> &param) const {
    ASSERT(this->m_nbackref < param.m_cbackrefs);
    if (m_nbackref >= param.m_cbackrefs) return nullptr;
    return &param.m_prgbackrefs[m_nbackref];
  }

 private:
  bool back(match_param<IT> &param) const {
    const backref_tag<IT> &rec = param.m_prgbackrefs[m_nbackref];
    param.m_icur -= (rec.second - rec.first);
    return false;
  }

  const std::uint32_t m_nwritten;
  std::uint32_t m_nbackref;
};

template <class C, class IT>
class match_backref_t : public atom_node<IT, match_backref_t<C, IT>, match_backref<IT>> {
 public:
  explicit match_backref_t(std::uint32_t written) : atom_node<IT, match_backref_t<C, IT>, match_backref<IT>>(written) {}

  // The captured text, character by character; pos moves only on success.
  template <bool Nul>
  bool here(const match_param<IT> &param, IT &pos, bool2type<Nul> tag) const {
    const backref_tag<IT> *rec = this->referenced(param);
    if (!rec || !rec->matched) return false;
    IT s = pos;
    for (IT g = rec->first; g != rec->second; ++g, ++s) {
      if (at_subject_end(param, s, tag) || C()(*s, *g)) return false;
    }
    pos = s;
    return true;
  }
};

}  // namespace detail
}  // namespace regex

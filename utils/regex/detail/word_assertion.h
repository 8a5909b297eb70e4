// Word assertions: zero-width nodes that test whether a position lies at the
// edge of a word. Word characters are the members of the shared word set
// (the underscore, letters and digits).
//
//   word_boundary<true>   "\b": a word begins or ends here
//   word_boundary<false>  "\B": no word edge here
//   word_start, word_stop  a word begins / ends here
#pragma once

#include <type_traits>

#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/matcher.h"

namespace regex {
namespace detail {

// Word predicates over (character before is a word character, character at
// the position is one).
template <bool Boundary>
struct word_boundary {
  bool operator()(bool previous, bool current) const { return Boundary ? previous != current : previous == current; }
};
struct word_start {
  bool operator()(bool previous, bool current) const { return !previous && current; }
};
struct word_stop {
  bool operator()(bool previous, bool current) const { return previous && !current; }
};

template <class IT, class W>
class word_assertion_t : public assertion<IT> {
 public:
  word_assertion_t() : m_pwordchars(intrinsic_charsets::get_word_charset()) {}

  bool match_chain(match_param<IT> &param, IT pos) const override {
    return test(param, pos, bounded_tag()) && this->match_next(param, pos);
  }
  bool match_chain_nul(match_param<IT> &param, IT pos) const override {
    return test(param, pos, nul_tag()) && this->match_next_nul(param, pos);
  }
  bool step_forward(match_param<IT> &param) const override {
    param.m_pnext = this->next;
    return test(param, param.m_icur, bounded_tag());
  }
  bool step_forward_nul(match_param<IT> &param) const override {
    param.m_pnext = this->next;
    return test(param, param.m_icur, nul_tag());
  }
  bool match_here(match_param<IT> &param, IT &pos) const override { return test(param, pos, bounded_tag()); }
  bool match_here_nul(match_param<IT> &param, IT &pos) const override { return test(param, pos, nul_tag()); }
  bool is_word_boundary() const override { return std::is_same_v<W, word_boundary<true>>; }

 private:
  template <bool Nul>
  bool test(const match_param<IT> &param, IT pos, bool2type<Nul> tag) const {
    const bool current = !at_subject_end(param, pos, tag) && m_pwordchars->in(*pos);
    const bool previous = pos != param.m_ibegin && m_pwordchars->in(*(pos - 1));
    return W()(previous, current);
  }

  const charset *m_pwordchars;
};

}  // namespace detail
}  // namespace regex

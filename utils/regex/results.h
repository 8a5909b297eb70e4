// What a match leaves: the record of each group (backref_tag) and the
// results objects of match and substitute.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace regex {
namespace detail {

// Process-wide singular position: the position of empty records.
template <class IT>
inline const IT null_position{};

// A position with a flag that tells whether it is set.
template <class IT>
struct smart_iter {
  IT m_iter;
  bool m_valid;

  smart_iter() : m_iter(null_position<IT>), m_valid(false) {}
  smart_iter(const IT &it) : m_iter(it), m_valid(true) {}

  smart_iter &operator=(const IT &it) {
    m_iter = it;
    m_valid = true;
    return *this;
  }
  bool operator==(const smart_iter &that) const {
    return m_valid == that.m_valid && (!m_valid || m_iter == that.m_iter);
  }
  bool operator!=(const smart_iter &that) const { return !(*this == that); }
};

template <class IT>
inline const smart_iter<IT> null_smart_iter{};

// The loop positions of a record: a smart_iter, or a plain pointer (null for
// no position) in the pointer instantiation.
template <class IT>
struct loop_mark_type {
  typedef smart_iter<IT> type;
};
template <>
struct loop_mark_type<const wchar_t *> {
  typedef const wchar_t *type;
};

}  // namespace detail

// The record of one group: the text it captured last and the state of its
// current attempt.
template <class IT>
struct backref_tag : public std::pair<IT, IT> {
  typedef typename detail::loop_mark_type<IT>::type mark_type;

  bool matched;
  IT pending_start;
  std::uint32_t loop_count;
  bool loop_more;
  mark_type loop_prev_mark;
  mark_type loop_mark;

  backref_tag()
      : std::pair<IT, IT>(detail::null_position<IT>, detail::null_position<IT>),
        matched(false),
        pending_start(detail::null_position<IT>),
        loop_count(0),
        loop_more(false),
        loop_prev_mark(),
        loop_mark() {}
  backref_tag(const IT &f, const IT &s)
      : std::pair<IT, IT>(f, s),
        matched(false),
        pending_start(f),
        loop_count(0),
        loop_more(false),
        loop_prev_mark(),
        loop_mark() {}

  // The captured text; empty when the group did not take part.
  std::wstring str() const { return matched ? std::wstring(this->first, this->second) : std::wstring(); }

  // Takes the attempt's state from `other`, keeping this record's capture.
  void take_attempt_state(const backref_tag &other) {
    pending_start = other.pending_start;
    loop_count = other.loop_count;
    loop_more = other.loop_more;
    loop_prev_mark = other.loop_prev_mark;
    loop_mark = other.loop_mark;
  }
};

// The records of the last match call: record 0 is the whole match, record n
// the n-th capturing group; m_ibegin is the beginning of the range searched.
template <class IT>
struct basic_match_results {
  typedef backref_tag<IT> backref_type;

  std::vector<backref_type> m_records;
  IT m_ibegin{};

  virtual ~basic_match_results() {}

  // Offset of group n's text from m_ibegin, and its length (matched groups).
  std::size_t group_position(std::size_t n) const { return std::size_t(m_records.at(n).first - m_ibegin); }
  std::size_t group_length(std::size_t n) const { return std::size_t(m_records.at(n).second - m_records.at(n).first); }
};

// Results of a substitution: m_ptext is the text the records refer to.
template <class IT>
struct basic_subst_results : public basic_match_results<IT> {
  std::wstring m_text;
  const std::wstring *m_ptext;

  basic_subst_results() : m_ptext(&m_text) {}
  basic_subst_results(const basic_subst_results &that)
      : basic_match_results<IT>(that),
        m_text(that.m_text),
        m_ptext(that.m_ptext == &that.m_text ? &m_text : that.m_ptext) {}
  basic_subst_results &operator=(const basic_subst_results &that) {
    basic_match_results<IT>::operator=(that);
    m_text = that.m_text;
    m_ptext = that.m_ptext == &that.m_text ? &m_text : that.m_ptext;
    return *this;
  }
  ~basic_subst_results() override {}

  const std::wstring &result_text() const { return *m_ptext; }
};

typedef basic_match_results<std::wstring::const_iterator> match_results;
typedef basic_subst_results<std::wstring::const_iterator> subst_results;

}  // namespace regex

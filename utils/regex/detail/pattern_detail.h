// Pieces of the pattern layer that its callers never see: the parsed
// substitution text, the escape expansion, range arithmetic and the removal
// of hidden groups' records. Included by pattern.h only.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "utils/regex/detail/basics.h"
#include "utils/regex/detail/matcher.h"

namespace regex {
namespace detail {

// One piece of a parsed substitution text.
struct subst_node {
  enum subst_type { SUBST_STRING = 0, SUBST_GROUP = 1, SUBST_CASE = 2 };
  struct string_piece {
    std::size_t m_rstart;   // offset in the substitution text
    std::size_t m_rlength;  // length in characters
  };

  subst_type m_stype;
  union {
    string_piece m_subst_string;  // SUBST_STRING
    int m_subst_backref;          // SUBST_GROUP
    unsigned m_op;                // SUBST_CASE: the case token
  };
};

// Expands the escapes of a substitution text in place: \a \e \f \n \r \t \v
// become control characters, four backslashes become two, and every other
// escape stays for the substitution parser.
void expand_escapes(std::wstring &text);

// End offset of the range [pos, pos + len) of a subject of the given size,
// cut at the subject's end; a pos beyond the subject throws std::out_of_range.
inline std::size_t range_end(std::size_t size, std::size_t pos, std::size_t len) {
  if (pos > size) throw std::out_of_range("regex: start position beyond the subject");
  // Compared as a remaining length, so a huge len cannot wrap around.
  return len < size - pos ? pos + len : size;
}

// Drops the records of the hidden groups, keeping record 0 and the
// capturing groups in group order.
template <class IT>
void remove_hidden_groups(std::vector<backref_tag<IT>> &records, const hidden_group_list &hidden) {
  if (hidden.empty() || records.empty()) return;
  if (records[0].matched) {
    for (std::size_t i = 0; i < hidden.size(); ++i) {
      const std::size_t h = hidden[i];
      const std::size_t stop = i + 1 < hidden.size() ? hidden[i + 1] : records.size();
      for (std::size_t k = h + 1; k < stop && k < records.size(); ++k) records[k - (i + 1)] = records[k];
    }
  }
  records.resize(records.size() > hidden.size() ? records.size() - hidden.size() : 0);
}

}  // namespace detail
}  // namespace regex

// The split driver: cuts a range of a subject at the matches of a pattern.
#include <string>
#include <vector>

#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"

namespace regex {

template <class IT, class SyntaxT>
std::size_t detail::basic_rpattern_base<IT, SyntaxT>::split(const std::wstring &subject,
                                                            std::vector<std::wstring> &pieces, int limit,
                                                            std::size_t pos,
                                                            std::size_t len) const requires string_subject {
  const std::size_t end = detail::range_end(subject.size(), pos, len);
  return split(subject.begin() + std::ptrdiff_t(pos), subject.begin() + std::ptrdiff_t(end), pieces, limit);
}

template <class IT, class SyntaxT>
std::size_t detail::basic_rpattern_base<IT, SyntaxT>::split(IT ibegin, IT iend, std::vector<std::wstring> &pieces,
                                                            int limit) const requires string_subject {
  pieces.clear();
  pieces.reserve(10);
  std::vector<backref_type> records;
  param_type param(ibegin, ibegin, iend, nullptr, 0);
  match_stack stack(detail::search_stack_block);
  param.m_pkept_stack = &stack;
  IT start = ibegin;  // where the next piece begins and the next search starts
  while (limit != 1) {
    param.m_istart = start;
    if (!match_guarded(param, records, false)) break;
    const backref_type &whole = records[0];
    // The next search may not end empty where this match ended empty.
    param.m_fno_empty_match = whole.first == whole.second;
    if (param.m_fno_empty_match) {
      if (whole.first == ibegin) continue;  // no empty first piece before an empty match
      if (start == iend) break;
    }
    pieces.emplace_back(start, whole.first);
    start = whole.second;
    for (std::size_t i = 1; i < records.size(); ++i)
      if (records[i].matched) pieces.emplace_back(records[i].first, records[i].second);
    if (limit > 0) --limit;
  }
  if (start != iend || limit != 0) pieces.emplace_back(start, iend);
  if (limit == 0)
    while (!pieces.empty() && pieces.back().empty()) pieces.pop_back();
  return pieces.size();
}

template std::size_t detail::basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>::split(
    const std::wstring &, std::vector<std::wstring> &, int, std::size_t, std::size_t) const;
template std::size_t detail::basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>::split(
    std::wstring::const_iterator, std::wstring::const_iterator, std::vector<std::wstring> &, int) const;

}  // namespace regex

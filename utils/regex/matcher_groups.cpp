// The group loops that match_group::make_quantifier builds, for both
// subject position types.
#include "utils/regex/detail/matcher_groups.h"

#include <string>

namespace regex {
namespace detail {

template sub_expr<std::wstring::const_iterator> *make_group_quantifier<std::wstring::const_iterator>(
    match_group_base<std::wstring::const_iterator> *, std::uint32_t, std::uint32_t, bool, arena_allocator<char> &);
template sub_expr<const wchar_t *> *make_group_quantifier<const wchar_t *>(match_group_base<const wchar_t *> *,
                                                                           std::uint32_t, std::uint32_t, bool,
                                                                           arena_allocator<char> &);

}  // namespace detail
}  // namespace regex

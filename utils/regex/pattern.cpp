#include "utils/regex/regex.h"

#include <cstddef>
#include <new>

#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"

namespace regex {

namespace detail {

void throw_step_budget_exceeded() { throw search_budget_exceeded("regex: search step budget exceeded"); }

void check_recursion_budget(unsigned depth) {
  if (depth > recursion_depth_limit || platform::stack_headroom() < recursion_stack_margin) {
    --t_recursion_depth;
    throw recursion_budget_spent();
  }
}

void expand_escapes(std::wstring &text) {
  std::size_t i = 0;
  while ((i = text.find(L'\\', i)) != std::wstring::npos && i + 1 < text.size()) {
    wchar_t control = 0;
    switch (text[i + 1]) {
      case L'\\':
        if (i + 3 < text.size() && text[i + 2] == L'\\' && text[i + 3] == L'\\') text.erase(i, 2);
        i += 2;
        continue;
      case L'a':
        control = 7;
        break;
      case L'e':
        control = 27;
        break;
      case L'f':
        control = 12;
        break;
      case L'n':
        control = 10;
        break;
      case L'r':
        control = 13;
        break;
      case L't':
        control = 9;
        break;
      case L'v':
        control = 11;
        break;
      default:
        i += 2;  // left for the substitution parser
        continue;
    }
    text.replace(i, 2, 1, control);
    i += 1;
  }
}

}  // namespace detail

template class detail::basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>;
template class detail::basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>>;

template <class IT, class SyntaxT>
basic_rpattern<IT, SyntaxT>::basic_rpattern(const std::wstring &pat, pattern_flags flags, match_mode mode) {
  static_assert(sizeof(engine) <= engine_size && alignof(engine) <= alignof(std::max_align_t),
                "basic_rpattern::engine_size must hold the compiled pattern");
  ::new (static_cast<void *>(m_engine)) engine(pat, flags, mode);
}

template <class IT, class SyntaxT>
basic_rpattern<IT, SyntaxT>::basic_rpattern(const std::wstring &pat, const std::wstring &subst, pattern_flags flags,
                                            match_mode mode) {
  ::new (static_cast<void *>(m_engine)) engine(pat, subst, flags, mode);
}

template <class IT, class SyntaxT>
basic_rpattern<IT, SyntaxT>::~basic_rpattern() {
  get().~engine();
}

template <class IT, class SyntaxT>
typename basic_rpattern<IT, SyntaxT>::engine &basic_rpattern<IT, SyntaxT>::get() noexcept {
  return *std::launder(reinterpret_cast<engine *>(m_engine));
}

template <class IT, class SyntaxT>
const typename basic_rpattern<IT, SyntaxT>::engine &basic_rpattern<IT, SyntaxT>::get() const noexcept {
  return *std::launder(reinterpret_cast<const engine *>(m_engine));
}

// A new pattern is compiled on the side and swapped in: a failure leaves the
// old one as it was.
template <class IT, class SyntaxT>
void basic_rpattern<IT, SyntaxT>::init(const std::wstring &pat, pattern_flags flags, match_mode mode) {
  engine side(pat, flags, mode);
  get().swap(side);
}

template <class IT, class SyntaxT>
void basic_rpattern<IT, SyntaxT>::init(const std::wstring &pat, const std::wstring &subst, pattern_flags flags,
                                       match_mode mode) {
  engine side(pat, subst, flags, mode);
  get().swap(side);
}

template <class IT, class SyntaxT>
void basic_rpattern<IT, SyntaxT>::set_substitution(const std::wstring &subst) {
  get().set_substitution(subst);
}

template <class IT, class SyntaxT>
void basic_rpattern<IT, SyntaxT>::swap(basic_rpattern &that) noexcept {
  get().swap(that.get());
}

template <class IT, class SyntaxT>
const typename basic_rpattern<IT, SyntaxT>::backref_type &basic_rpattern<IT, SyntaxT>::match(
    const std::wstring &subject, results_type &results, std::size_t pos, std::size_t len) const {
  return get().match(subject, results, pos, len);
}

template <class IT, class SyntaxT>
const typename basic_rpattern<IT, SyntaxT>::backref_type &basic_rpattern<IT, SyntaxT>::match(
    IT ibegin, IT iend, results_type &results) const {
  return get().match(ibegin, iend, results);
}

template <class IT, class SyntaxT>
std::size_t basic_rpattern<IT, SyntaxT>::substitute(std::wstring &subject, subst_results_type &results, std::size_t pos,
                                                    std::size_t len) const {
  return get().substitute(subject, results, pos, len);
}

template <class IT, class SyntaxT>
std::size_t basic_rpattern<IT, SyntaxT>::split(const std::wstring &subject, std::vector<std::wstring> &pieces,
                                               int limit, std::size_t pos, std::size_t len) const {
  return get().split(subject, pieces, limit, pos, len);
}

template <class IT, class SyntaxT>
std::size_t basic_rpattern<IT, SyntaxT>::split(IT ibegin, IT iend, std::vector<std::wstring> &pieces, int limit) const {
  return get().split(ibegin, iend, pieces, limit);
}

template <class IT, class SyntaxT>
pattern_flags basic_rpattern<IT, SyntaxT>::flags() const {
  return get().flags();
}

template <class IT, class SyntaxT>
match_mode basic_rpattern<IT, SyntaxT>::mode() const {
  return get().mode();
}

template <class IT, class SyntaxT>
unsigned basic_rpattern<IT, SyntaxT>::visible_group_count() const {
  return get().visible_group_count();
}

template <class IT, class SyntaxT>
const std::wstring &basic_rpattern<IT, SyntaxT>::pattern_text() const {
  return get().pattern_text();
}

template <class IT, class SyntaxT>
const std::wstring &basic_rpattern<IT, SyntaxT>::substitution() const {
  return get().substitution();
}

template <class IT, class SyntaxT>
std::uint64_t basic_rpattern<IT, SyntaxT>::step_budget() const {
  return get().step_budget();
}

template <class IT, class SyntaxT>
void basic_rpattern<IT, SyntaxT>::set_step_budget(std::uint64_t steps) {
  get().set_step_budget(steps);
}

template class basic_rpattern<std::wstring::const_iterator, perl_syntax<wchar_t>>;

}  // namespace regex

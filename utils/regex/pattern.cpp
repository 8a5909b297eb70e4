#include "utils/regex/detail/pattern.h"

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

template class basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>;
template class basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>>;

}  // namespace regex

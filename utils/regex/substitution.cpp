// The substitution text parser, the replacement builder and the
// substitution driver.
//
// A substitution text is parsed once, when the pattern gets it, into a list
// of pieces: literal runs (offsets into the text), group references ($n, $&,
// $`, $') and case escapes (\U \L \u \l \E). The driver matches over the
// subject as it was and builds the new subject on the side.
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/node_factory.h"
#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"

namespace regex {

namespace {

detail::subst_node string_piece(std::size_t start, std::size_t length) {
  detail::subst_node node;
  node.m_stype = detail::subst_node::SUBST_STRING;
  node.m_subst_string = {start, length};
  return node;
}

detail::subst_node group_piece(int group) {
  detail::subst_node node;
  node.m_stype = detail::subst_node::SUBST_GROUP;
  node.m_subst_backref = group;
  return node;
}

detail::subst_node case_piece(token_kind op) {
  detail::subst_node node;
  node.m_stype = detail::subst_node::SUBST_CASE;
  node.m_op = unsigned(op);
  return node;
}

// Group numbers of $`, $' in a group piece.
constexpr int prefix_group = -1;
constexpr int suffix_group = -2;

// The literal run being collected; flushed into the list before any other piece.
struct pending_run {
  std::size_t start = 0;
  std::size_t length = 0;

  void flush(std::list<detail::subst_node> &list) {
    if (length != 0) list.push_back(string_piece(start, length));
    length = 0;
  }
  void restart(std::size_t at) {
    start = at;
    length = 0;
  }
};

// Case conversion of the builder: a range conversion (\U, \L) in force
// until \E, and a one-character conversion (\u, \l) that waits for the
// first character inserted after it.
struct case_state {
  unsigned range = 0;  // TK_SUB_UPPER, TK_SUB_LOWER or 0
  unsigned one = 0;    // TK_SUB_UPPER_ONE, TK_SUB_LOWER_ONE or 0

  void apply(unsigned op) {
    switch (op) {
      case TK_SUB_UPPER:
      case TK_SUB_LOWER:
        range = op;
        break;
      case TK_SUB_CASE_END:
        range = 0;
        break;
      default:
        one = op;
        break;
    }
  }

  // Converts the piece just appended, out[from, end).
  void convert(std::wstring &out, std::size_t from) {
    if (from == out.size()) return;  // an empty piece: the pending \u or \l waits
    if (range == TK_SUB_UPPER) detail::range_toupper(out.begin() + std::ptrdiff_t(from), out.end());
    if (range == TK_SUB_LOWER) detail::range_tolower(out.begin() + std::ptrdiff_t(from), out.end());
    if (one == TK_SUB_UPPER_ONE) out[from] = detail::char_toupper(out[from]);
    if (one == TK_SUB_LOWER_ONE) out[from] = detail::char_tolower(out[from]);
    one = 0;
  }
};

// Appends the template's expansion for the match held in results.m_records
// to out. The records refer to results.result_text().
template <class IT>
void build_replacement(const std::list<detail::subst_node> &list, const std::wstring &subst,
                       const basic_subst_results<IT> &results, std::wstring &out) {
  const std::wstring &text = results.result_text();
  const auto offset = [&](IT p) { return std::size_t(p - IT(text.begin())); };
  const backref_tag<IT> &whole = results.m_records[0];
  case_state cases;
  for (const detail::subst_node &node : list) {
    const std::size_t from = out.size();
    switch (node.m_stype) {
      case detail::subst_node::SUBST_CASE:
        cases.apply(node.m_op);
        continue;
      case detail::subst_node::SUBST_STRING:
        out.append(subst, node.m_subst_string.m_rstart, node.m_subst_string.m_rlength);
        break;
      case detail::subst_node::SUBST_GROUP:
        if (node.m_subst_backref == prefix_group) {
          out.append(text, 0, offset(whole.first));
        } else if (node.m_subst_backref == suffix_group) {
          out.append(text, offset(whole.second), std::wstring::npos);
        } else {
          const backref_tag<IT> &group = results.m_records.at(std::size_t(node.m_subst_backref));
          if (group.matched) out.append(group.first, group.second);
        }
        break;
    }
    cases.convert(out, from);
  }
}

}  // namespace

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::parse_substitution(const std::wstring &subst, bool &backrefs,
                                                                  typename impl::subst_list_type &list) const {
  SyntaxT syntax(this->m_flags);
  // The highest group number a $n may name.
  const std::uint32_t highest = this->m_plan.m_cvisible_groups > 0 ? this->m_plan.m_cvisible_groups - 1 : 0;
  const auto begin = subst.begin();
  const auto at = [&](std::wstring::const_iterator p) { return std::size_t(p - begin); };
  backrefs = false;
  list.clear();
  pending_run pending;
  const auto add_group = [&](int group, std::wstring::const_iterator after) {
    backrefs = true;
    pending.flush(list);
    list.push_back(group_piece(group));
    pending.restart(at(after));
  };
  for (auto p = subst.begin(); p != subst.end();) {
    const token_kind token = syntax.substitution_token(p, subst.end());
    switch (token) {
      case TK_NONE:
        ++pending.length;
        ++p;
        break;
      case TK_SUB_DOLLAR: {
        const std::uint32_t n = detail::read_decimal(p, subst.end(), highest);
        if (n == 0) throw bad_regexpr("invalid backreference in substitution");
        add_group(int(n), p);
        break;
      }
      case TK_SUB_WHOLE:
        add_group(0, p);
        break;
      case TK_SUB_PREFIX:
        add_group(prefix_group, p);
        break;
      case TK_SUB_SUFFIX:
        add_group(suffix_group, p);
        break;
      case TK_SUB_ESCAPED:
        if (p == subst.end()) throw bad_regexpr("expecting escape sequence in substitution string");
        pending.flush(list);
        pending.start = at(p);
        pending.length = 1;
        ++p;
        break;
      case TK_SUB_QUOTE: {
        pending.flush(list);
        const std::size_t quote_start = at(p);
        std::size_t quote_end = quote_start;
        bool closed = false;
        while (p != subst.end()) {
          const token_kind quoted = syntax.substitution_token(p, subst.end());
          if (quoted == TK_SUB_CASE_END) {
            closed = true;
            break;
          }
          if (quoted == TK_NONE) ++p;  // every other token took its characters
          quote_end = at(p);
        }
        if (quote_end > quote_start) list.push_back(string_piece(quote_start, quote_end - quote_start));
        if (closed) list.push_back(case_piece(TK_SUB_CASE_END));
        pending.restart(at(p));
        break;
      }
      case TK_SUB_UPPER:
      case TK_SUB_UPPER_ONE:
      case TK_SUB_LOWER:
      case TK_SUB_LOWER_ONE:
      case TK_SUB_CASE_END:
        pending.flush(list);
        list.push_back(case_piece(token));
        pending.restart(at(p));
        break;
      default:
        ASSERT(false);
        break;
    }
  }
  pending.flush(list);
}

template <class IT, class SyntaxT>
std::size_t detail::basic_rpattern_base<IT, SyntaxT>::substitute(std::wstring &subject, subst_results_type &results,
                                                                 std::size_t pos,
                                                                 std::size_t len) const requires string_subject {
  const std::size_t end = detail::range_end(subject.size(), pos, len);
  if (this->keep_group_records()) {
    results.m_text = subject;
    results.m_ptext = &results.m_text;
  } else {
    results.m_ptext = &subject;
  }
  const std::wstring &text = *results.m_ptext;
  results.m_ibegin = text.begin();
  param_type param(text.begin() + std::ptrdiff_t(pos), text.begin() + std::ptrdiff_t(pos),
                   text.begin() + std::ptrdiff_t(end), nullptr, 0);

  // The new subject: the text between the matches and the replacements.
  std::wstring out;
  out.reserve(subject.size());
  std::size_t copied = 0;
  const auto replace_match = [&]() {
    const backref_type &whole = results.m_records[0];
    const std::size_t mstart = std::size_t(whole.first - text.begin());
    out.append(text, copied, mstart - copied);
    build_replacement(this->m_subst_list, this->substitution(), results, out);
    copied = mstart + std::size_t(whole.second - whole.first);
  };

  std::size_t count = 0;
  if (!(this->m_flags & ALLMATCHES)) {
    if (match_guarded(param, results.m_records, false)) {
      count = 1;
      replace_match();
    }
  } else {
    match_all(param, results.m_records, false, [&] {
      ++count;
      replace_match();
    });
  }
  if (count != 0) {
    out.append(text, copied, std::wstring::npos);
    // Without kept records text is the subject itself; the records go
    // with DISCARDGROUPS below, so nothing refers to the old buffer.
    subject.swap(out);
  }
  results.m_ibegin = results.m_ptext->begin();
  if (this->m_flags & DISCARDGROUPS) results.m_records.clear();
  return count;
}

template void detail::basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>::parse_substitution(
    const std::wstring &, bool &, subst_list_type &) const;
template void detail::basic_rpattern_base<const wchar_t *, perl_syntax<wchar_t>>::parse_substitution(
    const std::wstring &, bool &, subst_list_type &) const;
template std::size_t detail::basic_rpattern_base<std::wstring::const_iterator, perl_syntax<wchar_t>>::substitute(
    std::wstring &, subst_results_type &, std::size_t, std::size_t) const;

}  // namespace regex

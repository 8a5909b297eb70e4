// The Perl-syntax pattern parser: groups and extensions, atoms and escapes,
// literal runs and quantifiers, and the compilation that drives them.
//
// parse_group and parse_atom call each other, one level per nesting of
// parentheses, up to max_group_nesting levels and while the thread's stack
// has room; deeper nesting is a pattern error. Every node comes from the
// pattern's arena and is kept in an owning holder until it is appended to a
// group; when a parse throws, the holders destroy their unfinished nodes and
// the pattern's destructor releases the arena.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/system/stack_limit.h"
#include "utils/regex/detail/charset.h"
#include "utils/regex/detail/matcher_groups.h"
#include "utils/regex/detail/node_factory.h"
#include "utils/regex/detail/pattern.h"
#include "utils/regex/detail/syntax.h"

namespace regex {

namespace {

constexpr std::uint32_t no_count = 0xFFFFFFFFu;

// Groups nested deeper than this (inside the whole pattern's group), or than
// the stack has room for, make the pattern an error. The width pass, the start analysis and the destructors
// walk the same nesting recursively, each in less stack than the parser.
constexpr unsigned max_group_nesting = 1000;
constexpr std::size_t parser_stack_margin = 256 * 1024;

// Counts one level of group nesting for the duration of a group's parse.
class nesting_scope {
 public:
  explicit nesting_scope(unsigned &depth) : m_depth(depth) {
    if (m_depth > max_group_nesting || platform::stack_headroom() < parser_stack_margin)
      throw bad_regexpr("parentheses nested too deeply");
    ++m_depth;
  }
  ~nesting_scope() { --m_depth; }
  nesting_scope(const nesting_scope &) = delete;
  nesting_scope &operator=(const nesting_scope &) = delete;

 private:
  unsigned &m_depth;
};

bool is_letter_or_digit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

bool is_simple_quantifier(token_kind t) {
  return t == TK_STAR || t == TK_PLUS || t == TK_QUESTION || t == TK_STAR_LAZY || t == TK_PLUS_LAZY ||
         t == TK_QUESTION_LAZY;
}

// A brace count: a digit still standing after the reader stopped means the
// written count does not fit below 0xFFFFFFFF, the value that stands for
// "unbounded".
template <class IterT>
std::uint32_t read_count(IterT &p, IterT end) {
  const std::uint32_t value = detail::read_decimal(p, end, no_count);
  if (value == no_count || (p != end && *p >= L'0' && *p <= L'9')) throw bad_regexpr("count too large in {n, m}");
  return value;
}

}  // namespace

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::compile(pattern_flags flags) {
  this->m_plan.m_cgroups_total = 0;
  // The thread's group table serves one compilation after another (none
  // nests in another), so compiling allocates nothing for it; a large one
  // is given back afterwards.
  thread_local group_table t_groups;
  struct scratch {
    group_table &table;
    ~scratch() {
      if (table.capacity() > 256)
        group_table().swap(table);
      else
        table.clear();
    }
  } release{t_groups};
  compile_state cs(t_groups);
  pattern_iterator ipat = this->m_pattern->begin();
  SyntaxT syntax(flags);
  // A failed compilation leaves the arena to the pattern's destructor.
  detail::node_holder<IT> holder(parse_group(ipat, nullptr, syntax, cs));
  *holder->next_link() = new (this->m_arena) detail::end_of_pattern<IT>();
  assign_memo_points(cs);
  ASSERT(0 == this->m_plan.m_pfirst);
  this->m_plan.m_pfirst = static_cast<detail::match_group_base<IT> *>(holder.release());
  this->m_plan.m_width = this->m_plan.m_pfirst->top_width_range(cs.groups, this->m_plan.m_hidden_groups);
  this->m_plan.m_funanchored = true;
  analyse_start(cs);

  // The tests read the text as written, with the object's flags: only a
  // literal '^' or '.' as the very first token counts.
  const std::wstring &text = *this->m_pattern;
  if (text.empty() || this->m_plan.m_pfirst->alternative_count() != 1) return;
  const SyntaxT plain(this->m_flags);
  std::wstring::const_iterator it = text.begin();
  if (plain.pattern_token(it, text.cend()) == TK_LINE_START) {
    if (this->m_flags & LINEANCHORS) {
      this->m_plan.m_fline_start = true;
    } else {
      this->m_flags &= ~RIGHTMOST;
      this->m_plan.m_funanchored = false;
    }
  }
  it = text.begin();
  if (!(this->m_flags & RIGHTMOST) && (this->m_flags & DOTALL) && plain.pattern_token(it, text.cend()) == TK_ANY_CHAR &&
      it != text.cend()) {
    const token_kind q = plain.quantifier_token(it, text.cend());
    if (q == TK_PLUS || q == TK_STAR || q == TK_PLUS_LAZY || q == TK_STAR_LAZY) this->m_plan.m_funanchored = false;
  }
}

namespace {

// The longest literal of the sequence from `first` that every match of it
// contains: literal atoms, atoms repeated at least once, and the insides of
// groups with one alternative that must match (also as the first iteration
// of a loop). `skip` is the leading literal the searcher already finds.
template <class IT>
void gather_required(const detail::sub_expr<IT> *first, const wchar_t *skip, detail::required_literal &best,
                     unsigned depth) {
  for (const detail::sub_expr<IT> *n = first; n && n->get_next(); n = n->get_next()) {
    const detail::sub_expr<IT> *node = n->required_atom() ? n->required_atom() : n;
    const detail::required_literal lit = node->literal();
    if (lit.present()) {
      if (lit.m_ptext != skip && lit.m_len > best.m_len) best = lit;
    } else if (const detail::sub_expr<IT> *body = node->must_match_body(); body && depth < 64) {
      gather_required<IT>(body, skip, best, depth + 1);
    }
  }
}

}  // namespace

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::analyse_start(compile_state &cs) {
  cs.atom_loops.each([](detail::sub_expr<IT> *q) { q->settle(); });
  // A pattern with a leading literal is searched with the literal searcher.
  detail::first_chars fc;
  if (!this->m_plan.m_psearcher) this->m_plan.m_pfirst->scan_first(fc);
  if (!this->m_plan.m_psearcher && !fc.can_end && !fc.admits_all()) {
    auto *set = static_cast<detail::start_set *>(
        this->m_arena.allocate_bytes(sizeof(detail::start_set), alignof(detail::start_set)));
    fc.freeze(*set, [this](std::size_t n) {
      return static_cast<detail::code_range *>(
          this->m_arena.allocate_bytes(n * sizeof(detail::code_range), alignof(detail::code_range)));
    });
    this->m_plan.m_pstart_set = set;
  }
  if (this->m_plan.m_pfirst->alternative_count() == 1) {
    const detail::sub_expr<IT> *head = *this->m_plan.m_pfirst->alternates().begin();
    const wchar_t *skip = this->m_plan.m_psearcher ? this->m_plan.m_psearcher->literal_begin() : nullptr;
    gather_required<IT>(head, skip, this->m_plan.m_required, 0);
    this->m_plan.m_fword_edge = head->is_word_boundary();
    // A failed start inside a leading run fails as the run's first did,
    // where only the position can tell attempts apart.
    if (cs.position_only && head->inner_starts_fail()) this->m_plan.m_plead_run = head;
  }
  // What the fixed-width beginning of every match holds, offset by offset;
  // offset 0 is the start set's, so only the later offsets are kept.
  detail::fixed_prefix sets;
  if (this->m_plan.m_pstart_set) this->m_plan.m_pfirst->fixed_sets(sets);
  if (sets.size() >= 2) {
    auto *prefix = static_cast<detail::start_set *>(
        this->m_arena.allocate_bytes((sets.size() - 1) * sizeof(detail::start_set), alignof(detail::start_set)));
    for (std::size_t i = 1; i < sets.size(); ++i)
      sets[i].freeze(prefix[i - 1], [this](std::size_t n) {
        return static_cast<detail::code_range *>(
            this->m_arena.allocate_bytes(n * sizeof(detail::code_range), alignof(detail::code_range)));
      });
    this->m_plan.m_pprefix = prefix;
    this->m_plan.m_cprefix = sets.size();
  }
}

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::assign_memo_points(compile_state &cs) {
  if (!cs.position_only) return;
  unsigned points = 0;
  for (const typename compile_state::loop &l : cs.loops) {
    if (l.behind || l.node->max_count() != detail::width_unbounded) continue;
    bool unbounded = true;
    for (const detail::group_quantifier<IT> *e : l.enclosing)
      unbounded = unbounded && e->max_count() == detail::width_unbounded;
    if (!unbounded) continue;
    typedef const detail::group_quantifier<IT> *loop_ptr;
    loop_ptr *around = nullptr;
    if (!l.enclosing.empty()) {
      around = static_cast<loop_ptr *>(
          this->m_arena.allocate_bytes(l.enclosing.size() * sizeof(loop_ptr), alignof(loop_ptr)));
      std::copy(l.enclosing.begin(), l.enclosing.end(), around);
    }
    l.node->set_memo_point(int(points++), around, unsigned(l.enclosing.size()));
  }
  this->m_plan.m_cmemo_points = points;
}

template <class IT, class SyntaxT>
detail::match_group_base<IT> *detail::basic_rpattern_base<IT, SyntaxT>::parse_group(
    pattern_iterator &ipat, detail::match_group_base<IT> *enclosing, SyntaxT &syntax, compile_state &cs) {
  const nesting_scope nesting(cs.depth);
  const std::size_t loops_before = cs.loops.size();
  std::wstring &text = *this->m_pattern;
  const bool at_start = ipat == text.begin();
  const pattern_flags saved = syntax.get_flags();
  const unsigned first = this->_cgroups_total();
  bool conditional = false;

  const token_kind ext = ipat != text.end() ? syntax.extension_token(ipat, text.end()) : TK_NONE;
  detail::node_holder<IT> node;
  if (ext != TK_NONE) {
    if (at_start || ipat == text.end()) throw bad_regexpr("ill-formed regular expression");
    pattern_iterator peek = ipat;
    // A look-around read as a condition (no enclosing group) is built
    // even with an empty body, so the condition has its node.
    if (enclosing && syntax.pattern_token(peek, text.end()) == TK_GROUP_CLOSE) {
      // An empty extension adds no group; a modifier run keeps its
      // flags to the end of the enclosing group.
      if (ext == TK_EXT_RECURSION) {
        enclosing->append_node(detail::make_recursion_node<IT>(this->m_arena));
        this->m_plan.m_fauto_recursive = false;
        cs.position_only = false;
      } else if (ext == TK_EXT_NOT_AHEAD || ext == TK_EXT_NOT_BEHIND) {
        // An empty body is always there, so its negation never holds.
        enclosing->append_node(detail::make_fail_node<IT>(this->m_arena));
      }
      ipat = peek;
      return nullptr;
    }
    switch (ext) {
      case TK_EXT_GROUP:
        this->m_plan.m_hidden_groups.push_back(this->_cgroups_total());
        node.reset(new (this->m_arena) detail::match_group<IT>(int(this->next_group_number()), this->m_arena));
        break;
      case TK_EXT_ATOMIC:
        this->m_plan.m_hidden_groups.push_back(this->_cgroups_total());
        node.reset(new (this->m_arena) detail::independent_group<IT>(int(this->next_group_number()), this->m_arena));
        break;
      case TK_EXT_AHEAD:
      case TK_EXT_NOT_AHEAD:
        node.reset(new (this->m_arena) detail::lookahead_assertion<IT>(ext == TK_EXT_AHEAD, this->m_arena));
        break;
      case TK_EXT_BEHIND:
      case TK_EXT_NOT_BEHIND:
        node.reset(new (this->m_arena) detail::lookbehind_assertion<IT>(ext == TK_EXT_BEHIND, this->m_arena));
        break;
      case TK_EXT_CONDITIONAL: {
        // The '(' of the condition came with the "(?".
        conditional = true;
        const std::uint32_t n = detail::read_decimal(ipat, text.end(), no_count);
        pattern_iterator close = ipat;
        if (n != 0 && ipat != text.end() && syntax.pattern_token(close, text.end()) == TK_GROUP_CLOSE) {
          ipat = close;
          cs.position_only = false;
          this->m_plan.m_hidden_groups.push_back(this->_cgroups_total());
          node.reset(detail::make_backref_conditional_node<IT>(int(this->next_group_number()), n, this->m_arena));
          break;
        }
        pattern_iterator look = ipat;
        SyntaxT probe = syntax;
        const token_kind cond = ipat != text.end() ? probe.extension_token(look, text.end()) : TK_NONE;
        if (cond != TK_EXT_AHEAD && cond != TK_EXT_NOT_AHEAD && cond != TK_EXT_BEHIND && cond != TK_EXT_NOT_BEHIND)
          throw bad_regexpr("bad extension sequence");
        // The look-around's ')' closes the condition; its groups are
        // numbered before the conditional group.
        detail::node_holder<IT> lookaround(parse_group(ipat, nullptr, syntax, cs));
        this->m_plan.m_hidden_groups.push_back(this->_cgroups_total());
        node.reset(
            detail::make_assertion_conditional_node<IT>(int(this->next_group_number()), lookaround, this->m_arena));
        break;
      }
      case TK_EXT_COMMENT:
        for (;;) {
          const token_kind t = syntax.pattern_token(ipat, text.end());
          if (t == TK_GROUP_CLOSE) return nullptr;
          if (t == TK_NONE && ipat != text.end()) ++ipat;
          if (ipat == text.end()) throw bad_regexpr("Expecting end of comment");
        }
      default:
        throw bad_regexpr("bad extension sequence");
    }
  } else {
    node.reset(new (this->m_arena) detail::match_group<IT>(int(this->next_group_number()), this->m_arena));
    ++this->m_plan.m_cvisible_groups;
  }

  detail::match_group_base<IT> *group = static_cast<detail::match_group_base<IT> *>(node.get());
  group->begin_group();
  while (parse_atom(ipat, group, syntax, cs)) {
  }
  if (ext == TK_EXT_BEHIND || ext == TK_EXT_NOT_BEHIND)
    for (std::size_t i = loops_before; i < cs.loops.size(); ++i) cs.loops[i].behind = true;
  const detail::literal_hint hint = group->close_group(this->m_arena);
  if (conditional && group->alternative_count() > 2)
    throw bad_regexpr("Too many alternates in conditional subexpression");
  const int number = group->group_number();
  if (hint.m_present && number == 0)
    this->m_plan.m_psearcher = new (this->m_arena) detail::literal_searcher(hint.m_begin, hint.m_end, hint.m_pother);
  if (number != -1) {
    while (cs.groups.size() <= unsigned(number)) cs.groups.push_back(nullptr);
    cs.groups[unsigned(number)] = group;
  }
  group->set_nested_groups({first, this->_cgroups_total() - first});
  syntax.set_flags(saved);
  node.release();
  return group;
}

template <class IT, class SyntaxT>
bool detail::basic_rpattern_base<IT, SyntaxT>::parse_atom(pattern_iterator &ipat, detail::match_group_base<IT> *group,
                                                          SyntaxT &syntax, compile_state &cs) {
  std::wstring &text = *this->m_pattern;
  auto group_end = [&]() {
    if (group->group_number() == 0) return false;
    throw bad_regexpr("mismatched parenthesis");
  };
  if (ipat == text.end()) return group_end();

  const token_kind t = syntax.pattern_token(ipat, text.end());
  const pattern_flags flags = syntax.get_flags();
  detail::node_holder<IT> atom;
  bool is_group = false;
  const std::size_t loops_before = cs.loops.size();
  switch (t) {
    case TK_NONE:
      if (ipat == text.end()) return group_end();
      parse_literal_run(ipat, group, syntax, cs);
      return true;
    case TK_GROUP_CLOSE:
      if (group->group_number() == 0) throw bad_regexpr("mismatched parenthesis");
      return false;
    case TK_ALTERNATIVE:
      group->end_alternative();
      group->add_alternative();
      return true;
    case TK_GROUP_OPEN:
      atom.reset(parse_group(ipat, group, syntax, cs));
      is_group = true;
      break;
    case TK_SET_OPEN: {
      std::unique_ptr<const detail::custom_charset> set;
      detail::custom_charset *fill = new (this->m_arena) detail::custom_charset(this->m_arena);
      set.reset(fill);
      detail::parse_bracket_set(*fill, ipat, text.end(), syntax);
      atom.reset(detail::make_bracket_set_node<IT>(set, flags, this->m_arena));
      break;
    }
    case TK_ESCAPED:
      atom.reset(parse_escape(ipat, syntax));
      if (atom->reads_captures()) cs.position_only = false;
      break;
    case TK_QUOTE_START: {
      // The text up to '\E' (or the end) as written; no quantifier follows.
      const pattern_iterator start = ipat;
      pattern_iterator stop = ipat;
      while (ipat != text.end()) {
        const token_kind q = syntax.pattern_token(ipat, text.end());
        if (q == TK_QUOTE_STOP) break;
        if (q == TK_NONE && ipat != text.end()) ++ipat;
        stop = ipat;
      }
      if (start != stop) group->append_node(detail::make_literal_node<IT>(start, stop, flags, this->m_arena));
      return true;
    }
    case TK_QUOTE_STOP:
      throw bad_regexpr("quotemeta turned off, but was never turned on");
    case TK_LINE_START:
      atom.reset(detail::make_line_start_node<IT>(flags, this->m_arena));
      break;
    case TK_LINE_END:
      atom.reset(detail::make_line_end_node<IT>(flags, this->m_arena));
      break;
    case TK_ANY_CHAR:
      atom.reset(detail::make_any_node<IT>(flags, this->m_arena));
      break;
    case SET_DIGIT:
    case SET_NONDIGIT:
    case SET_SPACE:
    case SET_NONSPACE:
    case SET_WORD:
    case SET_NONWORD:
      atom.reset(detail::make_builtin_set_node<IT>(detail::builtin_charset_for(t), flags, this->m_arena));
      break;
    case TK_SUBJECT_START:
      atom.reset(detail::make_subject_start_node<IT>(flags, this->m_arena));
      break;
    case TK_SUBJECT_END_NL:
      atom.reset(detail::make_subject_end_nl_node<IT>(flags, this->m_arena));
      break;
    case TK_SUBJECT_END:
      atom.reset(detail::make_subject_end_node<IT>(flags, this->m_arena));
      break;
    case TK_WORD_BOUNDARY:
      atom.reset(detail::make_word_boundary_node<IT>(true, flags, this->m_arena));
      break;
    case TK_NOT_WORD_BOUNDARY:
      atom.reset(detail::make_word_boundary_node<IT>(false, flags, this->m_arena));
      break;
    default:
      ASSERT(!"Unhandled token type");
      return true;
  }
  if (atom.get()) {
    parse_quantifier(atom, ipat, is_group, syntax, cs, loops_before);
    group->append_node(atom.release());
  }
  return true;
}

template <class IT, class SyntaxT>
detail::sub_expr<IT> *detail::basic_rpattern_base<IT, SyntaxT>::parse_escape(pattern_iterator &ipat, SyntaxT &syntax) {
  std::wstring &text = *this->m_pattern;
  const pattern_flags flags = syntax.get_flags();
  auto character = [&](wchar_t ch) { return detail::make_char_node<IT>(ch, flags, this->m_arena); };
  if (ipat == text.end()) return character(L'\\');
  const wchar_t ch = *ipat;
  if (ch >= L'0' && ch <= L'9') {
    pattern_iterator digits = ipat;
    const std::uint32_t n = detail::read_decimal(digits, text.end(), 999);
    if (ch != L'0' && (n < 10 || n < this->_cgroups_total())) {
      ipat = digits;
      return detail::make_backref_node<IT>(n, flags, this->m_arena);
    }
    // Octal: up to three digits 0-7; '8' and '9' give U+0000.
    detail::char_code value = 0;
    for (int i = 0; i < 3 && ipat != text.end() && detail::octal_digit(detail::code_of(*ipat)) >= 0; ++i)
      value = value * 8 + detail::char_code(detail::octal_digit(detail::code_of(*ipat++)));
    return character(wchar_t(value));
  }
  switch (ch) {
    case L'e':
      ++ipat;
      return character(wchar_t(0x1B));
    case L'x': {
      ++ipat;
      detail::char_code value = 0;
      for (int i = 0; i < 2 && ipat != text.end() && detail::hex_digit(detail::code_of(*ipat)) >= 0; ++i)
        value = value * 16 + detail::char_code(detail::hex_digit(detail::code_of(*ipat++)));
      return character(wchar_t(value));
    }
    case L'c': {
      ++ipat;
      if (ipat == text.end()) throw bad_regexpr("incomplete escape sequence \\c");
      wchar_t c = *ipat++;
      if (c >= L'a' && c <= L'z') c = detail::char_toupper(c);
      return character(wchar_t(detail::code_of(c) ^ 0x40));
    }
    default:
      break;
  }
  if (flags & EXPANDESCAPES) {
    wchar_t control = 0;
    switch (ch) {
      case L'a':
        control = 0x07;
        break;
      case L'f':
        control = 0x0C;
        break;
      case L'n':
        control = 0x0A;
        break;
      case L'r':
        control = 0x0D;
        break;
      case L't':
        control = 0x09;
        break;
      case L'\\':
        control = L'\\';
        break;
      default:
        break;
    }
    if (control) {
      ++ipat;
      return character(control);
    }
  }
  ++ipat;
  if (const detail::charset *set = detail::lookup_registered_charset(ch, syntax))
    return detail::make_builtin_set_node<IT>(set, flags, this->m_arena);
  return character(ch);
}

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::parse_quantifier(detail::node_holder<IT> &atom, pattern_iterator &ipat,
                                                                bool is_group, SyntaxT &syntax, compile_state &cs,
                                                                std::size_t inner_loops) {
  const pattern_iterator end = this->m_pattern->end();
  if (ipat == end || atom->is_assertion_node()) return;
  pattern_iterator c = ipat;
  std::uint32_t min = 0, max = 0;
  bool lazy = false;
  const token_kind t = syntax.quantifier_token(c, end);
  switch (t) {
    case TK_STAR:
    case TK_STAR_LAZY:
      min = 0;
      max = no_count;
      break;
    case TK_PLUS:
    case TK_PLUS_LAZY:
      min = 1;
      max = no_count;
      break;
    case TK_QUESTION:
    case TK_QUESTION_LAZY:
      min = 0;
      max = 1;
      break;
    case TK_REPEAT_OPEN: {
      min = read_count(c, end);
      if (c == end) return;
      const token_kind t2 = syntax.quantifier_token(c, end);
      if (t2 == TK_REPEAT_COMMA) {
        const pattern_iterator before = c;
        const std::uint32_t v = read_count(c, end);
        max = c != before ? v : no_count;
        if (c == end) return;
        const token_kind t3 = syntax.quantifier_token(c, end);
        if (t3 == TK_REPEAT_CLOSE_LAZY)
          lazy = true;
        else if (t3 != TK_REPEAT_CLOSE)
          return;
      } else if (t2 == TK_REPEAT_CLOSE || t2 == TK_REPEAT_CLOSE_LAZY) {
        max = min;
        lazy = t2 == TK_REPEAT_CLOSE_LAZY;
      } else {
        return;
      }
      if (max < min) throw bad_regexpr("Can't do {n, m} with n > m");
      break;
    }
    default:
      return;
  }
  if (t == TK_STAR_LAZY || t == TK_PLUS_LAZY || t == TK_QUESTION_LAZY) lazy = true;
  // Group loops above 16 repetitions run iteratively under MODE_AUTO.
  if (is_group && max > 16) this->m_plan.m_fauto_recursive = false;
  detail::sub_expr<IT> *q = atom->make_quantifier(min, max, !lazy, this->m_arena);
  atom.release();
  atom.reset(q);
  ipat = c;
  if (is_group) {
    auto *loop = static_cast<detail::group_quantifier<IT> *>(q);
    for (std::size_t i = inner_loops; i < cs.loops.size(); ++i) cs.loops[i].enclosing.push_back(loop);
    if (cs.loops.empty()) cs.loops.reserve(8);
    cs.loops.push_back({loop, {}, false});
  } else {
    cs.atom_loops.push_back(q);
  }
}

template <class IT, class SyntaxT>
void detail::basic_rpattern_base<IT, SyntaxT>::parse_literal_run(pattern_iterator &ipat,
                                                                 detail::match_group_base<IT> *group, SyntaxT &syntax,
                                                                 compile_state &cs) {
  // Offsets, not iterators: erasing free-spacing blanks moves the text.
  std::wstring &text = *this->m_pattern;
  const pattern_flags flags = syntax.get_flags();
  const std::size_t start = std::size_t(ipat - text.begin());
  std::size_t p = start;
  std::size_t scan = p;
  bool quantified = false;
  for (;;) {
    if (scan != p) {
      // Blanks or comments stood inside the run: close the gap so the
      // run is one unbroken stretch of text.
      text.erase(p, scan - p);
      scan = p;
      if (p == text.size()) break;
    }
    // A letter or digit is no token, no quantifier and no blank: while
    // the next character is one too, the run goes on without asking the
    // scanners.
    while (p + 1 < text.size() && is_letter_or_digit(text[p]) && is_letter_or_digit(text[p + 1])) ++p;
    scan = p;
    pattern_iterator probe = text.begin() + std::ptrdiff_t(p);
    const token_kind t = syntax.quantifier_token(probe, text.end());
    if (is_simple_quantifier(t)) {
      if (p == start) throw bad_regexpr("quantifier not expected");
      quantified = true;
      break;
    }
    if (t == TK_REPEAT_OPEN && p != start) {
      quantified = true;
      break;
    }
    if (++p == text.size()) break;
    pattern_iterator next = text.begin() + std::ptrdiff_t(p);
    const token_kind t2 = syntax.pattern_token(next, text.end());
    scan = std::size_t(next - text.begin());
    if (t2 != TK_NONE) break;
  }
  const pattern_iterator base = text.begin();
  if (!quantified) {
    ASSERT(p != start);
    group->append_node(
        detail::make_literal_node<IT>(base + std::ptrdiff_t(start), base + std::ptrdiff_t(p), flags, this->m_arena));
    ipat = base + std::ptrdiff_t(p);
    return;
  }
  // A quantifier follows: it applies to the run's last character alone.
  --p;
  if (start < p)
    group->append_node(
        detail::make_literal_node<IT>(base + std::ptrdiff_t(start), base + std::ptrdiff_t(p), flags, this->m_arena));
  detail::node_holder<IT> last(detail::make_char_node<IT>(text[p], flags, this->m_arena));
  ipat = base + std::ptrdiff_t(p + 1);
  parse_quantifier(last, ipat, false, syntax, cs, cs.loops.size());
  group->append_node(last.release());
}

#define TICKORA_REGEX_PARSER_INSTANCES(IT)                                                                        \
  template void detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::compile(pattern_flags);                    \
  template void detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::assign_memo_points(compile_state &);       \
  template void detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::analyse_start(compile_state &);            \
  template detail::match_group_base<IT> *detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::parse_group(      \
      pattern_iterator &, detail::match_group_base<IT> *, perl_syntax<wchar_t> &, compile_state &);               \
  template bool detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::parse_atom(                                \
      pattern_iterator &, detail::match_group_base<IT> *, perl_syntax<wchar_t> &, compile_state &);               \
  template detail::sub_expr<IT> *detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::parse_escape(             \
      pattern_iterator &, perl_syntax<wchar_t> &);                                                                \
  template void detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::parse_quantifier(                          \
      detail::node_holder<IT> &, pattern_iterator &, bool, perl_syntax<wchar_t> &, compile_state &, std::size_t); \
  template void detail::basic_rpattern_base<IT, perl_syntax<wchar_t>>::parse_literal_run(                         \
      pattern_iterator &, detail::match_group_base<IT> *, perl_syntax<wchar_t> &, compile_state &);

TICKORA_REGEX_PARSER_INSTANCES(std::wstring::const_iterator)
TICKORA_REGEX_PARSER_INSTANCES(const wchar_t *)

#undef TICKORA_REGEX_PARSER_INSTANCES

}  // namespace regex

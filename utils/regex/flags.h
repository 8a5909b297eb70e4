// The engine's flags, match modes and errors: all that code needs which
// only passes these values on (see regex.h for their meaning).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace regex {

// Pattern flags; combine with |, test with &, clear with ~.
enum pattern_flags : unsigned {
  NOFLAGS = 0x0,
  IGNORECASE = 0x1,         // case-insensitive; inline "i"
  ALLMATCHES = 0x2,         // match and substitute go on over the rest of the subject
  LINEANCHORS = 0x4,        // ^ and $ also at line breaks; inline "m"
  DOTALL = 0x8,             // the dot matches a line break too; inline "s"
  RIGHTMOST = 0x10,         // start positions are tried from the right
  DISCARDGROUPS = 0x20,     // substitute keeps no group records
  KEEPWHOLEMATCHES = 0x40,  // with ALLMATCHES: keep record 0 of every match
  KEEPALLGROUPS = 0x80,     // with ALLMATCHES: keep every record of every match
  EXPANDESCAPES = 0x100,    // escapes in patterns and substitutions become control characters
  FREESPACING = 0x200       // white space and comments in the pattern are skipped; inline "x"
};

inline constexpr pattern_flags operator|(pattern_flags a, pattern_flags b) {
  return pattern_flags(unsigned(a) | unsigned(b));
}
inline constexpr pattern_flags operator&(pattern_flags a, pattern_flags b) {
  return pattern_flags(unsigned(a) & unsigned(b));
}
inline constexpr pattern_flags operator~(pattern_flags a) { return pattern_flags(~unsigned(a)); }
inline pattern_flags &operator|=(pattern_flags &a, pattern_flags b) { return a = a | b; }
inline pattern_flags &operator&=(pattern_flags &a, pattern_flags b) { return a = a & b; }

// How a match runs. Any other value behaves as MODE_ITERATIVE.
enum match_mode : unsigned {
  MODE_RECURSIVE = 0,  // nodes call each other
  MODE_ITERATIVE = 1,  // a hetero_stack takes the place of recursion
  MODE_AUTO = 2        // recursive while the pattern allows it, else iterative
};

// The error of a bad pattern or substitution text; what() is the parser's
// fixed English message.
class bad_regexpr : public std::invalid_argument {
 public:
  explicit bad_regexpr(const std::string &msg) : std::invalid_argument(msg) {}
};

// The error of a search that ran out of its budget: more backtracking steps
// than the pattern's step budget allows (set_step_budget), or, in the
// iterative mode, look-arounds and atomic groups nested through recursion
// deeper than the thread's stack allows. The search is abandoned; it is
// neither a match nor a proof that there is none. CRegexHelper and the
// character-set detection read it as "no match".
class search_budget_exceeded : public std::runtime_error {
 public:
  explicit search_budget_exceeded(const char *what) : std::runtime_error(what) {}
};

// The default step budget of a pattern: backtracking steps per search.
inline constexpr std::uint64_t default_step_budget = 10000000;

}  // namespace regex

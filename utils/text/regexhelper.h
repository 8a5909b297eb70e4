// CRegexHelper: the door to the regular-expression engine for code outside
// it, over CString texts.
//
//   CRegexHelper helper(regex::IGNORECASE | regex::ALLMATCHES | regex::KEEPALLGROUPS);
//   std::vector<CString> groups;
//   if (helper.Match(L"charset=(.+)", headers, groups) && groups.size() == 2)
//       name = groups[1];
//
// Every call compiles its pattern anew (no cache) and matches recursively
// over std::wstring subjects. A search that spends its step budget
// (regex::search_budget_exceeded) counts as no match in every call. Results are appended to the caller's vectors,
// never cleared. An object holds only its flags: separate objects may be
// used on separate threads at once, and one object too while nobody calls
// SetFlags.
#pragma once

#include <vector>

#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/regex/flags.h"

class CRegexHelper {
 public:
  explicit CRegexHelper(regex::pattern_flags flags) : m_flags(flags) {}

  void SetFlags(regex::pattern_flags flags) { m_flags = flags; }

  // Matches after folding "\r\n" to "\n" in pattern and text; on a match
  // appends the text of every record (all groups of every match under
  // ALLMATCHES with KEEPALLGROUPS; empty for a group that took no part).
  // Every failure, a bad pattern included, is FALSE; texts appended before
  // an error stay.
  BOOL Match(const CString &pattern, const CString &text, std::vector<CString> &groups) const;

  // As Match without the folding, appending only the records at odd
  // positions (group 1 of every match for a one-group pattern under
  // ALLMATCHES with KEEPALLGROUPS). A bad pattern throws regex::bad_regexpr.
  BOOL MatchAll(const CString &pattern, const CString &text, std::vector<CString> &groups) const;

  // TRUE when Match succeeds and yields at least one text; never throws.
  BOOL IsMatch(const CString &pattern, const CString &text) const;

  // Replaces the first match in text, or every match under ALLMATCHES, by
  // the expansion of replacement ($1, $&, \U...\E, ...). TRUE, also when
  // nothing matched (text unchanged). A bad pattern or replacement throws
  // regex::bad_regexpr; allocation errors pass too.
  BOOL Replace(const CString &pattern, const CString &replacement, CString &text) const;

  // Appends the pieces of text between the matches, each followed by the
  // text of the groups that took part in the match after it; empty pieces
  // at the end are dropped. TRUE; a bad pattern throws regex::bad_regexpr.
  BOOL Split(const CString &pattern, const CString &text, std::vector<CString> &pieces) const;

 private:
  regex::pattern_flags m_flags;
};

// Escapes the pattern metacharacters \ ^ [ ? + ( ) . $ * | { of text so that
// it matches itself; occurrences of the kept strings (tried in list order)
// stay as they are. Empty kept strings are ignored.
CString EscapeRegex(const CString &text, const std::vector<CString> &keep);
CString EscapeRegex(const CString &text, const CString &keep);

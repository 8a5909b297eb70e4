#include "utils/text/regexhelper.h"

#include <string>

#include "platform/system/threads.h"
#include "utils/regex/regex.h"

namespace {

std::wstring fold_crlf(const CString &text) {
  const std::wstring &in = text.str();
  std::wstring out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == L'\r' && i + 1 < in.size() && in[i + 1] == L'\n') continue;
    out += in[i];
  }
  return out;
}

// Matches pattern over subject and appends the records from `first` on,
// every `step`-th; FALSE without a match.
BOOL append_records(const std::wstring &pattern, regex::pattern_flags flags, const std::wstring &subject,
                    std::vector<CString> &out, std::size_t first, std::size_t step) {
  regex::rpattern pat(pattern, flags, regex::MODE_RECURSIVE);
  regex::match_results results;
  if (!pat.match(subject, results, 0, std::wstring::npos).matched) return FALSE;
  for (std::size_t i = first; i < results.m_records.size(); i += step) out.emplace_back(results.m_records[i].str());
  return TRUE;
}

}  // namespace

BOOL CRegexHelper::Match(const CString &pattern, const CString &text, std::vector<CString> &groups) const {
  try {
    if (append_records(fold_crlf(pattern), m_flags, fold_crlf(text), groups, 0, 1)) return TRUE;
    Sleep(0);
    return FALSE;
  } catch (...) {
    return FALSE;
  }
}

// A search abandoned on its budget (regex::search_budget_exceeded) counts as
// no match in every call.
BOOL CRegexHelper::MatchAll(const CString &pattern, const CString &text, std::vector<CString> &groups) const {
  try {
    return append_records(pattern.str(), m_flags, text.str(), groups, 1, 2);
  } catch (const regex::search_budget_exceeded &) {
    return FALSE;
  }
}

BOOL CRegexHelper::IsMatch(const CString &pattern, const CString &text) const {
  std::vector<CString> groups;
  return Match(pattern, text, groups) && !groups.empty();
}

BOOL CRegexHelper::Replace(const CString &pattern, const CString &replacement, CString &text) const {
  const regex::rpattern pat(pattern.str(), replacement.str(), m_flags, regex::MODE_RECURSIVE);
  std::wstring subject = text.str();
  regex::subst_results results;
  try {
    pat.substitute(subject, results, 0, std::wstring::npos);
  } catch (const regex::search_budget_exceeded &) {
    return TRUE;  // no match: the text stays as it was
  }
  text = CString(std::move(subject));
  return TRUE;
}

BOOL CRegexHelper::Split(const CString &pattern, const CString &text, std::vector<CString> &pieces) const {
  const regex::rpattern pat(pattern.str(), m_flags, regex::MODE_RECURSIVE);
  std::vector<std::wstring> cut;
  std::size_t count;
  try {
    count = pat.split(text.str(), cut, 0, 0, std::wstring::npos);
  } catch (const regex::search_budget_exceeded &) {
    // No match: the whole text is the one piece (none for an empty text).
    cut.assign(1, text.str());
    count = text.IsEmpty() ? 0 : 1;
  }
  for (std::size_t i = 0; i < count; ++i) pieces.emplace_back(std::move(cut[i]));
  return TRUE;
}

CString EscapeRegex(const CString &text, const std::vector<CString> &keep) {
  // Kept occurrences are marked on the original text, in list order and
  // without overlapping earlier ones, so nothing in the text can be
  // mistaken for a kept string.
  const std::wstring &in = text.str();
  std::vector<bool> kept(in.size(), false);
  for (const CString &k : keep) {
    const std::wstring &s = k.str();
    if (s.empty()) continue;
    for (std::size_t pos = in.find(s); pos != std::wstring::npos; pos = in.find(s, pos)) {
      bool free = true;
      for (std::size_t i = pos; i < pos + s.size() && free; ++i) free = !kept[i];
      if (!free) {
        ++pos;
        continue;
      }
      for (std::size_t i = pos; i < pos + s.size(); ++i) kept[i] = true;
      pos += s.size();
    }
  }
  static const std::wstring meta = L"\\^[?+().$*|{";
  std::wstring out;
  out.reserve(in.size() * 2);
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (!kept[i] && meta.find(in[i]) != std::wstring::npos) out += L'\\';
    out += in[i];
  }
  return CString(std::move(out));
}

CString EscapeRegex(const CString &text, const CString &keep) {
  std::vector<CString> list;
  if (!keep.IsEmpty()) list.push_back(keep);
  return EscapeRegex(text, list);
}

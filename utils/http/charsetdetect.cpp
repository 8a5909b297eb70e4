#include "utils/http/detail/charsetdetect.h"

#include <cstring>
#include <vector>

#include "platform/text/codepage.h"
#include "utils/text/regexhelper.h"

namespace pcutil {

namespace {

// Group 1 of the pattern's only match, lower-cased; empty otherwise.
CString OnlyMatch(const CRegexHelper &helper, const wchar_t *pattern, const CString &text) {
  std::vector<CString> groups;
  if (!helper.Match(pattern, text, groups) || groups.size() != 2) return CString();
  return groups[1].MakeLower();
}

}  // namespace

CString DetectCharsetName(const CString &rawHeaders, const std::string &body) {
  const CRegexHelper helper(regex::IGNORECASE | regex::ALLMATCHES | regex::KEEPALLGROUPS);
  CString name = OnlyMatch(helper, L"charset=(.+)", rawHeaders);
  if (!name.IsEmpty()) return name;
  const CString page(MultiByteToWide(CP_THREAD_ACP, body.c_str(), std::strlen(body.c_str())));
  // The value may stand in quotes, the common form of today's pages.
  name = OnlyMatch(helper, L"<meta.+?charset=[\"']?([-\\w]+)", page);
  if (!name.IsEmpty()) return name;
  return CString(L"gb2312");
}

}  // namespace pcutil

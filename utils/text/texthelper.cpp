#include "utils/text/texthelper.h"

#include <string>
#include <string_view>

#include "platform/text/codepage.h"
#include "platform/text/numeric.h"
#include "platform/text/wctype_win.h"

BOOL GetStringBetween(const CString &strText, const CString &strBegin, const CString &strEnd, CString &strOut) {
  if (strBegin.IsEmpty() && strEnd.IsEmpty()) {
    strOut = strText;
    return FALSE;
  }
  const std::wstring_view text(strText.GetString(), strText.GetLength());
  const size_t begin = text.find(std::wstring_view(strBegin.GetString(), strBegin.GetLength()));
  if (begin == std::wstring_view::npos) return FALSE;
  const std::wstring_view rest = text.substr(begin + strBegin.GetLength());
  const size_t end = rest.find(std::wstring_view(strEnd.GetString(), strEnd.GetLength()));
  if (end == std::wstring_view::npos) return FALSE;
  strOut = CString(rest.data(), static_cast<int>(end));
  return TRUE;
}

CString IntToString(int n) {
  CString text;
  text.Format(L"%d", n);
  return text;
}

BOOL EraseStringAt(std::vector<CString> &list, int index) {
  if (index < 0 || static_cast<size_t>(index) >= list.size()) return FALSE;
  list.erase(list.begin() + index);
  return TRUE;
}

int FindStringIndex(const std::vector<CString> &list, const CString &text) {
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i] == text) return static_cast<int>(i);
  }
  return -1;
}

CString JoinStrings(const std::vector<CString> &list, const CString &separator) {
  CString result;
  for (const CString &item : list) {
    if (item.IsEmpty()) continue;
    result += item;
    result += separator;
  }
  if (!result.IsEmpty()) result.Truncate(result.GetLength() - separator.GetLength());
  result.TrimRight();
  return result;
}

void SplitByChar(CString text, CStringArray &parts, char separator) {
  parts.RemoveAll();
  const wchar_t sep = static_cast<unsigned char>(separator);
  const std::wstring &s = text.str();
  size_t from = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != sep) continue;
    parts.Add(CString(s.substr(from, i - from)));
    from = i + 1;
  }
  parts.Add(CString(s.substr(from)));
}

BOOL SplitByTokens(CString text, CStringArray &parts, LPCWSTR delimiters) {
  if (text.IsEmpty()) return FALSE;
  parts.RemoveAll();
  int start = 0;
  for (;;) {
    CString token = text.Tokenize(delimiters, start);
    if (start < 0) break;
    parts.Add(token);
  }
  return TRUE;
}

CString GetUrlHost(const CString &url) {
  CString host = url;
  host.MakeLower();
  host.Trim();
  host.Replace(L"http://", L"");
  const int slash = host.Find(L'/');
  return slash < 0 ? host : host.Left(slash);
}

CString CutString(CString text, int width) {
  if (text.GetLength() <= width) return text;
  int kept = 0;
  int used = 0;
  while (used < width && kept < text.GetLength()) {
    used += text.GetAt(kept) > 0xFF ? 2 : 1;
    ++kept;
  }
  return text.Left(kept) + L"...";
}

void ToAnsiCompatible(CString &text) {
  const std::string bytes = WideToMultiByte(CP_ACP, text.str());
  text = bytes.c_str();
}

BOOL GetStringBetweenEx(const CString &text, const CString &begin, const CString &end, CString &between,
                        CString &rest) {
  CString found;
  if (!GetStringBetween(text, begin, end, found)) {
    if (begin.IsEmpty() && end.IsEmpty()) between = found;
    return FALSE;
  }
  // The end marker stands right after the cut text, after the first begin.
  const int after = text.Find(begin) + begin.GetLength() + found.GetLength() + end.GetLength();
  between = found;
  rest = text.Mid(after);
  return TRUE;
}

BOOL IsStringLess(CString first, CString second) { return first.Compare(second) < 0; }

int CompareVersion(CString first, CString second) {
  CStringArray firstParts;
  CStringArray secondParts;
  SplitByChar(first, firstParts, '-');
  SplitByChar(second, secondParts, '-');
  // A part that one text lacks counts as 0, so "2" equals "2-0".
  const auto part = [](const CStringArray &parts, INT_PTR i) -> LONG {
    return i < parts.GetSize() ? _wtol(parts.GetAt(i)) : 0;
  };
  const INT_PTR count = firstParts.GetSize() > secondParts.GetSize() ? firstParts.GetSize() : secondParts.GetSize();
  for (INT_PTR i = 0; i < count; ++i) {
    const LONG a = part(firstParts, i);
    const LONG b = part(secondParts, i);
    if (b < a) return 1;
    if (a < b) return -1;
  }
  return 0;
}

BOOL IsIntegerString(const CString &text) {
  if (text.IsEmpty()) return FALSE;
  for (int i = 0; i < text.GetLength(); ++i) {
    const wchar_t c = text.GetAt(i);
    if (win_iswdigit(c) || (i == 0 && c == L'-')) continue;
    return FALSE;
  }
  return TRUE;
}

BOOL IsAsciiString(const CString &text) {
  for (wchar_t c : text.str()) {
    if (static_cast<unsigned long>(c) >= 128) return FALSE;
  }
  return TRUE;
}

void EscapeSql(CString &text, CString dialect) {
  if (dialect == L"MYSQL") {
    text.Replace(L"\\", L"\\\\");
    text.Replace(L"'", L"\\'");
    text.Replace(L"\"", L"\\\"");
    text.Replace(L"%", L"\\%");
    text.Replace(L"_", L"\\_");
  } else {
    text.Replace(L"'", L"''");
  }
}

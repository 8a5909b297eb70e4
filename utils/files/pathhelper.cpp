#include "utils/files/pathhelper.h"

#include <cstdarg>
#include <string>

namespace {

constexpr wchar_t kSeparator = L'/';

bool EndsWith(const CString &text, const CString &tail) { return text.str().ends_with(tail.str()); }
bool StartsWith(const CString &text, const CString &head) { return text.str().starts_with(head.str()); }

}  // namespace

CString GetFileName(CString path) {
  const int slash = path.ReverseFind(kSeparator);
  return slash < 0 ? path : path.Mid(slash + 1);
}

CString GetFileBaseName(CString path) {
  const CString name = GetFileName(path);
  const int dot = name.ReverseFind(L'.');
  return dot < 0 ? name : name.Left(dot);
}

CString GetFileExt(CString path) {
  const CString name = GetFileName(path);
  const int dot = name.ReverseFind(L'.');
  return dot < 0 ? name : name.Mid(dot);
}

CString GetParentFolder(CString path) {
  const int slash = path.ReverseFind(kSeparator);
  return slash < 0 ? CString() : path.Left(slash);
}

CString JoinPathList(BOOL keepTrailing, const CString &separator, const std::vector<CString> &parts) {
  if (parts.empty()) return CString();
  CString result;
  for (size_t i = 0; i < parts.size(); ++i) {
    CString piece = parts[i];
    if (piece.IsEmpty()) continue;
    if (!EndsWith(piece, separator)) piece += separator;
    if (i != 0 && StartsWith(piece, separator)) piece.Delete(0, separator.GetLength());
    result += piece;
  }
  if (EndsWith(parts.back(), separator)) return result;
  if (!keepTrailing && !separator.IsEmpty() && EndsWith(result, separator))
    result.Truncate(result.GetLength() - separator.GetLength());
  return result;
}

CString JoinPath(CString first, CString second, const CString &separator, BOOL keepTrailing) {
  return JoinPathList(keepTrailing, separator, {first, second});
}

CString JoinPathArgs(BOOL keepTrailing, const CString &separator, int count, const CString *part, ...) {
  std::vector<CString> parts;
  if (count > 0) {
    parts.push_back(part ? *part : CString());
    va_list args;
    va_start(args, part);
    for (int i = 1; i < count; ++i) {
      const CString *next = va_arg(args, const CString *);
      parts.push_back(next ? *next : CString());
    }
    va_end(args);
  }
  return JoinPathList(keepTrailing, separator, parts);
}

#include "utils/myfun.h"

#include <string_view>
#include <vector>

#include "platform/system/module.h"
#include "platform/system/registry.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The running executable's full path.
std::wstring ProgramPath() {
  std::vector<wchar_t> buf(1024);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size() - 1) return std::wstring(buf.data(), n);
    buf.resize(buf.size() * 2);
  }
}

}  // namespace

CString GetAppFilePath(CString strFileName) {
  const std::wstring path = ProgramPath();
  const size_t slash = path.rfind(L'/');
  if (slash == std::wstring::npos) return CString();
  CString result(path.c_str(), static_cast<int>(slash));
  if (strFileName.IsEmpty() || strFileName[0] != L'/') result += L'/';
  result += strFileName;
  return result;
}

BOOL SetAutoRun(const CString &strCommand) {
  HKEY key = nullptr;
  if (RegOpenKeyW(HKEY_LOCAL_MACHINE, kRunKey, &key) != ERROR_SUCCESS) return FALSE;
  const DWORD bytes = static_cast<DWORD>((strCommand.GetLength() + 1) * sizeof(WCHAR));
  const LONG rc =
      RegSetValueExW(key, kRunKey, 0, REG_SZ, reinterpret_cast<const BYTE *>(strCommand.GetString()), bytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

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

#include "utils/files/apppath.h"

#include <string>
#include <vector>

#include "platform/system/module.h"

namespace {

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

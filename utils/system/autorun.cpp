#include "utils/system/autorun.h"

#include "platform/system/registry.h"

namespace {

const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

}  // namespace

BOOL SetAutoRun(const CString &strCommand) {
  HKEY key = nullptr;
  if (RegOpenKeyW(HKEY_LOCAL_MACHINE, kRunKey, &key) != ERROR_SUCCESS) return FALSE;
  const DWORD bytes = static_cast<DWORD>((strCommand.GetLength() + 1) * sizeof(WCHAR));
  const LONG rc =
      RegSetValueExW(key, kRunKey, 0, REG_SZ, reinterpret_cast<const BYTE *>(strCommand.GetString()), bytes);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

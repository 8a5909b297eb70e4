#include "platform/system/regquery.h"

#include <cstring>
#include <vector>

LONG RegQueryValueW(HKEY hKey, LPCWSTR subKey, LPWSTR value, LONG *size) {
  if (!size || *size < 0) return ERROR_INVALID_PARAMETER;
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(hKey, subKey ? subKey : L"", 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  rc = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &bytes);
  std::vector<BYTE> data;
  if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
    data.resize(bytes);
    if (bytes) rc = RegQueryValueExW(key, nullptr, nullptr, &type, data.data(), &bytes);
    data.resize(bytes);
  } else {
    rc = ERROR_SUCCESS;  // no default value (or not a text): an empty text
  }
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return rc;
  // The characters up to the first terminator, if the data holds one.
  size_t chars = data.size() / sizeof(WCHAR);
  const auto *text = reinterpret_cast<const WCHAR *>(data.data());
  size_t length = 0;
  while (length < chars && text[length] != L'\0') ++length;
  LONG needed = static_cast<LONG>((length + 1) * sizeof(WCHAR));
  if (!value || *size < needed) {
    *size = needed;
    return value ? static_cast<LONG>(ERROR_MORE_DATA) : static_cast<LONG>(ERROR_SUCCESS);
  }
  if (length) std::memcpy(value, text, length * sizeof(WCHAR));
  value[length] = L'\0';
  *size = needed;
  return ERROR_SUCCESS;
}

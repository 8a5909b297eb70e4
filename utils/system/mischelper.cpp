#include "utils/system/mischelper.h"

#include <climits>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/inet/proxyconfig.h"
#include "platform/inet/wininet.h"
#include "platform/system/heap.h"
#include "platform/system/osrandom.h"
#include "platform/system/regquery.h"
#include "platform/system/sysinfo.h"
#include "platform/system/threads.h"
#include "platform/system/winexec.h"
#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/errortext.h"
#include "platform/text/numeric.h"
#include "utils/text/stringhelper.h"

namespace {

// Reads a proxy credential option into `out`; unchanged when the query fails.
void QueryProxyText(DWORD option, CString &out) {
  std::vector<wchar_t> buffer(4096 / sizeof(wchar_t) + 1, L'\0');
  DWORD length = 4096;
  if (InternetQueryOptionW(nullptr, option, buffer.data(), &length)) out = buffer.data();
}

// Host and port of a server text, as the proxy settings give it.
void ParseProxyServer(const CString &server, CString &host, WORD &port) {
  std::vector<CString> entries;
  SplitString(server, L";", entries, FALSE);
  CString entry;
  if (entries.size() > 1) {
    for (const CString &e : entries) {
      if (e.Find(L"http=") >= 0) {
        entry = e.Mid(5);
        break;
      }
    }
  } else if (!entries.empty()) {
    entry = entries.front();
  }
  std::vector<CString> parts;
  SplitString(entry, L":", parts, FALSE);
  if (parts.size() == 2) {
    host = parts[0];
    port = static_cast<WORD>(_wtol(parts[1]));
  }
}

// The URL as one argument of a command line: in single quotes, each quote
// inside written as %27 (its URL escape), so no character of it can end the
// argument.
CString QuoteUrlArgument(const CString &url) {
  CString quoted(url);
  quoted.Replace(L"'", L"%27");
  return L"'" + quoted + L"'";
}

// Removes every whole option word "-new" from a command line.
void RemoveNewOption(CString &command) {
  int at = 0;
  while ((at = command.Find(L" -new", at)) >= 0) {
    int after = at + 5;
    if (after == command.GetLength() || command[after] == L' ')
      command.Delete(at, 5);
    else
      at = after;
  }
}

}  // namespace

BOOL GetIEProxy(DWORD &dwFlags, CString &strHost, WORD &nPort, CString &strUser, CString &strPassword) {
  INTERNET_PER_CONN_OPTIONW options[5] = {};
  options[0].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
  options[1].dwOption = INTERNET_PER_CONN_AUTODISCOVERY_FLAGS;
  options[2].dwOption = INTERNET_PER_CONN_FLAGS;
  options[3].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
  options[4].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
  INTERNET_PER_CONN_OPTION_LISTW list = {};
  list.dwSize = sizeof list;
  list.pszConnection = nullptr;
  list.dwOptionCount = 5;
  list.pOptions = options;
  DWORD length = sizeof list;
  if (!InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &length)) {
    TRACE(L"InternetQueryOption failed! (%u)\n", GetLastError());
    return FALSE;
  }
  dwFlags = options[2].Value.dwValue;
  if ((dwFlags & PROXY_TYPE_PROXY) && options[4].Value.pszValue)
    ParseProxyServer(CString(options[4].Value.pszValue), strHost, nPort);
  QueryProxyText(INTERNET_OPTION_PROXY_USERNAME, strUser);
  QueryProxyText(INTERNET_OPTION_PROXY_PASSWORD, strPassword);
  GlobalFree(options[0].Value.pszValue);
  GlobalFree(options[3].Value.pszValue);
  GlobalFree(options[4].Value.pszValue);
  return TRUE;
}

COsVersion GetOsVersion() {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  BOOL ok = GetVersionExW(&info);
  ASSERT(ok);
  (void)ok;
  int platform = COsVersion::PLATFORM_NOT_SET;
  if (info.dwPlatformId <= VER_PLATFORM_WIN32_CE)
    platform = static_cast<int>(info.dwPlatformId);
  else
    ASSERT(!"unknown platform id");
  CVersion version(static_cast<int>(info.dwMajorVersion), static_cast<int>(info.dwMinorVersion),
                   static_cast<int>(info.dwBuildNumber), 0);
  CShortVersion servicePack(info.wServicePackMajor, info.wServicePackMinor);
  return COsVersion(platform, version, servicePack);
}

CString GetErrorText(DWORD dwError) {
  LPWSTR buffer = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, dwError, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  if (!n) {
    ASSERT(!"FormatMessage failed");
    return CString();
  }
  CString text(buffer);
  LocalFree(buffer);
  return text;
}

GUID NewGuid() {
  GUID guid;
  if (UuidCreate(&guid) != RPC_S_OK) {
    std::memset(&guid, 0, sizeof guid);
    guid.Data1 = GetTickCount();
  }
  return guid;
}

GUID NewGuid(std::string &strGuid) {
  GUID guid = NewGuid();
  RPC_CSTR text = nullptr;
  if (UuidToStringA(&guid, &text) == RPC_S_OK && text) {
    strGuid = reinterpret_cast<const char *>(text);
    RpcStringFreeA(&text);
  }
  return guid;
}

GUID NewGuid(CString &strGuid) {
  GUID guid = NewGuid();
  RPC_WSTR text = nullptr;
  if (UuidToStringW(&guid, &text) == RPC_S_OK && text) {
    strGuid = text;
    RpcStringFreeW(&text);
  }
  return guid;
}

UINT OpenUrlInBrowser(LPCWSTR lpszUrl, int nShowCmd) {
  wchar_t className[260] = {};
  if (RegGetDefaultValue(HKEY_CLASSES_ROOT, L".htm", className) != ERROR_SUCCESS) return 0;
  CString commandKey(className);
  commandKey += L"\\shell\\open\\command";
  wchar_t commandText[260] = {};
  if (RegGetDefaultValue(HKEY_CLASSES_ROOT, commandKey, commandText) != ERROR_SUCCESS) return 0;
  CString command(commandText);
  int cut = command.Find(L"\"%1\"");
  if (cut < 0) cut = command.Find(L"%1");
  if (cut >= 0) command.Truncate(cut);
  CString lower(command);
  lower.MakeLower();
  CString url = QuoteUrlArgument(CString(lpszUrl));
  CString line;
  if (lower.Find(L"firefox") < 0) {
    line.Format(L"%s %s", command.GetString(), url.GetString());
  } else {
    // The program path keeps its case: file names are case-sensitive here.
    RemoveNewOption(command);
    line = command;
    if (!line.IsEmpty() && line[line.GetLength() - 1] != L' ') line += L' ';
    line += url;
  }
  std::string narrow = WideToMultiByte(CP_ACP, line.str());
  return WinExec(narrow.c_str(), static_cast<UINT>(nShowCmd));
}

const wchar_t *FindText(LPCWSTR lpszText, LPCWSTR lpszPart) {
  if (!lpszText || !lpszPart) return nullptr;
  return std::wcsstr(lpszText, lpszPart);
}

LONG RegGetDefaultValue(HKEY hRoot, LPCWSTR lpszSubKey, LPWSTR lpszValue) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExW(hRoot, lpszSubKey, 0, KEY_QUERY_VALUE, &key);
  if (rc != ERROR_SUCCESS) return rc;
  wchar_t buffer[260] = {};
  LONG size = sizeof buffer;
  if (RegQueryValueW(key, nullptr, buffer, &size) != ERROR_SUCCESS) buffer[0] = L'\0';
  std::wcscpy(lpszValue, buffer);
  RegCloseKey(key);
  return ERROR_SUCCESS;
}

CString IntToText(int nValue, int nRadix) {
  wchar_t buffer[68] = {};
  return CString(_itow(nValue, buffer, nRadix));
}

CString Int64ToText(__int64 nValue, int nRadix) {
  wchar_t buffer[68] = {};
  return CString(_i64tow(nValue, buffer, nRadix));
}

CString UInt64ToText(ULONGLONG nValue, int nRadix) {
  wchar_t buffer[68] = {};
  return CString(_ui64tow(nValue, buffer, nRadix));
}

CString NumberToText(DWORD dwValue, int nRadix) {
  CString text;
  if (nRadix == 10)
    text.Format(L"%u", dwValue);
  else if (nRadix == 16)
    text.Format(L"%x", dwValue);
  else
    ASSERT(!"radix must be 10 or 16");
  return text;
}

BOOL ParseBool(const CString &strText) {
  CString text(strText);
  text.Trim();
  text.MakeUpper();
  return text == L"TRUE" || text == L"1";
}

BOOL RandomBytes(void *pBuffer, DWORD dwSize) {
  if (!pBuffer && dwSize) return FALSE;
  return platform::FillRandomBytes(pBuffer, dwSize) ? TRUE : FALSE;
}

int RandomInt(int n) {
  int value = 0;
  RandomBytes(&value, sizeof value);
  if (n > 0) value %= n;
  // INT_MIN has no positive counterpart.
  if (value == INT_MIN) value = 0;
  return value < 0 ? -value : value;
}

int RandomRange(int a, int b) {
  long long span = static_cast<long long>(b) - a;
  if (span > INT_MAX) {
    // Wider than an int: draw from the whole 32-bit range.
    DWORD raw = 0;
    RandomBytes(&raw, sizeof raw);
    return static_cast<int>(static_cast<long long>(a) + raw % static_cast<unsigned long long>(span));
  }
  int offset = RandomInt(span > 0 ? static_cast<int>(span) : 0);
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(offset));
}

DWORD GetTickDiff(DWORD dwNow, DWORD dwStart) {
  if (dwNow >= dwStart) return dwNow - dwStart;
  return dwNow - dwStart - 1;
}

BOOL IsTimeout(DWORD dwNow, DWORD dwStart, DWORD dwTimeout) {
  return GetTickDiff(dwNow, dwStart) >= dwTimeout ? TRUE : FALSE;
}

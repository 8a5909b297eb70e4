// System helpers: the proxy settings, the operating-system version, error
// texts, GUIDs, opening a URL in the default browser, a registry key's
// default value, numbers as text, boolean texts, random numbers and tick
// intervals. Nothing here throws: failures come back as FALSE, an empty
// text, 0 or the platform's error code.
#pragma once

#include <string>

#include "platform/inet/proxyconfig.h"
#include "platform/system/registry.h"
#include "platform/system/rpc.h"
#include "platform/text/cstring.h"
#include "platform/text/windef.h"
#include "utils/system/version.h"

// The default connection's proxy settings. `dwFlags` gets the connection
// flags (PROXY_TYPE_*). With a manual proxy (PROXY_TYPE_PROXY) the server
// text gives `strHost` and `nPort`: of a list "scheme=host:port;..." the
// first entry containing "http=", else the single entry; host and port stay
// unchanged unless that entry is exactly "host:port". The user and password
// are set when the settings have them. FALSE when the settings cannot be
// read (a debug trace says so).
BOOL GetIEProxy(DWORD &dwFlags, CString &strHost, WORD &nPort, CString &strUser, CString &strPassword);

// The running system's version; a family the platform reports outside its
// four known ids becomes COsVersion::PLATFORM_NOT_SET.
COsVersion GetOsVersion();

// The system's message for an error code, with its trailing line break;
// empty for an unknown code.
CString GetErrorText(DWORD dwError);

// A new random GUID. When none can be made: all zeros except Data1, which
// is the tick count. The text forms also store the GUID as lower-case text
// without braces.
GUID NewGuid();
GUID NewGuid(std::string &strGuid);
GUID NewGuid(CString &strGuid);

// Opens the URL with the command registered for ".htm" files (its default
// value names the class whose "shell/open/command" holds the command). The
// command is cut before its "%1" argument and the URL, quoted as one
// argument, put in its place. Returns the result of WinExec (above 31 on
// success), 0 when no command is registered.
UINT OpenUrlInBrowser(LPCWSTR lpszUrl, int nShowCmd);

// The first occurrence of `lpszPart` in `lpszText`, or null (also for a
// null argument).
const wchar_t *FindText(LPCWSTR lpszText, LPCWSTR lpszPart);

// Reads the default value of `lpszSubKey` under `hRoot` into `lpszValue`,
// which holds at least 260 characters. Returns the error of opening the key,
// else ERROR_SUCCESS; a value that cannot be read (also one longer than 259
// characters) gives an empty text.
LONG RegGetDefaultValue(HKEY hRoot, LPCWSTR lpszSubKey, LPWSTR lpszValue);

// Numbers as text in radix 2..36 with lower-case digits (an invalid radix
// gives an empty text). A minus sign appears only in radix 10; other radixes
// show the two's complement of a negative value.
CString IntToText(int nValue, int nRadix);
CString Int64ToText(__int64 nValue, int nRadix);
CString UInt64ToText(ULONGLONG nValue, int nRadix);
// "%u" in radix 10, "%x" in radix 16; any other radix gives an empty text.
CString NumberToText(DWORD dwValue, int nRadix);

// TRUE for "TRUE" or "1" without regard to case or surrounding white space.
BOOL ParseBool(const CString &strText);

// Fills the buffer from the system's cryptographic random source; FALSE
// when that fails.
BOOL RandomBytes(void *pBuffer, DWORD dwSize);
// A random value from 0 to n - 1 for n > 0; for n <= 0 any non-negative int.
int RandomInt(int n);
// A random value from a to b - 1 when b > a (the whole int range included);
// otherwise a plus a non-negative random value, wrapping around.
int RandomRange(int a, int b);

// Ticks from dwStart to dwNow. When the counter wrapped (dwNow < dwStart)
// the result is one less than the unsigned difference.
DWORD GetTickDiff(DWORD dwNow, DWORD dwStart);
// TRUE when GetTickDiff(dwNow, dwStart) is at least dwTimeout.
BOOL IsTimeout(DWORD dwNow, DWORD dwStart, DWORD dwTimeout);

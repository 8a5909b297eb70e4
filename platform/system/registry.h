// The registry functions the system calls, over a file-backed registry.
//
// Layout: every key is a folder under "<config>/tickora/registry/<root>/", one
// folder per path component; every value is a file "<name>.v" in its key's
// folder holding the type (4 bytes, little-endian) and the data bytes. <config>
// is $XDG_CONFIG_HOME when it is an absolute path, else ~/.config. Key and
// value names compare without regard to ASCII case, as the registry's do, so
// they are folded to lower case and escaped into safe file names (letters,
// digits and '-' stay, every other byte of their UTF-8 form becomes "_xx").
//
// The Run key "Software\Microsoft\Windows\CurrentVersion\Run" (of either
// HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER) is the log-on autostart list: each
// of its values is an XDG autostart entry "<config>/autostart/<name>.desktop"
// whose Exec line starts the value's data as one program path, quoted as the
// desktop-entry format requires. Both roots share the user's autostart folder;
// that key always exists. The entry's Name (what the desktop's list of startup
// programs shows) and Icon are those given by SetAutostartIdentity; until a
// name is given, Name is the value's name, and there is no Icon.
//
// Results are Win32 error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND, ...).
// REG_SZ data is wide text: sizes are bytes, characters x sizeof(WCHAR).
// Thread-safe: handles may be used from any thread.
#pragma once

#include <string>

#include "platform/text/windef.h"
#include "platform/text/winerror.h"

typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0xF003Fu
#define MAXIMUM_ALLOWED 0x02000000u

#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_CREATED_NEW_KEY 0x1u
#define REG_OPENED_EXISTING_KEY 0x2u

// Opens an existing key with full access.
LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
// Opens an existing key; writes need KEY_SET_VALUE in samDesired, reads
// KEY_QUERY_VALUE.
LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
// Opens a key, creating it and its missing parents.
LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     void *lpSecurityAttributes, PHKEY phkResult, LPDWORD lpdwDisposition);
LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult);
// Writes a value, replacing any value of that name. A null or empty name is
// the key's default value.
LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData, DWORD cbData);
// Reads a value. With lpData null only *lpType and *lpcbData are filled; a
// buffer too small gives ERROR_MORE_DATA with the size needed in *lpcbData.
LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                      LPDWORD lpcbData);
LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
// The Name and Icon (an icon name or an absolute image path) of the Run key's
// autostart entries written from now on; an empty name gives back the value's
// name, an empty icon no Icon line. The program gives its own at start.
void SetAutostartIdentity(const std::wstring &name, const std::wstring &icon);
// Closes a handle opened above; the predefined roots need no closing.
LONG RegCloseKey(HKEY hKey);

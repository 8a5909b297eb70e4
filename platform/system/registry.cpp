#include "platform/system/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/system/defaultbrowser.h"
#include "platform/text/codepage.h"

namespace fs = std::filesystem;

// An open key: its root and its path as escaped folder names.
struct HKEY__ {
  int root;
  std::vector<std::string> path;
  REGSAM access;
};

namespace {

const char *const kRootFolders[] = {"hkey_classes_root", "hkey_current_user", "hkey_local_machine", "hkey_users"};
const wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::mutex g_handles_mutex;
std::unordered_set<HKEY> g_handles;

// What the desktop shows for the Run key's entries (SetAutostartIdentity).
std::mutex g_identity_mutex;
std::wstring g_identity_name;
std::wstring g_identity_icon;

int PredefinedRoot(HKEY key) {
  const ULONG_PTR v = reinterpret_cast<ULONG_PTR>(key);
  if (v >= 0x80000000u && v <= 0x80000003u) return static_cast<int>(v - 0x80000000u);
  return -1;
}

std::string ConfigHome() {
  const char *xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char *home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  passwd pw, *found = nullptr;
  char buf[4096];
  if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir[0] == '/')
    return std::string(found->pw_dir) + "/.config";
  return std::string();
}

// A name as a file name: ASCII folded to lower case, then every byte of its
// UTF-8 form other than a letter, digit or '-' written as "_xx".
std::string EscapeName(const std::wstring &name) {
  std::wstring folded = name;
  for (wchar_t &c : folded)
    if (c >= L'A' && c <= L'Z') c = c - L'A' + L'a';
  static const char hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : WideToMultiByte(CP_UTF8, folded)) {
    if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-') {
      out += static_cast<char>(b);
    } else {
      out += '_';
      out += hex[b >> 4];
      out += hex[b & 15];
    }
  }
  return out;
}

std::vector<std::string> SplitKeyPath(LPCWSTR sub_key) {
  std::vector<std::string> parts;
  if (!sub_key) return parts;
  std::wstring part;
  for (const wchar_t *p = sub_key;; ++p) {
    if (*p == L'\\' || *p == 0) {
      if (!part.empty()) parts.push_back(EscapeName(part));
      part.clear();
      if (*p == 0) break;
    } else {
      part += *p;
    }
  }
  return parts;
}

const std::vector<std::string> &RunKeyParts() {
  static const std::vector<std::string> parts = SplitKeyPath(kRunKeyPath);
  return parts;
}

// The Run key of the machine or the user, realised by the autostart folder.
bool IsRunKey(const HKEY__ &key) { return (key.root == 1 || key.root == 2) && key.path == RunKeyParts(); }

// The Run key and the keys above it always exist.
bool IsOnRunKeyPath(const HKEY__ &key) {
  const auto &run = RunKeyParts();
  return (key.root == 1 || key.root == 2) && key.path.size() <= run.size() &&
         std::equal(key.path.begin(), key.path.end(), run.begin());
}

// HKEY_CLASSES_ROOT's ".htm" and "htmlfile\shell\open\command" stand for
// the desktop's default browser while they are not stored: their default
// values are "htmlfile" and the browser's command line. False for other keys
// and when no browser is set.
bool BrowserClassValue(const HKEY__ &key, std::wstring *text) {
  static const std::vector<std::string> extension = SplitKeyPath(L".htm");
  static const std::vector<std::string> command = SplitKeyPath(L"htmlfile\\shell\\open\\command");
  if (key.root != 0 || (key.path != extension && key.path != command)) return false;
  std::wstring browser = platform::DefaultBrowserCommand();
  if (browser.empty()) return false;
  if (text) *text = key.path == extension ? L"htmlfile" : browser;
  return true;
}

fs::path KeyFolder(const HKEY__ &key) {
  const std::string home = ConfigHome();
  if (home.empty()) return fs::path();
  fs::path p = fs::path(home) / "tickora" / "registry" / kRootFolders[key.root];
  for (const auto &part : key.path) p /= part;
  return p;
}

fs::path ValueFile(const HKEY__ &key, LPCWSTR name) {
  const fs::path folder = KeyFolder(key);
  if (folder.empty()) return folder;
  return folder / (EscapeName(name ? name : L"") + ".v");
}

fs::path AutostartFile(LPCWSTR name) {
  const std::string home = ConfigHome();
  if (home.empty()) return fs::path();
  return fs::path(home) / "autostart" / (EscapeName(name ? name : L"") + ".desktop");
}

// Looks a handle up; the predefined roots stand for themselves.
bool ResolveKey(HKEY handle, HKEY__ &out) {
  const int root = PredefinedRoot(handle);
  if (root >= 0) {
    out = HKEY__{root, {}, KEY_ALL_ACCESS};
    return true;
  }
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  if (!handle || !g_handles.count(handle)) return false;
  out = *handle;
  return true;
}

LONG NewHandle(const HKEY__ &key, PHKEY result) {
  HKEY handle = new HKEY__(key);
  std::lock_guard<std::mutex> lock(g_handles_mutex);
  g_handles.insert(handle);
  *result = handle;
  return ERROR_SUCCESS;
}

// Writes a file in full or not at all: a temporary file renamed over it.
DWORD WriteFileAtomically(const fs::path &file, const std::string &bytes) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return Win32ErrorFromErrno(ec.value());
  static std::atomic<unsigned> counter{0};
  const fs::path tmp = file.string() + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Win32ErrorFromErrno(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      ::unlink(tmp.c_str());
      return Win32ErrorFromErrno(err);
    }
    done += static_cast<size_t>(n);
  }
  if (::close(fd) != 0 || ::rename(tmp.c_str(), file.c_str()) != 0) {
    const int err = errno;
    ::unlink(tmp.c_str());
    return Win32ErrorFromErrno(err);
  }
  return ERROR_SUCCESS;
}

bool ReadWholeFile(const fs::path &file, std::string &bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  bytes = ss.str();
  return true;
}

// The text of REG_SZ data: up to its first null character.
std::wstring StringData(const BYTE *data, DWORD size) {
  std::wstring text(size / sizeof(WCHAR), L'\0');
  if (!text.empty()) std::memcpy(text.data(), data, text.size() * sizeof(WCHAR));
  const size_t nul = text.find(L'\0');
  if (nul != std::wstring::npos) text.resize(nul);
  return text;
}

// Desktop-entry string escaping of a value (backslash and control characters).
std::string EscapeEntryString(const std::string &s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string UnescapeEntryString(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
  }
  return out;
}

// The Exec value that starts `program` as one argument: inside double quotes
// '"', '`', '$' and '\' take a backslash, and '%' is doubled so it is no field
// code; the whole then takes the string escaping of the format.
std::string ExecLine(const std::string &program) {
  std::string quoted = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
    if (c == '%') quoted += '%';
  }
  quoted += '"';
  return EscapeEntryString(quoted);
}

// The program path back from an Exec value written by ExecLine.
std::string ProgramFromExec(const std::string &exec) {
  const std::string s = UnescapeEntryString(exec);
  std::string out;
  size_t i = 0;
  const bool quoted = !s.empty() && s[0] == '"';
  if (quoted) ++i;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (quoted && c == '"') break;
    if (quoted && c == '\\' && i + 1 < s.size()) {
      out += s[++i];
    } else if (c == '%' && i + 1 < s.size() && s[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

LONG SetRunValue(LPCWSTR name, DWORD type, const BYTE *data, DWORD size) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_PARAMETER;
  const std::string program = WideToMultiByte(CP_UTF8, StringData(data, size));
  for (unsigned char c : program)
    if (c < 0x20 || c == 0x7f) return ERROR_INVALID_DATA;  // no control characters in a command
  const fs::path file = AutostartFile(name);
  if (file.empty()) return ERROR_PATH_NOT_FOUND;
  std::wstring shown = name ? name : L"", icon;
  {
    std::lock_guard<std::mutex> lock(g_identity_mutex);
    if (!g_identity_name.empty()) shown = g_identity_name;
    icon = g_identity_icon;
  }
  std::string entry = "[Desktop Entry]\nType=Application\n";
  entry += "Name=" + EscapeEntryString(WideToMultiByte(CP_UTF8, shown)) + "\n";
  if (!icon.empty()) entry += "Icon=" + EscapeEntryString(WideToMultiByte(CP_UTF8, icon)) + "\n";
  entry += "Exec=" + ExecLine(program) + "\n";
  entry += "Terminal=false\n";
  if (program.empty()) entry += "Hidden=true\n";  // nothing to start
  return static_cast<LONG>(WriteFileAtomically(file, entry));
}

LONG QueryRunValue(LPCWSTR name, std::wstring &text) {
  const fs::path file = AutostartFile(name);
  std::string bytes;
  if (file.empty() || !ReadWholeFile(file, bytes)) return ERROR_FILE_NOT_FOUND;
  std::istringstream lines(bytes);
  std::string line;
  bool in_main_group = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] == '[') {
      in_main_group = line == "[Desktop Entry]";
    } else if (in_main_group && line.compare(0, 5, "Exec=") == 0) {
      text = MultiByteToWide(CP_UTF8, ProgramFromExec(line.substr(5)));
      return ERROR_SUCCESS;
    }
  }
  return ERROR_INVALID_DATA;
}

LONG OpenKey(HKEY parent, LPCWSTR sub_key, REGSAM sam, bool create, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  HKEY__ key;
  if (!ResolveKey(parent, key)) return ERROR_INVALID_HANDLE;
  for (auto &part : SplitKeyPath(sub_key)) key.path.push_back(std::move(part));
  key.access = sam;
  const fs::path folder = KeyFolder(key);
  if (folder.empty()) return ERROR_PATH_NOT_FOUND;
  std::error_code ec;
  const bool exists =
      IsOnRunKeyPath(key) || fs::is_directory(folder, ec) || (!create && BrowserClassValue(key, nullptr));
  if (!exists && !create) return ERROR_FILE_NOT_FOUND;
  if (!exists) {
    fs::create_directories(folder, ec);
    if (ec) return static_cast<LONG>(Win32ErrorFromErrno(ec.value()));
  }
  if (disposition) *disposition = exists ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
  return NewHandle(key, result);
}

}  // namespace

LONG RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return OpenKey(hKey, lpSubKey, KEY_ALL_ACCESS, false, phkResult, nullptr);
}

LONG RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  return OpenKey(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LONG RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired, void *, PHKEY phkResult,
                     LPDWORD lpdwDisposition) {
  return OpenKey(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LONG RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
  return OpenKey(hKey, lpSubKey, KEY_ALL_ACCESS, true, phkResult, nullptr);
}

LONG RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData) {
  HKEY__ key;
  if (!ResolveKey(hKey, key)) return ERROR_INVALID_HANDLE;
  if (!(key.access & (KEY_SET_VALUE | MAXIMUM_ALLOWED))) return ERROR_ACCESS_DENIED;
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  if (IsRunKey(key)) return SetRunValue(lpValueName, dwType, lpData, cbData);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((dwType >> (8 * i)) & 0xff);
  if (cbData) bytes.append(reinterpret_cast<const char *>(lpData), cbData);
  const fs::path file = ValueFile(key, lpValueName);
  if (file.empty()) return ERROR_PATH_NOT_FOUND;
  return static_cast<LONG>(WriteFileAtomically(file, bytes));
}

LONG RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  HKEY__ key;
  if (!ResolveKey(hKey, key)) return ERROR_INVALID_HANDLE;
  if (!(key.access & (KEY_QUERY_VALUE | MAXIMUM_ALLOWED))) return ERROR_ACCESS_DENIED;
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  DWORD type = REG_NONE;
  std::string data;
  if (IsRunKey(key)) {
    std::wstring text;
    const LONG rc = QueryRunValue(lpValueName, text);
    if (rc != ERROR_SUCCESS) return rc;
    type = REG_SZ;
    data.assign(reinterpret_cast<const char *>(text.c_str()), (text.size() + 1) * sizeof(WCHAR));
  } else {
    std::string bytes;
    const fs::path file = ValueFile(key, lpValueName);
    std::wstring browser;
    const bool stored = !file.empty() && ReadWholeFile(file, bytes);
    const bool isDefault = !lpValueName || !*lpValueName;
    if (!stored && !(isDefault && BrowserClassValue(key, &browser))) return ERROR_FILE_NOT_FOUND;
    if (!browser.empty()) {
      bytes.assign("\x01\0\0\0", 4);  // REG_SZ
      bytes.append(reinterpret_cast<const char *>(browser.c_str()), (browser.size() + 1) * sizeof(WCHAR));
    }
    if (bytes.size() < 4) return ERROR_INVALID_DATA;
    for (int i = 0; i < 4; ++i) type |= static_cast<DWORD>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    data = bytes.substr(4);
  }
  if (lpType) *lpType = type;
  if (!lpcbData) return ERROR_SUCCESS;
  const DWORD needed = static_cast<DWORD>(data.size());
  if (lpData && *lpcbData < needed) {
    *lpcbData = needed;
    return ERROR_MORE_DATA;
  }
  if (lpData) std::memcpy(lpData, data.data(), needed);
  *lpcbData = needed;
  return ERROR_SUCCESS;
}

LONG RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  HKEY__ key;
  if (!ResolveKey(hKey, key)) return ERROR_INVALID_HANDLE;
  if (!(key.access & (KEY_SET_VALUE | MAXIMUM_ALLOWED))) return ERROR_ACCESS_DENIED;
  const fs::path file = IsRunKey(key) ? AutostartFile(lpValueName) : ValueFile(key, lpValueName);
  if (file.empty()) return ERROR_FILE_NOT_FOUND;
  if (::unlink(file.c_str()) != 0) return static_cast<LONG>(Win32ErrorFromErrno(errno));
  return ERROR_SUCCESS;
}

void SetAutostartIdentity(const std::wstring &name, const std::wstring &icon) {
  std::lock_guard<std::mutex> lock(g_identity_mutex);
  g_identity_name = name;
  g_identity_icon = icon;
}

LONG RegCloseKey(HKEY hKey) {
  if (PredefinedRoot(hKey) >= 0) return ERROR_SUCCESS;
  {
    std::lock_guard<std::mutex> lock(g_handles_mutex);
    if (!hKey || !g_handles.erase(hKey)) return ERROR_INVALID_HANDLE;
  }
  delete hKey;
  return ERROR_SUCCESS;
}

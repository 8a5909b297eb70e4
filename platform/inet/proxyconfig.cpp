#include "platform/inet/proxyconfig.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

struct ProxyUrl {
  std::string hostPort;
  std::string user;
  std::string password;
  bool hasUser = false;
};

std::string Env(const char *lower, const char *upper) {
  const char *v = std::getenv(lower);
  if (!v || !*v) v = std::getenv(upper);
  return v ? v : "";
}

std::string PercentDecode(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

ProxyUrl ParseProxyUrl(std::string url) {
  ProxyUrl p;
  size_t scheme = url.find("://");
  if (scheme != std::string::npos) url.erase(0, scheme + 3);
  size_t slash = url.find('/');
  if (slash != std::string::npos) url.erase(slash);
  size_t at = url.rfind('@');
  if (at != std::string::npos) {
    std::string info = url.substr(0, at);
    url.erase(0, at + 1);
    size_t colon = info.find(':');
    p.hasUser = true;
    p.user = PercentDecode(info.substr(0, colon));
    if (colon != std::string::npos) p.password = PercentDecode(info.substr(colon + 1));
  }
  p.hostPort = url;
  return p;
}

struct Settings {
  std::vector<std::pair<std::string, ProxyUrl>> proxies;  // scheme, proxy; set ones only
  std::string bypass;
};

Settings ReadSettings() {
  Settings s;
  std::string all = Env("all_proxy", "ALL_PROXY");
  const struct {
    const char *scheme, *lower, *upper;
  } vars[] = {
      {"http", "http_proxy", "HTTP_PROXY"}, {"https", "https_proxy", "HTTPS_PROXY"}, {"ftp", "ftp_proxy", "FTP_PROXY"}};
  for (const auto &v : vars) {
    std::string url = Env(v.lower, v.upper);
    if (url.empty()) url = all;
    if (url.empty()) continue;
    ProxyUrl p = ParseProxyUrl(url);
    if (!p.hostPort.empty()) s.proxies.emplace_back(v.scheme, p);
  }
  std::string noProxy = Env("no_proxy", "NO_PROXY");
  size_t start = 0;
  while (start <= noProxy.size()) {
    size_t comma = noProxy.find(',', start);
    if (comma == std::string::npos) comma = noProxy.size();
    std::string entry = noProxy.substr(start, comma - start);
    size_t b = entry.find_first_not_of(" \t"), e = entry.find_last_not_of(" \t");
    if (b != std::string::npos) {
      if (!s.bypass.empty()) s.bypass += ';';
      s.bypass += entry.substr(b, e - b + 1);
    }
    start = comma + 1;
  }
  return s;
}

std::string ServerText(const Settings &s) {
  bool same = true;
  for (const auto &p : s.proxies) same = same && p.second.hostPort == s.proxies.front().second.hostPort;
  if (s.proxies.empty()) return "";
  if (same) return s.proxies.front().second.hostPort;
  std::string text;
  for (const auto &p : s.proxies) {
    if (!text.empty()) text += ';';
    text += p.first + "=" + p.second.hostPort;
  }
  return text;
}

// A malloc'ed wide copy (freed by GlobalFree), null for an empty text.
LPWSTR AllocText(const std::string &utf8) {
  if (utf8.empty()) return nullptr;
  std::wstring w = MultiByteToWide(CP_UTF8, utf8);
  auto *out = static_cast<LPWSTR>(std::malloc((w.size() + 1) * sizeof(wchar_t)));
  if (out) std::memcpy(out, w.c_str(), (w.size() + 1) * sizeof(wchar_t));
  return out;
}

BOOL QueryList(LPVOID buffer, LPDWORD bufferLength) {
  auto *list = static_cast<LPINTERNET_PER_CONN_OPTION_LISTW>(buffer);
  if (!list || *bufferLength < sizeof *list) {
    *bufferLength = sizeof(INTERNET_PER_CONN_OPTION_LISTW);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  if (list->dwSize < sizeof *list || (list->dwOptionCount && !list->pOptions) ||
      (list->pszConnection && *list->pszConnection)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    DWORD o = list->pOptions[i].dwOption;
    if (o < INTERNET_PER_CONN_FLAGS || o > INTERNET_PER_CONN_AUTODISCOVERY_FLAGS) {
      list->dwOptionError = i;
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  }
  Settings s = ReadSettings();
  for (DWORD i = 0; i < list->dwOptionCount; ++i) {
    INTERNET_PER_CONN_OPTIONW &opt = list->pOptions[i];
    switch (opt.dwOption) {
      case INTERNET_PER_CONN_FLAGS:
        opt.Value.dwValue = PROXY_TYPE_DIRECT | (s.proxies.empty() ? 0u : PROXY_TYPE_PROXY);
        break;
      case INTERNET_PER_CONN_PROXY_SERVER:
        opt.Value.pszValue = AllocText(ServerText(s));
        break;
      case INTERNET_PER_CONN_PROXY_BYPASS:
        opt.Value.pszValue = AllocText(s.bypass);
        break;
      case INTERNET_PER_CONN_AUTOCONFIG_URL:
        opt.Value.pszValue = nullptr;
        break;
      case INTERNET_PER_CONN_AUTODISCOVERY_FLAGS:
        opt.Value.dwValue = 0;
        break;
    }
  }
  return TRUE;
}

}  // namespace

namespace platform {

BOOL QuerySystemProxyList(LPVOID buffer, LPDWORD bufferLength) {
  if (!bufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return QueryList(buffer, bufferLength);
}

bool SystemProxyCredential(bool user, std::wstring &text) {
  Settings s = ReadSettings();
  for (const auto &p : s.proxies) {
    if (!p.second.hasUser) continue;
    text = MultiByteToWide(CP_UTF8, user ? p.second.user : p.second.password);
    return true;
  }
  return false;
}

}  // namespace platform

// The handle layer of platform/inet/wininet.h: handle table, sessions,
// connections, requests with their header lists, options and header queries.
// The exchange itself runs in wininet_transfer.cpp.
#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <unordered_map>

#include "platform/inet/proxyconfig.h"
#include "platform/inet/wininet_internal.h"
#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

using wininet::Connect;
using wininet::HandleKind;
using wininet::HeaderLine;
using wininet::Object;
using wininet::Request;
using wininet::Session;

namespace {

// --- handle table --------------------------------------------------------------
// A HINTERNET is the address of its object; the table tells live handles from
// closed or foreign ones, so a stale handle fails with ERROR_INVALID_HANDLE.

struct HandleTable {
  std::mutex lock;
  std::unordered_map<void *, std::shared_ptr<Object>> live;
};

HandleTable &Table() {
  static HandleTable *table = new HandleTable;  // outlives static destructors of callers
  return *table;
}

HINTERNET Register(std::shared_ptr<Object> obj) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  void *key = obj.get();
  t.live.emplace(key, std::move(obj));
  return key;
}

std::shared_ptr<Object> Lookup(HINTERNET h) {
  HandleTable &t = Table();
  std::lock_guard<std::mutex> g(t.lock);
  auto it = t.live.find(h);
  return it == t.live.end() ? nullptr : it->second;
}

template <typename T>
std::shared_ptr<T> LookupAs(HINTERNET h, HandleKind kind) {
  std::shared_ptr<Object> obj = Lookup(h);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (obj->kind != kind) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(obj);
}

// --- text ----------------------------------------------------------------------
// Header and URL text travels in the ANSI code page, as on the original platform.

std::string Narrow(LPCWSTR text, DWORD length = static_cast<DWORD>(-1)) {
  if (!text) return std::string();
  size_t n = length == static_cast<DWORD>(-1) ? std::wcslen(text) : length;
  return WideToMultiByte(CP_ACP, text, n);
}

std::wstring Wide(const std::string &bytes) { return MultiByteToWide(CP_ACP, bytes); }

bool EqualsNoCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Whether `name` is an HTTP token, as a header name must be.
bool IsToken(const std::string &name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr);
  });
}

// Whether a text for one header value (agent, referrer) would stay one line.
bool IsOneLine(const std::string &text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// Splits header text (lines separated by CR LF or LF) into name/value pairs.
// FALSE for text that is no block of header lines, which could otherwise
// put lines of its own choosing on the wire: a line that is not "name:
// value" with a token name, a CR or NUL inside a line, or any line after an
// empty one (that would end the request's header, and what follows would
// read as another request). Empty lines at the end are allowed.
bool ParseHeaderLines(const std::string &text, std::vector<HeaderLine> &out) {
  bool ended = false;
  for (size_t pos = 0; pos < text.size();) {
    const size_t end = std::min(text.find('\n', pos), text.size());
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!IsOneLine(line)) return false;
    line = Trim(line);
    if (line.empty()) {
      ended = true;
      continue;
    }
    const size_t colon = line.find(':');
    if (ended || colon == std::string::npos) return false;
    std::string name = Trim(line.substr(0, colon));
    if (!IsToken(name)) return false;
    out.push_back({std::move(name), Trim(line.substr(colon + 1))});
  }
  return true;
}

// Applies one header line to a request's list with the given modifiers.
bool ApplyHeader(std::vector<HeaderLine> &list, const HeaderLine &h, DWORD modifiers) {
  auto it = std::find_if(list.begin(), list.end(), [&](const HeaderLine &x) { return EqualsNoCase(x.name, h.name); });
  const bool exists = it != list.end();
  if (modifiers & HTTP_ADDREQ_FLAG_REPLACE) {
    if (exists) {
      if (h.value.empty())
        list.erase(it);
      else
        it->value = h.value;
      return true;
    }
    if (!(modifiers & HTTP_ADDREQ_FLAG_ADD)) {
      SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
      return false;
    }
    if (!h.value.empty()) list.push_back(h);
    return true;
  }
  if (modifiers & HTTP_ADDREQ_FLAG_ADD_IF_NEW) {
    if (!exists) list.push_back(h);  // an existing header stays as it is
    return true;
  }
  if (exists && (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA)) {
    it->value += ", " + h.value;
    return true;
  }
  if (exists && (modifiers & HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
    it->value += "; " + h.value;
    return true;
  }
  list.push_back(h);
  return true;
}

// Writes text to a query buffer: lengths in bytes, terminator not counted.
BOOL WriteText(const std::wstring &text, LPVOID buffer, LPDWORD length) {
  DWORD need = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  if (!buffer || *length < need) {
    *length = need;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, text.c_str(), need);
  *length = need - sizeof(wchar_t);
  return TRUE;
}

BOOL WriteNumber(const std::string &text, LPVOID buffer, LPDWORD length) {
  if (!buffer || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  char *end = nullptr;
  std::string t = Trim(text);
  unsigned long long v = std::strtoull(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0') {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  DWORD d = static_cast<DWORD>(v);
  std::memcpy(buffer, &d, sizeof d);
  *length = sizeof d;
  return TRUE;
}

const char *HeaderNameOf(DWORD level) {
  switch (level) {
    case HTTP_QUERY_MIME_VERSION:
      return "MIME-Version";
    case HTTP_QUERY_CONTENT_TYPE:
      return "Content-Type";
    case HTTP_QUERY_CONTENT_TRANSFER_ENCODING:
      return "Content-Transfer-Encoding";
    case HTTP_QUERY_CONTENT_ID:
      return "Content-ID";
    case HTTP_QUERY_CONTENT_DESCRIPTION:
      return "Content-Description";
    case HTTP_QUERY_CONTENT_LENGTH:
      return "Content-Length";
    case HTTP_QUERY_CONTENT_LANGUAGE:
      return "Content-Language";
    case HTTP_QUERY_ALLOW:
      return "Allow";
    case HTTP_QUERY_PUBLIC:
      return "Public";
    case HTTP_QUERY_DATE:
      return "Date";
    case HTTP_QUERY_EXPIRES:
      return "Expires";
    case HTTP_QUERY_LAST_MODIFIED:
      return "Last-Modified";
    case HTTP_QUERY_MESSAGE_ID:
      return "Message-ID";
    case HTTP_QUERY_URI:
      return "URI";
    case HTTP_QUERY_DERIVED_FROM:
      return "Derived-From";
    case HTTP_QUERY_COST:
      return "Cost";
    case HTTP_QUERY_LINK:
      return "Link";
    case HTTP_QUERY_PRAGMA:
      return "Pragma";
    case HTTP_QUERY_CONNECTION:
      return "Connection";
    case HTTP_QUERY_ACCEPT:
      return "Accept";
    case HTTP_QUERY_ACCEPT_CHARSET:
      return "Accept-Charset";
    case HTTP_QUERY_ACCEPT_ENCODING:
      return "Accept-Encoding";
    case HTTP_QUERY_ACCEPT_LANGUAGE:
      return "Accept-Language";
    case HTTP_QUERY_AUTHORIZATION:
      return "Authorization";
    case HTTP_QUERY_CONTENT_ENCODING:
      return "Content-Encoding";
    case HTTP_QUERY_FORWARDED:
      return "Forwarded";
    case HTTP_QUERY_FROM:
      return "From";
    case HTTP_QUERY_IF_MODIFIED_SINCE:
      return "If-Modified-Since";
    case HTTP_QUERY_LOCATION:
      return "Location";
    case HTTP_QUERY_ORIG_URI:
      return "Orig-URI";
    case HTTP_QUERY_REFERER:
      return "Referer";
    case HTTP_QUERY_RETRY_AFTER:
      return "Retry-After";
    case HTTP_QUERY_SERVER:
      return "Server";
    case HTTP_QUERY_TITLE:
      return "Title";
    case HTTP_QUERY_USER_AGENT:
      return "User-Agent";
    case HTTP_QUERY_WWW_AUTHENTICATE:
      return "WWW-Authenticate";
    case HTTP_QUERY_PROXY_AUTHENTICATE:
      return "Proxy-Authenticate";
    case HTTP_QUERY_ACCEPT_RANGES:
      return "Accept-Ranges";
    case HTTP_QUERY_SET_COOKIE:
      return "Set-Cookie";
    case HTTP_QUERY_COOKIE:
      return "Cookie";
    case HTTP_QUERY_HOST:
      return "Host";
    case HTTP_QUERY_TRANSFER_ENCODING:
      return "Transfer-Encoding";
    default:
      return nullptr;
  }
}

std::shared_ptr<Session> OpenSession(std::string agent, DWORD accessType, std::string proxy, std::string bypass) {
  if (!IsOneLine(agent)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT &&
      accessType != INTERNET_OPEN_TYPE_PROXY && accessType != INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (accessType == INTERNET_OPEN_TYPE_PROXY && proxy.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto s = std::make_shared<Session>();
  if (!s->multi) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  s->agent = std::move(agent);
  s->accessType = accessType;
  s->proxy = std::move(proxy);
  std::replace(bypass.begin(), bypass.end(), ';', ' ');
  size_t pos = 0;
  while (pos < bypass.size()) {
    size_t end = bypass.find(' ', pos);
    std::string item = bypass.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    if (!item.empty()) s->bypass.push_back(item);
    pos = end == std::string::npos ? bypass.size() : end + 1;
  }
  return s;
}

std::shared_ptr<Request> MakeRequest(const std::shared_ptr<Connect> &c, LPCWSTR verb, LPCWSTR objectName,
                                     LPCWSTR version, LPCWSTR referrer, LPCWSTR *acceptTypes, DWORD flags) {
  auto r = std::make_shared<Request>();
  r->connect = c;
  r->verb = verb && *verb ? Narrow(verb) : "GET";
  r->object = objectName && *objectName ? Narrow(objectName) : "/";
  r->httpVersion = version && *version ? Narrow(version) : "HTTP/1.1";
  r->referrer = Narrow(referrer);
  r->flags = flags;
  if (flags & INTERNET_FLAG_SECURE) r->securityFlags = SECURITY_FLAG_SECURE;
  if (acceptTypes) {
    std::string accept;
    for (LPCWSTR *p = acceptTypes; *p; ++p) {
      if (!accept.empty()) accept += ", ";
      accept += Narrow(*p);
    }
    if (!accept.empty()) r->headers.push_back({"Accept", accept});
  }
  return r;
}

DWORD *TimeoutField(Object &obj, DWORD option) {
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      return &obj.timeouts.connectMs;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
    case INTERNET_OPTION_SEND_TIMEOUT:
      return &obj.timeouts.receiveMs;
    case INTERNET_OPTION_EXCHANGE_TIMEOUT:
      return &obj.timeouts.exchangeMs;
    default:
      return nullptr;
  }
}

BOOL WriteDword(DWORD value, LPVOID buffer, LPDWORD length) {
  if (!length) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!buffer || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, &value, sizeof value);
  *length = sizeof value;
  return TRUE;
}

// Option text: the length is in characters; 0 means a terminated text.
std::string OptionText(LPVOID buffer, DWORD length) {
  LPCWSTR text = static_cast<LPCWSTR>(buffer);
  if (!text) return std::string();
  return Narrow(text, length ? length : static_cast<DWORD>(-1));
}

}  // namespace

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass, DWORD) {
  auto s = OpenSession(Narrow(agent), accessType, Narrow(proxy), Narrow(proxyBypass));
  return s ? Register(s) : nullptr;
}

HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass, DWORD) {
  auto s = OpenSession(agent ? agent : "", accessType, proxy ? proxy : "", proxyBypass ? proxyBypass : "");
  return s ? Register(s) : nullptr;
}

HINTERNET InternetConnectW(HINTERNET session, LPCWSTR serverName, INTERNET_PORT port, LPCWSTR userName,
                           LPCWSTR password, DWORD service, DWORD, DWORD_PTR) {
  auto s = LookupAs<Session>(session, HandleKind::Session);
  if (!s) return nullptr;
  if (!serverName || !*serverName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (service != INTERNET_SERVICE_HTTP) {
    SetLastError(ERROR_INTERNET_PROTOCOL_NOT_FOUND);
    return nullptr;
  }
  auto c = std::make_shared<Connect>();
  c->session = s;
  c->host = Narrow(serverName);
  c->port = port ? port : INTERNET_DEFAULT_HTTP_PORT;
  c->user = Narrow(userName);
  c->password = Narrow(password);
  return Register(c);
}

DWORD InternetAttemptConnect(DWORD) { return ERROR_SUCCESS; }

BOOL InternetGetConnectedState(LPDWORD flags, DWORD) {
  DWORD f = 0;
  bool up = false;
  ifaddrs *list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs *a = list; a; a = a->ifa_next) {
      if (a->ifa_addr && (a->ifa_flags & IFF_UP) && !(a->ifa_flags & IFF_LOOPBACK)) up = true;
    }
    freeifaddrs(list);
  }
  if (up) f |= INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_CONFIGURED;
  for (const char *var : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    const char *v = std::getenv(var);
    if (v && *v) f |= INTERNET_CONNECTION_PROXY;
  }
  if (flags) *flags = f;
  return up ? TRUE : FALSE;
}

BOOL InternetCloseHandle(HINTERNET handle) {
  std::shared_ptr<Object> obj;
  {
    HandleTable &t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.live.find(handle);
    if (it == t.live.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    obj = std::move(it->second);
    t.live.erase(it);
  }
  obj.reset();  // outside the table lock: a request's destructor ends its transfer
  return TRUE;
}

BOOL InternetQueryOptionW(HINTERNET handle, DWORD option, LPVOID buffer, LPDWORD bufferLength) {
  if (!bufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Without a handle the proxy options describe the system's settings.
  if (!handle && option == INTERNET_OPTION_PER_CONNECTION_OPTION)
    return platform::QuerySystemProxyList(buffer, bufferLength);
  if (!handle && (option == INTERNET_OPTION_PROXY_USERNAME || option == INTERNET_OPTION_PROXY_PASSWORD)) {
    std::wstring text;
    if (!platform::SystemProxyCredential(option == INTERNET_OPTION_PROXY_USERNAME, text)) {
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return FALSE;
    }
    return WriteText(text, buffer, bufferLength);
  }
  if (option == INTERNET_OPTION_CONNECTED_STATE) {
    // There is no offline mode here: always connected.
    if (!buffer || *bufferLength < sizeof(INTERNET_CONNECTED_INFO)) {
      *bufferLength = sizeof(INTERNET_CONNECTED_INFO);
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    INTERNET_CONNECTED_INFO info{INTERNET_STATE_CONNECTED, 0};
    std::memcpy(buffer, &info, sizeof info);
    *bufferLength = sizeof info;
    return TRUE;
  }
  std::shared_ptr<Object> obj = Lookup(handle);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (DWORD *field = TimeoutField(*obj, option)) {
    DWORD value = *field;
    if (!value && obj->kind == HandleKind::Request) {
      Request &r = static_cast<Request &>(*obj);
      value = option == INTERNET_OPTION_CONNECT_TIMEOUT    ? wininet::EffectiveConnectTimeout(r)
              : option == INTERNET_OPTION_EXCHANGE_TIMEOUT ? wininet::EffectiveExchangeTimeout(r)
                                                           : wininet::EffectiveReceiveTimeout(r);
    }
    return WriteDword(value, buffer, bufferLength);
  }
  switch (option) {
    case INTERNET_OPTION_HANDLE_TYPE: {
      DWORD type = obj->kind == HandleKind::Session ? 1 : obj->kind == HandleKind::Connect ? 3 : 13;
      return WriteDword(type, buffer, bufferLength);
    }
    case INTERNET_OPTION_SECURITY_FLAGS:
      if (obj->kind != HandleKind::Request) break;
      return WriteDword(static_cast<Request &>(*obj).securityFlags, buffer, bufferLength);
    case INTERNET_OPTION_USER_AGENT: {
      std::shared_ptr<Session> s;
      if (obj->kind == HandleKind::Session)
        s = std::static_pointer_cast<Session>(obj);
      else if (obj->kind == HandleKind::Connect)
        s = static_cast<Connect &>(*obj).session;
      else
        s = static_cast<Request &>(*obj).connect->session;
      return WriteText(Wide(s->agent), buffer, bufferLength);
    }
    case INTERNET_OPTION_URL: {
      if (obj->kind != HandleKind::Request) break;
      Request &r = static_cast<Request &>(*obj);
      std::string url = std::string(r.flags & INTERNET_FLAG_SECURE ? "https" : "http") + "://" + r.connect->host + ":" +
                        std::to_string(r.connect->port) + r.object;
      return WriteText(Wide(url), buffer, bufferLength);
    }
    case INTERNET_OPTION_PROXY_USERNAME:
    case INTERNET_OPTION_PROXY_PASSWORD: {
      if (obj->kind != HandleKind::Connect) break;
      Connect &c = static_cast<Connect &>(*obj);
      return WriteText(Wide(option == INTERNET_OPTION_PROXY_USERNAME ? c.proxyUser : c.proxyPassword), buffer,
                       bufferLength);
    }
    default:
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return FALSE;
  }
  SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  return FALSE;
}

BOOL InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength) {
  if (option == INTERNET_OPTION_CONNECTED_STATE) {
    if (!buffer || bufferLength < sizeof(INTERNET_CONNECTED_INFO)) {
      SetLastError(ERROR_INTERNET_BAD_OPTION_LENGTH);
      return FALSE;
    }
    return TRUE;  // always connected; nothing to change
  }
  std::shared_ptr<Object> obj = Lookup(handle);
  if (!obj) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto readDword = [&](DWORD &out) {
    if (!buffer || bufferLength < sizeof(DWORD)) {
      SetLastError(ERROR_INTERNET_BAD_OPTION_LENGTH);
      return false;
    }
    std::memcpy(&out, buffer, sizeof out);
    return true;
  };
  if (DWORD *field = TimeoutField(*obj, option)) {
    DWORD v = 0;
    if (!readDword(v)) return FALSE;
    *field = v;
    return TRUE;
  }
  switch (option) {
    case INTERNET_OPTION_SECURITY_FLAGS: {
      if (obj->kind != HandleKind::Request) break;
      DWORD v = 0;
      if (!readDword(v)) return FALSE;
      static_cast<Request &>(*obj).securityFlags = v;  // kept; verification stays on
      return TRUE;
    }
    case INTERNET_OPTION_PROXY_USERNAME:
    case INTERNET_OPTION_PROXY_PASSWORD:
    case INTERNET_OPTION_USERNAME:
    case INTERNET_OPTION_PASSWORD: {
      if (obj->kind != HandleKind::Connect) break;
      Connect &c = static_cast<Connect &>(*obj);
      std::string text = OptionText(buffer, bufferLength);
      if (option == INTERNET_OPTION_PROXY_USERNAME)
        c.proxyUser = text;
      else if (option == INTERNET_OPTION_PROXY_PASSWORD)
        c.proxyPassword = text;
      else if (option == INTERNET_OPTION_USERNAME)
        c.user = text;
      else
        c.password = text;
      return TRUE;
    }
    case INTERNET_OPTION_USER_AGENT: {
      if (obj->kind != HandleKind::Session) break;
      std::string agent = OptionText(buffer, bufferLength);
      if (!IsOneLine(agent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      static_cast<Session &>(*obj).agent = std::move(agent);
      return TRUE;
    }
    default:
      SetLastError(ERROR_INTERNET_INVALID_OPTION);
      return FALSE;
  }
  SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  return FALSE;
}

HINTERNET HttpOpenRequestW(HINTERNET connect, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version, LPCWSTR referrer,
                           LPCWSTR *acceptTypes, DWORD flags, DWORD_PTR) {
  auto c = LookupAs<Connect>(connect, HandleKind::Connect);
  if (!c) return nullptr;
  // The verb and the referrer go on the wire as they are; the object is escaped.
  if ((verb && *verb && !IsToken(Narrow(verb))) || !IsOneLine(Narrow(referrer))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Register(MakeRequest(c, verb, objectName, version, referrer, acceptTypes, flags));
}

BOOL HttpAddRequestHeadersW(HINTERNET request, LPCWSTR headers, DWORD headersLength, DWORD modifiers) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (!headers) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<HeaderLine> lines;
  if (!ParseHeaderLines(Narrow(headers, headersLength), lines)) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  if (lines.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::vector<HeaderLine> updated = r->headers;
  for (const HeaderLine &h : lines) {
    if (!ApplyHeader(updated, h, modifiers)) return FALSE;
  }
  r->headers = std::move(updated);
  return TRUE;
}

BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional, DWORD optionalLength) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  std::vector<HeaderLine> extra;
  if (headers && !ParseHeaderLines(Narrow(headers, headersLength), extra)) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return FALSE;
  }
  std::string body;
  if (optional && optionalLength) body.assign(static_cast<const char *>(optional), optionalLength);
  r->writing = false;
  return wininet::StartExchange(*r, extra, std::move(body));
}

BOOL HttpSendRequestExW(HINTERNET request, LPINTERNET_BUFFERSW buffersIn, LPINTERNET_BUFFERSW, DWORD, DWORD_PTR) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (buffersIn && buffersIn->dwStructSize != sizeof(INTERNET_BUFFERSW)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  wininet::EndTransfer(*r);
  r->writing = true;
  r->pendingBody.clear();
  if (buffersIn && buffersIn->lpvBuffer && buffersIn->dwBufferLength)
    r->pendingBody.assign(static_cast<const char *>(buffersIn->lpvBuffer), buffersIn->dwBufferLength);
  return TRUE;
}

BOOL InternetWriteFile(HINTERNET request, LPCVOID buffer, DWORD numberOfBytesToWrite, LPDWORD numberOfBytesWritten) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (!numberOfBytesWritten || (!buffer && numberOfBytesToWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *numberOfBytesWritten = 0;
  if (!r->writing) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  r->pendingBody.append(static_cast<const char *>(buffer), numberOfBytesToWrite);
  *numberOfBytesWritten = numberOfBytesToWrite;
  return TRUE;
}

BOOL HttpEndRequestW(HINTERNET request, LPINTERNET_BUFFERSW, DWORD, DWORD_PTR) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (!r->writing) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  r->writing = false;
  std::string body;
  body.swap(r->pendingBody);
  return wininet::StartExchange(*r, {}, std::move(body));
}

BOOL InternetReadFile(HINTERNET request, LPVOID buffer, DWORD numberOfBytesToRead, LPDWORD numberOfBytesRead) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (!numberOfBytesRead || (!buffer && numberOfBytesToRead)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *numberOfBytesRead = 0;
  return wininet::ReadBody(*r, buffer, numberOfBytesToRead, numberOfBytesRead);
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength, LPDWORD index) {
  auto r = LookupAs<Request>(request, HandleKind::Request);
  if (!r) return FALSE;
  if (!bufferLength) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD level = infoLevel & HTTP_QUERY_HEADER_MASK;
  const bool number = (infoLevel & HTTP_QUERY_FLAG_NUMBER) != 0;
  const bool requestSide = (infoLevel & HTTP_QUERY_FLAG_REQUEST_HEADERS) != 0;
  auto give = [&](const std::string &value) {
    return number ? WriteNumber(value, buffer, bufferLength) : WriteText(Wide(value), buffer, bufferLength);
  };

  // Lines of the chosen side: the request as it will be sent, or the last response.
  std::string firstLine;
  const std::vector<HeaderLine> *lines = nullptr;
  const wininet::Response *resp = nullptr;
  if (requestSide) {
    firstLine = r->verb + " " + r->object + " " + r->httpVersion;
    lines = &r->headers;
  } else {
    resp = wininet::GetResponse(*r);
    if (!resp) {
      SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
      return FALSE;
    }
    firstLine = resp->statusLine;
    lines = &resp->headers;
  }

  switch (level) {
    case HTTP_QUERY_RAW_HEADERS_CRLF:
    case HTTP_QUERY_RAW_HEADERS: {
      if (level == HTTP_QUERY_RAW_HEADERS_CRLF) {
        std::string text = firstLine + "\r\n";
        for (const HeaderLine &h : *lines) text += h.name + ": " + h.value + "\r\n";
        text += "\r\n";
        return WriteText(Wide(text), buffer, bufferLength);
      }
      // NUL-separated lines ending in an empty one.
      std::wstring w = Wide(firstLine);
      w.push_back(L'\0');
      for (const HeaderLine &h : *lines) {
        w += Wide(h.name + ": " + h.value);
        w.push_back(L'\0');
      }
      return WriteText(w, buffer, bufferLength);
    }
    case HTTP_QUERY_REQUEST_METHOD:
      return give(r->verb);
    case HTTP_QUERY_STATUS_CODE:
      if (!resp) break;
      return give(std::to_string(resp->status));
    case HTTP_QUERY_STATUS_TEXT:
    case HTTP_QUERY_VERSION: {
      if (!resp) break;
      size_t sp = resp->statusLine.find(' ');
      std::string version = resp->statusLine.substr(0, sp);
      std::string reason;
      if (sp != std::string::npos) {
        size_t sp2 = resp->statusLine.find(' ', sp + 1);
        if (sp2 != std::string::npos) reason = resp->statusLine.substr(sp2 + 1);
      }
      return give(level == HTTP_QUERY_VERSION ? version : reason);
    }
    default:
      break;
  }

  std::string name;
  if (level == HTTP_QUERY_CUSTOM) {
    if (!buffer) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    name = Narrow(static_cast<LPCWSTR>(buffer));
  } else if (const char *n = HeaderNameOf(level)) {
    name = n;
  } else {
    SetLastError(ERROR_HTTP_INVALID_QUERY_REQUEST);
    return FALSE;
  }
  const DWORD wanted = index ? *index : 0;
  const HeaderLine *found = nullptr;
  if (resp) {
    found = resp->Find(name, wanted);  // at once, however many lines the response has
  } else {
    DWORD seen = 0;
    for (const HeaderLine &h : *lines) {
      if (EqualsNoCase(h.name, name) && seen++ == wanted) {
        found = &h;
        break;
      }
    }
  }
  if (!found) {
    SetLastError(ERROR_HTTP_HEADER_NOT_FOUND);
    return FALSE;
  }
  if (!give(found->value)) return FALSE;
  if (index) ++*index;
  return TRUE;
}

HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headersLength, DWORD flags,
                           DWORD_PTR) {
  auto s = LookupAs<Session>(session, HandleKind::Session);
  if (!s) return nullptr;
  if (!url) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::wstring u = url;
  size_t sep = u.find(L"://");
  if (sep == std::wstring::npos) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return nullptr;
  }
  std::string scheme = Narrow(u.substr(0, sep).c_str());
  bool secure = EqualsNoCase(scheme, "https");
  if (!secure && !EqualsNoCase(scheme, "http")) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return nullptr;
  }
  std::wstring rest = u.substr(sep + 3);
  size_t slash = rest.find_first_of(L"/?");
  std::wstring hostPort = rest.substr(0, slash);
  std::wstring object = slash == std::wstring::npos ? L"/" : rest.substr(slash);
  if (object[0] == L'?') object.insert(object.begin(), L'/');
  size_t at = hostPort.rfind(L'@');
  std::wstring userInfo;
  if (at != std::wstring::npos) {
    userInfo = hostPort.substr(0, at);
    hostPort = hostPort.substr(at + 1);
  }
  size_t hash = object.find(L'#');
  if (hash != std::wstring::npos) object.erase(hash);
  INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  std::wstring host = hostPort;
  size_t colon = hostPort.rfind(L':');
  size_t bracket = hostPort.rfind(L']');
  if (colon != std::wstring::npos && (bracket == std::wstring::npos || colon > bracket)) {
    host = hostPort.substr(0, colon);
    long p = std::wcstol(hostPort.c_str() + colon + 1, nullptr, 10);
    if (p <= 0 || p > 65535) {
      SetLastError(ERROR_INTERNET_INVALID_URL);
      return nullptr;
    }
    port = static_cast<INTERNET_PORT>(p);
  }
  if (host.size() >= 2 && host.front() == L'[' && host.back() == L']') host = host.substr(1, host.size() - 2);
  if (host.empty()) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    return nullptr;
  }
  auto c = std::make_shared<Connect>();
  c->session = s;
  c->host = Narrow(host.c_str());
  c->port = port;
  if (!userInfo.empty()) {
    size_t pc = userInfo.find(L':');
    c->user = Narrow(userInfo.substr(0, pc).c_str());
    if (pc != std::wstring::npos) c->password = Narrow(userInfo.substr(pc + 1).c_str());
  }
  if (secure) flags |= INTERNET_FLAG_SECURE;
  auto r = MakeRequest(c, L"GET", object.c_str(), L"HTTP/1.1", nullptr, nullptr, flags);
  std::vector<HeaderLine> extra;
  if (headers && !ParseHeaderLines(Narrow(headers, headersLength), extra)) {
    SetLastError(ERROR_HTTP_INVALID_HEADER);
    return nullptr;
  }
  for (const HeaderLine &h : extra) ApplyHeader(r->headers, h, HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE);
  if (!wininet::StartExchange(*r, {}, std::string())) return nullptr;
  return Register(r);
}

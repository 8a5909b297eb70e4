// The transfer engine behind the request handles: one HTTP exchange over a
// libcurl easy handle, driven by the session's multi handle so that the
// caller can stop after the response headers and then pull the body piece by
// piece. Also holds the process-wide time-out settings.
#include <curl/curl.h>
#include <openssl/crypto.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "platform/inet/wininet_internal.h"
#include "platform/text/winerror.h"

namespace wininet {

// --- errors --------------------------------------------------------------------

namespace {

// The certificate failure an X509 verification result names. 0 and 1 are
// what curl leaves after a chain that verified but failed its own host-name
// check.
DWORD ErrorFromVerifyResult(long verifyResult) {
  switch (verifyResult) {
    case X509_V_OK:
    case 1:
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_CERT_NOT_YET_VALID:
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_ERROR_IN_CERT_NOT_BEFORE_FIELD:
    case X509_V_ERR_ERROR_IN_CERT_NOT_AFTER_FIELD:
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case X509_V_ERR_CERT_REVOKED:
      return ERROR_INTERNET_SEC_CERT_REVOKED;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_INVALID_CA:
      return ERROR_INTERNET_INVALID_CA;
    default:  // a signature, purpose or format fault of the certificate itself
      return ERROR_INTERNET_SEC_INVALID_CERT;
  }
}

}  // namespace

DWORD ErrorFromCurl(int curlCode, long verifyResult) {
  switch (static_cast<CURLcode>(curlCode)) {
    case CURLE_OK:
      return ERROR_SUCCESS;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_SSL_CONNECT_ERROR:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_PEER_FAILED_VERIFICATION:
      return ErrorFromVerifyResult(verifyResult);
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_WEIRD_SERVER_REPLY:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    // The server closed the connection: before any answer, or before the
    // end it announced.
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:  // the connection was reset
    case CURLE_RECV_ERROR:
      return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_OUT_OF_MEMORY:
      return ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_LOGIN_DENIED:
      return ERROR_INTERNET_LOGIN_FAILURE;
    // An FTP server refused the command: the reason is in its reply.
    case CURLE_QUOTE_ERROR:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_UPLOAD_FAILED:
      return ERROR_INTERNET_EXTENDED_ERROR;
    default:
      return ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

namespace {

constexpr DWORD kDefaultTimeoutMs = 60000;
// Received body bytes kept ahead of the reader before the transfer pauses.
constexpr size_t kMaxBuffered = 64 * 1024;
constexpr long kMaxRedirects = 30;
// The slowest rate a transfer may keep up for a whole receive time-out.
constexpr unsigned long long kMinBytesPerSecond = 1024;
// The limit of wininet.h on the header bytes of all the responses of one
// exchange (redirects and interim responses included). It is curl's own, so
// whichever of the two meets it first, the exchange fails the same way. curl
// also refuses a single line over 100 KiB.
constexpr size_t kMaxHeaderBytes = 300 * 1024;
// How curl (before it had CURLE_TOO_LARGE) says that the headers passed its
// limit; it reports that as CURLE_RECV_ERROR.
constexpr char kCurlHeaderLimitText[] = "Too large response headers";
// What the session's pool is marked with once it holds TLS connections
// verified against different stores: the next https request replaces it.
constexpr unsigned long long kMixedTrust = ~0ull;

std::atomic<DWORD> g_connectTimeoutMs{0};
std::atomic<DWORD> g_receiveTimeoutMs{0};

}  // namespace

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    // exit() may run while worker threads are inside a TLS exchange; OpenSSL's
    // own exit-time cleanup would free its state under them, so it is left out.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    curl_global_init(CURL_GLOBAL_DEFAULT);
  });
}

std::shared_ptr<CURLM> NewConnectionPool() {
  GlobalInit();
  CURLM *m = curl_multi_init();
  if (!m) return nullptr;
  return std::shared_ptr<CURLM>(m, [](CURLM *p) { curl_multi_cleanup(p); });
}

namespace {

bool EqualsNoCase(const std::string &a, const char *b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

bool HasHeader(const std::vector<HeaderLine> &list, const char *name) {
  return std::any_of(list.begin(), list.end(), [&](const HeaderLine &h) { return EqualsNoCase(h.name, name); });
}

std::string LowerAscii(std::string s) {
  for (char &c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string TrimBlanks(const std::string &s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool WildcardMatch(const char *pattern, const char *text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') return WildcardMatch(pattern + 1, text) || (*text && WildcardMatch(pattern, text + 1));
  return *text &&
         std::tolower(static_cast<unsigned char>(*pattern)) == std::tolower(static_cast<unsigned char>(*text)) &&
         WildcardMatch(pattern + 1, text + 1);
}

// Whether the Content-Length lines of a response, each possibly a comma
// list, give one decimal value between them. HTTP makes a response with
// differing or unreadable lengths unrecoverable: its body cannot be told
// from what follows it.
bool LengthsAgree(const Response &r) {
  auto it = r.positions.find("content-length");
  if (it == r.positions.end()) return true;
  bool seen = false;
  unsigned long long first = 0;
  for (size_t i : it->second) {
    const std::string &value = r.headers[i].value;
    for (size_t pos = 0; pos <= value.size();) {
      size_t comma = std::min(value.find(',', pos), value.size());
      const std::string item = TrimBlanks(value.substr(pos, comma - pos));
      if (item.empty() || item.size() > 19 || item.find_first_not_of("0123456789") != std::string::npos) return false;
      const unsigned long long length = std::stoull(item);
      if (seen && length != first) return false;
      seen = true;
      first = length;
      pos = comma + 1;
    }
  }
  return true;
}

// The proxy URL for this host and scheme, "" for a direct connection, or
// NULL to leave the choice to the environment (preconfigured access).
const char *ChooseProxy(const Session &s, const std::string &host, bool secure, std::string &storage) {
  if (s.accessType == INTERNET_OPEN_TYPE_DIRECT) return "";
  if (s.accessType != INTERNET_OPEN_TYPE_PROXY) return nullptr;
  for (const std::string &entry : s.bypass) {
    if (entry == "<local>" ? host.find('.') == std::string::npos : WildcardMatch(entry.c_str(), host.c_str()))
      return "";
  }
  // Either one "host:port" for every scheme or "scheme=host:port" entries.
  std::string chosen;
  std::string list = s.proxy;
  std::replace(list.begin(), list.end(), ' ', ';');
  std::stringstream ss(list);
  std::string item;
  while (std::getline(ss, item, ';')) {
    if (item.empty()) continue;
    size_t eq = item.find('=');
    if (eq == std::string::npos || item.find("://") < eq) {
      if (chosen.empty()) chosen = item;
      continue;
    }
    std::string scheme = item.substr(0, eq);
    if (EqualsNoCase(scheme, secure ? "https" : "http")) {
      chosen = item.substr(eq + 1);
      break;
    }
  }
  if (chosen.empty()) return "";
  storage = chosen.find("://") == std::string::npos ? "http://" + chosen : chosen;
  return storage.c_str();
}

}  // namespace

// --- one exchange ---------------------------------------------------------------

struct Transfer {
  using Clock = std::chrono::steady_clock;

  ~Transfer() {
    if (easy) {
      if (attached) curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
    }
    if (headerList) curl_slist_free_all(headerList);
  }

  CURL *easy = nullptr;
  Session *session = nullptr;               // the request's session, alive while the transfer is
  std::shared_ptr<CURLM> pool;              // the session's connection pool at the start
  CURLM *multi = nullptr;                   // pool.get()
  std::shared_ptr<const TrustStore> trust;  // verifies this transfer's TLS connections; taken on the first
  bool attached = false;
  curl_slist *headerList = nullptr;
  std::string url;
  std::string body;
  std::string proxy;

  Response building;  // block being received
  Response response;  // last complete block
  bool haveResponse = false;
  bool headersFinal = false;
  bool followRedirects = true;
  size_t headerBytes = 0;  // of every block so far
  bool headerOverflow = false;
  // The final response is one HTTP forbids: differing lengths, or a switch
  // of protocols the request did not ask for.
  bool invalidResponse = false;
  bool askedUpgrade = false;  // the request carries an Upgrade line
  char errorText[CURL_ERROR_SIZE] = {};

  std::string buffered;  // body bytes not yet read
  size_t readPos = 0;
  bool paused = false;
  // The reader's buffer while it waits for body bytes: they go there
  // straight, and only what does not fit into `buffered`.
  char *direct = nullptr;
  size_t directRoom = 0, directGot = 0;

  bool done = false;
  DWORD error = ERROR_SUCCESS;
  DWORD receiveTimeoutMs = kDefaultTimeoutMs;
  bool connected = false;
  bool hasDeadline = false;
  Clock::time_point deadline;  // of the whole exchange
  Clock::time_point lastActivity;
  // The rate floor: bytes moved (both ways, headers included) and the moment
  // since which the average rate has stayed below the floor.
  unsigned long long moved = 0;
  unsigned long long rateBytes = 0;
  Clock::time_point rateMark;
  curl_off_t lastDown = 0, lastUp = 0;
  Clock::time_point leftDrive;  // when the caller got control back
  bool everDriven = false;

  size_t Available() const { return buffered.size() - readPos; }

  void Moved(size_t n) {
    moved += n;
    lastActivity = Clock::now();
  }

  static size_t OnHeader(char *data, size_t size, size_t count, void *user) {
    Transfer *t = static_cast<Transfer *>(user);
    size_t n = size * count;
    t->Moved(n);
    t->headerBytes += n;
    if (t->headerBytes > kMaxHeaderBytes) {
      t->headerOverflow = true;
      return 0;  // ends the transfer
    }
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
      t->building = Response();
      t->building.statusLine = line;
      size_t sp = line.find(' ');
      t->building.status = sp == std::string::npos ? 0 : std::atoi(line.c_str() + sp + 1);
    } else if (line.empty()) {
      if (!t->OnBlockEnd()) return 0;  // ends the transfer
    } else if ((line[0] == ' ' || line[0] == '\t') && !t->building.headers.empty()) {
      t->building.headers.back().value += " " + TrimBlanks(line);  // folded continuation
    } else {
      size_t colon = line.find(':');
      if (colon != std::string::npos) t->building.Add({line.substr(0, colon), TrimBlanks(line.substr(colon + 1))});
    }
    return n;
  }

  // The end of a header block; false when the response may not be read.
  bool OnBlockEnd() {
    const int code = building.status;
    response = std::move(building);
    building = Response();
    haveResponse = true;
    if (code == 101 && !askedUpgrade) {
      invalidResponse = true;
      return false;
    }
    if (code >= 100 && code < 200) return true;  // interim response; the real one follows
    if (!LengthsAgree(response)) {
      invalidResponse = true;
      return false;
    }
    bool redirect =
        followRedirects && code >= 300 && code < 400 && code != 304 && response.positions.count("location") != 0;
    if (!redirect) headersFinal = true;
    return true;
  }

  static size_t OnBody(char *data, size_t size, size_t count, void *user) {
    Transfer *t = static_cast<Transfer *>(user);
    size_t n = size * count;
    const size_t straight = std::min(n, t->directRoom - t->directGot);
    if (straight == 0 && t->Available() >= kMaxBuffered) {
      t->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    t->Moved(n);
    t->headersFinal = true;
    if (straight > 0) {
      std::memcpy(t->direct + t->directGot, data, straight);
      t->directGot += straight;
      if (straight == n) return n;
    }
    if (t->readPos > 0 && t->readPos >= t->buffered.size() / 2) {
      t->buffered.erase(0, t->readPos);
      t->readPos = 0;
    }
    t->buffered.append(data + straight, n - straight);
    return n;
  }

  static int OnProgress(void *user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow) {
    Transfer *t = static_cast<Transfer *>(user);
    if (dlnow != t->lastDown) {
      t->lastDown = dlnow;
      t->lastActivity = Clock::now();
    }
    if (ulnow > t->lastUp) {  // upload bytes are counted here only
      t->Moved(static_cast<size_t>(ulnow - t->lastUp));
      t->lastUp = ulnow;
    }
    if (!t->connected) {
      curl_off_t pre = 0;
      if (curl_easy_getinfo(t->easy, CURLINFO_PRETRANSFER_TIME_T, &pre) == CURLE_OK && pre > 0) {
        t->connected = true;  // the receive time-out and the rate floor run from here on
        t->lastActivity = t->rateMark = Clock::now();
        t->rateBytes = t->moved;
      }
    }
    return 0;
  }

  // curl's hook for every new TLS connection: the shared store verifies it,
  // taken now if this transfer has none yet.
  static CURLcode OnSslContext(CURL *, void *sslContext, void *user) {
    Transfer *t = static_cast<Transfer *>(user);
    if (!t->trust) {
      t->trust = CurrentTrust();
      if (!t->trust) return CURLE_OUT_OF_MEMORY;
      unsigned long long &pooled = t->session->trustGeneration;
      if (pooled == 0)
        pooled = t->trust->generation;
      else if (pooled != t->trust->generation)
        pooled = kMixedTrust;
    }
    return InstallTrust(sslContext, *t->trust) ? CURLE_OK : CURLE_OUT_OF_MEMORY;
  }

  // The error of a transfer that curl ended with `code`.
  DWORD ErrorOf(int code, long verifyResult) const {
    const bool inHeader = !headersFinal;
    switch (code) {
      case CURLE_WRITE_ERROR:
        if (headerOverflow) return ERROR_HTTP_INVALID_HEADER;
        if (invalidResponse) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        break;
      case CURLE_OUT_OF_MEMORY:  // what curl reports for a header line over its limit
        if (inHeader) return ERROR_HTTP_INVALID_HEADER;
        break;
      case CURLE_UNSUPPORTED_PROTOCOL:
        // The scheme was checked before: a redirect to one that may not be
        // followed, or an answer without a status line (HTTP/0.9).
        if (haveResponse && response.status >= 300 && response.status < 400) return ERROR_HTTP_REDIRECT_FAILED;
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
      case CURLE_RECV_ERROR:
        if (inHeader && std::strncmp(errorText, kCurlHeaderLimitText, sizeof kCurlHeaderLimitText - 1) == 0)
          return ERROR_HTTP_INVALID_HEADER;
        [[fallthrough]];
      case CURLE_GOT_NOTHING:
      case CURLE_SEND_ERROR:
      case CURLE_PARTIAL_FILE:
        // A connection that ends inside the header of an answer: the answer is cut.
        if (inHeader && headerBytes > 0) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
        break;
      default:
        break;
    }
#if LIBCURL_VERSION_NUM >= 0x080600
    if (code == CURLE_TOO_LARGE && inHeader) return ERROR_HTTP_INVALID_HEADER;
#endif
    return ErrorFromCurl(code, verifyResult);
  }

  void Finish(DWORD err) {
    done = true;
    error = err;
    if (attached) {
      curl_multi_remove_handle(multi, easy);
      attached = false;
    }
  }

  // The time-out that has run out, ERROR_SUCCESS while none has; `waitMs` is
  // lowered to the time until the next one can run out.
  DWORD CheckTimeouts(Clock::time_point now, long &waitMs) {
    auto ms = [](Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
    if (hasDeadline) {
      long long left = ms(deadline - now);
      if (left <= 0) return ERROR_INTERNET_TIMEOUT;
      waitMs = std::min<long long>(waitMs, left);
    }
    if (!connected || receiveTimeoutMs == INFINITE) return ERROR_SUCCESS;
    const long long limit = receiveTimeoutMs;
    long long idle = ms(now - lastActivity);
    if (idle >= limit) return ERROR_INTERNET_TIMEOUT;
    // A window whose average rate met the floor starts a new one.
    long long slow = ms(now - rateMark);
    if ((moved - rateBytes) * 1000 >= kMinBytesPerSecond * static_cast<unsigned long long>(slow)) {
      rateMark = now;
      rateBytes = moved;
      slow = 0;
    }
    if (slow >= limit) return ERROR_INTERNET_TIMEOUT;
    waitMs = std::min<long long>(waitMs, std::min(limit - idle, limit - slow));
    return ERROR_SUCCESS;
  }

  // Runs the transfer until `ready` holds or it ends. FALSE when it ended in error.
  template <typename Pred>
  bool Drive(Pred ready) {
    if (everDriven) {
      // The caller's own time between reads is no silence of the server.
      Clock::duration away = Clock::now() - leftDrive;
      lastActivity += away;
      rateMark += away;
    }
    everDriven = true;
    while (!done && !ready()) {
      int running = 0;
      CURLMcode mc = curl_multi_perform(multi, &running);
      if (mc != CURLM_OK) {
        Finish(ERROR_INTERNET_INTERNAL_ERROR);
        break;
      }
      int left = 0;
      while (CURLMsg *msg = curl_multi_info_read(multi, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        Transfer *owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, reinterpret_cast<char **>(&owner));
        if (!owner) continue;
        long verify = 0;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_SSL_VERIFYRESULT, &verify);
        owner->Finish(owner->ErrorOf(msg->data.result, verify));
      }
      if (done || ready()) break;
      long waitMs = 200;
      DWORD expired = CheckTimeouts(Clock::now(), waitMs);
      if (expired != ERROR_SUCCESS) {
        Finish(expired);
        break;
      }
      curl_multi_poll(multi, nullptr, 0, static_cast<int>(std::max<long>(waitMs, 1)), nullptr);
    }
    leftDrive = Clock::now();
    return error == ERROR_SUCCESS;
  }
};

void Response::Add(HeaderLine line) {
  positions[LowerAscii(line.name)].push_back(headers.size());
  headers.push_back(std::move(line));
}

const HeaderLine *Response::Find(const std::string &name, size_t occurrence) const {
  auto it = positions.find(LowerAscii(name));
  if (it == positions.end() || occurrence >= it->second.size()) return nullptr;
  return &headers[it->second[occurrence]];
}

Session::Session() : Object(HandleKind::Session), multi(NewConnectionPool()) {}

Session::~Session() = default;

Request::Request() : Object(HandleKind::Request) {}
Request::~Request() { transfer.reset(); }

namespace {

// A time-out of the request, else of its connection, else of its session; 0 when none sets it.
DWORD InheritedTimeout(const Request &req, DWORD Timeouts::*field) {
  if (req.timeouts.*field) return req.timeouts.*field;
  if (!req.connect) return 0;
  if (req.connect->timeouts.*field) return req.connect->timeouts.*field;
  return req.connect->session->timeouts.*field;
}

}  // namespace

DWORD EffectiveConnectTimeout(const Request &req) {
  DWORD ms = InheritedTimeout(req, &Timeouts::connectMs);
  if (!ms) ms = g_connectTimeoutMs.load();
  return ms ? ms : kDefaultTimeoutMs;
}

DWORD EffectiveReceiveTimeout(const Request &req) {
  DWORD ms = InheritedTimeout(req, &Timeouts::receiveMs);
  if (!ms) ms = g_receiveTimeoutMs.load();
  return ms ? ms : kDefaultTimeoutMs;
}

DWORD EffectiveExchangeTimeout(const Request &req) { return InheritedTimeout(req, &Timeouts::exchangeMs); }

namespace {

// Bytes of the request target that cannot stand in a URL as they are.
std::string EscapeTarget(const std::string &object) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : object) {
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' || c == '{' ||
        c == '|' || c == '}') {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.empty() || out[0] != '/') out.insert(out.begin(), '/');
  return out;
}

std::string BuildUrl(const Connect &c, bool secure, const std::string &object) {
  std::string host = c.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  return std::string(secure ? "https" : "http") + "://" + host + ":" + std::to_string(c.port) + EscapeTarget(object);
}

}  // namespace

BOOL StartExchange(Request &req, const std::vector<HeaderLine> &extraHeaders, std::string body) {
  req.transfer.reset();
  auto t = std::make_unique<Transfer>();
  const auto start = Transfer::Clock::now();
  Session &session = *req.connect->session;
  t->session = &session;
  const bool secure = (req.flags & INTERNET_FLAG_SECURE) != 0;
  // Plain http takes the trust store only if a redirect leads to https, so a
  // process that never speaks TLS never builds it. A pool that already holds
  // TLS connections is checked against the current store on every request.
  if (secure || session.trustGeneration != 0) {
    t->trust = CurrentTrust();
    if (!t->trust) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    if (session.trustGeneration != t->trust->generation) {
      // The pooled connections were verified against other authorities:
      // none of them may carry this request.
      if (session.trustGeneration != 0) session.multi = NewConnectionPool();
      if (session.multi) session.trustGeneration = t->trust->generation;
    }
  }
  t->pool = session.multi;
  t->multi = t->pool.get();
  t->easy = curl_easy_init();
  if (!t->multi || !t->easy) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  CURL *e = t->easy;
  t->url = BuildUrl(*req.connect, secure, req.object);
  t->body = std::move(body);
  t->followRedirects = (req.flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  t->receiveTimeoutMs = EffectiveReceiveTimeout(req);
  if (DWORD exchangeMs = EffectiveExchangeTimeout(req); exchangeMs && exchangeMs != INFINITE) {
    t->hasDeadline = true;
    t->deadline = start + std::chrono::milliseconds(exchangeMs);
  }

  // The header list: stored lines, then the lines of this send replacing
  // stored ones of the same name; curl's own Accept and Expect are dropped.
  std::vector<HeaderLine> lines = req.headers;
  for (const HeaderLine &h : extraHeaders) {
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const HeaderLine &x) { return EqualsNoCase(x.name, h.name.c_str()); });
    if (it != lines.end())
      *it = h;
    else
      lines.push_back(h);
  }
  if ((req.flags & INTERNET_FLAG_PRAGMA_NOCACHE) && !HasHeader(lines, "Pragma"))
    lines.push_back({"Pragma", "no-cache"});
  t->askedUpgrade = HasHeader(lines, "Upgrade");
  for (const HeaderLine &h : lines) t->headerList = curl_slist_append(t->headerList, (h.name + ": " + h.value).c_str());
  if (!HasHeader(lines, "Accept")) t->headerList = curl_slist_append(t->headerList, "Accept:");
  if (!HasHeader(lines, "Expect")) t->headerList = curl_slist_append(t->headerList, "Expect:");

  curl_easy_setopt(e, CURLOPT_PRIVATE, t.get());
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->errorText);
  curl_easy_setopt(e, CURLOPT_URL, t->url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION,
                   req.httpVersion == "HTTP/1.0" ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headerList);
  if (!session.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, session.agent.c_str());
  if (!req.referrer.empty()) curl_easy_setopt(e, CURLOPT_REFERER, req.referrer.c_str());

  if (req.verb == "GET" && t->body.empty()) {
    curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  } else if (req.verb == "HEAD") {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  } else {
    curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->body.data());
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t->body.size()));
    if (req.verb != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, req.verb.c_str());
    // curl sends a request again by itself when a kept connection dies
    // before any answer; on a connection of its own this one goes out once.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  }

  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, t->followRedirects ? 1L : 0L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");

  // Certificates: always the full check, whatever the flags say, against
  // the shared store (no files for curl to parse per connection).
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (curl_easy_setopt(e, CURLOPT_CAINFO, nullptr) != CURLE_OK ||
      curl_easy_setopt(e, CURLOPT_CAPATH, nullptr) != CURLE_OK ||
      curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, &Transfer::OnSslContext) != CURLE_OK ||
      curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, t.get()) != CURLE_OK) {
    SetLastError(ERROR_INTERNET_SECURITY_CHANNEL_ERROR);
    return FALSE;
  }

  if (const char *proxy = ChooseProxy(session, req.connect->host, secure, t->proxy)) {
    curl_easy_setopt(e, CURLOPT_PROXY, proxy);
  }
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (!req.connect->proxyUser.empty()) curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, req.connect->proxyUser.c_str());
  if (!req.connect->proxyPassword.empty())
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, req.connect->proxyPassword.c_str());
  if (!req.connect->user.empty()) curl_easy_setopt(e, CURLOPT_USERNAME, req.connect->user.c_str());
  if (!req.connect->password.empty()) curl_easy_setopt(e, CURLOPT_PASSWORD, req.connect->password.c_str());

  DWORD connectMs = EffectiveConnectTimeout(req);
  if (connectMs != INFINITE) curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectMs));

  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Transfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, t.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, t.get());
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, t.get());
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

  if (curl_multi_add_handle(t->multi, e) != CURLM_OK) {
    SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    return FALSE;
  }
  t->attached = true;
  t->lastActivity = Transfer::Clock::now();
  Transfer *tp = t.get();
  req.transfer = std::move(t);
  // A transfer that fails after the final headers still counts as sent: the
  // body read reports the failure.
  tp->Drive([tp] { return tp->headersFinal; });
  if (tp->headersFinal && tp->haveResponse) return TRUE;
  DWORD err = tp->error != ERROR_SUCCESS ? tp->error : ERROR_HTTP_INVALID_SERVER_RESPONSE;
  tp->Finish(err);
  SetLastError(err);
  return FALSE;
}

BOOL ReadBody(Request &req, void *buffer, DWORD n, DWORD *read) {
  Transfer *t = req.transfer.get();
  if (!t || !t->haveResponse) {
    SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return FALSE;
  }
  if (n == 0) return TRUE;
  size_t take = std::min<size_t>(n, t->Available());
  std::memcpy(buffer, t->buffered.data() + t->readPos, take);
  t->readPos += take;
  if (t->readPos == t->buffered.size()) {
    t->buffered.clear();
    t->readPos = 0;
  }
  if (take == 0 && !t->done) {
    // Nothing kept: the next bytes go straight into the caller's buffer.
    t->direct = static_cast<char *>(buffer);
    t->directRoom = n;
    t->directGot = 0;
    if (t->paused) {
      t->paused = false;
      t->lastActivity = Transfer::Clock::now();
      curl_easy_pause(t->easy, CURLPAUSE_CONT);
    }
    t->Drive([t] { return t->directGot > 0; });
    take = t->directGot;
    t->direct = nullptr;
    t->directRoom = t->directGot = 0;
  }
  if (take == 0 && t->error != ERROR_SUCCESS) {
    SetLastError(t->error);
    return FALSE;
  }
  *read = static_cast<DWORD>(take);
  return TRUE;
}

const Response *GetResponse(const Request &req) {
  if (!req.transfer || !req.transfer->haveResponse) return nullptr;
  return &req.transfer->response;
}

void EndTransfer(Request &req) { req.transfer.reset(); }

}  // namespace wininet

void InternetSetDefaultTimeouts(DWORD connectMs, DWORD receiveMs) {
  wininet::g_connectTimeoutMs = connectMs;
  wininet::g_receiveTimeoutMs = receiveMs;
}

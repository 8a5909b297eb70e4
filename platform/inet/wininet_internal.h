// Objects behind the HINTERNET handles of platform/inet/wininet.h and the transfer
// engine that runs one HTTP exchange over libcurl. Private to the platform.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/inet/wininet.h"

typedef void CURL;
typedef void CURLM;
struct x509_store_st;

namespace wininet {

// Starts curl and OpenSSL once per process.
void GlobalInit();

// A curl multi handle: the connection pool of a session, shared with the
// transfers that run in it so that a pool replaced meanwhile outlives them.
// NULL when curl cannot make one.
std::shared_ptr<CURLM> NewConnectionPool();

// The certificate authorities TLS connections are verified against: the
// system's plus the extra trusted file, parsed once and shared read-only by
// every connection on every thread (wininet_trust.cpp).
struct TrustStore {
  TrustStore() = default;
  ~TrustStore();
  TrustStore(const TrustStore &) = delete;  // owns one reference to `store`
  TrustStore &operator=(const TrustStore &) = delete;
  x509_store_st *store = nullptr;
  unsigned long long generation = 0;  // distinct for every store built
};
// The store for the current configuration, rebuilt first when the extra
// file was set anew or either file changed on disk; NULL when none can be built.
std::shared_ptr<const TrustStore> CurrentTrust();
// How many stores this process has built so far.
unsigned long long TrustStoresBuilt();
// Makes a new TLS context (curl's SSL_CTX) verify against `trust`.
bool InstallTrust(void *sslContext, const TrustStore &trust);

enum class HandleKind { Session, Connect, Request };

struct Timeouts {
  DWORD connectMs = 0;  // 0: inherit from the parent, then the default
  DWORD receiveMs = 0;
  DWORD exchangeMs = 0;  // 0: inherit from the parent, then none
};

struct Object {
  explicit Object(HandleKind k) : kind(k) {}
  virtual ~Object() = default;
  HandleKind kind;
  Timeouts timeouts;
};

struct Session : Object {
  Session();
  ~Session() override;
  std::string agent;  // bytes as sent
  DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG;
  std::string proxy;                // proxy list as given (INTERNET_OPEN_TYPE_PROXY)
  std::vector<std::string> bypass;  // bypass entries; "<local>" = names without a dot
  // Shared by the session's requests: keeps connections alive. Replaced when
  // the trust store changes, so that no connection verified against other
  // authorities is reused.
  std::shared_ptr<CURLM> multi;
  unsigned long long trustGeneration = 0;  // of the store the pool's connections were verified with
};

struct Connect : Object {
  Connect() : Object(HandleKind::Connect) {}
  std::shared_ptr<Session> session;
  std::string host;
  INTERNET_PORT port = 0;
  std::string user, password;            // server credentials
  std::string proxyUser, proxyPassword;  // proxy credentials
};

// One request header line, name and value as bytes.
struct HeaderLine {
  std::string name;
  std::string value;
};

// Response of one exchange: the header block of the last response.
struct Response {
  std::string statusLine;
  int status = 0;
  std::vector<HeaderLine> headers;
  // The positions in `headers` of each name (lower case), in order, so that
  // the n-th line of a name is found at once however many lines there are.
  std::unordered_map<std::string, std::vector<size_t>> positions;

  void Add(HeaderLine line);
  // The `occurrence`-th line (from 0) named `name` (any case); NULL when there is none.
  const HeaderLine *Find(const std::string &name, size_t occurrence) const;
};

struct Transfer;  // curl state of one exchange (wininet_transfer.cpp)

struct Request : Object {
  Request();
  ~Request() override;
  std::shared_ptr<Connect> connect;
  std::string verb;
  std::string object;  // path and query as bytes
  std::string httpVersion;
  std::string referrer;
  DWORD flags = 0;
  DWORD securityFlags = 0;  // stored for queries; verification is never relaxed
  std::vector<HeaderLine> headers;
  // Body collected by InternetWriteFile between HttpSendRequestExW and HttpEndRequestW.
  bool writing = false;
  std::string pendingBody;
  std::unique_ptr<Transfer> transfer;
};

// Runs the exchange of `req` with these extra header lines and body; returns
// TRUE once the final response headers are in, else FALSE with the last error set.
BOOL StartExchange(Request &req, const std::vector<HeaderLine> &extraHeaders, std::string body);
// Copies up to n body bytes; TRUE with 0 at the end of the body.
BOOL ReadBody(Request &req, void *buffer, DWORD n, DWORD *read);
// The response of the finished or running exchange, NULL before any send.
const Response *GetResponse(const Request &req);
void EndTransfer(Request &req);

DWORD EffectiveConnectTimeout(const Request &req);
DWORD EffectiveReceiveTimeout(const Request &req);
DWORD EffectiveExchangeTimeout(const Request &req);  // 0: no limit

// The WinINet error code for a libcurl result (a CURLcode); `verifyResult`
// is the X509 verification result of a TLS failure. Shared by the HTTP and
// FTP stand-ins.
DWORD ErrorFromCurl(int curlCode, long verifyResult = 0);

}  // namespace wininet

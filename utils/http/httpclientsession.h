// A synchronous HTTP/HTTPS client session on the caller's thread.
//
//   pcutil::CHttpClientSession http;
//   http.SetAgentName(L"Mozilla/5.0 ...");
//   if (http.Request(L"https://host/path", pcutil::HTTP_REQUEST_METHOD_GET, TRUE))
//     CString page = http.GetResponseText(HTTP_CHARSET_AUTODETECT);
//
// One object serves one request at a time: set options, call Request, then
// read the body as bytes (GetResponseBody) or text (GetResponseText). POST
// bodies come from AddPostArgument / AddPostRawData (url-encoded form or raw
// body) and AddPostBinaryRefArgument (multipart files). Request succeeds only
// for a status of 300 or less, after redirects; a gzip body is inflated into
// at most 1,048,576 bytes, and a larger, corrupt or CRC-failing one fails the
// request. SetBodyLimit bounds the body bytes a request takes as they arrive
// (no bound by default). Certificates are always verified.
//
// Time: everything one Request does (connecting, every attempt, reading the
// body, also a two-step body read afterwards) stays within one deadline,
// SetTimeout (300,000 ms by default) from its start; the platform's connect
// and receive time-outs apply within it. A further attempt is made only when
// the request could not be delivered: after a refused connection, and for a
// GET also after a connection closed or reset before any answer. A request
// that timed out is not sent again, and a POST never goes out twice.
//
// After a failed Request, GetLastError names the cause: the platform's code
// of the failed step, ERROR_INTERNET_TIMEOUT when the deadline ran out,
// ERROR_INVALID_PARAMETER for a header text that is not one line (below),
// ERROR_INTERNET_EXTENDED_ERROR for a status above 300 (GetStatusCode),
// ERROR_INTERNET_DECODING_FAILED for a gzip body that is corrupt or over the
// limit, ERROR_INSUFFICIENT_BUFFER for a body over the SetBodyLimit bound,
// ERROR_INTERNET_UNRECOGNIZED_SCHEME for a scheme other than http(s).
//
// Texts given for one header value (SetAgentName, SetReferrer, SetBoundary,
// SetContentType, AddRefererHeader, SetCookie) are stored as given, but one
// that holds a CR, LF or NUL makes every request fail with
// ERROR_INVALID_PARAMETER before anything is sent: until the text is set
// anew, or for AddRefererHeader and SetCookie until ClearRequestHeaders.
// AddRequestHeader takes whole header lines; text that is no block of
// "name: value" lines (or holds anything after an empty line) fails the
// request with ERROR_HTTP_INVALID_HEADER. So no text adds a line of its own
// or a second request.
//
// A response HTTP forbids (Content-Length lines that differ, an unasked
// switch of protocols) fails with ERROR_HTTP_INVALID_SERVER_RESPONSE, and
// headers beyond the platform's limits (300 KiB for all the responses of one
// request, redirects included) with ERROR_HTTP_INVALID_HEADER; neither
// delivers a body. Reading the header, cookies included, is linear in its
// size and counts against the deadline like the rest of the request.
//
// A session reused for another host or scheme connects there with that
// host's Host line, TLS mode and a Content-Length of its own body. Not
// copyable; one thread at a time; the handles are closed by CloseHandles or
// the destructor. Binary-reference arguments point at caller-owned bytes that
// must outlive the send.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/text/cstring.h"
#include "utils/base/autobuffer.h"
#include "utils/base/shared_ptr.h"
#include "utils/http/httpresponseheaders.h"

// Character-set argument of GetResponseText asking for detection.
#define HTTP_CHARSET_AUTODETECT L"自动识别"

namespace pcutil {

enum HTTP_REQUEST_METHOD : uint32_t {
  HTTP_REQUEST_METHOD_GET = 1,
  HTTP_REQUEST_METHOD_POST = 2,            // url-encoded form or raw body
  HTTP_REQUEST_METHOD_POST_MULTIPART = 3,  // multipart/form-data
};

enum : uint32_t {
  HTTP_POST_ARGUMENT_TEXT = 1,  // name=value
  HTTP_POST_ARGUMENT_RAW = 2,   // the whole body; must be the only argument
};

// A text or raw-body POST argument; name and value are UTF-8 bytes.
class CHttpPostArgument {
 public:
  CHttpPostArgument(const std::string &name, const std::string &value, uint32_t type)
      : m_strName(name), m_strValue(value), m_nType(type) {}
  CHttpPostArgument(const CHttpPostArgument &) = default;
  CHttpPostArgument &operator=(const CHttpPostArgument &) = default;
  ~CHttpPostArgument() = default;
  bool operator==(const CHttpPostArgument &o) const {
    return m_strName == o.m_strName && m_strValue == o.m_strValue && m_nType == o.m_nType;
  }

  std::string GetName() const { return m_strName; }
  std::string GetValue() const { return m_strValue; }
  uint32_t GetType() const { return m_nType; }
  void SetName(const std::string &name) { m_strName = name; }
  void SetValue(const std::string &value) { m_strValue = value; }
  void SetType(uint32_t type) { m_nType = type; }

 private:
  std::string m_strName;
  std::string m_strValue;
  uint32_t m_nType;
};

// A multipart file argument over caller-owned bytes.
class CHttpPostBinaryRefArgument {
 public:
  CHttpPostBinaryRefArgument(LPCWSTR name, CString fileName, const BYTE *data, DWORD size, DWORD reserved = 0);
  CHttpPostBinaryRefArgument(const CHttpPostBinaryRefArgument &) = default;
  CHttpPostBinaryRefArgument &operator=(const CHttpPostBinaryRefArgument &) = default;
  ~CHttpPostBinaryRefArgument() = default;

  CString m_strName;
  CString m_strFileName;
  CString m_strContentType;  // the part's Content-Type value; empty
  const BYTE *m_pData;
  DWORD m_dwSize;
};

struct THttpProxyConfig {
  THttpProxyConfig();
  ~THttpProxyConfig() = default;
  THttpProxyConfig &operator=(const THttpProxyConfig &other) = default;
  THttpProxyConfig(const THttpProxyConfig &other) = default;
  // "scheme://host:port".
  CString GetProxyString() const;

  int nAccessType;  // INTERNET_OPEN_TYPE_PRECONFIG (default), _DIRECT or _PROXY
  CString strScheme;
  CString strHost;
  CString strPort;
  CString strUser;
  CString strPassword;
};

class CHttpClientSession {
 public:
  CHttpClientSession();
  virtual ~CHttpClientSession();
  CHttpClientSession(const CHttpClientSession &) = delete;
  CHttpClientSession &operator=(const CHttpClientSession &) = delete;

  // POST arguments (see the class comment).
  virtual void ClearPostArguments();
  virtual void AddPostArgument(LPCWSTR name, LPCWSTR value);
  virtual void AddPostArgument(LPCWSTR name, int value);  // value sent as unsigned decimal
  virtual void AddPostBinaryRefArgument(LPCWSTR name, CString fileName, const BYTE *data, DWORD size,
                                        DWORD reserved = 0);
  virtual void AddPostRawData(const std::string &data);
  virtual void AddPostRawData(const CString &data);  // sent as UTF-8

  // Stored request header lines, sent with every request with their
  // HttpAddRequestHeadersW modifiers. The text is trimmed and gets CR LF.
  virtual BOOL AddRequestHeader(CString header, DWORD modifiers = HTTP_ADDREQ_FLAG_ADD_IF_NEW);
  virtual void ClearRequestHeaders();

  // Sends the request and reads the response; TRUE for a status of 300 or
  // less with the body read. bCloseAfter closes the handles afterwards.
  virtual BOOL Request(LPCWSTR url, HTTP_REQUEST_METHOD method = HTTP_REQUEST_METHOD_GET, BOOL bCloseAfter = TRUE);
  virtual const std::string &GetResponseBody();
  virtual const CString &GetRawResponseHeaders();
  // The body as UTF-8 text, up to its first NUL byte.
  virtual CString GetResponseUtf8Text();

  // Steps of Request, open for callers that drive a request themselves.
  virtual BOOL OpenRequest(BOOL bPost, const CString &object, LPCWSTR *acceptTypes);
  virtual BOOL SendPostRequest(const CString &object);
  virtual BOOL SendMultipartRequest(const CString &object);
  virtual BOOL SendGetRequest(const CString &object);
  virtual BOOL ReservedHook(void *unused);
  virtual void BuildUrlEncodedBody(std::string &body);
  virtual void BuildMultipartBody(std::string &body, LPCWSTR boundary);
  // One-step read of the response into the body (not in two-step mode).
  virtual BOOL ReadResponse(DWORD *reserved);
  // Two-step read: appends the next piece of the raw body to `out`; returns
  // its size, 0 at the end, -1 on failure.
  virtual int ReadResponseChunk(std::string &out);

  void SetAgentName(const CString &strAgentName);
  CString GetAgentName() const { return m_strAgentName; }
  void SetReferrer(const CString &referrer) { m_strReferrer = referrer; }
  CString GetReferrer() const { return m_strReferrer; }
  void SetBoundary(const CString &boundary) { m_strBoundary = boundary; }
  CString GetBoundary() const { return m_strBoundary; }
  // Stores the line "Content-Type: <type>\r\n" for form POSTs.
  void SetContentType(const CString &type);
  // Takes effect when the session handle is next opened.
  void SetProxyConfig(const THttpProxyConfig &config) { m_proxyConfig = config; }
  // Raises the reserved body capacity; a smaller value changes nothing.
  void SetBodyReserve(DWORD reserve);
  DWORD GetBodyReserve() const { return m_dwBodyReserve; }
  // The most body bytes the one-step read takes as they arrive, before any
  // gzip decoding; 0 (the default): no bound. A body that announces or
  // brings more fails the read. A failed body read closes its connection at
  // once rather than reading the rest.
  void SetBodyLimit(DWORD bytes) { m_dwBodyLimit = bytes; }
  DWORD GetBodyLimit() const { return m_dwBodyLimit; }
  // The deadline of one Request in ms (INFINITE: none); 0 is ignored.
  void SetTimeout(DWORD timeout);
  DWORD GetTimeout() const { return m_dwTimeout; }
  void SetTwoStepRequest(BOOL twoStep) { m_bTwoStepRequest = twoStep; }
  shared_ptr<CHttpResponseHeaders> GetResponseHeaders() const { return m_pResponseHeaders; }
  int GetStatusCode() const { return m_nStatusCode; }
  void AddRefererHeader(const CString &referrer);
  // Adds "Cookie: <text>" (or the text itself when it holds "Cookie:") and
  // remembers the text as the cookie text.
  void SetCookie(const CString &cookie);
  // The cookie text: the SetCookie text plus each received Set-Cookie value and ";".
  const CString &GetCookie() const { return m_strCookie; }
  // "name=value&..." of the text arguments, the names and values read as UTF-8.
  CString GetPostArgumentsText() const;

  // The MIME type of a file name: the one the program's registry holds for
  // its extension (from the first '.'; the whole name when it has none),
  // else the desktop's MIME database's by the name, else
  // "application/octet-stream" (also at once for a name starting with '.').
  static CString GetMimeType(const CString &fileName);
  static void CrackUrl(const CString &url, CString &scheme, CString &host, INTERNET_PORT &port, CString &object);
  // Decodes a gzip body into dst. *dstSize: the room of dst on entry, the
  // decoded byte count on return. FALSE for a corrupt, CRC-failing or
  // truncated body and for one that does not fit.
  static BOOL GunzipBuffer(const BYTE *src, DWORD srcSize, BYTE *dst, DWORD *dstSize);

  BOOL Connect(const CString &host, INTERNET_PORT port, LPCWSTR user, LPCWSTR password);
  BOOL SendRequest(const CString &object, HTTP_REQUEST_METHOD method);
  BOOL CloseHandles();
  // The body as text in the named character set: "utf-8", "iso-8859-1" (UTF-8
  // read twice) and "big5", compared without regard to case and surrounding
  // blanks; any other name converts with the ANSI code page.
  // HTTP_CHARSET_AUTODETECT takes the name from DetectCharset.
  CString GetResponseText(const CString &charset);
  // The character-set name of the response, lower case; "gb2312" when none is found.
  CString DetectCharset() const;

  void TryReadResponse();
  static int TryReadResponseProc(void *session);

 private:
  BOOL AddStoredHeaders();
  // TRUE when every text given for one header value is one line; else
  // FALSE with ERROR_INVALID_PARAMETER.
  BOOL HeaderTextsAreOneLine() const;
  // Stores a header line made from a text given for one value, unless the
  // text holds CR, LF or NUL.
  void AddOneLineHeader(const CString &line);
  // Gives the next attempt what is left of the deadline; FALSE (time-out)
  // when nothing is.
  BOOL ArmAttempt();
  // Whether an attempt that failed with `error` may be made again.
  static bool MayTryAgain(DWORD error, bool repeatable);
  // The body of the one-step read, as it came or gzip-decoded.
  BOOL ReadPlainBody();
  BOOL ReadGzipBody();
  // Whether `received` body bytes are within the body limit; sets the error
  // when not.
  bool WithinBodyLimit(unsigned long long received) const;
  // Whether the running Request's deadline is still ahead; sets
  // ERROR_INTERNET_TIMEOUT when not.
  bool WithinDeadline() const;
  // Ends a one-step read that failed: no body, and the connection closed
  // rather than read to its end. FALSE, with the error kept.
  BOOL AbandonResponse();

  HINTERNET m_hHTTPOpen = nullptr;
  HINTERNET m_hHTTPConnect = nullptr;
  HINTERNET m_hHTTPRequest = nullptr;
  CString m_strAgentName;
  CString m_strReferrer;
  CString m_strBoundary;
  CString m_strContentType;
  CString m_strCookie;
  int m_nStatusCode = 0;
  DWORD m_dwTimeout = 300000;
  DWORD m_dwBodyReserve = 102400;
  DWORD m_dwBodyLimit = 0;
  std::string m_strResponseBody;
  CString m_strResponseHeaders;
  std::vector<CHttpPostArgument> m_vecPostArguments;
  std::vector<CHttpPostBinaryRefArgument> m_vecPostBinaryRefArguments;
  BOOL m_bHttps = FALSE;
  THttpProxyConfig m_proxyConfig;
  BOOL m_bTwoStepRequest = FALSE;
  shared_ptr<CHttpResponseHeaders> m_pResponseHeaders;
  CAutoBuffer m_chunkBuffer;
  CString m_strAcceptHeader;
  std::vector<std::pair<CString, DWORD>> m_vecRequestHeaders;
  CString m_strRequestURL;
  HTTP_REQUEST_METHOD m_emRequestMethod = HTTP_REQUEST_METHOD_GET;
  // Server the connection handle belongs to, so another host reconnects.
  CString m_strConnectedHost;
  INTERNET_PORT m_nConnectedPort = 0;
  // The Host line the session added itself (replaced on the next request).
  CString m_strOwnHostLine;
  // SetCookie or AddRefererHeader was given a text with CR, LF or NUL.
  bool m_bUnsafeHeaderText = false;
  // When the running Request must be over (m_dwTimeout from its start).
  bool m_bHasDeadline = false;
  std::chrono::steady_clock::time_point m_deadline;
};

}  // namespace pcutil

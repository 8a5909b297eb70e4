#include "utils/http/httpclientsession.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <string_view>

#include "platform/system/mimetype.h"
#include "platform/system/registry.h"
#include "platform/system/threads.h"
#include "platform/text/codepage.h"
#include "platform/text/debug.h"
#include "platform/text/numeric.h"
#include "platform/text/winerror.h"
#include "utils/http/detail/gzipdecoder.h"
#include "utils/text/stringhelper.h"

namespace pcutil {

namespace {

const wchar_t kDefaultAgent[] =
    L"Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; Trident/4.0; QQDownload 665; .NET CLR 2.0.50727; .NET "
    L"CLR 3.0.04506.30; .NET CLR 3.0.04506.648; .NET CLR 3.5.21022; InfoPath.2)";
const wchar_t kDefaultBoundary[] = L"-----xz4BBcV-5C1C9B2B-95AC-4752-AF91-10B280A68D3B---";

// RELOAD | NO_CACHE_WRITE | KEEP_CONNECTION | NO_COOKIES | NO_UI.
constexpr DWORD kRequestFlags = 0x84480200u;
constexpr int kSendAttempts = 3;
constexpr DWORD kReadPiece = 10240;
constexpr size_t kMaxCookieChars = 5119;  // a longer Set-Cookie value ends the collection
constexpr size_t kStatusChars = 9;
constexpr DWORD kGzipLimit = 0x100000;
constexpr DWORD kChunkSize = 0x20000;
constexpr __int64 kMaxReserve = 64 << 20;
// How many Set-Cookie values are taken between two looks at the deadline.
constexpr DWORD kCookiesPerDeadlineCheck = 1024;

LPCWSTR kAcceptTypes[] = {L"*/*", nullptr};

// Text headers of one response, read into one buffer kept between queries,
// so that reading many lines costs what their text does.
class HeaderQuery {
 public:
  explicit HeaderQuery(HINTERNET request) : request_(request) {}
  // maxChars 0: as long as the value is; else a longer value fails.
  bool Text(DWORD level, DWORD *index, size_t maxChars, CString &out) {
    const size_t room = maxChars ? maxChars + 1 : std::max<size_t>(buf_.size(), 1024);
    if (buf_.size() < room) buf_.resize(room);
    for (;;) {
      DWORD length = static_cast<DWORD>((maxChars ? room : buf_.size()) * sizeof(wchar_t));
      if (HttpQueryInfoW(request_, level, buf_.data(), &length, index)) {
        out = CString(buf_.c_str(), static_cast<int>(length / sizeof(wchar_t)));
        return true;
      }
      if (maxChars || GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
      buf_.resize(length / sizeof(wchar_t) + 1);
    }
  }

 private:
  HINTERNET request_;
  std::wstring buf_;
};

// Whether a text meant for one header value would stay one line on the wire.
bool IsOneLine(const CString &text) {
  return std::wstring_view(text.GetString(), text.GetLength()).find_first_of(std::wstring_view(L"\r\n\0", 3)) ==
         std::wstring_view::npos;
}

CString ContentLengthLine(size_t bytes) {
  return CString((L"Content-Length: " + std::to_wstring(bytes) + L"\r\n").c_str());
}

}  // namespace

CHttpPostBinaryRefArgument::CHttpPostBinaryRefArgument(LPCWSTR name, CString fileName, const BYTE *data, DWORD size,
                                                       DWORD)
    : m_strName(name), m_strFileName(fileName), m_pData(data), m_dwSize(size) {}

THttpProxyConfig::THttpProxyConfig() : nAccessType(INTERNET_OPEN_TYPE_PRECONFIG), strScheme(L"http") {}

CString THttpProxyConfig::GetProxyString() const { return strScheme + L"://" + strHost + L":" + strPort; }

CHttpClientSession::CHttpClientSession()
    : m_strAgentName(kDefaultAgent),
      m_strBoundary(kDefaultBoundary),
      m_strContentType(L"Content-Type: application/x-www-form-urlencoded\r\n"),
      m_pResponseHeaders(new CHttpResponseHeaders),
      m_strAcceptHeader(L"Accept: */*\r\n") {
  m_strResponseBody.reserve(m_dwBodyReserve);
}

CHttpClientSession::~CHttpClientSession() { CloseHandles(); }

void CHttpClientSession::ClearPostArguments() { m_vecPostArguments.clear(); }

void CHttpClientSession::AddPostArgument(LPCWSTR name, LPCWSTR value) {
  ASSERT(m_hHTTPOpen == 0);
  m_vecPostArguments.emplace_back(ToUtf8(name), ToUtf8(value), HTTP_POST_ARGUMENT_TEXT);
}

void CHttpClientSession::AddPostArgument(LPCWSTR name, int value) {
  ASSERT(m_hHTTPOpen == 0);
  m_vecPostArguments.emplace_back(ToUtf8(name), std::to_string(static_cast<uint32_t>(value)), HTTP_POST_ARGUMENT_TEXT);
}

void CHttpClientSession::AddPostBinaryRefArgument(LPCWSTR name, CString fileName, const BYTE *data, DWORD size,
                                                  DWORD reserved) {
  ASSERT(m_hHTTPOpen == 0);
  m_vecPostBinaryRefArguments.emplace_back(name, fileName, data, size, reserved);
}

void CHttpClientSession::AddPostRawData(const std::string &data) {
  m_vecPostArguments.emplace_back(std::to_string(GetTickCount()), data, HTTP_POST_ARGUMENT_RAW);
}

void CHttpClientSession::AddPostRawData(const CString &data) { AddPostRawData(ToUtf8(data)); }

BOOL CHttpClientSession::AddRequestHeader(CString header, DWORD modifiers) {
  header.Trim();
  header += L"\r\n";
  m_vecRequestHeaders.emplace_back(header, modifiers);
  return TRUE;
}

void CHttpClientSession::ClearRequestHeaders() {
  m_vecRequestHeaders.clear();
  m_strOwnHostLine.Empty();
  m_bUnsafeHeaderText = false;
}

BOOL CHttpClientSession::Request(LPCWSTR url, HTTP_REQUEST_METHOD method, BOOL bCloseAfter) {
  m_strRequestURL = url;
  m_emRequestMethod = method;
  m_bHasDeadline = m_dwTimeout != INFINITE;
  m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_dwTimeout);
  BOOL result = FALSE;
  try {
    m_strResponseBody.clear();
    m_strResponseHeaders.Empty();
    // Each response gets its own record: an encoding or length of an earlier
    // response must not apply to this one. Holders of the old pointer keep theirs.
    m_pResponseHeaders.reset(new CHttpResponseHeaders);
    CString scheme, host, object;
    INTERNET_PORT port = 0;
    CrackUrl(m_strRequestURL, scheme, host, port, object);
    const bool https = scheme.CompareNoCase(L"https") == 0;
    if (!https && scheme.CompareNoCase(L"http") != 0) {
      SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
      return FALSE;
    }
    m_bHttps = https ? TRUE : FALSE;  // the TLS mode of this request, not of an earlier one

    // The Host line of this request replaces the one added for an earlier
    // request; a Host line the caller stored stays first and wins.
    if (!m_strOwnHostLine.IsEmpty()) {
      for (auto it = m_vecRequestHeaders.begin(); it != m_vecRequestHeaders.end(); ++it) {
        if (it->first == m_strOwnHostLine && it->second == HTTP_ADDREQ_FLAG_ADD_IF_NEW) {
          m_vecRequestHeaders.erase(it);
          break;
        }
      }
    }
    AddRequestHeader(L"Host: " + host + L"\r\n", HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    m_strOwnHostLine = m_vecRequestHeaders.back().first;

    if (Connect(host, port, nullptr, nullptr) && SendRequest(object, method) && ReadResponse(nullptr)) result = TRUE;
    const DWORD cause = GetLastError();  // closing must not hide why the request failed
    if (bCloseAfter) CloseHandles();
    if (!result) SetLastError(cause);
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    result = FALSE;
  } catch (...) {
    SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
    result = FALSE;
  }
  return result;
}

const std::string &CHttpClientSession::GetResponseBody() { return m_strResponseBody; }

const CString &CHttpClientSession::GetRawResponseHeaders() { return m_strResponseHeaders; }

CString CHttpClientSession::GetResponseUtf8Text() { return FromUtf8(m_strResponseBody); }

BOOL CHttpClientSession::OpenRequest(BOOL bPost, const CString &object, LPCWSTR *acceptTypes) {
  if (!HeaderTextsAreOneLine()) return FALSE;
  DWORD flags = kRequestFlags;
  LPCWSTR verb = L"GET";
  if (bPost) {
    flags |= INTERNET_FLAG_FORMS_SUBMIT;
    verb = L"POST";
  }
  // Certificates are checked in full: no IGNORE_CERT flags.
  if (m_bHttps) flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_EXISTING_CONNECT;
  if (m_hHTTPRequest) {
    InternetCloseHandle(m_hHTTPRequest);
    m_hHTTPRequest = nullptr;
  }
  m_hHTTPRequest =
      HttpOpenRequestW(m_hHTTPConnect, verb, object, L"HTTP/1.1",
                       m_strReferrer.IsEmpty() ? nullptr : static_cast<LPCWSTR>(m_strReferrer), acceptTypes, flags, 0);
  return m_hHTTPRequest != nullptr;
}

BOOL CHttpClientSession::HeaderTextsAreOneLine() const {
  const CString contentType = m_strContentType.Left(m_strContentType.GetLength() - 2);  // without its CR LF
  if (!m_bUnsafeHeaderText && IsOneLine(m_strAgentName) && IsOneLine(m_strReferrer) && IsOneLine(m_strBoundary) &&
      IsOneLine(contentType))
    return TRUE;
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL CHttpClientSession::AddStoredHeaders() {
  if (!HttpAddRequestHeadersW(m_hHTTPRequest, m_strAcceptHeader, m_strAcceptHeader.GetLength(),
                              HTTP_ADDREQ_FLAG_REPLACE))
    return FALSE;
  for (const auto &[line, modifiers] : m_vecRequestHeaders) {
    if (!HttpAddRequestHeadersW(m_hHTTPRequest, line, line.GetLength(), modifiers)) return FALSE;
  }
  return TRUE;
}

BOOL CHttpClientSession::ArmAttempt() {
  DWORD left = INFINITE;
  if (m_bHasDeadline) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - std::chrono::steady_clock::now());
    if (ms.count() <= 0) {
      SetLastError(ERROR_INTERNET_TIMEOUT);
      return FALSE;
    }
    left = static_cast<DWORD>(std::min<long long>(ms.count(), INFINITE - 1));
  }
  return InternetSetOptionW(m_hHTTPRequest, INTERNET_OPTION_EXCHANGE_TIMEOUT, &left, sizeof left);
}

bool CHttpClientSession::MayTryAgain(DWORD error, bool repeatable) {
  // Refused: nothing was sent. Closed or reset before any answer: the server
  // may have acted on it, which only a request that may be repeated allows.
  if (error == ERROR_INTERNET_CANNOT_CONNECT) return true;
  return repeatable && (error == ERROR_INTERNET_CONNECTION_RESET || error == ERROR_INTERNET_CONNECTION_ABORTED);
}

BOOL CHttpClientSession::SendGetRequest(const CString &object) {
  if (!OpenRequest(FALSE, object, kAcceptTypes) || !AddStoredHeaders()) return FALSE;
  // Certificate checks stay on for every attempt.
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (!ArmAttempt()) return FALSE;
    SetLastError(0);
    if (HttpSendRequestW(m_hHTTPRequest, nullptr, 0, nullptr, 0)) return TRUE;
    if (!MayTryAgain(GetLastError(), true)) return FALSE;
  }
  return FALSE;
}

BOOL CHttpClientSession::SendPostRequest(const CString &object) {
  if (!OpenRequest(TRUE, object, kAcceptTypes)) return FALSE;
  std::string body;
  BuildUrlEncodedBody(body);
  // The length goes to this request only, so a later body gets its own.
  CString length = ContentLengthLine(body.size());
  if (!HttpAddRequestHeadersW(m_hHTTPRequest, length, length.GetLength(), HTTP_ADDREQ_FLAG_ADD_IF_NEW) ||
      !AddStoredHeaders())
    return FALSE;
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (!ArmAttempt()) return FALSE;
    SetLastError(0);
    if (HttpSendRequestW(m_hHTTPRequest, m_strContentType, m_strContentType.GetLength(), body.data(),
                         static_cast<DWORD>(body.size())))
      return TRUE;
    if (!MayTryAgain(GetLastError(), false)) return FALSE;
  }
  return FALSE;
}

BOOL CHttpClientSession::SendMultipartRequest(const CString &object) {
  CString contentType = L"Content-Type: multipart/form-data; boundary=" + m_strBoundary + L"\r\n";
  std::string body;
  BuildMultipartBody(body, m_strBoundary);
  if (!OpenRequest(TRUE, object, kAcceptTypes)) return FALSE;
  CString length = ContentLengthLine(body.size());
  if (!HttpAddRequestHeadersW(m_hHTTPRequest, m_strAcceptHeader, m_strAcceptHeader.GetLength(),
                              HTTP_ADDREQ_FLAG_REPLACE) ||
      !HttpAddRequestHeadersW(m_hHTTPRequest, contentType, contentType.GetLength(), HTTP_ADDREQ_FLAG_ADD_IF_NEW) ||
      !HttpAddRequestHeadersW(m_hHTTPRequest, length, length.GetLength(), HTTP_ADDREQ_FLAG_ADD_IF_NEW))
    return FALSE;
  for (const auto &[line, modifiers] : m_vecRequestHeaders) {
    if (!HttpAddRequestHeadersW(m_hHTTPRequest, line, line.GetLength(), modifiers)) return FALSE;
  }
  for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
    if (!ArmAttempt()) return FALSE;
    INTERNET_BUFFERSW buffers{};
    buffers.dwStructSize = sizeof buffers;
    DWORD written = 0;
    // The exchange runs in HttpEndRequestW: its failure decides whether to try again.
    if (!HttpSendRequestExW(m_hHTTPRequest, &buffers, nullptr, HSR_INITIATE, 0) ||
        !InternetWriteFile(m_hHTTPRequest, body.data(), static_cast<DWORD>(body.size()), &written))
      return FALSE;
    if (HttpEndRequestW(m_hHTTPRequest, nullptr, HSR_INITIATE, 0)) return TRUE;
    if (!MayTryAgain(GetLastError(), false)) return FALSE;
  }
  return FALSE;
}

BOOL CHttpClientSession::ReservedHook(void *) { return TRUE; }

void CHttpClientSession::BuildUrlEncodedBody(std::string &body) {
  body.clear();
  for (size_t i = 0; i < m_vecPostArguments.size(); ++i) {
    const CHttpPostArgument &arg = m_vecPostArguments[i];
    if (arg.GetType() == HTTP_POST_ARGUMENT_TEXT) {
      body += arg.GetName() + "=" + arg.GetValue();
      if (i + 1 != m_vecPostArguments.size()) body += "&";
    } else if (arg.GetType() == HTTP_POST_ARGUMENT_RAW) {
      ASSERT(m_vecPostArguments.size() == 1);
      body += arg.GetValue();
    }
  }
}

void CHttpClientSession::BuildMultipartBody(std::string &body, LPCWSTR boundary) {
  body.clear();
  const std::string narrowBoundary = WideToMultiByte(CP_THREAD_ACP, std::wstring(boundary ? boundary : L""));
  // Text parts are built whatever their size.
  for (const CHttpPostArgument &arg : m_vecPostArguments) {
    if (arg.GetType() == HTTP_POST_ARGUMENT_TEXT) {
      body += "--" + narrowBoundary + "\r\nContent-Disposition: form-data; name=\"" + arg.GetName() + "\"\r\n\r\n" +
              arg.GetValue() + "\r\n";
    } else {
      ASSERT(arg.GetType() != HTTP_POST_ARGUMENT_RAW);
    }
  }
  for (const CHttpPostBinaryRefArgument &file : m_vecPostBinaryRefArguments) {
    CString head = CString(L"--") + boundary + L"\r\nContent-Disposition: form-data; name=" + file.m_strName +
                   L";filename=\"" + file.m_strFileName + L"\"\r\nContent-Type: " + file.m_strContentType + L"\r\n\r\n";
    body += ToUtf8(head);
    if (file.m_pData && file.m_dwSize) body.append(reinterpret_cast<const char *>(file.m_pData), file.m_dwSize);
    body += "\r\n";
  }
  body += "--" + narrowBoundary + "--\r\n";
}

BOOL CHttpClientSession::ReadResponse(DWORD *) {
  if (m_bTwoStepRequest) return TRUE;

  // Every Set-Cookie value, whole, each followed by ";". Reading the header
  // is work of the request too: it stops at the deadline.
  HeaderQuery query(m_hHTTPRequest);
  CString value;
  for (DWORD taken = 0;; ++taken) {
    DWORD index = taken;
    if (!query.Text(HTTP_QUERY_SET_COOKIE, &index, kMaxCookieChars, value)) break;
    m_strCookie += value;
    m_strCookie += L";";
    if (taken % kCookiesPerDeadlineCheck == kCookiesPerDeadlineCheck - 1 && !WithinDeadline()) return AbandonResponse();
  }

  CString status;
  if (!query.Text(HTTP_QUERY_STATUS_CODE, nullptr, kStatusChars, status)) return FALSE;
  m_nStatusCode = _wtol(status);
  if (m_nStatusCode > 300) {
    SetLastError(ERROR_INTERNET_EXTENDED_ERROR);  // the server's status says why
    return FALSE;
  }

  // A raw-header query that fails leaves the text empty.
  if (!query.Text(HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, 0, m_strResponseHeaders)) m_strResponseHeaders.Empty();
  m_pResponseHeaders->Parse(m_hHTTPRequest, m_strResponseHeaders);
  if (!WithinDeadline()) return AbandonResponse();

  m_strResponseBody.clear();
  // A length announced over the body limit fails before any byte is read.
  optional<__int64> announced = m_pResponseHeaders->GetContentLength();
  BOOL ok = FALSE;
  if (!announced.m_bHasValue || announced.get() <= 0 ||
      WithinBodyLimit(static_cast<unsigned long long>(announced.get())))
    ok = m_pResponseHeaders->GetContentEncoding() == L"gzip" ? ReadGzipBody() : ReadPlainBody();
  // Decoding the body counts against the deadline as its transfer does.
  return ok && WithinDeadline() ? TRUE : AbandonResponse();
}

BOOL CHttpClientSession::AbandonResponse() {
  m_strResponseBody.clear();
  // A body left halfway must not hold its connection: it is closed now, not
  // read to its end.
  const DWORD cause = GetLastError();
  InternetCloseHandle(m_hHTTPRequest);
  m_hHTTPRequest = nullptr;
  SetLastError(cause);
  return FALSE;
}

bool CHttpClientSession::WithinDeadline() const {
  if (!m_bHasDeadline || std::chrono::steady_clock::now() < m_deadline) return true;
  SetLastError(ERROR_INTERNET_TIMEOUT);
  return false;
}

bool CHttpClientSession::WithinBodyLimit(unsigned long long received) const {
  if (m_dwBodyLimit == 0 || received <= m_dwBodyLimit) return true;
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return false;
}

BOOL CHttpClientSession::ReadPlainBody() {
  // Room for an announced length up front (and for the piece that finds the
  // end), so the body is not copied while it grows; each piece is read
  // straight onto the end of what came before.
  optional<__int64> announced = m_pResponseHeaders->GetContentLength();
  if (announced.m_bHasValue && announced.get() > 0 && announced.get() <= kMaxReserve)
    m_strResponseBody.reserve(static_cast<size_t>(announced.get()) + kReadPiece);
  for (DWORD read = kReadPiece; read > 0;) {
    const size_t at = m_strResponseBody.size();
    m_strResponseBody.resize(at + kReadPiece);
    read = 0;
    const BOOL ok = InternetReadFile(m_hHTTPRequest, m_strResponseBody.data() + at, kReadPiece, &read);
    m_strResponseBody.resize(at + read);
    if (!ok || !WithinBodyLimit(m_strResponseBody.size())) return FALSE;
  }
  return TRUE;
}

BOOL CHttpClientSession::ReadGzipBody() {
  // Inflated into the body while it arrives, so no second copy of it is
  // kept; a body that is corrupt, fails its CRC or does not fit the limit
  // fails the read as soon as that shows.
  m_strResponseBody.resize(kGzipLimit);
  CGzipDecoder decoder(reinterpret_cast<BYTE *>(m_strResponseBody.data()), kGzipLimit);
  BYTE piece[kReadPiece];
  for (unsigned long long received = 0;;) {
    DWORD read = 0;
    if (!InternetReadFile(m_hHTTPRequest, piece, kReadPiece, &read)) return FALSE;
    if (read == 0) break;
    received += read;
    if (!WithinBodyLimit(received)) return FALSE;
    if (!decoder.Feed(piece, read)) break;
  }
  if (!decoder.Finish()) {
    SetLastError(ERROR_INTERNET_DECODING_FAILED);
    return FALSE;
  }
  m_strResponseBody.resize(static_cast<size_t>(decoder.GetOutputSize()));
  return TRUE;
}

int CHttpClientSession::ReadResponseChunk(std::string &out) {
  ASSERT(m_bTwoStepRequest);
  if (m_chunkBuffer.GetSize() == 0 && !m_chunkBuffer.Alloc(kChunkSize)) return -1;
  DWORD read = 0;
  if (!InternetReadFile(m_hHTTPRequest, m_chunkBuffer.GetData(), kChunkSize, &read)) return -1;
  out.append(reinterpret_cast<const char *>(m_chunkBuffer.GetData()), read);
  if (!m_strResponseHeaders.IsEmpty()) return static_cast<int>(read);
  if (!HeaderQuery(m_hHTTPRequest).Text(HTTP_QUERY_RAW_HEADERS_CRLF, nullptr, 0, m_strResponseHeaders)) return 0;
  m_pResponseHeaders->Parse(m_hHTTPRequest, m_strResponseHeaders);
  if (!WithinDeadline()) return -1;
  return static_cast<int>(read);
}

void CHttpClientSession::SetAgentName(const CString &strAgentName) {
  ASSERT(!strAgentName.IsEmpty());
  m_strAgentName = strAgentName;
}

void CHttpClientSession::SetContentType(const CString &type) { m_strContentType = L"Content-Type: " + type + L"\r\n"; }

void CHttpClientSession::SetBodyReserve(DWORD reserve) {
  ASSERT(m_hHTTPOpen == 0);
  if (reserve < m_dwBodyReserve) return;
  m_dwBodyReserve = reserve;
  m_strResponseBody.reserve(reserve);
}

void CHttpClientSession::SetTimeout(DWORD timeout) {
  if (timeout) m_dwTimeout = timeout;
}

void CHttpClientSession::AddOneLineHeader(const CString &line) {
  if (IsOneLine(line))
    AddRequestHeader(line, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
  else
    m_bUnsafeHeaderText = true;  // never stored; requests fail until ClearRequestHeaders
}

void CHttpClientSession::AddRefererHeader(const CString &referrer) {
  if (!referrer.IsEmpty()) AddOneLineHeader(L"Referer: " + referrer);
}

void CHttpClientSession::SetCookie(const CString &cookie) {
  if (cookie.IsEmpty()) return;
  AddOneLineHeader(cookie.Find(L"Cookie:") < 0 && cookie.Find(L"cookie:") < 0 ? L"Cookie: " + cookie : cookie);
  m_strCookie = cookie;
}

CString CHttpClientSession::GetPostArgumentsText() const {
  CString text;
  for (const CHttpPostArgument &arg : m_vecPostArguments) {
    if (arg.GetType() != HTTP_POST_ARGUMENT_TEXT) continue;
    text += FromUtf8(arg.GetName()) + L"=" + FromUtf8(arg.GetValue()) + L"&";
  }
  if (!text.IsEmpty()) text.Truncate(text.GetLength() - 1);
  return text;
}

namespace {

// The "Content Type" the program's registry holds for the key; empty when
// it holds none.
CString RegisteredContentType(const CString &key) {
  HKEY hKey = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) return CString();
  wchar_t value[1024 / sizeof(wchar_t) + 1] = {};
  DWORD size = 1024;
  CString type;
  if (RegQueryValueExW(hKey, L"Content Type", nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size) ==
      ERROR_SUCCESS)
    type = value;
  RegCloseKey(hKey);
  return type;
}

}  // namespace

CString CHttpClientSession::GetMimeType(const CString &fileName) {
  const CString fallback = L"application/octet-stream";
  int dot = fileName.Find(L'.');
  if (dot == 0) return fallback;
  CString type = RegisteredContentType(dot < 0 ? fileName : fileName.Mid(dot));
  if (type.IsEmpty()) type = platform::MimeTypeOfFileName(fileName.GetString()).c_str();
  return type.IsEmpty() ? fallback : type;
}

void CHttpClientSession::CrackUrl(const CString &url, CString &scheme, CString &host, INTERNET_PORT &port,
                                  CString &object) {
  int sep = url.Find(L":/");
  CString rest;
  if (sep >= 1) {
    scheme = url.Left(sep);
    rest = url.Mid(sep + 3);
  } else {
    scheme = L"http";
    rest = url;
  }
  int slash = rest.Find(L'/');
  if (slash >= 0) {
    host = rest.Left(slash);
    object = rest.Mid(slash);
  } else {
    host = rest;
  }
  int colon = host.Find(L':');
  if (colon >= 0) {
    port = static_cast<INTERNET_PORT>(_wtol(host.Mid(colon + 1)));
    host = host.Left(colon);
  } else if (scheme.CompareNoCase(L"https") == 0) {
    port = INTERNET_DEFAULT_HTTPS_PORT;
  } else if (scheme.CompareNoCase(L"http") == 0) {
    port = INTERNET_DEFAULT_HTTP_PORT;
  }
}

BOOL CHttpClientSession::GunzipBuffer(const BYTE *src, DWORD srcSize, BYTE *dst, DWORD *dstSize) {
  if (!dstSize) return FALSE;
  if (srcSize > static_cast<DWORD>(INT_MAX)) {
    *dstSize = 0;
    return FALSE;
  }
  CGzipDecoder decoder(src, static_cast<int>(srcSize), dst, *dstSize);
  *dstSize = static_cast<DWORD>(decoder.GetOutputSize());
  return decoder.IsComplete() ? TRUE : FALSE;
}

BOOL CHttpClientSession::Connect(const CString &host, INTERNET_PORT port, LPCWSTR user, LPCWSTR password) {
  if (!m_hHTTPOpen) {
    if (m_proxyConfig.nAccessType == INTERNET_OPEN_TYPE_PRECONFIG ||
        m_proxyConfig.nAccessType == INTERNET_OPEN_TYPE_DIRECT) {
      m_hHTTPOpen = InternetOpenW(m_strAgentName, m_proxyConfig.nAccessType, nullptr, nullptr, 0);
    } else if (m_proxyConfig.nAccessType == INTERNET_OPEN_TYPE_PROXY) {
      m_hHTTPOpen =
          InternetOpenW(m_strAgentName, INTERNET_OPEN_TYPE_PROXY, m_proxyConfig.GetProxyString(), L"<local>", 0);
    }
    if (!m_hHTTPOpen) return FALSE;
    INTERNET_CONNECTED_INFO info{0, 0};
    DWORD size = sizeof info;
    if (InternetQueryOptionW(m_hHTTPOpen, INTERNET_OPTION_CONNECTED_STATE, &info, &size) &&
        !(info.dwConnectedState & INTERNET_STATE_CONNECTED)) {
      info.dwConnectedState = INTERNET_STATE_CONNECTED;
      InternetSetOptionW(m_hHTTPOpen, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info);
    }
  }
  if (m_hHTTPConnect) {
    if (host.CompareNoCase(m_strConnectedHost) == 0 && port == m_nConnectedPort) return TRUE;
    // Another server: its own connection.
    if (m_hHTTPRequest) {
      InternetCloseHandle(m_hHTTPRequest);
      m_hHTTPRequest = nullptr;
    }
    InternetCloseHandle(m_hHTTPConnect);
    m_hHTTPConnect = nullptr;
  }
  m_hHTTPConnect =
      InternetConnectW(m_hHTTPOpen, host, port, user, password, INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_UI, 0);
  if (!m_hHTTPConnect) return FALSE;
  m_strConnectedHost = host;
  m_nConnectedPort = port;
  if (m_proxyConfig.nAccessType == INTERNET_OPEN_TYPE_PROXY) {
    if (!m_proxyConfig.strUser.IsEmpty())
      InternetSetOptionW(m_hHTTPConnect, INTERNET_OPTION_PROXY_USERNAME,
                         const_cast<wchar_t *>(static_cast<LPCWSTR>(m_proxyConfig.strUser)),
                         m_proxyConfig.strUser.GetLength());
    if (!m_proxyConfig.strPassword.IsEmpty())
      InternetSetOptionW(m_hHTTPConnect, INTERNET_OPTION_PROXY_PASSWORD,
                         const_cast<wchar_t *>(static_cast<LPCWSTR>(m_proxyConfig.strPassword)),
                         m_proxyConfig.strPassword.GetLength());
  }
  return InternetAttemptConnect(0) == ERROR_SUCCESS;
}

BOOL CHttpClientSession::SendRequest(const CString &object, HTTP_REQUEST_METHOD method) {
  // An exception while sending is a failed request.
  try {
    switch (method) {
      case HTTP_REQUEST_METHOD_POST:
        return SendPostRequest(object);
      case HTTP_REQUEST_METHOD_POST_MULTIPART:
        return SendMultipartRequest(object);
      default:
        return SendGetRequest(object);
    }
  } catch (const std::bad_alloc &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_INTERNET_INTERNAL_ERROR);
  }
  return FALSE;
}

BOOL CHttpClientSession::CloseHandles() {
  for (HINTERNET *h : {&m_hHTTPRequest, &m_hHTTPConnect, &m_hHTTPOpen}) {
    if (*h) {
      InternetCloseHandle(*h);
      *h = nullptr;
    }
  }
  m_strConnectedHost.Empty();
  m_nConnectedPort = 0;
  return TRUE;
}

CString CHttpClientSession::GetResponseText(const CString &charset) {
  CString name = charset == HTTP_CHARSET_AUTODETECT ? DetectCharset() : charset;
  // NUL bytes inside the body become blanks; a final one stays.
  for (size_t i = 0; i + 1 < m_strResponseBody.size(); ++i) {
    if (m_strResponseBody[i] == '\0') m_strResponseBody[i] = ' ';
  }
  name.Trim();
  if (name.CompareNoCase(L"utf-8") == 0) return GetResponseUtf8Text();
  if (name.CompareNoCase(L"iso-8859-1") == 0) return FoldDoubleUtf8(GetResponseUtf8Text());
  const char *bytes = m_strResponseBody.c_str();
  UINT codePage = name.CompareNoCase(L"big5") == 0 ? 950u : CP_THREAD_ACP;
  return CString(MultiByteToWide(codePage, bytes, std::strlen(bytes)));
}

void CHttpClientSession::TryReadResponse() {
  if (!ReadResponse(nullptr)) m_nStatusCode = -1;
}

int CHttpClientSession::TryReadResponseProc(void *session) {
  static_cast<CHttpClientSession *>(session)->TryReadResponse();
  return 1;
}

}  // namespace pcutil

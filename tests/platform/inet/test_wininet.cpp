// The HTTP handle layer against real servers on loopback.
#include "platform/inet/wininet.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509_vfy.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/wininet_internal.h"
#include "platform/text/winerror.h"
#include "tests/support/deadline.h"
#include "tests/support/loopback_server.h"
#include "tests/support/peak_memory.h"

using testsupport::FinishesWithin;
using testsupport::LoopbackServer;
using testsupport::SupportScript;
using testsupport::TempDir;

namespace {

struct Servers {
  TempDir dir;
  std::unique_ptr<LoopbackServer> http;
  testsupport::HttpsTestServers https{dir.path()};
};
Servers *g_servers = nullptr;

// A whole HTTPS GET of /status/200 on `session`: ERROR_SUCCESS or the error.
DWORD SecureGet(HINTERNET session, const LoopbackServer &server) {
  HINTERNET c = InternetConnectW(session, L"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), nullptr, nullptr,
                                 INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET r =
      c ? HttpOpenRequestW(c, L"GET", L"/status/200", nullptr, nullptr, nullptr, INTERNET_FLAG_SECURE, 0) : nullptr;
  DWORD result = r && HttpSendRequestW(r, nullptr, 0, nullptr, 0) ? ERROR_SUCCESS : GetLastError();
  if (result == ERROR_SUCCESS) {
    std::string body;
    char buf[256];
    DWORD n = 0;
    BOOL ok;
    while ((ok = InternetReadFile(r, buf, sizeof buf, &n)) && n > 0) body.append(buf, n);
    if (!ok)
      result = GetLastError();
    else if (body != "status 200")
      result = ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
  if (r) InternetCloseHandle(r);
  if (c) InternetCloseHandle(c);
  return result;
}

// One exchange run to its end on the calling thread.
struct Outcome {
  bool sent = false;  // the response header arrived
  DWORD error = ERROR_SUCCESS;
  std::string body;
};
Outcome SendAndRead(HINTERNET request) {
  Outcome o;
  o.sent = HttpSendRequestW(request, nullptr, 0, nullptr, 0) != FALSE;
  if (!o.sent) {
    o.error = GetLastError();
    return o;
  }
  char buf[1000];
  DWORD n = 0;
  BOOL ok;
  while ((ok = InternetReadFile(request, buf, sizeof buf, &n)) && n > 0) o.body.append(buf, n);
  if (!ok) o.error = GetLastError();
  return o;
}

class WinInetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_servers = new Servers;
    Servers &s = *g_servers;
    s.http = std::make_unique<LoopbackServer>(SupportScript("httpserver.py"), std::vector<std::string>{});
    InternetSetExtraTrustedCaFile(s.https.trusted->caFile());
  }
  static void TearDownTestSuite() {
    InternetSetExtraTrustedCaFile("");
    delete g_servers;
    g_servers = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(g_servers->http->ok()) << g_servers->http->error();
    session_ = InternetOpenW(L"TestAgent/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(session_, nullptr);
  }
  void TearDown() override {
    if (request_) {
      EXPECT_TRUE(InternetCloseHandle(request_));
    }
    if (connect_) {
      EXPECT_TRUE(InternetCloseHandle(connect_));
    }
    EXPECT_TRUE(InternetCloseHandle(session_));
  }

  // Opens connect_ and request_ for a GET (or verb) of path on port.
  void Open(int port, const wchar_t *path, bool secure = false, const wchar_t *verb = L"GET") {
    connect_ = InternetConnectW(session_, L"127.0.0.1", static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                INTERNET_SERVICE_HTTP, INTERNET_FLAG_NO_UI, 0);
    ASSERT_NE(connect_, nullptr);
    LPCWSTR accept[] = {L"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
    if (secure) flags |= INTERNET_FLAG_SECURE;
    request_ = HttpOpenRequestW(connect_, verb, path, L"HTTP/1.1", nullptr, accept, flags, 0);
    ASSERT_NE(request_, nullptr);
  }

  void CloseRequest() {
    InternetCloseHandle(request_);
    InternetCloseHandle(connect_);
    request_ = connect_ = nullptr;
  }

  std::string ReadAll(BOOL *ok = nullptr, DWORD piece = 1000) {
    std::string body;
    std::string buf(piece, '\0');
    for (;;) {
      DWORD n = 0;
      BOOL r = InternetReadFile(request_, buf.data(), piece, &n);
      if (!r || n == 0) {
        if (ok) *ok = r;
        return body;
      }
      body.append(buf.data(), n);
    }
  }

  std::wstring Query(DWORD level, DWORD *index = nullptr) {
    wchar_t buf[4096] = {};
    DWORD len = sizeof buf;
    if (!HttpQueryInfoW(request_, level, buf, &len, index)) return L"<fail>";
    EXPECT_EQ(len % sizeof(wchar_t), 0u);
    return std::wstring(buf, len / sizeof(wchar_t));
  }

  DWORD StatusNumber() {
    DWORD status = 0, len = sizeof status;
    EXPECT_TRUE(HttpQueryInfoW(request_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &len, nullptr));
    return status;
  }

  HINTERNET session_ = nullptr, connect_ = nullptr, request_ = nullptr;
};

TEST_F(WinInetTest, GetReturnsStatusHeadersAndBodyInPieces) {
  TempDir files;
  std::string data;
  for (int i = 0; i < 5000; ++i) data += static_cast<char>('a' + i % 26);
  files.Write("plain.txt", data);
  LoopbackServer server(SupportScript("httpserver.py"), {"--root", files.path()});
  ASSERT_TRUE(server.ok());
  for (bool chunked : {false, true}) {
    SCOPED_TRACE(chunked ? "chunked" : "length");
    Open(server.port(), chunked ? L"/file/plain.txt?chunked=1" : L"/file/plain.txt?ct=text/plain");
    ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
    EXPECT_EQ(StatusNumber(), 200u);
    EXPECT_EQ(Query(HTTP_QUERY_STATUS_CODE), L"200");
    BOOL ok = FALSE;
    EXPECT_EQ(ReadAll(&ok, 777), data);
    EXPECT_TRUE(ok);
    // After the end every read gives TRUE and 0 bytes.
    char c;
    DWORD n = 5;
    EXPECT_TRUE(InternetReadFile(request_, &c, 1, &n));
    EXPECT_EQ(n, 0u);
    std::wstring raw = Query(HTTP_QUERY_RAW_HEADERS_CRLF);
    EXPECT_EQ(raw.rfind(L"HTTP/1.", 0), 0u) << std::string(raw.begin(), raw.end());
    EXPECT_EQ(raw.substr(raw.size() - 4), L"\r\n\r\n");
    if (chunked) {
      EXPECT_EQ(Query(HTTP_QUERY_CONTENT_LENGTH), L"<fail>");
      EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_HEADER_NOT_FOUND);
      EXPECT_EQ(Query(HTTP_QUERY_TRANSFER_ENCODING), L"chunked");
    } else {
      EXPECT_EQ(Query(HTTP_QUERY_CONTENT_LENGTH), L"5000");
      EXPECT_EQ(Query(HTTP_QUERY_CONTENT_TYPE), L"text/plain");
    }
    InternetCloseHandle(request_);
    InternetCloseHandle(connect_);
    request_ = connect_ = nullptr;
  }
}

// A body far larger than what the layer keeps ahead of its reader arrives
// whole and in order whatever the size of the reads: the transfer pauses and
// resumes, and bytes go straight into the reader's buffer or wait for it.
TEST_F(WinInetTest, LargeBodyArrivesWholeWhateverTheReads) {
  TempDir files;
  std::string data(1500000, '\0');
  unsigned seed = 3;
  for (char &c : data) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  files.Write("large.bin", data);
  LoopbackServer server(SupportScript("httpserver.py"), {"--root", files.path()});
  ASSERT_TRUE(server.ok());
  for (DWORD piece : {1000u, 10240u, 16384u, 300000u}) {
    SCOPED_TRACE(piece);
    Open(server.port(), L"/file/large.bin");
    ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
    BOOL ok = FALSE;
    EXPECT_TRUE(ReadAll(&ok, piece) == data);
    EXPECT_TRUE(ok);
    CloseRequest();
  }
}

// Body bytes the reader does not take wait only within the layer's read-ahead
// (the server is held back), and a request closed halfway through its body
// drops its connection rather than reading on: in every framing, the
// server's writes fail long before its 64 MiB are out.
TEST_F(WinInetTest, BodyLeftUnreadIsNeitherKeptNorDrained) {
  const char *framings[] = {"", "&chunked=1", "&length=1"};
  for (int i = 0; i < 3; ++i) {
    const char *framing = framings[i];
    SCOPED_TRACE(framing);
    const std::string key = "unread" + std::to_string(i);
    const std::string path = "/flood?key=" + key + "&n=" + std::to_string(64 << 20) + framing;
    Open(g_servers->http->port(), std::wstring(path.begin(), path.end()).c_str());
    ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
    char piece[1000];
    DWORD got = 0;
    ASSERT_TRUE(InternetReadFile(request_, piece, sizeof piece, &got));
    EXPECT_EQ(got, sizeof piece);
    CloseRequest();
    const std::string end = testsupport::FloodEnd(*g_servers->http, key);
    EXPECT_NE(end.find(" cut"), std::string::npos) << "how the server's flood ended: " << end;
    EXPECT_LT(std::atoll(end.c_str()), 48ll << 20) << end;
  }
}

// A redirect's own body is not kept, whatever its size and framing (it is
// read past or its connection dropped): the request follows to the target
// and reads the target's body.
TEST_F(WinInetTest, RedirectBodyIsNotKept) {
  const long long peakBefore = testsupport::PeakResidentBytes();
  for (const char *framing : {"", "&chunked=1", "&length=1"}) {
    SCOPED_TRACE(framing);
    const std::string path =
        std::string("/flood?status=302&h=Location:/status/201") + "&n=" + std::to_string(64 << 20) + framing;
    Open(g_servers->http->port(), std::wstring(path.begin(), path.end()).c_str());
    ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
    EXPECT_EQ(StatusNumber(), 201u);
    EXPECT_EQ(ReadAll(), "status 201");
    CloseRequest();
  }
  EXPECT_LT(testsupport::PeakResidentBytes() - peakBefore, 32ll << 20);
}

TEST_F(WinInetTest, RepeatedHeadersByIndexAndBufferTooSmall) {
  Open(g_servers->http->port(), L"/status/200?h=Set-Cookie:a%3D1%3B%20path%3D%2F&h=Set-Cookie:b%3D2");
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  DWORD index = 0;
  EXPECT_EQ(Query(HTTP_QUERY_SET_COOKIE, &index), L"a=1; path=/");
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(Query(HTTP_QUERY_SET_COOKIE, &index), L"b=2");
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(Query(HTTP_QUERY_SET_COOKIE, &index), L"<fail>");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_EQ(index, 2u);

  wchar_t small[3];
  DWORD len = sizeof small;
  index = 0;
  EXPECT_FALSE(HttpQueryInfoW(request_, HTTP_QUERY_SET_COOKIE, small, &len, &index));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(len, 12 * sizeof(wchar_t));  // "a=1; path=/" and its terminator
  EXPECT_EQ(index, 0u);

  // A header named by the caller.
  wchar_t custom[64] = L"content-type";
  len = sizeof custom;
  EXPECT_TRUE(HttpQueryInfoW(request_, HTTP_QUERY_CUSTOM, custom, &len, nullptr));
  EXPECT_STREQ(custom, L"text/plain");
}

// The index of a repeated header finds its line at once among thousands,
// names compared without case.
TEST_F(WinInetTest, IndexedQueriesAmongManyLines) {
  Open(g_servers->http->port(), L"/many?n=20000&short=1");
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
  for (DWORD i : {0u, 1u, 25u, 12345u, 19999u}) {
    DWORD index = i;
    EXPECT_EQ(Query(HTTP_QUERY_SET_COOKIE, &index), std::wstring(1, static_cast<wchar_t>(L'a' + i % 26))) << i;
    EXPECT_EQ(index, i + 1);
  }
  DWORD past = 20000;
  EXPECT_EQ(Query(HTTP_QUERY_SET_COOKIE, &past), L"<fail>");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_HEADER_NOT_FOUND);
  wchar_t custom[64] = L"SET-cookie";
  DWORD len = sizeof custom, index = 3;
  EXPECT_TRUE(HttpQueryInfoW(request_, HTTP_QUERY_CUSTOM, custom, &len, &index));
  EXPECT_STREQ(custom, L"d");
}

// Responses HTTP forbids fail the send, and no byte of them can be read; the
// ones it allows (one length given twice, interim answers) are read.
TEST_F(WinInetTest, ResponsesHttpForbidsFailTheSend) {
  struct Case {
    const wchar_t *path;
    bool sent;
    std::string body;
  } cases[] = {
      {L"/lengths?v=5&v=11", false, ""},
      {L"/lengths?v=11&v=5", false, ""},
      {L"/lengths?v=5,%2011&joined=1", false, ""},
      {L"/lengths?v=5&v=11&chunked=1", false, ""},
      {L"/lengths?v=1x", false, ""},
      {L"/upgrade", false, ""},
      {L"/lengths?v=11&v=11", true, "hello world"},
      {L"/lengths?v=11&v=011&joined=1", true, "hello world"},
      {L"/interim?code=100", true, "ok"},
      {L"/interim?code=103", true, "ok"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.path);
    Open(g_servers->http->port(), c.path);
    Outcome o = SendAndRead(request_);
    EXPECT_EQ(o.sent, c.sent);
    EXPECT_EQ(o.error, c.sent ? (DWORD)ERROR_SUCCESS : (DWORD)ERROR_HTTP_INVALID_SERVER_RESPONSE);
    EXPECT_EQ(o.body, c.body);
    if (!c.sent) {
      char buf[100];
      DWORD n = 0;
      EXPECT_FALSE(InternetReadFile(request_, buf, sizeof buf, &n));
      EXPECT_EQ(n, 0u);
    }
    CloseRequest();
  }
  // A request that asked to switch protocols takes the answer as it is.
  Open(g_servers->http->port(), L"/upgrade");
  ASSERT_TRUE(
      HttpAddRequestHeadersW(request_, L"Upgrade: other\r\nConnection: Upgrade", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
  EXPECT_EQ(StatusNumber(), 101u);
}

// The limits wininet.h states, whichever of curl and the layer meets them
// first: one line, and the headers of all the responses of one exchange.
TEST_F(WinInetTest, HeaderBeyondItsLimitsFailsWithInvalidHeader) {
  struct Case {
    const char *name;
    std::wstring path;
    bool sent;
  } cases[] = {
      {"one line of 200,000 bytes", L"/longheader?n=200000", false},
      {"400 lines of 1,000 bytes", L"/many?n=400&name=X-Fill&pad=1000", false},
      {"10 MB of lines", L"/many?n=10000&name=X-Fill&pad=1000", false},
      {"20,500 lines, over 300 KiB", L"/many?n=20500&short=1", false},
      {"20,000 lines, just under 300 KiB", L"/many?n=20000&short=1", true},
      {"a redirect and an answer, each within the limit, together over it",
       L"/many?n=9000&name=X-L&pad=10&to=%2Fmany%3Fn%3D9000%26name%3DX-L%26pad%3D10", false},
      {"a redirect within the limit", L"/many?n=9000&name=X-L&pad=10&to=%2Fstatus%2F200", true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Open(g_servers->http->port(), c.path.c_str());
    const BOOL sent = HttpSendRequestW(request_, nullptr, 0, nullptr, 0);
    EXPECT_EQ(sent != FALSE, c.sent);
    if (!c.sent) {
      EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_INVALID_HEADER);
    }
    CloseRequest();
  }
}

// Header text that is no block of header lines is refused where it is
// given, so nothing of it reaches the wire; texts for one value must be one
// line.
TEST_F(WinInetTest, TextsThatWouldAddLinesAreRefused) {
  Open(g_servers->http->port(), L"/echo");
  const wchar_t *blocks[] = {
      L"X-A: 1\r\n\r\nGET /status/200 HTTP/1.1\r\nHost: other",  // a second request after an empty line
      L"X-A: 1\r\n\r\nX-B: 2",
      L"GET http://other/ HTTP/1.1",  // a name that is no token
      L"X-A: 1\rX-Injected: 1",       // a bare CR inside a line
      L"X A: 1",
      L": 1",
  };
  for (const wchar_t *block : blocks) {
    SCOPED_TRACE(testing::Message() << block);
    EXPECT_FALSE(HttpAddRequestHeadersW(request_, block, (DWORD)-1, HTTP_ADDREQ_FLAG_ADD));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_INVALID_HEADER);
    EXPECT_FALSE(HttpSendRequestW(request_, block, (DWORD)-1, nullptr, 0));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_INVALID_HEADER);
  }
  const wchar_t withNul[] = L"X-A: 1\0X-B: 2";
  EXPECT_FALSE(HttpAddRequestHeadersW(request_, withNul, 13, HTTP_ADDREQ_FLAG_ADD));
  // Empty lines at the end, and several lines, are a block.
  EXPECT_TRUE(HttpAddRequestHeadersW(request_, L"X-One: 1\r\nX-Two: 2\r\n\r\n", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  const std::string seen = ReadAll();
  EXPECT_NE(seen.find("X-One: 1\nX-Two: 2\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("X-Injected"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("X-B"), std::string::npos) << seen;

  EXPECT_EQ(InternetOpenW(L"agent\r\nX-Injected: 1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(InternetOpenA("agent\nX-Injected: 1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  wchar_t agent[] = L"agent\rX: 1";
  EXPECT_FALSE(InternetSetOptionW(session_, INTERNET_OPTION_USER_AGENT, agent, 0));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HttpOpenRequestW(connect_, L"GET", L"/", L"HTTP/1.1", L"http://ref\r\nX-Injected: 1", nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_EQ(HttpOpenRequestW(connect_, L"GET / HTTP/1.1\r\nX-Injected: 1\r\n\r\nGET", L"/", L"HTTP/1.1", nullptr,
                             nullptr, 0, 0),
            nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
}

TEST_F(WinInetTest, RequestHeadersAsTheServerSawThem) {
  Open(g_servers->http->port(), L"/echo");
  ASSERT_TRUE(HttpAddRequestHeadersW(request_, L"Host: first.example\r\n", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  // ADD_IF_NEW on a header the request already has succeeds and changes nothing.
  EXPECT_TRUE(HttpAddRequestHeadersW(request_, L"Host: second.example\r\n", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  EXPECT_TRUE(HttpAddRequestHeadersW(request_, L"Accept: text/html\r\n", (DWORD)-1, HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_TRUE(HttpAddRequestHeadersW(request_, L"X-One: 1\r\nX-Two: 2\r\n", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  // REPLACE of a header the request lacks fails unless ADD is given.
  EXPECT_FALSE(HttpAddRequestHeadersW(request_, L"X-Missing: 1", (DWORD)-1, HTTP_ADDREQ_FLAG_REPLACE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_HTTP_HEADER_NOT_FOUND);
  EXPECT_FALSE(HttpAddRequestHeadersW(request_, L"no colon here", (DWORD)-1, HTTP_ADDREQ_FLAG_ADD));
  ASSERT_TRUE(HttpSendRequestW(request_, L"X-Send: once\r\n", (DWORD)-1, nullptr, 0));
  std::string seen = ReadAll();
  EXPECT_NE(seen.find("GET /echo HTTP/1.1\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Host: first.example\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("second.example"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Accept: text/html\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("*/*"), std::string::npos) << seen;
  EXPECT_NE(seen.find("X-One: 1\nX-Two: 2\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("X-Send: once\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("User-Agent: TestAgent/1.0\n"), std::string::npos) << seen;
  // No automatic content coding and no Expect line.
  EXPECT_EQ(seen.find("Accept-Encoding"), std::string::npos) << seen;
  EXPECT_EQ(seen.find("Expect"), std::string::npos) << seen;
}

TEST_F(WinInetTest, RedirectIsFollowedBeforeTheStatusIsRead) {
  Open(g_servers->http->port(), L"/redirect?to=/status/201");
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  EXPECT_EQ(StatusNumber(), 201u);
  EXPECT_EQ(ReadAll(), "status 201");
}

TEST_F(WinInetTest, ErrorStatusesAreResponsesNotFailures) {
  Open(g_servers->http->port(), L"/status/404");
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  EXPECT_EQ(StatusNumber(), 404u);
  EXPECT_EQ(Query(HTTP_QUERY_STATUS_TEXT), L"Not Found");
}

TEST_F(WinInetTest, ShortBodyFailsTheRead) {
  Open(g_servers->http->port(), L"/short");
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  BOOL ok = TRUE;
  EXPECT_EQ(ReadAll(&ok), "0123456789");
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_CONNECTION_ABORTED);
}

TEST_F(WinInetTest, BodyWrittenBetweenStartAndEnd) {
  Open(g_servers->http->port(), L"/echo", false, L"POST");
  ASSERT_TRUE(HttpAddRequestHeadersW(request_, L"Content-Type: application/octet-stream\r\n", (DWORD)-1,
                                     HTTP_ADDREQ_FLAG_ADD_IF_NEW));
  INTERNET_BUFFERSW in{};
  in.dwStructSize = sizeof in;
  // Writing before the start is refused.
  DWORD written = 0;
  EXPECT_FALSE(InternetWriteFile(request_, "x", 1, &written));
  ASSERT_TRUE(HttpSendRequestExW(request_, &in, nullptr, HSR_INITIATE, 0));
  std::string body("part1\0part2", 11);
  ASSERT_TRUE(InternetWriteFile(request_, body.data(), 5, &written));
  EXPECT_EQ(written, 5u);
  ASSERT_TRUE(InternetWriteFile(request_, body.data() + 5, 6, &written));
  ASSERT_TRUE(HttpEndRequestW(request_, nullptr, HSR_INITIATE, 0));
  std::string seen = ReadAll();
  EXPECT_NE(seen.find("POST /echo HTTP/1.1\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Content-Length: 11\n"), std::string::npos) << seen;
  EXPECT_EQ(seen.substr(seen.size() - 11), body);
}

TEST_F(WinInetTest, OpenUrlSendsTheCallersHeaders) {
  std::wstring url = L"http://127.0.0.1:" + std::to_wstring(g_servers->http->port()) + L"/echo";
  request_ = InternetOpenUrlW(session_, url.c_str(), L"Accept: */*\r\n\r\n", 15,
                              INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE, 0);
  ASSERT_NE(request_, nullptr) << GetLastError();
  EXPECT_EQ(StatusNumber(), 200u);
  std::string seen = ReadAll();
  EXPECT_NE(seen.find("Accept: */*\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("Pragma: no-cache\n"), std::string::npos) << seen;

  EXPECT_EQ(InternetOpenUrlW(session_, L"ftp://127.0.0.1/x", nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_UNRECOGNIZED_SCHEME);
}

TEST_F(WinInetTest, ClosedAndForeignHandlesAreRejected) {
  HINTERNET c = InternetConnectW(session_, L"127.0.0.1", 80, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(InternetCloseHandle(c));
  EXPECT_FALSE(InternetCloseHandle(c));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_EQ(HttpOpenRequestW(c, L"GET", L"/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  // A session handle is not a connection handle.
  EXPECT_EQ(HttpOpenRequestW(session_, L"GET", L"/", nullptr, nullptr, nullptr, 0, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
  // Querying before a send is a state error.
  Open(g_servers->http->port(), L"/echo");
  EXPECT_EQ(Query(HTTP_QUERY_STATUS_CODE), L"<fail>");
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_INCORRECT_HANDLE_STATE);
}

TEST_F(WinInetTest, ConnectedStateIsAlwaysConnected) {
  INTERNET_CONNECTED_INFO info{};
  DWORD len = sizeof info;
  ASSERT_TRUE(InternetQueryOptionW(session_, INTERNET_OPTION_CONNECTED_STATE, &info, &len));
  EXPECT_EQ(info.dwConnectedState, INTERNET_STATE_CONNECTED);
  EXPECT_TRUE(InternetSetOptionW(session_, INTERNET_OPTION_CONNECTED_STATE, &info, sizeof info));
  EXPECT_EQ(InternetAttemptConnect(0), (DWORD)ERROR_SUCCESS);
}

TEST_F(WinInetTest, HttpsWithTheTrustedAuthoritySucceeds) {
  ASSERT_TRUE(g_servers->https.good->ok()) << g_servers->https.good->error();
  Open(g_servers->https.good->port(), L"/status/200", true);
  ASSERT_TRUE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0)) << GetLastError();
  EXPECT_EQ(ReadAll(), "status 200");
  DWORD flags = 0, len = sizeof flags;
  ASSERT_TRUE(InternetQueryOptionW(request_, INTERNET_OPTION_SECURITY_FLAGS, &flags, &len));
  EXPECT_TRUE(flags & SECURITY_FLAG_SECURE);
}

TEST_F(WinInetTest, BadCertificatesFailEvenWithIgnoreFlags) {
  struct Case {
    const char *name;
    LoopbackServer *server;
    DWORD error;
  } cases[] = {
      {"wrong name", g_servers->https.wrongName.get(), ERROR_INTERNET_SEC_CERT_CN_INVALID},
      {"expired", g_servers->https.expired.get(), ERROR_INTERNET_SEC_CERT_DATE_INVALID},
      {"unknown authority", g_servers->https.unknownCa.get(), ERROR_INTERNET_INVALID_CA},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.server->ok()) << c.server->error();
    connect_ = InternetConnectW(session_, L"127.0.0.1", static_cast<INTERNET_PORT>(c.server->port()), nullptr, nullptr,
                                INTERNET_SERVICE_HTTP, 0, 0);
    request_ = HttpOpenRequestW(
        connect_, L"GET", L"/status/200", nullptr, nullptr, nullptr,
        INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID, 0);
    ASSERT_NE(request_, nullptr);
    EXPECT_FALSE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), c.error);
    // Relaxed security flags are kept but do not let the request through.
    DWORD relaxed = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_DATE_INVALID | SECURITY_FLAG_IGNORE_REVOCATION;
    ASSERT_TRUE(InternetSetOptionW(request_, INTERNET_OPTION_SECURITY_FLAGS, &relaxed, sizeof relaxed));
    EXPECT_FALSE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), c.error);
    InternetCloseHandle(request_);
    InternetCloseHandle(connect_);
    request_ = connect_ = nullptr;
  }
}

// The session keeps its connection to a server alive; a change of the trusted
// authorities must still apply to that server's next request.
TEST_F(WinInetTest, ChangedTrustAppliesToKeptConnections) {
  Servers &s = *g_servers;
  ASSERT_TRUE(s.https.good->ok() && s.https.unknownCa->ok());
  TempDir dir;
  std::string extra = dir.Write("extra.pem", testsupport::ReadFileBytes(s.https.trusted->caFile()));
  InternetSetExtraTrustedCaFile(extra);
  EXPECT_EQ(SecureGet(session_, *s.https.good), (DWORD)ERROR_SUCCESS);
  EXPECT_EQ(SecureGet(session_, *s.https.good), (DWORD)ERROR_SUCCESS);

  // The file is replaced on disk: now the other authority is the trusted one.
  std::filesystem::rename(dir.Write("next.pem", testsupport::ReadFileBytes(s.https.stranger->caFile())), extra);
  EXPECT_EQ(SecureGet(session_, *s.https.good), (DWORD)ERROR_INTERNET_INVALID_CA);
  EXPECT_EQ(SecureGet(session_, *s.https.unknownCa), (DWORD)ERROR_SUCCESS);

  // Set back by name: the kept connection to the second server is not reused either.
  InternetSetExtraTrustedCaFile(s.https.trusted->caFile());
  EXPECT_EQ(SecureGet(session_, *s.https.unknownCa), (DWORD)ERROR_INTERNET_INVALID_CA);
  EXPECT_EQ(SecureGet(session_, *s.https.good), (DWORD)ERROR_SUCCESS);
}

TEST_F(WinInetTest, SessionsOnSeveralThreadsShareTheTrustStore) {
  const LoopbackServer &good = *g_servers->https.good;
  const LoopbackServer &unknown = *g_servers->https.unknownCa;
  ASSERT_TRUE(good.ok() && unknown.ok());
  constexpr int kThreads = 4, kRounds = 4;
  std::vector<int> passed(kThreads, 0), refused(kThreads, 0);
  testsupport::Watchdog watchdog(std::chrono::seconds(60), "32 HTTPS fetches on four threads");
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; round < kRounds; ++round) {
        // A session per fetch: every fetch makes a new TLS connection.
        HINTERNET session = InternetOpenW(L"TestAgent/1.0", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
        if (SecureGet(session, good) == ERROR_SUCCESS) ++passed[i];
        if (SecureGet(session, unknown) == ERROR_INTERNET_INVALID_CA) ++refused[i];
        InternetCloseHandle(session);
      }
    });
  }
  for (std::thread &t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    EXPECT_EQ(passed[i], kRounds) << "thread " << i;
    EXPECT_EQ(refused[i], kRounds) << "thread " << i;
  }
}

// Which authorities the shared store trusts, looked up by subject as the
// chain check does.
TEST_F(WinInetTest, TrustStoreHoldsTheSystemAuthoritiesBesideTheExtraOne) {
  std::shared_ptr<const wininet::TrustStore> trust = wininet::CurrentTrust();
  ASSERT_TRUE(trust && trust->store);
  auto readCerts = [](const std::string &path) {
    std::vector<X509 *> certs;
    if (FILE *f = std::fopen(path.c_str(), "r")) {
      while (X509 *c = PEM_read_X509(f, nullptr, nullptr, nullptr)) certs.push_back(c);
      std::fclose(f);
    }
    return certs;
  };
  auto trusted = [&](X509 *cert) {
    X509_STORE_CTX *ctx = X509_STORE_CTX_new();
    X509_STORE_CTX_init(ctx, trust->store, nullptr, nullptr);
    X509_OBJECT *found = X509_STORE_CTX_get_obj_by_subject(ctx, X509_LU_X509, X509_get_subject_name(cert));
    bool same = found && X509_cmp(X509_OBJECT_get0_X509(found), cert) == 0;
    X509_OBJECT_free(found);
    X509_STORE_CTX_free(ctx);
    return same;
  };
  char *bundle = nullptr;
  CURL *probe = curl_easy_init();
  ASSERT_EQ(curl_easy_getinfo(probe, CURLINFO_CAINFO, &bundle), CURLE_OK);
  std::vector<X509 *> system = readCerts(bundle ? bundle : "");
  curl_easy_cleanup(probe);
  ASSERT_GT(system.size(), 10u);
  std::vector<X509 *> extra = readCerts(g_servers->https.trusted->caFile());
  std::vector<X509 *> stranger = readCerts(g_servers->https.stranger->caFile());
  ASSERT_EQ(extra.size(), 1u);
  ASSERT_EQ(stranger.size(), 1u);
  EXPECT_TRUE(trusted(system.front()));
  EXPECT_TRUE(trusted(system.back()));
  EXPECT_TRUE(trusted(extra[0]));
  EXPECT_FALSE(trusted(stranger[0]));
  for (auto *list : {&system, &extra, &stranger})
    for (X509 *c : *list) X509_free(c);
}

TEST_F(WinInetTest, SilentServerFailsWithinTheReceiveTimeout) {
  testsupport::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  InternetSetDefaultTimeouts(2000, 300);
  Open(silent.port(), L"/");
  EXPECT_FALSE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_TIMEOUT);
  InternetSetDefaultTimeouts(0, 0);
}

// Exchanges that would run on for minutes end at a time-out. A server that
// drips its answer one byte a second never leaves the line idle for the
// receive time-out, yet fails within about that time: the rate stays below
// the floor (the drip alone would go on for ten minutes). The exchange
// time-out ends an exchange whatever the server does.
TEST_F(WinInetTest, DrippingAndSilentServersEndAtATimeout) {
  testsupport::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  const int http = g_servers->http->port();
  struct Case {
    const char *name;
    int port;
    const wchar_t *path;
    DWORD option;
    bool headerArrives;
  } cases[] = {
      {"status line and header dripped", http, L"/drip?part=head", INTERNET_OPTION_RECEIVE_TIMEOUT, false},
      {"body dripped", http, L"/drip?part=body", INTERNET_OPTION_RECEIVE_TIMEOUT, true},
      {"no answer, exchange limit", silent.port(), L"/", INTERNET_OPTION_EXCHANGE_TIMEOUT, false},
      {"slow body, exchange limit", http, L"/drip?part=body&every=0.05", INTERNET_OPTION_EXCHANGE_TIMEOUT, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Open(c.port, c.path);
    DWORD limitMs = 2500, read = 0, len = sizeof read;
    ASSERT_TRUE(InternetSetOptionW(request_, c.option, &limitMs, sizeof limitMs));
    ASSERT_TRUE(InternetQueryOptionW(request_, c.option, &read, &len));
    EXPECT_EQ(read, limitMs);
    auto outcome = std::make_shared<Outcome>();
    ASSERT_TRUE(FinishesWithin(std::chrono::seconds(20), [r = request_, outcome] { *outcome = SendAndRead(r); }))
        << "the exchange did not end within 20 s";
    EXPECT_EQ(outcome->sent, c.headerArrives);
    EXPECT_EQ(outcome->error, (DWORD)ERROR_INTERNET_TIMEOUT);
    CloseRequest();
  }
}

// Plain http builds no trust store; the first TLS connection does, also one
// reached through a redirect, and it verifies that connection in full.
TEST_F(WinInetTest, TrustStoreIsBuiltByTheFirstTlsConnection) {
  Servers &s = *g_servers;
  ASSERT_TRUE(s.https.good->ok() && s.https.unknownCa->ok());
  InternetSetExtraTrustedCaFile(s.https.trusted->caFile());  // the next store is built anew
  const unsigned long long before = wininet::TrustStoresBuilt();
  auto get = [&](const std::wstring &path) {
    Open(s.http->port(), path.c_str());
    Outcome outcome = SendAndRead(request_);
    CloseRequest();
    return outcome.error == ERROR_SUCCESS ? outcome.body : "error " + std::to_string(outcome.error);
  };
  EXPECT_EQ(get(L"/status/200"), "status 200");
  EXPECT_EQ(wininet::TrustStoresBuilt(), before);
  auto via = [](const LoopbackServer &target) {
    return L"/redirect?to=https://127.0.0.1:" + std::to_wstring(target.port()) + L"/status/201";
  };
  EXPECT_EQ(get(via(*s.https.good)), "status 201");
  EXPECT_EQ(wininet::TrustStoresBuilt(), before + 1);
  EXPECT_EQ(get(via(*s.https.unknownCa)), "error " + std::to_string(ERROR_INTERNET_INVALID_CA));
  EXPECT_EQ(wininet::TrustStoresBuilt(), before + 1);
}

TEST_F(WinInetTest, RefusedConnectionFails) {
  int port;
  {
    testsupport::SilentListener closed;  // a port that was free a moment ago
    port = closed.port();
  }
  Open(port, L"/");
  EXPECT_FALSE(HttpSendRequestW(request_, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INTERNET_CANNOT_CONNECT);
}

}  // namespace

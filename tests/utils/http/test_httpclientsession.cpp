// The HTTP client session against real HTTP and HTTPS servers on loopback.
#include "utils/http/httpclientsession.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/wininet.h"
#include "platform/system/registry.h"
#include "platform/text/codepage.h"
#include "tests/support/deadline.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scoped_env.h"

using pcutil::CHttpClientSession;
using pcutil::HTTP_REQUEST_METHOD_GET;
using pcutil::HTTP_REQUEST_METHOD_POST;
using pcutil::HTTP_REQUEST_METHOD_POST_MULTIPART;
using testsupport::LoopbackServer;
using testsupport::SupportScript;
using testsupport::TempDir;

namespace {

std::string GzipTool(const TempDir &dir, const std::string &data, const std::string &options = "-n") {
  std::string in = dir.Write("gzip-input", data);
  FILE *p = popen(("gzip -c " + options + " '" + in + "'").c_str(), "r");
  std::string out;
  char buf[65536];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  return out;
}

std::string Pattern(size_t n) {
  std::string s;
  s.reserve(n);
  unsigned seed = 7;
  while (s.size() < n) {
    seed = seed * 1103515245u + 12345u;
    s += "0123456789 abcdef\n"[(seed >> 16) % 18];
  }
  return s;
}

struct World {
  TempDir files;
  TempDir certs;
  std::unique_ptr<LoopbackServer> http, http2;
  testsupport::HttpsTestServers https{certs.path()};
  std::string big;  // exactly the 1,048,576-byte limit
};
World *g_world = nullptr;

class HttpSession : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_world = new World;
    World &w = *g_world;
    const TempDir &f = w.files;
    std::string a = Pattern(30000), b = Pattern(777);
    f.Write("a.txt", a);
    f.Write("one.gz", GzipTool(f, a));
    f.Write("two.gz", GzipTool(f, a) + GzipTool(f, b));
    f.Write("named.gz", GzipTool(f, a, ""));  // carries the file name
    std::string badCrc = GzipTool(f, a);
    badCrc[badCrc.size() - 6] ^= 0x40;
    f.Write("badcrc.gz", badCrc);
    std::string whole = GzipTool(f, a);
    f.Write("truncated.gz", whole.substr(0, whole.size() - 100));
    w.big = Pattern(0x100000);
    f.Write("limit.gz", GzipTool(f, w.big));
    f.Write("over.gz", GzipTool(f, w.big + "x"));
    f.Write("nul.txt", std::string("ab\0cd", 5));
    f.Write("empty.txt", "");
    f.Write("utf8.txt", "caf\xC3\xA9 \xE4\xB8\xAD");
    f.Write("double.txt", "caf\xC3\x83\xC2\xA9");                            // UTF-8 of the UTF-8 bytes of "café"
    f.Write("big5.txt", "\xA4\xA4\xA4\xE5");                                 // 中文 in Big5
    f.Write("gbk.html", "<html><meta charset=gbk>\xD6\xD0\xCE\xC4</html>");  // 中文 in GBK
    w.http =
        std::make_unique<LoopbackServer>(SupportScript("httpserver.py"), std::vector<std::string>{"--root", f.path()});
    w.http2 = std::make_unique<LoopbackServer>(SupportScript("httpserver.py"), std::vector<std::string>{});
    InternetSetExtraTrustedCaFile(w.https.trusted->caFile());
  }
  static void TearDownTestSuite() {
    InternetSetExtraTrustedCaFile("");
    delete g_world;
    g_world = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(g_world->http->ok()) << g_world->http->error(); }

  static std::wstring Url(const LoopbackServer &s, const std::string &path, bool https = false,
                          const char *host = "127.0.0.1") {
    std::string u = std::string(https ? "https://" : "http://") + host + ":" + std::to_string(s.port()) + path;
    return std::wstring(u.begin(), u.end());
  }
  static std::wstring HttpUrl(const std::string &path) { return Url(*g_world->http, path); }
};

// The request as the echo route returns it: request line, headers, blank line, body.
std::string EchoedBody(const std::string &echo) {
  size_t at = echo.find("\n\n");
  return at == std::string::npos ? std::string() : echo.substr(at + 2);
}

bool Saw(const std::string &echo, const std::string &line) {
  return echo.find("\n" + line + "\n") != std::string::npos;
}

TEST(CrackUrl, SplitsSchemeHostPortAndObject) {
  struct Case {
    const wchar_t *url, *scheme, *host;
    INTERNET_PORT port;
    const wchar_t *object;
  } cases[] = {
      {L"http://host/a/b", L"http", L"host", 80, L"/a/b"},
      {L"HTTPS://host/x", L"HTTPS", L"host", 443, L"/x"},
      {L"https://host:8443/x", L"https", L"host", 8443, L"/x"},
      {L"http://host:8080/a?b=1", L"http", L"host", 8080, L"/a?b=1"},
      {L"host/path", L"http", L"host", 80, L"/path"},
      {L"http://host", L"http", L"host", 80, L"(unchanged)"},
      {L"ftp://host/x", L"ftp", L"host", 1234, L"/x"},  // other schemes leave the port as it was
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.url);
    CString scheme, host, object = L"(unchanged)";
    INTERNET_PORT port = 1234;
    CHttpClientSession::CrackUrl(c.url, scheme, host, port, object);
    EXPECT_EQ(scheme, c.scheme);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(object, c.object);
  }
}

// Counts the steps of the request road it reaches.
class ObservedSession : public CHttpClientSession {
 public:
  BOOL OpenRequest(BOOL post, const CString &object, LPCWSTR *accept) override {
    ++opened;
    return CHttpClientSession::OpenRequest(post, object, accept);
  }
  BOOL SendGetRequest(const CString &object) override {
    if (throwInSend) throw std::runtime_error("send failed");
    return CHttpClientSession::SendGetRequest(object);
  }
  int opened = 0;
  bool throwInSend = false;
};

TEST_F(HttpSession, OtherSchemesFailBeforeAnyHandle) {
  ObservedSession s;
  EXPECT_FALSE(s.Request(L"ftp://127.0.0.1/x"));
  EXPECT_EQ(s.opened, 0);
}

TEST_F(HttpSession, ExceptionWhileSendingFailsTheRequest) {
  ObservedSession s;
  s.throwInSend = true;
  EXPECT_FALSE(s.Request(HttpUrl("/status/200").c_str()));
  EXPECT_TRUE(s.GetResponseBody().empty());
}

TEST_F(HttpSession, StatusDecidesTheResult) {
  struct Case {
    std::string path;
    BOOL ok;
    int status;
  } cases[] = {
      {"/status/200", TRUE, 200},
      {"/status/300", TRUE, 300},
      {"/status/404", FALSE, 404},
      {"/status/500", FALSE, 500},
      {"/redirect?to=/status/200", TRUE, 200},
      {"/redirect?code=301&to=/status/404", FALSE, 404},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    CHttpClientSession s;
    EXPECT_EQ(s.Request(HttpUrl(c.path).c_str()), c.ok);
    EXPECT_EQ(s.GetStatusCode(), c.status);
    EXPECT_EQ(s.GetResponseBody(), c.ok ? "status " + std::to_string(c.status) : "");
    if (c.ok) {
      EXPECT_EQ(s.GetRawResponseHeaders().Left(9), L"HTTP/1.1 ");
      EXPECT_EQ(s.GetResponseHeaders()->GetStatusCode(), c.status);
    }
  }
}

TEST_F(HttpSession, BodyWithLengthOrChunked) {
  std::string a = testsupport::ReadFileBytes(g_world->files.File("a.txt"));
  for (const char *path : {"/file/a.txt", "/file/a.txt?chunked=1"}) {
    SCOPED_TRACE(path);
    CHttpClientSession s;
    ASSERT_TRUE(s.Request(HttpUrl(path).c_str()));
    EXPECT_EQ(s.GetResponseBody(), a);
    auto length = s.GetResponseHeaders()->GetContentLength();
    EXPECT_EQ(length.m_bHasValue, std::string(path).find("chunked") == std::string::npos);
    if (length.m_bHasValue) {
      EXPECT_EQ(length.get(), static_cast<__int64>(a.size()));
    }
  }
}

TEST_F(HttpSession, SetCookieValuesJoinTheCookieText) {
  CHttpClientSession s;
  s.SetCookie(L"pre=0");
  ASSERT_TRUE(s.Request(HttpUrl("/status/200?h=Set-Cookie:a%3D1%3B%20path%3D%2F&h=Set-Cookie:b%3D2").c_str()));
  EXPECT_EQ(s.GetCookie(), L"pre=0a=1; path=/;b=2;");
  auto a = s.GetResponseHeaders()->GetCookie(L"a");
  ASSERT_TRUE(a.m_bHasValue);
  EXPECT_EQ(a.get().strPath, L"/");
  // Cookies taken before a failing status stay.
  CHttpClientSession failing;
  EXPECT_FALSE(failing.Request(HttpUrl("/status/404?h=Set-Cookie:c%3D3").c_str()));
  EXPECT_EQ(failing.GetCookie(), L"c=3;");
}

TEST_F(HttpSession, RequestHeadersAsTheServerSawThem) {
  CHttpClientSession s;
  ASSERT_TRUE(s.Request(HttpUrl("/echo").c_str()));
  std::string seen = s.GetResponseBody();
  EXPECT_NE(seen.find("GET /echo HTTP/1.1\n"), std::string::npos) << seen;
  EXPECT_TRUE(Saw(seen, "Host: 127.0.0.1")) << seen;
  EXPECT_TRUE(Saw(seen, "Accept: */*")) << seen;
  EXPECT_TRUE(Saw(seen,
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; Trident/4.0; QQDownload 665; .NET "
                  "CLR 2.0.50727; .NET CLR 3.0.04506.30; .NET CLR 3.0.04506.648; .NET CLR 3.5.21022; InfoPath.2)"))
      << seen;
  EXPECT_EQ(seen.find("Referer"), std::string::npos);
  EXPECT_EQ(seen.find("Cookie"), std::string::npos);

  CHttpClientSession t;
  t.SetAgentName(L"Tickora-Test/2.0");
  t.SetReferrer(L"http://ref.example/page");
  t.SetCookie(L"Cookie: k=v");
  EXPECT_TRUE(t.AddRequestHeader(L"  X-Extra: 1  "));
  t.AddRequestHeader(L"X-Extra: 2");  // ADD_IF_NEW: the first one stays
  t.AddRequestHeader(L"X-Other: yes\r\n", HTTP_ADDREQ_FLAG_ADD);
  ASSERT_TRUE(t.Request(HttpUrl("/echo").c_str()));
  seen = t.GetResponseBody();
  EXPECT_TRUE(Saw(seen, "User-Agent: Tickora-Test/2.0")) << seen;
  EXPECT_TRUE(Saw(seen, "Referer: http://ref.example/page")) << seen;
  EXPECT_TRUE(Saw(seen, "Cookie: k=v")) << seen;
  EXPECT_TRUE(Saw(seen, "X-Extra: 1")) << seen;
  EXPECT_EQ(seen.find("X-Extra: 2"), std::string::npos) << seen;
  EXPECT_TRUE(Saw(seen, "X-Other: yes")) << seen;
  EXPECT_EQ(t.GetCookie(), L"Cookie: k=v");
}

TEST_F(HttpSession, ReusedSessionTalksToEachHostAsItself) {
  ASSERT_TRUE(g_world->http2->ok());
  ASSERT_TRUE(g_world->https.good->ok()) << g_world->https.good->error();
  CHttpClientSession s;
  struct Step {
    std::wstring url;
    const char *host;
  } steps[] = {
      {Url(*g_world->http, "/echo"), "127.0.0.1"},
      {Url(*g_world->http, "/echo", false, "localhost"), "localhost"},  // same port, other host name
      {Url(*g_world->http2, "/echo"), "127.0.0.1"},                     // other server
      {Url(*g_world->https.good, "/echo", true), "127.0.0.1"},          // https after http
      {Url(*g_world->http2, "/echo"), "127.0.0.1"},                     // and back
  };
  for (const Step &step : steps) {
    SCOPED_TRACE(std::string(step.url.begin(), step.url.end()));
    ASSERT_TRUE(s.Request(step.url.c_str(), HTTP_REQUEST_METHOD_GET, FALSE));
    std::string seen = s.GetResponseBody();
    EXPECT_TRUE(Saw(seen, std::string("Host: ") + step.host)) << seen;
    EXPECT_EQ(seen.find("Host:"), seen.rfind("Host:")) << seen;
  }
  // A Host line the caller stored stays in force.
  CHttpClientSession v;
  v.AddRequestHeader(L"Host: virtual.example");
  ASSERT_TRUE(v.Request(HttpUrl("/echo").c_str()));
  EXPECT_TRUE(Saw(v.GetResponseBody(), "Host: virtual.example")) << v.GetResponseBody();
}

TEST_F(HttpSession, GzipBodies) {
  std::string a = testsupport::ReadFileBytes(g_world->files.File("a.txt"));
  std::string b = Pattern(777);
  struct Case {
    const char *file;
    const char *encoding;
    BOOL ok;
    std::string body;
  } cases[] = {
      {"one.gz", "gzip", TRUE, a},
      {"one.gz", "GZIP", TRUE, a},
      {"two.gz", "gzip", TRUE, a + b},
      {"named.gz", "gzip", TRUE, a},
      {"limit.gz", "gzip", TRUE, g_world->big},
      {"a.txt", "gzip", TRUE, a},  // not gzip at all: passed through
      {"one.gz", "identity", TRUE, testsupport::ReadFileBytes(g_world->files.File("one.gz"))},
      {"badcrc.gz", "gzip", FALSE, ""},
      {"truncated.gz", "gzip", FALSE, ""},
      {"over.gz", "gzip", FALSE, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " " << c.encoding);
    CHttpClientSession s;
    EXPECT_EQ(s.Request(HttpUrl(std::string("/file/") + c.file + "?h=Content-Encoding:" + c.encoding).c_str()), c.ok);
    EXPECT_TRUE(s.GetResponseBody() == c.body) << s.GetResponseBody().size() << " bytes";
  }
}

TEST_F(HttpSession, EachResponseHasItsOwnHeaders) {
  CHttpClientSession s;
  ASSERT_TRUE(s.Request(HttpUrl("/file/one.gz?h=Content-Encoding:gzip").c_str(), HTTP_REQUEST_METHOD_GET, FALSE));
  auto first = s.GetResponseHeaders();
  // The same bytes without a content coding arrive as they are.
  ASSERT_TRUE(s.Request(HttpUrl("/file/one.gz").c_str()));
  EXPECT_EQ(s.GetResponseBody(), testsupport::ReadFileBytes(g_world->files.File("one.gz")));
  EXPECT_EQ(s.GetResponseHeaders()->GetContentEncoding(), L"");
  EXPECT_EQ(first->GetContentEncoding(), L"gzip");
}

TEST_F(HttpSession, TextConversionByCharsetName) {
  struct Case {
    const char *file;
    const wchar_t *charset;
    const wchar_t *text;
  } cases[] = {
      {"utf8.txt", L"utf-8", L"caf\u00E9 \u4E2D"},
      {"utf8.txt", L"utf-8 ", L"caf\u00E9 \u4E2D"},
      {"utf8.txt", L"UTF-8", L"caf\u00E9 \u4E2D"},
      {"utf8.txt", L" Utf-8\t", L"caf\u00E9 \u4E2D"},
      {"double.txt", L"iso-8859-1", L"caf\u00E9"},
      {"big5.txt", L"big5", L"\u4E2D\u6587"},
      {"big5.txt", L" BIG5 ", L"\u4E2D\u6587"},
      {"gbk.html", HTTP_CHARSET_AUTODETECT, L"<html><meta charset=gbk>\u4E2D\u6587</html>"},
      {"gbk.html", L"gbk", L"<html><meta charset=gbk>\u4E2D\u6587</html>"},
      {"gbk.html", L"", L"<html><meta charset=gbk>\u4E2D\u6587</html>"},
      {"nul.txt", L"utf-8", L"ab cd"},
      {"nul.txt", L"gb2312", L"ab cd"},
      {"empty.txt", L"utf-8", L""},
      {"empty.txt", L"big5", L""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " [" << c.charset << "]");
    CHttpClientSession s;
    ASSERT_TRUE(s.Request(HttpUrl(std::string("/file/") + c.file).c_str()));
    EXPECT_EQ(s.GetResponseText(c.charset), c.text);
  }
  // The NUL bytes are replaced in the stored body too.
  CHttpClientSession s;
  ASSERT_TRUE(s.Request(HttpUrl("/file/nul.txt").c_str()));
  EXPECT_EQ(s.GetResponseUtf8Text(), L"ab");
  s.GetResponseText(L"utf-8");
  EXPECT_EQ(s.GetResponseBody(), "ab cd");
}

TEST_F(HttpSession, HttpsChecksTheCertificate) {
  struct Case {
    const char *name;
    LoopbackServer *server;
    BOOL ok;
  } cases[] = {
      {"trusted authority", g_world->https.good.get(), TRUE},
      {"wrong host name", g_world->https.wrongName.get(), FALSE},
      {"expired", g_world->https.expired.get(), FALSE},
      {"unknown authority", g_world->https.unknownCa.get(), FALSE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(c.server->ok()) << c.server->error();
    CHttpClientSession s;
    EXPECT_EQ(s.Request(Url(*c.server, "/status/200", true).c_str()), c.ok);
    EXPECT_EQ(s.GetResponseBody(), c.ok ? "status 200" : "");
  }
}

TEST_F(HttpSession, SilentServerFailsWithinTheTimeout) {
  testsupport::SilentListener silent;
  ASSERT_GT(silent.port(), 0);
  InternetSetDefaultTimeouts(2000, 200);
  CHttpClientSession s;
  EXPECT_FALSE(s.Request((L"http://127.0.0.1:" + std::to_wstring(silent.port()) + L"/").c_str()));
  InternetSetDefaultTimeouts(0, 0);
}

TEST_F(HttpSession, SessionsOnSeveralThreadsAtOnce) {
  std::atomic<int> ok{0};
  testsupport::Watchdog watchdog(std::chrono::seconds(60), "12 requests on four threads");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 3; ++i) {
        CHttpClientSession s;
        bool https = (t + i) % 2 == 1;
        std::wstring url = https ? Url(*g_world->https.good, "/status/200", true) : HttpUrl("/status/200");
        if (s.Request(url.c_str()) && s.GetResponseBody() == "status 200") ++ok;
      }
    });
  }
  for (std::thread &th : threads) th.join();
  EXPECT_EQ(ok.load(), 12);
}

// Requests the test server counted for key (routes /flaky and /hang).
int Received(const std::string &key) {
  std::string url = g_world->http->Url("/count?key=" + key);
  CHttpClientSession s;
  if (!s.Request(std::wstring(url.begin(), url.end()).c_str())) return -1;
  return std::atoi(s.GetResponseBody().c_str());
}

// A further attempt only for a request that could not be delivered, against
// servers that count what reaches them: the body of a POST arrives once.
TEST_F(HttpSession, OnlyUndeliveredRequestsAreSentAgain) {
  struct Case {
    const char *name;
    std::string key, route;
    pcutil::HTTP_REQUEST_METHOD method;
    BOOL ok;
    DWORD error;
    int received;
  } cases[] = {
      {"GET closed twice without an answer", "g1", "/flaky?fail=2", HTTP_REQUEST_METHOD_GET, TRUE, 0, 3},
      {"GET closed every time", "g2", "/flaky?fail=9", HTTP_REQUEST_METHOD_GET, FALSE,
       ERROR_INTERNET_CONNECTION_ABORTED, 3},
      {"GET reset after reading the request", "g3", "/flaky?fail=9&reset=1", HTTP_REQUEST_METHOD_GET, FALSE,
       ERROR_INTERNET_CONNECTION_RESET, 3},
      {"GET sent and timed out", "g4", "/hang?", HTTP_REQUEST_METHOD_GET, FALSE, ERROR_INTERNET_TIMEOUT, 1},
      {"POST answered only on the second connection", "p1", "/flaky?fail=1", HTTP_REQUEST_METHOD_POST, FALSE,
       ERROR_INTERNET_CONNECTION_ABORTED, 1},
      {"POST reset after reading the request", "p2", "/flaky?fail=1&reset=1", HTTP_REQUEST_METHOD_POST, FALSE,
       ERROR_INTERNET_CONNECTION_RESET, 1},
      {"POST sent and timed out", "p3", "/hang?", HTTP_REQUEST_METHOD_POST, FALSE, ERROR_INTERNET_TIMEOUT, 1},
      {"multipart POST answered only on the second connection", "m1", "/flaky?fail=1",
       HTTP_REQUEST_METHOD_POST_MULTIPART, FALSE, ERROR_INTERNET_CONNECTION_ABORTED, 1},
  };
  InternetSetDefaultTimeouts(0, 800);  // the time-out that ends an attempt, well within the deadline
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CHttpClientSession s;
    s.SetTimeout(10000);  // a request that hangs fails its case instead of the suite
    s.AddPostArgument(L"form", L"once");
    const std::string sep = c.route.back() == '?' ? "" : "&";
    EXPECT_EQ(s.Request(HttpUrl(c.route + sep + "key=" + c.key).c_str(), c.method), c.ok);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(Received(c.key), c.received);
  }
  InternetSetDefaultTimeouts(0, 0);
}

// Attempts that each fail slowly, and a body that drips, share one deadline.
TEST_F(HttpSession, AllOfARequestStaysWithinOneDeadline) {
  struct Case {
    const char *name;
    std::string path;
    int received;  // -1: not counted
  } cases[] = {
      {"attempts reset after a second each", "/flaky?key=d1&fail=9&reset=1&delay=1", 2},
      {"a body dripped a byte a second", "/drip?part=body", -1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    auto error = std::make_shared<DWORD>(0);
    std::wstring url = HttpUrl(c.path);
    ASSERT_TRUE(testsupport::FinishesWithin(std::chrono::seconds(20), [url, error] {
      CHttpClientSession s;
      s.SetTimeout(1500);
      *error = s.Request(url.c_str()) ? ERROR_SUCCESS : GetLastError();
    })) << "the request did not end at its deadline";
    EXPECT_EQ(*error, (DWORD)ERROR_INTERNET_TIMEOUT);
    if (c.received >= 0) {
      EXPECT_EQ(Received("d1"), c.received);
    }
  }
}

// After a failed Request, GetLastError names what went wrong.
TEST_F(HttpSession, EachFailureNamesItsCause) {
  testsupport::SilentListener silent;
  int closedPort;
  {
    testsupport::SilentListener gone;
    closedPort = gone.port();
  }
  const std::wstring unresolvable = L"http://" + std::wstring(70, L'a') + L".example/";  // refused before any lookup
  auto local = [](int port) { return L"http://127.0.0.1:" + std::to_wstring(port) + L"/"; };
  const World &w = *g_world;
  struct Case {
    const char *name;
    std::wstring url;
    DWORD error;
  } cases[] = {
      {"no answer in time", local(silent.port()), ERROR_INTERNET_TIMEOUT},
      {"connection refused", local(closedPort), ERROR_INTERNET_CANNOT_CONNECT},
      {"name not resolved", unresolvable, ERROR_INTERNET_NAME_NOT_RESOLVED},
      {"closed without an answer", HttpUrl("/flaky?key=e1&fail=9"), ERROR_INTERNET_CONNECTION_ABORTED},
      {"reset without an answer", HttpUrl("/flaky?key=e2&fail=9&reset=1"), ERROR_INTERNET_CONNECTION_RESET},
      {"body cut short", HttpUrl("/short"), ERROR_INTERNET_CONNECTION_ABORTED},
      {"no HTTP answer", HttpUrl("/garbage"), ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"answer cut inside its header", HttpUrl("/cut"), ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"header line of 200,000 bytes", HttpUrl("/longheader?n=200000"), ERROR_HTTP_INVALID_HEADER},
      {"400 header lines of 1,000 bytes", HttpUrl("/many?n=400&name=X-Fill&pad=1000"), ERROR_HTTP_INVALID_HEADER},
      {"10 MB of header lines", HttpUrl("/many?n=10000&name=X-Fill&pad=1000"), ERROR_HTTP_INVALID_HEADER},
      {"two different lengths", HttpUrl("/lengths?v=5&v=11"), ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"an unasked switch of protocols", HttpUrl("/upgrade"), ERROR_HTTP_INVALID_SERVER_RESPONSE},
      {"certificate for another name", Url(*w.https.wrongName, "/status/200", true),
       ERROR_INTERNET_SEC_CERT_CN_INVALID},
      {"expired certificate", Url(*w.https.expired, "/status/200", true), ERROR_INTERNET_SEC_CERT_DATE_INVALID},
      {"unknown authority", Url(*w.https.unknownCa, "/status/200", true), ERROR_INTERNET_INVALID_CA},
      {"gzip body over the limit", HttpUrl("/file/over.gz?h=Content-Encoding:gzip"), ERROR_INTERNET_DECODING_FAILED},
      {"gzip body with a bad CRC", HttpUrl("/file/badcrc.gz?h=Content-Encoding:gzip"), ERROR_INTERNET_DECODING_FAILED},
      {"gzip body cut short", HttpUrl("/file/truncated.gz?h=Content-Encoding:gzip"), ERROR_INTERNET_DECODING_FAILED},
      {"status above 300", HttpUrl("/status/404"), ERROR_INTERNET_EXTENDED_ERROR},
      {"scheme other than http", L"ftp://127.0.0.1/x", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CHttpClientSession s;
    s.SetTimeout(1000);
    SetLastError(0);
    EXPECT_FALSE(s.Request(c.url.c_str()));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(s.GetResponseBody().empty());
  }
}

// However many lines the header holds, the request ends by its deadline,
// and every cookie is kept: the values join the cookie text and the header
// record holds them. 20,000 Set-Cookie lines of one letter each fill the
// 300 KiB a header may take.
TEST_F(HttpSession, ManyHeaderLinesStayWithinTheDeadline) {
  std::wstring cookies;
  for (int i = 0; i < 20000; ++i) cookies += std::wstring(1, static_cast<wchar_t>(L'a' + i % 26)) + L";";
  struct Case {
    const char *name;
    std::string path;
    DWORD error;  // ERROR_SUCCESS: the request succeeds
    bool cookies;
  } cases[] = {
      {"20,000 Set-Cookie lines", "/many?n=20000&short=1", ERROR_SUCCESS, true},
      {"20,000 other lines", "/many?n=20000&short=1&name=X-Line", ERROR_SUCCESS, false},
      {"20,000 Set-Cookie lines over two seconds", "/many?n=20000&short=1&every=0.1", ERROR_INTERNET_TIMEOUT, false},
      {"20,500 Set-Cookie lines, over the limit", "/many?n=20500&short=1", ERROR_HTTP_INVALID_HEADER, false},
  };
  constexpr DWORD kDeadlineMs = 1500;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    struct Result {
      DWORD error = 0;
      std::wstring cookies;
      bool firstFound = false;
    };
    auto result = std::make_shared<Result>();
    const std::wstring url = HttpUrl(c.path);
    // The deadline and what it takes to end a request (closing it, the
    // sanitizer build's slower code) must not meet.
    ASSERT_TRUE(testsupport::FinishesWithin(std::chrono::milliseconds(kDeadlineMs + 1000), [url, result] {
      CHttpClientSession s;
      s.SetTimeout(kDeadlineMs);
      result->error = s.Request(url.c_str()) ? ERROR_SUCCESS : GetLastError();
      result->cookies = s.GetCookie().GetString();
      auto first = s.GetResponseHeaders()->GetCookie(L"");
      result->firstFound = first.m_bHasValue && first.get().strValue == L"a";
    })) << "the request did not end at its deadline";
    EXPECT_EQ(result->error, c.error);
    if (c.cookies) {
      EXPECT_TRUE(result->cookies == cookies) << result->cookies.size() << " characters";
      EXPECT_TRUE(result->firstFound);
    }
  }
}

// A text meant for one header value that holds CR, LF or NUL fails the
// request before anything is sent (the server counts nothing), as does a
// header block that would carry a second request; the texts stay as given.
TEST_F(HttpSession, HeaderTextsThatWouldAddLinesFailTheRequest) {
  const CString crlf(L"x\r\nX-Injected: 1");
  const CString withNul(std::wstring(L"x\0X-Injected: 1", 16).c_str(), 16);
  struct Case {
    const char *name;
    std::function<void(CHttpClientSession &)> set;
    pcutil::HTTP_REQUEST_METHOD method;
    DWORD error;
  } cases[] = {
      {"agent", [&](CHttpClientSession &s) { s.SetAgentName(crlf); }, HTTP_REQUEST_METHOD_GET, ERROR_INVALID_PARAMETER},
      {"agent with NUL", [&](CHttpClientSession &s) { s.SetAgentName(withNul); }, HTTP_REQUEST_METHOD_GET,
       ERROR_INVALID_PARAMETER},
      {"referrer", [&](CHttpClientSession &s) { s.SetReferrer(crlf); }, HTTP_REQUEST_METHOD_GET,
       ERROR_INVALID_PARAMETER},
      {"referer line", [&](CHttpClientSession &s) { s.AddRefererHeader(crlf); }, HTTP_REQUEST_METHOD_GET,
       ERROR_INVALID_PARAMETER},
      {"cookie", [&](CHttpClientSession &s) { s.SetCookie(crlf); }, HTTP_REQUEST_METHOD_GET, ERROR_INVALID_PARAMETER},
      {"cookie with NUL", [&](CHttpClientSession &s) { s.SetCookie(withNul); }, HTTP_REQUEST_METHOD_GET,
       ERROR_INVALID_PARAMETER},
      {"cookie line", [&](CHttpClientSession &s) { s.SetCookie(L"Cookie: a=1\nX-Injected: 1"); },
       HTTP_REQUEST_METHOD_GET, ERROR_INVALID_PARAMETER},
      {"content type", [&](CHttpClientSession &s) { s.SetContentType(crlf); }, HTTP_REQUEST_METHOD_POST,
       ERROR_INVALID_PARAMETER},
      {"boundary", [&](CHttpClientSession &s) { s.SetBoundary(crlf); }, HTTP_REQUEST_METHOD_POST_MULTIPART,
       ERROR_INVALID_PARAMETER},
      {"a second request after the header lines",
       [&](CHttpClientSession &s) {
         EXPECT_TRUE(s.AddRequestHeader(L"X-A: 1\r\n\r\nGET /flaky?key=i0 HTTP/1.1\r\nHost: x"));
       },
       HTTP_REQUEST_METHOD_GET, ERROR_HTTP_INVALID_HEADER},
  };
  int n = 0;
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    const std::string key = "i" + std::to_string(++n);
    CHttpClientSession s;
    c.set(s);
    SetLastError(0);
    EXPECT_FALSE(s.Request(HttpUrl("/flaky?key=" + key).c_str(), c.method));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(Received(key), 0);
  }
  EXPECT_EQ(Received("i0"), 0);

  // The texts are kept as given; a cookie or referer text is dropped with
  // the stored lines, and the session works again.
  CHttpClientSession s;
  s.SetCookie(crlf);
  EXPECT_EQ(s.GetCookie(), crlf);
  EXPECT_FALSE(s.Request(HttpUrl("/echo").c_str()));
  s.ClearRequestHeaders();
  EXPECT_TRUE(s.AddRequestHeader(L"X-One: 1\r\nX-Two: 2"));  // whole lines, more than one
  ASSERT_TRUE(s.Request(HttpUrl("/echo").c_str()));
  const std::string seen = s.GetResponseBody();
  EXPECT_TRUE(Saw(seen, "X-One: 1")) << seen;
  EXPECT_TRUE(Saw(seen, "X-Two: 2")) << seen;
  EXPECT_EQ(seen.find("Injected"), std::string::npos) << seen;
}

TEST_F(HttpSession, FormPostAsTheServerReceivedIt) {
  CHttpClientSession s;
  s.AddPostArgument(L"a", L"1");
  s.AddPostArgument(L"b", L"x y");
  s.AddPostArgument(L"n", -1);
  ASSERT_TRUE(s.Request(HttpUrl("/echo").c_str(), HTTP_REQUEST_METHOD_POST, FALSE));
  std::string seen = s.GetResponseBody();
  EXPECT_NE(seen.find("POST /echo HTTP/1.1\n"), std::string::npos) << seen;
  EXPECT_TRUE(Saw(seen, "Content-Type: application/x-www-form-urlencoded")) << seen;
  EXPECT_TRUE(Saw(seen, "Content-Length: 22")) << seen;
  EXPECT_EQ(EchoedBody(seen), "a=1&b=x y&n=4294967295");

  // The same session posting a shorter body sends that body's length.
  s.ClearPostArguments();
  s.AddPostRawData(std::string("raw\0bytes", 9));
  s.SetContentType(L"application/octet-stream");
  ASSERT_TRUE(s.Request(HttpUrl("/echo").c_str(), HTTP_REQUEST_METHOD_POST, TRUE));
  seen = s.GetResponseBody();
  EXPECT_TRUE(Saw(seen, "Content-Length: 9")) << seen;
  EXPECT_TRUE(Saw(seen, "Content-Type: application/octet-stream")) << seen;
  EXPECT_EQ(EchoedBody(seen), std::string("raw\0bytes", 9));
}

TEST_F(HttpSession, MultipartPostAsTheServerReceivedIt) {
  CHttpClientSession s;
  s.SetBoundary(L"BOUND");
  s.AddPostArgument(L"n", L"v\u00E9");
  const BYTE data[] = {0x00, 0x01, 0xFF, 'z'};
  s.AddPostBinaryRefArgument(L"file", L"f.txt", data, sizeof data);
  ASSERT_TRUE(s.Request(HttpUrl("/echo").c_str(), HTTP_REQUEST_METHOD_POST_MULTIPART));
  std::string seen = s.GetResponseBody();
  std::string expected =
      "--BOUND\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\nv\xC3\xA9\r\n"
      "--BOUND\r\nContent-Disposition: form-data; name=file;filename=\"f.txt\"\r\nContent-Type: \r\n\r\n" +
      std::string("\x00\x01\xFFz", 4) + "\r\n--BOUND--\r\n";
  EXPECT_TRUE(Saw(seen, "Content-Type: multipart/form-data; boundary=BOUND")) << seen;
  EXPECT_TRUE(Saw(seen, "Content-Length: " + std::to_string(expected.size()))) << seen;
  EXPECT_EQ(EchoedBody(seen), expected);
}

// A body limit fails a body that brings or announces more, in any framing and
// counted as received (a gzip body before it is inflated), and drops the
// connection at once: the server's writes fail long before its 64 MiB are
// out, while the session is still open. A body at the limit, and any body
// without a limit, arrives whole.
TEST_F(HttpSession, BodyLimitBoundsWhatARequestTakes) {
  constexpr DWORD kLimit = 256 * 1024;
  constexpr long long kFlood = 64ll << 20;
  std::string noise(400000, '\0');
  unsigned seed = 11;
  for (char &c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
  const std::string packed = GzipTool(g_world->files, noise);
  g_world->files.Write("noise.gz", packed);
  ASSERT_GT(packed.size(), kLimit);
  struct Case {
    const char *name;
    std::string path;
    DWORD limit;
    size_t body;  // bytes of a body that arrives; 0: the request fails
    const char *flood;
  } cases[] = {
      {"endless by the connection", "/flood?key=b1&n=" + std::to_string(kFlood), kLimit, 0, "b1"},
      {"endless in chunks", "/flood?key=b2&chunked=1&n=" + std::to_string(kFlood), kLimit, 0, "b2"},
      {"announced over the limit", "/flood?key=b3&length=1&n=" + std::to_string(kFlood), kLimit, 0, "b3"},
      {"gzip, compressed over the limit", "/file/noise.gz?h=Content-Encoding:gzip", kLimit, 0, nullptr},
      {"at the limit by the connection", "/flood?key=b4&n=" + std::to_string(kLimit), kLimit, kLimit, nullptr},
      {"at the limit in chunks", "/flood?key=b5&chunked=1&n=" + std::to_string(kLimit), kLimit, kLimit, nullptr},
      {"at the limit announced", "/flood?key=b6&length=1&n=" + std::to_string(kLimit), kLimit, kLimit, nullptr},
      {"gzip, compressed within the limit", "/file/noise.gz?h=Content-Encoding:gzip", kLimit * 2, noise.size(),
       nullptr},
      {"no limit: 8 MiB", "/flood?key=b7&n=" + std::to_string(8 << 20), 0, 8 << 20, nullptr},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    CHttpClientSession s;
    s.SetTimeout(60000);
    s.SetBodyLimit(c.limit);
    SetLastError(0);
    EXPECT_EQ(s.Request(HttpUrl(c.path).c_str(), HTTP_REQUEST_METHOD_GET, FALSE), c.body > 0);
    if (c.body == 0) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
      EXPECT_TRUE(s.GetResponseBody().empty());
    } else {
      EXPECT_EQ(s.GetResponseBody().size(), c.body);
    }
    if (c.flood) {
      std::string end = testsupport::FloodEnd(*g_world->http, c.flood);
      EXPECT_NE(end.find(" cut"), std::string::npos) << "how the server's flood ended: " << end;
      EXPECT_LT(std::atoll(end.c_str()), 48ll << 20) << end;
    }
  }
}

TEST_F(HttpSession, TwoStepReadHandsOutTheRawBody) {
  CHttpClientSession s;
  s.SetTwoStepRequest(TRUE);
  ASSERT_TRUE(s.Request(HttpUrl("/file/one.gz?h=Content-Encoding:gzip").c_str(), HTTP_REQUEST_METHOD_GET, FALSE));
  std::string body;
  int n;
  while ((n = s.ReadResponseChunk(body)) > 0) {
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(body, testsupport::ReadFileBytes(g_world->files.File("one.gz")));
  EXPECT_EQ(s.GetRawResponseHeaders().Left(9), L"HTTP/1.1 ");
  EXPECT_EQ(s.GetResponseHeaders()->GetContentEncoding(), L"gzip");
  s.CloseHandles();
}

TEST(HttpBodies, UrlEncodedBodyIsSentAsStored) {
  CHttpClientSession s;
  std::string body = "stale";
  s.BuildUrlEncodedBody(body);
  EXPECT_EQ(body, "");
  s.AddPostArgument(L"a", L"1");
  s.AddPostArgument(L"b", L"x y");
  s.BuildUrlEncodedBody(body);
  EXPECT_EQ(body, "a=1&b=x y");
  EXPECT_EQ(s.GetPostArgumentsText(), L"a=1&b=x y");

  CHttpClientSession raw;
  raw.AddPostArgument(L"k", L"v");
  raw.AddPostRawData(CString(L"R\u00E9"));
  raw.BuildUrlEncodedBody(body);
  EXPECT_EQ(body, "k=v&R\xC3\xA9");
}

TEST(HttpBodies, MultipartTextPartHasNoSizeLimit) {
  CHttpClientSession s;
  std::wstring big(5000, L'x');
  s.AddPostArgument(L"n", big.c_str());
  std::string body;
  s.BuildMultipartBody(body, L"B");
  EXPECT_EQ(body,
            "--B\r\nContent-Disposition: form-data; name=\"n\"\r\n\r\n" + std::string(5000, 'x') + "\r\n--B--\r\n");
}

TEST(HttpSessionSettings, ReserveTimeoutAndProxyString) {
  CHttpClientSession s;
  EXPECT_EQ(s.GetBodyReserve(), 102400u);
  s.SetBodyReserve(100);
  EXPECT_EQ(s.GetBodyReserve(), 102400u);
  s.SetBodyReserve(200000);
  EXPECT_EQ(s.GetBodyReserve(), 200000u);
  EXPECT_GE(s.GetResponseBody().capacity(), 200000u);

  pcutil::THttpProxyConfig proxy;
  EXPECT_EQ(proxy.nAccessType, INTERNET_OPEN_TYPE_PRECONFIG);
  proxy.strHost = L"proxy.example";
  proxy.strPort = L"3128";
  EXPECT_EQ(proxy.GetProxyString(), L"http://proxy.example:3128");
}

TEST_F(HttpSession, ProxyAccessSendsThroughTheProxy) {
  // The loopback server stands in for the proxy: it sees the absolute URL.
  CHttpClientSession s;
  pcutil::THttpProxyConfig proxy;
  proxy.nAccessType = INTERNET_OPEN_TYPE_PROXY;
  proxy.strHost = L"127.0.0.1";
  proxy.strPort = std::to_wstring(g_world->http->port()).c_str();
  s.SetProxyConfig(proxy);
  ASSERT_TRUE(s.Request(L"http://origin.example/echo"));
  EXPECT_EQ(s.GetResponseBody().rfind("GET http://origin.example", 0), 0u) << s.GetResponseBody();

  // Names without a dot bypass the proxy ("<local>"): a dead proxy does not matter.
  int dead;
  {
    testsupport::SilentListener gone;
    dead = gone.port();
  }
  CHttpClientSession local;
  proxy.strPort = std::to_wstring(dead).c_str();
  local.SetProxyConfig(proxy);
  ASSERT_TRUE(local.Request(Url(*g_world->http, "/echo", false, "localhost").c_str()));
  EXPECT_EQ(local.GetResponseBody().rfind("GET /echo HTTP/1.1\n", 0), 0u) << local.GetResponseBody();
}

// The program's registry entry wins; else the desktop's MIME database
// answers by the name.
TEST(MimeType, FromTheRegistryElseTheDesktopsDatabase) {
  TempDir config;
  testsupport::ScopedEnv home("XDG_CONFIG_HOME", config.path());
  for (const auto &[extension, type] :
       {std::pair{L".tkx", L"text/x-tickora"}, std::pair{L".gif", L"image/x-own-gif"}}) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, extension, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              (LONG)ERROR_SUCCESS);
    RegSetValueExW(key, L"Content Type", 0, REG_SZ, reinterpret_cast<const BYTE *>(type),
                   static_cast<DWORD>((std::wcslen(type) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  struct Case {
    const wchar_t *name, *type;
  } const cases[] = {
      {L"notes.tkx", L"text/x-tickora"},  // registered only here
      {L"a.gif", L"image/x-own-gif"},     // the registry wins over the database
      {L"a.png", L"image/png"},
      {L"A.PNG", L"image/png"},
      {L"a.html", L"text/html"},
      {L"page.htm", L"text/html"},
      {L"photo.jpeg", L"image/jpeg"},
      {L"notes.txt", L"text/plain"},
      {L"data.json", L"application/json"},
      {L"archive.tar.gz", L"application/x-compressed-tar"},
      {L"a.b.png", L"image/png"},  // the registry is asked for ".b.png", the database for the name
      {L"/some/folder/a.png", L"image/png"},
      {L"Makefile", L"text/x-makefile"},  // a whole name the database knows
      {L"notes.unknown", L"application/octet-stream"},
      {L"noextension", L"application/octet-stream"},
      {L".tkx", L"application/octet-stream"},  // a leading '.': the default at once
      {L".png", L"application/octet-stream"},
      {L"", L"application/octet-stream"},
  };
  for (const Case &c : cases) EXPECT_EQ(CHttpClientSession::GetMimeType(c.name), c.type) << c.name;
}

}  // namespace

// Set-Cookie parsing and the response-header record of a real response.
#include "utils/http/httpresponseheaders.h"

#include <gtest/gtest.h>

#include "platform/inet/wininet.h"
#include "tests/support/loopback_server.h"

using pcutil::CHttpResponseHeaders;
using pcutil::THttpResponseCookie;

namespace {

TEST(ParseSetCookie, PairsAndAttributes) {
  struct Case {
    const char *header;
    const wchar_t *name, *value, *path, *domain, *expires, *maxAge, *secure;
  } cases[] = {
      {"SID=abc; Path=/; HttpOnly", L"SID", L"abc", L"/", L"", L"", L"", L""},
      {"n=\"a;b\" ; Path=/x", L"n", L"\"a;b\" ", L"/x", L"", L"", L"", L""},
      {"q=\"a\\\"b;c\"d;path=/", L"q", L"\"a\\\"b;c\"d", L"/", L"", L"", L"", L""},
      {"flag", L"", L"flag", L"", L"", L"", L"", L""},
      {"  a = 1 \t; DOMAIN=Ex.Com ;expires=Wed, 01 Jan 2031 ; Max-Age=60; Secure=yes", L"a", L"1", L"", L"Ex.Com",
       L"Wed, 01 Jan 2031", L"60", L"yes"},
      {"a=1; path=/first; path=/second", L"a", L"1", L"/second", L"", L"", L"", L""},
      {"a=1; unknown=2; Secure", L"a", L"1", L"", L"", L"", L"", L""},
      {"a=1; path=/p\r\nSet-Cookie: b=2; domain=x", L"a", L"1", L"/p", L"", L"", L"", L""},
      {"a=", L"a", L"", L"", L"", L"", L"", L""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.header);
    THttpResponseCookie cookie;
    ASSERT_TRUE(CHttpResponseHeaders::ParseSetCookie(c.header, cookie));
    EXPECT_EQ(cookie.strName, c.name);
    EXPECT_EQ(cookie.strValue, c.value);
    EXPECT_EQ(cookie.strPath, c.path);
    EXPECT_EQ(cookie.strDomain, c.domain);
    EXPECT_EQ(cookie.strExpires, c.expires);
    EXPECT_EQ(cookie.strMaxAge, c.maxAge);
    EXPECT_EQ(cookie.strSecure, c.secure);
    EXPECT_EQ(cookie.strHttpOnly, L"");
  }
}

TEST(ParseSetCookie, SixteenPairsAtMost) {
  std::string header = "a=1";
  for (int i = 2; i <= 15; ++i) header += "; x" + std::to_string(i) + "=v";
  THttpResponseCookie sixteen, seventeen;
  ASSERT_TRUE(CHttpResponseHeaders::ParseSetCookie(header + "; path=/16", sixteen));
  EXPECT_EQ(sixteen.strPath, L"/16");
  ASSERT_TRUE(CHttpResponseHeaders::ParseSetCookie(header + "; x16=v; path=/17", seventeen));
  EXPECT_EQ(seventeen.strPath, L"");
}

TEST(ParseSetCookie, NothingToParse) {
  THttpResponseCookie cookie;
  for (const char *header : {"", "   \t ", "\r\nname=value"}) {
    EXPECT_FALSE(CHttpResponseHeaders::ParseSetCookie(header, cookie)) << header;
  }
}

TEST(ResponseHeaders, StartsEmpty) {
  CHttpResponseHeaders h;
  EXPECT_EQ(h.GetStatusCode(), 404);
  EXPECT_FALSE(h.GetContentLength().m_bHasValue);
  EXPECT_FALSE(h.GetRawHeaders().m_bHasValue);
  EXPECT_EQ(h.GetContentEncoding(), L"");
  EXPECT_FALSE(h.GetCookie(L"a").m_bHasValue);
}

TEST(ResponseHeaders, ParseReadsTheResponseOfARequest) {
  testsupport::LoopbackServer server(testsupport::SupportScript("httpserver.py"), {});
  ASSERT_TRUE(server.ok()) << server.error();
  HINTERNET s = InternetOpenW(L"t", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET c = InternetConnectW(s, L"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), nullptr, nullptr,
                                 INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET r = HttpOpenRequestW(c, L"GET",
                                 L"/status/201?h=Content-Encoding:GZIP&h=Set-Cookie:SID%3Dabc%3B%20Path%3D%2F"
                                 L"&h=Set-Cookie:sid%3Dlower&h=Set-Cookie:%20%20&h=Set-Cookie:Lang%3Dzh"
                                 L"&h=Set-Cookie:b%3D2",
                                 nullptr, nullptr, nullptr, 0, 0);
  ASSERT_TRUE(HttpSendRequestW(r, nullptr, 0, nullptr, 0));

  CHttpResponseHeaders h;
  h.Parse(r, L"raw text");
  EXPECT_EQ(h.GetStatusCode(), 201);
  ASSERT_TRUE(h.GetContentLength().m_bHasValue);
  EXPECT_EQ(h.GetContentLength().get(), 10);  // "status 201"
  EXPECT_EQ(h.GetContentEncoding(), L"gzip");
  EXPECT_EQ(h.GetRawHeaders().get(), L"raw text");
  // Names compare without regard to case; of two names equal that way the
  // first cookie is found.
  struct Case {
    const wchar_t *name;
    const wchar_t *value;  // null: not found
  } const cases[] = {
      {L"SID", L"abc"}, {L"sid", L"abc"}, {L"Sid", L"abc"}, {L"lang", L"zh"},   {L"LANG", L"zh"},
      {L"b", L"2"},     {L"B", L"2"},     {L"si", nullptr}, {L"sid2", nullptr}, {L"", nullptr},
  };
  for (const Case &c : cases) {
    const auto cookie = h.GetCookie(c.name);
    ASSERT_EQ(bool(cookie.m_bHasValue), c.value != nullptr) << c.name;
    if (c.value) {
      EXPECT_EQ(cookie.get().strValue, c.value) << c.name;
    }
  }
  EXPECT_EQ(h.GetCookie(L"sid").get().strPath, L"/");

  // A second Parse appends the cookies again; the first match stays first.
  h.Parse(r, L"");
  EXPECT_EQ(h.GetCookie(L"sid").get().strValue, L"abc");
  EXPECT_TRUE(h.GetRawHeaders().m_bHasValue);
  EXPECT_EQ(h.GetRawHeaders().get(), L"");

  InternetCloseHandle(r);
  InternetCloseHandle(c);
  InternetCloseHandle(s);
}

}  // namespace

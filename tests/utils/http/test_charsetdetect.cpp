// Character-set detection: the rules on real header texts and pages, and
// GetResponseText with auto-detection on pages served from loopback.
#include "utils/http/detail/charsetdetect.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/loopback_server.h"
#include "tests/support/print_cstring.h"
#include "utils/http/httpclientsession.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::SupportScript;
using testsupport::TempDir;

const char kHeadersUtf8[] =
    "HTTP/1.1 200 OK\r\nServer: test\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Length: 10\r\n\r\n";
const char kHeadersPlain[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
const char kHeadersTwice[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nX-Alt: charset=big5\r\n\r\n";

TEST(DetectCharset, RulesInOrder) {
  struct Case {
    const char *headers;
    std::string body;
    const wchar_t *name;
  } cases[] = {
      {kHeadersUtf8, "<meta charset=big5>", L"utf-8"},
      {kHeadersPlain, "<html><head>\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\">", L"gbk"},
      {kHeadersPlain, "<meta charset=\"utf-8\">", L"utf-8"},
      {kHeadersPlain, "<meta charset='Big5'>", L"big5"},
      {kHeadersPlain, "\xD6\xD0\xCE\xC4<meta name=x>\n<meta charset=iso-8859-1 />", L"iso-8859-1"},
      // Two "charset=" in the headers: the header rule fails, the page decides.
      {kHeadersTwice, "<meta charset=gbk>", L"gbk"},
      {kHeadersTwice, "<p>no tag</p>", L"gb2312"},
      // The page counts up to its first NUL byte only.
      {kHeadersPlain, std::string("<p>\0<meta charset=utf-8>", 24), L"gb2312"},
      {kHeadersPlain, "<meta charset=utf-8><meta charset=big5>", L"gb2312"},
      {"", "", L"gb2312"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(pcutil::DetectCharsetName(CString(c.headers), c.body), CString(c.name));
  }
}

// A page of a megabyte between "<meta" and its charset, all on one line.
TEST(DetectCharset, LongDistanceInsideOneTag) {
  const std::string body = "<html><meta content=\"" + std::string(1 << 20, 'x') + "; charset=Big5\">";
  EXPECT_EQ(pcutil::DetectCharsetName(CString(kHeadersPlain), body), CString(L"big5"));
}

// Hostile pages: "<meta" a mebibyte long with no charset, on one line or on
// lines of their own, and a charset beyond the lines the tags stand on. The
// search ends at once where the literal "charset=" is missing and gives up
// (no match, the default name) where the rest would cost more than its step
// budget. The bound is generous: the search itself takes milliseconds
// (bench_regex_text, Detect/).
TEST(DetectCharset, HostilePagesEndQuickly) {
  std::string one_line;
  while (one_line.size() < (1u << 20)) one_line += "<meta";
  std::string lines;
  while (lines.size() < (1u << 20)) lines += "<meta\n";
  const std::string far_charset = one_line + "\ncharset=big5";
  for (const std::string *body : std::vector<const std::string *>{&one_line, &lines, &far_charset}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(pcutil::DetectCharsetName(CString(kHeadersPlain), *body), CString(L"gb2312"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  }
}

struct Page {
  const char *name;
  const char *bytes;
  const char *query;    // sets the Content-Type header
  const wchar_t *text;  // the page as text, null: as read with explicitName
  const wchar_t *explicitName;
};

// 中文 is D6D0 CEC4 in GBK and A4A4 A4E5 in Big5; café double-encoded in UTF-8
// is what the "iso-8859-1" conversion folds back.
const Page kPages[] = {
    {"utf8-header.html", "<p>caf\xC3\xA9 \xE4\xB8\xAD</p>", "ct=text/html;%20charset=UTF-8", L"<p>caf\u00E9 \u4E2D</p>",
     nullptr},
    {"utf8-meta.html", "<meta charset=\"utf-8\"><p>caf\xC3\xA9</p>", "ct=text/html",
     L"<meta charset=\"utf-8\"><p>caf\u00E9</p>", nullptr},
    {"utf8-content.html", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\xE4\xB8\xAD",
     "ct=text/html", L"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\u4E2D", nullptr},
    {"gbk-header.html", "<p>\xD6\xD0\xCE\xC4</p>", "ct=text/html;%20charset=GBK", L"<p>\u4E2D\u6587</p>", nullptr},
    {"gbk-meta.html", "<META content=\"text/html; charset=gb2312\">\xD6\xD0", "ct=text/html",
     L"<META content=\"text/html; charset=gb2312\">\u4E2D", nullptr},
    {"gbk-nowhere.html", "<p>\xD6\xD0\xCE\xC4</p>", "ct=text/html", L"<p>\u4E2D\u6587</p>", nullptr},
    {"big5-header.html", "<p>\xA4\xA4\xA4\xE5</p>", "ct=text/html;%20charset=big5", L"<p>\u4E2D\u6587</p>", nullptr},
    {"big5-meta.html", "<meta charset='big5'>\xA4\xA4\xA4\xE5", "ct=text/html", L"<meta charset='big5'>\u4E2D\u6587",
     nullptr},
    {"latin1-header.html", "caf\xC3\x83\xC2\xA9", "ct=text/html;%20charset=ISO-8859-1", L"caf\u00E9", nullptr},
    {"latin1-meta.html", "<meta charset=iso-8859-1>caf\xC3\x83\xC2\xA9", "ct=text/html", nullptr, L"iso-8859-1"},
    // Named nowhere: read as the default "gb2312", the ANSI code page.
    {"utf8-nowhere.html", "<p>caf\xC3\xA9</p>", "ct=text/html", nullptr, L"gb2312"},
    {"big5-nowhere.html", "<p>\xA4\xA4</p>", "ct=text/html", nullptr, L"gb2312"},
    {"latin1-nowhere.html", "caf\xC3\x83\xC2\xA9", "ct=text/html", nullptr, L"gb2312"},
    // Two charset parameters in the headers leave it to the meta tag.
    {"twice.html", "<meta charset=big5>\xA4\xA4", "ct=text/html;%20charset=utf-8&h=X-Alt:charset=gbk",
     L"<meta charset=big5>\u4E2D", nullptr},
};

class DetectCharsetOverHttp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new TempDir;
    for (const Page &p : kPages) files_->Write(p.name, p.bytes);
    server_ = new LoopbackServer(SupportScript("httpserver.py"), {"--root", files_->path()});
  }
  static void TearDownTestSuite() {
    delete server_;
    delete files_;
    server_ = nullptr;
    files_ = nullptr;
  }

  static TempDir *files_;
  static LoopbackServer *server_;
};

TempDir *DetectCharsetOverHttp::files_ = nullptr;
LoopbackServer *DetectCharsetOverHttp::server_ = nullptr;

TEST_F(DetectCharsetOverHttp, GetResponseTextDecodesByTheDetectedName) {
  ASSERT_TRUE(server_->ok()) << server_->error();
  for (const Page &p : kPages) {
    SCOPED_TRACE(p.name);
    const std::string url = server_->Url(std::string("/file/") + p.name + "?" + p.query);
    pcutil::CHttpClientSession session;
    ASSERT_TRUE(session.Request(std::wstring(url.begin(), url.end()).c_str()));
    const CString detected = session.GetResponseText(HTTP_CHARSET_AUTODETECT);
    if (p.text) {
      EXPECT_EQ(detected, CString(p.text));
    } else {
      pcutil::CHttpClientSession again;
      ASSERT_TRUE(again.Request(std::wstring(url.begin(), url.end()).c_str()));
      EXPECT_EQ(detected, again.GetResponseText(p.explicitName));
    }
  }
}

}  // namespace

// The download helpers against a real HTTP server on loopback, with targets
// and log files in a temporary folder.
#include "utils/http/downloadhelper.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/support/loopback_server.h"
#include "tests/support/print_cstring.h"
#include "utils/files/logwriter.h"

namespace {

using testsupport::LoopbackServer;
using testsupport::ReadFileBytes;
using testsupport::SupportScript;
using testsupport::TempDir;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + i / 13) % 26);
  return s;
}

CString W(const std::string &s) { return CString(std::wstring(s.begin(), s.end())); }
std::string U8(const CString &s) { return WideToMultiByte(CP_UTF8, s.str()); }

bool Exists(const std::string &path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

struct World {
  TempDir files;
  std::unique_ptr<LoopbackServer> http;
  std::string threePieces = Pattern(16384 * 3);
};
World *g_world = nullptr;

class Download : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_world = new World;
    g_world->files.Write("three.bin", g_world->threePieces);
    // 中文 in GBK after one ASCII byte, repeated past several read pieces,
    // so characters straddle the piece boundaries wherever they fall.
    std::string gbk = "a";
    for (int i = 0; i < 60000; ++i) gbk += "\xD6\xD0\xCE\xC4";
    g_world->files.Write("gbk.txt", gbk);
    g_world->files.Write("nul.txt", std::string("ab\0cd", 5));
    g_world->http = std::make_unique<LoopbackServer>(SupportScript("httpserver.py"),
                                                     std::vector<std::string>{"--root", g_world->files.path()});
  }
  static void TearDownTestSuite() {
    delete g_world;
    g_world = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(g_world->http->ok()) << g_world->http->error(); }

  static CString Url(const std::string &path) { return W(g_world->http->Url(path)); }
  // The log's lines (code page 936, CR LF) without their time stamps.
  std::vector<std::wstring> LogLines() const {
    std::wstring text = MultiByteToWide(936, ReadFileBytes(log));
    std::vector<std::wstring> lines;
    size_t at = 0, end;
    while ((end = text.find(L"\r\n", at)) != std::wstring::npos) {
      std::wstring line = text.substr(at, end - at);
      lines.push_back(line.size() > 20 ? line.substr(20) : line);  // "YYYY-MM-DD hh:mm:ss:"
      at = end + 2;
    }
    return lines;
  }

  TempDir dir;
  std::string log = dir.File("download.log");
};

TEST_F(Download, WholeBodyWithItsLengthAndProgress) {
  const std::string target = dir.File("out.bin");
  DWORD length = 1, received = 1, rate = 0;
  ASSERT_EQ(DownloadFileEx(Url("/file/three.bin"), W(target), &length, &received, &rate, W(log), FALSE), 1);
  EXPECT_EQ(ReadFileBytes(target), g_world->threePieces);
  EXPECT_EQ(length, 16384u * 3);
  EXPECT_EQ(received, 16384u * 3);
  EXPECT_FALSE(Exists(log));  // nothing failed, nothing logged
}

TEST_F(Download, WithoutLengthHeaderTheLengthIsZeroAndTheFileWhole) {
  const std::string target = dir.File("out.bin");
  DWORD length = 1, received = 0, rate = 0;
  ASSERT_EQ(DownloadFileEx(Url("/file/three.bin?chunked=1"), W(target), &length, &received, &rate, W(log), TRUE), 1);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(received, 16384u * 3);
  EXPECT_EQ(ReadFileBytes(target), g_world->threePieces);
}

TEST_F(Download, SendsTheFixedAgentAndAcceptLineAndBypassesCaches) {
  const std::string target = dir.File("echo.txt");
  ASSERT_EQ(DownloadFile(Url("/echo"), W(target), W(log), FALSE), 1);
  const std::string echo = ReadFileBytes(target);
  EXPECT_NE(echo.find("User-Agent: Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; Trident/4.0; QQDownload 665;"),
            std::string::npos)
      << echo;
  EXPECT_NE(echo.find("\nAccept: */*\n"), std::string::npos) << echo;
  EXPECT_NE(echo.find("\nPragma: no-cache\n"), std::string::npos) << echo;
}

// A refused status fails before the target is touched: an existing file
// keeps its bytes and no new file appears.
TEST_F(Download, RefusedStatusLogsItAndLeavesTheTargetAlone) {
  for (const char *path : {"/status/404", "/status/206", "/status/201"}) {
    SCOPED_TRACE(path);
    const std::string kept = dir.Write("kept.bin", "old bytes");
    const std::string fresh = dir.File("fresh.bin");
    DWORD length = 0, received = 0, rate = 0;
    EXPECT_EQ(DownloadFileEx(Url(path), W(kept), &length, &received, &rate, W(log), FALSE), -1);
    EXPECT_EQ(DownloadFileEx(Url(path), W(fresh), &length, &received, &rate, W(log), FALSE), -1);
    EXPECT_EQ(ReadFileBytes(kept), "old bytes");
    EXPECT_FALSE(Exists(fresh));
  }
  EXPECT_EQ(LogLines(), (std::vector<std::wstring>{L"HttpQueryInfo:404", L"HttpQueryInfo:404", L"HttpQueryInfo:206",
                                                   L"HttpQueryInfo:206", L"HttpQueryInfo:201", L"HttpQueryInfo:201"}));
}

TEST_F(Download, UnopenableUrlLogsItsErrorCode) {
  struct Case {
    const wchar_t *url;
    const wchar_t *line;
  } cases[] = {
      {L"gopher://127.0.0.1/x", L"InternetOpenUrl:12006"},
      {L"no scheme at all", L"InternetOpenUrl:12006"},
      {L"http://127.0.0.1:1/", L"InternetOpenUrl:12029"},  // nothing listens on port 1
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.url);
    ::remove(log.c_str());
    EXPECT_EQ(DownloadFile(c.url, W(dir.File("x.bin")), W(log), FALSE), -1);
    EXPECT_EQ(LogLines(), std::vector<std::wstring>{c.line});
    EXPECT_FALSE(Exists(dir.File("x.bin")));
  }
}

TEST_F(Download, TargetInMissingFolderLogsFileOpen) {
  EXPECT_EQ(DownloadFile(Url("/file/three.bin"), W(dir.File("missing/out.bin")), W(log), FALSE), -1);
  EXPECT_EQ(LogLines(), std::vector<std::wstring>{L"file.Open:3"});
}

// A folder in place of the target: it cannot be deleted and cannot be
// opened as a file.
TEST_F(Download, UndeletableOldTargetLogsBothSteps) {
  const std::string target = dir.File("busy");
  ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
  EXPECT_EQ(DownloadFile(Url("/file/three.bin"), W(target), W(log), FALSE), -1);
  EXPECT_EQ(LogLines(), (std::vector<std::wstring>{L"删除缓存文件", L"file.Open:5"}));
}

TEST_F(Download, DownloadFileReplacesAnOldTarget) {
  const std::string target = dir.Write("out.bin", std::string(100000, 'z'));
  ASSERT_EQ(DownloadFile(Url("/file/three.bin"), W(target), W(log), FALSE), 1);
  EXPECT_EQ(ReadFileBytes(target), g_world->threePieces);
}

// The server announces 100 bytes and closes after 10.
TEST_F(Download, BrokenTransferRemovesThePartialFile) {
  const std::string target = dir.File("short.bin");
  DWORD length = 0, received = 0, rate = 0;
  EXPECT_EQ(DownloadFileEx(Url("/short"), W(target), &length, &received, &rate, W(log), FALSE), -1);
  EXPECT_FALSE(Exists(target));
  const std::vector<std::wstring> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"InternetReadFile:", 0), 0u) << lines[0];
  EXPECT_NE(lines[0], L"InternetReadFile:0");
}

// The names in a folder, the log left out.
std::vector<std::string> FilesIn(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename() != "download.log") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The server announces 100,000 bytes and closes after 1,000: the old copy
// at the target stays whole, and nothing is left beside it. DownloadFile
// deleted it first, as it says.
TEST_F(Download, FailedDownloadLeavesTheTargetAsItWas) {
  const CString url = Url("/short?n=100000&sent=1000");
  const std::string target = dir.File("copy.bin");
  DWORD length = 0, received = 0, rate = 0;
  dir.Write("copy.bin", "the good old copy");
  EXPECT_EQ(DownloadFileEx(url, W(target), &length, &received, &rate, W(log), FALSE), -1);
  EXPECT_EQ(received, 1000u);
  EXPECT_EQ(ReadFileBytes(target), "the good old copy");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"copy.bin"});
  EXPECT_EQ(DownloadFileWithHeaders(url, W(target), L"X-Probe: one\r\n"), -1);
  EXPECT_EQ(ReadFileBytes(target), "the good old copy");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"copy.bin"});
  EXPECT_EQ(DownloadFile(url, W(target), W(log), FALSE), -1);
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

// A whole body takes the old file's place and keeps its permissions.
TEST_F(Download, WholeBodyReplacesTheTargetWithItsPermissions) {
  const std::string target = dir.Write("copy.bin", "the good old copy");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  DWORD length = 0, received = 0, rate = 0;
  ASSERT_EQ(DownloadFileEx(Url("/file/three.bin"), W(target), &length, &received, &rate, W(log), FALSE), 1);
  EXPECT_EQ(ReadFileBytes(target), g_world->threePieces);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"copy.bin"});
}

// A target whose path is far longer than 260 characters takes the body, in
// place of an old copy, and nothing is left beside it.
TEST_F(Download, LongTargetPathTakesTheBody) {
  std::string folder = dir.path();
  for (int i = 0; i < 6; ++i) {
    folder += "/" + std::string(60, 'd');
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  }
  const std::string target = dir.Write(folder.substr(dir.path().size() + 1) + "/out.bin", "the old copy");
  ASSERT_GT(target.size(), 300u);
  DWORD length = 0, received = 0, rate = 0;
  ASSERT_EQ(DownloadFileEx(Url("/file/three.bin"), W(target), &length, &received, &rate, W(log), FALSE), 1);
  EXPECT_EQ(ReadFileBytes(target), g_world->threePieces);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"out.bin"});
}

// The file size limit makes the second piece's write fail.
TEST_F(Download, FailedWriteIsAFailureAndRemovesThePartialFile) {
  const std::string target = dir.File("limited.bin");
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  rlimit limited = old;
  limited.rlim_cur = 20000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  DWORD length = 0, received = 0, rate = 0;
  const int result = DownloadFileEx(Url("/file/three.bin"), W(target), &length, &received, &rate, W(log), FALSE);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(FilesIn(dir.path()).empty());
  const std::vector<std::wstring> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind(L"file.Write:", 0), 0u) << lines[0];
}

// Failures with an empty log name write nowhere: not next to the target and
// not into the default log.
TEST_F(Download, EmptyLogNameLogsNothing) {
  const std::string defaultLog = U8(GetDefaultLogFile());
  const std::string before = ReadFileBytes(defaultLog);
  DWORD length = 0, received = 0, rate = 0;
  EXPECT_EQ(DownloadFileEx(Url("/status/404"), W(dir.File("a")), &length, &received, &rate, CString(), FALSE), -1);
  EXPECT_EQ(DownloadFile(L"http://127.0.0.1:1/", W(dir.File("b")), CString(), FALSE), -1);
  EXPECT_EQ(DownloadFile(Url("/file/three.bin"), W(dir.File("missing/c")), CString(), FALSE), -1);
  EXPECT_EQ(ReadFileBytes(defaultLog), before);
  EXPECT_FALSE(Exists(dir.File("a")));
  EXPECT_FALSE(Exists(dir.File("b")));
}

TEST_F(Download, WithHeadersSendsTheCallersLines) {
  const std::string target = dir.File("echo.txt");
  ASSERT_EQ(DownloadFileWithHeaders(Url("/echo"), W(target), L"X-Probe: one\r\nAccept: text/plain\r\n"), 1);
  const std::string echo = ReadFileBytes(target);
  EXPECT_NE(echo.find("\nX-Probe: one\n"), std::string::npos) << echo;
  EXPECT_NE(echo.find("\nAccept: text/plain\n"), std::string::npos) << echo;
  EXPECT_EQ(echo.find("*/*"), std::string::npos) << echo;
  EXPECT_EQ(DownloadFileWithHeaders(Url("/status/404"), W(dir.File("none")), L"X-Probe: two\r\n"), -1);
  EXPECT_FALSE(Exists(dir.File("none")));
}

TEST_F(Download, UrlTextConvertsTheWholeBodyFromTheAnsiCodePage) {
  std::wstring expected = L"a";
  for (int i = 0; i < 60000; ++i) expected += L"中文";
  EXPECT_EQ(std::wstring(GetUrlText(Url("/file/gbk.txt")).GetString()), expected);
  EXPECT_EQ(GetUrlText(Url("/file/gbk.txt?chunked=1")).GetLength(), static_cast<int>(expected.size()));
  EXPECT_EQ(GetUrlText(Url("/file/nul.txt")), L"ab");
}

TEST_F(Download, UrlTextFailuresGiveError) {
  for (const CString &url :
       {Url("/status/404"), Url("/short"), CString(L"http://127.0.0.1:1/"), CString(L"gopher://127.0.0.1/")}) {
    SCOPED_TRACE(testing::Message() << U8(url));
    EXPECT_EQ(GetUrlText(url), L"Error");
  }
}

}  // namespace

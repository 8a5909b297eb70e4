// FTP transfers and their progress reports against a scripted FTP server on loopback.
#include "utils/http/ftphelper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/ftp_server.h"
#include "tests/support/print_cstring.h"

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;

namespace {

class FtpHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = testsupport::StartFtpServer(remote_.path());
    ASSERT_TRUE(server_->ok()) << server_->error();
  }
  CString Server() const { return testsupport::FtpHost(*server_); }
  CString Local(const std::string &name) const { return testsupport::WideText(local_.File(name)); }

  testsupport::TempDir remote_, local_;
  std::unique_ptr<testsupport::LoopbackServer> server_;
};

TEST_F(FtpHelperTest, CreatesMissingFoldersAndReportsEveryStep) {
  local_.Write("q.txt", "quotes");
  CInternetSession session;
  CFtpConnection *ftp = session.GetFtpConnection(Server(), L"test", L"secret");
  CString report = L"old";
  ASSERT_TRUE(FtpTransfer(ftp, FALSE, L"", L"", L"", L"a/b", L"q.txt", Local("q.txt"), TRUE, &report));
  const CString local = Local("q.txt");
  // The second creation line names the folder that was current before the move to /a.
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n"
                            L"创建目录 a/b/a 成功．\r\n\r\n"
                            L"转到当前目录 /a 成功．\r\n\r\n"
                            L"创建目录 //b 成功．\r\n\r\n"
                            L"转到当前目录 /a/b 成功．\r\n\r\n"
                            L"上传文件 ") +
                        local + L" 中...\r\n\r\n上传文件 " + local + L" 成功．\r\n\r\n");
  EXPECT_EQ(ReadFileBytes(remote_.File("a/b/q.txt")), "quotes");

  // The connection stays open in its folder; an existing folder is entered at once.
  CString dir;
  ASSERT_TRUE(ftp->GetCurrentDirectory(dir));
  EXPECT_EQ(dir, CString(L"/a/b"));
  ASSERT_TRUE(FtpTransfer(ftp, FALSE, L"", L"", L"", L"/a", L"", L"", TRUE, &report));
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n转到当前目录 /a 成功．\r\n\r\n"));
}

TEST_F(FtpHelperTest, DownloadsAndClosesWithTheClosingLineAlone) {
  fs::create_directory(remote_.File("d"));
  remote_.Write("d/p.bin", std::string("\0\r\n\xfe", 4));
  CString report;
  EXPECT_TRUE(FtpTransfer(nullptr, TRUE, Server(), L"test", L"secret", L"d", L"p.bin", Local("p.bin"), FALSE, &report));
  EXPECT_EQ(report, CString(L"退出FTP．\r\n\r\n"));
  EXPECT_EQ(ReadFileBytes(local_.File("p.bin")), std::string("\0\r\n\xfe", 4));

  // The local file exists now: the second download fails and says so.
  EXPECT_FALSE(
      FtpTransfer(nullptr, TRUE, Server(), L"test", L"secret", L"d", L"p.bin", Local("p.bin"), FALSE, &report));
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n转到当前目录 /d 成功．\r\n\r\n"
                            L"下载文件 p.bin 中...\r\n\r\n下载文件 p.bin 失败．\r\n\r\n"));
}

TEST_F(FtpHelperTest, FailuresAreReported) {
  CString report = L"old";
  EXPECT_FALSE(FtpTransfer(nullptr, TRUE, Server(), L"test", L"wrong", L"", L"", L"", TRUE, &report));
  EXPECT_EQ(report, CString(L"连接FTP出错．\r\n\r\n"));

  // A plain file stands where a folder should be created: nothing is uploaded elsewhere.
  remote_.Write("x", "file");
  local_.Write("u.txt", "u");
  EXPECT_FALSE(
      FtpTransfer(nullptr, TRUE, Server(), L"test", L"secret", L"x/y", L"u.txt", Local("u.txt"), TRUE, &report));
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n创建目录 x/y/x 失败．\r\n\r\n"));
  EXPECT_FALSE(fs::exists(remote_.File("u.txt")));

  const CString missing = Local("missing.txt");
  EXPECT_FALSE(FtpTransfer(nullptr, TRUE, Server(), L"test", L"secret", L"", L"m.txt", missing, TRUE, &report));
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n上传文件 ") + missing + L" 中...\r\n\r\n上传文件 " + missing +
                        L" 失败．\r\n\r\n");
}

TEST_F(FtpHelperTest, WithoutReportOrFileNamesTheCallsStillWork) {
  local_.Write("n.txt", "no report");
  EXPECT_TRUE(
      FtpTransfer(nullptr, TRUE, Server(), L"test", L"secret", L"r/s", L"n.txt", Local("n.txt"), TRUE, nullptr));
  EXPECT_EQ(ReadFileBytes(remote_.File("r/s/n.txt")), "no report");
  EXPECT_FALSE(FtpTransfer(nullptr, TRUE, Server(), L"test", L"wrong", L"", L"", L"", TRUE, nullptr));

  CString report;
  EXPECT_TRUE(FtpTransfer(nullptr, FALSE, Server(), L"test", L"secret", L"", L"n.txt", L"", FALSE, &report));
  EXPECT_EQ(report, CString(L"连接FTP成功．\r\n\r\n"));  // no transfer tried
}

TEST_F(FtpHelperTest, TransferOnceMovesFilesBothWays) {
  fs::create_directory(remote_.File("o"));
  local_.Write("up.txt", "up");
  remote_.Write("o/down.txt", "down");
  EXPECT_TRUE(FtpTransferOnce(Server(), L"test", L"secret", L"o", L"up.txt", Local("up.txt"), FALSE));
  EXPECT_EQ(ReadFileBytes(remote_.File("o/up.txt")), "up");
  EXPECT_TRUE(FtpTransferOnce(Server(), L"test", L"secret", L"/o", L"down.txt", Local("down.txt"), TRUE));
  EXPECT_EQ(ReadFileBytes(local_.File("down.txt")), "down");

  EXPECT_FALSE(FtpTransferOnce(Server(), L"test", L"secret", L"o", L"down.txt", Local("down.txt"), TRUE));  // exists
  EXPECT_FALSE(FtpTransferOnce(Server(), L"test", L"secret", L"nowhere", L"up.txt", Local("up.txt"), FALSE));
  EXPECT_FALSE(fs::exists(remote_.File("up.txt")));  // not put into the start folder instead
  EXPECT_TRUE(FtpTransferOnce(Server(), L"test", L"secret", L"", L"", L"", TRUE));
  EXPECT_THROW(FtpTransferOnce(Server(), L"test", L"wrong", L"", L"", L"", TRUE), CInternetException);
}

}  // namespace

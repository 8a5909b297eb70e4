// The FTP session classes against a scripted FTP server on loopback.
#include "platform/inet/ftpsession.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "tests/support/ftp_server.h"
#include "tests/support/print_cstring.h"

namespace fs = std::filesystem;
using testsupport::LoopbackServer;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WideText;

namespace {

class FtpSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Data connections are active unless asked otherwise: the server offers no passive mode.
    server_ = testsupport::StartFtpServer(remote_.path(), {"--active-only"});
    ASSERT_TRUE(server_->ok()) << server_->error();
  }
  CString Server() const { return testsupport::FtpHost(*server_); }
  CString Local(const std::string &name) const { return WideText(local_.File(name)); }

  TempDir remote_, local_;
  std::unique_ptr<LoopbackServer> server_;
  CInternetSession session_;
};

TEST_F(FtpSessionTest, MovesBetweenAndCreatesFolders) {
  CFtpConnection *ftp = session_.GetFtpConnection(Server(), L"test", L"secret");
  ASSERT_NE(ftp, nullptr);
  CString dir;
  ASSERT_TRUE(ftp->GetCurrentDirectory(dir));
  EXPECT_EQ(dir, CString(L"/"));

  EXPECT_TRUE(ftp->CreateDirectory(L"a"));
  EXPECT_TRUE(fs::is_directory(remote_.File("a")));
  EXPECT_FALSE(ftp->CreateDirectory(L"a"));  // exists already
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));

  ASSERT_TRUE(ftp->SetCurrentDirectory(L"a"));
  EXPECT_TRUE(ftp->CreateDirectory(L"b"));  // relative to the current folder
  EXPECT_TRUE(fs::is_directory(remote_.File("a/b")));
  ASSERT_TRUE(ftp->SetCurrentDirectory(L"b/../b"));
  ftp->GetCurrentDirectory(dir);
  EXPECT_EQ(dir, CString(L"/a/b"));  // the server's own name for it

  EXPECT_FALSE(ftp->SetCurrentDirectory(L"/missing"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_EXTENDED_ERROR));
  ftp->GetCurrentDirectory(dir);
  EXPECT_EQ(dir, CString(L"/a/b"));
  ASSERT_TRUE(ftp->SetCurrentDirectory(L"/"));
  ftp->GetCurrentDirectory(dir);
  EXPECT_EQ(dir, CString(L"/"));

  // A line break would smuggle a second command to the server.
  for (LPCWSTR name : {L"a\r\nMKD /evil", L"a\nMKD /evil"}) {
    EXPECT_FALSE(ftp->SetCurrentDirectory(name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME));
    EXPECT_FALSE(ftp->CreateDirectory(name));
    EXPECT_FALSE(ftp->PutFile(Local("none"), name));
    EXPECT_FALSE(ftp->GetFile(name, Local("none")));
  }
  EXPECT_FALSE(fs::exists(remote_.File("evil")));
  EXPECT_FALSE(fs::exists(local_.File("none")));
}

TEST_F(FtpSessionTest, TransfersBinaryFilesWithAnsiNames) {
  const std::string bytes("line\r\nnul\0\xff\x80 end\n", 18);
  local_.Write("up.bin", bytes);
  fs::create_directory(remote_.File("d"));
  CFtpConnection *ftp = session_.GetFtpConnection(Server(), L"test", L"secret");
  ASSERT_TRUE(ftp->SetCurrentDirectory(L"d"));
  ASSERT_TRUE(ftp->PutFile(Local("up.bin"), L"价格.bin"));
  const std::string ansiName = WideToMultiByte(CP_ACP, L"价格.bin");
  EXPECT_EQ(ReadFileBytes(remote_.path() + "/d/" + ansiName), bytes);

  ASSERT_TRUE(ftp->GetFile(L"/d/价格.bin", Local("down.bin")));
  EXPECT_EQ(ReadFileBytes(local_.File("down.bin")), bytes);

  // An existing local file stays untouched; a failed download leaves no file.
  EXPECT_FALSE(ftp->GetFile(L"价格.bin", Local("down.bin")));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFileBytes(local_.File("down.bin")), bytes);
  EXPECT_FALSE(ftp->GetFile(L"missing.bin", Local("none.bin")));
  EXPECT_FALSE(fs::exists(local_.File("none.bin")));
  EXPECT_TRUE(ftp->GetFile(L"价格.bin", Local("down.bin"), FALSE));  // replacing was asked for

  EXPECT_FALSE(ftp->PutFile(Local("missing.bin"), L"x.bin"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(ftp->PutFile(Local("up.bin"), L"/nofolder/x.bin"));
}

TEST_F(FtpSessionTest, PassiveConnectionsTransferToo) {
  local_.Write("p.txt", "passive");
  const auto passiveServer = testsupport::StartFtpServer(remote_.path());
  ASSERT_TRUE(passiveServer->ok()) << passiveServer->error();
  CFtpConnection *ftp = session_.GetFtpConnection(testsupport::FtpHost(*passiveServer), L"test", L"secret", 0, TRUE);
  ASSERT_TRUE(ftp->PutFile(Local("p.txt"), L"p.txt"));
  EXPECT_EQ(ReadFileBytes(remote_.File("p.txt")), "passive");
}

TEST_F(FtpSessionTest, FailedConnectionsThrow) {
  struct Case {
    CString server;
    const wchar_t *password;
    DWORD error;
  } const cases[] = {
      {Server(), L"wrong", ERROR_INTERNET_LOGIN_FAILURE},
      {Server(), L"secret\r\nDELE x", ERROR_INVALID_PARAMETER},
      {WideText("127.0.0.1:" + std::to_string(testsupport::SilentListener().port())), L"secret",
       ERROR_INTERNET_CANNOT_CONNECT},  // nobody listens there any more
      {L"", L"secret", ERROR_INTERNET_INVALID_URL},
  };
  for (const Case &c : cases) {
    try {
      session_.GetFtpConnection(c.server, L"test", c.password);
      ADD_FAILURE() << "connected to " << WideToMultiByte(CP_UTF8, std::wstring(c.server.GetString()));
    } catch (const CInternetException &e) {
      EXPECT_EQ(e.m_dwError, c.error) << WideToMultiByte(CP_UTF8, std::wstring(c.server.GetString()));
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
}

TEST_F(FtpSessionTest, ConnectionsEndWithTheirSession) {
  CFtpConnection *kept = session_.GetFtpConnection(Server(), L"test", L"secret");
  delete session_.GetFtpConnection(Server(), L"test", L"secret");  // leaves the session
  kept->Close();
  CString dir;
  EXPECT_FALSE(kept->GetCurrentDirectory(dir));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(kept->CreateDirectory(L"x"));
  session_.Close();  // deletes `kept`; the sanitizer build checks nothing leaks or is freed twice
  EXPECT_NE(session_.GetFtpConnection(Server(), L"test", L"secret"), nullptr);
}

}  // namespace

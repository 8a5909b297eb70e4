// Files and folders through the file handle functions, in a temporary folder.
#include "platform/system/fileapi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "tests/support/loopback_server.h"

namespace fs = std::filesystem;

namespace {

std::wstring W(const std::string &utf8) { return MultiByteToWide(CP_UTF8, utf8); }

TEST(FileApi, OpenErrorsAndFilePointer) {
  testsupport::TempDir dir;
  struct Case {
    std::string path;
    DWORD access, disposition, error;
  } const cases[] = {
      {dir.File("missing"), FILE_READ_DATA, OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
      {dir.File("no/such/file"), FILE_WRITE_DATA, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND},
      {dir.Write("exists", "x"), FILE_WRITE_DATA, CREATE_NEW, ERROR_FILE_EXISTS},
      {dir.path(), FILE_READ_DATA, OPEN_EXISTING, ERROR_ACCESS_DENIED},
  };
  for (const Case &c : cases) {
    SetLastError(0);
    EXPECT_EQ(CreateFileW(W(c.path).c_str(), c.access, 0, nullptr, c.disposition, FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE)
        << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }

  HANDLE h = CreateFileW(W(dir.File("f")).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
  EXPECT_EQ(SetFilePointer(h, -2, nullptr, FILE_END), 3u);
  char buf[8] = {};
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "lo");
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST(FileApi, FoldersAndTempNames) {
  testsupport::TempDir dir;
  EXPECT_TRUE(CreateDirectoryW(W(dir.File("d")).c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(W(dir.File("d")).c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryW(W(dir.File("x/y")).c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesW(W(dir.File("d")).c_str()) & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesW(W(dir.File("none")).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(L"/dev/null") & FILE_ATTRIBUTE_DEVICE, FILE_ATTRIBUTE_DEVICE);

  wchar_t name[MAX_PATH];
  EXPECT_EQ(GetTempFileNameW(W(dir.path()).c_str(), L"abcdef", 0xBEEF, name), 0xBEEFu);
  EXPECT_EQ(std::wstring(name), W(dir.File("abcBEEF.tmp")));
  EXPECT_FALSE(fs::exists(dir.File("abcBEEF.tmp")));  // a given number only forms the name
  EXPECT_EQ(GetTempFileNameW(W(dir.File("missing")).c_str(), L"imp", 0, name), 0u);
}

}  // namespace

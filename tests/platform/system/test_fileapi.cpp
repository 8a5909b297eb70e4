// Files and folders through the file handle functions, in a temporary folder.
#include "platform/system/fileapi.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "tests/support/temp_dir.h"

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

// The exclusive opener (share mode 0, reading and writing) and every other
// opener exclude each other; a refused writer truncates nothing.
TEST(FileApi, ShareModesAmongOpeners) {
  testsupport::TempDir dir;
  const std::wstring file = W(dir.Write("f", "content"));
  const auto open = [&](DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(file.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  const DWORD both = GENERIC_READ | GENERIC_WRITE;
  HANDLE exclusive = open(both, 0, OPEN_EXISTING);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  const struct {
    DWORD access, share, disposition;
  } others[] = {{FILE_READ_DATA, FILE_SHARE_READ, OPEN_EXISTING},
                {FILE_WRITE_DATA, FILE_SHARE_WRITE, CREATE_ALWAYS},
                {FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, TRUNCATE_EXISTING},
                {both, 0, OPEN_EXISTING}};
  for (const auto &o : others) {
    SetLastError(0);
    EXPECT_EQ(open(o.access, o.share, o.disposition), INVALID_HANDLE_VALUE) << o.access << " " << o.disposition;
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("f")), "content");
  CloseHandle(exclusive);

  // Readers and writers share the file with each other.
  HANDLE writer = open(FILE_WRITE_DATA, FILE_SHARE_WRITE, OPEN_EXISTING);
  HANDLE reader = open(FILE_READ_DATA, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(open(both, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  CloseHandle(writer);
  CloseHandle(reader);
  HANDLE again = open(both, 0, CREATE_ALWAYS);
  EXPECT_NE(again, INVALID_HANDLE_VALUE);
  CloseHandle(again);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("f")), "");  // truncated once granted
}

TEST(FileApi, ReadOnlyIsTheFileNobodyMayWrite) {
  testsupport::TempDir dir;
  const std::string file = dir.Write("f", "x");
  EXPECT_EQ(GetFileAttributesW(W(file).c_str()), FILE_ATTRIBUTE_NORMAL);
  chmod(file.c_str(), 0444);  // also for root, who could write it
  EXPECT_EQ(GetFileAttributesW(W(file).c_str()), FILE_ATTRIBUTE_READONLY);
}

TEST(FileApi, MoveAndReplace) {
  testsupport::TempDir dir;
  const std::wstring a = W(dir.Write("a", "A")), b = W(dir.Write("b", "B"));
  EXPECT_FALSE(MoveFileExW(a.c_str(), b.c_str(), 0));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_TRUE(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b")), "A");
  EXPECT_FALSE(fs::exists(dir.File("a")));
  EXPECT_FALSE(MoveFileExW(b.c_str(), W(dir.File("c")).c_str(), 2));  // copying across file systems: not offered
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // The replacement takes the replaced file's place and permissions.
  const std::wstring replacement = W(dir.Write("new", "N"));
  chmod(dir.File("b").c_str(), 0600);
  EXPECT_TRUE(ReplaceFileW(b.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b")), "N");
  EXPECT_FALSE(fs::exists(dir.File("new")));
  EXPECT_EQ(fs::status(dir.File("b")).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  const std::wstring other = W(dir.Write("other", "O"));
  EXPECT_FALSE(ReplaceFileW(W(dir.File("missing")).c_str(), other.c_str(), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(ReplaceFileW(b.c_str(), other.c_str(), W(dir.File("bak")).c_str(), 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
  EXPECT_FALSE(ReplaceFileW(b.c_str(), W(dir.File("gone")).c_str(), nullptr, 0, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  // Across file systems there is no rename: both files stay as they were.
  const std::string shm = "/dev/shm/tickora-replace-" + std::to_string(getpid());
  std::ofstream(shm) << "S";
  struct stat there, here;
  if (stat(shm.c_str(), &there) == 0 && stat(dir.path().c_str(), &here) == 0 && there.st_dev != here.st_dev) {
    EXPECT_FALSE(ReplaceFileW(b.c_str(), W(shm).c_str(), nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    EXPECT_EQ(testsupport::ReadFileBytes(shm), "S");
  }
  fs::remove(shm);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b")), "N");
}

TEST(FileApi, SetEndOfFileCutsAtThePosition) {
  testsupport::TempDir dir;
  HANDLE h = CreateFileW(W(dir.Write("f", "abcdef")).c_str(), FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_TRUE(FlushFileBuffers(h));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("f")), "ab");
  EXPECT_FALSE(SetEndOfFile(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(FlushFileBuffers(INVALID_HANDLE_VALUE));
}

TEST(FileApi, VolumesAreMounts) {
  wchar_t root[64];
  ASSERT_TRUE(GetVolumePathNameW(L"/proc/self/status", root, 64));
  EXPECT_EQ(std::wstring(root), L"/proc/");
  ASSERT_TRUE(GetVolumePathNameW(L"C:\\Windows", root, 64));
  EXPECT_EQ(std::wstring(root), L"/");
  EXPECT_FALSE(GetVolumePathNameW(L"/proc/self", root, 3));
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);

  wchar_t type[16];
  ASSERT_TRUE(GetVolumeInformationW(L"/proc/", nullptr, 0, nullptr, nullptr, nullptr, type, 16));
  EXPECT_EQ(std::wstring(type), L"proc");
  EXPECT_FALSE(GetVolumeInformationW(L"/proc", nullptr, 0, nullptr, nullptr, nullptr, type, 16));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);
  EXPECT_FALSE(GetVolumeInformationW(L"/proc/", nullptr, 0, nullptr, nullptr, nullptr, type, 4));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace

#include "utils/files/filesyshelper.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"
#include "tests/support/print_cstring.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_tmpfs.h"
#include "tests/support/temp_dir.h"

extern char **environ;

namespace fs = std::filesystem;
using namespace FileSysHelper;
using testsupport::ScopedEnv;

namespace {

CString W(const std::string &utf8) { return CString(MultiByteToWide(CP_UTF8, utf8).c_str()); }

class FileSysHelperTest : public ::testing::Test {
 protected:
  std::string File(const std::string &name) const { return dir_.File(name); }
  CString WFile(const std::string &name) const { return W(dir_.File(name)); }
  std::string Write(const std::string &name, const std::string &bytes) const { return dir_.Write(name, bytes); }
  std::string Bytes(const std::string &name) const { return testsupport::ReadFileBytes(dir_.File(name)); }

  testsupport::TempDir dir_;
};

TEST_F(FileSysHelperTest, CreateDirectoryTree) {
  EXPECT_TRUE(CreateDirectoryTree(WFile("a/b/c")));
  EXPECT_TRUE(fs::is_directory(File("a/b/c")));
  EXPECT_TRUE(CreateDirectoryTree(WFile("a/b/c")));  // already there
  EXPECT_TRUE(CreateDirectoryTree(WFile("x/y/")));   // trailing separator
  EXPECT_TRUE(fs::is_directory(File("x/y")));

  // A file in the way is no folder.
  Write("file", "data");
  EXPECT_FALSE(CreateDirectoryTree(WFile("file")));
  EXPECT_FALSE(CreateDirectoryTree(WFile("file/sub")));
  EXPECT_EQ(Bytes("file"), "data");
}

TEST_F(FileSysHelperTest, StandardFolders) {
  const CString exeDir = GetExeDir();
  EXPECT_EQ(exeDir, W(fs::read_symlink("/proc/self/exe").parent_path().string() + "/"));
  EXPECT_EQ(GetAppDir(), exeDir);

  {
    ScopedEnv data("XDG_DATA_HOME", dir_.path());
    EXPECT_EQ(GetAppDataDir(), W(dir_.path() + "/Lumaro/DEBUG/"));
    EXPECT_EQ(GetUserDataDir(), GetAppDataDir());
  }
  EXPECT_EQ(GetWinDir(), CString(L"/usr"));

  ScopedEnv tmp("TMPDIR", dir_.path() + "/");
  EXPECT_EQ(GetTempDir(), W(dir_.path()));
  const CString first = GetTempFilePath();
  const CString second = GetTempFilePath();
  EXPECT_NE(first, second);
  for (const CString &path : {first, second}) {
    const fs::path p(WideToMultiByte(CP_UTF8, path.str()));
    EXPECT_EQ(p.parent_path().string(), dir_.path()) << p;
    EXPECT_EQ(p.filename().string().rfind("imp", 0), 0u) << p;
    EXPECT_EQ(p.extension().string(), ".tmp") << p;
    EXPECT_TRUE(fs::is_regular_file(p));
    EXPECT_EQ(fs::file_size(p), 0u);
  }
}

TEST_F(FileSysHelperTest, ShellCopyMoveDelete) {
  Write("src.txt", "one");
  fs::create_directories(File("tree/sub"));
  Write("tree/sub/leaf", "leaf");

  EXPECT_TRUE(ShellCopy(WFile("src.txt"), WFile("copy.txt"), FALSE));
  EXPECT_EQ(Bytes("copy.txt"), "one");
  EXPECT_TRUE(ShellCopy(WFile("src.txt"), WFile("new/dest"), TRUE));  // lands inside the created folder
  EXPECT_EQ(Bytes("new/dest/src.txt"), "one");
  EXPECT_TRUE(ShellCopy(WFile("tree"), WFile("tree2"), FALSE));  // folders with their contents
  EXPECT_EQ(Bytes("tree2/sub/leaf"), "leaf");
  EXPECT_TRUE(ShellCopyEx(WFile("src.txt"), WFile("ex.txt"), FALSE));
  EXPECT_EQ(Bytes("ex.txt"), "one");
  Write("copy.txt", "old");
  EXPECT_TRUE(ShellCopy(WFile("src.txt"), WFile("copy.txt"), FALSE));  // replaces without asking
  EXPECT_EQ(Bytes("copy.txt"), "one");
  EXPECT_TRUE(ShellCopy(WFile("*.txt"), WFile("glob"), TRUE));
  EXPECT_TRUE(fs::exists(File("glob/src.txt")) && fs::exists(File("glob/copy.txt")) && fs::exists(File("glob/ex.txt")));
  EXPECT_FALSE(ShellCopy(WFile("missing"), WFile("any"), FALSE));
  EXPECT_FALSE(ShellCopy(WFile("tree"), WFile("tree/sub"), FALSE));  // never into itself

  EXPECT_TRUE(ShellMove(WFile("copy.txt"), WFile("moved"), TRUE));
  EXPECT_FALSE(fs::exists(File("copy.txt")));
  EXPECT_EQ(Bytes("moved/copy.txt"), "one");
  EXPECT_TRUE(ShellMove(WFile("tree2"), WFile("tree3"), FALSE));
  EXPECT_EQ(Bytes("tree3/sub/leaf"), "leaf");

  EXPECT_TRUE(ShellDelete(WFile("tree3")));
  EXPECT_FALSE(fs::exists(File("tree3")));
  EXPECT_TRUE(ShellDeleteEx(WFile("ex.txt")));
  EXPECT_FALSE(fs::exists(File("ex.txt")));
  EXPECT_FALSE(ShellDelete(WFile("tree3")));
  EXPECT_FALSE(ShellDelete(L""));
}

TEST_F(FileSysHelperTest, ShellRenameStaysInItsFolder) {
  Write("a.txt", "a");
  Write("taken.txt", "t");
  fs::create_directories(File("other"));

  EXPECT_FALSE(ShellRename(WFile("a.txt"), WFile("other/a.txt")));  // would move: refused
  EXPECT_FALSE(ShellRename(WFile("a.txt"), L"a.txt"));
  EXPECT_EQ(Bytes("a.txt"), "a");
  EXPECT_FALSE(fs::exists(File("other/a.txt")));

  EXPECT_FALSE(ShellRename(WFile("a.txt"), WFile("taken.txt")));  // never overwrites
  EXPECT_EQ(Bytes("taken.txt"), "t");
  EXPECT_TRUE(ShellRename(WFile("a.txt"), WFile("b.txt")));
  EXPECT_EQ(Bytes("b.txt"), "a");
  EXPECT_FALSE(fs::exists(File("a.txt")));
}

TEST_F(FileSysHelperTest, FileExists) {
  Write("f", "");
  EXPECT_TRUE(FileExists(WFile("f")));
  EXPECT_TRUE(FileExists(W(dir_.path())));  // folders count
  EXPECT_FALSE(FileExists(WFile("none")));
  EXPECT_FALSE(FileExists(L""));
}

TEST_F(FileSysHelperTest, ReadTextFileByEncoding) {
  struct Case {
    const char *label;
    std::string bytes;
    int encoding;
    std::wstring text;
  } const cases[] = {
      {"utf8 mark detected",
       "\xEF\xBB\xBF\xE4\xB8\xAD"
       "a",
       FILE_ENCODING_UNKNOWN, L"\u4E2Da"},
      {"utf16 mark detected",
       std::string("\xFF\xFE"
                   "A\0\x2D\x4E",
                   6),
       FILE_ENCODING_UNKNOWN, L"A\u4E2D"},
      {"ansi detected",
       "\xD6\xD0"
       "b",
       FILE_ENCODING_UNKNOWN, L"\u4E2Db"},
      {"utf8 without mark", "\xC3\xA9", FILE_ENCODING_UTF8, L"\u00E9"},
      {"utf8 mark only", "\xEF\xBB\xBF", FILE_ENCODING_UTF8, L""},
      {"utf16 without mark", std::string("h\0i\0", 4), FILE_ENCODING_UNICODE, L"hi"},
      {"utf16 surrogate pair", std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6), FILE_ENCODING_UNKNOWN, L"\U0001F600"},
      {"utf16 odd length", std::string("A\0B", 3), FILE_ENCODING_UNICODE, L"AB"},
      {"stops at a NUL", std::string("ab\0cd", 5), FILE_ENCODING_ANSI, L"ab"},
      {"utf16 stops at a NUL", std::string("a\0\0\0b\0", 6), FILE_ENCODING_UNICODE, L"a"},
  };
  for (const Case &c : cases) {
    Write("t", c.bytes);
    CString text = L"previous";
    EXPECT_EQ(ReadTextFile(WFile("t"), text, c.encoding), S_OK) << c.label;
    EXPECT_EQ(text, CString(c.text.c_str())) << c.label;
  }
}

TEST_F(FileSysHelperTest, ReadTextFileResults) {
  CString text = L"previous";
  Write("empty", "");
  EXPECT_EQ(ReadTextFile(WFile("empty"), text, FILE_ENCODING_UTF8), S_OK);
  EXPECT_EQ(text, CString(L""));

  Write("t", "abc");
  text = L"previous";
  EXPECT_EQ(ReadTextFile(WFile("t"), text, 4), S_FALSE);
  EXPECT_EQ(ReadTextFile(WFile("t"), text, -1), S_FALSE);
  EXPECT_EQ(text, CString(L"previous"));

  EXPECT_EQ(ReadTextFile(WFile("missing"), text, 0), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(FAILED(ReadTextFile(W(dir_.path()), text, 0)));
  EXPECT_EQ(text, CString(L"previous"));

  // A file larger than a buffer can hold fails instead of reading a part.
  const int fd = ::open(File("huge").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, (1LL << 32) + 16), 0);  // sparse: takes no space
  ::close(fd);
  EXPECT_EQ(ReadTextFile(WFile("huge"), text, 0), E_OUTOFMEMORY);
  ULONGLONG length = 0;
  EXPECT_TRUE(GetFileLength(WFile("huge"), length));
  EXPECT_EQ(length, (1ULL << 32) + 16);
}

TEST_F(FileSysHelperTest, DetectTextFileEncoding) {
  struct Case {
    std::string bytes;
    int encoding;
  } const cases[] = {
      {"\xEF", FILE_ENCODING_UTF8},
      {"\xFF\xFE", FILE_ENCODING_UNICODE},
      {"\xFE", FILE_ENCODING_UNICODE},
      {"a\xEF", FILE_ENCODING_ANSI},
  };
  for (const Case &c : cases) {
    Write("t", c.bytes);
    int encoding = -1;
    EXPECT_EQ(DetectTextFileEncoding(WFile("t"), &encoding), S_FALSE) << c.bytes;
    EXPECT_EQ(encoding, c.encoding) << c.bytes;
  }
  Write("empty", "");
  int encoding = -1;
  EXPECT_EQ(DetectTextFileEncoding(WFile("empty"), &encoding), S_OK);
  EXPECT_EQ(encoding, -1);
  EXPECT_EQ(DetectTextFileEncoding(WFile("missing"), &encoding), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(DetectTextFileEncoding(WFile("empty"), nullptr), E_POINTER);
}

TEST_F(FileSysHelperTest, WriteTextFileBytesAndRoundTrip) {
  struct Case {
    std::wstring text;
    int encoding;
    std::string bytes;
  } const cases[] = {
      {L"a", FILE_ENCODING_UTF8, "a"},
      {L"ab", FILE_ENCODING_UTF8, "ab"},
      {L"abc", FILE_ENCODING_UTF8,
       "\xEF\xBB\xBF"
       "abc"},
      {L"\u00E9", FILE_ENCODING_UTF8, "\xEF\xBB\xBF\xC3\xA9"},  // short but not ASCII: marked
      {L"", FILE_ENCODING_UTF8, ""},
      {L"A", FILE_ENCODING_UNICODE,
       std::string("\xFF\xFE"
                   "A\0",
                   4)},
      {L"\uFEFFA", FILE_ENCODING_UNICODE,
       std::string("\xFF\xFE"
                   "A\0",
                   4)},
      {L"\U0001F600", FILE_ENCODING_UNICODE, std::string("\xFF\xFE\x3D\xD8\x00\xDE", 6)},
      {L"\u4E2Dx", FILE_ENCODING_ANSI, "\xD6\xD0x"},
  };
  for (const Case &c : cases) {
    const CString text(c.text.c_str());
    ASSERT_TRUE(WriteTextFile(WFile("t"), text, c.encoding)) << c.bytes;
    EXPECT_EQ(Bytes("t"), c.bytes);
    CString back;
    EXPECT_EQ(ReadTextFile(WFile("t"), back, FILE_ENCODING_UNKNOWN), S_OK);
    EXPECT_EQ(back, c.text[0] == 0xFEFF ? CString(c.text.c_str() + 1) : text) << c.bytes;
  }
}

TEST_F(FileSysHelperTest, WriteTextFileFailures) {
  Write("keep", "content");
  for (int encoding : {int(FILE_ENCODING_UNKNOWN), 4, -1}) {
    EXPECT_FALSE(WriteTextFile(WFile("keep"), L"x", encoding)) << encoding;
  }
  EXPECT_EQ(Bytes("keep"), "content");  // a bad encoding touches nothing
  EXPECT_FALSE(WriteTextFile(WFile("no/such/folder"), L"x", FILE_ENCODING_UTF8));
  EXPECT_FALSE(WriteTextFile(W(dir_.path()), L"x", FILE_ENCODING_UTF8));
}

TEST_F(FileSysHelperTest, WriteBinaryFile) {
  const std::string data("a\0b", 3);
  Write("f", "longer old content");
  EXPECT_TRUE(WriteBinaryFile(WFile("f"), data.data(), 3, FALSE));
  EXPECT_EQ(Bytes("f"), data);
  EXPECT_TRUE(WriteBinaryFile(WFile("f"), "xy", 2, TRUE));
  EXPECT_EQ(Bytes("f"), data + "xy");
  EXPECT_TRUE(WriteBinaryFile(WFile("new"), "z", 1, TRUE));  // appending creates
  EXPECT_EQ(Bytes("new"), "z");
  EXPECT_TRUE(WriteBinaryFile(WFile("f"), nullptr, 0, FALSE));
  EXPECT_EQ(Bytes("f"), "");

  EXPECT_FALSE(WriteBinaryFile(WFile("f"), "x", -1, FALSE));
  EXPECT_FALSE(WriteBinaryFile(WFile("f"), nullptr, 1, FALSE));
  EXPECT_FALSE(WriteBinaryFile(WFile("no/folder"), "x", 1, FALSE));

  // A folder path is refused, not deleted.
  fs::create_directories(File("dir"));
  Write("dir/inside", "i");
  EXPECT_FALSE(WriteBinaryFile(WFile("dir"), "x", 1, FALSE));
  EXPECT_EQ(Bytes("dir/inside"), "i");

  // A name with wildcard characters replaces only that file.
  Write("w*", "old");
  Write("wother", "other");
  EXPECT_TRUE(WriteBinaryFile(WFile("w*"), "new", 3, FALSE));
  EXPECT_EQ(Bytes("w*"), "new");
  EXPECT_EQ(Bytes("wother"), "other");
}

// The names in the folder besides the given ones: what a write left behind.
std::vector<std::string> Leftovers(const std::string &folder, std::initializer_list<std::string> known) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (std::find(known.begin(), known.end(), name) == known.end()) names.push_back(name);
  }
  return names;
}

TEST_F(FileSysHelperTest, ReplacingKeepsPermissionsAndLeavesNothingBehind) {
  Write("f", "old content");
  chmod(File("f").c_str(), 0640);
  ASSERT_TRUE(WriteBinaryFile(WFile("f"), "new", 3, FALSE));
  EXPECT_EQ(Bytes("f"), "new");
  struct stat st;
  ASSERT_EQ(stat(File("f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Leftovers(dir_.path(), {"f"}), std::vector<std::string>{});

  // A symbolic link is followed: the file it names gets the new bytes.
  fs::create_symlink(File("f"), File("link"));
  ASSERT_TRUE(WriteBinaryFile(WFile("link"), "linked", 6, FALSE));
  EXPECT_TRUE(fs::is_symlink(File("link")));
  EXPECT_EQ(Bytes("f"), "linked");
}

// The longest names a folder takes (255 bytes), in one-byte and in
// four-byte characters: the new file beside each must fit as well.
TEST_F(FileSysHelperTest, ReplacingAFileWithTheLongestName) {
  const std::string ascii(255, 'n');
  const std::string wide = WideToMultiByte(CP_UTF8, std::wstring(63, L'\U0001F600'));
  for (const std::string &name : {ascii, wide}) {
    for (const char *bytes : {"created", "replaced"}) {
      EXPECT_TRUE(WriteBinaryFile(WFile(name), bytes, static_cast<int>(std::strlen(bytes)), FALSE)) << GetLastError();
      EXPECT_EQ(Bytes(name), bytes);
    }
  }
  EXPECT_EQ(Leftovers(dir_.path(), {ascii, wide}), std::vector<std::string>{});
}

TEST_F(FileSysHelperTest, ReadOnlyTargetIsRefused) {
  // No write permission for anyone marks a file read-only, also for root.
  Write("ro", "old");
  chmod(File("ro").c_str(), 0444);
  for (BOOL append : {FALSE, TRUE}) {
    SetLastError(0);
    EXPECT_FALSE(WriteBinaryFile(WFile("ro"), "new", 3, append)) << append;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Bytes("ro"), "old");
  }
  // Nor is a pipe (or a device) a file to replace.
  ASSERT_EQ(mkfifo(File("pipe").c_str(), 0666), 0);
  EXPECT_FALSE(WriteBinaryFile(WFile("pipe"), "x", 1, FALSE));
  EXPECT_TRUE(fs::is_fifo(File("pipe")));
  EXPECT_EQ(Leftovers(dir_.path(), {"ro", "pipe"}), std::vector<std::string>{});
}

// Runs the write of the test below in a child without root's rights (the
// user nobody), so that permission bits hold. The child is this program,
// told by the environment what to write.
const char kWriteAsUserVariable[] = "TICKORA_TEST_WRITE_AS_USER";

// Disabled: only the child of RefusedInAFolderWithoutWritePermission runs it.
TEST(WriteBinaryFileChild, DISABLED_WritesTheFileItIsGiven) {
  const char *target = std::getenv(kWriteAsUserVariable);
  if (!target) GTEST_SKIP() << "only run as the child of RefusedInAFolderWithoutWritePermission";
  const BOOL written = WriteBinaryFile(W(target), "new", 3, FALSE);
  _exit(written ? 10 : GetLastError() == ERROR_ACCESS_DENIED ? 20 : 30);
}

// The exit code of the child that runs the write as nobody; empty when the
// child cannot be started without root's rights.
std::optional<int> WriteAsNobody(const std::string &target) {
  const passwd *nobody = getpwnam("nobody");
  const uid_t uid = nobody ? nobody->pw_uid : 65534;
  const gid_t gid = nobody ? nobody->pw_gid : 65534;
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  const std::string variable = std::string(kWriteAsUserVariable) + "=" + target;
  const std::string filter = "--gtest_filter=WriteBinaryFileChild.DISABLED_WritesTheFileItIsGiven";
  std::vector<char *> env;
  for (char **e = environ; *e; ++e) env.push_back(*e);
  env.push_back(const_cast<char *>(variable.c_str()));
  env.push_back(nullptr);
  char *argv[] = {const_cast<char *>(self.c_str()), const_cast<char *>(filter.c_str()),
                  const_cast<char *>("--gtest_also_run_disabled_tests"), nullptr};
  const pid_t pid = fork();
  if (pid < 0) return std::nullopt;
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) _exit(126);
    execve(self.c_str(), argv, env.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 126 || code == 127) return std::nullopt;
  return code;
}

TEST_F(FileSysHelperTest, RefusedInAFolderWithoutWritePermission) {
  // The file itself may be written; only its folder refuses the new file.
  fs::create_directories(File("locked"));
  const std::string target = Write("locked/f", "old");
  chmod(target.c_str(), 0666);
  chmod(File("locked").c_str(), 0555);
  if (geteuid() != 0) {
    EXPECT_FALSE(WriteBinaryFile(W(target), "new", 3, FALSE));
  } else {
    chmod(dir_.path().c_str(), 0755);  // the child must reach the folder
    const std::optional<int> code = WriteAsNobody(target);
    chmod(File("locked").c_str(), 0755);
    if (!code) GTEST_SKIP() << "running as root and no child without root's rights could be started";
    EXPECT_EQ(*code, 20) << "10: written, 20: refused with ERROR_ACCESS_DENIED, other: failed otherwise";
  }
  chmod(File("locked").c_str(), 0755);
  EXPECT_EQ(Bytes("locked/f"), "old");
  EXPECT_EQ(Leftovers(File("locked"), {"f"}), std::vector<std::string>{});
}

// A file-size limit for this process, under which writes past it fail
// (EFBIG) instead of raising SIGXFSZ.
class ScopedFileSizeLimit {
 public:
  explicit ScopedFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~ScopedFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  sighandler_t oldHandler_;
};

// A write that fails half-way leaves the old file whole and nothing beside it.
TEST_F(FileSysHelperTest, WriteFailingHalfWayLeavesTheOldFile) {
  const std::string big(1 << 20, 'n');
  {
    testsupport::ScopedTmpfs full(File("small"), "64k");
    if (full.mounted()) {
      const std::string target = Write("small/f", "old content");
      SetLastError(0);
      EXPECT_FALSE(WriteBinaryFile(W(target), big.data(), static_cast<int>(big.size()), FALSE));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
      EXPECT_EQ(Bytes("small/f"), "old content");
      EXPECT_EQ(Leftovers(File("small"), {"f"}), std::vector<std::string>{});
    } else {
      std::printf("note: no tmpfs could be mounted here; the full file system case runs with a file-size limit only\n");
    }
  }
  Write("f", "old content");
  ScopedFileSizeLimit limit(64 * 1024);
  for (BOOL append : {FALSE, TRUE}) {
    EXPECT_FALSE(WriteBinaryFile(WFile("f"), big.data(), static_cast<int>(big.size()), append)) << append;
    EXPECT_EQ(Bytes("f"), "old content") << append;
    EXPECT_EQ(Leftovers(dir_.path(), {"f", "small"}), std::vector<std::string>{});
  }
}

TEST_F(FileSysHelperTest, GetFileLength) {
  Write("f", "12345");
  ULONGLONG length = 0;
  EXPECT_TRUE(GetFileLength(WFile("f"), length));
  EXPECT_EQ(length, 5u);
  EXPECT_FALSE(GetFileLength(WFile("missing"), length));
  EXPECT_FALSE(GetFileLength(W(dir_.path()), length));
}

TEST(FormatFileSize, Ranges) {
  struct Case {
    int size;
    BOOL decimals;
    const wchar_t *text;
  } const cases[] = {
      {0, FALSE, L"0B"},          {-5, TRUE, L"-5B"},         {1023, FALSE, L"1023B"},
      {1024, FALSE, L"1K"},       {1048575, TRUE, L"1023K"},  {1048576, FALSE, L"1M"},
      {1048576, TRUE, L"1.0M"},   {1572864, TRUE, L"1.5M"},   {1073741823, FALSE, L"1023M"},
      {1073741824, FALSE, L"1G"}, {2147483647, FALSE, L"1G"}, {2147483647, TRUE, L"2.00G"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(FormatFileSize(c.size, c.decimals), CString(c.text)) << c.size << " " << c.decimals;
  }
}

}  // namespace

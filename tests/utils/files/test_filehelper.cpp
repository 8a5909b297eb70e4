#include "utils/files/filehelper.h"

#include <gtest/gtest.h>
#include <linux/magic.h>
#include <sys/vfs.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/system/afxfile.h"
#include "platform/system/atlfile.h"
#include "platform/system/fileapi.h"
#include "platform/text/codepage.h"
#include "platform/window/filedialog.h"
#include "tests/support/print_cstring.h"
#include "tests/support/scoped_env.h"
#include "tests/support/scoped_tmpfs.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

CString W(const std::string &utf8) { return CString(MultiByteToWide(CP_UTF8, utf8).c_str()); }

class FileHelperTest : public ::testing::Test {
 protected:
  CString WFile(const std::string &name) const { return W(dir_.File(name)); }
  std::string Bytes(const std::string &name) const { return testsupport::ReadFileBytes(dir_.File(name)); }
  testsupport::TempDir dir_;
};

TEST_F(FileHelperTest, TextFilesAreBareUtf16Le) {
  const CString text(L"a\u4E2D\U0001F600");
  dir_.Write("t", "old content that is longer");
  ASSERT_TRUE(SaveTextToFile(WFile("t"), text));
  EXPECT_EQ(Bytes("t"), std::string("a\0\x2D\x4E\x3D\xD8\x00\xDE", 8));  // no mark, no terminator
  EXPECT_EQ(LoadTextFromFile(WFile("t")), text);

  struct Case {
    std::string bytes;
    const wchar_t *text;
  } const cases[] = {
      {std::string("a\0b\0c", 5), L"ab"},    // odd last byte ignored
      {std::string("a\0\0\0b\0", 6), L"a"},  // ends at a NUL unit
      {"", L""},
  };
  for (const Case &c : cases) {
    dir_.Write("in", c.bytes);
    EXPECT_EQ(LoadTextFromFile(WFile("in")), CString(c.text));
  }

  EXPECT_EQ(LoadTextFromFile(WFile("missing")), CString());
  EXPECT_FALSE(SaveTextToFile(WFile("no/folder/t"), text));
  EXPECT_FALSE(SaveTextToFile(W(dir_.path()), text));
}

TEST_F(FileHelperTest, FailedReadThrows) {
  // A folder opened through the file class cannot be read.
  CFile file;
  EXPECT_FALSE(file.Open(W(dir_.path()), CFile::modeRead));
  dir_.Write("w", "x");
  ASSERT_TRUE(file.Open(WFile("w"), CFile::modeWrite));
  char c;
  EXPECT_THROW(file.Read(&c, 1), CFileException);  // opened for writing only
}

TEST_F(FileHelperTest, Tests) {
  dir_.Write("f", "x");
  EXPECT_TRUE(IsFileExist(WFile("f")));
  EXPECT_TRUE(IsFileExist(W(dir_.path())));
  EXPECT_FALSE(IsFileExist(WFile("missing")));
  const std::string longName(259 - dir_.path().size(), 'n');  // path of exactly 260 characters
  dir_.Write(longName, "x");
  EXPECT_EQ(WFile(longName).GetLength(), 260);
  EXPECT_FALSE(IsFileExist(WFile(longName)));

  EXPECT_TRUE(IsDirectory(W(dir_.path())));
  EXPECT_FALSE(IsDirectory(WFile("f")));
  EXPECT_FALSE(IsDirectory(WFile("missing")));

  EXPECT_FALSE(IsFileInUse(WFile("f")));
  EXPECT_TRUE(IsFileInUse(WFile("missing")));
}

// A file this program holds open through its file layer is in use, for
// reading or for writing, whatever the share mode; closed, it is free again.
TEST_F(FileHelperTest, FilesHeldOpenAreInUse) {
  dir_.Write("f", "x");
  struct Case {
    const char *what;
    DWORD access, share;
  } const cases[] = {
      {"reader", FILE_READ_DATA, FILE_SHARE_READ},
      {"writer", FILE_WRITE_DATA, FILE_SHARE_WRITE},
      {"writer sharing all", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE},
      {"reader and writer", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ},
  };
  for (const Case &c : cases) {
    HANDLE h = CreateFileW(WFile("f"), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << c.what;
    EXPECT_TRUE(IsFileInUse(WFile("f"))) << c.what;
    CloseHandle(h);
    EXPECT_FALSE(IsFileInUse(WFile("f"))) << c.what;
  }
  {
    CFile file;
    ASSERT_TRUE(file.Open(WFile("f"), CFile::modeWrite));
    EXPECT_TRUE(IsFileInUse(WFile("f"))) << "the file class writing";
  }
  {
    CAtlFile file;
    ASSERT_EQ(file.Create(WFile("f"), GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS), S_OK);
    EXPECT_TRUE(IsFileInUse(WFile("f"))) << "the ATL file class writing";
  }
  EXPECT_FALSE(IsFileInUse(WFile("f")));
}

// The file system of the mount that holds the path. Where the kernel's own
// answer (statfs) shows the path is not on the expected file system here,
// that row is left out.
TEST_F(FileHelperTest, FileSystemNameIsThatOfTheMountHoldingThePath) {
  const CString root = GetFileSystemName(L"/");
  EXPECT_FALSE(root.IsEmpty());
  EXPECT_EQ(GetFileSystemName(L"C:\\anything"), root);  // a drive path names the root file system
  EXPECT_EQ(GetFileSystemName(L""), CString());

  // A tmpfs of this test's own where mounting is allowed (its name has a blank, which the mount
  // table escapes).
  testsupport::ScopedTmpfs tmpfs(dir_.File("tmp fs"), "16k");
  fs::create_symlink("/proc", dir_.File("to-proc"));
  struct Case {
    std::string path, probe;  // probe: an existing path on the same file system
    long magic;
    const wchar_t *name;
  } const cases[] = {
      {"/proc/self/status", "/proc/self/status", PROC_SUPER_MAGIC, L"proc"},
      {"/proc", "/proc", PROC_SUPER_MAGIC, L"proc"},
      {dir_.File("to-proc") + "/self", "/proc/self", PROC_SUPER_MAGIC, L"proc"},  // a link is followed
      {"/dev/shm/not-there/x", "/dev/shm", TMPFS_MAGIC, L"tmpfs"},
      {dir_.File("tmp fs") + "/new-file", dir_.File("tmp fs"), TMPFS_MAGIC, L"tmpfs"},
      {dir_.File("tmp fs") + "/../tmp fs", dir_.File("tmp fs"), TMPFS_MAGIC, L"tmpfs"},
  };
  for (const Case &c : cases) {
    struct statfs st;
    if (statfs(c.probe.c_str(), &st) != 0 || st.f_type != c.magic) {
      std::printf("note: %s is not on %ls here; not checked\n", c.probe.c_str(), c.name);
      continue;
    }
    EXPECT_EQ(GetFileSystemName(W(c.path)), CString(c.name)) << c.path;
  }
  // Beside a mount, in the folder that holds it: the folder's file system.
  EXPECT_EQ(GetFileSystemName(WFile("tmp fs-sibling")), GetFileSystemName(W(dir_.path())));
}

TEST_F(FileHelperTest, DeleteAndCopy) {
  dir_.Write("src", "data");
  dir_.Write("dst", "old");
  EXPECT_TRUE(CopyFileTo(WFile("src"), WFile("dst")));  // replaces
  EXPECT_EQ(Bytes("dst"), "data");
  EXPECT_EQ(fs::last_write_time(dir_.File("dst")), fs::last_write_time(dir_.File("src")));
  EXPECT_FALSE(CopyFileTo(WFile("missing"), WFile("dst2")));
  EXPECT_FALSE(fs::exists(dir_.File("dst2")));
  EXPECT_FALSE(CopyFileTo(W(dir_.path()), WFile("dst3")));

  EXPECT_TRUE(DeleteFileSafe(WFile("dst")));
  EXPECT_FALSE(fs::exists(dir_.File("dst")));
  EXPECT_FALSE(DeleteFileSafe(WFile("dst")));
  fs::create_directories(dir_.File("folder"));
  EXPECT_FALSE(DeleteFileSafe(WFile("folder")));  // folders are not files
  EXPECT_TRUE(fs::is_directory(dir_.File("folder")));
}

TEST(FileHelperNames, FoldersAndProgramName) {
  testsupport::TempDir dir;
  {
    testsupport::ScopedEnv data("XDG_DATA_HOME", dir.path());
    EXPECT_EQ(GetAppDataPath(), W(dir.path()));
  }
  EXPECT_FALSE(GetDesktopPath().IsEmpty());
  EXPECT_EQ(GetAppFileName(), W(fs::read_symlink("/proc/self/exe").filename().string()));
}

// Outside the GTK backend the choosers are answered by the test's handler.
TEST(FileHelperDialogs, FileDialogPassesItsSettingsAndKeepsPathOnCancel) {
  std::vector<FileChooserRequest> seen;
  std::optional<std::wstring> answer = L"/data/report";
  SetFileChooserHandler([&](const FileChooserRequest &r) {
    seen.push_back(r);
    return answer;
  });
  CString path = L"unchanged";
  EXPECT_TRUE(ShowFileDialog(path, L"/data", nullptr, L"Text|*.txt;*.log|All|*.*||", L"txt", FALSE, L"report"));
  EXPECT_EQ(path, CString(L"/data/report.txt"));  // the default extension is added when saving
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, FileChooserRequest::SAVE);
  EXPECT_EQ(seen[0].folder, L"/data");
  EXPECT_EQ(seen[0].name, L"report");
  EXPECT_TRUE(seen[0].confirmOverwrite);
  using Filters = std::vector<std::pair<std::wstring, std::wstring>>;
  EXPECT_EQ(seen[0].filters, (Filters{{L"Text", L"*.txt;*.log"}, {L"All", L"*.*"}}));

  answer = L"/data/a.csv";
  EXPECT_TRUE(ShowFileDialog(path, L"", nullptr, L"", L"txt", TRUE, L""));
  EXPECT_EQ(path, CString(L"/data/a.csv"));
  EXPECT_EQ(seen[1].kind, FileChooserRequest::OPEN);
  EXPECT_FALSE(seen[1].confirmOverwrite);

  answer.reset();
  EXPECT_FALSE(ShowFileDialog(path, L"", nullptr, L"", nullptr, TRUE, L""));
  EXPECT_EQ(path, CString(L"/data/a.csv"));
  SetFileChooserHandler(nullptr);
}

TEST(FileHelperDialogs, BrowseFolderStartsInTheParentFolder) {
  std::wstring shownFolder, title;
  std::optional<std::wstring> answer = L"/picked";
  SetFileChooserHandler([&](const FileChooserRequest &r) {
    EXPECT_EQ(r.kind, FileChooserRequest::FOLDER);
    shownFolder = r.folder;
    title = r.title;
    return answer;
  });
  CString folder;
  EXPECT_TRUE(BrowseFolder(L"/a/b.txt", nullptr, folder));
  EXPECT_EQ(shownFolder, L"/a");
  EXPECT_EQ(title, L"浏览目录");
  EXPECT_EQ(folder, CString(L"/picked"));

  // Cancelled: FALSE, and a pre-filled text stays as it was.
  answer.reset();
  for (const wchar_t *before : {L"/kept", L""}) {
    folder = before;
    EXPECT_FALSE(BrowseFolder(L"/a/b.txt", nullptr, folder)) << before;
    EXPECT_EQ(folder, CString(before));
  }
  SetFileChooserHandler(nullptr);
}

}  // namespace

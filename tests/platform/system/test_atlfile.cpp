// The file-handle class over POSIX descriptors, in a temporary folder.
#include <gtest/gtest.h>

#include <string>

#include "platform/system/atlfile.h"
#include "platform/text/winerror.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring Wide(const std::string &s) { return std::wstring(s.begin(), s.end()); }

}  // namespace

TEST(AtlFile, CreateWritesAndTruncates) {
  testsupport::TempDir dir;
  const std::string path = dir.Write("f.bin", "old contents");
  CAtlFile file;
  ASSERT_EQ(file.Create(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, CREATE_ALWAYS), S_OK);
  DWORD written = 7;
  EXPECT_EQ(file.Write("ab\0c", 4, &written), S_OK);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(file.Write("", 0), S_OK);
  file.Close();
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(testsupport::ReadFileBytes(path), std::string("ab\0c", 4));
  EXPECT_EQ(file.Write("x", 1), HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE));
}

TEST(AtlFile, CreateFailures) {
  testsupport::TempDir dir;
  const struct {
    std::wstring path;
    DWORD access, disposition;
    HRESULT expected;
  } cases[] = {
      {Wide(dir.File("none/f")), GENERIC_WRITE, CREATE_ALWAYS, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
      {Wide(dir.path()), GENERIC_WRITE, CREATE_ALWAYS, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)},
      {Wide(dir.File("f")), GENERIC_WRITE, 3 /* OPEN_EXISTING */, E_INVALIDARG},
      {L"", GENERIC_WRITE, CREATE_ALWAYS, E_INVALIDARG},
  };
  for (const auto &c : cases) {
    CAtlFile file;
    EXPECT_EQ(file.Create(c.path.c_str(), c.access, 0, c.disposition), c.expected);
    EXPECT_FALSE(file.IsOpen());
  }
}

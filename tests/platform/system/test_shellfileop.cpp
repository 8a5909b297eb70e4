// Copying and deleting file lists through SHFileOperationW, in a temporary folder.
#include "platform/system/shellfileop.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text/codepage.h"
#include "tests/support/temp_dir.h"

namespace {

std::wstring W(const std::string &utf8) { return MultiByteToWide(CP_UTF8, utf8); }

// A double-NUL-terminated list of paths.
std::wstring List(std::initializer_list<std::string> paths) {
  std::wstring list;
  for (const std::string &p : paths) list += W(p) + L'\0';
  return list + L'\0';
}

TEST(ShellFileOperation, ListsAndDestinations) {
  testsupport::TempDir dir;
  dir.Write("a", "A");
  dir.Write("b", "B");

  // Several sources to one new destination: it becomes their folder.
  std::wstring from = List({dir.File("a"), dir.File("b")});
  std::wstring to = List({dir.File("both")});
  SHFILEOPSTRUCTW op;
  op.wFunc = FO_COPY;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  EXPECT_EQ(SHFileOperationW(&op), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("both/a")), "A");
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("both/b")), "B");

  // Paired destinations.
  to = List({dir.File("a2"), dir.File("b2")});
  op.pTo = to.c_str();
  op.fFlags |= FOF_MULTIDESTFILES;
  EXPECT_EQ(SHFileOperationW(&op), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("a2")), "A");
  EXPECT_EQ(testsupport::ReadFileBytes(dir.File("b2")), "B");

  // A missing source stops the operation with an error.
  from = List({dir.File("nothing*")});
  op.pFrom = from.c_str();
  op.wFunc = FO_DELETE;
  EXPECT_NE(SHFileOperationW(&op), 0);
  op.wFunc = 99;
  EXPECT_NE(SHFileOperationW(&op), 0);
}

}  // namespace

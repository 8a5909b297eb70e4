#include "utils/files/pathhelper.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/print_cstring.h"

namespace {

TEST(PathSplitting, NamePartsAndParent) {
  struct Case {
    const wchar_t *path, *name, *base, *ext, *parent;
  } const cases[] = {
      {L"C:/dir/a.txt", L"a.txt", L"a", L".txt", L"C:/dir"},
      {L"a.txt", L"a.txt", L"a", L".txt", L""},
      {L"/dir/a.b.txt", L"a.b.txt", L"a.b", L".txt", L"/dir"},
      {L"/dir/README", L"README", L"README", L"README", L"/dir"},
      {L"/dir.d/README", L"README", L"README", L"README", L"/dir.d"},  // dots of folders don't count
      {L"C:/", L"", L"", L"", L"C:"},
      {L"/", L"", L"", L"", L""},
      {L"/tmp/a\\b.txt", L"a\\b.txt", L"a\\b", L".txt", L"/tmp"},  // a backslash is part of a name
      {L"", L"", L"", L"", L""},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(GetFileName(c.path), CString(c.name)) << c.path;
    EXPECT_EQ(GetFileBaseName(c.path), CString(c.base)) << c.path;
    EXPECT_EQ(GetFileExt(c.path), CString(c.ext)) << c.path;
    EXPECT_EQ(GetParentFolder(c.path), CString(c.parent)) << c.path;
  }
}

TEST(JoinPathList, OneSeparatorAtEachSeam) {
  struct Case {
    std::vector<CString> parts;
    const wchar_t *separator;
    const wchar_t *joined, *joinedKeepTrailing;
  } const cases[] = {
      {{L"C:", L"dir/", L"/file.txt"}, L"/", L"C:/dir/file.txt", L"C:/dir/file.txt/"},
      {{L"a", L"b/"}, L"/", L"a/b/", L"a/b/"},  // the last piece's own separator stays
      {{L"a", L"", L"b"}, L"/", L"a/b", L"a/b/"},
      {{L"a", L""}, L"/", L"a", L"a/"},  // the empty last piece decides nothing
      {{L"", L""}, L"/", L"", L""},
      {{}, L"/", L"", L""},
      {{L"a", L"b"}, L"", L"ab", L"ab"},
      {{L"//srv", L"x"}, L"/", L"//srv/x", L"//srv/x/"},  // the first piece keeps its leading separators
      {{L"a//", L"//b"}, L"/", L"a///b", L"a///b/"},      // one separator removed per seam
      {{L"a", L"b"}, L"::", L"a::b", L"a::b::"},
      {{L"a:", L"b"}, L"::", L"a:::b", L"a:::b::"},  // a partial separator is not a separator
  };
  for (const auto &c : cases) {
    EXPECT_EQ(JoinPathList(FALSE, c.separator, c.parts), CString(c.joined)) << c.joined;
    EXPECT_EQ(JoinPathList(TRUE, c.separator, c.parts), CString(c.joinedKeepTrailing)) << c.joined;
  }
}

TEST(JoinPathList, TwoPieceAndArgumentListForms) {
  EXPECT_EQ(JoinPath(L"/home", L"file", L"/", FALSE), CString(L"/home/file"));
  EXPECT_EQ(JoinPath(L"/home/", L"/", L"/", FALSE), CString(L"/home/"));
  const CString a = L"C:", b = L"dir/", c = L"/file.txt";
  EXPECT_EQ(JoinPathArgs(FALSE, L"/", 3, &a, &b, &c), CString(L"C:/dir/file.txt"));
  EXPECT_EQ(JoinPathArgs(TRUE, L"/", 3, &a, &b, &c), CString(L"C:/dir/file.txt/"));
  EXPECT_EQ(JoinPathArgs(FALSE, L"/", 1, &a), CString(L"C:"));
  EXPECT_EQ(JoinPathArgs(FALSE, L"/", 0, &a), CString());
  EXPECT_EQ(JoinPathArgs(FALSE, L"/", 2, &a, static_cast<const CString *>(nullptr)), CString(L"C:"));
}

}  // namespace

#include "utils/system/version.h"

#include <gtest/gtest.h>

#include "tests/support/print_cstring.h"

namespace {

struct Parts {
  int major, minor, build, revision;
};

void ExpectParts(const CVersion &v, Parts p, const wchar_t *what) {
  EXPECT_EQ(v.GetMajor(), p.major) << what;
  EXPECT_EQ(v.GetMinor(), p.minor) << what;
  EXPECT_EQ(v.GetBuild(), p.build) << what;
  EXPECT_EQ(v.GetRevision(), p.revision) << what;
}

TEST(CVersionParse, PiecesAndFailures) {
  struct Case {
    const wchar_t *text;
    BOOL ok;
    Parts parts;
    const wchar_t *formatted;
  } const cases[] = {
      {L"1.2", TRUE, {1, 2, -1, -1}, L"1.2"},
      {L"1..2", TRUE, {1, 2, -1, -1}, L"1.2"},  // empty pieces are dropped
      {L"1.2.5.7", TRUE, {1, 2, 5, 7}, L"1.2.0005.7"},
      {L"1.2.12345", TRUE, {1, 2, 12345, -1}, L"1.2.2345"},  // the build shows its last four digits
      {L"3.x", TRUE, {3, 0, -1, -1}, L"3.0"},                // no digits read as 0
      {L".4.", FALSE, {-1, -1, -1, -1}, L""},                // one piece
      {L"1.2.3.4.5", FALSE, {-1, -1, -1, -1}, L""},
      {L"-1.2", FALSE, {-1, -1, -1, -1}, L""},
      {L"1.2.-3", FALSE, {-1, -1, -1, -1}, L""},
  };
  for (const auto &c : cases) {
    CVersion v(9, 9, 9, 9);
    EXPECT_EQ(v.Parse(c.text), c.ok) << c.text;
    ExpectParts(v, c.parts, c.text);
    EXPECT_EQ(v.Format(), CString(c.formatted)) << c.text;
    ExpectParts(CVersion(CString(c.text)), c.parts, c.text);
  }
  CVersion kept(1, 2, 3, 4);
  EXPECT_FALSE(kept.Parse(L""));  // an empty text leaves the version as it was
  ExpectParts(kept, {1, 2, 3, 4}, L"empty");
}

TEST(CVersionConstruct, AbsentPartsAndFormat) {
  ExpectParts(CVersion(), {-1, -1, -1, -1}, L"default");
  ExpectParts(CVersion(1, 2), {1, 2, -1, -1}, L"two");
  ExpectParts(CVersion(1, 2, 3), {1, 2, 3, -1}, L"three");
  EXPECT_EQ(CVersion().Format(), CString());
  EXPECT_EQ(CVersion(1, 2, 3).Format(), CString(L"1.2.0003"));
}

TEST(CVersionCompare, PartByPartAbsentIsSmallest) {
  struct Case {
    CVersion a, b;
    int result;
  } const cases[] = {
      {CVersion(1, 2), CVersion(1, 2, 0), -1},
      {CVersion(1, 2, 0), CVersion(1, 2), 1},
      {CVersion(1, 2, 3, 4), CVersion(1, 2, 3, 4), 0},
      {CVersion(2, 0), CVersion(1, 9, 9, 9), 1},
      {CVersion(1, 10), CVersion(1, 9), 1},
      {CVersion(), CVersion(0, 0), -1},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(c.a.Compare(c.b), c.result) << c.a.Format().GetString();
    EXPECT_EQ(c.a == c.b, c.result == 0);
    EXPECT_EQ(c.a != c.b, c.result != 0);
    EXPECT_EQ(c.a < c.b, c.result < 0);
    EXPECT_EQ(c.a <= c.b, c.result <= 0);
    EXPECT_EQ(c.a > c.b, c.result > 0);
    EXPECT_EQ(c.a >= c.b, c.result >= 0);
  }
}

TEST(CVersionPack, PartsMaskedToTheirBits) {
  EXPECT_EQ(CVersion(1, 2, 3, 4).Pack(), 0x10203004u);
  EXPECT_EQ(CVersion(1, 2).Pack(), 0x102FFFFFu);                        // absent parts fill with ones
  EXPECT_EQ(CVersion(0x1F, 0x1FF, 0x1FF, 0x1FFF).Pack(), 0xFFFFFFFFu);  // high bits are lost
  EXPECT_EQ(CVersion().Pack(), 0xFFFFFFFFu);
}

TEST(CShortVersion, Format) {
  EXPECT_EQ(CShortVersion().Format(), CString(L"0.0"));
  EXPECT_EQ(CShortVersion(3, 1).Format(), CString(L"3.1"));
  EXPECT_EQ(CShortVersion(3, -1).Format(), CString(L"3"));
  EXPECT_EQ(CShortVersion(-1, 2).Format(), CString());  // the minor only after a present major
}

TEST(COsVersion, NamesThePlatformFamily) {
  struct Case {
    int platform;
    CVersion version;
    const wchar_t *name;
  } const cases[] = {
      {2, CVersion(5, 1, 2600, 0), L"Microsoft Windows NT 5.1.2600.0"},
      {1, CVersion(4, 10, 1998, 0), L"Microsoft Windows 98 4.10.1998.0"},
      {1, CVersion(5, 0), L"Microsoft Windows 98 5.0"},
      {1, CVersion(4, 0, 950, 0), L"Microsoft Windows 95 4.0.0950.0"},
      {0, CVersion(3, 1), L"Microsoft Win32S 3.1"},
      {3, CVersion(6, 0), L"Microsoft Windows CE 6.0"},
      {7, CVersion(1, 0), L"<unknown> 1.0"},
  };
  for (const auto &c : cases) {
    const COsVersion os(c.platform, c.version, CShortVersion(2, 0));
    EXPECT_EQ(os.GetName(), CString(c.name));
    EXPECT_EQ(os.GetPlatform(), c.platform);
    EXPECT_EQ(os.GetServicePack().Format(), CString(L"2.0"));
    EXPECT_EQ(os.GetVersion(), c.version);
  }
  const COsVersion none;
  EXPECT_EQ(none.GetPlatform(), COsVersion::PLATFORM_NOT_SET);
  EXPECT_EQ(none.GetVersion().Format(), CString());
  EXPECT_EQ(none.GetServicePack().Format(), CString(L"0.0"));
  EXPECT_EQ(none.GetName(), CString(L"<unknown> "));
}

}  // namespace

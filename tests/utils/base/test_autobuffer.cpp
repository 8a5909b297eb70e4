// pcutil::CAutoBuffer: zero-filled allocation, appending (also from its own
// bytes), checked access and refusal of sizes that would overflow.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>
#include <string>

#include "tests/support/assert_recorder.h"
#include "utils/base/autobuffer.h"

namespace {

using pcutil::CAutoBuffer;

std::string Bytes(const CAutoBuffer &b) { return b.ToString(); }

class AutoBuffer : public ::testing::Test {
 protected:
  testsupport::AssertRecorder asserts_;
};

TEST_F(AutoBuffer, AllocZeroesAndKeepsSameSizeBlock) {
  CAutoBuffer b(4);
  EXPECT_EQ(Bytes(b), std::string(4, '\0'));
  std::memset(b.GetData(), 'x', 4);
  BYTE *block = b.GetData();
  EXPECT_TRUE(b.Alloc(4));  // same size: same block, cleared
  EXPECT_EQ(b.GetData(), block);
  EXPECT_EQ(Bytes(b), std::string(4, '\0'));
  EXPECT_TRUE(b.Alloc(6));
  EXPECT_EQ(b.GetSize(), 6);
  EXPECT_FALSE(b.Alloc(0));  // size 0 empties
  EXPECT_EQ(b.GetSize(), 0);
  EXPECT_EQ(b.GetData(), nullptr);
  EXPECT_FALSE(b.Alloc(0x80000000u));  // beyond the int range of the size
  EXPECT_EQ(b.GetData(), nullptr);
}

TEST_F(AutoBuffer, SetData) {
  CAutoBuffer b;
  EXPECT_TRUE(b.SetData("a\0b", 3));
  EXPECT_EQ(Bytes(b), std::string("a\0b", 3));  // zero bytes kept
  EXPECT_FALSE(b.SetData("abc", 0));
  EXPECT_EQ(b.GetSize(), 0);
  b.SetData("abcdef", 6);
  EXPECT_FALSE(b.SetData(nullptr, 5));
  EXPECT_EQ(b.GetSize(), 0);
  EXPECT_EQ(b.GetData(), nullptr);

  b.SetData("abcdef", 6);
  EXPECT_TRUE(b.SetData(b.GetData() + 2, 3));  // from its own bytes
  EXPECT_EQ(Bytes(b), "cde");
  EXPECT_TRUE(b.SetData(b.GetData(), 3));  // same size, same bytes
  EXPECT_EQ(Bytes(b), "cde");
}

TEST_F(AutoBuffer, Append) {
  CAutoBuffer b;
  b.Append("ab", 2);
  b.Append("cd", 2);
  EXPECT_EQ(Bytes(b), "abcd");
  b.Append(b.GetData(), b.GetSize());  // its own bytes: doubles
  EXPECT_EQ(Bytes(b), "abcdabcd");
  b.Append(b.GetData() + 6, 2);
  EXPECT_EQ(Bytes(b), "abcdabcdcd");

  EXPECT_EQ(asserts_.count(), 0);
  b.Append("zz", 0);
  b.Append(nullptr, 3);
  EXPECT_EQ(Bytes(b), "abcdabcdcd");  // nothing changes, reported twice
  EXPECT_EQ(asserts_.count(), 2);
}

TEST_F(AutoBuffer, AppendThatWouldOverflowTheSizeFailsCleanly) {
  // The total would pass the int range: refused before any arithmetic
  // wraps or any byte is read from the source.
  static const char source[4] = "xyz";
  for (DWORD extra : {DWORD(INT_MAX), DWORD(0x80000000u), DWORD(0xFFFFFFFFu)}) {
    CAutoBuffer b;
    b.SetData("abc", 3);
    asserts_.Clear();
    b.Append(source, extra);
    EXPECT_EQ(Bytes(b), "abc") << extra;
    EXPECT_EQ(asserts_.count(), 1);
  }
}

TEST_F(AutoBuffer, CopyAttachSwap) {
  CAutoBuffer a;
  a.SetData("hello", 5);
  CAutoBuffer b(a);
  EXPECT_EQ(Bytes(b), "hello");
  EXPECT_NE(b.GetData(), a.GetData());
  CAutoBuffer empty;
  b = empty;  // an empty source leaves the buffer empty
  EXPECT_EQ(b.GetSize(), 0);
  a = a;
  EXPECT_EQ(Bytes(a), "hello");

  BYTE *raw = new BYTE[3]{'x', 'y', 'z'};
  EXPECT_TRUE(b.Attach(raw, 3));
  EXPECT_EQ(raw, nullptr);
  EXPECT_EQ(Bytes(b), "xyz");
  a.Swap(b);
  EXPECT_EQ(Bytes(a), "xyz");
  EXPECT_EQ(Bytes(b), "hello");
}

TEST_F(AutoBuffer, CheckedAccess) {
  CAutoBuffer b;
  const CAutoBuffer &cb = b;
  try {
    b[0];
    ADD_FAILURE();
  } catch (const std::out_of_range &e) {
    EXPECT_STREQ(e.what(), "empty pointer");
  }
  b.SetData("abc", 3);
  b[1] = 'X';
  EXPECT_EQ(cb[1], 'X');
  for (int index : {3, 4, -1}) {
    try {
      cb[index];
      ADD_FAILURE() << index;
    } catch (const std::out_of_range &e) {
      EXPECT_STREQ(e.what(), "out of index");
    }
  }
  EXPECT_TRUE(CAutoBuffer().ToString().empty());
}

}  // namespace

// The gzip decoder against output of the real gzip tool.
#include "utils/http/detail/gzipdecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"

using pcutil::CGzipDecoder;

namespace {

// Output of `gzip -c <options>` for these bytes.
std::string GzipTool(const std::string &data, const std::string &options = "-n") {
  testsupport::TempDir dir;
  std::string in = dir.Write("in.txt", data);
  std::string cmd = "gzip -c " + options + " '" + in + "'";
  FILE *p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  return out;
}

std::string Text(int n, unsigned seed = 1) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s += "abcdefghij \n"[(seed >> 16) % 12];
  }
  return s;
}

// Whole input (piece 0), or fed in pieces of that many bytes: every split
// must give the same result.
constexpr size_t kPieces[] = {0, 1, 7, 4096};

std::string Decode(const std::string &body, bool *complete = nullptr, size_t piece = 0) {
  if (piece == 0) {
    CGzipDecoder d(reinterpret_cast<const BYTE *>(body.data()), static_cast<int>(body.size()));
    if (complete) *complete = d.IsComplete();
    return std::string(reinterpret_cast<const char *>(d.GetOutput()), static_cast<size_t>(d.GetOutputSize()));
  }
  std::string out(1 << 20, '\0');
  CGzipDecoder d(reinterpret_cast<BYTE *>(out.data()), static_cast<DWORD>(out.size()));
  for (size_t at = 0; at < body.size(); at += piece)
    d.Feed(reinterpret_cast<const BYTE *>(body.data()) + at, std::min(piece, body.size() - at));
  bool done = d.Finish();
  if (complete) *complete = done;
  out.resize(static_cast<size_t>(d.GetOutputSize()));
  return out;
}

TEST(GzipDecoder, DecodesWhatTheGzipToolWrites) {
  std::string a = Text(50000, 1), b = Text(3000, 2);
  std::string ga = GzipTool(a), gb = GzipTool(b);
  ASSERT_GT(ga.size(), 18u);
  ASSERT_EQ(static_cast<unsigned char>(ga[3]), 0);  // no flags with -n

  // Header flags: the tool's own name field, and name, comment, extra field
  // and header CRC spliced into the tool's header by hand.
  std::string named = GzipTool(a, "");
  ASSERT_NE(static_cast<unsigned char>(named[3]) & 0x08, 0);
  std::string allFlags = ga.substr(0, 10);
  allFlags[3] = 0x08 | 0x10 | 0x04 | 0x02;
  allFlags +=
      std::string("\x03\x00xyz", 5) + std::string("name.txt\0", 9) + std::string("a comment\0", 10) + "\xAB\xCD";
  allFlags += ga.substr(10);

  struct Case {
    const char *name;
    std::string body;
    std::string expected;
  } cases[] = {
      {"one member", ga, a},
      {"two members", ga + gb, a + b},
      {"name flag", named, a},
      {"name, comment, extra and header crc", allFlags, a},
      {"trailing zero padding is ignored", ga + std::string(7, '\0'), a},
      {"empty member", GzipTool(""), ""},
  };
  for (const Case &c : cases) {
    for (size_t piece : kPieces) {
      SCOPED_TRACE(testing::Message() << c.name << ", pieces of " << piece);
      bool complete = false;
      EXPECT_EQ(Decode(c.body, &complete, piece), c.expected);
      EXPECT_TRUE(complete);
    }
  }
}

TEST(GzipDecoder, FaultsAreReportedWithTheBytesBeforeThem) {
  std::string a = Text(20000, 3), b = Text(500, 4);
  std::string ga = GzipTool(a), gb = GzipTool(b);
  std::string badCrc = ga;
  badCrc[badCrc.size() - 8] ^= 0x01;
  std::string badLength = ga;
  badLength[badLength.size() - 1] ^= 0x01;
  std::string corrupt = ga;
  for (size_t i = 20; i < 60; ++i) corrupt[i] = static_cast<char>(0xFF);
  std::string badMethod = ga;
  badMethod[2] = 7;
  std::string reserved = ga;
  reserved[3] = 0x20;
  std::string badSecond = gb;
  badSecond[2] = 9;
  std::string longName = ga.substr(0, 10);
  longName[3] = 0x08;
  longName += std::string(300 * 1024, 'n') + '\0' + ga.substr(10);
  std::string named = GzipTool(a, "");

  struct Case {
    const char *name;
    std::string body;
    std::string decodedPrefix;  // what the output must start with
  } cases[] = {
      {"changed crc", badCrc, a},
      {"changed length", badLength, a},
      {"truncated deflate data", ga.substr(0, ga.size() / 2), ""},
      {"truncated trailer", ga.substr(0, ga.size() - 3), a},
      {"truncated header", ga.substr(0, 6), ""},
      {"lone magic byte", ga.substr(0, 1), ""},
      {"corrupt deflate data", corrupt, ""},
      {"wrong method", badMethod, ""},
      {"reserved flag", reserved, ""},
      {"bad header of the second member", ga + badSecond, a},
      {"name field of 300 KiB", longName, ""},
      {"header ending where its name begins", named.substr(0, 10), ""},
      {"header ending inside its name", named.substr(0, 12), ""},
  };
  for (const Case &c : cases) {
    for (size_t piece : kPieces) {
      SCOPED_TRACE(testing::Message() << c.name << ", pieces of " << piece);
      bool complete = true;
      std::string out = Decode(c.body, &complete, piece);
      EXPECT_FALSE(complete);
      EXPECT_EQ(out.substr(0, c.decodedPrefix.size()), c.decodedPrefix);
      EXPECT_LE(out.size(), a.size());
    }
  }
}

TEST(GzipDecoder, InputThatIsNotGzipComesOutUnchanged) {
  for (std::string body : {std::string("<html>plain</html>"), std::string("\x1F\x8A rest", 7), std::string("x")}) {
    CGzipDecoder d(reinterpret_cast<const BYTE *>(body.data()), static_cast<int>(body.size()));
    EXPECT_TRUE(d.IsComplete());
    EXPECT_TRUE(d.IsTransparent());
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(d.GetOutput()), d.GetOutputSize()), body);
    for (size_t piece : kPieces) {
      bool complete = false;
      EXPECT_EQ(Decode(body, &complete, piece), body) << "pieces of " << piece;
      EXPECT_TRUE(complete);
    }
  }
}

TEST(GzipDecoder, EmptyAndMissingInput) {
  CGzipDecoder none(nullptr, 10);
  EXPECT_EQ(none.GetOutput(), nullptr);
  EXPECT_EQ(none.GetOutputSize(), 0);
  const BYTE byte = 0;
  CGzipDecoder empty(&byte, 0);
  EXPECT_NE(empty.GetOutput(), nullptr);
  EXPECT_EQ(empty.GetOutputSize(), 0);
  EXPECT_TRUE(empty.IsComplete());
}

TEST(GzipDecoder, OutputBufferGrowsFromTheInlineBuffer) {
  for (auto [size, capacity] : {std::pair{1024, 1024}, {1025, 2048}, {5000, 5120}, {100000, 163840}}) {
    SCOPED_TRACE(size);
    std::string data = Text(size, 5);
    std::string gz = GzipTool(data);
    CGzipDecoder d(reinterpret_cast<const BYTE *>(gz.data()), static_cast<int>(gz.size()));
    EXPECT_TRUE(d.IsComplete());
    EXPECT_EQ(d.GetOutputSize(), size);
    EXPECT_EQ(d.GetOutputCapacity(), capacity);
    EXPECT_EQ(d.GetOutput()[size], 0);  // the zero byte after the data
  }
}

TEST(GzipDecoder, StopsAtTheLimit) {
  std::string data = Text(10000, 6);
  std::string gz = GzipTool(data);
  // Exactly at the limit is complete; one byte more is not, and nothing is
  // written past the caller's buffer.
  for (auto [room, complete] : {std::pair{10000u, true}, {9999u, false}, {100u, false}}) {
    SCOPED_TRACE(room);
    std::string out(room + 16, '#');
    CGzipDecoder d(reinterpret_cast<const BYTE *>(gz.data()), static_cast<int>(gz.size()),
                   reinterpret_cast<BYTE *>(out.data()), room);
    EXPECT_EQ(d.IsComplete(), complete);
    EXPECT_EQ(d.IsOverLimit(), !complete);
    EXPECT_EQ(d.GetOutputSize(), static_cast<int>(room));
    EXPECT_EQ(out.substr(0, room), data.substr(0, room));
    EXPECT_EQ(out.substr(room), std::string(16, '#'));
    // Fed in pieces, the decoder refuses further input once past the limit.
    std::string fed(room + 16, '#');
    CGzipDecoder p(reinterpret_cast<BYTE *>(fed.data()), room);
    bool accepted = true;
    for (size_t at = 0; at < gz.size() && accepted; at += 100)
      accepted = p.Feed(reinterpret_cast<const BYTE *>(gz.data()) + at, std::min<size_t>(100, gz.size() - at));
    EXPECT_EQ(accepted, complete);
    EXPECT_EQ(p.Finish(), complete);
    EXPECT_EQ(fed, out);
  }
  // The own buffer stops at its limit too.
  CGzipDecoder own(reinterpret_cast<const BYTE *>(gz.data()), static_cast<int>(gz.size()), 3000);
  EXPECT_TRUE(own.IsOverLimit());
  EXPECT_EQ(own.GetOutputSize(), 3000);
  EXPECT_LE(own.GetOutputCapacity(), 3000);
}

}  // namespace

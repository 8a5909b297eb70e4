// Code-page conversions checked against bytes produced by the system's iconv
// tool, plus the invalid-input and buffer-size rules callers depend on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/winerror.h"

namespace {

// Runs the iconv program over `input` and returns its output bytes.
std::string RunIconv(const char *from, const char *to, const std::string &input) {
  char path[] = "/tmp/codepage_testXXXXXX";
  int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(fd);
  std::string cmd = std::string("iconv -f ") + from + " -t " + to + " " + path;
  FILE *p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[256];
  for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  EXPECT_EQ(p ? pclose(p) : -1, 0) << cmd;
  unlink(path);
  return out;
}

struct Sample {
  UINT codePage;
  const char *iconvName;
  const wchar_t *text;
};

const Sample kSamples[] = {
    {936, "GBK", L"价格监控：上证指数 3000.12 点，涨幅 1.5%"},
    {CP_ACP, "GBK", L"自动识别 €"},
    {CP_THREAD_ACP, "GBK", L"国债期货"},
    {CP_OEMCP, "GBK", L"沪深300"},
    {950, "BIG5", L"價格監控：臺灣加權指數"},
    {28591, "ISO-8859-1", L"caf\u00e9 d\u00e9j\u00e0 vu \u00ff\u00a0"},
    {CP_UTF8, "UTF-8", L"UTF-8 \u4e2d\u6587 \u00e9 \U0001F600 end"},
};

class CodePageSamples : public ::testing::TestWithParam<Sample> {};

TEST_P(CodePageSamples, RoundTripMatchesIconvBytes) {
  const Sample &s = GetParam();
  std::wstring text = s.text;
  std::string utf8 = RunIconv("WCHAR_T", "UTF-8",
                              std::string(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t)));
  std::string expected = RunIconv("UTF-8", s.iconvName, utf8);
  ASSERT_FALSE(expected.empty());

  EXPECT_EQ(WideToMultiByte(s.codePage, text), expected);
  EXPECT_EQ(MultiByteToWide(s.codePage, expected), text);

  // The two-call pattern with -1 input: the sizes include the terminator.
  int wide_len = MultiByteToWideChar(s.codePage, 0, expected.c_str(), -1, nullptr, 0);
  ASSERT_EQ(wide_len, static_cast<int>(text.size()) + 1);
  std::wstring wide(wide_len, L'x');
  ASSERT_EQ(MultiByteToWideChar(s.codePage, 0, expected.c_str(), -1, wide.data(), wide_len), wide_len);
  EXPECT_EQ(wide.back(), L'\0');
  EXPECT_EQ(wide.substr(0, text.size()), text);

  int byte_len = WideCharToMultiByte(s.codePage, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(byte_len, static_cast<int>(expected.size()) + 1);
  std::string bytes(byte_len, 'x');
  ASSERT_EQ(WideCharToMultiByte(s.codePage, 0, text.c_str(), -1, bytes.data(), byte_len, nullptr, nullptr), byte_len);
  EXPECT_EQ(bytes, expected + '\0');

  // An explicit length converts exactly that many units, no terminator.
  EXPECT_EQ(MultiByteToWideChar(s.codePage, 0, expected.data(), static_cast<int>(expected.size()), nullptr, 0),
            static_cast<int>(text.size()));
}

INSTANTIATE_TEST_SUITE_P(Texts, CodePageSamples, ::testing::ValuesIn(kSamples));

TEST(CodePage, GbkDecodesGb2312Text) {
  std::wstring text = L"上海证券交易所";
  std::string gb2312 = RunIconv("UTF-8", "GB2312", WideToMultiByte(CP_UTF8, text));
  EXPECT_EQ(MultiByteToWide(CP_ACP, gb2312), text);
}

TEST(CodePage, SmallOutputBufferFails) {
  wchar_t wide[3];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcd", -1, wide, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  char narrow[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(936, 0, L"\u4e2d\u6587", -1, narrow, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePage, BadArgumentsFail) {
  wchar_t wide[8];
  struct {
    UINT cp;
    const char *src;
    int len;
    DWORD error;
  } cases[] = {
      {CP_UTF8, "abc", 0, ERROR_INVALID_PARAMETER},  // empty input
      {CP_UTF8, nullptr, 3, ERROR_INVALID_PARAMETER},
      {CP_UTF8, "abc", -2, ERROR_INVALID_PARAMETER},
      {1252, "abc", 3, ERROR_INVALID_PARAMETER},  // code page not provided
  };
  for (const auto &c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.cp, 0, c.src, c.len, wide, 8), 0) << c.cp << " " << c.len;
    EXPECT_EQ(GetLastError(), c.error);
  }
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, wide, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FLAGS);
  BOOL used = FALSE;
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"abc", 3, nullptr, 0, "?", &used), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, InvalidUtf8BecomesReplacementPerMaximalSubpart) {
  const std::wstring R(1, L'\uFFFD');
  struct {
    const char *bytes;
    std::wstring expected;
  } cases[] = {
      {"a\xFF"
       "b",
       L"a" + R + L"b"},
      {"\xC3", R},      // truncated two-byte sequence
      {"\xE4\xB8", R},  // truncated three-byte sequence: one subpart
      {"\xE4\xB8"
       "a",
       R + L"a"},
      {"\xC0\xAF", R + R},                  // overlong lead, then a lone trail
      {"\xE0\x80\x80", R + R + R},          // overlong three-byte form
      {"\xED\xA0\x80", R + R + R},          // encoded surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},  // beyond U+10FFFF
      {"\xF0\x9F\x98", R},
      {"\x80\x80", R + R},
  };
  for (const auto &c : cases) {
    std::string in = c.bytes;
    EXPECT_EQ(MultiByteToWide(CP_UTF8, in), c.expected) << in.size();
    wchar_t out[16];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), out, 16), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  }
}

// Long input goes through the decoder's runs of ASCII; cut into pieces too
// short for those, it must decode to the same characters. Each piece, valid
// or not, stands at every offset within sixteen bytes, and the whole runs
// past the decoder's internal buffer.
TEST(CodePage, LongUtf8DecodesAsItsShortPieces) {
  const std::string pieces[] = {"\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC3\xA9", "\xFF", "\xE4\xB8", "\x80", "\x7F"};
  for (const std::string &piece : pieces) {
    std::string whole;
    std::wstring expected;
    for (int run = 0; whole.size() < 6000; run = (run + 1) % 37) {
      const std::string ascii(static_cast<size_t>(run), static_cast<char>('a' + run % 26));
      whole += ascii + piece;
      expected += MultiByteToWide(CP_UTF8, ascii) + MultiByteToWide(CP_UTF8, piece);
    }
    EXPECT_EQ(MultiByteToWide(CP_UTF8, whole), expected) << testing::PrintToString(piece);
    std::wstring out(whole.size(), L'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, whole.data(), static_cast<int>(whole.size()), out.data(),
                                      static_cast<int>(out.size()));
    out.resize(static_cast<size_t>(n));
    EXPECT_EQ(out, expected);
  }
}

// The edges of the two- to four-byte forms, valid and not, decode alike
// wherever they stand after a run of ASCII or of Chinese (inside a block of
// sixteen bytes, across its end, or after it; among three-byte characters
// the decoder takes four at a time) and with a run of ASCII behind them.
TEST(CodePage, Utf8FormEdgesDecodeAtEveryPosition) {
  const wchar_t R = 0xFFFD;
  struct {
    const char *bytes;
    std::wstring expected;
  } cases[] = {
      {"\xC2\x80", {0x80}},
      {"\xDF\xBF", {0x7FF}},
      {"\xE0\xA0\x80", {0x800}},
      {"\xED\x9F\xBF", {0xD7FF}},
      {"\xEE\x80\x80", {0xE000}},
      {"\xEF\xBF\xBF", {0xFFFF}},
      {"\xE0\x9F\xBF", {R, R, R}},  // overlong
      {"\xED\xBF\xBF", {R, R, R}},  // surrogate
      {"\xE4\x41", {R, L'A'}},      // a lead without its trail bytes
      {"\xE4\xB8\x41", {R, L'A'}},
      {"\xC2\x41", {R, L'A'}},
      {"\xC1\xBF", {R, R}},  // overlong two-byte lead
      {"\xF0\x90\x80\x80", {0x10000}},
      {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
      {"\xF0\x8F\xBF\xBF", {R, R, R, R}},  // overlong
      {"\xF4\x90\x80\x80", {R, R, R, R}},  // beyond U+10FFFF
      {"\xF0\x9F\x98\x41", {R, L'A'}},     // a lead with two of its three trail bytes
  };
  const struct {
    const char *bytes;
    wchar_t character;
  } runs[] = {{"a", L'a'}, {"\xE4\xB8\xAD", 0x4E2D}};
  // Long enough that the decoder's blocks, not its careful path, meet the
  // edge.
  std::string after;
  while (after.size() < 40) after += "xyz";
  const std::wstring wideAfter(after.begin(), after.end());
  for (const auto &c : cases) {
    for (const auto &run : runs) {
      std::string in;
      std::wstring expected;
      for (size_t before = 0; before <= 40; ++before) {
        EXPECT_EQ(MultiByteToWide(CP_UTF8, in + c.bytes + after), expected + c.expected + wideAfter)
            << before << " before " << c.bytes;
        in += run.bytes;
        expected += run.character;
      }
    }
  }
}

// Text of every kind of character in random order, valid or not, decodes
// as its characters do one by one (pieces that short never reach the
// decoder's blocks of sixteen bytes): long runs of Chinese, ASCII between,
// two- and four-byte characters, and every sequence the blocks must leave
// to the careful path. No piece begins with a trail byte, so none joins the
// one before it.
TEST(CodePage, MixedUtf8DecodesAsItsCharactersOneByOne) {
  const char *const pieces[] = {"a",
                                "<",
                                " ",
                                "\xE4\xB8\xAD",
                                "\xE6\x96\x87",
                                "\xEF\xBC\x8C",
                                "\xC3\xA9",
                                "\xDF\xBF",
                                "\xE0\xA0\x80",
                                "\xEF\xBF\xBF",
                                "\xF0\x9F\x98\x80",
                                "\xFF",
                                "\xC0\xAF",
                                "\xE0\x80\x80",
                                "\xED\xA0\x80",
                                "\xE4\xB8",
                                "\xC3",
                                "\xF4\x90\x80\x80",
                                "\xF0\x9F\x98"};
  constexpr size_t kPieces = sizeof pieces / sizeof *pieces;
  uint32_t seed = 7;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  for (int round = 0; round < 40; ++round) {
    std::string whole;
    std::wstring expected;
    // Mostly Chinese or mostly ASCII, with the rarer forms now and then.
    const uint32_t rare = 1 + static_cast<uint32_t>(round % 8) * 8;
    while (whole.size() < 3000) {
      const uint32_t r = next(100);
      const char *piece = r < rare                                 ? pieces[6 + next(kPieces - 6)]
                          : r < 50u + static_cast<uint32_t>(round) ? pieces[3 + next(3)]
                                                                   : pieces[next(3)];
      whole += piece;
      expected += MultiByteToWide(CP_UTF8, std::string(piece));
    }
    EXPECT_EQ(MultiByteToWide(CP_UTF8, whole), expected) << "round " << round;
  }
}

// A long text is decoded a thousand bytes or so at a time: a character,
// a cut-off character or a run of stray trail bytes across where a piece
// would end decodes as it does alone.
TEST(CodePage, Utf8AcrossTheDecodersPiecesDecodesAsItself) {
  for (const char *across : {"\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC3\xA9", "\x80\x80\x80\x80\x80\x80", "\xE4\xB8",
                             "\xF0\x9F\x98", "\xE4\xB8\xAD\x80\x80\x80\x80"}) {
    for (size_t before = 1012; before <= 1030; ++before) {
      const std::string whole = std::string(before, 'a') + across + std::string(200, 'b');
      const std::wstring expected =
          std::wstring(before, L'a') + MultiByteToWide(CP_UTF8, std::string(across)) + std::wstring(200, L'b');
      ASSERT_EQ(MultiByteToWide(CP_UTF8, whole), expected) << "after " << before << " bytes";
    }
  }
}

// A piece of a larger buffer decodes as that piece alone would, wherever
// it starts and ends (inside a character too) and whatever follows it, and
// writes nothing beyond the room it is given: through DecodeUtf8Padded and
// through each decoder behind it that this processor runs.
TEST(CodePage, Utf8PiecesOfABufferDecodeAsThemselves) {
  std::string whole;
  for (const char *part :
       {"abc", "\xE4\xB8\xAD\xE6\x96\x87\xE4\xBB\xB7\xE6\xA0\xBC\xE5\xB8\x82\xE5\x9C\xBA\xE4\xBA\xA4\xE6\x98\x93",
        "\xF0\x9F\x98\x80", "\xC3\xA9", "\xFF", "\xE4\xB8", "x", "\x80", "\xF0\x9F\x98", "0123456789abcdefghij",
        "\xED\xA0\x80", "\xC3", "\xE0\x80\xAF", "\xC0\xAF",
        // the bounds of each length: C2 80, DF BF, E0 A0 80, ED 9F BF, EF BF BF
        "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEF\xBF\xBF", "\xC3\xA9\xD0\x96\xC3\xA9\xD0\x96\xC3\xA9y",
        // long valid runs before a cut character and a surrogate, so that
        // the widest blocks meet them too
        "abcd market \xE4\xB8\xAD\xE6\x96\x87 data \xE4\xBB\xB7\xE6\xA0\xBC\xE4\xB8", "z",
        "\xE4\xB8\xAD\xE6\x96\x87 market \xE4\xBB\xB7\xE6\xA0\xBC data \xE5\xB8\x82\xE5\x9C\xBA\xED\xA0\x80",
        "\xE4\xB8\xAD\xE6\x96\x87\xE4\xBB\xB7\xE6\xA0\xBC "
        "\xE5\xB8\x82\xE5\x9C\xBA\xE4\xBA\xA4\xE6\x98\x93\xE4\xB8\xAD",
        // four-byte characters among the others, at their bounds (F0 90 80
        // 80, F4 8F BF BF), and their wrong forms inside valid text:
        // overlong, beyond U+10FFFF, a lead above F4
        "\xF0\x9F\x93\x88\xF0\x9F\x93\x89 BTC \xF0\x9F\x92\xB0 \xE4\xB8\xAD\xF0\xA0\x80\x80\xF0\xA0\x80\x81 up "
        "\xC3\xA9\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
        "\xF0\x9F\x98\x80\xF0\x8F\xBF\xBF ab \xF0\x9F\x98\x80\xF4\x90\x80\x80 cd \xF0\x9F\x98\x80\xF5\x80\x80\x80"})
    whole += part;
  // Runs longer than the widest block: Chinese, ASCII, two-byte and
  // four-byte characters.
  for (int i = 0; i < 20; ++i)
    whole +=
        "\xF0\x9F\x98\x80"
        "e"
        "\xF0\xA0\x80\x80";
  for (int i = 0; i < 30; ++i) whole += "\xE4\xBB\xB7\xE6\xA0\xBC";
  // Chinese runs broken by a surrogate and an overlong form (E0 9F BF),
  // deep inside a run of eight characters and at its edges.
  for (const char *wrong : {"\xED\xA0\x80", "\xE0\x9F\xBF", "\xED\xBF\xBF"})
    for (int before : {1, 5, 7, 8, 10}) {
      for (int i = 0; i < before; ++i) whole += "\xE5\xB8\x82";
      whole += wrong;
      whole += "\xE4\xBA\xA4\xE6\x98\x93\xE4\xB8\xAD";
    }
  whole += std::string(70, 'q');
  for (int i = 0; i < 40; ++i) whole += "\xD0\x96";
  whole += whole;
  constexpr wchar_t kUntouched = 0x5A5A5A;
  // Exactly the bytes the decoder may read: the sanitizer build sees a read
  // beyond them.
  const std::unique_ptr<char[]> padded(new char[whole.size() + kUtf8PaddedRead]);
  std::memcpy(padded.get(), whole.data(), whole.size());
  std::memset(padded.get() + whole.size(), '\xE4', kUtf8PaddedRead);
  std::vector<utf8_detail::PieceDecoder> decoders = {DecodeUtf8Padded};
  for (int level = 0; utf8_detail::PieceDecoder d = utf8_detail::PieceDecoderOf(level); ++level) decoders.push_back(d);
  for (size_t d = 0; d < decoders.size(); ++d) {
    for (size_t at = 0; at < whole.size(); ++at) {
      // Every length up to 80 from every byte; every length from the first
      // sixteen (pieces of several hundred bytes).
      const size_t longest = at < 16 ? whole.size() - at : std::min<size_t>(80, whole.size() - at);
      for (size_t length = 0; length <= longest; ++length) {
        const std::string piece = whole.substr(at, length);
        std::vector<wchar_t> out(length + kUtf8PaddedWrite + 4, kUntouched);
        const size_t written = decoders[d](padded.get() + at, length, out.data());
        ASSERT_EQ(std::wstring(out.data(), written), MultiByteToWide(CP_UTF8, piece))
            << "decoder " << d << " at " << at << " length " << length;
        for (size_t i = length + kUtf8PaddedWrite; i < out.size(); ++i) ASSERT_EQ(out[i], kUntouched);
      }
    }
  }
  EXPECT_GE(decoders.size(), 2u);
}

TEST(CodePage, SurrogateCharacterEncodesAsReplacementInUtf8) {
  EXPECT_EQ(WideToMultiByte(CP_UTF8, std::wstring(L"a") + wchar_t(0xD800) + L"b"),
            "a\xEF\xBF\xBD"
            "b");
  wchar_t lone[] = {0xDC00, 0};
  char out[8];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, 1, out, 8, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
}

TEST(CodePage, InvalidDoubleByteInputBecomesQuestionMark) {
  struct {
    UINT cp;
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {936,
       "a\xFF"
       "b",
       L"a?b"},                 // no such lead byte
      {936, "ab\x81", L"ab?"},  // lead byte cut off at the end
      {936,
       "\x81\x7F"
       "c",
       L"?\x7F"
       L"c"},  // bad trail: decoding goes on at the trail
      {950, "\xA4", L"?"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(MultiByteToWide(c.cp, c.bytes), c.expected);
    wchar_t out[8];
    EXPECT_EQ(MultiByteToWideChar(c.cp, MB_ERR_INVALID_CHARS, c.bytes.data(), static_cast<int>(c.bytes.size()), out, 8),
              0);
  }
}

TEST(CodePage, UnmappableCharacterUsesDefaultChar) {
  struct {
    UINT cp;
    const wchar_t *text;
    const char *defaultChar;
    const char *expected;
  } cases[] = {
      {936, L"a\u0E01b", nullptr, "a?b"},
      {936, L"\u0E01", "*", "*"},
      {28591, L"x\u4e2d", nullptr, "x?"},
      {950, L"\u0E01", nullptr, "?"},
  };
  for (const auto &c : cases) {
    char out[16] = {};
    BOOL used = FALSE;
    int n = WideCharToMultiByte(c.cp, 0, c.text, -1, out, 16, c.defaultChar, &used);
    EXPECT_EQ(n, static_cast<int>(strlen(c.expected)) + 1);
    EXPECT_STREQ(out, c.expected);
    EXPECT_TRUE(used);
  }
  BOOL used = TRUE;
  char out[8];
  WideCharToMultiByte(936, 0, L"ok", -1, out, 8, nullptr, &used);
  EXPECT_FALSE(used);
}

TEST(CodePage, Utf16LeMatchesIconvWithSurrogatePairs) {
  std::wstring text = L"a\u4e2d\U0001F600\U00010348z";
  std::string expected = RunIconv("UTF-8", "UTF-16LE", WideToMultiByte(CP_UTF8, text));
  EXPECT_EQ(WideToUtf16Le(text), expected);
  EXPECT_EQ(expected.size(), 2u * 7);  // two pairs
  EXPECT_EQ(Utf16LeToWide(expected.data(), expected.size()), text);
}

TEST(CodePage, Utf16LeDecodeOfBrokenInput) {
  struct {
    std::string bytes;
    std::wstring expected;
  } cases[] = {
      {std::string("\x00\xD8"
                   "a\x00",
                   4),
       L"\uFFFD"
       L"a"},                                   // high surrogate without low
      {std::string("\x00\xDC", 2), L"\uFFFD"},  // lone low surrogate
      {std::string("a\x00"
                   "b",
                   3),
       L"a"},  // odd trailing byte dropped
      {std::string("\x3D\xD8\x00\xDE", 4), L"\U0001F600"},
  };
  for (const auto &c : cases) EXPECT_EQ(Utf16LeToWide(c.bytes.data(), c.bytes.size()), c.expected);
  EXPECT_EQ(WideToUtf16Le(std::wstring(1, wchar_t(0xDFFF))), std::string("\xFD\xFF", 2));
}

TEST(CodePage, ConversionsAreIndependentPerThread) {
  // Each thread keeps its own iconv descriptors; concurrent use stays correct.
  std::wstring text = L"价格 \u4e2d\u6587 abc";
  std::string gbk = WideToMultiByte(936, text);
  std::string big5 = WideToMultiByte(950, L"價格");
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (MultiByteToWide(936, gbk) != text || WideToMultiByte(950, L"價格") != big5) ++failures;
    });
  for (auto &th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace

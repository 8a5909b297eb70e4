// String helpers: conversions, URL encodings, escapes, split/count, the
// growing formatter and the width and folding helpers.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/support/assert_recorder.h"
#include "tests/support/print_cstring.h"
#include "utils/text/stringhelper.h"

namespace {

std::vector<std::wstring> Texts(const std::vector<CString> &parts) {
  std::vector<std::wstring> out;
  for (const auto &p : parts) out.push_back(p.str());
  return out;
}

TEST(StringHelper, Utf8Conversions) {
  EXPECT_EQ(ToUtf8(L"a\u00e9\u4e2d\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(ToUtf8(static_cast<LPCWSTR>(nullptr)), "");
  EXPECT_EQ(ToUtf8(CString()), "");
  EXPECT_EQ(FromUtf8("\xE4\xB8\xAD"
                     "x"),
            L"\u4e2dx");
  EXPECT_EQ(FromUtf8(std::string("ab\0cd", 5)), L"ab");  // up to the first zero
  EXPECT_TRUE(FromUtf8("").IsEmpty());
  EXPECT_TRUE(FromUtf8(static_cast<const char *>(nullptr)).IsEmpty());
}

TEST(StringHelper, FoldDoubleUtf8) {
  // UTF-8 of "é中" read byte by byte as single characters.
  std::string utf8 = ToUtf8(L"x\u00e9");
  EXPECT_EQ(FoldDoubleUtf8(CString(MultiByteToWide(28591, utf8))), L"x\u00e9");
  EXPECT_EQ(FoldDoubleUtf8(CString(L"a\u00c3")), CString(L"a") + wchar_t((0xC3 << 6) & 0x7FF));  // lead at the end
}

TEST(StringHelper, OemAndAnsiAllocations) {
  char *oem = new char[1]{'x'};
  ASSERT_TRUE(WideToOemAlloc(L"\u4e2d\u6587", &oem));
  EXPECT_STREQ(oem, "\xD6\xD0\xCE\xC4");
  delete[] oem;
  wchar_t *wide = nullptr;
  ASSERT_TRUE(
      AnsiToWideAlloc("\xB9\xFA"
                      "a",
                      &wide, 0));
  EXPECT_STREQ(wide,
               L"\u56fd"
               L"a");
  delete[] wide;
  EXPECT_FALSE(WideToOemAlloc(nullptr, &oem));
}

TEST(StringHelper, UrlEncodings) {
  struct {
    CString got;
    const wchar_t *expected;
  } cases[] = {
      {UrlEncode(L"a b/\u00e9"), L"a+b%2F%C3%A9"},
      {UrlEncode(L"!'()*-._~\t\n"), L"!'()*-._%7E++"},
      {UrlDecode(L"a+b%2F%C3%A9"), L"a b/\u00e9"},
      {UrlDecode(L"%e4%B8%ad"), L"\u4e2d"},
      {UrlDecode(L"100%"), L"100%"},  // a '%' without two digits stays
      {UrlDecode(L"x%4"), L"x%4"},
      {UrlEncodeCharset(L"a b/\u00e9", L"utf-8"), L"a%20b/%C3%A9"},
      {UrlEncodeCharset(L"~*:\u4e2d\U0001F600", L"utf-8"), L"~*:%E4%B8%AD%F0%9F%98%80"},
      {UrlEncodeCharset(L"a b/:\u4e2d", L"gb2312"), L"a%20b/:%D6%D0"},
      {UrlEncodeCharset(L"a-b", L"UTF-8"), L"a%2Db"},  // exact name only
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected) << WideToMultiByte(CP_UTF8, c.got.str());
  for (const wchar_t *text : {L"", L"plain", L"a+b c&d=\u00e9\u4e2d/%?", L"\U0001F600 x"})
    EXPECT_EQ(UrlDecode(UrlEncode(text)), text);
  EXPECT_EQ(HexDigitValue('7'), 7);
  EXPECT_EQ(HexDigitValue('c'), 12);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('g'), 0xFF);
  EXPECT_EQ(HexPairToByte("a5"), 0xA5);
  EXPECT_EQ(HexPairToByte("zz"), 0xFF);
  EXPECT_FALSE(IsUrlSafeChar('\0'));
  EXPECT_FALSE(IsUrlSafeChar('~'));
}

TEST(StringHelper, Escapes) {
  struct {
    CString got;
    const wchar_t *expected;
  } cases[] = {
      {HtmlEncode(L"<a href=\"x\">&amp;</a>"), L"&lt;a href=&quot;x&quot;&gt;&amp;amp;&lt;/a&gt;"},
      {HtmlDecode(L"&lt;b&gt; &quot;q&quot; &amp;lt;"), L"<b> \"q\" &lt;"},
      {CsvQuote(L"say \"hi\"\r\nnext"), L"\"say \"\"hi\"\"next\""},
      {CsvQuote(L"a\rb\n"), L"\"a\rb\n\""},
      {EscapeQuotes(L"a\\b'c\"d"), L"a\\\\b\\'c\\\"d"},
      {EscapeBackslashBar(L"a\\b|c"), L"a\\\\b\\|c"},
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected);
  for (const wchar_t *text : {L"", L"<x y=\"1\">a & b</x>", L"&&<<>>\"\""})
    EXPECT_EQ(HtmlDecode(HtmlEncode(text)), text);
}

TEST(StringHelper, SplitString) {
  struct {
    const wchar_t *text, *separator;
    BOOL keep;
    BOOL result;
    std::vector<std::wstring> parts;
  } cases[] = {
      {L";a;;b;", L";", FALSE, TRUE, {L"a", L"b"}},
      {L";a;;b;", L";", TRUE, TRUE, {L"", L"a", L"", L"b", L""}},
      {L"1.2.3.4", L".", FALSE, TRUE, {L"1", L"2", L"3", L"4"}},
      {L"a::b", L"::", FALSE, TRUE, {L"a", L"b"}},
      {L"abc", L";", TRUE, TRUE, {L"abc"}},
      {L"", L";", TRUE, TRUE, {L""}},
      {L"", L";", FALSE, TRUE, {}},
      {L"a;b", L"", TRUE, FALSE, {}},
  };
  for (const auto &c : cases) {
    std::vector<CString> parts{CString(L"stale")};
    EXPECT_EQ(SplitString(c.text, c.separator, parts, c.keep), c.result) << c.text;
    EXPECT_EQ(Texts(parts), c.parts) << c.text;
  }
}

TEST(StringHelper, CountSubString) {
  struct {
    const wchar_t *text, *separator;
    int expected;
  } cases[] = {
      {L"a;b;c;", L";", 3}, {L"a;b;c", L";", 2}, {L"abc", L";", 0}, {L"", L";", 0},
      {L"a;b", L"", 0},     {L"aaaa", L"aa", 2}, {L"a;", L";;", 1},  // may reach into the appended one
  };
  for (const auto &c : cases) EXPECT_EQ(CountSubString(c.text, c.separator), c.expected) << c.text;
}

TEST(StringHelper, PassCapOfSplitAndCount) {
  const CString at_cap(L';', 499999);  // 500000 passes with the appended separator
  const CString over(L';', 500000);
  std::vector<CString> parts;
  EXPECT_TRUE(SplitString(at_cap, L";", parts, TRUE));
  EXPECT_EQ(parts.size(), 500000u);
  EXPECT_FALSE(SplitString(over, L";", parts, TRUE));
  EXPECT_EQ(CountSubString(at_cap, L";"), 499999);
  EXPECT_EQ(CountSubString(over, L";"), 0);
}

CString Fmt(const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  CString s = FormatV(format, ap);
  va_end(ap);
  return s;
}

int Counted(wchar_t *buffer, int size, const wchar_t *format, ...) {
  va_list ap;
  va_start(ap, format);
  int n = FormatCount(buffer, size, format, ap);
  va_end(ap);
  return n;
}

TEST(StringHelper, FormatGrowsItsBuffer) {
  EXPECT_EQ(Fmt(L"%s-%d", L"x", 5), L"x-5");
  for (int length : {4095, 4096, 5000, 70000}) {
    std::wstring big(length, L'q');
    CString s = Fmt(L"<%s>", big.c_str());
    EXPECT_EQ(s.GetLength(), length + 2);
    EXPECT_EQ(s.Right(2), L"q>");
  }
  std::wstring too_long(0x800000, L'z');  // does not fit below 0x800000 characters
  EXPECT_TRUE(Fmt(L"%s", too_long.c_str()).IsEmpty());
  {
    testsupport::AssertRecorder asserts;
    EXPECT_TRUE(Fmt(L"%q").IsEmpty());  // invalid format: empty, reported
    EXPECT_EQ(asserts.count(), 1);
  }

  wchar_t buf[4];
  EXPECT_EQ(Counted(buf, 4, L"%d", 12), 2);
  EXPECT_EQ(Counted(buf, 4, L"%d", 123456), 6);  // the full length after a cut
  EXPECT_STREQ(buf, L"123");
}

bool Table(UINT id, std::wstring &out) {
  if (id != 7) return false;
  out = L"seven";
  return true;
}

TEST(StringHelper, LoadResourceString) {
  SetResourceStringLookup(Table);
  EXPECT_EQ(LoadResourceString(7, nullptr), L"seven");
  EXPECT_TRUE(LoadResourceString(8, nullptr).IsEmpty());
  int other;
  EXPECT_TRUE(LoadResourceString(7, reinterpret_cast<HINSTANCE>(&other)).IsEmpty());
  SetResourceStringLookup(nullptr);
}

TEST(StringHelper, WidthAndFolding) {
  EXPECT_EQ(GetDisplayWidth(L"ab\u4e2d\u00e9"), 6);
  struct {
    const wchar_t *text;
    int width;
    const wchar_t *expected;
  } cuts[] = {
      {L"\u4e2d\u6587ab", 5, L"\u4e2d\u6587a"},
      {L"\u4e2d\u6587ab", 3, L"\u4e2d"},
      {L"\u4e2d\u6587ab", 6, L"\u4e2d\u6587ab"},
      {L"abc", 0, L""},
  };
  for (const auto &c : cuts) {
    CString s(c.text);
    TruncateToDisplayWidth(s, c.width);
    EXPECT_EQ(s, c.expected);
  }
  struct {
    const wchar_t *text;
    int max;
    const wchar_t *expected;
  } ell[] = {{L"abcdef", 5, L"ab..."},  {L"abcdef", 2, L"ab"},   {L"abcdef", 3, L"abc"},
             {L"abcdef", 6, L"abcdef"}, {L"abcdef", 4, L"a..."}, {L"abc", -1, L""}};
  for (const auto &c : ell) EXPECT_EQ(Ellipsize(c.text, c.max), c.expected);

  CString full(L"\uFF21\uFF22\uFF11\u3000\uFF5E\uFF5F\uFF00");
  EXPECT_EQ(FullWidthToHalfWidth(full), 7);
  EXPECT_EQ(full, L"AB1 ~\uFF5F\uFF00");
}

TEST(StringHelper, TrimStripCr) {
  CString t(L"\u3000 a b \t");
  TrimBoth(t);
  EXPECT_EQ(t, L"a b");
  struct {
    const wchar_t *text, *strip;
    const wchar_t *expected;
    int result;
  } cases[] = {
      {L"xxabcxx", L"x", L"abc", 2}, {L"xxabcxx", L"xx", L"xabc", 2}, {L"abc", L"", L"abc", 0},
      {L"xxxx", L"x", L"", -1},      {L"abab", L"ab", L"b", -1},
  };
  for (const auto &c : cases) {
    CString s(c.text);
    EXPECT_EQ(StripText(s, c.strip), c.result) << c.text << " " << c.strip;
    EXPECT_EQ(s, c.expected);
  }
  struct {
    const wchar_t *text, *expected;
  } cr[] = {{L"a\rb\r", L"a\nb\n"}, {L"\ra\rb", L"\ra\rb"}, {L"", L""}, {L"ab", L"ab"}};
  for (const auto &c : cr) {
    CString s(c.text);
    CrToLf(s);
    EXPECT_EQ(s, c.expected);
  }
}

}  // namespace

// CString behaviour that callers rely on: clamping, search results, counts
// of edits, white space by the wide classification, case by the runtime
// state, buffer access, tokens, resource strings and BSTRs.
#include <gtest/gtest.h>

#include <map>
#include <unordered_set>

#include "platform/text/cstring.h"
#include "platform/text/wctype_win.h"
#include "tests/support/assert_recorder.h"
#include "tests/support/print_cstring.h"

namespace {

TEST(CString, Construction) {
  EXPECT_TRUE(CString(static_cast<LPCWSTR>(nullptr)).IsEmpty());
  EXPECT_TRUE(CString(static_cast<const char *>(nullptr)).IsEmpty());
  EXPECT_EQ(CString("\xD6\xD0\xCE\xC4"
                    "ab"),
            L"\u4e2d\u6587ab");  // narrow text is code page 936
  EXPECT_EQ(CString(L"abcdef", 3), L"abc");
  EXPECT_EQ(CString(L"ab\0cd", 5).GetLength(), 5);
  EXPECT_EQ(CString(L'x', 3), L"xxx");
  CString s;
  s = "\xB9\xFA";
  EXPECT_EQ(s, L"\u56fd");
  s = L'q';
  EXPECT_EQ(s, L"q");
  s = static_cast<LPCWSTR>(nullptr);
  EXPECT_TRUE(s.IsEmpty());
}

TEST(CString, ReadsDoNotCopy) {
  CString s(L"stable text");
  LPCWSTR p = s;
  EXPECT_EQ(p, s.GetString());
  EXPECT_EQ(p, static_cast<LPCWSTR>(s));
  EXPECT_EQ(s[0], L's');
  EXPECT_EQ(s.GetAt(s.GetLength()), L'\0');  // the terminator may be read
}

TEST(CString, ExtractionClamps) {
  const CString s(L"abcdef");
  struct {
    CString got;
    const wchar_t *expected;
  } cases[] = {
      {s.Left(2), L"ab"},  {s.Left(-1), L""},        {s.Left(99), L"abcdef"}, {s.Right(2), L"ef"},
      {s.Right(-3), L""},  {s.Right(99), L"abcdef"}, {s.Mid(2), L"cdef"},     {s.Mid(-2), L"abcdef"},
      {s.Mid(9), L""},     {s.Mid(1, 3), L"bcd"},    {s.Mid(-1, 2), L"ab"},   {s.Mid(4, 99), L"ef"},
      {s.Mid(2, -1), L""}, {s.Mid(6, 1), L""},
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(CString, Search) {
  const CString s(L"a.b.c://x");
  EXPECT_EQ(s.Find(L'.'), 1);
  EXPECT_EQ(s.Find(L'.', 2), 3);
  EXPECT_EQ(s.Find(L'.', 4), -1);
  EXPECT_EQ(s.Find(L"://"), 5);
  EXPECT_EQ(s.Find(L""), 0);  // an empty marker is found at the start
  EXPECT_EQ(s.Find(L"", 3), 3);
  EXPECT_EQ(s.Find(L"zz"), -1);
  EXPECT_EQ(s.Find(L"a", -1), -1);
  EXPECT_EQ(s.Find(L"a", 99), -1);
  EXPECT_EQ(s.ReverseFind(L'.'), 3);
  EXPECT_EQ(s.ReverseFind(L'#'), -1);
  EXPECT_EQ(s.FindOneOf(L":/"), 5);
}

TEST(CString, EditsReportCountsAndLengths) {
  CString s(L"aXbXXc");
  EXPECT_EQ(s.Replace(L"X", L"--"), 3);
  EXPECT_EQ(s, L"a--b----c");
  EXPECT_EQ(s.Replace(L"--", L"-"), 3);
  EXPECT_EQ(s, L"a-b--c");
  EXPECT_EQ(s.Replace(L"", L"q"), 0);
  EXPECT_EQ(s.Replace(L'-', L'+'), 3);
  EXPECT_EQ(s.Remove(L'+'), 3);
  EXPECT_EQ(s, L"abc");
  CString r(L"aaa");
  EXPECT_EQ(r.Replace(L"aa", L"b"), 1);  // non-overlapping, left to right
  EXPECT_EQ(r, L"ba");
  CString crlf(L"x\r\ny\r\n");
  EXPECT_EQ(crlf.Replace(L"\r\n", L"\n"), 2);
  EXPECT_EQ(crlf, L"x\ny\n");

  CString d(L"0123456789");
  EXPECT_EQ(d.Delete(2, 3), 7);
  EXPECT_EQ(d, L"0156789");
  EXPECT_EQ(d.Delete(5, 99), 5);
  EXPECT_EQ(d.Insert(1, L"ab"), 7);
  EXPECT_EQ(d.Insert(99, L'!'), 8);
  EXPECT_EQ(d, L"0ab1567!");
  d.Truncate(3);
  EXPECT_EQ(d, L"0ab");
  d.Truncate(10);
  EXPECT_EQ(d, L"0ab");
}

TEST(CString, TrimUsesWideWhiteSpace) {
  CString s(L"\u3000 \t\r\nvalue \u3000\n");
  s.Trim();
  EXPECT_EQ(s, L"value");
  CString left(L"  x  ");
  left.TrimLeft();
  EXPECT_EQ(left, L"x  ");
  CString right(L"  x  ");
  right.TrimRight();
  EXPECT_EQ(right, L"  x");
  CString set(L"xyabcyx");
  set.Trim(L"xy");
  EXPECT_EQ(set, L"abc");
  CString ch(L"--a--");
  ch.TrimLeft(L'-');
  EXPECT_EQ(ch, L"a--");
  CString nbsp(L"\u00a0a");  // below 256 only ASCII white space counts
  nbsp.Trim();
  EXPECT_EQ(nbsp, L"\u00a0a");
}

TEST(CString, CaseFollowsRuntimeState) {
  CString s(L"Firefox \u00c9\u0100");
  EXPECT_EQ(CString(s).MakeLower(), L"firefox \u00c9\u0101");  // Latin-1 range: ASCII only
  EXPECT_EQ(CString(s).MakeUpper(), L"FIREFOX \u00c9\u0100");
  crt_set_chinese_locale(true);
  EXPECT_EQ(CString(s).MakeLower(), L"firefox \u00e9\u0101");
  crt_set_chinese_locale(false);
}

TEST(CString, Comparisons) {
  EXPECT_EQ(CString(L"HTTP").CompareNoCase(L"http"), 0);
  EXPECT_NE(CString(L"\u00c9").CompareNoCase(L"\u00e9"), 0);  // ASCII folding only
  EXPECT_LT(CString(L"abc").Compare(L"abd"), 0);
  EXPECT_GT(CString(L"b").Compare(L"abc"), 0);
  EXPECT_EQ(CString(L"x").Compare(nullptr), 1);
  CString a(L"9000"), b(L"10000");
  EXPECT_TRUE(a > b);  // ordinal, not numeric
  EXPECT_TRUE(a == L"9000");
  EXPECT_TRUE(L"9000" == a);
  EXPECT_TRUE(a != b);
  EXPECT_TRUE(b < L"9");
  EXPECT_TRUE(L"1" <= b);
  std::map<CString, int> m{{L"b", 2}, {L"a", 1}};
  EXPECT_EQ(m.begin()->first, L"a");
  std::unordered_set<CString> hs{CString(L"k")};
  EXPECT_EQ(hs.count(CString(L"k")), 1u);
}

TEST(CString, Concatenation) {
  CString s(L"Referer: ");
  s += CString(L"http://a/");
  s += L'\r';
  s += L"\n";
  EXPECT_EQ(s, L"Referer: http://a/\r\n");
  EXPECT_EQ(L"<" + CString(L"x") + L'>' + L">", L"<x>>");
  EXPECT_EQ(L'[' + CString(L"y"), L"[y");
}

TEST(CString, FormatAcceptsCStringArguments) {
  CString host(L"example.com"), out;
  out.Format(L"%s://%s:%d", CString(L"https"), host, 8443);
  EXPECT_EQ(out, L"https://example.com:8443");
  out.AppendFormat(L"/%u", 7u);
  EXPECT_EQ(out, L"https://example.com:8443/7");
}

TEST(CString, BufferAccess) {
  CString s(L"abc");
  wchar_t *p = s.GetBuffer(11);
  wcscpy(p, L"longer text");
  s.ReleaseBuffer();
  EXPECT_EQ(s, L"longer text");
  p = s.GetBuffer(20);
  p[2] = 0;
  s.ReleaseBuffer();  // up to the first NUL
  EXPECT_EQ(s, L"lo");
  p = s.GetBufferSetLength(4);
  p[2] = L'x';
  p[3] = L'y';
  s.ReleaseBuffer(4);
  EXPECT_EQ(s, L"loxy");
  s.GetBuffer(8);
  s.ReleaseBuffer(1);
  EXPECT_EQ(s, L"l");
}

TEST(CString, Tokenize) {
  const CString s(L";;a;b,,c;");
  int pos = 0;
  std::vector<std::wstring> tokens;
  for (CString t = s.Tokenize(L";,", pos); pos != -1; t = s.Tokenize(L";,", pos)) tokens.push_back(t.str());
  EXPECT_EQ(tokens, (std::vector<std::wstring>{L"a", L"b", L"c"}));
  pos = 0;
  EXPECT_TRUE(CString(L";;;").Tokenize(L";", pos).IsEmpty());
  EXPECT_EQ(pos, -1);
}

bool Table(UINT id, std::wstring &out) {
  if (id != 101) return false;
  out = L"\u884c\u60c5";
  return true;
}

TEST(CString, LoadStringFromRegisteredTable) {
  CString s(L"unchanged");
  EXPECT_FALSE(s.LoadString(101));  // no table yet
  SetResourceStringLookup(Table);
  EXPECT_TRUE(s.LoadString(101));
  EXPECT_EQ(s, L"\u884c\u60c5");
  EXPECT_FALSE(s.LoadString(102));
  EXPECT_EQ(s, L"\u884c\u60c5");
  int module;
  EXPECT_FALSE(s.LoadString(reinterpret_cast<HINSTANCE>(&module), 101));
  SetResourceStringLookup(nullptr);
}

TEST(CString, AllocSysString) {
  BSTR b = CString(L"\u4e2d\0x", 3).AllocSysString();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(SysStringLen(b), 3u);
  EXPECT_EQ(b[0], L'\u4e2d');
  EXPECT_EQ(b[2], L'x');
  EXPECT_EQ(b[3], L'\0');
  SysFreeString(b);
  SysFreeString(nullptr);
}

TEST(CString, OutOfRangeAccessIsReportedAndHarmless) {
  testsupport::AssertRecorder asserts;
  CString s(L"ab");
  EXPECT_EQ(s.GetAt(5), L'\0');
  s.SetAt(-1, L'x');
  EXPECT_EQ(s, L"ab");
  EXPECT_EQ(asserts.count(), 2);
}

TEST(CStringArray, AccessAndErrors) {
  CStringArray a;
  EXPECT_EQ(a.Add(L"x"), 0);
  EXPECT_EQ(a.Add(L"y"), 1);
  EXPECT_EQ(a.GetSize(), 2);
  EXPECT_EQ(a.GetAt(1), L"y");
  a[0] = L"z";
  EXPECT_EQ(a[0], L"z");
  EXPECT_THROW(a.GetAt(2), CInvalidArgException);
  EXPECT_THROW(a.GetAt(-1), CInvalidArgException);
  a.SetSize(4);
  EXPECT_TRUE(a.GetAt(3).IsEmpty());
  EXPECT_THROW(a.SetSize(-1), CInvalidArgException);
  a.RemoveAll();
  EXPECT_EQ(a.GetSize(), 0);
  EXPECT_THROW(a.GetAt(0), CInvalidArgException);
}

}  // namespace

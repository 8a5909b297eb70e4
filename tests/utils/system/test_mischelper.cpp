#include "utils/system/mischelper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include "platform/system/defaultbrowser.h"
#include "platform/system/winexec.h"
#include "platform/text/codepage.h"
#include "tests/support/child_files.h"
#include "tests/support/config_home.h"
#include "tests/support/print_cstring.h"
#include "tests/support/scoped_env.h"

namespace {

constexpr int kShowNormal = 1;

// Clears every proxy variable, then sets the given ones.
void SetProxyEnv(testsupport::ScopedEnvSet &env, const std::vector<std::pair<const char *, const char *>> &vars) {
  for (const char *n : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy", "FTP_PROXY", "all_proxy",
                        "ALL_PROXY", "no_proxy", "NO_PROXY"})
    env.Set(n, nullptr);
  for (const auto &v : vars) env.Set(v.first, v.second);
}

struct ProxyCase {
  const char *name;
  std::vector<std::pair<const char *, const char *>> env;
  DWORD flags;
  const wchar_t *host;  // "keep" and 7 when unchanged
  WORD port;
  const wchar_t *user, *password;  // "keep" when unchanged
};

TEST(GetIEProxy, ReadsHostPortAndCredentialsOfTheSystemProxy) {
  const ProxyCase cases[] = {
      {"no proxy", {}, PROXY_TYPE_DIRECT, L"keep", 7, L"keep", L"keep"},
      {"one entry", {{"http_proxy", "http://proxy.local:3128/"}}, 3, L"proxy.local", 3128, L"keep", L"keep"},
      {"same proxy for every scheme",
       {{"http_proxy", "http://p:81"}, {"https_proxy", "http://p:81"}},
       3,
       L"p",
       81,
       L"keep",
       L"keep"},
      {"list: the http entry",
       {{"http_proxy", "http://a.example:8080"}, {"https_proxy", "http://b.example:9090"}},
       3,
       L"a.example",
       8080,
       L"keep",
       L"keep"},
      {"list without an http entry",
       {{"https_proxy", "http://b:1"}, {"ftp_proxy", "http://c:2"}},
       3,
       L"keep",
       7,
       L"keep",
       L"keep"},
      {"two colons", {{"http_proxy", "http://[::1]:8080"}}, 3, L"keep", 7, L"keep", L"keep"},
      {"no port", {{"http_proxy", "http://proxy.local"}}, 3, L"keep", 7, L"keep", L"keep"},
      {"credentials", {{"HTTP_PROXY", "http://me:p%40ss@q:8000"}}, 3, L"q", 8000, L"me", L"p@ss"},
      {"all_proxy fallback", {{"all_proxy", "socks5://s:1080"}}, 3, L"s", 1080, L"keep", L"keep"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScopedEnvSet env;
    SetProxyEnv(env, c.env);
    DWORD flags = 0xFFFF;
    CString host(L"keep"), user(L"keep"), password(L"keep");
    WORD port = 7;
    ASSERT_TRUE(GetIEProxy(flags, host, port, user, password));
    EXPECT_EQ(flags, c.flags);
    EXPECT_EQ(host, c.host);
    EXPECT_EQ(port, c.port);
    EXPECT_EQ(user, c.user);
    EXPECT_EQ(password, c.password);
  }
}

TEST(GetOsVersion, ReportsTheKernelReleaseAsAnNtFamilyVersion) {
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  COsVersion v = GetOsVersion();
  EXPECT_EQ(v.GetPlatform(), COsVersion::PLATFORM_WIN32_NT);
  EXPECT_EQ(v.GetVersion().GetMajor(), std::atoi(u.release));
  EXPECT_EQ(v.GetVersion().GetRevision(), 0);
  EXPECT_EQ(v.GetServicePack().GetMajor(), 0);
}

TEST(GetErrorText, GivesTheSystemTextWithItsLineBreak) {
  EXPECT_EQ(GetErrorText(2), L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(GetErrorText(12029), L"A connection with the server could not be established\r\n");
  EXPECT_TRUE(GetErrorText(0xDEADu).IsEmpty());
}

bool IsGuidText(const std::wstring &t) {
  if (t.size() != 36) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? t[i] != L'-' : !(std::iswdigit(t[i]) || (t[i] >= L'a' && t[i] <= L'f'))) return false;
  }
  return t[14] == L'4';  // version 4
}

TEST(NewGuid, MakesDistinctRandomGuidsAndTheirText) {
  CString wide;
  std::string narrow;
  GUID a = NewGuid(wide);
  GUID b = NewGuid(narrow);
  GUID c = NewGuid();
  EXPECT_TRUE(IsGuidText(wide.str())) << WideToMultiByte(CP_UTF8, wide.str());
  EXPECT_TRUE(IsGuidText(MultiByteToWide(CP_UTF8, narrow))) << narrow;
  CString first8;
  first8.Format(L"%08x", a.Data1);
  EXPECT_EQ(wide.Left(8), first8);
  EXPECT_NE(std::memcmp(&a, &b, sizeof a), 0);
  EXPECT_NE(std::memcmp(&b, &c, sizeof b), 0);
}

TEST(FindText, PointsAtTheFirstOccurrence) {
  const wchar_t *text = L"abcabc";
  EXPECT_EQ(FindText(text, L"ca"), text + 2);
  EXPECT_EQ(FindText(text, L"x"), nullptr);
  EXPECT_EQ(FindText(nullptr, L"a"), nullptr);
}

// Writes a key's default value into the file-backed registry.
void SetDefault(HKEY root, const wchar_t *subKey, const std::wstring &value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyW(root, subKey, &key), (LONG)ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
            (LONG)ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST(RegGetDefaultValue, ReadsTheDefaultValueOrReportsTheOpenError) {
  ScopedConfigHome config;
  SetDefault(HKEY_CURRENT_USER, L"Software\\Tickora\\Short", L"value");
  SetDefault(HKEY_CURRENT_USER, L"Software\\Tickora\\Long", std::wstring(300, L'x'));
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, L"Software\\Tickora\\Empty", &key), (LONG)ERROR_SUCCESS);
  RegCloseKey(key);
  const struct {
    const wchar_t *subKey;
    LONG result;
    const wchar_t *value;
  } cases[] = {
      {L"Software\\Tickora\\Short", ERROR_SUCCESS, L"value"},
      {L"software\\tickora\\short", ERROR_SUCCESS, L"value"},  // key names ignore case
      {L"Software\\Tickora\\Empty", ERROR_SUCCESS, L""},
      {L"Software\\Tickora\\Long", ERROR_SUCCESS, L""},  // does not fit 260 characters
      {L"Software\\Tickora\\Missing", ERROR_FILE_NOT_FOUND, L"untouched"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(WideToMultiByte(CP_UTF8, c.subKey));
    wchar_t buffer[260] = L"untouched";
    EXPECT_EQ(RegGetDefaultValue(HKEY_CURRENT_USER, c.subKey, buffer), c.result);
    EXPECT_STREQ(buffer, c.value);
  }
}

// The desktop's default browser as the tests set it.
std::wstring g_desktopBrowser;
std::wstring DesktopBrowser() { return g_desktopBrowser; }

// A fake browser: a script that writes each of its arguments on a line of
// "<dir>/args". The desktop has no default browser unless a test sets one.
class OpenUrlInBrowserTest : public testing::Test {
 protected:
  OpenUrlInBrowserTest() {
    g_desktopBrowser.clear();
    platform::SetDefaultBrowserProvider(DesktopBrowser);
  }
  ~OpenUrlInBrowserTest() override { platform::SetDefaultBrowserProvider(nullptr); }
  std::string MakeBrowser(const std::string &name) {
    std::string path = config_.path() + "/" + name;
    std::string script = "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + args_ + ".tmp'\nmv '" +
                         args_ + ".tmp' '" + args_ + "'\n";
    FILE *f = std::fopen(path.c_str(), "w");
    std::fputs(script.c_str(), f);
    std::fclose(f);
    chmod(path.c_str(), 0755);
    return path;
  }
  void Register(const std::wstring &command) {
    SetDefault(HKEY_CLASSES_ROOT, L".htm", L"htmlfile");
    SetDefault(HKEY_CLASSES_ROOT, L"htmlfile\\shell\\open\\command", command);
  }
  // The arguments the browser got (waits until it has written them).
  std::string ReceivedArgs() { return testsupport::WaitForFileContent(args_); }

  ScopedConfigHome config_;
  std::string args_ = config_.path() + "/args";
};

TEST_F(OpenUrlInBrowserTest, RunsTheRegisteredCommandWithTheUrlAsOneArgument) {
  std::wstring browser = MultiByteToWide(CP_UTF8, MakeBrowser("browser"));
  Register(L"\"" + browser + L"\" -osint \"%1\" -trailing");
  EXPECT_GT(OpenUrlInBrowser(L"http://h/a b'c\"d?x=1&y=2", kShowNormal), 31u);
  EXPECT_EQ(ReceivedArgs(), "-osint\nhttp://h/a b%27c\"d?x=1&y=2\n");
}

TEST_F(OpenUrlInBrowserTest, DropsTheNewOptionOfFirefox) {
  std::wstring browser = MultiByteToWide(CP_UTF8, MakeBrowser("Firefox"));
  Register(browser + L" -new -new-tab %1");
  EXPECT_GT(OpenUrlInBrowser(L"http://h/", kShowNormal), 31u);
  EXPECT_EQ(ReceivedArgs(), "-new-tab\nhttp://h/\n");
}

TEST_F(OpenUrlInBrowserTest, UsesTheDesktopsDefaultBrowserWhenNoneIsRegistered) {
  g_desktopBrowser = L"'" + MultiByteToWide(CP_UTF8, MakeBrowser("desktop browser")) + L"' --new-window \"%1\"";
  EXPECT_GT(OpenUrlInBrowser(L"http://h/x", kShowNormal), 31u);
  EXPECT_EQ(ReceivedArgs(), "--new-window\nhttp://h/x\n");
}

TEST_F(OpenUrlInBrowserTest, FailsWithoutARegisteredCommandOrProgram) {
  EXPECT_EQ(OpenUrlInBrowser(L"http://h/", kShowNormal), 0u);  // no ".htm" class
  SetDefault(HKEY_CLASSES_ROOT, L".htm", L"htmlfile");
  EXPECT_EQ(OpenUrlInBrowser(L"http://h/", kShowNormal), 0u);  // no open command
  Register(MultiByteToWide(CP_UTF8, config_.path()) + L"/missing \"%1\"");
  EXPECT_EQ(OpenUrlInBrowser(L"http://h/", kShowNormal), (UINT)ERROR_FILE_NOT_FOUND);
}

TEST(NumberToText, WritesEachRadix) {
  EXPECT_EQ(IntToText(-255, 10), L"-255");
  EXPECT_EQ(IntToText(-1, 16), L"ffffffff");  // no sign outside radix 10
  EXPECT_EQ(IntToText(INT_MIN, 10), L"-2147483648");
  EXPECT_EQ(IntToText(255, 2), L"11111111");
  EXPECT_EQ(IntToText(35, 36), L"z");
  EXPECT_EQ(IntToText(5, 1), L"");
  EXPECT_EQ(Int64ToText(LLONG_MIN, 10), L"-9223372036854775808");
  EXPECT_EQ(Int64ToText(-1, 16), L"ffffffffffffffff");
  EXPECT_EQ(UInt64ToText(ULLONG_MAX, 10), L"18446744073709551615");
  EXPECT_EQ(NumberToText(255, 16), L"ff");
  EXPECT_EQ(NumberToText(4294967295u, 10), L"4294967295");
  EXPECT_EQ(NumberToText(8, 8), L"");
}

TEST(ParseBool, AcceptsTrueAndOneOnly) {
  const struct {
    const wchar_t *text;
    BOOL value;
  } cases[] = {{L"  true \t", TRUE}, {L"TRUE", TRUE}, {L"1", TRUE},   {L" 1 ", TRUE}, {L"yes", FALSE},
               {L"false", FALSE},    {L"0", FALSE},   {L"10", FALSE}, {L"", FALSE},   {L"tru e", FALSE}};
  for (const auto &c : cases) EXPECT_EQ(ParseBool(c.text), c.value) << WideToMultiByte(CP_UTF8, c.text);
}

TEST(RandomInt, StaysInItsRange) {
  std::set<int> seen;
  for (int i = 0; i < 2000; ++i) {
    int v = RandomInt(7);
    ASSERT_GE(v, 0);
    ASSERT_LT(v, 7);
    seen.insert(v);
    ASSERT_GE(RandomInt(0), 0);
    ASSERT_GE(RandomInt(-5), 0);
    int r = RandomRange(-3, 3);
    ASSERT_GE(r, -3);
    ASSERT_LT(r, 3);
    seen.insert(100 + r);
    int wide = RandomRange(INT_MIN, INT_MAX);  // the span does not fit an int
    ASSERT_LT(wide, INT_MAX);
  }
  EXPECT_EQ(seen.size(), 7u + 6u);  // every value comes up
  EXPECT_EQ(RandomRange(5, 6), 5);
}

TEST(RandomBytes, FillsTheBuffer) {
  unsigned char a[32] = {}, b[32] = {};
  ASSERT_TRUE(RandomBytes(a, sizeof a));
  ASSERT_TRUE(RandomBytes(b, sizeof b));
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
  EXPECT_TRUE(RandomBytes(nullptr, 0));
  EXPECT_FALSE(RandomBytes(nullptr, 4));
}

TEST(TickInterval, CountsOneTickLessAcrossAWrap) {
  const struct {
    DWORD now, start, diff;
  } cases[] = {{10, 5, 5}, {5, 5, 0}, {0xFFFFFFFFu, 0, 0xFFFFFFFFu}, {1, 0xFFFFFFFFu, 1}, {0, 1, 0xFFFFFFFEu}};
  for (const auto &c : cases) {
    EXPECT_EQ(GetTickDiff(c.now, c.start), c.diff) << c.now << " " << c.start;
    EXPECT_TRUE(IsTimeout(c.now, c.start, c.diff));
    if (c.diff < 0xFFFFFFFFu) {
      EXPECT_FALSE(IsTimeout(c.now, c.start, c.diff + 1));
    }
  }
}

}  // namespace

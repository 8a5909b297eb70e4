#include "utils/text/updateinfo.h"

#include <gtest/gtest.h>

#include "tests/support/print_cstring.h"

namespace {

TEST(ParseUpdateInfo, ReadsTheThreeFields) {
  struct Case {
    const wchar_t *text, *name, *version, *url;
  } const cases[] = {
      {L"【name】=Tool\n【version】=1.2.3\n【download_url】=D:/pub/tool.exe", L"Tool", L"1.2.3", L"D:/pub/tool.exe"},
      {L"\n \r\n【name】=Tool\n【version】=1.2.3\n【download_url】=D:/pub/tool.exe\n\n ", L"Tool", L"1.2.3",
       L"D:/pub/tool.exe"},
      // A two-character line end leaves its CR on the values before it.
      {L"【name】=Tool\r\n【version】=1.2.3\r\n【download_url】=http://h/t.exe", L"Tool\r", L"1.2.3\r",
       L"http://h/t.exe"},
      // White space inside values stays.
      {L"【name】=My Tool \n【version】= 2 \n【download_url】=a b", L"My Tool ", L" 2 ", L"a b"},
      // Empty values, including labels with no separator between them.
      {L"【name】=\n【version】=【download_url】=", L"", L"", L""},
      // Labels in another order still give their own values.
      {L"【download_url】=u\n【version】=v\n【name】=n", L"n", L"v", L"u"},
      // A missing label gives an empty value; the others are read.
      {L"【name】=n\n【download_url】=u", L"n", L"", L"u"},
      {L"【version】=v", L"", L"v", L""},
      {L"nothing here", L"", L"", L""},
      {L"", L"", L"", L""},
  };
  for (const Case &c : cases) {
    const TUpdateInfo info = ParseUpdateInfo(c.text);
    EXPECT_EQ(info.strProductName, CString(c.name)) << testing::PrintToString(CString(c.text));
    EXPECT_EQ(info.strVersion, CString(c.version)) << testing::PrintToString(CString(c.text));
    EXPECT_EQ(info.strDownloadUrl, CString(c.url)) << testing::PrintToString(CString(c.text));
    EXPECT_EQ(info.strExtra, CString());
  }
}

}  // namespace

// The pull reader and the entity helpers, over texts in memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"
#include "utils/xml/xmlreader.h"

using namespace pcutil;

namespace {

// Every node the reader gives as "kind:value[name=value,...]"; it throws
// what the reader throws.
void Collect(CXmlReader &reader, std::vector<std::wstring> &out) {
  while (reader.Read()) {
    std::wstring node = std::to_wstring(reader.GetNodeType()) + L":" + reader.GetValue();
    if (reader.GetAttributeCount() > 0) {
      node += L"[";
      for (int i = 0; i < reader.GetAttributeCount(); ++i) {
        std::wstring name, value;
        reader.GetAttribute(i, name, value);
        node += (i ? L"," : L"") + name + L"=" + value;
      }
      node += L"]";
    }
    out.push_back(node);
  }
}

std::vector<std::wstring> Nodes(const std::wstring &text) {
  CXmlReader reader(text);
  std::vector<std::wstring> out;
  Collect(reader, out);
  return out;
}

// The nodes up to the end or the error, followed by "error" and its message.
std::vector<std::wstring> NodesAndError(CXmlReader &reader) {
  std::vector<std::wstring> out;
  try {
    Collect(reader, out);
  } catch (const CXmlException &e) {
    out.push_back(L"error " + e.message.str());
  }
  return out;
}

// The code of the exception that reading all of `text` raises, or 0.
int ErrorCode(const std::wstring &text) {
  try {
    Nodes(text);
  } catch (const CXmlException &e) {
    return e.code;
  }
  return 0;
}

}  // namespace

TEST(XmlReader, NodesOfWellFormedTexts) {
  const struct {
    std::wstring text;
    std::vector<std::wstring> nodes;
  } cases[] = {
      {L"", {}},
      {L" \t\r\n ", {}},
      {L"<?XML version='1.0' encoding=\"utf-8\"?>", {L"6:[version=1.0,encoding=utf-8]"}},
      {L"<?xml?>", {L"6:"}},
      {L"<a/><a />", {L"2:a", L"2:a"}},
      {L"<a b = 'x' >", {L"0:a[b=x]"}},
      {L"<a b='1'c=\"2\" b='3'/>", {L"2:a[b=1,c=2,b=3]"}},
      // one blank before the next attribute, before the tag's end, or more
      {L"<a b='1' c='2' /><a b='3' ><a b='4'  c='5' \td='6'>", {L"2:a[b=1,c=2]", L"0:a[b=3]", L"0:a[b=4,c=5,d=6]"}},
      {L"<a b='&lt;&#x41;&QUOT;'>", {L"0:a[b=<A\"]"}},
      {L"\u3000<a\tb='x'\u3000/>", {L"2:a[b=x]"}},  // wide white space counts
      {L"</a >", {L"1:a "}},
      {L"<r> x &lt;y&gt; &AMP; z \r\n</r>", {L"0:r", L"4:x <y> & z", L"1:r"}},
      // Only literal white space is trimmed: a referenced one is content.
      {L"<r>a&#x0A; \n</r>", {L"0:r", L"4:a\n", L"1:r"}},
      {L"<r> &#x20;b&#x20; </r>", {L"0:r", L"4: b ", L"1:r"}},
      {L"<r>&#x20;</r>", {L"0:r", L"4: ", L"1:r"}},
      {L"<r>&#x;</r>", {L"0:r", std::wstring(L"4:") + L'\0', L"1:r"}},
      {L"<!-- a -- b -->", {L"3: a -- b "}},
      {L"<![cdata[ <x>&amp; ]]>", {L"5: <x>&amp; "}},
      {L"<a x='1'><b/>t<!--c--></a>", {L"0:a[x=1]", L"2:b", L"4:t", L"3:c", L"1:a"}},
      {L"<a/b>", {L"0:a/b"}},
      {std::wstring(L"<a/>") + L'\0' + L"<b>", {L"2:a"}},  // a NUL ends the text
  };
  for (const auto &c : cases) {
    try {
      EXPECT_EQ(Nodes(c.text), c.nodes) << c.text;
    } catch (const CXmlException &e) {
      ADD_FAILURE() << "code " << e.code << " for " << c.text;
    }
  }
}

TEST(XmlReader, MalformedTextsRaiseTheCodeOfTheirConstruct) {
  const struct {
    std::wstring text;
    int code;
  } cases[] = {
      {L"<a b=x>", XML_ERROR_PARSE_ELEMENT},
      {L"<a b='1' c>", XML_ERROR_PARSE_ELEMENT},
      {L"<a b='1' ", XML_ERROR_PARSE_ELEMENT},
      {L"<>", XML_ERROR_PARSE_ELEMENT},
      {L"< a>", XML_ERROR_PARSE_ELEMENT},
      {L"<a b c='x'>", XML_ERROR_PARSE_ELEMENT},
      {L"<a", XML_ERROR_PARSE_ELEMENT},
      {L"<a b='x'", XML_ERROR_PARSE_ELEMENT},
      {L"<a b='x>", XML_ERROR_PARSE_ELEMENT},
      {L"<a b='&bogus;'>", XML_ERROR_PARSE_ELEMENT},
      {L"</a", XML_ERROR_PARSE_ELEMENT},
      {L"<a></a>tail", XML_ERROR_PARSE_TEXT},
      {L"<r>&#65;<", XML_ERROR_PARSE_TEXT},
      {L"<r>&#X41;<", XML_ERROR_PARSE_TEXT},
      {L"<r>&nbsp;<", XML_ERROR_PARSE_TEXT},
      {L"<!-- open", XML_ERROR_PARSE_COMMENT},
      {L"<?xml version='1.0'", XML_ERROR_PARSE_DECLARATION},
      {L"<?xml version=1?>", XML_ERROR_PARSE_DECLARATION},
      {L"<?xml version ?>", XML_ERROR_PARSE_DECLARATION},
      {L"<![CDATA[ open ]]", XML_ERROR_PARSE_CDATA},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(ErrorCode(c.text), c.code) << c.text;
  }
}

TEST(XmlReader, AReaderThatHasThrownKeepsThrowingTheSameError) {
  const struct {
    std::wstring text;
    int code;
  } cases[] = {
      {L"<a b='x", XML_ERROR_PARSE_ELEMENT},
      {L"<r>t&bogus;<r/>", XML_ERROR_PARSE_TEXT},
      {L"<r>tail", XML_ERROR_PARSE_TEXT},
      {L"<!-- open", XML_ERROR_PARSE_COMMENT},
      {L"<?xml v='1'", XML_ERROR_PARSE_DECLARATION},
      {L"<a/><![CDATA[ open", XML_ERROR_PARSE_CDATA},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    CXmlReader reader(c.text);
    int thrown = 0;
    try {
      while (reader.Read()) {
      }
    } catch (const CXmlException &e) {
      thrown = e.code;
    }
    ASSERT_EQ(thrown, c.code);
    for (int again = 0; again < 2; ++again) {
      try {
        reader.Read();
        ADD_FAILURE() << "read again without an error";
      } catch (const CXmlException &e) {
        EXPECT_EQ(e.code, c.code);
      }
      EXPECT_EQ(reader.GetValue(), L"");
      EXPECT_EQ(reader.GetAttributeCount(), 0);
    }
  }
}

TEST(XmlReader, AccessorsAndEndOfText) {
  const std::wstring text = L"<a b='1' b='2' c='3'>";
  CXmlReader reader(text);
  EXPECT_EQ(reader.GetNodeType(), XML_NODE_NONE);
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.GetAttribute(L"b"), L"1");  // first of duplicates
  EXPECT_EQ(reader.GetAttribute(L"B"), L"");   // names compare with case
  EXPECT_EQ(reader.GetAttribute(L"c"), L"3");
  std::wstring name = L"n", value = L"v";
  reader.GetAttribute(3, name, value);
  reader.GetAttribute(-1, name, value);
  EXPECT_EQ(name + value, L"nv");
  EXPECT_FALSE(reader.Read());
  EXPECT_FALSE(reader.Read());
  EXPECT_EQ(reader.GetNodeType(), XML_NODE_START_ELEMENT);  // kept at the end
  EXPECT_EQ(reader.GetValue(), L"");
  EXPECT_EQ(reader.GetAttributeCount(), 0);
}

// A reader over UTF-8 reads a window of bytes at a time. Whatever the window and
// wherever its ends fall (the leading blanks move every node across them),
// it gives the nodes and the error that the reader of the decoded text
// gives: tokens, references, multi-byte and invalid sequences cut by a
// window's end, and nodes longer than the window.
TEST(XmlReader, Utf8ReaderReadsWhatTheDecodedTextGivesWhereverItsWindowsEnd) {
  const std::string texts[] = {
      "<?xml version='1.0' encoding=\"utf-8\"?><r a='x&amp;y' b=\"\xE4\xB8\xAD\"><e/><e />"
      "<f\t g = '1'c='&#x4E2D;'/>text &lt;&#x41;&AMP;&#xD83D;&#xDE00; \xF0\x9F\x98\x80 end\r\n"
      "<![CDATA[ <x>]] &amp; ]]><!-- a -- b -->\xE3\x80\x80<s\xE3\x80\x80t='\xC3\xA9'/></r \t>",
      "<r>\xFF\xE4\xB8<\xC0\xAF/>\xED\xA0\x80 \xF4\x90\x80\x80\xE4\xB8\xAD\xF0\x9F\x98</r>",
      "<r>" + std::string(100, 'x') + "<" + std::string(90, 'n') + " a='" + std::string(80, 'v') + "'/></r>",
      // white space beyond ASCII wherever the reader skips it, a name
      // beyond ASCII, and a long run of stray continuation bytes
      "<a b=\xE3\x80\x80'x' c\xE3\x80\x80\xE2\x80\xA8='y'\xE3\x80\x80/>\xE3\x80\x80<?xml\xE3\x80\x80v='1'\xE3\x80\x80?>"
      "<n\xC3\xA9 \xE4\xB8\xAD='\x80\x80\x80\x80\x80\x80\x80\x80\x80'>\x80\x80\x80\x80\x80\x80</n\xC3\xA9>",
      // runs of white space between nodes across sixteen bytes, ending in
      // white space beyond ASCII; values with references before plain ones
      "<r>\n\t\r" + std::string(16, ' ') + "\xE3\x80\x80 \xE2\x80\xA8<a>x &amp; y</a>" + std::string(17, ' ') +
          "\r\n<b c='&lt;' d='e'/>" + std::string(33, '\t') + "<b c='f' d='&gt;'>plain</b>\n<b>&#x41;</b>" +
          std::string(15, '\n') + "<b>z</b></r>",
      std::string("<a/>\0<b>", 8),  // a NUL ends the text
      "<a b=x>",
      "<a b c='x'>",
      "<a b='x'",
      "<a b='&bogus;'>",
      "<a b='&am'>",
      "</a",
      "<a></a>tail",
      "<r>&#65;<",
      "<r>&#X41;<",
      "<r>&nbsp;<",
      "<r>&#x",
      "<r>&a",
      "<r>&#xD800;&#",
      "<!-- open -",
      "<?xml version='1.0'?",
      "<?xml version=1?>",
      "<![CDATA[ open ]]",
      "<",
      "<!",
      "<![CDAT",
  };
  for (const std::string &text : texts) {
    for (const size_t window : {4, 5, 7, 8, 13, 16, 31, 64}) {
      for (size_t blanks = 0; blanks <= window + 4; ++blanks) {
        const std::string bytes = std::string(blanks, ' ') + text;
        const std::wstring wide = MultiByteToWide(CP_UTF8, bytes);
        CXmlReader decoded(wide);
        CXmlReader streamed(bytes.data(), bytes.size(), window);
        ASSERT_EQ(NodesAndError(streamed), NodesAndError(decoded))
            << testing::PrintToString(bytes) << " window " << window;
      }
    }
  }
}

TEST(XmlReader, Utf8ReaderOfNothing) {
  CXmlReader reader(nullptr, 0);
  EXPECT_FALSE(reader.Read());
  EXPECT_EQ(reader.GetNodeType(), XML_NODE_NONE);
  EXPECT_EQ(reader.GetValue(), L"");
}

TEST(XmlException, MessagesByCode) {
  const struct {
    int code;
    const wchar_t *message;
  } cases[] = {{2, L"Open File Error"},
               {3, L"Parse Element Error"},
               {4, L"Parse Text Node Error"},
               {5, L"Parse Comment Error"},
               {6, L"Parse Declaration Error"},
               {7, L"Parse CData Error"},
               {8, L"Document Empty"},
               {9, L"Document Illegal"},
               {1, L""},
               {10, L""}};
  for (const auto &c : cases) {
    const CXmlException e(c.code);
    const CXmlException copy(e);
    EXPECT_EQ(copy.code, c.code);
    EXPECT_STREQ(copy.message.GetString(), c.message);
  }
}

TEST(XmlEntity, StartsWith) {
  EXPECT_TRUE(XmlStartsWith(L"<?XML x", L"<?xml", true));
  EXPECT_FALSE(XmlStartsWith(L"<?XML x", L"<?xml", false));
  EXPECT_TRUE(XmlStartsWith(L"abc", L"", false));
  EXPECT_FALSE(XmlStartsWith(L"", L"", false));  // an empty text starts with nothing
  EXPECT_FALSE(XmlStartsWith(L"<!-", L"<!--", true));
}

// The reader's white space is the blank, tab to CR, and the runtime's
// white space above U+00FF: checked for every character.
TEST(XmlEntity, WhiteSpaceIsTheRuntimesForEveryCharacter) {
  for (uint32_t c = 0; c <= 0x10FFFF; ++c) {
    const wchar_t w = static_cast<wchar_t>(c);
    const bool expected = c < 256 ? c == L' ' || (c >= L'\t' && c <= L'\r') : win_iswspace(w);
    ASSERT_EQ(XmlIsSpace(w), expected) << std::hex << c;
  }
}

TEST(XmlEntity, ReadName) {
  const struct {
    const wchar_t *text;
    const wchar_t *name;  // null: the scan fails
    int stopAt;
  } cases[] = {
      {L"abc='", L"abc", 3}, {L"ab \t='", L"ab", 4}, {L"='", L"", 0}, {L"a b='", nullptr, 0}, {L"abc", nullptr, 0},
  };
  for (const auto &c : cases) {
    std::wstring name = L">";
    const wchar_t *end = XmlReadName(c.text, name, L'=');
    if (c.name == nullptr) {
      EXPECT_EQ(end, nullptr) << c.text;
    } else {
      EXPECT_EQ(end, c.text + c.stopAt) << c.text;
      EXPECT_EQ(name, std::wstring(L">") + c.name) << c.text;
    }
  }
  std::wstring name;
  EXPECT_EQ(XmlReadName(nullptr, name, L'='), nullptr);
}

TEST(XmlEntity, ReadUntil) {
  std::wstring out = L"x";
  const wchar_t *text = L"a&lt;b'c";
  EXPECT_EQ(XmlReadUntil(text, out, L'\'', false), text + 6);
  EXPECT_EQ(out, L"xa&lt;b");
  out.clear();
  EXPECT_EQ(XmlReadUntil(text, out, L'\'', true), text + 6);
  EXPECT_EQ(out, L"a<b");
  out.clear();
  // A quote made by a reference does not end the scan.
  text = L"&apos;'";
  EXPECT_EQ(XmlReadUntil(text, out, L'\'', true), text + 6);
  EXPECT_EQ(out, L"'");
  EXPECT_EQ(XmlReadUntil(L"no stop", out, L'<', false), nullptr);
  EXPECT_EQ(XmlReadUntil(L"&#x41", out, L'<', true), nullptr);  // cut off before the stop
  EXPECT_EQ(XmlReadUntil(nullptr, out, L'<', true), nullptr);
}

TEST(XmlEntity, EscapeReplacesSpecialAndControlCharacters) {
  std::wstring in = L"a&<>\"'\t\n\r\x1f";
  in.push_back(L'\0');
  in += L"\x7f\u00e9\U0001F600";
  std::wstring out = L"keep:";
  XmlEscape(in, out);
  EXPECT_EQ(out, L"keep:a&amp;&lt;&gt;&quot;&apos;&#x09;&#x0A;&#x0D;&#x1F;&#x00;\x7f\u00e9\U0001F600");
  std::wstring back;
  EXPECT_TRUE(XmlUnescape(out.substr(5), back));
  EXPECT_EQ(back, in);
}

TEST(XmlEntity, Unescape) {
  const struct {
    std::wstring text;
    bool ok;
    std::wstring out;
  } cases[] = {
      {L"&apos;&QuOt;&GT;&lt;&amp;", true, L"'\"><&"},
      {L"&#x41;&#x3000;&#x1F600;", true, L"A\u3000\U0001F600"},  // whole characters, not 16 bits
      {L"a&#x41", true, L"aA"},                                  // cut off by the end: still counts
      {L"&#65;", false, L""},
      {L"a&#X41;", false, L"a"},
      {L"a&amp", false, L"a"},
      {L"a&", false, L"a"},
      // The character after the digits must be ';': it is never swallowed.
      {L"&#x41<b>", false, L""},
      {L"&#x41 ", false, L""},
      // Digits only, and nothing beyond the Unicode range.
      {L"&#x-41;", false, L""},
      {L"&#x 41;", false, L""},
      {L"&#x0x41;", false, L""},
      {L"&#x110000;", false, L""},
      {L"&#xFFFFFFFF41;", false, L""},
      {L"&#x10FFFF;", true, L"\U0010FFFF"},
      // UTF-16 written out as two references makes one character; anything
      // else leaves a surrogate as it stands.
      {L"&#xD83D;&#xDE00;", true, L"\U0001F600"},
      {L"&#xd83d;&#xde00", true, L"\U0001F600"},
      {L"&#xD83D;&#x41;", true, std::wstring(1, wchar_t(0xD83D)) + L"A"},
      {L"&#xDE00;&#xD83D;", true, std::wstring{wchar_t(0xDE00), wchar_t(0xD83D)}},
      {L"&#xD83D;&#xDE00 x", false, std::wstring(1, wchar_t(0xD83D))},
  };
  for (const auto &c : cases) {
    std::wstring out;
    EXPECT_EQ(XmlUnescape(c.text, out), c.ok) << c.text;
    EXPECT_EQ(out, c.out) << c.text;
  }
  std::wstring out = L"x";
  EXPECT_TRUE(XmlUnescape(std::wstring(L"a\0&bogus", 8), out));  // stops at the NUL
  EXPECT_EQ(out, L"xa");
}

// The text writer's output rules and the file writer's bytes, checked in real
// files of a temporary folder (UTF-16 also through the iconv tool).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/text/winerror.h"
#include "tests/support/assert_recorder.h"
#include "tests/support/temp_dir.h"
#include "utils/xml/xmlreader.h"
#include "utils/xml/xmlwriter.h"

using namespace pcutil;

namespace {

using Calls = std::function<void(CXmlWriter &)>;

std::wstring WriteText(const Calls &calls) {
  std::wstring out;
  CXmlTextWriter writer(out);
  calls(writer);
  return out;
}

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

// `path` decoded from UTF-16 (with its BOM) to UTF-8 by the iconv tool.
std::string IconvUtf16ToUtf8(const std::string &path) {
  std::string out;
  FILE *pipe = popen(("iconv -f UTF-16 -t UTF-8 '" + path + "'").c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  EXPECT_EQ(pclose(pipe), 0);
  return out;
}

// The nodes of `xml` read back, as "kind:value" (declarations left out).
std::vector<std::wstring> ReadBack(const std::wstring &xml) {
  std::vector<std::wstring> nodes;
  CXmlReader reader(xml);
  while (reader.Read())
    if (reader.GetNodeType() != XML_NODE_DECLARATION)
      nodes.push_back(std::to_wstring(reader.GetNodeType()) + L":" + reader.GetValue());
  return nodes;
}

}  // namespace

TEST(XmlTextWriter, WritesOneLineByTheOutputRules) {
  const struct {
    const char *name;
    Calls calls;
    std::wstring expected;
  } cases[] = {
      {"declaration and attribute",
       [](CXmlWriter &w) {
         w.WriteStartDocument(L"1.0", L"utf-8");
         w.WriteStartElement(L"a");
         w.WriteAttributeString(L"b", L"x<y");
         w.WriteEndElement();
       },
       L"<?xml version=\"1.0\" encoding=\"utf-8\"?><a b=\"x&lt;y\" />"},
      {"text",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteString(L"t");
         w.WriteEndElement();
       },
       L"<a>t</a>"},
      {"nested empty element",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteStartElement(std::wstring(L"b"));
         w.WriteEndElement();
         w.WriteEndElement();
       },
       L"<a><b /></a>"},
      {"attributes then children",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteAttributeString(L"x", L"1");
         w.WriteAttributeString(std::wstring(L"y"), std::wstring(L"\"&'"));
         w.WriteElementString(L"b", L"t");
         w.WriteElementString(std::wstring(L"c"), std::wstring(L"u>"));
         w.WriteEndElement();
       },
       L"<a x=\"1\" y=\"&quot;&amp;&apos;\"><b>t</b><c>u&gt;</c></a>"},
      {"empty element string", [](CXmlWriter &w) { w.WriteElementString(L"n", L""); }, L"<n></n>"},
      {"control characters escaped",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteString(L"x\ny\t");
         w.WriteEndElement();
       },
       L"<a>x&#x0A;y&#x09;</a>"},
      {"raw text unchanged",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteRaw(L"<x/>&amp;");
         w.WriteEndElement();
       },
       L"<a><x/>&amp;</a>"},
      {"sibling elements at the top",
       [](CXmlWriter &w) {
         w.WriteStartElement(L"a");
         w.WriteEndElement();
         w.WriteStartElement(L"b");
         w.WriteEndElement();
       },
       L"<a /><b />"},
  };
  for (const auto &c : cases) {
    testsupport::AssertRecorder assertions;
    EXPECT_EQ(WriteText(c.calls), c.expected) << c.name;
    EXPECT_EQ(assertions.count(), 0) << c.name;
  }
}

TEST(XmlTextWriter, CData) {
  std::wstring out = L"kept:";  // the writer only appends
  CXmlTextWriter writer(out);
  writer.WriteElementCData(L"c", CString(L"x<y"));
  writer.WriteStartElement(L"d");
  writer.WriteCData(std::wstring(L"]]&"));
  writer.WriteEndElement();
  EXPECT_EQ(out, L"kept:<c><![CDATA[x<y]]></c><d><![CDATA[]]&]]></d>");
}

TEST(XmlTextWriter, CDataHoldingTheSectionEndIsSplitAndReadsBack) {
  const struct {
    std::wstring text;
    std::wstring sections;  // what is written between <c> and </c>
  } cases[] = {
      {L"]]>", L"<![CDATA[]]]]><![CDATA[>]]>"},     {L"]]>x", L"<![CDATA[]]]]><![CDATA[>x]]>"},
      {L"x]]>", L"<![CDATA[x]]]]><![CDATA[>]]>"},   {L"a]]>b]]>c", L"<![CDATA[a]]]]><![CDATA[>b]]]]><![CDATA[>c]]>"},
      {L"]]]>>", L"<![CDATA[]]]]]><![CDATA[>>]]>"}, {L"]]", L"<![CDATA[]]]]>"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    std::wstring out;
    CXmlTextWriter writer(out);
    writer.WriteElementCData(L"c", CString(c.text));
    EXPECT_EQ(out, L"<c>" + c.sections + L"</c>");
    // Every section reads back as written; together they are the text.
    std::wstring joined;
    for (const std::wstring &node : ReadBack(out))
      if (node.rfind(L"5:", 0) == 0) joined += node.substr(2);
    EXPECT_EQ(joined, c.text);
  }
}

TEST(XmlTextWriter, TextKeepsTheWhiteSpaceTheReaderWouldTrim) {
  const struct {
    std::wstring text;
    std::wstring written;
  } cases[] =
      {
          {L" b", L"&#x20;b"},        {L"b ", L"b&#x20;"}, {L" ", L"&#x20;"},
          {L"   ", L"&#x20; &#x20;"}, {L"a b", L"a b"},    {L"\tx\n", L"&#x09;x&#x0A;"},
          {L"\u3000x", L"&#x3000;x"},  // white space to the reader at the start
          {L"x\u3000", L"x\u3000"},    // not trimmed at the end
      };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    const std::wstring viaString = WriteText([&](CXmlWriter &w) {
      w.WriteStartElement(L"a");
      w.WriteString(c.text);
      w.WriteEndElement();
    });
    EXPECT_EQ(viaString, L"<a>" + c.written + L"</a>");
    const std::wstring viaElement = WriteText([&](CXmlWriter &w) { w.WriteElementString(L"a", c.text); });
    EXPECT_EQ(viaElement, viaString);
    EXPECT_EQ(ReadBack(viaString), (std::vector<std::wstring>{L"0:a", L"4:" + c.text, L"1:a"}));
  }
}

TEST(XmlTextWriter, NamesThatAreNoXmlNamesAreRefused) {
  for (const wchar_t *good : {L"a", L"_x", L"a:b", L"a-b.c1", L"\u4e2d\u6587", L"\u00e9t\u00e9"}) {
    testsupport::AssertRecorder assertions;
    const std::wstring name = good;
    EXPECT_EQ(WriteText([&](CXmlWriter &w) {
                w.WriteStartElement(name);
                w.WriteAttributeString(name, L"v");
                w.WriteEndElement();
              }),
              L"<" + name + L" " + name + L"=\"v\" />");
    EXPECT_EQ(assertions.count(), 0) << testing::PrintToString(name);
  }
  for (const wchar_t *bad : {L"", L"a/", L"1a", L"-a", L"a b", L"a>", L"a=b", L"<a", L"a\u3000b", L"a\u1680"}) {
    const std::wstring name = bad;
    SCOPED_TRACE(testing::PrintToString(name));
    testsupport::AssertRecorder assertions;
    // A refused element goes with its attributes and content; its siblings
    // and its parent are written.
    EXPECT_EQ(WriteText([&](CXmlWriter &w) {
                w.WriteStartElement(L"r");
                w.WriteAttributeString(name, L"dropped");
                w.WriteStartElement(name);
                w.WriteAttributeString(L"k", L"v");
                w.WriteString(L"t");
                w.WriteStartElement(L"inner");
                w.WriteEndElement();
                w.WriteEndElement();
                w.WriteElementString(name, L"dropped");
                w.WriteElementString(L"kept", L"x");
                w.WriteEndElement();
              }),
              L"<r><kept>x</kept></r>");
    EXPECT_EQ(assertions.count(), 3);
  }
}

TEST(XmlTextWriter, MixedContentIsWrittenWhole) {
  testsupport::AssertRecorder assertions;
  // Text, child elements, more text and CDATA in any order inside an element.
  EXPECT_EQ(WriteText([](CXmlWriter &w) {
              w.WriteStartElement(L"a");
              w.WriteString(L"t");
              w.WriteStartElement(L"b");
              w.WriteAttributeString(L"k", L"v");
              w.WriteEndElement();
              w.WriteString(L"1<");
              w.WriteString(L"2");
              w.WriteElementString(L"e", L"x");
              static_cast<CXmlTextWriter &>(w).WriteCData(std::wstring(L"c"));
              w.WriteEndElement();
            }),
            L"<a>t<b k=\"v\" />1&lt;2<e>x</e><![CDATA[c]]></a>");
  EXPECT_EQ(assertions.count(), 0);
}

TEST(XmlTextWriter, BrokenCallOrderWritesNothingAndIsReported) {
  testsupport::AssertRecorder assertions;
  // An end with no element open writes nothing, nor does CDATA outside a
  // start tag; attributes and declarations out of place are still written.
  std::wstring out;
  CXmlTextWriter writer(out);
  writer.WriteEndElement();
  writer.WriteElementString(L"n", L"t");
  writer.WriteCData(std::wstring(L"c"));
  writer.WriteAttributeString(L"k", L"v");
  writer.WriteStartDocument(L"1.0", L"utf-8");
  EXPECT_EQ(out, L"<n>t</n> k=\"v\"<?xml version=\"1.0\" encoding=\"utf-8\"?>");
  EXPECT_EQ(assertions.count(), 4);

  // Text with no element open would stand outside the root.
  EXPECT_EQ(WriteText([](CXmlWriter &w) { w.WriteString(L"t"); }), L"");
  EXPECT_EQ(assertions.count(), 5);
}

class XmlFileWriterTest : public ::testing::Test {
 protected:
  std::wstring WidePath(const std::string &name) const {
    const std::string path = dir_.File(name);
    return std::wstring(path.begin(), path.end());  // the temporary folder is ASCII
  }
  testsupport::TempDir dir_;
};

TEST_F(XmlFileWriterTest, Utf8FileStartsWithItsBom) {
  {
    CXmlFileWriter writer;
    ASSERT_EQ(writer.Open(WidePath("a.xml").c_str(), XML_ENCODING_UTF8), S_OK);
    writer.WriteStartElement(L"a");
    writer.WriteEndElement();
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir_.File("a.xml")), Bytes({0xEF, 0xBB, 0xBF, 0x3C, 0x61, 0x20, 0x2F, 0x3E}));
}

TEST_F(XmlFileWriterTest, Utf8FileHoldsTheTextWritersCharacters) {
  // Growing pieces make the conversion buffer grow; characters beyond the
  // BMP and CJK text must survive the conversion.
  const std::wstring longText(5000, L'\u4e2d');
  const Calls calls = [&](CXmlWriter &w) {
    w.WriteStartDocument(L"1.0", L"utf-8");
    w.WriteStartElement(L"\u00e9l\u00e9ment");
    w.WriteAttributeString(L"v", L"\U0001F600<");
    w.WriteElementString(L"s", L"x");
    w.WriteElementString(L"long", longText.c_str());
    w.WriteRaw(L"\u4e2d\u6587");
    w.WriteEndElement();
  };
  {
    CXmlFileWriter writer;
    ASSERT_EQ(writer.Open(WidePath("u.xml").c_str(), XML_ENCODING_UTF8), S_OK);
    calls(writer);
  }
  std::string expected =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?><\xC3\xA9l\xC3\xA9ment v=\"\xF0\x9F\x98\x80&lt;\">"
      "<s>x</s><long>";
  for (int i = 0; i < 5000; ++i) expected += "\xE4\xB8\xAD";
  expected += "</long>\xE4\xB8\xAD\xE6\x96\x87</\xC3\xA9l\xC3\xA9ment>";
  EXPECT_EQ(testsupport::ReadFileBytes(dir_.File("u.xml")), expected);
}

TEST_F(XmlFileWriterTest, Utf16FileIsLittleEndianWithSurrogatePairs) {
  {
    CXmlFileWriter writer;
    ASSERT_EQ(writer.Open(WidePath("w.xml").c_str(), XML_ENCODING_UTF16), S_OK);
    writer.WriteStartDocument(L"1.0", L"utf-16");
    writer.WriteStartElement(L"a");
    writer.WriteString(L"\u4e2d\U0001F600");
    writer.WriteEndElement();
  }
  const std::string bytes = testsupport::ReadFileBytes(dir_.File("w.xml"));
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 4), Bytes({0xFF, 0xFE, '<', 0}));
  // The last characters: U+4E2D, the pair D83D DE00 for U+1F600, then "</a>".
  EXPECT_EQ(bytes.substr(bytes.size() - 14),
            Bytes({0x2D, 0x4E, 0x3D, 0xD8, 0x00, 0xDE, '<', 0, '/', 0, 'a', 0, '>', 0}));
  EXPECT_EQ(IconvUtf16ToUtf8(dir_.File("w.xml")),
            "<?xml version=\"1.0\" encoding=\"utf-16\"?><a>\xE4\xB8\xAD\xF0\x9F\x98\x80</a>");
}

TEST_F(XmlFileWriterTest, OpenReplacesAnExistingFile) {
  dir_.Write("r.xml", std::string(100, 'x'));
  {
    CXmlFileWriter writer;
    ASSERT_EQ(writer.Open(WidePath("r.xml").c_str(), XML_ENCODING_UTF8), S_OK);
    writer.WriteElementString(L"n", L"");
  }
  EXPECT_EQ(testsupport::ReadFileBytes(dir_.File("r.xml")), "\xEF\xBB\xBF<n></n>");
}

TEST_F(XmlFileWriterTest, FailedOpenLeavesNoFileAndWritesNothing) {
  testsupport::AssertRecorder assertions;
  CXmlFileWriter writer;
  writer.WriteStartElement(L"before");  // no file yet: nothing happens
  const HRESULT hr = writer.Open(WidePath("missing/x.xml").c_str(), XML_ENCODING_UTF8);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  writer.WriteElementString(L"n", L"t");

  EXPECT_EQ(writer.Open(WidePath("unknown.xml").c_str(), XML_ENCODING_UNKNOWN), E_INVALIDARG);
  EXPECT_EQ(assertions.count(), 1);
  writer.WriteElementString(L"n", L"t");
  EXPECT_EQ(testsupport::ReadFileBytes(dir_.File("unknown.xml")), "");
  FILE *f = fopen(dir_.File("unknown.xml").c_str(), "rb");
  EXPECT_EQ(f, nullptr);
  if (f) fclose(f);
}

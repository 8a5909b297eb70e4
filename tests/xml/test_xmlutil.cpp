// The XML tree helpers: merging trees and reading typed values.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/assert_recorder.h"
#include "tests/xml/xmltree_fixture.h"
#include "utils/xml/xml.h"

using namespace pcutil;
using xmltest::Xml;

namespace {

// --- MergeXmlNode ----------------------------------------------------------------

TEST(XmlMerge, TreesMergeByNameAndSourceStaysUnchanged) {
  const struct {
    const char *what;
    const wchar_t *destination, *source, *merged;
  } cases[] = {
      {"attribute overwritten, text replaced, others kept", L"<cfg a='0' b='2'><x>1</x><y/></cfg>",
       L"<cfg a='1'><x>5</x></cfg>", L"<cfg a=\"1\" b=\"2\"><x>5</x><y /></cfg>"},
      {"missing child appended at the end", L"<cfg><x/></cfg>", L"<cfg><z q='1'><w/></z></cfg>",
       L"<cfg><x /><z q=\"1\"><w /></z></cfg>"},
      {"comments are not merged", L"<cfg><x/></cfg>", L"<cfg><!--c--><y/></cfg>", L"<cfg><x /><y /></cfg>"},
      {"text wipes what earlier children merged", L"<cfg><x/></cfg>", L"<cfg><y/>t</cfg>", L"<cfg>t</cfg>"},
      {"deep merge", L"<r><a><b k='1'><c>old</c></b></a></r>", L"<r><a><b j='2'><c>new</c></b></a></r>",
       L"<r><a><b k=\"1\" j=\"2\"><c>new</c></b></a></r>"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    auto destination = LoadXmlRoot(c.destination);
    auto source = LoadXmlRoot(c.source);
    testsupport::AssertRecorder asserts;  // sources with text and elements break the writer rules
    const std::wstring before = Xml(source.get());
    MergeXmlNode(destination.get(), source.get());
    EXPECT_EQ(Xml(destination.get()), c.merged);
    EXPECT_EQ(Xml(source.get()), before);
  }
}

TEST(XmlMerge, TextThenElementsKeepsTheElementsAfterTheText) {
  auto destination = LoadXmlRoot(L"<cfg><x/></cfg>");
  auto source = LoadXmlRoot(L"<cfg>t<z/></cfg>");
  MergeXmlNode(destination.get(), source.get());
  CXmlNode *first = destination->GetFirstChild();
  ASSERT_NE(first, nullptr);
  EXPECT_NE(first->AsText(), nullptr);
  ASSERT_NE(first->GetNextSibling(), nullptr);
  EXPECT_STREQ(first->GetNextSibling()->GetValue(), L"z");
}

TEST(XmlMerge, AmbiguousNameReplacesTheDestinationAtTheEndOfItsParent) {
  auto root = LoadXmlRoot(L"<root><cfg a='0'><x>1</x><x>2</x><y/></cfg><after/></root>");
  auto source = LoadXmlRoot(L"<cfg b='1'><x>9</x></cfg>");
  MergeXmlNode(root->GetFirstChild(), source.get());
  EXPECT_EQ(Xml(root.get()), L"<root><after /><cfg b=\"1\"><x>9</x></cfg></root>");

  // One level down the replacement ends only the inner merge; the outer one
  // goes on with its next child.
  auto outer = LoadXmlRoot(L"<r><cfg><x/><x/></cfg><k>0</k></r>");
  auto change = LoadXmlRoot(L"<r><cfg><x>1</x></cfg><k>5</k><n/></r>");
  MergeXmlNode(outer.get(), change.get());
  EXPECT_EQ(Xml(outer.get()), L"<r><k>5</k><cfg><x>1</x></cfg><n /></r>");
}

TEST(XmlMerge, AmbiguousNameWithoutParentReplacesTheContentInPlace) {
  auto destination = LoadXmlRoot(L"<cfg a='0' old='1'><x>1</x><x>2</x></cfg>");
  auto source = LoadXmlRoot(L"<cfg a='1'><x>9</x></cfg>");
  MergeXmlNode(destination.get(), source.get());
  EXPECT_EQ(Xml(destination.get()), L"<cfg a=\"1\"><x>9</x></cfg>");
}

TEST(XmlMerge, MergingATreeIntoItselfOrItsPartsIsSafe) {
  auto tree = LoadXmlRoot(L"<r a='1'><x>t</x><y><z/></y></r>");
  const std::wstring before = Xml(tree.get());
  MergeXmlNode(tree.get(), tree.get());
  EXPECT_EQ(Xml(tree.get()), before);

  MergeXmlNode(tree.get(), tree->FindFirstChild(L"x"));  // the source's text replaces all
  EXPECT_EQ(Xml(tree.get()), L"<r a=\"1\">t</r>");

  auto other = LoadXmlRoot(L"<r><y><q/></y></r>");
  MergeXmlNode(other->FindFirstChild(L"y"), other.get());
  EXPECT_EQ(Xml(other.get()), L"<r><y><q /><y><q /></y></y></r>");

  MergeXmlNode(nullptr, tree.get());
  MergeXmlNode(tree.get(), nullptr);
}

// --- GetXmlNodeValue -------------------------------------------------------------

TEST(XmlNodeValue, BoolIsTrueOnlyForTrueInAnyCase) {
  const struct {
    const wchar_t *text;
    bool value;
  } cases[] = {{L"true", true}, {L"TRUE", true}, {L"True", true}, {L" true", false},
               {L"yes", false}, {L"1", false},   {L"", false}};
  for (const auto &c : cases) {
    CXmlElement e(L"e");
    e.AppendChild(new CXmlText(c.text));
    bool value = !c.value;
    EXPECT_TRUE(GetXmlNodeValue(&e, value));
    EXPECT_EQ(value, c.value) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(XmlNodeValue, IntegersFromTextAndCData) {
  auto cfg = LoadXmlRoot(
      L"<cfg><hex>ff</hex><dec>12abc</dec><neg><![CDATA[-1]]></neg>"
      L"<big>99999999999</big><low>-99999999999</low></cfg>");
  int i = 0;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"hex"), i, 16));
  EXPECT_EQ(i, 255);
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"dec"), i, 10));
  EXPECT_EQ(i, 12);
  DWORD u = 0;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"neg"), u, 10));
  EXPECT_EQ(u, 0xFFFFFFFFu);
  __int64 wide = 0;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"neg"), wide, 10));
  EXPECT_EQ(wide, -1);  // sign-extended
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"big"), wide, 10));
  EXPECT_EQ(wide, 2147483647);  // saturates at 32 bits in the 64-bit form too
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"low"), i, 10));
  EXPECT_EQ(i, -2147483647 - 1);
  // The third 32-bit form, long: the same saturated value.
  long l = 0;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"hex"), l, 16));
  EXPECT_EQ(l, 255L);
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"big"), l, 10));
  EXPECT_EQ(l, 2147483647L);
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"neg"), l, 10));
  EXPECT_EQ(l, -1L);
  long long longer = 0;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"low"), longer, 10));
  EXPECT_EQ(longer, -2147483647LL - 1);
  CString text;
  EXPECT_TRUE(GetXmlNodeValue(cfg->FindFirstChild(L"neg"), text));
  EXPECT_EQ(text, L"-1");
}

TEST(XmlNodeValue, NoTextFirstLeavesTheOutputAndStillSucceeds) {
  auto cfg = LoadXmlRoot(L"<cfg><c><!--note-->5</c><e/><n><x>1</x></n></cfg>");
  for (const wchar_t *name : {L"c", L"e", L"n"}) {
    CString text = L"keep";
    int i = 7;
    bool b = true;
    __int64 wide = 7;
    CXmlNode *node = cfg->FindFirstChild(name);
    EXPECT_TRUE(GetXmlNodeValue(node, text));
    EXPECT_TRUE(GetXmlNodeValue(node, i, 10));
    EXPECT_TRUE(GetXmlNodeValue(node, b));
    EXPECT_TRUE(GetXmlNodeValue(node, wide, 10));
    EXPECT_EQ(text, L"keep");
    EXPECT_EQ(i, 7);
    EXPECT_TRUE(b);
    EXPECT_EQ(wide, 7);
  }
}

TEST(XmlNodeValue, NullNodeIsAnError) {
  CString text = L"keep";
  int i = 7;
  EXPECT_FALSE(GetXmlNodeValue(nullptr, text));
  EXPECT_FALSE(GetXmlNodeValue(nullptr, i, 10));
  EXPECT_EQ(text, L"keep");
  EXPECT_EQ(i, 7);
}

// --- XmlTextToInt ----------------------------------------------------------------

TEST(XmlTextToInt, TellsARealZeroFromNoNumber) {
  const struct {
    const wchar_t *text;
    int base;
    bool loose, strict;
    int value;
  } cases[] = {
      {L"0", 10, true, true, 0},      {L" 0 ", 10, true, false, 0}, {L" 0", 10, true, false, 0},
      {L"000", 10, true, true, 0},    {L"", 10, true, true, 0},     {L"abc", 10, false, false, 0},
      {L"12abc", 10, true, true, 12}, {L"-0", 10, false, false, 0}, {L"+0", 10, false, false, 0},
      {L"\t0\n", 10, true, false, 0}, {L"ff", 16, true, true, 255}, {L"0x", 10, false, false, 0},
      {L"-7", 10, true, true, -7},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.text)));
    int value = 99;
    EXPECT_EQ(XmlTextToInt(CString(c.text), value, c.base), c.loose);
    EXPECT_EQ(value, c.value);
    value = 99;
    EXPECT_EQ(XmlTextToIntStrict(CString(c.text), value, c.base), c.strict);
    EXPECT_EQ(value, c.value);
  }
}

}  // namespace

// The XML document tree: linking, searching, attributes, text, cloning,
// writing as text and loading from the reader.
#include <gtest/gtest.h>

#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "tests/support/assert_recorder.h"
#include "tests/xml/xmltree_fixture.h"
#include "utils/xml/xml.h"

using namespace pcutil;
using testsupport::AssertRecorder;
using xmltest::Xml;

namespace {

std::wstring Children(const CXmlNode &node) {
  std::wstring names;
  for (const CXmlNode *c = node.GetFirstChild(); c; c = c->GetNextSibling()) {
    if (!names.empty()) names += L',';
    names += c->GetValue();
  }
  return names;
}

std::wstring Attributes(const CXmlElement &element) {
  std::wstring list;
  for (const CXmlAttribute *a = element.GetFirstAttribute(); a; a = a->GetNext())
    list += std::wstring(a->GetName()) + L'=' + a->GetValue() + L';';
  return list;
}

// --- linking and searching ---------------------------------------------------

TEST(XmlTreeLinks, AppendPrependRemoveKeepTheListConsistent) {
  CXmlElement root(L"r");
  CXmlNode *b = root.AppendChild(new CXmlElement(L"b"));
  root.AppendChild(new CXmlElement(L"c"));
  CXmlNode *a = root.PrependChild(new CXmlElement(L"a"));
  EXPECT_EQ(Children(root), L"a,b,c");
  EXPECT_EQ(b->GetParent(), &root);
  EXPECT_EQ(a->GetNextSibling(), b);

  EXPECT_TRUE(root.RemoveChild(b));
  EXPECT_EQ(Children(root), L"a,c");
  EXPECT_TRUE(root.RemoveChild(root.FindFirstChild(L"c")));
  EXPECT_TRUE(root.RemoveChild(a));
  EXPECT_EQ(root.GetFirstChild(), nullptr);
  // The ends were reset: a new child is both first and last.
  CXmlNode *d = root.AppendChild(new CXmlElement(L"d"));
  EXPECT_EQ(root.FindLastChild(L"d"), d);
  EXPECT_EQ(Children(root), L"d");
}

TEST(XmlTreeLinks, RemoveChildOfAnotherNodeFailsAndChangesNothing) {
  CXmlElement root(L"r"), other(L"o");
  CXmlNode *foreign = other.AppendChild(new CXmlElement(L"x"));
  root.AppendChild(new CXmlElement(L"x"));
  AssertRecorder asserts;
  EXPECT_FALSE(root.RemoveChild(foreign));
  EXPECT_FALSE(root.RemoveChild(nullptr));
  EXPECT_EQ(asserts.count(), 2);
  EXPECT_EQ(Children(root), L"x");
  EXPECT_EQ(foreign->GetParent(), &other);
}

TEST(XmlTreeLinks, FindFamilyComparesValuesOfEveryNodeKind) {
  CXmlElement root(L"r");
  CXmlNode *x1 = root.AppendChild(new CXmlElement(L"x"));
  CXmlNode *text = root.AppendChild(new CXmlText(L"x"));
  root.AppendChild(new CXmlComment(L"y"));
  CXmlNode *x2 = root.AppendChild(new CXmlElement(L"x"));

  EXPECT_EQ(root.FindFirstChild(L"x"), x1);
  EXPECT_EQ(root.FindLastChild(L"x"), x2);
  EXPECT_EQ(x1->FindNextSibling(L"x"), text);  // a text node matches by its text
  EXPECT_EQ(x2->FindPrevSibling(L"x"), text);
  EXPECT_EQ(x1->FindPrevSibling(L"x"), nullptr);
  EXPECT_NE(root.FindFirstChild(L"y"), nullptr);
  EXPECT_EQ(root.FindFirstChild(L"X"), nullptr);  // exact, with case
  EXPECT_EQ(root.FindFirstChild(nullptr), nullptr);
}

TEST(XmlTreeLinks, AppendingALinkedNodeMovesIt) {
  CXmlElement first(L"f"), second(L"s");
  CXmlNode *n = first.AppendChild(new CXmlElement(L"n"));
  first.AppendChild(new CXmlElement(L"m"));
  {
    AssertRecorder asserts;  // another parent is reported, then handled soundly
    EXPECT_EQ(second.AppendChild(n), n);
  }
  EXPECT_EQ(Children(first), L"m");
  EXPECT_EQ(Children(second), L"n");
  EXPECT_EQ(n->GetParent(), &second);

  // Re-appending a node's own child moves it to the end.
  CXmlNode *o = second.PrependChild(new CXmlElement(L"o"));
  second.AppendChild(o);
  EXPECT_EQ(Children(second), L"n,o");
}

TEST(XmlTreeLinks, RefusesToMakeACycle) {
  CXmlElement root(L"r");
  CXmlNode *child = root.AppendChild(new CXmlElement(L"c"));
  AssertRecorder asserts;
  EXPECT_EQ(child->AppendChild(&root), nullptr);
  EXPECT_EQ(root.PrependChild(&root), nullptr);
  EXPECT_EQ(root.AppendChild(nullptr), nullptr);
  EXPECT_EQ(root.GetParent(), nullptr);
  EXPECT_EQ(child->GetFirstChild(), nullptr);
  EXPECT_EQ(Children(root), L"c");
}

TEST(XmlTreeLinks, DestroyingALinkedNodeUnlinksIt) {
  CXmlElement root(L"r");
  CXmlNode *a = root.AppendChild(new CXmlElement(L"a"));
  root.AppendChild(new CXmlElement(L"b"));
  a->AppendChild(new CXmlText(L"t"));
  delete a;
  EXPECT_EQ(Children(root), L"b");
  EXPECT_EQ(root.GetFirstChild()->GetNextSibling(), nullptr);
}

// --- attributes ----------------------------------------------------------------

TEST(XmlTreeAttributes, SetKeepsFirstPlaceAndTakesLastValue) {
  CXmlElement e(L"e");
  e.SetAttribute(L"a", L"1");
  e.SetAttribute(L"b", L"2");
  e.SetAttribute(L"a", L"3");
  EXPECT_EQ(Attributes(e), L"a=3;b=2;");
  EXPECT_STREQ(e.GetAttribute(L"a"), L"3");
  EXPECT_EQ(e.GetAttribute(L"A"), nullptr);
}

TEST(XmlTreeAttributes, RemoveKeepsTheOthersInOrder) {
  CXmlElement e(L"e");
  for (const wchar_t *name : {L"a", L"b", L"c"}) e.SetAttribute(name, L"v");
  e.RemoveAttribute(L"zz");
  e.RemoveAttribute(nullptr);
  EXPECT_EQ(Attributes(e), L"a=v;b=v;c=v;");
  e.RemoveAttribute(L"b");
  EXPECT_EQ(Attributes(e), L"a=v;c=v;");
  EXPECT_EQ(e.GetAttribute(L"b"), nullptr);
  e.RemoveAttribute(L"a");
  e.RemoveAttribute(L"c");
  EXPECT_EQ(e.GetFirstAttribute(), nullptr);
  e.SetAttribute(L"b", L"2");  // the name may come back after removal
  EXPECT_EQ(Attributes(e), L"b=2;");
}

TEST(XmlTreeAttributes, TypedGettersConvertOrLeaveTheOutputAlone) {
  CXmlElement e(L"e");
  e.SetAttribute(L"n", L" -42x");
  e.SetAttribute(L"big", L"99999999999");
  CString text = L"keep";
  int i = 7;
  long l = 7;
  EXPECT_FALSE(e.GetAttribute(L"missing", text));
  EXPECT_FALSE(e.GetAttribute(L"missing", i));
  EXPECT_FALSE(e.GetAttribute(L"missing", l));
  EXPECT_EQ(text, L"keep");
  EXPECT_EQ(i, 7);
  EXPECT_EQ(l, 7);
  EXPECT_TRUE(e.GetAttribute(L"n", text));
  EXPECT_EQ(text, L" -42x");
  EXPECT_TRUE(e.GetAttribute(L"n", i));
  EXPECT_EQ(i, -42);
  EXPECT_TRUE(e.GetAttribute(L"big", l));
  EXPECT_EQ(l, 2147483647L);  // wcstol with a 32-bit long saturates
}

TEST(XmlTreeAttributes, EmptyNameAndValueDoesNotHideLaterAttributes) {
  CXmlElement e(L"e");
  e.SetAttribute(L"a", L"1");
  e.SetAttribute(L"", L"");
  e.SetAttribute(L"c", L"3");
  EXPECT_EQ(Attributes(e), L"a=1;=;c=3;");
  std::unique_ptr<CXmlNode> copy(e.Clone());
  EXPECT_EQ(Attributes(*copy->AsElement()), L"a=1;=;c=3;");
  // An empty name is no XML name: the writer refuses that attribute alone.
  AssertRecorder asserts;
  EXPECT_EQ(Xml(&e), L"<e a=\"1\" c=\"3\" />");
  EXPECT_EQ(asserts.count(), 1);
}

// --- text ------------------------------------------------------------------------

TEST(XmlTreeText, GetTextReadsOnlyAFirstTextChild) {
  CXmlElement e(L"e");
  EXPECT_EQ(e.GetText(), nullptr);
  e.AppendChild(new CXmlComment(L"c"));
  e.AppendChild(new CXmlText(L"t"));
  EXPECT_EQ(e.GetText(), nullptr);

  CXmlElement f(L"f");
  f.AppendChild(new CXmlText(L"t", true));
  EXPECT_STREQ(f.GetText(), L"t");
}

TEST(XmlTreeText, SetTextReplacesAppendsOrPutsTextFirst) {
  CXmlElement e(L"e");
  e.SetText(L"a<b", false);
  EXPECT_EQ(Xml(&e), L"<e>a&lt;b</e>");
  e.SetText(L"x", true);  // the same node takes the text and the flag
  EXPECT_EQ(Xml(&e), L"<e><![CDATA[x]]></e>");
  EXPECT_EQ(Children(e), L"x");

  CXmlElement c(L"c");
  c.AppendChild(new CXmlComment(L"note"));
  AssertRecorder asserts;
  c.SetText(L"t", false);
  EXPECT_EQ(asserts.count(), 1);
  EXPECT_STREQ(c.GetText(), L"t");
  EXPECT_EQ(Children(c), L"t,note");  // the comment is kept
}

// --- writing ---------------------------------------------------------------------

TEST(XmlTreeWrite, GetXmlOfSmallTrees) {
  struct Case {
    const char *what;
    std::function<void(CXmlElement &)> build;
    const wchar_t *xml;
    const wchar_t *inner;
  };
  const std::vector<Case> cases = {
      {"new element", [](CXmlElement &) {}, L"<e />", L""},
      {"attributes in order, escaped",
       [](CXmlElement &e) {
         e.SetAttribute(L"b", L"x<y");
         e.SetAttribute(L"a", L"\"");
       },
       L"<e b=\"x&lt;y\" a=\"&quot;\" />", L""},
      {"cdata text", [](CXmlElement &e) { e.AppendChild(new CXmlText(L"x", true)); }, L"<e><![CDATA[x]]></e>", L""},
      {"only a comment", [](CXmlElement &e) { e.AppendChild(new CXmlComment(L"c")); }, L"<e />", L""},
      {"nested",
       [](CXmlElement &e) {
         e.AppendChild(new CXmlElement(L"a"))->AsElement()->SetText(L"1");
         e.AppendChild(new CXmlComment(L"skip"));
         e.AppendChild(new CXmlElement(L"b"));
       },
       L"<e><a>1</a><b /></e>", L"<a>1</a><b />"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    CXmlElement e(L"e");
    c.build(e);
    AssertRecorder asserts;  // inner text alone cannot open a document
    EXPECT_EQ(Xml(&e), c.xml);
    EXPECT_EQ(e.GetInnerXml().str(), c.inner);
  }
}

TEST(XmlTreeWrite, MixedContentIsWrittenBackWhole) {
  CXmlElement e(L"e");
  e.AppendChild(new CXmlText(L"t"));
  e.AppendChild(new CXmlElement(L"child"));
  e.AppendChild(new CXmlText(L"u"));
  AssertRecorder asserts;
  EXPECT_EQ(Xml(&e), L"<e>t<child />u</e>");
  EXPECT_EQ(asserts.count(), 0);
  auto again = LoadXmlRoot(L"<r>a<b>c</b>d</r>");
  EXPECT_EQ(Xml(again.get()), L"<r>a<b>c</b>d</r>");
}

// --- cloning -----------------------------------------------------------------------

TEST(XmlTreeClone, DeepCopyWithoutParentAndWithDataWords) {
  auto root = LoadXmlRoot(L"<r k='v'><a x='1'><b>t</b><c><![CDATA[c<d]]></c></a><!--n--></r>");
  CXmlNode *a = root->GetFirstChild();
  root->data = 1;
  a->data = 2;
  a->GetFirstChild()->data = 3;
  root->GetFirstChild()->GetNextSibling()->data = 4;  // the comment

  std::unique_ptr<CXmlNode> copy(a->Clone());
  EXPECT_EQ(copy->GetParent(), nullptr);
  EXPECT_EQ(Xml(copy.get()), Xml(a));
  EXPECT_EQ(copy->data, 2);
  EXPECT_EQ(copy->GetFirstChild()->data, 3);
  EXPECT_EQ(copy->GetFirstChild()->GetParent(), copy.get());

  std::unique_ptr<CXmlNode> whole(root->Clone());
  EXPECT_EQ(Xml(whole.get()), L"<r k=\"v\"><a x=\"1\"><b>t</b><c><![CDATA[c<d]]></c></a></r>");
  ASSERT_NE(whole->GetFirstChild()->GetNextSibling(), nullptr);
  EXPECT_NE(whole->GetFirstChild()->GetNextSibling()->AsComment(), nullptr);
  EXPECT_EQ(whole->GetFirstChild()->GetNextSibling()->data, 4);
  // The copy is independent of the original.
  root->RemoveAllChildren();
  EXPECT_EQ(Children(*whole), L"a,n");
}

// --- loaded and copied trees ---------------------------------------------------------
// The loader and Clone keep nodes and strings in a store that is freed in
// one piece when nothing of it was changed; these cases change, move and
// destroy such nodes in every way the tree allows (the sanitizer build
// checks that nothing is freed early or lost).

TEST(XmlTreeStorage, LoadedNodesChangeLikeAnyOther) {
  auto root = LoadXmlRoot(L"<r a='1'><x k='v' j='w'>t</x><y/><!--c--></r>");
  CXmlElement *x = root->GetFirstChild()->AsElement();
  x->SetValue(L"renamed");
  x->SetAttribute(L"k", L"changed");
  x->SetAttribute(L"new", L"n");
  x->RemoveAttribute(L"j");
  x->SetText(L"u", true);
  CXmlNode *y = x->GetNextSibling();
  y->AppendChild(new CXmlElement(L"made"))->AsElement()->SetAttribute(L"m", L"1");
  root->AppendChild(new CXmlText(L"end"));
  EXPECT_EQ(Xml(root.get()),
            L"<r a=\"1\"><renamed k=\"changed\" new=\"n\"><![CDATA[u]]></renamed><y><made m=\"1\" /></y>end</r>");
}

TEST(XmlTreeStorage, LoadedNodesOutliveTheirTree) {
  auto source = LoadXmlRoot(L"<r><keep a='1'><deep>text</deep></keep><drop><z/></drop></r>");
  CXmlElement other(L"other");
  CXmlNode *keep;
  {
    AssertRecorder asserts;  // a node with another parent is reported, then moved
    keep = other.AppendChild(source->GetFirstChild());
  }
  std::unique_ptr<CXmlNode> copy(source->Clone());
  source.reset();  // the moved subtree and the copy stay whole
  EXPECT_EQ(Xml(&other), L"<other><keep a=\"1\"><deep>text</deep></keep></other>");
  EXPECT_EQ(Xml(copy.get()), L"<r><drop><z /></drop></r>");
  // Destroyed one by one, directly and through the base class.
  delete keep->GetFirstChild();
  CXmlBase *base = keep;
  delete base;
  EXPECT_EQ(Xml(&other), L"<other />");
  EXPECT_TRUE(copy->RemoveChild(copy->GetFirstChild()));
  EXPECT_EQ(Xml(copy.get()), L"<r />");
}

TEST(XmlTreeStorage, CopiesAreIndependentOfTheirSource) {
  auto root = LoadXmlRoot(L"<r><a x='1'>t</a></r>");
  root->GetFirstChild()->data = 7;
  std::unique_ptr<CXmlNode> first(root->Clone());
  std::unique_ptr<CXmlNode> second(first->Clone());
  root->GetFirstChild()->AsElement()->SetAttribute(L"x", L"2");
  root.reset();
  first->GetFirstChild()->SetValue(L"b");
  EXPECT_EQ(Xml(first.get()), L"<r><b x=\"1\">t</b></r>");
  EXPECT_EQ(Xml(second.get()), L"<r><a x=\"1\">t</a></r>");
  EXPECT_EQ(second->GetFirstChild()->data, 7);
}

// A node class of the caller's own, which counts its instances.
class Counted : public CXmlNode {
 public:
  Counted() : CXmlNode(COMMENT) { ++alive; }
  ~Counted() override { --alive; }
  CXmlNode *Clone() const override { return new Counted(); }
  static inline int alive = 0;
};

TEST(XmlTreeStorage, CopiesHoldNodesOfOtherClassesAndDestroyThem) {
  {
    auto root = LoadXmlRoot(L"<r><a/></r>");
    root->AppendChild(new Counted());
    root->GetFirstChild()->AppendChild(new Counted());
    std::unique_ptr<CXmlNode> copy(root->Clone());
    EXPECT_EQ(Counted::alive, 4);
    EXPECT_EQ(Xml(copy.get()), L"<r><a /></r>");
  }
  EXPECT_EQ(Counted::alive, 0);
}

TEST(XmlTreeStorage, ManyAttributesAreFoundByName) {
  std::wstring text = L"<r><e";
  for (int i = 0; i < 40; ++i) text += L" a" + std::to_wstring(i) + L"='" + std::to_wstring(i) + L"'";
  text += L" a7='last'/></r>";
  auto root = LoadXmlRoot(text);
  CXmlElement *e = root->GetFirstChild()->AsElement();
  EXPECT_STREQ(e->GetAttribute(L"a7"), L"last");  // the repeated name kept its place
  e->RemoveAttribute(L"a20");
  e->SetAttribute(L"added", L"x");
  std::wstring expected;
  for (int i = 0; i < 40; ++i) {
    const std::wstring name = L"a" + std::to_wstring(i);
    if (i == 20) {
      EXPECT_EQ(e->GetAttribute(name.c_str()), nullptr);
      continue;
    }
    expected += name + L'=' + (i == 7 ? L"last" : std::to_wstring(i)) + L';';
    EXPECT_NE(e->GetAttribute(name.c_str()), nullptr) << name;
  }
  EXPECT_EQ(Attributes(*e), expected + L"added=x;");
  std::unique_ptr<CXmlNode> copy(e->Clone());
  EXPECT_EQ(Attributes(*copy->AsElement()), expected + L"added=x;");
}

// A repeated attribute name keeps its first place and takes the last
// value also where the load keeps no single copy of the name: names too
// long for the store's name table, and names met after the table is full.
TEST(XmlTreeStorage, RepeatedAttributeNamesAreFoundWhateverTheNamesTableKeeps) {
  const std::string longName(70, 'n');
  std::string text = "<r><e " + longName + "='1' x='2' " + longName + "='3'/>";
  for (int i = 0; i < 5000; ++i) text += "<n" + std::to_string(i) + "/>";
  text += "<e late='1' x='2' late='3'/><e " + longName + "='1' late='2' " + longName + "='3' late='4'/></r>";
  auto check = [&](CXmlElement *root) {
    ASSERT_NE(root, nullptr);
    std::vector<std::wstring> seen;
    for (CXmlNode *n = root->GetFirstChild(); n; n = n->GetNextSibling())
      if (std::wstring(n->GetValue()) == L"e") seen.push_back(Attributes(*n->AsElement()));
    const std::wstring wideLong(longName.begin(), longName.end());
    EXPECT_EQ(seen, (std::vector<std::wstring>{wideLong + L"=3;x=2;", L"late=3;x=2;", wideLong + L"=3;late=4;"}));
  };
  CXmlReader bytes(text.data(), text.size());
  check(LoadXmlRoot(bytes).get());
  check(LoadXmlRoot(std::wstring(text.begin(), text.end())).get());
}

// Texts of every size up to the ones stored apart, early in a load while
// the store's blocks are still small, and late.
TEST(XmlTreeStorage, TextsLargerThanTheNextBlockFit) {
  std::wstring text = L"<r>";
  for (size_t n : {100, 600, 1000, 2000, 4000, 5000, 600, 3000}) text += L"<t>" + std::wstring(n, L'x') + L"</t>";
  text += L"</r>";
  auto root = LoadXmlRoot(text);
  EXPECT_EQ(Xml(root.get()), text);
}

TEST(XmlTreeStorage, LoadingAgainAddsToTheTree) {
  const std::wstring first = L"<r><a/></r>", second = L"<r><b>1</b></r>", inner = L"<a><c/></a>";
  CXmlReader one(first), two(second), three(inner);
  ASSERT_TRUE(MoveToXmlRoot(one));
  ASSERT_TRUE(MoveToXmlRoot(two));
  ASSERT_TRUE(MoveToXmlRoot(three));
  CXmlElement root(L"r");
  root.ReadFrom(one);
  root.ReadFrom(two);
  root.GetFirstChild()->AsElement()->ReadFrom(three);  // into a loaded element
  EXPECT_EQ(Xml(&root), L"<r><a><c /></a><b>1</b></r>");
  root.RemoveChild(root.GetFirstChild());
  EXPECT_EQ(Xml(&root), L"<r><b>1</b></r>");
}

// --- loading -------------------------------------------------------------------------

// The root is the first element: a declaration and comments may stand
// before it, text, CDATA or an end tag may not; a text without an element
// has no root. The reader is left after the root.
TEST(XmlTreeRead, TheRootIsTheFirstElementAfterDeclarationAndComments) {
  const struct {
    const wchar_t *text;
    const wchar_t *root;  // the root written as XML, "none", or the error's message
  } cases[] = {
      {L"<r a='1'/>", L"<r a=\"1\" />"},
      {L"<?xml version='1.0'?> <!--c--> <!--d-->\n<r><x/></r><!--after-->", L"<r><x /></r>"},
      {L"", L"none"},
      {L" \r\n\t", L"none"},
      {L"<?xml version='1.0'?><!--only a comment-->", L"none"},
      {L"text<r/>", L"Document Illegal"},
      {L"<![CDATA[x]]><r/>", L"Document Illegal"},
      {L"</r><r/>", L"Document Illegal"},
      {L"<!-- open<r/>", L"Parse Comment Error"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.text, c.text + wcslen(c.text)));
    try {
      auto root = LoadXmlRoot(c.text);
      EXPECT_EQ(root ? Xml(root.get()) : L"none", c.root);
    } catch (const CXmlException &e) {
      EXPECT_EQ(e.message.str(), c.root);
    }
  }
  const std::wstring two = L"<a/><b/>";
  CXmlReader reader(two);
  auto a = LoadXmlRoot(reader);
  ASSERT_TRUE(reader.Read());
  EXPECT_EQ(reader.GetValue(), L"b");
}

TEST(XmlTreeRead, LoadsAttributesAndEveryChildKind) {
  auto a = LoadXmlRoot(L"<a x='1'><b/>t<!--c--></a>");
  EXPECT_EQ(Attributes(*a), L"x=1;");
  CXmlNode *b = a->GetFirstChild();
  ASSERT_NE(b, nullptr);
  EXPECT_NE(b->AsElement(), nullptr);
  EXPECT_STREQ(b->GetValue(), L"b");
  CXmlNode *t = b->GetNextSibling();
  ASSERT_NE(t, nullptr);
  EXPECT_NE(t->AsText(), nullptr);
  EXPECT_STREQ(t->GetValue(), L"t");
  CXmlNode *c = t->GetNextSibling();
  ASSERT_NE(c, nullptr);
  EXPECT_NE(c->AsComment(), nullptr);
  EXPECT_STREQ(c->GetValue(), L"c");
  EXPECT_EQ(c->GetNextSibling(), nullptr);
}

TEST(XmlTreeRead, RoundTripThroughTheWriter) {
  const std::wstring text =
      L"<?xml version='1.0'?><cfg v='a&amp;b' v='last'>"
      L"<item id='1'>x &lt; y</item><item id='2'/><raw><![CDATA[<&>]]></raw></cfg>";
  auto cfg = LoadXmlRoot(text);
  EXPECT_EQ(Xml(cfg.get()),
            L"<cfg v=\"last\"><item id=\"1\">x &lt; y</item><item id=\"2\" />"
            L"<raw><![CDATA[<&>]]></raw></cfg>");
  auto again = LoadXmlRoot(Xml(cfg.get()).c_str());
  EXPECT_EQ(Xml(again.get()), Xml(cfg.get()));
}

TEST(XmlTreeRead, IllegalDocumentsRaiseDocumentIllegalAndKeepWhatWasLoaded) {
  const struct {
    const wchar_t *text;
    const wchar_t *loaded;  // the children of the root when it failed
  } cases[] = {
      {L"<a><b></a>", L"b"},                 // wrong end tag
      {L"<a><c/>", L"c"},                    // no end tag
      {L"<a>", L""},                         // nothing after the start tag
      {L"<a><?xml version='1'?></a>", L""},  // declaration inside
      {L"<a></A>", L""},                     // end tags compare with case
      {L"<a></A >", L""},                    // ... also before white space
      {L"<a></ a>", L""},                    // no white space before the name
      {L"<a></a b>", L""},                   // nothing but white space after it
      {L"<a></a\u3000>", L""},               // and only blank, tab, CR and LF
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << std::string(c.text, c.text + wcslen(c.text)));
    const std::wstring text = c.text;
    CXmlReader reader(text);
    ASSERT_TRUE(MoveToXmlRoot(reader));
    CXmlElement root(reader.GetValue());
    try {
      root.ReadFrom(reader);
      ADD_FAILURE() << "no exception";
    } catch (const CXmlException &e) {
      EXPECT_EQ(e.code, XML_ERROR_DOCUMENT_ILLEGAL);
      EXPECT_EQ(e.message, L"Document Illegal");
    }
    EXPECT_EQ(Children(root), c.loaded);
  }
}

TEST(XmlTreeRead, EndTagsMayHoldWhiteSpaceBeforeTheirClose) {
  for (const wchar_t *text : {L"<a></a >", L"<a></a\t>", L"<a></a\r\n>", L"<a><b k='1'>t</b \n\t></a  >"}) {
    SCOPED_TRACE(testing::Message() << std::string(text, text + wcslen(text)));
    try {
      auto a = LoadXmlRoot(text);
      ASSERT_NE(a, nullptr);
      EXPECT_STREQ(a->GetValue(), L"a");
    } catch (const CXmlException &e) {
      ADD_FAILURE() << "code " << e.code;
    }
  }
  auto a = LoadXmlRoot(L"<a><b k='1'>t</b \n\t><c/></a >");
  EXPECT_EQ(Xml(a.get()), L"<a><b k=\"1\">t</b><c /></a>");
}

TEST(XmlTreeRead, ReaderErrorsPassThrough) {
  try {
    LoadXmlRoot(L"<a><!-- open</a>");
    ADD_FAILURE() << "no exception";
  } catch (const CXmlException &e) {
    EXPECT_EQ(e.code, XML_ERROR_PARSE_COMMENT);
  }
}

std::wstring ErrorText(const CXmlException &e) { return L" error " + e.message.str(); }

// The root and what was loaded below it, as `show` gives it (written as
// XML unless told otherwise), and the code it failed with.
std::wstring LoadedFrom(CXmlReader &reader, std::wstring (*show)(const CXmlNode *) = Xml) {
  if (!MoveToXmlRoot(reader)) return L"no root";
  CXmlElement root(reader.GetValue());
  std::wstring error;
  try {
    root.ReadFrom(reader);
  } catch (const CXmlException &e) {
    error = ErrorText(e);
  }
  return show(&root) + error;
}

// The loader takes names and texts from a reader over UTF-8 as they stand
// in its window and decodes them itself: the tree is the one loaded from
// the decoded text, whatever the window, for names and texts short and
// long, attribute lists short and long, and for the documents it rejects.
TEST(XmlTreeRead, TreeFromUtf8IsTheTreeOfTheDecodedText) {
  auto repeat = [](const std::string &s, size_t n) {
    std::string out;
    while (n--) out += s;
    return out;
  };
  const std::string n16(16, 'n'), n17(17, 'm'), n64(64, 'l'), n65(65, 'k'), cjk = "\xE4\xB8\xAD";
  std::string many = "<r><e";
  for (int i = 0; i < 12; ++i) many += " a" + std::to_string(i) + "='" + cjk + std::to_string(i) + "'";
  many += " a3='&lt;again'/></r>";
  const std::string texts[] = {
      "<?xml version='1.0'?><r a='1' b='x&amp;y' a='2'><e k='v'/>text &lt; more<![CDATA[<raw>]]><!--c-->"
      "<n\xC3\xA9 \xE4\xB8\xAD='\xC3\xA9' \xE4\xB8\xAD='&#x41;'>caf\xC3\xA9</n\xC3\xA9 ></r>",
      "<" + n16 + " " + n16 + "='1' " + n17 + "='2'><" + n17 + " " + n64 + "='3' " + n65 + "='4'/><" + n64 + "><" +
          n65 + ">" + cjk + n65 + "</" + n65 + "></" + n64 + "></" + n16 + ">",
      "<" + repeat(cjk, 30) + " " + repeat(cjk, 30) + "='x'></" + repeat(cjk, 30) + ">",
      many,
      "<r><e a='1' b='&lt;' a='&gt;' b='" + cjk + "'/></r>",
      "<r><t>" + repeat("caf\xC3\xA9 ", 120) + "</t><!--" + repeat("c", 600) + "--><t>" + repeat(cjk, 5000) +
          "</t><t>" + repeat("a", 5000) + "</t><t>" + repeat(cjk, 200) + "&amp;</t><e v='" + repeat(cjk, 700) +
          "'/></r>",
      "<r\x80 a\xFF='\xC0'>\xE4\xB8</r\x80>",
      "<r><a></b></r>",
      "<r><a x='1'>",
      "<r></R>",
      "<r><a></a\xE3\x80\x80></r>",
      "<\xC3\xA9></\xC3\xA8>",
      "<r><a>&bogus;</a></r>",
  };
  for (const std::string &bytes : texts) {
    const std::wstring wide = MultiByteToWide(CP_UTF8, bytes);
    CXmlReader decoded(wide);
    const std::wstring expected = LoadedFrom(decoded);
    for (const size_t window : {size_t{4}, size_t{7}, size_t{64}, CXmlReader::kDefaultWindow}) {
      CXmlReader reader(bytes.data(), bytes.size(), window);
      EXPECT_EQ(LoadedFrom(reader), expected) << testing::PrintToString(bytes.substr(0, 80)) << " window " << window;
    }
  }
}

// A tree as raw text (names as they are, which the writer may refuse):
// each element with its attributes in order, its children, then "/".
std::wstring Dump(const CXmlNode *node) {
  std::wstring out;
  if (const CXmlElement *e = const_cast<CXmlNode *>(node)->AsElement()) {
    out += L"<" + std::wstring(e->GetValue()) + L"[" + Attributes(*e) + L"]";
    for (const CXmlNode *c = e->GetFirstChild(); c; c = c->GetNextSibling()) out += Dump(c);
    return out + L"/";
  }
  return out + L"(" + node->GetValue() + L")";
}

// What loading `reader` gives, built without the loader from the reader's
// nodes: the same tree and the same error.
std::wstring BuiltFromNodes(CXmlReader &reader) {
  if (!MoveToXmlRoot(reader)) return L"no root";
  auto attributes = [&reader](CXmlElement &e) {
    std::wstring name, value;
    for (int i = 0; i < reader.GetAttributeCount(); ++i) {
      reader.GetAttribute(i, name, value);
      e.SetAttribute(name.c_str(), value.c_str());
    }
  };
  CXmlElement root(reader.GetValue());
  attributes(root);
  std::vector<CXmlElement *> open;
  if (reader.GetNodeType() == XML_NODE_START_ELEMENT) open.push_back(&root);
  std::wstring error;
  try {
    while (!open.empty()) {
      if (!reader.Read()) throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
      const int type = reader.GetNodeType();
      const std::wstring value = reader.GetValue();
      if (type == XML_NODE_START_ELEMENT || type == XML_NODE_EMPTY_ELEMENT) {
        auto *e = new CXmlElement(value);
        open.back()->AppendChild(e);
        attributes(*e);
        if (type == XML_NODE_START_ELEMENT) open.push_back(e);
      } else if (type == XML_NODE_END_ELEMENT) {
        const std::wstring name = open.back()->GetValue();
        if (value.compare(0, name.size(), name) != 0 ||
            value.find_first_not_of(L" \t\r\n", name.size()) != std::wstring::npos)
          throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
        open.pop_back();
      } else if (type == XML_NODE_TEXT || type == XML_NODE_CDATA) {
        open.back()->AppendChild(new CXmlText(value, type == XML_NODE_CDATA));
      } else if (type == XML_NODE_COMMENT) {
        open.back()->AppendChild(new CXmlComment(value));
      } else {
        throw CXmlException(XML_ERROR_DOCUMENT_ILLEGAL);
      }
    }
  } catch (const CXmlException &e) {
    error = ErrorText(e);
  }
  return Dump(&root) + error;
}

// The loader recognises names it has met where they stand in the text and
// end tags that close the open element; whatever it recognises, the tree
// is the one the reader's nodes describe: names that begin alike or are
// prefixes of others, names followed by every character that ends them
// (and by some that do not), names with '/', '=' or '>' that the reader
// ends elsewhere in another place, wide names and wide white space, end
// tags with white space or the wrong name, and names cut by a window's end.
TEST(XmlTreeRead, RecognisedNamesGiveTheTreeOfTheReadersNodes) {
  const std::string texts[] = {
      "<r><tag/><tags/><tag x='1'/><tags y='2'></tags><tag></tag><tag-x/><tag\t/><tag\r\n></tag><tag/><tags/></r>",
      "<r><ab/><abc/><ab/><abc/><a/><ab x='1' xy='2'/><ab xy='3' x='4'/><ab x ='5' xy= '6'/></r>",
      "<r><a/ ></a/><a/><a/ ></a/><a/><a/b/><a/b/><a/b ></a/b><a/></r>",
      "<r><ab/><ab/b/><ab/b/><ab/ ></ab/><ab/></r>",
      "<r><k=v/><k=v/><e k='1'/><e k='2'/><e k=v='1'/></r>",
      "<r><e a>b='1'/><e a>b='2'/><a>x</a><a>y</a></r>",
      "<r><e ab>c='1'/><ab>c d='2'/></ab></r>",
      "<r><id id='1'/><id id='2' idx='3' id2='4'/><idx idx = '5'/><id/></r>",
      "<r><ab><ab>t</ab ><ab>u</ab></ab><ab></ab\t\r\n></r>",
      "<r><ab></ab><ab></abc></r>",
      // End tags of names of seven and eight bytes, right, one byte wrong,
      // or with a blank before '>'
      "<r><abcdefg></abcdefg><abcdefgh></abcdefgh><abcdefg></abcdefg ><abcdefgh></abcdefgh\t></r>",
      "<r><abcdefg></abcdefx></r>",
      "<r><abcdefgh></abcdefgx></r>",
      "<r><abcdefg></abcdefgh></r>",
      "<r><ab></ab><ab></a></r>",
      "<r><ab></ab><ab></ab\xE3\x80\x80></r>",
      "<r><\xE5\x90\x8D\xE5\x89\x8D \xE5\xB1\x9E='1'/><\xE5\x90\x8D\xE5\x89\x8D \xE5\xB1\x9E='2'/>"
      "<\xE5\x90\x8D\xE5\x89\x8D\xE3\x80\x80\xE5\xB1\x9E='3'/><\xE5\x90\x8D\xE5\x89\x8D\xE3\x80\x80/></r>",
      "<r><item id='1' type='a'><title>t</title></item><item id='2' type='b'><title>u</title></item>"
      "<item id='3' type='c'><title>v</title></item><itemx/><ite/></r>",
      "<rr><rr></rr></rr>",
      // More names with the same first two bytes than are kept for them,
      // longer than eight bytes and beyond, met again in every order.
      "<r><e a1='1' a10='2' a11='3' a12='4' a1b='5'/><e a12='6' a1='7' a1b='8' a10='9' a11='0'/>"
      "<abcdefghij/><abcdefghijk/><abcdefghijklmnopqrstu/><abcdefghijklmnopqrstuv/><abcdefgh/><ab/>"
      "<abcdefghijklmnopqrstuv/><abcdefghxy/><abcdefghijklmnopqrsXu/><abcdefghij/><abcdefghijklmnopqrstu/>"
      "<abcdefghijk x='1'/><abcdefgh/></r>",
      // Names repeated in a tag, more than once, the first among them, in
      // short lists and in lists long enough for an index.
      "<r><e a='1' b='2' a='3' a='4' c='5' b='6'/><e a='1' a='2'/><e b='1' c='2' b='3'/>"
      "<e x1='1' x2='2' x3='3' x4='4' x5='5' x6='6' x7='7' x8='8' x9='9' x1='a' x5='b' x1='c' x10='d'/>"
      "<e x1='1' x2='2' x3='3' x4='4' x5='5' x6='6' x7='7' x8='8' x8='e' x9='9'/></r>",
      // Names of one character, followed by each character that ends one.
      "<r><a/><a>t</a><a x='1' y='2' x='3'/><b a='1' b='2'/><a\t/><a b='1'><a/></a><a/b/><a/b/><a=x/></r>",
      "<r><a><a></b></a></r>",
      "<rr><rr>",
      // A name met first as an attribute, then as an element followed by
      // what ends only one kind of name ('=', '/' or '>'), or by wide white
      // space; and met first as an element, then as an attribute so.
      "<r><e ab='1'/><ab='2'/><ab/><ab>t</ab><ab\xE3\x80\x80='3'/><ab ='4'/></r>",
      "<r><e ab='1'/><ab=x/></r>",
      "<r><ab/><e ab>='1' ab/='2' ab='3'/><e ab\xE3\x80\x80='4' ab ='5'/></r>",
  };
  for (const std::string &bytes : texts) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    const std::wstring wide = MultiByteToWide(CP_UTF8, bytes);
    CXmlReader nodes(wide);
    const std::wstring expected = BuiltFromNodes(nodes);
    CXmlReader decoded(wide);
    EXPECT_EQ(LoadedFrom(decoded, Dump), expected);
    for (const size_t window : {size_t{4}, size_t{5}, size_t{7}, size_t{64}, CXmlReader::kDefaultWindow}) {
      CXmlReader reader(bytes.data(), bytes.size(), window);
      EXPECT_EQ(LoadedFrom(reader, Dump), expected) << "window " << window;
    }
  }
}

TEST(XmlTreeRead, NestingIsBoundedSoHostileInputCannotExhaustTheStack) {
  auto nested = [](int depth) {
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<n>";
    for (int i = 0; i < depth; ++i) text += L"</n>";
    return text;
  };
  auto deepest = LoadXmlRoot(nested(CXmlElement::kMaxReadDepth));
  std::unique_ptr<CXmlNode> copy(deepest->Clone());
  EXPECT_EQ(Xml(copy.get()).size(), Xml(deepest.get()).size());

  for (int depth : {CXmlElement::kMaxReadDepth + 1, 200000}) {
    try {
      LoadXmlRoot(nested(depth));
      ADD_FAILURE() << "depth " << depth << " loaded";
    } catch (const CXmlException &e) {
      EXPECT_EQ(e.code, XML_ERROR_DOCUMENT_ILLEGAL);
    }
  }
}

}  // namespace

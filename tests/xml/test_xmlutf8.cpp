// The reader and the tree loader over UTF-8 bytes against the same over the
// wide text MultiByteToWide(CP_UTF8, ...) makes of them: random documents
// built from the pieces a scanner of bytes could get wrong (markup next to
// invalid or cut-off sequences, white space and case mapping beyond ASCII,
// references, NULs), and a table of the cases random documents seldom make.
// Every node, value, attribute, tree and error must be the same, for small
// windows that end anywhere in a node and for the default one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/text/wctype_win.h"
#include "utils/xml/xml.h"

using namespace pcutil;

namespace {

const size_t kWindows[] = {4, 5, 7, 64, CXmlReader::kDefaultWindow};

// A reader over a copy of the bytes (no NUL after them, so a scan beyond
// their end shows under the sanitizer) or over the wide text.
struct Utf8Source {
  explicit Utf8Source(const std::string &bytes, size_t window)
      : copy(new char[bytes.size() ? bytes.size() : 1]), reader(Copied(bytes), bytes.size(), window) {}
  const char *Copied(const std::string &bytes) {
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return copy.get();
  }
  std::unique_ptr<char[]> copy;
  CXmlReader reader;
};

// Appends wide text with every character outside printable ASCII escaped,
// so that U+FFFD, wide spaces and control characters are told apart.
void Show(std::wstring &out, const wchar_t *text, size_t length) {
  static const wchar_t digits[] = L"0123456789ABCDEF";
  for (size_t i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    if (c >= L' ' && c < 0x7F && c != L'\\' && c != L'|') {
      out += c;
      continue;
    }
    out += L'\\';
    const unsigned v = static_cast<unsigned>(c);
    for (int shift = 20; shift >= 0; shift -= 4)
      if (v >> shift || shift == 0) out += digits[(v >> shift) & 15];
    out += L';';
  }
}
void Show(std::wstring &out, const std::wstring &text) { Show(out, text.data(), text.size()); }
void Show(std::wstring &out, const wchar_t *text) { Show(out, text, wcslen(text)); }

// Appends everything the reader reports, node by node: kind, value and
// attributes; on an error its code, what the accessors say then, and what
// the next Read does; after the last node, that Read stays FALSE.
void Trace(CXmlReader &reader, std::wstring &out) {
  std::wstring name, value;
  auto state = [&] {
    out += std::to_wstring(reader.GetNodeType());
    out += L':';
    Show(out, reader.GetValue());
    const int count = reader.GetAttributeCount();
    for (int i = 0; i < count; ++i) {
      reader.GetAttribute(i, name, value);
      out += L' ';
      Show(out, name);
      out += L'=';
      Show(out, value);
      out += L'|';
      Show(out, reader.GetAttribute(name.c_str()));
    }
    out += L'\n';
  };
  try {
    while (reader.Read()) state();
    out += L"end ";
    state();
    out += reader.Read() ? L"read again\n" : L"still end\n";
  } catch (const CXmlException &e) {
    out += L"error " + std::to_wstring(e.code) + L" ";
    state();
    try {
      reader.Read();
      out += L"read after the error\n";
    } catch (const CXmlException &again) {
      out += L"again " + std::to_wstring(again.code) + L"\n";
    }
  }
}
std::wstring Trace(CXmlReader &reader) {
  std::wstring out;
  Trace(reader, out);
  return out;
}

// Appends a loaded tree as raw text: elements with their attributes in
// order and their children, texts as the writer gives them (so CDATA
// shows), and comments.
void Dump(const CXmlNode *node, std::wstring &out) {
  CXmlNode *n = const_cast<CXmlNode *>(node);
  if (const CXmlElement *e = n->AsElement()) {
    out += L'<';
    Show(out, e->GetValue());
    for (const CXmlAttribute *a = e->GetFirstAttribute(); a; a = a->GetNext()) {
      out += L' ';
      Show(out, a->GetName());
      out += L'=';
      Show(out, a->GetValue());
    }
    out += L'>';
    for (const CXmlNode *c = e->GetFirstChild(); c; c = c->GetNextSibling()) Dump(c, out);
    out += L"</>";
  } else if (n->AsText()) {
    // The writer shows whether the text is CDATA.
    CXmlElement holder(L"w");
    holder.AppendChild(n->Clone());
    out += L"T(";
    Show(out, holder.GetXml().str());
    out += L')';
  } else {
    out += n->AsComment() ? L"C(" : L"?(";
    Show(out, n->GetValue());
    out += L')';
  }
}

// The tree the reader gives, with what was loaded before an error and the
// error's code, and where the reader then stands.
std::wstring Tree(CXmlReader &reader) {
  try {
    if (!MoveToXmlRoot(reader)) return L"no root";
  } catch (const CXmlException &e) {
    return L"error before the root " + std::to_wstring(e.code);
  }
  CXmlElement root(reader.GetValue());
  std::wstring error;
  try {
    root.ReadFrom(reader);
  } catch (const CXmlException &e) {
    error = L" error " + std::to_wstring(e.code);
  }
  std::wstring out;
  Dump(&root, out);
  out += error + L"\nthen ";
  Trace(reader, out);
  return out;
}

// LoadXmlRoot's outcome: the tree, no root, or the error's code.
std::wstring Loaded(CXmlReader &reader) {
  try {
    std::unique_ptr<CXmlElement> root = LoadXmlRoot(reader);
    if (!root) return L"no root";
    std::wstring out;
    Dump(root.get(), out);
    return out;
  } catch (const CXmlException &e) {
    return L"error " + std::to_wstring(e.code);
  }
}

// Compares the readers and loaders over `bytes` with those over its decoded
// text for every window; counts mismatches and reports the first few.
class Differ {
 public:
  // True when the wide text loads to a tree without an error.
  bool Check(const std::string &bytes) {
    const std::wstring wide = MultiByteToWide(CP_UTF8, bytes);
    CXmlReader w1(wide), w2(wide), w3(wide);
    const std::wstring trace = Trace(w1), tree = Tree(w2), loaded = Loaded(w3);
    for (const size_t window : kWindows) {
      Utf8Source s1(bytes, window), s2(bytes, window);
      Compare("nodes", bytes, window, Trace(s1.reader), trace);
      Compare("tree", bytes, window, Tree(s2.reader), tree);
      // LoadXmlRoot loads as Tree does; its own part is how the outcome
      // is passed on, which one small window and the default one show.
      if (window == kWindows[0] || window == CXmlReader::kDefaultWindow) {
        Utf8Source s3(bytes, window);
        Compare("LoadXmlRoot", bytes, window, Loaded(s3.reader), loaded);
      }
    }
    return loaded.compare(0, 5, L"error") != 0 && loaded != L"no root";
  }
  int Mismatches() const { return _mismatches; }

 private:
  void Compare(const char *what, const std::string &bytes, size_t window, const std::wstring &got,
               const std::wstring &expected) {
    if (got == expected) return;
    if (++_mismatches > 5) return;
    ADD_FAILURE() << what << " differ for " << testing::PrintToString(bytes) << " window " << window << "\nUTF-8:\n"
                  << WideToMultiByte(CP_UTF8, got) << "\ndecoded:\n"
                  << WideToMultiByte(CP_UTF8, expected);
  }
  int _mismatches = 0;
};

std::string Utf8(unsigned c) { return WideToMultiByte(CP_UTF8, std::wstring(1, static_cast<wchar_t>(c))); }

// The characters beyond ASCII that the reader treats as ASCII (towlower
// gives an ASCII character, which matters to "<?xml", "<![CDATA[",
// "<!--" and the entity names), and the first and last of every run of
// wide white space.
struct Special {
  std::vector<unsigned> lowersToAscii;
  std::vector<unsigned> spaces;
  Special() {
    bool inRun = false;
    for (unsigned c = 0x80; c <= 0x10FFFF; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) continue;
      const wchar_t ch = static_cast<wchar_t>(c);
      if (static_cast<unsigned>(crt_towlower(ch)) < 0x80) lowersToAscii.push_back(c);
      const bool space = XmlIsSpace(ch);
      if (space && !inRun) spaces.push_back(c);
      if (!space && inRun && spaces.back() != c - 1) spaces.push_back(c - 1);
      inRun = space;
    }
  }
};

const Special &Specials() {
  static const Special special;
  return special;
}

TEST(XmlUtf8, TheSpecialCharactersAreFound) {
  // The runtime's tables as the reader sees them: U+212A (Kelvin) lowers
  // to 'k', U+0130 to 'i'; U+3000 and U+2028 are white space, U+00A0 and
  // U+0085 are not.
  const Special &s = Specials();
  for (unsigned c : {0x212Au, 0x130u})
    EXPECT_NE(std::find(s.lowersToAscii.begin(), s.lowersToAscii.end(), c), s.lowersToAscii.end()) << c;
  EXPECT_TRUE(XmlIsSpace(L'\x3000'));
  EXPECT_TRUE(XmlIsSpace(L'\x2028'));
  EXPECT_FALSE(XmlIsSpace(L'\xA0'));
  EXPECT_FALSE(XmlIsSpace(L'\x85'));
}

// Deterministic on every platform: the generator's raw output, reduced by
// hand rather than through a distribution.
class Random {
 public:
  explicit Random(uint32_t seed) : _state(seed) {}
  size_t Below(size_t n) {
    _state ^= _state << 13;
    _state ^= _state >> 17;
    _state ^= _state << 5;
    return _state % n;
  }
  template <class T>
  const T &Pick(const std::vector<T> &v) {
    return v[Below(v.size())];
  }

 private:
  uint32_t _state;
};

std::vector<std::string> Fragments() {
  std::vector<std::string> f = {
      // markup
      "<",
      "</",
      "/>",
      ">",
      "=",
      "'",
      "\"",
      "&",
      ";",
      "/",
      "?>",
      "<?xml",
      "<?XmL",
      "<?xm",
      "<![CDATA[",
      "<![cdata[",
      "<![CDAT",
      "]]>",
      "]]",
      "]",
      "<!--",
      "<!-",
      "-->",
      "--",
      "-",
      "<!",
      "<?",
      // names
      "a",
      "r",
      "e",
      "ab",
      "xml",
      "CDATA",
      "amp",
      "\xE5\x90\x8D",
      "n\xC3\xA9",
      "x\xF0\x9F\x98\x80",
      // references
      "&amp;",
      "&AMP;",
      "&Lt;",
      "&gT;",
      "&quot;",
      "&APOS;",
      "&#x41;",
      "&#x4E2D;",
      "&#xD83D;&#xDE00;",
      "&#xD83D;",
      "&#xDE00;",
      "&#x110000;",
      "&#x0;",
      "&#X41;",
      "&#65;",
      "&#x",
      "&#",
      "&am",
      "&l",
      "&bogus;",
      "&amp",
      "&#x41",
      // ASCII white space
      " ",
      "\t",
      "\r\n",
      "\n",
      "\x0B",
      "\x0C",
      "  ",
      // wide white space, and the two below U+0100 that are not
      "\xE3\x80\x80",
      "\xE2\x80\xA8",
      "\xE1\x9A\x80",
      "\xE2\x81\x9F",
      "\xE2\x80\x80",
      "\xE2\x80\x8A",
      "\xC2\xA0",
      "\xC2\x85",
      // characters of 2, 3 and 4 bytes
      "\xE4\xB8\xAD",
      "\xE6\x96\x87",
      "\xC3\xA9",
      "\xCE\xA9",
      "\xF0\x9F\x98\x80",
      "\xF4\x8F\xBF\xBF",
      "\xEF\xBF\xBD",
      "\xEF\xBB\xBF",
      // invalid UTF-8: stray trail bytes, lone and cut-off leads, overlongs,
      // surrogates, beyond U+10FFFF, bytes that never begin a character
      "\x80",
      "\xBF",
      "\x80\x80\x80",
      "\xC2",
      "\xE4",
      "\xF0",
      "\xE4\xB8",
      "\xF0\x9F",
      "\xF0\x9F\x98",
      "\xC2<",
      "\xE4>",
      "\xF0'",
      "\xE4\xB8<",
      "\xC0\xAF",
      "\xE0\x80\xAF",
      "\xC1\xBF",
      "\xED\xA0\x80",
      "\xED\xBF\xBF",
      "\xF4\x90\x80\x80",
      "\xF5\x80\x80\x80",
      "\xFF",
      "\xFE",
      "\xF8\x88\x80\x80\x80",
      // text
      "text",
      "x y",
      "1",
      // a NUL now and then
      std::string(1, '\0'),
  };
  const Special &s = Specials();
  for (unsigned c : s.lowersToAscii) f.push_back(Utf8(c));
  for (unsigned c : s.spaces) f.push_back(Utf8(c));
  // Letters of the openers and entity names written with those characters.
  for (unsigned c : s.lowersToAscii) {
    const char lower = static_cast<char>(crt_towlower(static_cast<wchar_t>(c)));
    for (const std::string &word : {std::string("<?xml"), std::string("<![cdata["), std::string("&amp;"),
                                    std::string("&lt;"), std::string("&quot;"), std::string("&apos;")}) {
      const size_t at = word.find(lower);
      if (at != std::string::npos) f.push_back(word.substr(0, at) + Utf8(c) + word.substr(at + 1));
    }
  }
  return f;
}

// A random run of fragments, mostly names and text so that tags stay
// readable, with the hostile pieces now and then.
std::string Pieces(Random &random, const std::vector<std::string> &fragments, size_t most) {
  static const std::vector<std::string> plain = {"a", "b", "x", "n", "\xE4\xB8\xAD", "\xC3\xA9", "1", "z"};
  std::string out;
  for (size_t n = random.Below(most + 1); n > 0; --n)
    out += random.Below(3) ? random.Pick(plain) : random.Pick(fragments);
  return out;
}

// Names: plain most of the time, so start and end tags match and the
// document loads; sometimes with a hostile piece inside or after them.
std::string Name(Random &random, const std::vector<std::string> &fragments) {
  static const std::vector<std::string> names = {
      "a", "r", "ab", "abc", "\xE5\x90\x8D", "n\xC3\xA9", "x\xF0\x9F\x98\x80", "e-1", "\xE2\x84\xAA"};
  std::string name = random.Pick(names);
  if (random.Below(10) == 0) name += random.Pick(fragments);
  return name;
}

// A document from a skeleton whose slots take random pieces; a good share
// of them load.
std::string Skeleton(Random &random, const std::vector<std::string> &fragments, int depth) {
  // '$' takes content, '@' too or (below the top) another element of the
  // first three, '%' white space (wide too), '#' blanks, "$n" a name ("$m"
  // one of an empty element).
  static const std::vector<std::string> skeletons = {
      "<r a='$' b=\"$\"><$n $n='$'>@</$n>@<![CDATA[$]]><!--$--></r>",
      "%<$n% $n%=%'$'% $n=\"$\"%>@<e>@</e>@</$n#>%",
      "<r>@<$m/>@<$n $n='$' $n='$'>@<![CDATA[$]]>@</$n>@<!--$-->@</r>",
      "<?xml version='1.0' %?>%<!--$-->%<$n>@<$m $n=\"$\"/>@</$n>%",
      "<?XmL $n='$'?>%<r>@&amp;$&#x4E2D;@<e $n='&lt;$&Quot;'>@</e>@</r>%",
  };

  // Content that keeps a document well formed wherever it stands.
  static const std::vector<std::string> mild = {
      "t",     "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", " ",        "\xE3\x80\x80", "\xE2\x80\xA8", "&amp;",
      "&AMP;", "&#x4E2D;",     "&#xD83D;&#xDE00;", "\xC2\xA0", "\x80",         "\xE4",         "\xE2\x84\xAA"};
  const std::string &skeleton = skeletons[random.Below(depth < 2 ? skeletons.size() : 3)];
  std::string out;
  std::vector<std::string> names;
  for (size_t i = 0; i < skeleton.size(); ++i) {
    if (skeleton[i] == '%' || skeleton[i] == '#') {
      static const std::vector<std::string> spaces = {"", " ", "\t", "\r\n", "\xE3\x80\x80", "\xE2\x80\xA8"};
      out += spaces[random.Below(skeleton[i] == '%' ? spaces.size() : 4)];
    } else if (skeleton[i] == '@' && depth < 3 && random.Below(5) == 0) {
      out += Skeleton(random, fragments, depth + 1);
    } else if (skeleton[i] != '$' && skeleton[i] != '@') {
      out += skeleton[i];
    } else if (i + 1 < skeleton.size() && (skeleton[i + 1] == 'n' || skeleton[i + 1] == 'm')) {
      const bool empty = skeleton[++i] == 'm';
      // An end tag mostly closes the element open last.
      const bool endTag = out.size() >= 2 && out.compare(out.size() - 2, 2, "</") == 0;
      if (endTag && !names.empty() && random.Below(8)) {
        out += names.back();
        names.pop_back();
      } else {
        const std::string name = Name(random, fragments);
        if (!endTag && !empty && out.back() == '<') names.push_back(name);
        out += name;
      }
    } else {
      // Empty, well-formed content, or hostile pieces.
      const size_t kind = random.Below(24);
      if (kind >= 12) out += Pieces(random, mild, 4);
      if (kind == 23) out += Pieces(random, fragments, 4);
    }
  }
  return out;
}

TEST(XmlUtf8, RandomDocumentsReadAndLoadAsTheirDecodedTexts) {
  const std::vector<std::string> fragments = Fragments();
  Random random(20261211);
  Differ differ;
  const int kDocuments = 2000;
  int loaded = 0;
  for (int i = 0; i < kDocuments && differ.Mismatches() < 5; ++i) {
    std::string bytes;
    switch (random.Below(4)) {
      case 0:  // fragments only
        bytes = Pieces(random, fragments, 120);
        break;
      case 1:  // a skeleton with something before or after it
        bytes = Pieces(random, fragments, 3) + Skeleton(random, fragments, 1) + Pieces(random, fragments, 3);
        break;
      default:  // a skeleton, several in a row
        for (size_t n = 1 + random.Below(3); n > 0; --n) bytes += Skeleton(random, fragments, 1);
    }
    if (random.Below(10) == 0) bytes.insert(random.Below(bytes.size() + 1), 1, '\0');
    if (differ.Check(bytes)) ++loaded;
  }
  EXPECT_EQ(differ.Mismatches(), 0);
  // The documents reach beyond the first tag: many load into trees.
  EXPECT_GT(loaded, kDocuments / 4);
}

// What random documents seldom put together. Each is also read after
// blanks that move the windows' ends through it.
TEST(XmlUtf8, HandWrittenDocumentsReadAndLoadAsTheirDecodedTexts) {
  const std::string ws = "\xE3\x80\x80", ls = "\xE2\x80\xA8";
  const std::string nul(1, '\0');
  const std::string texts[] = {
      // wide white space after '<', in and after names, before and after
      // '=', between attributes, before a text and as the whole text
      "<" + ws + "r/>",
      "<r" + ws + "a" + ls + "=" + ws + "'1'" + ws + "b='2'" + ls + "/>",
      "<r>" + ws + "x" + ws + "</r>",
      "<r>" + ws + ls + "</r>",
      "<r>\xC2\xA0x\xC2\x85</r>",
      "<r a" + ws + ">" + "</r" + ws + ">",
      "<?xml" + ws + "v='1'" + ls + "?><r/>",
      // a name whose bytes end in a lead byte, or a cut-off sequence, right
      // before what ends it
      "<r\xE4>x</r\xE4>",
      "<r\xE4\xB8/>",
      "<r\xF0\x9F\x98 a='1'/>",
      "<r a\xE4='1' b\xC2=\"2\"/>",
      "<r\xE3\x80>x</r\xE3\x80>",
      "<r\xE3/>",
      // values and texts ending in a cut-off sequence right before the
      // quote or '<'
      "<r a='x\xE4' b=\"y\xF0\x9F\x98\"/>",
      "<r>x\xE4\xB8</r>",
      "<r>x\xC2<e/>\xF0</r>",
      "<r a='\xE4'>\xE4</r>",
      // references next to invalid bytes
      "<r>\xE4&amp;\xB8</r>",
      "<r a='\xE4&lt;\xB8'>\xF0&#x41;\x80&#x4E2D;\xE4</r>",
      "<r>&\xE4;</r>",
      "<r>&amp\xE4;</r>",
      "<r>&#x4E\xE4;</r>",
      "<r>&#x\xE4;</r>",
      "<r>&#xD83D;&#x\xE4;</r>",
      "<r>&\xE2\x84\xAA;&AM\xE2\x84\xAA;</r>",
      "<r>\xE4&#xE9;\xB8 \xE4\xB8&#x4E2D;\xB8 \xF0\x9F&#xD83D;&#xDE00;\x98</r>",
      // references whose characters take one to four bytes, side by side and
      // at both ends; blanks they make stay, a '<' they make ends nothing
      "<r>&#x41;&#xE9;&#x4E2D;&#xD83D;&#xDE00;&#x10FFFF;x&amp;</r>",
      "<r>&lt;e&gt;x&lt;/e&gt;</r>",
      "<r> x&#x20;&#xA; \n</r>",
      "<r>&#x3000;x&#x3000;</r>",
      "<r>a&#x0;b</r>",
      // a reference to a surrogate alone after ones the bytes can hold
      "<r>&amp;x&#xD800;y&lt;</r>",
      "<r>&lt;&#xDC00;</r>",
      // CDATA and comments holding invalid bytes and wide spaces
      "<r><![CDATA[\xE4]]\xE4>" + ws + "\xFF]]><!--\xE4-\xE4->" + ws + "\xED\xA0\x80--></r>",
      "<r><![CDATA[]\xE4]>]]><!---\xC2-->x</r>",
      "<r><!--\xE4--\xE4>--></r>",
      // a NUL inside a name, a text, an attribute value, a comment, CDATA
      "<r" + nul + "a/>",
      "<r>x" + nul + "y</r>",
      "<r a='x" + nul + "y'/>",
      "<r><!--x" + nul + "--></r>",
      "<r><![CDATA[x" + nul + "]]></r>",
      "<r>&am" + nul + "p;</r>",
      "<r>&#x4" + nul + "1;</r>",
      "<r" + ws + nul + "/>",
      // different bytes that decode to the same name (U+FFFD): the end tag
      // closes the element, a second attribute replaces the first, and a
      // name the loader has met is met again
      "<r\xE4></r\xE5>",
      "<r\xC0\xAF></r\xFF\xFF>",
      "<r\xF0\x9F\x98></r\xE4\xB8>",
      "<r\xEF\xBF\xBD></r\x80>",
      "<r a\xE4='1' a\x80='2' a\xEF\xBF\xBD='3'/>",
      "<r><a\xE4 b\xE4='1'/><a\xE5 b\xF0='2'/><a\xE4></a\xBF></r>",
      // overlong forms of '<', '>', quotes and '&' are no markup
      "<r>\xC0\xBC"
      "a/>\xE0\x80\xBC/r></r>",
      "<r a='\xC0\xA7' b=\"\xC0\xA2\">\xC0\xA6"
      "amp;\xC0\xBE</r>",
      "<r>\xE0\x80\xBE</r>",
      // a byte-order mark is no white space; a lead before a NUL or a
      // surrogate's bytes after a reference to one
      "\xEF\xBB\xBF<r/>",
      "<r>\xE4" + nul + "x</r>",
      "<r>&#xD83D;\xED\xB8\x80</r>",
      "<r a='&#xD83D;\xED\xB8\x80'/>",
      "<" + nul + "r/>",
      "<r>&" + nul + "</r>",
      // openers and entities with characters that lower to ASCII letters
      "<?\xE2\x84\xAA"
      "ml?><r/>",
      "<r><![\xE2\x84\xAA"
      "DATA[x]]></r>",
      "<?xm\xC4\xB0?><r/>",
      "<r>&\xC4\xB0t;&\xC5\xBF"
      "pos;</r>",
  };
  Differ differ;
  for (const std::string &text : texts) {
    for (size_t blanks = 0; blanks < 12 && differ.Mismatches() < 5; ++blanks)
      differ.Check(std::string(blanks, ' ') + text);
  }
  EXPECT_EQ(differ.Mismatches(), 0);
}

}  // namespace

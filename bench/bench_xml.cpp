// The XML library beside expat, pugixml and libxml2, in the same run, on two
// generated 10 MB UTF-8 documents: "items" (elements, attributes, text,
// references, mostly ASCII) and "records_zh" (Chinese records: attributes
// on every element, a third of the characters from U+4E00 up, references,
// CDATA, mixed content, comments). Each benchmark runs on both:
//   - TreeBuild: UTF-8 bytes to a tree. Ours reads the bytes with the
//     reader that finds the markup in them and decodes each name and text
//     into the tree, so the decode is included (OursNoDecode starts from
//     the whole text decoded before); TreeBuildPaired builds ours and
//     pugixml's in turns and gives the median of their ratios, which a
//     busy machine disturbs least;
//   - TreeDestroy: destroying the tree built from the document;
//   - PeakMemory: the most heap in use while the tree is built, beyond what
//     was in use before: for ours everything the load allocates (the
//     reader's window included), and (OursNoDecode) for the tree alone from
//     the decoded text made before, as the others' UTF-8 bytes are;
//   - PullRead: every node of the document read with the pull reader
//     (ours from the UTF-8 bytes, and from the decoded text) and with
//     expat's push parser;
//   - Depth: a million elements loaded flat and at depth 999, and a chain
//     of 50,000 elements built by code against as many side by side.
// Six smaller documents of other shapes (dense markup, deep nesting, long
// attribute lists, Chinese attribute values, characters beyond U+FFFF,
// texts longer than the tree's storage blocks) are checked alike, and only
// TreeBuildPaired runs on them: the cost per node and per character where
// the two catalogues do not show it.
// Before anything is timed, every contender's result is reduced to one
// checksum of its content (names, attributes, trimmed texts, comments in document
// order); a contender that disagrees stops the run.
// Every time is measured as the thread's CPU time. At the end the medians
// are printed as ratios, ours divided by theirs.
// Run: bench_xml [--benchmark_filter=TreeBuild] [--malloc_default]
//   (--benchmark_enable_random_interleaving=true spreads the repetitions of
//   all contenders over the run, which evens out a busy machine)
#include <benchmark/benchmark.h>
#include <expat.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "platform/text/codepage.h"
#include "utils/xml/xml.h"

// --- heap accounting ----------------------------------------------------------
// malloc and friends are interposed for the whole process, so the C libraries'
// allocations count as well. Accounting is on only while a peak is measured.

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);
}

namespace {

std::atomic<bool> g_track{false};
std::atomic<long long> g_inUse{0};
std::atomic<long long> g_peak{0};

void Count(void *p, bool add) {
  if (!p) return;
  const long long n = static_cast<long long>(malloc_usable_size(p));
  if (!add) {
    g_inUse.fetch_sub(n, std::memory_order_relaxed);
    return;
  }
  const long long now = g_inUse.fetch_add(n, std::memory_order_relaxed) + n;
  if (now > g_peak.load(std::memory_order_relaxed)) g_peak.store(now, std::memory_order_relaxed);
}

bool Tracking() { return g_track.load(std::memory_order_relaxed); }

}  // namespace

extern "C" {
void *malloc(size_t n) {
  void *p = __libc_malloc(n);
  if (Tracking()) Count(p, true);
  return p;
}
void *calloc(size_t n, size_t size) {
  void *p = __libc_calloc(n, size);
  if (Tracking()) Count(p, true);
  return p;
}
void *realloc(void *old, size_t n) {
  if (Tracking()) Count(old, false);
  void *p = __libc_realloc(old, n);
  if (Tracking()) Count(p ? p : (n ? old : nullptr), true);
  return p;
}
void free(void *p) {
  if (Tracking()) Count(p, false);
  __libc_free(p);
}
void *memalign(size_t alignment, size_t n) {
  void *p = __libc_memalign(alignment, n);
  if (Tracking()) Count(p, true);
  return p;
}
void *aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void **out, size_t alignment, size_t n) {
  void *p = memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}
}

namespace {

// Measures the peak heap in use while it lives, from zero at its start.
class PeakHeap {
 public:
  PeakHeap() {
    g_inUse = 0;
    g_peak = 0;
    g_track = true;
  }
  ~PeakHeap() { g_track = false; }
  double Megabytes() const { return static_cast<double>(g_peak.load()) / (1024.0 * 1024.0); }
};

// --- the document ---------------------------------------------------------------

// A catalogue of items, indented, with attributes, short and long texts,
// entity and character references and some Chinese and accented text.
std::string MakeDocument(size_t bytes) {
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  static const char *const kWords[] = {"market", "price", "bitcoin", "trade",   "volume",  "order",
                                       "book",   "ask",   "bid",     "spread",  "depth",   "ticker",
                                       "last",   "high",  "low",     "average", "exchange"};
  static const char *const kRefs[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#x4E2D;", "&#xe9;"};
  static const char *const kWide[] = {"\xE4\xB8\xAD\xE6\x96\x87", "caf\xC3\xA9", "\xE4\xBB\xB7\xE6\xA0\xBC",
                                      "\xE2\x82\xAC"};
  auto words = [&](std::string &out, int count) {
    for (int i = 0; i < count; ++i) {
      if (i) out += ' ';
      const uint32_t r = next(40);
      if (r == 0)
        out += kRefs[next(7)];
      else if (r == 1)
        out += kWide[next(4)];
      else
        out += kWords[next(17)];
    }
  };
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalog created=\"2014-03-01T08:00:00Z\">\n";
  for (unsigned item = 0; doc.size() < bytes; ++item) {
    const std::string id = std::to_string(item);
    doc += "  <item id=\"i" + id + "\" type=\"" + kWords[next(17)] + "\" price=\"" + std::to_string(next(99999)) + "." +
           std::to_string(next(100)) + "\" currency=\"CNY\">\n";
    doc += "    <title>";
    words(doc, 2 + next(5));
    doc += "</title>\n    <author lang=\"zh\">";
    doc += kWide[next(4)];
    doc += " Author " + id + "</author>\n    <summary>";
    words(doc, 10 + next(40));
    doc += "</summary>\n    <tags>";
    for (uint32_t t = 0, n = 1 + next(4); t < n; ++t) doc += std::string("<tag>") + kWords[next(17)] + "</tag>";
    doc += "</tags>\n    <stock warehouse=\"north &amp; east\" qty=\"" + std::to_string(next(1000)) + "\"/>\n";
    doc += "    <history>\n";
    for (uint32_t e = 0, n = 1 + next(5); e < n; ++e) {
      doc += "      <event date=\"2014-0" + std::to_string(1 + next(9)) + "-1" + std::to_string(next(10)) +
             "\" kind=\"" + kWords[next(17)] + "\">" + std::to_string(next(100000)) + "</event>\n";
    }
    doc += "    </history>\n  </item>\n";
  }
  doc += "</catalog>\n";
  return doc;
}

// A catalogue of market records in Chinese: attributes on every element,
// about a third of the characters from U+4E00 up, entity and character
// references, CDATA sections, mixed content and comments. The markup is
// ASCII, so the texts are mostly Chinese.
std::string MakeChineseDocument(size_t bytes) {
  uint32_t seed = 54321;
  auto next = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  static const char *const kHan[] = {"比特币", "价格",   "市场", "交易", "成交量", "买入",   "卖出", "行情", "上涨",
                                     "下跌",   "今日",   "报价", "深度", "订单",   "平均价", "最高", "最低", "开盘",
                                     "收盘",   "人民币", "美元", "数据", "来源",   "更新",   "时间", "新闻", "分析",
                                     "趋势",   "波动",   "资金", "流入", "流出",   "合约",   "现货", "期货", "指数"};
  static const char *const kPunct[] = {"，", "。", "、", "：", "；"};
  static const char *const kAscii[] = {"BTC", "CNY", "USD", "24h", "K", "OTC", "API", "v2"};
  static const char *const kRefs[] = {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#x4E2D;", "&#x20AC;", "&#x6587;"};
  static const char *const kMarkets[] = {"spot", "futures", "otc", "index"};
  constexpr size_t kHans = sizeof kHan / sizeof *kHan;
  // Chinese prose: words, punctuation, now and then a Latin word, a number
  // or a reference.
  auto prose = [&](std::string &out, int words) {
    for (int i = 0; i < words; ++i) {
      const uint32_t r = next(30);
      if (r == 0)
        out += kRefs[next(8)];
      else if (r == 1)
        out += std::string(" ") + kAscii[next(8)] + " ";
      else if (r == 2)
        out += std::to_string(next(100000));
      else
        out += kHan[next(kHans)];
      if (next(4) == 0) out += kPunct[next(5)];
    }
  };
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- 行情目录：每条记录一个品种 -->\n"
      "<catalogue lang=\"zh-CN\" source=\"交易所&amp;数据中心\" version=\"2\">\n";
  for (unsigned record = 0; doc.size() < bytes; ++record) {
    const std::string id = std::to_string(record);
    doc += "  <record id=\"r" + id + "\" market=\"" + kMarkets[next(4)] + "\" name=\"" + kHan[next(kHans)] +
           kHan[next(kHans)] + "\" seq=\"" + id + "\">\n";
    doc += "    <title lang=\"zh-CN\">";
    prose(doc, 6 + next(10));
    doc += "</title>\n    <quote currency=\"CNY\" unit=\"元\" time=\"2026-12-" + std::to_string(10 + next(20)) +
           "T08:" + std::to_string(10 + next(50)) + "\">" + std::to_string(next(999999)) + "." +
           std::to_string(10 + next(90)) + "</quote>\n";
    doc += "    <summary lang=\"zh-CN\">";
    for (uint32_t part = 0, parts = 1 + next(3); part < parts; ++part) {
      prose(doc, 10 + next(30));
      doc += std::string("<em class=\"k") + std::to_string(next(5)) + "\">" + kHan[next(kHans)] + "</em>";
    }
    prose(doc, 6 + next(16));
    doc += "</summary>\n";
    if (next(3) == 0) doc += "    <!-- 备注：" + std::string(kHan[next(kHans)]) + " r" + id + " -->\n";
    doc += "    <body format=\"cdata\"><![CDATA[";
    doc += kHan[next(kHans)];
    doc += "<价格> & [数据] ";
    prose(doc, 8 + next(16));
    doc += "。]]></body>\n    <tags count=\"" + std::to_string(1 + next(4)) + "\">";
    for (uint32_t t = 0, n = 1 + next(4); t < n; ++t)
      doc += std::string("<tag weight=\"") + std::to_string(next(10)) + "\">" + kHan[next(kHans)] + "</tag>";
    doc += "</tags>\n  </record>\n";
  }
  doc += "</catalogue>\n";
  return doc;
}

// A document of `bytes` or a little more: a root holding unit(0),
// unit(1), ... .
template <class Unit>
std::string Repeated(size_t bytes, Unit unit) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n";
  for (unsigned i = 0; doc.size() < bytes; ++i) doc += unit(std::to_string(i));
  return doc + "</root>\n";
}

// The documents of other shapes, 4 MB each.
std::string MakeDense(size_t bytes) {
  return Repeated(bytes, [](const std::string &i) {
    return "<item id=\"" + i + "\" k=\"v\"><a>alpha</a><bb>beta</bb><c x=\"1\"/><dd>" + i + "</dd></item>";
  });
}
std::string MakeDeep(size_t bytes) {
  std::string open, close;
  for (int level = 0; level < 50; ++level) {
    open += level % 2 ? "<n>" : "<level>";
    close = (level % 2 ? "</n>" : "</level>") + close;
  }
  return Repeated(bytes, [&](const std::string &i) { return open + i + close + "\n"; });
}
std::string MakeManyAttributes(size_t bytes) {
  return Repeated(bytes, [](const std::string &i) {
    std::string e = "  <e";
    for (int a = 1; a <= 12; ++a) e += " a" + std::to_string(a) + "=\"" + (a == 12 ? i : std::to_string(a)) + "\"";
    return e + "/>\n";
  });
}
std::string MakeChineseAttributes(size_t bytes) {
  return Repeated(bytes, [](const std::string &i) {
    return "  <r id=\"" + i + "\" name=\"比特币指数\" market=\"交易所\" unit=\"元\" note=\"行情目录每条记录\"/>\n";
  });
}
std::string MakeBeyondFFFF(size_t bytes) {
  return Repeated(bytes, [](const std::string &i) {
    return "  <row id=\"" + i + "\">\xF0\x9F\x93\x88\xF0\x9F\x93\x89 BTC \xF0\x9F\x92\xB0 " + i +
           " \xF0\xA0\x80\x80\xF0\xA0\x80\x81 up</row>\n";
  });
}
std::string MakeLongTexts(size_t bytes) {
  std::string text;
  while (text.size() < 200000) text += "market data stream ";
  return Repeated(bytes, [&](const std::string &i) { return "  <t>" + text + i + "</t>\n"; });
}

// The documents, by the name that follows the benchmark's: every
// benchmark runs on the first two (`shape` false), only TreeBuildPaired on
// the others.
struct Doc {
  const char *name;
  std::string bytes;
  bool shape = false;
};
const std::vector<Doc> &Documents() {
  constexpr size_t kShape = 4u * 1000u * 1000u;
  static const std::vector<Doc> docs = {{"items", MakeDocument(10u * 1000u * 1000u)},
                                        {"records_zh", MakeChineseDocument(10u * 1000u * 1000u)},
                                        {"dense", MakeDense(kShape), true},
                                        {"deep", MakeDeep(kShape), true},
                                        {"attributes12", MakeManyAttributes(kShape), true},
                                        {"attributes_zh", MakeChineseAttributes(kShape), true},
                                        {"beyond_ffff", MakeBeyondFFFF(kShape), true},
                                        {"long_texts", MakeLongTexts(kShape), true}};
  return docs;
}

// The document of the benchmark that runs.
size_t g_document = 0;
const std::string &Document() { return Documents()[g_document].bytes; }

// --- content checksums -------------------------------------------------------------
// FNV-1a over code points, with a marker for each kind of content, so every
// library's result reduces to the same number when it holds the same content.

class Checksum {
 public:
  void Mark(uint32_t kind) { Add(0x110000u + kind); }
  void Add(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      hash_ ^= (v >> (8 * i)) & 0xFF;
      hash_ *= 1099511628211ull;
    }
  }
  void Wide(const wchar_t *s, size_t n) {
    for (size_t i = 0; i < n; ++i) Add(static_cast<uint32_t>(s[i]));
  }
  void Wide(const wchar_t *s) { Wide(s, wcslen(s)); }
  void Utf8(const char *s, size_t n) {
    const std::wstring w = MultiByteToWide(CP_UTF8, s, n);
    Wide(w.data(), w.size());
  }
  void Utf8(const char *s) { Utf8(s, strlen(s)); }
  // Text trimmed of ASCII white space at both ends; nothing when empty.
  void Text(const std::string &s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return;
    const size_t e = s.find_last_not_of(" \t\r\n");
    Mark(kText);
    Utf8(s.data() + b, e + 1 - b);
  }
  uint64_t value() const { return hash_; }

  enum : uint32_t { kStart = 1, kAttrName, kAttrValue, kEnd, kText, kComment };

 private:
  uint64_t hash_ = 1469598103934665603ull;
};

uint64_t ChecksumOurs(const pcutil::CXmlNode *root) {
  using pcutil::CXmlNode;
  Checksum sum;
  const CXmlNode *n = root;
  while (n) {
    auto *node = const_cast<CXmlNode *>(n);
    if (const pcutil::CXmlElement *e = node->AsElement()) {
      sum.Mark(Checksum::kStart);
      sum.Wide(e->GetValue());
      for (const pcutil::CXmlAttribute *a = e->GetFirstAttribute(); a; a = a->GetNext()) {
        sum.Mark(Checksum::kAttrName);
        sum.Wide(a->GetName());
        sum.Mark(Checksum::kAttrValue);
        sum.Wide(a->GetValue());
      }
      if (n->GetFirstChild()) {
        n = n->GetFirstChild();
        continue;
      }
    } else if (node->AsText() && *n->GetValue()) {
      sum.Mark(Checksum::kText);
      sum.Wide(n->GetValue());
    } else if (node->AsComment()) {
      sum.Mark(Checksum::kComment);
      sum.Wide(n->GetValue());
    }
    // Leave n and every finished ancestor.
    for (;;) {
      if (n->Type() == CXmlNode::ELEMENT) sum.Mark(Checksum::kEnd);
      if (n == root) return sum.value();
      if (n->GetNextSibling()) {
        n = n->GetNextSibling();
        break;
      }
      n = n->GetParent();
    }
  }
  return sum.value();
}

uint64_t ChecksumPugi(const pugi::xml_node root) {
  Checksum sum;
  pugi::xml_node n = root;
  std::string text;
  while (n) {
    if (n.type() == pugi::node_element) {
      sum.Mark(Checksum::kStart);
      sum.Utf8(n.name());
      for (pugi::xml_attribute a : n.attributes()) {
        sum.Mark(Checksum::kAttrName);
        sum.Utf8(a.name());
        sum.Mark(Checksum::kAttrValue);
        sum.Utf8(a.value());
      }
      if (n.first_child()) {
        n = n.first_child();
        continue;
      }
    } else if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
      sum.Text(n.value());
    } else if (n.type() == pugi::node_comment) {
      sum.Mark(Checksum::kComment);
      sum.Utf8(n.value());
    }
    for (;;) {
      if (n.type() == pugi::node_element) sum.Mark(Checksum::kEnd);
      if (n == root) return sum.value();
      if (n.next_sibling()) {
        n = n.next_sibling();
        break;
      }
      n = n.parent();
    }
  }
  return sum.value();
}

uint64_t ChecksumLibxml2(xmlNodePtr root) {
  Checksum sum;
  xmlNodePtr n = root;
  while (n) {
    if (n->type == XML_ELEMENT_NODE) {
      sum.Mark(Checksum::kStart);
      sum.Utf8(reinterpret_cast<const char *>(n->name));
      for (xmlAttrPtr a = n->properties; a; a = a->next) {
        sum.Mark(Checksum::kAttrName);
        sum.Utf8(reinterpret_cast<const char *>(a->name));
        xmlChar *v = xmlNodeListGetString(n->doc, a->children, 1);
        sum.Mark(Checksum::kAttrValue);
        sum.Utf8(v ? reinterpret_cast<const char *>(v) : "");
        xmlFree(v);
      }
      if (n->children) {
        n = n->children;
        continue;
      }
    } else if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
      sum.Text(reinterpret_cast<const char *>(n->content));
    } else if (n->type == XML_COMMENT_NODE) {
      sum.Mark(Checksum::kComment);
      sum.Utf8(reinterpret_cast<const char *>(n->content));
    }
    for (;;) {
      if (n->type == XML_ELEMENT_NODE) sum.Mark(Checksum::kEnd);
      if (n == root) return sum.value();
      if (n->next) {
        n = n->next;
        break;
      }
      n = n->parent;
    }
  }
  return sum.value();
}

// --- the contenders ------------------------------------------------------------------

std::wstring Decode(const std::string &bytes) { return MultiByteToWide(CP_UTF8, bytes); }

std::unique_ptr<pcutil::CXmlElement> OursLoad(const std::wstring &text) { return pcutil::LoadXmlRoot(text); }

std::unique_ptr<pcutil::CXmlElement> OursBuild(const std::string &bytes) {
  pcutil::CXmlReader reader(bytes.data(), bytes.size());
  return pcutil::LoadXmlRoot(reader);
}

std::unique_ptr<pugi::xml_document> PugiBuild(const std::string &bytes) {
  auto doc = std::make_unique<pugi::xml_document>();
  // Comments kept, as ours and libxml2 keep them.
  if (!doc->load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_comments, pugi::encoding_utf8))
    return nullptr;
  return doc;
}

xmlDocPtr Libxml2Build(const std::string &bytes) {
  return xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, "UTF-8", XML_PARSE_NONET);
}

// Every node through the pull reader, as a caller reads it: the kind, the
// value and each attribute.
size_t OursPull(pcutil::CXmlReader &reader) {
  std::wstring name, value;
  size_t seen = 0;
  while (reader.Read()) {
    const std::wstring v = reader.GetValue();
    seen += v.size() + static_cast<size_t>(reader.GetNodeType());
    for (int i = 0, count = reader.GetAttributeCount(); i < count; ++i) {
      reader.GetAttribute(i, name, value);
      seen += name.size() + value.size();
    }
  }
  return seen;
}

// The same content checksum as the trees, from the pull reader's nodes.
uint64_t ChecksumOursPull(pcutil::CXmlReader &reader) {
  Checksum sum;
  std::wstring name, value;
  int depth = 0;  // the trees hold what lies inside the root element
  while (reader.Read()) {
    const int type = reader.GetNodeType();
    if (type == pcutil::XML_NODE_START_ELEMENT) ++depth;
    if (type == pcutil::XML_NODE_END_ELEMENT) --depth;
    if (type == pcutil::XML_NODE_START_ELEMENT || type == pcutil::XML_NODE_EMPTY_ELEMENT) {
      const std::wstring v = reader.GetValue();
      sum.Mark(Checksum::kStart);
      sum.Wide(v.data(), v.size());
      for (int i = 0; i < reader.GetAttributeCount(); ++i) {
        reader.GetAttribute(i, name, value);
        sum.Mark(Checksum::kAttrName);
        sum.Wide(name.data(), name.size());
        sum.Mark(Checksum::kAttrValue);
        sum.Wide(value.data(), value.size());
      }
      if (type == pcutil::XML_NODE_EMPTY_ELEMENT) sum.Mark(Checksum::kEnd);
    } else if (type == pcutil::XML_NODE_END_ELEMENT) {
      sum.Mark(Checksum::kEnd);
    } else if (type == pcutil::XML_NODE_TEXT || type == pcutil::XML_NODE_CDATA) {
      const std::wstring v = reader.GetValue();
      if (!v.empty()) {
        sum.Mark(Checksum::kText);
        sum.Wide(v.data(), v.size());
      }
    } else if (type == pcutil::XML_NODE_COMMENT && depth > 0) {
      const std::wstring v = reader.GetValue();
      sum.Mark(Checksum::kComment);
      sum.Wide(v.data(), v.size());
    }
  }
  return sum.value();
}

// expat: the same reading, as handlers. With a checksum, text is gathered
// between tags and trimmed as the others are.
struct ExpatState {
  size_t seen = 0;
  Checksum *sum = nullptr;
  std::string text;
  int depth = 0;  // the trees hold what lies inside the root element
};

void FlushText(ExpatState &s) {
  if (!s.sum) return;
  s.sum->Text(s.text);
  s.text.clear();
}

void XMLCALL ExpatStart(void *data, const XML_Char *name, const XML_Char **atts) {
  auto &s = *static_cast<ExpatState *>(data);
  s.seen += strlen(name);
  for (const XML_Char **a = atts; *a; a += 2) s.seen += strlen(a[0]) + strlen(a[1]);
  ++s.depth;
  if (!s.sum) return;
  FlushText(s);
  s.sum->Mark(Checksum::kStart);
  s.sum->Utf8(name);
  for (const XML_Char **a = atts; *a; a += 2) {
    s.sum->Mark(Checksum::kAttrName);
    s.sum->Utf8(a[0]);
    s.sum->Mark(Checksum::kAttrValue);
    s.sum->Utf8(a[1]);
  }
}

void XMLCALL ExpatEnd(void *data, const XML_Char *name) {
  auto &s = *static_cast<ExpatState *>(data);
  s.seen += strlen(name);
  --s.depth;
  if (!s.sum) return;
  FlushText(s);
  s.sum->Mark(Checksum::kEnd);
}

void XMLCALL ExpatComment(void *data, const XML_Char *text) {
  auto &s = *static_cast<ExpatState *>(data);
  s.seen += strlen(text);
  if (!s.sum || s.depth == 0) return;
  FlushText(s);
  s.sum->Mark(Checksum::kComment);
  s.sum->Utf8(text);
}

void XMLCALL ExpatText(void *data, const XML_Char *text, int length) {
  auto &s = *static_cast<ExpatState *>(data);
  s.seen += static_cast<size_t>(length);
  if (s.sum) s.text.append(text, static_cast<size_t>(length));
}

size_t ExpatPull(const std::string &bytes, Checksum *sum) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  ExpatState state;
  state.sum = sum;
  XML_SetUserData(parser, &state);
  XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
  XML_SetCharacterDataHandler(parser, ExpatText);
  XML_SetCommentHandler(parser, ExpatComment);
  const bool ok = XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok ? state.seen : 0;
}

// --- benchmarks ---------------------------------------------------------------------------

// Times are the thread's CPU time (user and kernel, page faults included),
// so other work on a shared machine does not enter them.
struct Clock {
  using time_point = double;
  static double now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }
};

double Seconds(double since) { return Clock::now() - since; }

void SetBytes(benchmark::State &state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(Document().size()));
}

void BM_Decode(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    std::wstring text = Decode(Document());
    benchmark::DoNotOptimize(text.data());
    state.SetIterationTime(Seconds(start));
  }
  SetBytes(state);
}

void BM_TreeBuild_Ours(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    auto root = OursBuild(Document());
    state.SetIterationTime(Seconds(start));
    benchmark::DoNotOptimize(root.get());
  }
  SetBytes(state);
}

void BM_TreeBuild_OursNoDecode(benchmark::State &state) {
  const std::wstring text = Decode(Document());
  for (auto _ : state) {
    const auto start = Clock::now();
    auto root = OursLoad(text);
    state.SetIterationTime(Seconds(start));
    benchmark::DoNotOptimize(root.get());
  }
  SetBytes(state);
}

void BM_TreeBuild_Pugixml(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    auto doc = PugiBuild(Document());
    state.SetIterationTime(Seconds(start));
    benchmark::DoNotOptimize(doc.get());
  }
  SetBytes(state);
}

// Ours and pugixml's tree builds in turns, both in every iteration and
// each first in every other one, so a shared machine's changing load falls
// on both alike: the counter per_pugixml is the median of the iterations'
// ratios, ours divided by pugixml's; the time is ours.
void BM_TreeBuildPaired_Ours(benchmark::State &state) {
  std::vector<double> ratios;
  bool oursFirst = true;
  for (auto _ : state) {
    double ours = 0, theirs = 0;
    auto buildOurs = [&ours] {
      const auto start = Clock::now();
      auto root = OursBuild(Document());
      ours = Seconds(start);
      benchmark::DoNotOptimize(root.get());
    };
    auto buildTheirs = [&theirs] {
      const auto start = Clock::now();
      auto doc = PugiBuild(Document());
      theirs = Seconds(start);
      benchmark::DoNotOptimize(doc.get());
    };
    if (oursFirst) {
      buildOurs();
      buildTheirs();
    } else {
      buildTheirs();
      buildOurs();
    }
    oursFirst = !oursFirst;
    state.SetIterationTime(ours);
    if (theirs > 0) ratios.push_back(ours / theirs);
  }
  if (!ratios.empty()) {
    std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
    state.counters["per_pugixml"] = ratios[ratios.size() / 2];
  }
  SetBytes(state);
}

void BM_TreeBuild_Libxml2(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    xmlDocPtr doc = Libxml2Build(Document());
    state.SetIterationTime(Seconds(start));
    xmlFreeDoc(doc);
  }
  SetBytes(state);
}

void BM_TreeDestroy_Ours(benchmark::State &state) {
  for (auto _ : state) {
    auto root = OursBuild(Document());
    const auto start = Clock::now();
    root.reset();
    state.SetIterationTime(Seconds(start));
  }
}

void BM_TreeDestroy_Pugixml(benchmark::State &state) {
  for (auto _ : state) {
    auto doc = PugiBuild(Document());
    const auto start = Clock::now();
    doc.reset();
    state.SetIterationTime(Seconds(start));
  }
}

void BM_TreeDestroy_Libxml2(benchmark::State &state) {
  for (auto _ : state) {
    xmlDocPtr doc = Libxml2Build(Document());
    const auto start = Clock::now();
    xmlFreeDoc(doc);
    state.SetIterationTime(Seconds(start));
  }
}

template <class Build, class Free>
void PeakOf(benchmark::State &state, Build build, Free release) {
  double megabytes = 0;
  for (auto _ : state) {
    const auto start = Clock::now();
    auto result = [&] {
      PeakHeap peak;
      auto built = build();
      megabytes = peak.Megabytes();
      return built;
    }();
    state.SetIterationTime(Seconds(start));
    release(result);
  }
  state.counters["peak_MB"] = megabytes;
}

void BM_PeakMemory_Ours(benchmark::State &state) {
  PeakOf(
      state, [] { return OursBuild(Document()); }, [](auto &root) { root.reset(); });
}

// The tree alone: the decoded text exists before, as the UTF-8 bytes do for
// the others (each library's input in the form it takes).
void BM_PeakMemory_OursNoDecode(benchmark::State &state) {
  const std::wstring text = Decode(Document());
  PeakOf(
      state, [&] { return OursLoad(text); }, [](auto &root) { root.reset(); });
}

void BM_PeakMemory_Pugixml(benchmark::State &state) {
  PeakOf(
      state, [] { return PugiBuild(Document()); }, [](auto &doc) { doc.reset(); });
}

void BM_PeakMemory_Libxml2(benchmark::State &state) {
  PeakOf(
      state, [] { return Libxml2Build(Document()); }, [](xmlDocPtr doc) { xmlFreeDoc(doc); });
}

void BM_PullRead_Ours(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    pcutil::CXmlReader reader(Document().data(), Document().size());
    benchmark::DoNotOptimize(OursPull(reader));
    state.SetIterationTime(Seconds(start));
  }
  SetBytes(state);
}

void BM_PullRead_OursNoDecode(benchmark::State &state) {
  const std::wstring text = Decode(Document());
  for (auto _ : state) {
    const auto start = Clock::now();
    pcutil::CXmlReader reader(text);
    benchmark::DoNotOptimize(OursPull(reader));
    state.SetIterationTime(Seconds(start));
  }
  SetBytes(state);
}

void BM_PullRead_Expat(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    benchmark::DoNotOptimize(ExpatPull(Document(), nullptr));
    state.SetIterationTime(Seconds(start));
  }
  SetBytes(state);
}

// Depth: a million empty elements side by side, loaded flat under the root
// and at depth 999; and a chain built by code, each element the only child
// of the one before (ours only: the cost must not grow with depth).
std::wstring ManyElements(int depth) {
  std::wstring text;
  for (int i = 0; i < depth; ++i) text += L"<d>";
  for (int i = 0; i < 1000000; ++i) text += L"<e/>";
  for (int i = 0; i < depth; ++i) text += L"</d>";
  return text;
}

void LoadMany(benchmark::State &state, int depth) {
  const std::wstring text = ManyElements(depth);
  for (auto _ : state) {
    const auto start = Clock::now();
    auto root = OursLoad(text);
    state.SetIterationTime(Seconds(start));
    benchmark::DoNotOptimize(root.get());
  }
}

void BM_Depth_LoadFlat(benchmark::State &state) { LoadMany(state, 1); }
void BM_Depth_LoadAt999(benchmark::State &state) { LoadMany(state, 999); }

void BM_Depth_ChainOf50000(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    {
      pcutil::CXmlElement root(L"r");
      pcutil::CXmlNode *node = &root;
      for (int i = 0; i < 50000; ++i) node = node->AppendChild(new pcutil::CXmlElement(L"n"));
    }
    state.SetIterationTime(Seconds(start));
  }
}

void BM_Depth_Flat50000(benchmark::State &state) {
  for (auto _ : state) {
    const auto start = Clock::now();
    {
      pcutil::CXmlElement root(L"r");
      for (int i = 0; i < 50000; ++i) root.AppendChild(new pcutil::CXmlElement(L"n"));
    }
    state.SetIterationTime(Seconds(start));
  }
}

// Every contender must hold the same content before its time means anything.
bool ChecksumsAgree() {
  std::map<std::string, uint64_t> sums;
  {
    auto root = OursBuild(Document());
    sums["ours tree"] = root ? ChecksumOurs(root.get()) : 0;
  }
  {
    pcutil::CXmlReader reader(Document().data(), Document().size());
    sums["ours pull reader"] = ChecksumOursPull(reader);
  }
  {
    auto root = OursLoad(Decode(Document()));
    sums["ours tree, decoded"] = root ? ChecksumOurs(root.get()) : 0;
  }
  {
    auto doc = PugiBuild(Document());
    sums["pugixml"] = doc ? ChecksumPugi(doc->document_element()) : 0;
  }
  {
    xmlDocPtr doc = Libxml2Build(Document());
    sums["libxml2"] = doc ? ChecksumLibxml2(xmlDocGetRootElement(doc)) : 0;
    xmlFreeDoc(doc);
  }
  {
    Checksum sum;
    sums["expat"] = ExpatPull(Document(), &sum) ? sum.value() : 0;
  }
  bool agree = true;
  const std::wstring text = Decode(Document());
  size_t han = 0;
  for (wchar_t c : text) han += c >= 0x4E00;
  std::printf("document %s: %zu bytes of UTF-8, %zu characters, %.1f %% of them from U+4E00 up\n",
              Documents()[g_document].name, Document().size(), text.size(),
              text.empty() ? 0.0 : 100.0 * static_cast<double>(han) / static_cast<double>(text.size()));
  for (const auto &[who, value] : sums) {
    std::printf("content checksum %-18s %016llx\n", who.c_str(), static_cast<unsigned long long>(value));
    agree = agree && value == sums.begin()->second && value != 0;
  }
  return agree;
}

// Collects the medians (or the single runs) and prints ours against theirs.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      Result &r = results_[run.run_name.function_name];
      r.time = run.GetAdjustedRealTime();
      auto peak = run.counters.find("peak_MB");
      if (peak != run.counters.end()) r.peak = peak->second.value;
      auto paired = run.counters.find("per_pugixml");
      if (paired != run.counters.end()) r.paired = paired->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    for (const Doc &doc : Documents()) {
      if (doc.shape) continue;
      suffix_ = std::string("/") + doc.name;
      std::printf("\n%-34s %12s %10s\n", ("ours / theirs (medians), " + std::string(doc.name)).c_str(), "ours",
                  "ratio");
      DocumentRatios();
    }
    std::printf("\n%-34s %12s %10s\n", "tree build in turns, other shapes", "ours", "ratio");
    for (const Doc &doc : Documents()) {
      if (!doc.shape) continue;
      suffix_ = std::string("/") + doc.name;
      PairedRatio(doc.name);
    }
    suffix_.clear();
    std::printf("\n");
    Ratio("Depth", "LoadAt999", "LoadFlat", false);
    Ratio("Depth", "ChainOf50000", "Flat50000", false);
  }

 private:
  void DocumentRatios() {
    Ratio("TreeBuild", "Ours", "Pugixml", false);
    PairedRatio();
    Ratio("TreeBuild", "Ours", "Libxml2", false);
    Ratio("TreeBuild", "OursNoDecode", "Pugixml", false);
    Ratio("TreeDestroy", "Ours", "Pugixml", false);
    Ratio("TreeDestroy", "Ours", "Libxml2", false);
    Ratio("PeakMemory", "Ours", "Pugixml", true);
    Ratio("PeakMemory", "OursNoDecode", "Pugixml", true);
    Ratio("PeakMemory", "Ours", "Libxml2", true);
    Ratio("PullRead", "Ours", "Expat", false);
    Ratio("PullRead", "OursNoDecode", "Expat", false);
  }
  struct Result {
    double time = 0, peak = 0, paired = 0;
  };
  void Ratio(const std::string &task, const std::string &ours, const std::string &theirs, bool memory) {
    auto a = results_.find("BM_" + task + "_" + ours + suffix_),
         b = results_.find("BM_" + task + "_" + theirs + suffix_);
    if (a == results_.end() || b == results_.end()) return;
    const double x = memory ? a->second.peak : a->second.time, y = memory ? b->second.peak : b->second.time;
    if (y <= 0) return;
    std::printf("%-34s %10.2f %s %9.2fx\n", (task + " " + ours + "/" + theirs).c_str(), x, memory ? "MB" : "ms", x / y);
  }
  // The median of the paired iterations' ratios (BM_TreeBuildPaired_Ours).
  void PairedRatio(const char *label = "TreeBuild Ours/Pugixml, in turns") {
    auto a = results_.find("BM_TreeBuildPaired_Ours" + suffix_);
    if (a == results_.end() || a->second.paired <= 0) return;
    std::printf("%-34s %10.2f ms %9.2fx\n", label, a->second.time, a->second.paired);
  }
  std::map<std::string, Result> results_;
  std::string suffix_;  // the document of the ratios being printed
};

void Register() {
  struct Entry {
    const char *name;
    void (*fn)(benchmark::State &);
  } entries[] = {
      {"BM_Decode", BM_Decode},
      {"BM_TreeBuild_Ours", BM_TreeBuild_Ours},
      {"BM_TreeBuild_OursNoDecode", BM_TreeBuild_OursNoDecode},
      {"BM_TreeBuild_Pugixml", BM_TreeBuild_Pugixml},
      {"BM_TreeBuild_Libxml2", BM_TreeBuild_Libxml2},
      {"BM_TreeBuildPaired_Ours", BM_TreeBuildPaired_Ours},
      {"BM_TreeDestroy_Ours", BM_TreeDestroy_Ours},
      {"BM_TreeDestroy_Pugixml", BM_TreeDestroy_Pugixml},
      {"BM_TreeDestroy_Libxml2", BM_TreeDestroy_Libxml2},
      {"BM_PeakMemory_Ours", BM_PeakMemory_Ours},
      {"BM_PeakMemory_OursNoDecode", BM_PeakMemory_OursNoDecode},
      {"BM_PeakMemory_Pugixml", BM_PeakMemory_Pugixml},
      {"BM_PeakMemory_Libxml2", BM_PeakMemory_Libxml2},
      {"BM_PullRead_Ours", BM_PullRead_Ours},
      {"BM_PullRead_OursNoDecode", BM_PullRead_OursNoDecode},
      {"BM_PullRead_Expat", BM_PullRead_Expat},
      {"BM_Depth_LoadFlat", BM_Depth_LoadFlat},
      {"BM_Depth_LoadAt999", BM_Depth_LoadAt999},
      {"BM_Depth_ChainOf50000", BM_Depth_ChainOf50000},
      {"BM_Depth_Flat50000", BM_Depth_Flat50000},
  };
  // Every benchmark but the depth ones runs once on each document (on the
  // shapes only TreeBuildPaired), named after it.
  for (const Entry &e : entries) {
    const bool perDocument = std::strncmp(e.name, "BM_Depth", 8) != 0;
    const bool onShapes = std::strcmp(e.name, "BM_TreeBuildPaired_Ours") == 0;
    for (size_t d = 0; d < (perDocument ? Documents().size() : 1); ++d) {
      if (Documents()[d].shape && !onShapes) continue;
      const std::string name = perDocument ? std::string(e.name) + "/" + Documents()[d].name : e.name;
      auto *b = benchmark::RegisterBenchmark(name.c_str(),
                                             [fn = e.fn, d](benchmark::State &state) {
                                               g_document = d;
                                               fn(state);
                                             })
                    ->UseManualTime()
                    ->Unit(benchmark::kMillisecond);
      if (std::strncmp(e.name, "BM_PeakMemory", 13) == 0) b->Iterations(1);
      // Each destruction needs a build first that is not timed: a fixed count.
      if (std::strncmp(e.name, "BM_TreeDestroy", 14) == 0) b->Iterations(20);
    }
  }
}

}  // namespace

int main(int argc, char **argv) {
  // Freed memory stays with the C library for every contender. By default
  // it maps blocks of more than 32 MB (our decoded text) afresh on every
  // allocation and trims the heap after large frees, so the contender with
  // the largest buffers would pay the kernel's zeroing of new pages on each
  // repetition while the others reuse theirs. --malloc_default keeps the
  // default behaviour.
  bool tuneMalloc = true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--malloc_default") == 0) {
      tuneMalloc = false;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  }
  if (tuneMalloc) {
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  std::printf("malloc: %s\n", tuneMalloc ? "freed memory kept (M_MMAP_THRESHOLD, M_TRIM_THRESHOLD)" : "default");
  xmlInitParser();
  for (g_document = 0; g_document < Documents().size(); ++g_document) {
    if (!ChecksumsAgree()) {
      std::fprintf(stderr, "bench_xml: the contenders disagree on the content of document %s\n",
                   Documents()[g_document].name);
      return 1;
    }
  }
  Register();
  // Medians of five repetitions unless the command line says otherwise.
  std::vector<char *> args(argv, argv + argc);
  bool repetitions = false;
  for (char *a : args) repetitions = repetitions || std::strncmp(a, "--benchmark_repetitions", 23) == 0;
  static char kRepetitions[] = "--benchmark_repetitions=5";
  static char kAggregates[] = "--benchmark_report_aggregates_only=true";
  if (!repetitions) {
    args.push_back(kRepetitions);
    args.push_back(kAggregates);
  }
  argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  argv = args.data();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;  // plain text: no colour codes in saved output
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  xmlCleanupParser();
  return 0;
}

// Trees far deeper than any document the loader accepts, built by code:
// destroying, copying, writing and merging are loops, so depth costs no
// stack; appending a node without children takes constant time, so a chain
// built top-down costs linear time. The walks run on a thread with a small
// stack, where one recursion per level would overflow at once.
#include <gtest/gtest.h>
#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "tests/xml/xmltree_fixture.h"
#include "utils/xml/xml.h"

using namespace pcutil;
using xmltest::Xml;

namespace {

// The sanitizer build runs the same walks at a tenth of the depth: its
// checks make every node many times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kDepth = 100000;
#else
constexpr int kDepth = 1000000;
#endif

constexpr size_t kSmallStack = 256 * 1024;
constexpr int kDeadlineSeconds = 300;

// Runs `body` on a thread with a small stack and waits for it with a
// deadline. Failures inside `body` are reported by gtest as usual.
void OnSmallStack(const std::function<void()> &body) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kSmallStack);
  pthread_t thread;
  auto run = [](void *arg) -> void * {
    (*static_cast<const std::function<void()> *>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()> *>(&body)), 0);
  pthread_attr_destroy(&attr);
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += kDeadlineSeconds;
  const int joined = pthread_timedjoin_np(thread, nullptr, &deadline);
  ASSERT_EQ(joined, 0) << "the walks over the deep tree did not end within " << kDeadlineSeconds << " s";
}

// kDepth elements <n> under `root`, each the only child of the one before,
// the innermost with an attribute and a text. Returns the innermost.
CXmlElement *Chain(CXmlNode *root) {
  CXmlNode *node = root;
  for (int i = 0; i < kDepth; ++i) node = node->AppendChild(new CXmlElement(L"n"));
  auto *innermost = node->AsElement();
  innermost->SetAttribute(L"k", L"v");
  innermost->SetText(L"t");
  return innermost;
}

// The text of `root` named r holding that chain.
std::wstring ChainXml() {
  std::wstring xml = L"<r>";
  for (int i = 0; i < kDepth; ++i) xml += i + 1 < kDepth ? L"<n>" : L"<n k=\"v\">";
  xml += L"t";
  for (int i = 0; i < kDepth; ++i) xml += L"</n>";
  return xml + L"</r>";
}

}  // namespace

TEST(XmlDeepTree, BuiltTopDownIsWrittenClonedMergedAndDestroyed) {
  OnSmallStack([] {
    const std::wstring expected = ChainXml();
    auto root = std::make_unique<CXmlElement>(L"r");
    Chain(root.get());
    EXPECT_EQ(Xml(root.get()), expected);
    EXPECT_EQ(root->GetInnerXml().str(), expected.substr(3, expected.size() - 7));

    std::unique_ptr<CXmlNode> copy(root->Clone());
    EXPECT_EQ(Xml(copy.get()), expected);

    // Merging an equal tree changes nothing, and walks every level.
    MergeXmlNode(root.get(), copy.get());
    EXPECT_EQ(Xml(root.get()), expected);
    // A tree that lacks the chain gets a copy of it.
    CXmlElement empty(L"r");
    MergeXmlNode(&empty, copy.get());
    EXPECT_EQ(Xml(&empty), expected);

    copy.reset();
    root->RemoveAllChildren();
    EXPECT_EQ(Xml(root.get()), L"<r />");
    Chain(root.get());
    root.reset();  // the destructor takes the chain down
  });
}

TEST(XmlDeepTree, BuiltBottomUpAndDestroyedThroughTheBase) {
  OnSmallStack([] {
    // Each new parent adopts the deep tree built so far: the cycle check
    // looks at the parent's own ancestors, of which it has none.
    CXmlNode *top = new CXmlText(L"t");
    for (int i = 0; i < kDepth; ++i) {
      CXmlNode *parent = new CXmlElement(L"n");
      ASSERT_EQ(parent->AppendChild(top), top);
      top = parent;
    }
    CXmlBase *base = top;
    delete base;
  });
}

TEST(XmlDeepTree, LoadedTreeExtendedByCodeIsDestroyedWhole) {
  OnSmallStack([] {
    // The deepest document the loader takes, with a chain hung from its
    // innermost element: nodes from the load and nodes made by code mixed.
    std::wstring text;
    for (int i = 0; i < CXmlElement::kMaxReadDepth; ++i) text += L"<m a='1'>";
    for (int i = 0; i < CXmlElement::kMaxReadDepth; ++i) text += L"</m>";
    auto root = LoadXmlRoot(text);
    ASSERT_NE(root, nullptr);
    CXmlNode *inner = root.get();
    while (inner->GetFirstChild()) inner = inner->GetFirstChild();
    Chain(inner);
    std::unique_ptr<CXmlNode> copy(root->Clone());
    EXPECT_EQ(Xml(copy.get()), Xml(root.get()));
    root.reset();
    const std::wstring chain = ChainXml();
    std::wstring expected;
    for (int i = 0; i < CXmlElement::kMaxReadDepth; ++i) expected += L"<m a=\"1\">";
    expected += chain.substr(3, chain.size() - 7);
    for (int i = 0; i < CXmlElement::kMaxReadDepth; ++i) expected += L"</m>";
    EXPECT_EQ(Xml(copy.get()), expected);
  });
}

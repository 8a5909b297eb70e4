// pcutil::shared_ptr: shared ownership, deletion exactly once, refused
// resets, safe assignment and counts changed from several threads.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/assert_recorder.h"
#include "utils/base/shared_ptr.h"

namespace {

struct Tracked {
  explicit Tracked(int *deletions) : deletions_(deletions) {}
  virtual ~Tracked() { ++*deletions_; }
  int *deletions_;
};

struct Derived : Tracked {
  Derived(int *deletions, int *derived) : Tracked(deletions), derived_(derived) {}
  ~Derived() override { ++*derived_; }
  int *derived_;
};

class SharedPtr : public ::testing::Test {
 protected:
  testsupport::AssertRecorder asserts_;
  int deletions_ = 0;
};

TEST_F(SharedPtr, EmptyAndNullPointers) {
  pcutil::shared_ptr<Tracked> empty;
  pcutil::shared_ptr<Tracked> copy(empty);
  EXPECT_EQ(copy.get(), nullptr);
  EXPECT_EQ(copy.use_count(), 0);  // no block was touched or made

  {
    pcutil::shared_ptr<Tracked> null_owner(nullptr);
    EXPECT_EQ(null_owner.use_count(), 1);  // a block even for NULL
    pcutil::shared_ptr<Tracked> second(null_owner);
    EXPECT_EQ(null_owner.use_count(), 2);
  }
  EXPECT_EQ(deletions_, 0);
}

TEST_F(SharedPtr, LastOwnerDeletesOnceThroughVirtualDestructor) {
  int derived = 0;
  {
    pcutil::shared_ptr<Tracked> a(new Derived(&deletions_, &derived));
    {
      pcutil::shared_ptr<Tracked> b(a);
      EXPECT_EQ(a.use_count(), 2);
      EXPECT_EQ(b.get(), a.get());
    }
    EXPECT_EQ(deletions_, 0);
    EXPECT_EQ(a.use_count(), 1);
  }
  EXPECT_EQ(deletions_, 1);
  EXPECT_EQ(derived, 1);
}

TEST_F(SharedPtr, Reset) {
  Tracked *first = new Tracked(&deletions_);
  pcutil::shared_ptr<Tracked> a(first);
  pcutil::shared_ptr<Tracked> keep(a);

  a.reset(first);  // the pointer already held: refused, nothing changes
  EXPECT_EQ(asserts_.conditions(), std::vector<std::string>{"p == 0 || p != m_ptr"});
  EXPECT_EQ(a.get(), first);
  EXPECT_EQ(a.use_count(), 2);

  a.reset(new Tracked(&deletions_));  // old block loses one reference
  EXPECT_EQ(deletions_, 0);
  EXPECT_EQ(keep.use_count(), 1);
  EXPECT_EQ(a.use_count(), 1);

  a.reset(nullptr);  // empties the pointee, keeps a (fresh) block
  EXPECT_EQ(deletions_, 1);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(a.use_count(), 1);
  keep.reset();
  EXPECT_EQ(deletions_, 2);
}

TEST_F(SharedPtr, AssignmentNeverDeletesAReferencedObject) {
  pcutil::shared_ptr<Tracked> a(new Tracked(&deletions_));
  pcutil::shared_ptr<Tracked> b(new Tracked(&deletions_));
  pcutil::shared_ptr<Tracked> c(b);
  b = a;  // b's old object is still held by c
  EXPECT_EQ(deletions_, 0);
  EXPECT_EQ(a.use_count(), 2);
  EXPECT_EQ(c.use_count(), 1);
  a = a;  // self-assignment keeps the object
  EXPECT_EQ(a.use_count(), 2);
  c = pcutil::shared_ptr<Tracked>();
  EXPECT_EQ(deletions_, 1);
  EXPECT_EQ(c.use_count(), 0);
}

TEST_F(SharedPtr, SwapAndArrow) {
  struct Value : Tracked {
    using Tracked::Tracked;
    int n = 5;
  };
  pcutil::shared_ptr<Value> a(new Value(&deletions_)), b;
  a.swap(b);
  EXPECT_EQ(a.get(), nullptr);
  EXPECT_EQ(b->n, 5);
  EXPECT_EQ(asserts_.count(), 0);
  EXPECT_EQ(a.operator->(), nullptr);  // reported, not a crash
  EXPECT_EQ(asserts_.conditions(), std::vector<std::string>{"m_ptr != 0"});
}

TEST_F(SharedPtr, CopiesOnManyThreadsDeleteOnce) {
  auto *owner = new pcutil::shared_ptr<Tracked>(new Tracked(&deletions_));
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([copy = *owner]() mutable {
      for (int i = 0; i < 2000; ++i) {
        pcutil::shared_ptr<Tracked> local(copy);
        pcutil::shared_ptr<Tracked> other(local);
      }
    });
  delete owner;
  for (auto &th : threads) th.join();
  EXPECT_EQ(deletions_, 1);
}

}  // namespace

// The node arena: bump allocation in blocks, release all at once, alignment.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "utils/regex/detail/arena.h"
#include "utils/regex/detail/matcher.h"

using namespace regex::detail;

namespace {

struct arena_fixture : ::testing::Test {
  arena_allocator<char> make(std::size_t block) { return handles.emplace_back(block, std::allocator<char>()); }
  void TearDown() override {
    for (auto &h : handles)
      if (h.get_arena()) h.destroy_arena();
  }
  std::vector<arena_allocator<char>> handles;
};

typedef arena_fixture Arena;

TEST_F(Arena, ZeroBytesGiveADistinctUsableAddress) {
  arena_allocator<char> a = make(64);
  char *p = a.allocate(0);
  char *q = a.allocate(0);
  EXPECT_NE(p, q);
  *p = 'x';
  *q = 'y';
  EXPECT_EQ(*p, 'x');
}

// Allocations of every size, small ones sharing blocks and large ones
// beyond the block size, never overlap: each keeps what was written to it.
TEST_F(Arena, AllocationsNeverOverlap) {
  for (std::size_t block : {std::size_t(1), std::size_t(16), std::size_t(100), std::size_t(4096)}) {
    arena_allocator<char> a = make(block);
    std::vector<std::pair<char *, std::size_t>> taken;
    for (std::size_t i = 0; i < 300; ++i) {
      const std::size_t n = (i * 37) % 200;
      char *p = a.allocate(n);
      std::memset(p, int(i & 0xFF), n);
      taken.emplace_back(p, n);
    }
    for (std::size_t i = 0; i < taken.size(); ++i) {
      const auto &[p, n] = taken[i];
      for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(p[k], char(i & 0xFF)) << "block " << block << " allocation " << i;
    }
  }
}

// Small allocations are carved from one block; a block size of one gives
// every allocation its own.
TEST_F(Arena, SmallAllocationsShareABlock) {
  arena_allocator<char> a = make(256);
  for (int i = 0; i < 10; ++i) a.allocate(8);
  EXPECT_EQ(a.get_arena()->block_count(), 1u);
  arena_allocator<char> one = make(1);
  one.allocate(1);
  one.allocate(1);
  EXPECT_EQ(one.get_arena()->block_count(), 2u);
}

TEST(ArenaHandle, ReleaseAllAndDestroy) {
  arena_allocator<char> a(32, std::allocator<char>());
  arena_allocator<int> copy(a);  // shares the arena
  for (int i = 0; i < 1000; ++i) std::memset(copy.allocate(3), 0xAB, 3 * sizeof(int));
  EXPECT_GT(a.get_arena()->block_count(), 1u);
  a.release_all();
  EXPECT_EQ(a.get_arena()->block_count(), 0u);
  *a.allocate(5) = 'y';
  EXPECT_EQ(a.get_arena()->block_count(), 1u);
  a.destroy_arena();
  EXPECT_EQ(a.get_arena(), nullptr);
}

TEST_F(Arena, DeallocateNeverHandsTheSameAddressOutAgain) {
  arena_allocator<char> a = make(256);
  std::set<char *> seen;
  for (int i = 0; i < 100; ++i) {
    char *p = a.allocate(8);
    EXPECT_TRUE(seen.insert(p).second);
    a.deallocate(p, 8);
  }
}

// Every allocation is aligned for its type, also after odd-sized neighbours.
TEST_F(Arena, AllocationsAreAlignedForTheirType) {
  for (std::size_t block : {std::size_t(1), std::size_t(16), std::size_t(100), std::size_t(4096)}) {
    arena_allocator<char> a = make(block);
    arena_allocator<double> doubles(a);
    arena_allocator<void *> pointers(a);
    arena_allocator<long double> wide(a);
    for (int i = 0; i < 200; ++i) {
      a.allocate(std::size_t(i % 7));
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(doubles.allocate(1)) % alignof(double), 0u);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(pointers.allocate(2)) % alignof(void *), 0u);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide.allocate(1)) % alignof(long double), 0u);
    }
  }
}

TEST_F(Arena, NodesAreAllocatedAlignedAndDeletingOneFreesNothing) {
  typedef const wchar_t *IT;
  arena_allocator<char> a = make(64);
  a.allocate(3);
  sub_expr<IT> *node = new (a) end_of_pattern<IT>();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(node) % alignof(std::max_align_t), 0u);
  const std::size_t blocks = a.get_arena()->block_count();
  delete node;  // runs the destructor; the memory stays with the arena
  EXPECT_EQ(a.get_arena()->block_count(), blocks);
}

}  // namespace

// The typed backtracking stack: typed push/pop of every value type the
// matcher saves, the type check, marks and guards, and block reuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "utils/regex/detail/hetero_stack.h"
#include "utils/regex/detail/matcher.h"

using regex::backref_tag;
using regex::match_stack;
using regex::stack_guard;
using namespace regex::detail;

namespace {

typedef std::wstring::const_iterator SIT;
typedef const wchar_t *PIT;

// Logs its destruction so unwinding order can be checked.
struct tracked {
  int id;
  std::vector<int> *log;
  tracked(int i, std::vector<int> *l) : id(i), log(l) {}
  tracked(const tracked &) = default;
  tracked &operator=(const tracked &) = default;
  ~tracked() {
    if (log) log->push_back(id);
  }
};

struct throws_on_copy {
  throws_on_copy() = default;
  throws_on_copy(const throws_on_copy &) { throw std::runtime_error("copy"); }
};

struct big_value {
  char bytes[40];
};

template <class T>
bool aligned(const T &v) {
  return reinterpret_cast<std::uintptr_t>(&v) % alignof(T) == 0;
}

TEST(HeteroStack, PushesAndPopsEveryMatcherValueType) {
  const std::wstring subject = L"abcdef";
  const SIT s0 = subject.begin() + 1, s1 = subject.begin() + 4;
  const PIT p0 = subject.c_str() + 2;
  end_of_pattern<SIT> node;
  arena_allocator<char> arena(64, std::allocator<char>());
  {
    match_group<SIT> group(1, arena);
    group.begin_group();
    group.close_group(arena);

    backref_tag<SIT> rec(s0, s1);
    rec.matched = true;
    rec.loop_count = 7;
    rec.loop_mark = s1;
    const match_group<SIT>::old_backref saved(rec);

    match_stack st;
    EXPECT_TRUE(st.empty());
    st.push(static_cast<const sub_expr_base<SIT> *>(&node));
    st.push(group.alternates().begin());
    st.push(s0);
    st.push(p0);
    st.push(saved);
    st.push(rec);
    st.push(smart_iter<SIT>(s1));
    st.push(std::pair<SIT, unsigned>(s0, 3u));
    st.push(std::pair<PIT, unsigned>(p0, 9u));
    st.push(true);

    EXPECT_TRUE(aligned(st.top<bool>()));
    bool b = false;
    st.pop(b);
    EXPECT_TRUE(b);
    EXPECT_TRUE(aligned(st.top<std::pair<PIT, unsigned>>()));
    std::pair<PIT, unsigned> pp;
    st.pop(pp);
    EXPECT_EQ(pp, std::make_pair(p0, 9u));
    std::pair<SIT, unsigned> sp;
    st.pop(sp);
    EXPECT_TRUE(sp.first == s0 && sp.second == 3u);
    EXPECT_TRUE(aligned(st.top<smart_iter<SIT>>()));
    smart_iter<SIT> si;
    st.pop(si);
    EXPECT_TRUE(si == smart_iter<SIT>(s1));
    EXPECT_TRUE(aligned(st.top<backref_tag<SIT>>()));
    backref_tag<SIT> r2;
    st.pop(r2);
    EXPECT_TRUE(r2.first == s0 && r2.second == s1 && r2.matched && r2.loop_count == 7u);
    EXPECT_TRUE(r2.loop_mark == smart_iter<SIT>(s1));
    match_group<SIT>::old_backref ob;
    st.pop(ob);
    EXPECT_TRUE(ob.first == s0 && ob.second == s1 && ob.matched);
    PIT p;
    st.pop(p);
    EXPECT_EQ(p, p0);
    SIT s;
    st.pop(s);
    EXPECT_TRUE(s == s0);
    EXPECT_TRUE(st.top<match_group<SIT>::alt_iterator>() == group.alternates().begin());
    st.pop<match_group<SIT>::alt_iterator>();
    const sub_expr_base<SIT> *n = nullptr;
    st.pop(n);
    EXPECT_EQ(n, &node);
    EXPECT_TRUE(st.empty());
  }
  arena.destroy_arena();
}

TEST(HeteroStack, WrongTypedPopThrowsAndLeavesTheEntry) {
  const std::wstring subject = L"xy";
  match_stack st;
  st.push(subject.begin());
  try {
    bool b;
    st.pop(b);
    FAIL() << "no type_error";
  } catch (const match_stack::type_error &e) {
    const std::string what = e.what();
    EXPECT_EQ(what.rfind("type error in hetero_stack (requested type: bool, actual type: ", 0), 0u) << what;
    EXPECT_EQ(what.back(), ')');
    EXPECT_TRUE(e.requested_type() == typeid(bool));
    EXPECT_TRUE(e.actual_type() == typeid(SIT));
    const match_stack::type_error copy(e);
    EXPECT_STREQ(copy.what(), e.what());
  }
  EXPECT_THROW(st.top<int>(), std::logic_error);
  EXPECT_THROW(st.pop<PIT>(), match_stack::type_error);
  SIT it;
  st.pop(it);
  EXPECT_TRUE(it == subject.begin());
  EXPECT_TRUE(st.empty());
}

TEST(HeteroStack, TopGivesInPlaceAccess) {
  match_stack st;
  st.push(std::pair<PIT, unsigned>(nullptr, 1u));
  st.top<std::pair<PIT, unsigned>>().second += 4;
  std::pair<PIT, unsigned> v;
  st.pop(v);
  EXPECT_EQ(v.second, 5u);
}

TEST(HeteroStack, BlocksGrowAndAreReused) {
  match_stack st;
  EXPECT_EQ(st.heap_block_count(), 0u);
  EXPECT_TRUE(st.in_inline_block());

  // A bool takes one word plus the tag word: two fill the first block.
  const std::size_t small_entry = match_stack::padded(sizeof(bool)) + sizeof(void *);
  st.push(true);
  EXPECT_EQ(st.heap_block_count(), 1u);
  EXPECT_EQ(st.current_capacity(), 2 * small_entry);
  st.push(false);
  EXPECT_EQ(st.heap_block_count(), 1u);
  st.push(true);
  EXPECT_EQ(st.heap_block_count(), 2u);

  // Popping the only entry of a block steps back; the block is kept.
  st.pop<bool>();
  EXPECT_EQ(st.current_capacity(), 2 * small_entry);
  st.push(true);
  EXPECT_EQ(st.heap_block_count(), 2u);
  st.pop<bool>();

  // A larger entry gets a block of exactly its size between the two.
  const std::size_t big_entry = match_stack::padded(sizeof(big_value)) + sizeof(void *);
  st.push(big_value{});
  EXPECT_EQ(st.heap_block_count(), 3u);
  EXPECT_EQ(st.current_capacity(), big_entry);
  st.pop<big_value>();
  st.pop<bool>();
  st.pop<bool>();
  EXPECT_TRUE(st.in_inline_block());
  EXPECT_TRUE(st.empty());
}

TEST(HeteroStack, FirstLargeEntryGetsABlockOfItsSize) {
  match_stack st;
  st.push(big_value{});
  EXPECT_EQ(st.current_capacity(), match_stack::padded(sizeof(big_value)) + sizeof(void *));
}

TEST(HeteroStack, UnwindToMarkDestroysInReverseAcrossBlocks) {
  std::vector<int> log;
  match_stack st;
  st.push(tracked(1, &log));
  st.push(tracked(2, &log));
  log.clear();  // temporaries
  const match_stack::stack_type m = st.mark();
  for (int i = 3; i <= 8; ++i) {
    st.push(tracked(i, &log));
    st.push(big_value{});  // forces blocks of their own in between
  }
  log.clear();
  st.unwind(m);
  EXPECT_EQ(log, (std::vector<int>{8, 7, 6, 5, 4, 3}));
  EXPECT_TRUE(st.mark() == m);
  log.clear();
  tracked t(0, nullptr);
  st.pop(t);
  EXPECT_EQ(t.id, 2);
  st.pop(t);
  EXPECT_EQ(t.id, 1);
  t.log = nullptr;
  EXPECT_TRUE(st.empty());
}

TEST(HeteroStack, GuardUnwindsOnException) {
  std::vector<int> log;
  match_stack st;
  st.push(true);
  const match_stack::stack_type m = st.mark();
  try {
    stack_guard g(st);
    st.push(tracked(1, &log));
    st.push(tracked(2, &log));
    log.clear();
    throw std::runtime_error("leave");
  } catch (const std::runtime_error &) {
  }
  EXPECT_EQ(log, (std::vector<int>{2, 1}));
  EXPECT_TRUE(st.mark() == m);
  EXPECT_TRUE(st.top<bool>());
}

TEST(HeteroStack, ThrowingCopyLeavesTheStackAsBefore) {
  match_stack st;
  st.push(true);
  const match_stack::stack_type m = st.mark();
  EXPECT_THROW(st.push(throws_on_copy()), std::runtime_error);
  EXPECT_TRUE(st.mark() == m);
  EXPECT_TRUE(st.top<bool>());
}

TEST(HeteroStack, DestructorDestroysRemainingValues) {
  std::vector<int> log;
  {
    match_stack st;
    for (int i = 0; i < 5; ++i) st.push(tracked(i, &log));
    log.clear();
  }
  EXPECT_EQ(log, (std::vector<int>{4, 3, 2, 1, 0}));
}

}  // namespace

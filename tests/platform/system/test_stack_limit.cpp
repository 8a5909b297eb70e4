// Room left on the thread's stack, which the recursive matcher checks before
// going deeper.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstddef>

#include "platform/system/stack_limit.h"

namespace {

std::size_t __attribute__((noinline)) headroom_below(int levels) {
  volatile char pad[256];
  pad[0] = 0;
  std::size_t r = levels == 0 ? platform::stack_headroom() : headroom_below(levels - 1);
  return r + pad[0];
}

TEST(StackLimit, HeadroomShrinksAsTheStackGrows) {
  const std::size_t here = platform::stack_headroom();
  const std::size_t deeper = headroom_below(100);
  EXPECT_GT(here, 0u);
  EXPECT_LT(deeper, here);
  EXPECT_GE(here - deeper, 100u * 256u);
}

TEST(StackLimit, ThreadWithASmallStackReportsLittleRoom) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 256 * 1024);
  std::size_t room = 0;
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, &attr,
                [](void *p) -> void * {
                  *static_cast<std::size_t *>(p) = platform::stack_headroom();
                  return nullptr;
                },
                &room),
            0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_GT(room, 0u);
  EXPECT_LE(room, 256u * 1024u);
}

}  // namespace

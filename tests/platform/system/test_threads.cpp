// Interlocked counts, critical sections, worker threads and clocks.
#include "platform/system/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/text/winerror.h"
#include "tests/support/deadline.h"

namespace {

TEST(Threads, InterlockedOperations) {
  volatile LONG v = 5;
  EXPECT_EQ(InterlockedIncrement(&v), 6);
  EXPECT_EQ(InterlockedDecrement(&v), 5);
  EXPECT_EQ(InterlockedExchangeAdd(&v, 10), 5);
  EXPECT_EQ(InterlockedExchange(&v, 1), 15);
  EXPECT_EQ(InterlockedCompareExchange(&v, 9, 2), 1);  // no match: unchanged
  EXPECT_EQ(InterlockedCompareExchange(&v, 9, 1), 1);
  EXPECT_EQ(v, 9);
  v = INT32_MAX;
  EXPECT_EQ(InterlockedIncrement(&v), INT32_MIN);  // 32-bit wrap

  volatile LONG count = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) InterlockedIncrement(&count);
    });
  for (auto &th : threads) th.join();
  EXPECT_EQ(count, 80000);
}

TEST(Threads, CriticalSectionsAreRecursive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EXPECT_TRUE(TryEnterCriticalSection(&cs));
  LeaveCriticalSection(&cs);
  BOOL other = TRUE;
  std::thread([&] { other = TryEnterCriticalSection(&cs); }).join();
  EXPECT_FALSE(other);
  LeaveCriticalSection(&cs);
  DeleteCriticalSection(&cs);

  CCriticalSection lock;
  {
    CSingleLock guard(&lock, TRUE);
    EXPECT_TRUE(guard.IsLocked());
    CSingleLock again(&lock, TRUE);
  }
  EXPECT_TRUE(lock.Lock());
  lock.Unlock();
}

struct Job {
  std::atomic<int> ran{0};
  std::atomic<DWORD> thread{0};
};

UINT Work(LPVOID p) {
  auto *job = static_cast<Job *>(p);
  job->thread = GetCurrentThreadId();
  job->ran = 1;
  return 0;
}

TEST(Threads, AfxBeginThreadRunsDetached) {
  Job job;
  CWinThread *t = AfxBeginThread(Work, &job, THREAD_PRIORITY_NORMAL, 0, 0);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(testsupport::WaitUntil([&] { return job.ran == 1; }, std::chrono::seconds(10)))
      << "the thread did not run within 10 s";
  EXPECT_NE(job.thread, GetCurrentThreadId());
  SetLastError(0);
  EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Threads, ClocksAdvance) {
  DWORD t0 = GetTickCount();
  LARGE_INTEGER c0, c1, f;
  ASSERT_TRUE(QueryPerformanceFrequency(&f));
  EXPECT_EQ(f.QuadPart, 1000000000LL);
  ASSERT_TRUE(QueryPerformanceCounter(&c0));
  Sleep(20);
  QueryPerformanceCounter(&c1);
  EXPECT_GT(c1.QuadPart, c0.QuadPart);
  EXPECT_GE(static_cast<DWORD>(GetTickCount() - t0), 15u);
}

}  // namespace

// Runtime facilities: last error per thread, errno mapping, number texts,
// interlocked counts, worker threads, the program's file and arguments.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>
#include <thread>
#include <vector>

#include "platform/text/codepage.h"
#include "platform/system/module.h"
#include "platform/text/numeric.h"
#include "platform/system/threads.h"
#include "platform/text/winerror.h"

namespace {

TEST(Runtime, LastErrorIsPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seen = 1;
  std::thread([&] {
    seen = GetLastError();
    SetLastError(ERROR_FILE_NOT_FOUND);
  }).join();
  EXPECT_EQ(seen, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Runtime, ErrnoMapping) {
  struct {
    int err;
    DWORD code;
  } cases[] = {{0, 0},
               {ENOENT, 2},
               {ENOTDIR, 3},
               {EACCES, 5},
               {EPERM, 5},
               {EISDIR, 5},
               {EEXIST, 183},
               {EBUSY, 32},
               {ENOSPC, 112},
               {ENAMETOOLONG, 206},
               {EINVAL, 87},
               {ENOMEM, 8},
               {EIO, ERROR_GEN_FAILURE}};
  for (const auto &c : cases) EXPECT_EQ(Win32ErrorFromErrno(c.err), c.code) << c.err;
}

TEST(Runtime, TextToNumber) {
  struct {
    const wchar_t *text;
    LONG value;
  } cases[] = {{L"  42abc", 42},
               {L"-17", -17},
               {L"+8", 8},
               {L"abc", 0},
               {L"", 0},
               {L"2147483647", INT_MAX},
               {L"2147483648", INT_MAX},
               {L"99999999999", INT_MAX},
               {L"-99999999999", INT_MIN}};
  for (const auto &c : cases) {
    EXPECT_EQ(_wtol(c.text), c.value) << c.text;
    EXPECT_EQ(_wtoi(c.text), c.value) << c.text;
  }
  EXPECT_EQ(_wtol(nullptr), 0);
  wchar_t *end = nullptr;
  EXPECT_EQ(_wcstoi64(L"12345678901x", &end, 10), 12345678901LL);
  EXPECT_EQ(*end, L'x');
  EXPECT_EQ(win_wcstol(L"ff", nullptr, 16), 255);
}

TEST(Runtime, NumberToText) {
  wchar_t buf[72];
  struct {
    std::wstring got;
    const wchar_t *expected;
  } cases[] = {
      {_itow(-42, buf, 10), L"-42"},
      {_itow(255, buf, 16), L"ff"},
      {_itow(-1, buf, 16), L"ffffffff"},  // two's complement outside radix 10
      {_itow(5, buf, 2), L"101"},
      {_itow(35, buf, 36), L"z"},
      {_itow(0, buf, 10), L"0"},
      {_itow(INT_MIN, buf, 10), L"-2147483648"},
      {_i64tow(-1, buf, 16), L"ffffffffffffffff"},
      {_i64tow(LLONG_MIN, buf, 10), L"-9223372036854775808"},
      {_ui64tow(ULLONG_MAX, buf, 10), L"18446744073709551615"},
      {_itow(5, buf, 1), L""},
      {_itow(5, buf, 37), L""},
  };
  for (const auto &c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST(Runtime, InterlockedOperations) {
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

TEST(Runtime, CriticalSectionsAreRecursive) {
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

TEST(Runtime, AfxBeginThreadRunsDetached) {
  Job job;
  CWinThread *t = AfxBeginThread(Work, &job, THREAD_PRIORITY_NORMAL, 0, 0);
  ASSERT_NE(t, nullptr);
  for (int i = 0; i < 500 && !job.ran; ++i) Sleep(10);
  EXPECT_EQ(job.ran, 1);
  EXPECT_NE(job.thread, GetCurrentThreadId());
  SetLastError(0);
  EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Runtime, ClocksAdvance) {
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

TEST(Runtime, ModuleFileName) {
  char exe[4096];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  ASSERT_GT(n, 0);
  std::wstring expected = MultiByteToWide(CP_UTF8, std::string(exe, n));
  wchar_t buf[4096];
  EXPECT_EQ(GetModuleFileNameW(nullptr, buf, 4096), expected.size());
  EXPECT_EQ(std::wstring(buf), expected);

  wchar_t small[5];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);  // cut and terminated
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::wstring(small), expected.substr(0, 4));
  int other;
  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(&other), buf, 4096), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Runtime, WideArgumentVector) {
  char a0[] = "./tickora", a1[] = "--x", a2[] = "\xE4\xB8\xAD";
  char *argv[] = {a0, a1, a2, nullptr};
  SetProgramArguments(3, argv);
  ASSERT_EQ(__argc, 3);
  EXPECT_STREQ(__wargv[0], L"./tickora");  // as started, not resolved
  EXPECT_STREQ(__wargv[2], L"\u4e2d");
  EXPECT_EQ(__wargv[3], nullptr);
}

}  // namespace

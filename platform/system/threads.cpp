#include "platform/system/threads.h"

#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <new>
#include <system_error>
#include <thread>

#include "platform/text/winerror.h"

namespace {

ULONGLONG ClockMs(clockid_t clock) noexcept {
  timespec ts{};
  if (clock_gettime(clock, &ts) != 0) clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<ULONGLONG>(ts.tv_sec) * 1000u + static_cast<ULONGLONG>(ts.tv_nsec) / 1000000u;
}

// The interlocked functions work on LONG objects that other threads may
// touch only through these functions.
std::atomic_ref<LONG> Ref(volatile LONG *target) noexcept { return std::atomic_ref<LONG>(*const_cast<LONG *>(target)); }

}  // namespace

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ULONGLONG GetTickCount64() noexcept { return ClockMs(CLOCK_BOOTTIME); }
DWORD GetTickCount() noexcept { return static_cast<DWORD>(GetTickCount64()); }
DWORD timeGetTime() noexcept { return GetTickCount(); }

BOOL QueryPerformanceCounter(LARGE_INTEGER *count) noexcept {
  if (!count) return FALSE;
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  count->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) noexcept {
  if (!frequency) return FALSE;
  frequency->QuadPart = 1000000000LL;
  return TRUE;
}

DWORD GetCurrentThreadId() noexcept { return static_cast<DWORD>(syscall(SYS_gettid)); }
DWORD GetCurrentProcessId() noexcept { return static_cast<DWORD>(getpid()); }

// The new value wraps in 32 bits as the atomic itself does.
LONG InterlockedIncrement(volatile LONG *target) noexcept {
  return static_cast<LONG>(static_cast<ULONG>(Ref(target).fetch_add(1)) + 1u);
}
LONG InterlockedDecrement(volatile LONG *target) noexcept {
  return static_cast<LONG>(static_cast<ULONG>(Ref(target).fetch_sub(1)) - 1u);
}
LONG InterlockedExchange(volatile LONG *target, LONG value) noexcept { return Ref(target).exchange(value); }
LONG InterlockedExchangeAdd(volatile LONG *target, LONG value) noexcept { return Ref(target).fetch_add(value); }
LONG InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand) noexcept {
  Ref(target).compare_exchange_strong(comparand, exchange);
  return comparand;
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  if (cs) cs->mutex = new std::recursive_mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION cs) noexcept {
  if (!cs) return;
  delete cs->mutex;
  cs->mutex = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (cs && cs->mutex) cs->mutex->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) noexcept {
  if (cs && cs->mutex) cs->mutex->unlock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) noexcept {
  return cs && cs->mutex && cs->mutex->try_lock() ? TRUE : FALSE;
}

CWinThread *AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int, UINT, DWORD flags, void *) {
  if (!proc || (flags & CREATE_SUSPENDED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  CWinThread *thread = new (std::nothrow) CWinThread;
  if (!thread) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  try {
    std::thread([proc, param, thread] {
      thread->m_nThreadID = GetCurrentThreadId();
      proc(param);
      if (thread->m_bAutoDelete) delete thread;
    }).detach();
  } catch (const std::system_error &) {
    delete thread;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return thread;
}

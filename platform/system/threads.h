// Threads, locks, waits and clocks with the original platform's interfaces.
#pragma once

#include <mutex>

#include "platform/text/windef.h"

// Blocks the calling thread; 0 gives up the rest of its time slice.
void Sleep(DWORD milliseconds);
// Milliseconds since boot, 32 bits (wraps after 49.7 days).
DWORD GetTickCount() noexcept;
DWORD timeGetTime() noexcept;
ULONGLONG GetTickCount64() noexcept;

// Nanosecond counter and its frequency (1e9); always TRUE.
BOOL QueryPerformanceCounter(LARGE_INTEGER *count) noexcept;
BOOL QueryPerformanceFrequency(LARGE_INTEGER *frequency) noexcept;

DWORD GetCurrentThreadId() noexcept;
DWORD GetCurrentProcessId() noexcept;

// Atomic with a full barrier; each returns the new value except Exchange,
// ExchangeAdd and CompareExchange, which return the old one.
LONG InterlockedIncrement(volatile LONG *target) noexcept;
LONG InterlockedDecrement(volatile LONG *target) noexcept;
LONG InterlockedExchange(volatile LONG *target, LONG value) noexcept;
LONG InterlockedExchangeAdd(volatile LONG *target, LONG value) noexcept;
LONG InterlockedCompareExchange(volatile LONG *target, LONG exchange, LONG comparand) noexcept;

// A recursive lock, as the original's critical section.
struct CRITICAL_SECTION {
  std::recursive_mutex *mutex = nullptr;
};
typedef CRITICAL_SECTION *LPCRITICAL_SECTION;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs) noexcept;
void EnterCriticalSection(LPCRITICAL_SECTION cs);
void LeaveCriticalSection(LPCRITICAL_SECTION cs) noexcept;
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs) noexcept;

// The framework's lock object (recursive) and its scoped guard.
class CCriticalSection {
 public:
  CCriticalSection() = default;
  CCriticalSection(const CCriticalSection &) = delete;
  CCriticalSection &operator=(const CCriticalSection &) = delete;
  BOOL Lock() {
    mutex_.lock();
    return TRUE;
  }
  BOOL Unlock() {
    mutex_.unlock();
    return TRUE;
  }

 private:
  std::recursive_mutex mutex_;
};

class CSingleLock {
 public:
  explicit CSingleLock(CCriticalSection *lock, BOOL initial_lock = FALSE) : lock_(lock) {
    if (initial_lock) Lock();
  }
  ~CSingleLock() {
    if (locked_) Unlock();
  }
  CSingleLock(const CSingleLock &) = delete;
  CSingleLock &operator=(const CSingleLock &) = delete;
  BOOL Lock() {
    if (!locked_ && lock_) locked_ = lock_->Lock();
    return locked_;
  }
  BOOL Unlock() {
    if (locked_) {
      lock_->Unlock();
      locked_ = FALSE;
    }
    return TRUE;
  }
  BOOL IsLocked() const { return locked_; }

 private:
  CCriticalSection *lock_;
  BOOL locked_ = FALSE;
};

#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define CREATE_SUSPENDED 0x4u

typedef UINT (*AFX_THREADPROC)(LPVOID);

// Handle of a started worker thread (the thread runs detached).
class CWinThread {
 public:
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;
};

// Starts `proc(param)` on a new detached thread; null when the thread could
// not be created (last error ERROR_NOT_ENOUGH_MEMORY). The priority, stack
// size and security arguments are accepted and ignored; CREATE_SUSPENDED is
// refused (null, ERROR_INVALID_PARAMETER). The returned object deletes
// itself when the thread ends (m_bAutoDelete), so callers must not keep it.
CWinThread *AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stack_size = 0, DWORD flags = 0, void *security = nullptr);

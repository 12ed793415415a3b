// A mutex for the stand-ins that builds with every toolchain we use: the
// MinGW win32 thread model has no std::mutex, so Windows gets a critical
// section.
#ifndef CARDN5_PLATFORM_LOCK_H
#define CARDN5_PLATFORM_LOCK_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace cardn5 {

class Lock {
 public:
#if defined(_WIN32)
  Lock() { InitializeCriticalSection(&m_cs); }
  ~Lock() { DeleteCriticalSection(&m_cs); }
  void lock() { EnterCriticalSection(&m_cs); }
  void unlock() { LeaveCriticalSection(&m_cs); }
#else
  Lock() = default;
  void lock() { m_mutex.lock(); }
  void unlock() { m_mutex.unlock(); }
#endif
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

 private:
#if defined(_WIN32)
  CRITICAL_SECTION m_cs;
#else
  std::mutex m_mutex;
#endif
};

class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : m_lock(lock) { m_lock.lock(); }
  ~LockGuard() { m_lock.unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& m_lock;
};

}  // namespace cardn5

#endif

// The machine's lock, cheap for the thread that made the machine. A job
// runs on one thread and pays for the lock on every port access, millions
// of them; a second thread (a host's waiter, a test's watcher) is rare but
// must stay safe. So the owner enters without the mutex as long as no other
// thread ever came; the first other thread announces itself, waits until
// the owner is out, and from then on everybody takes the mutex.
//
// Why this is safe: the owner marks itself inside, then looks for a guest;
// a guest marks itself, then looks for the owner inside. At least one of
// them must see the other (the owner then takes the mutex, or the guest
// waits for the owner to leave). That needs a full barrier between each
// one's store and load. Where Linux offers membarrier, the guest pays for
// both: its system call makes the owner's thread pass a barrier, so the
// owner's side is two plain moves. Elsewhere the owner's store is
// sequentially consistent (one locked instruction, still cheaper than a
// mutex). The guest marks itself once, under the mutex; the owner never
// goes without the mutex again.
// Recursive for every thread, like the mutex it replaces: models call the
// machine's test face from inside a bus access.
#ifndef CARDN5_SIM_BUS_LOCK_H
#define CARDN5_SIM_BUS_LOCK_H

#include <atomic>
#include <mutex>
#include <thread>

namespace sim {

class BusLock {
 public:
  BusLock() : m_owner(Self()), m_asymmetric(AsymmetricBarrier()) {}
  BusLock(const BusLock&) = delete;
  BusLock& operator=(const BusLock&) = delete;

  void lock() {
    if (IsOwner())
      LockAsOwner();
    else
      LockAsGuest();
  }
  void unlock() {
    if (IsOwner())
      UnlockAsOwner();
    else
      m_mutex.unlock();
  }

  // lock() and unlock() asking for the thread once: the bus face's guard.
  class Guard {
   public:
    explicit Guard(BusLock& lock) : m_lock(lock), m_asOwner(lock.IsOwner()) {
      if (m_asOwner)
        m_lock.LockAsOwner();
      else
        m_lock.LockAsGuest();
    }
    ~Guard() {
      if (m_asOwner)
        m_lock.UnlockAsOwner();
      else
        m_lock.m_mutex.unlock();
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

   private:
    BusLock& m_lock;
    const bool m_asOwner;
  };

  // Whether another thread has used the machine (from then on every access
  // takes the mutex).
  bool shared() const { return m_guestSeen.load(); }

 private:
  // The calling thread, as cheaply as the compiler can tell: asked on every
  // access. The thread pointer where it reads it directly, else the address
  // of a thread-local object; unique among running threads either way.
  static const void* Self() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_thread_pointer();
#else
    static thread_local char tag;
    return &tag;
#endif
  }
  bool IsOwner() const { return Self() == m_owner; }
  void LockAsOwner() {
    if (m_ownerDepth++ != 0) return;
    if (m_asymmetric) {
      m_ownerInside.store(true, std::memory_order_relaxed);
      std::atomic_signal_fence(std::memory_order_seq_cst);
      if (!m_guestSeen.load(std::memory_order_relaxed)) return;
    } else {
      m_ownerInside.store(true);
      if (!m_guestSeen.load()) return;
    }
    m_ownerInside.store(false, std::memory_order_release);
    m_mutex.lock();
    m_ownerLocked = true;
  }
  void UnlockAsOwner() {
    if (--m_ownerDepth != 0) return;
    if (m_ownerLocked) {
      m_ownerLocked = false;
      m_mutex.unlock();
    } else {
      m_ownerInside.store(false, std::memory_order_release);
    }
  }
  void LockAsGuest() {
    m_mutex.lock();
    if (!m_guestSeen.load(std::memory_order_relaxed)) {
      m_guestSeen.store(true);
      if (m_asymmetric) HeavyBarrier();
    }
    while (m_ownerInside.load()) std::this_thread::yield();
  }
  // Whether HeavyBarrier works in this process (registered once).
  static bool AsymmetricBarrier();
  // Every thread of the process passes a full memory barrier.
  static void HeavyBarrier();

  const void* const m_owner;
  const bool m_asymmetric;
  // Touched by the owner only.
  unsigned m_ownerDepth = 0;
  bool m_ownerLocked = false;
  std::atomic<bool> m_ownerInside{false};
  std::atomic<bool> m_guestSeen{false};
  std::recursive_mutex m_mutex;
};

}  // namespace sim

#endif

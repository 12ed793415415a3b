#include "alloc_hook.h"

#include <cstdlib>
#include <mutex>
#include <new>
#include <set>

namespace allochook {
namespace {

struct Hook {
  std::mutex mutex;
  bool armed = false;
  int failNth = 0, count = 0, freed = 0;
  std::set<void*> live;
};

// Never destroyed: frees still arrive after the static destructors ran.
Hook& State() {
  static Hook* h = new Hook;
  return *h;
}

// Set while the hook runs, so that its own set's allocations and frees pass
// straight through instead of locking again.
thread_local bool t_inside = false;
struct Inside {
  Inside() { t_inside = true; }
  ~Inside() { t_inside = false; }
};

template <typename F>
auto Locked(F f) {
  Hook& h = State();
  const Inside inside;
  std::lock_guard<std::mutex> lock(h.mutex);
  return f(h);
}

void* Allocate(std::size_t size) { return std::malloc(size ? size : 1); }

}  // namespace

void Arm(int failNth) {
  Locked([failNth](Hook& h) {
    h.live.clear();
    h.armed = true;
    h.failNth = failNth;
    h.count = h.freed = 0;
  });
}

void Disarm() {
  Locked([](Hook& h) { h.armed = false; });
}
int NothrowAllocations() {
  return Locked([](Hook& h) { return h.count; });
}
std::pair<int, size_t> FreedAndLive() {
  return Locked([](Hook& h) { return std::pair<int, size_t>{h.freed, h.live.size()}; });
}

void* NothrowNew(std::size_t size) {
  if (t_inside) return Allocate(size);
  return Locked([size](Hook& h) -> void* {
    if (h.armed && ++h.count == h.failNth) return nullptr;
    void* p = Allocate(size);
    if (h.armed) h.live.insert(p);
    return p;
  });
}

void Free(void* p) {
  if (p && !t_inside) Locked([p](Hook& h) { h.freed += static_cast<int>(h.live.erase(p)); });
  std::free(p);
}

}  // namespace allochook

void* operator new(std::size_t size) {
  void* p = allochook::Allocate(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allochook::NothrowNew(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allochook::NothrowNew(size); }
void operator delete(void* p) noexcept { allochook::Free(p); }
void operator delete[](void* p) noexcept { allochook::Free(p); }
void operator delete(void* p, std::size_t) noexcept { allochook::Free(p); }
void operator delete[](void* p, std::size_t) noexcept { allochook::Free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { allochook::Free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { allochook::Free(p); }

#include "alloc_hook.h"

#include <cstdlib>
#include <mutex>
#include <new>

namespace allochook {
namespace {

struct Hook {
  std::mutex mutex;
  bool armed = false;
  int failNth = 0;
  int count = 0;
  int freed = 0;
  std::set<void*>* live = nullptr;  // allocated lazily, outside the hook
};

Hook& State() {
  static Hook h;
  return h;
}

thread_local bool t_inside = false;

void* Allocate(std::size_t size) { return std::malloc(size ? size : 1); }

}  // namespace

void Arm(int failNth) {
  auto* live = new std::set<void*>();
  std::set<void*>* old;
  Hook& h = State();
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    old = h.live;
    h.live = live;
    h.armed = true;
    h.failNth = failNth;
    h.count = 0;
    h.freed = 0;
  }
  delete old;
}

void Disarm() {
  Hook& h = State();
  std::lock_guard<std::mutex> lock(h.mutex);
  h.armed = false;
}

// Reads the hook's state under its lock.
template <typename F>
auto Locked(F read) {
  Hook& h = State();
  std::lock_guard<std::mutex> lock(h.mutex);
  return read(h);
}

std::set<void*> Live() {
  return Locked([](Hook& h) { return h.live ? *h.live : std::set<void*>(); });
}
int NothrowAllocations() {
  return Locked([](Hook& h) { return h.count; });
}
int FreedArmedAllocations() {
  return Locked([](Hook& h) { return h.freed; });
}

void* NothrowNew(std::size_t size) {
  Hook& h = State();
  if (t_inside) return Allocate(size);
  t_inside = true;
  void* p = nullptr;
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    bool fail = false;
    if (h.armed) {
      ++h.count;
      fail = h.failNth > 0 && h.count == h.failNth;
    }
    if (!fail) {
      p = Allocate(size);
      if (h.armed && h.live) h.live->insert(p);
    }
  }
  t_inside = false;
  return p;
}

void Free(void* p) {
  if (!p) return;
  Hook& h = State();
  if (!t_inside) {
    t_inside = true;
    {
      std::lock_guard<std::mutex> lock(h.mutex);
      if (h.live && h.live->erase(p)) ++h.freed;
    }
    t_inside = false;
  }
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

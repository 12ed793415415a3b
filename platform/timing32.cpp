// timing32 stand-in. Millisecond delays sleep; microsecond delays are below a
// scheduler tick, so they busy-wait on the monotonic high-resolution clock and
// never return early. A virtual clock (the simulator) can take the delays over.
#include "timing32.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#include "lock.h"
#include "timing32_ext.h"

namespace {

struct VirtualClock {
  cardn5::Lock lock;
  PFN_TIMINGX_Advance pfn = nullptr;
  void* ctx = nullptr;
};

VirtualClock& Clock() {
  static VirtualClock* c = new VirtualClock;
  return *c;
}

// Hands the delay to the virtual clock if one is set; false: wait for real.
bool AdvanceVirtual(uint64_t us) {
  VirtualClock& c = Clock();
  PFN_TIMINGX_Advance pfn;
  void* ctx;
  {
    cardn5::LockGuard guard(c.lock);
    pfn = c.pfn;
    ctx = c.ctx;
  }
  if (!pfn) return false;
  pfn(ctx, us);
  return true;
}

#if defined(_WIN32)
uint64_t QpcFrequency() {
  static const uint64_t f = [] {
    LARGE_INTEGER li;
    QueryPerformanceFrequency(&li);
    return static_cast<uint64_t>(li.QuadPart);
  }();
  return f;
}
#endif

void SleepAtLeastMs(uint32_t ms) {
  uint64_t end = TIMINGX_NowNs() + static_cast<uint64_t>(ms) * 1000000u;
  for (;;) {
    uint64_t now = TIMINGX_NowNs();
    if (now >= end) return;
    uint64_t left = end - now;
#if defined(_WIN32)
    Sleep(static_cast<DWORD>((left + 999999u) / 1000000u));
#else
    timespec ts;
    ts.tv_sec = static_cast<time_t>(left / 1000000000u);
    ts.tv_nsec = static_cast<long>(left % 1000000000u);
    nanosleep(&ts, nullptr);
#endif
  }
}

// A completed pause reports how long it was in its caller's unit (at least
// 1, so a zero-length pause still reads as done): the exports that pass the
// result on stay booleans for the host, and a test can tell which pause a
// result came from.
int32_t Completed(uint32_t units) {
  return units == 0 ? 1 : static_cast<int32_t>(units > 0x7FFFFFFFu ? 0x7FFFFFFFu : units);
}

}  // namespace

uint64_t CARDN5_STDCALL TIMINGX_NowNs(void) {
#if defined(_WIN32)
  LARGE_INTEGER li;
  QueryPerformanceCounter(&li);
  uint64_t ticks = static_cast<uint64_t>(li.QuadPart);
  uint64_t f = QpcFrequency();
  return ticks / f * 1000000000u + ticks % f * 1000000000u / f;
#else
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
#endif
}

int32_t CARDN5_STDCALL TIMING_Delay(uint32_t dwMilliseconds) {
  if (!AdvanceVirtual(static_cast<uint64_t>(dwMilliseconds) * 1000u)) SleepAtLeastMs(dwMilliseconds);
  return Completed(dwMilliseconds);
}

int32_t CARDN5_STDCALL TIMING_DelayUS(uint32_t dwMicroseconds) {
  if (AdvanceVirtual(dwMicroseconds)) return Completed(dwMicroseconds);
  // The end is taken before anything else so that the call's own overhead
  // counts towards the wait, and the loop compares against it with >= so the
  // wait is never short.
  const uint64_t end = TIMINGX_NowNs() + static_cast<uint64_t>(dwMicroseconds) * 1000u;
  while (TIMINGX_NowNs() < end) {
  }
  return Completed(dwMicroseconds);
}

int32_t CARDN5_STDCALL TIMINGX_SetVirtualClock(PFN_TIMINGX_Advance pfn, void* pCtx) {
  VirtualClock& c = Clock();
  cardn5::LockGuard guard(c.lock);
  c.pfn = pfn;
  c.ctx = pCtx;
  return 1;
}

int32_t CARDN5_STDCALL TIMINGX_Sleep(uint32_t dwMilliseconds) {
  if (AdvanceVirtual(static_cast<uint64_t>(dwMilliseconds) * 1000u)) return 1;
  SleepAtLeastMs(dwMilliseconds);
  return 1;
}

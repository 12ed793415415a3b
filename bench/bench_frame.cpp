// What a register access costs on its way CPortRegister -> HWIO -> backend,
// and how far the microsecond delay overshoots, next to the obvious
// alternatives.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "errlog32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "port_register.h"
#include "timing32.h"
#include "timing32_ext.h"

namespace {

uint16_t CARDN5_CDECL TrivialIn(void*, uint16_t port, uint32_t) { return port; }
void CARDN5_CDECL TrivialOut(void*, uint16_t, uint16_t, uint32_t) {}

enum Backend { kEmulation, kTrivialDevice, kSimulator };

struct BackendScope {
  explicit BackendScope(Backend b) {
    HWIOX_Reset();
    ERRLOGX_SetLogPath(nullptr);
    if (b == kEmulation) HWIO_SetEmulation(1);
    if (b == kTrivialDevice) {
      HWIO_DEVICE dev{};
      dev.pfnIn = TrivialIn;
      dev.pfnOut = TrivialOut;
      HWIOX_AttachDevice(&dev);
    }
    if (b == kSimulator) {
      machine.trace().SetEnabled(false);
      machine.Attach();
    }
  }
  ~BackendScope() {
    machine.Detach();
    HWIOX_Reset();
  }
  sim::Machine machine;
};

void BM_RegisterIn(benchmark::State& state) {
  BackendScope scope(static_cast<Backend>(state.range(0)));
  CPortRegister reg(0x8300);
  for (auto _ : state) {
    reg.In();
    benchmark::DoNotOptimize(reg.GetValue());
  }
}
BENCHMARK(BM_RegisterIn)->Arg(kEmulation)->Arg(kTrivialDevice)->Arg(kSimulator)->ArgName("backend");

void BM_RegisterOut(benchmark::State& state) {
  BackendScope scope(static_cast<Backend>(state.range(0)));
  CPortRegister reg(0x8700);
  uint16_t v = 0;
  for (auto _ : state) {
    reg.SetValue(++v);
    benchmark::DoNotOptimize(reg.Out());
  }
}
BENCHMARK(BM_RegisterOut)->Arg(kEmulation)->Arg(kTrivialDevice)->Arg(kSimulator)->ArgName("backend");

__attribute__((noinline)) uint16_t PlainRead(uint16_t port) { return port; }

void BM_PlainFunctionPointer(benchmark::State& state) {
  uint16_t (*volatile fn)(uint16_t) = PlainRead;
  for (auto _ : state) benchmark::DoNotOptimize(fn(0x8300));
}
BENCHMARK(BM_PlainFunctionPointer);

// Overshoot past the requested 10 us, as percentiles over many waits.
template <typename Wait>
void Overshoot(benchmark::State& state, Wait wait) {
  std::vector<double> over;
  for (auto _ : state) {
    const uint64_t start = TIMINGX_NowNs();
    wait();
    over.push_back(static_cast<double>(TIMINGX_NowNs() - start) / 1000.0 - 10.0);
  }
  std::sort(over.begin(), over.end());
  state.counters["p50_us"] = over[over.size() / 2];
  state.counters["p99_us"] = over[over.size() * 99 / 100];
  state.counters["min_us"] = over.front();
}

void BM_DelayUS10(benchmark::State& state) {
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  Overshoot(state, [] { TIMING_DelayUS(10); });
}
BENCHMARK(BM_DelayUS10)->Iterations(20000);

void BM_Usleep10(benchmark::State& state) {
  Overshoot(state, [] { usleep(10); });
}
BENCHMARK(BM_Usleep10)->Iterations(20000);

}  // namespace

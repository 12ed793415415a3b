// Rows per second of a simulated engraving job through EPUN5_DoOneRow, and
// how much faster than the machine itself the simulation runs (virtual time
// of the job over the wall time it took).
#include <benchmark/benchmark.h>

#include <chrono>

#include "cardN532.h"
#include "epu_model.h"
#include "epu_sample_job.h"
#include "errlog32_ext.h"
#include "hwio32_ext.h"
#include "machine.h"

namespace {

int32_t CARDN5_CALL HostSmMove(uint32_t, uint32_t, uint32_t) { return 1; }

EPU_GRAVUR_PARAMS Job(uint16_t randomOffset) {
  EPU_GRAVUR_PARAMS job = sim::EpuSampleJob();
  job.wRandomOffset = randomOffset;
  return job;
}

// range(0): random offset mode; range(1): rows per job; range(2): drum turn in microseconds
void BM_EngraveJob(benchmark::State& state) {
  HWIOX_Reset();
  ERRLOGX_SetLogPath(nullptr);
  sim::Machine machine;
  machine.trace().SetEnabled(false);
  machine.Attach();
  sim::EpuModel& epu = machine.Add<sim::EpuModel>();
  epu.set_index_period_ns(static_cast<uint64_t>(state.range(2)) * 1000u);
  CARDN5_CreateCardObjects();
  EPUN5_InitPowerOn(0);

  const int rows = static_cast<int>(state.range(1));
  uint64_t virtualNs = 0;
  double wallNs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EPUN5_GravurVorbereiten(Job(static_cast<uint16_t>(state.range(0))));
    state.ResumeTiming();
    const uint64_t v0 = machine.NowNs();
    const auto w0 = std::chrono::steady_clock::now();
    for (int y = 0; y < rows; ++y)
      benchmark::DoNotOptimize(EPUN5_DoOneRow(static_cast<uint32_t>(y), 64, 0, 4, 10, &HostSmMove));
    wallNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - w0).count();
    virtualNs += machine.NowNs() - v0;
  }
  state.SetItemsProcessed(state.iterations() * rows);
  state.counters["rows/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * rows), benchmark::Counter::kIsRate);
  state.counters["virtual/wall"] = wallNs > 0 ? static_cast<double>(virtualNs) / wallNs : 0.0;
  state.counters["virtual_ms/row"] =
      static_cast<double>(virtualNs) / 1e6 / static_cast<double>(state.iterations() * rows);

  CARDN5_DeleteCardObjects();
  machine.Detach();
  HWIOX_Reset();
}

}  // namespace

BENCHMARK(BM_EngraveJob)
    ->ArgNames({"random", "rows", "turn_us"})
    ->Args({0, 200, 1000})
    ->Args({2, 200, 1000})
    ->Args({2, 200, 10000})
    ->Unit(benchmark::kMillisecond);

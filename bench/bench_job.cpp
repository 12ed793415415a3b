// A whole simulated job with the port trace on, as the demo and a host's
// test runs have it: 10,000 EPU rows through EPUN5_DoOneRow and 1,000 MBU
// blocks through MBUN5_WriteBlock and MBUN5_TriggerBlock (the two boards
// share ports, so each runs on its own machine). Reported: rows/s, blocks/s
// and how much faster than the machine itself the simulation runs (virtual
// time over wall time, both parts together). BM_PortAccess gives the wall
// cost of one port access through the stand-in and the machine.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <vector>

#include "cardN532.h"
#include "epu_model.h"
#include "epu_regs.h"
#include "epu_sample_job.h"
#include "errlog32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "mbu_model.h"

namespace {

constexpr int kRows = 10000;
constexpr int kBlocks = 1000;
constexpr uint32_t kBlockWords = 0x1000;

int32_t CARDN5_CALL HostSmMove(uint32_t, uint32_t, uint32_t) { return 1; }

// The thread's processor time: on a loaded machine the wall clock also
// counts the time other processes had the processor.
double CpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

struct Clock {
  uint64_t virtualNs = 0;
  double wallNs = 0;
  double cpuNs = 0;
  void Start(uint64_t nowNs) {
    v0 = nowNs;
    c0 = CpuNs();
    w0 = std::chrono::steady_clock::now();
  }
  void Stop(uint64_t nowNs) {
    wallNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - w0).count();
    cpuNs += CpuNs() - c0;
    virtualNs += nowNs - v0;
  }

 private:
  uint64_t v0 = 0;
  double c0 = 0;
  std::chrono::steady_clock::time_point w0;
};

// One EPU job of kRows rows on a fresh machine, trace on.
void EpuJob(Clock& clock) {
  sim::Machine machine;
  machine.Attach();
  machine.Add<sim::EpuModel>();
  CARDN5_CreateCardObjects();
  EPUN5_InitPowerOn(0);
  EPUN5_GravurVorbereiten(sim::EpuSampleJob());
  clock.Start(machine.NowNs());
  for (int y = 0; y < kRows; ++y)
    benchmark::DoNotOptimize(EPUN5_DoOneRow(static_cast<uint32_t>(y), 64, 0, 4, 10, &HostSmMove));
  clock.Stop(machine.NowNs());
  CARDN5_DeleteCardObjects();
}

// One MBU job of kBlocks blocks on a fresh machine, trace on.
bool MbuJob(Clock& clock, std::vector<uint16_t>& words) {
  sim::Machine machine;
  machine.Attach();
  sim::MbuModel& mbu = machine.Add<sim::MbuModel>(3);
  mbu.set_engrave_ns(1000000);
  CARDN5_CreateCardObjects();
  MBUN5_InitPowerOn();
  MBUN5_GravurVorbereiten();
  MBU_BLOCK_INFO block{};
  block.pwData = words.data();
  block.dwPixelX = 16;
  block.dwPixelY = kBlockWords;
  block.dwSteps = 10;
  clock.Start(machine.NowNs());
  for (int b = 0; b < kBlocks; ++b) {
    benchmark::DoNotOptimize(MBUN5_WriteBlock(block));
    benchmark::DoNotOptimize(MBUN5_TriggerBlock(block));
  }
  clock.Stop(machine.NowNs());
  CARDN5_DeleteCardObjects();
  // The last block may still wait for the one before it.
  return mbu.blocks().size() >= kBlocks - 1;
}

void BM_Job(benchmark::State& state) {
  HWIOX_Reset();
  ERRLOGX_SetLogPath(nullptr);
  std::vector<uint16_t> words(kBlockWords, 0x5A5A);
  Clock epu, mbu;
  for (auto _ : state) {
    EpuJob(epu);
    if (!MbuJob(mbu, words)) state.SkipWithError("the board did not take every block over");
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["rows/s"] = epu.wallNs > 0 ? n * kRows / (epu.wallNs / 1e9) : 0.0;
  state.counters["blocks/s"] = mbu.wallNs > 0 ? n * kBlocks / (mbu.wallNs / 1e9) : 0.0;
  state.counters["epu_virtual/cpu"] = epu.cpuNs > 0 ? static_cast<double>(epu.virtualNs) / epu.cpuNs : 0.0;
  state.counters["mbu_virtual/cpu"] = mbu.cpuNs > 0 ? static_cast<double>(mbu.virtualNs) / mbu.cpuNs : 0.0;
  const double virtualNs = static_cast<double>(epu.virtualNs + mbu.virtualNs);
  const double wall = epu.wallNs + mbu.wallNs;
  const double cpu = epu.cpuNs + mbu.cpuNs;
  state.counters["virtual/wall"] = wall > 0 ? virtualNs / wall : 0.0;
  state.counters["virtual/cpu"] = cpu > 0 ? virtualNs / cpu : 0.0;
  HWIOX_Reset();
}

// One status read a loop (it folds into one trace line), trace on.
void BM_PortAccess(benchmark::State& state) {
  HWIOX_Reset();
  sim::Machine machine;
  machine.SetTimeLimitNs(UINT64_MAX);
  machine.Attach();
  machine.Add<sim::EpuModel>();
  for (auto _ : state) benchmark::DoNotOptimize(HWIO_Hin(epu::kStatusPort));
  state.counters["ns/access"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  machine.Detach();
  HWIOX_Reset();
}

}  // namespace

BENCHMARK(BM_Job)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PortAccess)->Iterations(1000000);  // a fixed count: callgrind gives instructions a read

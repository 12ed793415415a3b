// The MBU's image transfer: a 0x100000-word block through the direct-port
// layer as one bulk call, against a loop of one call a word and against a
// device that takes the words one by one; and blocks per second of a
// simulated 50-block job through MBUN5_WriteBlock and MBUN5_TriggerBlock.
#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

#include "cardN532.h"
#include "direct_port.h"
#include "errlog32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "mbu_model.h"
#include "mbu_regs.h"

namespace {

constexpr uint32_t kBlockWords = 0x100000;

// A machine with the simulated MBU, the trace off (a per-word loop would
// otherwise keep a million entries).
struct Rig {
  Rig() {
    HWIOX_Reset();
    ERRLOGX_SetLogPath(nullptr);
    machine.trace().SetEnabled(false);
    machine.SetTimeLimitNs(UINT64_MAX);  // a block of 0x100000 words is a second of bus time
    machine.Attach();
    mbu = &machine.Add<sim::MbuModel>(3);
  }
  ~Rig() {
    machine.Detach();
    HWIOX_Reset();
  }
  // The board's address counter back to the bank's start.
  void Rewind() { HWIO_Hout(mbu::kCommandPort, mbu::kSoftReset); }

  sim::Machine machine;
  sim::MbuModel* mbu = nullptr;
  std::vector<uint16_t> words = std::vector<uint16_t>(kBlockWords, 0x5A5A);
};

void Report(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBlockWords * 2);
  state.counters["words/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * kBlockWords, benchmark::Counter::kIsRate);
}

void BM_BlockBulkCall(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    state.PauseTiming();
    rig.Rewind();
    state.ResumeTiming();
    cardn5::DirectOutBlock(mbu::kMemoryPort, rig.words.data(), kBlockWords);
  }
  Report(state);
}

void BM_BlockCallPerWord(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) {
    state.PauseTiming();
    rig.Rewind();
    state.ResumeTiming();
    for (uint32_t i = 0; i < kBlockWords; ++i) cardn5::DirectOutBlock(mbu::kMemoryPort, &rig.words[i], 1);
  }
  Report(state);
}

// A device attached the way hosts built before the block callbacks do: the
// stand-in hands it the block word by word.
void BM_BlockToWordDevice(benchmark::State& state) {
  Rig rig;
  static uint64_t s_words = 0;
  HWIO_DEVICE dev{};
  dev.pfnOut = [](void*, uint16_t, uint16_t, uint32_t) { ++s_words; };
  HWIOX_AttachDevice(&dev);
  for (auto _ : state) {
    state.PauseTiming();
    rig.Rewind();
    state.ResumeTiming();
    cardn5::DirectOutBlock(mbu::kMemoryPort, rig.words.data(), kBlockWords);
  }
  Report(state);
}

// range(0): words a block; range(1): engraving of a block in microseconds
void BM_FiftyBlockJob(benchmark::State& state) {
  Rig rig;
  rig.mbu->set_engrave_ns(static_cast<uint64_t>(state.range(1)) * 1000u);
  CARDN5_CreateCardObjects();
  MBUN5_InitPowerOn();
  const uint32_t words = static_cast<uint32_t>(state.range(0));
  MBU_BLOCK_INFO block{};
  block.pwData = rig.words.data();
  block.dwPixelX = 16;
  block.dwPixelY = words;
  block.dwSteps = 10;
  uint64_t virtualNs = 0;
  double wallNs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    MBUN5_GravurVorbereiten();
    rig.mbu->clear_blocks();
    state.ResumeTiming();
    const uint64_t v0 = rig.machine.NowNs();
    const auto w0 = std::chrono::steady_clock::now();
    for (int b = 0; b < 50; ++b) {
      benchmark::DoNotOptimize(MBUN5_WriteBlock(block));
      benchmark::DoNotOptimize(MBUN5_TriggerBlock(block));
    }
    wallNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - w0).count();
    virtualNs += rig.machine.NowNs() - v0;
    // The last block may still wait for the one before it.
    if (rig.mbu->blocks().size() < 49) state.SkipWithError("the board did not take every block over");
  }
  state.SetItemsProcessed(state.iterations() * 50);
  state.counters["blocks/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 50, benchmark::Counter::kIsRate);
  state.counters["virtual/wall"] = wallNs > 0 ? static_cast<double>(virtualNs) / wallNs : 0.0;
  state.counters["virtual_ms/block"] =
      static_cast<double>(virtualNs) / 1e6 / (static_cast<double>(state.iterations()) * 50.0);
  CARDN5_DeleteCardObjects();
}

}  // namespace

BENCHMARK(BM_BlockBulkCall)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockCallPerWord)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BlockToWordDevice)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FiftyBlockJob)
    ->ArgNames({"words", "engrave_us"})
    ->Args({0x1000, 1000})
    ->Args({0x10000, 1000})
    ->Args({0x100000, 1000})
    ->Args({0x1000, 100000})
    ->Unit(benchmark::kMillisecond);

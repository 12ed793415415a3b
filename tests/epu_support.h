// What the EPU tests share: a machine with the EPU and IPG models, a job
// record, and a host stepper function that records its calls.
#ifndef CARDN5_TESTS_EPU_SUPPORT_H
#define CARDN5_TESTS_EPU_SUPPORT_H

#include <stdint.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "epu_model.h"
#include "ipg_model.h"
#include "test_support.h"
#include "trace.h"

namespace eputest {

// One call of the host's SmMove, with how many rows the board had taken and
// where it fell among the port accesses: the trace's length and the virtual
// time at the call.
struct SmMoveCall {
  uint32_t steps, one, zero;
  size_t rowsBefore;
  size_t traceIndex;
  uint64_t nowNs;
};

// PFN_SMMOVE has no context argument, so the recorder is process-wide.
struct SmMoveRecorder {
  static inline std::vector<SmMoveCall> calls;
  static inline sim::EpuModel* model = nullptr;
  static inline sim::Machine* machine = nullptr;  // set for the whole test by the fixture
  static inline int failOnCall = 0;               // 1-based; 0: never fail
  static void Reset(sim::EpuModel* m) {
    calls.clear();
    model = m;
    failOnCall = 0;
  }
  static int32_t CARDN5_CALL Move(uint32_t steps, uint32_t one, uint32_t zero) {
    calls.push_back({steps, one, zero, model ? model->rows().size() : 0, machine ? machine->trace().size() : 0,
                     machine ? machine->NowNs() : 0});
    return static_cast<int>(calls.size()) == failOnCall ? 0 : 1;
  }
};

using testsupport::Watchdog;

inline EPU_GRAVUR_PARAMS DefaultJob() {
  EPU_GRAVUR_PARAMS p{};
  p.wRandomOffset = 0;
  p.wLLCode = 0;
  p.wSMAuto = 0;
  p.wFlag7 = 0;
  p.dwPulsesPerRow = 10000;
  p.wRowLength = 1000;
  p.dPulseNumerator = 1.0;
  p.dPulseDenominator = 10000.0;  // 150 laser pulse counts
  p.w9B00Value = 0x1234;
  p.wStartposY = 300;
  return p;
}

// Boards created, the EPU and IPG models on the machine, the EPU powered
// on (the register shadows live for the whole process, so each test starts
// from the power-on state), then the trace and the log cleared.
class EpuTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    epu = &machine.Add<sim::EpuModel>();
    ipg = &machine.Add<sim::IpgModel>();
    SmMoveRecorder::Reset(epu);
    SmMoveRecorder::machine = &machine;
    ASSERT_EQ(1, EPUN5_InitPowerOn(0));
    machine.trace().Clear();
    log.Clear();
  }
  void TearDown() override {
    SmMoveRecorder::Reset(nullptr);
    SmMoveRecorder::machine = nullptr;
    BoardsTest::TearDown();
  }

  // Prepared without the failure paths; trace and log cleared afterwards.
  void PrepareJob(const EPU_GRAVUR_PARAMS& job) {
    ASSERT_EQ(1, EPUN5_GravurVorbereiten(job)) << log.Dump();
    machine.trace().Clear();
    log.Clear();
  }

  int32_t Row(uint32_t mode, uint32_t steps, uint32_t rowShift, uint32_t code1 = 0x1000, uint32_t code2 = 0x2000) {
    return EPUN5_DoOneRow(code1, code2, mode, steps, rowShift, &SmMoveRecorder::Move);
  }

  // Entries of the trace from index 'from' on.
  std::vector<sim::TraceEntry> TraceFrom(size_t from) {
    const auto& all = machine.trace().entries();
    return std::vector<sim::TraceEntry>(all.begin() + static_cast<long>(from), all.end());
  }

  size_t CountDelays(uint32_t us) {
    size_t n = 0;
    for (const sim::TraceEntry& e : machine.trace().entries())
      if (e.kind == sim::Access::Delay && e.arg1 == us) ++n;
    return n;
  }

  sim::EpuModel* epu = nullptr;
  sim::IpgModel* ipg = nullptr;
};

// Writes to one port within a stretch of the trace.
inline std::vector<uint16_t> WritesTo(const std::vector<sim::TraceEntry>& entries, uint16_t port) {
  std::vector<uint16_t> out;
  for (const sim::TraceEntry& e : entries)
    if (e.IsWrite() && e.port == port) out.push_back(e.value);
  return out;
}

// How many times the interrupts were held off within a stretch of the trace.
inline size_t HoldOffs(const std::vector<sim::TraceEntry>& entries) {
  size_t n = 0;
  for (const sim::TraceEntry& e : entries)
    if (e.kind == sim::Access::Interrupts && e.value == 0) ++n;
  return n;
}

}  // namespace eputest

#endif

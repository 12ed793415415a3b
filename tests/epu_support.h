// What the EPU tests share: a machine with the EPU and IPG models, the job
// record, and the host's stepper function, which records its calls and
// moves the stepper on the simulated board; with GoogleTest and the
// standard headers their tables use.
#ifndef CARDN5_TESTS_EPU_SUPPORT_H
#define CARDN5_TESTS_EPU_SUPPORT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "board_test.h"
#include "epu_model.h"
#include "epu_regs.h"
#include "epu_sample_job.h"
#include "ipg_model.h"
#include "test_support.h"

namespace eputest {

// One call of SmMove: its arguments and the rows the board had taken before it.
struct SmMoveCall {
  uint32_t steps, one, zero;
  size_t rowsBefore;
};

// PFN_SMMOVE has no context argument, so the recorder is process-wide.
struct SmMoveRecorder {
  static inline std::vector<SmMoveCall> calls;
  static inline sim::EpuModel* model = nullptr;
  static inline int failOnCall = 0;  // 1-based; 0: never fail
  static int32_t CARDN5_CALL Move(uint32_t steps, uint32_t one, uint32_t zero) {
    calls.push_back({steps, one, zero, model->rows().size()});
    model->HostMove();
    return static_cast<int>(calls.size()) == failOnCall ? 0 : 1;
  }
};

// A script of bit levels: "1101" is high, high, low, high.
inline std::vector<bool> Levels(const char* levels) {
  std::vector<bool> out;
  for (const char* p = levels; *p; ++p) out.push_back(*p == '1');
  return out;
}

// The sample job (laser pulse ratio 150) with a 9B00 value to recognise.
inline EPU_GRAVUR_PARAMS Job() {
  EPU_GRAVUR_PARAMS p = sim::EpuSampleJob();
  p.w9B00Value = 0x1234;
  return p;
}

// Boards created, the EPU and IPG models on the machine, the EPU powered
// on (its register shadows live for the whole process, so each test starts
// from the power-on state), then the trace and the log cleared.
class EpuTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    epu = &machine.Add<sim::EpuModel>();
    ipg = &machine.Add<sim::IpgModel>();
    ResetStepper();
    ASSERT_EQ(1, EPUN5_InitPowerOn(0));
    Forget();
  }

  void ResetStepper() {
    SmMoveRecorder::calls.clear();
    SmMoveRecorder::failOnCall = 0;
    SmMoveRecorder::model = epu;
  }
  void Forget() {
    machine.trace().Clear();
    log.Clear();
    testsupport::ClearLastError();
    rowsMark = epu->rows().size();
  }
  // The rows the board took since the last Forget().
  std::vector<sim::EpuRow> NewRows() const {
    const std::vector<sim::EpuRow> all = epu->rows();
    return {all.begin() + static_cast<long>(rowsMark), all.end()};
  }

  // The default job changed by edit(job), prepared; then trace, log and
  // stepper calls forgotten.
  void PrepareJob(const std::function<void(EPU_GRAVUR_PARAMS&)>& edit = nullptr) {
    EPU_GRAVUR_PARAMS job = Job();
    if (edit) edit(job);
    ASSERT_EQ(1, EPUN5_GravurVorbereiten(job)) << log.Dump();
    ResetStepper();
    Forget();
  }

  int32_t Row(uint32_t mode, uint32_t steps, uint32_t rowShift, uint32_t code1 = 0x1000, uint32_t code2 = 0x2000) {
    return EPUN5_DoOneRow(code1, code2, mode, steps, rowShift, &SmMoveRecorder::Move);
  }

  sim::EpuModel* epu = nullptr;
  sim::IpgModel* ipg = nullptr;
  size_t rowsMark = 0;
};

}  // namespace eputest

#endif

// Engraving: the pulse generator programmed and measured, a job prepared,
// and the job's image engraved row by row through EPUN5_DoOneRow on the
// simulated engraving processor board. Each row's 64 one-bit pixels travel
// in the two code arguments, pixel x in bit x % 32 of the first (x < 32) or
// the second; the drum's rows are read back from what the board received.
#include <cstdio>
#include <string>

#include "cardN532.h"
#include "demo.h"
#include "epu_model.h"
#include "epu_sample_job.h"
#include "ipg_model.h"

namespace demo {

namespace {

constexpr uint32_t kStepsPerRow = 4;

void PackRow(const uint8_t* row, uint32_t& arg1, uint32_t& arg2) {
  arg1 = arg2 = 0;
  for (uint32_t x = 0; x < kImageWidth; ++x)
    if (row[x] == kEngraved) (x < 32 ? arg1 : arg2) |= 1u << (x % 32);
}

void AppendDrumRow(Picture& drum, uint32_t arg1, uint32_t arg2) {
  for (uint32_t x = 0; x < kImageWidth; ++x)
    drum.data.push_back((((x < 32 ? arg1 : arg2) >> (x % 32)) & 1) ? kEngraved : kBlank);
  ++drum.height;
}

// The host's stepper: one step through the EPU's step port per step.
int32_t CARDN5_CALL HostSmMove(uint32_t steps, uint32_t, uint32_t) {
  for (uint32_t i = 0; i < steps; ++i) CALL(EPUN5_OneSMStep());
  return 1;
}

int Prepare(Rig& rig) {
  CALL(IPGN5_SetIPGPulses(6400));
  const uint16_t measured = CALL(EPUN5_GetIPGPulses());
  std::printf("IPG programmed for 6400 pulses a period (%.0f decoded by the board); EPU counts %u in one turn\n",
              rig.ipg.pulses_per_period(), measured);

  EPU_GRAVUR_PARAMS job = sim::EpuSampleJob();
  job.wRandomOffset = 2;
  const uint64_t start = rig.machine.NowNs();
  const int32_t prepared = CALL(EPUN5_GravurVorbereiten(job));
  std::printf("EPUN5_GravurVorbereiten -> %d (%.1f s on the machine's clock: the start handshake waits for the drum)\n",
              prepared, Seconds(rig.machine.NowNs() - start));
  return prepared != 1;
}

}  // namespace

int RunEngravingDemo(Rig& rig, const Job& job, Results& out) {
  std::printf("\n== Engraving (EPU) ==\n");
  sim::EpuModel& epu = rig.epu;
  epu.set_drum_speed_rpm(60000);  // a 1 ms turn keeps the demo quick
  int failures = Prepare(rig);

  const uint64_t start = rig.machine.NowNs();
  int rowFailures = 0;
  Progress progress("EPU rows", job.rows);
  for (uint32_t y = 0; y < job.rows; ++y) {
    uint32_t arg1, arg2;
    PackRow(out.image.Row(y), arg1, arg2);
    rowFailures += CALL(EPUN5_DoOneRow(arg1, arg2, 0, kStepsPerRow, 10, &HostSmMove)) != 1;
    progress.Update(
        y + 1, "bank " + std::to_string(epu.offered_bank()) + " offered, stepper at " + std::to_string(epu.steps()));
  }
  progress.Finish();
  CALL(EPUN5_WaitForTurnOffPossible());
  std::printf("  %u rows in %.1f ms on the machine's clock, %d failed\n", job.rows, Millis(rig.machine.NowNs() - start),
              rowFailures);
  failures += rowFailures != 0;

  for (const sim::EpuRow& row : epu.rows()) {
    failures += !row.hasCode;
    AppendDrumRow(out.drum, row.arg1, row.arg2);
  }
  std::printf("  the board received %zu rows: bank 0 %zu, bank 1 %zu; stepper %u steps\n", epu.rows().size(),
              epu.rows_in_bank(0), epu.rows_in_bank(1), epu.steps());
  failures += epu.rows().size() != job.rows || epu.steps() != (job.rows - 1) * kStepsPerRow;
  return failures;
}

}  // namespace demo

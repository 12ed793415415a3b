// Engraving: the pulse generator programmed and measured, a job prepared,
// and a small generated image engraved row by row through EPUN5_DoOneRow
// on the simulated engraving processor board.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "demo.h"
#include "epu_model.h"
#include "ipg_model.h"

namespace {

constexpr int kRows = 24;
constexpr int kColumns = 64;
constexpr uint32_t kStepsPerRow = 4;

// A ring with a bar through it: enough shape to see the rows come back.
std::vector<std::string> MakeImage() {
  std::vector<std::string> image(kRows, std::string(kColumns, '.'));
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) {
      const double dx = (x - kColumns / 2 + 0.5) / 2.6, dy = y - kRows / 2 + 0.5;
      const double r = std::sqrt(dx * dx + dy * dy);
      if ((r > 6.5 && r < 10.5) || (std::fabs(dy) < 1.5 && std::fabs(dx) < 9.0)) image[y][x] = '#';
    }
  return image;
}

uint32_t DarkPixels(const std::string& row) {
  uint32_t n = 0;
  for (char c : row) n += c == '#';
  return n;
}

// The host's stepper: one step through the EPU's step port per step.
int32_t CARDN5_CALL HostSmMove(uint32_t steps, uint32_t, uint32_t) {
  for (uint32_t i = 0; i < steps; ++i) EPUN5_OneSMStep();
  return 1;
}

}  // namespace

int RunEngravingDemo(sim::Machine& machine) {
  std::printf("\n== Engraving ==\n");
  int failures = 0;
  sim::EpuModel& epu = machine.Add<sim::EpuModel>();
  sim::IpgModel& ipg = machine.Add<sim::IpgModel>(20e6);
  epu.set_drum_speed_rpm(60000);  // a 1 ms turn keeps the demo quick
  machine.trace().Clear();
  failures += CARDN5_CreateCardObjects() != 1;

  EPUN5_InitPowerOn(1);
  IPGN5_SetIPGPulses(6400);
  const uint16_t measured = EPUN5_GetIPGPulses();
  std::printf("IPG programmed for 6400 pulses a period (%.0f decoded by the board); EPU counts %u in one turn\n",
              ipg.pulses_per_period(), measured);

  EPU_GRAVUR_PARAMS job{};
  job.wRandomOffset = 2;
  job.dwPulsesPerRow = 10000;
  job.wRowLength = 1000;
  job.dPulseNumerator = 1.0;
  job.dPulseDenominator = 10000.0;
  job.wStartposY = 300;
  const uint64_t prepareStart = machine.NowNs();
  const int32_t prepared = EPUN5_GravurVorbereiten(job);
  std::printf(
      "EPUN5_GravurVorbereiten -> %d (%.1f s on the machine's clock: the start handshake waits for the "
      "drum)\n",
      prepared, (machine.NowNs() - prepareStart) / 1e9);
  failures += prepared != 1;

  const std::vector<std::string> image = MakeImage();
  const uint64_t engraveStart = machine.NowNs();
  int rowFailures = 0;
  const bool tty = isatty(fileno(stdout)) != 0;
  for (int y = 0; y < kRows; ++y) {
    rowFailures +=
        EPUN5_DoOneRow(static_cast<uint32_t>(y), DarkPixels(image[y]), 0, kStepsPerRow, 10, &HostSmMove) != 1;
    // One line that counts up on a terminal; a line every few rows in a log.
    if (tty || (y + 1) % 8 == 0 || y + 1 == kRows) {
      std::printf("%s  row %2d/%d engraved, board offers bank %d, stepper at %u steps%s", tty ? "\r" : "", y + 1, kRows,
                  epu.offered_bank(), epu.steps(), tty ? "" : "\n");
      std::fflush(stdout);
    }
  }
  if (tty) std::printf("\n");
  EPUN5_WaitForTurnOffPossible();
  const double engraveMs = (machine.NowNs() - engraveStart) / 1e6;
  std::printf("  %d rows in %.1f ms on the machine's clock, %d failed\n", kRows, engraveMs, rowFailures);
  failures += rowFailures != 0;

  std::printf(
      "\nRows as the simulated board received them (bank, start position at the bank change, code "
      "arguments):\n");
  for (const sim::EpuRow& row : epu.rows()) {
    const bool known = row.hasCode && row.arg1 < image.size();
    std::printf("  bank %d  A300=%4u  %3u %2u  %s\n", row.bank, row.startPos, row.arg1, row.arg2,
                known ? image[row.arg1].c_str() : "(no code)");
    failures += !known || row.arg2 != DarkPixels(image[row.arg1]);
  }
  std::printf("bank 0: %zu rows, bank 1: %zu rows; stepper %u steps\n", epu.rows_in_bank(0), epu.rows_in_bank(1),
              epu.steps());
  failures += epu.rows().size() != static_cast<size_t>(kRows) || epu.steps() != (kRows - 1) * kStepsPerRow;

  CARDN5_DeleteCardObjects();
  return failures;
}

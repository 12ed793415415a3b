// Scanning: the xenon lamp started, the black and the white alignment on
// the simulated scanner front end's references, and the rows of a test
// picture scanned through CSEN5_ScanOneRow, kept for the scan PNG.
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "cse_model.h"
#include "demo.h"

namespace {

constexpr uint32_t kWidth = 128;

// Colour bars over a grey ramp, in the references' range of reflectance.
sim::Reflectance TestPicture(uint32_t x, uint32_t y, uint32_t rows) {
  const uint16_t white = sim::CseModel::kWhiteReference.red, black = sim::CseModel::kBlackReference.red;
  if (y < (rows + 1) / 2) {
    const uint32_t bar = x * 8 / kWidth;  // white, yellow, cyan, green, magenta, red, blue, black
    const bool r = bar == 0 || bar == 1 || bar == 4 || bar == 5;
    const bool g = bar <= 3;
    const bool b = bar == 0 || bar == 2 || bar == 4 || bar == 6;
    return {r ? white : black, g ? white : black, b ? white : black};
  }
  const uint16_t grey = static_cast<uint16_t>(black + (white - black) * x / (kWidth - 1));
  return {grey, grey, grey};
}

}  // namespace

namespace demo {

int RunScanDemo(Rig& rig, const Job& job, Results& out) {
  std::printf("\n== Scanning ==\n");
  int failures = 0;
  sim::Machine& machine = rig.machine;
  sim::CseModel& cse = rig.cse;
  cse.set_noise(job.seed, 1);
  CALL(CSEN5_SetScanmode(1, 0, 0));  // one pixel a count, light source 0, standard targets

  CALL(CSEN5_TurnXenonOn(1));
  const int32_t xenon = CALL(CSEN5_IsXenonOn());
  std::printf("Xenon lamp started: CSEN5_IsXenonOn -> %d\n", xenon);
  failures += xenon != 1;

  const uint64_t t0 = machine.NowNs();
  CALL(CSEN5_DoSchwarzAbgleich(1));
  std::printf("Black alignment on the black reference: offsets red %u, green %u, blue %u (gains preset to 100)\n",
              cse.offset(0), cse.offset(1), cse.offset(2));
  cse.set_under(sim::CseModel::Under::kWhiteReference);
  CALL(CSEN5_DoWeissAbgleich());
  std::printf("White alignment on the white reference: gains red %u, green %u, blue %u\n", cse.gain(0), cse.gain(1),
              cse.gain(2));
  uint32_t rgb = 0;
  CALL(CSEN5_GetRGBValue(&rgb));
  std::printf("  the white reference now reads 0x%06X; both alignments took %.2f s on the machine's clock\n", rgb,
              Seconds(machine.NowNs() - t0));

  cse.set_picture([rows = job.scanRows](uint32_t x, uint32_t y) { return TestPicture(x, y, rows); });
  CALL(CSEN5_StartScanSequence());
  Progress progress("scan rows", job.scanRows);
  for (uint32_t y = 0; y < job.scanRows; ++y) {
    failures += CALL(CSEN5_ScanOneRow(y, kWidth, 0, 0, 0)) != 1;
    progress.Update(y + 1, "");
  }
  progress.Finish();
  CALL(CSEN5_StopScanSequence());
  const std::vector<sim::CseRow> rows = cse.rows();
  if (rows.size() != job.scanRows || rows.front().pixels.size() != kWidth) return failures + 1;
  // The white bar and the black bar read back at the alignment targets.
  const sim::Rgb white = rows.front().pixels.front(), black = rows.front().pixels.back();
  std::printf("Scanned %zu rows of %u pixels: white bar (%u, %u, %u), black bar (%u, %u, %u)\n", rows.size(), kWidth,
              white[0], white[1], white[2], black[0], black[1], black[2]);
  for (int c = 0; c < 3; ++c) failures += white[c] < 247 || black[c] > 6;

  out.scan = Picture(kWidth, job.scanRows, 3);
  for (uint32_t y = 0; y < job.scanRows; ++y)
    for (uint32_t x = 0; x < kWidth && x < rows[y].pixels.size(); ++x)
      for (int c = 0; c < 3; ++c) out.scan.Row(y)[x * 3 + c] = rows[y].pixels[x][c];
  CALL(CSEN5_TurnXenonOn(0));
  return failures;
}

}  // namespace demo

// Scanning: the xenon lamp started, the black and the white alignment on
// the simulated scanner front end's references, and a few rows of a test
// picture scanned through CSEN5_ScanOneRow and written out as a PPM image
// beside the log.
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "cse_model.h"
#include "demo.h"
#include "errlog32_ext.h"

namespace {

constexpr uint32_t kWidth = 96;
constexpr uint32_t kRows = 12;

// Colour bars over a grey ramp, in the references' range of reflectance.
sim::Reflectance TestPicture(uint32_t x, uint32_t y) {
  const uint16_t white = sim::CseModel::kWhiteReference.red, black = sim::CseModel::kBlackReference.red;
  if (y < kRows / 2) {
    const uint32_t bar = x * 8 / kWidth;  // white, yellow, cyan, green, magenta, red, blue, black
    const bool r = bar == 0 || bar == 1 || bar == 4 || bar == 5;
    const bool g = bar <= 3;
    const bool b = bar == 0 || bar == 2 || bar == 4 || bar == 6;
    return {r ? white : black, g ? white : black, b ? white : black};
  }
  const uint16_t grey = static_cast<uint16_t>(black + (white - black) * x / (kWidth - 1));
  return {grey, grey, grey};
}

// Beside the log, or in the working folder when the log is off.
std::string ImagePath() {
  char log[512] = "";
  ERRLOGX_GetLogPath(log, sizeof log);
  const std::string path = log;
  const size_t slash = path.find_last_of('/');
  return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "cardn5-scan.ppm";
}

bool WritePpm(const std::string& path, const std::vector<sim::CseRow>& rows) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%u %zu\n255\n", kWidth, rows.size());
  for (const sim::CseRow& row : rows)
    for (const sim::Rgb& px : row.pixels) std::fwrite(px.data(), 1, px.size(), f);
  return std::fclose(f) == 0;
}

}  // namespace

int RunScanDemo(sim::Machine& machine) {
  std::printf("\n== Scanning ==\n");
  int failures = 0;
  sim::CseModel& cse = machine.Add<sim::CseModel>();
  cse.set_noise(2024, 1);
  failures += CARDN5_CreateCardObjects() != 1;
  CSEN5_InitPowerOn();
  CSEN5_SetScanmode(1, 0, 0);  // one pixel a count, light source 0, standard targets

  CSEN5_TurnXenonOn(1);
  std::printf("Xenon lamp started: CSEN5_IsXenonOn -> %d\n", CSEN5_IsXenonOn());
  failures += CSEN5_IsXenonOn() != 1;

  const uint64_t t0 = machine.NowNs();
  CSEN5_DoSchwarzAbgleich(1);
  std::printf("Black alignment on the black reference: offsets red %u, green %u, blue %u (gains preset to 100)\n",
              cse.offset(0), cse.offset(1), cse.offset(2));
  cse.set_under(sim::CseModel::Under::kWhiteReference);
  CSEN5_DoWeissAbgleich();
  std::printf("White alignment on the white reference: gains red %u, green %u, blue %u\n", cse.gain(0), cse.gain(1),
              cse.gain(2));
  uint32_t rgb = 0;
  CSEN5_GetRGBValue(&rgb);
  std::printf("  the white reference now reads 0x%06X; both alignments took %.2f s on the machine's clock\n", rgb,
              (machine.NowNs() - t0) / 1e9);

  cse.set_picture(TestPicture);
  CSEN5_StartScanSequence();
  for (uint32_t y = 0; y < kRows; ++y) failures += CSEN5_ScanOneRow(y, kWidth, 0, 0, 0) != 1;
  CSEN5_StopScanSequence();
  const std::vector<sim::CseRow> rows = cse.rows();
  if (rows.size() != kRows || rows.front().pixels.size() != kWidth) return failures + 1;
  // The white bar and the black bar read back at the alignment targets.
  const sim::Rgb white = rows.front().pixels.front(), black = rows.front().pixels.back();
  std::printf("Scanned %zu rows of %u pixels: white bar (%u, %u, %u), black bar (%u, %u, %u)\n", rows.size(), kWidth,
              white[0], white[1], white[2], black[0], black[1], black[2]);
  for (int c = 0; c < 3; ++c) failures += white[c] < 247 || black[c] > 6;

  const std::string path = ImagePath();
  if (WritePpm(path, rows)) {
    std::printf("  written to %s\n", path.c_str());
  } else {
    std::printf("  could not write %s\n", path.c_str());
    ++failures;
  }
  CSEN5_TurnXenonOn(0);
  CARDN5_DeleteCardObjects();
  return failures;
}

// The focusing head: the repeat search, the engraving position for a drum,
// and focus values set through a focus table, on the simulated lens carriage
// (with play in its drive) that hangs on the EPU's output and FINP words.
#include <cstdio>

#include "cardN532.h"
#include "cph_model.h"
#include "demo.h"
#include "epu_model.h"

namespace {

constexpr int64_t kBacklash = 12;
// Calibrated on a 600 mm drum with the lens 2000 steps out; this drum has
// 640 mm: 40 / 2 / pi * 200 = 1273 steps further out.
constexpr int64_t kEngravingPos = 3273;

}  // namespace

namespace demo {

int RunHeadDemo(Rig& rig) {
  std::printf("\n== Focusing head ==\n");
  int failures = 0;
  sim::Machine& machine = rig.machine;
  sim::EpuModel& epu = rig.epu;
  sim::CphModel& cph = rig.cph;
  cph.set_position(3200);
  cph.set_backlash(kBacklash);

  const int32_t calibrated = CALL(CPHN5_SetCalibParam(600.0, 640.0, 2000));
  std::printf("CPHN5_SetCalibParam(600 mm, 640 mm, 2000 steps) -> %d\n", calibrated);
  uint64_t t0 = machine.NowNs();
  const int32_t search = CALL(CPHN5_GotoRepeatPosition());
  std::printf("CPHN5_GotoRepeatPosition -> %d: lens at %lld, just off the reference sensor at 0 (%.2f s)\n", search,
              static_cast<long long>(cph.lens_position()), Seconds(machine.NowNs() - t0));
  failures += calibrated != 1 || search >= 100000 || cph.lens_position() != 1;

  t0 = machine.NowNs();
  const int32_t engraving = CALL(CPHN5_GotoEngravingPosition());
  std::printf("CPHN5_GotoEngravingPosition -> %d: lens at %lld (%.2f s)\n", engraving,
              static_cast<long long>(cph.lens_position()), Seconds(machine.NowNs() - t0));
  failures += engraving != 1 || cph.lens_position() != 1 + kEngravingPos;

  // Focus in micrometres -> defocus in steps towards the sensor.
  const double um[] = {-100.0, 0.0, 100.0, 200.0, 300.0}, steps[] = {-250.0, 0.0, 250.0, 500.0, 750.0};
  CALL(CPHN5_SetFokusTable(um, steps, 5));
  const struct {
    double um;
    int64_t defocus;
  } focus[] = {{150.0, 375}, {40.0, 100}};
  for (const auto& f : focus) {
    cph.ClearRecord();
    const int32_t set = CALL(CPHN5_SetFokus(f.um));
    const auto moved = cph.steps();
    size_t lastUp = 0;
    while (lastUp < moved.size() && moved[moved.size() - 1 - lastUp].direction == 1) ++lastUp;
    std::printf(
        "CPHN5_SetFokus(%.0f um) -> %d: %lld steps of defocus, lens at %lld (motor %lld: the play taken up by the "
        "last %zu steps up)\n",
        f.um, set, static_cast<long long>(f.defocus), static_cast<long long>(cph.lens_position()),
        static_cast<long long>(cph.motor_position()), lastUp);
    failures += set != 1 || cph.lens_position() != 1 + kEngravingPos - f.defocus;
  }

  CALL(CPHN5_SetHWShutterOpen(1));
  std::printf("CPHN5_SetHWShutterOpen(1): EPU output word 0x%04X (bit 4 shutter, 2 direction, 1 step)\n",
              epu.ok_output());
  CALL(CPHN5_SetHWShutterOpen(0));
  return failures;
}

}  // namespace demo

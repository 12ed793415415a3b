// Scanner optics and the DCA board: the DCA powered on, its voltages set and
// shown as the simulated board decoded them, the scanner optic referenced
// at its end sensor and focused through the xenon and laser-diode tables.
#include <cstdio>

#include "cardN532.h"
#include "dca_model.h"
#include "demo.h"
#include "epu_model.h"
#include "sdu_model.h"

namespace {

void ShowVoltages(const sim::DcaModel& dca) {
  std::printf("  DCA decoded: LE focus %3u (%5.2f V)  LDK focus %3u (%5.2f V)  FET speed %3u (%5.2f V)\n",
              dca.le_focus_code(), sim::DcaModel::Volts8(dca.le_focus_code()), dca.ldk_focus_code(),
              sim::DcaModel::Volts8(dca.ldk_focus_code()), dca.fet_speed_code(),
              sim::DcaModel::Volts8(dca.fet_speed_code()));
  std::printf("               LENZE speed %3u / %4u (%5.2f V)\n", dca.lenze_code8(), dca.lenze_code12(),
              sim::DcaModel::Volts12(dca.lenze_code12()));
}

}  // namespace

namespace demo {

int RunOpticsDemo(Rig& rig) {
  std::printf("\n== DCA voltages and scanner optics ==\n");
  int failures = 0;
  sim::Machine& machine = rig.machine;
  sim::DcaModel& dca = rig.dca;
  sim::SduModel& optic = rig.sdu;
  CALL(EPUN5_SetOKOutput(0));  // chopper current on (active low)
  optic.set_position(1200);    // where the last run left it

  CALL(DCAN5_SetLEFokusspannung(2.5));
  CALL(DCAN5_SetFETSpeedVoltage(7.3));
  CALL(DCAN5_SetLENZESpeedVoltage(5.0));
  CALL(DCAN5_SetLDKFokusspannung(12.0));  // clamped to 10 V
  std::printf("Set: LE 2.5 V, FET 7.3 V, LENZE 5 V, LDK 12 V (clamped)\n");
  ShowVoltages(dca);
  failures += dca.le_focus_code() != 63 || dca.fet_speed_code() != 186 || dca.lenze_code12() != 2047;
  CALL(DCAN5_SetSMDirection(1));
  for (int i = 0; i < 3; ++i) CALL(DCAN5_OneSMStep());
  CALL(DCAN5_LichtschrankeEin());
  CALL(DCAN5_LichtschrankeReset());
  std::printf("DCA stepper at %d after %u steps; light barrier %s, %u reset pulses, %s\n", dca.position(), dca.steps(),
              dca.light_barrier_on() ? "on" : "off", dca.light_barrier_resets(),
              CALL(DCAN5_LichtschrankeAbfragen()) ? "not interrupted" : "interrupted");
  failures += dca.position() != 3 || dca.light_barrier_resets() != 2;

  // Focus value to optic steps (xenon) and to volts (laser diode).
  const double focusX[] = {0.0, 50.0, 100.0}, stepsY[] = {200.0, 900.0, 1500.0}, voltsY[] = {3.0, 6.0, 9.0};
  CALL(SDUN5_SetXenonScanfokusTable(focusX, stepsY, 3));
  CALL(SDUN5_SetLDScanfokusTable(focusX, voltsY, 3));
  CALL(SDUN5_SwitchChopperCurrent(1));

  uint64_t start = machine.NowNs();
  CALL(SDUN5_SetOpticPosition(0));
  std::printf("Optic referenced: from 1200 steps to the end sensor in %.2f s; now at %d steps\n",
              Seconds(machine.NowNs() - start), optic.position());
  failures += optic.position() != 0;

  start = machine.NowNs();
  CALL(SDUN5_SetXenonScanfokus(25.0, 1.5));
  std::printf("Xenon focus 25 (offset 1.5 V): optic at %d steps (table: 550) after %.2f s\n", optic.position(),
              Seconds(machine.NowNs() - start));
  ShowVoltages(dca);
  failures += optic.position() != 550 || dca.ldk_focus_code() != 216;
  std::printf("  optic: %u steps in all, shortest toggle interval %.0f us (the motor follows 1666 us)\n", optic.steps(),
              static_cast<double>(optic.shortest_toggle_ns()) / 1e3);

  CALL(SDUN5_SetLDScanfokus(75.0, 0.5));
  std::printf("LD scan focus 75 (offset 0.5 V) through the laser-diode table:\n");
  ShowVoltages(dca);
  failures += dca.ldk_focus_code() != 178;

  return failures;
}

}  // namespace demo

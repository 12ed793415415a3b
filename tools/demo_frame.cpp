// The frame and the power-on: the boards created, emulation switched, raw
// ports read and written on the simulated machine, and every board of the
// engraving machine powered on.
#include <cstdio>

#include "cardN532.h"
#include "dca_model.h"
#include "demo.h"

namespace demo {

int RunFrameDemo(sim::Machine& machine) {
  std::printf("\n== Frame ==\n");
  int failures = 0;
  const int32_t created = CALL(CARDN5_CreateCardObjects());
  std::printf("CARDN5_CreateCardObjects -> %d\n", created);
  failures += created != 1;

  // While emulated, the library's accesses reach no board.
  CALL(CARDN5_SetEmulation(1));
  CALL(CARDN5_PortOut(0x8700, 0x0040));
  const uint16_t emulated = CALL(CARDN5_PortIn(0x8300));
  CALL(CARDN5_SetEmulation(0));
  std::printf("emulated:  PortOut(0x8700, 0x0040), PortIn(0x8300) -> 0x%04X; the machine's 0x8700 still 0x%04X\n",
              emulated, machine.LastWritten(0x8700));
  failures += machine.LastWritten(0x8700) != 0;

  // On the machine: the written word is latched, and a raw read of the
  // EPU's input word sees what the board's own export reads.
  CALL(CARDN5_PortOut(0x1AB00, 0x12345));  // the library uses only the low 16 bits of each
  const uint16_t finp = CALL(CARDN5_PortIn(0x8700)), viaEpu = CALL(EPUN5_GetFINP());
  std::printf(
      "simulated: PortOut(0x1AB00, 0x12345) latched 0x%04X at 0xAB00; PortIn(0x8700) -> 0x%04X, "
      "EPUN5_GetFINP -> 0x%04X\n",
      machine.LastWritten(0xAB00), finp, viaEpu);
  failures += machine.LastWritten(0xAB00) != 0x2345 || finp != viaEpu;
  return failures;
}

int RunPowerOn(Rig& rig) {
  std::printf("\n== Power-on ==\n");
  // The MBU's power-on belongs to the MBU machine; CSI and IOD come with it there too.
  const struct {
    const char* board;
    int32_t result;
  } boards[] = {
      {"EPU", CALL(EPUN5_InitPowerOn(1))}, {"IPG", CALL(IPGN5_InitPowerOn())}, {"DCA", CALL(DCAN5_InitPowerOn())},
      {"IOD", CALL(IODN5_InitPowerOn())},  {"CSI", CALL(CSIN5_InitPowerOn())}, {"CSE", CALL(CSEN5_InitPowerOn())},
      {"CPH", CALL(CPHN5_InitPowerOn())},  {"SDU", CALL(SDUN5_InitPowerOn())},
  };
  int failures = 0;
  for (const auto& b : boards) {
    std::printf("  %sN5_InitPowerOn -> %d\n", b.board, b.result);
    failures += b.result != 1;
  }
  std::printf("  the DCA took %zu set-up words\n", rig.dca.setup_words().size());
  return failures + (rig.dca.setup_words().size() != 9);
}

}  // namespace demo

// The frame: boards created, emulation switched, raw ports read and written
// on the simulated machine, and the boards deleted again.
#include <cstdio>

#include "cardN532.h"
#include "demo.h"

int RunFrameDemo(sim::Machine& machine) {
  std::printf("== Frame ==\n");
  int failures = 0;
  machine.trace().Clear();

  const int32_t created = CARDN5_CreateCardObjects();
  std::printf("CARDN5_CreateCardObjects -> %d\n", created);
  failures += created != 1;

  // While emulated, the library's accesses reach no board.
  CARDN5_SetEmulation(1);
  CARDN5_PortOut(0x8700, 0x0040);
  const uint16_t emulated = CARDN5_PortIn(0x8300);
  std::printf("emulated:  PortOut(0x8700, 0x0040), PortIn(0x8300) -> 0x%04X\n", emulated);
  CARDN5_SetEmulation(0);

  // On the machine: the FINP inputs answer, the written word is latched.
  machine.SetInput(0x8700, 0x0009);
  CARDN5_PortOut(0x1AB00, 0x12345);  // the library uses only the low 16 bits of each
  const uint16_t finp = CARDN5_PortIn(0x8700);
  std::printf("simulated: PortOut(0x1AB00, 0x12345) latched 0x%04X at 0xAB00, PortIn(0x8700) -> 0x%04X\n",
              machine.LastWritten(0xAB00), finp);
  failures += machine.LastWritten(0xAB00) != 0x2345 || finp != 0x0009;

  CARDN5_DeleteCardObjects();
  std::printf("CARDN5_DeleteCardObjects\n\nPort trace:\n%s", machine.TraceText().c_str());
  return failures;
}

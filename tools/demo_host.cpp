// Demo host: drives the library through its exports, as the machine's
// control program does, against a simulated machine.
//
//   cardn5_demo [--vcd FILE]
#include <cstdio>
#include <cstring>
#include <string>

#include "cardN532.h"
#include "demo.h"
#include "errlog32_ext.h"
#include "machine.h"

int main(int argc, char** argv) {
  std::string vcd;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--vcd") == 0 && i + 1 < argc) {
      vcd = argv[++i];
    } else {
      std::fprintf(stderr, "usage: %s [--vcd FILE]\n", argv[0]);
      return 2;
    }
  }
  char logPath[512];
  ERRLOGX_GetLogPath(logPath, sizeof logPath);
  std::printf("CARDN532 demo on a simulated machine (log: %s)\n\n", logPath);

  sim::Machine machine;
  machine.Attach();

  int failures = 0;
  failures += RunFrameDemo(machine) != 0;
  failures += RunTelegramDemo(machine) != 0;
  failures += RunEngravingDemo(machine) != 0;
  failures += RunHeadDemo(machine) != 0;
  failures += RunScanDemo(machine) != 0;
  failures += RunMbuDemo(machine) != 0;

  failures += RunOpticsDemo(machine) != 0;

  if (!vcd.empty()) {
    if (machine.trace().WriteVcd(vcd))
      std::printf("\nPort trace written to %s (open it with GTKWave)\n", vcd.c_str());
    else
      std::printf("\nCould not write %s\n", vcd.c_str());
  }
  machine.Detach();
  std::printf("\nDemo %s\n", failures ? "FAILED" : "finished");
  return failures ? 1 : 0;
}

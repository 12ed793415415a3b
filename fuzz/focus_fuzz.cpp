// Focus tables and focus setters of the focusing head (FOCUS_TARGET_CPH) or
// the scanner drive under any bytes: counts, missing arrays, non-numbers and
// infinities. The harnesses abort when a table, a position or a log line
// breaks what the board promises; the sanitizers catch a read past a table.
#include <memory>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "machine.h"
#if defined(FOCUS_TARGET_CPH)
#include "cph_focus_fuzz.h"
#else
#include "sdu_focus_fuzz.h"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The boards once per process, emulated (flag 1), on a machine whose
  // clock takes the pauses.
  static std::unique_ptr<sim::Machine> s_machine = [] {
    ERRLOGX_SetLogPath("");
    auto m = std::make_unique<sim::Machine>();
    m->trace().SetEnabled(false);
    m->Attach();
    CARDN5_CreateCardObjects();
    CARDN5_SetEmulation(1);
    return m;
  }();
#if defined(FOCUS_TARGET_CPH)
  CphFocusFuzzOne(data, size);
#else
  SduFocusFuzzOne(data, size);
#endif
  return 0;
}

// Block records of any content into MBUN5_WriteBlock and MBUN5_TriggerBlock
// on a fresh simulated MBU: nothing written past a bank, no oversized or
// unknown-mode block accepted, no protocol violation, no hang.
#include <cstdio>
#include <cstdlib>

#include "errlog32_ext.h"
#include "mbu_block_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ERRLOGX_SetLogPath("");
  const mbutest::FuzzOutcome out = mbutest::MbuBlockFuzzOne(data, size);
  if (!out.fault.empty()) {
    std::fprintf(stderr, "fuzz check failed: %s\n", out.fault.c_str());
    std::abort();
  }
  return 0;
}

// One fuzz input: a block record (and a control word) from raw bytes, run
// through MBUN5_WriteBlock and MBUN5_TriggerBlock on a fresh simulated MBU.
// A libFuzzer target calls it and aborts on a fault; the table test runs it
// over fixed seeds. Needs no test framework.
#ifndef CARDN5_TESTS_MBU_BLOCK_FUZZ_H
#define CARDN5_TESTS_MBU_BLOCK_FUZZ_H

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "hwinfo32_ext.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "mbu_model.h"

namespace mbutest {

struct FuzzOutcome {
  std::string fault;  // empty: every check held
  int32_t written = 0;
};

inline FuzzOutcome MbuBlockFuzzOne(const uint8_t* data, size_t size) {
  // The image words any accepted record may point at: a bank's worth.
  static const std::vector<uint16_t> s_image = [] {
    std::vector<uint16_t> v(0x100000);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint16_t>(i * 0x9E37u + (i >> 16));
    return v;
  }();
  uint32_t f[14] = {};
  std::memcpy(f, data, std::min(size, sizeof f));
  MBU_BLOCK_INFO b{};
  std::memcpy(&b.dwPixelX, &f[2], sizeof(uint32_t) * 11);  // fields 3 to 13
  b.pwData = (f[13] & 0x100) ? nullptr : const_cast<uint16_t*>(s_image.data());
  const int32_t emulation = (f[13] >> 4) & 1;

  HWIOX_Reset();
  HWINFOX_SetEcho(0);
  sim::Machine machine;
  machine.Attach();
  // Cards of 16M pixels: a smaller one may overflow with a block the
  // library rightly lets through.
  static const uint32_t kIds[4] = {1, 3, 5, 6};
  sim::MbuModel& mbu = machine.Add<sim::MbuModel>(kIds[f[13] & 3]);
  mbu.set_engrave_ns(1000);
  CARDN5_CreateCardObjects();
  MBUN5_InitPowerOn();
  CARDN5_SetEmulation(emulation);
  MBUN5_InitAction(0, 0);
  ERRLOGX_SetCapture(1);
  ERRLOGX_ClearCapture();

  FuzzOutcome out;
  out.written = MBUN5_WriteBlock(b);
  const uint64_t pixels = static_cast<uint64_t>(b.dwPixelX) * b.dwPixelY;
  const uint32_t words = mbu.address_counter();
  if (out.written != 0 && out.written != 1) out.fault = "WriteBlock result neither 0 nor 1";
  if (!out.written && words != 0) out.fault = "a refused block reached the board";
  if (!out.written && ERRLOGX_CaptureCount() < 1) out.fault = "a block refused without a log line";
  if (out.written && (pixels > 0x1000000 || (b.dwPixelX != 4 && b.dwPixelX % 16 != 0)))
    out.fault = "a block beyond the checks was accepted";
  if (out.written && !std::equal(s_image.begin(), s_image.begin() + words, mbu.bank(0).begin()))
    out.fault = "the board holds other words than the block";
  // An empty block is written but has nothing to trigger.
  if (out.written && (emulation || words != 0) && MBUN5_TriggerBlock(b) == 1 && b.dwAdvanceMode > 2)
    out.fault = "a trigger with an unknown advance mode was accepted";
  for (const std::string& v : machine.Violations()) out.fault = "violation: " + v;

  ERRLOGX_SetCapture(0);
  CARDN5_SetEmulation(0);
  CARDN5_DeleteCardObjects();
  machine.Detach();
  return out;
}

}  // namespace mbutest

#endif

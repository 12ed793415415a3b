// Block records of any content into MBUN5_WriteBlock and MBUN5_TriggerBlock
// on a fresh simulated MBU: nothing written past a bank, no oversized or
// unknown-mode block accepted, no protocol violation, no hang. Input: fields
// 3 to 13 of the record and a control word (bit 0: a card of 8M pixels,
// bit 4: emulated, bit 8: no data).
#include "fuzz_check.h"
#include "hwinfo32_ext.h"
#include "mbu_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint16_t> s_image(0x100000, 0xA5C3);  // what any accepted record may point at
  ERRLOGX_SetLogPath("");
  uint32_t f[12] = {};
  if (size != 0) std::memcpy(f, data, std::min(size, sizeof f));  // an empty input may come as null
  MBU_BLOCK_INFO b{};
  std::memcpy(&b.dwPixelX, f, sizeof(uint32_t) * 11);
  b.pwData = (f[11] & 0x100) ? nullptr : const_cast<uint16_t*>(s_image.data());
  HWINFOX_SetEcho(0);
  sim::Machine machine;
  machine.Attach();
  // A card of 16M pixels: a smaller one overflows with blocks the library rightly lets through.
  sim::MbuModel& mbu = machine.Add<sim::MbuModel>((f[11] & 1) ? 1 : 3);
  mbu.set_engrave_ns(1000);
  CARDN5_CreateCardObjects();
  MBUN5_InitPowerOn();
  CARDN5_SetEmulation((f[11] >> 4) & 1);
  MBUN5_InitAction(0, 0);
  const int32_t written = MBUN5_WriteBlock(b);
  const uint32_t words = mbu.address_counter();
  FUZZ_CHECK(written || words == 0);  // a refused block never reaches the board
  FUZZ_CHECK(!written || static_cast<uint64_t>(b.dwPixelX) * b.dwPixelY <= 0x1000000);
  FUZZ_CHECK(std::equal(s_image.begin(), s_image.begin() + words, mbu.bank(0).begin()));
  // An empty block is written, but the board has nothing to take over; an
  // unknown advance mode is never triggered.
  if (written && (words != 0 || (f[11] & 0x10))) FUZZ_CHECK(MBUN5_TriggerBlock(b) == 0 || b.dwAdvanceMode <= 2);
  for (const std::string& v : machine.Violations()) fuzzcheck::Fail(("violation: " + v).c_str());
  CARDN5_SetEmulation(0);
  CARDN5_DeleteCardObjects();
  return 0;
}

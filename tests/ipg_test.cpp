// The pulse generator's registers, checked at the ports and by the
// simulated board decoding its pulse rate from them.
#include <gtest/gtest.h>

#include "epu_support.h"

namespace {

using eputest::EpuTest;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

Writes Program(uint16_t r0, uint16_t r1, bool t2, uint16_t r2, uint16_t r3, uint16_t r4) {
  Writes w = {{0x0300, 0}, {0x0700, r0}, {0x0300, 1}, {0x0700, r1}, {0x0300, 2}};
  if (t2) w.push_back({0x0700, r2});
  w.insert(w.end(), {{0x0300, 3}, {0x0700, r3}, {0x0300, 4}, {0x0700, r4}});
  return w;
}

TEST_F(EpuTest, IpgRegistersForThePulsesPerPeriod) {
  EXPECT_EQ(1, IPGN5_InitPowerOn());  // touches nothing
  EXPECT_EQ(0u, machine.trace().size());
  const std::pair<uint32_t, Writes> cases[] = {
      {6400, Program(0, 0, false, 0, 0, 0x9CCE)},                    // Q 100, no remainder
      {5120, Program(0, 0, false, 0, 0, 0x83C1)},                    // Q 125
      {6300, Program(0, 0xFF53, true, 0x4A73, 0x66, 0x9BCD)},        // T1 173, T2 636,301
      {6399, Program(0, 0, true, 0xE700, 0x4F, 0x9CCE)},             // remainder 100: T2 6400 alone
      {25602, Program(0xFFE6, 0xFD6F, true, 0x9FCF, 0x76, 0xE8F4)},  // T0 26, T1 657, T2 614,449
  };
  for (const auto& [pulses, writes] : cases) {
    SCOPED_TRACE(pulses);
    Forget();
    EXPECT_EQ(1, IPGN5_SetIPGPulses(pulses));
    EXPECT_EQ(writes, machine.trace().AllWrites());
    EXPECT_DOUBLE_EQ(static_cast<double>(pulses), ipg->pulses_per_period());
  }
}

}  // namespace

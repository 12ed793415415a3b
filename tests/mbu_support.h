// What the MBU tests share: a machine with the simulated MBU, the boards
// created, the MBU powered on (jumper ID 3, a TRIM card) and a job started.
#ifndef CARDN5_TESTS_MBU_SUPPORT_H
#define CARDN5_TESTS_MBU_SUPPORT_H

#include <stdint.h>

#include <cstring>
#include <string>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "mbu_model.h"
#include "test_support.h"
#include "trace.h"

inline bool operator==(const MBU_CARD_INFO& a, const MBU_CARD_INFO& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

namespace mbutest {

using Writes = std::vector<std::pair<uint16_t, uint16_t>>;
using Lines = std::vector<std::string>;

// Words that differ from block to block and from word to word.
inline std::vector<uint16_t> Image(uint32_t words, uint16_t seed) {
  std::vector<uint16_t> v(words);
  for (uint32_t i = 0; i < words; ++i) v[i] = static_cast<uint16_t>(seed * 0x9E37u + i * 0x3Bu + (i >> 16));
  return v;
}

// A one-bit block of X x Y pixels over the words.
inline MBU_BLOCK_INFO Block(std::vector<uint16_t>& words, uint32_t x, uint32_t y, uint32_t zero = 0, uint32_t mode = 0,
                            uint32_t steps = 10) {
  return MBU_BLOCK_INFO{0, words.data(), x, y, 0, steps, 0, 0, zero, 0, mode, 0, 0};
}

// The register shadows live for the whole process: each test starts from
// those of a fresh load.
class MbuTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    for (CPortRegister* r : std::vector<CPortRegister*>{&g_MBUStatus, &g_MBUDivider, &g_MBUAMUIndex}) r->SetValue(0);
    mbu = &machine.Add<sim::MbuModel>(3);
    ASSERT_EQ(1, MBUN5_InitPowerOn());
    ASSERT_EQ(1, MBUN5_InitAction(0, 0));
    machine.trace().Clear();
    log.Clear();
  }
  void WriteAndTrigger(const MBU_BLOCK_INFO& b) {
    ASSERT_EQ(1, MBUN5_WriteBlock(b)) << log.Dump();
    ASSERT_EQ(1, MBUN5_TriggerBlock(b)) << log.Dump();
  }
  sim::TraceView Since(size_t mark) { return machine.trace().Since(mark); }

  sim::MbuModel* mbu = nullptr;
};

}  // namespace mbutest

#endif

// The simulated MCM driven by hand from the PC's side: the handshake steps
// out of turn and the telegrams that do not add up, which the library never
// makes and which the MCM must see for every other test to mean anything.
#include <gtest/gtest.h>

#include "hwio32.h"
#include "iod_link_fixture.h"

namespace {

using namespace iodtest;

// Steps that are no writes: 20 us pass; a pause that starts a new telegram;
// the time an N6 telegram that may still grow is given to end.
constexpr uint16_t kWait = 0, kGap = 1, kEnd = 2;
constexpr uint64_t kPausesNs[] = {20000, IodModel::kResyncNs + kMs, IodModel::kShortEndNs};

// The PC's side of a whole telegram.
std::vector<uint16_t> Sent(const std::vector<uint8_t>& bytes) {
  std::vector<uint16_t> steps;
  for (uint16_t b : bytes)
    steps.insert(steps.end(), {0xFFFF, uint16_t(0xFF00 | b), uint16_t(0xFE00 | b), kWait, uint16_t(0xFF00 | b), kWait});
  steps.push_back(kEnd);
  return steps;
}

TEST_F(IodTest, TheMcmSeesStepsOutOfTurnAndTelegramsThatDoNotAddUp) {
  // Whether the MCM strobes out a byte first; the PC's steps; what the MCM
  // must see. The good telegrams are every other test's. Each telegram
  // ends; a step out of turn may leave one open, which the next row's byte
  // breaks off.
  using Row = std::tuple<bool, std::vector<uint16_t>, const char*>;
  const Row rows[] = {
      {false, Sent({0x05, 0x41, 0x41, 0x41, 0xC4, 0x00}), "does not add up"},
      {false, Sent({0x85, 0x41, 0x41, 0x41, 0xC3, 0x00}), "does not add up"},  // not masked
      {false, {0xFF05, 0xFE05, kWait, 0xFF05, kGap, 0xFF41, 0xFE41}, "broken off after 1 bytes"},
      {false, {0x0341}, "bits 10-15 must be 1"},
      {false, {0xFF41, 0xFC41}, "strobe and acknowledge low together"},
      {false, {0xFF41, 0xFE42}, "data changed from 0x41 to 0x42 with its strobe low"},
      {false, {0xFF41, 0xFE41, 0xFF41}, "withdrew its byte before the MCM took it"},
      {false, {0xFF41, 0xFE41, kWait, 0xFF41, 0xFF42, 0xFE42}, "offered a byte before the MCM was ready"},
      {false, {0xFDFF}, "acknowledged with no byte offered"},
      {true, {kWait, 0xFDFF, 0xFFFF}, "released its acknowledge before the MCM released its strobe"},
  };
  for (const auto& [answering, steps, violation] : rows) {
    SCOPED_TRACE(violation);
    if (answering) mcm->SendRaw({0x11});
    for (uint16_t step : steps) {
      if (step > kEnd) HWIO_Hout(iod::kOutPort, step);
      if (step <= kEnd) machine.AdvanceNs(kPausesNs[step]);
    }
    const std::string seen = testing::PrintToString(machine.Violations());
    EXPECT_NE(std::string::npos, seen.find(violation)) << seen;
    // Back to idle, long enough for a new telegram to start.
    HWIO_Hout(iod::kOutPort, 0xFFFF);
    machine.AdvanceNs(IodModel::kResyncNs + kMs);
    machine.ClearViolations();
  }
}

}  // namespace

// The simulated scanner front end on its own: where its alignments end, its
// noise, and the protocol it enforces.
#include "cse_model.h"

#include <gtest/gtest.h>

#include <vector>

#include "cse_regs.h"
#include "hwio32.h"
#include "test_support.h"

namespace {

using sim::CseModel;

// Searched as the alignments search: offsets at the preset gain 100 on the
// black reference, then gains on the white one, against the standard targets.
TEST(CseFrontEnd, AlignmentsEndAtMidRangeSettings) {
  const int wantOffset[3] = {144, 138, 150}, wantGain[3] = {99, 91, 109};
  for (int c = 0; c < 3; ++c) {
    SCOPED_TRACE(c);
    int offset = 0, gain = 0;
    while (offset < 255 && CseModel::Level(c, CseModel::kBlackReference.red, true, offset, 100) > 2) ++offset;
    while (gain < 255 && CseModel::Level(c, CseModel::kWhiteReference.red, true, offset, gain) < 251) ++gain;
    EXPECT_EQ(wantOffset[c], offset);
    EXPECT_EQ(wantGain[c], gain);
  }
}

// Red and green of n readings on a machine of their own, lamp off, settings 0.
std::vector<uint16_t> Readings(uint32_t seed, int n) {
  sim::Machine machine;
  machine.Attach();
  machine.Add<CseModel>().set_noise(seed, 2);
  std::vector<uint16_t> out;
  for (int i = 0; i < n; ++i) out.push_back(static_cast<uint16_t>(HWIO_Hin(cse::kRedGreenPort)));
  return out;
}

// The same values on every build: red 52 and green 50 without noise.
TEST(CseFrontEnd, NoiseRepeatsWithItsSeedOnEveryBuild) {
  const std::vector<uint16_t> a = Readings(7, 6);
  EXPECT_EQ(a, Readings(7, 6));
  EXPECT_EQ((std::vector<uint16_t>{0x3235, 0x3335, 0x3136, 0x3432, 0x3432, 0x3133}), a);
}

using CseModelTest = testsupport::MachineTest;

TEST_F(CseModelTest, AcknowledgeFollowsTheRequestAndViolationsAreSeen) {
  CseModel& cse = machine.Add<CseModel>();
  HWIO_Hout(cse::kHandshakePort, 0x0000);  // start
  EXPECT_FALSE(cse.started());
  machine.AdvanceNs(CseModel::kAckDelayNs);
  EXPECT_TRUE(cse.started());
  HWIO_Hout(cse::kRedDACPort, 40);
  HWIO_Hout(cse::kHandshakePort, 0x0100);  // stop
  machine.AdvanceNs(CseModel::kAckDelayNs);
  HWIO_Hout(cse::kGreenDACPort, 41);
  int32_t result = 1;
  const uint32_t args[7] = {};
  cse.PollVorschub(args, result);
  EXPECT_EQ(0, result);
  // start and stop pulses of the lamp: too short, long enough, too short
  const uint64_t pulses[][3] = {{8, 1000000, 0}, {8, 100000000, 1}, {0x80, 99000000, 1}};
  for (const auto& p : pulses) {
    HWIO_Hout(cse::kControlPort, static_cast<uint16_t>(p[0]));
    machine.AdvanceNs(p[1]);
    HWIO_Hout(cse::kControlPort, 0);
    EXPECT_EQ(p[2] == 1, cse.lamp_on()) << p[1];
  }
  const std::vector<std::string> v = machine.Violations();
  ASSERT_EQ(4u, v.size());
  EXPECT_NE(std::string::npos, v[0].find("green gain set to 41 while the scan sequence is stopped"));
  EXPECT_NE(std::string::npos, v[1].find("scan row requested while the scan sequence is stopped"));
  EXPECT_NE(std::string::npos, v[2].find("xenon start pulse of 1001 us"));
  EXPECT_NE(std::string::npos, v[3].find("xenon stop pulse of 99001 us"));
  machine.ClearViolations();
}

}  // namespace

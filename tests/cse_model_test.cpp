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

TEST(CseFrontEnd, NoiseRepeatsWithItsSeedOnEveryBuild) {
  const std::vector<uint16_t> a = Readings(7, 400);
  EXPECT_EQ(a, Readings(7, 400));
  EXPECT_NE(a, Readings(8, 400));
  EXPECT_EQ((std::vector<uint16_t>{0x3235, 0x3335, 0x3136, 0x3432}), std::vector<uint16_t>(a.begin(), a.begin() + 4));
  int sum = 0;
  for (uint16_t v : a) {
    EXPECT_LE(std::abs((v & 0xFF) - 52), 2);  // red without noise: 420 * 32 / 256
    sum += v & 0xFF;
  }
  EXPECT_NEAR(52.0, sum / 400.0, 0.3);
}

class CseModelTest : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    cse = &machine.Add<CseModel>();
  }
  bool Acknowledged() { return (HWIO_Hin(cse::kHandshakePort) & 0x0100) == 0; }
  CseModel* cse = nullptr;
};

TEST_F(CseModelTest, AcknowledgeBusyLampAndViolations) {
  HWIO_Hout(cse::kHandshakePort, 0x0000);
  EXPECT_FALSE(Acknowledged());
  machine.AdvanceNs(CseModel::kAckDelayNs);
  EXPECT_TRUE(Acknowledged());
  HWIO_Hout(cse::kRedDACPort, 40);  // started: no violation
  HWIO_Hout(cse::kHandshakePort, 0x0100);
  machine.AdvanceNs(CseModel::kAckDelayNs);
  EXPECT_FALSE(cse->started());
  HWIO_Hout(cse::kGreenDACPort, 41);
  int32_t result = 1;
  const uint32_t args[7] = {};
  cse->PollVorschub(args, result);
  EXPECT_EQ(0, result);
  EXPECT_EQ(40, cse->gain(CseModel::kRed));

  // a conversion of 2 us at the start of every 50 us
  machine.AdvanceNs(CseModel::kConversionPeriodNs - machine.NowNs() % CseModel::kConversionPeriodNs);
  EXPECT_EQ(1, HWIO_Hin(cse::kHandshakePort) & 1);
  EXPECT_EQ(0, HWIO_Hin(cse::kHandshakePort) & 1);

  // the lamp wants pulses of 100 ms
  const struct {
    uint16_t bit;
    uint64_t ns;
    bool lit;
  } pulses[] = {
      {0x0008, 1000000, false}, {0x0008, 100000000, true}, {0x0080, 99000000, true}, {0x0080, 200000000, false}};
  for (const auto& p : pulses) {
    HWIO_Hout(cse::kControlPort, p.bit);
    machine.AdvanceNs(p.ns);
    HWIO_Hout(cse::kControlPort, 0);
    EXPECT_EQ(p.lit, cse->lamp_on()) << p.ns;
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

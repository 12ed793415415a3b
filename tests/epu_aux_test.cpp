// EPU auxiliary controls and measurements against the simulated board.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "epu_support.h"

namespace {

using epu::Status;
using eputest::EpuTest;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

TEST_F(EpuTest, ErrorLedOnlyForOne) {
  for (const auto& [value, on] : {std::pair{1, true}, {2, false}, {1, true}, {0, false}, {-1, false}, {0x101, false}}) {
    EXPECT_NE(0, EPUN5_SetErrorLED(value));
    EXPECT_EQ(on, epu->error_led()) << value;
  }
}

// The output word is shared with the focusing head and the scanner drive:
// the EPU's own bits change only their bit, the word's copy is its shadow.
// The laser diode writes the output word first, then the whole laser pulse
// word; the explicit pulse keeps the rest of that word.
TEST_F(EpuTest, OutputWordAndLaserPulseWord) {
  PrepareJob();  // laser pulse ratio 150: 0x8096
  auto speed0 = [] { return EPUN5_SetSMSpeed(0); };
  const struct {
    const char* step;
    std::function<int32_t()> call;
    Writes writes;
    uint16_t okOutput;
  } steps[] = {
      {"SetOKOutput(0x12345)", [] { return EPUN5_SetOKOutput(0x12345); }, {{0xAB00, 0x2345}}, 0x2345},
      {"explicit pulse on", [] { return EPUN5_SetLaserpulsExplizit(1); }, {{0xBB00, 0xC096}}, 0x2345},
      {"explicit pulse off", [] { return EPUN5_SetLaserpulsExplizit(0); }, {{0xBB00, 0x8096}}, 0x2345},
      {"SetOKOutput(0x0014)", [] { return EPUN5_SetOKOutput(0x0014); }, {{0xAB00, 0x0014}}, 0x0014},
      {"laser diode on", [] { return EPUN5_TurnLaserdiodeOn(1); }, {{0xAB00, 0x0016}, {0xBB00, 0x4000}}, 0x0016},
      {"speed 0", speed0, {{0xAB00, 0x001E}, {0xC700, 13}, {0xCB00, 0x10}, {0xC700, 9}, {0xCB00, 8}}, 0x001E},
      {"laser diode off", [] { return EPUN5_TurnLaserdiodeOn(0); }, {{0xAB00, 0x001C}, {0xBB00, 0x0000}}, 0x001C},
      {"explicit pulse on", [] { return EPUN5_SetLaserpulsExplizit(1); }, {{0xBB00, 0x4000}}, 0x001C},
      {"laser diode on (-1)", [] { return EPUN5_TurnLaserdiodeOn(-1); }, {{0xAB00, 0x001E}, {0xBB00, 0x4000}}, 0x001E},
      {"SetOKOutput(0)", [] { return EPUN5_SetOKOutput(0); }, {{0xAB00, 0x0000}}, 0x0000},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    Forget();
    EXPECT_NE(0, s.call());
    EXPECT_EQ(s.writes, machine.trace().AllWrites());
    EXPECT_EQ(s.okOutput, EPUN5_GetOKOutput());
    EXPECT_EQ(s.okOutput, epu->ok_output());
  }
}

TEST_F(EpuTest, DacCodesAreTruncatedAndNotClamped) {
  const std::tuple<double, uint16_t, const char*> cases[] = {
      {2.5, 1023, "2.50"},  // 1023.75
      {10.0, 4095, "10.00"},
      {0.0, 0, "0.00"},
      {-1.0, 0xFE67, "-1.00"},   // -409 in 16 bits
      {200.0, 16364, "200.00"},  // 81,900 in 16 bits
      {std::numeric_limits<double>::quiet_NaN(), 0, "nan"},
  };
  for (const auto& [volts, code, line] : cases) {
    log.Clear();
    EXPECT_EQ(1, EPUN5_SetDAC0(volts));
    EXPECT_EQ(1, EPUN5_SetDAC1(volts));
    EXPECT_EQ((std::pair{code, code}), (std::pair{epu->reg(epu::kDAC0Port), epu->reg(epu::kDAC1Port)})) << line;
    EXPECT_EQ((std::vector<std::string>{std::string("CEPUCard::SetDAC0 ") + line + " V \n",
                                        std::string("CEPUCard::SetDAC1 ") + line + " V \n"}),
              log.Lines());
  }
}

// The direction is written between two 1 ms pauses; while emulated only the
// shadow changes. Each call counts (the count is logged at deletion).
TEST_F(EpuTest, StepperDirectionCountsAndIsLoggedAtDeletion) {
  EPUN5_SetSMDirection(0);
  EXPECT_EQ(0x0000, epu->control());
  EPUN5_SetSMDirection(1);
  EXPECT_EQ(0x0200, epu->control());
  EXPECT_EQ(4u, machine.trace().CountDelays(1000));
  CARDN5_SetEmulation(2);
  EPUN5_SetSMDirection(0);
  CARDN5_SetEmulation(0);
  EXPECT_EQ(0x0200, epu->control());
  EPUN5_SetSMAutoMan(0);  // the shadow changed while emulated
  EXPECT_EQ(0x0000, epu->control());
  EXPECT_EQ(3, g_pEPU->m_dwSetSMDirectionCnt);
}

TEST_F(EpuTest, AutoManualStepsAndTheStepPort) {
  EXPECT_NE(0, EPUN5_SetSMAutoMan(1));
  EXPECT_EQ(0x0100, epu->control());
  EXPECT_NE(0, EPUN5_SetSMAutoMan(0));
  EXPECT_EQ(0x0000, epu->control());
  EXPECT_NE(0, EPUN5_OneSMStep());
  EXPECT_NE(0, EPUN5_OneSMStep());
  EXPECT_EQ((std::vector<uint16_t>{0, 0}), machine.trace().Writes(epu::kSMStepPort));
  CARDN5_PortOut(EPUN5_GetSMStepAdresse(), 0x5555);  // a host that steps through the port itself
  EXPECT_EQ(3u, epu->steps());
}

TEST_F(EpuTest, FinpPllAndEncoderReadTheBoardNow) {
  epu->set_finp(0xA5C3);
  EXPECT_EQ(0xA5C3, EPUN5_GetFINP());
  epu->set_finp_bit(0, false);
  epu->set_finp_bit(3, true);
  EXPECT_EQ(0xA5CA, EPUN5_GetFINP());

  EXPECT_EQ(1, EPUN5_IsPLLInRange());
  epu->set_pll_locked(false);
  EXPECT_EQ(0, EPUN5_IsPLLInRange());
  epu->ScriptBit(Status::kPLLInRange, {true});
  EXPECT_EQ(1, EPUN5_IsPLLInRange());

  epu->set_encoder_pulses_per_turn(100);
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ((epu->StatusNow() >> static_cast<int>(Status::kEncoder)) & 1, EPUN5_TestEncoder());
    machine.AdvanceNs(1700);
  }
}

// Whole encoder pulses that start at or after the index falls and end
// before it rises, read by the processor with interrupts held off.
TEST_F(EpuTest, EncoderPulsesBetweenIndexFallAndRise) {
  for (uint32_t perTurn : {100u, 50u, 37u}) {
    SCOPED_TRACE(perTurn);
    epu->set_encoder_pulses_per_turn(perTurn);
    Forget();
    const double period = 1000000.0 / perTurn;  // a drum turn of 1 ms, index high for 50 us
    EXPECT_EQ(static_cast<uint16_t>(perTurn - std::ceil(50000.0 / period)), EPUN5_GetEncoderPulses());
    EXPECT_EQ(1u, machine.trace().All().HoldOffs());
    EXPECT_TRUE(machine.trace().All().OnlyDirectReadsInterruptsRestored());
  }
}

// The count covers the pulses from the rising edge of the index pulse on;
// the index is looked at only once 100 pulses are counted: with more than
// 100 pulses inside the index pulse the count stops at exactly 100, with
// fewer it runs on to the next rising edge.
TEST_F(EpuTest, IpgPulsesCountWhatThePulseGeneratorWasProgrammedFor) {
  const uint64_t period = 1000000;  // one drum turn; 640,000 IPG counts at 20 MHz are 32 ms
  const struct {
    uint32_t pulses;
    uint64_t highNs;
    double count, tolerance;
  } cases[] = {
      {6400, 50000, 200, 1},     {5120, 50000, 160, 1},
      {6300, 50000, 196.875, 1}, {8000, 600000, 100, 0},  // 150 pulses while the index is high
      {8000, 420000, 100, 0},                             // 105
      {8000, 300000, 250, 0},                             // 75: the count runs over the whole turn, 1 ms / 4 us
      {8000, 50000, 250, 0},
  };
  ipg->set_clock_hz(20e6);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pulses << " pulses, index high " << c.highNs);
    ASSERT_EQ(1, IPGN5_SetIPGPulses(c.pulses));
    epu->set_index_high_ns(c.highNs);
    // start outside the index pulse, or the first window is cut short
    machine.AdvanceNs(period - machine.NowNs() % period + c.highNs + 100000);
    Forget();
    EXPECT_NEAR(c.count, EPUN5_GetIPGPulses(), c.tolerance);
    EXPECT_EQ(1u, machine.trace().All().HoldOffs());
    EXPECT_TRUE(machine.trace().All().OnlyDirectReadsInterruptsRestored());
  }
}

}  // namespace

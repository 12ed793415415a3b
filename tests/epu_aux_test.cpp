// EPU auxiliary controls and measurements against the simulated board.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "epu_support.h"
#include "port_register.h"

namespace {

using eputest::DefaultJob;
using eputest::EpuTest;
using sim::EpuModel;

TEST_F(EpuTest, ErrorLedOnlyForOne) {
  const struct {
    int32_t value;
    bool on;
  } cases[] = {{1, true}, {2, false}, {1, true}, {0, false}, {-1, false}, {0x101, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_NE(0, EPUN5_SetErrorLED(c.value));
    EXPECT_EQ(c.on, epu->error_led());
  }
}

TEST_F(EpuTest, SpeedSelectorDrivesOutputBit3AndIndexedRegister9) {
  EPUN5_SetSWShutterOpen(1);
  EPUN5_SetOKOutput(0x0001);
  machine.trace().Clear();

  EXPECT_EQ(10, EPUN5_SetSMSpeed(0));  // what the closing 10 us pause returned
  EXPECT_EQ(0x0009, epu->ok_output());
  EXPECT_EQ(0x000A, epu->indexed(9));  // shutter flag kept

  EXPECT_EQ(10, EPUN5_SetSMSpeed(5));
  EXPECT_EQ(0x0001, epu->ok_output());
  EXPECT_EQ(0x0002, epu->indexed(9));
  EXPECT_EQ(2u, CountDelays(10));
}

TEST_F(EpuTest, OutputWordIsSharedAndReadFromItsShadow) {
  EXPECT_NE(0, EPUN5_SetOKOutput(0x12345));
  EXPECT_EQ(0x2345, epu->ok_output());
  EXPECT_EQ(0x2345, EPUN5_GetOKOutput());

  // the focusing head's bits 2 and 4, then the EPU's own laser diode and speed bits
  EPUN5_SetOKOutput(0x0014);
  EXPECT_NE(0, EPUN5_TurnLaserdiodeOn(1));
  EXPECT_EQ(0x0016, EPUN5_GetOKOutput());
  EXPECT_EQ(0x4000, epu->reg(EpuModel::kLaserPulse));
  EPUN5_SetSMSpeed(0);
  EXPECT_EQ(0x001E, EPUN5_GetOKOutput());
  EXPECT_NE(0, EPUN5_TurnLaserdiodeOn(0));
  EXPECT_EQ(0x001C, EPUN5_GetOKOutput());
  EXPECT_EQ(0x0000, epu->reg(EpuModel::kLaserPulse));
  EPUN5_SetOKOutput(0);  // replaces every bit, the EPU's too
  EXPECT_EQ(0x0000, EPUN5_GetOKOutput());
  EXPECT_EQ(0u, machine.trace().ReadCount(EpuModel::kOKOutput));

  EPUN5_TurnLaserdiodeOn(1);
  EXPECT_EQ(0x0002, EPUN5_GetOKOutput());
  EXPECT_EQ(0x0002, epu->ok_output());
}

// The output word first, then the laser pulse word, each written once.
TEST_F(EpuTest, LaserDiodeWritesTheOutputWordBeforeTheLaserPulseWord) {
  using Writes = std::vector<std::pair<uint16_t, uint16_t>>;
  EPUN5_SetOKOutput(0x0030);
  const struct {
    int32_t on;
    Writes writes;
  } cases[] = {
      {1, {{0xAB00, 0x0032}, {0xBB00, 0x4000}}},
      {0, {{0xAB00, 0x0030}, {0xBB00, 0x0000}}},
      {-1, {{0xAB00, 0x0032}, {0xBB00, 0x4000}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.on);
    machine.trace().Clear();
    EXPECT_NE(0, EPUN5_TurnLaserdiodeOn(c.on));
    EXPECT_EQ(c.writes, machine.trace().AllWrites());
  }
}

TEST_F(EpuTest, LaserDiodeReplacesThePulseRatioAndTheExplicitPulseKeepsIt) {
  PrepareJob(DefaultJob());  // ratio 150
  EXPECT_NE(0, EPUN5_SetLaserpulsExplizit(1));
  EXPECT_EQ(0xC096, epu->reg(EpuModel::kLaserPulse));
  EXPECT_NE(0, EPUN5_SetLaserpulsExplizit(0));
  EXPECT_EQ(0x8096, epu->reg(EpuModel::kLaserPulse));
  EPUN5_TurnLaserdiodeOn(0);
  EXPECT_EQ(0x0000, epu->reg(EpuModel::kLaserPulse));
  EPUN5_SetLaserpulsExplizit(1);
  EXPECT_EQ(0x4000, epu->reg(EpuModel::kLaserPulse));
}

TEST_F(EpuTest, DacCodesAreTruncatedAndNotClamped) {
  const struct {
    double volts;
    uint16_t code;
    const char* line;
  } cases[] = {
      {2.5, 1023, "2.50"},  // 1023.75
      {10.0, 4095, "10.00"},
      {0.0, 0, "0.00"},
      {-1.0, 0xFE67, "-1.00"},   // -409 in 16 bits
      {200.0, 16364, "200.00"},  // 81,900 in 16 bits
      {std::numeric_limits<double>::quiet_NaN(), 0, "nan"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    log.Clear();
    EXPECT_EQ(1, EPUN5_SetDAC0(c.volts));
    EXPECT_EQ(1, EPUN5_SetDAC1(c.volts));
    EXPECT_EQ(c.code, epu->reg(EpuModel::kDAC0));
    EXPECT_EQ(c.code, epu->reg(EpuModel::kDAC1));
    const std::vector<std::string> lines = {std::string("CEPUCard::SetDAC0 ") + c.line + " V \n",
                                            std::string("CEPUCard::SetDAC1 ") + c.line + " V \n"};
    EXPECT_EQ(lines, log.Lines());
  }
}

TEST_F(EpuTest, StepperDirectionCountsAndIsLoggedAtDeletion) {
  EPUN5_SetSMDirection(0);
  EXPECT_EQ(0x0000, epu->control());
  EPUN5_SetSMDirection(1);
  EXPECT_EQ(0x0200, epu->control());
  EXPECT_EQ(4u, CountDelays(1000));

  // any non-zero emulation flag
  for (int32_t emulation : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    EPUN5_SetSMAutoMan(0);
    EPUN5_SetSMDirection(1);
    CARDN5_SetEmulation(emulation);
    machine.trace().Clear();
    EPUN5_SetSMDirection(0);
    EXPECT_TRUE(machine.trace().entries().empty());  // not even an emulated write
    CARDN5_SetEmulation(0);
    EXPECT_EQ(0x0200, epu->control());
    EPUN5_SetSMAutoMan(0);  // the shadow changed while emulated
    EXPECT_EQ(0x0000, epu->control());
  }

  log.Clear();
  CARDN5_DeleteCardObjects();
  EXPECT_EQ(std::vector<std::string>{"CARDN532 EPU SetSMDirectionCnt 6 \n"}, log.Lines());
}

TEST_F(EpuTest, AutoManualStepsAndTheStepPort) {
  EXPECT_NE(0, EPUN5_SetSMAutoMan(1));
  EXPECT_EQ(0x0100, epu->control());
  EXPECT_NE(0, EPUN5_SetSMAutoMan(0));
  EXPECT_EQ(0x0000, epu->control());

  EXPECT_NE(0, EPUN5_OneSMStep());
  EXPECT_NE(0, EPUN5_OneSMStep());
  EXPECT_EQ(2u, epu->steps());
  EXPECT_EQ((std::vector<uint16_t>{0, 0}), machine.trace().Writes(EpuModel::kSMStep));
  // a host that steps through the port itself
  CARDN5_PortOut(EPUN5_GetSMStepAdresse(), 0x5555);
  EXPECT_EQ(3u, epu->steps());
}

TEST_F(EpuTest, FinpReadDoesNotDisturbTheControlWord) {
  EPUN5_SetErrorLED(1);
  epu->set_finp(0xA5C3);
  EXPECT_EQ(0xA5C3, EPUN5_GetFINP());
  epu->set_finp_bit(0, false);
  epu->set_finp_bit(3, true);
  EXPECT_EQ(0xA5CA, EPUN5_GetFINP());
  EPUN5_SetErrorLED(0);
  EXPECT_EQ(0x0000, epu->control());
}

TEST_F(EpuTest, PllAndEncoderReadTheStatusNow) {
  EXPECT_EQ(1, EPUN5_IsPLLInRange());
  epu->set_pll_locked(false);
  EXPECT_EQ(0, EPUN5_IsPLLInRange());
  epu->ScriptBit(EpuModel::kPllInRange, {true});
  EXPECT_EQ(1, EPUN5_IsPLLInRange());

  epu->set_encoder_pulses_per_turn(100);
  for (int i = 0; i < 12; ++i) {
    const int32_t seen = EPUN5_TestEncoder();
    EXPECT_EQ((epu->StatusNow() >> EpuModel::kEncoder) & 1, seen);
    machine.AdvanceNs(1700);
  }
}

TEST_F(EpuTest, EncoderPulsesBetweenIndexFallAndRise) {
  epu->set_index_period_ns(1000000);
  epu->set_index_high_ns(50000);
  for (uint32_t perTurn : {100u, 50u, 37u}) {
    SCOPED_TRACE(perTurn);
    epu->set_encoder_pulses_per_turn(perTurn);
    machine.trace().Clear();
    const uint16_t shadow = g_EPUStatus.GetValue();
    // whole pulses that start at or after the index falls and end before it rises
    const double period = 1000000.0 / perTurn;
    const uint16_t expected = static_cast<uint16_t>(perTurn - std::ceil(50000.0 / period));
    EXPECT_EQ(expected, EPUN5_GetEncoderPulses());
    EXPECT_EQ(shadow, g_EPUStatus.GetValue());
    const auto& entries = machine.trace().entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(sim::Access::Interrupts, entries.front().kind);
    EXPECT_EQ(0, entries.front().value);
    EXPECT_EQ(sim::Access::Interrupts, entries.back().kind);
    EXPECT_EQ(1, entries.back().value);
    for (const sim::TraceEntry& e : entries) EXPECT_NE(sim::Access::In, e.kind);  // direct reads only
  }
}

TEST_F(EpuTest, IpgPulsesCountWhatThePulseGeneratorWasProgrammedFor) {
  ipg->set_clock_hz(20e6);  // 640,000 counts in 32 ms
  for (uint32_t n : {6400u, 5120u, 6300u}) {
    SCOPED_TRACE(n);
    ASSERT_EQ(1, IPGN5_SetIPGPulses(n));
    // start outside the index pulse, or the first window is cut short
    const uint64_t period = epu->index_period_ns();
    machine.AdvanceNs(period - machine.NowNs() % period + 100000);
    machine.trace().Clear();
    const double perWindow = static_cast<double>(n) * (epu->index_period_ns() / 32e6);
    const uint16_t counted = EPUN5_GetIPGPulses();
    EXPECT_NEAR(perWindow, counted, 1.0);
    const auto& entries = machine.trace().entries();
    EXPECT_EQ(sim::Access::Interrupts, entries.front().kind);
    EXPECT_EQ(sim::Access::Interrupts, entries.back().kind);
  }
}

TEST_F(EpuTest, EmulatedMeasurementsAnswerAtOnce) {
  for (int32_t emulation : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    CARDN5_SetEmulation(emulation);
    machine.trace().Clear();
    const uint64_t start = machine.NowNs();
    eputest::Watchdog watchdog("an emulated measurement");
    EXPECT_EQ(5555, EPUN5_GetEncoderPulses());
    EXPECT_EQ(7777, EPUN5_GetIPGPulses());
    EXPECT_TRUE(machine.trace().entries().empty());
    EXPECT_EQ(start, machine.NowNs());
    CARDN5_SetEmulation(0);
  }
}

// The window is looked at only once 100 pulses are counted: with more than
// 100 pulses inside the index pulse the count stops at exactly 100, with
// fewer it runs on to the next rising edge.
TEST_F(EpuTest, IpgPulsesLookAtTheIndexOnlyAfter100) {
  ipg->set_clock_hz(20e6);
  ASSERT_EQ(1, IPGN5_SetIPGPulses(8000));  // one pulse every 4 us: 2 us high, 2 us low
  ASSERT_DOUBLE_EQ(4000.0, ipg->pulse_period_ns());
  const uint64_t period = 1000000;
  epu->set_index_period_ns(period);
  const struct {
    uint64_t highNs;
    uint16_t count;
  } cases[] = {
      {600000, 100},  // 150 pulses while the index is high
      {500000, 100},  // 125
      {420000, 100},  // 105
      {300000, 250},  // 75: the count runs over the whole turn, 1 ms / 4 us
      {50000, 250},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.highNs);
    epu->set_index_high_ns(c.highNs);
    // start outside the index pulse, or the first window is cut short
    machine.AdvanceNs(period - machine.NowNs() % period + c.highNs + 100000);
    const uint16_t shadow = g_EPUStatus.GetValue();
    machine.trace().Clear();
    EXPECT_EQ(c.count, EPUN5_GetIPGPulses());
    EXPECT_EQ(shadow, g_EPUStatus.GetValue());
    const auto& entries = machine.trace().entries();
    ASSERT_GE(entries.size(), 3u);
    EXPECT_EQ(sim::Access::Interrupts, entries.front().kind);
    EXPECT_EQ(sim::Access::Interrupts, entries.back().kind);
    for (size_t i = 1; i + 1 < entries.size(); ++i) EXPECT_EQ(sim::Access::DirectIn, entries[i].kind);
  }
}

}  // namespace

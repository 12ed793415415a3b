// EPU auxiliary controls and measurements, and the pulse generator's
// registers, against the simulated boards.

#include <cmath>
#include <limits>

#include "epu_support.h"

namespace {

using namespace eputest;
using epu::Status;

// The output word is shared with the focusing head and the scanner drive:
// the EPU's own bits change only their bit, the word's copy is its shadow.
// The laser diode writes the output word first, then the whole laser pulse
// word; the explicit pulse keeps the rest of that word.
TEST_F(EpuTest, OutputWordAndLaserPulseWord) {
  PrepareJob();  // laser pulse ratio 150: 0x8096
  auto speed0 = [] { return EPUN5_SetSMSpeed(0); };
  const std::tuple<const char*, std::function<int32_t()>, Writes, uint16_t> steps[] = {
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
  for (const auto& [step, call, writes, okOutput] : steps) {
    SCOPED_TRACE(step);
    Forget();
    EXPECT_NE(0, call());
    EXPECT_EQ(writes, machine.trace().AllWrites());
    EXPECT_EQ((std::pair<int, int>{okOutput, okOutput}), (std::pair<int, int>{EPUN5_GetOKOutput(), epu->ok_output()}));
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
    EXPECT_EQ((std::pair{1, 1}), (std::pair{EPUN5_SetDAC0(volts), EPUN5_SetDAC1(volts)}));
    EXPECT_EQ((std::pair{code, code}), (std::pair{epu->reg(epu::kDAC0Port), epu->reg(epu::kDAC1Port)})) << line;
    const std::string shown = std::string(line) + " V \n";
    EXPECT_EQ((Lines{"CEPUCard::SetDAC0 " + shown, "CEPUCard::SetDAC1 " + shown}), log.Lines());
  }
}

// The direction is written between two 1 ms pauses; while emulated only the
// shadow changes. Each call counts (the count is logged at deletion).
TEST_F(EpuTest, StepperDirectionAutoManualAndSteps) {
  for (const int32_t direction : {0, 1}) EPUN5_SetSMDirection(direction);
  EXPECT_EQ(4u, machine.trace().CountDelays(1000));
  CARDN5_SetEmulation(2);
  EPUN5_SetSMDirection(0);
  CARDN5_SetEmulation(0);
  // the control word, then SetSMAutoMan(1) and the control word (the shadow
  // changed while emulated), the calls counted, a step
  EXPECT_EQ((std::vector<int>{0x0200, 1, 0x0100, 3, 1}),
            (std::vector<int>{epu->control(), EPUN5_SetSMAutoMan(1) != 0, epu->control(), g_pEPU->m_dwSetSMDirectionCnt,
                              EPUN5_OneSMStep() != 0}));
  CARDN5_PortOut(EPUN5_GetSMStepAdresse(), 0x5555);  // a host that steps through the port itself
  EXPECT_EQ((std::vector<uint16_t>{0, 0x5555}), machine.trace().Writes(epu::kSMStepPort));
  EXPECT_EQ(2u, epu->steps());
}

// Only 1 lights the error LED; the inputs are read from the board now, the
// encoder pulses counted within one turn.
TEST_F(EpuTest, ErrorLedOnlyForOneAndInputsReadNow) {
  for (const auto& [value, on] : {std::pair{1, true}, {2, false}, {1, true}, {0, false}, {-1, false}, {0x101, false}}) {
    EXPECT_NE(0, EPUN5_SetErrorLED(value));
    EXPECT_EQ(on, epu->error_led()) << value;
  }
  epu->set_finp(0xA5C3);
  EXPECT_EQ((std::vector<int>{0xA5C3, 1}), (std::vector<int>{EPUN5_GetFINP(), EPUN5_IsPLLInRange()}));
  epu->set_pll_locked(false);
  EXPECT_EQ(0, EPUN5_IsPLLInRange());

  epu->set_encoder_pulses_per_turn(100);
  for (int i = 0; i < 12; ++i, machine.AdvanceNs(1700))
    EXPECT_EQ((epu->StatusNow() >> static_cast<int>(Status::kEncoder)) & 1, EPUN5_TestEncoder());

  // Whole encoder pulses that start at or after the index falls and end
  // before it rises, read by the processor with interrupts held off.
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
  // pulses, index high; the count and its tolerance
  const std::tuple<uint32_t, uint64_t, double, double> cases[] = {
      {6400, 50000, 200, 1},     {5120, 50000, 160, 1},
      {6300, 50000, 196.875, 1}, {8000, 600000, 100, 0},  // 150 pulses while the index is high
      {8000, 420000, 100, 0},                             // 105
      {8000, 300000, 250, 0},                             // 75: the count runs over the whole turn, 1 ms / 4 us
      {8000, 50000, 250, 0},
  };
  ipg->set_clock_hz(20e6);
  for (const auto& [pulses, highNs, count, tolerance] : cases) {
    SCOPED_TRACE(testing::Message() << pulses << " pulses, index high " << highNs);
    ASSERT_EQ(1, IPGN5_SetIPGPulses(pulses));
    epu->set_index_high_ns(highNs);
    // start outside the index pulse, or the first window is cut short
    machine.AdvanceNs(period - machine.NowNs() % period + highNs + 100000);
    Forget();
    EXPECT_NEAR(count, EPUN5_GetIPGPulses(), tolerance);
    EXPECT_EQ(1u, machine.trace().All().HoldOffs());
    EXPECT_TRUE(machine.trace().All().OnlyDirectReadsInterruptsRestored());
  }
}

// The pulse generator's registers, checked at the ports and by the
// simulated board decoding its pulse rate from them.
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
      {0, {}},                                                       // refused: the program before stays
  };
  for (const auto& [pulses, writes] : cases) {
    SCOPED_TRACE(pulses);
    Forget();
    EXPECT_EQ(pulses ? 1 : 0, IPGN5_SetIPGPulses(pulses));
    EXPECT_EQ(writes, machine.trace().AllWrites());
    EXPECT_DOUBLE_EQ(pulses ? pulses : 25602.0, ipg->pulses_per_period());
  }
  // the refusal is logged, and recorded as no error
  EXPECT_EQ(Lines{"IPGN5_SetIPGPulses: 0 pulses refused, IPG unchanged\n"}, log.Lines());
  EXPECT_EQ(0, testsupport::LastError().code);
}

}  // namespace

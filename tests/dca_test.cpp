// DCA board against its simulated model, with the EPU model on the shared
// indexed ports.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "cardN532.h"
#include "dca_model.h"
#include "epu_model.h"
#include "test_support.h"

namespace {

using sim::DcaModel;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class DcaTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    epu = &machine.Add<sim::EpuModel>();
    dca = &machine.Add<DcaModel>();
  }
  sim::EpuModel* epu = nullptr;
  DcaModel* dca = nullptr;
};

TEST_F(DcaTest, PowerOnSequenceSharesTheIndexedPortsWithTheEpu) {
  const std::vector<uint16_t> words = {0x0401, 0x09AA, 0x0A6A, 0x0B55, 0x0CA5, 0x0DAA, 0x0EAA, 0x0FAA, 0x4A1E};
  std::vector<std::string> sequence = {"C700<-0005", "CB00<-0004", "C700<-0001", "CB00<-A000",
                                       "10us",       "C700<-0005", "CB00<-0001", "C700<-0001"};
  for (uint16_t w : words) {
    char text[16];
    std::snprintf(text, sizeof text, "CB00<-%04X", w);
    sequence.insert(sequence.end(), {text, "10us"});
  }
  ASSERT_EQ(1, EPUN5_InitPowerOn(0));
  const size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, DCAN5_InitPowerOn());
  EXPECT_EQ(sequence, machine.trace().Since(mark).WritesAndDelays());
  EXPECT_EQ(words, dca->setup_words());

  // The EPU's power-on and speed words after the DCA's: each model keeps its own.
  ASSERT_EQ(1, EPUN5_InitPowerOn(0));
  DCAN5_SetLENZESpeedVoltage(5.0);
  EPUN5_SetSMSpeed(0);
  EXPECT_EQ(words, dca->setup_words());
  EXPECT_EQ(1u, dca->power_ons());
  EXPECT_EQ(2047, dca->lenze_code12());
  EXPECT_EQ(0x0008, epu->indexed(9));
  EXPECT_EQ(0x0008, epu->ok_output());
}

TEST_F(DcaTest, VoltagesAreClampedAndWrittenAsCodes) {
  using Code = uint16_t (DcaModel::*)() const;
  const struct {
    const char* name;
    void (*set)(double);
    double volts;
    Code code;
    uint16_t expected;
  } rows[] = {
      {"LE 2.5", [](double v) { EXPECT_EQ(1, DCAN5_SetLEFokusspannung(v)); }, 2.5, &DcaModel::le_focus_code, 63},
      {"LE 12", [](double v) { DCAN5_SetLEFokusspannung(v); }, 12.0, &DcaModel::le_focus_code, 255},
      {"LE NaN", [](double v) { DCAN5_SetLEFokusspannung(v); }, kNaN, &DcaModel::le_focus_code, 0},
      {"LDK 5", [](double v) { EXPECT_EQ(1, DCAN5_SetLDKFokusspannung(v)); }, 5.0, &DcaModel::ldk_focus_code, 127},
      {"LDK inf", [](double v) { DCAN5_SetLDKFokusspannung(v); }, kInf, &DcaModel::ldk_focus_code, 255},
      {"LDK -1", [](double v) { DCAN5_SetLDKFokusspannung(v); }, -1.0, &DcaModel::ldk_focus_code, 0},
      {"FET 7.3", [](double v) { DCAN5_SetFETSpeedVoltage(v); }, 7.3, &DcaModel::fet_speed_code, 186},
      {"FET -inf", [](double v) { DCAN5_SetFETSpeedVoltage(v); }, -kInf, &DcaModel::fet_speed_code, 0},
      {"LENZE 5", [](double v) { DCAN5_SetLENZESpeedVoltage(v); }, 5.0, &DcaModel::lenze_code12, 2047},
      {"LENZE 5, 8 bits", [](double v) { DCAN5_SetLENZESpeedVoltage(v); }, 5.0, &DcaModel::lenze_code8, 127},
      {"LENZE 10", [](double v) { DCAN5_SetLENZESpeedVoltage(v); }, 10.0, &DcaModel::lenze_code12, 4095},
      {"LENZE 10, 8 bits", [](double v) { DCAN5_SetLENZESpeedVoltage(v); }, 10.0, &DcaModel::lenze_code8, 255},
      {"LENZE NaN", [](double v) { DCAN5_SetLENZESpeedVoltage(v); }, kNaN, &DcaModel::lenze_code12, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    r.set(r.volts);
    EXPECT_EQ(r.expected, (dca->*r.code)());
  }
  // One word, two voltages: each keeps the other's byte.
  DCAN5_SetLENZESpeedVoltage(2.5);
  log.Clear();
  DCAN5_SetLDKFokusspannung(12.0);
  EXPECT_EQ(std::vector<std::string>{"CDCACard::SetLDKFokusspannung 10.00 V \n"}, log.Lines());
  EXPECT_EQ(0xFF3F, machine.LastWritten(0x4B00));
  DCAN5_SetLENZESpeedVoltage(0.0);
  EXPECT_EQ(0xFF00, machine.LastWritten(0x4B00));
}

TEST_F(DcaTest, SensitivityIsNotClampedAndWritesBothLevels) {
  const struct {
    double value;
    int32_t level2;
    uint16_t word;
  } rows[] = {
      {50.0, 0, 127},    {100.0, 0, 254},   {50.0, 1, 0x7F00}, {50.0, 0x100, 127}, {200.0, 1, 0xFD00} /* 509.99... */,
      {1000.0, 0, 2550}, {-1.0, 0, 0xFFFE}, {kNaN, 0, 0},      {kInf, 1, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.value << " level2 " << r.level2);
    EXPECT_EQ(1, DCAN5_Set2LevelSensitivity(r.value, r.level2));
    EXPECT_EQ(r.word, dca->sensitivity_word());
  }
}

TEST_F(DcaTest, InputsWithTheirBitsAndLevels) {
  using Set = void (*)(DcaModel&, bool);
  const struct {
    const char* name;
    int32_t(CARDN5_CALL* test)();
    Set set;
    uint16_t port;
    int32_t whenHigh, whenLow;
  } rows[] = {
      {"left sensor", DCAN5_TestLeftSensor, [](DcaModel& m, bool h) { m.set_input(dca::Status::kLeftSensor, h); },
       0x5300, 0, 1},
      {"right sensor", DCAN5_TestRightSensor, [](DcaModel& m, bool h) { m.set_input(dca::Status::kRightSensor, h); },
       0x5300, 0, 1},
      {"left switch", DCAN5_TestLeftSchalter, [](DcaModel& m, bool h) { m.set_input(dca::Status::kLeftSchalter, h); },
       0x5300, 0, 1},
      {"right switch", DCAN5_TestRightSchalter,
       [](DcaModel& m, bool h) { m.set_input(dca::Status::kRightSchalter, h); }, 0x5300, 0, 1},
      {"ink", DCAN5_EnoughInk, [](DcaModel& m, bool h) { m.set_input(dca::Status::kInkLow, h); }, 0x5300, 0, 1},
      {"head ready", DCAN5_HeadReady, [](DcaModel& m, bool h) { m.set_input(dca::Status::kHeadReady, h); }, 0x5300, 1,
       0},
      {"LE focus status", DCAN5_TestLEFokstat, [](DcaModel& m, bool h) { m.set_le_focus_status(h); }, 0x5300, 1, 0},
      {"FET temperature", DCAN5_TestFETTemperature, [](DcaModel& m, bool h) { m.set_fet_overheated(h); }, 0x4300, 0, 1},
      {"engraving position", DCAN5_MoveToEngPosPossible, [](DcaModel& m, bool h) { m.set_light_barrier_blocked(h); },
       0x5300, 1, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    for (bool high : {false, true}) {
      testsupport::ClearLastError();
      r.set(*dca, high);
      const uint64_t reads = machine.trace().ReadCount(r.port);
      EXPECT_EQ(high ? r.whenHigh : r.whenLow, r.test());
      EXPECT_EQ(reads + 1, machine.trace().ReadCount(r.port));
      const bool noInk = r.test == DCAN5_EnoughInk && high;
      EXPECT_EQ(noInk ? 4503 : 0, testsupport::LastError().code);
      EXPECT_EQ(noInk ? "CDCA.cpp" : "", testsupport::LastError().file);
    }
  }
}

TEST_F(DcaTest, EmulationFlagOneSkipsMoreThanOtherFlags) {
  const struct {
    int32_t flag;
    int32_t headReady, engravingPosition;
    size_t voltageWrites;
  } rows[] = {{1, 1, 1, 0}, {2, 0, 0, 6}};  // emulated reads give 0
  for (const auto& r : rows) {
    SCOPED_TRACE(r.flag);
    CARDN5_SetEmulation(r.flag);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.headReady, DCAN5_HeadReady());
    EXPECT_EQ(r.engravingPosition, DCAN5_MoveToEngPosPossible());
    EXPECT_EQ(1, DCAN5_LichtschrankeAbfragen());
    EXPECT_EQ(r.flag == 1 ? 0u : 2u, machine.trace().Since(mark).ReadCount(0x5300));
    DCAN5_SetLENZESpeedVoltage(4.0);
    DCAN5_SetFETSpeedVoltage(4.0);
    DCAN5_SetSMDirection(r.flag);
    EXPECT_EQ(r.voltageWrites, machine.trace().Since(mark).WriteCount());
    EXPECT_EQ(r.flag == 1 ? 0u : 1u, machine.trace().Since(mark).Delays().size());  // the LENZE word's 10 us
  }
  CARDN5_SetEmulation(0);
}

TEST_F(DcaTest, StepperSharesItsBitsWithTheLightBarrier) {
  EXPECT_EQ(1, DCAN5_SetSMSpeed(5));
  size_t mark = machine.trace().Mark();
  DCAN5_SetSMDirection(1);
  EXPECT_EQ((std::vector<std::string>{"1000us", "5F00<-0001", "1000us"}),
            machine.trace().Since(mark).WritesAndDelays());
  EXPECT_EQ(1, DCAN5_OneSMStep());
  EXPECT_EQ(1, DCAN5_OneSMStep());
  EXPECT_EQ(200, DCAN5_LichtschrankeReset());
  EXPECT_EQ(1, DCAN5_OneSMStep());
  EXPECT_EQ((std::vector<uint16_t>{1, 1, 0, 0x10, 0, 0x10, 0, 1}), machine.trace().Since(mark).Writes(0x5700));
  DCAN5_SetSMDirection(0);
  DCAN5_OneSMStep();
  EXPECT_EQ(4u, dca->steps());
  EXPECT_EQ(2, dca->position());
  EXPECT_EQ(0x5700, DCAN5_GetSMStepAdresse());

  // Speed 0 is "light barrier off"; a light barrier switched on is speed not 0.
  mark = machine.trace().Mark();
  EXPECT_EQ(1, DCAN5_SetSMSpeed(0));
  EXPECT_EQ(3, DCAN5_LichtschrankeEin());
  EXPECT_EQ(1, DCAN5_LichtschrankeAus());
  EXPECT_EQ((std::vector<uint16_t>{0x10, 0x00, 0x10}), machine.trace().Since(mark).Writes(0x5F00));
  EXPECT_EQ(1, DCAN5_TurnLaserdiodeOn(7));
  EXPECT_TRUE(dca->laser_diode_on());
  DCAN5_TurnLaserdiodeOn(0);
  EXPECT_FALSE(dca->laser_diode_on());
}

TEST_F(DcaTest, LightBarrierLatchesUntilReset) {
  DCAN5_LichtschrankeAus();
  EXPECT_EQ(3, DCAN5_LichtschrankeEin());
  EXPECT_EQ(1, DCAN5_LichtschrankeAbfragen());  // settled after the pause
  dca->interrupt_light_barrier();
  log.Clear();
  EXPECT_EQ(0, DCAN5_LichtschrankeAbfragen());
  EXPECT_EQ(std::vector<std::string>{"CDCACard::LichtschrankeAbfragen() Light barrier interrupted \n"}, log.Lines());
  EXPECT_EQ(200, DCAN5_LichtschrankeReset());
  EXPECT_EQ(1, DCAN5_LichtschrankeAbfragen());  // cleared after the pause
  EXPECT_EQ(2u, dca->light_barrier_resets());
  dca->set_light_barrier_blocked(true);
  DCAN5_LichtschrankeReset();
  EXPECT_EQ(0, DCAN5_LichtschrankeAbfragen());
}

TEST_F(DcaTest, ModelFlagsMissingPauses) {
  using Writes = std::vector<std::pair<uint16_t, uint16_t>>;
  const struct {
    Writes writes;
    const char* violation;
  } rows[] = {
      {{{0x5F00, 1}, {0x5700, 1}}, "DCA step 1.0 us after a direction change (it needs 1 ms)"},
      {{{0x5700, 1}, {0x5F00, 0}}, "DCA stepper direction changed 1.0 us after a step (it needs 1 ms)"},
      {{{0xC700, 1}, {0xCB00, 0x0401}, {0xCB00, 0x09AA}},
       "DCA indexed register written 1.0 us after a data word (it takes 10 us)"},
      {{{0xC700, 5}, {0xCB00, 4}, {0xC700, 1}, {0xCB00, 0x1000}},
       "DCA LENZE word 0x1000 is neither a 12-bit code nor the reset word"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.violation);
    machine.AdvanceNs(2000000);
    for (const auto& w : r.writes) machine.BusOut(w.first, w.second, 0);
    const std::vector<std::string> seen = machine.Violations();
    ASSERT_EQ(1u, seen.size());
    EXPECT_NE(std::string::npos, seen[0].find(r.violation)) << seen[0];
    machine.ClearViolations();
  }
}

}  // namespace

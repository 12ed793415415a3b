// DCA board and scanner drive against their simulated models: the DCA, the
// scanner optic on the EPU's lines, and the EPU on the ports they share.
#include <cstdio>

#include "board_test.h"
#include "dca_model.h"
#include "epu_model.h"
#include "sdu_model.h"

namespace {

using sim::DcaModel;
using sim::SduModel;

class OpticsTest : public testsupport::RowsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    dca = &machine.Add<DcaModel>();
    EPUN5_SetOKOutput(0);  // the word is process-wide: start with the chopper current on
    optic = &machine.Add<SduModel>(*(epu = &machine.Add<sim::EpuModel>()));
    log.Clear();
  }
  sim::EpuModel* epu = nullptr;
  DcaModel* dca = nullptr;
  SduModel* optic = nullptr;
};

// ---- DCA ----

TEST_F(OpticsTest, DcaPowerOnSharesTheIndexedPortsWithTheEpu) {
  const std::vector<uint16_t> words = {0x0401, 0x09AA, 0x0A6A, 0x0B55, 0x0CA5, 0x0DAA, 0x0EAA, 0x0FAA, 0x4A1E};
  Lines sequence = {"C700<-0005", "CB00<-0004", "C700<-0001", "CB00<-A000",
                    "10us",       "C700<-0005", "CB00<-0001", "C700<-0001"};
  char text[16];
  for (uint16_t w : words) sequence.insert(sequence.end(), {(std::snprintf(text, 16, "CB00<-%04X", w), text), "10us"});
  ASSERT_EQ(1, EPUN5_InitPowerOn(0));
  Row();
  EXPECT_EQ(1, DCAN5_InitPowerOn());
  EXPECT_EQ(sequence, Seen().WritesAndDelays());
}

void LE(double v) { DCAN5_SetLEFokusspannung(v); }
void LDK(double v) { DCAN5_SetLDKFokusspannung(v); }
void FET(double v) { DCAN5_SetFETSpeedVoltage(v); }
void LENZE(double v) { DCAN5_SetLENZESpeedVoltage(v); }
void Level1(double v) { DCAN5_Set2LevelSensitivity(v, 0x100); }  // only the flag's low byte counts
void Level2(double v) { DCAN5_Set2LevelSensitivity(v, 1); }

TEST_F(OpticsTest, DcaVoltagesAreClampedAndSensitivitiesAreNot) {
  using Code = uint16_t (DcaModel::*)() const;
  const Code le = &DcaModel::le_focus_code, ldk = &DcaModel::ldk_focus_code, fet = &DcaModel::fet_speed_code,
             l12 = &DcaModel::lenze_code12, l8 = &DcaModel::lenze_code8, sens = &DcaModel::sensitivity_word;
  const std::tuple<void (*)(double), double, Code, uint16_t> rows[] = {
      // 200 x 2.55 is 509.99...
      {LE, 2.5, le, 63},          {LE, 12.0, le, 255},         {LE, kNaN, le, 0},          {LDK, 5.0, ldk, 127},
      {LDK, kInf, ldk, 255},      {LDK, -1.0, ldk, 0},         {FET, 7.3, fet, 186},       {LENZE, 5.0, l12, 2047},
      {LENZE, 10.0, l8, 255},     {LENZE, kNaN, l12, 0},       {Level1, 50, sens, 127},    {Level1, 100, sens, 254},
      {Level2, 50, sens, 0x7F00}, {Level2, 200, sens, 0xFD00}, {Level1, -1, sens, 0xFFFE}, {Level1, kNaN, sens, 0}};
  for (const auto& [set, volts, code, expected] : rows) {
    set(volts);
    EXPECT_EQ(expected, (dca->*code)()) << volts;
  }
  // One word, two voltages: each keeps the other's byte.
  LENZE(2.5);
  log.Clear();
  LDK(12.0);
  EXPECT_EQ(Lines{"CDCACard::SetLDKFokusspannung 10.00 V \n"}, log.Lines());
  EXPECT_EQ(0xFF3F, machine.LastWritten(0x4B00));
  LENZE(0.0);
  EXPECT_EQ(0xFF00, machine.LastWritten(0x4B00));
}

TEST_F(OpticsTest, DcaInputsWithTheirBitsAndLevels) {
  const std::tuple<int32_t(CARDN5_CALL*)(), uint16_t, int, int32_t> rows[] = {
      {DCAN5_TestLeftSensor, 0x5300, 11, 0},  {DCAN5_TestRightSensor, 0x5300, 12, 0},
      {DCAN5_TestLeftSchalter, 0x5300, 1, 0}, {DCAN5_TestRightSchalter, 0x5300, 2, 0},
      {DCAN5_EnoughInk, 0x5300, 4, 0},        {DCAN5_HeadReady, 0x5300, 3, 1},
      {DCAN5_TestLEFokstat, 0x5300, 9, 1},    {DCAN5_TestFETTemperature, 0x4300, 15, 0}};
  for (const auto& [test, port, bit, whenHigh] : rows) {
    for (bool high : {false, true}) {
      testsupport::ClearLastError();
      dca->set_input(port, bit, high);
      EXPECT_EQ(high ? whenHigh : 1 - whenHigh, test()) << "bit " << bit << (high ? " high" : " low");
      const bool noInk = test == DCAN5_EnoughInk && high;
      EXPECT_EQ(noInk ? 4503 : 0, testsupport::LastError().code);
    }
  }
}

TEST_F(OpticsTest, DcaStepperSharesItsBitsWithTheLightBarrier) {
  DCAN5_SetSMSpeed(5);
  Row();
  DCAN5_SetSMDirection(1);
  EXPECT_EQ((Lines{"1000us", "5F00<-0001", "1000us"}), Seen().WritesAndDelays());
  DCAN5_OneSMStep();
  DCAN5_OneSMStep();
  EXPECT_EQ(200, DCAN5_LichtschrankeReset());
  DCAN5_OneSMStep();
  EXPECT_EQ((std::vector<uint16_t>{1, 1, 0, 0x10, 0, 0x10, 0, 1}), Seen().Writes(0x5700));
  DCAN5_SetSMDirection(0);
  DCAN5_OneSMStep();
  EXPECT_EQ(2, dca->position());  // 4 steps
  // Speed 0 is "light barrier off"; a light barrier switched on is speed not 0.
  Row();
  DCAN5_SetSMSpeed(0);
  // settled after the pause
  EXPECT_EQ((std::tuple{3, 1, true, 1}), (std::tuple{DCAN5_LichtschrankeEin(), DCAN5_TurnLaserdiodeOn(7),
                                                     dca->laser_diode_on(), DCAN5_LichtschrankeAbfragen()}));
  dca->interrupt_light_barrier();
  log.Clear();
  EXPECT_EQ((std::tuple{0, 1, Lines{"CDCACard::LichtschrankeAbfragen() Light barrier interrupted \n"}}),
            (std::tuple{DCAN5_LichtschrankeAbfragen(), DCAN5_MoveToEngPosPossible(), log.Lines()}));
  DCAN5_LichtschrankeReset();
  EXPECT_EQ(1, DCAN5_LichtschrankeAbfragen());  // cleared after the pause
  dca->set_light_barrier_blocked(true);
  DCAN5_LichtschrankeReset();
  EXPECT_EQ(0, DCAN5_LichtschrankeAbfragen());
  DCAN5_LichtschrankeAus();
  EXPECT_EQ((std::vector<uint16_t>{0x10, 0x00, 0x10}), Seen().Writes(0x5F00));
}

// ---- SDU ----

Lines Positioning(unsigned contactAt, unsigned out) {
  const std::string o = std::to_string(out);
  return {"MoveOptic() with 1924 steps \n",
          "in MoveOptiv() at " + std::to_string(contactAt) + " steps endsensor contacted \n",
          "MoveOptic() with " + o + " steps \n", "MoveOptic with " + o + " steps ready \n"};
}

TEST_F(OpticsTest, SduReachesEveryPositionFromTheEndSensor) {
  const std::tuple<int32_t, uint32_t, uint32_t> rows[] = {{700, 300, 300}, {0, 0, 0}, {5, 65536 + 100, 100}};
  for (const auto& [start, request, stored] : rows) {
    optic->set_position(start);
    Row();
    EXPECT_EQ((std::pair{1, size_t{0}}), (std::pair{SDUN5_InitPowerOn(), Seen().size()}));  // touches nothing
    EXPECT_EQ((std::tuple{1, Positioning(start, stored), static_cast<int32_t>(stored), 1, size_t{2},
                          size_t{2 * (start + stored)}}),
              (std::tuple{SDUN5_SetOpticPosition(request), log.Lines(), optic->position(), g_pSDU->m_bOpticReferenced,
                          Seen().CountDelays(1000), Seen().CountDelays(1666)}));
  }
}

void NeverActive(SduModel& m) { m.set_sensor_fault(SduModel::SensorFault::kNeverActive); }
void StuckActive(SduModel& m) { m.set_sensor_fault(SduModel::SensorFault::kStuckActive); }
void StopsEarly(SduModel& m) { m.ScriptSensor({false, false, true}); }
void ChopperOff(SduModel&) { SDUN5_SwitchChopperCurrent(0); }

TEST_F(OpticsTest, SduSensorAndChopperFaultsAreNotReported) {
  // the fault, start, end, the reference move's last line, violations (the optic driven into its end)
  const std::tuple<void (*)(SduModel&), int32_t, int32_t, const char*, size_t> rows[] = {
      {NeverActive, 100, 50, "MoveOptic with 1924 steps ready \n", 1},
      {StuckActive, 400, 450, "in MoveOptiv() at 0 steps endsensor contacted \n", 0},
      {StopsEarly, 400, 449, "in MoveOptiv() at 1 steps endsensor contacted \n", 0},
      {ChopperOff, 300, 300, "MoveOptic with 1924 steps ready \n", 0}};
  for (const auto& [fault, start, endsAt, referenceEnd, violations] : rows) {
    optic->set_position(start);
    fault(*optic);
    log.Clear();
    EXPECT_EQ(
        (std::tuple{1, std::string(referenceEnd), endsAt, violations}),
        (std::tuple{SDUN5_SetOpticPosition(50), log.Lines().at(1), optic->position(), machine.Violations().size()}));
    machine.ClearViolations();
    optic->set_sensor_fault(SduModel::SensorFault::kNone);
  }
  EXPECT_EQ((std::tuple{2u * (1924 + 50), 1, 0}),
            (std::tuple{optic->lost_toggles(), SDUN5_SwitchChopperCurrent(0), int{g_pSDU->m_bOpticReferenced}}));
  optic->set_position(0);
  // the sensor contacted: 0, the move made: 1
  EXPECT_EQ((std::pair{0, 1}), (std::pair{g_pSDU->MoveOptic(3, 0, 1), g_pSDU->MoveOptic(3, 0, 0)}));
}

TEST_F(OpticsTest, SduFocusSettersSetTheLinearVoltageFirst) {
  const double xenonX[] = {0, 100, 200}, xenonY[] = {-50, 1000, 3000}, ldX[] = {0, 10}, scanY[] = {2, 8},
               plotY[] = {1, 12};
  SDUN5_SetXenonScanfokusTable(xenonX, xenonY, 3);
  SDUN5_SetLDScanfokusTable(ldX, scanY, 2);
  SDUN5_SetLDPlotfokusTable(ldX, plotY, 2);
  const auto xenon = SDUN5_SetXenonScanfokus, scan = SDUN5_SetLDScanfokus, plot = SDUN5_SetLDPlotfokus;
  // the setter, focus, offset, LDK code, the voltage logged, the optic's position (33: it stays)
  const std::tuple<int32_t(CARDN5_CALL*)(double, double), double, double, uint16_t, const char*, int32_t> rows[] = {
      {xenon, 50, 0, 255, "10.000000", 475},    {xenon, 50, 12, 0, "0.000000", 475},
      {xenon, 150, -3, 255, "10.000000", 1924}, {xenon, 0, 2.5, 191, "7.500000", 0},
      {xenon, kNaN, kNaN, 255, "10.000000", 0}, {scan, 5, 1, 102, "4.000000", 33},
      {plot, 10, 0, 255, "12.000000", 33},      {plot, 0, 5, 0, "-4.000000", 33},
  };
  for (const auto& [set, x, offset, ldkCode, logged, position] : rows) {
    optic->set_position(33);
    Row();
    // the voltage before the optic moves
    EXPECT_EQ((std::tuple{1, ldkCode, std::string("SetLinearspannung mit ") + logged + " Volt\n", position, 0x4B00}),
              (std::tuple{set(x, offset), dca->ldk_focus_code(), log.Lines().at(0), optic->position(),
                          int{Seen().AllWrites().at(0).first}}));
  }
}

TEST_F(OpticsTest, SduTableCountsAboveThirtyAreCutAndMissingArraysRefused) {
  std::vector<double> x(40), y(40);
  for (int i = 0; i < 40; ++i) x[i] = i, y[i] = 0.1 * i;
  SDUN5_SetLDScanfokusTable(x.data(), y.data(), 30);  // no line
  SDUN5_SetLDScanfokusTable(x.data(), y.data(), 40);
  SDUN5_SetLDScanfokusTable(nullptr, nullptr, 0);
  SDUN5_SetLDScanfokusTable(nullptr, y.data(), 3);
  SDUN5_SetLDScanfokus(35, 0);  // held at entry 29: 2.9 V
  EXPECT_EQ((Lines{"CSDUCard::SetLDScanfokusTable 40 entries, only the first 30 taken \n",
                   "CSDUCard::SetLDScanfokusTable no values given, table kept \n",
                   "SetLinearspannung mit 2.900000 Volt\n", "CDCACard::SetLDKFokusspannung 2.90 V \n"}),
            log.Lines());
  const double flatX[] = {0, 10}, flatY[] = {5, 5};
  SDUN5_SetLDScanfokusTable(flatX, flatY, 0x10002);  // low 16 bits: 2
  SDUN5_SetLDScanfokus(35, 0);
  EXPECT_EQ(127, dca->ldk_focus_code());
}

// Flag 1 skips more on the DCA than other flags; the SDU's end sensor reads
// active for any flag, and only its direction pauses still run.
TEST_F(OpticsTest, EmulationFlags) {
  for (int32_t flag : {1, 2}) {
    SCOPED_TRACE(flag);
    CARDN5_SetEmulation(flag);
    Row();
    // emulated reads give 0
    EXPECT_EQ((std::tuple{flag == 1 ? 1 : 0, flag == 1 ? 1 : 0, 1, flag == 1 ? 0u : 2u}),
              (std::tuple{DCAN5_HeadReady(), DCAN5_MoveToEngPosPossible(), DCAN5_LichtschrankeAbfragen(),
                          Seen().ReadCount(0x5300)}));
    LENZE(4.0);
    FET(4.0);
    DCAN5_SetSMDirection(flag);
    // the LENZE word's 10 us
    EXPECT_EQ((std::tuple{flag == 1 ? 0u : 6u, flag == 1 ? 0u : 1u, Lines{}}),
              (std::tuple{Seen().WriteCount(), Seen().Delays().size(), log.Lines()}));
    Row();
    EXPECT_EQ((std::tuple{1, Positioning(0, 5), size_t{2 + 10}, std::vector<uint32_t>{1000, 1000}, size_t{0}}),
              (std::tuple{SDUN5_SetOpticPosition(5), log.Lines(), Seen().Writes(0xAB00).size(), Seen().Delays(),
                          Seen().ReadCount(0x8700)}));
  }
  // More than 32767 steps out would wrap the 16-bit toggle count.
  machine.trace().SetEnabled(false);
  log.Clear();
  EXPECT_EQ(1, SDUN5_SetOpticPosition(40000));
  Lines lines = Positioning(0, 32767);
  lines.insert(lines.begin() + 2, "MoveOptic() 40000 steps limited to 32767 \n");
  EXPECT_EQ(lines, log.Lines());
  CARDN5_SetEmulation(0);
}

TEST_F(OpticsTest, SduChangesOnlyItsOwnOutputBits) {
  const std::pair<void (*)(), uint16_t> rows[] = {{[] { SDUN5_SwitchChopperCurrent(1); }, 0x0020},
                                                  {[] { SDUN5_SwitchChopperCurrent(0); }, 0x0020},
                                                  {[] { SDUN5_SetOpticPosition(3); }, 0x000C},
                                                  {[] { SDUN5_SetXenonScanfokus(0, 0); }, 0x000C},
                                                  {[] { SDUN5_SetLDPlotfokus(0, 0); }, 0x0000}};
  CARDN5_SetEmulation(1);  // the sensor reads active: short moves
  for (const auto& [op, own] : rows) {
    for (uint16_t pattern : {0x0000, 0xFFFF}) {
      EPUN5_SetOKOutput(pattern);
      Row();
      op();
      const std::vector<uint16_t> writes = Seen().Writes(0xAB00);
      EXPECT_EQ(own != 0, !writes.empty());
      for (uint16_t w : writes) EXPECT_EQ(pattern & ~own, w & ~own) << "own " << own;
    }
  }
  CARDN5_SetEmulation(0);
}

}  // namespace

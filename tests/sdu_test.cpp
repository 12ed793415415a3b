// Scanner drive against the simulated optic on the EPU's lines, with the
// DCA model taking the linear voltage.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "dca_model.h"
#include "epu_model.h"
#include "sdu_focus_fuzz.h"
#include "sdu_model.h"
#include "test_support.h"

namespace {

using sim::SduModel;
using Lines = std::vector<std::string>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class SduTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    epu = &machine.Add<sim::EpuModel>();
    dca = &machine.Add<sim::DcaModel>();
    EPUN5_SetOKOutput(0);  // the word is process-wide: start with the chopper current on
    optic = &machine.Add<SduModel>(*epu);
    log.Clear();
  }
  sim::EpuModel* epu = nullptr;
  sim::DcaModel* dca = nullptr;
  SduModel* optic = nullptr;
};

TEST_F(SduTest, EveryPositionIsReachedFromTheEndSensor) {
  const struct {
    int32_t start;
    uint32_t request;
    uint32_t stored;
    Lines lines;
  } rows[] = {
      {700,
       300,
       300,
       {"MoveOptic() with 1924 steps \n", "in MoveOptiv() at 700 steps endsensor contacted \n",
        "MoveOptic() with 300 steps \n", "MoveOptic with 300 steps ready \n"}},
      {0,
       0,
       0,
       {"MoveOptic() with 1924 steps \n", "in MoveOptiv() at 0 steps endsensor contacted \n",
        "MoveOptic() with 0 steps \n", "MoveOptic with 0 steps ready \n"}},
      {5,
       65536 + 100,
       100,
       {"MoveOptic() with 1924 steps \n", "in MoveOptiv() at 5 steps endsensor contacted \n",
        "MoveOptic() with 100 steps \n", "MoveOptic with 100 steps ready \n"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.start);
    optic->set_position(r.start);
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, SDUN5_SetOpticPosition(r.request));
    EXPECT_EQ(r.lines, log.Lines());
    EXPECT_EQ(static_cast<int32_t>(r.stored), optic->position());
    EXPECT_EQ(r.stored, g_pSDU->m_dwOpticPos);
    EXPECT_EQ(1, g_pSDU->m_bOpticReferenced);
    EXPECT_EQ(2u, machine.trace().Since(mark).CountDelays(1000));
    EXPECT_EQ(2 * (r.start + r.stored), machine.trace().Since(mark).CountDelays(1666));
  }
}

TEST_F(SduTest, SensorAndChopperFaultsAreNotReported) {
  const struct {
    const char* name;
    void (*fault)(SduModel&);
    int32_t start, endsAt;
    const char* referenceEnd;
    bool drivenIntoEnd;
  } rows[] = {
      {"sensor never found", [](SduModel& m) { m.set_sensor_fault(SduModel::SensorFault::kNeverActive); }, 100, 50,
       "MoveOptic with 1924 steps ready \n", true},
      {"sensor stuck active", [](SduModel& m) { m.set_sensor_fault(SduModel::SensorFault::kStuckActive); }, 400, 450,
       "in MoveOptiv() at 0 steps endsensor contacted \n", false},
      {"reference move stops early",
       [](SduModel& m) {
         m.ScriptSensor({false, false, true});
       },
       400, 449, "in MoveOptiv() at 1 steps endsensor contacted \n", false},
      {"no chopper current", [](SduModel& m) { m.set_chopper_failed(true); }, 300, 300,
       "MoveOptic with 1924 steps ready \n", false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    optic->set_position(r.start);
    r.fault(*optic);
    log.Clear();
    EXPECT_EQ(1, SDUN5_SetOpticPosition(50));
    EXPECT_EQ(r.referenceEnd, log.Lines().at(1));
    EXPECT_EQ(r.endsAt, optic->position());
    EXPECT_EQ(50u, g_pSDU->m_dwOpticPos);
    const Lines seen = machine.Violations();
    EXPECT_EQ(r.drivenIntoEnd ? 1u : 0u, seen.size());
    for (const std::string& v : seen) EXPECT_NE(std::string::npos, v.find("optic driven into its end at 0 steps"));
    machine.ClearViolations();
    optic->set_sensor_fault(SduModel::SensorFault::kNone);
    optic->set_chopper_failed(false);
  }
  EXPECT_EQ(2u * (1924 + 50), optic->lost_toggles());
}

TEST_F(SduTest, EmulatedSensorReadsActiveAndOnlyTheDirectionPausesRun) {
  for (int32_t flag : {1, 2}) {
    SCOPED_TRACE(flag);
    CARDN5_SetEmulation(flag);
    log.Clear();
    const uint64_t finpReads = machine.trace().ReadCount(0x8700);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, SDUN5_SetOpticPosition(5));
    EXPECT_EQ("in MoveOptiv() at 0 steps endsensor contacted \n", log.Lines().at(1));
    EXPECT_EQ(2u + 10u, machine.trace().Since(mark).Writes(0xAB00).size());
    EXPECT_EQ((std::vector<uint32_t>{1000, 1000}), machine.trace().Since(mark).Delays());
    EXPECT_EQ(finpReads, machine.trace().ReadCount(0x8700));
  }
  CARDN5_SetEmulation(0);
}

TEST_F(SduTest, FocusSettersSetTheLinearVoltageThroughTheDca) {
  const double xenonX[] = {0, 100, 200}, xenonY[] = {-50, 1000, 3000};
  const double scanX[] = {0, 10}, scanY[] = {2, 8}, plotX[] = {0, 10}, plotY[] = {1, 12};
  SDUN5_SetXenonScanfokusTable(xenonX, xenonY, 3);
  SDUN5_SetLDScanfokusTable(scanX, scanY, 2);
  SDUN5_SetLDPlotfokusTable(plotX, plotY, 2);
  const struct {
    const char* name;
    int32_t(CARDN5_CALL* set)(double, double);
    double x, offset;
    uint16_t ldkCode;
    const char* logged;
    int32_t position;  // -1: the optic stays
  } rows[] = {
      {"xenon", SDUN5_SetXenonScanfokus, 50, 0, 255, "10.000000", 475},
      {"xenon, offset above 10", SDUN5_SetXenonScanfokus, 50, 12, 0, "0.000000", 475},
      {"xenon beyond the travel", SDUN5_SetXenonScanfokus, 150, -3, 255, "10.000000", 1924},
      {"xenon below 0", SDUN5_SetXenonScanfokus, 0, 2.5, 191, "7.500000", 0},
      {"xenon NaN", SDUN5_SetXenonScanfokus, kNaN, kNaN, 255, "10.000000", 0},
      {"LD scan", SDUN5_SetLDScanfokus, 5, 1, 102, "4.000000", -1},
      {"LD scan, offset below 0", SDUN5_SetLDScanfokus, 10, -1, 204, "8.000000", -1},
      {"LD plot above 10 V", SDUN5_SetLDPlotfokus, 10, 0, 255, "12.000000", -1},
      {"LD plot below 0 V", SDUN5_SetLDPlotfokus, 0, 5, 0, "-4.000000", -1},
  };
  optic->set_position(33);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, r.set(r.x, r.offset));
    EXPECT_EQ(r.ldkCode, dca->ldk_focus_code());
    EXPECT_EQ(std::string("SetLinearspannung mit ") + r.logged + " Volt\n", log.Lines().at(0));
    EXPECT_EQ(r.position < 0 ? 33 : r.position, optic->position());
    const auto writes = machine.trace().Since(mark).AllWrites();
    auto first = [&writes](uint16_t port) {
      return std::find_if(writes.begin(), writes.end(), [port](const auto& w) { return w.first == port; });
    };
    EXPECT_TRUE(first(0x4B00) < first(0xAB00));  // the voltage before the optic moves
    if (r.position >= 0) optic->set_position(33);
  }
}

TEST_F(SduTest, TableCountsAboveThirtyAreCutAndMissingArraysRefused) {
  std::vector<double> x(40), y(40);
  for (int i = 0; i < 40; ++i) x[i] = i, y[i] = 0.1 * i;
  SDUN5_SetLDScanfokusTable(x.data(), y.data(), 40);
  SDUN5_SetLDScanfokus(35, 0);  // held at entry 29: 2.9 V
  EXPECT_EQ(73, dca->ldk_focus_code());
  SDUN5_SetLDScanfokusTable(nullptr, nullptr, 0);
  SDUN5_SetLDScanfokusTable(nullptr, y.data(), 3);
  SDUN5_SetLDScanfokus(35, 0);
  EXPECT_EQ(73, dca->ldk_focus_code());
  EXPECT_EQ((Lines{"CSDUCard::SetLDScanfokusTable 40 entries, only the first 30 taken \n",
                   "SetLinearspannung mit 2.900000 Volt\n", "CDCACard::SetLDKFokusspannung 2.90 V \n",
                   "CSDUCard::SetLDScanfokusTable no values given, table kept \n",
                   "SetLinearspannung mit 2.900000 Volt\n", "CDCACard::SetLDKFokusspannung 2.90 V \n"}),
            log.Lines());
  const double flatX[] = {0, 10}, flatY[] = {5, 5};
  SDUN5_SetLDScanfokusTable(flatX, flatY, 0x10002);  // low 16 bits: 2
  SDUN5_SetLDScanfokus(35, 0);
  EXPECT_EQ(127, dca->ldk_focus_code());
}

TEST_F(SduTest, MoveOutIsLimitedTo32767Steps) {
  CARDN5_SetEmulation(1);
  machine.trace().SetEnabled(false);
  log.Clear();
  EXPECT_EQ(1, SDUN5_SetOpticPosition(40000));
  EXPECT_EQ((Lines{"MoveOptic() with 1924 steps \n", "in MoveOptiv() at 0 steps endsensor contacted \n",
                   "MoveOptic() 40000 steps limited to 32767 \n", "MoveOptic() with 32767 steps \n",
                   "MoveOptic with 32767 steps ready \n"}),
            log.Lines());
  EXPECT_EQ(40000u, g_pSDU->m_dwOpticPos);
  CARDN5_SetEmulation(0);
}

TEST_F(SduTest, OperationsChangeOnlyTheirOwnOutputBits) {
  const struct {
    const char* name;
    void (*op)();
    uint16_t own;
  } rows[] = {
      {"chopper on", [] { SDUN5_SwitchChopperCurrent(1); }, 0x0020},
      {"chopper off", [] { SDUN5_SwitchChopperCurrent(0); }, 0x0020},
      {"optic position", [] { SDUN5_SetOpticPosition(3); }, 0x000C},
      {"xenon focus", [] { SDUN5_SetXenonScanfokus(0, 0); }, 0x000C},
      {"LD plot focus", [] { SDUN5_SetLDPlotfokus(0, 0); }, 0x0000},
  };
  CARDN5_SetEmulation(1);  // the sensor reads active: short moves
  for (const auto& r : rows) {
    for (uint16_t pattern : {0x0000, 0xFFFF}) {
      SCOPED_TRACE(testing::Message() << r.name << " on " << pattern);
      EPUN5_SetOKOutput(pattern);
      const size_t mark = machine.trace().Mark();
      r.op();
      const std::vector<uint16_t> writes = machine.trace().Since(mark).Writes(0xAB00);
      EXPECT_EQ(r.own != 0, !writes.empty());
      for (uint16_t w : writes) EXPECT_EQ(pattern & ~r.own, w & ~r.own);
    }
  }
  CARDN5_SetEmulation(0);
}

// The step line is the EPU's stepper speed bit: whoever toggles it moves the
// optic while the chopper current is on.
TEST_F(SduTest, EpuSpeedBitStepsTheOpticWhileTheChopperCurrentIsOn) {
  optic->set_position(10);
  SDUN5_SetOpticPosition(2);
  EPUN5_SetSMSpeed(0);
  machine.AdvanceNs(2000000);  // a pulse the motor can follow
  EPUN5_SetSMSpeed(1);
  EXPECT_EQ(3, optic->position());
  EXPECT_EQ(1, SDUN5_SwitchChopperCurrent(0));
  EXPECT_EQ(0, g_pSDU->m_bOpticReferenced);
  EPUN5_SetSMSpeed(0);
  EPUN5_SetSMSpeed(1);
  EXPECT_EQ(3, optic->position());
  EXPECT_EQ(2u, optic->lost_toggles());
}

TEST_F(SduTest, ModelFlagsTogglesTooFast) {
  const struct {
    std::vector<uint16_t> words;
    const char* violation;
  } rows[] = {
      {{0x0008, 0x0000}, "optic step line toggled 1.0 us after the last toggle"},
      {{0x0004, 0x000C}, "optic step line toggled 1.0 us after a direction change"},
  };
  optic->set_position(100);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.violation);
    machine.AdvanceNs(5000000);
    for (uint16_t w : r.words) machine.BusOut(0xAB00, w, 0);
    const Lines seen = machine.Violations();
    ASSERT_EQ(1u, seen.size());
    EXPECT_NE(std::string::npos, seen[0].find(r.violation)) << seen[0];
    machine.ClearViolations();
  }
}

TEST_F(SduTest, FocusFuzzOverFixedSeeds) {
  CARDN5_SetEmulation(1);
  machine.trace().SetEnabled(false);
  std::mt19937 rng(20261205);
  for (int run = 0; run < 300; ++run) {
    std::vector<uint8_t> bytes(rng() % 560);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    SduFocusFuzzOne(bytes.data(), bytes.size());
  }
  CARDN5_SetEmulation(0);
}

}  // namespace

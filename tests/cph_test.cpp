// The focusing head against the simulated lens carriage on the EPU's lines:
// sensor at 0, lens starting at 1000, so the repeat position leaves the lens
// at 1 and a head position p puts it at 1 + p.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>
#include <string>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "cph_model.h"
#include "cph_regs.h"
#include "epu_model.h"
#include "test_support.h"

namespace {

using Lines = std::vector<std::string>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class CphTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    epu = &machine.Add<sim::EpuModel>();
    cph = &machine.Add<sim::CphModel>(*epu);
    EPUN5_SetOKOutput(0);  // the shadow outlives the boards
    machine.trace().Clear();
  }
  // Engraving position 1000 steps out (equal circumferences), log cleared.
  void Calibrate(uint32_t dwSteps = 1000) {
    ASSERT_EQ(1, CPHN5_SetCalibParam(500.0, 500.0, dwSteps));
    log.Clear();
  }
  int32_t Error() { return testsupport::LastError().code; }

  sim::EpuModel* epu = nullptr;
  sim::CphModel* cph = nullptr;
};

TEST_F(CphTest, MovesStopAtTheSensorTestedBeforeEachStepAtTheirOwnPace) {
  const struct {
    int64_t start;
    int32_t n;
    uint32_t direction, stopMode;
    int32_t result;
    int64_t lens;
    const char* stopLine;
    uint64_t minPeriodUs;
  } rows[] = {
      {1000, 10, 0, 1, 10, 990, nullptr, 1666},
      {5, 10, 0, 7, 5, 0, "in CPHCard LenseMove() at 5 Steps Sensor reached\n", 1666},
      {0, 10, 0, 1, 0, 0, "in CPHCard LenseMove() at 0 Steps Sensor reached\n", 0},
      {-2, 10, 1, 0, 3, 1, "in CCPHCard LenseMove() at 3 Steps Sensor leaved\n", 10000},
      {50, 10, 1, 0, 0, 50, "in CCPHCard LenseMove() at 0 Steps Sensor leaved\n", 0},
      {50, 3, 2, 1, 3, 47, nullptr, 1666},  // only 1 is direction 1
      {50, 0, 1, 1, 0, 50, nullptr, 0},
      {50, -5, 1, 1, -5, 50, nullptr, 0},
  };
  Calibrate();
  ASSERT_EQ(1, CPHN5_GotoEngravingPosition());
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.start << " " << r.n << " " << r.direction << " " << r.stopMode);
    cph->set_position(r.start);
    cph->ClearRecord();
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, CPHN5_LenseMove(r.n, r.direction, r.stopMode));
    EXPECT_EQ(r.lens, cph->lens_position());
    Lines lines = {"CPHCard LenseMove(" + std::to_string(r.n) + "," + std::to_string(r.direction) + "," +
                   std::to_string(r.stopMode) + ")\n"};
    if (r.stopLine) lines.push_back(r.stopLine);
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(1u, machine.trace().Since(mark).CountDelays(1000));  // the direction, also for no step
    if (r.minPeriodUs) {
      EXPECT_NEAR(r.minPeriodUs + 5, cph->shortest_step_period_ns() / 1000, 5);  // + port accesses
    }
  }
  EXPECT_EQ(0, g_pCPH->m_bHeadPosValid);
  EXPECT_EQ(0, g_pCPH->m_lHeadPos);
}

TEST_F(CphTest, EngravingPositionAfterTheRepeatSearch) {
  cph->set_backlash(5);
  Calibrate(300);
  EXPECT_EQ(1, CPHN5_GotoEngravingPosition());
  EXPECT_EQ(301, cph->lens_position());
  EXPECT_EQ((Lines{"GotoEngravingPosition\n", "in GotoRepeatPosition move to the reference sensor \n",
                   "CPHCard LenseMove(100000,0,1)\n", "in CPHCard LenseMove() at 1000 Steps Sensor reached\n",
                   "in GotoRepeatPosition leave sensor \n", "CPHCard LenseMove(100000,1,0)\n",
                   "in CCPHCard LenseMove() at 6 Steps Sensor leaved\n", "leaving ready \n\n",
                   "GotoEngravingPosition leave Sensor with 300 Steps \n", "CPHCard LenseMove(300,1,1)\n"}),
            log.Lines());
  // down 306 motor steps onto the sensor, 6 off it again
  EXPECT_EQ(300, CPHN5_GotoRepeatPosition());
  EXPECT_EQ(1, cph->lens_position());
}

// The lens ends where it should whichever side it comes from, as long as
// the last 150-step move takes up the play.
TEST_F(CphTest, BacklashApproachFromBothSidesEndsOnTheSameLensPosition) {
  const struct {
    int64_t backlash;
    int32_t first, second;
    int32_t toCompensation;
  } rows[] = {
      {0, 0, 300, -450},    {40, 0, 300, -450},  {40, 600, 300, 150},
      {40, 300, 310, -160}, {40, 950, 920, -50},  // target within 150 steps of the repeat position
      {150, 600, 300, 150}, {150, 0, 300, -450},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.backlash << " " << r.first << " -> " << r.second);
    cph->set_backlash(r.backlash);
    CPHN5_InitPowerOn();
    Calibrate();
    ASSERT_EQ(1, CPHN5_SetDefokusPosition(r.first));
    log.Clear();
    cph->ClearRecord();
    EXPECT_EQ(1, CPHN5_SetDefokusPosition(r.second));
    const int32_t target = 1000 - r.second, toTarget = target < 150 ? target : 150;
    EXPECT_EQ(1 + target, cph->lens_position());
    EXPECT_EQ(target, g_pCPH->m_lHeadPos);
    EXPECT_TRUE(log.Contains("move to the compensation (spielausgleich) position with " +
                             std::to_string(r.toCompensation) + " steps \n"));
    const std::vector<sim::LensStep> steps = cph->steps();
    ASSERT_EQ(static_cast<size_t>(std::abs(r.toCompensation) + toTarget), steps.size());
    for (size_t i = steps.size() - toTarget; i < steps.size(); ++i) EXPECT_EQ(1, steps[i].direction);
  }
}

TEST_F(CphTest, TargetBehindTheSensorOrBeyondTheTravelMovesNothing) {
  const struct {
    bool valid;
    int32_t defocus;
    const char* line;
  } rows[] = {
      {true, 1001, "wanted focus behind the sensor position \n"},
      {false, 1001, "wanted focus behind the sensor position \n"},
      {true, INT32_MIN, "wanted focus beyond the head's travel \n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.defocus);
    CPHN5_InitPowerOn();
    Calibrate();
    if (r.valid) {
      ASSERT_EQ(1, CPHN5_SetDefokusPosition(0));
    }
    cph->ClearRecord();
    log.Clear();
    testsupport::ClearLastError();
    EXPECT_EQ(0, CPHN5_SetDefokusPosition(r.defocus));
    EXPECT_EQ(4525, Error());
    EXPECT_EQ(r.line, log.Lines().back());
    EXPECT_EQ(r.valid ? 1001 : 1, cph->lens_position());  // after a search, at the repeat position
    EXPECT_EQ(r.valid ? 0u : 1002u, cph->step_count());
  }
  EXPECT_EQ(1, CPHN5_SetDefokusPosition(1000));  // the repeat position itself
  EXPECT_EQ(1, cph->lens_position());
}

TEST_F(CphTest, SensorNeverFoundFailsEachPositioning) {
  machine.trace().SetEnabled(false);
  cph->set_sensor_never_found(true);
  Calibrate();
  EXPECT_EQ(0, CPHN5_GotoEngravingPosition());
  EXPECT_EQ(2003, Error());
  EXPECT_TRUE(log.Contains("Fail I in GotoEngravingPosition\n"));
  EXPECT_EQ(100000, CPHN5_GotoRepeatPosition());
  EXPECT_EQ(1, g_pCPH->m_bHeadPosValid);  // taken as found all the same
  CPHN5_InitPowerOn();
  testsupport::ClearLastError();
  EXPECT_EQ(0, CPHN5_SetDefokusPosition(0));
  EXPECT_EQ(2003, Error());
  EXPECT_EQ("Fail I in SetDefokusPos\n", log.Lines().back());
  EXPECT_EQ(-200, cph->lens_position());  // against the hard limit
  ASSERT_EQ(1u, machine.Violations().size());
  EXPECT_NE(std::string::npos, machine.Violations()[0].find("hard limit"));
  machine.ClearViolations();
}

// The sensor reads active where it should not: the move stops early.
TEST_F(CphTest, MoveThatStopsEarlyLeavesThePositionInvalid) {
  const struct {
    size_t inactiveReads;  // after the repeat search's four
    int32_t (*call)();
    const char* line;
  } rows[] = {
      {20, [] { return CPHN5_GotoEngravingPosition(); }, "Couldn't reach Engraving Position\n"},
      {20, [] { return CPHN5_SetDefokusPosition(500); }, "Error in CCPHCard::SetDefokusPosition()\n"},
      {350 + 20, [] { return CPHN5_SetDefokusPosition(500); }, "Error in CCPHCard::SetDefokusPosition()\n"},
  };
  for (const auto& r : rows) {
    CPHN5_InitPowerOn();
    Calibrate();
    testsupport::ClearLastError();
    cph->set_position(1);
    std::vector<bool> script = {false, true, true, false};
    script.insert(script.end(), r.inactiveReads, false);
    script.push_back(true);
    cph->ScriptSensor(script);
    EXPECT_EQ(0, r.call());
    EXPECT_EQ(2003, Error());
    EXPECT_TRUE(log.Contains("in CPHCard LenseMove() at 20 Steps Sensor reached\n"));
    EXPECT_EQ(r.line, log.Lines().back());
    EXPECT_EQ(0, g_pCPH->m_bHeadPosValid);
    EXPECT_EQ(1 + static_cast<int64_t>(r.inactiveReads), cph->lens_position());
  }
  log.Clear();
  EXPECT_EQ(1, CPHN5_SetDefokusPosition(500));  // searches again first
  EXPECT_TRUE(log.Contains("in SetDefokusPos.() HeadPos. invalid -> new initialized\n"));
  EXPECT_EQ(501, cph->lens_position());
}

TEST_F(CphTest, CalibrationStoresFirstThenChecksAndComputes) {
  g_pCPH->m_lEngravingPos = 77;
  const struct {
    double first, second;
    uint32_t steps;
    int32_t result, engraving, code;
    size_t lines;
  } rows[] = {
      {500.0, 500.0, 1234, 1, 1234, 0, 1},
      {6.28318530718, 12.56637061436, 10, 1, 210, 0, 1},  // one unit of radius: 200 steps
      {12.56637061436, 6.28318530718, 100, 1, 0, 2155, 3},
      {12.56637061436, 6.28318530718, 200, 1, 0, 0, 1},
      {0.0, 500.0, 7, 0, 0, 2155, 1},
      {500.0, kNaN, 7, 0, 0, 2155, 1},
      {500.0, kInf, 7, 0, 0, 2155, 1},
      {1.0, 1e12, 0, 0, 0, 2155, 3},  // past what a step count holds: kept
      {500.0, 500.0, 0x7FFFFFFFu, 1, INT32_MAX, 0, 1},
      {500.0, 500.0, 0x80000000u, 0, 0, 2155, 3},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.first << " " << r.second << " " << r.steps);
    log.Clear();
    testsupport::ClearLastError();
    const int32_t before = g_pCPH->m_lEngravingPos;
    EXPECT_EQ(r.result, CPHN5_SetCalibParam(r.first, r.second, r.steps));
    EXPECT_EQ(r.result ? r.engraving : before, g_pCPH->m_lEngravingPos);
    EXPECT_EQ(r.steps, g_pCPH->m_dwCalibFocusSteps);
    EXPECT_EQ(r.code, Error());
    ASSERT_EQ(r.lines, log.Lines().size());
    if (r.lines == 3) {
      EXPECT_EQ("Change die calibrated focus steps \n", log.Lines()[2]);
    }
  }
}

TEST_F(CphTest, FocusThroughTheTableClampedToTheStepRange) {
  EXPECT_EQ(0, CPHN5_SetFokus(100.0));
  EXPECT_EQ(2155, Error());
  const double x[] = {0, 100, 200, 300}, y[] = {-500, 0, 1000, 200000};
  CPHN5_SetFokusTable(x, y, 4);
  Calibrate();
  const struct {
    double um;
    int32_t result;
    const char* defocus;  // as logged; null: refused before
  } rows[] = {
      {0, 1, "0"},        {50, 1, "0"},         {-kInf, 1, "0"},    {150, 1, "500"},
      {250, 0, "100000"}, {1e300, 0, "100000"}, {kNaN, 0, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.um);
    log.Clear();
    EXPECT_EQ(r.result, CPHN5_SetFokus(r.um));
    if (r.defocus)
      EXPECT_TRUE(log.Contains(std::string("CPHCard SetDefokusPosition(") + r.defocus + ")\n")) << log.Dump();
    else
      EXPECT_EQ("CCPHCard SetFokus: not a number -> lens not moved\n", log.Lines().back());
  }
  EXPECT_EQ(501, cph->lens_position());
}

TEST_F(CphTest, FocusTextIsNeverCut) {
  const struct {
    double um;
    std::string text;
  } rows[] = {{12.34, "Fokus: 12.3 um\n"}, {kInf, "Fokus: inf um\n"}, {-DBL_MAX, "Fokus: -17976931348623157"}};
  for (const auto& r : rows) {
    log.Clear();
    CPHN5_SetFokus(r.um);
    ASSERT_EQ(2u, log.Lines().size());
    EXPECT_EQ("CCPHard SetFokus \n", log.Lines()[0]);
    EXPECT_EQ(r.text, log.Lines()[1].substr(0, r.text.size()));
  }
  EXPECT_EQ(7u + 1 + 309 + 2 + 4, log.Lines()[1].size());
  EXPECT_EQ(".0 um\n", log.Lines()[1].substr(317));
}

TEST_F(CphTest, FocusTableCountsAndPointers) {
  double x[40], y[40];
  for (int i = 0; i < 40; ++i) x[i] = i * 10.0, y[i] = i;
  const struct {
    const double *px, *py;
    uint32_t count;
    uint16_t kept;
    const char* line;
  } rows[] = {
      {x, y, 3, 3, nullptr},
      {x, y, 0, 3, nullptr},  // the previous table stays
      {nullptr, y, 5, 3, "CCPHCard SetFokusTable: no table (null pointer) -> previous table kept\n"},
      {x, nullptr, 5, 3, "CCPHCard SetFokusTable: no table (null pointer) -> previous table kept\n"},
      {x, y, 0x10004, 4, nullptr},
      {x, y, 40, 30, "CCPHCard SetFokusTable: 40 entries, only the first 30 used\n"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.count);
    log.Clear();
    CPHN5_SetFokusTable(r.px, r.py, r.count);
    EXPECT_EQ(r.kept, g_pCPH->m_FokusTable.wCount);
    EXPECT_EQ(r.line ? Lines{r.line} : Lines{}, log.Lines());
  }
  EXPECT_EQ(1, g_pCPH->m_FokusTable.bLoaded);
  Calibrate();
  CPHN5_SetFokus(1000.0);
  EXPECT_TRUE(log.Contains("CPHCard SetDefokusPosition(29)\n"));
}

TEST_F(CphTest, EmulationFlagOneReportsSuccessTwoLetsDefocusMovesFail) {
  Calibrate();
  CARDN5_SetEmulation(1);
  EXPECT_EQ(12, CPHN5_LenseMove(12, 0, 1));
  EXPECT_EQ(0u, machine.trace().All().Count(sim::Access::Out));
  EXPECT_EQ(7777, CPHN5_GotoRepeatPosition());
  EXPECT_EQ(1, CPHN5_SetDefokusPosition(300));
  EXPECT_EQ(1, CPHN5_GotoEngravingPosition());
  EXPECT_EQ(700, g_pCPH->m_lHeadPos);

  CARDN5_SetEmulation(2);
  machine.trace().Clear();
  EXPECT_EQ(0, CPHN5_LenseMove(12, 0, 1));  // the emulated sensor is always active
  EXPECT_EQ(12, CPHN5_LenseMove(12, 1, 0));
  EXPECT_EQ(0, CPHN5_SetDefokusPosition(300));  // searches (manual move), then cannot leave
  EXPECT_EQ(2003, Error());
  EXPECT_EQ("Error in CCPHCard::SetDefokusPosition()\n", log.Lines().back());
  EXPECT_EQ(std::vector<uint32_t>(5, 1000), machine.trace().Delays());  // only the directions' pauses run
  EXPECT_EQ(1, CPHN5_SetHWShutterOpen(1));
  EXPECT_EQ(0x0010, EPUN5_GetOKOutput() & 0x0010);
  EXPECT_EQ(1000, cph->lens_position());
}

TEST_F(CphTest, HeadChangesOnlyItsOwnBitsOfTheSharedOutputWord) {
  Calibrate(200);
  EPUN5_SetOKOutput(0xFFE9);  // every bit but the head's
  EXPECT_EQ(1, CPHN5_SetHWShutterOpen(7));
  EXPECT_EQ(1, CPHN5_GotoEngravingPosition());
  EXPECT_EQ(1, CPHN5_SetDefokusPosition(100));
  EXPECT_EQ(1, CPHN5_SetHWShutterOpen(0));
  EXPECT_EQ("CCPHCard SetShutter(0)\n", log.Lines().back());
  size_t others = 0, shutterOpen = 0;
  for (uint16_t w : machine.trace().Writes(cph::kOKOutputPort)) {
    others += (w & ~0x0016) != 0xFFE9;
    shutterOpen += (w & 0x0010) != 0;
  }
  EXPECT_EQ(0u, others);
  EXPECT_EQ(2u * (1000 + 1 + 200 + 200 + 100) + 5 + 1, shutterOpen);  // two writes a step, five directions
  EXPECT_EQ(0xFFEF, epu->ok_output());
  // The laser diode shares the step line: off and on again is a lens step.
  EPUN5_TurnLaserdiodeOn(0);
  machine.AdvanceNs(200000);
  EPUN5_TurnLaserdiodeOn(1);
  EXPECT_EQ(1 + 100 + 1, cph->lens_position());
}

}  // namespace

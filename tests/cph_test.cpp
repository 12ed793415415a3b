// The focusing head against the simulated lens carriage on the EPU's lines:
// sensor at 0, lens starting at 1000; the repeat position leaves the lens at
// 1, so a head position p puts it at 1 + p.
#include <cstdlib>

#include "board_test.h"
#include "cph_model.h"
#include "cph_regs.h"
#include "epu_model.h"

namespace {

class CphTest : public testsupport::RowsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    cph = &machine.Add<sim::CphModel>(*(epu = &machine.Add<sim::EpuModel>()));
    EPUN5_SetOKOutput(0);  // the shadow outlives the boards
    machine.trace().Clear();
  }
  // Head position forgotten, engraving position 1000 steps out, records cleared.
  void Fresh(int64_t lens = 1000) {
    cph->set_position(lens);
    ASSERT_EQ(1, CPHN5_InitPowerOn());
    ASSERT_EQ(1, CPHN5_SetCalibParam(500.0, 500.0, 1000));
    cph->ClearRecord();
    Row();
  }
  int32_t Error() { return testsupport::LastError().code; }
  sim::EpuModel* epu = nullptr;
  sim::CphModel* cph = nullptr;
};

TEST_F(CphTest, MovesStopAtTheSensorTestedBeforeEachStepAtTheirOwnPace) {
  // start, n, direction, stop mode, result, stop line, step period in us (with three port accesses)
  const std::tuple<int64_t, int32_t, uint32_t, uint32_t, int32_t, const char*, uint64_t> rows[] = {
      {5, 10, 0, 7, 5, "in CPHCard LenseMove() at 5 Steps Sensor reached\n", 1669},
      {0, 10, 0, 1, 0, "in CPHCard LenseMove() at 0 Steps Sensor reached\n", 0},
      {-2, 10, 1, 0, 3, "in CCPHCard LenseMove() at 3 Steps Sensor leaved\n", 10003},
      {50, 10, 1, 0, 0, "in CCPHCard LenseMove() at 0 Steps Sensor leaved\n", 0},
      {50, 3, 2, 1, 3, nullptr, 1669},  // only 1 is direction 1
      {50, -5, 1, 1, -5, nullptr, 0}};
  for (const auto& [start, n, direction, stopMode, result, stopLine, periodUs] : rows) {
    Fresh(start);
    Lines lines = {"CPHCard LenseMove(" + std::to_string(n) + "," + std::to_string(direction) + "," +
                   std::to_string(stopMode) + ")\n"};
    if (stopLine) lines.push_back(stopLine);
    // one pause for the direction, also without a step
    EXPECT_EQ((std::tuple{result, start + (direction == 1 ? 1 : -1) * std::max(result, 0), lines, size_t{1},
                          periodUs ? periodUs * 1000 : UINT64_MAX, result > 0 ? 201000u : UINT64_MAX}),
              (std::tuple{CPHN5_LenseMove(n, direction, stopMode), cph->lens_position(), log.Lines(),
                          Seen().CountDelays(1000), cph->shortest_step_period_ns(), cph->shortest_low_pulse_ns()}));
  }
}

// Each call changes only the head's own bits of the EPU's output word.
TEST_F(CphTest, RepeatSearchFastOntoTheSensorSlowlyOffThenOutOnTheSharedOutputWord) {
  cph->set_backlash(5);
  Fresh();
  EPUN5_SetOKOutput(0xFFE9);                                              // every bit but the head's
  ASSERT_EQ(1, CPHN5_SetCalibParam(6.28318530718, 12.56637061436, 100));  // one unit of radius: 200 steps
  EXPECT_EQ(1, CPHN5_SetHWShutterOpen(7));
  EXPECT_EQ(1, CPHN5_GotoEngravingPosition());
  EXPECT_EQ(1, CPHN5_SetHWShutterOpen(0));
  EXPECT_EQ(301, cph->lens_position());
  EXPECT_EQ((Lines{"CPHCard::SetKalibrationParameter()\n", "CCPHCard SetShutter(7)\n", "GotoEngravingPosition\n",
                   "in GotoRepeatPosition move to the reference sensor \n", "CPHCard LenseMove(100000,0,1)\n",
                   "in CPHCard LenseMove() at 1000 Steps Sensor reached\n", "in GotoRepeatPosition leave sensor \n",
                   "CPHCard LenseMove(100000,1,0)\n", "in CCPHCard LenseMove() at 6 Steps Sensor leaved\n",
                   "leaving ready \n\n", "GotoEngravingPosition leave Sensor with 300 Steps \n",
                   "CPHCard LenseMove(300,1,1)\n", "CCPHCard SetShutter(0)\n"}),
            log.Lines());
  size_t others = 0, shutterOpen = 0;
  for (uint16_t w : machine.trace().Writes(cph::kOKOutputPort))
    others += (w & ~0x0016) != 0xFFE9, shutterOpen += (w & 0x10) != 0;
  EXPECT_EQ(0u, others);
  EXPECT_EQ(2u * (1000 + 6 + 300) + 3 + 1, shutterOpen);  // two writes a step, three directions
  EXPECT_EQ(0xFFEF, epu->ok_output());
  EPUN5_TurnLaserdiodeOn(0);  // the laser diode shares the step line: off and on again is a step
  machine.AdvanceNs(200000);
  EPUN5_TurnLaserdiodeOn(1);
  EXPECT_EQ(302, cph->lens_position());
  EXPECT_EQ(301, CPHN5_GotoRepeatPosition());  // 307 motor steps onto the sensor, 6 off it
}

// The lens ends where it should whichever side it comes from: the last move
// of up to 150 steps goes up and takes up play of up to 150 steps.
TEST_F(CphTest, BacklashApproachFromBothSidesEndsOnTheSameLensPosition) {
  // backlash, first defocus, second defocus, move to the second's compensation point
  const std::tuple<int64_t, int32_t, int32_t, int32_t> rows[] = {
      {0, 0, 300, -450},   {40, 0, 300, -450},   {40, 600, 300, 150}, {40, 300, 310, -160},
      {40, 950, 920, -50}, {150, 600, 300, 150}, {150, 0, 300, -450}, {0, 300, 150, 0}};
  for (const auto& [backlash, first, second, toCompensation] : rows) {
    cph->set_backlash(backlash);
    Fresh();
    ASSERT_EQ(1, CPHN5_SetDefokusPosition(first));
    cph->ClearRecord(), log.Clear();
    EXPECT_EQ(1, CPHN5_SetDefokusPosition(second));
    const int32_t target = 1000 - second, toTarget = std::min(target, 150);
    const Lines seen = log.Lines();
    const Lines moves = {
        "move to the compensation (spielausgleich) position with " + std::to_string(toCompensation) + " steps \n",
        "CPHCard LenseMove(" + std::to_string(std::abs(toCompensation)) + (toCompensation > 0 ? ",1,1)\n" : ",0,1)\n")};
    EXPECT_EQ((std::tuple{int64_t{1 + target}, moves, static_cast<size_t>(std::abs(toCompensation) + toTarget), 1}),
              (std::tuple{cph->lens_position(), Lines(seen.begin() + 2, seen.begin() + 4), cph->step_count(),
                          int{cph->steps().back().direction}}));
  }
}

int32_t Engrave() { return CPHN5_GotoEngravingPosition(); }
template <int32_t d>
int32_t Defocus() {
  return CPHN5_SetDefokusPosition(d);
}

TEST_F(CphTest, FailuresThroughTheCarriage) {
  enum Start { kValid, kInvalid, kScripted, kNeverFound };
  // start, inactive sensor reads after the repeat search's four, call, code, last line, lens, valid after
  const std::tuple<Start, size_t, int32_t (*)(), int32_t, const char*, int64_t, int32_t> rows[] = {
      {kValid, 0, Defocus<1001>, 4525, "wanted focus behind the sensor position \n", 1001, 1},
      {kInvalid, 0, Defocus<1001>, 4525, "wanted focus behind the sensor position \n", 1, 1},
      {kValid, 0, Defocus<INT32_MIN>, 4525, "wanted focus beyond the head's travel \n", 1001, 1},
      {kScripted, 20, Engrave, 2003, "Couldn't reach Engraving Position\n", 21, 0},
      {kScripted, 20, Defocus<500>, 2003, "Error in CCPHCard::SetDefokusPosition()\n", 21, 0},
      {kScripted, 350 + 20, Defocus<500>, 2003, "Error in CCPHCard::SetDefokusPosition()\n", 371, 0},
      {kNeverFound, 0, Engrave, 2003, "Fail I in GotoEngravingPosition\n", -200, 1},
      {kNeverFound, 0, Defocus<500>, 2003, "Fail I in SetDefokusPos\n", -200, 1}};
  machine.trace().SetEnabled(false);  // 100,000-step searches
  for (const auto& [start, inactiveReads, call, code, line, lens, valid] : rows) {
    cph->set_sensor_never_found(start == kNeverFound);
    Fresh(start == kScripted ? 1 : 1000);
    ASSERT_TRUE(start != kValid || CPHN5_SetDefokusPosition(0) == 1);
    std::vector<bool> script(4 + inactiveReads + 1, false);  // onto the sensor, off it, out until it reads active
    script[1] = script[2] = script.back() = true;
    if (start == kScripted) cph->ScriptSensor(script);
    const size_t steps = cph->step_count();
    // 4525: not a step
    EXPECT_EQ(
        (std::tuple{0, code, std::string(line), true, lens, valid, true}),
        (std::tuple{call(), Error(), log.Lines().back(),
                    start != kInvalid || log.Contains("in SetDefokusPos.() HeadPos. invalid -> new initialized\n"),
                    cph->lens_position(), int32_t{g_pCPH->m_bHeadPosValid},
                    start != kValid || steps == cph->step_count()}));
  }
  EXPECT_EQ(100000, CPHN5_GotoRepeatPosition());
  EXPECT_EQ(2u, machine.Violations().size());  // each search ran into the hard limit
  machine.ClearViolations();
}

TEST_F(CphTest, CalibrationStoresFirstThenChecksAndComputes) {
  // first, second, calibrated steps, result, engraving position (when 1), code, log lines
  const std::tuple<double, double, uint32_t, int32_t, int32_t, int32_t, size_t> rows[] = {
      {500, 500, 1234, 1, 1234, 0, 1},
      {0, 500, 7, 0, 0, 2155, 1},
      {500, kNaN, 7, 0, 0, 2155, 1},
      {500, kInf, 7, 0, 0, 2155, 1},
      {1, 1e12, 0, 0, 0, 2155, 3},
      {500, 500, 0x80000000u, 0, 0, 2155, 3},
      {500, 500, 0x7FFFFFFF, 1, INT32_MAX, 0, 1},
      {12.56637061436, 6.28318530718, 100, 1, 0, 2155, 3},
      {12.56637061436, 6.28318530718, 200, 1, 0, 0, 1}};
  for (const auto& [first, second, steps, result, engraving, code, lines] : rows) {
    Row();
    const int32_t before = g_pCPH->m_lEngravingPos;
    EXPECT_EQ((std::tuple{result, result ? engraving : before, steps, code, lines}),
              (std::tuple{CPHN5_SetCalibParam(first, second, steps), g_pCPH->m_lEngravingPos,
                          g_pCPH->m_dwCalibFocusSteps, Error(), log.Lines().size()}));
  }
}

TEST_F(CphTest, FocusThroughTheTableClampedToTheStepRange) {
  EXPECT_EQ((std::tuple{0, 2155, Lines{"CCPHard SetFokus \n", "Fokus: 12.3 um\n"}}),
            (std::tuple{CPHN5_SetFokus(12.34), Error(), log.Lines()}));
  double x[40], y[40];
  for (int i = 0; i < 40; ++i) x[i] = 100.0 * i, y[i] = 4000.0 * i - 500;
  // focus values, steps, count, entries after, log line
  const std::tuple<const double*, const double*, uint32_t, uint16_t, const char*> tables[] = {
      {x, y, 0x10003, 3, nullptr},
      {x, y, 0, 3, nullptr},  // the previous table stays
      {x, y, 30, 30, nullptr},
      {x, nullptr, 5, 30, "CCPHCard SetFokusTable: no table (null pointer) -> previous table kept\n"},
      {x, y, 40, 30, "CCPHCard SetFokusTable: 40 entries, only the first 30 used\n"}};
  for (const auto& [px, py, count, entries, line] : tables) {
    log.Clear();
    CPHN5_SetFokusTable(px, py, count);
    EXPECT_EQ(entries, g_pCPH->m_FokusTable.wCount);
    EXPECT_EQ(line ? Lines{line} : Lines{}, log.Lines());
  }
  Fresh();
  // focus, defocus as logged (null: refused before)
  const std::tuple<double, const char*> rows[] = {{-kInf, "0"},     {6.25, "0"},       {25, "500"},
                                                  {2550, "100000"}, {1e300, "100000"}, {kNaN, nullptr}};
  for (const auto& [um, defocus] : rows) {
    Row();
    EXPECT_EQ(defocus && um < 1000 ? 1 : 0, CPHN5_SetFokus(um)) << um;
    EXPECT_EQ(!defocus ? 2155 : um < 1000 ? 0 : 4525, Error());
    EXPECT_EQ(defocus ? std::string("CPHCard SetDefokusPosition(") + defocus + ")\n"
                      : "CCPHCard SetFokus: not a number -> lens not moved\n",
              log.Lines()[2]);
  }
  EXPECT_EQ(501, cph->lens_position());
}

TEST_F(CphTest, EmulationFlagOneReportsSuccessTwoLetsDefocusMovesFail) {
  Fresh();
  CARDN5_SetEmulation(1);
  // Then the repeat position and the farthest target.
  EXPECT_EQ((std::vector<int32_t>{12, 7777, 1, 1, 700, 1, 1}),
            (std::vector<int32_t>{CPHN5_LenseMove(12, 0, 1), CPHN5_GotoRepeatPosition(), CPHN5_SetDefokusPosition(300),
                                  CPHN5_GotoEngravingPosition(), g_pCPH->m_lHeadPos, CPHN5_SetDefokusPosition(1000),
                                  CPHN5_SetDefokusPosition(1000 - INT32_MAX)}));
  EXPECT_EQ(0u, machine.trace().All().Count(sim::Access::Out));
  CARDN5_SetEmulation(2);
  // The emulated sensor is always active; a defocus searches (after a manual move), then cannot leave.
  EXPECT_EQ((std::vector<int32_t>{0, 12, 0, 2003}),
            (std::vector<int32_t>{CPHN5_LenseMove(12, 0, 1), CPHN5_LenseMove(12, 1, 0), CPHN5_SetDefokusPosition(300),
                                  Error()}));
  EXPECT_EQ(std::vector<uint32_t>(5, 1000), machine.trace().Delays());  // only the directions' pauses run
  EXPECT_EQ(1000, cph->lens_position());
}

}  // namespace

// The EPU's and the IPG's failures in one catalogue: each one's log lines,
// recorded error code, result and what it leaves. (The frame's one failure,
// 2148, needs an allocation that fails: frame_test.)
#include <gtest/gtest.h>

#include "epu_support.h"

namespace {

using eputest::EpuTest;
using eputest::Job;
using eputest::SmMoveRecorder;
using Lines = std::vector<std::string>;

const std::string kNoJob = "DoOneRow: wRowLength = 0, no job prepared -> row refused\n";
const std::string kPLL = "in LaserOneRow PLL not in range \n";
const std::string kStepper = "SM Error in LaserOneRow()\n";
const std::string kMode0 = "Error in LaserOneRow(),  Rowmode=0 \n";
const std::string kCylindrical = "Error in LaserOneRow() cylindrical part\n";
const std::string kSpiral = "Error in LaserOneRow() spiral part\n";
const std::string kInitParameter = "Error in EPUN5_GravurVorbereiten : InitParameter\n";
const std::string kSetBits = "Error in EPUN5_GravurVorbereiten : SetBits\n";

void ExpectLastLinesAndCode(const testsupport::LogCapture& log, const Lines& lines, int32_t code) {
  const Lines all = log.Lines();
  ASSERT_GE(all.size(), lines.size()) << log.Dump();
  EXPECT_EQ(lines, Lines(all.end() - static_cast<long>(lines.size()), all.end()));
  const testsupport::RecordedError e = testsupport::LastError();
  EXPECT_EQ(code, e.code);
  if (code) {
    EXPECT_EQ("CEPU.cpp", e.file);
  }
}

// A lost PLL leaves the row unwritten; a failing stepper leaves it written
// and the banks changed.
TEST_F(EpuTest, RowFailures) {
  const struct {
    const char* name;
    bool prepared, pllLost;
    uint16_t smAuto;
    int before, failOn;  // rows of the same mode first; the SmMove call that fails
    uint32_t mode;
    int32_t result;
    Lines lines;  // the last lines logged
    int32_t code;
    size_t rowsTaken;
  } cases[] = {
      {"no job", false, false, 0, 0, 0, 0, 0, {kNoJob}, 0, 0},
      {"PLL lost", true, true, 0, 0, 0, 0, 0, {kPLL, kMode0}, 2101, 0},
      {"PLL lost in both passes", true, true, 0, 0, 0, 2, 0, {kPLL, kCylindrical, kPLL, kSpiral}, 2101, 0},
      {"stepper fails in a row", true, false, 0, 1, 1, 0, 0, {kStepper, kMode0}, 0, 1},
      {"stepper fails in the spiral pass", true, false, 0, 0, 1, 1, 0, {kStepper, kSpiral}, 0, 2},
      {"stepper fails in the cylindrical pass", true, false, 0, 1, 2, 1, 0, {kStepper, kCylindrical}, 0, 2},
      {"illegal row mode", true, false, 0, 0, 0, 7, 1, {"Illegal Rowmode 7\n"}, 0, 0},
      {"mode 0x10000 is mode 0", true, false, 0, 0, 0, 0x10000, 1, {}, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.prepared) PrepareJob([&c](EPU_GRAVUR_PARAMS& j) { j.wSMAuto = c.smAuto; });
    for (int n = 0; n < c.before; ++n) ASSERT_EQ(1, Row(c.mode, 3, 10));
    epu->set_pll_locked(!c.pllLost);
    SmMoveRecorder::failOnCall = c.failOn;
    testsupport::ClearLastError();
    const size_t rows = epu->rows().size();
    EXPECT_EQ(c.result, Row(c.mode, 3, 10));
    ExpectLastLinesAndCode(log, c.lines, c.code);
    EXPECT_EQ(c.rowsTaken, epu->rows().size() - rows);
    epu->set_pll_locked(true);
  }
}

// A failed start leaves the job's fields and registers; a refused job
// leaves the one before.
TEST_F(EpuTest, PreparationFailures) {
  const struct {
    const char* name;
    bool wrpl1Never, wralloNever;
    uint32_t rowLength;
    Lines lines;
  } cases[] = {
      {"no bank 0 at the start", true, false, 1000, {"WRPL1_BIT wurde als 0 erkannt\n", kSetBits}},
      {"no row slot at the start", false, true, 1000, {"2000 Retries -> immer noch nicht ok\n", kSetBits}},
      {"row length 0", false, false, 0x30000, {"InitParameter: wRowLength = 0 refused\n", kInitParameter}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareJob();
    epu->set_wrpl1_never_set(c.wrpl1Never);
    epu->set_wrallo_never_set(c.wralloNever);
    EPU_GRAVUR_PARAMS job = Job();
    job.wRowLength = c.rowLength;
    job.wStartposY = 77;
    EXPECT_EQ(0, EPUN5_GravurVorbereiten(job));
    ExpectLastLinesAndCode(log, c.lines, 2006);
    EXPECT_EQ(1000, g_pEPU->m_wRowLength);
    EXPECT_EQ(c.rowLength == 1000 ? 77 : 300, g_pEPU->m_wStartposY);
    EXPECT_EQ(1000, epu->reg(epu::kRowLengthPort));
    EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
    epu->set_wrpl1_never_set(false);
    epu->set_wrallo_never_set(false);
  }
}

TEST_F(EpuTest, IpgRefusesZeroPulsesAndKeepsItsProgram) {
  ASSERT_EQ(1, IPGN5_SetIPGPulses(6300));
  Forget();
  EXPECT_EQ(0, IPGN5_SetIPGPulses(0));
  ExpectLastLinesAndCode(log, {"IPGN5_SetIPGPulses: 0 pulses refused, IPG unchanged\n"}, 0);
  EXPECT_EQ(0u, machine.trace().size());
  EXPECT_DOUBLE_EQ(6300.0, ipg->pulses_per_period());
}

}  // namespace

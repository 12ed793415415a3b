// A row that needs the host's stepper but was handed no stepper function:
// it ends as a row whose SmMove failed, with one more log line, instead of
// calling through the null pointer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "epu_support.h"

namespace {

using eputest::DefaultJob;
using eputest::EpuTest;

const char kNullLine[] = "DoOneRow: pfnSmMove = NULL -> stepper not moved, row refused\n";

int g_nRefused = 0;
int32_t CARDN5_CALL RefusingMove(uint32_t, uint32_t, uint32_t) {
  ++g_nRefused;
  return 0;
}

// What a row left behind: its result, what it wrote and logged, and the
// board's state.
struct Outcome {
  int32_t result = -1;
  std::vector<std::pair<uint16_t, uint16_t>> writes;
  std::vector<std::string> lines;
  size_t rows = 0;
  uint16_t expectedBank = 0, firstRow = 0, startOffset = 0, rowCounter = 0, control = 0;
  int32_t inRow = -1;
};

class EpuNullStepperTest : public EpuTest {
 protected:
  // The same job and rows each time: rand() reseeded for the offset table,
  // the offset cursor put back.
  Outcome Run(uint16_t smAuto, uint32_t mode, int nRowsBefore, PFN_SMMOVE last, uint16_t cursor) {
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wSMAuto = smAuto;
    job.wRandomOffset = 1;
    std::srand(7);
    PrepareJob(job);
    g_wRandomCursor = cursor;
    for (int i = 0; i < nRowsBefore; ++i) EXPECT_EQ(1, Row(0, 3, 10));
    log.Clear();
    const size_t mark = machine.trace().Mark();
    const size_t rowsBefore = epu->rows().size();
    Outcome o;
    o.result = EPUN5_DoOneRow(0x1000, 0x2000, mode, 3, 10, last);
    o.writes = machine.trace().Since(mark).AllWrites();
    o.lines = log.Lines();
    o.rows = epu->rows().size() - rowsBefore;
    o.expectedBank = g_pEPU->m_wExpectedBank;
    o.firstRow = static_cast<uint16_t>(g_pEPU->m_bFirstRow);
    o.startOffset = g_pEPU->m_wStartOffset;
    o.rowCounter = g_pEPU->m_wRowCounter;
    o.control = epu->control();
    o.inRow = g_pEPU->m_bInDoOneRow.load();
    return o;
  }
};

TEST_F(EpuNullStepperTest, ARowNeedingANullStepperEndsAsAFailedMove) {
  struct Case {
    const char* name;
    uint16_t smAuto;
    uint32_t mode;
    int rowsBefore;
    int32_t result;
    int refusedMoves;  // SmMove calls the row makes
  } cases[] = {
      {"single row, host advance", 0, 0, 1, 0, 1},
      {"first row of the job moves nothing", 0, 0, 0, 1, 0},
      {"single row, board advance", 1, 0, 1, 1, 0},
      {"two passes, first row: the spiral pass moves", 0, 1, 0, 0, 1},
      {"two passes after the first row: both move", 0, 2, 1, 0, 2},
      {"stepper move only, host advance", 0, 3, 0, 0, 1},
      {"stepper move only, board advance", 1, 3, 0, 0, 1},
  };
  const uint16_t cursor = g_wRandomCursor;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_nRefused = 0;
    const Outcome failed = Run(c.smAuto, c.mode, c.rowsBefore, &RefusingMove, cursor);
    ASSERT_EQ(c.refusedMoves, g_nRefused);
    const Outcome null = Run(c.smAuto, c.mode, c.rowsBefore, nullptr, cursor);

    EXPECT_EQ(c.result, null.result);
    EXPECT_EQ(failed.result, null.result);
    EXPECT_EQ(failed.writes, null.writes);
    std::vector<std::string> others;
    int nNull = 0;
    for (const std::string& line : null.lines) {
      if (line == kNullLine)
        ++nNull;
      else
        others.push_back(line);
    }
    EXPECT_EQ(c.refusedMoves, nNull) << log.Dump();
    EXPECT_EQ(failed.lines, others);
    EXPECT_EQ(failed.rows, null.rows);
    EXPECT_EQ(failed.expectedBank, null.expectedBank);
    EXPECT_EQ(failed.firstRow, null.firstRow);
    EXPECT_EQ(failed.startOffset, null.startOffset);
    EXPECT_EQ(failed.rowCounter, null.rowCounter);
    EXPECT_EQ(failed.control, null.control);
    EXPECT_EQ(0, null.inRow);
  }
}

}  // namespace

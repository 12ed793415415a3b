// A row that needs the host's stepper but was handed no stepper function
// ends as a row whose SmMove failed, with one more log line, instead of
// calling through the null pointer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "epu_support.h"

namespace {

const std::string kNullLine = "DoOneRow: pfnSmMove = NULL -> stepper not moved, row refused\n";

int g_nRefused = 0;
int32_t CARDN5_CALL RefusingMove(uint32_t, uint32_t, uint32_t) {
  ++g_nRefused;
  return 0;
}

// What the last row left: result, writes, log lines without the null
// line, and the board's state.
struct Outcome {
  int32_t result;
  std::vector<std::pair<uint16_t, uint16_t>> writes;
  std::vector<std::string> lines;
  std::vector<int> state;
  int nNullLines = 0;
};

class EpuNullStepperTest : public eputest::EpuTest {
 protected:
  // The same job each time: rand() reseeded, the offset cursor put back.
  Outcome Run(uint16_t smAuto, uint32_t mode, int nRowsBefore, PFN_SMMOVE pfnLast, uint16_t cursor) {
    std::srand(7);
    PrepareJob([smAuto](EPU_GRAVUR_PARAMS& job) {
      job.wSMAuto = smAuto;
      job.wRandomOffset = 1;
    });
    g_wRandomCursor = cursor;
    for (int i = 0; i < nRowsBefore; ++i) EXPECT_EQ(1, Row(0, 3, 10));
    log.Clear();
    const size_t mark = machine.trace().Mark(), rows = epu->rows().size();
    Outcome o{EPUN5_DoOneRow(0x1000, 0x2000, mode, 3, 10, pfnLast),
              machine.trace().Since(mark).AllWrites(),
              log.Lines(),
              {},
              log.Count(kNullLine)};
    o.lines.erase(std::remove(o.lines.begin(), o.lines.end(), kNullLine), o.lines.end());
    const CEPUCard& c = *g_pEPU;
    const int taken = static_cast<int>(epu->rows().size() - rows);
    o.state = {taken,           c.m_wExpectedBank, c.m_bFirstRow,         c.m_wStartOffset,
               c.m_wRowCounter, epu->control(),    c.m_bInDoOneRow.load()};
    return o;
  }
};

TEST_F(EpuNullStepperTest, ARowNeedingANullStepperEndsAsAFailedMove) {
  struct Case {
    const char* name;
    uint16_t smAuto;
    uint32_t mode;
    int rowsBefore, result, moves;  // moves: SmMove calls the row makes
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
    ASSERT_EQ(c.moves, g_nRefused);
    const Outcome null = Run(c.smAuto, c.mode, c.rowsBefore, nullptr, cursor);
    EXPECT_EQ(c.result, null.result);
    EXPECT_EQ(c.moves, null.nNullLines);
    EXPECT_EQ(failed.writes, null.writes);
    EXPECT_EQ(failed.lines, null.lines);
    EXPECT_EQ(failed.state, null.state);
  }
}

}  // namespace

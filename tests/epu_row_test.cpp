// EPU row engraving against the simulated board: the row modes, the waits,
// PLL and bank supervision, the host's stepper, and a whole job.
#include <gtest/gtest.h>

#include <cstdio>

#include "epu_support.h"
#include "hwio32_ext.h"

namespace {

using eputest::DefaultJob;
using eputest::EpuTest;
using eputest::HoldOffs;
using eputest::SmMoveRecorder;
using eputest::WritesTo;
using sim::EpuModel;

std::string WrongBankLine(uint16_t s0, uint16_t s1, uint16_t s2) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "Switched to wrong memory bank 0x%x 0x%x 0x%x \n", s0, s1, s2);
  return buf;
}

// Status values read through HWIO_Hin from trace index 'from' on, repeats unfolded.
std::vector<uint16_t> StatusReads(const std::vector<sim::TraceEntry>& entries) {
  std::vector<uint16_t> out;
  for (const sim::TraceEntry& e : entries)
    if (e.kind == sim::Access::In && e.port == EpuModel::kStatus) out.insert(out.end(), e.repeat, e.value);
  return out;
}

size_t CodeCalls(const std::vector<sim::TraceEntry>& entries) {
  size_t n = 0;
  for (const sim::TraceEntry& e : entries) n += e.kind == sim::Access::Code;
  return n;
}

// ---- Shift, divider and offset arithmetic -----------------------------------------

TEST_F(EpuTest, RecalcShiftKeepsShiftPlusRestAtTheRowLength) {
  struct Case {
    uint16_t rowLength, startOffset, rowShift, shift, rest;
  } cases[] = {
      {1000, 2, 10, 8, 992},       {1000, 500, 10, 510, 490}, {1000, 10, 10, 1000, 0},
      {1000, 2, 1500, 1498, 65038},  // shift beyond the row: the rest wraps in 16 bits
      {1000, 2600, 100, 500, 500},   // the rest is taken modulo the row length
      {1, 7, 3, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.startOffset << " / " << c.rowShift);
    g_pEPU->m_wRowLength = c.rowLength;
    g_pEPU->m_wStartOffset = c.startOffset;
    g_pEPU->m_wRowShift = c.rowShift;
    g_pEPU->RecalcShift();
    EXPECT_EQ(c.shift, g_pEPU->m_wShift);
    EXPECT_EQ(c.rest, g_pEPU->m_wShiftRest);
    EXPECT_EQ(c.rowLength, static_cast<uint16_t>(g_pEPU->m_wShift + g_pEPU->m_wShiftRest));
  }
}

TEST_F(EpuTest, StepsPerRowSetTheAdvanceDivider) {
  struct Case {
    uint32_t pulses, steps;
    uint16_t stepsPerRow, divider;
  } cases[] = {
      {10000, 3, 3, 2917},       // midway between 2500 and 3333
      {10000, 0, 0, 65534},      // no steps: the largest divider, not 65535 or 65500
      {200000, 1, 1, 65534},     // capped
      {10000, 0x10003, 3, 2917}, // only the low 16 bits are steps
      {0, 5, 5, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pulses << " pulses, " << c.steps << " steps");
    g_pEPU->m_dwPulsesPerRow = c.pulses;
    g_pEPU->SetStepsPerRow(c.steps);
    EXPECT_EQ(c.stepsPerRow, g_pEPU->m_wStepsPerRow);
    EXPECT_EQ(c.divider, g_pEPU->m_wAdvanceDivider);
  }
}

TEST_F(EpuTest, RandomOffsetsComeFromTheTableAndWrapAt1000) {
  PrepareJob(DefaultJob());
  for (int k = 0; k < 1000; ++k) g_pEPU->m_awRandomOffsets[k] = static_cast<uint16_t>(k + 100);
  g_wRandomCursor = 0;
  EXPECT_EQ(101, g_pEPU->NextRandomOffset());  // the first value after load is entry 1
  g_wRandomCursor = 998;
  EXPECT_EQ(1099, g_pEPU->NextRandomOffset());
  EXPECT_EQ(100, g_pEPU->NextRandomOffset());
  EXPECT_EQ(0, g_wRandomCursor);
}

// ---- Single rows ------------------------------------------------------------------

TEST_F(EpuTest, FirstRowWritesTheRowRegistersThenRowsAlternateBanks) {
  PrepareJob(DefaultJob());
  EXPECT_EQ(1, Row(0, 3, 10, 0x11, 0x22));

  auto first = machine.trace().entries();
  EXPECT_EQ(std::vector<uint16_t>{8}, WritesTo(first, EpuModel::kShift));
  EXPECT_EQ(std::vector<uint16_t>{302}, WritesTo(first, EpuModel::kStartPos));
  EXPECT_EQ(std::vector<uint16_t>{992}, WritesTo(first, EpuModel::kBank0Offset));
  EXPECT_EQ(std::vector<uint16_t>{2917}, WritesTo(first, EpuModel::kAdvanceDivider));
  EXPECT_EQ(2u, HoldOffs(first));
  EXPECT_TRUE(SmMoveRecorder::calls.empty());
  ASSERT_EQ(1u, epu->rows().size());
  const sim::EpuRow row = epu->rows()[0];
  EXPECT_EQ(0, row.bank);
  EXPECT_EQ(0, row.offeredBank);
  EXPECT_TRUE(row.hasCode);
  EXPECT_EQ(HWIO_CODE_PX, row.kind);
  EXPECT_EQ(0x11u, row.arg1);
  EXPECT_EQ(0x22u, row.arg2);
  EXPECT_EQ(1, g_pEPU->m_wExpectedBank);
  EXPECT_EQ(0, g_pEPU->m_bFirstRow);

  machine.trace().Clear();
  EXPECT_EQ(1, Row(0, 3, 10, 0x33, 0x44));
  auto second = machine.trace().entries();
  EXPECT_TRUE(WritesTo(second, EpuModel::kShift).empty());
  EXPECT_EQ(std::vector<uint16_t>{992}, WritesTo(second, EpuModel::kBank1Offset));
  EXPECT_EQ(0u, HoldOffs(second));
  ASSERT_EQ(1u, SmMoveRecorder::calls.size());
  EXPECT_EQ(3u, SmMoveRecorder::calls[0].steps);
  EXPECT_EQ(1u, SmMoveRecorder::calls[0].one);
  EXPECT_EQ(0u, SmMoveRecorder::calls[0].zero);
  ASSERT_EQ(2u, epu->rows().size());
  EXPECT_EQ(1, epu->rows()[1].bank);
  EXPECT_EQ(1, epu->rows()[1].offeredBank);
  EXPECT_EQ(1u, epu->mem_counter(1));
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(EpuTest, RowShiftFFFFOnTheFirstRowSkipsTheRowRegisters) {
  PrepareJob(DefaultJob());
  EXPECT_EQ(1, Row(0, 3, 0xFFFF));
  EXPECT_TRUE(machine.trace().Writes(EpuModel::kShift).empty());
  EXPECT_EQ(0u, HoldOffs(machine.trace().entries()));
  EXPECT_EQ(std::vector<uint16_t>{5}, machine.trace().Writes(EpuModel::kBank0Offset));  // rest from preparation
}

TEST_F(EpuTest, CodeWaitsForItsBusyBitAndGoesToItsTransfer) {
  for (uint16_t ll : {0, 1}) {
    SCOPED_TRACE(ll ? "LL code" : "PX code");
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wLLCode = ll;
    PrepareJob(job);
    ASSERT_EQ(1, Row(0, 3, 0xFFFF));
    const auto& entries = machine.trace().entries();
    // after the command word, reads with the busy bit set, then the code
    size_t command = 0, code = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].IsWrite() && entries[i].port == EpuModel::kStatus) command = i;
      if (entries[i].kind == sim::Access::Code) code = i;
    }
    ASSERT_LT(command, code);
    const std::vector<sim::TraceEntry> between(entries.begin() + static_cast<long>(command), entries.begin() + static_cast<long>(code));
    const std::vector<uint16_t> reads = StatusReads(between);
    const uint16_t busy = ll ? 0x0001 : 0x1000;
    ASSERT_GE(reads.size(), 2u);
    EXPECT_TRUE(reads.front() & busy);
    EXPECT_FALSE(reads.back() & busy);
    EXPECT_EQ(ll ? HWIO_CODE_LL : HWIO_CODE_PX, epu->rows().back().kind);
  }
}

// ---- PLL supervision ----------------------------------------------------------------

TEST_F(EpuTest, PllLostFailsTheRowWithoutWritingOrChangingBanks) {
  PrepareJob(DefaultJob());
  ASSERT_EQ(1, Row(0, 3, 10));
  const uint32_t changes = epu->bank_changes();
  machine.trace().Clear();
  log.Clear();
  epu->set_pll_locked(false);

  EXPECT_EQ(0, Row(0, 3, 10));
  const std::vector<std::string> lines = {"in LaserOneRow PLL not in range \n", "Error in LaserOneRow(),  Rowmode=0 \n"};
  EXPECT_EQ(lines, log.Lines());
  const auto err = testsupport::LastError();
  EXPECT_EQ(2101, err.code);
  EXPECT_EQ("CEPU_row.cpp", err.file);
  EXPECT_EQ(3u, StatusReads(machine.trace().entries()).size());  // one reading, two re-checks
  EXPECT_EQ(0u, CodeCalls(machine.trace().entries()));
  EXPECT_TRUE(machine.trace().Writes(EpuModel::kControl).empty());
  EXPECT_EQ(changes, epu->bank_changes());
  EXPECT_EQ(1, g_pEPU->m_wExpectedBank);
  EXPECT_TRUE(SmMoveRecorder::calls.empty());

  // the PLL locks again: the job goes on in the bank it expected
  epu->set_pll_locked(true);
  EXPECT_EQ(1, Row(0, 3, 10));
  EXPECT_EQ(1, epu->rows().back().bank);
}

TEST_F(EpuTest, PllReadingsAreCountedAcrossTheRechecks) {
  struct Case {
    const char* name;
    std::vector<bool> pll;
    std::vector<bool> wrallo;
    int32_t result;
  } cases[] = {
      {"three out of range", {false, false, false}, {}, 0},
      {"recovered in the rechecks", {false, true, false, false}, {}, 1},
      {"recovered, out again twice", {false, false, true, false}, {}, 1},
      {"out once, in range", {false, true, true, true}, {}, 1},
      // no row slot yet: the count carries into the next round
      {"count carries over", {false, true, false, false, false, false}, {false, false, false, false}, 0},
      {"carried count reset by a locked reading", {false, true, false, false, true, true}, {false, false, false, false},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrepareJob(DefaultJob());
    testsupport::ClearLastError();
    const size_t rowsBefore = epu->rows().size();
    epu->ScriptBit(EpuModel::kPllInRange, c.pll);
    epu->ScriptBit(EpuModel::kWrallo, c.wrallo);
    EXPECT_EQ(c.result, Row(0, 3, 0xFFFF));
    EXPECT_EQ(c.result ? 0 : 2101, testsupport::LastError().code);
    EXPECT_EQ(rowsBefore + (c.result ? 1u : 0u), epu->rows().size());
  }
}

// ---- Bank supervision -----------------------------------------------------------------

TEST_F(EpuTest, WrongBankLightsTheLedAndTheRowSucceeds) {
  PrepareJob(DefaultJob());
  epu->set_wrong_bank(true);
  EXPECT_EQ(1, Row(0, 3, 0xFFFF));

  const std::vector<uint16_t> reads = StatusReads(machine.trace().entries());
  ASSERT_GE(reads.size(), 6u);
  EXPECT_EQ(std::vector<std::string>{WrongBankLine(reads[0], reads[1], reads[2])}, log.Lines());
  EXPECT_TRUE(epu->error_led());
  ASSERT_EQ(1u, epu->rows().size());
  EXPECT_EQ(0, epu->rows()[0].bank);
  EXPECT_EQ(1, epu->rows()[0].offeredBank);
  EXPECT_EQ(1, g_pEPU->m_wExpectedBank);
}

TEST_F(EpuTest, OnlyThreeWrongReadingsOfThreeCount) {
  struct Case {
    std::vector<bool> wrpl1;  // S0, S1, S2, then the three bank readings
    bool message;
  } cases[] = {
      {{true, true, true, false, false, false}, true},
      {{true, true, true, false, false, true}, false},
      {{false, false, false, true, false, false}, false},
      {{true, true, true, true, true, true}, false},
  };
  for (const Case& c : cases) {
    PrepareJob(DefaultJob());
    EPUN5_SetErrorLED(0);
    epu->ScriptBit(EpuModel::kWrpl1, c.wrpl1);
    EXPECT_EQ(1, Row(0, 3, 0xFFFF));
    EXPECT_EQ(c.message ? 1u : 0u, log.Lines().size()) << log.Dump();
    EXPECT_EQ(c.message, epu->error_led());
    log.Clear();
  }
}

// ---- The host's stepper ---------------------------------------------------------------

TEST_F(EpuTest, SmMoveFailingInsideTheRowStillWritesAndChangesBanks) {
  PrepareJob(DefaultJob());
  ASSERT_EQ(1, Row(0, 3, 10));
  SmMoveRecorder::failOnCall = 1;
  EXPECT_EQ(0, Row(0, 3, 10));
  const std::vector<std::string> lines = {"SM Error in LaserOneRow()\n", "Error in LaserOneRow(),  Rowmode=0 \n"};
  EXPECT_EQ(lines, log.Lines());
  EXPECT_EQ(2u, epu->rows().size());
  EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
  EXPECT_EQ(0, testsupport::LastError().code);
}

TEST_F(EpuTest, StepperMoveOnlyRowsHandTheWholeStepsToTheHost) {
  struct Case {
    const char* name;
    uint16_t smAuto;
    int failOn;
    int32_t result;
    std::vector<std::string> lines;
    std::vector<uint16_t> controlWrites;
  } cases[] = {
      {"host advance", 0, 0, 1, {}, {}},
      {"host advance, move fails", 0, 1, 0, {"Fail in SmMove\n"}, {}},
      {"board advance", 1, 0, 1, {}, {0x0238, 0x0338}},
      {"board advance, move fails", 1, 1, 0, {"Error in DoOneRow during SmMove\n"}, {0x0238, 0x0338}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wSMAuto = c.smAuto;
    PrepareJob(job);
    SmMoveRecorder::Reset(epu);
    SmMoveRecorder::failOnCall = c.failOn;
    const uint16_t dividerBefore = g_pEPU->m_wAdvanceDivider;

    EXPECT_EQ(c.result, Row(3, 0x00012345, 0xFFFF));
    EXPECT_EQ(c.lines, log.Lines());
    EXPECT_EQ(c.controlWrites, machine.trace().Writes(EpuModel::kControl));
    ASSERT_EQ(1u, SmMoveRecorder::calls.size());
    EXPECT_EQ(0x00012345u, SmMoveRecorder::calls[0].steps);
    EXPECT_TRUE(epu->rows().empty());
    EXPECT_EQ(dividerBefore, g_pEPU->m_wAdvanceDivider);  // mode 3 leaves the steps alone
  }
}

TEST_F(EpuTest, IllegalRowModeEngravesNothingButRanTheShiftAndSteps) {
  PrepareJob(DefaultJob());
  EXPECT_EQ(1, Row(7, 3, 10));
  EXPECT_EQ(std::vector<std::string>{"Illegal Rowmode 7\n"}, log.Lines());
  EXPECT_TRUE(epu->rows().empty());
  EXPECT_EQ(2917, g_pEPU->m_wAdvanceDivider);
  EXPECT_EQ(std::vector<uint16_t>{8}, machine.trace().Writes(EpuModel::kShift));

  // only the low 16 bits are the mode
  log.Clear();
  EXPECT_EQ(1, Row(0x10000, 3, 10));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(1u, epu->rows().size());
}

TEST_F(EpuTest, TwoPassRowsChangeBanksTwiceWithTheirB700Values) {
  struct Case {
    uint32_t mode;
    uint16_t spiralB700;
  } cases[] = {{1, 500}, {2, 65500}};  // 5 % of 10,000 pulses; mode 2 a fixed value
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "row mode " << c.mode);
    PrepareJob(DefaultJob());
    SmMoveRecorder::Reset(epu);
    const size_t rowsBefore = epu->rows().size();
    const uint16_t cursor = g_wRandomCursor;

    for (int call = 0; call < 2; ++call) {
      const size_t traceFrom = machine.trace().size();
      ASSERT_EQ(1, Row(c.mode, 3, 10));
      const auto entries = TraceFrom(traceFrom);
      // the row shift changes on the first call only: two index pulses more
      EXPECT_EQ(call == 0 ? 8u : 6u, HoldOffs(entries));
      const uint16_t offset = g_pEPU->m_awRandomOffsets[(cursor + call + 1) % 1000];
      const std::vector<uint16_t> startPos = WritesTo(entries, EpuModel::kStartPos);
      ASSERT_GE(startPos.size(), 3u);
      EXPECT_EQ(300 + offset, startPos[startPos.size() - 3]);  // cylindrical pass
      EXPECT_EQ(302, startPos[startPos.size() - 2]);           // spiral pass
      EXPECT_EQ(302, startPos.back());                         // restored
    }
    const auto rows = epu->rows();
    ASSERT_EQ(rowsBefore + 4, rows.size());
    for (size_t i = 0; i < 4; ++i) {
      const sim::EpuRow& r = rows[rowsBefore + i];
      const bool cylindrical = i % 2 == 0;
      EXPECT_EQ(static_cast<int>(i % 2), r.bank);
      EXPECT_EQ(cylindrical ? 1 : c.spiralB700, r.regB700);
      EXPECT_EQ(cylindrical ? 65500 : 2917, r.advanceDivider);
      EXPECT_EQ(1000, r.shift + r.bankOffset);
    }
    EXPECT_EQ(1u, epu->reg(EpuModel::kRegB700));
    // the first cylindrical pass is the job's first row
    ASSERT_EQ(3u, SmMoveRecorder::calls.size());
    EXPECT_EQ(rowsBefore + 1, SmMoveRecorder::calls[0].rowsBefore);
    EXPECT_EQ(static_cast<uint16_t>((cursor + 2) % 1000), g_wRandomCursor);
  }
}

TEST_F(EpuTest, TwoPassFailuresNameTheirPass) {
  PrepareJob(DefaultJob());
  SmMoveRecorder::failOnCall = 1;  // the spiral pass of the first call
  EXPECT_EQ(0, Row(1, 3, 10));
  EXPECT_EQ((std::vector<std::string>{"SM Error in LaserOneRow()\n", "Error in LaserOneRow() spiral part\n"}),
            log.Lines());

  log.Clear();
  SmMoveRecorder::failOnCall = 2;  // the cylindrical pass of the second
  EXPECT_EQ(0, Row(1, 3, 10));
  EXPECT_EQ((std::vector<std::string>{"SM Error in LaserOneRow()\n", "Error in LaserOneRow() cylindrical part\n"}),
            log.Lines());
  EXPECT_EQ(4u, epu->rows().size());  // the spiral pass still ran

  log.Clear();
  epu->set_pll_locked(false);
  EXPECT_EQ(0, Row(2, 3, 10));
  EXPECT_EQ(1, log.Count("Error in LaserOneRow() cylindrical part\n"));
  EXPECT_EQ(1, log.Count("Error in LaserOneRow() spiral part\n"));
  EXPECT_EQ(4u, epu->rows().size());
}

// ---- Jobs -------------------------------------------------------------------------

TEST_F(EpuTest, RandomOffsetJobWithHostAdvance) {
  EPU_GRAVUR_PARAMS job = DefaultJob();
  job.wRandomOffset = 2;
  PrepareJob(job);
  const uint16_t cursorAtStart = g_wRandomCursor;
  uint16_t cursor = cursorAtStart;
  const int kRows = 300;

  for (int n = 1; n <= kRows; ++n) {
    SCOPED_TRACE(testing::Message() << "row " << n);
    const size_t traceFrom = machine.trace().size();
    ASSERT_EQ(1, Row(0, 3, 10, 0x1000u + n, 0x2000u + n));
    const auto entries = TraceFrom(traceFrom);
    const std::vector<uint16_t> startPos = WritesTo(entries, EpuModel::kStartPos);
    const std::vector<uint16_t> bankOffsets = WritesTo(entries, n % 2 ? EpuModel::kBank0Offset : EpuModel::kBank1Offset);
    if (n == 1) {
      // the row shift changed, and the first row waits because of the preparation
      EXPECT_EQ(4u, HoldOffs(entries));
      EXPECT_EQ(std::vector<uint16_t>{302}, startPos);
    } else if (n % 3 == 0) {
      cursor = static_cast<uint16_t>((cursor + 1) % 1000);
      const uint16_t offset = g_pEPU->m_awRandomOffsets[cursor];
      EXPECT_EQ(2u, HoldOffs(entries));
      EXPECT_EQ(std::vector<uint16_t>{static_cast<uint16_t>(300 + offset)}, startPos);
      ASSERT_EQ(2u, bankOffsets.size());
      const std::vector<uint16_t> shift = WritesTo(entries, EpuModel::kShift);
      ASSERT_EQ(1u, shift.size());
      EXPECT_EQ(1000, shift[0] + bankOffsets[1]);
    } else {
      EXPECT_EQ(0u, HoldOffs(entries));
      EXPECT_TRUE(startPos.empty());
      EXPECT_EQ(1u, bankOffsets.size());
    }
  }
  EXPECT_EQ(static_cast<uint16_t>((cursorAtStart + kRows / 3) % 1000), g_wRandomCursor);

  const auto rows = epu->rows();
  ASSERT_EQ(static_cast<size_t>(kRows), rows.size());
  for (int i = 0; i < kRows; ++i) {
    EXPECT_EQ(i % 2, rows[i].bank);
    EXPECT_EQ(rows[i].bank, rows[i].offeredBank);
    EXPECT_EQ(0x1000u + i + 1, rows[i].arg1);
  }
  EXPECT_EQ(150u, epu->rows_in_bank(0));
  EXPECT_EQ(150u, epu->rows_in_bank(1));
  ASSERT_EQ(static_cast<size_t>(kRows - 1), SmMoveRecorder::calls.size());
  for (size_t k = 0; k < SmMoveRecorder::calls.size(); ++k) {
    EXPECT_EQ(3u, SmMoveRecorder::calls[k].steps);
    EXPECT_EQ(k + 1, SmMoveRecorder::calls[k].rowsBefore);  // never before the first row was taken
  }
  EXPECT_FALSE(epu->error_led());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(EpuTest, BoardAdvanceNeitherMovesNorDrawsInsideRows) {
  EPU_GRAVUR_PARAMS job = DefaultJob();
  job.wRandomOffset = 2;
  job.wSMAuto = 1;
  PrepareJob(job);
  const uint16_t cursor = g_wRandomCursor;
  for (int n = 0; n < 6; ++n) ASSERT_EQ(1, Row(0, 3, 10));
  EXPECT_TRUE(SmMoveRecorder::calls.empty());
  EXPECT_EQ(cursor, g_wRandomCursor);
  EXPECT_EQ(2u, HoldOffs(machine.trace().entries()));  // only the row shift's
  EXPECT_EQ(std::vector<uint16_t>{302}, machine.trace().Writes(EpuModel::kStartPos));

  ASSERT_EQ(1, Row(1, 3, 10));  // a two-pass row still draws one
  EXPECT_EQ(static_cast<uint16_t>((cursor + 1) % 1000), g_wRandomCursor);
}

TEST_F(EpuTest, SetFirstRowSkipsTheNextMove) {
  PrepareJob(DefaultJob());
  for (int n = 0; n < 3; ++n) ASSERT_EQ(1, Row(0, 3, 10));
  EXPECT_EQ(2u, SmMoveRecorder::calls.size());
  EPUN5_SetFirstRow();
  ASSERT_EQ(1, Row(0, 3, 10));
  EXPECT_EQ(2u, SmMoveRecorder::calls.size());
  ASSERT_EQ(1, Row(0, 3, 10));
  EXPECT_EQ(3u, SmMoveRecorder::calls.size());
}

TEST_F(EpuTest, EmulatedRowsSkipTheBoardAndFailOnlyWithTheStepper) {
  PrepareJob(DefaultJob());
  epu->set_pll_locked(false);
  epu->set_wrong_bank(true);
  ASSERT_EQ(1, CARDN5_SetEmulation(1));
  log.Clear();
  machine.trace().Clear();

  const uint64_t boardReads = epu->status_reads();
  for (int n = 0; n < 3; ++n) EXPECT_EQ(1, Row(n == 2 ? 1 : 0, 3, 10));
  EXPECT_EQ(boardReads, epu->status_reads());
  EXPECT_EQ(0u, CodeCalls(machine.trace().entries()));
  EXPECT_EQ(0u, HoldOffs(machine.trace().entries()));
  for (const sim::TraceEntry& e : machine.trace().entries()) EXPECT_TRUE(e.emulated()) << sim::FormatEntry(e);
  // banks are still changed, pulses still given
  size_t bankChanges = 0;
  for (const sim::TraceEntry& e : machine.trace().entries())
    bankChanges += e.IsWrite() && e.port == EpuModel::kControl && (e.flags & HWIO_ACC_HIGHPULS) &&
                   (e.flags & HWIO_ACC_PULSE_END);
  EXPECT_EQ(4u, bankChanges);
  EXPECT_EQ(3u, SmMoveRecorder::calls.size());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();

  SmMoveRecorder::failOnCall = 4;
  EXPECT_EQ(0, Row(0, 3, 10));
  CARDN5_SetEmulation(0);
}

TEST_F(EpuTest, RowWithoutAPreparedJobIsRefused) {
  EXPECT_EQ(0, Row(0, 3, 10));
  EXPECT_EQ(std::vector<std::string>{"DoOneRow: wRowLength = 0, no job prepared -> row refused\n"}, log.Lines());
  EXPECT_EQ(0u, machine.trace().size());
  EXPECT_EQ(0, g_pEPU->m_bInDoOneRow.load());
}

}  // namespace

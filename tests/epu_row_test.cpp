// EPU row engraving against the simulated board, which checks each row's
// protocol itself: the row modes, the waits, PLL and bank supervision, the
// host's stepper, and whole jobs.

#include "epu_support.h"
#include "hwio32.h"
#include "hwio32_ext.h"

namespace {

using namespace eputest;
using epu::Status;

// ---- Shift, divider and offset arithmetic -----------------------------------------

// The shift plus its rest is the row length; the divider lies midway between
// the pulses of a step for the steps and for one more; the offset cursor
// wraps at 1000.
TEST_F(EpuTest, ShiftDividerAndRandomOffsetArithmetic) {
  CEPUCard& e = *g_pEPU;
  // row length, start offset, row shift; shift and rest
  const std::tuple<uint16_t, uint16_t, uint16_t, uint16_t, uint16_t> shifts[] = {
      {1000, 2, 10, 8, 992},
      {1000, 500, 10, 510, 490},
      {1000, 10, 10, 1000, 0},
      {1000, 2, 1500, 1498, 65038},  // shift beyond the row: the rest wraps in 16 bits
      {1000, 2600, 100, 500, 500},   // the rest is taken modulo the row length
      {1, 7, 3, 1, 0},
  };
  for (const auto& [rowLength, startOffset, rowShift, shift, rest] : shifts) {
    std::tie(e.m_wRowLength, e.m_wStartOffset, e.m_wRowShift) = std::tie(rowLength, startOffset, rowShift);
    e.RecalcShift();
    EXPECT_EQ((std::pair{shift, rest}), (std::pair{e.m_wShift, e.m_wShiftRest})) << startOffset;
  }
  // pulses a row, steps; steps a row and divider
  const std::tuple<uint32_t, uint32_t, uint16_t, uint16_t> dividers[] = {
      {10000, 3, 3, 2917},        // midway between 2500 and 3333
      {10000, 0, 0, 65534},       // no steps: the largest divider, not 65535 or 65500
      {200000, 1, 1, 65534},      // capped
      {10000, 0x10003, 3, 2917},  // only the low 16 bits are steps
      {0, 5, 5, 0},
  };
  for (const auto& [pulses, steps, stepsPerRow, divider] : dividers) {
    e.m_dwPulsesPerRow = pulses;
    e.SetStepsPerRow(steps);
    EXPECT_EQ((std::pair{stepsPerRow, divider}), (std::pair{e.m_wStepsPerRow, e.m_wAdvanceDivider}))
        << pulses << ", " << steps;
  }
  for (int k = 0; k < 1000; ++k) e.m_awRandomOffsets[k] = static_cast<uint16_t>(k + 100);
  g_wRandomCursor = 998;
  EXPECT_EQ((std::vector<int>{1099, 100, 101}),
            (std::vector<int>{e.NextRandomOffset(), e.NextRandomOffset(), e.NextRandomOffset()}));
}

// ---- Single rows ------------------------------------------------------------------

// Three rows in turn (banks 0, 1, 0) for both codes and both advances:
// what the board took with each row (it checks each row's order itself).
// A new row shift rewrites the row registers once, with two index pulses;
// 0xFFFF on the first row keeps the preparation's shift 5 and rest 5.
TEST_F(EpuTest, RowsAlternateBanksWithTheirCodeDividerAndOffset) {
  // LL code, board advance, row shift; the shift and rest the rows get
  const std::tuple<uint16_t, uint16_t, uint32_t, uint16_t, uint16_t> cases[] = {
      {0, 0, 0xFFFF, 5, 5}, {1, 0, 10, 8, 992}, {0, 1, 500, 498, 502}, {1, 1, 0xFFFF, 5, 5}};
  for (const auto& [ll, smAuto, rowShift, shift, rest] : cases) {
    SCOPED_TRACE(testing::Message() << "LL " << ll << ", board advance " << smAuto << ", shift " << rowShift);
    PrepareJob([ll = ll, smAuto = smAuto](EPU_GRAVUR_PARAMS& j) { j.wLLCode = ll, j.wSMAuto = smAuto; });
    for (uint32_t n = 0; n < 3; ++n) ASSERT_EQ(1, Row(0, 3, rowShift, 0x100 + n, 0x200 + n));
    const auto rows = NewRows();
    ASSERT_EQ(3u, rows.size());
    const uint32_t kind = ll ? HWIO_CODE_LL : HWIO_CODE_PX;
    for (const sim::EpuRow& r : rows) {  // the divider of 10,000 pulses and 3 steps
      const uint32_t n = r.arg1 - 0x100;
      EXPECT_EQ(std::make_tuple(n % 2, n % 2, kind, 0x200 + n, 2917, shift, rest, 302),
                std::tie(r.bank, r.offeredBank, r.kind, r.arg2, r.advanceDivider, r.shift, r.bankOffset, r.startPos));
    }
    const bool newShift = rowShift != 0xFFFF;
    EXPECT_EQ(newShift ? 1u : 0u, machine.trace().Writes(epu::kShiftPort).size());
    EXPECT_EQ(newShift ? 2u : 0u, machine.trace().All().HoldOffs());
    // the memory counter of the bank written, once a row
    EXPECT_EQ(2u, machine.trace().ReadCount(epu::kMemCounter0Port));
    EXPECT_EQ(1u, machine.trace().ReadCount(epu::kMemCounter1Port));
    // the host moves after every row but the job's first
    EXPECT_EQ(smAuto ? 0u : 2u, SmMoveRecorder::calls.size());
    for (const auto& call : SmMoveRecorder::calls)
      EXPECT_EQ((std::vector<uint32_t>{3, 1, 0}), (std::vector<uint32_t>{call.steps, call.one, call.zero}));
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  }
}

// After the command word each code waits on its own busy bit: PX on bit 12,
// LL on bit 0. A first row with board advance reads the status six times
// before (S0, S1, S2 and the three bank readings).
TEST_F(EpuTest, EachCodeWaitsOnItsOwnBusyBit) {
  for (const uint16_t ll : {0, 1}) {
    SCOPED_TRACE(ll ? "LL" : "PX");
    PrepareJob([ll](EPU_GRAVUR_PARAMS& j) { j.wLLCode = ll, j.wSMAuto = 1; });
    epu->ScriptBit(ll ? Status::kLLBusy : Status::kPXBusy, Levels("00000011110"));
    epu->ScriptBit(ll ? Status::kPXBusy : Status::kLLBusy, Levels("00000000111"));
    ASSERT_EQ(1, Row(0, 3, 0xFFFF));
    EXPECT_EQ(6u + 5u, machine.trace().ReadCount(epu::kStatusPort));
  }
}

// ---- PLL and bank supervision --------------------------------------------------------

// Each out-of-range reading is followed by three re-checks; the count
// carries into the next round while the row slot stays closed. A lost PLL
// writes nothing and changes no bank: the job goes on in the bank it expected.
TEST_F(EpuTest, PllReadingsAreCountedAcrossTheRechecks) {
  // PLL and WRALLO_BIT readings, the result, the status reads up to the
  // first write (on success the loop's, S1, S2 and three bank readings)
  const std::tuple<const char*, const char*, const char*, int32_t, uint64_t> cases[] = {
      {"three out of range", "000", "", 0, 3},
      {"recovered in the rechecks", "0100", "", 1, 4 + 5},
      {"recovered, out again twice", "0010", "", 1, 4 + 5},
      {"recovers on the third recheck", "0011", "", 1, 4 + 5},
      {"count carries over", "010000", "0000", 0, 6},
      {"carried count reset by a locked reading", "010011", "0000", 1, 5 + 5},
      {"two rounds without a slot", "01110111", "00000000", 1, 8 + 1 + 5},
  };
  for (const auto& [name, pll, wrallo, result, reads] : cases) {
    SCOPED_TRACE(name);
    PrepareJob();
    const uint32_t bankChanges = epu->bank_changes();
    epu->ScriptBit(Status::kPLLInRange, Levels(pll));
    epu->ScriptBit(Status::WRALLO_BIT, Levels(wrallo));
    EXPECT_EQ(result, Row(0, 3, 0xFFFF));
    EXPECT_EQ(reads, machine.trace().All().UntilFirstWrite().ReadCount(epu::kStatusPort));
    // the error recorded, the banks changed, anything written
    EXPECT_EQ(
        std::make_tuple(result ? 0 : 2101, bankChanges + result, result != 0),
        std::make_tuple(testsupport::LastError().code, epu->bank_changes(), machine.trace().All().WriteCount() > 0));
    ASSERT_EQ(1, Row(0, 3, 0xFFFF));
    EXPECT_EQ(result, epu->rows().back().bank);
  }
}

// The bank is read three times after S1 and S2; only three wrong readings
// light the LED and log S0, S1, S2, and the row goes into the expected bank
// all the same.
TEST_F(EpuTest, OnlyThreeWrongBankReadingsOfThreeLightTheLed) {
  // WRPL1_BIT at S0, S1, S2, then the three bank readings; the lines logged
  const std::pair<const char*, Lines> cases[] = {
      {"111000", {"Switched to wrong memory bank 0xc6 0x66 0x47 \n"}},
      {"111001", {}},
      {"000100", {}},
      {"111111", {}},
  };
  for (const auto& [wrpl1, lines] : cases) {
    SCOPED_TRACE(wrpl1);
    PrepareJob([](EPU_GRAVUR_PARAMS& j) { j.wSMAuto = 1; });
    EPUN5_SetErrorLED(0);
    // S0, S1 and S2 carry a bit of their own each; the index pulse is held low
    epu->ScriptBit(Status::kEncoder, Levels("100"));
    epu->ScriptBit(Status::kIPGPulse, Levels("010"));
    epu->ScriptBit(Status::kLLBusy, Levels("001"));
    epu->ScriptBit(Status::kIndex, Levels("000"));
    epu->ScriptBit(Status::WRPL1_BIT, Levels(wrpl1));
    EXPECT_EQ(1, Row(0, 3, 0xFFFF));
    // the lines, the LED, the bank the row went into
    EXPECT_EQ(std::make_tuple(lines, !lines.empty(), 0),
              std::make_tuple(log.Lines(), epu->error_led(), epu->rows().back().bank));
  }
}

// ---- Row modes -----------------------------------------------------------------------

TEST_F(EpuTest, StepperMoveOnlyRowsHandTheWholeStepsToTheHost) {
  // board advance, EPUN5_SetSMDirection(0) before the row, the failing move,
  // the result, the lines, the control writes (the board takes the stepper
  // back with direction bit 9 set)
  const std::tuple<const char*, uint16_t, bool, int, int32_t, Lines, std::vector<uint16_t>> cases[] = {
      {"host advance", 0, false, 0, 1, {}, {}},
      {"host advance, move fails", 0, false, 1, 0, {"Fail in SmMove\n"}, {}},
      {"board advance", 1, false, 0, 1, {}, {0x0238, 0x0338}},
      {"board advance, move fails", 1, false, 1, 0, {"Error in DoOneRow during SmMove\n"}, {0x0238, 0x0338}},
      {"board advance, direction cleared", 1, true, 0, 1, {}, {0x0038, 0x0338}},
  };
  for (const auto& [name, smAuto, directionCleared, failOn, result, lines, control] : cases) {
    SCOPED_TRACE(name);
    PrepareJob([smAuto = smAuto](EPU_GRAVUR_PARAMS& j) { j.wSMAuto = smAuto; });
    if (directionCleared) EPUN5_SetSMDirection(0);
    Forget();
    SmMoveRecorder::failOnCall = failOn;
    const uint16_t divider = g_pEPU->m_wAdvanceDivider;
    EXPECT_EQ(result, EpuTest::Row(3, 0x00012345, 0xFFFF));
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(control, machine.trace().Writes(epu::kControlPort));
    ASSERT_EQ(1u, SmMoveRecorder::calls.size());
    EXPECT_EQ(0x00012345u, SmMoveRecorder::calls[0].steps);
    EXPECT_EQ((std::pair<int, size_t>{divider, 0}),
              (std::pair<int, size_t>{g_pEPU->m_wAdvanceDivider, NewRows().size()}));
  }
}

// A cylindrical pass at a fresh random offset without advance, then the
// spiral pass with the job's offset and divider; the job's registers after.
TEST_F(EpuTest, TwoPassRowsChangeBanksTwiceWithTheirB700Values) {
  // 5 % of 10,000 pulses; mode 2 a fixed value
  for (const auto& c : {std::pair<uint32_t, uint16_t>{1, 500}, {2, 65500}}) {
    SCOPED_TRACE(testing::Message() << "row mode " << c.first);
    PrepareJob();
    const uint16_t cursor = g_wRandomCursor;
    for (size_t call = 0; call < 2; ++call) {
      const size_t mark = machine.trace().Mark();
      ASSERT_EQ(1, Row(c.first, 3, 10));
      // the row shift changes on the first call only: two index pulses more
      EXPECT_EQ(call == 0 ? 8u : 6u, machine.trace().Since(mark).HoldOffs());
    }
    const auto rows = NewRows();
    ASSERT_EQ(4u, rows.size());
    for (size_t i = 0; i < 4; ++i) {
      const sim::EpuRow& r = rows[i];
      const bool cylindrical = i % 2 == 0;
      const uint16_t startPos = cylindrical ? 300 + g_pEPU->m_awRandomOffsets[(cursor + i / 2 + 1) % 1000] : 302;
      EXPECT_EQ(std::make_tuple(i % 2, cylindrical ? 1 : c.second, cylindrical ? 65500 : 2917, startPos, 1000),
                std::make_tuple(r.bank, r.regB700, r.advanceDivider, r.startPos, r.shift + r.bankOffset))
          << "row " << i;
    }
    EXPECT_EQ(1u, epu->reg(epu::kRegB700Port));  // the job's registers again
    EXPECT_EQ(302u, epu->reg(epu::kStartPosPort));
    // the first cylindrical pass is the job's first row
    ASSERT_EQ(3u, SmMoveRecorder::calls.size());
    EXPECT_EQ(rowsMark + 1, SmMoveRecorder::calls[0].rowsBefore);
  }
}

// ---- Waits on the board ------------------------------------------------------------

// Before a new row shift's registers and before a stepper-only move: until
// ENVORSCH_BIT reads 0, then until five readings with the turn-off bit 10
// clear (the readings with it set do not start the count again).
TEST_F(EpuTest, IdleWaitsComeBeforeAnythingIsWritten) {
  // row mode, row shift, board advance, ENVORSCH_BIT and turn-off bit
  // readings (the latter from the first on, the ENVORSCH_BIT wait's included),
  // the status reads before the first write
  const std::tuple<const char*, uint32_t, uint32_t, uint16_t, const char*, const char*, uint64_t> cases[] = {
      {"shift, all clear", 0, 10, 1, "0", "100000", 1 + 5},
      {"shift, ENVORSCH_BIT then bit 10", 0, 10, 1, "1110", "1111101100100", 4 + 9},
      {"shift, bit 10 set for ten readings", 0, 10, 0, "0", "0111111111100000", 1 + 15},
      {"shift, two-pass row", 1, 10, 1, "10", "001010000", 2 + 7},
      {"stepper only, board advance", 3, 0xFFFF, 1, "110", "0001010000", 3 + 7},
      {"stepper only, host advance", 3, 0xFFFF, 0, "10", "000110000", 2 + 7},
  };
  for (const auto& [name, mode, rowShift, smAuto, envorsch, turnOff, reads] : cases) {
    SCOPED_TRACE(name);
    PrepareJob([smAuto = smAuto](EPU_GRAVUR_PARAMS& j) { j.wSMAuto = smAuto; });
    epu->ScriptBit(Status::ENVORSCH_BIT, Levels(envorsch));
    epu->ScriptBit(Status::kTurnOffBlocked, Levels(turnOff));
    ASSERT_EQ(1, EpuTest::Row(mode, 3, rowShift));
    EXPECT_EQ(reads, machine.trace().All().UntilFirstWrite().ReadCount(epu::kStatusPort));
  }
}

// Two index pulses, each high then low, seen by the processor's own reads
// of the status port with interrupts held off.
TEST_F(EpuTest, TwoIndexPulsesAreWaitedForOnThePortItself) {
  const uint64_t period = 1000000, high = 50000;
  // name, phase at the start, time the wait takes
  const std::tuple<const char*, uint64_t, uint64_t> cases[] = {
      {"in the low phase", 300000, 2 * period + high - 300000},
      {"right after the fall", 60000, 2 * period + high - 60000},
      {"in the high phase", 10000, period + high - 10000},
  };
  PrepareJob();
  for (const auto& [name, phase, elapsed] : cases) {
    SCOPED_TRACE(name);
    machine.AdvanceNs(period - machine.NowNs() % period + phase);
    Forget();
    const uint64_t start = machine.NowNs();
    g_pEPU->WaitTwoIndexPulses();
    EXPECT_NEAR(static_cast<double>(elapsed), static_cast<double>(machine.NowNs() - start), 3000.0);
    EXPECT_EQ(2u, machine.trace().All().HoldOffs());
    EXPECT_TRUE(machine.trace().All().OnlyDirectReadsInterruptsRestored());
  }
}

// ---- Jobs -------------------------------------------------------------------------

// Random offset 2 with host advance draws a new offset every third row and
// waits for it; board advance never draws inside single rows, nor moves;
// EPUN5_SetFirstRow skips the next move. With host advance a long
// ENVORSCH_BIT after the bank change holds the stepper back: the board checks
// each move.
TEST_F(EpuTest, RandomOffsetsAndMovesOverAJob) {
  for (const uint16_t smAuto : {0, 1}) {
    PrepareJob([smAuto](EPU_GRAVUR_PARAMS& j) { j.wRandomOffset = 2, j.wSMAuto = smAuto; });
    epu->set_envorsch_ns(300000);
    epu->set_engrave_ns(10000);  // the row slot opens again long before ENVORSCH_BIT falls
    const uint16_t cursor = g_wRandomCursor;
    for (int n = 1; n <= 9; ++n) {
      if (n == 7) EPUN5_SetFirstRow();
      const size_t mark = machine.trace().Mark();
      ASSERT_EQ(1, Row(0, 3, 10));
      // the first row waits for its new row shift and for the preparation's pending wait
      const int drawn = smAuto ? 0 : n / 3;
      EXPECT_EQ(n == 1 ? (smAuto ? 2u : 4u) : !smAuto && n % 3 == 0 ? 2u : 0u, machine.trace().Since(mark).HoldOffs());
      const uint16_t startPos = drawn ? 300 + g_pEPU->m_awRandomOffsets[(cursor + drawn) % 1000] : 302;
      EXPECT_EQ(startPos, epu->rows().back().startPos) << "row " << n;
    }
    EXPECT_EQ(smAuto ? 0u : 7u, SmMoveRecorder::calls.size());
    ASSERT_EQ(1, Row(1, 3, 10));  // a two-pass row draws one all the same
    EXPECT_EQ(static_cast<uint16_t>((cursor + (smAuto ? 1 : 4)) % 1000), g_wRandomCursor);
  }
}

// ---- The board's own checks ---------------------------------------------------------

int32_t CARDN5_CALL MoveAndChangeStartPos(uint32_t, uint32_t, uint32_t) {
  return CARDN5_PortOut(epu::kStartPosPort, 5);
}

// What a faulty library would do, and what the simulated boards say to it.
TEST_F(EpuTest, TheBoardsRecordWhatTheyWouldNotAccept) {
  uint16_t w = 0x0238;  // the control word of a running PX job
  auto select = [&w](int bank) { HWIO_LowPuls(epu::kControlPort, &w, bank); };
  auto command = [] { HWIO_Hout(epu::kStatusPort, epu::kCommand); };
  auto firstRow = [this] {
    PrepareJob();
    Row(0, 3, 0xFFFF);
  };
  auto ipg = [](uint32_t reg, uint32_t value) {
    CARDN5_PortOut(0x0300, reg);
    CARDN5_PortOut(0x0700, value);
  };
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"bank 0 selected before the start handshake", [&] { EPUN5_InitPowerOn(0), select(0); }},
      {"bank 0 selected without the command word", [&] { PrepareJob(), select(0); }},
      {"bank 0 selected while the board accepts no row", [&] { firstRow(), Row(0, 3, 0xFFFF), command(), select(0); }},
      {"row code written while the code input is busy",
       [&] { PrepareJob(), command(), select(0), command(), HWIO_WritePXCode(1, 2); }},
      {"bank change 0 index pulses after the row registers changed",
       [&] { firstRow(), EPUN5_DoOneRow(1, 2, 0, 3, 0xFFFF, MoveAndChangeStartPos); }},
      {"row register 9300 written while ENVORSCH_BIT is set", [&] { firstRow(), CARDN5_PortOut(epu::kShiftPort, 1); }},
      {"host stepper moved while ENVORSCH_BIT is set", [&] { firstRow(), epu->HostMove(); }},
      {"IPG register 4 written before registers 0, 1 and 3", [&] { ipg(4, 1); }},
  };
  for (const auto& [violation, act] : cases) {
    SCOPED_TRACE(violation);
    act();
    EXPECT_TRUE(machine.HasViolation(violation));
    machine.ClearViolations();
  }
}

}  // namespace

// EPU row engraving against the simulated board: the row modes, the waits,
// PLL and bank supervision, the host's stepper, and a whole job.
#include <gtest/gtest.h>

#include <cstdio>

#include "epu_support.h"
#include "hwio32_ext.h"
#include "port_register.h"

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

std::vector<sim::TraceEntry> Slice(const std::vector<sim::TraceEntry>& entries, size_t from, size_t to) {
  return std::vector<sim::TraceEntry>(entries.begin() + static_cast<long>(from),
                                      entries.begin() + static_cast<long>(to));
}

// The closing write of the high pulse of control bit 2: the banks change.
bool IsBankChange(const sim::TraceEntry& e) {
  return e.IsWrite() && e.port == EpuModel::kControl && (e.flags & HWIO_ACC_HIGHPULS) &&
         (e.flags & HWIO_ACC_PULSE_END) && ((e.flags >> HWIO_ACC_BIT_SHIFT) & 0xF) == 2;
}

std::string Text(const char* fmt, unsigned a, unsigned b = 0, unsigned c = 0) {
  char buf[80];
  std::snprintf(buf, sizeof buf, fmt, a, b, c);
  return buf;
}

// A row's accesses as text, in the order the library made them, as the
// expected side writes them down.
struct RowSteps {
  std::vector<std::string> v;
  RowSteps& Out(uint16_t port, uint16_t value) {
    v.push_back(Text("%04X<-%04X", port, value));
    return *this;
  }
  // The pulse writes of HWIO_LowPuls / HWIO_HighPuls on the shadow 'word'.
  RowSteps& Low(uint16_t port, uint16_t word, unsigned bit) {
    v.push_back(Text("%04X<-%04X low %u", port, word & ~(1u << bit), bit));
    v.push_back(Text("%04X<-%04X low %u end", port, word | (1u << bit), bit));
    return *this;
  }
  RowSteps& High(uint16_t port, uint16_t word, unsigned bit) {
    v.push_back(Text("%04X<-%04X high %u", port, word | (1u << bit), bit));
    v.push_back(Text("%04X<-%04X high %u end", port, word & ~(1u << bit), bit));
    return *this;
  }
  RowSteps& In(uint16_t port) {
    v.push_back(Text("in %04X", port));
    return *this;
  }
  RowSteps& Code(int32_t kind, uint32_t arg1, uint32_t arg2) {
    v.push_back(Text(kind == HWIO_CODE_PX ? "PX %X %X" : "LL %X %X", arg1, arg2));
    return *this;
  }
  RowSteps& Move(uint32_t steps) {
    v.push_back(Text("SmMove(%u, 1, 0)", steps));
    return *this;
  }
};

// The trace from index 'from' on as RowSteps text, with the host's SmMove
// calls put where they happened. Status polls are left out (how often a
// wait polls depends on timing; other tests count them), so are delays.
std::vector<std::string> RowStepsFrom(const sim::Trace& trace, size_t from) {
  RowSteps out;
  const auto& entries = trace.entries();
  auto moves = [&out](size_t index) {
    for (const eputest::SmMoveCall& m : SmMoveRecorder::calls)
      if (m.traceIndex == index) {
        out.v.push_back(Text("SmMove(%u, %u, %u)", m.steps, m.one, m.zero));
      }
  };
  for (size_t i = from; i < entries.size(); ++i) {
    moves(i);
    const sim::TraceEntry& e = entries[i];
    switch (e.kind) {
      case sim::Access::Out: {
        const unsigned bit = (e.flags >> HWIO_ACC_BIT_SHIFT) & 0xF;
        const char* end = (e.flags & HWIO_ACC_PULSE_END) ? " end" : "";
        if (e.flags & HWIO_ACC_LOWPULS)
          out.v.push_back(Text("%04X<-%04X low %u", e.port, e.value, bit) + end);
        else if (e.flags & HWIO_ACC_HIGHPULS)
          out.v.push_back(Text("%04X<-%04X high %u", e.port, e.value, bit) + end);
        else
          out.Out(e.port, e.value);
        break;
      }
      case sim::Access::In:
        if (e.port != EpuModel::kStatus)
          for (uint32_t r = 0; r < e.repeat; ++r) out.In(e.port);
        break;
      case sim::Access::Code:
        out.Code(e.port, e.arg1, e.arg2);
        break;
      case sim::Access::Delay:
        break;
      default:
        out.v.push_back(sim::FormatEntry(e));
        break;
    }
  }
  moves(entries.size());
  return out.v;
}

// The trace as coarse phases: "status" for a run of status polls, "regs"
// for the five row registers written in their order, "index" for one index
// pulse waited for with interrupts held off, "row" for a row written into a
// bank (command word to bank change); anything else as it is.
std::vector<std::string> Phases(const std::vector<sim::TraceEntry>& entries) {
  static const uint16_t kRowRegisters[] = {EpuModel::kShift, EpuModel::kRowLength, EpuModel::kStartPos,
                                           EpuModel::kReg9B00, EpuModel::kRegB700};
  std::vector<std::string> out;
  for (size_t i = 0; i < entries.size(); ++i) {
    const sim::TraceEntry& e = entries[i];
    if (e.kind == sim::Access::In && e.port == EpuModel::kStatus) {
      if (out.empty() || out.back() != "status") out.push_back("status");
      continue;
    }
    if (e.kind == sim::Access::Interrupts && e.value == 0) {
      while (i < entries.size() && !(entries[i].kind == sim::Access::Interrupts && entries[i].value == 1)) ++i;
      out.push_back("index");
      continue;
    }
    if (e.IsWrite() && e.port == EpuModel::kStatus && e.value == 0x0202) {
      size_t j = i;
      while (j < entries.size() && !IsBankChange(entries[j])) ++j;
      out.push_back(j < entries.size() ? "row" : "row without bank change");
      i = j;
      continue;
    }
    size_t k = 0;
    while (k < 5 && i + k < entries.size() && entries[i + k].IsWrite() && entries[i + k].port == kRowRegisters[k]) ++k;
    if (k == 5) {
      out.push_back("regs");
      i += 4;
      continue;
    }
    out.push_back(sim::FormatEntry(e));
  }
  return out;
}

// Status polls through the port-I/O library before the first write (or
// host stepper call) from trace index 'from' on.
size_t StatusReadsBeforeFirstAction(const std::vector<sim::TraceEntry>& entries, size_t from) {
  size_t n = 0;
  for (size_t i = from; i < entries.size(); ++i) {
    for (const eputest::SmMoveCall& m : SmMoveRecorder::calls)
      if (m.traceIndex == i) return n;
    if (entries[i].IsWrite()) return n;
    if (entries[i].kind == sim::Access::In && entries[i].port == EpuModel::kStatus) n += entries[i].repeat;
  }
  return n;
}

// ---- Shift, divider and offset arithmetic -----------------------------------------

TEST_F(EpuTest, RecalcShiftKeepsShiftPlusRestAtTheRowLength) {
  struct Case {
    uint16_t rowLength, startOffset, rowShift, shift, rest;
  } cases[] = {
      {1000, 2, 10, 8, 992},
      {1000, 500, 10, 510, 490},
      {1000, 10, 10, 1000, 0},
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
      {10000, 3, 3, 2917},        // midway between 2500 and 3333
      {10000, 0, 0, 65534},       // no steps: the largest divider, not 65535 or 65500
      {200000, 1, 1, 65534},      // capped
      {10000, 0x10003, 3, 2917},  // only the low 16 bits are steps
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

// Every write, pulse, code transfer, memory counter read and stepper call of
// three rows in turn (banks 0, 1, 0), for both codes and both advances.
TEST_F(EpuTest, RowPortSequenceForEachCodeAndAdvance) {
  struct Case {
    const char* name;
    uint16_t ll, smAuto;
  } cases[] = {
      {"PX, host advance", 0, 0}, {"LL, host advance", 1, 0}, {"PX, board advance", 0, 1}, {"LL, board advance", 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wLLCode = c.ll;
    job.wSMAuto = c.smAuto;
    PrepareJob(job);
    SmMoveRecorder::Reset(epu);
    // the start handshake left bits 3, 4 and 9, bit 5 for PX and bit 8 for board advance
    const uint16_t control = static_cast<uint16_t>(0x0218 | (c.ll ? 0 : 0x0020) | (c.smAuto ? 0x0100 : 0));
    ASSERT_EQ(control, epu->control());
    for (uint32_t n = 0; n < 3; ++n) {
      SCOPED_TRACE(testing::Message() << "row " << n + 1);
      const uint16_t bank = static_cast<uint16_t>(n % 2);
      const size_t from = machine.trace().size();
      ASSERT_EQ(1, Row(0, 3, 0xFFFF, 0x100 + n, 0x200 + n));
      RowSteps expected;
      expected.Out(EpuModel::kStatus, 0x0202)
          .Low(EpuModel::kControl, control, bank)
          .Code(c.ll ? HWIO_CODE_LL : HWIO_CODE_PX, 0x100 + n, 0x200 + n)
          .In(bank == 0 ? 0x8F00 : 0x9300)  // the memory counter of the bank written
          .Low(EpuModel::kControl, control, 4)
          .Out(EpuModel::kAdvanceDivider, 2917)                                  // 10,000 pulses, 3 steps
          .Out(bank == 0 ? EpuModel::kBank0Offset : EpuModel::kBank1Offset, 5);  // the preparation's rest
      if (c.smAuto == 0 && n > 0) expected.Move(3);                              // the first row of a job does not move
      expected.High(EpuModel::kControl, control, 2);
      EXPECT_EQ(expected.v, RowStepsFrom(machine.trace(), from));
    }
  }
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
    const std::vector<sim::TraceEntry> between(entries.begin() + static_cast<long>(command),
                                               entries.begin() + static_cast<long>(code));
    const std::vector<uint16_t> reads = StatusReads(between);
    const uint16_t busy = ll ? 0x0001 : 0x1000;
    ASSERT_GE(reads.size(), 2u);
    EXPECT_TRUE(reads.front() & busy);
    EXPECT_FALSE(reads.back() & busy);
    EXPECT_EQ(ll ? HWIO_CODE_LL : HWIO_CODE_PX, epu->rows().back().kind);
  }
}

// Bits 12 and 0 scripted apart: PX code waits on bit 12 alone, LL code on
// bit 0 alone. The first row after preparation reads the status six times
// before its busy wait (S0, S1, S2 and the three bank readings).
TEST_F(EpuTest, EachCodeWaitsOnItsOwnBusyBit) {
  const std::vector<bool> idle(6, false);
  struct Case {
    const char* name;
    uint16_t ll;
    std::vector<bool> own, other;  // the busy wait's readings of its own bit and of the other code's
  } cases[] = {
      {"PX", 0, {true, true, true, true, false}, {false, false, true, true, true}},
      {"LL", 1, {true, true, true, true, false}, {false, false, true, true, true}},
      {"PX, other bit busy throughout", 0, {true, false}, {true, true}},
      {"LL, other bit busy throughout", 1, {true, false}, {true, true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wLLCode = c.ll;
    job.wSMAuto = 1;
    PrepareJob(job);
    const int own = c.ll ? EpuModel::kLLBusy : EpuModel::kPXBusy;
    const int other = c.ll ? EpuModel::kPXBusy : EpuModel::kLLBusy;
    std::vector<bool> ownScript = idle, otherScript = idle;
    ownScript.insert(ownScript.end(), c.own.begin(), c.own.end());
    otherScript.insert(otherScript.end(), c.other.begin(), c.other.end());
    epu->ScriptBit(own, ownScript);
    epu->ScriptBit(other, otherScript);
    ASSERT_EQ(1, Row(0, 3, 0xFFFF));

    const auto& entries = machine.trace().entries();
    size_t command = entries.size(), code = entries.size();
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].IsWrite() && entries[i].port == EpuModel::kStatus && command == entries.size()) command = i;
      if (entries[i].kind == sim::Access::Code) code = i;
    }
    ASSERT_LT(command, code);
    const std::vector<uint16_t> reads = StatusReads(Slice(entries, command, code));
    ASSERT_EQ(c.own.size(), reads.size());
    for (size_t k = 0; k < reads.size(); ++k) {
      EXPECT_EQ(c.own[k], ((reads[k] >> own) & 1) != 0) << "reading " << k;
      EXPECT_EQ(c.other[k], ((reads[k] >> other) & 1) != 0) << "reading " << k;
    }
    EXPECT_EQ(c.ll ? HWIO_CODE_LL : HWIO_CODE_PX, epu->rows().back().kind);
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
  const std::vector<std::string> lines = {"in LaserOneRow PLL not in range \n",
                                          "Error in LaserOneRow(),  Rowmode=0 \n"};
  EXPECT_EQ(lines, log.Lines());
  const auto err = testsupport::LastError();
  EXPECT_EQ(2101, err.code);
  EXPECT_EQ("CEPU.cpp", err.file);
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

// Each out-of-range reading is followed by exactly three re-checks; the
// readings up to the row's command word (or all of them when it fails) show
// how many were taken.
TEST_F(EpuTest, PllReadingsAreCountedAcrossTheRechecks) {
  struct Case {
    const char* name;
    std::vector<bool> pll;
    std::vector<bool> wrallo;
    int32_t result;
    size_t reads;  // on success: PLL loop, S1, S2 and the three bank readings
  } cases[] = {
      {"three out of range", {false, false, false}, {}, 0, 3},
      {"recovered in the rechecks", {false, true, false, false}, {}, 1, 4 + 5},
      {"recovered, out again twice", {false, false, true, false}, {}, 1, 4 + 5},
      {"out once, in range", {false, true, true, true}, {}, 1, 4 + 5},
      {"recovers on the third recheck", {false, false, true, true}, {}, 1, 4 + 5},
      // no row slot yet: the count carries into the next round
      {"count carries over", {false, true, false, false, false, false}, {false, false, false, false}, 0, 6},
      {"carried count reset by a locked reading",
       {false, true, false, false, true, true},
       {false, false, false, false},
       1,
       5 + 5},
      {"two rounds without a slot",
       {false, true, true, true, false, true, true, true},
       {false, false, false, false, false, false, false, false},
       1,
       8 + 1 + 5},
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
    EXPECT_EQ(c.reads, StatusReadsBeforeFirstAction(machine.trace().entries(), 0));
  }
}

// ---- Bank supervision -----------------------------------------------------------------

TEST_F(EpuTest, WrongBankLightsTheLedAndTheRowSucceeds) {
  PrepareJob(DefaultJob());
  epu->set_wrong_bank(true);
  // S0, S1 and S2 each carry a bit of their own, so the message shows which
  // reading went where; the index pulse is held low to keep them fixed
  epu->ScriptBit(8, {true, false, false});
  epu->ScriptBit(9, {false, true, false});
  epu->ScriptBit(13, {false, false, true});
  epu->ScriptBit(EpuModel::kIndexPulse, {false, false, false});
  EXPECT_EQ(1, Row(0, 3, 0xFFFF));

  const std::vector<uint16_t> reads = StatusReads(machine.trace().entries());
  ASSERT_GE(reads.size(), 6u);
  // row slot open, PLL locked, and WRPL1_BIT 0: bank 1 offered instead of 0
  EXPECT_EQ((std::vector<uint16_t>{0x0142, 0x0242, 0x2042}), std::vector<uint16_t>(reads.begin(), reads.begin() + 3));
  EXPECT_EQ(std::vector<std::string>{WrongBankLine(0x0142, 0x0242, 0x2042)}, log.Lines());
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
    bool directionCleared;  // EPUN5_SetSMDirection(0) before the row
    int failOn;
    int32_t result;
    std::vector<std::string> lines;
    std::vector<uint16_t> controlWrites;
  } cases[] = {
      {"host advance", 0, false, 0, 1, {}, {}},
      {"host advance, move fails", 0, false, 1, 0, {"Fail in SmMove\n"}, {}},
      {"host advance, direction cleared", 0, true, 0, 1, {}, {}},
      {"board advance", 1, false, 0, 1, {}, {0x0238, 0x0338}},
      {"board advance, move fails", 1, false, 1, 0, {"Error in DoOneRow during SmMove\n"}, {0x0238, 0x0338}},
      // the board takes the stepper back with direction bit 9 set again
      {"board advance, direction cleared", 1, true, 0, 1, {}, {0x0038, 0x0338}},
      {"board advance, direction cleared, move fails",
       1,
       true,
       1,
       0,
       {"Error in DoOneRow during SmMove\n"},
       {0x0038, 0x0338}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wSMAuto = c.smAuto;
    PrepareJob(job);
    if (c.directionCleared) {
      EPUN5_SetSMDirection(0);
      machine.trace().Clear();
    }
    SmMoveRecorder::Reset(epu);
    SmMoveRecorder::failOnCall = c.failOn;
    const uint16_t dividerBefore = g_pEPU->m_wAdvanceDivider;
    const uint16_t controlBefore = epu->control();

    EXPECT_EQ(c.result, Row(3, 0x00012345, 0xFFFF));
    EXPECT_EQ(c.lines, log.Lines());
    EXPECT_EQ(c.controlWrites, machine.trace().Writes(EpuModel::kControl));
    EXPECT_EQ(c.controlWrites.empty() ? controlBefore : c.controlWrites.back(), epu->control());
    ASSERT_EQ(1u, SmMoveRecorder::calls.size());
    EXPECT_EQ(0x00012345u, SmMoveRecorder::calls[0].steps);
    EXPECT_EQ(1u, SmMoveRecorder::calls[0].one);
    EXPECT_EQ(0u, SmMoveRecorder::calls[0].zero);
    if (c.smAuto) {
      // between the two control writes
      const auto& entries = machine.trace().entries();
      ASSERT_EQ(EpuModel::kControl, entries[SmMoveRecorder::calls[0].traceIndex - 1].port);
      EXPECT_EQ(c.controlWrites[0], entries[SmMoveRecorder::calls[0].traceIndex - 1].value);
    }
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

// ---- Waits on the board ------------------------------------------------------------

// Where the row registers fall between the waits of a changed row shift and
// of the two passes of modes 1 and 2.
TEST_F(EpuTest, RowRegistersAndIndexWaitsComeInTheirOrder) {
  using V = std::vector<std::string>;
  const V shiftChange = {"status", "regs", "index", "index"};
  const V twoPass = {"status", "index", "index", "regs",  "index",  "index", "status", "row",
                     "status", "regs",  "index", "index", "status", "row",   "status", "regs"};
  auto join = [](V a, const V& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    uint32_t mode, rowShift;
    uint16_t smAuto;
    V phases;
  } cases[] = {
      {"mode 0, new shift", 0, 10, 1, join(shiftChange, {"status", "row"})},
      {"mode 0, new shift, host advance", 0, 10, 0, join(shiftChange, {"status", "row"})},
      {"mode 1, new shift", 1, 10, 1, join(shiftChange, twoPass)},
      {"mode 2, new shift, host advance", 2, 10, 0, join(shiftChange, twoPass)},
      {"mode 1, same shift", 1, 0xFFFF, 0, twoPass},
      {"mode 2, same shift", 2, 0xFFFF, 1, twoPass},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wSMAuto = c.smAuto;
    PrepareJob(job);
    ASSERT_EQ(1, Row(c.mode, 3, c.rowShift));
    EXPECT_EQ(c.phases, Phases(machine.trace().entries()));
  }
}

// Before a new row shift's registers, and before a stepper-only move, the
// library waits until ENVORSCH_BIT reads 0 and then for five readings with
// the turn-off bit 10 clear; the readings with bit 10 set do not start the
// count again. Nothing is written or moved before.
TEST_F(EpuTest, BoardWaitsComeBeforeAnythingIsWritten) {
  struct Case {
    const char* name;
    uint32_t mode, rowShift;
    uint16_t smAuto;
    std::vector<bool> envorsch, turnOff;  // turnOff from the first reading on, the ENVORSCH_BIT wait's included
    size_t reads;
  } cases[] = {
      {"shift, all clear", 0, 10, 1, {false}, {true, false, false, false, false, false}, 1 + 5},
      {"shift, ENVORSCH_BIT then bit 10",
       0,
       10,
       1,
       {true, true, true, false},
       {true, true, true, true, true, false, true, true, false, false, true, false, false},
       4 + 9},
      {"shift, bit 10 set for ten readings",
       0,
       10,
       0,
       {false},
       {false, true, true, true, true, true, true, true, true, true, true, false, false, false, false, false},
       1 + 15},
      {"shift, two-pass row",
       1,
       10,
       1,
       {true, false},
       {false, false, true, false, true, false, false, false, false},
       2 + 7},
      {"stepper only, board advance",
       3,
       0xFFFF,
       1,
       {true, true, false},
       {false, false, false, true, false, true, false, false, false, false},
       3 + 7},
      {"stepper only, host advance",
       3,
       0xFFFF,
       0,
       {true, false},
       {false, false, false, true, true, false, false, false, false},
       2 + 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wSMAuto = c.smAuto;
    PrepareJob(job);
    SmMoveRecorder::Reset(epu);
    epu->ScriptBit(EpuModel::kEnvorsch, c.envorsch);
    epu->ScriptBit(EpuModel::kTurnOffBlocked, c.turnOff);
    ASSERT_EQ(1, Row(c.mode, 3, c.rowShift));
    EXPECT_EQ(c.reads, StatusReadsBeforeFirstAction(machine.trace().entries(), 0));
    const std::vector<uint16_t> reads = StatusReads(machine.trace().entries());
    ASSERT_GE(reads.size(), c.reads);
    for (size_t k = 0; k < c.reads; ++k) {
      EXPECT_EQ(k < c.envorsch.size() && c.envorsch[k], (reads[k] & 0x0008) != 0) << "reading " << k;
      EXPECT_EQ(c.turnOff[k], (reads[k] & 0x0400) != 0) << "reading " << k;
    }
  }
}

// With host advance the stepper waits until ENVORSCH_BIT is 0: a long
// ENVORSCH_BIT after the bank change of the row before holds it back.
TEST_F(EpuTest, HostAdvanceWaitsForEnvorschBeforeTheStepper) {
  PrepareJob(DefaultJob());
  epu->set_envorsch_ns(300000);
  epu->set_engrave_ns(10000);  // the row slot opens again long before ENVORSCH_BIT falls
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(testing::Message() << "row " << n + 1);
    SmMoveRecorder::Reset(epu);
    const uint64_t previousChange = epu->last_bank_change_ns();
    const size_t from = machine.trace().size();
    ASSERT_EQ(1, Row(0, 3, 0xFFFF));
    const auto entries = TraceFrom(from);
    // the readings between the bank offset and the stepper (or the bank change)
    const uint16_t offsetPort = n % 2 ? EpuModel::kBank1Offset : EpuModel::kBank0Offset;
    size_t offset = entries.size();
    for (size_t i = 0; i < entries.size(); ++i)
      if (entries[i].IsWrite() && entries[i].port == offsetPort) offset = i;
    ASSERT_LT(offset, entries.size());
    size_t until = offset + 1;
    while (until < entries.size() && !entries[until].IsWrite() &&
           !(SmMoveRecorder::calls.size() == 1 && SmMoveRecorder::calls[0].traceIndex == from + until))
      ++until;
    const std::vector<uint16_t> reads = StatusReads(Slice(entries, offset + 1, until));
    ASSERT_FALSE(reads.empty());
    for (size_t k = 0; k + 1 < reads.size(); ++k) EXPECT_TRUE(reads[k] & 0x0008) << "reading " << k;
    EXPECT_FALSE(reads.back() & 0x0008);
    if (n == 0) {
      EXPECT_TRUE(SmMoveRecorder::calls.empty());
      EXPECT_EQ(1u, reads.size());  // nothing pending after the preparation
    } else {
      ASSERT_EQ(1u, SmMoveRecorder::calls.size());
      EXPECT_EQ(from + until, SmMoveRecorder::calls[0].traceIndex);
      EXPECT_GT(reads.size(), 100u);
      EXPECT_GE(SmMoveRecorder::calls[0].nowNs, previousChange + 300000);
    }
  }
}

// Two index pulses, each high then low, seen by the processor's own reads of
// 0x8300 with interrupts held off; the status register's shadow is left as
// it was.
TEST_F(EpuTest, TwoIndexPulsesAreWaitedForOnThePortItself) {
  const uint64_t period = 1000000, high = 50000;
  epu->set_index_period_ns(period);
  epu->set_index_high_ns(high);
  struct Case {
    const char* name;
    uint64_t phase;
    std::vector<std::vector<int>> levels;  // index bit levels read, per pulse
    uint64_t elapsed;
  } cases[] = {
      {"in the low phase", 300000, {{0, 1, 0}, {0, 1, 0}}, 2 * period + high - 300000},
      {"right after the fall", 60000, {{0, 1, 0}, {0, 1, 0}}, 2 * period + high - 60000},
      {"in the high phase", 10000, {{1, 0}, {0, 1, 0}}, period + high - 10000},
  };
  PrepareJob(DefaultJob());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    machine.AdvanceNs(period - machine.NowNs() % period + c.phase);
    g_EPUStatus.SetValue(0x5A5A);
    machine.trace().Clear();
    const uint64_t start = machine.NowNs();
    g_pEPU->WaitTwoIndexPulses();
    EXPECT_NEAR(static_cast<double>(c.elapsed), static_cast<double>(machine.NowNs() - start), 3000.0);
    EXPECT_EQ(0x5A5A, g_EPUStatus.GetValue());

    std::vector<std::vector<int>> levels;
    bool held = false;
    for (const sim::TraceEntry& e : machine.trace().entries()) {
      if (e.kind == sim::Access::Interrupts) {
        EXPECT_NE(held, e.value == 0) << sim::FormatEntry(e);
        held = e.value == 0;
        if (held) levels.emplace_back();
        continue;
      }
      ASSERT_EQ(sim::Access::DirectIn, e.kind) << sim::FormatEntry(e);
      EXPECT_EQ(EpuModel::kStatus, e.port);
      EXPECT_TRUE(e.flags & HWIO_ACC_DIRECT);
      ASSERT_TRUE(held) << "read with interrupts allowed";
      const int level = (e.value >> EpuModel::kIndexPulse) & 1;
      if (levels.back().empty() || levels.back().back() != level) levels.back().push_back(level);
    }
    EXPECT_FALSE(held);
    EXPECT_EQ(c.levels, levels);
  }
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
    const std::vector<uint16_t> bankOffsets =
        WritesTo(entries, n % 2 ? EpuModel::kBank0Offset : EpuModel::kBank1Offset);
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

// Any non-zero emulation flag, not only 1, skips the board.
TEST_F(EpuTest, EmulatedRowsSkipTheBoardAndFailOnlyWithTheStepper) {
  for (int32_t emulation : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    epu->set_pll_locked(true);
    epu->set_wrong_bank(false);
    PrepareJob(DefaultJob());
    SmMoveRecorder::Reset(epu);
    epu->set_pll_locked(false);
    epu->set_wrong_bank(true);
    ASSERT_EQ(1, CARDN5_SetEmulation(emulation));
    log.Clear();
    machine.trace().Clear();

    eputest::Watchdog watchdog("an emulated row");
    const uint64_t boardReads = epu->status_reads();
    // a new row shift, two single rows and a two-pass row: four rows in all
    for (int n = 0; n < 3; ++n) EXPECT_EQ(1, Row(n == 2 ? 1 : 0, 3, 10));
    EXPECT_EQ(boardReads, epu->status_reads());
    EXPECT_EQ(0u, CodeCalls(machine.trace().entries()));
    EXPECT_EQ(0u, HoldOffs(machine.trace().entries()));
    for (const sim::TraceEntry& e : machine.trace().entries()) EXPECT_TRUE(e.emulated()) << sim::FormatEntry(e);
    // only S1, S2 and the three bank readings of each row: no waits, no busy wait
    EXPECT_EQ(4u * 5u, StatusReads(machine.trace().entries()).size());
    // banks are still changed, pulses still given
    size_t bankChanges = 0;
    for (const sim::TraceEntry& e : machine.trace().entries()) bankChanges += IsBankChange(e);
    EXPECT_EQ(4u, bankChanges);
    EXPECT_EQ(3u, SmMoveRecorder::calls.size());
    EXPECT_EQ(0, g_EPUControl.GetValue() & 0x0800);  // no wrong bank, no error LED
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();

    SmMoveRecorder::failOnCall = 4;
    EXPECT_EQ(0, Row(0, 3, 10));
    EXPECT_EQ((std::vector<std::string>{"SM Error in LaserOneRow()\n", "Error in LaserOneRow(),  Rowmode=0 \n"}),
              log.Lines());
    CARDN5_SetEmulation(0);
  }
}

TEST_F(EpuTest, RowWithoutAPreparedJobIsRefused) {
  EXPECT_EQ(0, Row(0, 3, 10));
  EXPECT_EQ(std::vector<std::string>{"DoOneRow: wRowLength = 0, no job prepared -> row refused\n"}, log.Lines());
  EXPECT_EQ(0u, machine.trace().size());
  EXPECT_EQ(0, g_pEPU->m_bInDoOneRow.load());
}

}  // namespace

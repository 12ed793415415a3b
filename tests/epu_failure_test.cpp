// The EPU's failures in one catalogue: each one's log lines, recorded error
// code, result and what it leaves. (The frame's one failure, 2148, needs an
// allocation that fails: frame_test; the IPG's refusal is a row of its
// register table: epu_aux_test.)

#include <algorithm>
#include <cstdlib>

#include "epu_support.h"

namespace {

using namespace eputest;

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
  EXPECT_EQ((std::pair<int32_t, std::string>{code, code ? "CEPU.cpp" : ""}), (std::pair{e.code, e.file}));
}

// A lost PLL leaves the row unwritten; a failing stepper leaves it written
// and the banks changed.
TEST_F(EpuTest, RowFailures) {
  // prepared, PLL lost, rows of the same mode first, the
  // SmMove call that fails, the mode; the result, the last lines logged, the
  // code recorded and the rows the board took
  const std::tuple<const char*, bool, bool, int, int, uint32_t, int32_t, Lines, int32_t, size_t> cases[] = {
      {"no job", false, false, 0, 0, 0, 0, {"DoOneRow: wRowLength = 0, no job prepared -> row refused\n"}, 0, 0},
      {"PLL lost", true, true, 0, 0, 0, 0, {kPLL, kMode0}, 2101, 0},
      {"PLL lost in both passes", true, true, 0, 0, 2, 0, {kPLL, kCylindrical, kPLL, kSpiral}, 2101, 0},
      {"stepper fails in a row", true, false, 1, 1, 0, 0, {kStepper, kMode0}, 0, 1},
      {"stepper fails in the spiral pass", true, false, 0, 1, 1, 0, {kStepper, kSpiral}, 0, 2},
      {"stepper fails in the cylindrical pass", true, false, 1, 2, 1, 0, {kStepper, kCylindrical}, 0, 2},
      {"illegal row mode", true, false, 0, 0, 7, 1, {"Illegal Rowmode 7\n"}, 0, 0},
      {"mode 0x10000 is mode 0", true, false, 0, 0, 0x10000, 1, {}, 0, 1},
  };
  for (const auto& [name, prepared, pllLost, before, failOn, mode, result, lines, code, rowsTaken] : cases) {
    SCOPED_TRACE(name);
    if (prepared) PrepareJob();
    for (int n = 0; n < before; ++n) ASSERT_EQ(1, EpuTest::Row(mode, 3, 10));
    epu->set_pll_locked(!pllLost);
    SmMoveRecorder::failOnCall = failOn;
    Forget();
    EXPECT_EQ(result, EpuTest::Row(mode, 3, 10));
    ExpectLastLinesAndCode(log, lines, code);
    EXPECT_EQ(rowsTaken, NewRows().size());
    epu->set_pll_locked(true);
  }
}

// The five handshake tries (10 s each) and the 2000 polls for the row slot.
// A failed start leaves the job's fields taken.
TEST_F(EpuTest, StartHandshakeTriesAndPolls) {
  using epu::Status;
  const std::string wrallo = "WRALLO_BIT wurde als 0 erkannt -> retrying\n";
  const std::string envorsch = "ENVORSCH_BIT wurde als 1 erkannt -> retrying\n";
  auto slotAfter120 = [](sim::EpuModel& b) {
    b.ScriptBitFor(Status::WRALLO_BIT, false, 1 + 120);
    b.ScriptBit(Status::ENVORSCH_BIT, {false});
    b.ScriptBitFor(Status::ENVORSCH_BIT, true, 60);
  };
  auto noBank0 = [](sim::EpuModel& b) { b.set_wrpl1_never_set(true); };
  auto noSlot = [](sim::EpuModel& b) { b.set_wrallo_never_set(true); };
  auto slotAt2000 = [](sim::EpuModel& b) { b.ScriptBitFor(Status::WRALLO_BIT, false, 1 + 1999); };
  // the board, then the tries, 1 ms sleeps and status reads, the poll messages in
  // order and the last lines of a failed start
  const std::tuple<const char*, std::function<void(sim::EpuModel&)>, uint64_t, uint64_t, uint64_t, Lines, Lines>
      cases[] = {
          {"bank 0 at once", [](sim::EpuModel&) {}, 1, 0, 2, {}, {}},
          {"bank 0 never", noBank0, 5, 0, 6, {}, {"WRPL1_BIT wurde als 0 erkannt\n", kSetBits}},
          {"no row slot",
           noSlot,
           1,
           2000,
           2001,
           Lines(40, wrallo),
           {"2000 Retries -> immer noch nicht ok\n", kSetBits}},
          {"slot on the 2000th poll", slotAt2000, 1, 1999, 2001, Lines(40, wrallo), {}},
          {"messages on polls 1, 51, 101", slotAfter120, 1, 120, 122, {wrallo, envorsch, wrallo, envorsch, wrallo}, {}},
      };
  for (const auto& [name, board, tries, sleeps, statusReads, polls, failure] : cases) {
    SCOPED_TRACE(name);
    board(*epu);
    const uint64_t reads = epu->status_reads();
    Forget();
    EPU_GRAVUR_PARAMS job = Job();
    job.wStartposY = 77;
    EXPECT_EQ(failure.empty() ? 1 : 0, EPUN5_GravurVorbereiten(job));
    EXPECT_EQ((std::vector<uint64_t>{tries, sleeps, statusReads}),
              (std::vector<uint64_t>{machine.trace().CountDelays(10000u * 1000u), machine.trace().CountDelays(1000),
                                     epu->status_reads() - reads}));
    EXPECT_EQ(polls, log.Containing("-> retrying"));
    ExpectLastLinesAndCode(log, failure, failure.empty() ? 0 : 2006);
    EXPECT_EQ((std::pair<int, int>{0, 77}), (std::pair<int, int>{g_pEPU->m_wExpectedBank, g_pEPU->m_wStartposY}));
    epu->set_wrpl1_never_set(false);
    epu->set_wrallo_never_set(false);
  }
}

// A refused job leaves the one before.
TEST_F(EpuTest, PreparationRefusesRowLengthZero) {
  PrepareJob();
  EPU_GRAVUR_PARAMS job = Job();
  job.wRowLength = 0x30000;
  job.wStartposY = 77;
  EXPECT_EQ(0, EPUN5_GravurVorbereiten(job));
  ExpectLastLinesAndCode(log, {"InitParameter: wRowLength = 0 refused\n", kInitParameter}, 2006);
  EXPECT_EQ((std::vector<int>{1000, 300, 1000}),
            (std::vector<int>{g_pEPU->m_wRowLength, g_pEPU->m_wStartposY, epu->reg(epu::kRowLengthPort)}));
}

// A row that needs the host's stepper but was handed no stepper function
// ends as a row whose SmMove failed, with one more log line, instead of
// calling through the null pointer.
const std::string kNullLine = "DoOneRow: pfnSmMove = NULL -> stepper not moved, row refused\n";

int g_nRefused = 0;
int32_t CARDN5_CALL RefusingMove(uint32_t, uint32_t, uint32_t) {
  ++g_nRefused;
  return 0;
}

// What the last row left: result, writes, log lines, the rows the board took
// and the card's state.
using Outcome = std::tuple<int32_t, Writes, Lines, size_t, std::vector<int>>;

TEST_F(EpuTest, ARowNeedingANullStepperEndsAsAFailedMove) {
  // board advance, row mode, rows before; the result and the SmMove calls the row makes
  const std::tuple<const char*, uint16_t, uint32_t, int, int, int> cases[] = {
      {"single row, host advance", 0, 0, 1, 0, 1},
      {"first row of the job moves nothing", 0, 0, 0, 1, 0},
      {"single row, board advance", 1, 0, 1, 1, 0},
      {"two passes, first row: the spiral pass moves", 0, 1, 0, 0, 1},
      {"two passes after the first row: both move", 0, 2, 1, 0, 2},
      {"stepper move only, host advance", 0, 3, 0, 0, 1},
      {"stepper move only, board advance", 1, 3, 0, 0, 1},
  };
  // The same job each time: rand() reseeded, the offset cursor put back.
  const uint16_t cursor = g_wRandomCursor;
  auto run = [&](uint16_t smAuto, uint32_t mode, int rowsBefore, PFN_SMMOVE pfnLast) -> Outcome {
    std::srand(7);
    PrepareJob([smAuto](EPU_GRAVUR_PARAMS& job) { job.wSMAuto = smAuto, job.wRandomOffset = 1; });
    g_wRandomCursor = cursor;
    for (int i = 0; i < rowsBefore; ++i) EXPECT_EQ(1, Row(0, 3, 10));
    Forget();
    const int32_t result = EPUN5_DoOneRow(0x1000, 0x2000, mode, 3, 10, pfnLast);
    const CEPUCard& e = *g_pEPU;
    const std::vector<int> state = {e.m_wExpectedBank, e.m_bFirstRow,          e.m_wStartOffset,
                                    e.m_wRowCounter,   e.m_bInDoOneRow.load(), epu->control()};
    return {result, machine.trace().AllWrites(), log.Lines(), NewRows().size(), state};
  };
  for (const auto& [name, smAuto, mode, rowsBefore, result, moves] : cases) {
    SCOPED_TRACE(name);
    g_nRefused = 0;
    const Outcome failed = run(smAuto, mode, rowsBefore, &RefusingMove);
    ASSERT_EQ(moves, g_nRefused);
    Outcome null = run(smAuto, mode, rowsBefore, nullptr);
    Lines& lines = std::get<2>(null);
    EXPECT_EQ(moves, std::count(lines.begin(), lines.end(), kNullLine));
    lines.erase(std::remove(lines.begin(), lines.end(), kNullLine), lines.end());
    EXPECT_EQ(result, std::get<0>(null));
    EXPECT_EQ(failed, null);
  }
}

}  // namespace

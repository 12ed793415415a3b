// MBU engraving set-up: dividers, trigger commands and their wait, zero
// shift and plot height, modulation values, status queries and commands.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "hwconf32_ext.h"
#include "hwinfo32_ext.h"
#include "mbu_support.h"

namespace {

using mbutest::Block;
using mbutest::Image;
using mbutest::MbuTest;
using mbutest::Writes;

struct DividerRow {
  uint32_t mode, steps, plotHeight;
  int32_t result;
  uint16_t divider;     // the field afterwards
  Writes writes;        // after the direction write: divider, divider high
  const char* failure;  // the calculation's log line
  int32_t error;
};

TEST_F(MbuTest, DividersOfTheThreeAdvanceModes) {
  const DividerRow rows[] = {
      {0, 1, 0, 1, 4999, {{0xB300, 0x8000 | 4999}}, nullptr, 0},
      {0, 2, 0, 1, 2499, {{0xB300, 0x8000 | 2499}}, nullptr, 0},
      {0, 3, 0, 1, 1666, {{0xB300, 0x8000 | 1666}}, nullptr, 0},
      {0, 10, 0, 1, 499, {{0xB300, 0x8000 | 499}}, nullptr, 0},
      {0, 81, 0, 1, 61, {{0xB300, 0x8000 | 61}}, nullptr, 0},
      {5, 10, 0, 0, 61, {}, "CMBUCard::CalcSMDivider wrong advance mode \n", 2001},  // divider kept
      {0, 0, 0, 1, 0x1FFF, {{0xB300, 0x9FFF}}, nullptr, 0},
      {0,
       82,
       0,
       0,
       0x1FFF,
       {},
       "CMBUCard::CalcSMDividerStandard 82 are more steps then possible 81 with this EPLD \n",
       4004},
      {1, 157, 0, 1, 0x1FDA, {{0xB300, 0x9FDA}}, nullptr, 0},
      {1, 200, 0, 1, 0x1901, {{0xB300, 0x9901}}, nullptr, 0},
      {1, 1000, 0, 1, 0x0500, {{0xB300, 0x8500}}, nullptr, 0},
      {1, 1, 0, 1, 0x08FF, {{0xB300, 0x88FF}}, nullptr, 0},  // 0x88FF keeps its low 13 bits
      {1, 0, 0, 1, 0, {{0xB300, 0x8000}}, nullptr, 0},
      {2, 3, 1000, 1, 0x014D, {{0xB300, 0x814D}, {0xBF00, 0}}, nullptr, 0},
      {2, 2, 0x10000, 1, 0x8000, {{0xB300, 0x8000}, {0xBF00, 4}}, nullptr, 0},
      {2, 0, 1000, 1, 0xFFFF, {{0xB300, 0x9FFF}, {0xBF00, 7}}, nullptr, 0},
      {2,
       400,
       1000,
       0,
       0xFFFF,
       {},
       "CMBUCard::CalcSMDividerTRIM 400 are more steps then possible with this EPLD \n",
       4004},
      {2,
       2000,
       1000,
       0,
       0xFFFF,
       {},
       "CMBUCard::CalcSMDividerTRIM 2000 are more steps then possible with this EPLD \n",
       4004},
  };
  uint16_t seed = 0;
  for (const DividerRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " steps " << r.steps);
    MBUN5_SetPlotHeightPI(r.plotHeight);
    std::vector<uint16_t> words = Image(16, ++seed);
    MBU_BLOCK_INFO b = Block(words, 16, 16, 0, r.mode, r.steps);
    b.dwPlotHeightPixel = r.plotHeight;
    if (r.result) {
      ASSERT_EQ(1, MBUN5_WriteBlock(b));
    }
    testsupport::ClearLastError();
    log.Clear();
    const uint16_t bank = g_pMBU->m_wExpectedBank;
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, MBUN5_TriggerBlock(b));
    EXPECT_EQ(r.divider, g_pMBU->m_wSMDivider);
    const Writes all = machine.trace().Since(mark).AllWrites();
    if (r.result) {
      ASSERT_GT(all.size(), r.writes.size());
      EXPECT_EQ(r.writes, Writes(all.begin() + 1, all.begin() + 1 + static_cast<long>(r.writes.size())));
      continue;
    }
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(bank, g_pMBU->m_wExpectedBank);
    EXPECT_EQ((std::vector<std::string>{r.failure, "CMBUCard: Fehler in CalcSMTeilerwert\n"}), log.Lines());
    EXPECT_EQ(r.error, testsupport::LastError().code);
  }
}

TEST_F(MbuTest, TriggerCommandFollowsTheZeroShiftSegment) {
  EXPECT_EQ(1, MBUN5_GravurVorbereiten());
  EXPECT_EQ(
      (std::vector<std::string>{"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n"}),
      log.Lines());
  std::vector<uint16_t> words = Image(4, 1);
  for (uint32_t zero : {0u, 0x300u, 0x300u, 0u}) WriteAndTrigger(Block(words, 16, 4, zero));
  machine.AdvanceNs(10000000);
  EXPECT_EQ(1, MBUN5_InitAction(7, 9));
  WriteAndTrigger(Block(words, 16, 4, 0x300));  // no segment since InitAction
  machine.AdvanceNs(10000000);
  EXPECT_EQ((std::vector<uint16_t>{3, 3, 5, 12, 10, 5, 3, 12}), mbu->commands());
  ASSERT_EQ(5u, mbu->blocks().size());
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(static_cast<int>(i % 2 == 0 ? 0 : 1), mbu->blocks()[i].bank) << i;
  EXPECT_TRUE(machine.trace().Writes(0xAB00).empty());  // the command alone tells the segment
  EXPECT_EQ(0x300, g_pMBU->m_wLastZeroSegment << 8);
}

TEST_F(MbuTest, TRIMTriggerWritesPlotHeightAndSegmentBeforeCommand13) {
  EXPECT_EQ(1, MBUN5_SetPlotHeightPI(1000));
  std::vector<uint16_t> words = Image(4, 2);
  MBU_BLOCK_INFO b = Block(words, 16, 4, 0x400, 2, 3);
  b.dwPlotHeightPixel = 0x12345;  // reaches the divider of the next block only
  ASSERT_EQ(1, MBUN5_WriteBlock(b));
  const size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, MBUN5_TriggerBlock(b));
  const Writes expected = {{0xB300, 0x8000}, {0xB300, 0x814D}, {0xBF00, 0}, {0xB700, 0x45},
                           {0xBB00, 0x23},   {0xA700, 0x01},   {0xAB00, 2}, {0xAF00, 13}};
  EXPECT_EQ(expected, machine.trace().Since(mark).AllWrites());
  const std::vector<uint32_t> delays = machine.trace().Since(mark).Delays();
  EXPECT_EQ((std::vector<uint32_t>{1000, 1000, 10000, 10000}),
            std::vector<uint32_t>(delays.begin(), delays.begin() + 4));
  machine.AdvanceNs(1000000);
  ASSERT_EQ(1u, mbu->blocks().size());
  EXPECT_EQ(2, mbu->blocks()[0].zeroShift);
  EXPECT_EQ(0x12345u, mbu->blocks()[0].plotHeight);
  EXPECT_EQ(0x014D, mbu->blocks()[0].divider);
}

struct RangeRow {
  const char* name;
  int32_t (*call)(uint32_t);
  uint32_t arg, jumper;
  int32_t result;
  Writes writes;
  std::vector<std::string> lines;
  const char* window;  // text shown for 4 s, or none
};

int32_t ZeroShift(uint32_t v) { return MBUN5_SetNullverschiebungsWert(static_cast<int32_t>(v)); }

TEST_F(MbuTest, ZeroShiftAndPlotHeightRefusalsShowTheirTextFourSeconds) {
  const char* kPlot = "plot height 16777216 is greater than 65535 pixel \n";
  const RangeRow rows[] = {
      {"zero 256",
       ZeroShift,
       256,
       3,
       0,
       {},
       {"CMBUCard::SetNullverschiebungsWert 256 greater then 255\n"},
       "MBU Card: zero rotation 256 is greater than 255 segments \n"},
      {"zero 0x10005", ZeroShift, 0x10005, 3, 1, {{0xAB00, 5}}, {}, nullptr},
      {"zero 255", ZeroShift, 255, 3, 1, {{0xAB00, 255}}, {}, nullptr},
      {"plot 0x1000000",
       MBUN5_SetPlotHeightPI,
       0x1000000,
       3,
       0,
       {},
       {"CMBUCard::SetPlotHeightPI Pixelcounter 16777216 to great \n", kPlot},
       kPlot},
      {"plot -1",
       MBUN5_SetPlotHeightPI,
       0xFFFFFFFF,
       5,
       0,
       {},
       {"CMBUCard::SetPlotHeightPI Pixelcounter -1 to great \n", "plot height -1 is greater than 65535 pixel \n"},
       "plot height -1 is greater than 65535 pixel \n"},
      {"plot 0xFFFFFF",
       MBUN5_SetPlotHeightPI,
       0xFFFFFF,
       3,
       1,
       {{0xB700, 0xFF}, {0xBB00, 0xFF}, {0xA700, 0xFF}},
       {},
       nullptr},
      {"plot on a standard card", MBUN5_SetPlotHeightPI, 0x1000000, 1, 1, {}, {}, nullptr},
  };
  for (const RangeRow& r : rows) {
    SCOPED_TRACE(r.name);
    mbu->set_jumper_id(r.jumper);
    testsupport::ClearLastError();
    ASSERT_EQ(1, MBUN5_InitPowerOn());
    const uint16_t zeroBefore = g_pMBU->m_wNullverschiebung;
    log.Clear();
    HWINFOX_Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, r.call(r.arg));
    const sim::TraceView since = machine.trace().Since(mark);
    EXPECT_EQ(r.writes, since.AllWrites());
    std::vector<std::string> lines = r.lines;
    if (r.window) lines.push_back(std::string("hwinfo32: ") + r.window + "\n");  // the stand-in logs what it shows
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(r.window ? 1u : 0u, since.CountDelays(4000000));
    EXPECT_EQ(r.writes.empty() ? 0u : 1u, since.CountDelays(10000));
    EXPECT_EQ(r.window ? 2109 : 0, testsupport::LastError().code);
    EXPECT_EQ(r.window ? 4 : 0, HWINFOX_CallCount());
    if (r.window) {
      int32_t kind = 0, what = 0, code = 0;
      char text[128] = "";
      ASSERT_EQ(1, HWINFOX_GetCall(1, &kind, &what, &code, text, sizeof text));
      EXPECT_EQ(3016, code);
      EXPECT_STREQ(r.window, text);
      EXPECT_EQ(0, HWINFOX_IsShown());
    }
    if (r.call == ZeroShift)
      EXPECT_EQ(r.result ? r.arg & 0xFF : zeroBefore, g_pMBU->m_wNullverschiebung);
    else
      EXPECT_EQ(r.arg, g_pMBU->m_dwPlotHeightPixel);  // stored even when refused
  }
}

TEST_F(MbuTest, ModulationValuesGoOutIndexThenValueWithTheModeBit) {
  HWCONFX_SetCustomValue("AMU_Channel_Middle_PowerMax", 300.7);
  HWCONFX_SetCustomValue("AMU_Channel_Contour_FirstStep", -1.0);
  const uint16_t values[12] = {0, 0, 255, 1, 0, 0, 44, 1, 255, 0, 255, 1};
  for (int32_t mode : {7, 0}) {
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, MBUN5_WriteAMUValues(mode));
    Writes expected;
    for (uint16_t i = 0; i < 12; ++i) {
      expected.emplace_back(0xB700, static_cast<uint16_t>(i | (mode ? 0x80 : 0)));
      expected.emplace_back(0xBB00, values[i]);
    }
    EXPECT_EQ(expected, machine.trace().Since(mark).AllWrites());
    EXPECT_EQ(24u, machine.trace().Since(mark).CountDelays(10));
    EXPECT_EQ(std::vector<std::string>{"CMBUCard::WriteAMUValues()  Mode " + std::to_string(mode) + " \n"},
              log.Lines());
    EXPECT_EQ(44, mbu->amu(6));
    EXPECT_EQ(mode != 0, mbu->amu_mode());
  }
}

struct QueryRow {
  const char* name;
  std::function<void(sim::MbuModel&, sim::Machine&)> board;
  int32_t emulation;
  std::function<int32_t()> call;
  int32_t result;
  Writes writes;
  std::vector<uint32_t> delays;
};

// The board's clock to a point where its zero-pulse counter shows n.
void ToDrumTurn(sim::MbuModel& m, sim::Machine& mc, uint64_t n) {
  m.set_drum_turn_ns(1000000);
  mc.AdvanceNs(16000000 - mc.NowNs() % 16000000 + n * 1000000 + 500000);
}

TEST_F(MbuTest, StatusQueriesAndCommands) {
  const auto none = [](sim::MbuModel&, sim::Machine&) {};
  static std::vector<uint16_t> words = Image(4, 3);
  const QueryRow rows[] = {
      {"laser on", none, 0, [] { return MBUN5_SetLaserpulsExplizit(5); }, 1, {{0xAF00, 1}}, {}},
      {"turn-off blocked by the laser pulse", none, 0, MBUN5_IsTurnOffPossible, 0, {}, {10, 10, 10}},
      {"laser off", none, 0, [] { return MBUN5_SetLaserpulsExplizit(0); }, 1, {{0xAF00, 3}}, {}},
      {"turn-off with bits 0, 1, 12-15",
       [](auto& m, auto&) { m.set_reset_occurred(true); },
       0,
       MBUN5_IsTurnOffPossible,
       1,
       {},
       {10, 10, 10}},
      {"busy bit 3", [](auto& m, auto&) { m.set_stuck_busy(0x08); }, 0, MBUN5_IsTurnOffPossible, 0, {}, {10, 10, 10}},
      {"busy bit 6", [](auto& m, auto&) { m.set_stuck_busy(0x40); }, 0, MBUN5_IsTurnOffPossible, 0, {}, {10, 10, 10}},
      {"emulated: the last reading decides",
       [](auto& m, auto&) { m.set_stuck_busy(0); },
       1,
       MBUN5_IsTurnOffPossible,
       0,
       {},
       {10, 10, 10}},
      {"soft reset", none, 0, MBUN5_TrigSoftReset, 1, {{0xAF00, 3}}, {}},
      {"bank set", none, 0, MBUN5_TrigBankSet, 1, {{0xAF00, 6}}, {}},
      {"test mode", none, 0, MBUN5_TrigTestMode, 1, {{0xAF00, 9}}, {}},
      {"reset occurred", [](auto& m, auto&) { m.set_reset_occurred(true); }, 0, MBUN5_IstResetAufgetreten, 1, {}, {}},
      {"no reset", [](auto& m, auto&) { m.set_reset_occurred(false); }, 0, MBUN5_IstResetAufgetreten, 0, {}, {}},
      {"PLL out of range", [](auto& m, auto&) { m.set_pll_in_range(false); }, 0, MBUN5_IsPLLInRange, 0, {}, {}},
      {"PLL emulated: not read", [](auto& m, auto&) { m.set_pll_in_range(true); }, 2, MBUN5_IsPLLInRange, 0, {}, {}},
      {"PLL in range", none, 0, MBUN5_IsPLLInRange, 1, {}, {}},
      {"zero pulses 7", [](auto& m, auto& mc) { ToDrumTurn(m, mc, 7); }, 0, MBUN5_GetNullimpulsZaehler, 7, {}, {}},
      {"zero pulses 8: bit 11",
       [](auto& m, auto& mc) { ToDrumTurn(m, mc, 8); },
       0,
       MBUN5_GetNullimpulsZaehler,
       0,
       {},
       {}},
      {"direction 1 emulated", none, 1, [] { return MBUN5_SetSMDirection(1); }, 1, {}, {}},
      {"trigger emulated: one pass",
       none,
       1,
       [] { return MBUN5_TriggerBlock(Block(words, 16, 4)); },
       1,
       {{0xB300, 0x81F3}, {0xAF00, 5}},
       {10, 10, 10}},
      {"direction 0", none, 0, [] { return MBUN5_SetSMDirection(0); }, 1, {{0xB300, 0x01F3}}, {1000, 1000}},
  };
  for (const QueryRow& r : rows) {
    SCOPED_TRACE(r.name);
    r.board(*mbu, machine);
    CARDN5_SetEmulation(r.emulation);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, r.call());
    EXPECT_EQ(r.writes, machine.trace().Since(mark).AllWrites());
    EXPECT_EQ(r.delays, machine.trace().Since(mark).Delays());
  }
  CARDN5_SetEmulation(0);
}

// 500,000 passes of at least seven status readings: 33.5 s on the clock.
TEST_F(MbuTest, TriggerWaitCountsHalfAMillionPassesAndKeepsTheBankToggled) {
  machine.trace().SetEnabled(false);
  std::vector<uint16_t> words = Image(16, 5);
  const MBU_BLOCK_INFO b = Block(words, 16, 16, 0x300);
  // The last pass starts 33,499,945 us after the command; its last reading
  // sees the board 57 us later.
  const struct {
    uint64_t latencyUs;
    int32_t result;
  } rows[] = {{33499950, 1}, {33500013, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.latencyUs);
    ASSERT_EQ(1, MBUN5_InitAction(0, 0));
    mbu->set_trigger_latency_ns(r.latencyUs * 1000);
    ASSERT_EQ(1, MBUN5_WriteBlock(b));
    log.Clear();
    const uint64_t reads = mbu->status_reads();
    EXPECT_EQ(r.result, MBUN5_TriggerBlock(b));
    EXPECT_EQ(1, g_pMBU->m_wExpectedBank);
    EXPECT_EQ(3, g_pMBU->m_wLastZeroSegment);
    if (r.result) continue;
    EXPECT_EQ(8u + 7u * 499999u, mbu->status_reads() - reads);
    EXPECT_EQ(
        std::vector<std::string>{
            "CMBUCard::WaitForTrigAccepted()  trigger is not accepted on the MBU card and bank has not switched \n"},
        log.Lines());
    EXPECT_EQ(4694, testsupport::LastError().code);
  }
}

}  // namespace

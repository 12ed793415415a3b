// MBU engraving set-up: dividers, trigger commands and their wait, zero
// shift and plot height, modulation values, status queries and commands.
#include <gtest/gtest.h>

#include <functional>

#include "hwconf32_ext.h"
#include "hwinfo32_ext.h"
#include "mbu_support.h"

namespace {

using mbutest::Block;
using mbutest::Image;
using mbutest::Lines;
using mbutest::MbuTest;
using mbutest::Writes;

struct DividerRow {
  uint32_t mode, steps, plotHeight;  // the plot height set before the trigger
  int32_t result;
  uint16_t divider;     // the field afterwards
  Writes writes;        // after the direction write: divider, divider high
  const char* failure;  // the calculation's log line; error 2001 for a wrong mode, else 4004
};

TEST_F(MbuTest, DividersOfTheThreeAdvanceModes) {
  // clang-format off
  const DividerRow rows[] = {
      {0, 1, 0, 1, 4999, {{0xB300, 0x8000 | 4999}}, nullptr},
      {0, 2, 0, 1, 2499, {{0xB300, 0x8000 | 2499}}, nullptr},
      {0, 3, 0, 1, 1666, {{0xB300, 0x8000 | 1666}}, nullptr},
      {0, 10, 0, 1, 499, {{0xB300, 0x8000 | 499}}, nullptr},
      {0, 81, 0, 1, 61, {{0xB300, 0x8000 | 61}}, nullptr},
      {5, 10, 0, 0, 61, {}, "CMBUCard::CalcSMDivider wrong advance mode \n"},  // divider kept
      {0, 0, 0, 1, 0x1FFF, {{0xB300, 0x9FFF}}, nullptr},
      {0, 82, 0, 0, 0x1FFF, {}, "CMBUCard::CalcSMDividerStandard 82 are more steps then possible 81 with this EPLD \n"},
      {1, 157, 0, 1, 0x1FDA, {{0xB300, 0x9FDA}}, nullptr},
      {1, 200, 0, 1, 0x1901, {{0xB300, 0x9901}}, nullptr},
      {1, 1000, 0, 1, 0x0500, {{0xB300, 0x8500}}, nullptr},
      {1, 1, 0, 1, 0x08FF, {{0xB300, 0x88FF}}, nullptr},  // 0x88FF keeps its low 13 bits
      {1, 0, 0, 1, 0, {{0xB300, 0x8000}}, nullptr},
      {2, 3, 1000, 1, 0x014D, {{0xB300, 0x814D}, {0xBF00, 0}}, nullptr},
      {2, 2, 0x10000, 1, 0x8000, {{0xB300, 0x8000}, {0xBF00, 4}}, nullptr},
      {2, 0, 1000, 1, 0xFFFF, {{0xB300, 0x9FFF}, {0xBF00, 7}}, nullptr},
      {2, 400, 1000, 0, 0xFFFF, {}, "CMBUCard::CalcSMDividerTRIM 400 are more steps then possible with this EPLD \n"},
      {2, 2000, 1000, 0, 0xFFFF, {}, "CMBUCard::CalcSMDividerTRIM 2000 are more steps then possible with this EPLD \n"},
  };
  // clang-format on
  std::vector<uint16_t> words = Image(16, 1);
  for (const DividerRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " steps " << r.steps);
    MBUN5_SetPlotHeightPI(r.plotHeight);
    MBU_BLOCK_INFO b = Block(words, 16, 16, 0, r.mode, r.steps);
    b.dwPlotHeightPixel = r.plotHeight;
    ASSERT_TRUE(!r.result || MBUN5_WriteBlock(b) == 1);
    testsupport::ClearLastError();
    log.Clear();
    const uint16_t bank = g_pMBU->m_wExpectedBank;
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, MBUN5_TriggerBlock(b));
    EXPECT_EQ(r.divider, g_pMBU->m_wSMDivider);
    const Writes all = Since(mark).AllWrites();
    if (r.result) {
      ASSERT_GT(all.size(), r.writes.size());
      EXPECT_EQ(r.writes, Writes(all.begin() + 1, all.begin() + 1 + static_cast<long>(r.writes.size())));
      continue;
    }
    EXPECT_TRUE(all.empty());
    EXPECT_EQ(bank, g_pMBU->m_wExpectedBank);
    EXPECT_EQ((Lines{r.failure, "CMBUCard: Fehler in CalcSMTeilerwert\n"}), log.Lines());
    EXPECT_EQ(r.mode > 2 ? 2001 : 4004, testsupport::LastError().code);
  }
}

TEST_F(MbuTest, TriggerCommandFollowsTheSegmentAndTRIMWritesItFirst) {
  EXPECT_EQ(1, MBUN5_GravurVorbereiten());
  EXPECT_EQ((Lines{"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n"}),
            log.Lines());
  std::vector<uint16_t> words = Image(4, 1);
  for (uint32_t zero : {0u, 0x300u, 0x300u, 0u}) WriteAndTrigger(Block(words, 16, 4, zero));
  machine.AdvanceNs(10000000);
  EXPECT_EQ(1, MBUN5_InitAction(7, 9));
  WriteAndTrigger(Block(words, 16, 4, 0x300));  // no segment since InitAction
  EXPECT_EQ((std::vector<uint16_t>{3, 3, 5, 12, 10, 5, 3, 12}), mbu->commands());
  EXPECT_TRUE(machine.trace().Writes(0xAB00).empty());  // the command alone tells the segment
  // TRIM: the plot height set before gives the divider; the block's own and
  // its segment go out before command 13.
  EXPECT_EQ(1, MBUN5_SetPlotHeightPI(1000));
  MBU_BLOCK_INFO b = Block(words, 16, 4, 0x400, 2, 3);
  b.dwPlotHeightPixel = 0x12345;
  ASSERT_EQ(1, MBUN5_WriteBlock(b));
  const size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, MBUN5_TriggerBlock(b));
  const Writes trim = {{0xB300, 0x81F3}, {0xB300, 0x814D}, {0xBF00, 0}, {0xB700, 0x45},
                       {0xBB00, 0x23},   {0xA700, 0x01},   {0xAB00, 2}, {0xAF00, 13}};
  EXPECT_EQ(trim, Since(mark).AllWrites());
  const std::vector<uint32_t> delays = Since(mark).Delays();
  EXPECT_EQ((std::vector<uint32_t>{1000, 1000, 10000, 10000}),
            std::vector<uint32_t>(delays.begin(), delays.begin() + 4));
  machine.AdvanceNs(10000000);
  ASSERT_EQ(6u, mbu->blocks().size());
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(static_cast<int>(i % 2), mbu->blocks()[i].bank) << i;
  EXPECT_EQ(0x014D, mbu->blocks()[5].divider);
}

struct RangeRow {
  int32_t (*call)(uint32_t);
  uint32_t arg, jumper;
  int32_t result;
  Writes writes;
  Lines lines;
  const char* window;  // the text shown 4 s, or none
};

int32_t ZeroShift(uint32_t v) { return MBUN5_SetNullverschiebungsWert(static_cast<int32_t>(v)); }

TEST_F(MbuTest, ZeroShiftAndPlotHeightRefusalsShowTheirTextFourSeconds) {
  const char *kZero = "MBU Card: zero rotation 256 is greater than 255 segments \n",
             *kPlot = "plot height 16777216 is greater than 65535 pixel \n",
             *kPlotAll = "plot height -1 is greater than 65535 pixel \n";
  // clang-format off
  const RangeRow rows[] = {
      {ZeroShift, 256, 3, 0, {}, {"CMBUCard::SetNullverschiebungsWert 256 greater then 255\n"}, kZero},
      {ZeroShift, 0x10005, 3, 1, {{0xAB00, 5}}, {}, nullptr},
      {ZeroShift, 255, 3, 1, {{0xAB00, 255}}, {}, nullptr},
      {MBUN5_SetPlotHeightPI, 0x1000000, 3, 0, {}, {"CMBUCard::SetPlotHeightPI Pixelcounter 16777216 to great \n", kPlot}, kPlot},
      {MBUN5_SetPlotHeightPI, 0xFFFFFFFF, 5, 0, {}, {"CMBUCard::SetPlotHeightPI Pixelcounter -1 to great \n", kPlotAll}, kPlotAll},
      {MBUN5_SetPlotHeightPI, 0xFFFFFF, 3, 1, {{0xB700, 0xFF}, {0xBB00, 0xFF}, {0xA700, 0xFF}}, {}, nullptr},
      {MBUN5_SetPlotHeightPI, 0x1000000, 1, 1, {}, {}, nullptr},  // a standard card: stored only
  };
  // clang-format on
  for (const RangeRow& r : rows) {
    SCOPED_TRACE(testing::Message() << std::hex << r.arg << " on jumper ID " << r.jumper);
    mbu->set_jumper_id(r.jumper);
    testsupport::ClearLastError();
    ASSERT_EQ(1, MBUN5_InitPowerOn());
    const uint16_t zeroBefore = g_pMBU->m_wNullverschiebung;
    log.Clear();
    HWINFOX_Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, r.call(r.arg));
    EXPECT_EQ(r.writes, Since(mark).AllWrites());
    Lines lines = r.lines;
    if (r.window) lines.push_back(std::string("hwinfo32: ") + r.window + "\n");  // the stand-in logs what it shows
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(r.window ? 1u : 0u, Since(mark).CountDelays(4000000));
    EXPECT_EQ(r.writes.empty() ? 0u : 1u, Since(mark).CountDelays(10000));
    EXPECT_EQ(r.window ? 2109 : 0, testsupport::LastError().code);
    EXPECT_EQ(r.window ? 4 : 0, HWINFOX_CallCount());  // opened, text, hidden, closed
    int32_t kind = 0, what = 0, code = 0;
    char text[128] = "";
    EXPECT_EQ(r.window ? 1 : 0, HWINFOX_GetCall(1, &kind, &what, &code, text, sizeof text));
    EXPECT_EQ(r.window ? std::string("3016 ") + r.window : "0 ", std::to_string(code) + " " + text);
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
    EXPECT_EQ(expected, Since(mark).AllWrites());
    EXPECT_EQ(24u, Since(mark).CountDelays(10));
    EXPECT_EQ(Lines{"CMBUCard::WriteAMUValues()  Mode " + std::to_string(mode) + " \n"}, log.Lines());
    EXPECT_EQ(44, mbu->amu(6));
    EXPECT_EQ(mode != 0, mbu->amu_mode());
  }
}

struct QueryRow {
  const char* name;
  std::function<void(sim::MbuModel&)> board;
  int32_t emulation;
  std::function<int32_t()> call;
  int32_t result;
  Writes writes;
  std::vector<uint32_t> delays;
};

TEST_F(MbuTest, StatusQueriesAndCommands) {
  const auto none = [](sim::MbuModel&) {};
  // The board's clock to where its zero-pulse counter shows n.
  const auto turn = [this](uint64_t n) {
    return [this, n](sim::MbuModel& m) {
      m.set_drum_turn_ns(1000000);
      machine.AdvanceNs(16000000 - machine.NowNs() % 16000000 + n * 1000000 + 500000);
    };
  };
  static std::vector<uint16_t> words = Image(4, 3);
  const std::vector<uint32_t> debounce = {10, 10, 10};
  // clang-format off
  const QueryRow rows[] = {
      {"laser on", none, 0, [] { return MBUN5_SetLaserpulsExplizit(5); }, 1, {{0xAF00, 1}}, {}},
      {"turn-off blocked by the laser pulse", none, 0, MBUN5_IsTurnOffPossible, 0, {}, debounce},
      {"laser off", none, 0, [] { return MBUN5_SetLaserpulsExplizit(0); }, 1, {{0xAF00, 3}}, {}},
      {"turn-off with bits 0, 1, 12-15", [](auto& m) { m.set_reset_occurred(true); }, 0, MBUN5_IsTurnOffPossible, 1, {}, debounce},
      {"busy bit 3", [](auto& m) { m.set_stuck_busy(0x08); }, 0, MBUN5_IsTurnOffPossible, 0, {}, debounce},
      {"busy bit 6", [](auto& m) { m.set_stuck_busy(0x40); }, 0, MBUN5_IsTurnOffPossible, 0, {}, debounce},
      {"emulated: the last reading decides", [](auto& m) { m.set_stuck_busy(0); }, 1, MBUN5_IsTurnOffPossible, 0, {}, debounce},
      {"soft reset", none, 0, MBUN5_TrigSoftReset, 1, {{0xAF00, 3}}, {}},
      {"bank set", none, 0, MBUN5_TrigBankSet, 1, {{0xAF00, 6}}, {}},
      {"test mode", none, 0, MBUN5_TrigTestMode, 1, {{0xAF00, 9}}, {}},
      {"reset occurred", [](auto& m) { m.set_reset_occurred(true); }, 0, MBUN5_IstResetAufgetreten, 1, {}, {}},
      {"no reset", [](auto& m) { m.set_reset_occurred(false); }, 0, MBUN5_IstResetAufgetreten, 0, {}, {}},
      {"PLL out of range", [](auto& m) { m.set_pll_in_range(false); }, 0, MBUN5_IsPLLInRange, 0, {}, {}},
      {"PLL emulated (2): not read", [](auto& m) { m.set_pll_in_range(true); }, 2, MBUN5_IsPLLInRange, 0, {}, {}},
      {"PLL in range", none, 0, MBUN5_IsPLLInRange, 1, {}, {}},
      {"zero pulses 7", turn(7), 0, MBUN5_GetNullimpulsZaehler, 7, {}, {}},
      {"zero pulses 8: only bit 11", turn(8), 0, MBUN5_GetNullimpulsZaehler, 0, {}, {}},
      {"direction 1 emulated", none, 1, [] { return MBUN5_SetSMDirection(1); }, 1, {}, {}},
      {"trigger emulated: one pass", none, 1, [] { return MBUN5_TriggerBlock(Block(words, 16, 4)); }, 1, {{0xB300, 0x81F3}, {0xAF00, 5}}, debounce},
      {"direction 0", none, 0, [] { return MBUN5_SetSMDirection(0); }, 1, {{0xB300, 0x01F3}}, {1000, 1000}},
  };
  // clang-format on
  for (const QueryRow& r : rows) {
    SCOPED_TRACE(r.name);
    r.board(*mbu);
    CARDN5_SetEmulation(r.emulation);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, r.call());
    EXPECT_EQ(r.writes, Since(mark).AllWrites());
    EXPECT_EQ(r.delays, Since(mark).Delays());
  }
  CARDN5_SetEmulation(0);
}

// 500,000 passes of at least seven status readings: 33.5 s on the clock.
// The last pass starts 33,499,945 us after the command and reads the board
// for the last time 57 us later.
TEST_F(MbuTest, TriggerWaitCountsHalfAMillionPassesAndKeepsTheBankToggled) {
  machine.trace().SetEnabled(false);
  std::vector<uint16_t> words = Image(16, 5);
  const MBU_BLOCK_INFO b = Block(words, 16, 16, 0x300);
  for (const uint64_t latencyUs : {33499950u, 33500013u}) {
    SCOPED_TRACE(latencyUs);
    ASSERT_EQ(1, MBUN5_InitAction(0, 0));
    mbu->set_trigger_latency_ns(latencyUs * 1000);
    ASSERT_EQ(1, MBUN5_WriteBlock(b));
    log.Clear();
    const uint64_t reads = mbu->status_reads();
    const int32_t accepted = MBUN5_TriggerBlock(b);
    EXPECT_EQ(latencyUs < 33500000u ? 1 : 0, accepted);
    EXPECT_EQ(1, g_pMBU->m_wExpectedBank);
    EXPECT_EQ(3, g_pMBU->m_wLastZeroSegment);
    if (accepted) continue;
    EXPECT_EQ(8u + 7u * 499999u, mbu->status_reads() - reads);
    EXPECT_EQ(Lines{"CMBUCard::WaitForTrigAccepted()  trigger is not accepted on the MBU card and bank has not "
                    "switched \n"},
              log.Lines());
    EXPECT_EQ(4694, testsupport::LastError().code);
  }
}

}  // namespace

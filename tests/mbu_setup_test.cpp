// MBU engraving set-up: dividers, trigger commands and their wait, zero
// shift and plot height, modulation values, status queries and commands.
#include <gtest/gtest.h>

#include <cstdio>
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

// The plot height set before (the block carries one more); the divider
// field afterwards; the writes after the direction write up to the trigger
// command; the calculation's log line (error 2001 for a wrong mode, else 4004).
struct DividerRow {
  uint32_t mode, steps, plotHeight, zero, result, divider;
  Writes writes;
  const char* failure;
};

TEST_F(MbuTest, DividersOfTheThreeAdvanceModesAndTheirTriggers) {
  const char* kTRIM = "CMBUCard::CalcSMDividerTRIM %u are more steps then possible with this EPLD \n";
  // clang-format off
  const DividerRow rows[] = {
      {0, 1, 0, 0, 1, 4999, {{0xB300, 0x8000 | 4999}, {0xAF00, 5}}, nullptr},
      {0, 2, 0, 0, 1, 2499, {{0xB300, 0x8000 | 2499}, {0xAF00, 5}}, nullptr},
      {0, 3, 0, 0, 1, 1666, {{0xB300, 0x8000 | 1666}, {0xAF00, 5}}, nullptr},
      {0, 10, 0, 0, 1, 499, {{0xB300, 0x8000 | 499}, {0xAF00, 5}}, nullptr},
      {0, 81, 0, 0, 1, 61, {{0xB300, 0x8000 | 61}, {0xAF00, 5}}, nullptr},
      {5, 10, 0, 0, 0, 61, {}, "CMBUCard::CalcSMDivider wrong advance mode \n"},  // divider kept
      {0, 0, 0, 0, 1, 0x1FFF, {{0xB300, 0x9FFF}, {0xAF00, 5}}, nullptr},
      {0, 82, 0, 0, 0, 0x1FFF, {}, "CMBUCard::CalcSMDividerStandard 82 are more steps then possible 81 with this EPLD \n"},
      {1, 157, 0, 0, 1, 0x1FDA, {{0xB300, 0x9FDA}, {0xAF00, 5}}, nullptr},
      {1, 200, 0, 0, 1, 0x1901, {{0xB300, 0x9901}, {0xAF00, 5}}, nullptr},
      {1, 1000, 0, 0, 1, 0x0500, {{0xB300, 0x8500}, {0xAF00, 5}}, nullptr},
      {1, 1, 0, 0, 1, 0x08FF, {{0xB300, 0x88FF}, {0xAF00, 5}}, nullptr},  // 0x88FF keeps its low 13 bits
      {1, 0, 0, 0, 1, 0, {{0xB300, 0x8000}, {0xAF00, 5}}, nullptr},
      {2, 3, 1000, 0x400, 1, 0x014D, {{0xB300, 0x814D}, {0xBF00, 0}, {0xB700, 0xE9}, {0xBB00, 0x03}, {0xA700, 0}, {0xAB00, 2}, {0xAF00, 13}}, nullptr},
      {2, 2, 0x10000, 0, 1, 0x8000, {{0xB300, 0x8000}, {0xBF00, 4}, {0xB700, 1}, {0xBB00, 0}, {0xA700, 1}, {0xAB00, 0}, {0xAF00, 13}}, nullptr},
      {2, 0, 1000, 0, 1, 0xFFFF, {{0xB300, 0x9FFF}, {0xBF00, 7}, {0xB700, 0xE9}, {0xBB00, 0x03}, {0xA700, 0}, {0xAB00, 0}, {0xAF00, 13}}, nullptr},
      {2, 400, 1000, 0, 0, 0xFFFF, {}, kTRIM},
      {2, 2000, 1000, 0, 0, 0xFFFF, {}, kTRIM},
  };
  // clang-format on
  std::vector<uint16_t> words = Image(16, 1);
  for (const DividerRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " steps " << r.steps);
    MBUN5_SetPlotHeightPI(r.plotHeight);
    MBU_BLOCK_INFO b = Block(words, 16, 16, r.zero, r.mode, r.steps);
    b.dwPlotHeightPixel = r.plotHeight + 1;
    ASSERT_TRUE(!r.result || MBUN5_WriteBlock(b) == 1);
    testsupport::ClearLastError();
    log.Clear();
    const uint16_t bank = g_pMBU->m_wExpectedBank;
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, static_cast<uint32_t>(MBUN5_TriggerBlock(b)));
    EXPECT_EQ(r.divider, g_pMBU->m_wSMDivider);
    const Writes all = Since(mark).AllWrites();  // a refused block: none at all
    EXPECT_EQ(r.writes, Writes(all.begin() + (r.result ? 1 : 0), all.end()));
    EXPECT_EQ(r.result ? 1 - bank : bank, g_pMBU->m_wExpectedBank);
    char failure[128] = "";
    if (r.failure) snprintf(failure, sizeof failure, r.failure, r.steps);
    EXPECT_EQ((r.failure ? Lines{failure, "CMBUCard: Fehler in CalcSMTeilerwert\n"} : Lines{}), log.Lines());
    EXPECT_EQ(r.failure ? (r.mode > 2 ? 2001 : 4004) : 0, testsupport::LastError().code);
  }
}

struct ExportRow {
  const char* name;
  std::function<void(sim::MbuModel&)> board;  // before the call, with emulation off
  int32_t emulation;
  std::function<int32_t()> call;
  int32_t result;
  Writes writes;
  std::vector<uint32_t> delays;
  Lines lines;  // the window's texts as the stand-in logs them
  int32_t error;
};

// The board's clock to where its zero-pulse counter shows n.
std::function<void(sim::MbuModel&)> DrumTurn(sim::Machine& machine, uint64_t n) {
  return [&machine, n](sim::MbuModel& m) {
    m.set_drum_turn_ns(1000000);
    machine.AdvanceNs(16000000 - machine.NowNs() % 16000000 + n * 1000000 + 500000);
  };
}

// Index then value for each modulation parameter, 10 us after each.
Writes AMU(uint16_t mode) {
  const uint16_t values[12] = {0, 0, 255, 1, 0, 0, 44 /* 300.7 */, 1, 255 /* -1 */, 0, 255, 1};
  Writes w;
  for (uint16_t i = 0; i < 12; ++i) w.insert(w.end(), {{0xB700, static_cast<uint16_t>(i | mode)}, {0xBB00, values[i]}});
  return w;
}

TEST_F(MbuTest, ExportsAgainstTheBoard) {
  HWCONFX_SetCustomValue("AMU_Channel_Middle_PowerMax", 300.7);
  HWCONFX_SetCustomValue("AMU_Channel_Contour_FirstStep", -1.0);
  const auto none = [](sim::MbuModel&) {};
  const auto card = [](uint32_t id) { return [id](sim::MbuModel& m) { m.set_jumper_id(id), MBUN5_InitPowerOn(); }; };
  const auto script = [](std::vector<bool> v, bool flap) {
    return [=](sim::MbuModel& m) { m.ScriptBit(1, v), m.set_bank_bit_flapping(flap); };
  };
  const auto zero = [](int32_t v) { return [v] { return MBUN5_SetNullverschiebungsWert(v); }; };
  const auto plot = [](uint32_t v) { return [v] { return MBUN5_SetPlotHeightPI(v); }; };
  static std::vector<uint16_t> words = Image(300, 3), back(300);
  static const MBU_CARD_INFO unread = {MBU_JUMPER_ID_UNREAD, 0, MBU_ADVANCE_UNDEFINED};
  const std::vector<uint32_t> d3 = {10, 10, 10}, window = {4000000};
  const char *kZero = "hwinfo32: MBU Card: zero rotation 256 is greater than 255 segments \n\n",
             *kPlot = "plot height 16777216 is greater than 65535 pixel \n";
  // clang-format off
  const ExportRow rows[] = {
      {"zero shift 0x10005", none, 0, zero(0x10005), 1, {{0xAB00, 5}}, {10000}, {}, 0},
      {"zero shift 256", none, 0, zero(256), 0, {}, window, {"CMBUCard::SetNullverschiebungsWert 256 greater then 255\n", kZero}, 2109},
      {"zero shift kept", none, 0, [] { return int32_t{g_pMBU->m_wNullverschiebung}; }, 5, {}, {}, {}, 0},
      {"plot height 0x1000000", none, 0, plot(0x1000000), 0, {}, window, {"CMBUCard::SetPlotHeightPI Pixelcounter 16777216 to great \n", kPlot, std::string("hwinfo32: ") + kPlot + "\n"}, 2109},
      {"plot height -1", card(5), 0, plot(0xFFFFFFFF), 0, {}, window, {"CMBUCard::SetPlotHeightPI Pixelcounter -1 to great \n", "plot height -1 is greater than 65535 pixel \n", "hwinfo32: plot height -1 is greater than 65535 pixel \n\n"}, 2109},
      {"plot height 0xFFFFFF", none, 0, plot(0xFFFFFF), 1, {{0xB700, 0xFF}, {0xBB00, 0xFF}, {0xA700, 0xFF}}, {10000}, {}, 0},
      {"plot height on a standard card", card(1), 0, plot(0x1000000), 1, {}, {}, {}, 0},
      {"plot height stored", none, 0, [] { return int32_t(g_pMBU->m_dwPlotHeightPixel == 0x1000000); }, 1, {}, {}, {}, 0},
      {"modulation, mode 7", none, 0, [] { return MBUN5_WriteAMUValues(7); }, 1, AMU(0x80), std::vector<uint32_t>(24, 10), {"CMBUCard::WriteAMUValues()  Mode 7 \n"}, 0},
      {"modulation, mode 0", none, 0, [] { return MBUN5_WriteAMUValues(0); }, 1, AMU(0), std::vector<uint32_t>(24, 10), {"CMBUCard::WriteAMUValues()  Mode 0 \n"}, 0},
      {"laser on", none, 0, [] { return MBUN5_SetLaserpulsExplizit(5); }, 1, {{0xAF00, 1}}, {}, {}, 0},
      {"turn-off blocked by the laser pulse", none, 0, MBUN5_IsTurnOffPossible, 0, {}, d3, {}, 0},
      {"laser off", none, 0, [] { return MBUN5_SetLaserpulsExplizit(0); }, 1, {{0xAF00, 3}}, {}, {}, 0},
      {"turn-off with bits 0, 1, 12-15", [](auto& m) { m.set_reset_occurred(true); }, 0, MBUN5_IsTurnOffPossible, 1, {}, d3, {}, 0},
      {"busy bit 3", [](auto& m) { m.set_stuck_busy(0x08); }, 0, MBUN5_IsTurnOffPossible, 0, {}, d3, {}, 0},
      {"busy bit 6", [](auto& m) { m.set_stuck_busy(0x40); }, 0, MBUN5_IsTurnOffPossible, 0, {}, d3, {}, 0},
      {"emulated: the last reading decides", [](auto& m) { m.set_stuck_busy(0); }, 1, MBUN5_IsTurnOffPossible, 0, {}, d3, {}, 0},
      {"soft reset", none, 0, MBUN5_TrigSoftReset, 1, {{0xAF00, 3}}, {}, {}, 0},
      {"bank set", none, 0, MBUN5_TrigBankSet, 1, {{0xAF00, 6}}, {}, {}, 0},
      {"test mode", none, 0, MBUN5_TrigTestMode, 1, {{0xAF00, 9}}, {}, {}, 0},
      {"reset occurred", [](auto& m) { m.set_reset_occurred(true); }, 0, MBUN5_IstResetAufgetreten, 1, {}, {}, {}, 0},
      {"no reset", [](auto& m) { m.set_reset_occurred(false); }, 0, MBUN5_IstResetAufgetreten, 0, {}, {}, {}, 0},
      {"PLL out of range", [](auto& m) { m.set_pll_in_range(false); }, 0, MBUN5_IsPLLInRange, 0, {}, {}, {}, 0},
      {"PLL emulated (2): not read", [](auto& m) { m.set_pll_in_range(true); }, 2, MBUN5_IsPLLInRange, 0, {}, {}, {}, 0},
      {"PLL in range", none, 0, MBUN5_IsPLLInRange, 1, {}, {}, {}, 0},
      {"zero pulses 7", DrumTurn(machine, 7), 0, MBUN5_GetNullimpulsZaehler, 7, {}, {}, {}, 0},
      {"zero pulses 8: only bit 11", DrumTurn(machine, 8), 0, MBUN5_GetNullimpulsZaehler, 0, {}, {}, {}, 0},
      {"bank: 4 readings", none, 0, MBUN5_GetAccessibleBank, 0, {}, d3, {}, 0},
      {"bank: a glitch", script({1}, false), 0, MBUN5_GetAccessibleBank, 0, {}, {10, 10, 10, 10}, {}, 0},
      {"bank: a later glitch", script({1, 1, 1, 0}, false), 0, MBUN5_GetAccessibleBank, 0, {}, std::vector<uint32_t>(6, 10), {}, 0},
      {"bank: 1 held", script({1, 1, 1, 1}, false), 0, MBUN5_WriteToBankPossible, 0, {}, d3, {}, 0},
      {"bank never settles", script({}, true), 0, MBUN5_GetAccessibleBank, MBU_BANK_UNSTABLE, {}, std::vector<uint32_t>(100, 10), {}, 0},
      {"memory: no buffer", script({}, false), 0, [] { return MBUN5_ReadMemory(nullptr, 4); }, 0, {}, {}, {"CMBUCard::ReadMemory no buffer for 4 words \n"}, 0},
      {"memory: no words", none, 0, [] { return MBUN5_WriteMemory(nullptr, 0) + MBUN5_ReadMemory(nullptr, 0); }, 2, {}, {}, {}, 0},
      {"memory emulated", none, 1, [] { return MBUN5_ReadMemory(back.data(), 300) + MBUN5_WriteMemory(nullptr, 4); }, 2, {}, {}, {}, 0},
      {"memory read back", none, 0, [] { int32_t n = MBUN5_WriteMemory(words.data(), 300); n += MBUN5_TrigBankSet(); return n + MBUN5_ReadMemory(back.data(), 300) + (back == words); }, 4, {{0xAF00, 6}}, {}, {}, 0},
      {"a block written and taken over", [](auto&) { MBUN5_WriteBlock(Block(words, 16, 4)), MBUN5_TriggerBlock(Block(words, 16, 4)); }, 0, [] { return MBUN5_GetAccessibleBank(); }, 1, {}, d3, {}, 0},
      {"status reads off (2): the bank wait gives up", none, 2, [] { MBUN5_InitAction(0, 0); return MBUN5_WriteBlock(Block(words, 16, 4)); }, 0, {{0xAF00, 3}}, d3, {"CMBUCard: bank 0 is not open to the PC and status reads are off (emulation 2): block not written\n"}, 0},
      {"direction 1 emulated", none, 1, [] { return MBUN5_SetSMDirection(1); }, 1, {}, {}, {}, 0},
      {"trigger emulated: one pass", none, 1, [] { return MBUN5_TriggerBlock(Block(words, 16, 4)); }, 1, {{0xB300, 0x81F3}, {0xAF00, 5}}, d3, {}, 0},
      {"direction 0", none, 0, [] { return MBUN5_SetSMDirection(0); }, 1, {{0xB300, 0x01F3}}, {1000, 1000}, {}, 0},
      {"direction count at deletion", none, 0, [] { return CARDN5_DeleteCardObjects(), 1; }, 1, {}, {}, {"CARDN532 MBU SetSMDirectionCnt 7 \n"}, 0},
      {"no board object: nothing touched", none, 0, [] { return MBUN5_InitAction(0, 0) + MBUN5_WriteToBankPossible(); }, 0, {}, {}, {}, 0},
      {"no board object: no card", none, 0, [] { return int32_t(MBUN5_GetCardInfo() == unread); }, 1, {}, {}, {}, 0},
      {"before power-on: no card", [](auto&) { CARDN5_CreateCardObjects(); }, 0, [] { return int32_t(MBUN5_GetCardInfo() == unread); }, 1, {}, {}, {}, 0},
      {"no direction set: no line at deletion", none, 0, [] { return CARDN5_DeleteCardObjects(), 1; }, 1, {}, {}, {}, 0},
  };
  // clang-format on
  for (const ExportRow& r : rows) {
    SCOPED_TRACE(r.name);
    r.board(*mbu);
    CARDN5_SetEmulation(r.emulation);
    testsupport::ClearLastError();
    HWINFOX_Clear();
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, r.call());
    EXPECT_EQ(r.writes, Since(mark).AllWrites());
    EXPECT_EQ(r.delays, Since(mark).Delays());
    EXPECT_EQ(r.lines, log.Lines());
    EXPECT_EQ(r.error, testsupport::LastError().code);
    int32_t code = 0;
    HWINFOX_GetCall(1, nullptr, nullptr, &code, nullptr, 0);
    EXPECT_EQ(r.error ? 3016 : 0, code);  // the text shown in the window, then closed
    EXPECT_EQ(r.error ? 4 : 0, HWINFOX_CallCount());
    CARDN5_SetEmulation(0);
  }
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

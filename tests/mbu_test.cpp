// The MBU against its simulated board: the card identity per jumper ID, the
// block checks and transfers, the bank waits, the dividers and trigger
// commands, the set-up exports and their emulation.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "board_test.h"
#include "errlog32.h"
#include "errlog32_ext.h"
#include "hwconf32_ext.h"
#include "hwinfo32_ext.h"
#include "mbu_model.h"

inline bool operator==(const MBU_CARD_INFO& a, const MBU_CARD_INFO& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

namespace {

// Words that differ from block to block and from word to word.
std::vector<uint16_t> Image(uint32_t words, uint16_t seed) {
  std::vector<uint16_t> v(words);
  for (uint32_t i = 0; i < words; ++i) v[i] = static_cast<uint16_t>(seed * 0x9E37u + i * 0x3Bu + (i >> 16));
  return v;
}

// A one-bit block of X x Y pixels over the words.
MBU_BLOCK_INFO Block(std::vector<uint16_t>& words, uint32_t x, uint32_t y, uint32_t zero = 0, uint32_t mode = 0,
                     uint32_t steps = 10) {
  return MBU_BLOCK_INFO{0, words.data(), x, y, 0, steps, 0, 0, zero, 0, mode, 0, 0};
}

// The register shadows live for the whole process: each test starts from
// those of a fresh load.
class MbuTest : public testsupport::RowsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    for (CPortRegister* r : std::vector<CPortRegister*>{&g_MBUStatus, &g_MBUDivider, &g_MBUAMUIndex}) r->SetValue(0);
    mbu = &machine.Add<sim::MbuModel>(3);
    ASSERT_EQ(1, MBUN5_InitPowerOn());
    ASSERT_EQ(1, MBUN5_InitAction(0, 0));
    Row();
  }
  void WriteAndTrigger(const MBU_BLOCK_INFO& b) {
    ASSERT_EQ(1, MBUN5_WriteBlock(b)) << log.Dump();
    ASSERT_EQ(1, MBUN5_TriggerBlock(b)) << log.Dump();
  }

  sim::MbuModel* mbu = nullptr;
};

// The jumper ID the board shows, the emulation flag, an error another board
// recorded earlier; the card record, its advance type's text, the result and
// the errors counted.
using IdentityRow = std::tuple<int32_t, int32_t, int32_t, MBU_CARD_INFO, const char*, int32_t, int32_t>;

TEST_F(MbuTest, PowerOnIdentifiesTheCardByItsJumperID) {
  const char *kStd = "standard advance ", *kTRIM = " 'TRIM' advance ", *kNone = "no advance type defined ";
  const uint32_t kUndef = MBU_ADVANCE_UNDEFINED;
  // Emulated (1): always ID 3; emulated (2): not read, the ID read before kept.
  const IdentityRow rows[] = {{0, 0, 0, {0, 0x800000, 0}, kStd, 1, 0},   {1, 0, 0, {1, 0x1000000, 0}, kStd, 1, 0},
                              {2, 0, 0, {2, 0x800000, 2}, kTRIM, 1, 0},  {3, 0, 0, {3, 0x1000000, 2}, kTRIM, 1, 0},
                              {4, 0, 0, {4, 0x800000, 0}, kStd, 1, 0},   {5, 0, 0, {5, 0x1000000, 2}, kTRIM, 1, 0},
                              {6, 0, 0, {6, 0x1000000, 2}, kTRIM, 1, 0}, {1, 2, 0, {6, 0x1000000, 2}, kTRIM, 1, 0},
                              {7, 0, 0, {7, 0, kUndef}, kNone, 0, 2},    {0, 1, 0, {3, 0x1000000, 2}, kTRIM, 1, 0},
                              {1, 0, 1, {1, 0x1000000, 0}, kStd, 0, 0}};
  for (const auto& [boardId, emulation, errorBefore, info, advance, result, errors] : rows) {
    mbu->set_jumper_id(static_cast<uint32_t>(boardId));
    CARDN5_SetEmulation(emulation);
    Row();
    if (errorBefore) ERRLOG_SetLastDebugError(2142, 0, "CIOD.cpp", 1);
    const std::string id = std::to_string(info.dwJumperID);
    Lines lines = {"CMBUCard::SetCardInfo \n", "CMBUCard::GetCardID  jumper ID is " + id + " \n",
                   "CMBUCard::SetCardInfo  jumper ID: " + id + " \n",
                   "CMBUCard::SetCardInfo  possible pixels: " + std::to_string(info.dwPossiblePixels) + " \n",
                   std::string("CMBUCard::SetCardInfo  advance type: ") + advance + " \n"};
    if (boardId == 7) lines.insert(lines.begin() + 2, "no valid card ID 7 \n");
    const int32_t code = errors ? 4830 : errorBefore ? 2142 : 0;
    // The CSI register is cleared even when emulated; only then the direction stays in the shadow.
    EXPECT_EQ((std::tuple{result, info, lines, errors + (errorBefore ? 1 : 0), code,
                          emulation ? Writes{{0x0302, 0}} : Writes{{0x0302, 0}, {0xB300, 0}}, emulation ? 0u : 2u}),
              (std::tuple{MBUN5_InitPowerOn(), MBUN5_GetCardInfo(), log.Lines(), ERRLOGX_ErrorCount(),
                          testsupport::LastError().code, Seen().AllWrites(), Seen().CountDelays(1000)}));
  }
  CARDN5_SetEmulation(0);
}

// The record's fields, the emulation flag, the words written when accepted
// or the log line of a refused block.
using BlockRow =
    std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, const char*>;

TEST_F(MbuTest, BlockChecksRefuseBeforeAnyPortAccess) {
  static std::vector<uint16_t> image = Image(0x100000, 7);
  const char* kTooLarge = "CMBUCard: dwBildBytezahl > MBU_MEMORY\n";
  // clang-format off
  const BlockRow rows[] = {
      {16, 1, 0, 0, 0, 0, 0, 1, nullptr},
      {24, 1, 0, 0, 0x180, 0, 0, 0, "CMBUCard: Pixelzahl X muss Modulo 16 sein \n"},  // the first check wins
      {4, 5, 0, 1, 0, 0, 0, 2, nullptr},
      {4, 5, 7, 0, 0, 0, 0, 3, nullptr},
      {4, 5, 7, 2, 0, 0, 0, 3, nullptr},
      {16, 0xC0000, 0, 0, 0, 0, 0, 0xC0000, nullptr},  // more than some cards hold: not checked here
      {16, 0x100000, 0, 0, 0, 0, 0, 0x100000, nullptr},
      {16, 0x100001, 0, 0, 0x180, 0, 0, 0, kTooLarge},
      {0x10000, 0x10000, 0, 0, 0, 0, 0, 0, kTooLarge},  // 2^32 pixels must not wrap to 0
      {4, 1, 0xFFFFFFFF, 0, 0, 0, 0, 0, kTooLarge},     // more words than a bank holds
      {16, 1, 0, 0, 0xFF00, 0, 0, 1, nullptr},
      {16, 1, 0, 0, 0x100, 1, 0, 1, nullptr},
      {16, 1, 0, 0, 0xFF01, 0, 0, 0, "CMBUCard: dwZeroVerschPixel = 65281 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0xFFFFFFFF, 1, 0, 0, "CMBUCard: dwZeroVerschPixel = -1 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0x180, 0, 0, 0, "CMBUCard: dwZeroVerschPixel 384 has at modulo 256 rest\n"},
      {16, 1, 0, 0, 0x1FE00, 2, 0, 1, nullptr},
      {16, 1, 0, 0, 0x200, 2, 0, 1, nullptr},
      {16, 1, 0, 0, 0x20000, 2, 0, 0, "CMBUCard: dwZeroVerschPixel = 131072 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0x100, 2, 0, 0, "CMBUCard: dwZeroVerschPixel 256 has at modulo 512 rest\n"},
      {32, 2, 0, 0, 0, 0, 1, 4, nullptr},  // emulated (= 1): no port, no wait
  };
  // clang-format on
  for (const auto& [x, y, byteCount, countFromPixels, zero, mode, emulation, words, refusal] : rows) {
    MBUN5_TrigSoftReset();
    CARDN5_SetEmulation(static_cast<int32_t>(emulation));
    Row();
    MBU_BLOCK_INFO b = Block(image, x, y, zero, mode);
    b.dwByteCount = byteCount;
    b.dwCountFromPixels = countFromPixels;
    const bool written = !refusal && !emulation;
    EXPECT_EQ((std::tuple{refusal ? 0 : 1, refusal ? Lines{refusal} : Lines{}, written ? 1u : 0u, written,
                          written ? words : 0, true}),
              (std::tuple{MBUN5_WriteBlock(b), log.Lines(), Seen().Count(sim::Access::BlockOut), Seen().size() > 0,
                          mbu->address_counter(),
                          std::equal(image.begin(), image.begin() + mbu->address_counter(), mbu->bank(0).begin())}));
  }
  CARDN5_SetEmulation(0);
}

// The bank comes when the block being engraved is done, however long that
// takes; an idle board that keeps offering the other bank is given up on.
TEST_F(MbuTest, BankWaitOutlastsABusyBoardAndGivesUpOnAnIdleOne) {
  machine.trace().SetEnabled(false);
  mbu->set_engrave_ns(5000000000ull);
  std::vector<uint16_t> w1 = Image(4, 1), w2 = Image(4, 2);
  WriteAndTrigger(Block(w1, 16, 4));
  mbu->set_bank_never_switches(true);
  WriteAndTrigger(Block(w2, 16, 4));  // taken as waiting, dropped when it should switch
  log.Clear();
  EXPECT_EQ(0, MBUN5_WriteBlock(Block(w1, 16, 4)));
  EXPECT_EQ(Lines{"CMBUCard: bank 0 is not open to the PC and the board is idle: block not written\n"}, log.Lines());
  EXPECT_GT(machine.NowNs(), mbu->blocks()[0].switchNs + 5000000000ull + 1500000000ull);
  EXPECT_EQ(4u, mbu->address_counter());  // block 2 is still all the PC bank holds
}

// Segments 0, 3, 3 again and again: commands 5, 12, 10, 5, ...
TEST_F(MbuTest, FiftyBlocksArriveIntactInAlternatingBanks) {
  const Lines reminders = {"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n"};
  EXPECT_EQ((std::pair{1, reminders}), (std::pair{MBUN5_GravurVorbereiten(), log.Lines()}));
  std::vector<std::vector<uint16_t>> images;
  Row();
  for (uint16_t i = 0; i < 50; ++i) {
    images.push_back(Image(4u * (1 + i * 7 % 40), i));
    WriteAndTrigger(Block(images.back(), 64, 1 + i * 7 % 40, i % 3 ? 0x300 : 0));
  }
  machine.AdvanceNs(10000000);
  ASSERT_EQ(50u, mbu->blocks().size());
  for (size_t i = 0; i < 50; ++i) {
    EXPECT_EQ(static_cast<int>(i % 2), mbu->blocks()[i].bank) << i;
    EXPECT_EQ(images[i], mbu->blocks()[i].words) << i;
    EXPECT_EQ(i % 3 == 0 ? 5 : i % 3 == 1 ? 12 : 10, mbu->blocks()[i].command) << i;
  }
  // The command alone tells the segment.
  EXPECT_EQ((std::pair{size_t{50}, Words{}}), (std::pair{Seen().Count(sim::Access::BlockOut), Seen().Writes(0xAB00)}));
}

// The plot height set before (the block carries one more); the divider
// field afterwards; the writes after the direction write up to the trigger
// command; the calculation's log line (error 2001 for a wrong mode, else 4004).
using DividerRow = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, Writes, const char*>;

TEST_F(MbuTest, DividersOfTheThreeAdvanceModesAndTheirTriggers) {
  // clang-format off
  const DividerRow rows[] = {
      {0, 1, 0, 0, 1, 4999, {{0xB300, 0x8000 | 4999}, {0xAF00, 5}}, nullptr},
      {0, 10, 0, 0, 1, 499, {{0xB300, 0x8000 | 499}, {0xAF00, 5}}, nullptr},
      {0, 81, 0, 0, 1, 61, {{0xB300, 0x8000 | 61}, {0xAF00, 5}}, nullptr},
      {5, 10, 0, 0, 0, 61, {}, "CMBUCard::CalcSMDivider wrong advance mode \n"},  // divider kept
      {0, 0, 0, 0, 1, 0x1FFF, {{0xB300, 0x9FFF}, {0xAF00, 5}}, nullptr},
      {0, 82, 0, 0, 0, 0x1FFF, {}, "CMBUCard::CalcSMDividerStandard 82 are more steps then possible 81 with this EPLD \n"},
      {1, 157, 0, 0, 1, 0x1FDA, {{0xB300, 0x9FDA}, {0xAF00, 5}}, nullptr},
      {1, 1000, 0, 0, 1, 0x0500, {{0xB300, 0x8500}, {0xAF00, 5}}, nullptr},
      {1, 1, 0, 0, 1, 0x08FF, {{0xB300, 0x88FF}, {0xAF00, 5}}, nullptr},  // 0x88FF keeps its low 13 bits
      {1, 0, 0, 0, 1, 0, {{0xB300, 0x8000}, {0xAF00, 5}}, nullptr},
      {2, 3, 1000, 0x400, 1, 0x014D, {{0xB300, 0x814D}, {0xBF00, 0}, {0xB700, 0xE9}, {0xBB00, 0x03}, {0xA700, 0}, {0xAB00, 2}, {0xAF00, 13}}, nullptr},
      {2, 2, 0x10000, 0, 1, 0x8000, {{0xB300, 0x8000}, {0xBF00, 4}, {0xB700, 1}, {0xBB00, 0}, {0xA700, 1}, {0xAB00, 0}, {0xAF00, 13}}, nullptr},
      {2, 0, 1000, 0, 1, 0xFFFF, {{0xB300, 0x9FFF}, {0xBF00, 7}, {0xB700, 0xE9}, {0xBB00, 0x03}, {0xA700, 0}, {0xAB00, 0}, {0xAF00, 13}}, nullptr},
      {2, 400, 1000, 0, 0, 0xFFFF, {}, "CMBUCard::CalcSMDividerTRIM %u are more steps then possible with this EPLD \n"},
  };
  // clang-format on
  std::vector<uint16_t> words = Image(16, 1);
  for (const auto& [mode, steps, plotHeight, zero, result, divider, writes, refusal] : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " steps " << steps);
    MBUN5_SetPlotHeightPI(plotHeight);
    MBU_BLOCK_INFO b = Block(words, 16, 16, zero, mode, steps);
    b.dwPlotHeightPixel = plotHeight + 1;
    ASSERT_TRUE(!result || MBUN5_WriteBlock(b) == 1);
    const uint16_t bank = g_pMBU->m_wExpectedBank;
    Row();
    const int32_t got = MBUN5_TriggerBlock(b);
    const Writes all = Seen().AllWrites();  // a refused block: none at all
    char failure[128] = "";
    if (refusal) snprintf(failure, sizeof failure, refusal, steps);
    EXPECT_EQ((std::tuple{result, divider, writes, result ? 1 - bank : bank,
                          refusal ? Lines{failure, "CMBUCard: Fehler in CalcSMTeilerwert\n"} : Lines{},
                          refusal ? (mode > 2 ? 2001 : 4004) : 0}),
              (std::tuple{static_cast<uint32_t>(got), uint32_t{g_pMBU->m_wSMDivider},
                          Writes(all.begin() + (result ? 1 : 0), all.end()), int{g_pMBU->m_wExpectedBank}, log.Lines(),
                          testsupport::LastError().code}));
  }
}

// The name; what the board is made to do before the call, with emulation
// off; the emulation flag; the call, its result, the writes and pauses; the
// lines (the window's texts as the stand-in logs them); the error recorded.
using ExportRow = std::tuple<const char*, std::function<void(sim::MbuModel&)>, int32_t, std::function<int32_t()>,
                             int32_t, Writes, std::vector<uint32_t>, Lines, int32_t>;

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
  for (const auto& [name, board, emulation, call, result, writes, delays, lines, error] : rows) {
    SCOPED_TRACE(name);
    board(*mbu);
    CARDN5_SetEmulation(emulation);
    HWINFOX_Clear();
    Row();
    const int32_t got = call();
    int32_t code = 0;  // the text shown in the window, then closed
    HWINFOX_GetCall(1, nullptr, nullptr, &code, nullptr, 0);
    EXPECT_EQ((std::tuple{result, writes, delays, lines, error, error ? 3016 : 0, error ? 4 : 0}),
              (std::tuple{got, Seen().AllWrites(), Seen().Delays(), log.Lines(), testsupport::LastError().code, code,
                          HWINFOX_CallCount()}));
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
    ASSERT_EQ(1, MBUN5_InitAction(0, 0));
    mbu->set_trigger_latency_ns(latencyUs * 1000);
    ASSERT_EQ(1, MBUN5_WriteBlock(b));
    log.Clear();
    const uint64_t reads = mbu->status_reads();
    const bool accepted = latencyUs < 33500000u;
    EXPECT_EQ((std::tuple{int32_t{accepted}, 1, 3}),
              (std::tuple{MBUN5_TriggerBlock(b), int{g_pMBU->m_wExpectedBank}, int{g_pMBU->m_wLastZeroSegment}}));
    if (accepted) continue;
    const Lines refused = {
        "CMBUCard::WaitForTrigAccepted()  trigger is not accepted on the MBU card and bank has not switched \n"};
    EXPECT_EQ((std::tuple{uint64_t{8u + 7u * 499999u}, refused, 4694}),
              (std::tuple{mbu->status_reads() - reads, log.Lines(), testsupport::LastError().code}));
  }
}

}  // namespace

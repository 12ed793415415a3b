// Colour scanner electronics against the simulated scanner front end.
#include <array>

#include "board_test.h"
#include "cse_model.h"

namespace {

using sim::CseModel;
constexpr uint16_t kHandshake = cse::kHandshakePort;
constexpr uint16_t kControl = cse::kControlPort;

// A configuring call's writes: five start requests, its own writes, five
// stop requests; the handshake word as it was before and after the call.
Writes Wrapped(uint16_t port, const Words& values, uint16_t before, uint16_t after) {
  Writes w(5, {kHandshake, before & ~0x100});
  for (uint16_t v : values) w.emplace_back(port, v);
  w.insert(w.end(), 5, {kHandshake, after | 0x100});
  return w;
}

// The front end on the machine, the board powered on in scan mode 1.
class CseTest : public testsupport::RowsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    cse = &machine.Add<CseModel>();
    ASSERT_EQ(1, CSEN5_InitPowerOn());
    ASSERT_EQ(1, CSEN5_SetScanmode(1, 0, 0));
    Row();
  }
  std::vector<int> Gains() const { return {cse->gain(0), cse->gain(1), cse->gain(2)}; }
  CseModel* cse = nullptr;
};

// One access a microsecond: a round is a busy poll, a poll before each of
// the five request writes, the writes and the acknowledge (12 us with the
// busy line quiet). The one stuck-busy case runs every wait to its bound.
TEST_F(CseTest, HandshakeRoundsAndWaitsEndAtTheirBounds) {
  machine.trace().SetEnabled(false);
  // acknowledge after ns, busy stuck, us taken
  const uint64_t rows[][3] = {
      {5000, 0, 12}, {30000, 0, 3 * 12}, {CseModel::kNever, 0, 10 * 12}, {5000, 1, 100 + 5 * 20000 + 5 + 1}};
  for (const auto& r : rows) {
    cse->set_ack_delay_ns(r[0]);
    cse->set_busy(r[1] ? CseModel::Busy::kStuck : CseModel::Busy::kNever);
    const uint64_t t0 = machine.NowNs();
    EXPECT_EQ((std::tuple{1, r[2], r[0] != CseModel::kNever}),
              (std::tuple{CSEN5_StartScanSequence(), (machine.NowNs() - t0) / 1000, cse->started()}));
    cse->set_ack_delay_ns(5000);
    cse->set_busy(CseModel::Busy::kNever);
    EXPECT_EQ((std::pair{1, false}), (std::pair{CSEN5_StopScanSequence(), cse->started()}));
  }
  EXPECT_EQ(4, log.Count("SetScanmode must be already done \n"));
}

TEST_F(CseTest, ScanmodeSetsControlBitsAndTargetsAndLogsIllegalValues) {
  const Words kStandard = {2, 2, 2, 251, 251, 251}, kSeparator = {5, 5, 5, 218, 231, 242};
  // mode, light source, separator; the control words, the log line, the targets
  const std::tuple<uint32_t, uint32_t, uint32_t, Words, const char*, const Words&> rows[] = {
      {0, 0, 0, {0x8030, 0x8000}, nullptr, kStandard},
      {1, 1, 1, {0x8032, 0x0002}, nullptr, kSeparator},
      {2, 0, 1, {0x8030, 0x0010}, nullptr, kStandard},
      {3, 1, 0, {0x8032, 0x0002}, nullptr, kStandard},
      {4, 0, 0, {0x8030}, "Illegal Scanmode 4 in CCSECard::SetScanmode()\n", kStandard},
      {1, 2, 1, {0x0002}, "Illegal Lightsource 2 in CCSECard::SetScanmode()\n", kSeparator},
      {0, 0, 2, {0x8030, 0x8000}, "Illegal Seperatortype 2 in CCSECard::SetScanmode()\n", kSeparator},
      {0x10002, 0x10001, 0x10000, {0x8032, 0x0012}, nullptr, kStandard},
  };
  for (const auto& [mode, light, separator, control, line, targets] : rows) {
    g_CSEControl.SetValue(0x8032);
    Row();
    EXPECT_EQ((std::tuple{1, Wrapped(kControl, control, 0x1000, 0x1000), line ? Lines{line} : Lines{}, targets}),
              (std::tuple{CSEN5_SetScanmode(mode, light, separator), Seen().AllWrites(), log.Lines(),
                          Words{g_pCSE->m_wRedBlack, g_pCSE->m_wGreenBlack, g_pCSE->m_wBlueBlack, g_pCSE->m_wRedWhite,
                                g_pCSE->m_wGreenWhite, g_pCSE->m_wBlueWhite}}));
  }
}

// Black alignment, the same emulated, white alignment, and a dead channel's
// black alignment.
TEST_F(CseTest, AlignmentsConvergeOnTheFrontEndAndADeadChannelLeavesTheGains) {
  CSEN5_TurnXenonOn(1);
  Row();
  const Lines black = {"Rotoffset  : 144  Rotwert  : 2 \n", "Gruenoffset: 138  Gruenwert: 2 \n",
                       "Blauoffset : 150  Blauwert : 2 \n"};
  // 1 ms after each of the 145 + 139 + 151 settings, 80 us after each reading
  EXPECT_EQ((std::tuple{1, black, std::vector<int>{100, 100, 100}, false, size_t{435}, size_t{20 * 435}}),
            (std::tuple{CSEN5_DoSchwarzAbgleich(1), log.Lines(), Gains(), cse->started(), Seen().CountDelays(1000),
                        Seen().CountDelays(80)}));

  // Emulated: no handshake, reading or pause; the held reading (2, 2, 2)
  // meets each target at once: the preset, then one setting a colour.
  CARDN5_SetEmulation(2);
  Row();
  CSEN5_DoSchwarzAbgleich(1);
  const Lines held = {"Rotoffset  : 0  Rotwert  : 2 \n", "Gruenoffset: 0  Gruenwert: 2 \n",
                      "Blauoffset : 0  Blauwert : 2 \n"};
  EXPECT_EQ((std::tuple{size_t{8}, Words{100, 0}, held}),
            (std::tuple{Seen().size(), Seen().Writes(cse::kRedDACPort), log.Lines()}));
  CARDN5_SetEmulation(0);

  cse->set_under(CseModel::Under::kWhiteReference);
  Row();
  const Lines white = {"Rotgain  : 99   Rotwert  : 251 \n", "Gruengain: 91   Gruenwert: 252 \n",
                       "Blaugain : 109   Blauwert : 252 \n"};
  // only red pauses, after each of its 100 settings
  EXPECT_EQ((std::tuple{1, white, false, size_t{100}, size_t{20 * (100 + 92 + 110)}}),
            (std::tuple{CSEN5_DoWeissAbgleich(), log.Lines(), cse->started(), Seen().CountDelays(1000),
                        Seen().CountDelays(80)}));

  // Green never reaches its target: no line, 255 left; no preset (only 1
  // presets), the gains stay.
  cse->set_dead_channel(CseModel::kGreen);
  cse->set_under(CseModel::Under::kBlackReference);
  log.Clear();
  CSEN5_DoSchwarzAbgleich(2);
  EXPECT_EQ((std::tuple{Lines{black[0], black[2]}, std::vector<int>{144, 255, 150}, std::vector<int>{99, 91, 109}}),
            (std::tuple{log.Lines(), std::vector<int>{cse->offset(0), cse->offset(1), cse->offset(2)}, Gains()}));
}

TEST_F(CseTest, ReadingsPackTheLastRoundAndAreHeldWhileEmulated) {
  cse->set_busy(CseModel::Busy::kNever);
  cse->set_noise(11, 3);
  std::vector<bool> everyRound;
  for (int i = 0; i < 10; ++i) everyRound.insert(everyRound.end(), {false, true});
  const std::tuple<std::vector<bool>, uint64_t, uint64_t> rows[] = {
      {{}, 1, 2}, {{false, true}, 2, 4}, {everyRound, 10, 20}, {std::vector<bool>(20000, true), 1, 20001}};
  uint32_t rgb = 0;
  for (const auto& [busy, pairs, handshakeReads] : rows) {
    cse->ScriptBusy(busy);
    rgb = 0xFFFFFFFF;
    Row();
    EXPECT_EQ((std::tuple{1, pairs, handshakeReads}),
              (std::tuple{CSEN5_GetRGBValue(&rgb), Seen().ReadCount(cse::kBluePort), Seen().ReadCount(kHandshake)}));
    const sim::Rgb last = cse->last_reading();
    EXPECT_EQ(last[0] | last[1] << 8 | last[2] << 16, static_cast<int>(rgb));
  }
  const uint32_t held = rgb;
  CARDN5_SetEmulation(1);
  Row();
  EXPECT_EQ((std::tuple{1, held, 0, size_t{0}, Lines{"CCSECard::GetRGBValue: no result address \n"}}),
            (std::tuple{CSEN5_GetRGBValue(&rgb), rgb, CSEN5_GetRGBValue(nullptr), Seen().size(), log.Lines()}));
  CARDN5_SetEmulation(0);
}

TEST_F(CseTest, RowsConvertTheCountByModePauseAndPassTheResultOn) {
  cse->set_row_result(0x4321);
  // mode, count, pause; the count the board is given, the two flags
  const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t> rows[] = {
      {0, 17, 1, 2, 0, 1},  {0, 16, 0, 1, 0, 1},  {0, 0xFFFFFFFF, 0, 0x10000000, 0, 1},
      {1, 17, 0, 17, 0, 0}, {2, 17, 7, 17, 0, 0}, {3, 5, 0, 5, 1, 0},
      {5, 17, 1, 0, 0, 0}};  // an illegal mode: no row
  for (const auto& [mode, count, pause, polledCount, flagA, flagB] : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << mode << " count " << count);
    CSEN5_SetScanmode(mode, 0, 0);
    CSEN5_StartScanSequence();
    const size_t rowsBefore = cse->rows().size();
    const bool polled = mode <= 3;
    Row();
    EXPECT_EQ((std::tuple{polled ? 0x4321 : 1, 1u + polled + (pause != 0), pause ? 1u : 0u}),
              (std::tuple{CSEN5_ScanOneRow(9, count, pause, 4, 5), Seen().size(), Seen().CountDelays(1000)}));
    ASSERT_EQ(rowsBefore + polled, cse->rows().size());
    const std::array<uint32_t, 7> args = {9, polledCount, pause, 4, 5, flagA, flagB};
    EXPECT_TRUE(!polled || args == cse->rows().back().args);
    CSEN5_StopScanSequence();
  }
  Row();
  EXPECT_EQ((std::pair{1, size_t{0}}), (std::pair{CSEN5_ScanOneRow(9, 0, 1, 4, 5), Seen().size()}));

  // A board that never had a scan mode refuses the row.
  CARDN5_DeleteCardObjects();
  CARDN5_CreateCardObjects();
  Row();
  EXPECT_EQ((std::tuple{0, size_t{0}, Lines{"CCSECard::ScanOneRow: no SetScanmode before the row \n"}}),
            (std::tuple{CSEN5_ScanOneRow(9, 17, 1, 4, 5), Seen().size(), log.Lines()}));
}

TEST_F(CseTest, XenonAndQueriesUnderEachEmulationFlag) {
  CSEN5_TurnXenonOn(1);
  cse->set_colorselect(true);
  // Flag 1 answers three queries without the board; the ready line and,
  // for flag 2, every line are read (the port library's emulation reads 0).
  // Lamp, colour select, alignment valid, ready; reads of status, handshake.
  const std::tuple<int32_t, std::vector<int32_t>, uint64_t, uint64_t, uint64_t> rows[] = {
      {0, {1, 1, 0, 1}, 2, 2, 10}, {1, {1, 0, 1, 0}, 1, 0, 0}, {2, {0, 1, 1, 0}, 2, 2, 0}};
  for (const auto& [flag, answers, statusReads, handshakeReads, handshakeWrites] : rows) {
    SCOPED_TRACE(flag);
    CARDN5_SetEmulation(flag);
    Row();
    EXPECT_EQ(answers, (std::vector<int32_t>{CSEN5_IsXenonOn(), CSEN5_GetColorselect(), CSEN5_GetBWAlignementValid(),
                                             CSEN5_GetDeviceReady()}));
    EXPECT_EQ((std::pair{statusReads, handshakeReads}),
              (std::pair{Seen().ReadCount(cse::kStatusPort), Seen().ReadCount(kHandshake)}));
    // the pulses lose their pause, the row keeps all of its steps
    Row();
    EXPECT_EQ((std::tuple{1, 1, Words{0x0080, 0x0000, 0x0008, 0x0000}, flag ? 0u : 2u,
                          Lines{"Xenon stopped\n", "Xenon started\n"}}),
              (std::tuple{CSEN5_TurnXenonOn(0), CSEN5_TurnXenonOn(1), Seen().Writes(kControl),
                          Seen().CountDelays(200000), log.Lines()}));
    Row();
    CSEN5_StartScanSequence();
    EXPECT_EQ(1, CSEN5_ScanOneRow(1, 17, 1, 0, 0));
    CSEN5_StopScanSequence();
    EXPECT_EQ((std::tuple{handshakeWrites, 1u, 1u}),
              (std::tuple{Seen().Writes(kHandshake).size(), Seen().Count(sim::Access::PollVorschub),
                          Seen().CountDelays(1000)}));
  }
  CARDN5_SetEmulation(0);
}

TEST_F(CseTest, StatusAndLineworkAreWrittenInsideAHandshakeAndKeptByLaterOnes) {
  // SetSWStatus (0) or SetLinework (1), its argument, the word after it
  const uint32_t rows[][3] = {{0, 1, 0x1200}, {0, 0, 0x1000}, {0, 2, 0x1400},       {1, 0, 0x1C00},
                              {0, 4, 0x1C00}, {1, 7, 0x1400}, {0, 0x10003, 0x1600}, {1, 0, 0x1E00}};
  uint16_t before = 0x1000;
  for (const auto& r : rows) {
    Row();
    EXPECT_EQ(1, r[0] ? CSEN5_SetLinework(static_cast<int32_t>(r[1])) : CSEN5_SetSWStatus(r[1]));
    EXPECT_EQ(Wrapped(kHandshake, {static_cast<uint16_t>(r[2])}, before, static_cast<uint16_t>(r[2])),
              Seen().AllWrites());
    before = static_cast<uint16_t>(r[2]);
  }
  Row();
  CSEN5_StartScanSequence();
  CSEN5_StopScanSequence();
  EXPECT_EQ(Wrapped(kHandshake, {}, 0x1E00, 0x1E00), Seen().AllWrites());
  // power-on clears them: control 0, the start request, then the stop handshake
  Row();
  CSEN5_InitPowerOn();
  Writes want = {{kControl, 0}, {kHandshake, 0x1000}};
  want.insert(want.end(), 5, {kHandshake, 0x1100});
  EXPECT_EQ(want, Seen().AllWrites());
}

}  // namespace

// Colour scanner electronics against the simulated scanner front end.
#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "cardN5.h"
#include "cse_model.h"
#include "test_support.h"

namespace {

using sim::Access;
using sim::CseModel;
using Busy = CseModel::Busy;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;
using Lines = std::vector<std::string>;
using Settings = std::vector<int>;
constexpr uint16_t kHandshake = cse::kHandshakePort;
constexpr uint16_t kControl = cse::kControlPort;

// A configuring call's writes: five start requests, its own writes, five
// stop requests; the handshake word as it was before and after the call.
Writes Wrapped(uint16_t port, const std::vector<uint16_t>& values, uint16_t before, uint16_t after) {
  Writes w(5, {kHandshake, before & ~0x100});
  for (uint16_t v : values) w.emplace_back(port, v);
  w.insert(w.end(), 5, {kHandshake, after | 0x100});
  return w;
}

// Boards created, the front end on the machine, the board powered on with
// scan mode 1; trace and log cleared.
class CseTest : public testsupport::BoardsTest {
 protected:
  void SetUp() override {
    BoardsTest::SetUp();
    cse = &machine.Add<CseModel>();
    ASSERT_EQ(1, CSEN5_InitPowerOn());
    ASSERT_EQ(1, CSEN5_SetScanmode(1, 0, 0));
    machine.trace().Clear();
    log.Clear();
  }
  sim::TraceView Since(size_t mark) { return machine.trace().Since(mark); }
  Settings Offsets() { return {cse->offset(0), cse->offset(1), cse->offset(2)}; }
  Settings Gains() { return {cse->gain(0), cse->gain(1), cse->gain(2)}; }
  CseModel* cse = nullptr;
};

TEST_F(CseTest, HandshakeRepeatsItsRequestEachRoundUntilAcknowledged) {
  cse->set_busy(Busy::kNever);
  size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, CSEN5_InitPowerOn());
  Writes want = {{kControl, 0}, {kHandshake, 0x1000}};
  want.insert(want.end(), 5, {kHandshake, 0x1100});
  EXPECT_EQ(want, Since(mark).AllWrites());
  const struct {
    const char* name;
    uint64_t ackNs;
    bool never;
    size_t rounds;
  } rows[] = {{"healthy", CseModel::kAckDelayNs, false, 1}, {"slow", 30000, false, 3}, {"no ack", 5000, true, 10}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    cse->set_ack_delay_ns(r.ackNs);
    cse->set_ack_never(r.never);
    mark = machine.trace().Mark();
    EXPECT_EQ(1, CSEN5_StartScanSequence());
    EXPECT_EQ(std::vector<uint16_t>(5 * r.rounds, 0x1000), Since(mark).Writes(kHandshake));
    // a round: a busy poll, one before each of the five writes, the acknowledge
    EXPECT_EQ(7 * r.rounds, Since(mark).ReadCount(kHandshake));
    EXPECT_EQ(!r.never, cse->started());
    cse->set_ack_never(false);
    EXPECT_EQ(1, CSEN5_StopScanSequence());
    EXPECT_FALSE(cse->started());
  }
  EXPECT_EQ(3, log.Count("SetScanmode must be already done \n"));
}

// The one stuck-busy case: each wait ends at exactly its bound, and the
// acknowledge still ends the handshake after one round.
TEST_F(CseTest, StuckBusyEndsEveryWaitAtItsBound) {
  cse->set_busy(Busy::kStuck);
  machine.trace().SetEnabled(false);
  const uint64_t t0 = machine.NowNs();
  EXPECT_EQ(1, CSEN5_StartScanSequence());
  // one access a microsecond: 100 + 5 x 20,000 polls, the acknowledge, 5 writes
  EXPECT_EQ(100u + 100000u + 1u + 5u, (machine.NowNs() - t0) / 1000);
  EXPECT_TRUE(cse->started());
}

TEST_F(CseTest, ScanmodeSetsControlBitsAndTargetsAndLogsIllegalValues) {
  const std::vector<uint16_t> kStandard = {2, 2, 2, 251, 251, 251}, kSeparator = {5, 5, 5, 218, 231, 242};
  const struct {
    uint32_t mode, light, separator;
    std::vector<uint16_t> control;
    const char* line;
    const std::vector<uint16_t>& targets;
  } rows[] = {
      {0, 0, 0, {0x8030, 0x8000}, nullptr, kStandard},
      {1, 1, 1, {0x8032, 0x0002}, nullptr, kSeparator},
      {2, 0, 1, {0x8030, 0x0010}, nullptr, kStandard},
      {3, 1, 0, {0x8032, 0x0002}, nullptr, kStandard},
      {5, 0, 0, {0x8030}, "Illegal Scanmode 5 in CCSECard::SetScanmode()\n", kStandard},
      {1, 2, 1, {0x0002}, "Illegal Lightsource 2 in CCSECard::SetScanmode()\n", kSeparator},
      {0, 0, 7, {0x8030, 0x8000}, "Illegal Seperatortype 7 in CCSECard::SetScanmode()\n", kSeparator},
      {0x10002, 0x10001, 0x10000, {0x8032, 0x0012}, nullptr, kStandard},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.mode << " " << r.light << " " << r.separator);
    g_CSEControl.SetValue(0x8032);
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, CSEN5_SetScanmode(r.mode, r.light, r.separator));
    EXPECT_EQ(Wrapped(kControl, r.control, 0x1000, 0x1000), Since(mark).AllWrites());
    EXPECT_EQ(r.line ? Lines{r.line} : Lines{}, log.Lines());
    EXPECT_EQ(r.targets, (std::vector<uint16_t>{g_pCSE->m_wRedBlack, g_pCSE->m_wGreenBlack, g_pCSE->m_wBlueBlack,
                                                g_pCSE->m_wRedWhite, g_pCSE->m_wGreenWhite, g_pCSE->m_wBlueWhite}));
  }
}

// Black, then white alignment on the references, each also emulated; then
// a picture of both references scanned at the targets.
TEST_F(CseTest, AlignmentsConvergeOnTheFrontEndAndHoldTheirReadingWhileEmulated) {
  CSEN5_TurnXenonOn(1);
  size_t mark = machine.trace().Mark();
  log.Clear();
  EXPECT_EQ(1, CSEN5_DoSchwarzAbgleich(1));
  EXPECT_EQ((Lines{"Rotoffset  : 144  Rotwert  : 2 \n", "Gruenoffset: 138  Gruenwert: 2 \n",
                   "Blauoffset : 150  Blauwert : 2 \n"}),
            log.Lines());
  EXPECT_EQ((Settings{144, 138, 150}), Offsets());
  EXPECT_EQ((Settings{100, 100, 100}), Gains());
  // 1 ms after each of the 145 + 139 + 151 settings, 80 us after each reading
  EXPECT_EQ(435u, Since(mark).CountDelays(1000));
  EXPECT_EQ(20u * 435, Since(mark).CountDelays(80));

  // The held reading (2, 2, 2) meets every black target at once and no white one.
  CARDN5_SetEmulation(1);
  mark = machine.trace().Mark();
  log.Clear();
  CSEN5_DoSchwarzAbgleich(1);
  const Writes preset = {{kControl, 0x0000}, {0x2B00, 100}, {0x2700, 100}, {0x2300, 100}};
  Writes offsets = {{kControl, 0x0004}, {0x2B00, 0}, {0x2700, 0}, {0x2300, 0}};
  Writes want = preset;
  want.insert(want.end(), offsets.begin(), offsets.end());
  EXPECT_EQ(want, Since(mark).AllWrites());
  mark = machine.trace().Mark();
  CSEN5_DoSchwarzAbgleich(2);  // no preset
  EXPECT_EQ(offsets, Since(mark).AllWrites());
  CSEN5_DoWeissAbgleich();
  EXPECT_EQ(1u + 3 * 256u, Since(mark).AllWrites().size() - offsets.size());
  EXPECT_EQ(2 * 3, log.Count("Rotoffset  : 0  Rotwert  : 2 \n") + log.Count("Gruenoffset: 0  Gruenwert: 2 \n") +
                       log.Count("Blauoffset : 0  Blauwert : 2 \n"));
  EXPECT_EQ(6u, log.Lines().size());
  CARDN5_SetEmulation(0);

  cse->set_under(CseModel::Under::kWhiteReference);
  mark = machine.trace().Mark();
  log.Clear();
  EXPECT_EQ(1, CSEN5_DoWeissAbgleich());
  EXPECT_EQ((Lines{"Rotgain  : 99   Rotwert  : 251 \n", "Gruengain: 91   Gruenwert: 252 \n",
                   "Blaugain : 109   Blauwert : 252 \n"}),
            log.Lines());
  EXPECT_EQ((Settings{99, 91, 109}), Gains());
  EXPECT_EQ((Settings{144, 138, 150}), Offsets());
  // only red pauses, after each of its 100 settings
  EXPECT_EQ(100u, Since(mark).CountDelays(1000));
  EXPECT_EQ(20u * (100 + 92 + 110), Since(mark).CountDelays(80));

  CARDN5_SetEmulation(2);
  mark = machine.trace().Mark();
  log.Clear();
  CSEN5_DoWeissAbgleich();
  EXPECT_EQ((Lines{"Rotgain  : 0   Rotwert  : 251 \n", "Gruengain: 0   Gruenwert: 252 \n",
                   "Blaugain : 0   Blauwert : 252 \n"}),
            log.Lines());
  EXPECT_TRUE(Since(mark).Delays().empty());
  EXPECT_EQ(0u, Since(mark).Count(Access::In));
  CARDN5_SetEmulation(0);

  // stripes of 8 pixels: white reference, black reference
  cse->set_picture(
      [](uint32_t x, uint32_t) { return (x / 8) % 2 ? CseModel::kBlackReference : CseModel::kWhiteReference; });
  CSEN5_SetScanmode(0, 0, 0);
  CSEN5_StartScanSequence();
  EXPECT_EQ(1, CSEN5_ScanOneRow(3, 64, 0, 0, 0));
  CSEN5_StopScanSequence();
  const std::vector<sim::Rgb> pixels = cse->rows().back().pixels;
  ASSERT_EQ(64u, pixels.size());
  for (size_t i = 0; i < pixels.size(); ++i)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR((i / 8) % 2 ? 2 : 251, pixels[i][c], 2) << i << " " << c;
}

TEST_F(CseTest, AColourThatNeverReachesItsTargetKeeps255AndLogsNothing) {
  CSEN5_TurnXenonOn(1);
  cse->set_dead_channel(CseModel::kGreen);
  log.Clear();
  CSEN5_DoSchwarzAbgleich(1);
  cse->set_under(CseModel::Under::kWhiteReference);
  CSEN5_DoWeissAbgleich();
  EXPECT_EQ((Lines{"Rotoffset  : 144  Rotwert  : 2 \n", "Blauoffset : 150  Blauwert : 2 \n",
                   "Rotgain  : 99   Rotwert  : 251 \n", "Blaugain : 109   Blauwert : 252 \n"}),
            log.Lines());
  EXPECT_EQ((Settings{144, 255, 150}), Offsets());
  EXPECT_EQ((Settings{99, 255, 109}), Gains());
}

TEST_F(CseTest, ReadingsPackTheLastRoundAndAreHeldWhileEmulated) {
  cse->set_busy(Busy::kNever);
  cse->set_noise(11, 3);
  std::vector<bool> everyRound;
  for (int i = 0; i < 10; ++i) everyRound.insert(everyRound.end(), {false, true});
  const struct {
    const char* name;
    std::vector<bool> busy;
    uint64_t pairs, handshakeReads;
  } rows[] = {
      {"steady", {}, 1, 2},
      {"a conversion during the reading", {false, true}, 2, 4},
      {"a conversion in every round", everyRound, 10, 20},
      {"busy to the wait's bound", std::vector<bool>(20000, true), 1, 20001},
  };
  uint32_t rgb = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    cse->ScriptBusy(r.busy);
    rgb = 0xFFFFFFFF;
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, CSEN5_GetRGBValue(&rgb));
    const sim::Rgb last = cse->last_reading();
    EXPECT_EQ(last[0] | last[1] << 8 | last[2] << 16, static_cast<int>(rgb));
    EXPECT_EQ(r.pairs, Since(mark).ReadCount(cse::kRedGreenPort));
    EXPECT_EQ(r.pairs, Since(mark).ReadCount(cse::kBluePort));
    EXPECT_EQ(r.handshakeReads, Since(mark).ReadCount(kHandshake));
  }
  const uint32_t held = rgb;
  for (int32_t flag : {1, 2}) {
    CARDN5_SetEmulation(flag);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, CSEN5_GetRGBValue(&rgb));
    EXPECT_EQ(held, rgb);
    EXPECT_EQ(0u, Since(mark).size());
  }
  CARDN5_SetEmulation(0);
  const size_t mark = machine.trace().Mark();
  log.Clear();
  EXPECT_EQ(0, CSEN5_GetRGBValue(nullptr));
  EXPECT_EQ(0u, Since(mark).size());
  EXPECT_EQ(Lines{"CCSECard::GetRGBValue: no result address \n"}, log.Lines());
}

TEST_F(CseTest, RowsConvertTheCountByModePauseAndPassTheResultOn) {
  cse->set_row_result(0x4321);
  const struct {
    uint32_t mode, count, pause;
    bool polled;
    uint32_t polledCount, flagA, flagB;
  } rows[] = {
      {0, 17, 1, true, 2, 0, 1},  {0, 16, 0, true, 1, 0, 1},  {0, 0xFFFFFFFF, 0, true, 0x10000000, 0, 1},
      {1, 17, 0, true, 17, 0, 0}, {2, 17, 7, true, 17, 0, 0}, {3, 5, 0, true, 5, 1, 0},
      {5, 17, 1, false, 0, 0, 0},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << r.mode << " count " << r.count);
    CSEN5_SetScanmode(r.mode, 0, 0);
    CSEN5_StartScanSequence();
    const size_t rowsBefore = cse->rows().size();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.polled ? 0x4321 : 1, CSEN5_ScanOneRow(9, r.count, r.pause, 4, 5));
    std::vector<Access> kinds;
    for (const sim::TraceEntry& e : Since(mark)) kinds.push_back(e.kind);
    std::vector<Access> want = {Access::Out};
    if (r.polled) want.push_back(Access::PollVorschub);
    if (r.pause) want.push_back(Access::Delay);
    EXPECT_EQ(want, kinds);
    EXPECT_EQ(std::vector<uint16_t>{g_CSEControl.GetValue()}, Since(mark).Writes(kControl));
    EXPECT_EQ(r.pause ? 1u : 0u, Since(mark).CountDelays(1000));
    ASSERT_EQ(rowsBefore + r.polled, cse->rows().size());
    if (r.polled) {
      EXPECT_EQ((std::array<uint32_t, 7>{9, r.polledCount, r.pause, 4, 5, r.flagA, r.flagB}), cse->rows().back().args);
    }
    CSEN5_StopScanSequence();
  }
  size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, CSEN5_ScanOneRow(9, 0, 1, 4, 5));
  EXPECT_EQ(0u, Since(mark).size());

  // A board that never had a scan mode refuses the row.
  CARDN5_DeleteCardObjects();
  CARDN5_CreateCardObjects();
  mark = machine.trace().Mark();
  log.Clear();
  EXPECT_EQ(0, CSEN5_ScanOneRow(9, 17, 1, 4, 5));
  EXPECT_EQ(0u, Since(mark).size());
  EXPECT_EQ(Lines{"CCSECard::ScanOneRow: no SetScanmode before the row \n"}, log.Lines());
}

TEST_F(CseTest, XenonAndQueriesUnderEachEmulationFlag) {
  size_t mark = machine.trace().Mark();
  EXPECT_EQ(1, CSEN5_TurnXenonOn(1));
  EXPECT_EQ((std::vector<uint16_t>{0x0008, 0x0000}), Since(mark).Writes(kControl));
  EXPECT_EQ(std::vector<uint32_t>{200000}, Since(mark).Delays());
  EXPECT_TRUE(cse->lamp_on());
  cse->set_colorselect(true);
  const struct {
    int32_t flag, xenon, colorselect, valid, ready;
    uint64_t statusReads, handshakeReads, handshakeWrites;
  } rows[] = {
      {0, 1, 1, 0, 1, 2, 2, 10},
      {1, 1, 0, 1, 0, 1, 0, 0},  // answered without the board, but the ready line is read
      {2, 0, 1, 1, 0, 2, 2, 0},  // read, as the port library's emulation answers (0)
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.flag);
    CARDN5_SetEmulation(r.flag);
    log.Clear();
    mark = machine.trace().Mark();
    EXPECT_EQ(r.xenon, CSEN5_IsXenonOn());
    EXPECT_EQ(r.colorselect, CSEN5_GetColorselect());
    EXPECT_EQ(r.valid, CSEN5_GetBWAlignementValid());
    EXPECT_EQ(r.ready, CSEN5_GetDeviceReady());
    EXPECT_EQ(r.statusReads, Since(mark).ReadCount(cse::kStatusPort));
    EXPECT_EQ(r.handshakeReads, Since(mark).ReadCount(kHandshake));
    // the pulses without their pause, the row with all of its steps
    mark = machine.trace().Mark();
    EXPECT_EQ(1, CSEN5_TurnXenonOn(0));
    EXPECT_EQ(1, CSEN5_TurnXenonOn(1));
    EXPECT_EQ((std::vector<uint16_t>{0x0080, 0x0000, 0x0008, 0x0000}), Since(mark).Writes(kControl));
    EXPECT_EQ(r.flag ? 0u : 2u, Since(mark).CountDelays(200000));
    EXPECT_EQ((Lines{"Xenon stopped\n", "Xenon started\n"}), log.Lines());
    mark = machine.trace().Mark();
    CSEN5_StartScanSequence();
    EXPECT_EQ(1, CSEN5_ScanOneRow(1, 17, 1, 0, 0));
    CSEN5_StopScanSequence();
    EXPECT_EQ(r.handshakeWrites, Since(mark).Writes(kHandshake).size());
    EXPECT_EQ(1u, Since(mark).Count(Access::PollVorschub));
    EXPECT_EQ(1u, Since(mark).CountDelays(1000));
  }
  CARDN5_SetEmulation(0);
  cse->set_lamp_never_lights(true);
  CSEN5_TurnXenonOn(0);
  CSEN5_TurnXenonOn(1);
  EXPECT_EQ(0, CSEN5_IsXenonOn());
}

TEST_F(CseTest, StatusAndLineworkAreWrittenInsideAHandshakeAndKeptByLaterOnes) {
  const struct {
    const char* what;
    std::function<int32_t()> call;
    uint16_t after;
  } rows[] = {
      {"status 1", [] { return CSEN5_SetSWStatus(1); }, 0x1200},
      {"status 2", [] { return CSEN5_SetSWStatus(2); }, 0x1400},
      {"status 3", [] { return CSEN5_SetSWStatus(3); }, 0x1600},
      {"status 4 changes no line", [] { return CSEN5_SetSWStatus(4); }, 0x1600},
      {"linework off", [] { return CSEN5_SetLinework(0); }, 0x1E00},
      {"status 0x10001", [] { return CSEN5_SetSWStatus(0x10001); }, 0x1A00},
      {"linework on", [] { return CSEN5_SetLinework(7); }, 0x1200},
      {"status 0", [] { return CSEN5_SetSWStatus(0); }, 0x1000},
      {"status 3 again", [] { return CSEN5_SetSWStatus(3); }, 0x1600},
      {"linework off again", [] { return CSEN5_SetLinework(0); }, 0x1E00},
  };
  uint16_t before = 0x1000;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(1, r.call());
    EXPECT_EQ(Wrapped(kHandshake, {r.after}, before, r.after), Since(mark).AllWrites());
    before = r.after;
  }
  const size_t mark = machine.trace().Mark();
  CSEN5_StartScanSequence();
  CSEN5_StopScanSequence();
  EXPECT_EQ(Wrapped(kHandshake, {}, 0x1E00, 0x1E00), Since(mark).AllWrites());
}

}  // namespace

// The IOD link against the simulated MCM: the byte operations, then through
// the exports the telegrams on the wire, every failure with its lines,
// repetitions and code, the answers at their edges, the verdict, the N6
// guard, the status inputs and what the exports answer while emulated; last
// the MCM's own checks. The fixture: the boards created, an MCM that answers
// "Hallo", one fault enum that puts the MCM (or the host's arguments) out of
// step, the catalogue of the link's failure lines, and an answer buffer with
// a guard behind the 249 bytes the library may write.
#include <string.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "board_test.h"
#include "hwio32.h"
#include "iod_model.h"

namespace {

using sim::IodModel;
constexpr uint64_t kMs = 1000000;

// How the MCM spoils an exchange (Held: it keeps its strobe low after the
// PC's acknowledge), or the host's arguments do. `at` names the telegram
// byte (the length byte is 0) or the answer byte a fault hits; for BadSum
// the amount the answer's checksum is off by, for BadLength the length sent.
enum class Fault { None, Reject, NotReady, NotTaken, NoStrobe, Held, BadSum, BadLength, NoCommand, NoBuffer, TooLong };

void Inject(IodModel& m, Fault f, int telegram, int at) {
  if (f == Fault::Reject) m.RejectTelegram(telegram);
  if (f == Fault::NotReady) m.NeverReady(telegram, at, 400 * kMs);
  if (f == Fault::NotTaken) m.NeverTakeByte(telegram, at);
  if (f == Fault::NoStrobe) m.NeverStrobe(telegram, at);
  if (f == Fault::Held) m.NeverReleaseStrobe(telegram, at);
  if (f == Fault::BadSum) m.CorruptAnswerChecksum(telegram, static_cast<uint16_t>(at));
  if (f == Fault::BadLength) m.SendAnswerLength(telegram, static_cast<uint8_t>(at));
}

enum class Op { SendN5, SendN6, ExchN5, ExchN6, SingleN6 };

int32_t Call(Op op, const char* command, char* answer) {
  if (op == Op::SendN5) return IODN5_RepSendTxt(command);
  if (op == Op::SendN6) return IODN6_RepSendTxt(command);
  if (op == Op::ExchN5) return IODN5_RepReceiveTxt(command, answer);
  if (op == Op::ExchN6) return IODN6_RepReceiveTxt(command, answer);
  return IODN6_SingleReceiveTxt(command, answer);
}

// The link's failure lines, for the command "AAA" and the answer "Hallo".
constexpr const char *kNotReadyN5 = "IODTransmitByte MCM not ready to receive, Timeout 1 \n",
                     *kNotReadyN6 = "IODTransmitByteN6 MCM not ready to receive, Timeout 1 \n";
constexpr const char *kNotTakenN5 = "IODTransmitByte MCM has not correct received, Timeout 2 \n",
                     *kNotTakenN6 = "IODTransmitByteN6 MCM has not correct received, Timeout 2 \n";
constexpr const char *kNoStrobeN5 = "ReceiveByte Timeout \n",
                     *kNoStrobeN6 = "ReceiveByteN6 PC not ready to receive, timeout 1\n";
constexpr const char* kNoReleaseN6 = "ReceiveByteN6 PC has not correct received, Timeout 2 \n";
constexpr const char *kComN5 = "SendTxt MCM_COM_ERROR \n", *kComN6 = "SendTxtN6 MCM_COM_ERROR \n";
constexpr const char *kLongN5 = "String in SendTxt zu lang! \n", *kLongN6 = "String in SendTxtN6 zu lang! \n";
constexpr const char *kNoLengthN5 = "Fehler bei Stringlaenge \n",
                     *kNoLengthN6 = "ReceiveTxtN6 Fehler bei Stringlaenge \n";
constexpr const char *kNoByteN5 = "Fehler im String \n", *kNoByteN6 = "ReceiveTxtN6 Fehler im String \n";
constexpr const char *kSumN5 = "ReceiveTxt Fehler in checksumme \n",
                     *kSumN6 = "ReceiveTxtN6 Fehler in checksumme Soll: 1f1  Ist: 1f0\n";
// A failed N6 byte's line and the four it leaves behind: the length
// (sign-extended), the command, the checksum and the index of the byte.
Lines UnsentN6(const char* line, int at) {
  return {line, "stringlen 0xffffff85 \n", "comand    AAA \n", "checksum  0x43 \n",
          "act. byte count " + std::to_string(at) + " \n"};
}

class IodTest : public testsupport::RowsTest {
 protected:
  static constexpr size_t kAnswerBytes = 249;
  static constexpr char kUnwritten = '\x5C';

  void SetUp() override {
    BoardsTest::SetUp();
    mcm = &machine.Add<IodModel>();
    mcm->SetResponder([](const std::string&) { return std::string("Hallo"); });
    NextRow();
  }
  // A clean slate for one row of a table. The MCM numbers its telegrams
  // over the whole test: this is the number of the next one.
  int NextRow(IodModel::Variant variant = IodModel::Variant::Auto) {
    mcm->ClearFaults();
    mcm->SetVariant(variant);
    Row();
    memset(answer, kUnwritten, sizeof answer);
    return static_cast<int>(mcm->telegrams().size());
  }
  // The answer buffer's text, or null while nothing was written to it.
  const char* Written() const { return answer[0] == kUnwritten ? nullptr : answer; }
  bool GuardIntact() const {
    return std::all_of(answer + kAnswerBytes, std::end(answer), [](char c) { return c == kUnwritten; });
  }

  IodModel* mcm = nullptr;
  char answer[kAnswerBytes + 16];
};

std::string Format(const char* format, const char* command) {
  char line[300];
  std::snprintf(line, sizeof line, format, command ? command : "");
  return line;
}

// ---- Bytes -------------------------------------------------------------------

// Each byte operation of the board object on its own: what the PC writes,
// when it reads the data, how long it waits, and what it keeps when the MCM
// does not answer. Sending a byte the MCM takes is pinned by the telegrams.
using ByteOp = int32_t (*)(uint8_t byte, uint16_t* pwWord);
const ByteOp kTxN5 = [](uint8_t byte, uint16_t*) { return g_pIOD->IODTransmitByte(byte); };
const ByteOp kRxN5 = [](uint8_t, uint16_t* pwWord) { return g_pIOD->ReceiveByte(pwWord); };
const ByteOp kRxN6 = [](uint8_t, uint16_t* pwWord) { return g_pIOD->ReceiveByteN6(pwWord); };

TEST_F(IodTest, ByteOperationsWaitAtMost30000PollsAndLeaveTheLinesAsTheyStopped) {
  // Handshake and status bits on the input never reach the stored byte.
  mcm->SetStatusLine(iod::In::RechtesRad, true);
  // The op; the byte sent, or offered by the MCM first (-1: none); Held
  // on the offered byte, or NotReady for any byte; the result; the word a
  // receive stored (0xBEEF: none); the writes; the reads before the PC
  // acknowledged (all, if it never did); the time paused; the log.
  using Row = std::tuple<ByteOp, int, Fault, int32_t, uint16_t, std::vector<uint16_t>, uint64_t, uint64_t, Lines>;
  // The MCM offers a byte 3 us after it is asked to: the PC's first poll
  // misses it. N5 reads the data after acknowledging, N6 before.
  const Row rows[] = {
      {kRxN5, 0xA5, Fault::None, 1, 0x00A5, {0xFFFF, 0xFDFF, 0xFFFF}, 2, 1010, {}},
      {kRxN6, 0x5A, Fault::None, 1, 0x005A, {0xFFFF, 0xFDFF, 0xFFFF}, 3, 20, {}},
      {kRxN5, -1, Fault::None, 0, 0xBEEF, {0xFFFF}, 30000, 300000, {kNoStrobeN5}},
      // N6 keeps a byte whose strobe never rises, and its acknowledge.
      {kRxN6, 0x3C, Fault::Held, 0, 0x003C, {0xFFFF, 0xFDFF}, 3, 300010, {kNoReleaseN6}},
      {kTxN5, 0x41, Fault::NotReady, 0, 0xBEEF, {}, 30000, 300000, {kNotReadyN5}},
  };
  for (const auto& [op, byte, fault, result, word, writes, readsBeforeAck, pausedUs, lines] : rows) {
    NextRow();
    Inject(*mcm, fault, fault == Fault::Held ? IodModel::kRaw : 0, 0);
    if (op != kTxN5 && byte >= 0) mcm->SendRaw({static_cast<uint8_t>(byte)});
    uint16_t w = 0xBEEF;
    EXPECT_EQ((std::tuple{result, word, writes, readsBeforeAck, pausedUs, lines}),
              (std::tuple{op(static_cast<uint8_t>(byte), &w), w, Seen().Writes(iod::kOutPort),
                          Seen().UntilWriteOf(0xFDFF).ReadCount(iod::kInPort), Seen().TotalDelayUs(), log.Lines()}));
  }
}

// ---- Telegrams ----------------------------------------------------------------

TEST_F(IodTest, TelegramsOnTheWire) {
  const std::string a125(125, 'A'), a126(126, 'A'), a250(250, 'A');
  // Checksums 0x3FF4 (N6 must clear bit 7 of its low byte) and 0xC780.
  const std::string tilde250 = std::string(248, 'A') + "~~", ff200h = std::string(200, '\xFF') + "H";
  // The variant, the command, the length byte and the checksum's two bytes.
  // Characters above 0x7F count as 0x80 to 0xFF, never negative; from 126
  // characters on bit 7 belongs to the count in both variants.
  using Row = std::tuple<Op, std::string, uint8_t, uint8_t, uint8_t>;
  const Row rows[] = {{Op::SendN5, "AAA", 0x05, 0xC3, 0x00},      {Op::SendN6, "AAA", 0x85, 0x43, 0x00},
                      {Op::SendN5, "", 0x02, 0x00, 0x00},         {Op::SendN6, "", 0x82, 0x00, 0x00},
                      {Op::SendN5, "\xC4\xD6", 0x04, 0x9A, 0x01}, {Op::SendN6, "\xC4\xD6", 0x84, 0x1A, 0x01},
                      {Op::SendN5, a126, 0x80, 0xFE, 0x1F},       {Op::SendN6, a126, 0x80, 0x7E, 0x1F},
                      {Op::SendN6, a125, 0xFF, 0x3D, 0x1F},       {Op::SendN5, a250, 0xFC, 0x7A, 0x3F},
                      {Op::SendN6, tilde250, 0xFC, 0x74, 0x3F},   {Op::SendN6, ff200h, 0xCB, 0x00, 0xC7}};
  for (const auto& [op, command, length, sumLow, sumHigh] : rows) {
    NextRow(op == Op::SendN5 ? IodModel::Variant::N5 : IodModel::Variant::N6);
    EXPECT_EQ(1, Call(op, command.c_str(), nullptr));
    const std::string wire =
        static_cast<char>(length) + command + static_cast<char>(sumLow) + static_cast<char>(sumHigh);
    const std::vector<uint8_t> bytes(wire.begin(), wire.end());
    // Each byte: idle, the data with both handshake lines high, the strobe,
    // its release. Only N5 lets the telegram status settle before reading it.
    EXPECT_EQ((std::tuple{bytes, 4 * bytes.size(), op == Op::SendN5 ? 1u : 0u, Lines{}}),
              (std::tuple{mcm->telegrams().back().bytes, Seen().Writes(iod::kOutPort).size(), Seen().CountDelays(500),
                          log.Lines()}));
  }
}

// What each export logs after a failed attempt and after its last, the
// code it records then, and how many 150 ms pauses follow a failure.
const std::tuple<const char*, const char*, int32_t, size_t> kOutcomes[] = {
    {"Error RepSendTxt '%s' \n", "RepSendTxt returned with error \n", 2142, 1},
    {"Error RepSendTxtN6 '%s' \n", "RepSendTxtN6 returned with error \n", 2142, 0},
    {"Error RepReceiveTxT '%s' \n", "RepReceiveTxt returned with error \n", 2143, 1},
    {"Error RepReceiveTxT '%s' \n", "RepReceiveTxt returned with error \n", 2143, 1},
    {nullptr, "Error SingleReceiveTxTN6 '%s' \n", 2143, 0},
};

// A telegram is never resumed: every attempt sends the command from its
// first byte, and the one that goes through is accepted whole.
TEST_F(IodTest, FailuresLogTheirLinesRepeatAndRecordTheirCode) {
  const std::string c251(251, 'B');
  // The export; the fault, where it hits and how many attempts (one
  // telegram each) it spoils; the result; the lines of each failed attempt;
  // the value written last (0: none); the answer buffer afterwards.
  using Row = std::tuple<Op, Fault, int, int, int32_t, Lines, uint16_t, const char*>;
  const Row rows[] = {
      {Op::SendN5, Fault::Reject, 0, 5, 0, {kComN5}, 0xFF00, nullptr},
      {Op::SendN5, Fault::NotTaken, 2, 1, 1, {kNotTakenN5}, 0xFF00, nullptr},
      {Op::SendN5, Fault::TooLong, 0, 5, 0, {kLongN5}, 0, nullptr},
      {Op::SendN5, Fault::NoCommand, 0, 0, 0, {}, 0, nullptr},
      {Op::SendN6, Fault::Reject, 0, 5, 0, {kComN6}, 0xFF00, nullptr},
      {Op::SendN6, Fault::NotReady, 0, 1, 1, UnsentN6(kNotReadyN6, 0), 0xFF00, nullptr},
      // The strobe of a byte not taken is released; the byte stays on the lines.
      {Op::SendN6, Fault::NotTaken, 2, 5, 0, UnsentN6(kNotTakenN6, 2), 0xFF41, nullptr},
      {Op::SendN6, Fault::TooLong, 0, 5, 0, {kLongN6}, 0, nullptr},
      {Op::SendN6, Fault::NoCommand, 0, 0, 0, {}, 0, nullptr},
      {Op::ExchN5, Fault::NoStrobe, 0, 1, 1, {kNoStrobeN5, kNoLengthN5}, 0xFFFF, "Hallo"},
      {Op::ExchN5, Fault::NoStrobe, 3, 1, 1, {kNoStrobeN5, kNoByteN5}, 0xFFFF, "Hallo"},
      // N5 reads the held byte over and over; only the checksum tells.
      {Op::ExchN5, Fault::Held, 2, 1, 1, {kSumN5}, 0xFFFF, "Hallo"},
      // A spoiled answer stays in the buffer.
      {Op::ExchN5, Fault::BadSum, 1, 5, 0, {kSumN5}, 0xFFFF, "Hallo"},
      {Op::ExchN5, Fault::Reject, 0, 1, 1, {kComN5}, 0xFFFF, "Hallo"},
      // A length outside 2 to 250 fails without a line, the rest unread.
      {Op::ExchN5, Fault::BadLength, 251, 1, 1, {}, 0xFFFF, "Hallo"},
      {Op::ExchN5, Fault::NoBuffer, 0, 0, 0, {}, 0, nullptr},
      {Op::ExchN6, Fault::NoStrobe, 0, 1, 1, {kNoStrobeN6, kNoLengthN6}, 0xFFFF, "Hallo"},
      // Each failed or refused N6 exchange lets go of its guard for the next row.
      {Op::ExchN6, Fault::BadSum, 1, 5, 0, {kSumN6}, 0xFFFF, "Hallo"},
      {Op::ExchN6, Fault::Held, 2, 1, 1, {kNoReleaseN6, kNoByteN6}, 0xFFFF, "Hallo"},
      {Op::ExchN6, Fault::NoCommand, 0, 0, 0, {}, 0, nullptr},
      {Op::SingleN6, Fault::Reject, 0, 1, 0, {kComN6}, 0xFF00, nullptr},
      {Op::SingleN6, Fault::BadSum, 1, 1, 0, {kSumN6}, 0xFFFF, "Hallo"},
      {Op::SingleN6, Fault::BadLength, 0, 1, 0, {}, 0xFFFF, nullptr},
      {Op::SingleN6, Fault::NoCommand, 0, 0, 0, {}, 0, nullptr},
      {Op::SingleN6, Fault::NoBuffer, 0, 0, 0, {}, 0, nullptr},
      // The acknowledge stays low; the next exchange idles the port first.
      {Op::SingleN6, Fault::Held, 2, 1, 0, {kNoReleaseN6, kNoByteN6}, 0xFDFF, nullptr},
      {Op::SingleN6, Fault::None, 0, 0, 1, {}, 0xFFFF, "Hallo"},
  };
  for (const auto& [op, fault, at, fails, result, lines, port, text] : rows) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << ", fault " << static_cast<int>(fault));
    const int t = NextRow();
    for (int i = 0; i < fails; ++i) Inject(*mcm, fault, t + i, at);
    const char* command = fault == Fault::NoCommand ? nullptr : fault == Fault::TooLong ? c251.c_str() : "AAA";
    EXPECT_EQ(result, Call(op, command, fault == Fault::NoBuffer ? nullptr : answer));
    const auto& [retry, final, code, pauses] = kOutcomes[static_cast<int>(op)];
    Lines expected;
    for (int i = 0; i < fails; ++i) {
      expected.insert(expected.end(), lines.begin(), lines.end());
      if (retry) expected.push_back(Format(retry, command));
    }
    if (result == 0) expected.push_back(Format(final, command));
    EXPECT_EQ(expected, log.Lines());
    const Words writes = Seen().Writes(iod::kOutPort);
    EXPECT_EQ((std::tuple{result ? 0 : code, fails * pauses, port, std::string(text ? text : "-")}),
              (std::tuple{testsupport::LastError().code, Seen().CountDelays(150000), writes.empty() ? 0 : writes.back(),
                          std::string(Written() ? Written() : "-")}));
  }
}

TEST_F(IodTest, AnAnswerReachesTheBufferWholeAndItsChecksumIsTheUnsignedSum) {
  std::string text;
  mcm->SetResponder([&](const std::string&) { return text; });
  const std::string ff248(248, '\xFF');  // sum 0xF708
  // The answer; how much its checksum is off the first time; what N6 logs then.
  using Row = std::tuple<std::string, uint16_t, const char*>;
  const Row rows[] = {
      {"", 0, nullptr},
      {"", 1, "Soll: 1  Ist: 0"},  // length 2 is taken only with the checksum 0
      {std::string(248, 'x'), 0, nullptr},
      {std::string("A\0B", 3), 0, nullptr},
      {ff248, 0x100, "Soll: f808  Ist: f708"},
      {ff248, 1, "Soll: f709  Ist: f708"},
  };
  for (Op op : {Op::ExchN5, Op::ExchN6}) {
    for (const auto& [answerText, spoil, n6Sums] : rows) {
      const int t = NextRow();
      text = answerText;
      if (spoil) mcm->CorruptAnswerChecksum(t, spoil);
      EXPECT_EQ(1, Call(op, "AAA", answer));
      const Lines sums = {op == Op::ExchN5 ? kSumN5 : Format("ReceiveTxtN6 Fehler in checksumme %s\n", n6Sums),
                          "Error RepReceiveTxT 'AAA' \n"};
      // N5 pauses 1 ms on each answer byte; N6 watches the strobe rise instead.
      EXPECT_EQ((std::tuple{spoil ? sums : Lines{}, answerText + '\0', true,
                            op == Op::ExchN5 ? (spoil ? 2 : 1) * (answerText.size() + 3) : 0}),
                (std::tuple{log.Lines(), std::string(answer, answerText.size() + 1), GuardIntact(),
                            Seen().CountDelays(1000)}));
    }
  }
}

// Bit 10 is right only for a while around bit 9 rising: N5 reads it afresh
// 500 us after the rise, N6 at once. A telegram taken as rejected is sent
// again. The verdict shows from `settle` for `hold` after the first read
// that finds the MCM ready.
TEST_F(IodTest, TheVerdictIsReadAfreshWhenEachVariantExpectsItAndOneNeverComingCountsAsDelivered) {
  using Row = std::tuple<Op, bool, uint64_t, uint64_t, bool>;  // op, rejected, settle us, hold us, seen
  const Row rows[] = {
      {Op::SendN5, false, 490, 1000, true}, {Op::SendN5, true, 490, 1000, true}, {Op::SendN5, false, 510, 1000, false},
      {Op::SendN6, false, 0, 5, true},      {Op::SendN6, true, 0, 5, true},      {Op::SendN6, true, 5, 1000, false},
  };
  for (const auto& [op, rejected, settleUs, holdUs, seen] : rows) {
    SCOPED_TRACE(testing::Message() << (op == Op::SendN5 ? "N5, " : "N6, ") << settleUs << " us");
    const int t = NextRow();
    mcm->UnsteadyVerdict(t, settleUs * 1000, holdUs * 1000);
    if (rejected) mcm->RejectTelegram(t);
    EXPECT_EQ(1, Call(op, "AAA", nullptr));
    EXPECT_EQ(seen == rejected ? 2u : 1u, mcm->telegrams().size() - static_cast<size_t>(t));
  }
  // A verdict that never comes counts as delivered. The six bytes take 23 polls and 11 pauses, then 30,000 polls for
  // the verdict: N5 without a pause, N6 with 10 us after each.
  for (const auto& [op, pauses] : {std::pair<Op, size_t>{Op::SendN5, 11}, {Op::SendN6, 30011}}) {
    mcm->DropVerdict(NextRow(), 400 * kMs);
    EXPECT_EQ(
        (std::tuple{1, Lines{}, size_t{30023}, pauses}),
        (std::tuple{Call(op, "AAA", nullptr), log.Lines(), Seen().ReadCount(iod::kInPort), Seen().CountDelays(10)}));
    machine.AdvanceNs(400 * kMs);
  }
}

// A host's second thread calling while an exchange runs (here: from the
// MCM's answer) is turned away before anything else is looked at.
TEST_F(IodTest, ASecondN6ExchangeWhileOneRunsReturnsOneAndTouchesNothing) {
  Lines innerLines;
  mcm->SetResponder([&](const std::string&) {
    // Emulated, and with neither command nor buffer, it would fail anyway.
    CARDN5_SetEmulation(1);
    log.Clear();  // switching emulation logs a line of its own
    EXPECT_EQ(1, IODN6_RepReceiveTxt(nullptr, nullptr));
    innerLines = log.Lines();
    CARDN5_SetEmulation(0);
    return std::string("Hallo");
  });
  EXPECT_EQ(1, IODN6_RepReceiveTxt("AAA", answer));
  EXPECT_EQ((std::tuple{std::string("Hallo"),
                        Lines{"RepReceiveTxtN6 is already in use \n", "wanted string to send  \n"}, size_t{1}}),
            (std::tuple{std::string(answer), innerLines, mcm->telegrams().size()}));
}

TEST_F(IodTest, StatusQueriesReadOneLineEachWithItsPolarity) {
  for (int levels = 0; levels < 8; ++levels) {
    const bool rad = levels & 1, rapport = levels & 2, ready = levels & 4;
    NextRow();
    mcm->SetStatusLine(iod::In::RechtesRad, rad);
    mcm->SetStatusLine(iod::In::RapportStand, rapport);
    mcm->SetStatusLine(iod::In::DeviceReady, ready);
    // Bit 11 is active high, bits 12 and 13 active low.
    EXPECT_EQ((std::vector<int32_t>{!rapport, !ready, rad, rad}),
              (std::vector<int32_t>{IODN5_TestRapportStand(), IODN5_TestDeviceReady(), IODN5_TestRechtesRadHinten(),
                                    IODN5_IsXenonOn()}));
    EXPECT_EQ(4u, Seen().ReadCount(iod::kInPort));
  }
}

// ---- The MCM ------------------------------------------------------------------

// The simulated MCM driven by hand from the PC's side: the handshake steps
// out of turn and the telegrams that do not add up, which the library never
// makes and which the MCM must see for every other test to mean anything.
// Steps that are no writes: 20 us pass; a pause that starts a new telegram;
// the time an N6 telegram that may still grow is given to end.
constexpr uint16_t kWait = 0, kGap = 1, kEnd = 2;
constexpr uint64_t kPausesNs[] = {20000, IodModel::kResyncNs + kMs, IodModel::kShortEndNs};

// The PC's side of a whole telegram.
std::vector<uint16_t> Sent(const std::vector<uint8_t>& bytes) {
  std::vector<uint16_t> steps;
  for (uint16_t b : bytes)
    steps.insert(steps.end(), {0xFFFF, uint16_t(0xFF00 | b), uint16_t(0xFE00 | b), kWait, uint16_t(0xFF00 | b), kWait});
  steps.push_back(kEnd);
  return steps;
}

TEST_F(IodTest, TheMcmSeesStepsOutOfTurnAndTelegramsThatDoNotAddUp) {
  // Whether the MCM strobes out a byte first; the PC's steps; what the MCM
  // must see. The good telegrams are every other test's. Each telegram
  // ends; a step out of turn may leave one open, which the next row's byte
  // breaks off.
  using Row = std::tuple<bool, std::vector<uint16_t>, const char*>;
  const Row rows[] = {
      {false, Sent({0x05, 0x41, 0x41, 0x41, 0xC4, 0x00}), "does not add up"},
      {false, {0xFF05, 0xFE05, kWait, 0xFF05, kGap, 0xFF41, 0xFE41}, "broken off after 1 bytes"},
      {false, {0x0341}, "bits 10-15 must be 1"},
      {false, {0xFF41, 0xFC41}, "strobe and acknowledge low together"},
      {false, {0xFF41, 0xFE41, 0xFF41}, "withdrew its byte before the MCM took it"},
      {false, {0xFDFF}, "acknowledged with no byte offered"},
      {true, {kWait, 0xFDFF, 0xFFFF}, "released its acknowledge before the MCM released its strobe"},
  };
  for (const auto& [answering, steps, violation] : rows) {
    SCOPED_TRACE(violation);
    if (answering) mcm->SendRaw({0x11});
    for (uint16_t step : steps) {
      if (step > kEnd) HWIO_Hout(iod::kOutPort, step);
      if (step <= kEnd) machine.AdvanceNs(kPausesNs[step]);
    }
    const std::string seen = testing::PrintToString(machine.Violations());
    EXPECT_NE(std::string::npos, seen.find(violation)) << seen;
    // Back to idle, long enough for a new telegram to start.
    HWIO_Hout(iod::kOutPort, 0xFFFF);
    machine.AdvanceNs(IodModel::kResyncNs + kMs);
    machine.ClearViolations();
  }
}

}  // namespace

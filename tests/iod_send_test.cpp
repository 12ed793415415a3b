// Sending telegrams to the simulated MCM through the exports: the bytes on
// the wire, the verdict, refusals and the repetitions.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "errlog32_ext.h"
#include "iod_link_fixture.h"

namespace {

using iodtest::IodLinkTest;
using iodtest::Variant;
using sim::IodModel;

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST_F(IodLinkTest, TelegramBytesOnTheWire) {
  const std::string a126(126, 'A');
  const std::string a125(125, 'A');
  const std::string a250(250, 'A');
  // Checksum 0x3FF4: bit 7 of its low byte is set, so N6 must clear it.
  const std::string tilde250 = std::string(248, 'A') + "~~";
  // Checksums 0xC780 and 0xF906.
  const std::string ff200h = std::string(200, '\xFF') + "H";
  const std::string ff250(250, '\xFF');
  struct Row {
    Variant variant;
    std::string command;
    std::vector<uint8_t> bytes;
  };
  const Row rows[] = {
      {Variant::N5, "AAA", {0x05, 0x41, 0x41, 0x41, 0xC3, 0x00}},
      {Variant::N6, "AAA", {0x85, 0x41, 0x41, 0x41, 0x43, 0x00}},
      {Variant::N5, "", {0x02, 0x00, 0x00}},
      {Variant::N6, "", {0x82, 0x00, 0x00}},
      // Characters above 0x7F count as 0x80 to 0xFF, never negative.
      {Variant::N5, "\xC4\xD6", {0x04, 0xC4, 0xD6, 0x9A, 0x01}},
      {Variant::N6, "\xC4\xD6", {0x84, 0xC4, 0xD6, 0x1A, 0x01}},
      // From 126 characters on bit 7 belongs to the count in both variants.
      {Variant::N5, a126, Concat({{0x80}, iodtest::Bytes(a126), {0xFE, 0x1F}})},
      {Variant::N6, a126, Concat({{0x80}, iodtest::Bytes(a126), {0x7E, 0x1F}})},
      {Variant::N6, a125, Concat({{0xFF}, iodtest::Bytes(a125), {0x3D, 0x1F}})},
      {Variant::N5, a250, Concat({{0xFC}, iodtest::Bytes(a250), {0x7A, 0x3F}})},
      {Variant::N6, tilde250, Concat({{0xFC}, iodtest::Bytes(tilde250), {0x74, 0x3F}})},
      // Sums of 0x8000 and more: bit 7 of the high byte is sent in both
      // variants, N6 clears bit 7 of the low byte only.
      {Variant::N5, ff200h, Concat({{0xCB}, iodtest::Bytes(ff200h), {0x80, 0xC7}})},
      {Variant::N6, ff200h, Concat({{0xCB}, iodtest::Bytes(ff200h), {0x00, 0xC7}})},
      {Variant::N5, ff250, Concat({{0xFC}, iodtest::Bytes(ff250), {0x06, 0xF9}})},
      {Variant::N6, ff250, Concat({{0xFC}, iodtest::Bytes(ff250), {0x06, 0xF9}})},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << Name(r.variant) << " command of " << r.command.size() << " characters");
    NextRow(r.variant == Variant::N5 ? IodModel::Variant::N5 : IodModel::Variant::N6);
    const int t = NextTelegram();
    EXPECT_EQ(1, RepSend(r.variant, r.command.c_str()));
    ASSERT_EQ(static_cast<size_t>(t + 1), mcm->telegrams().size());
    const IodModel::Telegram& got = mcm->telegrams().back();
    EXPECT_EQ(r.bytes, got.bytes);
    EXPECT_TRUE(got.accepted);
    EXPECT_EQ(r.command, got.command);
    // Four writes a byte: idle, data, strobe, release.
    EXPECT_EQ(4 * r.bytes.size(), machine.trace().Writes(iodtest::kIodPort).size());
    // Only N5 lets the telegram status settle before reading it.
    EXPECT_EQ(r.variant == Variant::N5 ? 1 : 0, iodtest::CountDelays(machine.trace(), 500));
    EXPECT_EQ(0, iodtest::CountDelays(machine.trace(), 150000));
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
    EXPECT_EQ(0, testsupport::LastError().code);
  }
}

TEST_F(IodLinkTest, ACommandOf251CharactersIsRefusedBeforeAnyByteFiveTimesOver) {
  const std::string c251(251, 'B');
  struct Row {
    Variant variant;
    const char* tooLong;
    std::string error;
    const char* final;
    int pauses;
  };
  const Row rows[] = {
      {Variant::N5, "String in SendTxt zu lang! \n", "Error RepSendTxt '" + c251 + "' \n",
       "RepSendTxt returned with error \n", 5},
      {Variant::N6, "String in SendTxtN6 zu lang! \n", "Error RepSendTxtN6 '" + c251 + "' \n",
       "RepSendTxtN6 returned with error \n", 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Name(r.variant));
    NextRow();
    const uint64_t start = machine.NowNs();
    EXPECT_EQ(0, RepSend(r.variant, c251.c_str()));
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) expected.insert(expected.end(), {r.tooLong, r.error});
    expected.push_back(r.final);
    EXPECT_EQ(expected, log.Lines());
    EXPECT_EQ(2142, testsupport::LastError().code);
    EXPECT_EQ(0, iodtest::IodAccesses(machine.trace()));
    EXPECT_EQ(r.pauses, iodtest::CountDelays(machine.trace(), 150000));
    EXPECT_EQ(static_cast<uint64_t>(r.pauses) * 150 * iodtest::kMs, machine.NowNs() - start);
  }
  EXPECT_TRUE(mcm->telegrams().empty());
}

TEST_F(IodLinkTest, AMissingCommandOrAnswerBufferFailsAtOnceWithoutTouchingTheLink) {
  struct Row {
    const char* name;
    std::function<int32_t(char*)> call;
    std::string line;
    int32_t code;
    // With the board emulated the command is never looked at, so only a
    // missing answer buffer still fails.
    int32_t emulatedResult;
    const char* emulatedAnswer;
  };
  const Row rows[] = {
      {"IODN5_RepSendTxt", [](char*) { return IODN5_RepSendTxt(nullptr); }, "RepSendTxt returned with error \n", 2142,
       1, nullptr},
      {"IODN6_RepSendTxt", [](char*) { return IODN6_RepSendTxt(nullptr); }, "RepSendTxtN6 returned with error \n", 2142,
       1, nullptr},
      {"IODN5_RepReceiveTxt command", [](char* a) { return IODN5_RepReceiveTxt(nullptr, a); },
       "RepReceiveTxt returned with error \n", 2143, 1, "Emulation"},
      {"IODN5_RepReceiveTxt answer", [](char*) { return IODN5_RepReceiveTxt("AAA", nullptr); },
       "RepReceiveTxt returned with error \n", 2143, 0, nullptr},
      {"IODN5_RepReceiveTxt both", [](char*) { return IODN5_RepReceiveTxt(nullptr, nullptr); },
       "RepReceiveTxt returned with error \n", 2143, 0, nullptr},
      {"IODN6_RepReceiveTxt command", [](char* a) { return IODN6_RepReceiveTxt(nullptr, a); },
       "RepReceiveTxt returned with error \n", 2143, 1, "Emulation"},
      {"IODN6_RepReceiveTxt answer", [](char*) { return IODN6_RepReceiveTxt("AAA", nullptr); },
       "RepReceiveTxt returned with error \n", 2143, 0, nullptr},
      {"IODN6_RepReceiveTxt both", [](char*) { return IODN6_RepReceiveTxt(nullptr, nullptr); },
       "RepReceiveTxt returned with error \n", 2143, 0, nullptr},
      {"IODN6_SingleReceiveTxt command", [](char* a) { return IODN6_SingleReceiveTxt(nullptr, a); },
       "Error SingleReceiveTxTN6 '' \n", 2143, 1, "Emulation"},
      {"IODN6_SingleReceiveTxt answer", [](char*) { return IODN6_SingleReceiveTxt("AAA", nullptr); },
       "Error SingleReceiveTxTN6 'AAA' \n", 2143, 0, nullptr},
      {"IODN6_SingleReceiveTxt both", [](char*) { return IODN6_SingleReceiveTxt(nullptr, nullptr); },
       "Error SingleReceiveTxTN6 '' \n", 2143, 0, nullptr},
  };
  // The telegrams count any non-zero flag as emulation.
  for (int32_t emulation : {0, 1, 2}) {
    CARDN5_SetEmulation(emulation);
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << r.name << " emulation " << emulation);
      NextRow();
      const bool refused = emulation == 0 || r.emulatedResult == 0;
      EXPECT_EQ(refused ? 0 : 1, r.call(answer));
      EXPECT_EQ(refused ? std::vector<std::string>{r.line} : std::vector<std::string>(), log.Lines());
      const testsupport::RecordedError error = testsupport::LastError();
      EXPECT_EQ(refused ? r.code : 0, error.code);
      if (refused) {
        EXPECT_EQ("CIOD.cpp", error.file);
        EXPECT_GT(error.line, 0);
      }
      EXPECT_EQ(0, iodtest::IodAccesses(machine.trace()));
      EXPECT_EQ(0u, machine.trace().size());
      if (!refused && r.emulatedAnswer) {
        EXPECT_STREQ(r.emulatedAnswer, answer);
      } else {
        EXPECT_EQ(kUnwritten, answer[0]);
      }
      EXPECT_TRUE(GuardIntact());
    }
  }
  EXPECT_TRUE(mcm->telegrams().empty());
  // No emulated or refused call left the N6 guard set.
  CARDN5_SetEmulation(0);
  NextRow();
  EXPECT_EQ(1, IODN6_RepReceiveTxt("AAA", answer));
  EXPECT_STREQ("Hallo", answer);
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

// One attempt fails at the MCM, the second goes through.
TEST_F(IodLinkTest, AFailedSendIsRepeatedFromTheFirstByte) {
  const char* n6Diagnostics[] = {"stringlen 0xffffff85 \n", "comand    AAA \n", "checksum  0x43 \n"};
  struct Row {
    const char* name;
    Variant variant;
    std::function<void(IodModel&, int)> fault;
    std::vector<std::string> lines;
  };
  const std::string t1n5 = "IODTransmitByte MCM not ready to receive, Timeout 1 \n";
  const std::string t2n5 = "IODTransmitByte MCM has not correct received, Timeout 2 \n";
  const std::string t1n6 = "IODTransmitByteN6 MCM not ready to receive, Timeout 1 \n";
  const std::string t2n6 = "IODTransmitByteN6 MCM has not correct received, Timeout 2 \n";
  const Row rows[] = {
      {"rejected",
       Variant::N5,
       [](IodModel& m, int t) { m.RejectTelegram(t); },
       {"SendTxt MCM_COM_ERROR \n", "Error RepSendTxt 'AAA' \n"}},
      {"rejected",
       Variant::N6,
       [](IodModel& m, int t) { m.RejectTelegram(t); },
       {"SendTxtN6 MCM_COM_ERROR \n", "Error RepSendTxtN6 'AAA' \n"}},
      {"byte 2 not taken",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverTakeByte(t, 2); },
       {t2n5, "Error RepSendTxt 'AAA' \n"}},
      {"byte 2 not taken",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverTakeByte(t, 2); },
       {t2n6, n6Diagnostics[0], n6Diagnostics[1], n6Diagnostics[2], "act. byte count 2 \n",
        "Error RepSendTxtN6 'AAA' \n"}},
      {"not ready for byte 3",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverReady(t, 3, 400 * iodtest::kMs); },
       {t1n5, "Error RepSendTxt 'AAA' \n"}},
      {"not ready for byte 3",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverReady(t, 3, 400 * iodtest::kMs); },
       {t1n6, n6Diagnostics[0], n6Diagnostics[1], n6Diagnostics[2], "act. byte count 3 \n",
        "Error RepSendTxtN6 'AAA' \n"}},
      {"not ready for the length byte",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverReady(t, 0, 400 * iodtest::kMs); },
       {t1n6, n6Diagnostics[0], n6Diagnostics[1], n6Diagnostics[2], "act. byte count 0 \n",
        "Error RepSendTxtN6 'AAA' \n"}},
  };
  const std::vector<uint8_t> n5 = {0x05, 0x41, 0x41, 0x41, 0xC3, 0x00};
  const std::vector<uint8_t> n6 = {0x85, 0x41, 0x41, 0x41, 0x43, 0x00};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << Name(r.variant) << " " << r.name);
    NextRow();
    r.fault(*mcm, NextTelegram());
    EXPECT_EQ(1, RepSend(r.variant, "AAA"));
    EXPECT_EQ(r.lines, log.Lines());
    EXPECT_EQ(0, testsupport::LastError().code);
    EXPECT_EQ(r.variant == Variant::N5 ? 1 : 0, iodtest::CountDelays(machine.trace(), 150000));
    ASSERT_FALSE(mcm->telegrams().empty());
    EXPECT_EQ(r.variant == Variant::N5 ? n5 : n6, mcm->telegrams().back().bytes);
    EXPECT_TRUE(mcm->telegrams().back().accepted);
  }
}

TEST_F(IodLinkTest, TheN6DiagnosticsShowTheWholeChecksumAndTheLengthSignExtended) {
  const std::string command = std::string(200, '\xFF') + "H";
  NextRow(IodModel::Variant::N6);
  // The checksum's high byte is the last of the 204 bytes.
  mcm->NeverTakeByte(NextTelegram(), 203);
  EXPECT_EQ(1, IODN6_RepSendTxt(command.c_str()));
  const std::vector<std::string> expected = {"IODTransmitByteN6 MCM has not correct received, Timeout 2 \n",
                                             "stringlen 0xffffffcb \n",
                                             "comand    " + command + " \n",
                                             "checksum  0xc700 \n",
                                             "act. byte count 203 \n",
                                             "Error RepSendTxtN6 '" + command + "' \n"};
  EXPECT_EQ(expected, log.Lines());
  ASSERT_FALSE(mcm->telegrams().empty());
  EXPECT_TRUE(mcm->telegrams().back().accepted);
  EXPECT_EQ(command, mcm->telegrams().back().command);
}

TEST_F(IodLinkTest, FiveRejectedSendsRecordTheSendErrorAfterTheirPauses) {
  for (Variant v : {Variant::N5, Variant::N6}) {
    SCOPED_TRACE(Name(v));
    NextRow();
    const int first = NextTelegram();
    for (int t = first; t < first + 5; ++t) mcm->RejectTelegram(t);
    const uint64_t start = machine.NowNs();
    EXPECT_EQ(0, RepSend(v, "AAA"));

    const std::string com = v == Variant::N5 ? "SendTxt MCM_COM_ERROR \n" : "SendTxtN6 MCM_COM_ERROR \n";
    const std::string error = v == Variant::N5 ? "Error RepSendTxt 'AAA' \n" : "Error RepSendTxtN6 'AAA' \n";
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) expected.insert(expected.end(), {com, error});
    expected.push_back(v == Variant::N5 ? "RepSendTxt returned with error \n" : "RepSendTxtN6 returned with error \n");
    EXPECT_EQ(expected, log.Lines());
    EXPECT_EQ(2142, testsupport::LastError().code);

    // Each attempt is a whole telegram again.
    ASSERT_EQ(static_cast<size_t>(first + 5), mcm->telegrams().size());
    for (int t = first + 1; t < first + 5; ++t)
      EXPECT_EQ(mcm->telegrams()[first].bytes, mcm->telegrams()[static_cast<size_t>(t)].bytes);

    if (v == Variant::N5) {
      // A pause after every failure, the fifth included: it is the last thing done.
      EXPECT_EQ(5, iodtest::CountDelays(machine.trace(), 150000));
      EXPECT_EQ(sim::Access::Delay, machine.trace().entries().back().kind);
      EXPECT_GE(machine.NowNs() - start, 750 * iodtest::kMs);
      EXPECT_LT(machine.NowNs() - start, 760 * iodtest::kMs);
    } else {
      EXPECT_EQ(0, iodtest::CountDelays(machine.trace(), 150000));
      EXPECT_LT(machine.NowNs() - start, 10 * iodtest::kMs);
    }
  }
}

TEST_F(IodLinkTest, AVerdictThatNeverComesCountsAsDelivered) {
  struct Row {
    Variant variant;
    int pausesInWait;
  };
  // N5 polls the verdict without pausing, N6 pauses 10 us after each poll.
  for (const Row& r : {Row{Variant::N5, 0}, Row{Variant::N6, 30000}}) {
    SCOPED_TRACE(Name(r.variant));
    NextRow();
    mcm->DropVerdict(NextTelegram(), 400 * iodtest::kMs);
    EXPECT_EQ(1, RepSend(r.variant, "AAA"));
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
    const iodtest::Tail wait = iodtest::AfterLastWrite(machine.trace());
    EXPECT_EQ(30000u, wait.reads);
    EXPECT_EQ(r.pausesInWait, wait.shortPauses);
    EXPECT_EQ(0, wait.otherPauses);
    machine.AdvanceNs(400 * iodtest::kMs);
  }
}

// The MCM's bit 10 is only right for a while around bit 9 rising. N5
// leaves it 500 us to settle and reads it afresh; N6 reads it afresh at
// once. A read at another moment sees the opposite of the verdict.
TEST_F(IodLinkTest, TheVerdictIsReadAfreshWhenEachVariantExpectsIt) {
  constexpr uint64_t kUs = 1000;
  struct Row {
    const char* name;
    Variant variant;
    bool rejected;
    uint64_t settleNs;  // after the first read that sees bit 9 high
    uint64_t holdNs;
    bool seesVerdict;
  };
  const Row rows[] = {
      {"settles within the pause", Variant::N5, false, 200 * kUs, IodModel::kForever, true},
      {"settles within the pause", Variant::N5, true, 200 * kUs, IodModel::kForever, true},
      {"settles just before the read", Variant::N5, false, 490 * kUs, IodModel::kForever, true},
      {"settles just after the read", Variant::N5, false, 510 * kUs, IodModel::kForever, false},
      {"settles just after the read", Variant::N5, true, 510 * kUs, IodModel::kForever, false},
      {"gone before the read", Variant::N5, false, 0, 400 * kUs, false},
      {"right on the next read only", Variant::N6, false, 0, 5 * kUs, true},
      {"right on the next read only", Variant::N6, true, 0, 5 * kUs, true},
      {"settles later than the next read", Variant::N6, false, 5 * kUs, IodModel::kForever, false},
      {"settles later than the next read", Variant::N6, true, 5 * kUs, IodModel::kForever, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << Name(r.variant) << " " << (r.rejected ? "rejected, " : "accepted, ") << r.name);
    NextRow();
    const int t = NextTelegram();
    mcm->UnsteadyVerdict(t, r.settleNs, r.holdNs);
    if (r.rejected) mcm->RejectTelegram(t);
    // A telegram taken as rejected is sent again, and the MCM accepts the repetition.
    const bool seenAccepted = r.seesVerdict != r.rejected;
    EXPECT_EQ(1, RepSend(r.variant, "AAA"));
    std::vector<std::string> expected;
    if (!seenAccepted) {
      expected = r.variant == Variant::N5
                     ? std::vector<std::string>{"SendTxt MCM_COM_ERROR \n", "Error RepSendTxt 'AAA' \n"}
                     : std::vector<std::string>{"SendTxtN6 MCM_COM_ERROR \n", "Error RepSendTxtN6 'AAA' \n"};
    }
    EXPECT_EQ(expected, log.Lines());
    EXPECT_EQ(static_cast<size_t>(t + (seenAccepted ? 1 : 2)), mcm->telegrams().size());
    EXPECT_EQ(!r.rejected, mcm->telegrams()[static_cast<size_t>(t)].accepted);
    // One settling pause for each N5 verdict, none in N6.
    EXPECT_EQ(r.variant == Variant::N5 ? (seenAccepted ? 1 : 2) : 0, iodtest::CountDelays(machine.trace(), 500));
  }
}

// What had happened when each line was logged.
struct Logged {
  std::string text;
  int pauses;      // 150 ms pauses so far
  int32_t errors;  // errors recorded so far
  bool operator==(const Logged& o) const { return text == o.text && pauses == o.pauses && errors == o.errors; }
};

void PrintTo(const Logged& l, std::ostream* os) {
  *os << "{\"" << l.text << "\" after " << l.pauses << " pauses, " << l.errors << " errors}";
}

class Timeline {
 public:
  explicit Timeline(sim::Machine& machine) : m_machine(machine) { ERRLOGX_SetLineHook(&Hook, this); }
  ~Timeline() { ERRLOGX_SetLineHook(nullptr, nullptr); }
  Timeline(const Timeline&) = delete;
  Timeline& operator=(const Timeline&) = delete;

  std::vector<Logged> lines;

 private:
  static void CARDN5_CDECL Hook(void* ctx, const char* text) {
    Timeline& self = *static_cast<Timeline*>(ctx);
    self.lines.push_back({text, iodtest::CountDelays(self.m_machine.trace(), 150000), ERRLOGX_ErrorCount()});
  }
  sim::Machine& m_machine;
};

// Each failed attempt is logged before its pause; the final line comes
// before the code is recorded, and the code names the telegram source.
TEST_F(IodLinkTest, AFailureIsLoggedBeforeItsPauseAndItsErrorCode) {
  struct Row {
    const char* name;
    std::function<int32_t(char*)> call;
    int attempts;
    const char* failure;
    std::string error;
    bool pauses;
    std::string final;
    int32_t code;
  };
  const Row rows[] = {
      {"IODN5_RepSendTxt", [](char*) { return IODN5_RepSendTxt("AAA"); }, 5, "SendTxt MCM_COM_ERROR \n",
       "Error RepSendTxt 'AAA' \n", true, "RepSendTxt returned with error \n", 2142},
      {"IODN6_RepSendTxt", [](char*) { return IODN6_RepSendTxt("AAA"); }, 5, "SendTxtN6 MCM_COM_ERROR \n",
       "Error RepSendTxtN6 'AAA' \n", false, "RepSendTxtN6 returned with error \n", 2142},
      {"IODN5_RepReceiveTxt", [](char* a) { return IODN5_RepReceiveTxt("AAA", a); }, 5, "SendTxt MCM_COM_ERROR \n",
       "Error RepReceiveTxT 'AAA' \n", true, "RepReceiveTxt returned with error \n", 2143},
      {"IODN6_RepReceiveTxt", [](char* a) { return IODN6_RepReceiveTxt("AAA", a); }, 5, "SendTxtN6 MCM_COM_ERROR \n",
       "Error RepReceiveTxT 'AAA' \n", true, "RepReceiveTxt returned with error \n", 2143},
      {"IODN6_SingleReceiveTxt", [](char* a) { return IODN6_SingleReceiveTxt("AAA", a); }, 1,
       "SendTxtN6 MCM_COM_ERROR \n", "", false, "Error SingleReceiveTxTN6 'AAA' \n", 2143},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NextRow();
    const int first = NextTelegram();
    for (int t = first; t < first + r.attempts; ++t) mcm->RejectTelegram(t);
    Timeline timeline(machine);
    EXPECT_EQ(0, r.call(answer));
    std::vector<Logged> expected;
    for (int i = 0; i < r.attempts; ++i) {
      const int before = r.pauses ? i : 0;
      expected.push_back({r.failure, before, 0});
      if (!r.error.empty()) expected.push_back({r.error, before, 0});
    }
    expected.push_back({r.final, r.pauses ? r.attempts : 0, 0});
    EXPECT_EQ(expected, timeline.lines);
    EXPECT_EQ(1, ERRLOGX_ErrorCount());
    const testsupport::RecordedError error = testsupport::LastError();
    EXPECT_EQ(r.code, error.code);
    EXPECT_EQ("CIOD.cpp", error.file);
    EXPECT_GT(error.line, 0);
    EXPECT_EQ(static_cast<size_t>(first + r.attempts), mcm->telegrams().size());
  }
}

}  // namespace

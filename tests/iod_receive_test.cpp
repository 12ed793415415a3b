// Exchanges with the simulated MCM through the exports: answers, their
// failures, the repetitions and the guard of IODN6_RepReceiveTxt.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "iod_link_fixture.h"

namespace {

using iodtest::IodLinkTest;
using iodtest::Variant;
using sim::IodModel;

const Variant kBoth[] = {Variant::N5, Variant::N6};

TEST_F(IodLinkTest, AnExchangeDeliversTheMcmsAnswer) {
  std::vector<std::string> commands;
  mcm->SetResponder([&](const std::string& c) {
    commands.push_back(c);
    return std::string("Hallo Welt");
  });
  for (Variant v : kBoth) {
    SCOPED_TRACE(Name(v));
    NextRow();
    EXPECT_EQ(1, RepReceive(v, "AAA"));
    EXPECT_STREQ("Hallo Welt", answer);
    EXPECT_TRUE(GuardIntact());
    EXPECT_EQ("AAA", commands.back());
    // Every byte of the answer telegram was taken: length, 10 characters, checksum.
    EXPECT_EQ(13u, mcm->telegrams().back().answerTaken);
    // N5 pauses 1 ms on each received byte, N6 watches the strobe instead.
    EXPECT_EQ(v == Variant::N5 ? 13 : 0, iodtest::CountDelays(machine.trace(), 1000));
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  }
  EXPECT_EQ(2u, commands.size());
}

// The first exchange fails at the MCM, the second goes through after 150 ms.
TEST_F(IodLinkTest, AFailedExchangeIsRepeatedFromTheCommand) {
  struct Row {
    const char* name;
    Variant variant;
    std::function<void(IodModel&, int)> fault;
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"no length byte",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverStrobe(t, 0); },
       {"ReceiveByte Timeout \n", "Fehler bei Stringlaenge \n"}},
      {"no length byte",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverStrobe(t, 0); },
       {"ReceiveByteN6 PC not ready to receive, timeout 1\n", "ReceiveTxtN6 Fehler bei Stringlaenge \n"}},
      {"no byte 3",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverStrobe(t, 3); },
       {"ReceiveByte Timeout \n", "Fehler im String \n"}},
      {"no byte 3",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverStrobe(t, 3); },
       {"ReceiveByteN6 PC not ready to receive, timeout 1\n", "ReceiveTxtN6 Fehler im String \n"}},
      {"strobe kept low on byte 2",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverReleaseStrobe(t, 2); },
       {"ReceiveByteN6 PC has not correct received, Timeout 2 \n", "ReceiveTxtN6 Fehler im String \n"}},
      // N5 does not watch the strobe rise: it reads byte 2 over and over,
      // and only the checksum tells.
      {"strobe kept low on byte 2",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverReleaseStrobe(t, 2); },
       {"ReceiveTxt Fehler in checksumme \n"}},
      {"bad checksum",
       Variant::N5,
       [](IodModel& m, int t) { m.CorruptAnswerChecksum(t); },
       {"ReceiveTxt Fehler in checksumme \n"}},
      {"bad checksum",
       Variant::N6,
       [](IodModel& m, int t) { m.CorruptAnswerChecksum(t); },
       {"ReceiveTxtN6 Fehler in checksumme Soll: 1f1  Ist: 1f0\n"}},
      {"rejected", Variant::N5, [](IodModel& m, int t) { m.RejectTelegram(t); }, {"SendTxt MCM_COM_ERROR \n"}},
      {"rejected", Variant::N6, [](IodModel& m, int t) { m.RejectTelegram(t); }, {"SendTxtN6 MCM_COM_ERROR \n"}},
      {"command byte 1 not taken",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverTakeByte(t, 1); },
       {"IODTransmitByte MCM has not correct received, Timeout 2 \n"}},
      {"command byte 1 not taken",
       Variant::N6,
       [](IodModel& m, int t) { m.NeverTakeByte(t, 1); },
       {"IODTransmitByteN6 MCM has not correct received, Timeout 2 \n", "stringlen 0xffffff85 \n", "comand    AAA \n",
        "checksum  0x43 \n", "act. byte count 1 \n"}},
      {"not ready for the length byte",
       Variant::N5,
       [](IodModel& m, int t) { m.NeverReady(t, 0, 400 * iodtest::kMs); },
       {"IODTransmitByte MCM not ready to receive, Timeout 1 \n"}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << Name(r.variant) << " " << r.name);
    NextRow();
    r.fault(*mcm, NextTelegram());
    EXPECT_EQ(1, RepReceive(r.variant, "AAA"));
    std::vector<std::string> expected = r.lines;
    expected.push_back("Error RepReceiveTxT 'AAA' \n");
    EXPECT_EQ(expected, log.Lines());
    EXPECT_STREQ("Hallo", answer);
    EXPECT_EQ(0, testsupport::LastError().code);
    EXPECT_EQ(1, iodtest::CountDelays(machine.trace(), 150000));
    EXPECT_TRUE(mcm->telegrams().back().accepted);
    EXPECT_EQ("AAA", mcm->telegrams().back().command);
  }
}

TEST_F(IodLinkTest, FiveFailedExchangesRecordTheReceiveErrorAndKeepTheLastText) {
  for (Variant v : kBoth) {
    SCOPED_TRACE(Name(v));
    NextRow();
    const int first = NextTelegram();
    for (int t = first; t < first + 5; ++t) mcm->CorruptAnswerChecksum(t);
    const uint64_t start = machine.NowNs();
    EXPECT_EQ(0, RepReceive(v, "AAA"));
    const std::string checksum = v == Variant::N5 ? "ReceiveTxt Fehler in checksumme \n"
                                                  : "ReceiveTxtN6 Fehler in checksumme Soll: 1f1  Ist: 1f0\n";
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) expected.insert(expected.end(), {checksum, "Error RepReceiveTxT 'AAA' \n"});
    expected.push_back("RepReceiveTxt returned with error \n");
    EXPECT_EQ(expected, log.Lines());
    EXPECT_EQ(2143, testsupport::LastError().code);
    EXPECT_EQ(static_cast<size_t>(first + 5), mcm->telegrams().size());
    // Both variants pause between exchanges.
    EXPECT_EQ(5, iodtest::CountDelays(machine.trace(), 150000));
    EXPECT_GE(machine.NowNs() - start, 750 * iodtest::kMs);
    // The text of a failed checksum stays in the buffer, terminated.
    EXPECT_STREQ("Hallo", answer);
  }
}

TEST_F(IodLinkTest, SingleReceiveTriesOnceAndLeavesTheLinkAsTheFailingByteLeftIt) {
  struct Row {
    const char* name;
    std::function<void(IodModel&, int)> fault;
    std::vector<std::string> lines;
    uint16_t port;
    const char* text;
  };
  const Row rows[] = {
      {"strobe kept low on byte 2",
       [](IodModel& m, int t) { m.NeverReleaseStrobe(t, 2); },
       {"ReceiveByteN6 PC has not correct received, Timeout 2 \n", "ReceiveTxtN6 Fehler im String \n"},
       0xFDFF,
       nullptr},
      {"bad checksum",
       [](IodModel& m, int t) { m.CorruptAnswerChecksum(t); },
       {"ReceiveTxtN6 Fehler in checksumme Soll: 1f1  Ist: 1f0\n"},
       0xFFFF,
       "Hallo"},
      {"rejected", [](IodModel& m, int t) { m.RejectTelegram(t); }, {"SendTxtN6 MCM_COM_ERROR \n"}, 0xFF00, nullptr},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NextRow();
    const int t = NextTelegram();
    r.fault(*mcm, t);
    EXPECT_EQ(0, IODN6_SingleReceiveTxt("AAA", answer));
    std::vector<std::string> expected = r.lines;
    expected.push_back("Error SingleReceiveTxTN6 'AAA' \n");
    EXPECT_EQ(expected, log.Lines());
    EXPECT_EQ(2143, testsupport::LastError().code);
    EXPECT_EQ(static_cast<size_t>(t + 1), mcm->telegrams().size());
    EXPECT_EQ(0, iodtest::CountDelays(machine.trace(), 150000));
    EXPECT_EQ(r.port, machine.LastWritten(iodtest::kIodPort));
    if (r.text) {
      EXPECT_STREQ(r.text, answer);
    }
    // Recover the link for the next row: the MCM drops its answer when the
    // PC offers a byte, and a fresh exchange goes through.
    EXPECT_EQ(1, IODN6_SingleReceiveTxt("AAA", answer));
  }
}

TEST_F(IodLinkTest, AnswerLengthsOutsideTwoTo250AreRefusedWithoutReadingOn) {
  for (Variant v : kBoth) {
    for (int length : {0, 1, 251, 252, 253, 254, 255}) {
      SCOPED_TRACE(testing::Message() << Name(v) << " length " << length);
      NextRow();
      const int t = NextTelegram();
      mcm->SendAnswerLength(t, static_cast<uint8_t>(length));
      if (v == Variant::N6) {
        EXPECT_EQ(0, IODN6_SingleReceiveTxt("AAA", answer));
        EXPECT_EQ(std::vector<std::string>{"Error SingleReceiveTxTN6 'AAA' \n"}, log.Lines());
      } else {
        EXPECT_EQ(1, IODN5_RepReceiveTxt("AAA", answer));
        EXPECT_EQ(std::vector<std::string>{"Error RepReceiveTxT 'AAA' \n"}, log.Lines());
      }
      // Only the length byte was taken; the buffer was not written.
      EXPECT_EQ(1u, mcm->telegrams()[static_cast<size_t>(t)].answerTaken);
      if (v == Variant::N6) {
        EXPECT_EQ(kUnwritten, answer[0]);
      }
    }
  }
}

TEST_F(IodLinkTest, AnswerLengthsAtTheEdges) {
  std::string text;
  mcm->SetResponder([&](const std::string&) { return text; });
  struct Row {
    const char* name;
    std::string text;
    bool corrupt;
    int32_t result;
  };
  const Row rows[] = {
      // Length 2: an empty answer, taken only with the checksum 0.
      {"empty", "", false, 1},
      {"empty with checksum 1", "", true, 0},
      {"248 characters", std::string(248, 'x'), false, 1},
      // A zero character is copied like any other.
      {"zero inside", std::string("A\0B", 3), false, 1},
  };
  for (Variant v : kBoth) {
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << Name(v) << " " << r.name);
      NextRow();
      text = r.text;
      const int first = NextTelegram();
      if (r.corrupt)
        for (int t = first; t < first + 5; ++t) mcm->CorruptAnswerChecksum(t);
      EXPECT_EQ(r.result, RepReceive(v, "AAA"));
      EXPECT_EQ(0, memcmp(r.text.data(), answer, r.text.size()));
      EXPECT_EQ('\0', answer[r.text.size()]);
      EXPECT_TRUE(GuardIntact());
      if (r.result == 1) {
        EXPECT_TRUE(log.Lines().empty()) << log.Dump();
      }
    }
  }
}

// Characters of 0x80 and more add as unsigned bytes, and all 16 bits of
// the sum are compared with the received checksum.
TEST_F(IodLinkTest, TheAnswerChecksumIsTheWholeUnsignedSum) {
  std::string text;
  mcm->SetResponder([&](const std::string&) { return text; });
  const std::string ff248(248, '\xFF');  // sum 0xF708
  struct Row {
    const char* name;
    std::string text;
    uint16_t corruptBy;  // 0: the first answer is right
    const char* n6Line;
  };
  const Row rows[] = {
      {"248 x 0xFF", ff248, 0, nullptr},
      {"umlauts", "\xC4\xD6\xDC", 0, nullptr},
      {"high byte spoiled", "Hallo", 0x100, "ReceiveTxtN6 Fehler in checksumme Soll: 2f0  Ist: 1f0\n"},
      {"248 x 0xFF, high byte spoiled", ff248, 0x100, "ReceiveTxtN6 Fehler in checksumme Soll: f808  Ist: f708\n"},
      {"248 x 0xFF, low byte spoiled", ff248, 1, "ReceiveTxtN6 Fehler in checksumme Soll: f709  Ist: f708\n"},
  };
  for (Variant v : kBoth) {
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << Name(v) << " " << r.name);
      NextRow();
      text = r.text;
      if (r.corruptBy) mcm->CorruptAnswerChecksum(NextTelegram(), r.corruptBy);
      EXPECT_EQ(1, RepReceive(v, "AAA"));
      std::vector<std::string> expected;
      if (r.corruptBy)
        expected = {v == Variant::N5 ? "ReceiveTxt Fehler in checksumme \n" : r.n6Line, "Error RepReceiveTxT 'AAA' \n"};
      EXPECT_EQ(expected, log.Lines());
      EXPECT_EQ(0, memcmp(r.text.data(), answer, r.text.size()));
      EXPECT_EQ('\0', answer[r.text.size()]);
      EXPECT_TRUE(GuardIntact());
    }
  }
}

TEST_F(IodLinkTest, ASecondN6ExchangeWhileOneRunsIsTurnedAwayWithOne) {
  char inner[32] = "untouched";
  int32_t innerResult = -1;
  size_t telegramsSeenInside = 0;
  mcm->SetResponder([&](const std::string&) {
    telegramsSeenInside = mcm->telegrams().size();
    innerResult = IODN6_RepReceiveTxt("INNER", inner);
    return std::string("Hallo");
  });
  EXPECT_EQ(1, IODN6_RepReceiveTxt("AAA", answer));
  EXPECT_STREQ("Hallo", answer);
  EXPECT_EQ(1, innerResult);
  EXPECT_STREQ("untouched", inner);
  EXPECT_EQ((std::vector<std::string>{"RepReceiveTxtN6 is already in use \n", "wanted string to send INNER \n"}),
            log.Lines());
  // The turned-away call never reached the MCM.
  EXPECT_EQ(1u, telegramsSeenInside);
  EXPECT_EQ(1u, mcm->telegrams().size());
  EXPECT_EQ(0, testsupport::LastError().code);
}

// The guard turns a second caller away before anything else is looked at:
// neither an emulated board nor a missing command or answer buffer changes
// what the second caller gets.
TEST_F(IodLinkTest, TheN6GuardComesBeforeEmulationAndTheArguments) {
  struct Row {
    const char* name;
    int32_t emulation;
    const char* command;
    bool buffer;
  };
  const Row rows[] = {
      {"emulated", 1, "INNER", true},
      {"emulated, no command", 1, nullptr, true},
      {"emulated, no answer buffer", 1, "INNER", false},
      {"no command", 0, nullptr, true},
      {"no answer buffer", 0, "INNER", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    NextRow();
    char inner[32] = "untouched";
    int32_t innerResult = -1;
    std::vector<std::string> innerLines;
    mcm->SetResponder([&](const std::string&) {
      CARDN5_SetEmulation(r.emulation);
      // Switching emulation logs a line of its own.
      log.Clear();
      innerResult = IODN6_RepReceiveTxt(r.command, r.buffer ? inner : nullptr);
      innerLines = log.Lines();
      CARDN5_SetEmulation(0);
      return std::string("Hallo");
    });
    const int t = NextTelegram();
    EXPECT_EQ(1, IODN6_RepReceiveTxt("AAA", answer));
    EXPECT_STREQ("Hallo", answer);
    EXPECT_EQ(1, innerResult);
    EXPECT_STREQ("untouched", inner);
    const std::string wanted = std::string("wanted string to send ") + (r.command ? r.command : "") + " \n";
    EXPECT_EQ((std::vector<std::string>{"RepReceiveTxtN6 is already in use \n", wanted}), innerLines);
    EXPECT_EQ(0, testsupport::LastError().code);
    EXPECT_EQ(static_cast<size_t>(t + 1), mcm->telegrams().size());
  }
}

TEST_F(IodLinkTest, TheN6GuardIsReleasedAfterAFailedExchange) {
  const int first = NextTelegram();
  for (int t = first; t < first + 5; ++t) mcm->RejectTelegram(t);
  EXPECT_EQ(0, IODN6_RepReceiveTxt("AAA", answer));
  EXPECT_EQ(2143, testsupport::LastError().code);

  NextRow();
  EXPECT_EQ(1, IODN6_RepReceiveTxt("BBB", answer));
  EXPECT_STREQ("Hallo", answer);
  EXPECT_EQ("BBB", mcm->telegrams().back().command);
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodLinkTest, ASlowMcmOrAMissingVerdictStillGivesTheAnswer) {
  struct Row {
    const char* name;
    std::function<void(IodModel&, int)> fault;
    uint64_t atLeastNs;
  };
  const Row rows[] = {
      // 7 answer bytes, each 300 ms late: within the 30,000 polls of each wait.
      {"slow answer", [](IodModel& m, int t) { m.AnswerSlowly(t, 300 * iodtest::kMs); }, 7 * 300 * iodtest::kMs},
      {"verdict dropped", [](IodModel& m, int t) { m.DropVerdict(t, 400 * iodtest::kMs); }, 0},
  };
  for (Variant v : kBoth) {
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << Name(v) << " " << r.name);
      NextRow();
      r.fault(*mcm, NextTelegram());
      const uint64_t start = machine.NowNs();
      EXPECT_EQ(1, RepReceive(v, "AAA"));
      EXPECT_STREQ("Hallo", answer);
      EXPECT_TRUE(log.Lines().empty()) << log.Dump();
      EXPECT_GE(machine.NowNs() - start, r.atLeastNs);
      machine.AdvanceNs(400 * iodtest::kMs);
    }
  }
}

}  // namespace

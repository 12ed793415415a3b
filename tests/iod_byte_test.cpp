// The IOD byte handshake, each byte operation against the simulated MCM.
#include <gtest/gtest.h>

#include "CIOD.h"
#include "iod_model.h"
#include "iod_test_util.h"
#include "test_support.h"

namespace {

using iodtest::kIodPort;
using sim::IodModel;

class IodByteTest : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    mcm = &machine.Add<IodModel>();
  }

  using Transmit = int32_t (CIODCard::*)(uint8_t);
  using Receive = int32_t (CIODCard::*)(uint16_t*);

  CIODCard card;
  IodModel* mcm = nullptr;
};

struct TransmitVariant {
  const char* name;
  int32_t (CIODCard::*transmit)(uint8_t);
  const char* timeout1;
  const char* timeout2;
};
const TransmitVariant kTransmits[] = {
    {"N5", &CIODCard::IODTransmitByte, "IODTransmitByte MCM not ready to receive, Timeout 1 \n",
     "IODTransmitByte MCM has not correct received, Timeout 2 \n"},
    {"N6", &CIODCard::IODTransmitByteN6, "IODTransmitByteN6 MCM not ready to receive, Timeout 1 \n",
     "IODTransmitByteN6 MCM has not correct received, Timeout 2 \n"},
};

TEST_F(IodByteTest, TransmitPutsTheByteOnTheLinesBeforeStrobingAndKeepsItAfterwards) {
  // High bytes must not leak into the handshake bits, low ones must not be
  // widened: the upper half is 0xFF, 0xFE only while strobing.
  for (const TransmitVariant& v : kTransmits) {
    for (uint8_t byte : {uint8_t{0x41}, uint8_t{0x00}, uint8_t{0x80}, uint8_t{0xFF}}) {
      SCOPED_TRACE(testing::Message() << v.name << " byte 0x" << std::hex << int{byte});
      machine.trace().Clear();
      const size_t before = mcm->Received().size();
      EXPECT_EQ(1, (card.*v.transmit)(byte));
      EXPECT_EQ((std::vector<uint16_t>{0xFFFF, static_cast<uint16_t>(0xFF00 | byte),
                                       static_cast<uint16_t>(0xFE00 | byte), static_cast<uint16_t>(0xFF00 | byte)}),
                machine.trace().Writes(kIodPort));
      ASSERT_EQ(before + 1, mcm->Received().size());
      EXPECT_EQ(byte, mcm->Received().back());
      EXPECT_GE(machine.trace().ReadCount(kIodPort), 2u);
    }
  }
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

// The accesses between two writes to the port: 'R' for a read, 'D' for a
// 10 us pause, 'X' for any other pause. segment 0 lies before the first write.
std::string Segment(const sim::Trace& trace, size_t segment) {
  std::string shape;
  size_t writes = 0;
  for (const sim::TraceEntry& e : trace.entries()) {
    if (e.IsWrite() && e.port == kIodPort) {
      if (writes++ == segment) break;
      continue;
    }
    if (writes != segment) continue;
    if (e.IsRead() && e.port == kIodPort) shape.append(e.repeat, 'R');
    if (e.kind == sim::Access::Delay) shape += e.arg1 == 10 ? 'D' : 'X';
  }
  return shape;
}

// A wait that succeeds at poll k: the first test before any pause, then a
// pause before each further test.
std::string WaitOf(size_t k) {
  std::string shape = "R";
  for (size_t i = 1; i < k; ++i) shape += "DR";
  return shape;
}

TEST_F(IodByteTest, AWaitTestsTheLineBeforeItsFirstPause) {
  struct Row {
    uint64_t holdNs;  // how much later than the PC's first poll the MCM is ready
    size_t polls;     // polls see the line 1, 12, 23, ... us after the start
  };
  const Row rows[] = {{0, 1}, {5000, 2}, {12000, 2}, {13000, 3}, {30000, 4}, {1000000, 92}};
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(testing::Message() << "ready after " << r.holdNs << " ns");
    // All bytes belong to one long telegram; the MCM is ready for byte i by now.
    machine.AdvanceNs(20000);
    if (r.holdNs > 0) mcm->NeverReady(0, static_cast<int>(i), r.holdNs);
    machine.trace().Clear();
    EXPECT_EQ(1, card.IODTransmitByte(0x41));
    EXPECT_EQ(WaitOf(r.polls), Segment(machine.trace(), 0)) << machine.TraceText();
    // The MCM takes the byte 3 us after the strobe falls: the second poll sees it.
    EXPECT_EQ(WaitOf(2), Segment(machine.trace(), 3)) << machine.TraceText();
  }
  EXPECT_EQ(std::vector<uint8_t>(6, 0x41), mcm->Received());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodByteTest, TransmitToAnMcmThatIsNeverReadyGivesUpAfter30000PollsWithoutWriting) {
  mcm->NeverReady(0, 0);
  for (const TransmitVariant& v : kTransmits) {
    SCOPED_TRACE(v.name);
    machine.trace().Clear();
    log.Clear();
    EXPECT_EQ(0, (card.*v.transmit)(0x41));
    EXPECT_TRUE(machine.trace().Writes(kIodPort).empty());
    EXPECT_EQ(30000u, machine.trace().ReadCount(kIodPort));
    EXPECT_EQ(30000, iodtest::CountDelays(machine.trace(), 10));
    EXPECT_EQ(std::vector<std::string>{v.timeout1}, log.Lines());
  }
  EXPECT_TRUE(mcm->Received().empty());
}

TEST_F(IodByteTest, TransmitOfAByteTheMcmNeverTakesReleasesTheStrobeAndLeavesTheByteOnTheLines) {
  for (int i = 0; i < 2; ++i) {
    const TransmitVariant& v = kTransmits[i];
    SCOPED_TRACE(v.name);
    // Each refused byte starts a telegram of its own at the MCM.
    mcm->NeverTakeByte(i, 0);
    machine.trace().Clear();
    log.Clear();
    EXPECT_EQ(0, (card.*v.transmit)(0xC5));
    EXPECT_EQ((std::vector<uint16_t>{0xFFFF, 0xFFC5, 0xFEC5, 0xFFC5}), machine.trace().Writes(kIodPort));
    EXPECT_EQ(0xFFC5, machine.LastWritten(kIodPort));
    // One poll for ready, then the whole wait for the byte to be taken.
    EXPECT_EQ(1u + 30000u, machine.trace().ReadCount(kIodPort));
    EXPECT_EQ(std::vector<std::string>{v.timeout2}, log.Lines());
  }
  EXPECT_TRUE(mcm->Received().empty());
}

TEST_F(IodByteTest, ReceiveN5AcknowledgesThenReadsAndReleasesAfterOneMillisecond) {
  mcm->SetStatusLine(iod::In::RechtesRad, true);
  mcm->SendRaw({0xA5});
  uint16_t w = 0xBEEF;
  EXPECT_EQ(1, card.ReceiveByte(&w));
  // The input carried handshake and status bits; only the data byte counts.
  EXPECT_EQ(0x00A5, w);
  EXPECT_EQ((std::vector<uint16_t>{0xFFFF, 0xFDFF, 0xFFFF}), machine.trace().Writes(kIodPort));
  EXPECT_EQ(1u, mcm->rawTaken());

  // Order: the strobe seen once, the acknowledge, then one read of the data,
  // then the 1 ms pause before the release.
  const auto& e = machine.trace().entries();
  size_t ack = 0;
  while (ack < e.size() && !(e[ack].IsWrite() && e[ack].value == 0xFDFF)) ++ack;
  ASSERT_TRUE(ack > 0 && ack + 3 < e.size()) << machine.TraceText();
  EXPECT_TRUE(e[ack - 1].IsRead() && !(e[ack - 1].value & 0x100) && e[ack - 1].repeat == 1);
  EXPECT_TRUE(e[ack + 1].IsRead() && e[ack + 1].repeat == 1);
  EXPECT_EQ(0xA5, e[ack + 1].value & 0xFF);
  EXPECT_NE(0, e[ack + 1].value & 0xFF00);
  EXPECT_TRUE(e[ack + 2].kind == sim::Access::Delay && e[ack + 2].arg1 == 1000);
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodByteTest, ReceiveN6ReadsBeforeAcknowledgingAndWaitsForTheStrobeToRise) {
  mcm->SendRaw({0x5A, 0x00});
  uint16_t w = 0xBEEF;
  EXPECT_EQ(1, card.ReceiveByteN6(&w));
  EXPECT_EQ(0x005A, w);
  EXPECT_EQ((std::vector<uint16_t>{0xFFFF, 0xFDFF, 0xFFFF}), machine.trace().Writes(kIodPort));

  // The poll that saw the strobe and the data read fold into one entry of
  // two identical reads right before the acknowledge; the release follows
  // only a read that saw the strobe high again.
  const auto& e = machine.trace().entries();
  size_t ack = 0;
  while (ack < e.size() && !(e[ack].IsWrite() && e[ack].value == 0xFDFF)) ++ack;
  ASSERT_TRUE(ack > 0 && ack + 1 < e.size()) << machine.TraceText();
  EXPECT_TRUE(e[ack - 1].IsRead() && !(e[ack - 1].value & 0x100));
  EXPECT_EQ(2u, e[ack - 1].repeat);
  EXPECT_EQ(0, iodtest::CountDelays(machine.trace(), 1000));
  const sim::TraceEntry& beforeRelease = e[e.size() - 2];
  EXPECT_TRUE(beforeRelease.IsRead() && (beforeRelease.value & 0x100)) << machine.TraceText();

  // The MCM's second byte is there for the next call.
  EXPECT_EQ(1, card.ReceiveByteN6(&w));
  EXPECT_EQ(0x0000, w);
  EXPECT_EQ(2u, mcm->rawTaken());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodByteTest, ReceiveWithoutAStrobeTimesOutAfter30000PollsWithTheLinesIdle) {
  struct Row {
    const char* name;
    int32_t (CIODCard::*receive)(uint16_t*);
    const char* line;
  };
  const Row rows[] = {
      {"N5", &CIODCard::ReceiveByte, "ReceiveByte Timeout \n"},
      {"N6", &CIODCard::ReceiveByteN6, "ReceiveByteN6 PC not ready to receive, timeout 1\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    machine.trace().Clear();
    log.Clear();
    uint16_t w = 0xBEEF;
    EXPECT_EQ(0, (card.*r.receive)(&w));
    EXPECT_EQ(0xBEEF, w);
    EXPECT_EQ(std::vector<uint16_t>{0xFFFF}, machine.trace().Writes(kIodPort));
    EXPECT_EQ(30000u, machine.trace().ReadCount(kIodPort));
    EXPECT_EQ(30000, iodtest::CountDelays(machine.trace(), 10));
    EXPECT_EQ(std::vector<std::string>{r.line}, log.Lines());
  }
}

TEST_F(IodByteTest, ReceiveN6WhoseStrobeNeverRisesKeepsTheByteAndLeavesTheAcknowledgeLow) {
  mcm->NeverReleaseStrobe(IodModel::kRaw, 0);
  mcm->SendRaw({0x3C});
  uint16_t w = 0;
  EXPECT_EQ(0, card.ReceiveByteN6(&w));
  EXPECT_EQ(0x003C, w);
  EXPECT_EQ((std::vector<uint16_t>{0xFFFF, 0xFDFF}), machine.trace().Writes(kIodPort));
  EXPECT_EQ(0xFDFF, machine.LastWritten(kIodPort));
  const iodtest::Tail wait = iodtest::AfterLastWrite(machine.trace());
  EXPECT_EQ(30000u, wait.reads);
  EXPECT_EQ(30000, wait.shortPauses);
  EXPECT_EQ(std::vector<std::string>{"ReceiveByteN6 PC has not correct received, Timeout 2 \n"}, log.Lines());

  // The next byte operation idles the port before anything else.
  machine.trace().Clear();
  card.ReceiveByteN6(&w);
  ASSERT_FALSE(machine.trace().Writes(kIodPort).empty());
  EXPECT_EQ(0xFFFF, machine.trace().Writes(kIodPort).front());
}

TEST_F(IodByteTest, ReceiveN5DoesNotWaitForTheStrobeToRise) {
  mcm->NeverReleaseStrobe(IodModel::kRaw, 0);
  mcm->SendRaw({0x3C, 0x99});
  uint16_t w = 0;
  EXPECT_EQ(1, card.ReceiveByte(&w));
  EXPECT_EQ(0x003C, w);
  EXPECT_EQ(0xFFFF, machine.LastWritten(kIodPort));
  // With the strobe still low the next call takes the same byte again.
  EXPECT_EQ(1, card.ReceiveByte(&w));
  EXPECT_EQ(0x003C, w);
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodByteTest, ASlowMcmWithinTheTimeOutIsWaitedFor) {
  // 30,000 polls of 1 us access and 10 us pause are 330 ms.
  mcm->AnswerSlowly(IodModel::kRaw, 320 * iodtest::kMs);
  mcm->SendRaw({0x11, 0x22});
  uint16_t w = 0;
  EXPECT_EQ(1, card.ReceiveByte(&w));
  EXPECT_EQ(0x11, w);
  EXPECT_EQ(1, card.ReceiveByteN6(&w));
  EXPECT_EQ(0x22, w);
  EXPECT_GE(machine.NowNs(), 640 * iodtest::kMs);
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();

  // A little slower and the wait runs out first.
  mcm->ClearFaults();
  mcm->AnswerSlowly(IodModel::kRaw, 340 * iodtest::kMs);
  mcm->SendRaw({0x33});
  EXPECT_EQ(0, card.ReceiveByteN6(&w));
  EXPECT_EQ(std::vector<std::string>{"ReceiveByteN6 PC not ready to receive, timeout 1\n"}, log.Lines());
}

TEST_F(IodByteTest, InitPowerOnTouchesNoPort) {
  EXPECT_EQ(1, card.InitPowerOn());
  EXPECT_EQ(0, iodtest::IodAccesses(machine.trace()));
}

}  // namespace

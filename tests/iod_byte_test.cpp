// The byte handshake, each byte operation of the board object against the
// simulated MCM: what the PC writes, when it reads the data, how long it
// waits, and what it keeps when the MCM does not answer. Sending a byte
// that the MCM takes is pinned by the telegrams on the wire.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "iod_link_fixture.h"

namespace {

using namespace iodtest;

enum class Byte { TxN5, TxN6, RxN5, RxN6 };

int32_t ByteOp(Byte op, uint8_t byte, uint16_t* pwWord) {
  switch (op) {
    case Byte::TxN5:
      return g_pIOD->IODTransmitByte(byte);
    case Byte::TxN6:
      return g_pIOD->IODTransmitByteN6(byte);
    case Byte::RxN5:
      return g_pIOD->ReceiveByte(pwWord);
    case Byte::RxN6:
      return g_pIOD->ReceiveByteN6(pwWord);
  }
  return -1;
}

TEST_F(IodTest, ByteOperationsWaitAtMost30000PollsAndLeaveTheLinesAsTheyStopped) {
  // Handshake and status bits on the input never reach the stored byte.
  mcm->SetStatusLine(iod::In::RechtesRad, true);
  // The op; the byte sent, or offered by the MCM first (-1: none); Held
  // on the offered byte, or NotReady for any byte; the result; the word a
  // receive stored (0xBEEF: none); the writes; the reads before the PC
  // acknowledged (all, if it never did); the time paused; the log.
  using Row = std::tuple<Byte, int, Fault, int32_t, uint16_t, std::vector<uint16_t>, uint64_t, uint64_t,
                         std::vector<std::string>>;
  // The MCM offers a byte 3 us after it is asked to: the PC's first poll
  // misses it. N5 reads the data after acknowledging, N6 before.
  const Row rows[] = {
      {Byte::RxN5, 0xA5, Fault::None, 1, 0x00A5, {0xFFFF, 0xFDFF, 0xFFFF}, 2, 1010, {}},
      {Byte::RxN6, 0x5A, Fault::None, 1, 0x005A, {0xFFFF, 0xFDFF, 0xFFFF}, 3, 20, {}},
      {Byte::RxN5, -1, Fault::None, 0, 0xBEEF, {0xFFFF}, 30000, 300000, {kNoStrobeN5}},
      // N6 keeps a byte whose strobe never rises, and its acknowledge.
      {Byte::RxN6, 0x3C, Fault::Held, 0, 0x003C, {0xFFFF, 0xFDFF}, 3, 300010, {kNoReleaseN6}},
      {Byte::TxN5, 0x41, Fault::NotReady, 0, 0xBEEF, {}, 30000, 300000, {kNotReadyN5}},
  };
  for (const auto& [op, byte, fault, result, word, writes, readsBeforeAck, pausedUs, lines] : rows) {
    SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << ", byte " << byte);
    NextRow();
    Inject(*mcm, fault, fault == Fault::Held ? IodModel::kRaw : 0, 0);
    if (op >= Byte::RxN5 && byte >= 0) mcm->SendRaw({static_cast<uint8_t>(byte)});
    uint16_t w = 0xBEEF;
    EXPECT_EQ(result, ByteOp(op, static_cast<uint8_t>(byte), &w));
    EXPECT_EQ(word, w);
    EXPECT_EQ(writes, RowTrace().Writes(iod::kOutPort));
    const auto ack = std::find_if(RowTrace().begin(), RowTrace().end(),
                                  [](const sim::TraceEntry& e) { return e.IsWrite() && e.value == 0xFDFF; });
    EXPECT_EQ(readsBeforeAck, sim::TraceView(RowTrace().begin(), ack).ReadCount(iod::kInPort));
    const std::vector<uint32_t> pauses = RowTrace().Delays();
    EXPECT_EQ(pausedUs, std::accumulate(pauses.begin(), pauses.end(), uint64_t{0}));
    EXPECT_EQ(Texts(lines, 0), log.Lines());
  }
}

}  // namespace

// The simulated MCM on its own, driven by hand from the PC's side: the
// checks and recoveries that the library, which always frames correctly,
// never provokes.
#include "iod_model.h"

#include <gtest/gtest.h>

#include <vector>

#include "hwio32.h"
#include "test_support.h"

namespace {

using sim::IodModel;

class IodModelTest : public testsupport::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    mcm = &machine.Add<IodModel>();
  }
  uint16_t In() { return static_cast<uint16_t>(HWIO_Hin(IodModel::kPort)); }
  void Out(uint16_t v) { HWIO_Hout(IodModel::kPort, v); }
  // The PC's side of one byte, with time for the MCM to react at each step.
  void SendByte(uint8_t b) {
    Out(0xFFFF);
    Out(static_cast<uint16_t>(0xFF00 | b));
    Out(static_cast<uint16_t>(0xFE00 | b));
    machine.AdvanceNs(20000);
    Out(static_cast<uint16_t>(0xFF00 | b));
    machine.AdvanceNs(20000);
  }
  void Send(const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) SendByte(b);
    // Long enough for an N6 telegram that may still grow to be closed.
    machine.AdvanceNs(IodModel::kShortEndNs);
  }
  IodModel* mcm = nullptr;
};

TEST_F(IodModelTest, ChecksLengthAndChecksumOfEachVariant) {
  struct Row {
    const char* name;
    IodModel::Variant variant;
    std::vector<uint8_t> bytes;
    bool accepted;
  };
  const Row rows[] = {
      {"N5 good", IodModel::Variant::N5, {0x05, 0x41, 0x41, 0x41, 0xC3, 0x00}, true},
      {"N5 checksum off", IodModel::Variant::N5, {0x05, 0x41, 0x41, 0x41, 0xC4, 0x00}, false},
      {"N5 checksum masked as N6", IodModel::Variant::N5, {0x05, 0x41, 0x41, 0x41, 0x43, 0x00}, false},
      {"N6 good", IodModel::Variant::N6, {0x85, 0x41, 0x41, 0x41, 0x43, 0x00}, true},
      {"N6 checksum unmasked", IodModel::Variant::N6, {0x85, 0x41, 0x41, 0x41, 0xC3, 0x00}, false},
      {"N6 without its mark", IodModel::Variant::N6, {0x05, 0x41, 0x41, 0x41, 0x43, 0x00}, false},
      {"length 1", IodModel::Variant::N5, {0x01, 0x00}, false},
      {"auto reads a marked length as N6", IodModel::Variant::Auto, {0x82, 0x00, 0x00}, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    mcm->SetVariant(r.variant);
    const size_t before = mcm->telegrams().size();
    Send(r.bytes);
    ASSERT_EQ(before + 1, mcm->telegrams().size());
    const IodModel::Telegram& t = mcm->telegrams().back();
    EXPECT_TRUE(t.complete);
    EXPECT_EQ(r.bytes, t.bytes);
    EXPECT_EQ(r.accepted, t.accepted);
    const uint16_t in = In();
    EXPECT_EQ(r.accepted, (in & 0x0400) != 0);
    EXPECT_NE(0, in & 0x0200) << "ready again after the verdict";
    // Only an accepted telegram is answered: the empty answer 02 00 00.
    machine.AdvanceNs(IodModel::kAnswerNs + 1000);
    EXPECT_EQ(r.accepted, (In() & 0x0100) == 0);
    const std::vector<uint8_t> emptyAnswer = {0x02, 0x00, 0x00};
    EXPECT_EQ(r.accepted ? emptyAnswer : std::vector<uint8_t>(), t.answer);
  }
}

TEST_F(IodModelTest, AnN6LengthAbove127CountsItsMarkBit) {
  // 0x85 may announce 5 bytes or 133: with a checksum that does not fit
  // after 5, the MCM reads on to 133.
  std::vector<uint8_t> bytes = {0x85};
  uint16_t sum = 0;
  for (int i = 0; i < 131; ++i) {
    bytes.push_back('A');
    sum = static_cast<uint16_t>(sum + 'A');
  }
  sum &= 0xFF7F;
  bytes.push_back(static_cast<uint8_t>(sum & 0xFF));
  bytes.push_back(static_cast<uint8_t>(sum >> 8));
  mcm->SetVariant(IodModel::Variant::N6);
  Send(bytes);
  ASSERT_EQ(1u, mcm->telegrams().size());
  EXPECT_TRUE(mcm->telegrams()[0].accepted);
  EXPECT_EQ(std::string(131, 'A'), mcm->telegrams()[0].command);
}

TEST_F(IodModelTest, AnUnsteadyVerdictIsRightOnlyInItsWindow) {
  const std::vector<uint8_t> good = {0x05, 0x41, 0x41, 0x41, 0xC3, 0x00};
  const std::vector<uint8_t> bad = {0x05, 0x41, 0x41, 0x41, 0xC4, 0x00};
  mcm->SetVariant(IodModel::Variant::N5);
  for (const auto& bytes : {good, bad}) {
    const bool accepted = bytes == good;
    SCOPED_TRACE(accepted ? "accepted" : "rejected");
    const int t = static_cast<int>(mcm->telegrams().size());
    // Right from 10 us after the first read that sees ready, for 20 us.
    mcm->UnsteadyVerdict(t, 10000, 20000);
    Send(bytes);
    ASSERT_EQ(accepted, mcm->telegrams().back().accepted);
    struct Step {
      uint64_t waitNs;  // before the read, which itself takes 1 us
      bool right;
    };
    // Read at 0, 9, 11, 30 and 31 us after the first.
    const Step steps[] = {{0, false}, {8000, false}, {1000, true}, {18000, true}, {0, false}};
    for (const Step& step : steps) {
      machine.AdvanceNs(step.waitNs);
      const uint16_t in = In();
      ASSERT_NE(0, in & 0x0200);
      EXPECT_EQ(step.right ? accepted : !accepted, (in & 0x0400) != 0) << "at " << machine.NowNs();
    }
    // The answer of an accepted telegram is on its way meanwhile; a PC byte ends it.
    machine.AdvanceNs(IodModel::kResyncNs + 1000);
  }
}

TEST_F(IodModelTest, AnAnswerChecksumCanBeSpoiledInItsHighByteOnly) {
  mcm->SetResponder([](const std::string&) { return std::string("\xFF\xFF"); });
  mcm->CorruptAnswerChecksum(0, 0x100);
  mcm->CorruptAnswerChecksum(1);
  Send({0x02, 0x00, 0x00});
  Send({0x02, 0x00, 0x00});
  ASSERT_EQ(2u, mcm->telegrams().size());
  EXPECT_EQ((std::vector<uint8_t>{0x04, 0xFF, 0xFF, 0xFE, 0x02}), mcm->telegrams()[0].answer);
  EXPECT_EQ((std::vector<uint8_t>{0x04, 0xFF, 0xFF, 0xFF, 0x01}), mcm->telegrams()[1].answer);
}

TEST_F(IodModelTest, AGapInATelegramStartsANewOneAndAPcByteEndsTheAnswer) {
  SendByte(0x05);
  SendByte(0x41);
  machine.AdvanceNs(IodModel::kResyncNs + 1000);
  Send({0x02, 0x00, 0x00});
  ASSERT_EQ(2u, mcm->telegrams().size());
  EXPECT_FALSE(mcm->telegrams()[0].complete);
  EXPECT_TRUE(mcm->telegrams()[1].accepted);

  // The answer's length byte is on the lines; the PC offers a byte instead.
  machine.AdvanceNs(IodModel::kAnswerNs + 1000);
  ASSERT_EQ(0, In() & 0x0100);
  Out(0xFFFF);
  Out(0xFF02);
  Out(0xFE02);
  EXPECT_NE(0, In() & 0x0100) << "the MCM let go of its strobe";
  EXPECT_EQ(0u, mcm->telegrams()[1].answerTaken);
}

}  // namespace

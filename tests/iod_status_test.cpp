// The machine's status inputs on the IOD port, and what the link answers
// while the boards are emulated.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iod_link_fixture.h"

namespace {

using iodtest::IodLinkTest;

struct Status {
  int32_t rapportStand, deviceReady, rechtesRadHinten, xenonOn;
  bool operator==(const Status& o) const {
    return rapportStand == o.rapportStand && deviceReady == o.deviceReady && rechtesRadHinten == o.rechtesRadHinten &&
           xenonOn == o.xenonOn;
  }
};
std::ostream& operator<<(std::ostream& os, const Status& s) {
  return os << "{" << s.rapportStand << ", " << s.deviceReady << ", " << s.rechtesRadHinten << ", " << s.xenonOn << "}";
}
Status QueryAll() {
  return {IODN5_TestRapportStand(), IODN5_TestDeviceReady(), IODN5_TestRechtesRadHinten(), IODN5_IsXenonOn()};
}

TEST_F(IodLinkTest, StatusQueriesReadOneLineEachWithItsPolarity) {
  // Bit 11 is active high, bits 12 and 13 active low.
  for (int levels = 0; levels < 8; ++levels) {
    const bool bit11 = levels & 1, bit12 = levels & 2, bit13 = levels & 4;
    SCOPED_TRACE(testing::Message() << "bits 11-13 at " << bit11 << bit12 << bit13);
    NextRow();
    mcm->SetStatusLine(iod::In::RechtesRad, bit11);
    mcm->SetStatusLine(iod::In::RapportStand, bit12);
    mcm->SetStatusLine(iod::In::DeviceReady, bit13);
    EXPECT_EQ((Status{!bit12, !bit13, bit11, bit11}), QueryAll());
    EXPECT_EQ(4u, machine.trace().ReadCount(iodtest::kIodPort));
    EXPECT_TRUE(machine.trace().Writes(iodtest::kIodPort).empty());
  }
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(IodLinkTest, EmulatedBoardsAnswerWithoutTheMcm) {
  // The machine says the opposite of every emulated answer, so a query that
  // read the port would show it.
  mcm->SetStatusLine(iod::In::RechtesRad, false);
  mcm->SetStatusLine(iod::In::RapportStand, true);
  mcm->SetStatusLine(iod::In::DeviceReady, true);
  struct Row {
    int32_t flag;
    Status status;
    int statusReads;  // emulated reads of the port by the status queries
  };
  // Flag 1 emulates everything. Any other non-zero flag emulates the
  // telegrams only; the status queries then read the port library's
  // emulated value, 0.
  const Row rows[] = {{1, {1, 1, 0, 1}, 0}, {2, {1, 1, 0, 0}, 4}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "flag " << r.flag);
    CARDN5_SetEmulation(r.flag);
    NextRow();
    EXPECT_EQ(1, IODN5_InitPowerOn());
    EXPECT_EQ(1, IODN5_RepSendTxt("AAA"));
    EXPECT_EQ(1, IODN6_RepSendTxt("AAA"));
    // "Emulation" and its terminator fill 10 bytes.
    char small[10];
    EXPECT_EQ(1, IODN5_RepReceiveTxt("AAA", small));
    EXPECT_STREQ("Emulation", small);
    ResetAnswer();
    EXPECT_EQ(1, IODN6_RepReceiveTxt("AAA", answer));
    EXPECT_STREQ("Emulation", answer);
    ResetAnswer();
    EXPECT_EQ(1, IODN6_SingleReceiveTxt("AAA", answer));
    EXPECT_STREQ("Emulation", answer);
    EXPECT_EQ(0, iodtest::IodAccesses(machine.trace()));

    EXPECT_EQ(r.status, QueryAll());
    EXPECT_EQ(r.statusReads, iodtest::IodAccesses(machine.trace()));
    for (const sim::TraceEntry& e : machine.trace().entries()) EXPECT_TRUE(e.emulated());
    EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  }
  EXPECT_TRUE(mcm->telegrams().empty());
}

}  // namespace

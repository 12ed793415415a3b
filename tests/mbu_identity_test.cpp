// MBU power-on: the card identity per jumper ID, the CSI write, the result
// that follows the error library, the card record before any power-on.
#include <gtest/gtest.h>

#include <string>

#include "errlog32.h"
#include "errlog32_ext.h"
#include "mbu_support.h"

namespace {

using mbutest::MbuTest;

struct IdentityRow {
  uint32_t boardId;  // jumper ID on the simulated board
  int32_t emulation;
  bool errorBefore;  // another board recorded an error earlier
  MBU_CARD_INFO info;
  const char* advance;
  int32_t result, errors;
};

TEST_F(MbuTest, PowerOnIdentifiesTheCardByItsJumperID) {
  const IdentityRow rows[] = {
      {0, 0, false, {0, 0x800000, 0}, "standard advance ", 1, 0},
      {1, 0, false, {1, 0x1000000, 0}, "standard advance ", 1, 0},
      {2, 0, false, {2, 0x800000, 2}, " 'TRIM' advance ", 1, 0},
      {3, 0, false, {3, 0x1000000, 2}, " 'TRIM' advance ", 1, 0},
      {4, 0, false, {4, 0x800000, 0}, "standard advance ", 1, 0},
      {5, 0, false, {5, 0x1000000, 2}, " 'TRIM' advance ", 1, 0},
      {6, 0, false, {6, 0x1000000, 2}, " 'TRIM' advance ", 1, 0},
      {1, 2, false, {6, 0x1000000, 2}, " 'TRIM' advance ", 1, 0},  // emulated (2): the ID read before
      {7, 0, false, {7, 0, MBU_ADVANCE_UNDEFINED}, "no advance type defined ", 0, 2},
      {0, 1, false, {3, 0x1000000, 2}, " 'TRIM' advance ", 1, 0},  // emulated (= 1): always ID 3
      {1, 0, true, {1, 0x1000000, 0}, "standard advance ", 0, 0},
  };
  for (const IdentityRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "jumper " << r.boardId << " emulation " << r.emulation);
    mbu->set_jumper_id(r.boardId);
    CARDN5_SetEmulation(r.emulation);
    testsupport::ClearLastError();
    if (r.errorBefore) ERRLOG_SetLastDebugError(2142, 0, "CIOD.cpp", 1);
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, MBUN5_InitPowerOn());
    const MBU_CARD_INFO info = MBUN5_GetCardInfo();
    EXPECT_EQ(r.info.dwJumperID, info.dwJumperID);
    EXPECT_EQ(r.info.dwPossiblePixels, info.dwPossiblePixels);
    EXPECT_EQ(r.info.dwAdvanceType, info.dwAdvanceType);
    std::vector<std::string> lines = {"CMBUCard::SetCardInfo \n",
                                      "CMBUCard::GetCardID  jumper ID is " + std::to_string(r.info.dwJumperID) + " \n"};
    if (r.info.dwJumperID == 7) lines.push_back("no valid card ID 7 \n");
    lines.push_back("CMBUCard::SetCardInfo  jumper ID: " + std::to_string(r.info.dwJumperID) + " \n");
    lines.push_back("CMBUCard::SetCardInfo  possible pixels: " + std::to_string(r.info.dwPossiblePixels) + " \n");
    lines.push_back(std::string("CMBUCard::SetCardInfo  advance type: ") + r.advance + " \n");
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(r.errors, ERRLOGX_ErrorCount() - (r.errorBefore ? 1 : 0));
    EXPECT_EQ(r.errors ? 4830 : r.errorBefore ? 2142 : 0, testsupport::LastError().code);
    // The CSI register is cleared even when emulated; the direction only then goes out.
    const sim::TraceView since = machine.trace().Since(mark);
    EXPECT_EQ(std::vector<uint16_t>{0}, since.Writes(0x0302));
    EXPECT_EQ(r.emulation ? 0u : 1u, since.Writes(0xB300).size());
    EXPECT_EQ(r.emulation ? 0u : 2u, since.CountDelays(1000));
    EXPECT_EQ(r.emulation ? 0u : 1u, since.ReadCount(0xA700));
  }
  EXPECT_FALSE(mbu->direction());
  CARDN5_SetEmulation(0);
}

TEST_F(MbuTest, CardRecordBeforePowerOnAndTheDirectionCountAtDeletion) {
  CARDN5_DeleteCardObjects();
  EXPECT_EQ(1, log.Count("CARDN532 MBU SetSMDirectionCnt 1 \n")) << log.Dump();
  EXPECT_EQ(0, MBUN5_InitAction(0, 0));  // no board object: nothing touched
  for (int created = 0; created < 2; ++created) {
    const MBU_CARD_INFO info = MBUN5_GetCardInfo();
    EXPECT_EQ(MBU_JUMPER_ID_UNREAD, info.dwJumperID);
    EXPECT_EQ(0u, info.dwPossiblePixels);
    EXPECT_EQ(MBU_ADVANCE_UNDEFINED, info.dwAdvanceType);
    ASSERT_EQ(1, CARDN5_CreateCardObjects());
  }
  EXPECT_EQ(0u, machine.trace().Since(0).WriteCount());
  log.Clear();
  CARDN5_DeleteCardObjects();  // no direction set: no line
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

}  // namespace

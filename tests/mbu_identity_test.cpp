// MBU power-on: the card identity per jumper ID, the CSI write, the result
// that follows the error library, the card record before any power-on.
#include <gtest/gtest.h>

#include "errlog32.h"
#include "errlog32_ext.h"
#include "mbu_support.h"

namespace {

using mbutest::Lines;
using mbutest::MbuTest;
using mbutest::Writes;

// The jumper ID the board shows; an error another board recorded earlier.
struct IdentityRow {
  int32_t boardId, emulation, errorBefore;
  MBU_CARD_INFO info;
  const char* advance;
  int32_t result, errors;
};

TEST_F(MbuTest, PowerOnIdentifiesTheCardByItsJumperID) {
  const char *kStd = "standard advance ", *kTRIM = " 'TRIM' advance ";
  // clang-format off
  const IdentityRow rows[] = {
      {0, 0, 0, {0, 0x800000, 0}, kStd, 1, 0},
      {1, 0, 0, {1, 0x1000000, 0}, kStd, 1, 0},
      {2, 0, 0, {2, 0x800000, 2}, kTRIM, 1, 0},
      {3, 0, 0, {3, 0x1000000, 2}, kTRIM, 1, 0},
      {4, 0, 0, {4, 0x800000, 0}, kStd, 1, 0},
      {5, 0, 0, {5, 0x1000000, 2}, kTRIM, 1, 0},
      {6, 0, 0, {6, 0x1000000, 2}, kTRIM, 1, 0},
      {1, 2, 0, {6, 0x1000000, 2}, kTRIM, 1, 0},  // emulated (2): not read, the ID read before
      {7, 0, 0, {7, 0, MBU_ADVANCE_UNDEFINED}, "no advance type defined ", 0, 2},
      {0, 1, 0, {3, 0x1000000, 2}, kTRIM, 1, 0},  // emulated (= 1): always ID 3
      {1, 0, 1, {1, 0x1000000, 0}, kStd, 0, 0},
  };
  // clang-format on
  for (const IdentityRow& r : rows) {
    SCOPED_TRACE(testing::Message() << "jumper " << r.boardId << " emulation " << r.emulation);
    mbu->set_jumper_id(static_cast<uint32_t>(r.boardId));
    CARDN5_SetEmulation(r.emulation);
    testsupport::ClearLastError();
    if (r.errorBefore) ERRLOG_SetLastDebugError(2142, 0, "CIOD.cpp", 1);
    log.Clear();
    const size_t mark = machine.trace().Mark();
    EXPECT_EQ(r.result, MBUN5_InitPowerOn());
    EXPECT_EQ(r.info, MBUN5_GetCardInfo());
    const std::string id = std::to_string(r.info.dwJumperID);
    Lines lines = {"CMBUCard::SetCardInfo \n", "CMBUCard::GetCardID  jumper ID is " + id + " \n"};
    if (r.boardId == 7) lines.push_back("no valid card ID 7 \n");
    lines.push_back("CMBUCard::SetCardInfo  jumper ID: " + id + " \n");
    lines.push_back("CMBUCard::SetCardInfo  possible pixels: " + std::to_string(r.info.dwPossiblePixels) + " \n");
    lines.push_back(std::string("CMBUCard::SetCardInfo  advance type: ") + r.advance + " \n");
    EXPECT_EQ(lines, log.Lines());
    EXPECT_EQ(r.errors + (r.errorBefore ? 1 : 0), ERRLOGX_ErrorCount());
    EXPECT_EQ(r.errors ? 4830 : r.errorBefore ? 2142 : 0, testsupport::LastError().code);
    // The CSI register is cleared even when emulated; only then the direction stays in the shadow.
    EXPECT_EQ((r.emulation ? Writes{{0x0302, 0}} : Writes{{0x0302, 0}, {0xB300, 0}}), Since(mark).AllWrites());
    EXPECT_EQ(r.emulation ? 0u : 2u, Since(mark).CountDelays(1000));
    EXPECT_EQ(r.emulation ? 0u : 1u, Since(mark).ReadCount(0xA700));
  }
  CARDN5_SetEmulation(0);
}

}  // namespace

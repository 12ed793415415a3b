// What the EPU shows in a process where nothing touched it before: the
// register shadows and the random cursor live as long as the process, so
// this program holds this one test only.

#include "epu_support.h"

namespace {

using eputest::EpuTest;

TEST_F(EpuTest, FreshLibraryOutputWordAndFirstRandomOffset) {
  // the output word starts at 0: switching the laser diode on sets bit 1 alone
  EXPECT_EQ((std::vector<int>{0x0000, 1, 0x0002}),
            (std::vector<int>{EPUN5_GetOKOutput(), EPUN5_TurnLaserdiodeOn(1) != 0, epu->ok_output()}));

  // the first offset drawn after loading is entry 1 of the table
  PrepareJob();
  ASSERT_EQ(1, Row(1, 3, 0xFFFF));
  EXPECT_EQ((std::pair<int, int>{300 + g_pEPU->m_awRandomOffsets[1], 1}),
            (std::pair<int, int>{epu->rows().front().startPos, g_wRandomCursor}));
}

}  // namespace

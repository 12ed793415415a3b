// What the EPU shows in a process where nothing touched it before: the
// register shadows and the random cursor live as long as the process, so
// this program holds this one test only.
#include <gtest/gtest.h>

#include "epu_support.h"

namespace {

using eputest::DefaultJob;
using eputest::EpuTest;
using sim::EpuModel;

TEST_F(EpuTest, FreshLibraryOutputWordAndFirstRandomOffset) {
  // the output word starts at 0: switching the laser diode on leaves bit 1 alone
  EXPECT_EQ(0x0000, EPUN5_GetOKOutput());
  EXPECT_NE(0, EPUN5_TurnLaserdiodeOn(1));
  EXPECT_EQ(0x0002, EPUN5_GetOKOutput());
  EXPECT_EQ(0x0002, epu->ok_output());
  EXPECT_EQ(0u, machine.trace().ReadCount(EpuModel::kOKOutput));

  // the first offset drawn after loading is entry 1 of the table
  PrepareJob(DefaultJob());
  ASSERT_EQ(1, EPUN5_DoOneRow(0x10, 0x20, 1, 3, 0xFFFF, &eputest::SmMoveRecorder::Move));
  const std::vector<uint16_t> startPos = machine.trace().Writes(EpuModel::kStartPos);
  ASSERT_EQ(3u, startPos.size());
  EXPECT_EQ(static_cast<uint16_t>(300 + g_pEPU->m_awRandomOffsets[1]), startPos[0]);
  EXPECT_EQ(1, g_wRandomCursor);
}

}  // namespace

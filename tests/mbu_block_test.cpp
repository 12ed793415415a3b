// MBU blocks and banks: the record checks, the bulk transfers, the wait for
// a writable bank, the bank debounce, a 50-block job, random records.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "mbu_block_fuzz.h"
#include "mbu_support.h"

namespace {

using mbutest::Block;
using mbutest::Image;
using mbutest::Lines;
using mbutest::MbuTest;

// The record's fields, the emulation flag, the words written when accepted
// or the log line of a refused block.
struct BlockRow {
  uint32_t x, y, byteCount, countFromPixels, zero, mode, emulation, words;
  const char* refusal;
};

TEST_F(MbuTest, BlockChecksRefuseBeforeAnyPortAccess) {
  static std::vector<uint16_t> image = Image(0x100000, 7);
  const char* kTooLarge = "CMBUCard: dwBildBytezahl > MBU_MEMORY\n";
  // clang-format off
  const BlockRow rows[] = {
      {16, 1, 0, 0, 0, 0, 0, 1, nullptr},
      {24, 1, 0, 0, 0x180, 0, 0, 0, "CMBUCard: Pixelzahl X muss Modulo 16 sein \n"},  // the first check wins
      {4, 5, 0, 1, 0, 0, 0, 2, nullptr},
      {4, 5, 7, 0, 0, 0, 0, 3, nullptr},
      {4, 5, 7, 2, 0, 0, 0, 3, nullptr},
      {16, 0xC0000, 0, 0, 0, 0, 0, 0xC0000, nullptr},  // more than some cards hold: not checked here
      {16, 0x100000, 0, 0, 0, 0, 0, 0x100000, nullptr},
      {16, 0x100001, 0, 0, 0x180, 0, 0, 0, kTooLarge},
      {0x10000, 0x10000, 0, 0, 0, 0, 0, 0, kTooLarge},  // 2^32 pixels must not wrap to 0
      {4, 1, 0xFFFFFFFF, 0, 0, 0, 0, 0, kTooLarge},     // more words than a bank holds
      {16, 1, 0, 0, 0xFF00, 0, 0, 1, nullptr},
      {16, 1, 0, 0, 0x100, 1, 0, 1, nullptr},
      {16, 1, 0, 0, 0xFF01, 0, 0, 0, "CMBUCard: dwZeroVerschPixel = 65281 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0xFFFFFFFF, 1, 0, 0, "CMBUCard: dwZeroVerschPixel = -1 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0x180, 0, 0, 0, "CMBUCard: dwZeroVerschPixel 384 has at modulo 256 rest\n"},
      {16, 1, 0, 0, 0x1FE00, 2, 0, 1, nullptr},
      {16, 1, 0, 0, 0x200, 2, 0, 1, nullptr},
      {16, 1, 0, 0, 0x20000, 2, 0, 0, "CMBUCard: dwZeroVerschPixel = 131072 must be lower 256 !!\n"},
      {16, 1, 0, 0, 0x100, 2, 0, 0, "CMBUCard: dwZeroVerschPixel 256 has at modulo 512 rest\n"},
      {32, 2, 0, 0, 0, 0, 1, 4, nullptr},  // emulated (= 1): no port, no wait
  };
  // clang-format on
  for (const BlockRow& r : rows) {
    SCOPED_TRACE(testing::Message() << r.x << " x " << r.y << " zero " << r.zero << " mode " << r.mode);
    MBUN5_TrigSoftReset();
    CARDN5_SetEmulation(static_cast<int32_t>(r.emulation));
    log.Clear();
    const size_t mark = machine.trace().Mark();
    MBU_BLOCK_INFO b = Block(image, r.x, r.y, r.zero, r.mode);
    b.dwByteCount = r.byteCount;
    b.dwCountFromPixels = r.countFromPixels;
    EXPECT_EQ(r.refusal ? 0 : 1, MBUN5_WriteBlock(b));
    EXPECT_EQ(r.refusal ? Lines{r.refusal} : Lines{}, log.Lines());
    if (r.refusal || r.emulation) {
      EXPECT_EQ(0u, Since(mark).size());
      continue;
    }
    EXPECT_EQ(1u, Since(mark).Count(sim::Access::BlockOut));
    ASSERT_EQ(r.words, mbu->address_counter());
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + r.words, mbu->bank(0).begin()));
  }
  CARDN5_SetEmulation(0);
}

// The bank comes when the block being engraved is done, however long that
// takes; an idle board that keeps offering the other bank is given up on.
TEST_F(MbuTest, BankWaitOutlastsABusyBoardAndGivesUpOnAnIdleOne) {
  machine.trace().SetEnabled(false);
  mbu->set_engrave_ns(5000000000ull);
  std::vector<uint16_t> w1 = Image(4, 1), w2 = Image(4, 2);
  WriteAndTrigger(Block(w1, 16, 4));
  mbu->set_bank_never_switches(true);
  WriteAndTrigger(Block(w2, 16, 4));  // taken as waiting, dropped when it should switch
  log.Clear();
  EXPECT_EQ(0, MBUN5_WriteBlock(Block(w1, 16, 4)));
  EXPECT_EQ(Lines{"CMBUCard: bank 0 is not open to the PC and the board is idle: block not written\n"}, log.Lines());
  EXPECT_GT(machine.NowNs(), mbu->blocks()[0].switchNs + 5000000000ull + 1500000000ull);
  EXPECT_EQ(4u, mbu->address_counter());  // block 2 is still all the PC bank holds
}

// Segments 0, 3, 3 again and again: commands 5, 12, 10, 5, ...
TEST_F(MbuTest, FiftyBlocksArriveIntactInAlternatingBanks) {
  EXPECT_EQ(1, MBUN5_GravurVorbereiten());
  EXPECT_EQ((Lines{"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n"}),
            log.Lines());
  std::vector<std::vector<uint16_t>> images;
  const size_t mark = machine.trace().Mark();
  for (uint16_t i = 0; i < 50; ++i) {
    images.push_back(Image(4u * (1 + i * 7 % 40), i));
    WriteAndTrigger(Block(images.back(), 64, 1 + i * 7 % 40, i % 3 ? 0x300 : 0));
  }
  machine.AdvanceNs(10000000);
  ASSERT_EQ(50u, mbu->blocks().size());
  for (size_t i = 0; i < 50; ++i) {
    EXPECT_EQ(static_cast<int>(i % 2), mbu->blocks()[i].bank) << i;
    EXPECT_EQ(images[i], mbu->blocks()[i].words) << i;
    EXPECT_EQ(i % 3 == 0 ? 5 : i % 3 == 1 ? 12 : 10, mbu->blocks()[i].command) << i;
  }
  EXPECT_EQ(50u, Since(mark).Count(sim::Access::BlockOut));
  EXPECT_TRUE(Since(mark).Writes(0xAB00).empty());  // the command alone tells the segment
}

// A record that passes, with up to three fields replaced by values around
// the checks' limits or small random ones: what a fuzzer finds first.
TEST(MbuBlockFuzz, RandomRecordsFromFixedSeedsKeepTheChecks) {
  const uint32_t kEdges[] = {0, 1, 4, 15, 16, 24, 0x180, 0x200, 0xFF01, 0x1FE00, 0x10000, 0x100001, 0xFFFFFFFF};
  int written[2] = {0, 0};
  for (uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    const auto r = [&rng](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
    for (int n = 0; n < 100; ++n) {
      uint32_t f[12] = {16 * (1 + r(64)), 1 + r(64), r(0x100), r(82), 0, 0, 0x100 * r(4), 0, r(2), 0, r(2), r(256)};
      for (uint32_t k = r(4); k > 0; --k) f[r(11)] = r(2) ? kEdges[r(13)] : r(0x400);
      const mbutest::FuzzOutcome out = mbutest::MbuBlockFuzzOne(reinterpret_cast<const uint8_t*>(f), sizeof f);
      EXPECT_EQ("", out.fault) << "seed " << seed << " input " << n;
      ++written[out.written ? 1 : 0];
    }
  }
  EXPECT_GT(written[0], 50);  // both outcomes common, or the seeds test nothing
  EXPECT_GT(written[1], 50);
}

}  // namespace

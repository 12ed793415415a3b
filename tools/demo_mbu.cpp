// Memory buffer board: power-on with the identified card, a job of image
// blocks written and triggered into alternating banks, and what each bank
// received. The MBU answers the EPU's port numbers, so it gets a simulated
// machine of its own.
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "demo.h"
#include "mbu_model.h"

namespace {

constexpr int kBlocks = 6;
constexpr uint32_t kWidth = 64;  // pixels a row, one bit each
constexpr uint32_t kRows = 16;
constexpr uint32_t kPlotHeight = 4096;
constexpr uint32_t kStepsPerBlock = 4;

// Block b of a diagonal band pattern, 4 words a row.
std::vector<uint16_t> MakeBlock(int b) {
  std::vector<uint16_t> words(kWidth / 16 * kRows);
  for (uint32_t y = 0; y < kRows; ++y)
    for (uint32_t x = 0; x < kWidth; ++x)
      if ((x + y + 8u * static_cast<uint32_t>(b)) % 24 < 8)
        words[y * 4 + x / 16] |= static_cast<uint16_t>(1u << (x % 16));
  return words;
}

std::string Row(const std::vector<uint16_t>& words, uint32_t y) {
  std::string s;
  for (uint32_t x = 0; x < kWidth; ++x) s += (words[y * 4 + x / 16] >> (x % 16)) & 1 ? '#' : '.';
  return s;
}

}  // namespace

int RunMbuDemo(sim::Machine& main) {
  std::printf("\n== Memory buffer board ==\n");
  int failures = 0;
  sim::Machine machine;
  machine.Attach();
  sim::MbuModel& mbu = machine.Add<sim::MbuModel>(5);
  mbu.set_engrave_ns(40000000);  // 40 ms a block
  failures += CARDN5_CreateCardObjects() != 1;
  failures += MBUN5_InitPowerOn() != 1;
  const MBU_CARD_INFO info = MBUN5_GetCardInfo();
  std::printf("Card identified: jumper ID %u, %u pixels of memory, %s advance\n", info.dwJumperID,
              info.dwPossiblePixels, info.dwAdvanceType == MBU_ADVANCE_TRIM ? "TRIM" : "standard");
  failures += MBUN5_GravurVorbereiten() != 1;
  MBUN5_WriteAMUValues(1);
  MBUN5_SetPlotHeightPI(kPlotHeight);

  std::vector<std::vector<uint16_t>> sent;
  for (int b = 0; b < kBlocks; ++b) {
    sent.push_back(MakeBlock(b));
    MBU_BLOCK_INFO block{};
    block.pwData = sent.back().data();
    block.dwPixelX = kWidth;
    block.dwPixelY = kRows;
    block.dwSteps = kStepsPerBlock;
    block.dwZeroVerschPixel = 512u * static_cast<uint32_t>(b);  // one more segment a block
    block.dwPlotHeightPixel = kPlotHeight;
    block.dwAdvanceMode = 2;
    const uint64_t t0 = machine.NowNs();
    const int32_t written = MBUN5_WriteBlock(block);
    const int bank = mbu.pc_bank();
    const int32_t triggered = MBUN5_TriggerBlock(block);
    std::printf("  block %d: %zu words into bank %d, triggered %s, %.1f ms on the machine's clock\n", b,
                sent.back().size(), bank, triggered ? "and taken over" : "FAILED", (machine.NowNs() - t0) / 1e6);
    failures += written != 1 || triggered != 1;
  }
  machine.AdvanceNs(100000000);  // the last block is taken over and engraved
  failures += MBUN5_IsTurnOffPossible() != 1;

  std::printf("\nBlocks as the simulated board took them over:\n");
  size_t words[2] = {0, 0}, blocks[2] = {0, 0};
  for (size_t i = 0; i < mbu.blocks().size(); ++i) {
    const sim::MbuBlock& got = mbu.blocks()[i];
    const bool intact = i < sent.size() && got.words == sent[i];
    std::printf("  bank %d  command %2u  divider %4u  zero shift %u  plot height %u  first row %s  %s\n", got.bank,
                got.command, got.divider, got.zeroShift, got.plotHeight, Row(got.words, 0).c_str(),
                intact ? "intact" : "DIFFERS");
    failures += !intact;
    words[got.bank] += got.words.size();
    ++blocks[got.bank];
  }
  std::printf("bank 0 received %zu blocks (%zu words), bank 1 %zu blocks (%zu words)\n", blocks[0], words[0], blocks[1],
              words[1]);
  failures += mbu.blocks().size() != static_cast<size_t>(kBlocks);

  CARDN5_DeleteCardObjects();
  machine.Detach();
  main.Attach();
  return failures;
}

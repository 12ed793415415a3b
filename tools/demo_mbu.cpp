// Memory buffer board: power-on with the identified card, the rest of the
// job's image written in blocks and triggered into alternating banks, and
// the drum's rows read back from the blocks the board took over. The MBU
// answers the EPU's port numbers, so it gets a simulated machine of its own.
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "demo.h"
#include "mbu_model.h"

namespace demo {

namespace {

constexpr uint32_t kWordsPerRow = kImageWidth / 16;
constexpr uint32_t kPlotHeight = 4096;
constexpr uint32_t kStepsPerBlock = 4;

// Rows first..first+kBlockRows of the image, pixel x in bit x % 16 of word x / 16.
std::vector<uint16_t> PackBlock(const Picture& image, uint32_t first) {
  std::vector<uint16_t> words(size_t{kWordsPerRow} * kBlockRows);
  for (uint32_t y = 0; y < kBlockRows; ++y)
    for (uint32_t x = 0; x < kImageWidth; ++x)
      if (image.Row(first + y)[x] == kEngraved)
        words[y * kWordsPerRow + x / 16] |= static_cast<uint16_t>(1u << (x % 16));
  return words;
}

void AppendDrumRows(Picture& drum, const std::vector<uint16_t>& words) {
  for (size_t w = 0; w + kWordsPerRow <= words.size(); w += kWordsPerRow) {
    for (uint32_t x = 0; x < kImageWidth; ++x)
      drum.data.push_back((words[w + x / 16] >> (x % 16)) & 1 ? kEngraved : kBlank);
    ++drum.height;
  }
}

int PowerOn(sim::MbuModel& mbu) {
  int failures = CALL(CARDN5_CreateCardObjects()) != 1;
  failures += CALL(MBUN5_InitPowerOn()) != 1;
  const MBU_CARD_INFO info = CALL(MBUN5_GetCardInfo());
  std::printf("Card identified: jumper ID %u, %u pixels of memory, %s advance; %u words a bank\n", info.dwJumperID,
              info.dwPossiblePixels, info.dwAdvanceType == MBU_ADVANCE_TRIM ? "TRIM" : "standard",
              mbu.capacity_words());
  failures += CALL(MBUN5_GravurVorbereiten()) != 1;
  CALL(MBUN5_WriteAMUValues(1));
  CALL(MBUN5_SetPlotHeightPI(kPlotHeight));
  return failures;
}

}  // namespace

int RunMbuDemo(const Job& job, Results& out, const std::string& vcdPath) {
  std::printf("\n== Memory buffer board (a machine of its own) ==\n");
  sim::Machine machine;
  machine.Attach();
  sim::MbuModel& mbu = machine.Add<sim::MbuModel>(5);
  mbu.set_engrave_ns(40000000);  // 40 ms a block
  int failures = PowerOn(mbu);

  std::vector<std::vector<uint16_t>> sent;
  Progress progress("MBU blocks", job.blocks);
  int blockFailures = 0;
  for (uint32_t b = 0; b < job.blocks; ++b) {
    sent.push_back(PackBlock(out.image, job.rows + b * kBlockRows));
    MBU_BLOCK_INFO block{};
    block.pwData = sent.back().data();
    block.dwPixelX = kImageWidth;
    block.dwPixelY = kBlockRows;
    block.dwSteps = kStepsPerBlock;
    block.dwZeroVerschPixel = 512u * (b % 8);  // one more segment a block
    block.dwPlotHeightPixel = kPlotHeight;
    block.dwAdvanceMode = 2;
    const int bank = mbu.pc_bank();
    blockFailures += CALL(MBUN5_WriteBlock(block)) != 1;
    blockFailures += CALL(MBUN5_TriggerBlock(block)) != 1;
    progress.Update(b + 1, "last into bank " + std::to_string(bank));
  }
  progress.Finish();
  machine.AdvanceNs(100000000);  // the last block is taken over and engraved
  failures += blockFailures + (CALL(MBUN5_IsTurnOffPossible()) != 1);

  size_t words[2] = {0, 0}, blocks[2] = {0, 0}, intact = 0;
  for (size_t i = 0; i < mbu.blocks().size(); ++i) {
    const sim::MbuBlock& got = mbu.blocks()[i];
    intact += i < sent.size() && got.words == sent[i];
    words[got.bank] += got.words.size();
    ++blocks[got.bank];
    AppendDrumRows(out.drum, got.words);
  }
  std::printf("  the board took over %zu blocks (%zu intact): bank 0 %zu blocks (%zu words), bank 1 %zu (%zu words)\n",
              mbu.blocks().size(), intact, blocks[0], words[0], blocks[1], words[1]);
  std::printf("  %.1f ms on the machine's clock, %d failed calls\n", Millis(machine.NowNs()), blockFailures);
  failures += mbu.blocks().size() != job.blocks || intact != job.blocks;

  CALL(CARDN5_DeleteCardObjects());
  for (const std::string& v : machine.Violations()) std::printf("  protocol violation: %s\n", v.c_str());
  failures += !machine.Violations().empty();
  out.virtualNs += machine.NowNs();
  failures += !WriteTrace(machine, vcdPath, out);
  machine.Detach();
  return failures;
}

}  // namespace demo

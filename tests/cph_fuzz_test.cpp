// The focus fuzzing function over fixed seeds and the inputs that found
// faults before: random bytes make huge, tiny and non-number doubles.
#include <gtest/gtest.h>

#include <random>

#include "cph_focus_fuzz.h"
#include "test_support.h"

namespace {

class CphFuzzTest : public testsupport::BoardsTest {};

TEST_F(CphFuzzTest, FixedSeedsKeepTheHeadsInvariantsAndEveryLogLineWhole) {
  // none, all non-numbers, huge values, a count one above the table's
  std::vector<std::vector<uint8_t>> inputs = {
      {}, std::vector<uint8_t>(600, 0xFF), std::vector<uint8_t>(600, 0x7F), {31, 0, 1, 0, 0}};
  std::mt19937 rng(20240610);
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> bytes(rng() % 600);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    inputs.push_back(bytes);
  }
  CARDN5_SetEmulation(1);
  for (const auto& bytes : inputs) {
    log.Clear();
    CphFocusFuzzOne(bytes.data(), bytes.size());
    for (const std::string& line : log.Lines()) ASSERT_EQ('\n', line.back()) << line.size();
  }
}

}  // namespace

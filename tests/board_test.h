// What the board tests share: the library's headers, the machine fixture,
// and the names their tables use for what a row expects.
#ifndef CARDN5_BOARD_TEST_H
#define CARDN5_BOARD_TEST_H

#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "test_support.h"

using Lines = std::vector<std::string>;
using Words = std::vector<uint16_t>;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;  // port, value
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

#endif

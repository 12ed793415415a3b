// The pulse generator board's registers: five indexed registers behind an
// index port and a data port, written directly (no register objects). The
// board code and the simulated board both use this map.
#ifndef CARDN5_IPG_REGS_H
#define CARDN5_IPG_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace ipg {

constexpr uint16_t kIndexPort = 0x0300;  // selects one of the indexed registers
constexpr uint16_t kDataPort = 0x0700;   // value for the register last selected

// Clock counts of one period: the board makes N pulses in this many.
constexpr uint32_t kPeriodCounts = 640000;

// The indexed registers. A programming round writes them in this order and
// ends with kPulseLength, which starts the generator with the new values.
enum Index : uint16_t {
  kT0 = 0,           // 65536 - T0, first correction period
  kT1 = 1,           // 65536 - T1, second correction period
  kT2Low = 2,        // low 16 bits of 0x100000 - T2
  kEnables = 3,      // bits of their own, below
  kPulseLength = 4,  // high byte: 256 - Q; low byte: half of it
};

// kEnables: bits 0-3 are bits 16-19 of 0x100000 - T2.
enum class Enables : int32_t {
  kT0On = 4,
  kT1On = 5,
  kT2On = 6,
};
constexpr uint16_t kT2HighMask = 0x000F;

}  // namespace ipg

#endif

// The focusing head's lines. The head has no port of its own: its step,
// direction and shutter lines are bits of the EPU's output word, its
// reference sensor a bit of the EPU's FINP input word. The head reaches
// both only through the EPU's exports, so that the EPU's shadow of the
// output word stays the one record of what the word holds.
#ifndef CARDN5_CPH_REGS_H
#define CARDN5_CPH_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace cph {

// The EPU's output word, written whole by EPUN5_SetOKOutput.
constexpr uint16_t kOKOutputPort = 0xAB00;
enum class OKOutput : int32_t {
  kStep = 1,       // one step = a low pulse of at least 200 us; also the EPU's laser diode bit
  kDirection = 2,  // 1: away from the reference sensor; also the scanner drive's direction
  kShutter = 4,    // 1: hardware shutter open
};

// The EPU's FINP input word, read by EPUN5_GetFINP.
constexpr uint16_t kFinpPort = 0x8700;
enum class Finp : int32_t {
  kReferenceSensor = 0,  // 0: sensor active (active low)
};

constexpr int32_t N(OKOutput b) { return static_cast<int32_t>(b); }
constexpr int32_t N(Finp b) { return static_cast<int32_t>(b); }

}  // namespace cph

#endif

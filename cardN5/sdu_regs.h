// The scanner drive's lines: it has no ports of its own and drives bits of
// the engraving processor board's output word (port 0xAB00) and reads one of
// its FINP inputs (port 0x8700). Shared by the board code and the simulated
// optic.
#ifndef CARDN5_SDU_REGS_H
#define CARDN5_SDU_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace sdu {

// Bits of the EPU's output word. Bit 2 is also the focusing head's
// direction line, bit 3 the EPU's own stepper speed bit.
enum class OKOutput : int32_t {
  kDirection = 2,   // 1: away from the end sensor, 0: towards it
  kStep = 3,        // toggled; two toggles make one step
  kChopperOff = 5,  // chopper current of the optic's motor, active low
};

// Bits of the EPU's FINP input word.
enum class Finp : int32_t {
  kEndSensor = 3,  // 0: the optic is at its end sensor
};

constexpr uint16_t kTravelSteps = 1924;  // the optic's whole travel
constexpr uint32_t kToggleUs = 1666;     // two toggles a step: 300 steps a second
constexpr uint32_t kDirectionMs = 1;     // the motor's settling time after a direction change

}  // namespace sdu

#endif

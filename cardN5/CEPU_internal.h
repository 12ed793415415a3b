// What the EPU's three source files share: the bit numbers of its status and
// control registers and the register write the board code uses everywhere.
#ifndef CARDN5_CEPU_INTERNAL_H
#define CARDN5_CEPU_INTERNAL_H

#include <stdint.h>

#include "port_register.h"

namespace epu {

// g_EPUStatus, besides WRALLO_BIT, WRPL1_BIT and ENVORSCH_BIT (CEPU.h)
enum : int32_t {
  kLLBusyBit = 0,    // LL code may not be written while 1
  kIndexBit = 4,     // index pulse, once per drum turn
  kIPGPulseBit = 5,  // pulse generator output
  kPLLBit = 6,       // 1: PLL locked
  kEncoderBit = 7,   // encoder signal
  kTurnOffBlockedBit = 10,
  kPXBusyBit = 12,  // PX code may not be written while 1
};

// g_EPUControl
enum : int32_t {
  kBank0Select = 0,  // low pulse: a row for bank 0 follows
  kBank1Select = 1,  // low pulse: a row for bank 1 follows
  kBankChange = 2,   // high pulse: banks change; also the start handshake
  kStart = 3,
  kRowDone = 4,
  kPXCode = 5,
  kShutterOpen = 6,
  kFlag7 = 7,
  kSMAuto = 8,  // 1: the board advances the stepper itself
  kSMDirection = 9,
  kRandomOffset = 10,
  kErrorLED = 11,
};

constexpr uint16_t kCommand = 0x0202;
constexpr uint16_t kCylindricalDivider = 65500;  // advance divider of a pass without advance

// Indexed register 9 is only written right after index 13 got this value.
constexpr uint16_t kIndex13BeforeIndex9 = 0x0010;

inline int32_t Write(CPortRegister& reg, uint16_t wValue) {
  reg.SetValue(wValue);
  return reg.Out();
}

}  // namespace epu

#endif

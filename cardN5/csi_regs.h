// Register map of the CSI board: one written register, the only board port
// that is not on the 0x300 base with a register number on top.
#ifndef CARDN5_CSI_REGS_H
#define CARDN5_CSI_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace csi {

// Written: cleared at power-on; no bit of it is named.
constexpr uint16_t kControlPort = 0x0302;

}  // namespace csi

#endif

// Colour scanner electronics: its ports and the meaning of their bits, for
// the board code and for the simulated scanner front end alike.
#ifndef CARDN5_CSE_REGS_H
#define CARDN5_CSE_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace cse {

// Channel settings, written, 0 to 255: a write sets the channel's offset
// while control bit 2 is 1 and its gain while it is 0.
constexpr uint16_t kBlueDACPort = 0x2300;
constexpr uint16_t kGreenDACPort = 0x2700;
constexpr uint16_t kRedDACPort = 0x2B00;

// Control, written; all 0 at power-on.
constexpr uint16_t kControlPort = 0x2F00;
enum class Control : int32_t {
  kLightsource1 = 1,  // 1: light source 1, 0: light source 0
  kOffsetSelect = 2,  // 1: channel writes set offsets, 0: gains
  kXenonStart = 3,    // held high for 200 ms, then dropped: the lamp starts
  kScanmode2 = 4,     // set in scan mode 2 only
  kModeReserved = 5,  // cleared by every valid scan mode
  kXenonStop = 7,     // held high for 200 ms, then dropped: the lamp goes out
  kScanmode0 = 15,    // set in scan mode 0 only
};

// Status, read.
constexpr uint16_t kStatusPort = 0x3300;
enum class Status : int32_t {
  kDeviceReady = 1,  // 1: ready
  kXenonOn = 7,      // 1: the lamp is lit
};

// The colour values of the last conversion, read.
constexpr uint16_t kBluePort = 0x3700;      // bits 0-7 blue
constexpr uint16_t kRedGreenPort = 0x3B00;  // bits 0-7 red, 8-15 green

// Handshake: the PC reads the board's lines and writes its own at one port.
constexpr uint16_t kHandshakePort = 0x3F00;
enum class HandshakeIn : int32_t {
  kBusy = 0,                 // 1: a conversion runs, the values are not settled
  kColorselectInactive = 1,  // 0: colour selected
  kAlignmentInvalid = 3,     // 0: black/white alignment valid
  kSequenceStoppedAck = 8,   // acknowledge of the request: 1 stopped, 0 started
};
enum class HandshakeOut : int32_t {
  kStopRequest = 8,  // 1: stop the scan sequence, 0: start it
  kSWStatus0 = 9,
  kSWStatus1 = 10,
  kLineworkOff = 11,  // 0: linework on
};
// Written at power-on: start requested, status lines 0, linework on.
constexpr uint16_t kHandshakeOutPowerOn = 0x1000;

}  // namespace cse

#endif

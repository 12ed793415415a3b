// Register map of the memory buffer board, shared by the board code and the
// simulated board. Several ports carry one register for reading and another
// for writing; the EPU's registers sit on the same port numbers.
#ifndef CARDN5_MBU_REGS_H
#define CARDN5_MBU_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace mbu {

// Image words, moved in blocks by the processor's string instructions; the
// board advances its own memory address with every word.
constexpr uint16_t kMemoryPort = 0xA300;

// Read: the board's state.
constexpr uint16_t kStatusPort = 0xA700;
enum class Status : int32_t {
  kResetOccurred = 0,
  kBank = 1,   // the bank open to the PC, 0 or 1
  kBusy2 = 2,  // bits 2-7: busy and trigger flags; any of them keeps the board
  kBusy3 = 3,  // from being switched off
  kBusy4 = 4,
  kTrigger5 = 5,  // bits 5-7 also tell that a trigger was taken over
  kTrigger6 = 6,
  kTrigger7 = 7,
  kPLLInRange = 12,
  kJumper0 = 13,  // jumper ID: bit 13 counts 1, bit 14 counts 2, bit 15 counts 4
  kJumper1 = 14,
  kJumper2 = 15,
};
constexpr uint16_t kBusyMask = 0x00FC;     // bits 2-7
constexpr uint16_t kTriggerMask = 0x00E0;  // bits 5-7
constexpr uint16_t kStatusByte = 0x00FF;   // what the debounce compares
constexpr int kJumperShift = 13;

// Written on the status port: plot height bits 16-23 (TRIM cards).
constexpr uint16_t kPlotHeight2Port = 0xA700;

// Written: zero shift in segments, 0-255.
constexpr uint16_t kZeroShiftPort = 0xAB00;
constexpr uint16_t kZeroShiftMax = 255;

// Written: a command code, the whole word.
constexpr uint16_t kCommandPort = 0xAF00;
enum Command : uint16_t {
  kLaserPulseOn = 1,
  kSoftReset = 3,  // also switches the explicit laser pulse off
  kTriggerSegment0 = 5,
  kBankSet = 6,
  kTestMode = 9,
  kTriggerSegmentSame = 10,  // zero-shift segment as at the previous trigger
  kTriggerSegmentNew = 12,
  kTriggerTRIM = 13,
};

// Read on the command port: the zero-pulse counter in bits 8-10.
constexpr uint16_t kZeroPulsePort = 0xAF00;
constexpr int kZeroPulseShift = 8;
constexpr uint16_t kZeroPulseMask = 0x7;

// Written: stepper divider in bits 0-12, the stepper direction in bit 15;
// bits 13 and 14 are kept as the shadow holds them.
constexpr uint16_t kDividerPort = 0xB300;
enum class Divider : int32_t {
  kDirection = 15,
};
constexpr uint16_t kDividerBits = 0x1FFF;
constexpr uint16_t kDividerKeep = 0xE000;
constexpr int kDividerHighShift = 13;

// Written: plot height bits 0-7; at other times the modulation index.
constexpr uint16_t kPlotHeight0Port = 0xB700;
constexpr uint16_t kAMUIndexPort = 0xB700;
enum class AMUIndex : int32_t {
  kMode = 7,  // bits 0-3 carry the parameter index
};

// Written: plot height bits 8-15; at other times the modulation value.
constexpr uint16_t kPlotHeight1Port = 0xBB00;
constexpr uint16_t kAMUValuePort = 0xBB00;

// Written: divider bits 13-15 in bits 0-2 (TRIM cards).
constexpr uint16_t kDividerHighPort = 0xBF00;

// The lowest and highest port of the board's register block.
constexpr uint16_t kFirstPort = kMemoryPort;
constexpr uint16_t kLastPort = kDividerHighPort;

}  // namespace mbu

#endif

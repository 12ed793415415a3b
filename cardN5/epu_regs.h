// The engraving processor board's registers: each port, and next to it the
// bits of the register that lives there. The board code and the simulated
// board both use this map. Where two registers share a port, one is only
// read and the other only written.
#ifndef CARDN5_EPU_REGS_H
#define CARDN5_EPU_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace epu {

// Status, read. Polled before and during every row. Written: the command word.
constexpr uint16_t kStatusPort = 0x8300;
enum class Status : int32_t {
  kLLBusy = 0,           // LL code may not be written while 1
  WRALLO_BIT = 1,        // 1: the board accepts the next row
  WRPL1_BIT = 2,         // 1: the bank offered for the next row is bank 0, 0: bank 1
  ENVORSCH_BIT = 3,      // we go on only while this reads 0
  kIndex = 4,            // index pulse, once per drum turn
  kIPGPulse = 5,         // pulse generator output
  kPLLInRange = 6,       // 1: the PLL is locked
  kEncoder = 7,          // encoder signal
  kTurnOffBlocked = 10,  // 1 while the board engraves a row
  kPXBusy = 12,          // PX code may not be written while 1
};
// Written to the status port before every row and at power-on and preparation.
constexpr uint16_t kCommand = 0x0202;

// Control, written; the shadow keeps the bits between writes. Read: FINP.
constexpr uint16_t kControlPort = 0x8700;
enum class Control : int32_t {
  kBank0Select = 0,  // low pulse: a row for bank 0 follows
  kBank1Select = 1,  // low pulse: a row for bank 1 follows
  kBankChange = 2,   // high pulse: banks change after a row; also the start handshake
  kStart = 3,        // low pulse with kRowDone set: the job starts
  kRowDone = 4,      // low pulse: a row's data is complete
  kPXCode = 5,       // 1: the job's rows are PX code
  kShutterOpen = 6,  // software shutter
  kFlag7 = 7,        // the job's flag 7
  kSMAuto = 8,       // 1: the board advances the stepper itself, 0: the host does
  kSMDirection = 9,
  kRandomOffset = 10,  // the job redraws its start offsets
  kErrorLED = 11,
};
constexpr uint16_t kFinpPort = kControlPort;  // read: the FINP input word

// Row registers: the board takes them for the rows that follow.
constexpr uint16_t kShiftPort = 0x9300;      // written: shift; read: memory counter of bank 1
constexpr uint16_t kRowLengthPort = 0x9700;  // row length, the shift's modulus
constexpr uint16_t kStartPosPort = 0xA300;   // start position plus start offset
constexpr uint16_t kReg9B00Port = 0x9B00;    // the job's 9B00 value
constexpr uint16_t kRegB700Port = 0xB700;    // the job's B700 value
constexpr uint16_t kMemCounter1Port = kShiftPort;

// Per row: the rest of the shift for the bank written, and the advance.
constexpr uint16_t kBank0OffsetPort = 0x8B00;
constexpr uint16_t kBank1OffsetPort = 0x8F00;  // read: memory counter of bank 0
constexpr uint16_t kMemCounter0Port = kBank1OffsetPort;
constexpr uint16_t kAdvanceDividerPort = 0x9F00;
// Advance divider of a pass without advance (and of the start handshake).
constexpr uint16_t kCylindricalDivider = 65500;

// Strobe: each write makes one stepper step; the value does not matter.
constexpr uint16_t kSMStepPort = 0xA700;

// General output word, shared with the focusing head and the scanner drive.
constexpr uint16_t kOKOutputPort = 0xAB00;
enum class OKOutput : int32_t {
  kLaserDiode = 1,
  kSMSpeed = 3,  // 1: slow stepper speed
};

constexpr uint16_t kDAC0Port = 0xAF00;
constexpr uint16_t kDAC1Port = 0xB300;

// Laser pulse word: bits 0-7 the pulse ratio.
constexpr uint16_t kLaserPulsePort = 0xBB00;
enum class LaserPulse : int32_t {
  kExplicit = 14,  // explicit laser pulse
  kRatioOn = 15,   // the ratio is not 0
};

// Six eco duty cycle words, written one after the other.
constexpr uint16_t kEcoDutyCyclePort = 0xBF00;

// Indexed registers: the index to kIndexPort, then the value to kDataPort.
constexpr uint16_t kIndexPort = 0xC700;
constexpr uint16_t kDataPort = 0xCB00;
// Index 9 holds the shutter and speed flags; the board takes it only right
// after index 13 got kIndex13BeforeIndex9.
constexpr uint16_t kFlagsIndex = 9;
constexpr uint16_t kFlagsGuardIndex = 13;
constexpr uint16_t kIndex13BeforeIndex9 = 0x0010;
constexpr uint32_t kFlagShutterOpen = 0x2;
constexpr uint32_t kFlagSlowSpeed = 0x8;

}  // namespace epu

#endif

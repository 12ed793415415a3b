// The DCA board's ports and bits, shared by the board code and its
// simulated model.
#ifndef CARDN5_DCA_REGS_H
#define CARDN5_DCA_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace dca {

// Status, read. The inputs of the machine that the DCA brings in. Read by
// g_DCAStatus and g_DCAFocusStatus; g_DCALaserDiode writes the same port.
constexpr uint16_t kStatusPort = 0x5300;
enum class Status : int32_t {
  kLeftSchalter = 1,   // left limit switch, active low
  kRightSchalter = 2,  // right limit switch, active low
  kHeadReady = 3,      // 1: head ready
  kInkLow = 4,         // 1: not enough ink
  kLeftSensor = 11,    // active low
  kRightSensor = 12,   // active low
  kLightBarrier = 13,  // 1: interrupted; also read as "move to the engraving position possible"
};
enum class FocusStatus : int32_t {
  kLEFokstat = 9,  // LE focus status
};
// Laser diode, written on the status port.
enum class LaserDiode : int32_t {
  kOn = 0,
};

// LE focus voltage, written: code in bits 0 to 7, bits 8 to 15 kept (0).
// Read through g_DCAFETTemp: the FET temperature input.
constexpr uint16_t kLEFocusPort = 0x4300;
enum class FETTemp : int32_t {
  kOverheated = 15,  // 0: temperature in order
};

// Two voltages in one word, written: LENZE speed code in bits 0 to 7, LDK
// focus code in bits 8 to 15. Each writer keeps the other's byte.
constexpr uint16_t kVoltagePort = 0x4B00;
// FET speed voltage, written: code in bits 8 to 15, bits 0 to 7 kept (0).
constexpr uint16_t kFETSpeedPort = 0x4F00;
// Sensitivity, written: level 1 in bits 0 to 7, level 2 in bits 8 to 15.
constexpr uint16_t kSensitivityPort = 0x4700;

// Stepper and light-barrier control, written.
constexpr uint16_t kControlPort = 0x5F00;
enum class Control : int32_t {
  kDirection = 0,
  // One line, two meanings: the light barrier is off while it is 1, and the
  // stepper runs at speed 0 while it is 1.
  kLightBarrierOff = 4,
  kSpeedZero = 4,
};

// Stepper step and light-barrier reset, written. Each write with bit 0 set
// makes one step; hosts may write the port themselves (GetSMStepAdresse).
constexpr uint16_t kStepPort = 0x5700;
enum class Step : int32_t {
  kStep = 0,
  kLightBarrierReset = 4,  // a high pulse resets the light barrier's latch
};

// Indexed registers: an index written to kIndexPort, then values to
// kDataPort. The engraving processor board writes the same two ports.
constexpr uint16_t kIndexPort = 0xC700;
constexpr uint16_t kDataPort = 0xCB00;
constexpr uint16_t kSelectorIndex = 5;  // takes a selector for the data index
constexpr uint16_t kDataIndex = 1;      // takes the words the selector chose
constexpr uint16_t kSelectLENZE = 4;    // data: the 12-bit LENZE code, or the reset word
constexpr uint16_t kSelectSetup = 1;    // data: the power-on set-up words
constexpr uint16_t kResetWord = 0xA000;
constexpr uint32_t kDataWordUs = 10;  // the board takes a data word in this time

// Volts to codes: 0 to 10 V over 8 and 12 bits.
constexpr double kMaxVolts = 10.0;
constexpr double kCode8PerVolt = 25.5;
constexpr double kCode12PerVolt = 409.5;
constexpr double kSensitivityFactor = 2.55;

}  // namespace dca

#endif

// IOD board register map: one port that carries a byte and two handshake
// lines in each direction, plus a few status inputs of the machine. Writing
// it sets the board's output latch, reading it returns the input latch.
// Shared by the board source and the simulated MCM.
#ifndef CARDN5_IOD_REGS_H
#define CARDN5_IOD_REGS_H

#include <stdint.h>

#include "typed_register.h"

namespace iod {

// Output latch (g_IODOut), written. Bits 0-7: the data byte to the MCM;
// bits 10-15 are always written as 1.
constexpr uint16_t kOutPort = 0xC300;
enum class Out : int32_t {
  PcStrobe = 8,  // 0: a byte for the MCM is on the data lines (active low)
  PcAck = 9,     // 0: the PC has taken the MCM's byte (active low)
};
// Nothing offered, nothing acknowledged.
constexpr uint16_t kOutIdle = 0xFFFF;
// A byte on the lines with both PC handshake lines still high.
constexpr uint16_t kOutData = 0xFF00;

// Input latch (g_IODIn), read. Bits 0-7: the data byte from the MCM.
constexpr uint16_t kInPort = kOutPort;
enum class In : int32_t {
  McmStrobe = 8,      // 0: the MCM has put a byte on the data lines (active low)
  McmReady = 9,       // 1: the MCM can take a byte; 0 once it took one, until it is ready again
  TelegramOk = 10,    // 1: the telegram just sent was accepted
  RechtesRad = 11,    // active high; the xenon lamp reads the same line
  RapportStand = 12,  // active low
  DeviceReady = 13,   // active low
};
constexpr uint16_t kDataMask = 0x00FF;

}  // namespace iod

#endif

// A board register: one 16-bit I/O port and the shadow of the value last
// set, written or read. The address of the object is the address of its
// shadow, which the port-I/O library's bit and pulse functions rely on.
#ifndef CARDN5_PORT_REGISTER_H
#define CARDN5_PORT_REGISTER_H

#include <stdint.h>

#include "hwio32.h"

class CPortRegister {
 public:
  // constexpr so that every process-wide register is built before any code
  // of the library runs, whatever the order of the source files.
  constexpr explicit CPortRegister(uint16_t wPort) : m_wValue(0), m_wPort(wPort) {}

  uint16_t GetPort() const { return m_wPort; }
  void SetValue(uint16_t wValue) { m_wValue = wValue; }
  uint16_t GetValue() const { return m_wValue; }

  int32_t Out() { return HWIO_Hout(m_wPort, m_wValue); }
  int32_t In() {
    const int32_t r = HWIO_Hin(m_wPort);
    m_wValue = static_cast<uint16_t>(r);
    return r;
  }

  void SetBit(int32_t nBit) { HWIO_SetBit(&m_wValue, nBit); }
  void ResetBit(int32_t nBit) { HWIO_ResetBit(&m_wValue, nBit); }
  // Tests the shadow, never the port: a read is In() followed by Bit().
  int32_t Bit(int32_t nBit) const { return (HWIO_Bit(m_wValue, nBit) & 0xFFFF) != 0 ? 1 : 0; }

  void LowPuls(int32_t nBit) { HWIO_LowPuls(m_wPort, &m_wValue, nBit); }
  void HighPuls(int32_t nBit) { HWIO_HighPuls(m_wPort, &m_wValue, nBit); }

 private:
  uint16_t m_wValue;
  uint16_t m_wPort;
};

static_assert(sizeof(CPortRegister) == 4, "a register is its shadow and its port");

// The process-wide register objects, defined in their boards' source files.

#endif

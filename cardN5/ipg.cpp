// Pulse generator board: programmed through an index and a data port that
// it writes directly, without register objects.
#include "ipg.h"

#include "errlog32.h"
#include "hwio32.h"
#include "port_register.h"

// Built with the board's port but used by no operation.
CPortRegister g_IPGRegister(0x4B00);

namespace {

constexpr uint16_t kIndexPort = 0x0300;
constexpr uint16_t kDataPort = 0x0700;

// Clock counts of one period: the board makes N pulses in this many.
constexpr uint32_t kPeriodCounts = 640000;

// One correction period: often enough that its corrections (counts div T)
// reach the remainder, never so often that they pass it.
uint32_t CorrectionPeriod(uint32_t dwCounts, uint32_t dwRemainder) {
  uint32_t t = dwCounts / dwRemainder;
  if (dwCounts / t > dwRemainder) ++t;
  return t;
}

void WriteIndexed(uint16_t wIndex, uint32_t dwValue) {
  HWIO_Hout(kIndexPort, wIndex);
  HWIO_Hout(kDataPort, static_cast<uint16_t>(dwValue));
}

}  // namespace

CIPGCard::CIPGCard() : m_bEmulation(0) {}

CIPGCard::~CIPGCard() {}

int32_t CIPGCard::InitPowerOn() { return 1; }

// Q counts per pulse leave a remainder R of the period; up to three
// correction periods T0, T1, T2 stretch R pulses by one count each.
int32_t CIPGCard::SetIPGPulses(uint32_t dwPulses) {
  // The period cannot be divided into no pulses; the board keeps what it has.
  if (dwPulses == 0) {
    ERRLOG_WriteToLOGFile("IPGN5_SetIPGPulses: 0 pulses refused, IPG unchanged\n");
    return 0;
  }
  const uint32_t K = kPeriodCounts;
  const uint32_t Q = K / dwPulses;
  const uint32_t R = K - Q * dwPulses;
  uint32_t T0 = 0, T1 = 0, T2 = 0;
  if (R != 0) {
    T0 = CorrectionPeriod(K, R);
    uint32_t E = K / T0;
    const uint32_t K1 = K - E;
    const uint32_t R1 = R - E;
    if (R1 == 0) {
      T2 = T0;
      T1 = 0;
      T0 = 0;
    } else {
      T1 = CorrectionPeriod(K1, R1);
      E = K1 / T1;
      const uint32_t K2 = K1 - E;
      const uint32_t R2 = R1 - E;
      if (R2 == 0) {
        T2 = T1;
        T1 = T0;
        T0 = 0;
      } else {
        T2 = CorrectionPeriod(K2, R2);
      }
    }
  }

  const uint32_t dwRegister0 = T0 != 0 ? 65536u - T0 : 0u;
  const uint32_t dwRegister1 = T1 != 0 ? 65536u - T1 : 0u;
  const uint32_t dwT2Complement = 0x100000u - T2;
  const uint32_t dwRegister2 = dwT2Complement & 0xFFFFu;
  const uint32_t dwRegister3 =
      T2 == 0 ? 0u : ((dwT2Complement >> 16) & 0xFu) | (T0 != 0 ? 0x10u : 0u) | (T1 != 0 ? 0x20u : 0u) | 0x40u;
  const uint32_t dwQComplement = 65536u - Q;
  const uint32_t dwRegister4 = ((dwQComplement & 0xFFu) << 8) | ((dwQComplement >> 1) & 0xFFu);

  WriteIndexed(0, dwRegister0);
  WriteIndexed(1, dwRegister1);
  HWIO_Hout(kIndexPort, 2);
  if (T2 != 0) HWIO_Hout(kDataPort, static_cast<uint16_t>(dwRegister2));
  WriteIndexed(3, dwRegister3);
  WriteIndexed(4, dwRegister4);
  return 1;
}

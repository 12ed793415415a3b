// Pulse generator board: programmed through an index and a data port that
// it writes directly, without register objects.
#include "ipg.h"

#include "errlog32.h"
#include "hwio32.h"
#include "ipg_regs.h"

namespace {

// One correction period: often enough that its corrections (counts div T)
// reach the remainder, never so often that they pass it.
uint32_t CorrectionPeriod(uint32_t dwCounts, uint32_t dwRemainder) {
  uint32_t t = dwCounts / dwRemainder;
  if (dwCounts / t > dwRemainder) ++t;
  return t;
}

void WriteIndexed(ipg::Index index, uint32_t dwValue) {
  HWIO_Hout(ipg::kIndexPort, index);
  HWIO_Hout(ipg::kDataPort, static_cast<uint16_t>(dwValue));
}

// The correction periods T0, T1, T2 that spread a remainder R of the period
// over the pulses; each takes what the one before left. A period that is
// not needed is 0, and the last one used always sits in T2.
struct Corrections {
  uint32_t T0 = 0, T1 = 0, T2 = 0;
};

Corrections CorrectionsFor(uint32_t R) {
  Corrections c;
  if (R == 0) return c;
  const uint32_t K = ipg::kPeriodCounts;
  c.T0 = CorrectionPeriod(K, R);
  uint32_t E = K / c.T0;
  const uint32_t K1 = K - E;
  const uint32_t R1 = R - E;
  if (R1 == 0) {
    c.T2 = c.T0;
    c.T0 = 0;
    return c;
  }
  c.T1 = CorrectionPeriod(K1, R1);
  E = K1 / c.T1;
  const uint32_t K2 = K1 - E;
  const uint32_t R2 = R1 - E;
  if (R2 == 0) {
    c.T2 = c.T1;
    c.T1 = c.T0;
    c.T0 = 0;
    return c;
  }
  c.T2 = CorrectionPeriod(K2, R2);
  return c;
}

uint16_t Enable(bool bOn, ipg::Enables bit) { return bOn ? BitMask(bit) : 0; }

}  // namespace

CIPGCard::CIPGCard() : m_bEmulation(0) {}

CIPGCard::~CIPGCard() {}

int32_t CIPGCard::InitPowerOn() { return 1; }

// Q counts per pulse leave a remainder R of the period; up to three
// correction periods stretch R pulses by one count each.
int32_t CIPGCard::SetIPGPulses(uint32_t dwPulses) {
  // The period cannot be divided into no pulses; the board keeps what it has.
  if (dwPulses == 0) {
    ERRLOG_WriteToLOGFile("IPGN5_SetIPGPulses: 0 pulses refused, IPG unchanged\n");
    return 0;
  }
  const uint32_t Q = ipg::kPeriodCounts / dwPulses;
  const Corrections c = CorrectionsFor(ipg::kPeriodCounts - Q * dwPulses);

  const uint32_t dwT2Complement = 0x100000u - c.T2;
  const uint32_t dwEnables = c.T2 == 0 ? 0u
                                       : ((dwT2Complement >> 16) & ipg::kT2HighMask) |
                                             Enable(c.T0 != 0, ipg::Enables::kT0On) |
                                             Enable(c.T1 != 0, ipg::Enables::kT1On) | BitMask(ipg::Enables::kT2On);
  const uint32_t dwQComplement = 65536u - Q;

  WriteIndexed(ipg::kT0, c.T0 != 0 ? 65536u - c.T0 : 0u);
  WriteIndexed(ipg::kT1, c.T1 != 0 ? 65536u - c.T1 : 0u);
  HWIO_Hout(ipg::kIndexPort, ipg::kT2Low);
  if (c.T2 != 0) HWIO_Hout(ipg::kDataPort, static_cast<uint16_t>(dwT2Complement));
  WriteIndexed(ipg::kEnables, dwEnables);
  WriteIndexed(ipg::kPulseLength, ((dwQComplement & 0xFFu) << 8) | ((dwQComplement >> 1) & 0xFFu));
  return 1;
}

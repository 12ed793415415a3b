// Engraving processor board: stepper, DACs, output word and FINP inputs,
// laser controls and the pulse measurements.
#include "CEPU.h"
#include "CEPU_internal.h"
#include "convert.h"
#include "direct_port.h"
#include "errlog32.h"
#include "hwio32.h"
#include "port_register.h"
#include "timing32.h"

using cardn5::Dbl;
using cardn5::Trunc;
using epu::Write;

namespace {

constexpr uint16_t kIndexMask = 1u << epu::kIndexBit;
constexpr uint16_t kEncoderMask = 1u << epu::kEncoderBit;
constexpr uint16_t kIPGPulseMask = 1u << epu::kIPGPulseBit;

// DAC codes per volt: 4095 at 10 V.
constexpr double kDACCodesPerVolt = 409.5;

inline uint16_t ReadStatusDirect() { return cardn5::DirectIn16(g_EPUStatus.GetPort()); }

}  // namespace

// ---- Stepper ------------------------------------------------------------------

void CEPUCard::SetSMDirection(int32_t bDirection) {
  ++m_dwSetSMDirectionCnt;
  if (bDirection != 0)
    g_EPUControl.SetBit(epu::kSMDirection);
  else
    g_EPUControl.ResetBit(epu::kSMDirection);
  // The driver needs the direction stable around the edge.
  if (!m_bEmulation) {
    TIMING_Delay(1);
    g_EPUControl.Out();
    TIMING_Delay(1);
  }
}

int32_t CEPUCard::SetSMSpeed(int32_t bSelector) {
  if (bSelector != 0)
    g_EPUOKOutput.ResetBit(3);
  else
    g_EPUOKOutput.SetBit(3);
  g_EPUOKOutput.Out();
  g_wIndex9Flags = bSelector == 0 ? (g_wIndex9Flags | 0x8u) : (g_wIndex9Flags & ~0x8u);
  WriteIndexed(13, epu::kIndex13BeforeIndex9);
  WriteIndexed(9, static_cast<uint16_t>(g_wIndex9Flags));
  return TIMING_DelayUS(10);
}

int32_t CEPUCard::SetSMAutoMan(int32_t bAutomatic) {
  if (bAutomatic != 0)
    g_EPUControl.SetBit(epu::kSMAuto);
  else
    g_EPUControl.ResetBit(epu::kSMAuto);
  return g_EPUControl.Out();
}

// The value written does not matter, only the write.
int32_t CEPUCard::OneSMStep() { return g_EPUSMStep.Out(); }

uint16_t CEPUCard::GetSMStepAdresse() { return g_EPUSMStep.GetPort(); }

// ---- DACs and output word ---------------------------------------------------------

// No clamping: the host's volts go to the board as they are.
int32_t CEPUCard::SetDAC0(double dVolts) {
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC0 %3.2lf V \n", dVolts);
  Write(g_EPUDAC0, static_cast<uint16_t>(Trunc(Dbl(dVolts * kDACCodesPerVolt))));
  return 1;
}

int32_t CEPUCard::SetDAC1(double dVolts) {
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC1 %3.2lf V \n", dVolts);
  Write(g_EPUDAC1, static_cast<uint16_t>(Trunc(Dbl(dVolts * kDACCodesPerVolt))));
  return 1;
}

int32_t CEPUCard::SetOKOutput(uint32_t dwWord) { return Write(g_EPUOKOutput, static_cast<uint16_t>(dwWord)); }

// The focusing head and the scanner drive change single bits of this word
// through a copy; the shadow is the word's only record.
uint16_t CEPUCard::GetOKOutput() { return g_EPUOKOutput.GetValue(); }

uint16_t CEPUCard::GetFINP() {
  g_EPUFinp.In();
  return g_EPUFinp.GetValue();
}

// ---- Laser and error LED -------------------------------------------------------

// Either way the pulse ratio of the job is gone until the next preparation.
int32_t CEPUCard::TurnLaserdiodeOn(int32_t bOn) {
  if (bOn != 0) {
    g_EPUOKOutput.SetBit(1);
    g_EPUOKOutput.Out();
    return Write(g_EPULaserPulse, 0x4000);
  }
  g_EPUOKOutput.ResetBit(1);
  g_EPUOKOutput.Out();
  return Write(g_EPULaserPulse, 0x0000);
}

int32_t CEPUCard::SetLaserpulsExplizit(int32_t bOn) {
  if (bOn != 0)
    g_EPULaserPulse.SetBit(14);
  else
    g_EPULaserPulse.ResetBit(14);
  return g_EPULaserPulse.Out();
}

// Only 1 means on: hosts pass other values to switch it off.
int32_t CEPUCard::SetErrorLED(int32_t nValue) {
  if (nValue == 1)
    g_EPUControl.SetBit(epu::kErrorLED);
  else
    g_EPUControl.ResetBit(epu::kErrorLED);
  return g_EPUControl.Out();
}

// ---- Measurements ---------------------------------------------------------------

int32_t CEPUCard::IsPLLInRange() {
  g_EPUStatus.In();
  return g_EPUStatus.Bit(epu::kPLLBit);
}

int32_t CEPUCard::TestEncoder() {
  g_EPUStatus.In();
  return g_EPUStatus.Bit(epu::kEncoderBit);
}

// Complete encoder pulses (high, then low) from the falling edge of the
// index pulse to its next rising edge. A read must fall into every phase,
// so interrupts stay held off for the whole window.
uint16_t CEPUCard::GetEncoderPulses() {
  if (m_bEmulation) return 5555;
  HWIO_WindowsClearInterrupt();
  while (!(ReadStatusDirect() & kIndexMask)) {
  }
  while (ReadStatusDirect() & kIndexMask) {
  }
  uint16_t wCount = 0;
  for (;;) {
    uint16_t v = ReadStatusDirect();
    if (v & kIndexMask) break;
    if (v & kEncoderMask) {
      do {
        v = ReadStatusDirect();
      } while (!(v & kIndexMask) && (v & kEncoderMask));
      if (v & kIndexMask) break;
      ++wCount;
    }
  }
  HWIO_WindowsSetInterrupt();
  return wCount;
}

// Pulses from the rising edge of the index pulse on; the index is looked at
// again only once 100 pulses are counted, so the window may run past it
// while the index pulse is still high.
uint16_t CEPUCard::GetIPGPulses() {
  if (m_bEmulation) return 7777;
  HWIO_WindowsClearInterrupt();
  while (!(ReadStatusDirect() & kIndexMask)) {
  }
  uint16_t wCount = 0;
  int nGuard = 0;
  auto windowClosed = [&nGuard](uint16_t v) { return nGuard >= 100 && (v & kIndexMask) != 0; };
  for (;;) {
    uint16_t v = ReadStatusDirect();
    if (windowClosed(v)) break;
    if (v & kIPGPulseMask) {
      do {
        v = ReadStatusDirect();
      } while (!windowClosed(v) && (v & kIPGPulseMask));
      if (windowClosed(v)) break;
      ++wCount;
      if (nGuard <= 100) ++nGuard;
    }
  }
  HWIO_WindowsSetInterrupt();
  return wCount;
}

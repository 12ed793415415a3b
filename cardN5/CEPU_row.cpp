// Engraving processor board: one row of a prepared job, the shift and divider
// computations and the waits on the board.
#include "CEPU.h"
#include "CEPU_internal.h"
#include "convert.h"
#include "direct_port.h"
#include "errlog32.h"
#include "fail.h"
#include "hwio32.h"
#include "port_register.h"

using cardn5::Dbl;
using cardn5::Trunc;
using epu::Write;

namespace {

// B700 value of the spiral pass of row mode 2 (mode 1 takes 5 % of the pulses).
constexpr uint16_t kMode2SpiralB700 = 65500;

inline void SpinPause() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

int32_t CEPUCard::DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode, uint32_t wSteps,
                           uint32_t wRowShift, PFN_SMMOVE pfnSmMove) {
  // Only a board object that never saw a job has no row length: the
  // preparation refuses one. The shift would be taken modulo 0.
  if (m_wRowLength == 0) {
    ERRLOG_WriteToLOGFile("DoOneRow: wRowLength = 0, no job prepared -> row refused\n");
    return 0;
  }
  const uint16_t wMode = static_cast<uint16_t>(wRowMode);
  if (static_cast<uint16_t>(wRowShift) != m_wRowShift) {
    m_wRowShift = static_cast<uint16_t>(wRowShift);
    RecalcShift();
    WaitWhileEnvorsch();
    WaitTurnOffBitClear();
    WriteRowRegisters();
    WaitTwoIndexPulses();
  }
  if (wMode != 3) SetStepsPerRow(wSteps);

  switch (wMode) {
    case 0:
      if (!LaserOneRow(dwCodeArg1, dwCodeArg2, pfnSmMove)) {
        ERRLOG_WriteToLOGFile("Error in LaserOneRow(),  Rowmode=0 \n");
        return 0;
      }
      return 1;
    case 1:
    case 2:
      return TwoPassRow(dwCodeArg1, dwCodeArg2, wMode, pfnSmMove);
    case 3:
      return StepperMoveOnly(wSteps, pfnSmMove);
    default:
      ERRLOG_WriteToLOGFile("Illegal Rowmode %d\n", static_cast<int>(wMode));
      return 1;
  }
}

// A cylindrical pass without advance at a fresh start offset, then the
// spiral pass with the job's divider and offset.
int32_t CEPUCard::TwoPassRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint16_t wRowMode, PFN_SMMOVE pfnSmMove) {
  int32_t bResult = 1;
  const uint16_t wKeptDivider = m_wAdvanceDivider;
  const uint16_t wKeptStartOffset = m_wStartOffset;
  m_wAdvanceDivider = epu::kCylindricalDivider;
  m_wStartOffset = NextRandomOffset();

  RecalcShift();
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
  WaitTwoIndexPulses();
  WriteRowRegisters();
  WaitTwoIndexPulses();

  if (!LaserOneRow(dwCodeArg1, dwCodeArg2, pfnSmMove)) {
    ERRLOG_WriteToLOGFile("Error in LaserOneRow() cylindrical part\n");
    bResult = 0;
  }

  m_wAdvanceDivider = wKeptDivider;
  const uint16_t wKeptB700 = m_wB700Value;
  m_wB700Value = wRowMode == 2 ? kMode2SpiralB700 : m_wSpiralB700;
  m_wStartOffset = wKeptStartOffset;

  RecalcShift();
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
  WriteRowRegisters();
  WaitTwoIndexPulses();

  if (!LaserOneRow(dwCodeArg1, dwCodeArg2, pfnSmMove)) {
    ERRLOG_WriteToLOGFile("Error in LaserOneRow() spiral part\n");
    bResult = 0;
  }

  m_wB700Value = wKeptB700;
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
  WriteRowRegisters();
  return bResult;
}

int32_t CEPUCard::StepperMoveOnly(uint32_t wSteps, PFN_SMMOVE pfnSmMove) {
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
  if (m_wSMAuto == 0) {
    if (!pfnSmMove(wSteps, 1, 0)) {
      ERRLOG_WriteToLOGFile("Fail in SmMove\n");
      return 0;
    }
    return 1;
  }
  // The board advances by itself in this job: take the stepper over for
  // the host's move and hand it back.
  int32_t bResult = 1;
  g_EPUControl.ResetBit(epu::kSMAuto);
  g_EPUControl.Out();
  if (!pfnSmMove(wSteps, 1, 0)) {
    ERRLOG_WriteToLOGFile("Error in DoOneRow during SmMove\n");
    bResult = 0;
  }
  g_EPUControl.SetBit(epu::kSMAuto);
  g_EPUControl.SetBit(epu::kSMDirection);
  g_EPUControl.Out();
  return bResult;
}

int32_t CEPUCard::LaserOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove) {
  int32_t bResult = 1;
  int nMismatches = 0;
  int nOutOfRange = 0;

  // The row slot, while the PLL stays locked.
  if (!m_bEmulation) {
    for (;;) {
      g_EPUStatus.In();
      if (!g_EPUStatus.Bit(epu::kPLLBit)) {
        ++nOutOfRange;
        for (int nCheck = 0; nCheck < 3; ++nCheck) {
          g_EPUStatus.In();
          if (g_EPUStatus.Bit(epu::kPLLBit)) {
            nOutOfRange = 0;
          } else if (++nOutOfRange >= 3) {
            ERRLOG_WriteToLOGFile("in LaserOneRow PLL not in range \n");
            CARDN5_RECORD_ERROR(ERR_EPU_PLL);
            return 0;
          }
        }
      }
      if (g_EPUStatus.Bit(WRALLO_BIT)) break;
    }
  }
  const uint16_t wS0 = g_EPUStatus.GetValue();
  g_EPUStatus.In();
  const uint16_t wS1 = g_EPUStatus.GetValue();
  g_EPUStatus.In();
  const uint16_t wS2 = g_EPUStatus.GetValue();

  for (int nReading = 0; nReading < 3; ++nReading) {
    g_EPUStatus.In();
    const uint16_t wOffered = g_EPUStatus.Bit(WRPL1_BIT) ? 0 : 1;
    if (!m_bEmulation && wOffered != m_wExpectedBank) ++nMismatches;
  }
  // Engraving into the other bank only shifts the row; the operator sees
  // the LED, the job goes on.
  if (nMismatches == 3) {
    ERRLOG_WriteToLOGFile("Switched to wrong memory bank 0x%x 0x%x 0x%x \n", static_cast<unsigned>(wS0),
                          static_cast<unsigned>(wS1), static_cast<unsigned>(wS2));
    g_EPUControl.SetBit(epu::kErrorLED);
    g_EPUControl.Out();
  }

  Write(g_EPUCommand, epu::kCommand);
  if (!m_bEmulation) {
    const int32_t nBusyBit = m_wLLCode == 0 ? epu::kPXBusyBit : epu::kLLBusyBit;
    do {
      g_EPUStatus.In();
    } while (g_EPUStatus.Bit(nBusyBit));
  }
  g_EPUControl.LowPuls(m_wExpectedBank != 0 ? epu::kBank1Select : epu::kBank0Select);
  if (!m_bEmulation) {
    if (m_wLLCode == 0)
      HWIO_WritePXCode(dwCodeArg1, dwCodeArg2);
    else
      HWIO_WriteLLCode(dwCodeArg1, dwCodeArg2);
  }
  ReadMemoryCounter();
  g_EPUControl.LowPuls(epu::kRowDone);
  Write(g_EPUAdvanceDivider, m_wAdvanceDivider);
  WriteBankOffset();

  if (m_wSMAuto == 0) {
    WaitWhileEnvorsch();
    if (m_bFirstRow == 0 && !pfnSmMove(m_wStepsPerRow, 1, 0)) {
      ERRLOG_WriteToLOGFile("SM Error in LaserOneRow()\n");
      bResult = 0;
    }
    if (m_wRandomOffset != 0) {
      ++m_wRowCounter;
      if (m_wRowCounter % 3 == 0) {
        m_wStartOffset = NextRandomOffset();
        m_bWaitPending = 1;
        RecalcShift();
        WriteRowRegisters();
        WriteBankOffset();
      }
      if (m_bWaitPending != 0) {
        WaitTwoIndexPulses();
        m_bWaitPending = 0;
      }
    }
  }
  if (m_bFirstRow == 1) m_bFirstRow = 0;
  g_EPUControl.HighPuls(epu::kBankChange);
  m_wExpectedBank = m_wExpectedBank == 0 ? 1 : 0;
  return bResult;
}

void CEPUCard::WriteBankOffset() { Write(m_wExpectedBank == 0 ? g_EPUBank0Offset : g_EPUBank1Offset, m_wShiftRest); }

void CEPUCard::ReadMemoryCounter() {
  if (m_wExpectedBank == 0)
    g_EPUMemCounter0.In();
  else
    g_EPUMemCounter1.In();
}

// Keeps m_wShift + m_wShiftRest == m_wRowLength; DoOneRow has made sure the
// row length is not 0.
void CEPUCard::RecalcShift() {
  if (m_wStartOffset < m_wRowShift) {
    m_wShift = static_cast<uint16_t>(m_wRowShift - m_wStartOffset);
    m_wShiftRest = static_cast<uint16_t>(m_wRowLength - m_wShift);
  } else {
    const uint16_t r = static_cast<uint16_t>(static_cast<uint16_t>(m_wStartOffset - m_wRowShift) % m_wRowLength);
    m_wShiftRest = r;
    m_wShift = static_cast<uint16_t>(m_wRowLength - r);
  }
}

// The divider lies midway between the pulses of n + 1 and of n steps per
// row; the board cannot divide by more than 65534.
void CEPUCard::SetStepsPerRow(uint32_t wSteps) {
  const uint16_t n = static_cast<uint16_t>(wSteps);
  if (n == 0) {
    m_wStepsPerRow = 0;
    m_wAdvanceDivider = 65534;
    return;
  }
  const double dPulses = static_cast<double>(m_dwPulsesPerRow);
  m_wStepsPerRow = n;
  uint32_t d = static_cast<uint32_t>(Trunc(Dbl(Dbl(Dbl(Dbl(dPulses / n) + Dbl(dPulses / (n + 1))) + 1.0) * 0.5)));
  if (d > 65534) d = 65534;
  m_wAdvanceDivider = static_cast<uint16_t>(d);
}

uint16_t CEPUCard::NextRandomOffset() {
  ++g_wRandomCursor;
  if (g_wRandomCursor >= 1000) g_wRandomCursor = 0;
  return m_awRandomOffsets[g_wRandomCursor];
}

// ---- Waits on the board; none has a time-out ---------------------------------

void CEPUCard::WaitWhileEnvorsch() {
  if (m_bEmulation) return;
  do {
    g_EPUStatus.In();
  } while (g_EPUStatus.Bit(ENVORSCH_BIT));
}

// A reading with the bit set does not start the count again: five clear
// readings in all are enough.
void CEPUCard::WaitTurnOffBitClear() {
  if (m_bEmulation) return;
  int nClear = 0;
  while (nClear < 5) {
    g_EPUStatus.In();
    if (!g_EPUStatus.Bit(epu::kTurnOffBlockedBit)) ++nClear;
  }
}

// A user-mode process cannot mask interrupts itself; the port-I/O library's
// hold-off does it for us, and no caller of ours has them held off, so
// allowing them again restores the state before. The reads bypass the
// status register's shadow.
void CEPUCard::WaitTwoIndexPulses() {
  if (m_bEmulation) return;
  const uint16_t wPort = g_EPUStatus.GetPort();
  const uint16_t wIndex = static_cast<uint16_t>(1u << epu::kIndexBit);
  for (int nPulse = 0; nPulse < 2; ++nPulse) {
    HWIO_WindowsClearInterrupt();
    while (!(cardn5::DirectIn16(wPort) & wIndex)) {
    }
    while (cardn5::DirectIn16(wPort) & wIndex) {
    }
    HWIO_WindowsSetInterrupt();
  }
}

// The host's shut-down thread: the row in progress must end first, then the
// board must allow switching off.
int32_t CEPUCard::WaitForTurnOffPossible() {
  while (m_bInDoOneRow.load() == 1) SpinPause();
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
  return m_bEmulation != 0 ? 1 : 0;
}

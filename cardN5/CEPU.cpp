// Engraving processor board: registers, power-on and job preparation, the
// rows of a prepared job with their shift and divider computations and
// waits, and the auxiliary controls with the pulse measurements.
#include "CEPU.h"

#include <stddef.h>

#include <cstdlib>

#include "convert.h"
#include "direct_port.h"
#include "errlog32.h"
#include "fail.h"
#include "hwconf32.h"
#include "hwio32.h"
#include "port_register.h"
#include "sleep_shim.h"
#include "timing32.h"

using cardn5::Dbl;
using cardn5::Trunc;
using epu::Write;

static_assert(sizeof(EPU_GRAVUR_PARAMS) == 48, "the host passes the job record as 48 bytes on the stack");
static_assert(offsetof(EPU_GRAVUR_PARAMS, dwPulsesPerRow) == 8 && offsetof(EPU_GRAVUR_PARAMS, wRowLength) == 12 &&
                  offsetof(EPU_GRAVUR_PARAMS, dPulseNumerator) == 16 &&
                  offsetof(EPU_GRAVUR_PARAMS, dPulseDenominator) == 24 &&
                  offsetof(EPU_GRAVUR_PARAMS, w9B00Value) == 32 && offsetof(EPU_GRAVUR_PARAMS, wStartposY) == 36,
              "the job record's layout is the host's");

// ---- Registers ------------------------------------------------------------

CPortRegister g_EPUStatus(0x8300);          // read: status bits
CPortRegister g_EPUCommand(0x8300);         // written: always 0x0202
CPortRegister g_EPUControl(0x8700);         // written: control bits
CPortRegister g_EPUFinp(0x8700);            // read: FINP input word
CPortRegister g_EPUBank0Offset(0x8B00);     // written: shift rest of a bank-0 row
CPortRegister g_EPUBank1Offset(0x8F00);     // written: shift rest of a bank-1 row
CPortRegister g_EPUMemCounter0(0x8F00);     // read: memory counter of bank 0
CPortRegister g_EPUShift(0x9300);           // written: shift
CPortRegister g_EPUMemCounter1(0x9300);     // read: memory counter of bank 1
CPortRegister g_EPURowLength(0x9700);       // written: row length
CPortRegister g_EPUReg9B00(0x9B00);         // written: job's 9B00 value
CPortRegister g_EPUAdvanceDivider(0x9F00);  // written: advance divider
CPortRegister g_EPUStartPos(0xA300);        // written: start position + start offset
CPortRegister g_EPUSMStep(0xA700);          // strobe: each write makes one stepper step; value unused
CPortRegister g_EPUOKOutput(0xAB00);        // written: general output word
CPortRegister g_EPUDAC0(0xAF00);            // written: DAC 0 code
CPortRegister g_EPUDAC1(0xB300);            // written: DAC 1 code
CPortRegister g_EPURegB700(0xB700);         // written: B700 value
CPortRegister g_EPULaserPulse(0xBB00);      // written: laser pulse word
CPortRegister g_EPUEcoDutyCycle(0xBF00);    // written: six eco duty cycle words in a row
CPortRegister g_EPUIndex(0xC700);           // written: index of an indexed register
CPortRegister g_EPUData(0xCB00);            // written: value for the selected indexed register

uint16_t g_wRandomCursor = 0;
uint32_t g_wIndex9Flags = 0;

namespace {

constexpr double kEcoClockHz = 12000000.0;

// The runtime's rand() with the range the offsets were scaled for: glibc's
// reaches 2^31 - 1, the Windows runtime's stops at 32,767.
int32_t Rand15() { return std::rand() & 0x7FFF; }

// Counts of the 12 MHz clock in one period of a channel, less one.
uint16_t PeriodCounts(double dKHz) { return cardn5::Clamp16(Trunc(Dbl(Dbl(kEcoClockHz / Dbl(dKHz * 1000.0)) - 1.0))); }

// The period counts less the duty's share of the period, evaluated left to
// right in this order: the board's documented values depend on the rounding.
uint16_t DutyCounts(uint16_t wPeriod, double dPercent, double dKHz) {
  const double dShare = Dbl(Dbl(Dbl(dPercent * 0.01) * Dbl(1.0 / Dbl(dKHz * 1000.0))) * kEcoClockHz);
  return cardn5::Clamp16(Trunc(Dbl(wPeriod - dShare)));
}

}  // namespace

// ---- Object ----------------------------------------------------------------

// Only the job preparation gives the job fields meaning; they start at 0 so
// that a row before any preparation finds row length 0 and is refused.
CEPUCard::CEPUCard()
    : m_bEmulation(0),
      m_dwSetSMDirectionCnt(0),
      m_wRandomOffset(0),
      m_wLLCode(0),
      m_wSMAuto(0),
      m_wFlag7(0),
      m_wShift(0),
      m_wRowLength(0),
      m_w9B00Value(0),
      m_wB700Value(0),
      m_wSpiralB700(0),
      m_wStartOffset(0),
      m_wRowShift(0),
      m_wShiftRest(0),
      m_wStepsPerRow(0),
      m_wAdvanceDivider(0),
      m_dwPulsesPerRow(0),
      m_wExpectedBank(0),
      m_bFirstRow(0),
      m_bWaitPending(0),
      m_wRowCounter(0),
      m_awRandomOffsets(),
      m_dPulseNumerator(0.0),
      m_dPulseDenominator(0.0),
      m_wStartposY(0),
      m_bInDoOneRow(0) {}

CEPUCard::~CEPUCard() {
  if (m_dwSetSMDirectionCnt != 0)
    ERRLOG_WriteToLOGFile("CARDN532 EPU SetSMDirectionCnt %ld \n", static_cast<long>(m_dwSetSMDirectionCnt));
}

void CEPUCard::WriteIndexed(uint16_t wIndex, uint16_t wValue) {
  Write(g_EPUIndex, wIndex);
  Write(g_EPUData, wValue);
}

// ---- Power-on, shutter, eco duty cycle -------------------------------------

int32_t CEPUCard::InitPowerOn(int32_t bEcoDutyCycle) {
  Write(g_EPUControl, 0);
  g_EPUControl.LowPuls(epu::kBank0Select);
  g_EPUControl.LowPuls(epu::kBank1Select);
  g_EPUControl.LowPuls(epu::kRowDone);
  g_EPUControl.LowPuls(epu::kStart);
  g_EPUControl.HighPuls(epu::kBankChange);
  Write(g_EPULaserPulse, 0);
  Write(g_EPUCommand, epu::kCommand);
  SetSWShutterOpen(0);
  // Hosts pass a BOOL that may carry garbage above its low byte.
  if ((bEcoDutyCycle & 0xFF) != 0) SetEcoDutyCycle(HWCONF_GetSetupValue(119));
  // Register 9 goes to 0 here without forgetting the shutter and speed flags.
  WriteIndexed(13, epu::kIndex13BeforeIndex9);
  WriteIndexed(9, 0x0000);
  TIMING_DelayUS(10);
  WriteIndexed(5, 0x0001);
  WriteIndexed(1, 0x4A9E);
  TIMING_DelayUS(10);
  return 1;
}

int32_t CEPUCard::SetSWShutterOpen(int32_t bOpen) {
  if (bOpen != 0)
    g_EPUControl.SetBit(epu::kShutterOpen);
  else
    g_EPUControl.ResetBit(epu::kShutterOpen);
  g_EPUControl.Out();
  g_wIndex9Flags = bOpen != 0 ? (g_wIndex9Flags | 0x2u) : (g_wIndex9Flags & ~0x2u);
  WriteIndexed(13, epu::kIndex13BeforeIndex9);
  WriteIndexed(9, static_cast<uint16_t>(g_wIndex9Flags));
  return TIMING_DelayUS(10);
}

int32_t CEPUCard::SetEcoDutyCycle(double dDutyPercent) {
  const double dS118 = HWCONF_GetSetupValue(118);  // channel 1, kHz
  const double dS120 = HWCONF_GetSetupValue(120);  // microseconds
  const double dS121 = HWCONF_GetSetupValue(121);  // channel 2, kHz
  const double dS122 = HWCONF_GetSetupValue(122);  // channel 2 duty, percent
  const double dS123 = HWCONF_GetSetupValue(123);  // mode number

  const uint16_t wRegister0 = PeriodCounts(dS118);
  const uint16_t wRegister1 = DutyCounts(wRegister0, dDutyPercent, dS118);
  const uint16_t wRegister2 = cardn5::Clamp16(Trunc(Dbl(Dbl(Dbl(dS120 * 0.000001) * kEcoClockHz) - 1.0)));
  const uint16_t wRegister3 = PeriodCounts(dS121);
  const uint16_t wRegister4 = DutyCounts(wRegister3, dS122, dS121);
  const uint32_t dwRegister5 = (static_cast<uint32_t>(Trunc(dS123)) | 4u) << 13;

  ERRLOG_WriteToLOGFile("Register0: %x\n", static_cast<unsigned>(wRegister0));
  ERRLOG_WriteToLOGFile("Register1: %x\n", static_cast<unsigned>(wRegister1));
  ERRLOG_WriteToLOGFile("Register2: %x\n", static_cast<unsigned>(wRegister2));
  ERRLOG_WriteToLOGFile("Register3: %x\n", static_cast<unsigned>(wRegister3));
  ERRLOG_WriteToLOGFile("Register4: %x\n", static_cast<unsigned>(wRegister4));
  ERRLOG_WriteToLOGFile("Register5: %x\n", static_cast<unsigned>(dwRegister5));

  Write(g_EPUEcoDutyCycle, wRegister0);
  Write(g_EPUEcoDutyCycle, wRegister1);
  Write(g_EPUEcoDutyCycle, wRegister2);
  Write(g_EPUEcoDutyCycle, wRegister3);
  Write(g_EPUEcoDutyCycle, wRegister4);
  Write(g_EPUEcoDutyCycle, static_cast<uint16_t>(dwRegister5));
  return 1;
}

// ---- Engraving preparation --------------------------------------------------

int32_t CEPUCard::GravurVorbereiten(EPU_GRAVUR_PARAMS params) {
  ERRLOG_WriteToLOGFile("machine must running with correct DrumSpeed \n");
  ERRLOG_WriteToLOGFile("IPG must be programmed correct \n");
  SetSWShutterOpen(0);
  if (!InitParameter(params.wRandomOffset, params.wLLCode, params.wSMAuto, params.wFlag7, params.dwPulsesPerRow,
                     static_cast<uint16_t>(params.wRowLength), params.dPulseNumerator, params.dPulseDenominator,
                     static_cast<uint16_t>(params.w9B00Value), static_cast<uint16_t>(params.wStartposY))) {
    ERRLOG_WriteToLOGFile("Error in EPUN5_GravurVorbereiten : InitParameter\n");
    CARDN5_RECORD_ERROR(ERR_EPU_PREPARE);
    return 0;
  }
  if (!InitAction()) {
    ERRLOG_WriteToLOGFile("Error in EPUN5_GravurVorbereiten : InitAction\n");
    CARDN5_RECORD_ERROR(ERR_EPU_PREPARE);
    return 0;
  }
  if (!SetBits()) {
    ERRLOG_WriteToLOGFile("Error in EPUN5_GravurVorbereiten : SetBits\n");
    CARDN5_RECORD_ERROR(ERR_EPU_PREPARE);
    return 0;
  }
  return 1;
}

void CEPUCard::SetFirstRow() { m_bFirstRow = 1; }

int32_t CEPUCard::InitParameter(uint16_t wRandomOffset, uint16_t wLLCode, uint16_t wSMAuto, uint16_t wFlag7,
                                uint32_t dwPulsesPerRow, uint16_t wRowLength, double dPulseNumerator,
                                double dPulseDenominator, uint16_t w9B00Value, uint16_t wStartposY) {
  // The shift is taken modulo the row length; a job without one cannot be
  // engraved, and the job before stays as it was.
  if (wRowLength == 0) {
    ERRLOG_WriteToLOGFile("InitParameter: wRowLength = 0 refused\n");
    return 0;
  }
  m_wRandomOffset = wRandomOffset;
  m_wLLCode = wLLCode;
  m_wSMAuto = wSMAuto;
  m_wFlag7 = wFlag7;
  m_dwPulsesPerRow = dwPulsesPerRow;
  m_wRowLength = wRowLength;
  m_dPulseNumerator = dPulseNumerator;
  m_dPulseDenominator = dPulseDenominator;
  m_w9B00Value = w9B00Value;
  m_wStartposY = wStartposY;

  m_wShift = 5;
  m_wShiftRest = 5;
  m_wB700Value = m_wRandomOffset == 1 ? 0 : 1;
  m_wSpiralB700 = static_cast<uint16_t>(Trunc(Dbl(static_cast<double>(m_dwPulsesPerRow) * 0.05)));
  m_wStartOffset = 2;
  m_wRowShift = 0xFFFF;
  m_wStepsPerRow = 8;
  m_wAdvanceDivider = epu::kCylindricalDivider;
  m_wExpectedBank = 0;
  m_bFirstRow = 1;
  m_bWaitPending = 1;
  m_wRowCounter = 0;

  if (m_wRandomOffset == 1 && m_wStartposY != 0) {
    ERRLOG_WriteToLOGFile("m_wStartposY = %d\n", static_cast<int>(m_wStartposY));
    m_wStartposY = 0;
  }

  double dLimit = Dbl(static_cast<double>(m_dwPulsesPerRow) * 0.8);
  if (dLimit > 16000.0) dLimit = 16000.0;
  for (int k = 0; k < 1000; ++k) {
    const int32_t r = Rand15();
    uint16_t v = static_cast<uint16_t>(Trunc(Dbl(Dbl(r * (1.0 / 32767.0)) * dLimit)));
    if (v < 2) v = 2;
    m_awRandomOffsets[k] = v;
  }
  return 1;
}

int32_t CEPUCard::InitAction() {
  Write(g_EPUControl, 0);
  SetSWShutterOpen(0);
  g_EPUControl.LowPuls(epu::kBank0Select);
  g_EPUControl.LowPuls(epu::kBank1Select);
  g_EPUControl.LowPuls(epu::kRowDone);
  g_EPUControl.LowPuls(epu::kStart);
  g_EPUControl.HighPuls(epu::kBankChange);
  SetLaserPulseRatio(m_dPulseNumerator, m_dPulseDenominator);
  Write(g_EPUCommand, epu::kCommand);
  WriteRowRegisters();
  return 1;
}

void CEPUCard::SetLaserPulseRatio(double dNumerator, double dDenominator) {
  uint16_t v = static_cast<uint16_t>(Trunc(Dbl(Dbl(dNumerator / dDenominator) * 1500000.0)));
  if (v > 255) v = 255;
  g_EPULaserPulse.SetValue(v);
  if (v != 0)
    g_EPULaserPulse.SetBit(15);
  else
    g_EPULaserPulse.ResetBit(15);
  g_EPULaserPulse.Out();
}

void CEPUCard::WriteRowRegisters() {
  Write(g_EPUShift, m_wShift);
  Write(g_EPURowLength, m_wRowLength);
  Write(g_EPUStartPos, static_cast<uint16_t>(m_wStartposY + m_wStartOffset));
  Write(g_EPUReg9B00, m_w9B00Value);
  Write(g_EPURegB700, m_wB700Value);
}

int32_t CEPUCard::SetBits() {
  int32_t bResult = 1;
  auto setIf = [](int32_t nBit, bool bOn) {
    if (bOn)
      g_EPUControl.SetBit(nBit);
    else
      g_EPUControl.ResetBit(nBit);
  };
  setIf(epu::kSMAuto, m_wSMAuto != 0);
  setIf(epu::kSMDirection, true);
  setIf(epu::kFlag7, m_wFlag7 != 0);
  setIf(epu::kPXCode, m_wLLCode == 0);
  setIf(epu::kRandomOffset, m_wRandomOffset != 0);
  setIf(epu::kStart, true);
  setIf(epu::kRowDone, true);
  g_EPUControl.Out();
  g_EPUControl.LowPuls(epu::kRowDone);
  Write(g_EPUAdvanceDivider, epu::kCylindricalDivider);

  for (int nTry = 0; nTry < 5; ++nTry) {
    g_EPUControl.HighPuls(epu::kBankChange);
    // The board needs the drum turning before it offers bank 0.
    if (!m_bEmulation) TIMING_Delay(10000);
    g_EPUControl.LowPuls(epu::kStart);
    g_EPUStatus.In();
    if (g_EPUStatus.Bit(WRPL1_BIT)) {
      ERRLOG_WriteToLOGFile("WRPL1_BIT wurde als 1 erkannt\n");
      break;
    }
  }
  if (m_bEmulation) {
    m_wExpectedBank = 0;
    return 1;
  }
  if (!g_EPUStatus.Bit(WRPL1_BIT)) {
    ERRLOG_WriteToLOGFile("WRPL1_BIT wurde als 0 erkannt\n");
    bResult = 0;
  }

  bool bReady = false;
  for (int n = 1; n <= 2000 && !bReady; ++n) {
    g_EPUStatus.In();
    bReady = true;
    if (!g_EPUStatus.Bit(WRALLO_BIT)) {
      bReady = false;
      if (n % 50 == 1) ERRLOG_WriteToLOGFile("WRALLO_BIT wurde als 0 erkannt -> retrying\n");
    }
    if (g_EPUStatus.Bit(ENVORSCH_BIT)) {
      bReady = false;
      if (n % 50 == 1) ERRLOG_WriteToLOGFile("ENVORSCH_BIT wurde als 1 erkannt -> retrying\n");
    }
    if (!bReady) cardn5::Sleep(1);
  }
  m_wExpectedBank = 0;
  if (!bReady) {
    ERRLOG_WriteToLOGFile("2000 Retries -> immer noch nicht ok\n");
    return 0;
  }
  return bResult;
}

// ---- Rows ------------------------------------------------------------------

namespace {

// B700 value of the spiral pass of row mode 2 (mode 1 takes 5 % of the pulses).
constexpr uint16_t kMode2SpiralB700 = 65500;

// A host that handed no stepper function cannot have its stepper moved:
// the move counts as failed, so the row ends as after a failed SmMove
// instead of calling through a null pointer.
int32_t CallSmMove(PFN_SMMOVE pfnSmMove, uint32_t dwSteps) {
  if (pfnSmMove == nullptr) {
    ERRLOG_WriteToLOGFile("DoOneRow: pfnSmMove = NULL -> stepper not moved, row refused\n");
    return 0;
  }
  return pfnSmMove(dwSteps, 1, 0);
}

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
    if (!CallSmMove(pfnSmMove, wSteps)) {
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
  if (!CallSmMove(pfnSmMove, wSteps)) {
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
    if (m_bFirstRow == 0 && !CallSmMove(pfnSmMove, m_wStepsPerRow)) {
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

// ---- Auxiliary controls ----------------------------------------------------

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

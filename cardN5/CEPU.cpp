// Engraving processor board: registers, power-on and job preparation. Rows
// are in CEPU_row.cpp, the auxiliary controls in CEPU_aux.cpp.
#include "CEPU.h"

#include <stddef.h>

#include <cstdlib>

#include "CEPU_internal.h"
#include "convert.h"
#include "errlog32.h"
#include "fail.h"
#include "hwconf32.h"
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

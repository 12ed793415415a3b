// Engraving processor board: registers, power-on and job preparation, the
// rows of a prepared job with their shift and divider computations and
// waits, and the auxiliary controls with the pulse measurements.
#include "CEPU.h"

#include <cstdlib>
#include <initializer_list>

#include "convert.h"
#include "direct_port.h"
#include "epu_regs.h"
#include "errlog32.h"
#include "fail.h"
#include "hwconf32.h"
#include "hwio32.h"
#include "poll.h"
#include "sleep_shim.h"
#include "timing32.h"

using cardn5::Dbl;
using cardn5::kUnbounded;
using cardn5::PollUntil;
using cardn5::Trunc;
using epu::Control;
using epu::Status;

// ---- Registers (ports and bits in epu_regs.h) --------------------------------

TypedRegister<Status> g_EPUStatus(epu::kStatusPort);
PlainRegister g_EPUCommand(epu::kStatusPort);
TypedRegister<Control> g_EPUControl(epu::kControlPort);
PlainRegister g_EPUFinp(epu::kFinpPort);
PlainRegister g_EPUBank0Offset(epu::kBank0OffsetPort);
PlainRegister g_EPUBank1Offset(epu::kBank1OffsetPort);
PlainRegister g_EPUMemCounter0(epu::kMemCounter0Port);
PlainRegister g_EPUShift(epu::kShiftPort);
PlainRegister g_EPUMemCounter1(epu::kMemCounter1Port);
PlainRegister g_EPURowLength(epu::kRowLengthPort);
PlainRegister g_EPUReg9B00(epu::kReg9B00Port);
PlainRegister g_EPUAdvanceDivider(epu::kAdvanceDividerPort);
PlainRegister g_EPUStartPos(epu::kStartPosPort);
PlainRegister g_EPUSMStep(epu::kSMStepPort);  // strobe: its shadow stays 0
TypedRegister<epu::OKOutput> g_EPUOKOutput(epu::kOKOutputPort);
PlainRegister g_EPUDAC0(epu::kDAC0Port);
PlainRegister g_EPUDAC1(epu::kDAC1Port);
PlainRegister g_EPURegB700(epu::kRegB700Port);
TypedRegister<epu::LaserPulse> g_EPULaserPulse(epu::kLaserPulsePort);
PlainRegister g_EPUEcoDutyCycle(epu::kEcoDutyCyclePort);
PlainRegister g_EPUIndex(epu::kIndexPort);
PlainRegister g_EPUData(epu::kDataPort);

uint16_t g_wRandomCursor = 0;
uint32_t g_wIndex9Flags = 0;

namespace {

constexpr double kEcoClockHz = 12000000.0;

// DAC codes per volt: 4095 at 10 V.
constexpr double kDACCodesPerVolt = 409.5;

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

// Only the low 16 bits of the flags reach the board.
void UpdateIndex9Flag(uint32_t dwFlag, bool bOn) {
  g_wIndex9Flags = bOn ? (g_wIndex9Flags | dwFlag) : (g_wIndex9Flags & ~dwFlag);
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
  g_EPUIndex.Write(wIndex);
  g_EPUData.Write(wValue);
}

// The board takes index 9 only right after index 13 got its guard value.
void CEPUCard::WriteFlagsIndex(uint16_t wFlags) {
  WriteIndexed(epu::kFlagsGuardIndex, epu::kIndex13BeforeIndex9);
  WriteIndexed(epu::kFlagsIndex, wFlags);
}

// ---- Power-on, shutter, eco duty cycle -------------------------------------

int32_t CEPUCard::InitPowerOn(int32_t bEcoDutyCycle) {
  g_EPUControl.Write(0);
  PulseControlReset();
  g_EPULaserPulse.Write(0);
  g_EPUCommand.Write(epu::kCommand);
  SetSWShutterOpen(0);
  // Hosts pass a BOOL that may carry garbage above its low byte.
  if ((bEcoDutyCycle & 0xFF) != 0) SetEcoDutyCycle(HWCONF_GetSetupValue(119));
  // Register 9 goes to 0 here without forgetting the shutter and speed flags.
  WriteFlagsIndex(0x0000);
  TIMING_DelayUS(10);
  WriteIndexed(5, 0x0001);
  WriteIndexed(1, 0x4A9E);
  TIMING_DelayUS(10);
  return 1;
}

// Power-on and every preparation pulse the control lines in this order on
// a cleared control word: no job runs afterwards.
void CEPUCard::PulseControlReset() {
  g_EPUControl.LowPuls(Control::kBank0Select);
  g_EPUControl.LowPuls(Control::kBank1Select);
  g_EPUControl.LowPuls(Control::kRowDone);
  g_EPUControl.LowPuls(Control::kStart);
  g_EPUControl.HighPuls(Control::kBankChange);
}

int32_t CEPUCard::SetSWShutterOpen(int32_t bOpen) {
  g_EPUControl.Update(Control::kShutterOpen, bOpen != 0);
  g_EPUControl.Out();
  UpdateIndex9Flag(epu::kFlagShutterOpen, bOpen != 0);
  WriteFlagsIndex(static_cast<uint16_t>(g_wIndex9Flags));
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

  for (uint16_t wWord : {wRegister0, wRegister1, wRegister2, wRegister3, wRegister4}) g_EPUEcoDutyCycle.Write(wWord);
  g_EPUEcoDutyCycle.Write(static_cast<uint16_t>(dwRegister5));
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

  FillRandomTable();
  return 1;
}

// A fresh table from the continuing rand() sequence: offsets from 2 up to
// 80 % of the pulses per row, at most 16,000.
void CEPUCard::FillRandomTable() {
  double dLimit = Dbl(static_cast<double>(m_dwPulsesPerRow) * 0.8);
  if (dLimit > 16000.0) dLimit = 16000.0;
  for (int k = 0; k < 1000; ++k) {
    const int32_t r = Rand15();
    uint16_t v = static_cast<uint16_t>(Trunc(Dbl(Dbl(r * (1.0 / 32767.0)) * dLimit)));
    if (v < 2) v = 2;
    m_awRandomOffsets[k] = v;
  }
}

int32_t CEPUCard::InitAction() {
  g_EPUControl.Write(0);
  SetSWShutterOpen(0);
  PulseControlReset();
  SetLaserPulseRatio(m_dPulseNumerator, m_dPulseDenominator);
  g_EPUCommand.Write(epu::kCommand);
  WriteRowRegisters();
  return 1;
}

void CEPUCard::SetLaserPulseRatio(double dNumerator, double dDenominator) {
  uint16_t v = static_cast<uint16_t>(Trunc(Dbl(Dbl(dNumerator / dDenominator) * 1500000.0)));
  if (v > 255) v = 255;
  g_EPULaserPulse.SetValue(v);
  g_EPULaserPulse.Update(epu::LaserPulse::kRatioOn, v != 0);
  g_EPULaserPulse.Out();
}

void CEPUCard::WriteRowRegisters() {
  g_EPUShift.Write(m_wShift);
  g_EPURowLength.Write(m_wRowLength);
  g_EPUStartPos.Write(static_cast<uint16_t>(m_wStartposY + m_wStartOffset));
  g_EPUReg9B00.Write(m_w9B00Value);
  g_EPURegB700.Write(m_wB700Value);
}

// The start handshake. A missing bank 0 is reported only after the row slot
// polls have run.
int32_t CEPUCard::SetBits() {
  SetJobControlBits();
  g_EPUControl.LowPuls(Control::kRowDone);
  g_EPUAdvanceDivider.Write(epu::kCylindricalDivider);
  StartHandshake();
  if (m_bEmulation) {
    m_wExpectedBank = 0;
    return 1;
  }
  int32_t bResult = 1;
  if (!g_EPUStatus.Bit(Status::WRPL1_BIT)) {  // the reading of the last try
    ERRLOG_WriteToLOGFile("WRPL1_BIT wurde als 0 erkannt\n");
    bResult = 0;
  }
  const bool bReady = WaitRowSlotAfterStart();
  m_wExpectedBank = 0;
  if (!bReady) {
    ERRLOG_WriteToLOGFile("2000 Retries -> immer noch nicht ok\n");
    return 0;
  }
  return bResult;
}

// The job's bits in one write, with the start and row-done lines high.
void CEPUCard::SetJobControlBits() {
  g_EPUControl.Update(Control::kSMAuto, m_wSMAuto != 0);
  g_EPUControl.SetBit(Control::kSMDirection);
  g_EPUControl.Update(Control::kFlag7, m_wFlag7 != 0);
  g_EPUControl.Update(Control::kPXCode, m_wLLCode == 0);
  g_EPUControl.Update(Control::kRandomOffset, m_wRandomOffset != 0);
  g_EPUControl.SetBit(Control::kStart);
  g_EPUControl.SetBit(Control::kRowDone);
  g_EPUControl.Out();
}

// Up to five tries; the first that finds bank 0 offered ends them.
bool CEPUCard::StartHandshake() {
  return PollUntil(5, [this] {
    g_EPUControl.HighPuls(Control::kBankChange);
    // The board needs the drum turning before it offers bank 0.
    if (!m_bEmulation) TIMING_Delay(10000);
    g_EPUControl.LowPuls(Control::kStart);
    if (!g_EPUStatus.ReadBit(Status::WRPL1_BIT)) return false;
    ERRLOG_WriteToLOGFile("WRPL1_BIT wurde als 1 erkannt\n");
    return true;
  });
}

// Up to 2000 polls, 1 ms apart, for the row slot with ENVORSCH_BIT 0; what
// is missing is logged on polls 1, 51, 101, ...
bool CEPUCard::WaitRowSlotAfterStart() {
  return PollUntil(
      2000, [] { return g_EPUStatus.ReadBit(Status::WRALLO_BIT) && !g_EPUStatus.Bit(Status::ENVORSCH_BIT); },
      [](uint32_t n) {
        if (n % 50 == 1) {
          if (!g_EPUStatus.Bit(Status::WRALLO_BIT))
            ERRLOG_WriteToLOGFile("WRALLO_BIT wurde als 0 erkannt -> retrying\n");
          if (g_EPUStatus.Bit(Status::ENVORSCH_BIT))
            ERRLOG_WriteToLOGFile("ENVORSCH_BIT wurde als 1 erkannt -> retrying\n");
        }
        cardn5::Sleep(1);
      });
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

// After a reading with the PLL out of range: three re-checks, where a
// locked reading sets the count back to 0. True when the count reached 3.
bool PLLLostInRechecks(int& nOutOfRange) {
  ++nOutOfRange;
  for (int nCheck = 0; nCheck < 3; ++nCheck) {
    if (g_EPUStatus.ReadBit(Status::kPLLInRange))
      nOutOfRange = 0;
    else if (++nOutOfRange >= 3)
      return true;
  }
  return false;
}

// The processor's own reads of the status port, past the register's shadow.
uint16_t ReadStatusDirect() { return cardn5::DirectIn16(epu::kStatusPort); }

bool Has(uint16_t wStatus, Status bit) { return (wStatus & BitMask(bit)) != 0; }

bool IndexHigh(uint16_t wStatus) { return Has(wStatus, Status::kIndex); }

void WaitIndexLevel(bool bHigh) {
  PollUntil(kUnbounded, [bHigh] { return IndexHigh(ReadStatusDirect()) == bHigh; });
}

// Complete pulses (high, then low) of a status bit until closed(reading)
// holds; counted() runs after each. A read must fall into every phase, so
// the caller holds interrupts off for the whole window.
template <typename Closed, typename Counted>
uint16_t CountPulses(Status signal, Closed closed, Counted counted) {
  uint16_t wCount = 0;
  PollUntil(kUnbounded, [&] {
    uint16_t v = ReadStatusDirect();
    if (closed(v)) return true;
    if (!Has(v, signal)) return false;
    PollUntil(kUnbounded, [&] {
      v = ReadStatusDirect();
      return closed(v) || !Has(v, signal);
    });
    if (closed(v)) return true;
    ++wCount;
    counted();
    return false;
  });
  return wCount;
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
    ChangeRowRegisters();
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

// Row registers change only once the board is idle, and the board needs two
// index pulses to take them before the next row.
void CEPUCard::ChangeRowRegisters() {
  WaitUntilIdle();
  WriteRowRegisters();
  WaitTwoIndexPulses();
}

// A cylindrical pass without advance at a fresh start offset, then the
// spiral pass with the job's divider and offset; the job's registers are
// written back afterwards.
int32_t CEPUCard::TwoPassRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint16_t wRowMode, PFN_SMMOVE pfnSmMove) {
  const uint16_t wJobDivider = m_wAdvanceDivider;
  const uint16_t wJobStartOffset = m_wStartOffset;
  const uint16_t wJobB700 = m_wB700Value;
  int32_t bResult = CylindricalPass(dwCodeArg1, dwCodeArg2, pfnSmMove);

  m_wAdvanceDivider = wJobDivider;
  m_wB700Value = wRowMode == 2 ? kMode2SpiralB700 : m_wSpiralB700;
  m_wStartOffset = wJobStartOffset;
  if (!SpiralPass(dwCodeArg1, dwCodeArg2, pfnSmMove)) bResult = 0;

  m_wB700Value = wJobB700;
  WaitUntilIdle();
  WriteRowRegisters();
  return bResult;
}

int32_t CEPUCard::CylindricalPass(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove) {
  m_wAdvanceDivider = epu::kCylindricalDivider;
  m_wStartOffset = NextRandomOffset();
  RecalcShift();
  WaitUntilIdle();
  WaitTwoIndexPulses();
  WriteRowRegisters();
  WaitTwoIndexPulses();
  if (LaserOneRow(dwCodeArg1, dwCodeArg2, pfnSmMove)) return 1;
  ERRLOG_WriteToLOGFile("Error in LaserOneRow() cylindrical part\n");
  return 0;
}

int32_t CEPUCard::SpiralPass(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove) {
  RecalcShift();
  ChangeRowRegisters();
  if (LaserOneRow(dwCodeArg1, dwCodeArg2, pfnSmMove)) return 1;
  ERRLOG_WriteToLOGFile("Error in LaserOneRow() spiral part\n");
  return 0;
}

int32_t CEPUCard::StepperMoveOnly(uint32_t wSteps, PFN_SMMOVE pfnSmMove) {
  WaitUntilIdle();
  if (m_wSMAuto == 0) {
    if (CallSmMove(pfnSmMove, wSteps)) return 1;
    ERRLOG_WriteToLOGFile("Fail in SmMove\n");
    return 0;
  }
  // The board advances by itself in this job: take the stepper over for
  // the host's move and hand it back.
  int32_t bResult = 1;
  g_EPUControl.ResetBit(Control::kSMAuto);
  g_EPUControl.Out();
  if (!CallSmMove(pfnSmMove, wSteps)) {
    ERRLOG_WriteToLOGFile("Error in DoOneRow during SmMove\n");
    bResult = 0;
  }
  g_EPUControl.SetBit(Control::kSMAuto);
  g_EPUControl.SetBit(Control::kSMDirection);
  g_EPUControl.Out();
  return bResult;
}

// One row into the bank the job expects. Once past the PLL check the banks
// change, whether or not the host's stepper failed.
int32_t CEPUCard::LaserOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove) {
  if (!m_bEmulation && !WaitForRowSlot()) {
    ERRLOG_WriteToLOGFile("in LaserOneRow PLL not in range \n");
    CARDN5_RECORD_ERROR(ERR_EPU_PLL);
    return 0;
  }
  CheckOfferedBank();
  WriteRow(dwCodeArg1, dwCodeArg2);
  const int32_t bResult = m_wSMAuto == 0 ? AdvanceByHost(pfnSmMove) : 1;
  ChangeBank();
  return bResult;
}

// The row slot, while the PLL stays locked; false when the PLL is lost.
// The out-of-range count carries over from one round to the next.
bool CEPUCard::WaitForRowSlot() {
  int nOutOfRange = 0;
  bool bPLLLost = false;
  PollUntil(kUnbounded, [&] {
    if (!g_EPUStatus.ReadBit(Status::kPLLInRange)) bPLLLost = PLLLostInRechecks(nOutOfRange);
    return bPLLLost || g_EPUStatus.Bit(Status::WRALLO_BIT) != 0;
  });
  return !bPLLLost;
}

// S0 is the reading that found the row slot; S1 and S2 only go into the
// message. Engraving into the other bank only shifts the row: the operator
// sees the LED, the job goes on.
void CEPUCard::CheckOfferedBank() {
  const uint16_t wS0 = g_EPUStatus.GetValue();
  const uint16_t wS1 = static_cast<uint16_t>(g_EPUStatus.In());
  const uint16_t wS2 = static_cast<uint16_t>(g_EPUStatus.In());
  int nMismatches = 0;
  for (int nReading = 0; nReading < 3; ++nReading) {
    const uint16_t wOffered = g_EPUStatus.ReadBit(Status::WRPL1_BIT) ? 0 : 1;
    if (!m_bEmulation && wOffered != m_wExpectedBank) ++nMismatches;
  }
  if (nMismatches == 3) {
    ERRLOG_WriteToLOGFile("Switched to wrong memory bank 0x%x 0x%x 0x%x \n", static_cast<unsigned>(wS0),
                          static_cast<unsigned>(wS1), static_cast<unsigned>(wS2));
    g_EPUControl.SetBit(Control::kErrorLED);
    g_EPUControl.Out();
  }
}

// The row's data into the selected bank, then what the bank needs with it.
void CEPUCard::WriteRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2) {
  g_EPUCommand.Write(epu::kCommand);
  if (!m_bEmulation) WaitCodeInputReady();
  g_EPUControl.LowPuls(m_wExpectedBank != 0 ? Control::kBank1Select : Control::kBank0Select);
  if (!m_bEmulation) {
    if (m_wLLCode == 0)
      HWIO_WritePXCode(dwCodeArg1, dwCodeArg2);
    else
      HWIO_WriteLLCode(dwCodeArg1, dwCodeArg2);
  }
  ReadMemoryCounter();
  g_EPUControl.LowPuls(Control::kRowDone);
  g_EPUAdvanceDivider.Write(m_wAdvanceDivider);
  WriteBankOffset();
}

void CEPUCard::WaitCodeInputReady() {
  const Status busy = m_wLLCode == 0 ? Status::kPXBusy : Status::kLLBusy;
  PollUntil(kUnbounded, [busy] { return !g_EPUStatus.ReadBit(busy); });
}

// The host advances the stepper after every row but the job's first, and
// in random offset mode the start offset moves on.
int32_t CEPUCard::AdvanceByHost(PFN_SMMOVE pfnSmMove) {
  int32_t bResult = 1;
  WaitWhileEnvorsch();
  if (m_bFirstRow == 0 && !CallSmMove(pfnSmMove, m_wStepsPerRow)) {
    ERRLOG_WriteToLOGFile("SM Error in LaserOneRow()\n");
    bResult = 0;
  }
  if (m_wRandomOffset != 0) RandomOffsetStep();
  return bResult;
}

// Every third row draws a new start offset; the board needs two index
// pulses to take the changed registers before the bank changes.
void CEPUCard::RandomOffsetStep() {
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

void CEPUCard::ChangeBank() {
  if (m_bFirstRow == 1) m_bFirstRow = 0;
  g_EPUControl.HighPuls(Control::kBankChange);
  m_wExpectedBank = m_wExpectedBank == 0 ? 1 : 0;
}

void CEPUCard::WriteBankOffset() { (m_wExpectedBank == 0 ? g_EPUBank0Offset : g_EPUBank1Offset).Write(m_wShiftRest); }

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

// No row pending and the board allows switching off.
void CEPUCard::WaitUntilIdle() {
  WaitWhileEnvorsch();
  WaitTurnOffBitClear();
}

void CEPUCard::WaitWhileEnvorsch() {
  if (m_bEmulation) return;
  PollUntil(kUnbounded, [] { return !g_EPUStatus.ReadBit(Status::ENVORSCH_BIT); });
}

// A reading with the bit set does not start the count again: five clear
// readings in all are enough.
void CEPUCard::WaitTurnOffBitClear() {
  if (m_bEmulation) return;
  int nClear = 0;
  PollUntil(kUnbounded, [&nClear] {
    if (!g_EPUStatus.ReadBit(Status::kTurnOffBlocked)) ++nClear;
    return nClear == 5;
  });
}

// A user-mode process cannot mask interrupts itself; the port-I/O library's
// hold-off does it for us, and no caller of ours has them held off, so
// allowing them again restores the state before.
void CEPUCard::WaitTwoIndexPulses() {
  if (m_bEmulation) return;
  for (int nPulse = 0; nPulse < 2; ++nPulse) {
    HWIO_WindowsClearInterrupt();
    WaitIndexLevel(true);
    WaitIndexLevel(false);
    HWIO_WindowsSetInterrupt();
  }
}

// The host's shut-down thread: the row in progress must end first, then the
// board must allow switching off.
int32_t CEPUCard::WaitForTurnOffPossible() {
  PollUntil(
      kUnbounded, [this] { return m_bInDoOneRow.load() != 1; }, [](uint32_t) { SpinPause(); });
  WaitUntilIdle();
  return m_bEmulation != 0 ? 1 : 0;
}

// ---- Stepper ------------------------------------------------------------------

void CEPUCard::SetSMDirection(int32_t bDirection) {
  ++m_dwSetSMDirectionCnt;
  g_EPUControl.Update(Control::kSMDirection, bDirection != 0);
  // The driver needs the direction stable around the edge.
  if (!m_bEmulation) {
    TIMING_Delay(1);
    g_EPUControl.Out();
    TIMING_Delay(1);
  }
}

int32_t CEPUCard::SetSMSpeed(int32_t bSelector) {
  g_EPUOKOutput.Update(epu::OKOutput::kSMSpeed, bSelector == 0);
  g_EPUOKOutput.Out();
  UpdateIndex9Flag(epu::kFlagSlowSpeed, bSelector == 0);
  WriteFlagsIndex(static_cast<uint16_t>(g_wIndex9Flags));
  return TIMING_DelayUS(10);
}

int32_t CEPUCard::SetSMAutoMan(int32_t bAutomatic) {
  g_EPUControl.Update(Control::kSMAuto, bAutomatic != 0);
  return g_EPUControl.Out();
}

// The value written does not matter, only the write.
int32_t CEPUCard::OneSMStep() { return g_EPUSMStep.Out(); }

uint16_t CEPUCard::GetSMStepAdresse() { return g_EPUSMStep.GetPort(); }

// ---- DACs and output word ---------------------------------------------------------

// No clamping: the host's volts go to the board as they are.
int32_t CEPUCard::SetDAC0(double dVolts) {
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC0 %3.2lf V \n", dVolts);
  g_EPUDAC0.Write(static_cast<uint16_t>(Trunc(Dbl(dVolts * kDACCodesPerVolt))));
  return 1;
}

int32_t CEPUCard::SetDAC1(double dVolts) {
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC1 %3.2lf V \n", dVolts);
  g_EPUDAC1.Write(static_cast<uint16_t>(Trunc(Dbl(dVolts * kDACCodesPerVolt))));
  return 1;
}

int32_t CEPUCard::SetOKOutput(uint32_t dwWord) { return g_EPUOKOutput.Write(static_cast<uint16_t>(dwWord)); }

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
  g_EPUOKOutput.Update(epu::OKOutput::kLaserDiode, bOn != 0);
  g_EPUOKOutput.Out();
  return g_EPULaserPulse.Write(bOn != 0 ? BitMask(epu::LaserPulse::kExplicit) : 0x0000);
}

int32_t CEPUCard::SetLaserpulsExplizit(int32_t bOn) {
  g_EPULaserPulse.Update(epu::LaserPulse::kExplicit, bOn != 0);
  return g_EPULaserPulse.Out();
}

// Only 1 means on: hosts pass other values to switch it off.
int32_t CEPUCard::SetErrorLED(int32_t nValue) {
  g_EPUControl.Update(Control::kErrorLED, nValue == 1);
  return g_EPUControl.Out();
}

// ---- Measurements ---------------------------------------------------------------

int32_t CEPUCard::IsPLLInRange() { return g_EPUStatus.ReadBit(Status::kPLLInRange); }

int32_t CEPUCard::TestEncoder() { return g_EPUStatus.ReadBit(Status::kEncoder); }

// Encoder pulses from the falling edge of the index pulse to its next
// rising edge.
uint16_t CEPUCard::GetEncoderPulses() {
  if (m_bEmulation) return 5555;
  HWIO_WindowsClearInterrupt();
  WaitIndexLevel(true);
  WaitIndexLevel(false);
  const uint16_t wCount = CountPulses(Status::kEncoder, IndexHigh, [] {});
  HWIO_WindowsSetInterrupt();
  return wCount;
}

// Pulses from the rising edge of the index pulse on; the index is looked at
// again only once 100 pulses are counted, so the window may run past it
// while the index pulse is still high.
uint16_t CEPUCard::GetIPGPulses() {
  if (m_bEmulation) return 7777;
  HWIO_WindowsClearInterrupt();
  WaitIndexLevel(true);
  int nGuard = 0;
  const uint16_t wCount = CountPulses(
      Status::kIPGPulse, [&nGuard](uint16_t v) { return nGuard >= 100 && IndexHigh(v); },
      [&nGuard] {
        if (nGuard <= 100) ++nGuard;
      });
  HWIO_WindowsSetInterrupt();
  return wCount;
}

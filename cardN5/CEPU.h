// Engraving processor board.
#ifndef CARDN5_CEPU_H
#define CARDN5_CEPU_H

#include <stdint.h>

#include <atomic>

#include "cardN532.h"
#include "port_register.h"

// g_EPUStatus bits the row logic names.
enum : int32_t {
  WRALLO_BIT = 1,    // 1: the board accepts the next row
  WRPL1_BIT = 2,     // 1: the bank offered for the next row is bank 0
  ENVORSCH_BIT = 3,  // the library goes on only while this reads 0
};

// The other status and control bits, and the register write the board code
// uses everywhere.
namespace epu {

// g_EPUStatus, besides WRALLO_BIT, WRPL1_BIT and ENVORSCH_BIT (CEPU.h)
enum : int32_t {
  kLLBusyBit = 0,    // LL code may not be written while 1
  kIndexBit = 4,     // index pulse, once per drum turn
  kIPGPulseBit = 5,  // pulse generator output
  kPLLBit = 6,       // 1: PLL locked
  kEncoderBit = 7,   // encoder signal
  kTurnOffBlockedBit = 10,
  kPXBusyBit = 12,  // PX code may not be written while 1
};

// g_EPUControl
enum : int32_t {
  kBank0Select = 0,  // low pulse: a row for bank 0 follows
  kBank1Select = 1,  // low pulse: a row for bank 1 follows
  kBankChange = 2,   // high pulse: banks change; also the start handshake
  kStart = 3,
  kRowDone = 4,
  kPXCode = 5,
  kShutterOpen = 6,
  kFlag7 = 7,
  kSMAuto = 8,  // 1: the board advances the stepper itself
  kSMDirection = 9,
  kRandomOffset = 10,
  kErrorLED = 11,
};

constexpr uint16_t kCommand = 0x0202;
constexpr uint16_t kCylindricalDivider = 65500;  // advance divider of a pass without advance

// Indexed register 9 is only written right after index 13 got this value.
constexpr uint16_t kIndex13BeforeIndex9 = 0x0010;

inline int32_t Write(CPortRegister& reg, uint16_t wValue) {
  reg.SetValue(wValue);
  return reg.Out();
}

}  // namespace epu

class CEPUCard {
 public:
  CEPUCard();
  virtual ~CEPUCard();

  // Power-on and job preparation
  int32_t InitPowerOn(int32_t bEcoDutyCycle);
  int32_t SetSWShutterOpen(int32_t bOpen);
  int32_t SetEcoDutyCycle(double dDutyPercent);
  int32_t GravurVorbereiten(EPU_GRAVUR_PARAMS params);
  void SetFirstRow();
  int32_t InitParameter(uint16_t wRandomOffset, uint16_t wLLCode, uint16_t wSMAuto, uint16_t wFlag7,
                        uint32_t dwPulsesPerRow, uint16_t wRowLength, double dPulseNumerator, double dPulseDenominator,
                        uint16_t w9B00Value, uint16_t wStartposY);
  int32_t InitAction();
  void SetLaserPulseRatio(double dNumerator, double dDenominator);
  void WriteRowRegisters();
  int32_t SetBits();
  void WriteIndexed(uint16_t wIndex, uint16_t wValue);

  // Rows
  int32_t DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode, uint32_t wSteps, uint32_t wRowShift,
                   PFN_SMMOVE pfnSmMove);
  int32_t TwoPassRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint16_t wRowMode, PFN_SMMOVE pfnSmMove);
  int32_t StepperMoveOnly(uint32_t wSteps, PFN_SMMOVE pfnSmMove);
  int32_t LaserOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove);
  void RecalcShift();
  void SetStepsPerRow(uint32_t wSteps);
  uint16_t NextRandomOffset();
  void WaitWhileEnvorsch();
  void WaitTurnOffBitClear();
  void WaitTwoIndexPulses();
  void ReadMemoryCounter();
  void WriteBankOffset();
  int32_t WaitForTurnOffPossible();

  // Auxiliary controls
  void SetSMDirection(int32_t bDirection);
  int32_t SetSMSpeed(int32_t bSelector);
  int32_t SetSMAutoMan(int32_t bAutomatic);
  int32_t OneSMStep();
  uint16_t GetSMStepAdresse();
  int32_t SetDAC0(double dVolts);
  int32_t SetDAC1(double dVolts);
  int32_t SetOKOutput(uint32_t dwWord);
  uint16_t GetOKOutput();
  uint16_t GetFINP();
  int32_t TurnLaserdiodeOn(int32_t bOn);
  int32_t SetLaserpulsExplizit(int32_t bOn);
  int32_t SetErrorLED(int32_t nValue);
  int32_t IsPLLInRange();
  int32_t TestEncoder();
  uint16_t GetEncoderPulses();
  uint16_t GetIPGPulses();

  int32_t m_bEmulation;
  int32_t m_dwSetSMDirectionCnt;
  uint16_t m_wRandomOffset;
  uint16_t m_wLLCode;
  uint16_t m_wSMAuto;
  uint16_t m_wFlag7;
  uint16_t m_wShift;
  uint16_t m_wRowLength;
  uint16_t m_w9B00Value;
  uint16_t m_wB700Value;
  uint16_t m_wSpiralB700;
  uint16_t m_wStartOffset;
  uint16_t m_wRowShift;
  uint16_t m_wShiftRest;
  uint16_t m_wStepsPerRow;
  uint16_t m_wAdvanceDivider;
  uint32_t m_dwPulsesPerRow;
  uint16_t m_wExpectedBank;
  int32_t m_bFirstRow;
  int32_t m_bWaitPending;
  uint16_t m_wRowCounter;
  uint16_t m_awRandomOffsets[1000];
  double m_dPulseNumerator;
  double m_dPulseDenominator;
  uint16_t m_wStartposY;
  // Written by the engraving thread, read by EPUN5_WaitForTurnOffPossible on
  // another thread: every test must see the current value.
  std::atomic<int32_t> m_bInDoOneRow;
};

// Random start-offset cursor and the flags last written to indexed
// register 9; process-wide, zero at load.
extern uint16_t g_wRandomCursor;
extern uint32_t g_wIndex9Flags;

#endif

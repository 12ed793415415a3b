// Engraving processor board.
#ifndef CARDN5_CEPU_H
#define CARDN5_CEPU_H

#include <stdint.h>

#include <atomic>

#include "cardN532.h"

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
  void FillRandomTable();
  int32_t InitAction();
  void PulseControlReset();
  void SetLaserPulseRatio(double dNumerator, double dDenominator);
  void WriteRowRegisters();
  int32_t SetBits();
  void SetJobControlBits();
  bool StartHandshake();
  bool WaitRowSlotAfterStart();
  void WriteIndexed(uint16_t wIndex, uint16_t wValue);
  void WriteFlagsIndex(uint16_t wFlags);

  // Rows
  int32_t DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode, uint32_t wSteps, uint32_t wRowShift,
                   PFN_SMMOVE pfnSmMove);
  void ChangeRowRegisters();
  int32_t TwoPassRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint16_t wRowMode, PFN_SMMOVE pfnSmMove);
  int32_t CylindricalPass(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove);
  int32_t SpiralPass(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove);
  int32_t StepperMoveOnly(uint32_t wSteps, PFN_SMMOVE pfnSmMove);
  int32_t LaserOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, PFN_SMMOVE pfnSmMove);
  bool WaitForRowSlot();
  void CheckOfferedBank();
  void WriteRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2);
  void WaitCodeInputReady();
  int32_t AdvanceByHost(PFN_SMMOVE pfnSmMove);
  void RandomOffsetStep();
  void ChangeBank();
  void RecalcShift();
  void SetStepsPerRow(uint32_t wSteps);
  uint16_t NextRandomOffset();
  void WaitUntilIdle();
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

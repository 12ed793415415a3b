// Memory buffer board.
#ifndef CARDN5_CMBU_H
#define CARDN5_CMBU_H

#include <stdint.h>

#include "cardN532.h"
#include "mbu_regs.h"

// The board's register objects (cmbu.cpp).
extern PlainRegister g_MBUMemory, g_MBUPlotHeight2, g_MBUZeroShift, g_MBUCommand, g_MBUZeroPulse, g_MBUPlotHeight0,
    g_MBUPlotHeight1, g_MBUAMUValue, g_MBUDividerHigh;
extern TypedRegister<mbu::Status> g_MBUStatus;
extern TypedRegister<mbu::Divider> g_MBUDivider;
extern TypedRegister<mbu::AMUIndex> g_MBUAMUIndex;

class CMBUCard {
 public:
  CMBUCard();
  virtual ~CMBUCard();

  // Identity, memory and banks
  int32_t InitPowerOn();
  int32_t SetCardInfo();
  uint32_t GetCardID();
  MBU_CARD_INFO GetCardInfo() const;
  int32_t WriteMemory(const uint16_t* pwData, uint32_t dwCount);
  int32_t ReadMemory(uint16_t* pwData, uint32_t dwCount);
  int32_t WriteBlock(MBU_BLOCK_INFO block);
  int32_t CheckBlock(const MBU_BLOCK_INFO& block, uint32_t& dwWords);
  int32_t WaitForWritableBank();
  int32_t WriteToBankPossible();
  uint16_t GetAccessibleBank();
  int32_t WaitForTrigAccepted();
  int32_t TrigSoftReset();
  int32_t TrigBankSet();
  int32_t TrigTestMode();
  int32_t IstResetAufgetreten();
  int32_t IsPLLInRange();
  uint16_t GetNullimpulsZaehler();

  // Engraving set-up
  int32_t GravurVorbereiten();
  int32_t InitAction();
  int32_t TriggerBlock(MBU_BLOCK_INFO block);
  int32_t CalcSMDivider(const MBU_BLOCK_INFO& block);
  int32_t CalcSMDividerStandard(uint32_t dwSteps);
  int32_t CalcSMDividerFixedPoint(uint32_t dwSteps);
  int32_t CalcSMDividerTRIM(uint32_t dwSteps);
  void WriteDividerStandard();
  void WriteDividerTRIM();
  int32_t Trigger(const MBU_BLOCK_INFO& block);
  int32_t IssueTrigger(uint16_t wCommand);
  int32_t SetSMDirection(int32_t bDirection);
  int32_t SetNullverschiebungsWert(int32_t nValue);
  int32_t SetPlotHeightPI(uint32_t dwPixels);
  int32_t WriteAMUValues(int32_t nMode);
  int32_t SetLaserpulsExplizit(int32_t bOn);
  int32_t IsTurnOffPossible();

  int32_t m_bEmulation;
  uint32_t m_dwSetSMDirectionCnt;
  uint16_t m_wSMDivider;
  uint16_t m_wNullverschiebung;
  uint16_t m_wLastZeroSegment;
  uint16_t m_wExpectedBank;
  uint32_t m_dwPlotHeightPixel;
  MBU_CARD_INFO m_CardInfo;

 private:
  bool Emulated() const { return m_bEmulation != 0; }
  bool EmulatedOne() const { return m_bEmulation == 1; }
  uint16_t ReadStatus();
  bool DebounceStatusByte(uint16_t& wReference);
  bool BoardIdle() const;
  int32_t Command(uint16_t wCode);
};

#endif

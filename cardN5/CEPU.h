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

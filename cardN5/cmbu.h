// Memory buffer board.
#ifndef CARDN5_CMBU_H
#define CARDN5_CMBU_H

#include <stdint.h>

#include "cardN532.h"

class CMBUCard {
 public:
  CMBUCard();
  virtual ~CMBUCard();

  int32_t m_bEmulation;
  uint32_t m_dwSetSMDirectionCnt;
  uint16_t m_wSMDivider;
  uint16_t m_wNullverschiebung;
  uint16_t m_wLastZeroSegment;
  uint16_t m_wExpectedBank;
  uint32_t m_dwPlotHeightPixel;
  MBU_CARD_INFO m_CardInfo;
};

#endif

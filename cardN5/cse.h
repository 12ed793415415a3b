// Colour scanner electronics.
#ifndef CARDN5_CSE_H
#define CARDN5_CSE_H

#include <stdint.h>

class CCSECard {
 public:
  CCSECard();
  virtual ~CCSECard();

  int32_t m_bEmulation;
  uint16_t m_wScanmode;
  uint16_t m_wLightsource;
  uint16_t m_wSeparatortype;
  uint16_t m_wRedBlack, m_wGreenBlack, m_wBlueBlack;
  uint16_t m_wRedWhite, m_wGreenWhite, m_wBlueWhite;
};

#endif

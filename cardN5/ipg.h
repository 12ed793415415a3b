// Pulse generator board.
#ifndef CARDN5_IPG_H
#define CARDN5_IPG_H

#include <stdint.h>

class CIPGCard {
 public:
  CIPGCard();
  virtual ~CIPGCard();

  int32_t InitPowerOn();
  int32_t SetIPGPulses(uint32_t dwPulses);

  int32_t m_bEmulation;
};

#endif

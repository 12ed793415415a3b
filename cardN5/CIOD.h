// IOD board: the byte link and text telegrams to the machine controller.
#ifndef CARDN5_CIOD_H
#define CARDN5_CIOD_H

#include <stdint.h>

class CIODCard {
 public:
  CIODCard();
  virtual ~CIODCard();

  int32_t m_bEmulation;
};

#endif

// CSI board.
#ifndef CARDN5_CSI_H
#define CARDN5_CSI_H

#include <stdint.h>

class CCSICard {
 public:
  CCSICard();
  virtual ~CCSICard();

  int32_t m_bEmulation;
};

#endif

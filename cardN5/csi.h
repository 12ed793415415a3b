// CSI board.
#ifndef CARDN5_CSI_H
#define CARDN5_CSI_H

#include <stdint.h>

#include "csi_regs.h"

extern PlainRegister g_CSIControl;

class CCSICard {
 public:
  CCSICard();
  virtual ~CCSICard();

  int32_t InitPowerOn();

  int32_t m_bEmulation;
};

#endif

// Scanner drive board (lines through the EPU's output word and FINP input,
// voltage through the DCA's LDK focus voltage).
#ifndef CARDN5_SDU_H
#define CARDN5_SDU_H

#include <stdint.h>

#include "CCPH.h"

class CSDUCard {
 public:
  CSDUCard();
  virtual ~CSDUCard();

  int32_t m_bEmulation;
  uint32_t m_dwOpticPos;
  int32_t m_bOpticReferenced;
  FOKUS_TABLE m_XenonScanfokusTable;
  FOKUS_TABLE m_LDScanfokusTable;
  FOKUS_TABLE m_LDPlotfokusTable;
};

#endif

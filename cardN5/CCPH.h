// Focusing head board (no registers of its own: it drives its lines through
// the EPU's output word and reads its sensor through the EPU's FINP input).
#ifndef CARDN5_CCPH_H
#define CARDN5_CCPH_H

#include <stdint.h>

// A focus table of at most 30 pairs, copied from the host's arrays.
struct FOKUS_TABLE {
  double adX[30];
  double adY[30];
  uint16_t wCount;
  int32_t bLoaded;
};

class CCPHCard {
 public:
  CCPHCard();
  virtual ~CCPHCard();

  int32_t m_bEmulation;
  double m_dCircumference1;
  double m_dCircumference2;
  uint32_t m_dwCalibFocusSteps;
  int32_t m_lEngravingPos;
  int32_t m_lHeadPos;
  int32_t m_bHeadPosValid;
  FOKUS_TABLE m_FokusTable;
};

#endif

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
  // Searches for the repeat position are bounded by this many steps each
  // way; a search result this high means the sensor was never reached.
  static constexpr int32_t kSearchSteps = 100000;
  // Defocus positions are approached by a last move in direction 1 of up
  // to this many steps, so the drive's play is always taken up one way.
  static constexpr int32_t kSpielausgleich = 150;
  static constexpr uint16_t kMaxFokusEntries = 30;

  CCPHCard();
  virtual ~CCPHCard();

  int32_t InitPowerOn();
  int32_t SetKalibrationParameter(double dCircumference1, double dCircumference2, uint32_t dwCalibFocusSteps);
  // The host's move: afterwards the head position no longer counts.
  int32_t ManualLenseMove(int32_t lSteps, uint32_t dwDirection, uint32_t dwStopMode);
  int32_t LenseMove(int32_t lSteps, uint32_t dwDirection, uint32_t dwStopMode);
  int32_t GotoRepeatPosition();
  int32_t GotoEngravingPosition();
  int32_t SetDefokusPosition(int32_t lDefokus);
  int32_t SetShutter(uint32_t dwOpen);
  int32_t SetFokus(double dMicrometres);
  void SetFokusTable(const double* pdValues, const double* pdSteps, uint32_t dwCount);

  int32_t LenseStep();
  void SetDirection(uint32_t dwDirection);
  int32_t IsSensorActive();

  int32_t m_bEmulation;
  double m_dCircumference1;
  double m_dCircumference2;
  uint32_t m_dwCalibFocusSteps;
  int32_t m_lEngravingPos;
  int32_t m_lHeadPos;
  int32_t m_bHeadPosValid;
  FOKUS_TABLE m_FokusTable;

 private:
  int32_t FailDefokusMove();
  int32_t MoveAll(int32_t lDelta);
};

#endif

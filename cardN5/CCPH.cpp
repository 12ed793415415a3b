// Focusing head board.
#include "CCPH.h"

// Calibration values stay unset until SetKalibrationParameter; only the
// head position, its validity and the table's loaded flag start defined.
CCPHCard::CCPHCard() : m_bEmulation(0), m_lHeadPos(0), m_bHeadPosValid(0) { m_FokusTable.bLoaded = 0; }

CCPHCard::~CCPHCard() {}

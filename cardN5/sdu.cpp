// Scanner drive board.
#include "sdu.h"

CSDUCard::CSDUCard() : m_bEmulation(0), m_bOpticReferenced(0) {
  m_XenonScanfokusTable.bLoaded = 0;
  m_LDScanfokusTable.bLoaded = 0;
  m_LDPlotfokusTable.bLoaded = 0;
}

CSDUCard::~CSDUCard() {}

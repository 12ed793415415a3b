// Memory buffer board: identity, memory and banks, engraving set-up.
#include "cmbu.h"

#include "errlog32.h"
#include "port_register.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_MBUMemory(0xA300);       // image words move by block transfer on this port
CPortRegister g_MBUStatus(0xA700);       // read: reset, PC bank, busy flags, PLL, jumper ID
CPortRegister g_MBUPlotHeight2(0xA700);  // written: plot height bits 16-23
CPortRegister g_MBUZeroShift(0xAB00);    // written: zero shift 0-255
CPortRegister g_MBUCommand(0xAF00);      // written: command code
CPortRegister g_MBUZeroPulse(0xAF00);    // read: zero-pulse counter in bits 8-10
CPortRegister g_MBUDivider(0xB300);      // written: divider bits 0-12, direction bit 15
CPortRegister g_MBUPlotHeight0(0xB700);  // written: plot height bits 0-7
CPortRegister g_MBUAMUIndex(0xB700);     // written: modulation index, mode bit 7
CPortRegister g_MBUPlotHeight1(0xBB00);  // written: plot height bits 8-15
CPortRegister g_MBUAMUValue(0xBB00);     // written: modulation value
CPortRegister g_MBUDividerHigh(0xBF00);  // written: divider bits 13-15 (TRIM)

// ---- Object ----------------------------------------------------------------

CMBUCard::CMBUCard()
    : m_bEmulation(0),
      m_dwSetSMDirectionCnt(0),
      m_wSMDivider(0),
      m_wNullverschiebung(0),
      m_wLastZeroSegment(0),
      m_wExpectedBank(0),
      m_dwPlotHeightPixel(0),
      m_CardInfo() {}

CMBUCard::~CMBUCard() {
  if (m_dwSetSMDirectionCnt != 0)
    ERRLOG_WriteToLOGFile("CARDN532 MBU SetSMDirectionCnt %ld \n", static_cast<long>(m_dwSetSMDirectionCnt));
}

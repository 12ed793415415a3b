// Engraving processor board: registers, power-on, job preparation, rows and
// auxiliary controls.
#include "CEPU.h"

#include "errlog32.h"
#include "port_register.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_EPUStatus(0x8300);         // read: status bits
CPortRegister g_EPUCommand(0x8300);        // written: always 0x0202
CPortRegister g_EPUControl(0x8700);        // written: control bits
CPortRegister g_EPUFinp(0x8700);           // read: FINP input word
CPortRegister g_EPUBank0Offset(0x8B00);    // written: shift rest of a bank-0 row
CPortRegister g_EPUBank1Offset(0x8F00);    // written: shift rest of a bank-1 row
CPortRegister g_EPUMemCounter0(0x8F00);    // read: memory counter of bank 0
CPortRegister g_EPUShift(0x9300);          // written: shift
CPortRegister g_EPUMemCounter1(0x9300);    // read: memory counter of bank 1
CPortRegister g_EPURowLength(0x9700);      // written: row length
CPortRegister g_EPUReg9B00(0x9B00);        // written: job's 9B00 value
CPortRegister g_EPUAdvanceDivider(0x9F00); // written: advance divider
CPortRegister g_EPUStartPos(0xA300);       // written: start position + start offset
CPortRegister g_EPUSMStep(0xA700);         // strobe: each write makes one stepper step; value unused
CPortRegister g_EPUOKOutput(0xAB00);       // written: general output word
CPortRegister g_EPUDAC0(0xAF00);           // written: DAC 0 code
CPortRegister g_EPUDAC1(0xB300);           // written: DAC 1 code
CPortRegister g_EPURegB700(0xB700);        // written: B700 value
CPortRegister g_EPULaserPulse(0xBB00);     // written: laser pulse word
CPortRegister g_EPUEcoDutyCycle(0xBF00);   // written: six eco duty cycle words in a row
CPortRegister g_EPUIndex(0xC700);          // written: index of an indexed register
CPortRegister g_EPUData(0xCB00);           // written: value for the selected indexed register

uint16_t g_wRandomCursor = 0;
uint32_t g_wIndex9Flags = 0;

// ---- Object ----------------------------------------------------------------

CEPUCard::CEPUCard() : m_bEmulation(0), m_dwSetSMDirectionCnt(0), m_bInDoOneRow(0) {}

CEPUCard::~CEPUCard() {
  if (m_dwSetSMDirectionCnt != 0)
    ERRLOG_WriteToLOGFile("CARDN532 EPU SetSMDirectionCnt %ld \n", static_cast<long>(m_dwSetSMDirectionCnt));
}

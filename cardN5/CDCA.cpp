// DCA board.
#include "CDCA.h"

#include "port_register.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_DCAStatus(0x5300);       // read: limit switches, head ready, ink, sensors, light barrier
CPortRegister g_DCAFocusStatus(0x5300);  // read: LE focus status bit 9
CPortRegister g_DCALaserDiode(0x5300);   // written: laser diode bit 0
CPortRegister g_DCALEFocus(0x4300);      // written: LE focus voltage code
CPortRegister g_DCAFETTemp(0x4300);      // read: FET temperature bit 15
CPortRegister g_DCAVoltage(0x4B00);      // written: LENZE speed (low byte), LDK focus (high byte)
CPortRegister g_DCAFETSpeed(0x4F00);     // written: FET speed voltage code, high byte
CPortRegister g_DCASensitivity(0x4700);  // written: two sensitivity levels
CPortRegister g_DCAControl(0x5F00);      // written: stepper direction, light barrier / speed bit 4
CPortRegister g_DCAStep(0x5700);         // written: step bit 0, light-barrier reset bit 4
CPortRegister g_DCAIndex(0xC700);        // written: index of an indexed register
CPortRegister g_DCAData(0xCB00);         // written: value for the selected indexed register

// ---- Object ----------------------------------------------------------------

CDCACard::CDCACard() : m_bEmulation(0) {}

CDCACard::~CDCACard() {}

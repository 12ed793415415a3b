// Colour scanner electronics.
#include "cse.h"

#include "port_register.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_CSEBlueDAC(0x2300);       // written: blue offset (control bit 2 = 1) or gain
CPortRegister g_CSEGreenDAC(0x2700);      // written: green offset or gain
CPortRegister g_CSERedDAC(0x2B00);        // written: red offset or gain
CPortRegister g_CSEControl(0x2F00);       // written: light source, DAC select, xenon pulses, scan mode bits
CPortRegister g_CSEStatus(0x3300);        // read: device ready bit 1, xenon on bit 7
CPortRegister g_CSEBlue(0x3700);          // read: blue value
CPortRegister g_CSERedGreen(0x3B00);      // read: red (low byte) and green (high byte)
CPortRegister g_CSEHandshakeIn(0x3F00);   // read: busy, colour select, alignment valid, sequence ack
CPortRegister g_CSEHandshakeOut(0x3F00);  // written: sequence request, SW status, linework

// ---- Object ----------------------------------------------------------------

// Only the emulation flag: the scan settings get their values when the host
// first chooses a scan mode.
CCSECard::CCSECard() : m_bEmulation(0) {}

CCSECard::~CCSECard() {}

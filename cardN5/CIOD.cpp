// IOD board: byte handshake and text telegrams with the machine controller.
#include "CIOD.h"

#include "port_register.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_IODOut(0xC300);  // written: data byte, PC strobe bit 8, PC acknowledge bit 9
CPortRegister g_IODIn(0xC300);   // read: data byte, MCM strobe bit 8, MCM ready bit 9, status bits 10-13

// ---- Object ----------------------------------------------------------------

CIODCard::CIODCard() : m_bEmulation(0) {}

CIODCard::~CIODCard() {}

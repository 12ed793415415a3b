// CSI board: one written register, cleared at power-on.
#include "csi.h"

#include "port_register.h"

// The one register not on the 0x300 base with a register number on top.
CPortRegister g_CSIControl(0x0302);

CCSICard::CCSICard() : m_bEmulation(0) {}

CCSICard::~CCSICard() {}

// Pulse generator board: programmed through an index and a data port that
// it writes directly, without register objects.
#include "ipg.h"

#include "port_register.h"

// Built with the board's port but used by no operation.
CPortRegister g_IPGRegister(0x4B00);

CIPGCard::CIPGCard() : m_bEmulation(0) {}

CIPGCard::~CIPGCard() {}

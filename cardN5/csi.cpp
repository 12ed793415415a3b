// CSI board: one written register, cleared at power-on.
#include "csi.h"

#include "csi_regs.h"

PlainRegister g_CSIControl(csi::kControlPort);

CCSICard::CCSICard() : m_bEmulation(0) {}

CCSICard::~CCSICard() {}

// The write's result does not matter: the board has nothing to report.
int32_t CCSICard::InitPowerOn() {
  g_CSIControl.Write(0);
  return 1;
}

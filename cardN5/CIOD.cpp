// IOD board: the byte handshake with the machine controller.
#include "CIOD.h"

#include "errlog32.h"
#include "port_register.h"
#include "timing32.h"

// ---- Registers ------------------------------------------------------------

CPortRegister g_IODOut(0xC300);  // written: data byte, PC strobe bit 8, PC acknowledge bit 9
CPortRegister g_IODIn(0xC300);   // read: data byte, MCM strobe bit 8, MCM ready bit 9, status bits 10-13

// The handshake has no clock of its own: a wait is counted in polls, with a
// short pause after each miss so that a slow MCM is not starved of the bus.
bool IODWaitForInput(int32_t nBit, int32_t nLevel) {
  for (int32_t nCount = 0;;) {
    g_IODIn.In();
    if (g_IODIn.Bit(nBit) == nLevel) return true;
    TIMING_DelayUS(10);
    if (++nCount >= IOD_MAX_POLLS) return false;
  }
}

namespace {

constexpr uint16_t IOD_IDLE = 0xFFFF;

// Both variants send a byte alike; only the messages name the variant.
int32_t TransmitByte(uint8_t byte, const char* pszTimeout1, const char* pszTimeout2) {
  if (!IODWaitForInput(IOD_MCM_READY_BIT, 1)) {
    ERRLOG_WriteToLOGFile("%s", pszTimeout1);
    return 0;
  }
  g_IODOut.SetValue(IOD_IDLE);
  g_IODOut.Out();
  // Data first with both handshake lines still high, so the MCM never sees
  // the strobe before the byte has settled.
  g_IODOut.SetValue(static_cast<uint16_t>(0xFF00 | byte));
  g_IODOut.Out();
  g_IODOut.ResetBit(IOD_PC_STROBE_BIT);
  g_IODOut.Out();
  const bool bTaken = IODWaitForInput(IOD_MCM_READY_BIT, 0);
  // The strobe is released even when the MCM missed the byte, or the next
  // byte's falling edge would never come.
  g_IODOut.SetBit(IOD_PC_STROBE_BIT);
  g_IODOut.SetBit(IOD_PC_ACK_BIT);
  g_IODOut.Out();
  if (!bTaken) {
    ERRLOG_WriteToLOGFile("%s", pszTimeout2);
    return 0;
  }
  return 1;
}

// Both PC handshake lines high: nothing offered, nothing acknowledged.
void IdleOutput() {
  g_IODOut.SetValue(IOD_IDLE);
  g_IODOut.SetBit(IOD_PC_ACK_BIT);
  g_IODOut.SetBit(IOD_PC_STROBE_BIT);
  g_IODOut.Out();
}

}  // namespace

// ---- Object ----------------------------------------------------------------

CIODCard::CIODCard() : m_bEmulation(0) {}

CIODCard::~CIODCard() {}

// The first byte operation brings the port to its idle value itself.
int32_t CIODCard::InitPowerOn() { return 1; }

// ---- Bytes -----------------------------------------------------------------

int32_t CIODCard::IODTransmitByte(uint8_t byte) {
  return TransmitByte(byte, "IODTransmitByte MCM not ready to receive, Timeout 1 \n",
                      "IODTransmitByte MCM has not correct received, Timeout 2 \n");
}

int32_t CIODCard::IODTransmitByteN6(uint8_t byte) {
  return TransmitByte(byte, "IODTransmitByteN6 MCM not ready to receive, Timeout 1 \n",
                      "IODTransmitByteN6 MCM has not correct received, Timeout 2 \n");
}

int32_t CIODCard::ReceiveByte(uint16_t* pwByte) {
  IdleOutput();
  if (!IODWaitForInput(IOD_MCM_STROBE_BIT, 0)) {
    ERRLOG_WriteToLOGFile("ReceiveByte Timeout \n");
    return 0;
  }
  g_IODOut.ResetBit(IOD_PC_ACK_BIT);
  g_IODOut.Out();
  g_IODIn.In();
  *pwByte = static_cast<uint16_t>(g_IODIn.GetValue() & 0x00FF);
  // N5 does not watch the MCM's strobe rise; the pause gives the MCM time
  // to see the acknowledge before the PC releases it.
  TIMING_Delay(1);
  g_IODOut.SetBit(IOD_PC_ACK_BIT);
  g_IODOut.SetBit(IOD_PC_STROBE_BIT);
  g_IODOut.Out();
  return 1;
}

int32_t CIODCard::ReceiveByteN6(uint16_t* pwByte) {
  IdleOutput();
  if (!IODWaitForInput(IOD_MCM_STROBE_BIT, 0)) {
    ERRLOG_WriteToLOGFile("ReceiveByteN6 PC not ready to receive, timeout 1\n");
    return 0;
  }
  // N6 takes the data while the MCM still holds it, before acknowledging.
  g_IODIn.In();
  *pwByte = static_cast<uint16_t>(g_IODIn.GetValue() & 0x00FF);
  g_IODOut.ResetBit(IOD_PC_ACK_BIT);
  g_IODOut.Out();
  if (!IODWaitForInput(IOD_MCM_STROBE_BIT, 1)) {
    // The acknowledge stays low until the next byte operation idles the port.
    ERRLOG_WriteToLOGFile("ReceiveByteN6 PC has not correct received, Timeout 2 \n");
    return 0;
  }
  g_IODOut.SetBit(IOD_PC_ACK_BIT);
  g_IODOut.SetBit(IOD_PC_STROBE_BIT);
  g_IODOut.Out();
  return 1;
}

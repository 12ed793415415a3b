// Colour scanner electronics.
#ifndef CARDN5_CSE_H
#define CARDN5_CSE_H

#include <stdint.h>

#include "cse_regs.h"
#include "typed_register.h"

// The process-wide register objects (cse.cpp).
extern PlainRegister g_CSEBlueDAC, g_CSEGreenDAC, g_CSERedDAC;
extern TypedRegister<cse::Control> g_CSEControl;
extern TypedRegister<cse::Status> g_CSEStatus;
extern PlainRegister g_CSEBlue, g_CSERedGreen;
extern TypedRegister<cse::HandshakeIn> g_CSEHandshakeIn;
extern TypedRegister<cse::HandshakeOut> g_CSEHandshakeOut;

class CCSECard {
 public:
  CCSECard();
  virtual ~CCSECard();

  // Exports
  int32_t InitPowerOn();
  int32_t SetScanmode(uint16_t wScanmode, uint16_t wLightsource, uint16_t wSeparatortype);
  int32_t GetRGBValue(uint32_t* pdwRGB);
  int32_t DoSchwarzAbgleich(int32_t bPreset);
  int32_t DoWeissAbgleich();
  int32_t StartScanSequence();
  int32_t StopScanSequence();
  int32_t ScanOneRow(uint32_t dwFirst, uint32_t dwCount, uint32_t dwPause, uint32_t dwFourth, uint32_t dwFifth);
  int32_t IsXenonOn();
  int32_t GetDeviceReady();
  int32_t SetLinework(int32_t bOn);
  int32_t GetColorselect();
  int32_t SetSWStatus(uint16_t wStatus);
  int32_t TurnXenonOn(int32_t bOn);
  int32_t GetBWAlignementValid();

  // The handshake with the board and its readings
  int32_t IsBusy();
  void WriteSequenceRequest(int32_t bStop);
  int32_t IsSequenceStopped();
  int32_t StartSequence();
  int32_t StopSequence();
  void ReadRGB(uint16_t& wRed, uint16_t& wGreen, uint16_t& wBlue);

  int32_t m_bEmulation;
  uint16_t m_wScanmode;
  uint16_t m_wLightsource;
  uint16_t m_wSeparatortype;
  uint16_t m_wRedBlack, m_wGreenBlack, m_wBlueBlack;
  uint16_t m_wRedWhite, m_wGreenWhite, m_wBlueWhite;
  // Set by the first CSEN5_SetScanmode: rows before it are refused.
  int32_t m_bScanmodeSet;

 private:
  int32_t RunSequence(int32_t bStop);
  void SetLightsource(uint16_t wLightsource);
  void SetModeBits(uint16_t wScanmode);
  void SetTargets(uint16_t wSeparatortype, uint16_t wLightsource);
  uint16_t AverageReading(int nColour);
  void AlignColour(int nColour, bool bBlack);
  void XenonPulse(cse::Control pulse, cse::Control other);
};

#endif

// IOD board: the byte link and text telegrams to the machine controller
// (the MCM), in the two protocol variants N5 and N6, and the machine's
// status inputs on the same port.
#ifndef CARDN5_CIOD_H
#define CARDN5_CIOD_H

#include <stdint.h>

#include "iod_regs.h"

// The output and the input latch, both on iod::kOutPort (CIOD.cpp).
extern TypedRegister<iod::Out> g_IODOut;
extern TypedRegister<iod::In> g_IODIn;

// Polls of one handshake wait before it gives up.
constexpr int32_t IOD_MAX_POLLS = 30000;
// Longest command text; longer ones are refused before a byte is sent.
constexpr int32_t IOD_MAX_COMMAND = 250;
// Answer characters at most (a length byte of 250 less the checksum).
constexpr int32_t IOD_MAX_ANSWER = 248;

// 1 while RepReceiveTxtN6 runs: a second call meanwhile does nothing.
extern int32_t g_bRepReceiveTxtN6InUse;

class CIODCard {
 public:
  CIODCard();
  virtual ~CIODCard();

  int32_t InitPowerOn();

  // One byte each, with the two-line handshake. The telegram
  // operations never call them while the board is emulated.
  int32_t IODTransmitByte(uint8_t byte);
  int32_t IODTransmitByteN6(uint8_t byte);
  int32_t ReceiveByte(uint16_t* pwByte);
  int32_t ReceiveByteN6(uint16_t* pwByte);

  // Telegrams
  int32_t SendTxt(const char* pszCommand);
  int32_t SendTxtN6(const char* pszCommand);
  int32_t ReceiveTxt(char* pszAnswer);
  int32_t ReceiveTxtN6(char* pszAnswer);
  int32_t RepSendTxt(const char* pszCommand);
  int32_t RepSendTxtN6(const char* pszCommand);
  int32_t RepReceiveTxt(const char* pszCommand, char* pszAnswer);
  int32_t RepReceiveTxtN6(const char* pszCommand, char* pszAnswer);
  int32_t SingleReceiveTxtN6(const char* pszCommand, char* pszAnswer);

  // Status inputs
  int32_t TestRapportStand();
  int32_t TestDeviceReady();
  int32_t TestRechtesRadHinten();
  int32_t IsXenonOn();

  int32_t m_bEmulation;
};

#endif

// IOD board: the byte handshake with the machine controller, the text
// telegrams on top of it, and the machine's status inputs.
#include "CIOD.h"

#include <string.h>

#include "errlog32.h"
#include "fail.h"
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

// ---- Telegrams ------------------------------------------------------------

int32_t g_bRepReceiveTxtN6InUse = 0;

namespace {

constexpr int32_t IOD_ATTEMPTS = 5;
constexpr uint32_t IOD_RETRY_PAUSE_MS = 150;
// The largest telegram: length byte, 250 characters, two checksum bytes.
constexpr int32_t IOD_MAX_TELEGRAM = IOD_MAX_COMMAND + 3;
// Both variants mark nothing in the answer's length: all 8 bits count.
constexpr uint16_t IOD_MIN_ANSWER_LENGTH = 2;
constexpr uint16_t IOD_MAX_ANSWER_LENGTH = IOD_MAX_ANSWER + 2;

// Counts no further than one past the longest command, so that a host's
// unterminated buffer is read only as far as it takes to refuse it.
int32_t CommandLength(const char* pszCommand) {
  int32_t n = 0;
  while (n <= IOD_MAX_COMMAND && pszCommand[n] != '\0') ++n;
  return n;
}

// Length byte, characters, checksum low and high; returns the byte count.
// N6 marks the length with bit 7 and keeps bit 7 of the checksum clear.
int32_t BuildTelegram(const char* pszCommand, int32_t n, uint8_t bLengthMark, uint16_t wChecksumMask,
                      uint8_t* abTelegram, uint16_t* pwChecksum) {
  uint16_t wSum = 0;
  abTelegram[0] = static_cast<uint8_t>((n + 2) | bLengthMark);
  for (int32_t i = 0; i < n; ++i) {
    abTelegram[1 + i] = static_cast<uint8_t>(pszCommand[i]);
    wSum = static_cast<uint16_t>(wSum + abTelegram[1 + i]);
  }
  *pwChecksum = static_cast<uint16_t>(wSum & wChecksumMask);
  abTelegram[n + 1] = static_cast<uint8_t>(*pwChecksum & 0xFF);
  abTelegram[n + 2] = static_cast<uint8_t>(*pwChecksum >> 8);
  return n + 3;
}

enum class Answer { Received, Failed, ChecksumWrong };

// The answer telegram is the same in both variants; only the byte
// operation and the messages differ. The text reaches the caller's buffer
// before the checksum is compared, so the host still sees what a spoiled
// answer said.
Answer ReceiveAnswer(CIODCard& card, int32_t (CIODCard::*pfnReceiveByte)(uint16_t*), const char* pszNoLength,
                     const char* pszNoByte, char* pszAnswer, uint16_t* pwSoll, uint16_t* pwIst) {
  uint16_t wLength = 0;
  if (!(card.*pfnReceiveByte)(&wLength)) {
    ERRLOG_WriteToLOGFile("%s", pszNoLength);
    return Answer::Failed;
  }
  // A length the MCM cannot mean: the rest is not read, it would only
  // be taken as a telegram of the wrong size.
  if (wLength > IOD_MAX_ANSWER_LENGTH || wLength < IOD_MIN_ANSWER_LENGTH) return Answer::Failed;
  uint8_t abAnswer[IOD_MAX_ANSWER_LENGTH];
  for (uint16_t i = 0; i < wLength; ++i) {
    uint16_t wByte = 0;
    if (!(card.*pfnReceiveByte)(&wByte)) {
      ERRLOG_WriteToLOGFile("%s", pszNoByte);
      return Answer::Failed;
    }
    abAnswer[i] = static_cast<uint8_t>(wByte);
  }
  const int32_t nText = wLength - 2;
  *pwSoll = static_cast<uint16_t>(abAnswer[nText] | (abAnswer[nText + 1] << 8));
  uint16_t wSum = 0;
  for (int32_t i = 0; i < nText; ++i) {
    pszAnswer[i] = static_cast<char>(abAnswer[i]);
    wSum = static_cast<uint16_t>(wSum + abAnswer[i]);
  }
  pszAnswer[nText] = '\0';
  *pwIst = wSum;
  return wSum == *pwSoll ? Answer::Received : Answer::ChecksumWrong;
}

// The host's text in the log; an absent one shows as empty.
const char* Shown(const char* pszCommand) { return pszCommand ? pszCommand : ""; }

bool Usable(const CIODCard& card, const char* pszCommand) { return pszCommand || card.m_bEmulation != 0; }

}  // namespace

// ---- Sending ---------------------------------------------------------------

int32_t CIODCard::SendTxt(const char* pszCommand) {
  if (m_bEmulation != 0) return 1;
  if (!pszCommand) return 0;
  const int32_t n = CommandLength(pszCommand);
  if (n > IOD_MAX_COMMAND) {
    ERRLOG_WriteToLOGFile("String in SendTxt zu lang! \n");
    return 0;
  }
  uint8_t abTelegram[IOD_MAX_TELEGRAM];
  uint16_t wChecksum = 0;
  const int32_t nBytes = BuildTelegram(pszCommand, n, 0x00, 0xFFFF, abTelegram, &wChecksum);
  for (int32_t i = 0; i < nBytes; ++i)
    if (!IODTransmitByte(abTelegram[i])) return 0;
  // The MCM raises its ready line again once it has checked the telegram.
  // N5 polls without pausing; a verdict that never comes counts as delivered.
  int32_t nPolls = 0;
  while (nPolls < IOD_MAX_POLLS) {
    g_IODIn.In();
    if (g_IODIn.Bit(IOD_MCM_READY_BIT) == 1) break;
    ++nPolls;
  }
  if (nPolls == IOD_MAX_POLLS) return 1;
  // The N5 MCM sets the telegram status only a little after its ready line.
  TIMING_DelayUS(500);
  g_IODIn.In();
  if (g_IODIn.Bit(IOD_TELEGRAM_OK_BIT) == 1) return 1;
  ERRLOG_WriteToLOGFile("SendTxt MCM_COM_ERROR \n");
  return 0;
}

int32_t CIODCard::SendTxtN6(const char* pszCommand) {
  if (m_bEmulation != 0) return 1;
  if (!pszCommand) return 0;
  const int32_t n = CommandLength(pszCommand);
  if (n > IOD_MAX_COMMAND) {
    ERRLOG_WriteToLOGFile("String in SendTxtN6 zu lang! \n");
    return 0;
  }
  uint8_t abTelegram[IOD_MAX_TELEGRAM];
  uint16_t wChecksum = 0;
  const int32_t nBytes = BuildTelegram(pszCommand, n, 0x80, 0xFF7F, abTelegram, &wChecksum);
  for (int32_t i = 0; i < nBytes; ++i) {
    if (!IODTransmitByteN6(abTelegram[i])) {
      // The length is a plain char here, so a marked length prints
      // sign-extended (0x85 as ffffff85).
      ERRLOG_WriteToLOGFile("stringlen 0x%x \n",
                            static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(abTelegram[0]))));
      ERRLOG_WriteToLOGFile("comand    %s \n", pszCommand);
      ERRLOG_WriteToLOGFile("checksum  0x%x \n", static_cast<uint32_t>(wChecksum));
      ERRLOG_WriteToLOGFile("act. byte count %u \n", static_cast<uint32_t>(i));
      return 0;
    }
  }
  if (!IODWaitForInput(IOD_MCM_READY_BIT, 1)) return 1;
  g_IODIn.In();
  if (g_IODIn.Bit(IOD_TELEGRAM_OK_BIT) == 1) return 1;
  ERRLOG_WriteToLOGFile("SendTxtN6 MCM_COM_ERROR \n");
  return 0;
}

// ---- Receiving ---------------------------------------------------------------

int32_t CIODCard::ReceiveTxt(char* pszAnswer) {
  if (!pszAnswer) return 0;
  if (m_bEmulation != 0) {
    strcpy(pszAnswer, "Emulation");
    return 1;
  }
  uint16_t wSoll = 0;
  uint16_t wIst = 0;
  const Answer answer = ReceiveAnswer(*this, &CIODCard::ReceiveByte, "Fehler bei Stringlaenge \n",
                                      "Fehler im String \n", pszAnswer, &wSoll, &wIst);
  if (answer == Answer::Received) return 1;
  if (answer == Answer::ChecksumWrong) ERRLOG_WriteToLOGFile("ReceiveTxt Fehler in checksumme \n");
  return 0;
}

int32_t CIODCard::ReceiveTxtN6(char* pszAnswer) {
  if (!pszAnswer) return 0;
  if (m_bEmulation != 0) {
    strcpy(pszAnswer, "Emulation");
    return 1;
  }
  uint16_t wSoll = 0;
  uint16_t wIst = 0;
  const Answer answer = ReceiveAnswer(*this, &CIODCard::ReceiveByteN6, "ReceiveTxtN6 Fehler bei Stringlaenge \n",
                                      "ReceiveTxtN6 Fehler im String \n", pszAnswer, &wSoll, &wIst);
  if (answer == Answer::Received) return 1;
  if (answer == Answer::ChecksumWrong)
    ERRLOG_WriteToLOGFile("ReceiveTxtN6 Fehler in checksumme Soll: %x  Ist: %x\n", static_cast<uint32_t>(wSoll),
                          static_cast<uint32_t>(wIst));
  return 0;
}

// ---- Repeated exchanges ------------------------------------------------------

// A missing command or answer buffer is a host error that no repetition
// cures: it is refused before the MCM sees anything, with the operation's
// own final message and code. An emulated board never looks at the command,
// so there a missing one passes like any other; the answer buffer is written
// even then and stays a fault.

int32_t CIODCard::RepSendTxt(const char* pszCommand) {
  if (Usable(*this, pszCommand)) {
    for (int32_t nAttempt = 0; nAttempt < IOD_ATTEMPTS; ++nAttempt) {
      if (SendTxt(pszCommand)) return 1;
      ERRLOG_WriteToLOGFile("Error RepSendTxt '%s' \n", Shown(pszCommand));
      TIMING_Delay(IOD_RETRY_PAUSE_MS);
    }
  }
  ERRLOG_WriteToLOGFile("RepSendTxt returned with error \n");
  CARDN5_RECORD_ERROR(ERR_IOD_SEND);
  return 0;
}

int32_t CIODCard::RepSendTxtN6(const char* pszCommand) {
  if (Usable(*this, pszCommand)) {
    // N6 sends again at once: each failed byte has already waited its time-out.
    for (int32_t nAttempt = 0; nAttempt < IOD_ATTEMPTS; ++nAttempt) {
      if (SendTxtN6(pszCommand)) return 1;
      ERRLOG_WriteToLOGFile("Error RepSendTxtN6 '%s' \n", Shown(pszCommand));
    }
  }
  ERRLOG_WriteToLOGFile("RepSendTxtN6 returned with error \n");
  CARDN5_RECORD_ERROR(ERR_IOD_SEND);
  return 0;
}

namespace {

// Both variants repeat the whole exchange: a telegram is never resumed,
// the command goes out again from its first byte in every attempt.
int32_t RepExchange(CIODCard& card, int32_t (CIODCard::*pfnSend)(const char*), int32_t (CIODCard::*pfnReceive)(char*),
                    const char* pszCommand, char* pszAnswer) {
  if (pszAnswer && Usable(card, pszCommand)) {
    for (int32_t nAttempt = 0; nAttempt < IOD_ATTEMPTS; ++nAttempt) {
      if ((card.*pfnSend)(pszCommand) && (card.*pfnReceive)(pszAnswer)) return 1;
      ERRLOG_WriteToLOGFile("Error RepReceiveTxT '%s' \n", Shown(pszCommand));
      TIMING_Delay(IOD_RETRY_PAUSE_MS);
    }
  }
  ERRLOG_WriteToLOGFile("RepReceiveTxt returned with error \n");
  CARDN5_RECORD_ERROR(ERR_IOD_RECEIVE);
  return 0;
}

}  // namespace

int32_t CIODCard::RepReceiveTxt(const char* pszCommand, char* pszAnswer) {
  return RepExchange(*this, &CIODCard::SendTxt, &CIODCard::ReceiveTxt, pszCommand, pszAnswer);
}

int32_t CIODCard::RepReceiveTxtN6(const char* pszCommand, char* pszAnswer) {
  // The host's second thread may ask while an exchange runs; it would
  // interleave its handshake with the running one, so it is turned away,
  // whatever it passed and whether or not the board is emulated.
  if (g_bRepReceiveTxtN6InUse == 1) {
    ERRLOG_WriteToLOGFile("RepReceiveTxtN6 is already in use \n");
    ERRLOG_WriteToLOGFile("wanted string to send %s \n", Shown(pszCommand));
    return 1;
  }
  g_bRepReceiveTxtN6InUse = 1;
  const int32_t nResult = RepExchange(*this, &CIODCard::SendTxtN6, &CIODCard::ReceiveTxtN6, pszCommand, pszAnswer);
  g_bRepReceiveTxtN6InUse = 0;
  return nResult;
}

int32_t CIODCard::SingleReceiveTxtN6(const char* pszCommand, char* pszAnswer) {
  if (pszAnswer && Usable(*this, pszCommand) && SendTxtN6(pszCommand) && ReceiveTxtN6(pszAnswer)) return 1;
  ERRLOG_WriteToLOGFile("Error SingleReceiveTxTN6 '%s' \n", Shown(pszCommand));
  CARDN5_RECORD_ERROR(ERR_IOD_RECEIVE);
  return 0;
}

// ---- Status inputs -------------------------------------------------------------

// Emulated only for the flag 1, unlike the telegrams: a host that passes
// another non-zero flag reads the port library's emulated value.

int32_t CIODCard::TestRapportStand() {
  if (m_bEmulation == 1) return 1;
  g_IODIn.In();
  return g_IODIn.Bit(IOD_RAPPORT_STAND_BIT) == 0 ? 1 : 0;
}

int32_t CIODCard::TestDeviceReady() {
  if (m_bEmulation == 1) return 1;
  g_IODIn.In();
  return g_IODIn.Bit(IOD_DEVICE_READY_BIT) == 0 ? 1 : 0;
}

int32_t CIODCard::TestRechtesRadHinten() {
  if (m_bEmulation == 1) return 0;
  g_IODIn.In();
  return g_IODIn.Bit(IOD_RECHTES_RAD_BIT);
}

int32_t CIODCard::IsXenonOn() {
  if (m_bEmulation == 1) return 1;
  g_IODIn.In();
  return g_IODIn.Bit(IOD_RECHTES_RAD_BIT);
}

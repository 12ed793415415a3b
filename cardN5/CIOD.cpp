// IOD board: the byte handshake with the machine controller, the text
// telegrams on top of it, and the machine's status inputs.
#include "CIOD.h"

#include <string.h>

#include "errlog32.h"
#include "fail.h"
#include "poll.h"
#include "timing32.h"

// ---- Registers ------------------------------------------------------------

TypedRegister<iod::Out> g_IODOut(iod::kOutPort);
TypedRegister<iod::In> g_IODIn(iod::kInPort);

namespace {

// The handshake has no clock of its own: a wait is counted in polls, with a
// short pause after each miss so that a slow MCM is not starved of the bus.
bool WaitForInput(iod::In line, int32_t nLevel) {
  return cardn5::PollUntil(
      IOD_MAX_POLLS, [line, nLevel] { return g_IODIn.ReadBit(line) == nLevel; }, [](uint32_t) { TIMING_DelayUS(10); });
}

// A byte operation that gave up logs its one line and records no code.
int32_t TimedOut(const char* pszLine) {
  ERRLOG_WriteToLOGFile("%s", pszLine);
  return 0;
}

void Acknowledge() {
  g_IODOut.ResetBit(iod::Out::PcAck);
  g_IODOut.Out();
}

// Both PC handshake lines high again; a sent byte stays on the data lines.
void ReleaseHandshake() {
  g_IODOut.SetBit(iod::Out::PcStrobe);
  g_IODOut.SetBit(iod::Out::PcAck);
  g_IODOut.Out();
}

uint16_t ReadData() { return static_cast<uint16_t>(g_IODIn.In() & iod::kDataMask); }

// Both variants send a byte alike; only the messages name the variant.
int32_t TransmitByte(uint8_t byte, const char* pszNotReady, const char* pszNotTaken) {
  if (!WaitForInput(iod::In::McmReady, 1)) return TimedOut(pszNotReady);
  g_IODOut.Write(iod::kOutIdle);
  // Data first with both handshake lines still high, so the MCM never sees
  // the strobe before the byte has settled.
  g_IODOut.Write(static_cast<uint16_t>(iod::kOutData | byte));
  g_IODOut.ResetBit(iod::Out::PcStrobe);
  g_IODOut.Out();
  const bool bTaken = WaitForInput(iod::In::McmReady, 0);
  // The strobe is released even when the MCM missed the byte, or the next
  // byte's falling edge would never come.
  ReleaseHandshake();
  if (!bTaken) return TimedOut(pszNotTaken);
  return 1;
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
  g_IODOut.Write(iod::kOutIdle);
  if (!WaitForInput(iod::In::McmStrobe, 0)) return TimedOut("ReceiveByte Timeout \n");
  Acknowledge();
  *pwByte = ReadData();
  // N5 does not watch the MCM's strobe rise; the pause gives the MCM time
  // to see the acknowledge before the PC releases it.
  TIMING_Delay(1);
  ReleaseHandshake();
  return 1;
}

int32_t CIODCard::ReceiveByteN6(uint16_t* pwByte) {
  g_IODOut.Write(iod::kOutIdle);
  if (!WaitForInput(iod::In::McmStrobe, 0)) return TimedOut("ReceiveByteN6 PC not ready to receive, timeout 1\n");
  // N6 takes the data while the MCM still holds it, before acknowledging.
  *pwByte = ReadData();
  Acknowledge();
  // On a time-out the acknowledge stays low until the next byte operation
  // idles the port.
  if (!WaitForInput(iod::In::McmStrobe, 1)) return TimedOut("ReceiveByteN6 PC has not correct received, Timeout 2 \n");
  ReleaseHandshake();
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

// N6 marks the length with bit 7 and keeps bit 7 of the checksum clear.
struct Framing {
  uint8_t bLengthMark;
  uint16_t wChecksumMask;
};
constexpr Framing kFramingN5 = {0x00, 0xFFFF};
constexpr Framing kFramingN6 = {0x80, 0xFF7F};

struct Telegram {
  uint8_t abBytes[IOD_MAX_TELEGRAM];
  int32_t nBytes;
  uint16_t wChecksum;
};

// Counts no further than one past the longest command, so that a host's
// unterminated buffer is read only as far as it takes to refuse it.
int32_t CommandLength(const char* pszCommand) {
  int32_t n = 0;
  while (n <= IOD_MAX_COMMAND && pszCommand[n] != '\0') ++n;
  return n;
}

// Length byte, characters, checksum low and high.
void BuildTelegram(const char* pszCommand, int32_t n, const Framing& framing, Telegram* pt) {
  uint16_t wSum = 0;
  pt->abBytes[0] = static_cast<uint8_t>((n + 2) | framing.bLengthMark);
  for (int32_t i = 0; i < n; ++i) {
    pt->abBytes[1 + i] = static_cast<uint8_t>(pszCommand[i]);
    wSum = static_cast<uint16_t>(wSum + pt->abBytes[1 + i]);
  }
  pt->wChecksum = static_cast<uint16_t>(wSum & framing.wChecksumMask);
  pt->abBytes[n + 1] = static_cast<uint8_t>(pt->wChecksum & 0xFF);
  pt->abBytes[n + 2] = static_cast<uint8_t>(pt->wChecksum >> 8);
  pt->nBytes = n + 3;
}

// A command too long for one telegram is refused before a byte is sent.
bool Frame(const char* pszCommand, const Framing& framing, const char* pszTooLong, Telegram* pt) {
  if (!pszCommand) return false;
  const int32_t n = CommandLength(pszCommand);
  if (n > IOD_MAX_COMMAND) {
    ERRLOG_WriteToLOGFile("%s", pszTooLong);
    return false;
  }
  BuildTelegram(pszCommand, n, framing, pt);
  return true;
}

// Sends the bytes in order and stops at the first the MCM did not take:
// the number sent.
int32_t TransmitTelegram(CIODCard& card, int32_t (CIODCard::*pfnTransmit)(uint8_t), const Telegram& t) {
  int32_t nSent = 0;
  while (nSent < t.nBytes && (card.*pfnTransmit)(t.abBytes[nSent])) ++nSent;
  return nSent;
}

bool McmReady() { return g_IODIn.ReadBit(iod::In::McmReady) == 1; }

// The telegram status, read afresh: it is only right once the MCM is ready.
int32_t Verdict(const char* pszRejected) {
  if (g_IODIn.ReadBit(iod::In::TelegramOk) == 1) return 1;
  ERRLOG_WriteToLOGFile("%s", pszRejected);
  return 0;
}

// The four lines an N6 telegram leaves behind when one of its bytes failed.
void LogUnsentN6(const Telegram& t, const char* pszCommand, int32_t nSent) {
  // The length is a plain char here, so a marked length prints
  // sign-extended (0x85 as ffffff85).
  ERRLOG_WriteToLOGFile("stringlen 0x%x \n",
                        static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(t.abBytes[0]))));
  ERRLOG_WriteToLOGFile("comand    %s \n", pszCommand);
  ERRLOG_WriteToLOGFile("checksum  0x%x \n", static_cast<uint32_t>(t.wChecksum));
  ERRLOG_WriteToLOGFile("act. byte count %u \n", static_cast<uint32_t>(nSent));
}

}  // namespace

// ---- Sending ---------------------------------------------------------------

int32_t CIODCard::SendTxt(const char* pszCommand) {
  if (m_bEmulation != 0) return 1;
  Telegram t;
  if (!Frame(pszCommand, kFramingN5, "String in SendTxt zu lang! \n", &t)) return 0;
  // A failed byte has logged its time-out; the rest is not sent.
  if (TransmitTelegram(*this, &CIODCard::IODTransmitByte, t) < t.nBytes) return 0;
  // The MCM raises its ready line again once it has checked the telegram.
  // N5 polls without pausing; a verdict that never comes counts as delivered.
  if (!cardn5::PollUntil(IOD_MAX_POLLS, McmReady)) return 1;
  // The N5 MCM sets the telegram status only a little after its ready line.
  TIMING_DelayUS(500);
  return Verdict("SendTxt MCM_COM_ERROR \n");
}

int32_t CIODCard::SendTxtN6(const char* pszCommand) {
  if (m_bEmulation != 0) return 1;
  Telegram t;
  if (!Frame(pszCommand, kFramingN6, "String in SendTxtN6 zu lang! \n", &t)) return 0;
  const int32_t nSent = TransmitTelegram(*this, &CIODCard::IODTransmitByteN6, t);
  if (nSent < t.nBytes) {
    LogUnsentN6(t, pszCommand, nSent);
    return 0;
  }
  if (!WaitForInput(iod::In::McmReady, 1)) return 1;
  return Verdict("SendTxtN6 MCM_COM_ERROR \n");
}

// ---- Receiving ---------------------------------------------------------------

namespace {

// The checksum the MCM sent with its answer, and the sum of what came.
struct Checksums {
  uint16_t wSoll = 0;
  uint16_t wIst = 0;
};

// The last two bytes are the checksum, low byte first. The text reaches
// the caller's buffer before the checksum is compared, so the host still
// sees what a spoiled answer said.
Checksums CopyAnswer(const uint8_t* abAnswer, int32_t nText, char* pszAnswer) {
  Checksums sums;
  sums.wSoll = static_cast<uint16_t>(abAnswer[nText] | (abAnswer[nText + 1] << 8));
  for (int32_t i = 0; i < nText; ++i) {
    pszAnswer[i] = static_cast<char>(abAnswer[i]);
    sums.wIst = static_cast<uint16_t>(sums.wIst + abAnswer[i]);
  }
  pszAnswer[nText] = '\0';
  return sums;
}

// The answer telegram is the same in both variants; only the byte
// operation and the messages differ. False when it did not fully arrive.
bool ReceiveAnswer(CIODCard& card, int32_t (CIODCard::*pfnReceive)(uint16_t*), const char* pszNoLength,
                   const char* pszNoByte, char* pszAnswer, Checksums* pSums) {
  uint16_t wLength = 0;
  if (!(card.*pfnReceive)(&wLength)) {
    ERRLOG_WriteToLOGFile("%s", pszNoLength);
    return false;
  }
  // A length the MCM cannot mean: the rest is not read, it would only
  // be taken as a telegram of the wrong size.
  if (wLength > IOD_MAX_ANSWER_LENGTH || wLength < IOD_MIN_ANSWER_LENGTH) return false;
  uint8_t abAnswer[IOD_MAX_ANSWER_LENGTH];
  for (uint16_t i = 0; i < wLength; ++i) {
    uint16_t wByte = 0;
    if (!(card.*pfnReceive)(&wByte)) {
      ERRLOG_WriteToLOGFile("%s", pszNoByte);
      return false;
    }
    abAnswer[i] = static_cast<uint8_t>(wByte);
  }
  *pSums = CopyAnswer(abAnswer, wLength - 2, pszAnswer);
  return true;
}

int32_t Emulated(char* pszAnswer) {
  strcpy(pszAnswer, "Emulation");
  return 1;
}

}  // namespace

int32_t CIODCard::ReceiveTxt(char* pszAnswer) {
  if (!pszAnswer) return 0;
  if (m_bEmulation != 0) return Emulated(pszAnswer);
  Checksums sums;
  if (!ReceiveAnswer(*this, &CIODCard::ReceiveByte, "Fehler bei Stringlaenge \n", "Fehler im String \n", pszAnswer,
                     &sums))
    return 0;
  if (sums.wIst == sums.wSoll) return 1;
  ERRLOG_WriteToLOGFile("ReceiveTxt Fehler in checksumme \n");
  return 0;
}

int32_t CIODCard::ReceiveTxtN6(char* pszAnswer) {
  if (!pszAnswer) return 0;
  if (m_bEmulation != 0) return Emulated(pszAnswer);
  Checksums sums;
  if (!ReceiveAnswer(*this, &CIODCard::ReceiveByteN6, "ReceiveTxtN6 Fehler bei Stringlaenge \n",
                     "ReceiveTxtN6 Fehler im String \n", pszAnswer, &sums))
    return 0;
  if (sums.wIst == sums.wSoll) return 1;
  ERRLOG_WriteToLOGFile("ReceiveTxtN6 Fehler in checksumme Soll: %x  Ist: %x\n", static_cast<uint32_t>(sums.wSoll),
                        static_cast<uint32_t>(sums.wIst));
  return 0;
}

// ---- Repeated exchanges ------------------------------------------------------

// A missing command or answer buffer is a host error that no repetition
// cures: it is refused before the MCM sees anything, with the operation's
// own final message and code. An emulated board never looks at the command,
// so there a missing one passes like any other; the answer buffer is written
// even then and stays a fault.

namespace {

// The host's text in the log; an absent one shows as empty.
const char* Shown(const char* pszCommand) { return pszCommand ? pszCommand : ""; }

bool Usable(const CIODCard& card, const char* pszCommand) { return pszCommand || card.m_bEmulation != 0; }

int32_t Failed(const char* pszLine, const char* pszCommand, int32_t nCode) {
  ERRLOG_WriteToLOGFile(pszLine, Shown(pszCommand));
  CARDN5_RECORD_ERROR(nCode);
  return 0;
}

}  // namespace

int32_t CIODCard::RepSendTxt(const char* pszCommand) {
  if (Usable(*this, pszCommand)) {
    for (int32_t nAttempt = 0; nAttempt < IOD_ATTEMPTS; ++nAttempt) {
      if (SendTxt(pszCommand)) return 1;
      ERRLOG_WriteToLOGFile("Error RepSendTxt '%s' \n", Shown(pszCommand));
      TIMING_Delay(IOD_RETRY_PAUSE_MS);
    }
  }
  return Failed("RepSendTxt returned with error \n", pszCommand, ERR_IOD_SEND);
}

int32_t CIODCard::RepSendTxtN6(const char* pszCommand) {
  if (Usable(*this, pszCommand)) {
    // N6 sends again at once: each failed byte has already waited its time-out.
    for (int32_t nAttempt = 0; nAttempt < IOD_ATTEMPTS; ++nAttempt) {
      if (SendTxtN6(pszCommand)) return 1;
      ERRLOG_WriteToLOGFile("Error RepSendTxtN6 '%s' \n", Shown(pszCommand));
    }
  }
  return Failed("RepSendTxtN6 returned with error \n", pszCommand, ERR_IOD_SEND);
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
  return Failed("RepReceiveTxt returned with error \n", pszCommand, ERR_IOD_RECEIVE);
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
  return Failed("Error SingleReceiveTxTN6 '%s' \n", pszCommand, ERR_IOD_RECEIVE);
}

// ---- Status inputs -------------------------------------------------------------

// Emulated only for the flag 1, unlike the telegrams: a host that passes
// another non-zero flag reads the port library's emulated value.

int32_t CIODCard::TestRapportStand() {
  if (m_bEmulation == 1) return 1;
  return g_IODIn.ReadBit(iod::In::RapportStand) == 0 ? 1 : 0;
}

int32_t CIODCard::TestDeviceReady() {
  if (m_bEmulation == 1) return 1;
  return g_IODIn.ReadBit(iod::In::DeviceReady) == 0 ? 1 : 0;
}

int32_t CIODCard::TestRechtesRadHinten() {
  if (m_bEmulation == 1) return 0;
  return g_IODIn.ReadBit(iod::In::RechtesRad);
}

int32_t CIODCard::IsXenonOn() {
  if (m_bEmulation == 1) return 1;
  return g_IODIn.ReadBit(iod::In::RechtesRad);
}

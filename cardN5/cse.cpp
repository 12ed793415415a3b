// Colour scanner electronics: the start/stop handshake that wraps every
// change of scan settings, the colour readings, the black and white
// alignment of the channels, the xenon lamp and the scanned rows.
#include "cse.h"

#include "errlog32.h"
#include "hwio32.h"
#include "poll.h"
#include "timing32.h"

using cardn5::PollUntil;
using cse::Control;
using cse::HandshakeIn;
using cse::HandshakeOut;
using cse::Status;

// ---- Registers ------------------------------------------------------------

PlainRegister g_CSEBlueDAC(cse::kBlueDACPort);                       // written: blue offset or gain
PlainRegister g_CSEGreenDAC(cse::kGreenDACPort);                     // written: green offset or gain
PlainRegister g_CSERedDAC(cse::kRedDACPort);                         // written: red offset or gain
TypedRegister<Control> g_CSEControl(cse::kControlPort);              // written
TypedRegister<Status> g_CSEStatus(cse::kStatusPort);                 // read
PlainRegister g_CSEBlue(cse::kBluePort);                             // read: blue value
PlainRegister g_CSERedGreen(cse::kRedGreenPort);                     // read: red and green values
TypedRegister<HandshakeIn> g_CSEHandshakeIn(cse::kHandshakePort);    // read: the board's lines
TypedRegister<HandshakeOut> g_CSEHandshakeOut(cse::kHandshakePort);  // written: the PC's lines

namespace {

// Bounds of the waits: polls of the busy bit, and rounds of a handshake or
// of a reading.
constexpr uint32_t kBusyPolls = 20000;
constexpr uint32_t kSequenceBusyPolls = 100;
constexpr uint32_t kRounds = 10;
constexpr int kRequestWrites = 5;

// An alignment averages this many readings of each setting.
constexpr uint32_t kReadings = 20;
constexpr uint32_t kReadingPauseUs = 80;
constexpr uint32_t kSettingPauseMs = 1;
constexpr uint32_t kXenonPulseMs = 200;
constexpr uint16_t kPresetGain = 100;

// Targets of the black and the white alignment, red, green, blue.
struct AlignmentTargets {
  uint16_t awBlack[3];
  uint16_t awWhite[3];
};
constexpr AlignmentTargets kStandardTargets = {.awBlack = {2, 2, 2}, .awWhite = {251, 251, 251}};
// Separator type 1 with any light source but 0.
constexpr AlignmentTargets kSeparatorTargets = {.awBlack = {5, 5, 5}, .awWhite = {218, 231, 242}};

// Scan mode bits of the control register, by mode; bit 5 is cleared by all.
struct ModeBits {
  bool bScanmode0;
  bool bScanmode2;
};
constexpr ModeBits kModeBits[4] = {
    {.bScanmode0 = true, .bScanmode2 = false},
    {.bScanmode0 = false, .bScanmode2 = false},
    {.bScanmode0 = false, .bScanmode2 = true},
    {.bScanmode0 = false, .bScanmode2 = false},
};

// Flags of a scanned row by mode, in the order the row read takes them.
struct RowFlags {
  uint32_t dwA;
  uint32_t dwB;
};
constexpr RowFlags kRowFlags[4] = {
    {.dwA = 0, .dwB = 1}, {.dwA = 0, .dwB = 0}, {.dwA = 0, .dwB = 0}, {.dwA = 1, .dwB = 0}};
constexpr uint64_t kPixelGroup = 16;  // scan mode 0 counts whole groups of 16 pixels

// One colour of the alignments: its channel register, its targets, its log
// lines and its place in a reading.
struct ColourChannel {
  PlainRegister* pReg;
  uint16_t CCSECard::*pBlack;
  uint16_t CCSECard::*pWhite;
  const char* pszOffsetLine;
  const char* pszGainLine;
  bool bWhitePause;  // only red pauses before its white readings
};
constexpr ColourChannel kColours[3] = {
    {&g_CSERedDAC, &CCSECard::m_wRedBlack, &CCSECard::m_wRedWhite, "Rotoffset  : %u  Rotwert  : %u \n",
     "Rotgain  : %u   Rotwert  : %u \n", true},
    {&g_CSEGreenDAC, &CCSECard::m_wGreenBlack, &CCSECard::m_wGreenWhite, "Gruenoffset: %u  Gruenwert: %u \n",
     "Gruengain: %u   Gruenwert: %u \n", false},
    {&g_CSEBlueDAC, &CCSECard::m_wBlueBlack, &CCSECard::m_wBlueWhite, "Blauoffset : %u  Blauwert : %u \n",
     "Blaugain : %u   Blauwert : %u \n", false},
};

bool WaitNotBusy(CCSECard& card, uint32_t dwMaxPolls) {
  return PollUntil(dwMaxPolls, [&card] { return card.IsBusy() == 0; });
}

}  // namespace

// ---- Object ----------------------------------------------------------------

// The scan fields and targets mean nothing before the first SetScanmode;
// they start at 0, and m_bScanmodeSet keeps rows from using them.
CCSECard::CCSECard()
    : m_bEmulation(0),
      m_wScanmode(0),
      m_wLightsource(0),
      m_wSeparatortype(0),
      m_wRedBlack(0),
      m_wGreenBlack(0),
      m_wBlueBlack(0),
      m_wRedWhite(0),
      m_wGreenWhite(0),
      m_wBlueWhite(0),
      m_bScanmodeSet(0) {}

CCSECard::~CCSECard() {}

// ---- Handshake and readings ------------------------------------------------

int32_t CCSECard::IsBusy() { return g_CSEHandshakeIn.ReadBit(HandshakeIn::kBusy); }

int32_t CCSECard::IsSequenceStopped() { return g_CSEHandshakeIn.ReadBit(HandshakeIn::kSequenceStoppedAck); }

// The board may miss a request written while it converts: the same value
// goes out five times, each after the busy bit dropped (or its wait ended).
void CCSECard::WriteSequenceRequest(int32_t bStop) {
  for (int i = 0; i < kRequestWrites; ++i) {
    g_CSEHandshakeOut.Update(HandshakeOut::kStopRequest, bStop != 0);
    WaitNotBusy(*this, kBusyPolls);
    g_CSEHandshakeOut.Out();
  }
}

// Up to ten rounds until the acknowledge shows the state asked for; the
// caller carries on either way.
int32_t CCSECard::RunSequence(int32_t bStop) {
  if (m_bEmulation) return 1;
  PollUntil(kRounds, [this, bStop] {
    WaitNotBusy(*this, kSequenceBusyPolls);
    WriteSequenceRequest(bStop);
    return IsSequenceStopped() == bStop;
  });
  return 1;
}

int32_t CCSECard::StartSequence() { return RunSequence(0); }

int32_t CCSECard::StopSequence() { return RunSequence(1); }

// A reading is repeated when a conversion began while it was taken. While
// emulated the values of the last real reading are kept.
void CCSECard::ReadRGB(uint16_t& wRed, uint16_t& wGreen, uint16_t& wBlue) {
  if (!m_bEmulation)
    PollUntil(kRounds, [this] {
      WaitNotBusy(*this, kBusyPolls);
      g_CSERedGreen.In();
      g_CSEBlue.In();
      return IsBusy() == 0;
    });
  wRed = g_CSERedGreen.GetValue() & 0xFF;
  wGreen = g_CSERedGreen.GetValue() >> 8;
  wBlue = g_CSEBlue.GetValue() & 0xFF;
}

// ---- Power-on and scan mode ------------------------------------------------

int32_t CCSECard::InitPowerOn() {
  g_CSEControl.Write(0);
  g_CSEHandshakeOut.Write(cse::kHandshakeOutPowerOn);
  StopSequence();
  return 1;
}

int32_t CCSECard::SetScanmode(uint16_t wScanmode, uint16_t wLightsource, uint16_t wSeparatortype) {
  m_wScanmode = wScanmode;
  m_wLightsource = wLightsource;
  m_wSeparatortype = wSeparatortype;
  m_bScanmodeSet = 1;
  StartSequence();
  SetLightsource(wLightsource);
  SetModeBits(wScanmode);
  SetTargets(wSeparatortype, wLightsource);
  StopSequence();
  return 1;
}

void CCSECard::SetLightsource(uint16_t wLightsource) {
  if (wLightsource > 1) {
    ERRLOG_WriteToLOGFile("Illegal Lightsource %d in CCSECard::SetScanmode()\n", wLightsource);
    return;
  }
  g_CSEControl.Update(Control::kLightsource1, wLightsource == 1);
  g_CSEControl.Out();
}

void CCSECard::SetModeBits(uint16_t wScanmode) {
  if (wScanmode > 3) {
    ERRLOG_WriteToLOGFile("Illegal Scanmode %d in CCSECard::SetScanmode()\n", wScanmode);
    return;
  }
  g_CSEControl.Update(Control::kScanmode0, kModeBits[wScanmode].bScanmode0);
  g_CSEControl.Update(Control::kScanmode2, kModeBits[wScanmode].bScanmode2);
  g_CSEControl.ResetBit(Control::kModeReserved);
  g_CSEControl.Out();
}

void CCSECard::SetTargets(uint16_t wSeparatortype, uint16_t wLightsource) {
  if (wSeparatortype > 1) {
    ERRLOG_WriteToLOGFile("Illegal Seperatortype %d in CCSECard::SetScanmode()\n", wSeparatortype);
    return;
  }
  const AlignmentTargets& t = (wSeparatortype == 1 && wLightsource != 0) ? kSeparatorTargets : kStandardTargets;
  m_wRedBlack = t.awBlack[0];
  m_wGreenBlack = t.awBlack[1];
  m_wBlueBlack = t.awBlack[2];
  m_wRedWhite = t.awWhite[0];
  m_wGreenWhite = t.awWhite[1];
  m_wBlueWhite = t.awWhite[2];
}

// ---- Readings and alignments -----------------------------------------------

// A refused null address touches no port: the host asked for nothing.
int32_t CCSECard::GetRGBValue(uint32_t* pdwRGB) {
  if (!pdwRGB) {
    ERRLOG_WriteToLOGFile("CCSECard::GetRGBValue: no result address \n");
    return 0;
  }
  uint16_t wRed, wGreen, wBlue;
  ReadRGB(wRed, wGreen, wBlue);
  *pdwRGB = wRed + wGreen * 0x100u + wBlue * 0x10000u;
  return 1;
}

// The mean of the readings of one colour, the remainder dropped.
uint16_t CCSECard::AverageReading(int nColour) {
  uint32_t dwSum = 0;
  for (uint32_t n = 0; n < kReadings; ++n) {
    uint16_t awRGB[3];
    ReadRGB(awRGB[0], awRGB[1], awRGB[2]);
    dwSum += awRGB[nColour];
    if (!m_bEmulation) TIMING_DelayUS(kReadingPauseUs);
  }
  return static_cast<uint16_t>(dwSum / kReadings);
}

// Settings from 0 up until the colour's mean reaches its target; one that
// never does leaves 255 in the register and no log line.
void CCSECard::AlignColour(int nColour, bool bBlack) {
  const ColourChannel& colour = kColours[nColour];
  for (uint32_t v = 0; v <= 255; ++v) {
    colour.pReg->Write(static_cast<uint16_t>(v));
    if (!m_bEmulation && (bBlack || colour.bWhitePause)) TIMING_Delay(kSettingPauseMs);
    const uint16_t wAverage = AverageReading(nColour);
    const bool bReached = bBlack ? wAverage <= this->*colour.pBlack : wAverage >= this->*colour.pWhite;
    if (bReached) {
      ERRLOG_WriteToLOGFile(bBlack ? colour.pszOffsetLine : colour.pszGainLine, v, static_cast<uint32_t>(wAverage));
      return;
    }
  }
}

int32_t CCSECard::DoSchwarzAbgleich(int32_t bPreset) {
  StartSequence();
  if (bPreset == 1) {
    g_CSEControl.ResetBit(Control::kOffsetSelect);
    g_CSEControl.Out();
    for (const ColourChannel& colour : kColours) colour.pReg->Write(kPresetGain);
  }
  g_CSEControl.SetBit(Control::kOffsetSelect);
  g_CSEControl.Out();
  for (int c = 0; c < 3; ++c) AlignColour(c, true);
  StopSequence();
  return 1;
}

int32_t CCSECard::DoWeissAbgleich() {
  StartSequence();
  g_CSEControl.ResetBit(Control::kOffsetSelect);
  g_CSEControl.Out();
  for (int c = 0; c < 3; ++c) AlignColour(c, false);
  StopSequence();
  return 1;
}

// ---- Scan sequence and rows --------------------------------------------------

// Both hand on the handshake's result: 1, whatever the board did.
int32_t CCSECard::StartScanSequence() {
  ERRLOG_WriteToLOGFile("SetScanmode must be already done \n");
  return StartSequence();
}

int32_t CCSECard::StopScanSequence() { return StopSequence(); }

// Before any SetScanmode the board's mode bits and the count conversion
// would not match: such a row is refused before a port is touched.
int32_t CCSECard::ScanOneRow(uint32_t dwFirst, uint32_t dwCount, uint32_t dwPause, uint32_t dwFourth,
                             uint32_t dwFifth) {
  if (dwCount == 0) return 1;
  if (!m_bScanmodeSet) {
    ERRLOG_WriteToLOGFile("CCSECard::ScanOneRow: no SetScanmode before the row \n");
    return 0;
  }
  g_CSEControl.Out();
  int32_t nResult = 1;  // an illegal scan mode polls no row
  if (m_wScanmode <= 3) {
    // In 64 bits: a count near 2^32 must not wrap to a handful of groups.
    if (m_wScanmode == 0) dwCount = static_cast<uint32_t>((dwCount + (kPixelGroup - 1)) / kPixelGroup);
    const RowFlags& flags = kRowFlags[m_wScanmode];
    nResult = HWIO_PollVorschub(dwFirst, dwCount, dwPause, dwFourth, dwFifth, flags.dwA, flags.dwB);
  }
  if (dwPause != 0) TIMING_Delay(1);
  return nResult;
}

// ---- Lamp and lines ------------------------------------------------------------

// The lamp's start and stop inputs each want a pulse of 200 ms; the other
// input is held low meanwhile.
void CCSECard::XenonPulse(Control pulse, Control other) {
  g_CSEControl.ResetBit(other);
  g_CSEControl.SetBit(pulse);
  g_CSEControl.Out();
  if (!m_bEmulation) TIMING_Delay(kXenonPulseMs);
  g_CSEControl.ResetBit(pulse);
  g_CSEControl.Out();
}

int32_t CCSECard::TurnXenonOn(int32_t bOn) {
  if (bOn) {
    XenonPulse(Control::kXenonStart, Control::kXenonStop);
    ERRLOG_WriteToLOGFile("Xenon started\n");
  } else {
    XenonPulse(Control::kXenonStop, Control::kXenonStart);
    ERRLOG_WriteToLOGFile("Xenon stopped\n");
  }
  return 1;
}

int32_t CCSECard::IsXenonOn() {
  if (m_bEmulation == 1) return 1;
  return g_CSEStatus.ReadBit(Status::kXenonOn);
}

int32_t CCSECard::GetDeviceReady() { return g_CSEStatus.ReadBit(Status::kDeviceReady); }

int32_t CCSECard::GetColorselect() {
  if (m_bEmulation == 1) return 0;
  return g_CSEHandshakeIn.ReadBit(HandshakeIn::kColorselectInactive) == 0 ? 1 : 0;
}

int32_t CCSECard::GetBWAlignementValid() {
  if (m_bEmulation == 1) return 1;
  return g_CSEHandshakeIn.ReadBit(HandshakeIn::kAlignmentInvalid) == 0 ? 1 : 0;
}

int32_t CCSECard::SetLinework(int32_t bOn) {
  StartSequence();
  g_CSEHandshakeOut.Update(HandshakeOut::kLineworkOff, bOn == 0);
  g_CSEHandshakeOut.Out();
  StopSequence();
  return 1;
}

// Status 0 to 3 on the two lines; any other value changes neither, but the
// register is still written inside its handshake.
int32_t CCSECard::SetSWStatus(uint16_t wStatus) {
  StartSequence();
  if (wStatus <= 3) {
    g_CSEHandshakeOut.Update(HandshakeOut::kSWStatus0, (wStatus & 1) != 0);
    g_CSEHandshakeOut.Update(HandshakeOut::kSWStatus1, (wStatus & 2) != 0);
  }
  g_CSEHandshakeOut.Out();
  StopSequence();
  return 1;
}

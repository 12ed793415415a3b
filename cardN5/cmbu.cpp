// Memory buffer board: identity, image memory and banks, the trigger
// handshake, and the engraving set-up (divider, direction, zero shift,
// plot height, modulation values).
#include "cmbu.h"

#include <stddef.h>
#include <stdio.h>

#include "cardN5.h"
#include "convert.h"
#include "direct_port.h"
#include "errlog32.h"
#include "fail.h"
#include "hwconf32.h"
#include "hwinfo32.h"
#include "mbu_regs.h"
#include "poll.h"
#include "timing32.h"

using cardn5::Dbl;
using cardn5::Trunc;

static_assert(sizeof(MBU_CARD_INFO) == 12, "the card information comes back as a 12-byte record");
static_assert(sizeof(void*) != 4 || sizeof(MBU_BLOCK_INFO) == 52,
              "the host passes the block record as 52 bytes on the stack");

// ---- Registers ------------------------------------------------------------

PlainRegister g_MBUMemory(mbu::kMemoryPort);  // built but unused: the block transfers address the port directly
TypedRegister<mbu::Status> g_MBUStatus(mbu::kStatusPort);
PlainRegister g_MBUPlotHeight2(mbu::kPlotHeight2Port);
PlainRegister g_MBUZeroShift(mbu::kZeroShiftPort);
PlainRegister g_MBUCommand(mbu::kCommandPort);
PlainRegister g_MBUZeroPulse(mbu::kZeroPulsePort);
TypedRegister<mbu::Divider> g_MBUDivider(mbu::kDividerPort);
PlainRegister g_MBUPlotHeight0(mbu::kPlotHeight0Port);
TypedRegister<mbu::AMUIndex> g_MBUAMUIndex(mbu::kAMUIndexPort);
PlainRegister g_MBUPlotHeight1(mbu::kPlotHeight1Port);
PlainRegister g_MBUAMUValue(mbu::kAMUValuePort);
PlainRegister g_MBUDividerHigh(mbu::kDividerHighPort);

namespace {

// What the jumper ID tells about the card.
struct CardType {
  uint32_t dwAdvanceType;
  uint32_t dwPossiblePixels;
};
constexpr CardType kCardTypes[8] = {
    {.dwAdvanceType = MBU_ADVANCE_STANDARD, .dwPossiblePixels = 0x800000},
    {.dwAdvanceType = MBU_ADVANCE_STANDARD, .dwPossiblePixels = 0x1000000},
    {.dwAdvanceType = MBU_ADVANCE_TRIM, .dwPossiblePixels = 0x800000},
    {.dwAdvanceType = MBU_ADVANCE_TRIM, .dwPossiblePixels = 0x1000000},
    {.dwAdvanceType = MBU_ADVANCE_STANDARD, .dwPossiblePixels = 0x800000},
    {.dwAdvanceType = MBU_ADVANCE_TRIM, .dwPossiblePixels = 0x1000000},
    {.dwAdvanceType = MBU_ADVANCE_TRIM, .dwPossiblePixels = 0x1000000},
    // no valid card: an advance type that is neither a type nor a mode value
    {.dwAdvanceType = MBU_ADVANCE_UNDEFINED, .dwPossiblePixels = 0},
};
constexpr uint32_t kInvalidCardID = 7;
constexpr uint32_t kEmulatedCardID = 3;

// The largest block in pixels, for every card, and so in one-bit words.
constexpr uint64_t MBU_MEMORY = 0x1000000;
constexpr uint64_t kMemoryWords = MBU_MEMORY / 16;

// Advance modes of a block; a zero-shift segment is 256 pixels, 512 in TRIM.
constexpr uint32_t kModeStandard = 0;
constexpr uint32_t kModeFixedPoint = 1;
constexpr uint32_t kModeTRIM = 2;

constexpr uint32_t kStandardStepLimit = 81;
constexpr double kStandardNumerator = 4999.0;
constexpr double kFixedPointNumerator = 5000.999;
constexpr uint16_t kStandardDividerNoSteps = 0x1FFF;
constexpr uint16_t kTRIMDividerNoSteps = 0xFFFF;
constexpr uint32_t kPlotHeightLimit = 0xFFFFFF;
constexpr long kPlotHeightShownLimit = 65535;  // what the message has always said
constexpr uint16_t kNoZeroSegment = 0xFFFF;

// The status debounce: three readings equal to the one before, 10 us apart.
// A board whose bits never settle would hold it forever, so it gives up
// after this many readings (1 ms of pauses).
constexpr int kDebounceEqualReadings = 3;
constexpr uint32_t kDebounceReadLimit = 100;
constexpr uint32_t kDebouncePauseUs = 10;
constexpr uint16_t kNoStatusByte = 0xFFFF;  // no reading of 8 bits equals it
constexpr uint16_t kNoBank = 2;

// The trigger wait counts its 10 us pauses up to 5 s, not the time spent.
constexpr uint32_t kTrigPassUs = 10;
constexpr uint32_t kTrigBudgetUs = 5000000;

// An idle board that keeps offering the other bank will not change its mind:
// after this many polls in a row (each at least three 10 us pauses) the
// wait for a writable bank gives up.
constexpr uint32_t kIdlePollsBeforeGivingUp = 50000;

constexpr uint32_t kWindowHoldMs = 4000;

constexpr const char* kAMUKeys[12] = {
    "AMU_Channel_Floor_FirstStep",    "AMU_Channel_Floor_PowerMin",      "AMU_Channel_Floor_PowerMax",
    "AMU_Channel_Floor_ClockDivider", "AMU_Channel_Middle_FirstStep",    "AMU_Channel_Middle_PowerMin",
    "AMU_Channel_Middle_PowerMax",    "AMU_Channel_Middle_ClockDivider", "AMU_Channel_Contour_FirstStep",
    "AMU_Channel_Contour_PowerMin",   "AMU_Channel_Contour_PowerMax",    "AMU_Channel_Contour_ClockDivider",
};

// A 32-bit value as the board code's %ld printed it on the 32-bit host.
long AsLong(uint32_t v) { return static_cast<int32_t>(v); }

// Ends when reading() gave the same value kDebounceEqualReadings times after
// the reference took it; false when the readings did not settle.
template <typename Reading>
bool Debounce(uint16_t& wReference, Reading reading) {
  int nEqual = 0;
  return cardn5::PollUntil(
      kDebounceReadLimit,
      [&] {
        const uint16_t w = reading();
        if (w != wReference) {
          wReference = w;
          nEqual = 0;
          return false;
        }
        return ++nEqual == kDebounceEqualReadings;
      },
      [](uint32_t) { TIMING_DelayUS(kDebouncePauseUs); });
}

// A board error text in the hardware-information window, held 4 s.
void ShowBoardError(const char* pszText) {
  HWINFO_ShowHDWInfo(OpenHWInfo(), HWINFO_TEXT, pszText);
  TIMING_Delay(kWindowHoldMs);
  CloseHWInfo();
}

}  // namespace

// ---- Object ----------------------------------------------------------------

// Nothing is known of the card before power-on reads its jumpers.
CMBUCard::CMBUCard()
    : m_bEmulation(0),
      m_dwSetSMDirectionCnt(0),
      m_wSMDivider(0),
      m_wNullverschiebung(0),
      m_wLastZeroSegment(0),
      m_wExpectedBank(0),
      m_dwPlotHeightPixel(0),
      m_CardInfo{MBU_JUMPER_ID_UNREAD, 0, MBU_ADVANCE_UNDEFINED} {}

CMBUCard::~CMBUCard() {
  if (m_dwSetSMDirectionCnt != 0)
    ERRLOG_WriteToLOGFile("CARDN532 MBU SetSMDirectionCnt %ld \n", AsLong(m_dwSetSMDirectionCnt));
}

uint16_t CMBUCard::ReadStatus() {
  if (!Emulated()) g_MBUStatus.In();
  return g_MBUStatus.GetValue();
}

bool CMBUCard::DebounceStatusByte(uint16_t& wReference) {
  return Debounce(wReference, [this] { return static_cast<uint16_t>(ReadStatus() & mbu::kStatusByte); });
}

bool CMBUCard::BoardIdle() const { return (g_MBUStatus.GetValue() & mbu::kBusyMask) == 0; }

int32_t CMBUCard::Command(uint16_t wCode) {
  g_MBUCommand.Write(wCode);
  return 1;
}

// ---- Identity --------------------------------------------------------------

int32_t CMBUCard::InitPowerOn() {
  CSIN5_InitPowerOn();
  IODN5_InitPowerOn();
  const int32_t bResult = SetCardInfo();
  SetSMDirection(0);
  return bResult;
}

uint32_t CMBUCard::GetCardID() {
  ReadStatus();
  uint32_t dwID =
      static_cast<uint32_t>(g_MBUStatus.Bit(mbu::Status::kJumper0) + 2 * g_MBUStatus.Bit(mbu::Status::kJumper1) +
                            4 * g_MBUStatus.Bit(mbu::Status::kJumper2));
  if (EmulatedOne()) dwID = kEmulatedCardID;
  ERRLOG_WriteToLOGFile("CMBUCard::GetCardID  jumper ID is %ld \n", AsLong(dwID));
  return dwID;
}

int32_t CMBUCard::SetCardInfo() {
  ERRLOG_WriteToLOGFile("CMBUCard::SetCardInfo \n");
  const uint32_t dwID = GetCardID();
  if (dwID == kInvalidCardID) {
    ERRLOG_WriteToLOGFile("no valid card ID %ld \n", AsLong(dwID));
    CARDN5_RECORD_ERROR(ERR_MBU_CARD_ID);
  }
  m_CardInfo.dwAdvanceType = kCardTypes[dwID].dwAdvanceType;
  m_CardInfo.dwJumperID = dwID;
  m_CardInfo.dwPossiblePixels = kCardTypes[dwID].dwPossiblePixels;

  const char* pszAdvance = "no advance type defined ";
  if (m_CardInfo.dwAdvanceType == MBU_ADVANCE_STANDARD)
    pszAdvance = "standard advance ";
  else if (m_CardInfo.dwAdvanceType == MBU_ADVANCE_TRIM)
    pszAdvance = " 'TRIM' advance ";
  else
    CARDN5_RECORD_ERROR(ERR_MBU_CARD_ID);
  ERRLOG_WriteToLOGFile("CMBUCard::SetCardInfo  jumper ID: %ld \n", AsLong(dwID));
  ERRLOG_WriteToLOGFile("CMBUCard::SetCardInfo  possible pixels: %ld \n", AsLong(m_CardInfo.dwPossiblePixels));
  ERRLOG_WriteToLOGFile("CMBUCard::SetCardInfo  advance type: %s \n", pszAdvance);
  // Any error recorded so far, by any board, fails the power-on.
  return ERRLOG_IsError() == 0 ? 1 : 0;
}

MBU_CARD_INFO CMBUCard::GetCardInfo() const { return m_CardInfo; }

// ---- Image memory -----------------------------------------------------------

int32_t CMBUCard::WriteMemory(const uint16_t* pwData, uint32_t dwCount) {
  if (EmulatedOne()) return 1;
  if (dwCount == 0) return 1;
  if (!pwData) {
    ERRLOG_WriteToLOGFile("CMBUCard::WriteMemory no data for %lu words \n", static_cast<unsigned long>(dwCount));
    return 0;
  }
  cardn5::DirectOutBlock(mbu::kMemoryPort, pwData, dwCount);
  return 1;
}

int32_t CMBUCard::ReadMemory(uint16_t* pwData, uint32_t dwCount) {
  if (EmulatedOne()) return 1;
  if (dwCount == 0) return 1;
  if (!pwData) {
    ERRLOG_WriteToLOGFile("CMBUCard::ReadMemory no buffer for %lu words \n", static_cast<unsigned long>(dwCount));
    return 0;
  }
  cardn5::DirectInBlock(mbu::kMemoryPort, pwData, dwCount);
  return 1;
}

// ---- Blocks and banks ----------------------------------------------------------

int32_t CMBUCard::WriteBlock(MBU_BLOCK_INFO block) {
  uint32_t dwWords = 0;
  if (!CheckBlock(block, dwWords)) return 0;
  if (!WaitForWritableBank()) return 0;
  if (!WriteMemory(block.pwData, dwWords)) {
    ERRLOG_WriteToLOGFile("CMBUCard: Fehler bei WriteMemory\n");
    return 0;
  }
  return 1;
}

// Steps 1 to 4 of a block: its word count and the checks that come before
// any port access.
int32_t CMBUCard::CheckBlock(const MBU_BLOCK_INFO& block, uint32_t& dwWords) {
  // In 64 bits: 0x10000 x 0x10000 must not wrap to an empty block.
  const uint64_t qwPixels = static_cast<uint64_t>(block.dwPixelX) * block.dwPixelY;
  uint64_t qwWords = 0;
  if (block.dwPixelX == 4) {
    qwWords = block.dwCountFromPixels == 1 ? ((qwPixels + 7) / 8 + 1) / 2 : block.dwByteCount / 2;
  } else if (block.dwPixelX % 16 != 0) {
    ERRLOG_WriteToLOGFile("CMBUCard: Pixelzahl X muss Modulo 16 sein \n");
    return 0;
  } else {
    qwWords = qwPixels / 16;
  }
  // A byte count may ask for more words than any bank holds.
  if (qwPixels > MBU_MEMORY || qwWords > kMemoryWords) {
    ERRLOG_WriteToLOGFile("CMBUCard: dwBildBytezahl > MBU_MEMORY\n");
    return 0;
  }
  const bool bTRIM = block.dwAdvanceMode == kModeTRIM;
  const uint32_t dwSegmentPixels = bTRIM ? 512 : 256;
  if (block.dwZeroVerschPixel > mbu::kZeroShiftMax * dwSegmentPixels) {
    ERRLOG_WriteToLOGFile("CMBUCard: dwZeroVerschPixel = %ld must be lower 256 !!\n", AsLong(block.dwZeroVerschPixel));
    return 0;
  }
  if (block.dwZeroVerschPixel % dwSegmentPixels != 0) {
    ERRLOG_WriteToLOGFile(bTRIM ? "CMBUCard: dwZeroVerschPixel %ld has at modulo 512 rest\n"
                                : "CMBUCard: dwZeroVerschPixel %ld has at modulo 256 rest\n",
                          AsLong(block.dwZeroVerschPixel));
    return 0;
  }
  dwWords = static_cast<uint32_t>(qwWords);
  return 1;
}

// Polls until the board opens the expected bank. A busy board may take
// minutes to free it; an idle one that offers the other bank, or a status
// that is not read at all, never will.
int32_t CMBUCard::WaitForWritableBank() {
  uint32_t dwIdlePolls = 0;
  bool bHopeless = false;
  cardn5::PollUntil(
      cardn5::kUnbounded, [&] { return bHopeless || WriteToBankPossible() == 1; },
      [&](uint32_t) {
        dwIdlePolls = BoardIdle() ? dwIdlePolls + 1 : 0;
        bHopeless = Emulated() || dwIdlePolls >= kIdlePollsBeforeGivingUp;
      });
  if (!bHopeless) return 1;
  if (Emulated())
    ERRLOG_WriteToLOGFile(
        "CMBUCard: bank %u is not open to the PC and status reads are off (emulation %ld): "
        "block not written\n",
        static_cast<unsigned>(m_wExpectedBank), static_cast<long>(m_bEmulation));
  else
    ERRLOG_WriteToLOGFile("CMBUCard: bank %u is not open to the PC and the board is idle: block not written\n",
                          static_cast<unsigned>(m_wExpectedBank));
  return 0;
}

int32_t CMBUCard::WriteToBankPossible() {
  if (EmulatedOne()) return 1;
  return GetAccessibleBank() == m_wExpectedBank ? 1 : 0;
}

uint16_t CMBUCard::GetAccessibleBank() {
  uint16_t wBank = kNoBank;
  const bool bStable = Debounce(wBank, [this] {
    ReadStatus();
    return static_cast<uint16_t>(g_MBUStatus.Bit(mbu::Status::kBank));
  });
  return bStable ? wBank : static_cast<uint16_t>(MBU_BANK_UNSTABLE);
}

int32_t CMBUCard::WaitForTrigAccepted() {
  uint16_t wReference = kNoStatusByte;
  bool bEmulatedPass = false;
  const bool bAccepted = cardn5::PollUntil(
      kTrigBudgetUs / kTrigPassUs,
      [&] {
        if (bEmulatedPass) return true;
        if (DebounceStatusByte(wReference) && (g_MBUStatus.GetValue() & mbu::kTriggerMask) != 0) return true;
        return WriteToBankPossible() == 1;
      },
      [&](uint32_t) {
        TIMING_DelayUS(kTrigPassUs);
        bEmulatedPass = EmulatedOne();
      });
  if (bAccepted) return 1;
  ERRLOG_WriteToLOGFile(
      "CMBUCard::WaitForTrigAccepted()  trigger is not accepted on the MBU card and bank has not switched \n");
  CARDN5_RECORD_ERROR(ERR_MBU_TRIGGER);
  return 0;
}

// ---- Commands and status ------------------------------------------------------

int32_t CMBUCard::TrigSoftReset() { return Command(mbu::kSoftReset); }
int32_t CMBUCard::TrigBankSet() { return Command(mbu::kBankSet); }
int32_t CMBUCard::TrigTestMode() { return Command(mbu::kTestMode); }

int32_t CMBUCard::IstResetAufgetreten() {
  ReadStatus();
  return g_MBUStatus.Bit(mbu::Status::kResetOccurred);
}

int32_t CMBUCard::IsPLLInRange() {
  ReadStatus();
  return g_MBUStatus.Bit(mbu::Status::kPLLInRange);
}

uint16_t CMBUCard::GetNullimpulsZaehler() {
  if (!Emulated()) g_MBUZeroPulse.In();
  return static_cast<uint16_t>((g_MBUZeroPulse.GetValue() >> mbu::kZeroPulseShift) & mbu::kZeroPulseMask);
}

int32_t CMBUCard::IsTurnOffPossible() {
  uint16_t wReference = kNoStatusByte;
  // Bits that do not settle are no proof that the board rests.
  if (!DebounceStatusByte(wReference)) return 0;
  return BoardIdle() ? 1 : 0;
}

// ---- Job start and trigger ------------------------------------------------------

// The library cannot check the drum speed or the pulse generator; it says so.
int32_t CMBUCard::GravurVorbereiten() {
  ERRLOG_WriteToLOGFile("machine must running with correct DrumSpeed \n");
  ERRLOG_WriteToLOGFile("IPG must be programmed correct \n");
  if (!InitAction()) {
    ERRLOG_WriteToLOGFile("Fehler in MBUN5_GravurVorbereiten : InitAction\n");
    return 0;
  }
  return 1;
}

int32_t CMBUCard::InitAction() {
  Command(mbu::kSoftReset);
  m_wExpectedBank = 0;
  m_wLastZeroSegment = kNoZeroSegment;
  return 1;
}

int32_t CMBUCard::TriggerBlock(MBU_BLOCK_INFO block) {
  if (!CalcSMDivider(block)) {
    ERRLOG_WriteToLOGFile("CMBUCard: Fehler in CalcSMTeilerwert\n");
    return 0;
  }
  SetSMDirection(1);
  if (block.dwAdvanceMode == kModeTRIM)
    WriteDividerTRIM();
  else
    WriteDividerStandard();
  return Trigger(block);
}

int32_t CMBUCard::Trigger(const MBU_BLOCK_INFO& block) {
  const bool bTRIM = block.dwAdvanceMode == kModeTRIM;
  const uint32_t dwSegment = block.dwZeroVerschPixel >> (bTRIM ? 9 : 8);
  const uint16_t wSegment = static_cast<uint16_t>(dwSegment);
  // The command alone tells the board whether the segment is 0, unchanged or
  // new; only TRIM writes the segment itself.
  uint16_t wCommand = mbu::kTriggerTRIM;
  if (!bTRIM)
    wCommand = wSegment == 0                    ? mbu::kTriggerSegment0
               : wSegment == m_wLastZeroSegment ? mbu::kTriggerSegmentSame
                                                : mbu::kTriggerSegmentNew;
  m_wExpectedBank = m_wExpectedBank == 0 ? 1 : 0;
  if (bTRIM) {
    SetPlotHeightPI(block.dwPlotHeightPixel);
    SetNullverschiebungsWert(static_cast<int32_t>(dwSegment));
  }
  const int32_t bAccepted = IssueTrigger(wCommand);
  m_wLastZeroSegment = wSegment;
  return bAccepted;
}

int32_t CMBUCard::IssueTrigger(uint16_t wCommand) {
  g_MBUCommand.Write(wCommand);
  return WaitForTrigAccepted();
}

// ---- Stepper divider and direction ------------------------------------------------

int32_t CMBUCard::CalcSMDivider(const MBU_BLOCK_INFO& block) {
  switch (block.dwAdvanceMode) {
    case kModeStandard:
      return CalcSMDividerStandard(block.dwSteps);
    case kModeFixedPoint:
      return CalcSMDividerFixedPoint(block.dwSteps);
    case kModeTRIM:
      return CalcSMDividerTRIM(block.dwSteps);
    default:
      CARDN5_RECORD_ERROR(ERR_MBU_ADVANCE_MODE);
      ERRLOG_WriteToLOGFile("CMBUCard::CalcSMDivider wrong advance mode \n");
      return 0;
  }
}

int32_t CMBUCard::CalcSMDividerStandard(uint32_t dwSteps) {
  if (dwSteps > kStandardStepLimit) {
    m_wSMDivider = kStandardDividerNoSteps;
    ERRLOG_WriteToLOGFile("CMBUCard::CalcSMDividerStandard %ld are more steps then possible %ld with this EPLD \n",
                          AsLong(dwSteps), AsLong(kStandardStepLimit));
    CARDN5_RECORD_ERROR(ERR_MBU_DIVIDER);
    return 0;
  }
  if (dwSteps == 0) {
    m_wSMDivider = kStandardDividerNoSteps;
    return 1;
  }
  m_wSMDivider = static_cast<uint16_t>(Trunc(Dbl(kStandardNumerator / dwSteps)));
  return 1;
}

// The integer part in the upper byte, the fraction in 1/256 in the lower.
int32_t CMBUCard::CalcSMDividerFixedPoint(uint32_t dwSteps) {
  if (dwSteps == 0) {
    m_wSMDivider = 0;  // what the division by zero has always come to
    return 1;
  }
  const double v = Dbl(kFixedPointNumerator / dwSteps);
  const uint32_t i = static_cast<uint32_t>(Trunc(v));
  const uint32_t f = static_cast<uint32_t>(Trunc(Dbl(Dbl(v - (i % 65536u)) * 256.0)));
  m_wSMDivider = static_cast<uint16_t>((i % 256u) * 256u + f);
  return 1;
}

// Plot-height pixels per step, accepted only when it divides back exactly.
int32_t CMBUCard::CalcSMDividerTRIM(uint32_t dwSteps) {
  if (dwSteps == 0) {
    m_wSMDivider = kTRIMDividerNoSteps;
    return 1;
  }
  m_wSMDivider = static_cast<uint16_t>(m_dwPlotHeightPixel / dwSteps);
  if (m_wSMDivider != 0 && m_dwPlotHeightPixel / m_wSMDivider == dwSteps) return 1;
  m_wSMDivider = kTRIMDividerNoSteps;
  ERRLOG_WriteToLOGFile("CMBUCard::CalcSMDividerTRIM %ld are more steps then possible with this EPLD \n",
                        AsLong(dwSteps));
  CARDN5_RECORD_ERROR(ERR_MBU_DIVIDER);
  return 0;
}

// Bit 15, the direction set just before, goes out with the divider.
void CMBUCard::WriteDividerStandard() {
  m_wSMDivider &= mbu::kDividerBits;
  g_MBUDivider.Write(static_cast<uint16_t>((g_MBUDivider.GetValue() & mbu::kDividerKeep) | m_wSMDivider));
}

void CMBUCard::WriteDividerTRIM() {
  g_MBUDivider.Write(
      static_cast<uint16_t>((g_MBUDivider.GetValue() & mbu::kDividerKeep) | (m_wSMDivider & mbu::kDividerBits)));
  g_MBUDividerHigh.Write(static_cast<uint16_t>(m_wSMDivider >> mbu::kDividerHighShift));
}

int32_t CMBUCard::SetSMDirection(int32_t bDirection) {
  ++m_dwSetSMDirectionCnt;
  g_MBUDivider.Update(mbu::Divider::kDirection, bDirection != 0);
  if (Emulated()) return 1;
  TIMING_Delay(1);
  g_MBUDivider.Out();
  TIMING_Delay(1);
  return 1;
}

// ---- Zero shift, plot height, modulation, laser pulse --------------------------------

int32_t CMBUCard::SetNullverschiebungsWert(int32_t nValue) {
  const uint16_t v = static_cast<uint16_t>(nValue);
  if (v > mbu::kZeroShiftMax) {
    ERRLOG_WriteToLOGFile("CMBUCard::SetNullverschiebungsWert %d greater then 255\n", static_cast<int>(v));
    char szText[128];
    snprintf(szText, sizeof szText, "MBU Card: zero rotation %ld is greater than 255 segments \n",
             static_cast<long>(v));
    ShowBoardError(szText);
    CARDN5_RECORD_ERROR(ERR_MBU_RANGE);
    return 0;
  }
  m_wNullverschiebung = v;
  g_MBUZeroShift.Write(v);
  TIMING_Delay(10);
  return 1;
}

int32_t CMBUCard::SetPlotHeightPI(uint32_t dwPixels) {
  m_dwPlotHeightPixel = dwPixels;
  if (m_CardInfo.dwAdvanceType != MBU_ADVANCE_TRIM) return 1;
  if (dwPixels > kPlotHeightLimit) {
    ERRLOG_WriteToLOGFile("CMBUCard::SetPlotHeightPI Pixelcounter %ld to great \n", AsLong(dwPixels));
    char szText[128];
    snprintf(szText, sizeof szText, "plot height %ld is greater than %ld pixel \n", AsLong(dwPixels),
             kPlotHeightShownLimit);
    ERRLOG_WriteToLOGFile("%s", szText);
    ShowBoardError(szText);
    CARDN5_RECORD_ERROR(ERR_MBU_RANGE);
    return 0;
  }
  g_MBUPlotHeight0.SetValue(static_cast<uint16_t>(dwPixels & 0xFF));
  g_MBUPlotHeight1.SetValue(static_cast<uint16_t>((dwPixels >> 8) & 0xFF));
  g_MBUPlotHeight2.SetValue(static_cast<uint16_t>((dwPixels >> 16) & 0xFF));
  g_MBUPlotHeight0.Out();
  g_MBUPlotHeight1.Out();
  g_MBUPlotHeight2.Out();
  TIMING_Delay(10);
  return 1;
}

// Index then value for each of the twelve parameters; bit 7 of every index
// word carries the mode.
int32_t CMBUCard::WriteAMUValues(int32_t nMode) {
  ERRLOG_WriteToLOGFile("CMBUCard::WriteAMUValues()  Mode %ld \n", static_cast<long>(nMode));
  for (uint16_t wIndex = 0; wIndex < 12; ++wIndex) {
    const uint16_t wValue = static_cast<uint16_t>(Trunc(HWCONF_GetCustomValue(kAMUKeys[wIndex])) & 0xFF);
    g_MBUAMUIndex.SetValue(wIndex);
    g_MBUAMUIndex.Update(mbu::AMUIndex::kMode, nMode != 0);
    g_MBUAMUValue.SetValue(wValue);
    g_MBUAMUIndex.Out();
    TIMING_DelayUS(10);
    g_MBUAMUValue.Out();
    TIMING_DelayUS(10);
  }
  return 1;
}

int32_t CMBUCard::SetLaserpulsExplizit(int32_t bOn) {
  return g_MBUCommand.Write(bOn != 0 ? mbu::kLaserPulseOn : mbu::kSoftReset);
}

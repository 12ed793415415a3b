// Scanner drive board: the optic's stepper moved by toggles of one line of
// the EPU's output word against an end sensor on its FINP input, three focus
// tables, and the linear voltage through the DCA's LDK focus voltage.
#include "sdu.h"

#include <cstring>

#include "cardN532.h"
#include "convert.h"
#include "errlog32.h"
#include "hwio32.h"
#include "ok_output.h"
#include "poll.h"
#include "timing32.h"

namespace {

constexpr int32_t kTowardsSensor = 0;
constexpr int32_t kAwayFromSensor = 1;
constexpr uint16_t kMaxSteps = 32767;  // the toggles are counted in 16 bits
constexpr uint16_t kMaxEntries = sizeof(FOKUS_TABLE::adX) / sizeof(FOKUS_TABLE::adX[0]);
constexpr double kMaxVolts = 10.0;

int32_t N(sdu::OKOutput line) { return static_cast<int32_t>(line); }

// The optic's lines share the EPU's output word with the EPU and the head.
int32_t UpdateOKOutput(sdu::OKOutput line, bool bOn) { return cardn5::UpdateOKOutputLine(line, bOn); }

// 0 to 10 V; NaN counts as 0.
double LimitOffset(double dOffset) {
  if (dOffset > kMaxVolts) return kMaxVolts;
  return dOffset > 0.0 ? dOffset : 0.0;
}

// 0 to the whole travel; NaN counts as 0.
uint16_t LimitPosition(double dSteps) {
  if (dSteps > sdu::kTravelSteps) return sdu::kTravelSteps;
  return dSteps > 0.0 ? static_cast<uint16_t>(cardn5::Trunc(dSteps)) : 0;
}

}  // namespace

// ---- Object ----------------------------------------------------------------

// The optic position and the tables start at 0 so that a focus value before
// any table moves the optic to the sensor instead of reading garbage.
CSDUCard::CSDUCard()
    : m_bEmulation(0),
      m_dwOpticPos(0),
      m_bOpticReferenced(0),
      m_XenonScanfokusTable(),
      m_LDScanfokusTable(),
      m_LDPlotfokusTable() {}

CSDUCard::~CSDUCard() {}

int32_t CSDUCard::InitPowerOn() { return 1; }

// ---- Lines ------------------------------------------------------------------

void CSDUCard::SetDirection(int32_t nDirection) {
  UpdateOKOutput(sdu::OKOutput::kDirection, nDirection == 1);
  TIMING_Delay(sdu::kDirectionMs);
}

int32_t CSDUCard::OpticStep() {
  const bool bStepLow = (HWIO_Bit(EPUN5_GetOKOutput(), N(sdu::OKOutput::kStep)) & 0xFFFF) == 0;
  UpdateOKOutput(sdu::OKOutput::kStep, bStepLow);
  return 1;
}

int32_t CSDUCard::IsEndSensorActive() {
  if (m_bEmulation != 0) return 1;
  return (HWIO_Bit(EPUN5_GetFINP(), static_cast<int32_t>(sdu::Finp::kEndSensor)) & 0xFFFF) == 0 ? 1 : 0;
}

// ---- Moves ------------------------------------------------------------------

int32_t CSDUCard::MoveOptic(uint16_t wSteps, int32_t nDirection, int32_t bWatchSensor) {
  // Twice the count must fit the 16-bit toggle count: more than 32767 steps
  // would wrap to a short move, so they are limited (the travel is 1924).
  if (wSteps > kMaxSteps) {
    ERRLOG_WriteToLOGFile("MoveOptic() %u steps limited to %u \n", static_cast<unsigned>(wSteps),
                          static_cast<unsigned>(kMaxSteps));
    wSteps = kMaxSteps;
  }
  // 1.
  SetDirection(nDirection);
  // 2.
  ERRLOG_WriteToLOGFile("MoveOptic() with %u steps \n", static_cast<unsigned>(wSteps));
  // 3. Toggle by toggle, the sensor looked at before each one.
  const uint16_t wToggles = static_cast<uint16_t>(2u * wSteps);
  uint32_t dwToggled = 0;
  const bool bContacted = wToggles != 0 && cardn5::PollUntil(
                                               wToggles, [&] { return bWatchSensor != 0 && IsEndSensorActive() == 1; },
                                               [&](uint32_t n) {
                                                 dwToggled = n;
                                                 OpticStep();
                                                 if (m_bEmulation == 0) TIMING_DelayUS(sdu::kToggleUs);
                                               });
  if (bContacted) {
    ERRLOG_WriteToLOGFile("in MoveOptiv() at %u steps endsensor contacted \n", static_cast<unsigned>(dwToggled / 2));
    return 0;
  }
  // 4.
  ERRLOG_WriteToLOGFile("MoveOptic with %u steps ready \n", static_cast<unsigned>(wToggles / 2));
  return 1;
}

// Every positioning starts at the end sensor. The moves' results are not
// looked at: the reference move normally ends at the sensor with 0.
int32_t CSDUCard::SetOpticPosition(uint32_t dwPosition) {
  const uint16_t wPosition = static_cast<uint16_t>(dwPosition);
  // 1.
  m_dwOpticPos = 0;
  m_bOpticReferenced = 0;
  // 2.
  MoveOptic(sdu::kTravelSteps, kTowardsSensor, 1);
  // 3.
  m_dwOpticPos = 0;
  m_bOpticReferenced = 1;
  // 4.
  MoveOptic(wPosition, kAwayFromSensor, 0);
  // 5.
  m_dwOpticPos = wPosition;
  return 1;
}

// Without current the motor loses its position: the optic is no longer
// referenced.
int32_t CSDUCard::SwitchChopperCurrent(int32_t bOn) {
  if (bOn == 0) m_bOpticReferenced = 0;
  UpdateOKOutput(sdu::OKOutput::kChopperOff, bOn == 0);
  return 1;
}

// ---- Focus ------------------------------------------------------------------

int32_t CSDUCard::SetLinearspannung(double dVolts) {
  ERRLOG_WriteToLOGFile("SetLinearspannung mit %lf Volt\n", dVolts);
  return DCAN5_SetLDKFokusspannung(dVolts);
}

int32_t CSDUCard::SetXenonScanfokus(double dFokus, double dOffset) {
  // 1. The voltage first, before the optic moves.
  SetLinearspannung(cardn5::Dbl(kMaxVolts - LimitOffset(dOffset)));
  // 2.
  const FOKUS_TABLE& t = m_XenonScanfokusTable;
  const double dSteps = HWIO_GetLinearInterpoliertenWert(t.adX, t.adY, t.wCount, dFokus);
  // 3., 4.
  return SetOpticPosition(LimitPosition(dSteps));
}

// The difference is not limited here: the DCA limits it to 0 to 10 V.
int32_t CSDUCard::SetLDFokus(const FOKUS_TABLE& table, double dFokus, double dOffset) {
  const double dVolts = HWIO_GetLinearInterpoliertenWert(table.adX, table.adY, table.wCount, dFokus);
  return SetLinearspannung(cardn5::Dbl(dVolts - LimitOffset(dOffset)));
}

int32_t CSDUCard::SetLDScanfokus(double dFokus, double dOffset) {
  return SetLDFokus(m_LDScanfokusTable, dFokus, dOffset);
}

int32_t CSDUCard::SetLDPlotfokus(double dFokus, double dOffset) {
  return SetLDFokus(m_LDPlotfokusTable, dFokus, dOffset);
}

// ---- Focus tables -------------------------------------------------------------

// A count of 0 keeps the previous pairs. The exports return nothing, so bad
// input is never refused silently: more than 30 pairs are cut to 30 with a
// log line (a refusal would leave a stale table in use), and missing arrays
// are refused with a log line, the previous table kept.
void CSDUCard::SetFokusTable(FOKUS_TABLE& table, const char* pszName, const double* pdX, const double* pdY,
                             uint32_t dwCount) {
  uint16_t wCount = static_cast<uint16_t>(dwCount);
  if (wCount == 0) {
    table.bLoaded = 1;
    return;
  }
  if (!pdX || !pdY) {
    ERRLOG_WriteToLOGFile("CSDUCard::%s no values given, table kept \n", pszName);
    return;
  }
  if (wCount > kMaxEntries) {
    ERRLOG_WriteToLOGFile("CSDUCard::%s %u entries, only the first %u taken \n", pszName, static_cast<unsigned>(wCount),
                          static_cast<unsigned>(kMaxEntries));
    wCount = kMaxEntries;
  }
  // Bit for bit: a copy through the x87 stack would quieten signalling NaNs.
  std::memcpy(table.adX, pdX, wCount * sizeof(double));
  std::memcpy(table.adY, pdY, wCount * sizeof(double));
  table.wCount = wCount;
  table.bLoaded = 1;
}

void CSDUCard::SetXenonScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount) {
  SetFokusTable(m_XenonScanfokusTable, "SetXenonScanfokusTable", pdX, pdY, dwCount);
}

void CSDUCard::SetLDScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount) {
  SetFokusTable(m_LDScanfokusTable, "SetLDScanfokusTable", pdX, pdY, dwCount);
}

void CSDUCard::SetLDPlotfokusTable(const double* pdX, const double* pdY, uint32_t dwCount) {
  SetFokusTable(m_LDPlotfokusTable, "SetLDPlotfokusTable", pdX, pdY, dwCount);
}

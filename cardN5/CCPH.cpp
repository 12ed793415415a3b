// Focusing head board: the lens carriage's stepper with its reference
// sensor, the repeat, engraving and defocus positions, the focus table and
// the hardware shutter. Every line is a bit of the EPU's output or FINP
// word, reached through the EPU's exports.
#include "CCPH.h"

#include <cmath>
#include <cstdio>

#include "cardN532.h"
#include "convert.h"
#include "cph_regs.h"
#include "errlog32.h"
#include "fail.h"
#include "hwio32.h"
#include "ok_output.h"
#include "poll.h"
#include "timing32.h"

using cardn5::Dbl;
using cph::N;

namespace {

constexpr uint32_t kFastStepPauseUS = 1466;  // stop mode non-zero: the approach to the sensor
constexpr uint32_t kSlowStepPauseUS = 9800;  // stop mode 0: the departure from the sensor
constexpr uint32_t kStepLowUS = 200;         // the driver takes a step on a low pulse this long
constexpr int32_t kEmulatedSearchResult = 7777;
constexpr double kPi = 3.14159265359;  // the value the calibration was defined with
constexpr double kStepsPerRadiusUnit = 200.0;
constexpr double kMaxFokusSteps = 100000.0;

// "%2.1f" of the widest double has 309 digits before the point; the text
// must never be cut, whatever the host passes.
constexpr size_t kFokusTextSize = 400;

// The head's lines share the EPU's output word with the EPU and the scanner drive.
int32_t SetLine(cph::OKOutput line, bool bOn) { return cardn5::UpdateOKOutputLine(line, bOn); }

// Neither a non-number nor an infinity is a circumference.
bool IsCircumference(double d) { return d > 0.0 && std::isfinite(d); }

void LogOutOfRange() {
  ERRLOG_WriteToLOGFile("Attention: this circumference is out of the possible range of the head \n");
  ERRLOG_WriteToLOGFile("Change die calibrated focus steps \n");
}

}  // namespace

// Calibration values and the table start at 0: with the calibrated steps
// at 0 SetFokus fails until the host calibrates.
CCPHCard::CCPHCard()
    : m_bEmulation(0),
      m_dCircumference1(0.0),
      m_dCircumference2(0.0),
      m_dwCalibFocusSteps(0),
      m_lEngravingPos(0),
      m_lHeadPos(0),
      m_bHeadPosValid(0),
      m_FokusTable() {}

CCPHCard::~CCPHCard() {}

int32_t CCPHCard::InitPowerOn() {
  m_lHeadPos = 0;
  m_bHeadPosValid = 0;
  return 1;
}

// ---- Lines ------------------------------------------------------------------

// The driver needs the direction stable for 1 ms before the next step; the
// pause runs whatever the emulation flag says.
void CCPHCard::SetDirection(uint32_t dwDirection) {
  SetLine(cph::OKOutput::kDirection, dwDirection == 1);
  TIMING_Delay(1);
}

int32_t CCPHCard::LenseStep() {
  if (m_bEmulation) return 1;
  SetLine(cph::OKOutput::kStep, false);
  TIMING_DelayUS(kStepLowUS);
  SetLine(cph::OKOutput::kStep, true);
  return 1;
}

int32_t CCPHCard::IsSensorActive() {
  if (m_bEmulation) return 1;
  const uint16_t wFinp = EPUN5_GetFINP();
  return (HWIO_Bit(wFinp, N(cph::Finp::kReferenceSensor)) & 0xFFFF) == 0 ? 1 : 0;
}

int32_t CCPHCard::SetShutter(uint32_t dwOpen) {
  ERRLOG_WriteToLOGFile("CCPHCard SetShutter(%u)\n", dwOpen);
  SetLine(cph::OKOutput::kShutter, dwOpen != 0);
  return 1;
}

// ---- Moves ------------------------------------------------------------------

// Stop mode non-zero: fast, until the sensor becomes active; stop mode 0:
// slow, until it is no longer active. The sensor is tested before every
// step, so a move whose stop condition holds already makes none.
int32_t CCPHCard::LenseMove(int32_t lSteps, uint32_t dwDirection, uint32_t dwStopMode) {
  ERRLOG_WriteToLOGFile("CPHCard LenseMove(%ld,%u,%u)\n", static_cast<long>(lSteps), dwDirection, dwStopMode);
  if (m_bEmulation == 1) return lSteps;
  SetDirection(dwDirection);
  if (lSteps <= 0) return lSteps;  // no step to make (and a bound of 0 would mean none)

  const bool bTowardsSensor = dwStopMode != 0;
  int32_t lMade = 0;
  const bool bStopped = cardn5::PollUntil(
      static_cast<uint32_t>(lSteps), [&] { return IsSensorActive() == (bTowardsSensor ? 1 : 0); },
      [&](uint32_t) {
        LenseStep();
        ++lMade;
        if (!m_bEmulation) TIMING_DelayUS(bTowardsSensor ? kFastStepPauseUS : kSlowStepPauseUS);
      });
  if (!bStopped) return lSteps;
  if (bTowardsSensor)
    ERRLOG_WriteToLOGFile("in CPHCard LenseMove() at %ld Steps Sensor reached\n", static_cast<long>(lMade));
  else
    ERRLOG_WriteToLOGFile("in CCPHCard LenseMove() at %ld Steps Sensor leaved\n", static_cast<long>(lMade));
  return lMade;
}

int32_t CCPHCard::ManualLenseMove(int32_t lSteps, uint32_t dwDirection, uint32_t dwStopMode) {
  m_lHeadPos = 0;
  m_bHeadPosValid = 0;
  return LenseMove(lSteps, dwDirection, dwStopMode);
}

// Fast onto the sensor, slowly off it again. The position is taken as
// found in every case: the result tells the caller whether it was.
int32_t CCPHCard::GotoRepeatPosition() {
  ERRLOG_WriteToLOGFile("in GotoRepeatPosition move to the reference sensor \n");
  const int32_t a = LenseMove(kSearchSteps, 0, 1);
  ERRLOG_WriteToLOGFile("in GotoRepeatPosition leave sensor \n");
  const int32_t b = LenseMove(kSearchSteps, 1, 0);
  ERRLOG_WriteToLOGFile("leaving ready \n\n");
  m_lHeadPos = 0;
  m_bHeadPosValid = 1;
  if (m_bEmulation) return kEmulatedSearchResult;
  return a > b ? a - b : 0;
}

int32_t CCPHCard::GotoEngravingPosition() {
  if (m_bEmulation) return 1;
  ERRLOG_WriteToLOGFile("GotoEngravingPosition\n");
  if (GotoRepeatPosition() >= kSearchSteps) {
    ERRLOG_WriteToLOGFile("Fail I in GotoEngravingPosition\n");
    CARDN5_RECORD_ERROR(ERR_CPH_POSITION);
    return 0;
  }
  ERRLOG_WriteToLOGFile("GotoEngravingPosition leave Sensor with %ld Steps \n", static_cast<long>(m_lEngravingPos));
  if (LenseMove(m_lEngravingPos, 1, 1) == m_lEngravingPos) {
    m_lHeadPos = m_lEngravingPos;
    return 1;
  }
  m_bHeadPosValid = 0;
  ERRLOG_WriteToLOGFile("Couldn't reach Engraving Position\n");
  CARDN5_RECORD_ERROR(ERR_CPH_POSITION);
  return 0;
}

// A fast move of |lDelta| steps, direction 1 when lDelta is positive; true
// when every step was made.
int32_t CCPHCard::MoveAll(int32_t lDelta) {
  const int32_t lSteps = lDelta < 0 ? -lDelta : lDelta;
  return LenseMove(lSteps, lDelta > 0 ? 1 : 0, 1) >= lSteps;
}

int32_t CCPHCard::FailDefokusMove() {
  ERRLOG_WriteToLOGFile("Error in CCPHCard::SetDefokusPosition()\n");
  m_bHeadPosValid = 0;
  CARDN5_RECORD_ERROR(ERR_CPH_POSITION);
  return 0;
}

// lDefokus counts from the engraving position towards the sensor. The last
// move always goes in direction 1, from up to 150 steps before the target.
int32_t CCPHCard::SetDefokusPosition(int32_t lDefokus) {
  ERRLOG_WriteToLOGFile("CPHCard SetDefokusPosition(%ld)\n", static_cast<long>(lDefokus));
  if (m_bHeadPosValid == 0) {
    if (GotoRepeatPosition() >= kSearchSteps) {
      ERRLOG_WriteToLOGFile("Fail I in SetDefokusPos\n");
      CARDN5_RECORD_ERROR(ERR_CPH_POSITION);
      return 0;
    }
    ERRLOG_WriteToLOGFile("in SetDefokusPos.() HeadPos. invalid -> new initialized\n");
  }

  // 64 bits: a negative defocus may take the target past the 32-bit range.
  const int64_t llTarget = static_cast<int64_t>(m_lEngravingPos) - lDefokus;
  if (llTarget < 0) {
    ERRLOG_WriteToLOGFile("wanted focus behind the sensor position \n");
    CARDN5_RECORD_ERROR(ERR_CPH_DEFOCUS);
    return 0;
  }
  if (llTarget > INT32_MAX) {
    ERRLOG_WriteToLOGFile("wanted focus beyond the head's travel \n");
    CARDN5_RECORD_ERROR(ERR_CPH_DEFOCUS);
    return 0;
  }
  // Target, compensation point and head position all lie in 0..INT32_MAX
  // now, so every difference below fits 32 bits.
  const int32_t lTarget = static_cast<int32_t>(llTarget);
  const int32_t lCompensation = lTarget > kSpielausgleich ? lTarget - kSpielausgleich : 0;
  ERRLOG_WriteToLOGFile("act: %ld  wanted  %ld \n", static_cast<long>(m_lHeadPos), static_cast<long>(lTarget));

  const int32_t lToCompensation = lCompensation - m_lHeadPos;
  ERRLOG_WriteToLOGFile("move to the compensation (spielausgleich) position with %ld steps \n",
                        static_cast<long>(lToCompensation));
  if (!MoveAll(lToCompensation)) return FailDefokusMove();
  m_lHeadPos = lCompensation;

  const int32_t lToTarget = lTarget - lCompensation;
  ERRLOG_WriteToLOGFile("move to Defokusposition with %ld steps \n", static_cast<long>(lToTarget));
  if (!MoveAll(lToTarget)) return FailDefokusMove();
  m_lHeadPos = lTarget;
  return 1;
}

// ---- Calibration and focus ----------------------------------------------------

// The engraving position moves by 200 steps per unit of radius between the
// calibrated circumference and the one to engrave.
int32_t CCPHCard::SetKalibrationParameter(double dCircumference1, double dCircumference2, uint32_t dwCalibFocusSteps) {
  ERRLOG_WriteToLOGFile("CPHCard::SetKalibrationParameter()\n");
  m_dCircumference1 = dCircumference1;
  m_dCircumference2 = dCircumference2;
  m_dwCalibFocusSteps = dwCalibFocusSteps;
  if (!IsCircumference(dCircumference1) || !IsCircumference(dCircumference2)) {
    CARDN5_RECORD_ERROR(ERR_CPH_CALIBRATION);
    return 0;
  }

  const double dRadiusSteps = Dbl(Dbl(Dbl(Dbl(dCircumference2 - dCircumference1) * 0.5) / kPi) * kStepsPerRadiusUnit);
  double e = Dbl(dRadiusSteps + static_cast<double>(dwCalibFocusSteps));
  if (e < 0.0) {
    LogOutOfRange();
    CARDN5_RECORD_ERROR(ERR_CPH_CALIBRATION);
    e = 0.0;
  }
  // Beyond any travel a step count can hold: the previous position stays.
  if (e > static_cast<double>(INT32_MAX)) {
    LogOutOfRange();
    CARDN5_RECORD_ERROR(ERR_CPH_CALIBRATION);
    return 0;
  }
  m_lEngravingPos = cardn5::Trunc(e);
  return 1;
}

int32_t CCPHCard::SetFokus(double dMicrometres) {
  ERRLOG_WriteToLOGFile("CCPHard SetFokus \n");
  char szText[kFokusTextSize];
  std::snprintf(szText, sizeof szText, "Fokus: %2.1f um\n", dMicrometres);
  ERRLOG_WriteToLOGFile("%s", szText);
  if (m_dwCalibFocusSteps == 0) {
    CARDN5_RECORD_ERROR(ERR_CPH_CALIBRATION);
    return 0;
  }
  // Neither a non-number nor what a table interpolates from one says where
  // the lens should go.
  double s = std::isnan(dMicrometres) ? dMicrometres
                                      : HWIO_GetLinearInterpoliertenWert(m_FokusTable.adX, m_FokusTable.adY,
                                                                         m_FokusTable.wCount, dMicrometres);
  if (std::isnan(s)) {
    ERRLOG_WriteToLOGFile("CCPHCard SetFokus: not a number -> lens not moved\n");
    CARDN5_RECORD_ERROR(ERR_CPH_CALIBRATION);
    return 0;
  }
  if (s < 0.0) s = 0.0;
  if (s > kMaxFokusSteps) s = kMaxFokusSteps;
  return SetDefokusPosition(cardn5::Trunc(s));
}

// The export returns nothing, so every refusal is logged.
void CCPHCard::SetFokusTable(const double* pdValues, const double* pdSteps, uint32_t dwCount) {
  uint16_t wCount = static_cast<uint16_t>(dwCount);
  if (wCount != 0 && (pdValues == nullptr || pdSteps == nullptr)) {
    ERRLOG_WriteToLOGFile("CCPHCard SetFokusTable: no table (null pointer) -> previous table kept\n");
    return;
  }
  if (wCount > kMaxFokusEntries) {
    ERRLOG_WriteToLOGFile("CCPHCard SetFokusTable: %u entries, only the first 30 used\n",
                          static_cast<unsigned>(wCount));
    wCount = kMaxFokusEntries;
  }
  if (wCount != 0) {
    for (uint16_t i = 0; i < wCount; ++i) {
      m_FokusTable.adX[i] = pdValues[i];
      m_FokusTable.adY[i] = pdSteps[i];
    }
    m_FokusTable.wCount = wCount;
  }
  m_FokusTable.bLoaded = 1;
}

// DCA board: inputs read with one port read each, voltages written as
// clamped codes, a stepper with its direction pauses, the light barrier and
// one power-on sequence on the indexed registers.
#include "CDCA.h"

#include "convert.h"
#include "errlog32.h"
#include "fail.h"
#include "hwio32.h"
#include "timing32.h"

using cardn5::Dbl;
using cardn5::Trunc;

// ---- Registers ------------------------------------------------------------

TypedRegister<dca::Status> g_DCAStatus(dca::kStatusPort);            // read: switches, sensors, ink, barrier
TypedRegister<dca::FocusStatus> g_DCAFocusStatus(dca::kStatusPort);  // read: LE focus status
TypedRegister<dca::LaserDiode> g_DCALaserDiode(dca::kStatusPort);    // written: laser diode
PlainRegister g_DCALEFocus(dca::kLEFocusPort);                       // written: LE focus code, low byte
TypedRegister<dca::FETTemp> g_DCAFETTemp(dca::kLEFocusPort);         // read: FET temperature
PlainRegister g_DCAVoltage(dca::kVoltagePort);                       // written: LENZE low byte, LDK high byte
PlainRegister g_DCAFETSpeed(dca::kFETSpeedPort);                     // written: FET speed code, high byte
PlainRegister g_DCASensitivity(dca::kSensitivityPort);               // written: both sensitivity levels
TypedRegister<dca::Control> g_DCAControl(dca::kControlPort);         // written: direction, barrier / speed
TypedRegister<dca::Step> g_DCAStep(dca::kStepPort);                  // written: step, barrier reset
PlainRegister g_DCAIndex(dca::kIndexPort);                           // written: index of an indexed register
PlainRegister g_DCAData(dca::kDataPort);                             // written: value for that index

namespace {

// The set-up words the board takes at power-on, each followed by a pause.
constexpr uint16_t kSetupWords[] = {0x0401, 0x09AA, 0x0A6A, 0x0B55, 0x0CA5, 0x0DAA, 0x0EAA, 0x0FAA, 0x4A1E};

// The converters take 0 to 10 V; a value that compares with nothing (NaN)
// becomes 0 V like any value at or below 0.
double ClampVolts(double dVolts) {
  if (dVolts >= dca::kMaxVolts) return dca::kMaxVolts;
  if (!(dVolts > 0.0)) return 0.0;
  return dVolts;
}

uint16_t Code8(double dClamped) { return static_cast<uint16_t>(Trunc(Dbl(dClamped * dca::kCode8PerVolt))); }
uint16_t Code12(double dClamped) { return static_cast<uint16_t>(Trunc(Dbl(dClamped * dca::kCode12PerVolt))); }

void Index(uint16_t wIndex) { g_DCAIndex.Write(wIndex); }
void Value(uint16_t wValue) { g_DCAData.Write(wValue); }

// Inputs that read 0 when active.
int32_t ActiveLow(dca::Status bit) { return g_DCAStatus.ReadBit(bit) == 0 ? 1 : 0; }

}  // namespace

// ---- Object ----------------------------------------------------------------

CDCACard::CDCACard() : m_bEmulation(0) {}

CDCACard::~CDCACard() {}

int32_t CDCACard::InitPowerOn() {
  // 1. Reset word through the LENZE selector.
  Index(dca::kSelectorIndex);
  Value(dca::kSelectLENZE);
  Index(dca::kDataIndex);
  Value(dca::kResetWord);
  TIMING_DelayUS(dca::kDataWordUs);
  // 2. Select the set-up words.
  Index(dca::kSelectorIndex);
  Value(dca::kSelectSetup);
  Index(dca::kDataIndex);
  // 3. The set-up words, one pause each.
  for (uint16_t wWord : kSetupWords) {
    Value(wWord);
    TIMING_DelayUS(dca::kDataWordUs);
  }
  return 1;
}

// ---- Inputs -----------------------------------------------------------------

int32_t CDCACard::TestLeftSensor() { return ActiveLow(dca::Status::kLeftSensor); }
int32_t CDCACard::TestRightSensor() { return ActiveLow(dca::Status::kRightSensor); }
int32_t CDCACard::TestLeftSchalter() { return ActiveLow(dca::Status::kLeftSchalter); }
int32_t CDCACard::TestRightSchalter() { return ActiveLow(dca::Status::kRightSchalter); }

int32_t CDCACard::TestLEFokstat() { return g_DCAFocusStatus.ReadBit(dca::FocusStatus::kLEFokstat); }

int32_t CDCACard::TestFETTemperature() { return g_DCAFETTemp.ReadBit(dca::FETTemp::kOverheated) == 0 ? 1 : 0; }

int32_t CDCACard::EnoughInk() {
  if (ActiveLow(dca::Status::kInkLow)) return 1;
  CARDN5_RECORD_ERROR(ERR_DCA_INK);
  return 0;
}

int32_t CDCACard::HeadReady() {
  if (m_bEmulation == 1) return 1;
  return g_DCAStatus.ReadBit(dca::Status::kHeadReady);
}

int32_t CDCACard::MoveToEngPosPossible() {
  if (m_bEmulation == 1) return 1;
  return g_DCAStatus.ReadBit(dca::Status::kLightBarrier);
}

// ---- Voltages ---------------------------------------------------------------

int32_t CDCACard::SetLEFokusspannung(double dVolts) {
  const uint16_t wCode = Code8(ClampVolts(dVolts));
  g_DCALEFocus.SetValue(static_cast<uint16_t>((g_DCALEFocus.GetValue() & 0xFF00) | wCode));
  return g_DCALEFocus.Out();
}

int32_t CDCACard::SetLDKFokusspannung(double dVolts) {
  const double dClamped = ClampVolts(dVolts);
  ERRLOG_WriteToLOGFile("CDCACard::SetLDKFokusspannung %2.2lf V \n", dClamped);
  g_DCAVoltage.SetValue(static_cast<uint16_t>((Code8(dClamped) << 8) | (g_DCAVoltage.GetValue() & 0x00FF)));
  return g_DCAVoltage.Out();
}

void CDCACard::SetLENZESpeedVoltage(double dVolts) {
  if (m_bEmulation == 1) return;
  // 1. Clamp.
  const double dClamped = ClampVolts(dVolts);
  // 2. The 8-bit code beside the LDK focus code.
  g_DCAVoltage.SetValue(static_cast<uint16_t>((g_DCAVoltage.GetValue() & 0xFF00) | Code8(dClamped)));
  g_DCAVoltage.Out();
  // 3. The 12-bit code through the LENZE selector.
  Index(dca::kSelectorIndex);
  Value(dca::kSelectLENZE);
  Index(dca::kDataIndex);
  Value(Code12(dClamped));
  // 4. Time for the board to take it.
  TIMING_DelayUS(dca::kDataWordUs);
}

void CDCACard::SetFETSpeedVoltage(double dVolts) {
  if (m_bEmulation == 1) return;
  const uint16_t wCode = Code8(ClampVolts(dVolts));
  g_DCAFETSpeed.SetValue(static_cast<uint16_t>((wCode << 8) | (g_DCAFETSpeed.GetValue() & 0x00FF)));
  g_DCAFETSpeed.Out();
}

// Not clamped: the code's low bits are what the board gets, whatever the
// value (Trunc makes NaN and infinities a defined 0 in the low 16 bits).
int32_t CDCACard::Set2LevelSensitivity(double dValue, int32_t bLevel2) {
  const int32_t nCode = Trunc(Dbl(dValue * dca::kSensitivityFactor));
  // Hosts pass a BOOL of which only the low byte counts.
  if ((bLevel2 & 0xFF) == 0)
    g_DCASensitivity.SetValue(static_cast<uint16_t>(nCode));
  else
    g_DCASensitivity.SetValue(static_cast<uint16_t>((nCode & 0xFF) << 8));
  return g_DCASensitivity.Out();
}

// ---- Stepper and laser diode --------------------------------------------------

void CDCACard::SetSMDirection(int32_t nDirection) {
  g_DCAControl.Update(dca::Control::kDirection, nDirection != 0);
  if (m_bEmulation != 0) return;
  // The motor must stand still for a while on both sides of a direction change.
  TIMING_Delay(1);
  g_DCAControl.Out();
  TIMING_Delay(1);
}

int32_t CDCACard::SetSMSpeed(int32_t nSpeed) {
  g_DCAControl.Update(dca::Control::kSpeedZero, nSpeed == 0);
  return g_DCAControl.Out();
}

// The port keeps bit 0 set until its next write; only the shadow is cleared,
// so that the next write of this port (a reset pulse) does not step.
int32_t CDCACard::OneSMStep() {
  g_DCAStep.SetBit(dca::Step::kStep);
  g_DCAStep.Out();
  return g_DCAStep.ResetBit(dca::Step::kStep);
}

uint16_t CDCACard::GetSMStepAdresse() { return g_DCAStep.GetPort(); }

int32_t CDCACard::TurnLaserdiodeOn(int32_t bOn) {
  g_DCALaserDiode.Update(dca::LaserDiode::kOn, bOn != 0);
  return g_DCALaserDiode.Out();
}

// ---- Light barrier ------------------------------------------------------------

int32_t CDCACard::LichtschrankeEin() {
  g_DCAControl.ResetBit(dca::Control::kLightBarrierOff);
  g_DCAControl.Out();
  // The barrier needs this long before it reports anything meaningful.
  return TIMING_Delay(3);
}

int32_t CDCACard::LichtschrankeAus() {
  g_DCAControl.SetBit(dca::Control::kLightBarrierOff);
  return g_DCAControl.Out();
}

// Two high pulses, ending low, without pauses; the latch is clear 200 us
// after the last one.
int32_t CDCACard::LichtschrankeReset() {
  g_DCAStep.ResetBit(dca::Step::kLightBarrierReset);
  g_DCAStep.Out();
  for (int nPulse = 0; nPulse < 2; ++nPulse) {
    g_DCAStep.SetBit(dca::Step::kLightBarrierReset);
    g_DCAStep.Out();
    g_DCAStep.ResetBit(dca::Step::kLightBarrierReset);
    g_DCAStep.Out();
  }
  return TIMING_DelayUS(200);
}

int32_t CDCACard::LichtschrankeAbfragen() {
  if (m_bEmulation != 0) return 1;
  if (g_DCAStatus.ReadBit(dca::Status::kLightBarrier) == 0) return 1;
  ERRLOG_WriteToLOGFile("CDCACard::LichtschrankeAbfragen() Light barrier interrupted \n");
  return 0;
}

// DCA board: sensors, switches, voltages, stepper and light barrier.
#ifndef CARDN5_CDCA_H
#define CARDN5_CDCA_H

#include <stdint.h>

#include "dca_regs.h"
#include "typed_register.h"

class CDCACard {
 public:
  CDCACard();
  virtual ~CDCACard();

  int32_t InitPowerOn();

  // Inputs
  int32_t TestLeftSensor();
  int32_t TestRightSensor();
  int32_t TestLeftSchalter();
  int32_t TestRightSchalter();
  int32_t TestLEFokstat();
  int32_t TestFETTemperature();
  int32_t EnoughInk();
  int32_t HeadReady();
  int32_t MoveToEngPosPossible();

  // Voltages
  int32_t SetLEFokusspannung(double dVolts);
  int32_t SetLDKFokusspannung(double dVolts);
  void SetLENZESpeedVoltage(double dVolts);
  void SetFETSpeedVoltage(double dVolts);
  int32_t Set2LevelSensitivity(double dValue, int32_t bLevel2);

  // Stepper and laser diode
  void SetSMDirection(int32_t nDirection);
  int32_t SetSMSpeed(int32_t nSpeed);
  int32_t OneSMStep();
  uint16_t GetSMStepAdresse();
  int32_t TurnLaserdiodeOn(int32_t bOn);

  // Light barrier
  int32_t LichtschrankeEin();
  int32_t LichtschrankeAus();
  int32_t LichtschrankeReset();
  int32_t LichtschrankeAbfragen();

  int32_t m_bEmulation;
};

// The board's registers (CDCA.cpp).
extern TypedRegister<dca::Status> g_DCAStatus;
extern TypedRegister<dca::FocusStatus> g_DCAFocusStatus;
extern TypedRegister<dca::LaserDiode> g_DCALaserDiode;
extern PlainRegister g_DCALEFocus;
extern TypedRegister<dca::FETTemp> g_DCAFETTemp;
extern PlainRegister g_DCAVoltage;
extern PlainRegister g_DCAFETSpeed;
extern PlainRegister g_DCASensitivity;
extern TypedRegister<dca::Control> g_DCAControl;
extern TypedRegister<dca::Step> g_DCAStep;
extern PlainRegister g_DCAIndex;
extern PlainRegister g_DCAData;

#endif

// Scanner drive board (lines through the EPU's output word and FINP input,
// voltage through the DCA's LDK focus voltage).
#ifndef CARDN5_SDU_H
#define CARDN5_SDU_H

#include <stdint.h>

#include "CCPH.h"
#include "sdu_regs.h"

class CSDUCard {
 public:
  CSDUCard();
  virtual ~CSDUCard();

  int32_t InitPowerOn();

  // Focus tables and focus values
  void SetXenonScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
  void SetLDScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
  void SetLDPlotfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
  int32_t SetXenonScanfokus(double dFokus, double dOffset);
  int32_t SetLDScanfokus(double dFokus, double dOffset);
  int32_t SetLDPlotfokus(double dFokus, double dOffset);
  int32_t SetLinearspannung(double dVolts);

  // Optic
  int32_t SetOpticPosition(uint32_t dwPosition);
  int32_t SwitchChopperCurrent(int32_t bOn);
  int32_t MoveOptic(uint16_t wSteps, int32_t nDirection, int32_t bWatchSensor);
  int32_t OpticStep();
  void SetDirection(int32_t nDirection);
  int32_t IsEndSensorActive();

  int32_t m_bEmulation;
  uint32_t m_dwOpticPos;
  int32_t m_bOpticReferenced;
  FOKUS_TABLE m_XenonScanfokusTable;
  FOKUS_TABLE m_LDScanfokusTable;
  FOKUS_TABLE m_LDPlotfokusTable;

 private:
  void SetFokusTable(FOKUS_TABLE& table, const char* pszName, const double* pdX, const double* pdY, uint32_t dwCount);
  int32_t SetLDFokus(const FOKUS_TABLE& table, double dFokus, double dOffset);
};

#endif

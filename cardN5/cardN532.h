/* CARDN532: driver layer for the drum engraving and scanning machine's PC
 * boards. The one header a host needs; it compiles as C and as C++.
 *
 * Every export is __stdcall on 32-bit Windows (CARDN5_API). Results are
 * 32-bit; booleans are 1 (success) or 0. Create the board objects first
 * (CARDN5_CreateCardObjects); board exports called before that return 0
 * and touch nothing. */
#ifndef CARDN532_H
#define CARDN532_H

#include <stdint.h>

#if defined(_WIN32)
#define CARDN5_CALL __stdcall
#elif defined(__i386__)
#define CARDN5_CALL __attribute__((stdcall))
#else
#define CARDN5_CALL
#endif

#if defined(CARDN5_BUILDING_LIBRARY) && !defined(_WIN32)
#define CARDN5_IMPORT __attribute__((visibility("default")))
#else
#define CARDN5_IMPORT
#endif

#ifdef __cplusplus
#define CARDN5_API extern "C" CARDN5_IMPORT
#else
#define CARDN5_API extern CARDN5_IMPORT
#endif

/* ---- Records ---------------------------------------------------------- */

/* Job record of EPUN5_GravurVorbereiten, 48 bytes, passed by value. */
typedef struct EPU_GRAVUR_PARAMS {
  uint16_t wRandomOffset;    /* 0: fixed start offset; 1: random, start position 0 */
  uint16_t wLLCode;          /* 0: PX code rows, else LL code rows */
  uint16_t wSMAuto;          /* non-zero: the board advances the stepper */
  uint16_t wFlag7;           /* non-zero sets control bit 7 */
  uint32_t dwPulsesPerRow;   /* pulses per row */
  uint32_t wRowLength;       /* row length; low 16 bits used */
  double dPulseNumerator;    /* laser pulse ratio numerator (offset 16) */
  double dPulseDenominator;  /* laser pulse ratio denominator (offset 24) */
  uint32_t w9B00Value;       /* low 16 bits used */
  uint32_t wStartposY;       /* start position; low 16 bits used */
  uint8_t abHostReserved[8]; /* the host's own; not read */
} EPU_GRAVUR_PARAMS;

/* Card identity of the memory buffer board. */
typedef struct MBU_CARD_INFO {
  uint32_t dwJumperID;
  uint32_t dwPossiblePixels;
  uint32_t dwAdvanceType; /* 0 standard, 2 TRIM */
} MBU_CARD_INFO;

/* Block record of the memory buffer board, 52 bytes on 32-bit Windows. */
typedef struct MBU_BLOCK_INFO {
  uint32_t dwReserved1;
  uint16_t* pwData;
  uint32_t dwPixelX;
  uint32_t dwPixelY;
  uint32_t dwByteCount;
  uint32_t dwSteps;
  uint32_t dwReserved7;
  uint32_t dwReserved8;
  uint32_t dwZeroVerschPixel;
  uint32_t dwPlotHeightPixel;
  uint32_t dwAdvanceMode;
  uint32_t dwReserved12;
  uint32_t dwCountFromPixels;
} MBU_BLOCK_INFO;

/* The host's stepper function for EPUN5_DoOneRow: (steps, 1, 0), returns
 * non-zero on success; the callee removes its arguments (CARDN5_CALL). */
typedef int32_t(CARDN5_CALL* PFN_SMMOVE)(uint32_t dwSteps, uint32_t dwOne, uint32_t dwZero);

/* ---- Frame ------------------------------------------------------------ */

CARDN5_API int32_t CARDN5_CALL CARDN5_CreateCardObjects(void);
CARDN5_API void CARDN5_CALL CARDN5_DeleteCardObjects(void);
CARDN5_API int32_t CARDN5_CALL CARDN5_SetEmulation(int32_t bEmulation);
CARDN5_API uint16_t CARDN5_CALL CARDN5_PortIn(uint32_t dwPort);
CARDN5_API int32_t CARDN5_CALL CARDN5_PortOut(uint32_t dwPort, uint32_t dwValue);

/* ---- EPU and IPG ------------------------------------------------------ */

/* Engraving processor board: power-on, job preparation, rows. */
CARDN5_API int32_t CARDN5_CALL EPUN5_InitPowerOn(int32_t bEcoDutyCycle);
CARDN5_API int32_t CARDN5_CALL EPUN5_GravurVorbereiten(EPU_GRAVUR_PARAMS params);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSWShutterOpen(int32_t bOpen);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetEcoDutyCycle(double dDutyPercent);
CARDN5_API void CARDN5_CALL EPUN5_SetFirstRow(void);
/* wRowMode 0: one row; 1, 2: cylindrical then spiral pass; 3: stepper move
 * only. The code arguments go to the port-I/O library as they are. */
CARDN5_API int32_t CARDN5_CALL EPUN5_DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode,
                                              uint32_t wSteps, uint32_t wRowShift, PFN_SMMOVE pfnSmMove);
/* May run on a second thread while EPUN5_DoOneRow runs. */
CARDN5_API int32_t CARDN5_CALL EPUN5_WaitForTurnOffPossible(void);

/* Auxiliary controls. */
CARDN5_API void CARDN5_CALL EPUN5_SetSMDirection(int32_t bDirection);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMSpeed(int32_t bSelector);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMAutoMan(int32_t bAutomatic);
CARDN5_API int32_t CARDN5_CALL EPUN5_OneSMStep(void);
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetSMStepAdresse(void);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC0(double dVolts);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC1(double dVolts);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetOKOutput(uint32_t dwWord);
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetOKOutput(void);
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetFINP(void);
CARDN5_API int32_t CARDN5_CALL EPUN5_TurnLaserdiodeOn(int32_t bOn);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetLaserpulsExplizit(int32_t bOn);
CARDN5_API int32_t CARDN5_CALL EPUN5_SetErrorLED(int32_t nValue); /* only 1 switches it on */
CARDN5_API int32_t CARDN5_CALL EPUN5_IsPLLInRange(void);
CARDN5_API int32_t CARDN5_CALL EPUN5_TestEncoder(void);
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetEncoderPulses(void);
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetIPGPulses(void);

/* Pulse generator: dwPulses in each period of 640,000 clock counts; 0 is
 * refused (result 0, board unchanged). */
CARDN5_API int32_t CARDN5_CALL IPGN5_InitPowerOn(void);
CARDN5_API int32_t CARDN5_CALL IPGN5_SetIPGPulses(uint32_t dwPulses);

/* ---- IOD -------------------------------------------------------------- */

/* Link to the machine controller (MCM). IODN5_ speaks the older protocol,
 * IODN6_ the newer one. A command is a zero-terminated text of at most 250
 * characters; a longer one is refused before a byte is sent (and retried,
 * so the repeating exports fail after their five attempts). An answer
 * buffer must hold 249 bytes: up to 248 characters and the terminating
 * zero. A null answer buffer fails at once (0, error 2143) without touching
 * the link; so does a null command (error 2142 for sending, 2143 for
 * exchanges), except while the board is emulated: the command is not looked
 * at then, sending returns 1 and an exchange answers "Emulation". */
CARDN5_API int32_t CARDN5_CALL IODN5_InitPowerOn(void); /* always 1, no port touched */
CARDN5_API int32_t CARDN5_CALL IODN5_RepSendTxt(const char* pszCommand);
CARDN5_API int32_t CARDN5_CALL IODN5_RepReceiveTxt(const char* pszCommand, char* pszAnswer);
CARDN5_API int32_t CARDN5_CALL IODN6_RepSendTxt(const char* pszCommand);
/* While one call runs, a second returns 1 at once and leaves its buffer alone. */
CARDN5_API int32_t CARDN5_CALL IODN6_RepReceiveTxt(const char* pszCommand, char* pszAnswer);
CARDN5_API int32_t CARDN5_CALL IODN6_SingleReceiveTxt(const char* pszCommand, char* pszAnswer);

/* Status inputs of the machine, read on the IOD port. */
CARDN5_API int32_t CARDN5_CALL IODN5_TestRapportStand(void);
CARDN5_API int32_t CARDN5_CALL IODN5_TestDeviceReady(void);
CARDN5_API int32_t CARDN5_CALL IODN5_TestRechtesRadHinten(void);
CARDN5_API int32_t CARDN5_CALL IODN5_IsXenonOn(void);

/* ---- DCA -------------------------------------------------------------- */

/* Machine signals on the DCA board. Voltages are clamped to 0 to 10 V (NaN
 * counts as 0) and written as codes of 25.5 a volt (LENZE also 409.5 a
 * volt, 12 bits). "Emulated (= 1)" below: only the emulation flag 1 counts;
 * "emulated": any non-zero flag. */
CARDN5_API int32_t CARDN5_CALL DCAN5_InitPowerOn(void);                 /* indexed set-up words; always 1 */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLeftSensor(void);              /* 1: status bit 11 reads 0 */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestRightSensor(void);             /* 1: status bit 12 reads 0 */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLeftSchalter(void);            /* 1: status bit 1 reads 0 */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestRightSchalter(void);           /* 1: status bit 2 reads 0 */
CARDN5_API int32_t CARDN5_CALL DCAN5_SetLEFokusspannung(double dVolts); /* the write's result */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLEFokstat(void);               /* status bit 9 */
/* Also the scanner drive's linear voltage (SDUN5_SetLinearspannung); logged. */
CARDN5_API int32_t CARDN5_CALL DCAN5_SetLDKFokusspannung(double dVolts);
/* Pauses 1 ms before and after the write; emulated: no write, no pause. */
CARDN5_API void CARDN5_CALL DCAN5_SetSMDirection(int32_t nDirection);
/* nSpeed 0 sets control bit 4, which also switches the light barrier off. */
CARDN5_API int32_t CARDN5_CALL DCAN5_SetSMSpeed(int32_t nSpeed);
/* One step; the port keeps the step bit until its next write. Returns the
 * port library's result of clearing the bit in the shadow. */
CARDN5_API int32_t CARDN5_CALL DCAN5_OneSMStep(void);
CARDN5_API uint16_t CARDN5_CALL DCAN5_GetSMStepAdresse(void);          /* 0x5700: each write with bit 0 set steps */
CARDN5_API void CARDN5_CALL DCAN5_SetLENZESpeedVoltage(double dVolts); /* emulated (= 1): nothing */
CARDN5_API void CARDN5_CALL DCAN5_SetFETSpeedVoltage(double dVolts);   /* emulated (= 1): nothing */
CARDN5_API int32_t CARDN5_CALL DCAN5_TestFETTemperature(void);         /* 1: temperature in order */
CARDN5_API int32_t CARDN5_CALL DCAN5_TurnLaserdiodeOn(int32_t bOn);
/* Code = value x 2.55, not clamped (low bits kept). bLevel2's low byte 0:
 * level 1 gets the whole code; else level 2 gets its low byte. Either way
 * the other level's byte is written as 0. */
CARDN5_API int32_t CARDN5_CALL DCAN5_Set2LevelSensitivity(double dValue, int32_t bLevel2);
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeEin(void);      /* 3 ms to settle; the pause's result */
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeAus(void);      /* same bit as SetSMSpeed(0) */
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeReset(void);    /* two pulses, 200 us; the pause's result */
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeAbfragen(void); /* 1: not interrupted; emulated: 1 */
CARDN5_API int32_t CARDN5_CALL DCAN5_EnoughInk(void);             /* 0: error 4503 recorded */
CARDN5_API int32_t CARDN5_CALL DCAN5_HeadReady(void);             /* status bit 3; emulated (= 1): 1 */
CARDN5_API int32_t CARDN5_CALL DCAN5_MoveToEngPosPossible(void);  /* status bit 13; emulated (= 1): 1 */

/* ---- SDU -------------------------------------------------------------- */

/* Scanner optics drive. It has no ports: it changes only its own bits of
 * the EPU output word (bit 2 direction, shared with the focusing head; bit 3
 * step, which is also EPUN5_SetSMSpeed's bit; bit 5 chopper current, active
 * low) and reads FINP bit 3 (end sensor, active low). Emulated: the end
 * sensor reads active and the step pauses are skipped. */
CARDN5_API int32_t CARDN5_CALL SDUN5_InitPowerOn(void); /* 1; touches nothing */
/* Count's low 16 bits: 0 keeps the previous pairs; above 30 the first 30
 * are taken (logged); null arrays are refused (logged), the table kept. */
CARDN5_API void CARDN5_CALL SDUN5_SetXenonScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
CARDN5_API void CARDN5_CALL SDUN5_SetLDScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
CARDN5_API void CARDN5_CALL SDUN5_SetLDPlotfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
/* Linear voltage 10 V - offset (offset limited to 0 to 10 V), then the optic
 * to the table's position, limited to 0 to 1924 steps (NaN: 0). Returns 1. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetXenonScanfokus(double dFokus, double dOffset);
/* Linear voltage = table value - offset; the DCA clamps it. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDScanfokus(double dFokus, double dOffset);
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDPlotfokus(double dFokus, double dOffset);
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLinearspannung(double dVolts); /* logged, then DCAN5_SetLDKFokusspannung */
/* To the end sensor (at most 1924 steps), then the low 16 bits of dwPosition
 * steps out (at most 32767, logged); about 3.3 ms a step. Returns 1. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetOpticPosition(uint32_t dwPosition);
CARDN5_API int32_t CARDN5_CALL SDUN5_SwitchChopperCurrent(int32_t bOn); /* off: optic no longer referenced */

#endif

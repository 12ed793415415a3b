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

/* ---- CSE -------------------------------------------------------------- */

/* Colour scanner electronics. Every configuring call (scan mode, both
 * alignments, linework, SW status) starts the board's scan sequence, changes
 * its settings and stops it again; a busy line that never clears or an
 * acknowledge that never comes ends its wait after its bound (exactly that
 * many reads) and the call carries on: these calls return 1 whatever the
 * board did. */
CARDN5_API int32_t CARDN5_CALL CSEN5_InitPowerOn(void);
/* Scan mode 0 to 3, light source 0 or 1, separator type 0 or 1 (low 16 bits
 * each); an illegal value is logged and leaves its part unchanged. */
CARDN5_API int32_t CARDN5_CALL CSEN5_SetScanmode(uint32_t wScanmode, uint32_t wLightsource, uint32_t wSeparatortype);
/* Red in bits 0-7, green 8-15, blue 16-23. While emulated: the last real
 * reading (0 if none). A null address is refused: 0, a log line, no port
 * touched. */
CARDN5_API int32_t CARDN5_CALL CSEN5_GetRGBValue(uint32_t* pdwRGB);
/* Black alignment of the offsets; bPreset 1 first sets every gain to 100.
 * A colour that never reaches its target keeps 255 and logs nothing. */
CARDN5_API int32_t CARDN5_CALL CSEN5_DoSchwarzAbgleich(int32_t bPreset);
/* White alignment of the gains, red, green, blue; likewise. */
CARDN5_API int32_t CARDN5_CALL CSEN5_DoWeissAbgleich(void);
CARDN5_API int32_t CARDN5_CALL CSEN5_StartScanSequence(void); /* after CSEN5_SetScanmode */
CARDN5_API int32_t CARDN5_CALL CSEN5_StopScanSequence(void);
/* One row through the port library's polled row read, between
 * CSEN5_StartScanSequence and CSEN5_StopScanSequence: its result, or 1 for
 * a count of 0 (nothing done) or an illegal scan mode (no row read). Scan
 * mode 0 counts whole groups of 16 pixels. A pause flag other than 0 adds
 * 1 ms after the row. Before any CSEN5_SetScanmode a row is refused: 0, a
 * log line, no port touched. */
CARDN5_API int32_t CARDN5_CALL CSEN5_ScanOneRow(uint32_t dwFirst, uint32_t dwCount, uint32_t dwPause, uint32_t dwFourth,
                                                uint32_t dwFifth);
/* Start (non-zero) or stop the xenon lamp: a 200 ms pulse. */
CARDN5_API int32_t CARDN5_CALL CSEN5_TurnXenonOn(int32_t bOn);
/* These three answer without the board only for emulation flag 1 (lamp on,
 * no colour selected, alignment valid); flag 2 reads the ports. */
CARDN5_API int32_t CARDN5_CALL CSEN5_IsXenonOn(void);
CARDN5_API int32_t CARDN5_CALL CSEN5_GetColorselect(void);
CARDN5_API int32_t CARDN5_CALL CSEN5_GetBWAlignementValid(void);
CARDN5_API int32_t CARDN5_CALL CSEN5_GetDeviceReady(void); /* reads the board, emulated or not */
CARDN5_API int32_t CARDN5_CALL CSEN5_SetLinework(int32_t bOn);
CARDN5_API int32_t CARDN5_CALL CSEN5_SetSWStatus(uint32_t wStatus); /* 0 to 3; others change no line */

#endif

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

/* The records' layout is the 32-bit Windows one, checked here once for every
 * 32-bit build (the doubles sit on 8-byte offsets, so Linux -m32 agrees). */
#if (defined(_WIN32) && !defined(_WIN64)) || defined(__i386__)
#include <stddef.h>
#ifdef __cplusplus
#define CARDN5_LAYOUT(name, cond) static_assert(cond, "record layout: " #name)
#else
#define CARDN5_LAYOUT(name, cond) typedef char cardn5_layout_##name[(cond) ? 1 : -1]
#endif
CARDN5_LAYOUT(epu_size, sizeof(EPU_GRAVUR_PARAMS) == 48);
CARDN5_LAYOUT(epu_flags, offsetof(EPU_GRAVUR_PARAMS, wLLCode) == 2 && offsetof(EPU_GRAVUR_PARAMS, wSMAuto) == 4 &&
                             offsetof(EPU_GRAVUR_PARAMS, wFlag7) == 6);
CARDN5_LAYOUT(epu_pulses,
              offsetof(EPU_GRAVUR_PARAMS, dwPulsesPerRow) == 8 && offsetof(EPU_GRAVUR_PARAMS, wRowLength) == 12);
CARDN5_LAYOUT(epu_ratio, offsetof(EPU_GRAVUR_PARAMS, dPulseNumerator) == 16 &&
                             offsetof(EPU_GRAVUR_PARAMS, dPulseDenominator) == 24);
CARDN5_LAYOUT(epu_tail, offsetof(EPU_GRAVUR_PARAMS, w9B00Value) == 32 &&
                            offsetof(EPU_GRAVUR_PARAMS, wStartposY) == 36 &&
                            offsetof(EPU_GRAVUR_PARAMS, abHostReserved) == 40);
CARDN5_LAYOUT(card_info, sizeof(MBU_CARD_INFO) == 12 && offsetof(MBU_CARD_INFO, dwAdvanceType) == 8);
CARDN5_LAYOUT(block_size, sizeof(MBU_BLOCK_INFO) == 52 && offsetof(MBU_BLOCK_INFO, pwData) == 4);
CARDN5_LAYOUT(block_tail,
              offsetof(MBU_BLOCK_INFO, dwZeroVerschPixel) == 32 && offsetof(MBU_BLOCK_INFO, dwCountFromPixels) == 48);
#undef CARDN5_LAYOUT
#endif

/* The host's stepper function for EPUN5_DoOneRow: (steps, 1, 0), returns
 * non-zero on success; the callee removes its arguments (CARDN5_CALL). */
typedef int32_t(CARDN5_CALL* PFN_SMMOVE)(uint32_t dwSteps, uint32_t dwOne, uint32_t dwZero);

/* ---- Frame ------------------------------------------------------------ */

/* Grants port access, creates the nine boards (replacing any); 0, error 2148 if one fails. */
CARDN5_API int32_t CARDN5_CALL CARDN5_CreateCardObjects(void);
/* Destroys the board objects; harmless without them. */
CARDN5_API void CARDN5_CALL CARDN5_DeleteCardObjects(void);
/* Emulation on (non-zero) or off for every board and the port library (its result); 0 without boards. */
CARDN5_API int32_t CARDN5_CALL CARDN5_SetEmulation(int32_t bEmulation);
/* Reads the port given by the low 16 bits; no board needed. */
CARDN5_API uint16_t CARDN5_CALL CARDN5_PortIn(uint32_t dwPort);
/* Writes the low 16 bits of the value to the port given by the low 16 bits. */
CARDN5_API int32_t CARDN5_CALL CARDN5_PortOut(uint32_t dwPort, uint32_t dwValue);

/* ---- EPU and IPG ------------------------------------------------------ */

/* Engraving processor board. Program the IPG and bring the drum to speed,
 * prepare the job (EPUN5_GravurVorbereiten), then one EPUN5_DoOneRow a row. */

/* Resets the control lines, shutter closed; eco duty from setup 119 if the low byte is set. 1. */
CARDN5_API int32_t CARDN5_CALL EPUN5_InitPowerOn(int32_t bEcoDutyCycle);
/* Takes the job and starts the board (10 s a try); 0, error 2006 if it fails or row length is 0. */
CARDN5_API int32_t CARDN5_CALL EPUN5_GravurVorbereiten(EPU_GRAVUR_PARAMS params);
/* Opens or closes the software shutter; returns the closing 10 us pause's result. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSWShutterOpen(int32_t bOpen);
/* Both eco channels from setup values 118, 120-123, channel 1 at this duty (%); logged. 1. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetEcoDutyCycle(double dDutyPercent);
/* The next row is treated as the job's first: no stepper move before it. */
CARDN5_API void CARDN5_CALL EPUN5_SetFirstRow(void);
/* wRowMode 0: one row; 1, 2: cylindrical then spiral pass; 3: stepper move
 * only; others log and return 1. The code arguments go to the port-I/O
 * library as they are. 0 if the PLL is lost (error 2101) or SmMove fails. */
CARDN5_API int32_t CARDN5_CALL EPUN5_DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode,
                                              uint32_t wSteps, uint32_t wRowShift, PFN_SMMOVE pfnSmMove);
/* From a second thread too: returns once no row runs and the board may be switched off. */
CARDN5_API int32_t CARDN5_CALL EPUN5_WaitForTurnOffPossible(void);

/* Auxiliary controls. */
/* Stepper direction (control bit 9); counted, the count logged at deletion. */
CARDN5_API void CARDN5_CALL EPUN5_SetSMDirection(int32_t bDirection);
/* Stepper speed bit (output word bit 3) set for selector 0; the pause's result. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMSpeed(int32_t bSelector);
/* Non-zero: the board advances the stepper by itself; 0: the host does. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMAutoMan(int32_t bAutomatic);
/* One stepper step. */
CARDN5_API int32_t CARDN5_CALL EPUN5_OneSMStep(void);
/* The port whose every write makes one stepper step (0xA700). */
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetSMStepAdresse(void);
/* DAC 0 to volts x 409.5, truncated, not clamped; logged. Always 1. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC0(double dVolts);
/* DAC 1 as EPUN5_SetDAC0. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC1(double dVolts);
/* Replaces the whole output word (low 16 bits), laser diode and speed bits too. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetOKOutput(uint32_t dwWord);
/* The output word last written (no port read): change a copy, write it back. */
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetOKOutput(void);
/* Reads the FINP input word. */
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetFINP(void);
/* Laser diode on or off; replaces the laser pulse word (the job's ratio is gone). */
CARDN5_API int32_t CARDN5_CALL EPUN5_TurnLaserdiodeOn(int32_t bOn);
/* The explicit laser pulse bit; the ratio stays. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetLaserpulsExplizit(int32_t bOn);
/* Error LED: only 1 switches it on. */
CARDN5_API int32_t CARDN5_CALL EPUN5_SetErrorLED(int32_t nValue);
/* 1 when the PLL is locked. */
CARDN5_API int32_t CARDN5_CALL EPUN5_IsPLLInRange(void);
/* The encoder signal now, 1 or 0. */
CARDN5_API int32_t CARDN5_CALL EPUN5_TestEncoder(void);
/* Encoder pulses in one index window; no time-out. 5555 emulated. */
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetEncoderPulses(void);
/* Pulse generator pulses in one index window (100 or more); no time-out. 7777 emulated. */
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetIPGPulses(void);

/* Pulse generator board. */
/* Touches nothing. Always 1. */
CARDN5_API int32_t CARDN5_CALL IPGN5_InitPowerOn(void);
/* dwPulses in each period of 640,000 clock counts; 0 refused (0, logged, board unchanged). */
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

#endif

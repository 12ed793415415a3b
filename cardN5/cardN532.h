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

/* ---- MBU and CSI -------------------------------------------------------- */

/* Memory buffer board. Blocks of image words go into the bank the board
 * opens to the PC (MBUN5_WriteBlock) and are handed over by a trigger
 * (MBUN5_TriggerBlock); after MBUN5_GravurVorbereiten or MBUN5_InitAction
 * the first block goes into bank 0, the next into bank 1, and so on.
 *
 * MBUN5_GetCardInfo before the first MBUN5_InitPowerOn, or with no board
 * objects, returns dwJumperID MBU_JUMPER_ID_UNREAD, dwPossiblePixels 0 and
 * dwAdvanceType MBU_ADVANCE_UNDEFINED. Jumper ID 7 (no valid card) gives
 * possible pixels 0 and MBU_ADVANCE_UNDEFINED (never 1, a mode value).
 *
 * MBUN5_WriteBlock waits for its bank as long as the board shows itself
 * busy (status bits 2-7): an engraving may take minutes. It gives up with
 * result 0 and a log line, writing nothing, where the bank can no longer
 * come: when the board shows itself idle for 50,000 polls in a row (at
 * least 1.5 s) while offering the other bank, and at once when status
 * reads are off (emulation flag other than 1). A board that shows busy
 * forever holds the wait. A byte count of more words than a bank holds
 * (0x100000) is refused like too many pixels; a null pwData with words to
 * write fails as a failed memory write.
 *
 * MBUN5_GetAccessibleBank debounces the bank bit (three equal readings
 * after the first); after 100 readings without that it returns
 * MBU_BANK_UNSTABLE, which matches no bank, so no block is written on a
 * bank bit that flickers. The status-byte debounce of the trigger wait and
 * of MBUN5_IsTurnOffPossible gives up after as many readings and counts
 * that as "not yet" (trigger wait) or "not possible" (turn-off check). */
#define MBU_ADVANCE_STANDARD 0u
#define MBU_ADVANCE_TRIM 2u
#define MBU_ADVANCE_UNDEFINED 0xFFFFFFFFu
#define MBU_JUMPER_ID_UNREAD 0xFFFFFFFFu
#define MBU_BANK_UNSTABLE 2u

/* Powers up the CSI and IOD boards, reads the card identity, direction 0.
 * 0 when the jumper ID is 7 or any error is recorded in the error library. */
CARDN5_API int32_t CARDN5_CALL MBUN5_InitPowerOn(void);
/* The 12-byte record comes back in storage the caller provides. */
CARDN5_API MBU_CARD_INFO CARDN5_CALL MBUN5_GetCardInfo(void);
/* One bulk transfer on the data port, 1; nothing moves while the board is
 * emulated (flag 1). A null buffer with words to move: 0 and a log line. */
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteMemory(const uint16_t* pwData, uint32_t dwCount);
CARDN5_API int32_t CARDN5_CALL MBUN5_ReadMemory(uint16_t* pwData, uint32_t dwCount); /* likewise, inward */
/* Checks the record, waits for the bank, writes the words; refusals write
 * nothing and log why. The pixel count is X times Y without wrapping. */
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteBlock(MBU_BLOCK_INFO block);
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteToBankPossible(void); /* the board offers the expected bank */
/* 0 or 1, or MBU_BANK_UNSTABLE (see above). */
CARDN5_API uint16_t CARDN5_CALL MBUN5_GetAccessibleBank(void);
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigSoftReset(void);         /* command 3, always 1, no wait */
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigBankSet(void);           /* command 6, always 1, no wait */
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigTestMode(void);          /* command 9, always 1, no wait */
CARDN5_API int32_t CARDN5_CALL MBUN5_IstResetAufgetreten(void);   /* status bit 0 */
CARDN5_API int32_t CARDN5_CALL MBUN5_IsPLLInRange(void);          /* status bit 12 */
CARDN5_API uint16_t CARDN5_CALL MBUN5_GetNullimpulsZaehler(void); /* 0 to 7 */

/* Engraving set-up. MBUN5_InitAction's arguments are not used; on Windows
 * it is exported only as ?MBUN5_InitAction@@YGHKK@Z. */
CARDN5_API int32_t CARDN5_CALL MBUN5_GravurVorbereiten(void); /* two reminders logged, then InitAction */
CARDN5_API int32_t CARDN5_CALL MBUN5_InitAction(uint32_t dwUnused1, uint32_t dwUnused2); /* soft reset, bank 0 next */
/* Divider, direction, trigger command, then up to 500,000 counted passes
 * (nominally 5 s) for the board to take the block over: 0 and error 4694
 * after that, with the expected bank already toggled. */
CARDN5_API int32_t CARDN5_CALL MBUN5_TriggerBlock(MBU_BLOCK_INFO block);
CARDN5_API int32_t CARDN5_CALL MBUN5_SetSMDirection(int32_t bDirection); /* bit 15; emulated: shadow only */
/* Segment 0-255 (low 16 bits used); above: a 4 s window message, 0. */
CARDN5_API int32_t CARDN5_CALL MBUN5_SetNullverschiebungsWert(int32_t nSegment);
/* Stored always; written on TRIM cards only; above 0xFFFFFF: 4 s window, 0. */
CARDN5_API int32_t CARDN5_CALL MBUN5_SetPlotHeightPI(uint32_t dwPixels);
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteAMUValues(int32_t nMode);     /* 12 setup values, low 8 bits */
CARDN5_API int32_t CARDN5_CALL MBUN5_SetLaserpulsExplizit(int32_t bOn); /* command 1 or 3 */
CARDN5_API int32_t CARDN5_CALL MBUN5_IsTurnOffPossible(void);           /* status bits 2-7 all 0 */

/* CSI board: clears its register, always 1. */
CARDN5_API int32_t CARDN5_CALL CSIN5_InitPowerOn(void);

#endif

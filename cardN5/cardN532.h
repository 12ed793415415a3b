/* CARDN532: driver layer for the drum engraving and scanning machine's PC
 * boards. The one header a host needs; it compiles as C and as C++.
 *
 * Every export is __stdcall on 32-bit Windows (CARDN5_API). Results are
 * 32-bit; booleans are 1 (success) or 0. Create the board objects first
 * (CARDN5_CreateCardObjects); board exports called before that return 0
 * and touch nothing. */
#ifndef CARDN532_H
#define CARDN532_H

/* Version of this header and the library it declares. */
#define CARDN5_VERSION_MAJOR 0
#define CARDN5_VERSION_MINOR 1
#define CARDN5_VERSION_PATCH 0
#define CARDN5_VERSION "0.1.0"

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
 * library as they are. 0 if the PLL is lost (error 2101) or SmMove fails.
 * pfnSmMove may be null while no row needs it; a row that would call a null
 * one logs it and ends as if SmMove had returned 0 (result 0). */
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
 * zero; after a failed checksum it still holds the text received. A null
 * answer buffer fails at once (0, error 2143) without touching the link;
 * so does a null command (error 2142 for sending, 2143 for exchanges),
 * except while the board is emulated (any non-zero flag): the command is
 * not looked at then, sending returns 1 and an exchange answers
 * "Emulation". */

/* Always 1; the link needs no preparation, no port is touched. */
CARDN5_API int32_t CARDN5_CALL IODN5_InitPowerOn(void);
/* Up to 5 attempts 150 ms apart: 1 once the MCM accepted the command (or gave no verdict), else 0, error 2142. */
CARDN5_API int32_t CARDN5_CALL IODN5_RepSendTxt(const char* pszCommand);
/* Command and answer, up to 5 attempts 150 ms apart: 1 with the answer, else 0, error 2143. */
CARDN5_API int32_t CARDN5_CALL IODN5_RepReceiveTxt(const char* pszCommand, char* pszAnswer);
/* As IODN5_RepSendTxt in N6, with no pause between the attempts. */
CARDN5_API int32_t CARDN5_CALL IODN6_RepSendTxt(const char* pszCommand);
/* As IODN5_RepReceiveTxt in N6; a second call while one runs returns 1 at once, its buffer untouched. */
CARDN5_API int32_t CARDN5_CALL IODN6_RepReceiveTxt(const char* pszCommand, char* pszAnswer);
/* One N6 command and answer, not repeated: 1 with the answer, else 0, error 2143. */
CARDN5_API int32_t CARDN5_CALL IODN6_SingleReceiveTxt(const char* pszCommand, char* pszAnswer);

/* Status inputs of the machine, one read of the IOD port each. Emulated
 * answers only with the emulation flag 1; another non-zero flag reads the
 * port library's emulated value. */

/* 1 while the repeat position is reached (input bit 12 low); emulated 1. */
CARDN5_API int32_t CARDN5_CALL IODN5_TestRapportStand(void);
/* 1 while the device is ready (input bit 13 low); emulated 1. */
CARDN5_API int32_t CARDN5_CALL IODN5_TestDeviceReady(void);
/* Input bit 11 as it is; emulated 0. */
CARDN5_API int32_t CARDN5_CALL IODN5_TestRechtesRadHinten(void);
/* The same input bit 11, read as the xenon lamp; emulated 1. */
CARDN5_API int32_t CARDN5_CALL IODN5_IsXenonOn(void);

/* ---- CPH -------------------------------------------------------------- */

/* Focusing head. Its step, direction and shutter lines are bits 1, 2 and 4
 * of the EPU's output word (EPUN5_SetOKOutput), its reference sensor bit 0
 * of the EPU's FINP word (active low); each call changes only its own bits
 * of the word's shadow. Bit 1 is also the EPU's laser diode bit: switching
 * the diode off and on makes one lens step. Positions are steps counted in
 * direction 1 (away from the sensor) from the repeat position. */
CARDN5_API int32_t CARDN5_CALL CPHN5_InitPowerOn(void); /* 1; forgets the head position, no line touched */
/* Engraving position = (second - first) * 0.5 / pi * 200 + calibrated steps.
 * A circumference that is not a finite number above 0: 0, error 2155, the
 * engraving position kept. Below 0: position 0, error 2155, result 1; above
 * 2,147,483,647 steps: 0, error 2155, position kept. */
CARDN5_API int32_t CARDN5_CALL CPHN5_SetCalibParam(double dCircumference1, double dCircumference2,
                                                   uint32_t dwCalibFocusSteps);
/* Steps made (lSteps while emulated with flag 1); stop mode non-zero: fast,
 * stops at the active sensor; 0: slow, stops when the sensor is left.
 * Afterwards the head position is invalid. */
CARDN5_API int32_t CARDN5_CALL CPHN5_LenseMove(int32_t lSteps, uint32_t dwDirection, uint32_t dwStopMode);
/* 100000 or more: the sensor was never reached; 7777 while emulated. */
CARDN5_API int32_t CARDN5_CALL CPHN5_GotoRepeatPosition(void);
CARDN5_API int32_t CARDN5_CALL CPHN5_GotoEngravingPosition(void); /* 1, or 0 with error 2003 */
/* Defocus in steps from the engraving position towards the sensor; the last
 * move always goes in direction 1. A target behind the sensor or beyond
 * 2,147,483,647 steps: 0, error 4525, nothing moved. A move that stops
 * early: 0, error 2003, position invalid. While emulated with a flag other
 * than 1 every move with steps to make stops at once (the emulated sensor
 * reads active), so such a call fails with 2003. */
CARDN5_API int32_t CARDN5_CALL CPHN5_SetDefokusPosition(int32_t lDefokus);
CARDN5_API int32_t CARDN5_CALL CPHN5_SetHWShutterOpen(uint32_t dwOpen); /* 1; also while emulated */
/* Focus in micrometres through the focus table, clamped to 0..100000 steps.
 * Before calibration, and for a focus value (or a table result) that is not
 * a number: 0, error 2155, nothing moved. */
CARDN5_API int32_t CARDN5_CALL CPHN5_SetFokus(double dMicrometres);
/* Copies dwCount (low 16 bits) pairs, ascending focus values. Count 0 keeps
 * the table; above 30 the first 30 are used; a null pointer keeps the
 * previous table. Each refusal and cut is logged. */
CARDN5_API void CARDN5_CALL CPHN5_SetFokusTable(const double* pdValues, const double* pdSteps, uint32_t dwCount);

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
CARDN5_API int32_t CARDN5_CALL CSEN5_StopScanSequence(void);  /* stops the sequence; always 1 */
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
CARDN5_API int32_t CARDN5_CALL CSEN5_GetDeviceReady(void);          /* reads the board, emulated or not */
CARDN5_API int32_t CARDN5_CALL CSEN5_SetLinework(int32_t bOn);      /* handshake bit 11 clear while on */
CARDN5_API int32_t CARDN5_CALL CSEN5_SetSWStatus(uint32_t wStatus); /* 0 to 3; others change no line */

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
CARDN5_API int32_t CARDN5_CALL DCAN5_TurnLaserdiodeOn(int32_t bOn);    /* bit 0 of port 0x5300 */
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
/* The same for the LD scan and LD plot focus tables. */
CARDN5_API void CARDN5_CALL SDUN5_SetLDScanfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
CARDN5_API void CARDN5_CALL SDUN5_SetLDPlotfokusTable(const double* pdX, const double* pdY, uint32_t dwCount);
/* Linear voltage 10 V - offset (offset limited to 0 to 10 V), then the optic
 * to the table's position, limited to 0 to 1924 steps (NaN: 0). Returns 1. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetXenonScanfokus(double dFokus, double dOffset);
/* Linear voltage = table value - offset; the DCA clamps it. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDScanfokus(double dFokus, double dOffset);
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDPlotfokus(double dFokus, double dOffset); /* likewise, plot table */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLinearspannung(double dVolts); /* logged, then DCAN5_SetLDKFokusspannung */
/* To the end sensor (at most 1924 steps), then the low 16 bits of dwPosition
 * steps out (at most 32767, logged); about 3.3 ms a step. Returns 1. */
CARDN5_API int32_t CARDN5_CALL SDUN5_SetOpticPosition(uint32_t dwPosition);
CARDN5_API int32_t CARDN5_CALL SDUN5_SwitchChopperCurrent(int32_t bOn); /* off: optic no longer referenced */

#endif

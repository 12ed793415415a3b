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
  uint16_t wRandomOffset;     /* 0: fixed start offset; 1: random, start position 0 */
  uint16_t wLLCode;           /* 0: PX code rows, else LL code rows */
  uint16_t wSMAuto;           /* non-zero: the board advances the stepper */
  uint16_t wFlag7;            /* non-zero sets control bit 7 */
  uint32_t dwPulsesPerRow;    /* pulses per row */
  uint32_t wRowLength;        /* row length; low 16 bits used */
  double dPulseNumerator;     /* laser pulse ratio numerator (offset 16) */
  double dPulseDenominator;   /* laser pulse ratio denominator (offset 24) */
  uint32_t w9B00Value;        /* low 16 bits used */
  uint32_t wStartposY;        /* start position; low 16 bits used */
  uint8_t abHostReserved[8];  /* the host's own; not read */
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

/* ---- IOD -------------------------------------------------------------- */

#endif

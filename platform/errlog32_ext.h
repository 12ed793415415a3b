/* Extensions of our errlog32 stand-in for hosts and tests. */
#ifndef CARDN5_ERRLOG32_EXT_H
#define CARDN5_ERRLOG32_EXT_H

#include <stdint.h>

#include "callconv.h"

#define ERRLOGX_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* The log file. Default: $CARDN5_LOG if set, else CARDN532.log in the
 * temporary folder ($TMPDIR or /tmp; %TEMP% on Windows). An empty path or
 * null switches file output off. Returns 1. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_SetLogPath(const char* pszPath);
/* Copies the current path (empty when off); returns its length. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_GetLogPath(char* pszBuf, int32_t nBufLen);

/* In-memory capture of the formatted texts, without time stamps, exactly
 * as the callers formatted them. Capturing stays on until switched off. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_SetCapture(int32_t bOn);
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_ClearCapture(void);
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_CaptureCount(void);
/* Copies entry i (NUL-terminated, truncated to nBufLen-1); returns its
 * full length, or -1 when there is no such entry. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_CaptureGet(int32_t i, char* pszBuf, int32_t nBufLen);

/* Called with each formatted text as it is written (any thread). */
typedef void(CARDN5_CDECL* PFN_ERRLOGX_LineHook)(void* pCtx, const char* pszText);
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_SetLineHook(PFN_ERRLOGX_LineHook pfn, void* pCtx);

/* The error recorded last: returns its code (0 when none) and, if the
 * pointers are set, the source file and line that recorded it. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_GetLastError(char* pszFile, int32_t nFileLen, int32_t* pnLine);
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_ClearLastError(void);
/* How many errors were recorded since load or the last clear. */
ERRLOGX_API int32_t CARDN5_STDCALL ERRLOGX_ErrorCount(void);

#endif

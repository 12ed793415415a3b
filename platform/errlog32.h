/* Error and log library errlog32: the functions the boards import. */
#ifndef CARDN5_ERRLOG32_H
#define CARDN5_ERRLOG32_H

#include <stdint.h>

#include "callconv.h"

#define ERRLOG_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* The one cdecl function: the caller cleans the variable argument list. */
ERRLOG_API int32_t CARDN5_CDECL ERRLOG_WriteToLOGFile(const char* pszFormat, ...) CARDN5_PRINTF(1, 2);
ERRLOG_API int32_t CARDN5_STDCALL ERRLOG_SetLastDebugError(int32_t nCode, int32_t nZero, const char* pszFile,
                                                           int32_t nLine);
ERRLOG_API int32_t CARDN5_STDCALL ERRLOG_IsError(void);

#endif

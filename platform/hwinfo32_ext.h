/* Extensions of our hwinfo32 stand-in for hosts and tests. */
#ifndef CARDN5_HWINFO32_EXT_H
#define CARDN5_HWINFO32_EXT_H

#include <stdint.h>

#include "callconv.h"

#define HWINFOX_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* Every call is kept: nKind 0 = ShowHDWInfo(nWhat, nCode, text),
 * 1 = HideHDWInfo(nWhat). */
HWINFOX_API int32_t CARDN5_STDCALL HWINFOX_CallCount(void);
/* Copies call i; returns 1, or 0 when there is no such call. */
HWINFOX_API int32_t CARDN5_STDCALL HWINFOX_GetCall(int32_t i, int32_t* pnKind, int32_t* pnWhat, int32_t* pnCode,
                                                   char* pszText, int32_t nTextLen);
HWINFOX_API int32_t CARDN5_STDCALL HWINFOX_Clear(void);
/* 0 keeps texts off stderr (they still go to the log). */
HWINFOX_API int32_t CARDN5_STDCALL HWINFOX_SetEcho(int32_t bOn);
/* 1 while the window is shown. */
HWINFOX_API int32_t CARDN5_STDCALL HWINFOX_IsShown(void);

#endif

/* Extensions of our hwconf32 stand-in for hosts and tests.
 *
 * Values come from a plain text file, read at the first query: the path in
 * $CARDN5_HWCONF, or the one given to HWCONFX_LoadFile. One value a line:
 *
 *     # comment
 *     118 = 10.0                        setup value by id
 *     AMU_Channel_Floor_PowerMax = 200  custom value by key
 *
 * Values not in the file keep their defaults (docs/hwconf.md). */
#ifndef CARDN5_HWCONF32_EXT_H
#define CARDN5_HWCONF32_EXT_H

#include <stdint.h>

#include "callconv.h"

#define HWCONFX_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* Reads the file over the defaults; returns the number of values read, or
 * -1 when the file cannot be opened (the defaults stay). Lines that do not
 * parse are logged and skipped. */
HWCONFX_API int32_t CARDN5_STDCALL HWCONFX_LoadFile(const char* pszPath);
HWCONFX_API int32_t CARDN5_STDCALL HWCONFX_SetSetupValue(int32_t nId, double dValue);
HWCONFX_API int32_t CARDN5_STDCALL HWCONFX_SetCustomValue(const char* pszKey, double dValue);
/* Back to the built-in defaults; the file is not read again. */
HWCONFX_API int32_t CARDN5_STDCALL HWCONFX_ResetDefaults(void);
/* How many times a value was asked for (both functions together). */
HWCONFX_API int32_t CARDN5_STDCALL HWCONFX_QueryCount(void);

#endif

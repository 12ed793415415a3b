/* Hardware-information window library hwinfo32: the functions the boards import. */
#ifndef CARDN5_HWINFO32_H
#define CARDN5_HWINFO32_H

#include <stdint.h>

#include "callconv.h"

#define HWINFO_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* Values that select what the window does. */
#define HWINFO_OPEN 1002
#define HWINFO_CLOSED 1005
#define HWINFO_TEXT 3016

HWINFO_API int32_t CARDN5_STDCALL HWINFO_ShowHDWInfo(int32_t nWhat, int32_t nCode, const char* pszText);
HWINFO_API int32_t CARDN5_STDCALL HWINFO_HideHDWInfo(int32_t nWindow);

#endif

/* Hardware-setup library hwconf32: the functions the boards import. */
#ifndef CARDN5_HWCONF32_H
#define CARDN5_HWCONF32_H

#include <stdint.h>

#include "callconv.h"

#define HWCONF_API CARDN5_EXTERN_C CARDN5_VISIBLE

HWCONF_API double CARDN5_STDCALL HWCONF_GetSetupValue(int32_t nId);
HWCONF_API double CARDN5_STDCALL HWCONF_GetCustomValue(const char* pszKey);

#endif

/* Delay library timing32: the functions the boards import. */
#ifndef CARDN5_TIMING32_H
#define CARDN5_TIMING32_H

#include <stdint.h>

#include "callconv.h"

#define TIMING_API CARDN5_EXTERN_C CARDN5_VISIBLE

TIMING_API int32_t CARDN5_STDCALL TIMING_Delay(uint32_t dwMilliseconds);
TIMING_API int32_t CARDN5_STDCALL TIMING_DelayUS(uint32_t dwMicroseconds);

#endif

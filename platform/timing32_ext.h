/* Extensions of our timing32 stand-in for hosts, tests and the simulator. */
#ifndef CARDN5_TIMING32_EXT_H
#define CARDN5_TIMING32_EXT_H

#include <stdint.h>

#include "callconv.h"

#define TIMINGX_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* With a virtual clock set, every delay hands its length in microseconds
 * to the clock and returns at once instead of waiting. Null restores real
 * waiting. */
typedef void(CARDN5_CDECL* PFN_TIMINGX_Advance)(void* pCtx, uint64_t qwMicroseconds);
TIMINGX_API int32_t CARDN5_STDCALL TIMINGX_SetVirtualClock(PFN_TIMINGX_Advance pfn, void* pCtx);

/* The stand-in for the Windows Sleep on the native build: honours the
 * virtual clock, else sleeps at least that long. */
TIMINGX_API int32_t CARDN5_STDCALL TIMINGX_Sleep(uint32_t dwMilliseconds);

/* Monotonic real time in nanoseconds, the clock TIMING_DelayUS waits on. */
TIMINGX_API uint64_t CARDN5_STDCALL TIMINGX_NowNs(void);

#endif

// The Windows Sleep the EPU's handshake polls use. On the native build it is
// our timing stand-in's Sleep, so that a simulated machine's virtual clock
// sees the pause instead of the test waiting for it.
#ifndef CARDN5_SLEEP_SHIM_H
#define CARDN5_SLEEP_SHIM_H

#include <stdint.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>

#include "service_ext.h"
#include "timing32.h"
#include "timing32_ext.h"
#endif

namespace cardn5 {

inline void Sleep(uint32_t milliseconds) {
#if defined(_WIN32)
  ::Sleep(milliseconds);
#else
  using Fn = int32_t(CARDN5_STDCALL*)(uint32_t);
  static const Fn s_sleep = reinterpret_cast<Fn>(FindServiceExtension(
      reinterpret_cast<const void*>(&TIMING_Delay), "timing32.dll", "TIMINGX_Sleep", "_TIMINGX_Sleep@4"));
  if (s_sleep) {
    s_sleep(milliseconds);
    return;
  }
  timespec ts{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
#endif
}

}  // namespace cardn5

#endif

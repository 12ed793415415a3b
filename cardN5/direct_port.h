// The few port accesses that bypass the port-I/O library on real hardware:
// the EPU's uninterrupted status polls and the MBU's block transfers. They
// go to our hwio32 stand-in when it is loaded (device model, emulation, or
// no port access), and otherwise to the processor's own port instructions.
// This is the only place with inline assembly.
#ifndef CARDN5_DIRECT_PORT_H
#define CARDN5_DIRECT_PORT_H

#include <stddef.h>
#include <stdint.h>

#include "hwio32.h"
#include "hwio32_ext.h"
#include "service_ext.h"

namespace cardn5 {

namespace detail {

inline PFN_HWIOX_DirectAccess DirectRoute() {
  // Resolved once per load; a null result stays as "use the processor".
  static const PFN_HWIOX_DirectAccess s_route = reinterpret_cast<PFN_HWIOX_DirectAccess>(FindServiceExtension(
      reinterpret_cast<const void*>(&HWIO_Hin), "hwio32.dll", "HWIOX_DirectAccess", "_HWIOX_DirectAccess@16"));
  return s_route;
}

#if defined(__i386__) || defined(__x86_64__)
inline uint16_t CpuIn16(uint16_t port) {
  uint16_t v;
  __asm__ volatile("inw %1, %0" : "=a"(v) : "Nd"(port));
  return v;
}
// The instruction writes through data, which the analyser cannot see.
// NOLINTNEXTLINE(readability-non-const-parameter)
inline void CpuInBlock(uint16_t port, uint16_t* data, size_t count) {
  __asm__ volatile("cld; rep insw" : "+D"(data), "+c"(count) : "d"(port) : "memory");
}
inline void CpuOutBlock(uint16_t port, const uint16_t* data, size_t count) {
  __asm__ volatile("cld; rep outsw" : "+S"(data), "+c"(count) : "d"(port) : "memory");
}
#else
#error "direct port access needs an x86 processor"
#endif

}  // namespace detail

inline uint16_t DirectIn16(uint16_t port) {
  if (PFN_HWIOX_DirectAccess route = detail::DirectRoute()) {
    uint16_t v = 0;
    if (route(HWIOX_DIRECT_IN, port, &v, 1)) return v;
  }
  return detail::CpuIn16(port);
}

inline void DirectInBlock(uint16_t port, uint16_t* data, uint32_t count) {
  if (PFN_HWIOX_DirectAccess route = detail::DirectRoute()) {
    if (route(HWIOX_DIRECT_IN_BLOCK, port, data, count)) return;
  }
  detail::CpuInBlock(port, data, count);
}

inline void DirectOutBlock(uint16_t port, const uint16_t* data, uint32_t count) {
  if (PFN_HWIOX_DirectAccess route = detail::DirectRoute()) {
    // The stand-in only reads the words; its interface is shared with input.
    if (route(HWIOX_DIRECT_OUT_BLOCK, port, const_cast<uint16_t*>(data), count)) return;
  }
  detail::CpuOutBlock(port, data, count);
}

}  // namespace cardn5

#endif

// Number conversions shared by the boards: a double to a register value the
// way the boards' values were defined.
#ifndef CARDN5_CONVERT_H
#define CARDN5_CONVERT_H

#include <stdint.h>

namespace cardn5 {

// Toward zero; whatever does not fit a 32-bit signed integer (infinities and
// non-numbers included) becomes INT32_MIN, the value the board code was
// written against. A plain cast would be undefined there.
inline int32_t Trunc(double v) {
  if (v > -2147483649.0 && v < 2147483648.0) return static_cast<int32_t>(v);
  return INT32_MIN;
}

// Pins an intermediate result to double. The i386 build computes on the x87
// stack with 64-bit mantissas, and the register values were defined with
// double arithmetic step by step: 5 us at 12 MHz must give 58 counts, the
// extended-precision 59.999... -> 59 would not.
inline double Dbl(double v) {
#if defined(__i386__) && !defined(__SSE2_MATH__)
  volatile double r = v;
  return r;
#else
  return v;
#endif
}

inline uint16_t Clamp16(int32_t v) { return static_cast<uint16_t>(v < 0 ? 0 : (v > 65535 ? 65535 : v)); }

}  // namespace cardn5

#endif

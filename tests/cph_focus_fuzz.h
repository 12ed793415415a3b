// The focus table and the focus setters fed with arbitrary bytes: the table
// count and pointers, the table's doubles (non-numbers and infinities
// included), the calibration, a focus value and a defocus. For a fuzzing
// driver and for the seed test. Expects the board objects created and the
// head emulated with flag 1, so that no move waits on a machine; aborts
// when one of the head's invariants breaks.
#ifndef CARDN5_TESTS_CPH_FOCUS_FUZZ_H
#define CARDN5_TESTS_CPH_FOCUS_FUZZ_H

#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"

inline void CphFocusFuzzOne(const uint8_t* data, size_t size) {
  // Values from the front of the bytes; past their end, zeros.
  auto next = [&data, &size](auto v) {
    const size_t n = size < sizeof v ? size : sizeof v;
    if (n) std::memcpy(&v, data, n);
    data += n, size -= n;
    return v;
  };
  const uint32_t dwCount = next(uint32_t{0});
  const uint8_t bNulls = next(uint8_t{0});
  // Exactly what the table holds, on the heap: a read past the 30th pair is
  // seen by the address sanitizer.
  std::vector<double> x(30), y(30);
  for (size_t i = 0; i < 30; ++i) x[i] = next(0.0), y[i] = next(0.0);
  CPHN5_SetFokusTable((bNulls & 1) ? nullptr : x.data(), (bNulls & 2) ? nullptr : y.data(), dwCount);
  const double dFirst = next(0.0), dSecond = next(0.0);
  const int32_t results[] = {CPHN5_SetCalibParam(dFirst, dSecond, next(uint32_t{0})), CPHN5_SetFokus(next(0.0)),
                             CPHN5_SetDefokusPosition(next(int32_t{0}))};
  const CCPHCard& cph = *g_pCPH;
  for (int32_t r : results)
    if (r != 0 && r != 1) std::abort();
  if (cph.m_FokusTable.wCount > 30 || cph.m_lEngravingPos < 0 || cph.m_lHeadPos < 0) std::abort();
}

#endif

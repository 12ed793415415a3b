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

namespace cphfuzz {

// Reads values from the front of the bytes; past their end, zeros.
class Bytes {
 public:
  Bytes(const uint8_t* data, size_t size) : m_data(data), m_left(size) {}
  template <typename T>
  T Next() {
    T v{};
    const size_t n = m_left < sizeof v ? m_left : sizeof v;
    if (n) std::memcpy(&v, m_data, n);
    m_data += n;
    m_left -= n;
    return v;
  }

 private:
  const uint8_t* m_data;
  size_t m_left;
};

}  // namespace cphfuzz

inline void CphFocusFuzzOne(const uint8_t* data, size_t size) {
  cphfuzz::Bytes in(data, size);
  const uint32_t dwCount = in.Next<uint32_t>();
  const uint8_t bNulls = in.Next<uint8_t>();
  // Exactly what the table holds, on the heap: a read past the 30th pair is
  // seen by the address sanitizer.
  std::vector<double> x(30), y(30);
  for (size_t i = 0; i < 30; ++i) {
    x[i] = in.Next<double>();
    y[i] = in.Next<double>();
  }
  CPHN5_SetFokusTable((bNulls & 1) ? nullptr : x.data(), (bNulls & 2) ? nullptr : y.data(), dwCount);
  const double dFirst = in.Next<double>(), dSecond = in.Next<double>();
  const int32_t results[] = {CPHN5_SetCalibParam(dFirst, dSecond, in.Next<uint32_t>()),
                             CPHN5_SetFokus(in.Next<double>()), CPHN5_SetDefokusPosition(in.Next<int32_t>())};
  for (int32_t r : results)
    if (r != 0 && r != 1) std::abort();
  const CCPHCard& cph = *g_pCPH;
  if (cph.m_FokusTable.wCount > 30 || cph.m_lEngravingPos < 0 || cph.m_lHeadPos < 0) std::abort();
}

#endif

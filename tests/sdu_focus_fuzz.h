// The scanner drive's focus tables and focus setters under arbitrary input:
// the bytes choose a table, a 32-bit count, whether the arrays are missing,
// the pairs (raw doubles: NaN, infinities and all) and a focus value with
// an offset for the matching setter. The caller has created the boards,
// switched emulation on and attached a machine (for its virtual clock).
// Aborts when a table or the optic position breaks what the board promises.
#ifndef CARDN5_TESTS_SDU_FOCUS_FUZZ_H
#define CARDN5_TESTS_SDU_FOCUS_FUZZ_H

#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cardN5.h"
#include "cardN532.h"

namespace sdufuzz {

struct Bytes {
  const uint8_t* p;
  size_t n;
  template <typename T>
  T Take() {
    T v{};
    const size_t k = n < sizeof v ? n : sizeof v;
    std::memcpy(&v, p, k);
    p += k;
    n -= k;
    return v;
  }
};

inline void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "sdu focus fuzz: %s\n", what);
  std::abort();
}

}  // namespace sdufuzz

inline void SduFocusFuzzOne(const uint8_t* data, size_t size) {
  sdufuzz::Bytes in{data, size};
  const unsigned which = in.Take<uint8_t>() % 3u;
  // Counts around 30 in the low 16 bits, anything above them.
  const uint32_t dwCount = in.Take<uint8_t>() % 40u | static_cast<uint32_t>(in.Take<uint16_t>()) << 16;
  const bool bMissing = (in.Take<uint8_t>() & 0x0F) == 0;
  double adX[30], adY[30];
  for (int i = 0; i < 30; ++i) {
    adX[i] = in.Take<double>();
    adY[i] = in.Take<double>();
  }
  const double dFokus = in.Take<double>(), dOffset = in.Take<double>();

  CSDUCard& sdu = *g_pSDU;
  FOKUS_TABLE* tables[] = {&sdu.m_XenonScanfokusTable, &sdu.m_LDScanfokusTable, &sdu.m_LDPlotfokusTable};
  FOKUS_TABLE& table = *tables[which];
  const FOKUS_TABLE before = table;
  const double* pdX = bMissing ? nullptr : adX;
  const double* pdY = bMissing ? nullptr : adY;
  using SetTable = void(CARDN5_CALL*)(const double*, const double*, uint32_t);
  using SetFokus = int32_t(CARDN5_CALL*)(double, double);
  const SetTable setTable[] = {SDUN5_SetXenonScanfokusTable, SDUN5_SetLDScanfokusTable, SDUN5_SetLDPlotfokusTable};
  const SetFokus setFokus[] = {SDUN5_SetXenonScanfokus, SDUN5_SetLDScanfokus, SDUN5_SetLDPlotfokus};
  setTable[which](pdX, pdY, dwCount);

  const uint16_t c = static_cast<uint16_t>(dwCount);
  const bool kept = c == 0 || bMissing;
  const uint16_t taken = c > 30 ? 30 : c;
  sdufuzz::Check(table.wCount <= 30, "more than 30 pairs");
  sdufuzz::Check(!kept || (table.wCount == before.wCount && !std::memcmp(table.adX, before.adX, sizeof adX) &&
                           !std::memcmp(table.adY, before.adY, sizeof adY)),
                 "a table that should be kept changed");
  sdufuzz::Check(kept || (table.wCount == taken && !std::memcmp(table.adX, adX, taken * sizeof(double)) &&
                          !std::memcmp(table.adY, adY, taken * sizeof(double))),
                 "a table that was set does not hold its pairs");

  sdufuzz::Check(setFokus[which](dFokus, dOffset) == 1, "a focus setter failed");
  sdufuzz::Check(sdu.m_dwOpticPos <= 1924, "optic position beyond the travel");
}

#endif

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

inline void SduFocusFuzzOne(const uint8_t* data, size_t size) {
  struct {
    uint8_t which, low, missing;
    uint16_t high;
    double adX[30], adY[30], dFokus, dOffset;
  } in{};
  if (size != 0) std::memcpy(&in, data, size < sizeof in ? size : sizeof in);  // an empty input may come as null
  const unsigned which = in.which % 3u;
  const uint16_t c = in.low % 40u;  // around 30 in the low 16 bits, anything above them
  const uint32_t dwCount = c | static_cast<uint32_t>(in.high) << 16;
  const bool bMissing = (in.missing & 0x0F) == 0;

  FOKUS_TABLE* const tables[] = {&g_pSDU->m_XenonScanfokusTable, &g_pSDU->m_LDScanfokusTable,
                                 &g_pSDU->m_LDPlotfokusTable};
  void(CARDN5_CALL* const setTable[])(const double*, const double*, uint32_t) = {
      SDUN5_SetXenonScanfokusTable, SDUN5_SetLDScanfokusTable, SDUN5_SetLDPlotfokusTable};
  int32_t(CARDN5_CALL* const setFokus[])(double, double) = {SDUN5_SetXenonScanfokus, SDUN5_SetLDScanfokus,
                                                            SDUN5_SetLDPlotfokus};
  FOKUS_TABLE& t = *tables[which];
  const FOKUS_TABLE before = t;
  setTable[which](bMissing ? nullptr : in.adX, bMissing ? nullptr : in.adY, dwCount);

  // Kept as it was, or holding the first pairs given (30 at most).
  const bool bKept = c == 0 || bMissing;
  const uint16_t n = bKept ? before.wCount : (c > 30 ? 30 : c);
  bool ok = t.wCount == n && !std::memcmp(t.adX, bKept ? before.adX : in.adX, n * sizeof(double)) &&
            !std::memcmp(t.adY, bKept ? before.adY : in.adY, n * sizeof(double)) &&
            !std::memcmp(t.adX + n, before.adX + n, (30 - n) * sizeof(double));  // nothing beyond
  ok = ok && setFokus[which](in.dFokus, in.dOffset) == 1 && g_pSDU->m_dwOpticPos <= 1924;
  if (ok) return;
  std::fprintf(stderr, "sdu focus fuzz: table %u, count 0x%08X: a table or the optic position is wrong\n", which,
               static_cast<unsigned>(dwCount));
  std::abort();
}

#endif

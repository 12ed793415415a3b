// Focus tables and focus setters of the focusing head (FOCUS_TARGET_CPH) or
// the scanner drive under any bytes: counts, missing arrays, non-numbers and
// infinities. The harness aborts when a table, a position or a log line
// breaks what the board promises; the sanitizers catch a read past a table.
#include "cardN5.h"
#include "fuzz_check.h"

namespace {

#if defined(FOCUS_TARGET_CPH)
// The table count and pointers, the table's doubles, the calibration, a
// focus value and a defocus; each from the front of the bytes, past their
// end zeros.
void FocusFuzzOne(const uint8_t* data, size_t size) {
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
  for (int32_t r : results) FUZZ_CHECK(r == 0 || r == 1);
  FUZZ_CHECK(cph.m_FokusTable.wCount <= 30 && cph.m_lEngravingPos >= 0 && cph.m_lHeadPos >= 0);
}
#else
// A table, a 32-bit count, whether the arrays are missing, the pairs and a
// focus value with an offset for the matching setter.
void FocusFuzzOne(const uint8_t* data, size_t size) {
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
  FUZZ_CHECK(ok);
}
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The boards once per process, emulated (flag 1), on a machine whose
  // clock takes the pauses; every log line must end whole.
  static std::unique_ptr<sim::Machine> s_machine = [] {
    ERRLOGX_SetLogPath("");
    ERRLOGX_SetLineHook(
        [](void*, const char* text) {
          FUZZ_CHECK(*text && text[std::strlen(text) - 1] == '\n');  // every log line ends whole
        },
        nullptr);
    auto m = std::make_unique<sim::Machine>();
    m->trace().SetEnabled(false);
    m->Attach();
    CARDN5_CreateCardObjects();
    CARDN5_SetEmulation(1);
    return m;
  }();
  FocusFuzzOne(data, size);
  return 0;
}

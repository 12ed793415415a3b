// The service-library stand-ins: what the library relies on from each, and
// the extensions hosts and tests use.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "errlog32.h"
#include "errlog32_ext.h"
#include "hwconf32.h"
#include "hwconf32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "test_support.h"

namespace {

using testsupport::LogCapture;
using testsupport::MachineTest;

std::string TempPath(const char* name) { return (::testing::TempDir() + name) + std::to_string(getpid()); }

// ---- Interpolation ----------------------------------------------------------

// Piecewise linear with the end values held; a vertical step takes its upper
// branch; only the given count is read.
TEST(Interpolation, PiecewiseLinearWithEndValuesHeld) {
  const double x[] = {0.0, 10.0, 20.0, 40.0}, y[] = {100.0, 200.0, 150.0, 150.0};
  const double sx[] = {5.0, 5.0, 6.0}, sy[] = {1.0, 3.0, 4.0};
  const std::tuple<const double*, const double*, uint16_t, double, double> cases[] = {
      {x, y, 4, -1e9, 100.0}, {x, y, 4, 0.0, 100.0}, {x, y, 4, 5.0, 150.0},  {x, y, 4, 15.0, 175.0},
      {x, y, 4, 30.0, 150.0}, {x, y, 4, 1e9, 150.0}, {sx, sy, 0, 5.0, 0.0},  {sx, sy, 1, 1000.0, 1.0},
      {sx, sy, 3, 5.5, 3.5},  {sx, sy, 3, NAN, 1.0}, {sx, sy, 2, 99.0, 3.0},
  };
  for (const auto& [xs, ys, n, at, want] : cases)
    EXPECT_DOUBLE_EQ(want, HWIO_GetLinearInterpoliertenWert(xs, ys, n, at)) << n << " at " << at;
}

// ---- Log and recorded error ------------------------------------------------------

// Captured exactly; in the file each line gets "YYYY-MM-DD hh:mm:ss.mmm ".
TEST(ErrLog, CapturesTextAndAppendsTimestampedLinesToTheChosenFile) {
  LogCapture log;
  const std::string path = TempPath("cardn5-log");
  std::remove(path.c_str());
  ERRLOGX_SetLogPath(path.c_str());
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC0 %3.2lf V \n", 2.5);
  ERRLOG_WriteToLOGFile("%s %ld\n", "text", 42L);
  char chosen[512];
  EXPECT_EQ(static_cast<int32_t>(path.size()), ERRLOGX_GetLogPath(chosen, sizeof chosen));
  ERRLOGX_SetLogPath(nullptr);
  ERRLOG_WriteToLOGFile("not in the file\n");
  EXPECT_EQ((std::vector<std::string>{"CEPUCard::SetDAC0 2.50 V \n", "text 42\n", "not in the file\n"}), log.Lines());
  std::string line;
  std::vector<std::string> bodies;
  for (std::ifstream f(path); std::getline(f, line);) {
    ASSERT_GT(line.size(), 24u) << line;
    EXPECT_EQ("-:.", (std::string{line[4], line[13], line[19]}));
    bodies.push_back(line.substr(24));
  }
  std::remove(path.c_str());
  EXPECT_EQ((std::vector<std::string>{"CEPUCard::SetDAC0 2.50 V ", "text 42"}), bodies);
}

// ---- Setup values ------------------------------------------------------------------

// A file overrides the defaults (which the boards' tests read) and names its
// bad lines; an unknown value is 0 with a log line.
TEST(HwConf, FileOverridesDefaultsAndUnknownValuesAreZero) {
  HWCONFX_ResetDefaults();
  LogCapture log;
  const std::string path = TempPath("cardn5-hwconf");
  std::ofstream(path) << "# bench machine\n118 = 12.5\n  AMU_Channel_Floor_PowerMax=300.7   # over a byte\n\n"
                         "120 = fast\nno equals sign\n";
  EXPECT_EQ(2, HWCONFX_LoadFile(path.c_str()));
  std::remove(path.c_str());
  // the bad line left 120 at its default
  EXPECT_EQ((std::vector<double>{12.5, 300.7, 5.0}),
            (std::vector<double>{HWCONF_GetSetupValue(118), HWCONF_GetCustomValue("AMU_Channel_Floor_PowerMax"),
                                 HWCONF_GetSetupValue(120)}));
  for (const char* line : {":5: ", ":6: "})
    EXPECT_EQ(1, log.Count("hwconf32: " + path + line + "expected 'id = value' or 'key = value'\n"));
  EXPECT_EQ(-1, HWCONFX_LoadFile((path + ".missing").c_str()));

  EXPECT_EQ(0.0, HWCONF_GetSetupValue(4711) + HWCONF_GetCustomValue(nullptr));
  EXPECT_TRUE(log.Contains("hwconf32: no setup value 4711, using 0\n"));
  HWCONFX_ResetDefaults();
  EXPECT_EQ(10.0, HWCONF_GetSetupValue(118));
}

// ---- Port I/O backends ------------------------------------------------------------------

using HwioBackends = MachineTest;

// Bit operations stay in memory and ignore bits beyond 15; a pulse drives
// its bit and back, marks both writes and leaves the shadow.
TEST_F(HwioBackends, BitOperationsAndPulses) {
  uint16_t v = 0x0100;
  HWIO_SetBit(&v, 15);
  HWIO_SetBit(&v, 16);
  HWIO_SetBit(&v, -1);
  HWIO_ResetBit(&v, 8);
  EXPECT_EQ((std::vector<int32_t>{0x8000, 0x8000, 0}),
            (std::vector<int32_t>{v, HWIO_Bit(v, 15) & 0xFFFF, HWIO_Bit(0xFFFF, 16)}));
  EXPECT_EQ(0u, machine.trace().size());

  uint16_t shadow = 0x0018;
  HWIO_LowPuls(0x8700, &shadow, 4);
  HWIO_HighPuls(0x8700, &shadow, 2);
  EXPECT_EQ(0x0018, shadow);
  EXPECT_EQ((std::vector<uint16_t>{0x0008, 0x0018, 0x001C, 0x0018}), machine.trace().Writes(0x8700));
  const auto& e = machine.trace().All();
  EXPECT_EQ(HWIO_ACC_LOWPULS | (4u << HWIO_ACC_BIT_SHIFT), e[0].flags);
  EXPECT_EQ(HWIO_ACC_LOWPULS | HWIO_ACC_PULSE_END | (4u << HWIO_ACC_BIT_SHIFT), e[1].flags);
  EXPECT_EQ(HWIO_ACC_HIGHPULS | HWIO_ACC_PULSE_END | (2u << HWIO_ACC_BIT_SHIFT), e[3].flags);
}

// Without a device or port access reads float and writes drop. A host built
// before the block callbacks passes the shorter struct to HWIOX_AttachDevice:
// its blocks come word by word.
TEST_F(HwioBackends, WithoutDeviceReadsFloatAndBlocksReachOnlyADeviceThatHasThem) {
  machine.Detach();
  EXPECT_EQ(0, HWIOX_GetBackend());
  // Real ports need an explicit opt-in on the machine; tests never give it. Grant, access, in, out, a direct read
  // and its word, and a row code
  uint16_t word = 0;
  EXPECT_EQ(
      (std::vector<int32_t>{0, 0, 0xFFFF, 0, 1, 0xFFFF, 0}),
      (std::vector<int32_t>{HWIO_GrantPortAccess(), HWIOX_HasPortAccess(), HWIO_Hin(0x8300), HWIO_Hout(0x8700, 1),
                            HWIOX_DirectAccess(HWIOX_DIRECT_IN, 0x8300, &word, 1), word, HWIO_WritePXCode(1, 2)}));
  EXPECT_EQ(1, log.Count("hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n"));
  EXPECT_EQ(1, log.Count("hwio32: HWIO_WritePXCode needs a device model or emulation in this stand-in\n"));
  static int words, blocks;
  static uint32_t flags;
  HWIO_DEVICE dev{};
  dev.pfnOut = [](void*, uint16_t, uint16_t, uint32_t) { ++words; };
  dev.pfnOutBlock = [](void*, uint16_t, const uint16_t*, uint32_t, uint32_t) { ++blocks; };
  dev.pfnInBlock = [](void*, uint16_t, uint16_t* p, uint32_t n, uint32_t f) {
    ++blocks, flags = f, std::fill(p, p + n, 9);
  };
  uint16_t w[3] = {1, 2, 3};
  HWIOX_AttachDevice(&dev);
  HWIOX_DirectAccess(HWIOX_DIRECT_OUT_BLOCK, 0xA300, w, 3);
  HWIOX_AttachDeviceEx(&dev, sizeof dev);
  HWIOX_DirectAccess(HWIOX_DIRECT_IN_BLOCK, 0xA300, w, 3);
  EXPECT_EQ(9, w[2]);
  HWIO_SetEmulation(1);  // seen, flagged, and read as 0 like every emulated read
  HWIOX_DirectAccess(HWIOX_DIRECT_IN_BLOCK, 0xA300, w, 3);
  EXPECT_EQ(0, w[0] | w[1] | w[2]);
  EXPECT_EQ(HWIO_ACC_DIRECT | HWIO_ACC_EMULATED, flags);
  EXPECT_EQ((std::pair{3, 2}), (std::pair{words, blocks}));
}

}  // namespace

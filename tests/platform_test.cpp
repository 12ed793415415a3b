// The service-library stand-ins: what the library relies on from each, and
// the extensions hosts and tests use.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "errlog32.h"
#include "errlog32_ext.h"
#include "hwconf32.h"
#include "hwconf32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "test_support.h"
#include "timing32.h"
#include "timing32_ext.h"

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
  const struct {
    const double *x, *y;
    uint16_t n;
    double at, want;
  } cases[] = {
      {x, y, 4, -1e9, 100.0}, {x, y, 4, 0.0, 100.0}, {x, y, 4, 5.0, 150.0},  {x, y, 4, 15.0, 175.0},
      {x, y, 4, 30.0, 150.0}, {x, y, 4, 1e9, 150.0}, {sx, sy, 0, 5.0, 0.0},  {sx, sy, 1, 1000.0, 1.0},
      {sx, sy, 3, 5.5, 3.5},  {sx, sy, 3, NAN, 1.0}, {sx, sy, 2, 99.0, 3.0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(c.want, HWIO_GetLinearInterpoliertenWert(c.x, c.y, c.n, c.at)) << c.n << " at " << c.at;
}

// ---- Delays -------------------------------------------------------------------

void CARDN5_CDECL Record(void* ctx, uint64_t us) { static_cast<std::vector<uint64_t>*>(ctx)->push_back(us); }

TEST(Timing, VirtualClockTakesEveryDelayWithoutWaiting) {
  std::vector<uint64_t> advances;
  TIMINGX_SetVirtualClock(Record, &advances);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(10000, TIMING_Delay(10000));
  EXPECT_EQ(1666, TIMING_DelayUS(1666));
  EXPECT_EQ(1, TIMING_DelayUS(0));
  EXPECT_NE(0, TIMINGX_Sleep(1));
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ((std::vector<uint64_t>{10000000u, 1666u, 0u, 1000u}), advances);
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
  std::ifstream f(path);
  std::string line;
  std::vector<std::string> bodies;
  while (std::getline(f, line)) {
    ASSERT_GT(line.size(), 24u) << line;
    EXPECT_EQ("-:.", (std::string{line[4], line[13], line[19]}));
    bodies.push_back(line.substr(24));
  }
  std::remove(path.c_str());
  EXPECT_EQ((std::vector<std::string>{"CEPUCard::SetDAC0 2.50 V ", "text 42"}), bodies);
}

// ---- Setup values ------------------------------------------------------------------

// Defaults for every setup id and modulation key; a file overrides them and
// names its bad lines; an unknown value is 0 with a log line.
TEST(HwConf, DefaultsFileOverridesAndUnknownValues) {
  HWCONFX_ResetDefaults();
  LogCapture log;
  for (int id = 118; id <= 123; ++id) EXPECT_GT(HWCONF_GetSetupValue(id), 0.0) << id;
  for (const char* c : {"Floor", "Middle", "Contour"})
    for (const char* p : {"FirstStep", "PowerMin", "PowerMax", "ClockDivider"})
      // within 0 to 255
      EXPECT_LE(std::abs(HWCONF_GetCustomValue((std::string("AMU_Channel_") + c + "_" + p).c_str()) - 127.5), 127.5)
          << c << p;
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  EXPECT_EQ(18, HWCONFX_QueryCount());

  const std::string path = TempPath("cardn5-hwconf");
  std::ofstream(path) << "# bench machine\n118 = 12.5\n  AMU_Channel_Floor_PowerMax=300.7   # over a byte\n\n"
                         "120 = fast\nno equals sign\n";
  EXPECT_EQ(2, HWCONFX_LoadFile(path.c_str()));
  std::remove(path.c_str());
  EXPECT_EQ(12.5, HWCONF_GetSetupValue(118));
  EXPECT_EQ(300.7, HWCONF_GetCustomValue("AMU_Channel_Floor_PowerMax"));
  EXPECT_EQ(5.0, HWCONF_GetSetupValue(120));  // the bad line left the default
  EXPECT_EQ(1, log.Count("hwconf32: " + path + ":5: expected 'id = value' or 'key = value'\n"));
  EXPECT_EQ(1, log.Count("hwconf32: " + path + ":6: expected 'id = value' or 'key = value'\n"));
  EXPECT_EQ(-1, HWCONFX_LoadFile((path + ".missing").c_str()));

  EXPECT_EQ(0.0, HWCONF_GetSetupValue(4711));
  EXPECT_EQ(0.0, HWCONF_GetCustomValue(nullptr));
  EXPECT_TRUE(log.Contains("hwconf32: no setup value 4711, using 0\n"));
  HWCONFX_SetSetupValue(4711, -3.25);
  EXPECT_EQ(-3.25, HWCONF_GetSetupValue(4711));
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
  EXPECT_EQ(0x8000, v);
  EXPECT_EQ(0x8000, HWIO_Bit(v, 15) & 0xFFFF);
  EXPECT_EQ(0, HWIO_Bit(0xFFFF, 16));
  EXPECT_EQ(0u, machine.trace().size());

  uint16_t shadow = 0x0018;
  HWIO_LowPuls(0x8700, &shadow, 4);
  HWIO_HighPuls(0x8700, &shadow, 2);
  EXPECT_EQ(0x0018, shadow);
  EXPECT_EQ((std::vector<uint16_t>{0x0008, 0x0018, 0x001C, 0x0018}), machine.trace().Writes(0x8700));
  const auto& e = machine.trace().entries();
  EXPECT_EQ(HWIO_ACC_LOWPULS | (4u << HWIO_ACC_BIT_SHIFT), e[0].flags);
  EXPECT_EQ(HWIO_ACC_LOWPULS | HWIO_ACC_PULSE_END | (4u << HWIO_ACC_BIT_SHIFT), e[1].flags);
  EXPECT_EQ(HWIO_ACC_HIGHPULS | HWIO_ACC_PULSE_END | (2u << HWIO_ACC_BIT_SHIFT), e[3].flags);
}

// Emulated accesses are seen and recorded, but reach no model: reads 0.
TEST_F(HwioBackends, EmulationReachesNoModelAndReadsZero) {
  machine.SetInput(0x8300, 0x1234);
  HWIO_SetEmulation(1);
  EXPECT_EQ(1, HWIOX_GetBackend());
  EXPECT_EQ(0, HWIO_Hin(0x8300));
  EXPECT_NE(0, HWIO_Hout(0x8700, 0x0042));
  EXPECT_NE(0, HWIO_WritePXCode(1, 2));
  HWIO_SetEmulation(0);
  EXPECT_EQ(2, HWIOX_GetBackend());
  EXPECT_EQ(0x1234, HWIO_Hin(0x8300) & 0xFFFF);
  EXPECT_EQ(0, machine.LastWritten(0x8700));
  const auto& e = machine.trace().entries();
  ASSERT_EQ(4u, e.size());
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(i < 3, e[i].emulated()) << sim::FormatEntry(e[i]);
}

TEST_F(HwioBackends, WithoutDeviceOrPortAccessReadsFloatAndWritesDrop) {
  machine.Detach();
  EXPECT_EQ(0, HWIOX_GetBackend());
  // Real ports need an explicit opt-in on the machine; tests never give it.
  EXPECT_EQ(0, HWIO_GrantPortAccess());
  EXPECT_EQ(0, HWIOX_HasPortAccess());
  EXPECT_EQ(0xFFFF, HWIO_Hin(0x8300));
  EXPECT_EQ(0, HWIO_Hout(0x8700, 1));
  uint16_t word = 0;
  EXPECT_EQ(1, HWIOX_DirectAccess(HWIOX_DIRECT_IN, 0x8300, &word, 1));
  EXPECT_EQ(0xFFFF, word);
  EXPECT_EQ(0, HWIO_WritePXCode(1, 2));
  EXPECT_EQ(1, log.Count("hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n"));
  EXPECT_EQ(1, log.Count("hwio32: HWIO_WritePXCode needs a device model or emulation in this stand-in\n"));
}

// A host built before the block callbacks passes the shorter struct to
// HWIOX_AttachDevice: its blocks come word by word.
TEST_F(HwioBackends, BlocksReachADeviceInOneCallOnlyWhenItsStructHasThem) {
  machine.Detach();
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
  EXPECT_EQ(3, words);
  EXPECT_EQ(2, blocks);
}

TEST_F(HwioBackends, RowCodeScanRowAndInterruptsReachTheDevice) {
  EXPECT_EQ(1, HWIO_WriteLLCode(0xDEADBEEF, 7));
  EXPECT_EQ(1, HWIO_PollVorschub(1, 2, 3, 4, 5, 6, 7));
  HWIO_WindowsClearInterrupt();
  HWIO_WindowsSetInterrupt();
  const auto& e = machine.trace().entries();
  ASSERT_EQ(4u, e.size());
  EXPECT_EQ((std::vector<uint32_t>{HWIO_CODE_LL, 0xDEADBEEFu, 7u, 1u, 0u, 1u}),
            (std::vector<uint32_t>{e[0].port, e[0].arg1, e[0].arg2, e[1].arg1, e[2].value, e[3].value}));
  EXPECT_EQ((std::vector<sim::Access>{sim::Access::Code, sim::Access::PollVorschub, sim::Access::Interrupts,
                                      sim::Access::Interrupts}),
            (std::vector<sim::Access>{e[0].kind, e[1].kind, e[2].kind, e[3].kind}));
}

}  // namespace

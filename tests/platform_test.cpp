// The service-library stand-ins: what the library relies on from each, and
// the extensions hosts and tests use.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "errlog32.h"
#include "errlog32_ext.h"
#include "hwconf32.h"
#include "hwconf32_ext.h"
#include "hwinfo32.h"
#include "hwinfo32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "test_support.h"
#include "timing32.h"
#include "timing32_ext.h"

namespace {

using testsupport::LogCapture;
using testsupport::MachineTest;

std::string TempPath(const char* name) { return (::testing::TempDir() + name) + std::to_string(getpid()); }

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// ---- Interpolation ----------------------------------------------------------

TEST(Interpolation, PiecewiseLinearWithEndValuesHeld) {
  const double x[] = {0.0, 10.0, 20.0, 40.0};
  const double y[] = {100.0, 200.0, 150.0, 150.0};
  struct Case {
    double at;
    double want;
  } cases[] = {
      {-1e9, 100.0}, {-5.0, 100.0}, {0.0, 100.0},  {5.0, 150.0},  {10.0, 200.0},
      {15.0, 175.0}, {20.0, 150.0}, {30.0, 150.0}, {40.0, 150.0}, {1e9, 150.0},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(c.want, HWIO_GetLinearInterpoliertenWert(x, y, 4, c.at)) << "at " << c.at;
}

TEST(Interpolation, ShortAndDegenerateTables) {
  const double x[] = {5.0, 5.0, 6.0};
  const double y[] = {1.0, 3.0, 4.0};
  EXPECT_EQ(0.0, HWIO_GetLinearInterpoliertenWert(x, y, 0, 5.0));
  for (double at : {-100.0, 5.0, 1000.0}) EXPECT_EQ(1.0, HWIO_GetLinearInterpoliertenWert(x, y, 1, at));
  // A vertical step: just right of it the upper branch holds, no division by 0.
  EXPECT_DOUBLE_EQ(3.5, HWIO_GetLinearInterpoliertenWert(x, y, 3, 5.5));
  EXPECT_EQ(1.0, HWIO_GetLinearInterpoliertenWert(x, y, 3, std::nan("")));
  // Only the given count is read, whatever follows in the arrays.
  EXPECT_EQ(3.0, HWIO_GetLinearInterpoliertenWert(x, y, 2, 99.0));
}

// ---- Delays -------------------------------------------------------------------

TEST(Timing, DelayUsNeverReturnsEarly) {
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  for (uint32_t us : {1u, 10u, 37u, 200u}) {
    for (int i = 0; i < 50; ++i) {
      const auto start = std::chrono::steady_clock::now();
      TIMING_DelayUS(us);
      const auto took = std::chrono::steady_clock::now() - start;
      ASSERT_GE(std::chrono::duration_cast<std::chrono::nanoseconds>(took).count(), us * 1000ll) << us << " us";
    }
  }
}

TEST(Timing, DelayMsNeverReturnsEarly) {
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  for (uint32_t ms : {1u, 3u}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(0, TIMING_Delay(ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms));
  }
}

struct ClockLog {
  std::vector<uint64_t> advances;
};
void CARDN5_CDECL Record(void* ctx, uint64_t us) { static_cast<ClockLog*>(ctx)->advances.push_back(us); }

TEST(Timing, VirtualClockTakesEveryDelayWithoutWaiting) {
  ClockLog clock;
  TIMINGX_SetVirtualClock(Record, &clock);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(10000, TIMING_Delay(10000));
  EXPECT_EQ(1666, TIMING_DelayUS(1666));
  EXPECT_EQ(1, TIMING_DelayUS(0));
  EXPECT_NE(0, TIMINGX_Sleep(1));
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ((std::vector<uint64_t>{10000000u, 1666u, 0u, 1000u}), clock.advances);
}

// ---- Log and recorded error ------------------------------------------------------

TEST(ErrLog, CapturesFormattedTextExactly) {
  LogCapture log;
  ERRLOG_WriteToLOGFile("Register0: %x\n", 1199);
  ERRLOG_WriteToLOGFile("CEPUCard::SetDAC0 %3.2lf V \n", 2.5);
  ERRLOG_WriteToLOGFile("%s %ld|", "text", 42L);
  EXPECT_EQ((std::vector<std::string>{"Register0: 4af\n", "CEPUCard::SetDAC0 2.50 V \n", "text 42|"}), log.Lines());
}

TEST(ErrLog, AppendsTimestampedLinesToTheChosenFile) {
  LogCapture log;
  const std::string path = TempPath("cardn5-log");
  std::remove(path.c_str());
  ERRLOGX_SetLogPath(path.c_str());
  ERRLOG_WriteToLOGFile("first %d\n", 1);
  ERRLOG_WriteToLOGFile("second\n");
  char chosen[512];
  EXPECT_EQ(static_cast<int32_t>(path.size()), ERRLOGX_GetLogPath(chosen, sizeof chosen));
  EXPECT_EQ(path, chosen);
  ERRLOGX_SetLogPath(nullptr);
  ERRLOG_WriteToLOGFile("not in the file\n");
  const std::string text = ReadFile(path);
  std::remove(path.c_str());
  // "YYYY-MM-DD hh:mm:ss.mmm " then the caller's text, line by line.
  std::istringstream lines(text);
  std::string line;
  std::vector<std::string> bodies;
  while (std::getline(lines, line)) {
    ASSERT_GT(line.size(), 24u) << line;
    EXPECT_EQ('-', line[4]);
    EXPECT_EQ(':', line[13]);
    EXPECT_EQ('.', line[19]);
    bodies.push_back(line.substr(24));
  }
  EXPECT_EQ((std::vector<std::string>{"first 1", "second"}), bodies);
}

TEST(ErrLog, RecordsTheLastErrorWithItsSource) {
  testsupport::ClearLastError();
  EXPECT_EQ(0, ERRLOG_IsError());
  ERRLOG_SetLastDebugError(2006, 0, "CEPU.cpp", 120);
  ERRLOG_SetLastDebugError(2101, 0, "CEPU.cpp", 77);
  EXPECT_NE(0, ERRLOG_IsError());
  const testsupport::RecordedError e = testsupport::LastError();
  EXPECT_EQ(2101, e.code);
  EXPECT_EQ("CEPU.cpp", e.file);
  EXPECT_EQ(77, e.line);
  EXPECT_EQ(2, ERRLOGX_ErrorCount());
  testsupport::ClearLastError();
  EXPECT_EQ(0, ERRLOG_IsError());
  EXPECT_EQ(0, testsupport::LastError().code);
}

// ---- Setup values ------------------------------------------------------------------

TEST(HwConf, DefaultsForEverySetupIdAndModulationKey) {
  HWCONFX_ResetDefaults();
  LogCapture log;
  for (int id = 118; id <= 123; ++id) EXPECT_GT(HWCONF_GetSetupValue(id), 0.0) << id;
  const char* channels[] = {"Floor", "Middle", "Contour"};
  const char* params[] = {"FirstStep", "PowerMin", "PowerMax", "ClockDivider"};
  for (const char* c : channels)
    for (const char* p : params) {
      const std::string key = std::string("AMU_Channel_") + c + "_" + p;
      const double v = HWCONF_GetCustomValue(key.c_str());
      EXPECT_GE(v, 0.0) << key;
      EXPECT_LE(v, 255.0) << key;
    }
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  EXPECT_EQ(18, HWCONFX_QueryCount());
}

TEST(HwConf, FileOverridesDefaultsAndReportsBadLines) {
  HWCONFX_ResetDefaults();
  const std::string path = TempPath("cardn5-hwconf");
  {
    std::ofstream f(path);
    f << "# bench machine\n"
         "118 = 12.5\n"
         "  AMU_Channel_Floor_PowerMax=300.7   # over a byte on purpose\n"
         "\n"
         "120 = fast\n"
         "no equals sign\n";
  }
  LogCapture log;
  EXPECT_EQ(2, HWCONFX_LoadFile(path.c_str()));
  std::remove(path.c_str());
  EXPECT_EQ(12.5, HWCONF_GetSetupValue(118));
  EXPECT_EQ(300.7, HWCONF_GetCustomValue("AMU_Channel_Floor_PowerMax"));
  EXPECT_EQ(5.0, HWCONF_GetSetupValue(120));  // the bad line left the default
  EXPECT_EQ(2, log.Count("hwconf32: " + path + ":5: expected 'id = value' or 'key = value'\n") +
                   log.Count("hwconf32: " + path + ":6: expected 'id = value' or 'key = value'\n"));
  EXPECT_EQ(-1, HWCONFX_LoadFile((path + ".missing").c_str()));
  HWCONFX_ResetDefaults();
  EXPECT_EQ(10.0, HWCONF_GetSetupValue(118));
}

TEST(HwConf, UnknownValuesYieldZeroWithALogLine) {
  HWCONFX_ResetDefaults();
  LogCapture log;
  EXPECT_EQ(0.0, HWCONF_GetSetupValue(4711));
  EXPECT_EQ(0.0, HWCONF_GetCustomValue("AMU_Channel_Nowhere"));
  EXPECT_EQ(0.0, HWCONF_GetCustomValue(nullptr));
  EXPECT_TRUE(log.Contains("hwconf32: no setup value 4711, using 0\n"));
  EXPECT_TRUE(log.Contains("hwconf32: no custom value AMU_Channel_Nowhere, using 0\n"));
  HWCONFX_SetSetupValue(4711, -3.25);
  HWCONFX_SetCustomValue("AMU_Channel_Nowhere", 7);
  EXPECT_EQ(-3.25, HWCONF_GetSetupValue(4711));
  EXPECT_EQ(7.0, HWCONF_GetCustomValue("AMU_Channel_Nowhere"));
  HWCONFX_ResetDefaults();
}

// ---- Hardware-information window ------------------------------------------------------

TEST(HwInfo, ShowsTextsInTheLogAndKeepsEveryCall) {
  HWINFOX_Clear();
  HWINFOX_SetEcho(0);
  LogCapture log;
  const int32_t window = HWINFO_ShowHDWInfo(HWINFO_OPEN, 0, nullptr);
  EXPECT_NE(0, window);
  EXPECT_EQ(1, HWINFOX_IsShown());
  HWINFO_ShowHDWInfo(window, HWINFO_TEXT, "plot height too large");
  HWINFO_HideHDWInfo(window);
  HWINFO_ShowHDWInfo(HWINFO_CLOSED, 0, nullptr);
  EXPECT_EQ(0, HWINFOX_IsShown());
  EXPECT_EQ((std::vector<std::string>{"hwinfo32: plot height too large\n"}), log.Lines());
  ASSERT_EQ(4, HWINFOX_CallCount());
  int32_t kind, what, code;
  char text[64];
  ASSERT_EQ(1, HWINFOX_GetCall(1, &kind, &what, &code, text, sizeof text));
  EXPECT_EQ(0, kind);
  EXPECT_EQ(window, what);
  EXPECT_EQ(HWINFO_TEXT, code);
  EXPECT_STREQ("plot height too large", text);
  ASSERT_EQ(1, HWINFOX_GetCall(2, &kind, &what, &code, text, sizeof text));
  EXPECT_EQ(1, kind);
  EXPECT_EQ(window, what);
  EXPECT_EQ(0, HWINFOX_GetCall(4, &kind, &what, &code, text, sizeof text));
}

// ---- Port I/O backends ------------------------------------------------------------------

using HwioBackends = MachineTest;

TEST_F(HwioBackends, BitOperationsChangeMemoryOnlyAndIgnoreBitsBeyond15) {
  uint16_t v = 0x0100;
  HWIO_SetBit(&v, 15);
  HWIO_SetBit(&v, 16);
  HWIO_SetBit(&v, -1);
  HWIO_ResetBit(&v, 8);
  EXPECT_EQ(0x8000, v);
  EXPECT_EQ(0x8000, HWIO_Bit(v, 15) & 0xFFFF);
  EXPECT_EQ(0, HWIO_Bit(0xFFFF, 16));
  EXPECT_EQ(0, HWIO_Bit(v, 0));
  EXPECT_EQ(0u, machine.trace().size());
}

TEST_F(HwioBackends, PulsesDriveTheBitAndLeaveTheShadow) {
  uint16_t shadow = 0x0018;
  HWIO_LowPuls(0x8700, &shadow, 4);
  HWIO_HighPuls(0x8700, &shadow, 2);
  EXPECT_EQ(0x0018, shadow);
  EXPECT_EQ((std::vector<uint16_t>{0x0008, 0x0018, 0x001C, 0x0018}), machine.trace().Writes(0x8700));
  const auto& e = machine.trace().entries();
  ASSERT_EQ(4u, e.size());
  EXPECT_EQ(HWIO_ACC_LOWPULS | (4u << HWIO_ACC_BIT_SHIFT), e[0].flags);
  EXPECT_EQ(HWIO_ACC_LOWPULS | HWIO_ACC_PULSE_END | (4u << HWIO_ACC_BIT_SHIFT), e[1].flags);
  EXPECT_EQ(HWIO_ACC_HIGHPULS | HWIO_ACC_PULSE_END | (2u << HWIO_ACC_BIT_SHIFT), e[3].flags);
}

TEST_F(HwioBackends, EmulationReachesNoModelAndReadsZero) {
  machine.SetInput(0x8300, 0x1234);
  EXPECT_EQ(0x1234, HWIO_Hin(0x8300) & 0xFFFF);
  HWIO_SetEmulation(1);
  EXPECT_EQ(1, HWIOX_GetBackend());
  EXPECT_EQ(0, HWIO_Hin(0x8300));
  EXPECT_NE(0, HWIO_Hout(0x8700, 0x0042));
  EXPECT_NE(0, HWIO_WritePXCode(1, 2));
  HWIO_SetEmulation(0);
  EXPECT_EQ(2, HWIOX_GetBackend());
  // Seen and recorded as emulated, but never delivered to the machine.
  EXPECT_EQ(0, machine.LastWritten(0x8700));
  int emulated = 0;
  for (const auto& e : machine.trace().entries()) emulated += e.emulated() ? 1 : 0;
  EXPECT_EQ(3, emulated);
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

TEST_F(HwioBackends, DirectAccessReachesTheDeviceMarkedDirect) {
  machine.QueueReads(0xA300, {1, 2, 3});
  uint16_t words[3] = {};
  EXPECT_EQ(1, HWIOX_DirectAccess(HWIOX_DIRECT_IN_BLOCK, 0xA300, words, 3));
  EXPECT_EQ(3, words[2]);
  uint16_t out[2] = {0xAAAA, 0x5555};
  EXPECT_EQ(1, HWIOX_DirectAccess(HWIOX_DIRECT_OUT_BLOCK, 0xA300, out, 2));
  EXPECT_EQ(2u, machine.trace().All().BlockWords(sim::Access::BlockOut, 0xA300));  // one entry a block
  for (const auto& e : machine.trace().entries()) EXPECT_TRUE(e.flags & HWIO_ACC_DIRECT);
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
  EXPECT_EQ(sim::Access::Code, e[0].kind);
  EXPECT_EQ(HWIO_CODE_LL, e[0].port);
  EXPECT_EQ(0xDEADBEEFu, e[0].arg1);
  EXPECT_EQ(7u, e[0].arg2);
  EXPECT_EQ(sim::Access::PollVorschub, e[1].kind);
  EXPECT_EQ(0, e[2].value);
  EXPECT_EQ(1, e[3].value);
}

}  // namespace

// The simulator's own checks: a simulator bug would make every board test lie.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hwio32.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "test_support.h"
#include "timing32.h"
#include "timing32_ext.h"

namespace {

using testsupport::MachineTest;

// A latch that echoes the last write plus one, and counts time passing.
class EchoBoard : public sim::Board {
 public:
  bool Read(uint16_t port, uint32_t, uint16_t& value) override {
    if (port != 0x1300) return false;
    value = static_cast<uint16_t>(m_latch + 1);
    return true;
  }
  void Write(uint16_t port, uint16_t value, uint32_t) override {
    if (port == 0x1300) m_latch = value;
  }
  void Advance(uint64_t nowNs) override { m_seenNs = nowNs; }
  uint16_t m_latch = 0;
  uint64_t m_seenNs = 0;
};

using Simulator = MachineTest;

TEST_F(Simulator, EveryAccessAndDelayAdvancesVirtualTime) {
  auto& echo = machine.Add<EchoBoard>();
  const uint64_t t0 = machine.NowNs();
  HWIO_Hout(0x1300, 1);
  HWIO_Hin(0x1300);
  TIMING_DelayUS(10);
  TIMING_Delay(10000);
  TIMINGX_Sleep(1);
  const uint64_t want = 2 * sim::Machine::kPortAccessNs + 10000 + 10000000000ull + 1000000;
  EXPECT_EQ(t0 + want, machine.NowNs());
  EXPECT_EQ(machine.NowNs(), echo.m_seenNs);
  const auto& e = machine.trace().entries();
  ASSERT_EQ(5u, e.size());
  EXPECT_EQ(sim::Access::Delay, e[2].kind);
  EXPECT_EQ(10u, e[2].arg1);
  EXPECT_EQ(10000000u, e[3].arg1);
}

TEST_F(Simulator, ModelsAnswerTheirPortsAndTheLatchAnswersTheRest) {
  machine.Add<EchoBoard>();
  HWIO_Hout(0x1300, 0x41);
  EXPECT_EQ(0x42, HWIO_Hin(0x1300));
  EXPECT_EQ(0xFFFF, HWIO_Hin(0x1700)) << "an open bus floats high";
  machine.SetInput(0x1700, 0x0005);
  machine.QueueReads(0x1700, {1, 2});
  EXPECT_EQ(1, HWIO_Hin(0x1700));
  EXPECT_EQ(2, HWIO_Hin(0x1700));
  EXPECT_EQ(5, HWIO_Hin(0x1700));
  EXPECT_EQ(5, HWIO_Hin(0x1700));
  EXPECT_EQ(0x41, machine.LastWritten(0x1300));
  EXPECT_EQ(0, machine.LastWritten(0x1700));
}

TEST_F(Simulator, PollingLoopsFoldIntoOneTraceEntry) {
  machine.SetInput(0x8300, 0x0040);
  for (int i = 0; i < 30000; ++i) HWIO_Hin(0x8300);
  machine.SetInput(0x8300, 0x0042);
  HWIO_Hin(0x8300);
  const auto& e = machine.trace().entries();
  ASSERT_EQ(2u, e.size());
  EXPECT_EQ(30000u, e[0].repeat);
  EXPECT_EQ(30001u, machine.trace().ReadCount(0x8300));
  EXPECT_EQ(30000 * sim::Machine::kPortAccessNs, e[1].timeNs - e[0].timeNs);
  EXPECT_NE(std::string::npos, machine.trace().ToString().find("in   8300 -> 0x0040  x30000"));
  // reads after a mark count there, not in the entry before it
  const size_t mark = machine.trace().Mark();
  HWIO_Hin(0x8300);
  EXPECT_EQ(1u, machine.trace().Since(mark).ReadCount(0x8300));
}

TEST_F(Simulator, TracePrintsInHexWithPulseMarks) {
  uint16_t shadow = 0x0200;
  HWIO_Hout(0xC300, 0xFE41);
  HWIO_LowPuls(0x8700, &shadow, 4);
  const std::string text = machine.trace().ToString();
  EXPECT_NE(std::string::npos, text.find("out  C300 <- 0xFE41\n")) << text;
  EXPECT_NE(std::string::npos, text.find("out  8700 <- 0x0200  [lowpuls bit 4]\n")) << text;
  EXPECT_NE(std::string::npos, text.find("out  8700 <- 0x0210  [lowpuls bit 4 end]\n")) << text;
}

TEST_F(Simulator, VcdDumpDeclaresEachPortAndItsChanges) {
  HWIO_Hout(0x8700, 0x0001);
  HWIO_Hout(0x8700, 0x8000);
  machine.SetInput(0x8300, 0x0003);
  HWIO_Hin(0x8300);
  const std::string vcd = machine.trace().ToVcd();
  EXPECT_EQ(0u, vcd.find("$timescale 1ns $end\n"));
  EXPECT_NE(std::string::npos, vcd.find("$var wire 16 ! in_8300 $end\n")) << vcd;
  EXPECT_NE(std::string::npos, vcd.find("$var wire 16 \" out_8700 $end\n")) << vcd;
  EXPECT_NE(std::string::npos, vcd.find("$enddefinitions $end\n#0\nb0000000000000001 \"\n")) << vcd;
  EXPECT_NE(std::string::npos, vcd.find("#1000\nb1000000000000000 \"\n#2000\nb0000000000000011 !\n")) << vcd;

  const std::string path = ::testing::TempDir() + "cardn5-trace.vcd";
  ASSERT_TRUE(machine.trace().WriteVcd(path));
  std::ifstream f(path);
  std::stringstream ss;
  ss << f.rdbuf();
  EXPECT_EQ(vcd, ss.str());
  std::remove(path.c_str());
}

TEST_F(Simulator, DetachHandsPortsAndDelaysBack) {
  machine.Detach();
  EXPECT_EQ(0, HWIOX_GetBackend());
  const uint64_t t = machine.NowNs();
  TIMING_DelayUS(1);
  HWIO_Hout(0x1300, 1);
  EXPECT_EQ(t, machine.NowNs());
  EXPECT_EQ(0u, machine.trace().size());
  machine.Attach();
  EXPECT_EQ(2, HWIOX_GetBackend());
}

TEST_F(Simulator, TwoThreadsAccessTheBusAtOnce) {
  machine.Add<EchoBoard>();
  machine.trace().SetEnabled(true);
  constexpr int kPerThread = 5000;
  std::atomic<bool> go{false};
  auto writer = [&] {
    while (!go) {
    }
    for (int i = 0; i < kPerThread; ++i) HWIO_Hout(0x1300, static_cast<uint16_t>(i));
  };
  auto reader = [&] {
    while (!go) {
    }
    for (int i = 0; i < kPerThread; ++i) HWIO_Hin(0x8300);
  };
  std::thread a(writer), b(reader);
  go = true;
  a.join();
  b.join();
  EXPECT_EQ(static_cast<uint64_t>(kPerThread), machine.trace().ReadCount(0x8300));
  EXPECT_EQ(static_cast<size_t>(kPerThread), machine.trace().Writes(0x1300).size());
  EXPECT_EQ(2u * kPerThread * sim::Machine::kPortAccessNs, machine.NowNs());
}

using SimulatorDeathTest = MachineTest;

TEST_F(SimulatorDeathTest, ARunawayWaitEndsAtTheTimeLimitWithTheTrace) {
  // A forked child, never a re-executed program: under qemu-i386 without a
  // binfmt entry the m32 build could not start one.
  GTEST_FLAG_SET(death_test_style, "fast");
  machine.SetTimeLimitNs(1000000);
  EXPECT_DEATH(
      {
        for (;;) HWIO_Hin(0x8300);
      },
      "virtual time passed its limit");
}

}  // namespace

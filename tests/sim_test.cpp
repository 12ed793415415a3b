// The simulator's own checks: a simulator bug would make every board test lie.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "epu_model.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "machine.h"
#include "mbu_model.h"
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

TEST_F(Simulator, EveryAccessAndDelayAdvancesVirtualTimeWhileAttached) {
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
  EXPECT_EQ((std::vector<uint32_t>{10, 10000000, 1000}), machine.trace().Delays());
  // detached, the ports and delays go back to the stand-ins
  machine.Detach();
  EXPECT_EQ(0, HWIOX_GetBackend());
  TIMING_DelayUS(1);
  HWIO_Hout(0x1300, 1);
  EXPECT_EQ(t0 + want, machine.NowNs());
  EXPECT_EQ(5u, machine.trace().size());
  machine.Attach();
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

// A polling loop folds into one entry; the text shows it in hex, with
// pulse marks.
TEST_F(Simulator, PollingLoopsFoldIntoOneTraceEntry) {
  machine.SetInput(0x8300, 0x0040);
  for (int i = 0; i < 30000; ++i) HWIO_Hin(0x8300);
  uint16_t shadow = 0x0200;
  HWIO_LowPuls(0x8700, &shadow, 4);
  const auto& e = machine.trace().entries();
  ASSERT_EQ(3u, e.size());
  EXPECT_EQ(30000u, machine.trace().ReadCount(0x8300));
  EXPECT_EQ(30000 * sim::Machine::kPortAccessNs, e[1].timeNs - e[0].timeNs);
  const std::string text = machine.trace().ToString();
  for (const char* line : {"in   8300 -> 0x0040  x30000\n", "out  8700 <- 0x0200  [lowpuls bit 4]\n",
                           "out  8700 <- 0x0210  [lowpuls bit 4 end]\n"})
    EXPECT_NE(std::string::npos, text.find(line)) << text;
}

TEST_F(Simulator, TraceQueriesOverAStretchSinceAMark) {
  machine.SetInput(0x8300, 0x0040);
  HWIO_Hin(0x8300);
  HWIO_Hin(0x8300);
  const size_t mark = machine.trace().Mark();
  HWIO_Hin(0x8300);  // not folded into the reads before the mark
  HWIO_WindowsClearInterrupt();
  HWIO_Hout(0x8700, 1);
  TIMING_DelayUS(10);
  const uint64_t lastWrite = machine.NowNs();
  HWIO_Hout(0x8700, 2);
  HWIO_WindowsSetInterrupt();
  const sim::TraceView since = machine.trace().Since(mark);
  EXPECT_EQ(std::vector<uint16_t>{0x0040}, since.Reads(0x8300));
  EXPECT_EQ(3u, machine.trace().All().Reads(0x8300).size());
  EXPECT_EQ(1u, since.HoldOffs());
  EXPECT_EQ(2u, since.UntilFirstWrite().size());
  EXPECT_EQ((std::vector<uint16_t>{1}), machine.trace().Between(mark, mark + 3).Writes(0x8700));
  EXPECT_EQ(lastWrite, since.LastWriteNs());
  EXPECT_EQ(1u, since.CountDelays(10));
  EXPECT_FALSE(since.OnlyDirectReadsInterruptsRestored());  // port-library reads and writes
  EXPECT_EQ((std::pair<size_t, size_t>{0, 5}), (std::pair{since.Accesses(true), since.Accesses(false)}));
  EXPECT_FALSE(machine.HasViolation(""));
}

TEST_F(Simulator, VcdDumpDeclaresEachPortAndItsChanges) {
  HWIO_Hout(0x8700, 0x0001);
  HWIO_Hout(0x8700, 0x8000);
  machine.SetInput(0x8300, 0x0003);
  HWIO_Hin(0x8300);
  const std::string vcd = machine.trace().ToVcd();
  EXPECT_EQ(0u, vcd.find("$timescale 1ns $end\n"));
  for (const char* part : {"$var wire 16 ! in_8300 $end\n", "$var wire 16 \" out_8700 $end\n",
                           "$enddefinitions $end\n#0\nb0000000000000001 \"\n",
                           "#1000\nb1000000000000000 \"\n#2000\nb0000000000000011 !\n"})
    EXPECT_NE(std::string::npos, vcd.find(part)) << vcd;
  EXPECT_FALSE(machine.trace().WriteVcd("/nonexistent/dir/trace.vcd"));
}

TEST_F(Simulator, TwoThreadsAccessTheBusAtOnce) {
  machine.Add<EchoBoard>();
  machine.trace().SetEnabled(true);
  constexpr int kPerThread = 5000;
  std::atomic<bool> go{false};
  auto run = [&](bool write) {
    while (!go) {
    }
    for (int i = 0; i < kPerThread; ++i) write ? HWIO_Hout(0x1300, static_cast<uint16_t>(i)) : HWIO_Hin(0x8300);
  };
  std::thread a(run, true), b(run, false);
  go = true;
  a.join();
  b.join();
  EXPECT_EQ(static_cast<uint64_t>(kPerThread), machine.trace().ReadCount(0x8300));
  EXPECT_EQ(static_cast<size_t>(kPerThread), machine.trace().Writes(0x1300).size());
  EXPECT_EQ(2u * kPerThread * sim::Machine::kPortAccessNs, machine.NowNs());
}

using SimulatorDeathTest = MachineTest;

TEST_F(SimulatorDeathTest, BoardsWhosePortsOverlapNeedAMachineEach) {
  GTEST_FLAG_SET(death_test_style, "fast");
  machine.Add<sim::EpuModel>();
  EXPECT_DEATH(machine.Add<sim::MbuModel>(), "two board models answer ports A300-BF00");
}

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

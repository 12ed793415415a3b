// The simulator's own checks: a simulator bug would make every board test lie.

#include "epu_model.h"
#include "hwio32.h"
#include "hwio32_ext.h"
#include "mbu_model.h"
#include "test_support.h"
#include "timing32.h"
#include "timing32_ext.h"

namespace {

// Sees every port and answers none; counts time passing.
class ClockBoard : public sim::Board {
 public:
  void Advance(uint64_t nowNs) override { m_seenNs = nowNs; }
  uint64_t m_seenNs = 0;
};

using Simulator = testsupport::MachineTest;

TEST_F(Simulator, EveryAccessAndDelayAdvancesVirtualTimeWhileAttached) {
  auto& clock = machine.Add<ClockBoard>();
  const uint64_t t0 = machine.NowNs();
  HWIO_Hout(0x1300, 1);
  HWIO_Hin(0x1300);
  TIMING_DelayUS(10);
  TIMING_Delay(10000);
  TIMINGX_Sleep(1);
  const uint64_t want = 2 * sim::Machine::kPortAccessNs + 10000 + 10000000000ull + 1000000;
  EXPECT_EQ((std::pair{t0 + want, t0 + want}), (std::pair{machine.NowNs(), clock.m_seenNs}));
  EXPECT_EQ((std::vector<uint32_t>{10, 10000000, 1000}), machine.trace().Delays());
  // detached, the ports and delays go back to the stand-ins
  machine.Detach();
  TIMING_DelayUS(1);
  HWIO_Hout(0x1300, 1);
  EXPECT_EQ((std::pair<uint64_t, size_t>{t0 + want, 5}), (std::pair{machine.NowNs(), machine.trace().size()}));
  machine.Attach();
}

// A polling loop folds into one entry, never across a mark; the text shows
// it in hex, with pulse marks.
TEST_F(Simulator, PollingLoopsFoldIntoOneTraceEntryAndQueriesSinceAMark) {
  machine.SetInput(0x8300, 0x0040);
  for (int i = 0; i < 30000; ++i) HWIO_Hin(0x8300);
  uint16_t shadow = 0x0200;
  HWIO_LowPuls(0x8700, &shadow, 4);
  const auto& e = machine.trace().All();
  ASSERT_EQ(3u, e.size());
  EXPECT_EQ(30000u, machine.trace().ReadCount(0x8300));
  EXPECT_EQ(30000 * sim::Machine::kPortAccessNs, e[1].timeNs - e[0].timeNs);
  const std::string text = machine.trace().ToString();
  for (const char* line : {"in   8300 -> 0x0040  x30000\n", "out  8700 <- 0x0200  [lowpuls bit 4]\n",
                           "out  8700 <- 0x0210  [lowpuls bit 4 end]\n"})
    EXPECT_NE(std::string::npos, text.find(line)) << text;

  // the queries over a stretch since a mark
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
  // all reads, hold-offs, accesses up to the first write, 10 us delays, emulated and other accesses
  EXPECT_EQ(
      (std::vector<size_t>{30002, 1, 2, 1, 0, 5}),
      (std::vector<size_t>{machine.trace().All().Reads(0x8300).size(), since.HoldOffs(), since.UntilFirstWrite().size(),
                           since.CountDelays(10), since.Accesses(true), since.Accesses(false)}));
  EXPECT_EQ((std::vector<uint16_t>{1}), machine.trace().Between(mark, mark + 3).Writes(0x8700));
  EXPECT_EQ(lastWrite, since.LastWriteNs());
  EXPECT_FALSE(since.OnlyDirectReadsInterruptsRestored());  // port-library reads and writes
  EXPECT_FALSE(machine.HasViolation(""));
}

TEST_F(Simulator, VcdDumpDeclaresEachPortAndItsChanges) {
  HWIO_Hout(0x8700, 0x0001);
  HWIO_Hout(0x8700, 0x8000);
  machine.SetInput(0x8300, 0x0003);
  HWIO_Hin(0x8300);
  const std::string vcd = machine.trace().ToVcd();
  for (const char* part : {"$var wire 16 ! in_8300 $end\n", "$var wire 16 \" out_8700 $end\n",
                           "$enddefinitions $end\n#0\nb0000000000000001 \"\n",
                           "#1000\nb1000000000000000 \"\n#2000\nb0000000000000011 !\n"})
    EXPECT_NE(std::string::npos, vcd.find(part)) << vcd;
  EXPECT_FALSE(machine.trace().WriteVcd("/nonexistent/dir/trace.vcd"));
}

using SimulatorDeathTest = testsupport::MachineTest;

// A runaway wait ends at the time limit; boards whose ports overlap need a
// machine each.
TEST_F(SimulatorDeathTest, RunawayWaitsAndOverlappingBoardsEndTheProgram) {
  // A forked child, never a re-executed program: under qemu-i386 without a
  // binfmt entry the m32 build could not start one.
  GTEST_FLAG_SET(death_test_style, "fast");
  machine.SetTimeLimitNs(1000000);
  EXPECT_DEATH(
      {
        for (;;) HWIO_Hin(0x8300);
      },
      "virtual time passed its limit");
  machine.Add<sim::EpuModel>();
  EXPECT_DEATH(machine.Add<sim::MbuModel>(), "two board models answer ports A300-BF00");
}

}  // namespace

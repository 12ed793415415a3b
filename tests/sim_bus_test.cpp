// The machine's bus path: the port-to-board table, the clock list and the
// lock that a job's own thread passes without the mutex.

#include <atomic>
#include <functional>

#include "epu_model.h"
#include "epu_regs.h"
#include "hwio32.h"
#include "test_support.h"

namespace {

// A board on the ports first..last: answers reads with tag + the port's
// high byte while it answers at all, and counts the writes it sees.
class RangeBoard : public sim::Board {
 public:
  RangeBoard(uint16_t first, uint16_t last, uint16_t tag) : m_first(first), m_last(last), m_tag(tag) {}
  bool OnBus(uint16_t port) const override { return port >= m_first && port <= m_last; }
  bool Read(uint16_t port, uint32_t, uint16_t& value) override {
    value = static_cast<uint16_t>(m_tag | port >> 8);
    return m_answers;
  }
  void Write(uint16_t port, uint16_t, uint32_t) override { m_writes.push_back(port); }
  void Advance(uint64_t nowNs) override { m_seenNs = nowNs; }
  const uint16_t m_first, m_last, m_tag;
  bool m_answers = true;
  std::vector<uint16_t> m_writes;
  uint64_t m_seenNs = 0;
};

// A board that declares no ports (so sees them all) and keeps no time.
class AllPortsBoard : public sim::Board {
 public:
  void Write(uint16_t port, uint16_t, uint32_t) override { m_writes.push_back(port); }
  std::vector<uint16_t> m_writes;
};

using SimBus = testsupport::MachineTest;

TEST_F(SimBus, ReadsGoToTheFirstBoardOnThePortWritesToEveryBoardOnIt) {
  machine.SetInput(0x2700, 0x1234);
  EXPECT_EQ(0x1234, HWIO_Hin(0x2700));  // accessed before any board exists
  auto& all = machine.Add<AllPortsBoard>();
  auto& a = machine.Add<RangeBoard>(0x1300, 0x1700, 0xA000);
  EXPECT_EQ(0x1234, HWIO_Hin(0x2700));
  auto& b = machine.Add<RangeBoard>(0x1700, 0x2700, 0xB000);
  machine.QueueReads(0x1300, {0x0042});
  const std::pair<uint16_t, uint16_t> reads[] = {
      {0x1300, 0xA013},  // a's alone; the queued value waits
      {0x1700, 0xA017},  // a and b: a came first
      {0x2700, 0xB027},  // b, added after the port was read
      {0x2B00, 0xFFFF},  // nobody's: the latch
  };
  for (const auto& [port, want] : reads) EXPECT_EQ(want, HWIO_Hin(port)) << std::hex << port;
  a.m_answers = false;
  // a declines: the queue, then the latch
  for (const uint16_t want : {0x0042, 0xFFFF}) EXPECT_EQ(want, HWIO_Hin(0x1300));
  EXPECT_EQ(0xB017, HWIO_Hin(0x1700));  // declined by a, b answers

  for (uint16_t port : {0x1300, 0x1700, 0x2700, 0x5B00}) HWIO_Hout(port, 1);
  EXPECT_EQ((std::vector<std::vector<uint16_t>>{{0x1300, 0x1700}, {0x1700, 0x2700}, {0x1300, 0x1700, 0x2700, 0x5B00}}),
            (std::vector{a.m_writes, b.m_writes, all.m_writes}));
  EXPECT_EQ(1, machine.LastWritten(0x5B00));
}

TEST_F(SimBus, BoardsKeepingTimeSeeItBesideOnesThatDoNot) {
  machine.Add<AllPortsBoard>();
  auto& first = machine.Add<RangeBoard>(0x1300, 0x1300, 0);
  machine.Add<AllPortsBoard>();
  auto& last = machine.Add<RangeBoard>(0x1300, 0x1300, 0);
  HWIO_Hin(0x1300);  // the first tick drops the boards without a clock
  for (const RangeBoard* b : {&first, &last}) EXPECT_EQ(machine.NowNs(), b->m_seenNs);
  auto& later = machine.Add<RangeBoard>(0x1300, 0x1300, 0);
  machine.AdvanceNs(5);
  for (const RangeBoard* b : {&first, &last, &later}) EXPECT_EQ(machine.NowNs(), b->m_seenNs);
}

// Each access marks the board busy for a while and fails when it finds
// another access inside: the two threads' accesses must never overlap.
class ExclusiveBoard : public sim::Board {
 public:
  bool Read(uint16_t port, uint32_t, uint16_t& value) override {
    Inside();
    value = port;
    return true;
  }
  void Write(uint16_t, uint16_t, uint32_t) override { Inside(); }
  void Inside() {
    if (m_inside.exchange(true)) m_overlaps++;
    for (int i = 0; i < 200; ++i) std::this_thread::yield();
    m_inside = false;
  }
  std::atomic<bool> m_inside{false};
  std::atomic<int> m_overlaps{0};
};

TEST_F(SimBus, ASecondThreadSharesTheBusWithTheMachinesOwnThread) {
  auto& board = machine.Add<ExclusiveBoard>();
  constexpr int kEach = 300;
  HWIO_Hin(0x1300);  // the owner's path without the mutex first
  EXPECT_FALSE(machine.mutex().shared());
  const uint64_t t0 = machine.NowNs();
  std::atomic<bool> guestDone{false};
  std::thread guest([&] {
    for (int i = 0; i < kEach; ++i) HWIO_Hout(0x2300, static_cast<uint16_t>(i));
    guestDone = true;
  });
  int reads = 0;
  for (; !guestDone || reads < kEach; ++reads) EXPECT_EQ(0x1300, HWIO_Hin(0x1300));
  guest.join();
  // the lock shared, no overlap, the time of every access, each read and write traced
  EXPECT_EQ(
      (std::vector<uint64_t>{1, 0, t0 + (reads + kEach) * sim::Machine::kPortAccessNs, reads + 1u, kEach}),
      (std::vector<uint64_t>{machine.mutex().shared(), static_cast<uint64_t>(board.m_overlaps.load()), machine.NowNs(),
                             machine.trace().ReadCount(0x1300), machine.trace().Writes(0x2300).size()}));
}

// The EPU model keeps its status word between changes: every poll must
// still see what the board computes from scratch at that instant, across
// the index pulse's edges, the ends of busy spans and test-face changes.
TEST_F(SimBus, EpuStatusKeptBetweenChangesIsNeverStale) {
  auto& epu = machine.Add<sim::EpuModel>();
  uint16_t control = BitMask(epu::Control::kRowDone);
  // the step, then the polls and the reads among them that differ from the read before
  const std::tuple<std::function<void()>, int, int> steps[] = {
      {[] {}, 2100, 5},  // index falls at 50 us, rises at 1000, falls at 1050, ...
      {[&] { HWIO_LowPuls(epu::kControlPort, &control, static_cast<int32_t>(epu::Control::kStart)); }, 50, 1},
      {[&] { HWIO_HighPuls(epu::kControlPort, &control, static_cast<int32_t>(epu::Control::kBankChange)); }, 1100,
       5},  // ENVORSCH_BIT for 20 us, the slot and turn-off block for a turn, two index pulses
      {[] { HWIO_Hout(epu::kStatusPort, epu::kCommand); }, 10, 2},  // code input busy 3 us
      {[&] { epu.set_pll_locked(false); }, 3, 1},
      {[&] { epu.set_index_high_ns(400000); }, 1000, 3},  // high again at once, then an edge each
      {[&] { epu.set_wrong_bank(true); }, 3, 1},
  };
  uint16_t before = HWIO_Hin(epu::kStatusPort);
  for (const auto& [act, polls, changes] : steps) {
    act();
    int changed = 0;
    for (int i = 0; i < polls; ++i) {
      const uint16_t v = HWIO_Hin(epu::kStatusPort);
      ASSERT_EQ(epu.StatusNow(), v) << "poll " << i << " at " << machine.NowNs() << " ns";
      changed += std::exchange(before, v) != v ? 1 : 0;
    }
    EXPECT_EQ(changes, changed) << "step polling " << polls;
  }
  EXPECT_EQ(4267u, epu.status_reads()) << "every read counts, kept or not";
  // A scripted value comes before the kept word.
  epu.ScriptBit(epu::Status::kEncoder, {(before & BitMask(epu::Status::kEncoder)) == 0});
  EXPECT_EQ(before ^ BitMask(epu::Status::kEncoder), HWIO_Hin(epu::kStatusPort));
}

}  // namespace

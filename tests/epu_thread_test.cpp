// EPUN5_WaitForTurnOffPossible on the host's second thread while a row runs
// on the first. Built into the ThreadSanitizer run of the tests.

#include <atomic>

#include "epu_support.h"

namespace {

using namespace eputest;

// The waiter is started from inside the row, from the host's stepper
// function, so that it certainly begins while the row runs.
struct Waiter {
  explicit Waiter(sim::Machine* m) : machine(m) {}
  static inline Waiter* current = nullptr;
  sim::Machine* machine;
  std::thread thread;
  std::atomic<bool> started{false}, returned{false}, returnedDuringRow{false};
  std::atomic<int32_t> result{-1};
  std::atomic<uint64_t> returnedAtNs{0};

  static int32_t CARDN5_CALL StartInsideRow(uint32_t, uint32_t, uint32_t) {
    Waiter& w = *current;
    if (!w.started.exchange(true)) {
      w.thread = std::thread([&w] {
        w.result = EPUN5_WaitForTurnOffPossible();
        w.returnedAtNs = w.machine->NowNs();
        w.returned = true;
      });
      // give a waiter that does not wait every chance to come back now
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      w.returnedDuringRow = w.returned.load();
    }
    return 1;
  }
};

// A two-pass row: the cylindrical pass is the job's first row, the spiral
// pass calls the stepper and so starts the waiter. With any non-zero
// emulation flag the waiter still waits for the row, reads nothing from the
// board (which would block turn-off for a long time) and answers non-zero.
TEST_F(EpuTest, WaiterReturnsOnlyAfterTheRowAndItsEngraving) {
  // outside a row: until ENVORSCH_BIT reads 0, then five clear readings
  epu->ScriptBit(epu::Status::ENVORSCH_BIT, Levels("110"));
  EXPECT_EQ((std::pair<int32_t, uint64_t>{0, 3 + 5}),
            (std::pair{EPUN5_WaitForTurnOffPossible(), machine.trace().ReadCount(epu::kStatusPort)}));
  for (int32_t emulation : {0, 1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    Waiter w(&machine);
    Waiter::current = &w;
    PrepareJob();
    if (emulation) epu->ScriptBitFor(epu::Status::kTurnOffBlocked, true, 1000);
    ASSERT_EQ(1, CARDN5_SetEmulation(emulation));
    const uint64_t boardReads = epu->status_reads();
    testsupport::Watchdog watchdog("a row or its waiter");
    EXPECT_EQ(1, EPUN5_DoOneRow(0x10, 0x20, 1, 3, 10, &Waiter::StartInsideRow));
    if (w.thread.joinable()) w.thread.join();
    CARDN5_SetEmulation(0);
    // started inside the row, not back before it ended, and the row over
    EXPECT_EQ((std::tuple<bool, bool, int>{true, false, 0}),
              (std::tuple<bool, bool, int>{w.started, w.returnedDuringRow, g_pEPU->m_bInDoOneRow.load()}));
    if (emulation) {
      EXPECT_NE(0, w.result);
      EXPECT_EQ(boardReads, epu->status_reads());
      continue;
    }
    // The row ends with its last register write (the row registers written
    // back); the clock read after the call could already include the
    // waiter's reads.
    const uint64_t rowEndNs = machine.trace().All().LastWriteNs();
    ASSERT_GT(rowEndNs, 0u);
    EXPECT_EQ(0, w.result);
    EXPECT_GT(w.returnedAtNs.load(), rowEndNs);
    // the board blocks turn-off while it engraves the last row
    EXPECT_GE(w.returnedAtNs.load(), epu->engraving_until_ns());
    EXPECT_EQ(2u, epu->rows().size());
  }
}

}  // namespace

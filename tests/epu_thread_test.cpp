// EPUN5_WaitForTurnOffPossible on the host's second thread while a row runs
// on the first. Built into the ThreadSanitizer run of the tests.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "epu_support.h"

namespace {

using eputest::EpuTest;

// The waiter is started from inside the row, from the host's stepper
// function, so that it certainly begins while the row runs.
struct Waiter {
  static inline sim::Machine* machine = nullptr;
  static inline std::thread thread;
  static inline std::atomic<bool> started{false};
  static inline std::atomic<bool> returned{false};
  static inline std::atomic<bool> returnedDuringRow{false};
  static inline std::atomic<int32_t> result{-1};
  static inline std::atomic<uint64_t> returnedAtNs{0};

  static void Reset(sim::Machine* m) {
    machine = m;
    started = false;
    returned = false;
    returnedDuringRow = false;
    result = -1;
    returnedAtNs = 0;
  }

  static int32_t CARDN5_CALL StartInsideRow(uint32_t, uint32_t, uint32_t) {
    if (!started.exchange(true)) {
      thread = std::thread([] {
        result = EPUN5_WaitForTurnOffPossible();
        returnedAtNs = machine->NowNs();
        returned = true;
      });
      // give a waiter that does not wait every chance to come back now
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      returnedDuringRow = returned.load();
    }
    return 1;
  }
};

class EpuThreadTest : public EpuTest {
 protected:
  void SetUp() override {
    EpuTest::SetUp();
    Waiter::Reset(&machine);
  }
  void TearDown() override {
    if (Waiter::thread.joinable()) Waiter::thread.join();
    EpuTest::TearDown();
  }
};

TEST_F(EpuThreadTest, WaiterReturnsOnlyAfterTheRowAndItsEngraving) {
  PrepareJob();
  // a two-pass row: the cylindrical pass is the job's first row, the spiral
  // pass calls the stepper and so starts the waiter
  const int32_t rowResult = EPUN5_DoOneRow(0x10, 0x20, 1, 3, 10, &Waiter::StartInsideRow);
  Waiter::thread.join();
  // The row ends with its last register write (the row registers written
  // back); the clock read after the call could already include the
  // waiter's reads.
  const uint64_t rowEndNs = machine.trace().All().LastWriteNs();
  ASSERT_GT(rowEndNs, 0u);

  EXPECT_EQ(1, rowResult);
  EXPECT_TRUE(Waiter::started);
  EXPECT_FALSE(Waiter::returnedDuringRow);
  EXPECT_EQ(0, Waiter::result);
  EXPECT_GT(Waiter::returnedAtNs.load(), rowEndNs);
  // the board blocks turn-off while it engraves the last row
  EXPECT_GE(Waiter::returnedAtNs.load(), epu->engraving_until_ns());
  EXPECT_EQ(2u, epu->rows().size());
  EXPECT_EQ(0, g_pEPU->m_bInDoOneRow.load());
}

// Any non-zero emulation flag: the waiter still waits for the row, reads
// nothing from the board and answers non-zero.
TEST_F(EpuThreadTest, EmulatedWaiterStillWaitsForTheRow) {
  for (int32_t emulation : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    Waiter::Reset(&machine);
    PrepareJob();
    // the board would block turn-off for a long time
    epu->ScriptBitFor(epu::Status::kTurnOffBlocked, true, 1000);
    ASSERT_EQ(1, CARDN5_SetEmulation(emulation));
    const uint64_t boardReads = epu->status_reads();
    testsupport::Watchdog watchdog("an emulated row or its waiter");
    EXPECT_EQ(1, EPUN5_DoOneRow(0x10, 0x20, 1, 3, 10, &Waiter::StartInsideRow));
    Waiter::thread.join();
    EXPECT_TRUE(Waiter::started);
    EXPECT_FALSE(Waiter::returnedDuringRow);
    EXPECT_NE(0, Waiter::result);
    EXPECT_EQ(boardReads, epu->status_reads());
    CARDN5_SetEmulation(0);
  }
}

TEST_F(EpuThreadTest, WaiterOutsideARowWaitsForFiveClearReadings) {
  PrepareJob();
  // turn-off blocked on every other reading: the clear ones are counted, the
  // blocked ones do not start the count again
  epu->ScriptBit(epu::Status::ENVORSCH_BIT, eputest::Levels("110"));
  // the first three seen only by the ENVORSCH_BIT wait
  epu->ScriptBit(epu::Status::kTurnOffBlocked, eputest::Levels("1111010101010"));
  EXPECT_EQ(0, EPUN5_WaitForTurnOffPossible());
  // three readings until ENVORSCH_BIT is 0, then ten until the fifth clear one
  EXPECT_EQ(13u, machine.trace().ReadCount(epu::kStatusPort));
}

}  // namespace

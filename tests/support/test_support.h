// Helpers every test uses: the log capture, the recorded error, and a
// fixture with a simulated machine attached and the boards created.
#ifndef CARDN5_TEST_SUPPORT_H
#define CARDN5_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "machine.h"

namespace testsupport {

// Captures what the library logs from construction on.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<std::string> Lines() const;
  // How many captured texts equal text exactly.
  int Count(const std::string& text) const;
  // The captured texts that contain part, in order.
  std::vector<std::string> Containing(const std::string& part) const;
  bool Contains(const std::string& text) const { return Count(text) > 0; }
  void Clear();
  std::string Dump() const;
};

struct RecordedError {
  int32_t code = 0;
  std::string file;
  int32_t line = 0;
};
RecordedError LastError();
void ClearLastError();

// The board waits have no time-out, and emulated reads cost no virtual
// time, so the machine's time limit cannot end a wait that emulation should
// have skipped: this ends the program instead, naming what did not return.
class Watchdog {
 public:
  explicit Watchdog(const char* what, std::chrono::seconds limit = std::chrono::seconds(30));
  ~Watchdog();

 private:
  std::promise<void> m_done;
  std::thread m_thread;
};

// A simulated machine attached to the port-I/O and timing stand-ins, with
// the log captured. Board models are added by each test. On failure the
// tail of the port trace is printed. Every test fails that leaves a
// protocol violation seen by a board model; a test that provokes one on
// purpose checks it and calls machine.ClearViolations().
class MachineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  sim::Machine machine;
  LogCapture log;
};

// As MachineTest, with CARDN5_CreateCardObjects done and undone around
// each test.
class BoardsTest : public MachineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// A board test run as table rows: each row starts with Row() (the log and
// the last error cleared, the trace marked) and sees its accesses through
// Seen().
class RowsTest : public BoardsTest {
 protected:
  void Row() {
    log.Clear();
    ClearLastError();
    m_row = machine.trace().Mark();
  }
  sim::TraceView Seen() { return machine.trace().Since(m_row); }

 private:
  size_t m_row = 0;
};

}  // namespace testsupport

#endif

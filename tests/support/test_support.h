// Helpers every test uses: the log capture, the recorded error, and a
// fixture with a simulated machine attached and the boards created.
#ifndef CARDN5_TEST_SUPPORT_H
#define CARDN5_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdint.h>

#include <string>
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

// A simulated machine attached to the port-I/O and timing stand-ins, with
// the log captured. Board models are added by each test. On failure the
// tail of the port trace is printed.
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

}  // namespace testsupport

#endif

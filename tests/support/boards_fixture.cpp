// Kept apart from the other helpers so that only tests that link the
// library pull in its exports.
#include "cardN532.h"
#include "test_support.h"

namespace testsupport {

void BoardsTest::SetUp() {
  MachineTest::SetUp();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());  // touches no port
  log.Clear();
}

void BoardsTest::TearDown() {
  CARDN5_DeleteCardObjects();
  MachineTest::TearDown();
}

}  // namespace testsupport

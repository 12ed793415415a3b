// Load and unload of the shared library as a host does it: the application
// object logs at load, and an unload without an explicit delete still
// destroys every board.
#include <dlfcn.h>

#include "alloc_hook.h"
#include "test_support.h"

#ifndef CARDN5_LIBRARY_PATH
#error "CARDN5_LIBRARY_PATH names the shared library under test"
#endif

namespace {

using Lifecycle = testsupport::MachineTest;

// Unloaded once without a delete and once after a double delete: nine boards
// freed each time, none twice, and no port touched.
TEST_F(Lifecycle, LoadLogsInitInstanceAndUnloadDestroysTheBoardsOnce) {
  for (const int deletes : {0, 2}) {
    void* lib = dlopen(CARDN5_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, lib) << dlerror();
    EXPECT_EQ(1, log.Count("CARDN532.DLL InitInstance \n"));
    log.Clear();
    allochook::Arm();
    ASSERT_EQ(1, reinterpret_cast<int32_t (*)()>(dlsym(lib, "CARDN5_CreateCardObjects"))());
    for (int i = 0; i < deletes; ++i) reinterpret_cast<void (*)()>(dlsym(lib, "CARDN5_DeleteCardObjects"))();
    EXPECT_EQ((std::pair<int, size_t>{deletes ? 9 : 0, deletes ? 0 : 9}), allochook::FreedAndLive());
    ASSERT_EQ(0, dlclose(lib));
    EXPECT_EQ((std::pair<int, size_t>{9, 0}), allochook::FreedAndLive());
    allochook::Disarm();
  }
  EXPECT_EQ(0u, machine.trace().size()) << "neither creation nor unload touches a port";
}

}  // namespace

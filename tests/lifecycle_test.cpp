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

using Fn0 = int32_t (*)();

class Lifecycle : public testsupport::MachineTest {
 protected:
  void* Load() {
    void* lib = dlopen(CARDN5_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(nullptr, lib) << dlerror();
    return lib;
  }
  // A missing export is a null call: the test ends there.
  template <typename F = Fn0>
  F Sym(void* lib, const char* name) {
    return reinterpret_cast<F>(dlsym(lib, name));
  }
};

// Unloaded once without a delete and once after a double delete: nine boards
// freed each time, none twice, and no port touched.
TEST_F(Lifecycle, LoadLogsInitInstanceAndUnloadDestroysTheBoardsOnce) {
  for (const int deletes : {0, 2}) {
    void* lib = Load();
    EXPECT_EQ(1, log.Count("CARDN532.DLL InitInstance \n"));
    log.Clear();
    allochook::Arm();
    ASSERT_EQ(1, Sym(lib, "CARDN5_CreateCardObjects")());
    EXPECT_EQ(9u, allochook::Live().size());
    for (int i = 0; i < deletes; ++i) Sym<void (*)()>(lib, "CARDN5_DeleteCardObjects")();
    EXPECT_EQ(deletes ? 9 : 0, allochook::FreedArmedAllocations());
    ASSERT_EQ(0, dlclose(lib));
    EXPECT_EQ(9, allochook::FreedArmedAllocations());
    allochook::Disarm();
  }
  EXPECT_EQ(0u, machine.trace().size()) << "neither creation nor unload touches a port";
}

TEST_F(Lifecycle, ReloadStartsWithAnEmptyRegistryAndZeroShadows) {
  using GetWord = uint16_t (*)();
  void* lib = Load();
  ASSERT_EQ(1, Sym(lib, "CARDN5_CreateCardObjects")());
  ASSERT_EQ(1, Sym<int32_t (*)(uint32_t)>(lib, "EPUN5_SetOKOutput")(0x1234));
  ASSERT_EQ(0x1234, Sym<GetWord>(lib, "EPUN5_GetOKOutput")());
  ASSERT_EQ(0, dlclose(lib));
  lib = Load();
  // No boards after a fresh load: the emulation switch finds nothing to set.
  EXPECT_EQ(0, Sym<int32_t (*)(int32_t)>(lib, "CARDN5_SetEmulation")(1));
  // The output word's shadow, read without a port access, starts at 0 again.
  ASSERT_EQ(1, Sym(lib, "CARDN5_CreateCardObjects")());
  EXPECT_EQ(0, Sym<GetWord>(lib, "EPUN5_GetOKOutput")());
  ASSERT_EQ(0, dlclose(lib));
}

}  // namespace

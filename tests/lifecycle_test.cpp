// Load and unload of the shared library as a host does it: the application
// object logs at load, and an unload without an explicit delete still
// destroys every board.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "alloc_hook.h"
#include "test_support.h"

#ifndef CARDN5_LIBRARY_PATH
#error "CARDN5_LIBRARY_PATH names the shared library under test"
#endif

namespace {

using testsupport::MachineTest;
using Fn0 = int32_t (*)();
using FnVoid = void (*)();

class Lifecycle : public MachineTest {
 protected:
  void* Load() { return dlopen(CARDN5_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL); }
  // A missing export is a null call: the test ends there.
  template <typename F>
  F Sym(void* lib, const char* name) {
    return reinterpret_cast<F>(dlsym(lib, name));
  }
};

TEST_F(Lifecycle, LoadLogsInitInstanceAndUnloadDestroysTheBoards) {
  void* lib = Load();
  ASSERT_NE(nullptr, lib) << dlerror();
  EXPECT_EQ(1, log.Count("CARDN532.DLL InitInstance \n"));

  allochook::Arm();
  ASSERT_EQ(1, Sym<Fn0>(lib, "CARDN5_CreateCardObjects")());
  const std::set<void*> boards = allochook::Live();
  EXPECT_EQ(9u, boards.size());
  EXPECT_EQ(0, allochook::FreedArmedAllocations());

  ASSERT_EQ(0, dlclose(lib));
  EXPECT_EQ(9, allochook::FreedArmedAllocations());
  EXPECT_TRUE(allochook::Live().empty());
  allochook::Disarm();
  EXPECT_EQ(0u, machine.trace().size()) << "neither creation nor unload touches a port";
}

TEST_F(Lifecycle, DeleteThenUnloadFreesEachBoardOnce) {
  void* lib = Load();
  ASSERT_NE(nullptr, lib) << dlerror();
  allochook::Arm();
  ASSERT_EQ(1, Sym<Fn0>(lib, "CARDN5_CreateCardObjects")());
  for (int i = 0; i < 2; ++i) Sym<FnVoid>(lib, "CARDN5_DeleteCardObjects")();
  EXPECT_EQ(9, allochook::FreedArmedAllocations());
  ASSERT_EQ(0, dlclose(lib));
  EXPECT_EQ(9, allochook::FreedArmedAllocations());
  allochook::Disarm();
}

TEST_F(Lifecycle, ReloadStartsWithAnEmptyRegistryAndZeroShadows) {
  void* lib = Load();
  ASSERT_NE(nullptr, lib) << dlerror();
  using SetWord = int32_t (*)(uint32_t);
  using GetWord = uint16_t (*)();
  using SetEmulation = int32_t (*)(int32_t);
  ASSERT_EQ(1, Sym<Fn0>(lib, "CARDN5_CreateCardObjects")());
  ASSERT_EQ(1, Sym<SetWord>(lib, "EPUN5_SetOKOutput")(0x1234));
  ASSERT_EQ(0x1234, Sym<GetWord>(lib, "EPUN5_GetOKOutput")());
  ASSERT_EQ(0, dlclose(lib));

  lib = Load();
  ASSERT_NE(nullptr, lib) << dlerror();
  EXPECT_EQ(2, log.Count("CARDN532.DLL InitInstance \n"));
  // No boards after a fresh load: the emulation switch finds nothing to set.
  EXPECT_EQ(0, Sym<SetEmulation>(lib, "CARDN5_SetEmulation")(1));
  // The output word's shadow, read without a port access, starts at 0 again.
  ASSERT_EQ(1, Sym<Fn0>(lib, "CARDN5_CreateCardObjects")());
  EXPECT_EQ(0, Sym<GetWord>(lib, "EPUN5_GetOKOutput")());
  ASSERT_EQ(0, dlclose(lib));
}

}  // namespace

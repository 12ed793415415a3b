// The frame passes the port-I/O library's results on as they are, and keeps
// only what the boards use of them. The stand-in's own results are too
// regular to show that, so this program puts test doubles in front of a few
// of its functions, the way another port library would take its place.
#include <dlfcn.h>

#include "alloc_hook.h"
#include "cardN5.h"
#include "hwio32.h"
#include "port_register.h"
#include "test_support.h"

namespace {

int32_t g_hinResult = 0, g_bitResult = 0, g_emulationResult = 0;
int g_grantCalls = 0, g_allocationsAtGrant = -1;

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

// Test doubles of the port-I/O library, found before the stand-in.
extern "C" {
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_Hin(uint16_t) { return g_hinResult; }
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_Bit(uint16_t, int32_t) { return g_bitResult; }
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_SetEmulation(int32_t bOn) {
  Next<int32_t(CARDN5_STDCALL*)(int32_t)>("HWIO_SetEmulation")(bOn);
  return g_emulationResult;
}
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_GrantPortAccess(void) {
  ++g_grantCalls;
  g_allocationsAtGrant = allochook::NothrowAllocations();
  return 0;
}
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_Hout(uint16_t wPort, uint16_t wValue) {
  Next<int32_t(CARDN5_STDCALL*)(uint16_t, uint16_t)>("HWIO_Hout")(wPort, wValue);
  return 0x1234;
}
CARDN5_VISIBLE int32_t CARDN5_STDCALL HWIO_ResetBit(uint16_t* pwValue, int32_t nBit) {
  Next<int32_t(CARDN5_STDCALL*)(uint16_t*, int32_t)>("HWIO_ResetBit")(pwValue, nBit);
  return 0x77;
}
}

namespace {

using PassThrough = testsupport::MachineTest;

// A read keeps the low 16 bits and returns the library's result; a bit
// test looks only at the low 16 bits of the answer.
TEST_F(PassThrough, ReadsAndBitTestsKeepTheLow16Bits) {
  for (const auto& [hin, shadow] : {std::pair<int32_t, uint16_t>{0x0000ABCD, 0xABCD}, {-65535, 0x0001}, {0x10000, 0}}) {
    g_hinResult = hin;
    CPortRegister reg(0x3300);
    EXPECT_EQ(hin, reg.In());
    EXPECT_EQ(shadow, reg.GetValue());
    EXPECT_EQ(shadow, CARDN5_PortIn(0x3300));
  }
  for (const auto& [answer, bit] :
       {std::pair{0x00000000, 0}, {0x00010000, 0}, {-65536, 0}, {0x8000, 1}, {1, 1}, {0x10001, 1}}) {
    g_bitResult = answer;
    EXPECT_EQ(bit, CPortRegister(0x3300).Bit(15)) << std::hex << answer;
  }
}

// Creation grants port access once, before any board exists. The DCA and
// SDU exports pass on the write's or the final bit operation's result, and
// the emulation switch the library's, values no stand-in gives, so that a
// constant cannot pass for them.
TEST_F(PassThrough, CreateGrantsAccessFirstAndExportsPassOnTheLibrarysResults) {
  allochook::Arm();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  allochook::Disarm();
  EXPECT_EQ((std::pair{1, 0}), (std::pair{g_grantCalls, g_allocationsAtGrant}));
  EXPECT_EQ((std::vector<int32_t>{0x1234, 0x1234, 0x1234, 0x77, 0x1234}),
            (std::vector<int32_t>{DCAN5_SetLDKFokusspannung(1.0), DCAN5_Set2LevelSensitivity(1.0, 0),
                                  DCAN5_LichtschrankeAus(), DCAN5_OneSMStep(), SDUN5_SetLinearspannung(1.0)}));
  g_emulationResult = 0x55;
  EXPECT_EQ(0x55, CARDN5_SetEmulation(1));
  CARDN5_DeleteCardObjects();
}

}  // namespace

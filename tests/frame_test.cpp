// The library frame: register objects, the board registry, the frame
// exports and the hardware-information window pair.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "alloc_hook.h"
#include "cardN5.h"
#include "direct_port.h"
#include "hwinfo32_ext.h"
#include "hwio32_ext.h"
#include "port_register.h"
#include "test_support.h"
#include "typed_register.h"

namespace {

using testsupport::MachineTest;

// ---- Register objects ---------------------------------------------------------

using RegisterAccess = MachineTest;

// Bit operations stay in memory; Out, In and the two pulses touch the port.
// Objects on one port keep shadows of their own.
TEST_F(RegisterAccess, BitTestsTheShadowAndOnlyFourOperationsTouchThePort) {
  CPortRegister reg(0x5F00), other(0x5F00);
  reg.SetBit(3);
  EXPECT_EQ(1, reg.Bit(3));
  reg.SetValue(0x00F0);
  reg.ResetBit(4);
  EXPECT_EQ(0, reg.Bit(4));
  EXPECT_EQ(0x00E0, reg.GetValue());
  EXPECT_EQ(0u, machine.trace().size()) << "bit operations must stay in memory";

  machine.SetInput(0x5F00, 0xFFFE);
  EXPECT_EQ(1, reg.Out());
  EXPECT_EQ(0xFFFE, reg.In());
  reg.LowPuls(1);
  reg.HighPuls(0);
  EXPECT_EQ(0xFFFE, reg.GetValue());
  EXPECT_EQ(0, other.GetValue());
  EXPECT_EQ((std::vector<uint16_t>{0x00E0, 0xFFFC, 0xFFFE, 0xFFFF, 0xFFFE}), machine.trace().Writes(0x5F00));
  EXPECT_EQ(1u, machine.trace().ReadCount(0x5F00));
}

// The typed form: a bit of one register cannot be used on another, and one
// call sets or clears a bit by a flag.
TEST_F(RegisterAccess, TypedRegistersUpdateBitsByFlag) {
  enum class Bits : int32_t { kLow = 0, kHigh = 15 };
  TypedRegister<Bits> reg(0x5F00);
  reg.Update(Bits::kHigh, true);
  reg.Update(Bits::kLow, true);
  reg.Update(Bits::kLow, false);
  EXPECT_EQ(1, reg.Write(reg.GetValue()));
  machine.SetInput(0x5F00, 0x0001);
  EXPECT_EQ(1, reg.ReadBit(Bits::kLow));
  EXPECT_EQ((std::vector<uint16_t>{0x8000}), machine.trace().Writes(0x5F00));
}

// ---- Accesses around the port-I/O library --------------------------------------------

using DirectPorts = MachineTest;

TEST_F(DirectPorts, ReachTheMachineMarkedDirect) {
  machine.QueueReads(0x8300, {0x0010, 0x0000});
  EXPECT_EQ(0x0010, cardn5::DirectIn16(0x8300));
  EXPECT_EQ(0x0000, cardn5::DirectIn16(0x8300));
  const uint16_t block[3] = {0x1111, 0x2222, 0x3333};
  cardn5::DirectOutBlock(0xA300, block, 3);
  machine.QueueReads(0xA300, {7, 8});
  uint16_t back[2] = {};
  cardn5::DirectInBlock(0xA300, back, 2);
  EXPECT_EQ(8, back[1]);
  EXPECT_EQ(3u, machine.trace().All().BlockWords(sim::Access::BlockOut, 0xA300));  // one entry a block
  for (const auto& e : machine.trace().entries()) EXPECT_TRUE(e.flags & HWIO_ACC_DIRECT) << sim::FormatEntry(e);
  // emulated: 0, and no model sees the read
  HWIO_SetEmulation(1);
  machine.SetInput(0x8300, 0x0010);
  EXPECT_EQ(0, cardn5::DirectIn16(0x8300));
  HWIO_SetEmulation(0);
}

// ---- Registry -------------------------------------------------------------------------

std::vector<void*> Boards() { return {g_pEPU, g_pMBU, g_pDCA, g_pIOD, g_pIPG, g_pCSI, g_pCSE, g_pCPH, g_pSDU}; }

std::vector<int32_t> EmulationFlags() {
  return {g_pEPU->m_bEmulation, g_pMBU->m_bEmulation, g_pDCA->m_bEmulation, g_pIOD->m_bEmulation, g_pIPG->m_bEmulation,
          g_pCSI->m_bEmulation, g_pCSE->m_bEmulation, g_pCPH->m_bEmulation, g_pSDU->m_bEmulation};
}

using Registry = MachineTest;

// Creation logs, asks for port access and touches no port; a second
// creation destroys the first boards; deleting twice, or without boards,
// does nothing.
TEST_F(Registry, CreateReplacesAndDeleteIsHarmlessTwice) {
  CARDN5_DeleteCardObjects();
  allochook::Arm();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  EXPECT_EQ(9u, allochook::Live().size());
  EXPECT_EQ(std::vector<int32_t>(9, 0), EmulationFlags());
  EXPECT_EQ((std::vector<std::string>{"CARDN5_CreateCardObjects \n",
                                      "hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n"}),
            log.Lines());
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  EXPECT_EQ(9, allochook::FreedArmedAllocations());  // all nine of the first, through their destructors
  EXPECT_EQ(9u, allochook::Live().size());
  CARDN5_DeleteCardObjects();
  CARDN5_DeleteCardObjects();
  allochook::Disarm();
  EXPECT_TRUE(allochook::Live().empty());
  for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  EXPECT_EQ(0, testsupport::LastError().code);
  EXPECT_EQ(0u, machine.trace().size());
}

TEST_F(Registry, FailedAllocationRecords2148AndKeepsTheOthers) {
  for (int failing = 1; failing <= 9; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
    testsupport::ClearLastError();
    allochook::Arm(failing);
    EXPECT_EQ(0, CARDN5_CreateCardObjects());
    allochook::Disarm();
    const std::vector<void*> boards = Boards();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i + 1 == failing, boards[static_cast<size_t>(i)] == nullptr) << i;
    const testsupport::RecordedError e = testsupport::LastError();
    EXPECT_EQ(2148, e.code);
    EXPECT_EQ("cardN5.cpp", e.file);
    EXPECT_GT(e.line, 0);
    CARDN5_DeleteCardObjects();
  }
}

TEST_F(Registry, SetEmulationStoresTheFlagAsGivenAndLogsOnlyWhenOn) {
  EXPECT_EQ(0, CARDN5_SetEmulation(1));  // without boards: nothing to switch
  EXPECT_EQ(0, HWIOX_IsEmulation());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  log.Clear();
  for (const int32_t flag : {0, 1, 2, 0, -1}) {
    SCOPED_TRACE(flag);
    log.Clear();
    EXPECT_EQ(1, CARDN5_SetEmulation(flag));
    EXPECT_EQ(flag ? std::vector<std::string>{"CardN5 SetEmulation TRUE \n"} : std::vector<std::string>{}, log.Lines());
    EXPECT_EQ(flag ? 1 : 0, HWIOX_IsEmulation());
    EXPECT_EQ(std::vector<int32_t>(9, flag), EmulationFlags());
  }
  CARDN5_DeleteCardObjects();
}

// Deletion, and the application object's ExitInstance at unload, destroy
// the boards, whose destructors log their stepper direction counts.
TEST_F(Registry, DestructorsLogTheirStepperDirectionCounts) {
  const struct {
    int32_t epu;
    uint32_t mbu;
    bool exitInstance;
    std::vector<std::string> want;
  } cases[] = {
      {0, 0, false, {}},
      {3, 0, false, {"CARDN532 EPU SetSMDirectionCnt 3 \n"}},
      {0, 70000, true, {"CARDN532 MBU SetSMDirectionCnt 70000 \n"}},
      {-2, 1, false, {"CARDN532 EPU SetSMDirectionCnt -2 \n", "CARDN532 MBU SetSMDirectionCnt 1 \n"}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(1, CARDN5_CreateCardObjects());
    g_pEPU->m_dwSetSMDirectionCnt = c.epu;
    g_pMBU->m_dwSetSMDirectionCnt = c.mbu;
    log.Clear();
    if (c.exitInstance)
      EXPECT_EQ(0, theApp.ExitInstance());
    else
      CARDN5_DeleteCardObjects();
    EXPECT_EQ(c.want, log.Lines());
    for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  }
  EXPECT_EQ(0u, machine.trace().size());
  log.Clear();
  EXPECT_EQ(1, theApp.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"CARDN532.DLL InitInstance \n"}), log.Lines());
  EXPECT_STREQ("CARDN532.DLL", theApp.m_pszAppName);
}

// ---- Raw port exports -------------------------------------------------------------------

using RawPorts = MachineTest;

// Without boards too; a raw write leaves the shadow of a board register on
// that port alone.
TEST_F(RawPorts, UseTheLow16BitsOfPortAndValue) {
  machine.SetInput(0x1234, 0xBEEF);
  EXPECT_EQ(0xBEEF, CARDN5_PortIn(0xABCD1234));
  EXPECT_EQ(1, CARDN5_PortOut(0x1AB00, 0x6789A));
  EXPECT_EQ((std::vector<std::pair<uint16_t, uint16_t>>{{0xAB00, 0x789A}}), machine.trace().AllWrites());
  EXPECT_EQ(1u, machine.trace().ReadCount(0x1234));
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  EXPECT_EQ(0, EPUN5_GetOKOutput());
  CARDN5_DeleteCardObjects();
}

// ---- Hardware-information window ----------------------------------------------------------

std::vector<std::vector<int32_t>> InfoCalls() {
  std::vector<std::vector<int32_t>> out;
  for (int32_t i = 0; i < HWINFOX_CallCount(); ++i) {
    int32_t kind, what, code;
    HWINFOX_GetCall(i, &kind, &what, &code, nullptr, 0);
    out.push_back({kind, what, code});
  }
  return out;
}

using HwInfoWindow = MachineTest;

TEST_F(HwInfoWindow, OpensOnceClosesOnlyWhatWasOpened) {
  CloseHWInfo();
  EXPECT_TRUE(InfoCalls().empty());

  const int32_t w = OpenHWInfo();
  EXPECT_EQ(w, OpenHWInfo());
  EXPECT_EQ(1, g_bHWInfoOpen);
  CloseHWInfo();
  CloseHWInfo();
  EXPECT_EQ(0, g_bHWInfoOpen);
  EXPECT_EQ((std::vector<std::vector<int32_t>>{{0, 1002, 0}, {1, w, 0}, {0, 1005, 0}}), InfoCalls());

  // Reopening asks the library again.
  OpenHWInfo();
  EXPECT_EQ(4, HWINFOX_CallCount());
  CloseHWInfo();
}

}  // namespace

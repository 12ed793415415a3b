// The library frame: register objects, the board registry, the frame
// exports and the hardware-information window pair.

#include "alloc_hook.h"
#include "cardN5.h"
#include "direct_port.h"
#include "hwinfo32_ext.h"
#include "hwio32_ext.h"
#include "test_support.h"
#include "typed_register.h"

namespace {

using Frame = testsupport::MachineTest;

// ---- Register objects ---------------------------------------------------------

// Bit operations stay in memory; Out, In and the two pulses touch the port.
// Objects on one port keep shadows of their own.
TEST_F(Frame, RegisterBitTestsTheShadowAndOnlyFourOperationsTouchThePort) {
  CPortRegister reg(0x5F00), other(0x5F00);
  reg.SetBit(3);
  EXPECT_EQ(1, reg.Bit(3));
  reg.SetValue(0x00F0);
  reg.ResetBit(4);
  EXPECT_EQ((std::pair<int32_t, uint16_t>{0, 0x00E0}), (std::pair{reg.Bit(4), reg.GetValue()}));
  EXPECT_EQ(0u, machine.trace().size()) << "bit operations must stay in memory";

  machine.SetInput(0x5F00, 0xFFFE);
  EXPECT_EQ((std::pair<int32_t, int32_t>{1, 0xFFFE}), (std::pair{reg.Out(), reg.In()}));
  reg.LowPuls(1);
  reg.HighPuls(0);
  EXPECT_EQ((std::pair<uint16_t, uint16_t>{0xFFFE, 0}), (std::pair{reg.GetValue(), other.GetValue()}));
  EXPECT_EQ((std::vector<uint16_t>{0x00E0, 0xFFFC, 0xFFFE, 0xFFFF, 0xFFFE}), machine.trace().Writes(0x5F00));
  EXPECT_EQ(1u, machine.trace().ReadCount(0x5F00));

  // The typed form: a bit of one register cannot be used on another, and one
  // call sets or clears a bit by a flag.
  enum class Bits : int32_t { kLow = 0, kHigh = 15 };
  TypedRegister<Bits> typed(0x5B00);
  typed.Update(Bits::kHigh, true);
  typed.Update(Bits::kLow, true);
  typed.Update(Bits::kLow, false);
  EXPECT_EQ(1, typed.Write(typed.GetValue()));
  machine.SetInput(0x5B00, 0x0001);
  EXPECT_EQ(1, typed.ReadBit(Bits::kLow));
  EXPECT_EQ((std::vector<uint16_t>{0x8000}), machine.trace().Writes(0x5B00));
}

// ---- Accesses around the port-I/O library --------------------------------------------

TEST_F(Frame, DirectPortsReachTheMachineMarkedDirect) {
  machine.QueueReads(0x8300, {0x0010, 0x0000});
  for (const uint16_t want : {0x0010, 0x0000}) EXPECT_EQ(want, cardn5::DirectIn16(0x8300));
  const uint16_t block[3] = {0x1111, 0x2222, 0x3333};
  cardn5::DirectOutBlock(0xA300, block, 3);
  machine.QueueReads(0xA300, {7, 8});
  uint16_t back[2] = {};
  cardn5::DirectInBlock(0xA300, back, 2);
  EXPECT_EQ(8, back[1]);
  EXPECT_EQ(3u, machine.trace().All().BlockWords(sim::Access::BlockOut, 0xA300));  // one entry a block
  for (const auto& e : machine.trace().All()) EXPECT_TRUE(e.flags & HWIO_ACC_DIRECT) << sim::FormatEntry(e);
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

// Creation logs, asks for port access and touches no port; a second
// creation destroys the first boards; deleting twice, or without boards,
// does nothing.
TEST_F(Frame, CreateReplacesAndDeleteIsHarmlessTwice) {
  CARDN5_DeleteCardObjects();
  allochook::Arm();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  EXPECT_EQ(std::vector<int32_t>(9, 0), EmulationFlags());
  EXPECT_EQ((std::vector<std::string>{"CARDN5_CreateCardObjects \n",
                                      "hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n"}),
            log.Lines());
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  // all nine of the first freed, through their destructors
  EXPECT_EQ((std::pair<int, size_t>{9, 9}), allochook::FreedAndLive());
  for (int i = 0; i < 2; ++i) CARDN5_DeleteCardObjects();
  allochook::Disarm();
  EXPECT_EQ(0u, allochook::FreedAndLive().second);
  for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  EXPECT_EQ((std::pair<int32_t, size_t>{0, 0}), (std::pair{testsupport::LastError().code, machine.trace().size()}));
}

TEST_F(Frame, FailedAllocationRecords2148AndKeepsTheOthers) {
  for (int failing = 1; failing <= 9; ++failing) {
    SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
    testsupport::ClearLastError();
    allochook::Arm(failing);
    EXPECT_EQ(0, CARDN5_CreateCardObjects());
    allochook::Disarm();
    const std::vector<void*> boards = Boards();
    for (int i = 0; i < 9; ++i) EXPECT_EQ(i + 1 == failing, boards[static_cast<size_t>(i)] == nullptr) << i;
    const testsupport::RecordedError e = testsupport::LastError();
    EXPECT_EQ((std::tuple<int32_t, std::string, bool>{2148, "cardN5.cpp", true}),
              (std::tuple{e.code, e.file, e.line > 0}));
    CARDN5_DeleteCardObjects();
  }
}

TEST_F(Frame, SetEmulationStoresTheFlagAsGivenAndLogsOnlyWhenOn) {
  // without boards: nothing to switch
  EXPECT_EQ((std::pair{0, 0}), (std::pair{CARDN5_SetEmulation(1), HWIOX_IsEmulation()}));
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  for (const int32_t flag : {0, 1, 2, 0, -1}) {
    SCOPED_TRACE(flag);
    log.Clear();
    EXPECT_EQ(1, CARDN5_SetEmulation(flag));
    EXPECT_EQ(flag ? std::vector<std::string>{"CardN5 SetEmulation TRUE \n"} : std::vector<std::string>{}, log.Lines());
    EXPECT_EQ((std::pair{flag ? 1 : 0, std::vector<int32_t>(9, flag)}),
              (std::pair{HWIOX_IsEmulation(), EmulationFlags()}));
  }
  CARDN5_DeleteCardObjects();
}

// Deletion, and the application object's ExitInstance at unload, destroy
// the boards, whose destructors log their stepper direction counts.
TEST_F(Frame, DestructorsLogTheirStepperDirectionCounts) {
  // the EPU's and the MBU's counts, unloaded through ExitInstance; the lines logged
  const std::tuple<int32_t, uint32_t, bool, std::vector<std::string>> cases[] = {
      {3, 0, false, {"CARDN532 EPU SetSMDirectionCnt 3 \n"}},
      {0, 70000, true, {"CARDN532 MBU SetSMDirectionCnt 70000 \n"}},
      {-2, 1, false, {"CARDN532 EPU SetSMDirectionCnt -2 \n", "CARDN532 MBU SetSMDirectionCnt 1 \n"}},
  };
  for (const auto& [epuCount, mbuCount, exitInstance, want] : cases) {
    ASSERT_EQ(1, CARDN5_CreateCardObjects());
    g_pEPU->m_dwSetSMDirectionCnt = epuCount;
    g_pMBU->m_dwSetSMDirectionCnt = mbuCount;
    log.Clear();
    EXPECT_EQ(0, exitInstance ? theApp.ExitInstance() : (CARDN5_DeleteCardObjects(), 0));
    EXPECT_EQ(want, log.Lines());
    for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  }
  EXPECT_EQ(0u, machine.trace().size());
  log.Clear();
  EXPECT_EQ(1, theApp.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"CARDN532.DLL InitInstance \n"}), log.Lines());
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

TEST_F(Frame, HwInfoWindowOpensOnceClosesOnlyWhatWasOpened) {
  CloseHWInfo();
  const int32_t w = OpenHWInfo();
  EXPECT_EQ(w, OpenHWInfo());
  for (int i = 0; i < 2; ++i) CloseHWInfo();
  EXPECT_EQ((std::vector<std::vector<int32_t>>{{0, 1002, 0}, {1, w, 0}, {0, 1005, 0}}), InfoCalls());

  // Reopening asks the library again.
  OpenHWInfo();
  EXPECT_EQ(4, HWINFOX_CallCount());
  CloseHWInfo();
}

}  // namespace

// The library frame: register objects, the board registry, the frame
// exports and the hardware-information window pair.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "alloc_hook.h"
#include "cardN5.h"
#include "direct_port.h"
#include "hwinfo32_ext.h"
#include "hwio32_ext.h"
#include "port_register.h"
#include "sleep_shim.h"
#include "test_support.h"

namespace {

using testsupport::BoardsTest;
using testsupport::MachineTest;

// ---- Register objects ---------------------------------------------------------

struct NamedRegister {
  const char* board;
  CPortRegister* reg;
};

const std::vector<NamedRegister>& AllRegisters() {
  static const std::vector<NamedRegister> all = {
      {"CSE", &g_CSEBlueDAC},      {"CSE", &g_CSEGreenDAC},
      {"CSE", &g_CSERedDAC},       {"CSE", &g_CSEControl},
      {"CSE", &g_CSEStatus},       {"CSE", &g_CSEBlue},
      {"CSE", &g_CSERedGreen},     {"CSE", &g_CSEHandshakeIn},
      {"CSE", &g_CSEHandshakeOut}, {"CSI", &g_CSIControl},
      {"DCA", &g_DCAStatus},       {"DCA", &g_DCAFocusStatus},
      {"DCA", &g_DCALaserDiode},   {"DCA", &g_DCALEFocus},
      {"DCA", &g_DCAFETTemp},      {"DCA", &g_DCAVoltage},
      {"DCA", &g_DCAFETSpeed},     {"DCA", &g_DCASensitivity},
      {"DCA", &g_DCAControl},      {"DCA", &g_DCAStep},
      {"DCA", &g_DCAIndex},        {"DCA", &g_DCAData},
      {"EPU", &g_EPUStatus},       {"EPU", &g_EPUCommand},
      {"EPU", &g_EPUControl},      {"EPU", &g_EPUFinp},
      {"EPU", &g_EPUBank0Offset},  {"EPU", &g_EPUBank1Offset},
      {"EPU", &g_EPUMemCounter0},  {"EPU", &g_EPUShift},
      {"EPU", &g_EPUMemCounter1},  {"EPU", &g_EPURowLength},
      {"EPU", &g_EPUReg9B00},      {"EPU", &g_EPUAdvanceDivider},
      {"EPU", &g_EPUStartPos},     {"EPU", &g_EPUSMStep},
      {"EPU", &g_EPUOKOutput},     {"EPU", &g_EPUDAC0},
      {"EPU", &g_EPUDAC1},         {"EPU", &g_EPURegB700},
      {"EPU", &g_EPULaserPulse},   {"EPU", &g_EPUEcoDutyCycle},
      {"EPU", &g_EPUIndex},        {"EPU", &g_EPUData},
      {"IOD", &g_IODOut},          {"IOD", &g_IODIn},
      {"IPG", &g_IPGRegister},     {"MBU", &g_MBUMemory},
      {"MBU", &g_MBUStatus},       {"MBU", &g_MBUPlotHeight2},
      {"MBU", &g_MBUZeroShift},    {"MBU", &g_MBUCommand},
      {"MBU", &g_MBUZeroPulse},    {"MBU", &g_MBUDivider},
      {"MBU", &g_MBUPlotHeight0},  {"MBU", &g_MBUAMUIndex},
      {"MBU", &g_MBUPlotHeight1},  {"MBU", &g_MBUAMUValue},
      {"MBU", &g_MBUDividerHigh},
  };
  return all;
}

TEST(Registers, EveryBoardHasItsPortsAndEveryShadowStartsAtZero) {
  // Ports by board as a multiset: a shared port appears once per object.
  std::map<std::string, std::multiset<uint16_t>> want = {
      {"CSE", {0x2300, 0x2700, 0x2B00, 0x2F00, 0x3300, 0x3700, 0x3B00, 0x3F00, 0x3F00}},
      {"CSI", {0x0302}},
      {"DCA", {0x4300, 0x4300, 0x4700, 0x4B00, 0x4F00, 0x5300, 0x5300, 0x5300, 0x5700, 0x5F00, 0xC700, 0xCB00}},
      {"EPU", {0x8300, 0x8300, 0x8700, 0x8700, 0x8B00, 0x8F00, 0x8F00, 0x9300, 0x9300, 0x9700, 0x9B00,
               0x9F00, 0xA300, 0xA700, 0xAB00, 0xAF00, 0xB300, 0xB700, 0xBB00, 0xBF00, 0xC700, 0xCB00}},
      {"IOD", {0xC300, 0xC300}},
      {"IPG", {0x4B00}},
      {"MBU", {0xA300, 0xA700, 0xA700, 0xAB00, 0xAF00, 0xAF00, 0xB300, 0xB700, 0xB700, 0xBB00, 0xBB00, 0xBF00}},
  };
  std::map<std::string, std::multiset<uint16_t>> got;
  std::set<CPortRegister*> distinct;
  for (const NamedRegister& r : AllRegisters()) {
    got[r.board].insert(r.reg->GetPort());
    distinct.insert(r.reg);
    EXPECT_EQ(0, r.reg->GetValue()) << r.board << " " << std::hex << r.reg->GetPort();
    if (r.reg != &g_CSIControl) {
      EXPECT_EQ(0x300, r.reg->GetPort() & 0x3FF);
    }
  }
  EXPECT_EQ(59u, distinct.size());
  EXPECT_EQ(want, got);
}

using RegisterAccess = MachineTest;

TEST_F(RegisterAccess, BitTestsTheShadowAndOnlyFourOperationsTouchThePort) {
  CPortRegister reg(0x5F00);
  reg.SetBit(3);
  EXPECT_EQ(1, reg.Bit(3));
  reg.SetValue(0x00F0);
  reg.ResetBit(4);
  EXPECT_EQ(0, reg.Bit(4));
  EXPECT_EQ(0x00E0, reg.GetValue());
  EXPECT_EQ(0u, machine.trace().size()) << "bit operations must stay in memory";

  machine.SetInput(0x5F00, 0x8001);
  reg.Out();
  reg.In();
  reg.LowPuls(1);
  reg.HighPuls(2);
  EXPECT_EQ(0x8001, reg.GetValue());
  EXPECT_EQ((std::vector<uint16_t>{0x00E0, 0x8001, 0x8003, 0x8005, 0x8001}), machine.trace().Writes(0x5F00));
  EXPECT_EQ(1u, machine.trace().ReadCount(0x5F00));
}

TEST_F(RegisterAccess, SharedPortObjectsKeepSeparateShadows) {
  machine.SetInput(0x8300, 0xABCD);
  g_EPUCommand.SetValue(0x0202);
  EXPECT_EQ(1, g_EPUStatus.In() == 0xABCD ? 1 : 0);
  EXPECT_EQ(0xABCD, g_EPUStatus.GetValue());
  EXPECT_EQ(0x0202, g_EPUCommand.GetValue());
  g_EPUCommand.Out();
  EXPECT_EQ((std::vector<uint16_t>{0x0202}), machine.trace().Writes(0x8300));
}

TEST_F(RegisterAccess, FirstOutAfterLoadWritesZeroInEveryOtherBit) {
  g_DCAControl.SetBit(dca::Control::kLightBarrierOff);
  g_DCAControl.Out();
  EXPECT_EQ((std::vector<uint16_t>{0x0010}), machine.trace().Writes(0x5F00));
}

TEST_F(RegisterAccess, InKeepsTheLow16BitsAndReturnsTheLibraryResult) {
  machine.SetInput(0x3300, 0xFFFE);
  CPortRegister reg(0x3300);
  EXPECT_EQ(0xFFFE, reg.In());
  EXPECT_EQ(0xFFFE, reg.GetValue());
  EXPECT_EQ(1, reg.Out());
}

// ---- Accesses around the port-I/O library --------------------------------------------

using DirectPorts = MachineTest;

TEST_F(DirectPorts, ReachTheMachineMarkedDirectAndLeaveShadowsAlone) {
  machine.QueueReads(0x8300, {0x0010, 0x0000});
  EXPECT_EQ(0x0010, cardn5::DirectIn16(0x8300));
  EXPECT_EQ(0x0000, cardn5::DirectIn16(0x8300));
  const uint16_t block[3] = {0x1111, 0x2222, 0x3333};
  cardn5::DirectOutBlock(0xA300, block, 3);
  machine.QueueReads(0xA300, {7, 8});
  uint16_t back[2] = {};
  cardn5::DirectInBlock(0xA300, back, 2);
  EXPECT_EQ(8, back[1]);
  EXPECT_EQ(0, g_EPUStatus.GetValue());
  EXPECT_EQ(3u, machine.trace().All().BlockWords(sim::Access::BlockOut, 0xA300));  // one entry a block
  for (const auto& e : machine.trace().entries()) EXPECT_TRUE(e.flags & HWIO_ACC_DIRECT) << sim::FormatEntry(e);
}

TEST_F(DirectPorts, InEmulationReadZeroAndReachNoModel) {
  HWIO_SetEmulation(1);
  machine.SetInput(0x8300, 0x0010);
  EXPECT_EQ(0, cardn5::DirectIn16(0x8300));
  HWIO_SetEmulation(0);
  EXPECT_EQ(0x0010, cardn5::DirectIn16(0x8300));
}

TEST_F(DirectPorts, SleepOfTheEngravingLoopRunsOnTheVirtualClock) {
  const uint64_t t = machine.NowNs();
  for (int i = 0; i < 2000; ++i) cardn5::Sleep(1);
  EXPECT_EQ(t + 2000u * 1000000u, machine.NowNs());
}

// ---- Registry -------------------------------------------------------------------------

std::vector<void*> Boards() { return {g_pEPU, g_pMBU, g_pDCA, g_pIOD, g_pIPG, g_pCSI, g_pCSE, g_pCPH, g_pSDU}; }

using Registry = MachineTest;

TEST_F(Registry, CreateMakesNineBoardsWithEmulationOffAndTouchesNoPort) {
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  for (void* b : Boards()) EXPECT_NE(nullptr, b);
  EXPECT_EQ(0, g_pEPU->m_bEmulation);
  EXPECT_EQ(0, g_pSDU->m_bEmulation);
  EXPECT_EQ(0, g_pEPU->m_bInDoOneRow.load());
  EXPECT_EQ(0, testsupport::LastError().code);
  EXPECT_EQ(0u, machine.trace().size());
  // Logged first, then port access asked for (the stand-in says it is off here).
  EXPECT_EQ((std::vector<std::string>{"CARDN5_CreateCardObjects \n",
                                      "hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n"}),
            log.Lines());
  CARDN5_DeleteCardObjects();
  for (void* b : Boards()) EXPECT_EQ(nullptr, b);
}

TEST_F(Registry, DeleteTwiceAndDeleteWithoutCreateDoNothing) {
  CARDN5_DeleteCardObjects();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  allochook::Arm();
  CARDN5_DeleteCardObjects();
  CARDN5_DeleteCardObjects();
  allochook::Disarm();
  for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  EXPECT_EQ(0u, machine.trace().size());
}

TEST_F(Registry, SecondCreateReplacesTheBoardsWithoutLeakingThem) {
  allochook::Arm();
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  const std::set<void*> first = allochook::Live();
  ASSERT_EQ(9u, first.size());
  g_pEPU->m_dwSetSMDirectionCnt = 2;
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  // All nine of the first creation were destroyed, through their destructors.
  EXPECT_EQ(9, allochook::FreedArmedAllocations());
  EXPECT_EQ(9u, allochook::Live().size());
  EXPECT_EQ(1, log.Count("CARDN532 EPU SetSMDirectionCnt 2 \n"));
  CARDN5_DeleteCardObjects();
  allochook::Disarm();
  EXPECT_TRUE(allochook::Live().empty());
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
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  log.Clear();
  struct Case {
    int32_t flag;
    int logLines;
    int32_t hwioEmulation;
  } cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 1, 1}, {0, 0, 0}, {-1, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag);
    log.Clear();
    EXPECT_EQ(1, CARDN5_SetEmulation(c.flag));
    EXPECT_EQ(c.logLines, log.Count("CardN5 SetEmulation TRUE \n"));
    EXPECT_EQ(c.logLines, static_cast<int>(log.Lines().size()));
    EXPECT_EQ(c.hwioEmulation, HWIOX_IsEmulation());
    EXPECT_EQ(c.flag, g_pEPU->m_bEmulation);
    EXPECT_EQ(c.flag, g_pMBU->m_bEmulation);
    EXPECT_EQ(c.flag, g_pDCA->m_bEmulation);
    EXPECT_EQ(c.flag, g_pIOD->m_bEmulation);
    EXPECT_EQ(c.flag, g_pIPG->m_bEmulation);
    EXPECT_EQ(c.flag, g_pCSI->m_bEmulation);
    EXPECT_EQ(c.flag, g_pCSE->m_bEmulation);
    EXPECT_EQ(c.flag, g_pCPH->m_bEmulation);
    EXPECT_EQ(c.flag, g_pSDU->m_bEmulation);
  }
  CARDN5_DeleteCardObjects();
}

TEST_F(Registry, SetEmulationWithoutBoardsReturnsZeroAndTouchesNothing) {
  EXPECT_EQ(0, CARDN5_SetEmulation(1));
  EXPECT_EQ(0, HWIOX_IsEmulation());
  EXPECT_TRUE(log.Lines().empty()) << log.Dump();
}

TEST_F(Registry, DestructorsLogTheirStepperDirectionCounts) {
  struct Case {
    int32_t epu;
    uint32_t mbu;
    std::vector<std::string> want;
  } cases[] = {
      {0, 0, {}},
      {3, 0, {"CARDN532 EPU SetSMDirectionCnt 3 \n"}},
      {0, 70000, {"CARDN532 MBU SetSMDirectionCnt 70000 \n"}},
      {-2, 1, {"CARDN532 EPU SetSMDirectionCnt -2 \n", "CARDN532 MBU SetSMDirectionCnt 1 \n"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(1, CARDN5_CreateCardObjects());
    g_pEPU->m_dwSetSMDirectionCnt = c.epu;
    g_pMBU->m_dwSetSMDirectionCnt = c.mbu;
    log.Clear();
    CARDN5_DeleteCardObjects();
    EXPECT_EQ(c.want, log.Lines());
  }
  EXPECT_EQ(0u, machine.trace().size());
}

// ---- Raw port exports -------------------------------------------------------------------

using RawPorts = MachineTest;

TEST_F(RawPorts, UseTheLow16BitsOfPortAndValueWithoutBoards) {
  machine.SetInput(0x1234, 0xBEEF);
  EXPECT_EQ(0xBEEF, CARDN5_PortIn(0xABCD1234));
  EXPECT_EQ(1, CARDN5_PortOut(0x12345, 0x6789A));
  const auto& e = machine.trace().entries();
  ASSERT_EQ(2u, e.size());
  EXPECT_EQ(0x1234, e[0].port);
  EXPECT_EQ(0x2345, e[1].port);
  EXPECT_EQ(0x789A, e[1].value);
  // A raw access leaves the shadows of the board registers on that port alone.
  EXPECT_EQ(0, g_DCAStatus.GetValue());
}

TEST_F(RawPorts, InEmulationNothingReachesTheMachine) {
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  CARDN5_SetEmulation(1);
  machine.SetInput(0x4300, 0x1111);
  EXPECT_EQ(0, CARDN5_PortIn(0x4300));
  EXPECT_EQ(1, CARDN5_PortOut(0x4300, 0x2222));
  EXPECT_EQ(0, machine.LastWritten(0x4300));
  CARDN5_DeleteCardObjects();
}

// ---- Hardware-information window ----------------------------------------------------------

struct InfoCall {
  int32_t kind, what, code;
  bool operator==(const InfoCall& o) const { return kind == o.kind && what == o.what && code == o.code; }
};

std::vector<InfoCall> InfoCalls() {
  std::vector<InfoCall> out;
  for (int32_t i = 0; i < HWINFOX_CallCount(); ++i) {
    InfoCall c{};
    HWINFOX_GetCall(i, &c.kind, &c.what, &c.code, nullptr, 0);
    out.push_back(c);
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
  const std::vector<InfoCall> want = {{0, 1002, 0}, {1, w, 0}, {0, 1005, 0}};
  EXPECT_EQ(want.size(), InfoCalls().size());
  EXPECT_TRUE(want == InfoCalls());

  // Reopening asks the library again.
  OpenHWInfo();
  EXPECT_EQ(4, HWINFOX_CallCount());
  CloseHWInfo();
}

// ---- Application object ------------------------------------------------------------------

TEST_F(Registry, ExitInstanceDestroysTheBoards) {
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  allochook::Arm();
  g_pMBU->m_dwSetSMDirectionCnt = 5;
  EXPECT_EQ(0, theApp.ExitInstance());
  allochook::Disarm();
  for (void* b : Boards()) EXPECT_EQ(nullptr, b);
  EXPECT_EQ(1, log.Count("CARDN532 MBU SetSMDirectionCnt 5 \n"));
  EXPECT_STREQ("CARDN532.DLL", theApp.m_pszAppName);
  log.Clear();
  EXPECT_EQ(1, theApp.InitInstance());
  EXPECT_EQ((std::vector<std::string>{"CARDN532.DLL InitInstance \n"}), log.Lines());
}

}  // namespace

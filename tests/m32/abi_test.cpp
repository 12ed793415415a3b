// The binary interface hosts see on 32-bit x86: stdcall (the callee removes
// its arguments) for the exports, the service functions and the host's
// callbacks. A mismatch here corrupts the host's stack on the machine.
#include <gtest/gtest.h>
#include <stddef.h>
#include <stdint.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "cardN532.h"
#include "errlog32.h"
#include "errlog32_ext.h"
#include "hwio32.h"
#include "hwio32_ext.h"

#if !defined(__i386__)
#error "this test is for 32-bit x86 builds (the m32 preset)"
#endif

// The record layouts are checked where they are declared, in cardN532.h.

namespace {

// ---- Who removes the arguments --------------------------------------------------

// One call made by hand, so that the compiler cannot repair the stack after
// it: the arguments are pushed, the function called, and the stack pointer
// read before anything else happens.
struct CallProbe {
  const void* fn;        // 0
  const uint32_t* args;  // 4
  uint32_t nArgs;        // 8
  uint32_t espBefore;    // 12: before the pushes
  uint32_t espAfter;     // 16: right after the call returned
  uint32_t eax;          // 20: the result register
  uint32_t espSaved;     // 24
};
static_assert(offsetof(CallProbe, espSaved) == 24, "the assembly below addresses the fields by offset");

void CallByHand(CallProbe* p) {
  // %edi holds the probe: callee-saved under both conventions. The stack is
  // aligned so that it is 16-byte aligned at the call, as the i386 ABI wants.
  __asm__ volatile(
      "movl %%esp, 24(%%edi)\n\t"
      "movl 8(%%edi), %%ecx\n\t"
      "leal 0(,%%ecx,4), %%edx\n\t"
      "movl %%esp, %%eax\n\t"
      "subl %%edx, %%eax\n\t"
      "andl $-16, %%eax\n\t"
      "addl %%edx, %%eax\n\t"
      "movl %%eax, %%esp\n\t"
      "movl %%esp, 12(%%edi)\n\t"
      "movl 4(%%edi), %%edx\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n\t"
      "2:\n\t"
      "call *(%%edi)\n\t"
      "movl %%esp, 16(%%edi)\n\t"
      "movl %%eax, 20(%%edi)\n\t"
      "movl 24(%%edi), %%esp\n\t"
      :
      : "D"(p)
      : "eax", "ecx", "edx", "memory", "cc");
}

// The bytes the callee removed: the arguments' size for stdcall, 0 for cdecl.
uint32_t CalleePopped(const CallProbe& p) { return p.espAfter - p.espBefore + 4u * p.nArgs; }

template <typename F>
CallProbe Call(F* fn, const uint32_t* args, uint32_t nArgs) {
  CallProbe p{reinterpret_cast<const void*>(fn), args, nArgs, 0, 0, 0, 0};
  CallByHand(&p);
  return p;
}

// ---- A device behind the port library, and a host's functions ---------------------

struct Seen {
  uint32_t outs = 0, outPort = 0, outValue = 0, ins = 0, inPort = 0, smSteps = 0, smOne = 0, smZero = 0, smCalls = 0;
};
Seen g_seen;

uint16_t DeviceAnswer(uint16_t port) { return static_cast<uint16_t>(port ^ 0x5AA5u); }

extern "C" uint16_t CARDN5_CDECL DevIn(void*, uint16_t port, uint32_t) {
  ++g_seen.ins;
  g_seen.inPort = port;
  return DeviceAnswer(port);
}

extern "C" void CARDN5_CDECL DevOut(void*, uint16_t port, uint16_t value, uint32_t) {
  ++g_seen.outs;
  g_seen.outPort = port;
  g_seen.outValue = value;
}

// The host's stepper function as EPUN5_DoOneRow calls it.
extern "C" int32_t CARDN5_CALL HostSmMove(uint32_t dwSteps, uint32_t dwOne, uint32_t dwZero) {
  ++g_seen.smCalls;
  g_seen.smSteps = dwSteps;
  g_seen.smOne = dwOne;
  g_seen.smZero = dwZero;
  return 1;
}
constexpr PFN_SMMOVE kHostSmMove = HostSmMove;

// The probe's control: a cdecl function leaves its arguments to the caller.
extern "C" int32_t __attribute__((cdecl, noinline)) CdeclControl(uint32_t a, uint32_t b) {
  return static_cast<int32_t>(a - b);
}

class CallingConvention : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen = Seen{};
    // No real port is ever touched: every access goes to the device.
    HWIOX_Reset();
    HWIO_DEVICE dev{};
    dev.pfnIn = DevIn;
    dev.pfnOut = DevOut;
    ASSERT_EQ(HWIOX_AttachDevice(&dev), 1);
  }
  void TearDown() override { HWIOX_Reset(); }
};

TEST_F(CallingConvention, CalleeRemovesExactlyItsArgumentsFromTheStack) {
  const uint32_t hout[] = {0x0F00u, 0x8001u}, out[] = {0xABCD0704u, 0x55AA1234u}, in[] = {0x11110B00u};
  const uint32_t sm[] = {120u, 1u, 0u}, ab[] = {10u, 3u}, zeros[13] = {};
  static const char kFormat[] = "abi_test %u %u\n";
  const uint32_t logArgs[] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kFormat)), 1u, 2u};
  // No board objects here: the MBU exports return 0 and touch nothing. The
  // port read's result is compared in its low 16 bits. The log writer takes
  // a variable argument list: the caller cleans up.
  const std::tuple<const char*, CallProbe, uint32_t, uint32_t, uint32_t> cases[] = {
      {"HWIO_Hout", Call(&HWIO_Hout, hout, 2), 8, 1, ~0u},
      {"CARDN5_PortOut", Call(&CARDN5_PortOut, out, 2), 8, 1, ~0u},
      {"CARDN5_PortIn", Call(&CARDN5_PortIn, in, 1), 4, DeviceAnswer(0x0B00), 0xFFFFu},
      {"host PFN_SMMOVE", Call(kHostSmMove, sm, 3), 12, 1, ~0u},
      {"cdecl control", Call(&CdeclControl, ab, 2), 0, 7, ~0u},
      {"MBUN5_InitAction", Call(&MBUN5_InitAction, ab, 2), 8, 0, ~0u},
      {"MBUN5_WriteBlock (record by value)", Call(&MBUN5_WriteBlock, zeros, 13), 52, 0, ~0u},
      {"ERRLOG_WriteToLOGFile", Call(&ERRLOG_WriteToLOGFile, logArgs, 3), 0, 1, ~0u},
  };
  for (const auto& [name, p, popped, result, mask] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CalleePopped(p), popped);
    EXPECT_EQ(p.eax & mask, result);
  }
  // The arguments arrived in order and, for the ports, cut to 16 bits.
  EXPECT_EQ((std::vector<uint32_t>{1, 0x0B00, 2, 0x0704, 0x1234, 1, 120, 1, 0}),
            (std::vector<uint32_t>{g_seen.ins, g_seen.inPort, g_seen.outs, g_seen.outPort, g_seen.outValue,
                                   g_seen.smCalls, g_seen.smSteps, g_seen.smOne, g_seen.smZero}));
}

// A 12-byte record comes back through a hidden pointer pushed last, which
// the callee removes and hands back in eax; the name counts 0 bytes.
TEST_F(CallingConvention, CardInfoComesBackThroughTheHiddenPointerTheCalleePops) {
  MBU_CARD_INFO info = {1, 2, 3};
  const uint32_t args[] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&info))};
  const CallProbe p = Call(&MBUN5_GetCardInfo, args, 1);
  EXPECT_EQ(CalleePopped(p), 4u);
  EXPECT_EQ(p.eax, args[0]);
  EXPECT_EQ(info.dwJumperID, MBU_JUMPER_ID_UNREAD);
  EXPECT_EQ(info.dwPossiblePixels, 0u);
  EXPECT_EQ(info.dwAdvanceType, MBU_ADVANCE_UNDEFINED);
}

// The scanned row: the export's five arguments, and the seven the port
// library hands its device (the callee's stack cleaned by the callee).
uint32_t g_pollArgs[7];
extern "C" int32_t CARDN5_CDECL DevPoll(void*, const uint32_t* args, uint32_t) {
  for (int i = 0; i < 7; ++i) g_pollArgs[i] = args[i];
  return 0x5A5A1234;
}

TEST_F(CallingConvention, ScanRowPassesItsArgumentsOnAndPollVorschubTakesSeven) {
  HWIO_DEVICE dev{};
  dev.pfnOut = DevOut;
  dev.pfnPollVorschub = DevPoll;
  ASSERT_EQ(HWIOX_AttachDevice(&dev), 1);
  ASSERT_EQ(1, CARDN5_CreateCardObjects());
  CARDN5_SetEmulation(1);  // no handshake with a board that is not there
  CSEN5_SetScanmode(0, 0, 0);
  const uint32_t row[] = {0x11111111u, 17u, 0u, 0x44444444u, 0x55555555u};
  const CallProbe p = Call(&CSEN5_ScanOneRow, row, 5);
  EXPECT_EQ(CalleePopped(p), 20u);
  EXPECT_EQ(p.eax, 0x5A5A1234u);
  // scan mode 0: 17 pixels are 2 groups of 16, flags (0, 1)
  EXPECT_EQ(std::vector<uint32_t>(g_pollArgs, g_pollArgs + 7),
            (std::vector<uint32_t>{0x11111111u, 2u, 0u, 0x44444444u, 0x55555555u, 0u, 1u}));

  const uint32_t seven[] = {1u, 2u, 3u, 4u, 5u, 6u, 7u};
  const CallProbe q = Call(&HWIO_PollVorschub, seven, 7);
  EXPECT_EQ(CalleePopped(q), 28u);
  EXPECT_EQ(std::vector<uint32_t>(g_pollArgs, g_pollArgs + 7), std::vector<uint32_t>(seven, seven + 7));
  CARDN5_SetEmulation(0);
  CARDN5_DeleteCardObjects();
}

// ---- Focusing head: five argument slots, doubles, pointers ---------------------

TEST(HeadCalls, DoublesAndFiveSlotsArriveInOrderAndTheCalleeRemovesThem) {
  HWIOX_Reset();
  ASSERT_EQ(CARDN5_CreateCardObjects(), 1);
  CARDN5_SetEmulation(1);
  ERRLOGX_SetCapture(1);
  // One unit of radius between the circumferences (200 steps) and 10
  // calibrated steps; focus 50 on the table is 20 steps of defocus: 190 out.
  const double x[] = {0.0, 100.0, 7.0}, y[] = {0.0, 40.0, 7.0}, args[] = {6.28318530718, 12.56637061436, 50.0};
  uint32_t calib[5] = {0, 0, 0, 0, 10}, focus[2];
  std::memcpy(calib, args, 16);
  std::memcpy(focus, args + 2, 8);
  const uint32_t table[] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(x)),
                            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(y)), 0x10002u};
  EXPECT_EQ(CalleePopped(Call(&CPHN5_SetFokusTable, table, 3)), 12u);
  EXPECT_EQ(CalleePopped(Call(&CPHN5_SetCalibParam, calib, 5)), 20u);
  EXPECT_EQ(CalleePopped(Call(&CPHN5_SetFokus, focus, 2)), 8u);
  char line[64] = "";
  ERRLOGX_CaptureGet(ERRLOGX_CaptureCount() - 5, line, sizeof line);
  EXPECT_STREQ(line, "act: 0  wanted  190 \n");
  ERRLOGX_SetCapture(0);
  CARDN5_DeleteCardObjects();
  HWIOX_Reset();
}

// ---- SDU: double arguments --------------------------------------------------
// A double travels in two argument slots, low word first; a slot too many or
// too few, or the halves swapped, shows in the value the device receives.

TEST_F(CallingConvention, DoubleArgumentsOfAnSduExport) {
  ASSERT_EQ(CARDN5_CreateCardObjects(), 1);
  const double x[] = {0.0, 10.0}, y[] = {2.0, 8.0}, d[] = {5.0, 1.0};
  SDUN5_SetLDScanfokusTable(x, y, 2);
  uint32_t args[4];
  std::memcpy(args, d, sizeof d);  // focus 5 (5 V on the table) less 1 V: code 102
  const CallProbe p = Call(&SDUN5_SetLDScanfokus, args, 4);
  EXPECT_EQ(CalleePopped(p), 16u);
  EXPECT_EQ(p.eax, 1u);
  EXPECT_EQ(g_seen.outPort, 0x4B00u);
  EXPECT_EQ(g_seen.outValue >> 8, 102u);
  CARDN5_DeleteCardObjects();
}

}  // namespace

// The binary interface hosts see on 32-bit x86: stdcall (the callee removes
// its arguments) for the exports, the service functions and the host's
// callbacks. A mismatch here corrupts the host's stack on the machine.
#include <gtest/gtest.h>
#include <stddef.h>

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

// What reached the device ('I'n, 'O'ut) and the host's stepper function
// ('S'), in order, with the arguments.
std::vector<uint32_t> g_seen;

uint16_t DeviceAnswer(uint16_t port) { return static_cast<uint16_t>(port ^ 0x5AA5u); }

extern "C" uint16_t CARDN5_CDECL DevIn(void*, uint16_t port, uint32_t) {
  g_seen.insert(g_seen.end(), {'I', port});
  return DeviceAnswer(port);
}

extern "C" void CARDN5_CDECL DevOut(void*, uint16_t port, uint16_t value, uint32_t) {
  g_seen.insert(g_seen.end(), {'O', port, value});
}

// The host's stepper function as EPUN5_DoOneRow calls it.
extern "C" int32_t CARDN5_CALL HostSmMove(uint32_t dwSteps, uint32_t dwOne, uint32_t dwZero) {
  g_seen.insert(g_seen.end(), {'S', dwSteps, dwOne, dwZero});
  return 1;
}
constexpr PFN_SMMOVE kHostSmMove = HostSmMove;

// The probe's control: a cdecl function leaves its arguments to the caller.
extern "C" int32_t __attribute__((cdecl, noinline)) CdeclControl(uint32_t a, uint32_t b) {
  return static_cast<int32_t>(a - b);
}

// The scanned row reaches the device as seven arguments.
uint32_t g_pollArgs[7];
extern "C" int32_t CARDN5_CDECL DevPoll(void*, const uint32_t* args, uint32_t) {
  for (int i = 0; i < 7; ++i) g_pollArgs[i] = args[i];
  return 0x5A5A1234;
}

class CallingConvention : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    // No real port is ever touched: every access goes to the device.
    HWIOX_Reset();
    HWIO_DEVICE dev{};
    dev.pfnIn = DevIn;
    dev.pfnOut = DevOut;
    dev.pfnPollVorschub = DevPoll;
    ASSERT_EQ(HWIOX_AttachDevice(&dev), 1);
  }
  void TearDown() override { HWIOX_Reset(); }
};

TEST_F(CallingConvention, CalleeRemovesExactlyItsArgumentsFromTheStack) {
  const uint32_t hout[] = {0x0F00u, 0x8001u}, out[] = {0xABCD0704u, 0x55AA1234u}, in[] = {0x11110B00u};
  const uint32_t sm[] = {120u, 1u, 0u}, ab[] = {10u, 3u}, zeros[13] = {};
  static const char kFormat[] = "abi_test %u %u\n";
  const uint32_t logArgs[] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kFormat)), 1u, 2u};
  MBU_CARD_INFO info = {1, 2, 3};
  const uint32_t infoArg[] = {static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&info))};
  // No board objects here: the MBU exports return 0 and touch nothing. The
  // port read's result is compared in its low 16 bits. The log writer takes
  // a variable argument list: the caller cleans up. A 12-byte record comes
  // back through a hidden pointer pushed last, which the callee removes and
  // hands back in eax; the name counts 0 bytes.
  const std::tuple<const char*, CallProbe, uint32_t, uint32_t, uint32_t> cases[] = {
      {"HWIO_Hout", Call(&HWIO_Hout, hout, 2), 8, 1, ~0u},
      {"CARDN5_PortOut", Call(&CARDN5_PortOut, out, 2), 8, 1, ~0u},
      {"CARDN5_PortIn", Call(&CARDN5_PortIn, in, 1), 4, DeviceAnswer(0x0B00), 0xFFFFu},
      {"host PFN_SMMOVE", Call(kHostSmMove, sm, 3), 12, 1, ~0u},
      {"cdecl control", Call(&CdeclControl, ab, 2), 0, 7, ~0u},
      {"MBUN5_InitAction", Call(&MBUN5_InitAction, ab, 2), 8, 0, ~0u},
      {"MBUN5_WriteBlock (record by value)", Call(&MBUN5_WriteBlock, zeros, 13), 52, 0, ~0u},
      {"ERRLOG_WriteToLOGFile", Call(&ERRLOG_WriteToLOGFile, logArgs, 3), 0, 1, ~0u},
      {"MBUN5_GetCardInfo", Call(&MBUN5_GetCardInfo, infoArg, 1), 4, infoArg[0], ~0u},
  };
  for (const auto& [name, p, popped, result, mask] : cases)
    EXPECT_EQ((std::pair{CalleePopped(p), p.eax & mask}), (std::pair{popped, result})) << name;
  // The arguments arrived in order and, for the ports, cut to 16 bits.
  EXPECT_EQ((std::vector<uint32_t>{'O', 0x0F00, 0x8001, 'O', 0x0704, 0x1234, 'I', 0x0B00, 'S', 120, 1, 0}), g_seen);
  EXPECT_EQ((std::vector<uint32_t>{MBU_JUMPER_ID_UNREAD, 0, MBU_ADVANCE_UNDEFINED}),
            (std::vector<uint32_t>{info.dwJumperID, info.dwPossiblePixels, info.dwAdvanceType}));
}

// ---- Doubles, five argument slots, pointers ------------------------------------
// A double travels in two argument slots, low word first; a slot too many or
// too few, or the halves swapped, shows in the value the board receives.

TEST_F(CallingConvention, DoublesFiveSlotsAndAScannedRowArriveInOrderAndTheCalleeRemovesThem) {
  ASSERT_EQ(CARDN5_CreateCardObjects(), 1);
  const double sx[] = {0.0, 10.0}, sy[] = {2.0, 8.0}, sdu[] = {5.0, 1.0};
  SDUN5_SetLDScanfokusTable(sx, sy, 2);
  uint32_t slots[4];
  std::memcpy(slots, sdu, sizeof sdu);  // focus 5 (5 V on the table) less 1 V: code 102
  g_seen.clear();
  const CallProbe p = Call(&SDUN5_SetLDScanfokus, slots, 4);
  EXPECT_EQ((std::vector<uint32_t>{16, 1, 'O', 0x4B00, 102}),
            (std::vector<uint32_t>{CalleePopped(p), p.eax, g_seen.at(0), g_seen.at(1), g_seen.at(2) >> 8u}));

  // The scanned row, emulated (no handshake with a board that is not there):
  // scan mode 0 makes 17 pixels 2 groups of 16, flags (0, 1).
  CARDN5_SetEmulation(1);
  CSEN5_SetScanmode(0, 0, 0);
  const uint32_t row[] = {0x11111111u, 17u, 0u, 0x44444444u, 0x55555555u};
  const CallProbe scan = Call(&CSEN5_ScanOneRow, row, 5);
  EXPECT_EQ((std::vector<uint32_t>{20u, 0x5A5A1234u, 0x11111111u, 2u, 0u, 0x44444444u, 0x55555555u, 0u, 1u}),
            (std::vector<uint32_t>{CalleePopped(scan), scan.eax, g_pollArgs[0], g_pollArgs[1], g_pollArgs[2],
                                   g_pollArgs[3], g_pollArgs[4], g_pollArgs[5], g_pollArgs[6]}));
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
}

}  // namespace

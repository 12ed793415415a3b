// Every board export while the boards are emulated: its result, the virtual
// time it takes (only pauses; no board wait), its log lines, and the board
// untouched: nothing but emulated accesses, which no board sees.

#include <cstring>

#include "epu_support.h"

namespace {

using namespace eputest;

// An exchange's result, or -1 when its answer is not "Emulation" alone.
// The command is not even looked at.
int64_t Answer(int32_t(CARDN5_CALL* exchange)(const char*, char*)) {
  char answer[249] = "";
  std::memset(answer, '~', sizeof answer);
  const int32_t r = exchange(nullptr, answer);
  return std::memcmp(answer, "Emulation\0~", 11) == 0 ? r : -1;
}

int64_t StatusDigits() {
  return IODN5_TestRapportStand() * 1000 + IODN5_TestDeviceReady() * 100 + IODN5_TestRechtesRadHinten() * 10 +
         IODN5_IsXenonOn();
}

TEST_F(EpuTest, EmulatedExportsAnswerWithoutTheBoards) {
  const struct {
    const char* name;
    std::function<int64_t()> call;
    int64_t result;
    uint64_t us, lines;
    bool accesses;     // emulated port accesses; false: none at all
    int32_t flag = 0;  // 0: with the flags 1 and 2
    std::function<void()> setUp = [] {};
  } cases[] = {
      {"EPUN5_InitPowerOn", [] { return EPUN5_InitPowerOn(1); }, 1, 30, 6, true},
      {"EPUN5_GravurVorbereiten", [] { return EPUN5_GravurVorbereiten(Job()); }, 1, 20, 2, true},
      {"EPUN5_SetSWShutterOpen", [] { return EPUN5_SetSWShutterOpen(1); }, 10, 10, 0, true},
      {"EPUN5_SetEcoDutyCycle", [] { return EPUN5_SetEcoDutyCycle(50); }, 1, 0, 6, true},
      {"EPUN5_SetFirstRow", [] { return EPUN5_SetFirstRow(), 0; }, 0, 0, 0, false},
      {"EPUN5_DoOneRow, PLL lost, wrong bank", [this] { return Row(1, 3, 10); }, 1, 0, 0, true, 0,
       [this] { PrepareJob(), epu->set_pll_locked(false), epu->set_wrong_bank(true); }},
      {"EPUN5_DoOneRow, stepper fails", [this] { return Row(1, 3, 10); }, 0, 0, 2, true, 0,
       [this] { epu->set_pll_locked(true), epu->set_wrong_bank(false), PrepareJob(), SmMoveRecorder::failOnCall = 1; }},
      {"EPUN5_WaitForTurnOffPossible", [] { return EPUN5_WaitForTurnOffPossible(); }, 1, 0, 0, false},
      {"EPUN5_SetSMDirection", [] { return EPUN5_SetSMDirection(1), 0; }, 0, 0, 0, false},
      {"EPUN5_SetSMSpeed", [] { return EPUN5_SetSMSpeed(0); }, 10, 10, 0, true},
      {"EPUN5_SetSMAutoMan", [] { return EPUN5_SetSMAutoMan(1); }, 1, 0, 0, true},
      {"EPUN5_OneSMStep", [] { return EPUN5_OneSMStep(); }, 1, 0, 0, true},
      {"EPUN5_GetSMStepAdresse", [] { return EPUN5_GetSMStepAdresse(); }, 0xA700, 0, 0, false},
      {"EPUN5_SetDAC0", [] { return EPUN5_SetDAC0(2.5); }, 1, 0, 1, true},
      {"EPUN5_SetDAC1", [] { return EPUN5_SetDAC1(2.5); }, 1, 0, 1, true},
      {"EPUN5_SetOKOutput", [] { return EPUN5_SetOKOutput(0x12345); }, 1, 0, 0, true},
      {"EPUN5_GetOKOutput", [] { return EPUN5_GetOKOutput(); }, 0x2345, 0, 0, false},
      {"EPUN5_GetFINP", [] { return EPUN5_GetFINP(); }, 0, 0, 0, true},
      {"EPUN5_TurnLaserdiodeOn", [] { return EPUN5_TurnLaserdiodeOn(1); }, 1, 0, 0, true},
      {"EPUN5_SetLaserpulsExplizit", [] { return EPUN5_SetLaserpulsExplizit(1); }, 1, 0, 0, true},
      {"EPUN5_SetErrorLED", [] { return EPUN5_SetErrorLED(1); }, 1, 0, 0, true},
      {"EPUN5_IsPLLInRange", [] { return EPUN5_IsPLLInRange(); }, 0, 0, 0, true},
      {"EPUN5_TestEncoder", [] { return EPUN5_TestEncoder(); }, 0, 0, 0, true},
      {"EPUN5_GetEncoderPulses", [] { return EPUN5_GetEncoderPulses(); }, 5555, 0, 0, false},
      {"EPUN5_GetIPGPulses", [] { return EPUN5_GetIPGPulses(); }, 7777, 0, 0, false},
      {"IPGN5_InitPowerOn", [] { return IPGN5_InitPowerOn(); }, 1, 0, 0, false},
      {"IPGN5_SetIPGPulses", [] { return IPGN5_SetIPGPulses(6400); }, 1, 0, 0, true},
      {"CARDN5_PortIn", [] { return CARDN5_PortIn(0x8300); }, 0, 0, 0, true},
      {"CARDN5_PortOut", [] { return CARDN5_PortOut(0x8700, 1); }, 1, 0, 0, true},
      {"IODN5_InitPowerOn", [] { return IODN5_InitPowerOn(); }, 1, 0, 0, false},
      {"IODN5_RepSendTxt", [] { return IODN5_RepSendTxt(nullptr); }, 1, 0, 0, false},
      {"IODN6_RepSendTxt", [] { return IODN6_RepSendTxt(nullptr); }, 1, 0, 0, false},
      {"IODN5_RepReceiveTxt", [] { return Answer(IODN5_RepReceiveTxt); }, 1, 0, 0, false},
      {"IODN6_RepReceiveTxt", [] { return Answer(IODN6_RepReceiveTxt); }, 1, 0, 0, false},
      {"IODN6_SingleReceiveTxt", [] { return Answer(IODN6_SingleReceiveTxt); }, 1, 0, 0, false},
      // a missing answer buffer stays a fault
      {"IODN5_RepReceiveTxt, no buffer", [] { return IODN5_RepReceiveTxt("x", nullptr); }, 0, 0, 1, false},
      // the status inputs (RapportStand, DeviceReady, RechtesRadHinten, Xenon as
      // digits) are emulated for the flag 1 only; else they read the port library's 0
      {"IOD status inputs", [] { return StatusDigits(); }, 1101, 0, 0, false, 1},
      {"IOD status inputs", [] { return StatusDigits(); }, 1100, 0, 0, true, 2},
  };
  testsupport::Watchdog watchdog("an emulated export");
  for (int32_t flag : {1, 2}) {
    for (const auto& c : cases) {
      if (c.flag != 0 && c.flag != flag) continue;
      SCOPED_TRACE(testing::Message() << c.name << ", emulation " << flag);
      c.setUp();
      ASSERT_EQ(1, CARDN5_SetEmulation(flag));
      Forget();
      const uint64_t start = machine.NowNs();
      // the result, the time taken, the lines, any emulated access and the accesses that reached the machine
      using Seen = std::tuple<int64_t, uint64_t, uint64_t, bool, uint64_t>;
      EXPECT_EQ((Seen{c.result, c.us * 1000, c.lines, c.accesses, 0}),
                (Seen{c.call(), machine.NowNs() - start, log.Lines().size(), machine.trace().All().Accesses(true) > 0,
                      machine.trace().All().Accesses(false)}));
      ASSERT_EQ(1, CARDN5_SetEmulation(0));
    }
  }
}

}  // namespace

// The library frame: registry, exports, load and unload.
#include "cardN5.h"

#include <new>
#include <type_traits>

#include "errlog32.h"
#include "fail.h"
#include "hwinfo32.h"
#include "hwio32.h"
#include "port_register.h"

#if defined(_WIN32)
#include <windows.h>
#endif

CEPUCard* g_pEPU = nullptr;
CMBUCard* g_pMBU = nullptr;
CDCACard* g_pDCA = nullptr;
CIODCard* g_pIOD = nullptr;
CIPGCard* g_pIPG = nullptr;
CCSICard* g_pCSI = nullptr;
CCSECard* g_pCSE = nullptr;
CCPHCard* g_pCPH = nullptr;
CSDUCard* g_pSDU = nullptr;

int32_t g_bHWInfoOpen = 0;
int32_t g_hHWInfo = 0;

CDLLApp theApp;

// ---- Hardware-information window ------------------------------------------

int32_t OpenHWInfo() {
  if (g_bHWInfoOpen != 0) return g_hHWInfo;
  g_hHWInfo = HWINFO_ShowHDWInfo(HWINFO_OPEN, 0, nullptr);
  g_bHWInfoOpen = 1;
  return g_hHWInfo;
}

void CloseHWInfo() {
  if (g_bHWInfoOpen != 1) return;
  HWINFO_HideHDWInfo(OpenHWInfo());
  HWINFO_ShowHDWInfo(HWINFO_CLOSED, 0, nullptr);
  g_bHWInfoOpen = 0;
}

// ---- Application object ----------------------------------------------------

int32_t CDLLApp::InitInstance() {
  ERRLOG_WriteToLOGFile("CARDN532.DLL InitInstance \n");
  return 1;
}

int32_t CDLLApp::ExitInstance() {
  CARDN5_DeleteCardObjects();
  return CWinApp::ExitInstance();
}

#if defined(_WIN32)
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      if (!theApp.CDLLApp::InitInstance()) {
        theApp.CDLLApp::ExitInstance();
        return FALSE;
      }
      break;
    case DLL_PROCESS_DETACH:
      theApp.CDLLApp::ExitInstance();
      break;
    default:
      break;
  }
  return TRUE;
}
#else
// Load and unload of the shared object stand in for the DLL entry. The
// register objects and theApp are constant-initialised, so they exist
// before this runs whatever the order of the initialisers.
__attribute__((constructor)) static void LibraryLoaded() { theApp.CDLLApp::InitInstance(); }
__attribute__((destructor)) static void LibraryUnloaded() { theApp.CDLLApp::ExitInstance(); }
#endif

// ---- Registry ----------------------------------------------------------------

namespace {

// Calls f with each registry slot, in the order of creation, deletion and
// the emulation switch.
template <typename F>
void ForEachBoard(F&& f) {
  f(g_pEPU);
  f(g_pMBU);
  f(g_pDCA);
  f(g_pIOD);
  f(g_pIPG);
  f(g_pCSI);
  f(g_pCSE);
  f(g_pCPH);
  f(g_pSDU);
}

int CountBoards() {
  int n = 0;
  ForEachBoard([&n](auto* board) { n += board != nullptr; });
  return n;
}

constexpr int kBoardCount = 9;

}  // namespace

CARDN5_API int32_t CARDN5_CALL CARDN5_CreateCardObjects(void) {
  ERRLOG_WriteToLOGFile("CARDN5_CreateCardObjects \n");
  // A second creation would otherwise orphan the boards of the first.
  if (CountBoards() != 0) CARDN5_DeleteCardObjects();
  HWIO_GrantPortAccess();
  ForEachBoard([](auto*& slot) { slot = new (std::nothrow) std::remove_reference_t<decltype(*slot)>(); });
  if (CountBoards() == kBoardCount) return 1;
  CARDN5_RECORD_ERROR(ERR_CREATE_CARDS);
  return 0;
}

CARDN5_API void CARDN5_CALL CARDN5_DeleteCardObjects(void) {
  ForEachBoard([](auto*& slot) {
    delete slot;
    slot = nullptr;
  });
}

CARDN5_API int32_t CARDN5_CALL CARDN5_SetEmulation(int32_t bEmulation) {
  // Without boards there is nothing to switch; the port library keeps its mode.
  if (CountBoards() == 0) return 0;
  ForEachBoard([bEmulation](auto* board) {
    if (board) board->m_bEmulation = bEmulation;
  });
  if (bEmulation != 0) ERRLOG_WriteToLOGFile("CardN5 SetEmulation TRUE \n");
  return HWIO_SetEmulation(bEmulation);
}

CARDN5_API uint16_t CARDN5_CALL CARDN5_PortIn(uint32_t dwPort) {
  CPortRegister reg(static_cast<uint16_t>(dwPort));
  reg.In();
  return reg.GetValue();
}

CARDN5_API int32_t CARDN5_CALL CARDN5_PortOut(uint32_t dwPort, uint32_t dwValue) {
  CPortRegister reg(static_cast<uint16_t>(dwPort));
  reg.SetValue(static_cast<uint16_t>(dwValue));
  return reg.Out();
}

// ---- EPU and IPG exports -----------------------------------------------------

CARDN5_API int32_t CARDN5_CALL EPUN5_InitPowerOn(int32_t b) { return CARDN5_FORWARD(g_pEPU, InitPowerOn(b)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_GravurVorbereiten(EPU_GRAVUR_PARAMS p) {
  return CARDN5_FORWARD(g_pEPU, GravurVorbereiten(p));
}
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSWShutterOpen(int32_t b) { return CARDN5_FORWARD(g_pEPU, SetSWShutterOpen(b)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetEcoDutyCycle(double d) { return CARDN5_FORWARD(g_pEPU, SetEcoDutyCycle(d)); }
CARDN5_API void CARDN5_CALL EPUN5_SetFirstRow(void) {
  if (g_pEPU) g_pEPU->SetFirstRow();
}

// The in-row flag is what EPUN5_WaitForTurnOffPossible watches from the
// host's other thread.
CARDN5_API int32_t CARDN5_CALL EPUN5_DoOneRow(uint32_t dwCodeArg1, uint32_t dwCodeArg2, uint32_t wRowMode,
                                              uint32_t wSteps, uint32_t wRowShift, PFN_SMMOVE pfnSmMove) {
  if (!g_pEPU) return 0;
  g_pEPU->m_bInDoOneRow = 1;
  const int32_t bResult = g_pEPU->DoOneRow(dwCodeArg1, dwCodeArg2, wRowMode, wSteps, wRowShift, pfnSmMove);
  g_pEPU->m_bInDoOneRow = 0;
  return bResult;
}
CARDN5_API int32_t CARDN5_CALL EPUN5_WaitForTurnOffPossible(void) {
  return CARDN5_FORWARD(g_pEPU, WaitForTurnOffPossible());
}

CARDN5_API void CARDN5_CALL EPUN5_SetSMDirection(int32_t b) {
  if (g_pEPU) g_pEPU->SetSMDirection(b);
}
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMSpeed(int32_t b) { return CARDN5_FORWARD(g_pEPU, SetSMSpeed(b)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetSMAutoMan(int32_t b) { return CARDN5_FORWARD(g_pEPU, SetSMAutoMan(b)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_OneSMStep(void) { return CARDN5_FORWARD(g_pEPU, OneSMStep()); }
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetSMStepAdresse(void) { return CARDN5_FORWARD(g_pEPU, GetSMStepAdresse()); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC0(double d) { return CARDN5_FORWARD(g_pEPU, SetDAC0(d)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetDAC1(double d) { return CARDN5_FORWARD(g_pEPU, SetDAC1(d)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetOKOutput(uint32_t w) { return CARDN5_FORWARD(g_pEPU, SetOKOutput(w)); }
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetOKOutput(void) { return CARDN5_FORWARD(g_pEPU, GetOKOutput()); }
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetFINP(void) { return CARDN5_FORWARD(g_pEPU, GetFINP()); }
CARDN5_API int32_t CARDN5_CALL EPUN5_TurnLaserdiodeOn(int32_t b) { return CARDN5_FORWARD(g_pEPU, TurnLaserdiodeOn(b)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_SetLaserpulsExplizit(int32_t b) {
  return CARDN5_FORWARD(g_pEPU, SetLaserpulsExplizit(b));
}
CARDN5_API int32_t CARDN5_CALL EPUN5_SetErrorLED(int32_t n) { return CARDN5_FORWARD(g_pEPU, SetErrorLED(n)); }
CARDN5_API int32_t CARDN5_CALL EPUN5_IsPLLInRange(void) { return CARDN5_FORWARD(g_pEPU, IsPLLInRange()); }
CARDN5_API int32_t CARDN5_CALL EPUN5_TestEncoder(void) { return CARDN5_FORWARD(g_pEPU, TestEncoder()); }
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetEncoderPulses(void) { return CARDN5_FORWARD(g_pEPU, GetEncoderPulses()); }
CARDN5_API uint16_t CARDN5_CALL EPUN5_GetIPGPulses(void) { return CARDN5_FORWARD(g_pEPU, GetIPGPulses()); }

CARDN5_API int32_t CARDN5_CALL IPGN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pIPG, InitPowerOn()); }
CARDN5_API int32_t CARDN5_CALL IPGN5_SetIPGPulses(uint32_t n) { return CARDN5_FORWARD(g_pIPG, SetIPGPulses(n)); }

// ---- IOD exports -------------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL IODN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pIOD, InitPowerOn()); }
CARDN5_API int32_t CARDN5_CALL IODN5_RepSendTxt(const char* c) { return CARDN5_FORWARD(g_pIOD, RepSendTxt(c)); }
CARDN5_API int32_t CARDN5_CALL IODN5_RepReceiveTxt(const char* c, char* a) {
  return CARDN5_FORWARD(g_pIOD, RepReceiveTxt(c, a));
}
CARDN5_API int32_t CARDN5_CALL IODN6_RepSendTxt(const char* c) { return CARDN5_FORWARD(g_pIOD, RepSendTxtN6(c)); }
CARDN5_API int32_t CARDN5_CALL IODN6_RepReceiveTxt(const char* c, char* a) {
  return CARDN5_FORWARD(g_pIOD, RepReceiveTxtN6(c, a));
}
CARDN5_API int32_t CARDN5_CALL IODN6_SingleReceiveTxt(const char* c, char* a) {
  return CARDN5_FORWARD(g_pIOD, SingleReceiveTxtN6(c, a));
}
CARDN5_API int32_t CARDN5_CALL IODN5_TestRapportStand(void) { return CARDN5_FORWARD(g_pIOD, TestRapportStand()); }
CARDN5_API int32_t CARDN5_CALL IODN5_TestDeviceReady(void) { return CARDN5_FORWARD(g_pIOD, TestDeviceReady()); }
CARDN5_API int32_t CARDN5_CALL IODN5_TestRechtesRadHinten(void) {
  return CARDN5_FORWARD(g_pIOD, TestRechtesRadHinten());
}
CARDN5_API int32_t CARDN5_CALL IODN5_IsXenonOn(void) { return CARDN5_FORWARD(g_pIOD, IsXenonOn()); }

// ---- CPH exports -------------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL CPHN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pCPH, InitPowerOn()); }
CARDN5_API int32_t CARDN5_CALL CPHN5_SetCalibParam(double d1, double d2, uint32_t n) {
  return CARDN5_FORWARD(g_pCPH, SetKalibrationParameter(d1, d2, n));
}
CARDN5_API int32_t CARDN5_CALL CPHN5_LenseMove(int32_t n, uint32_t d, uint32_t m) {
  return CARDN5_FORWARD(g_pCPH, ManualLenseMove(n, d, m));
}
CARDN5_API int32_t CARDN5_CALL CPHN5_GotoRepeatPosition(void) { return CARDN5_FORWARD(g_pCPH, GotoRepeatPosition()); }
CARDN5_API int32_t CARDN5_CALL CPHN5_GotoEngravingPosition(void) {
  return CARDN5_FORWARD(g_pCPH, GotoEngravingPosition());
}
CARDN5_API int32_t CARDN5_CALL CPHN5_SetDefokusPosition(int32_t d) {
  return CARDN5_FORWARD(g_pCPH, SetDefokusPosition(d));
}
CARDN5_API int32_t CARDN5_CALL CPHN5_SetHWShutterOpen(uint32_t b) { return CARDN5_FORWARD(g_pCPH, SetShutter(b)); }
CARDN5_API int32_t CARDN5_CALL CPHN5_SetFokus(double d) { return CARDN5_FORWARD(g_pCPH, SetFokus(d)); }
CARDN5_API void CARDN5_CALL CPHN5_SetFokusTable(const double* x, const double* y, uint32_t n) {
  if (g_pCPH) g_pCPH->SetFokusTable(x, y, n);
}

// ---- CSE exports -------------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL CSEN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pCSE, InitPowerOn()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_SetScanmode(uint32_t m, uint32_t l, uint32_t s) {
  return CARDN5_FORWARD(g_pCSE,
                        SetScanmode(static_cast<uint16_t>(m), static_cast<uint16_t>(l), static_cast<uint16_t>(s)));
}
CARDN5_API int32_t CARDN5_CALL CSEN5_GetRGBValue(uint32_t* p) { return CARDN5_FORWARD(g_pCSE, GetRGBValue(p)); }
CARDN5_API int32_t CARDN5_CALL CSEN5_DoSchwarzAbgleich(int32_t b) {
  return CARDN5_FORWARD(g_pCSE, DoSchwarzAbgleich(b));
}
CARDN5_API int32_t CARDN5_CALL CSEN5_DoWeissAbgleich(void) { return CARDN5_FORWARD(g_pCSE, DoWeissAbgleich()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_StartScanSequence(void) { return CARDN5_FORWARD(g_pCSE, StartScanSequence()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_StopScanSequence(void) { return CARDN5_FORWARD(g_pCSE, StopScanSequence()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_ScanOneRow(uint32_t a, uint32_t n, uint32_t p, uint32_t d, uint32_t e) {
  return CARDN5_FORWARD(g_pCSE, ScanOneRow(a, n, p, d, e));
}
CARDN5_API int32_t CARDN5_CALL CSEN5_TurnXenonOn(int32_t b) { return CARDN5_FORWARD(g_pCSE, TurnXenonOn(b)); }
CARDN5_API int32_t CARDN5_CALL CSEN5_IsXenonOn(void) { return CARDN5_FORWARD(g_pCSE, IsXenonOn()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_GetColorselect(void) { return CARDN5_FORWARD(g_pCSE, GetColorselect()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_GetBWAlignementValid(void) {
  return CARDN5_FORWARD(g_pCSE, GetBWAlignementValid());
}
CARDN5_API int32_t CARDN5_CALL CSEN5_GetDeviceReady(void) { return CARDN5_FORWARD(g_pCSE, GetDeviceReady()); }
CARDN5_API int32_t CARDN5_CALL CSEN5_SetLinework(int32_t b) { return CARDN5_FORWARD(g_pCSE, SetLinework(b)); }
CARDN5_API int32_t CARDN5_CALL CSEN5_SetSWStatus(uint32_t w) {
  return CARDN5_FORWARD(g_pCSE, SetSWStatus(static_cast<uint16_t>(w)));
}

// ---- MBU and CSI exports -------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL MBUN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pMBU, InitPowerOn()); }
// Without a board object: the record of a card not identified yet.
CARDN5_API MBU_CARD_INFO CARDN5_CALL MBUN5_GetCardInfo(void) {
  return g_pMBU ? g_pMBU->GetCardInfo() : MBU_CARD_INFO{MBU_JUMPER_ID_UNREAD, 0, MBU_ADVANCE_UNDEFINED};
}
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteMemory(const uint16_t* p, uint32_t n) {
  return CARDN5_FORWARD(g_pMBU, WriteMemory(p, n));
}
CARDN5_API int32_t CARDN5_CALL MBUN5_ReadMemory(uint16_t* p, uint32_t n) {
  return CARDN5_FORWARD(g_pMBU, ReadMemory(p, n));
}
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteBlock(MBU_BLOCK_INFO b) { return CARDN5_FORWARD(g_pMBU, WriteBlock(b)); }
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteToBankPossible(void) { return CARDN5_FORWARD(g_pMBU, WriteToBankPossible()); }
CARDN5_API uint16_t CARDN5_CALL MBUN5_GetAccessibleBank(void) { return CARDN5_FORWARD(g_pMBU, GetAccessibleBank()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigSoftReset(void) { return CARDN5_FORWARD(g_pMBU, TrigSoftReset()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigBankSet(void) { return CARDN5_FORWARD(g_pMBU, TrigBankSet()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_TrigTestMode(void) { return CARDN5_FORWARD(g_pMBU, TrigTestMode()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_IstResetAufgetreten(void) { return CARDN5_FORWARD(g_pMBU, IstResetAufgetreten()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_IsPLLInRange(void) { return CARDN5_FORWARD(g_pMBU, IsPLLInRange()); }
CARDN5_API uint16_t CARDN5_CALL MBUN5_GetNullimpulsZaehler(void) {
  return CARDN5_FORWARD(g_pMBU, GetNullimpulsZaehler());
}
CARDN5_API int32_t CARDN5_CALL MBUN5_GravurVorbereiten(void) { return CARDN5_FORWARD(g_pMBU, GravurVorbereiten()); }
// Both arguments are accepted and ignored.
CARDN5_API int32_t CARDN5_CALL MBUN5_InitAction(uint32_t, uint32_t) { return CARDN5_FORWARD(g_pMBU, InitAction()); }
CARDN5_API int32_t CARDN5_CALL MBUN5_TriggerBlock(MBU_BLOCK_INFO b) { return CARDN5_FORWARD(g_pMBU, TriggerBlock(b)); }
CARDN5_API int32_t CARDN5_CALL MBUN5_SetSMDirection(int32_t b) { return CARDN5_FORWARD(g_pMBU, SetSMDirection(b)); }
CARDN5_API int32_t CARDN5_CALL MBUN5_SetNullverschiebungsWert(int32_t n) {
  return CARDN5_FORWARD(g_pMBU, SetNullverschiebungsWert(n));
}
CARDN5_API int32_t CARDN5_CALL MBUN5_SetPlotHeightPI(uint32_t n) { return CARDN5_FORWARD(g_pMBU, SetPlotHeightPI(n)); }
CARDN5_API int32_t CARDN5_CALL MBUN5_WriteAMUValues(int32_t n) { return CARDN5_FORWARD(g_pMBU, WriteAMUValues(n)); }
CARDN5_API int32_t CARDN5_CALL MBUN5_SetLaserpulsExplizit(int32_t b) {
  return CARDN5_FORWARD(g_pMBU, SetLaserpulsExplizit(b));
}
CARDN5_API int32_t CARDN5_CALL MBUN5_IsTurnOffPossible(void) { return CARDN5_FORWARD(g_pMBU, IsTurnOffPossible()); }

CARDN5_API int32_t CARDN5_CALL CSIN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pCSI, InitPowerOn()); }

// ---- DCA exports ---------------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL DCAN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pDCA, InitPowerOn()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLeftSensor(void) { return CARDN5_FORWARD(g_pDCA, TestLeftSensor()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_TestRightSensor(void) { return CARDN5_FORWARD(g_pDCA, TestRightSensor()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLeftSchalter(void) { return CARDN5_FORWARD(g_pDCA, TestLeftSchalter()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_TestRightSchalter(void) { return CARDN5_FORWARD(g_pDCA, TestRightSchalter()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_SetLEFokusspannung(double d) {
  return CARDN5_FORWARD(g_pDCA, SetLEFokusspannung(d));
}
CARDN5_API int32_t CARDN5_CALL DCAN5_TestLEFokstat(void) { return CARDN5_FORWARD(g_pDCA, TestLEFokstat()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_SetLDKFokusspannung(double d) {
  return CARDN5_FORWARD(g_pDCA, SetLDKFokusspannung(d));
}
CARDN5_API void CARDN5_CALL DCAN5_SetSMDirection(int32_t n) {
  if (g_pDCA) g_pDCA->SetSMDirection(n);
}
CARDN5_API int32_t CARDN5_CALL DCAN5_SetSMSpeed(int32_t n) { return CARDN5_FORWARD(g_pDCA, SetSMSpeed(n)); }
CARDN5_API int32_t CARDN5_CALL DCAN5_OneSMStep(void) { return CARDN5_FORWARD(g_pDCA, OneSMStep()); }
CARDN5_API uint16_t CARDN5_CALL DCAN5_GetSMStepAdresse(void) { return CARDN5_FORWARD(g_pDCA, GetSMStepAdresse()); }
CARDN5_API void CARDN5_CALL DCAN5_SetLENZESpeedVoltage(double d) {
  if (g_pDCA) g_pDCA->SetLENZESpeedVoltage(d);
}
CARDN5_API void CARDN5_CALL DCAN5_SetFETSpeedVoltage(double d) {
  if (g_pDCA) g_pDCA->SetFETSpeedVoltage(d);
}
CARDN5_API int32_t CARDN5_CALL DCAN5_TestFETTemperature(void) { return CARDN5_FORWARD(g_pDCA, TestFETTemperature()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_TurnLaserdiodeOn(int32_t b) { return CARDN5_FORWARD(g_pDCA, TurnLaserdiodeOn(b)); }
CARDN5_API int32_t CARDN5_CALL DCAN5_Set2LevelSensitivity(double d, int32_t b) {
  return CARDN5_FORWARD(g_pDCA, Set2LevelSensitivity(d, b));
}
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeEin(void) { return CARDN5_FORWARD(g_pDCA, LichtschrankeEin()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeAus(void) { return CARDN5_FORWARD(g_pDCA, LichtschrankeAus()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeReset(void) { return CARDN5_FORWARD(g_pDCA, LichtschrankeReset()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_LichtschrankeAbfragen(void) {
  return CARDN5_FORWARD(g_pDCA, LichtschrankeAbfragen());
}
CARDN5_API int32_t CARDN5_CALL DCAN5_EnoughInk(void) { return CARDN5_FORWARD(g_pDCA, EnoughInk()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_HeadReady(void) { return CARDN5_FORWARD(g_pDCA, HeadReady()); }
CARDN5_API int32_t CARDN5_CALL DCAN5_MoveToEngPosPossible(void) {
  return CARDN5_FORWARD(g_pDCA, MoveToEngPosPossible());
}

// ---- SDU exports ---------------------------------------------------------------

CARDN5_API int32_t CARDN5_CALL SDUN5_InitPowerOn(void) { return CARDN5_FORWARD(g_pSDU, InitPowerOn()); }
CARDN5_API void CARDN5_CALL SDUN5_SetXenonScanfokusTable(const double* x, const double* y, uint32_t n) {
  if (g_pSDU) g_pSDU->SetXenonScanfokusTable(x, y, n);
}
CARDN5_API void CARDN5_CALL SDUN5_SetLDScanfokusTable(const double* x, const double* y, uint32_t n) {
  if (g_pSDU) g_pSDU->SetLDScanfokusTable(x, y, n);
}
CARDN5_API void CARDN5_CALL SDUN5_SetLDPlotfokusTable(const double* x, const double* y, uint32_t n) {
  if (g_pSDU) g_pSDU->SetLDPlotfokusTable(x, y, n);
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SetXenonScanfokus(double f, double o) {
  return CARDN5_FORWARD(g_pSDU, SetXenonScanfokus(f, o));
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDScanfokus(double f, double o) {
  return CARDN5_FORWARD(g_pSDU, SetLDScanfokus(f, o));
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLDPlotfokus(double f, double o) {
  return CARDN5_FORWARD(g_pSDU, SetLDPlotfokus(f, o));
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SetLinearspannung(double d) {
  return CARDN5_FORWARD(g_pSDU, SetLinearspannung(d));
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SetOpticPosition(uint32_t p) {
  return CARDN5_FORWARD(g_pSDU, SetOpticPosition(p));
}
CARDN5_API int32_t CARDN5_CALL SDUN5_SwitchChopperCurrent(int32_t b) {
  return CARDN5_FORWARD(g_pSDU, SwitchChopperCurrent(b));
}

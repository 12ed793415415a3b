// The library frame: registry, exports, load and unload.
#include "cardN5.h"

#include <new>

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

template <typename T>
void Create(T*& slot) {
  slot = new (std::nothrow) T();
}

template <typename T>
void Destroy(T*& slot) {
  if (slot) {
    delete slot;
    slot = nullptr;
  }
}

bool AnyBoard() {
  return g_pEPU || g_pMBU || g_pDCA || g_pIOD || g_pIPG || g_pCSI || g_pCSE || g_pCPH || g_pSDU;
}

}  // namespace

CARDN5_API int32_t CARDN5_CALL CARDN5_CreateCardObjects(void) {
  ERRLOG_WriteToLOGFile("CARDN5_CreateCardObjects \n");
  // A second creation would otherwise orphan the boards of the first.
  if (AnyBoard()) CARDN5_DeleteCardObjects();
  HWIO_GrantPortAccess();
  Create(g_pEPU);
  Create(g_pMBU);
  Create(g_pDCA);
  Create(g_pIOD);
  Create(g_pIPG);
  Create(g_pCSI);
  Create(g_pCSE);
  Create(g_pCPH);
  Create(g_pSDU);
  if (g_pEPU && g_pMBU && g_pDCA && g_pIOD && g_pIPG && g_pCSI && g_pCSE && g_pCPH && g_pSDU) return 1;
  CARDN5_RECORD_ERROR(ERR_CREATE_CARDS);
  return 0;
}

CARDN5_API void CARDN5_CALL CARDN5_DeleteCardObjects(void) {
  Destroy(g_pEPU);
  Destroy(g_pMBU);
  Destroy(g_pDCA);
  Destroy(g_pIOD);
  Destroy(g_pIPG);
  Destroy(g_pCSI);
  Destroy(g_pCSE);
  Destroy(g_pCPH);
  Destroy(g_pSDU);
}

CARDN5_API int32_t CARDN5_CALL CARDN5_SetEmulation(int32_t bEmulation) {
  // Without boards there is nothing to switch; the port library keeps its mode.
  if (!AnyBoard()) return 0;
  if (g_pEPU) g_pEPU->m_bEmulation = bEmulation;
  if (g_pMBU) g_pMBU->m_bEmulation = bEmulation;
  if (g_pDCA) g_pDCA->m_bEmulation = bEmulation;
  if (g_pIOD) g_pIOD->m_bEmulation = bEmulation;
  if (g_pIPG) g_pIPG->m_bEmulation = bEmulation;
  if (g_pCSI) g_pCSI->m_bEmulation = bEmulation;
  if (g_pCSE) g_pCSE->m_bEmulation = bEmulation;
  if (g_pCPH) g_pCPH->m_bEmulation = bEmulation;
  if (g_pSDU) g_pSDU->m_bEmulation = bEmulation;
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

// ---- IOD exports -------------------------------------------------------------

// The board registry, the application object and the hardware-information
// window pair.
#ifndef CARDN5_CARDN5_H
#define CARDN5_CARDN5_H

#include <stdint.h>

#include "CCPH.h"
#include "CDCA.h"
#include "CEPU.h"
#include "CIOD.h"
#include "cmbu.h"
#include "cse.h"
#include "csi.h"
#include "ipg.h"
#include "sdu.h"

// One object per board, null before CARDN5_CreateCardObjects and after
// CARDN5_DeleteCardObjects. Creation, deletion and the emulation switch go
// in this order.
extern CEPUCard* g_pEPU;
extern CMBUCard* g_pMBU;
extern CDCACard* g_pDCA;
extern CIODCard* g_pIOD;
extern CIPGCard* g_pIPG;
extern CCSICard* g_pCSI;
extern CCSECard* g_pCSE;
extern CCPHCard* g_pCPH;
extern CSDUCard* g_pSDU;

// The hardware-information window: shown once and its value kept.
extern int32_t g_bHWInfoOpen;
extern int32_t g_hHWInfo;
int32_t OpenHWInfo();
void CloseHWInfo();

// The application object's base: the two virtual operations the library
// overrides, called when the library is loaded and unloaded.
class CWinApp {
 public:
  constexpr explicit CWinApp(const char* pszAppName) : m_pszAppName(pszAppName) {}
  virtual int32_t InitInstance() { return 1; }
  virtual int32_t ExitInstance() { return 0; }

  const char* m_pszAppName;

 protected:
  // Never destroyed before the unload code has run ExitInstance on it: the
  // object must outlive every static destructor, so it has none to run.
  ~CWinApp() = default;
};

class CDLLApp : public CWinApp {
 public:
  constexpr CDLLApp() : CWinApp("CARDN532.DLL") {}
  int32_t InitInstance() override;
  int32_t ExitInstance() override;
};

extern CDLLApp theApp;

// An export that forwards to its board: with the registry empty it returns
// 0 and touches nothing.
#define CARDN5_FORWARD(board, call) ((board) ? (board)->call : 0)

#endif

/* A Windows host as the machine's application is one: it knows CARDN532.DLL
 * only by its file name and the decorated export names, loads it at run
 * time and calls through stdcall function pointers. Run under Wine.
 *
 * A device attached to the hwio32 stand-in shows what reached the port
 * layer: the board ports are 16 bits wide, so the exports' 32-bit port and
 * value arguments must arrive truncated to their low 16 bits. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "hwio32_ext.h"

typedef int32_t(__stdcall* PFN_Create)(void);
typedef void(__stdcall* PFN_Delete)(void);
typedef int32_t(__stdcall* PFN_SetEmulation)(int32_t);
typedef uint16_t(__stdcall* PFN_PortIn)(uint32_t);
typedef int32_t(__stdcall* PFN_PortOut)(uint32_t, uint32_t);
typedef int32_t(__stdcall* PFN_Attach)(const HWIO_DEVICE*);
typedef int32_t(__stdcall* PFN_InitAction)(uint32_t, uint32_t);

static int g_failures;

static void Check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++g_failures;
}

/* ---- The device ------------------------------------------------------- */

typedef struct Device {
  int nOut, nIn;
  uint16_t wOutPort, wOutValue, wInPort;
  uint32_t dwOutFlags, dwInFlags;
} Device;

static uint16_t DeviceAnswer(uint16_t wPort) { return (uint16_t)(wPort ^ 0xA55Au); }

static uint16_t __cdecl DevIn(void* pCtx, uint16_t wPort, uint32_t dwFlags) {
  Device* d = (Device*)pCtx;
  ++d->nIn;
  d->wInPort = wPort;
  d->dwInFlags = dwFlags;
  return DeviceAnswer(wPort);
}

static void __cdecl DevOut(void* pCtx, uint16_t wPort, uint16_t wValue, uint32_t dwFlags) {
  Device* d = (Device*)pCtx;
  ++d->nOut;
  d->wOutPort = wPort;
  d->wOutValue = wValue;
  d->dwOutFlags = dwFlags;
}

/* ---- Look-ups ----------------------------------------------------------- */

/* void*: GetProcAddress's FARPROC cannot be cast to the real types directly
 * without a warning about incompatible function types. */
static void* Resolve(HMODULE h, const char* dll, const char* name) {
  char what[160];
  void* p = (void*)GetProcAddress(h, name);
  snprintf(what, sizeof what, "%s exports %s", dll, name);
  Check(p != NULL, what);
  return p;
}

int main(void) {
  static const char* const kUndecorated[] = {"CARDN5_CreateCardObjects", "CARDN5_PortOut", "CARDN5_PortOut@8",
                                             "MBUN5_InitAction", "_MBUN5_InitAction@8"};
  HMODULE hLib, hIo;
  PFN_Create pCreate;
  PFN_Delete pDelete;
  PFN_SetEmulation pSetEmulation;
  PFN_PortIn pPortIn;
  PFN_PortOut pPortOut;
  PFN_Attach pAttach;
  PFN_InitAction pInitAction;
  HWIO_DEVICE dev;
  Device d;
  size_t i;

  hLib = LoadLibraryA("CARDN532.DLL");
  if (!hLib) {
    printf("FAIL LoadLibrary(CARDN532.DLL): error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  pCreate = (PFN_Create)Resolve(hLib, "CARDN532.DLL", "_CARDN5_CreateCardObjects@0");
  pSetEmulation = (PFN_SetEmulation)Resolve(hLib, "CARDN532.DLL", "_CARDN5_SetEmulation@4");
  pPortOut = (PFN_PortOut)Resolve(hLib, "CARDN532.DLL", "_CARDN5_PortOut@8");
  pPortIn = (PFN_PortIn)Resolve(hLib, "CARDN532.DLL", "_CARDN5_PortIn@4");
  pDelete = (PFN_Delete)Resolve(hLib, "CARDN532.DLL", "_CARDN5_DeleteCardObjects@0");
  /* The one export under its C++ type-decorated name. */
  pInitAction = (PFN_InitAction)Resolve(hLib, "CARDN532.DLL", "?MBUN5_InitAction@@YGHKK@Z");
  /* Hosts built against the machine's DLL find only the decorated names. */
  for (i = 0; i < sizeof kUndecorated / sizeof kUndecorated[0]; ++i) {
    char what[160];
    snprintf(what, sizeof what, "CARDN532.DLL does not export %s", kUndecorated[i]);
    Check(GetProcAddress(hLib, kUndecorated[i]) == NULL, what);
  }
  hIo = GetModuleHandleA("hwio32.dll");
  Check(hIo != NULL, "hwio32.dll was loaded with CARDN532.DLL");
  pAttach = hIo ? (PFN_Attach)Resolve(hIo, "hwio32.dll", "_HWIOX_AttachDevice@4") : NULL;
  if (!pCreate || !pSetEmulation || !pPortOut || !pPortIn || !pDelete || !pAttach || !pInitAction) {
    FreeLibrary(hLib);
    printf("FAIL\n");
    return 1;
  }

  Check(pSetEmulation(1) == 0, "SetEmulation before CreateCardObjects returns 0");
  Check(pCreate() == 1, "CreateCardObjects returns 1");
  Check(pSetEmulation(1) == 1, "SetEmulation(1) returns 1");
  Check(pInitAction(0xFFFFFFFFu, 7) == 1, "?MBUN5_InitAction@@YGHKK@Z returns 1 and ignores its arguments");
  Check(pPortOut(0x0300, 0x1234) == 1, "PortOut under emulation without a device returns 1");
  Check(pPortIn(0x0300) == 0, "PortIn under emulation without a device reads 0");

  memset(&d, 0, sizeof d);
  memset(&dev, 0, sizeof dev);
  dev.pCtx = &d;
  dev.pfnIn = DevIn;
  dev.pfnOut = DevOut;
  Check(pAttach(&dev) == 1, "HWIOX_AttachDevice returns 1");

  /* Emulation on: the device sees the access, flagged, and reads give 0. */
  Check(pPortOut(0xABCD0704u, 0x55AA1234u) == 1, "PortOut under emulation returns 1");
  Check(d.nOut == 1, "emulated PortOut reaches the device once");
  Check(d.wOutPort == 0x0704 && d.wOutValue == 0x1234, "emulated PortOut: low 16 bits of port and value");
  Check((d.dwOutFlags & HWIO_ACC_EMULATED) != 0, "emulated PortOut is flagged as emulated");
  Check(pPortIn(0x11110B00u) == 0, "PortIn under emulation reads 0");
  Check(d.nIn == 1 && d.wInPort == 0x0B00, "emulated PortIn reaches the device with the low 16 bits");

  /* Emulation off: the device answers. */
  Check(pSetEmulation(0) == 1, "SetEmulation(0) returns 1");
  Check(pPortOut(0x12340F00u, 0xFFFF8001u) == 1, "PortOut to the device returns 1");
  Check(d.nOut == 2 && d.wOutPort == 0x0F00 && d.wOutValue == 0x8001,
        "PortOut reaches the device with the low 16 bits");
  Check((d.dwOutFlags & HWIO_ACC_EMULATED) == 0, "PortOut with emulation off is not flagged as emulated");
  Check(pPortIn(0x56781300u) == DeviceAnswer(0x1300), "PortIn returns the device's answer");
  Check(d.nIn == 2 && d.wInPort == 0x1300, "PortIn reaches the device with the low 16 bits");

  Check(pAttach(NULL) == 1, "HWIOX_AttachDevice(NULL) detaches");
  pDelete();
  Check(pSetEmulation(1) == 0, "SetEmulation after DeleteCardObjects returns 0");
  Check(FreeLibrary(hLib) != 0, "FreeLibrary(CARDN532.DLL)");

  printf("%s (%d failed)\n", g_failures ? "FAIL" : "PASS", g_failures);
  return g_failures ? 1 : 0;
}

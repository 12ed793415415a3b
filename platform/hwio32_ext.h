/* Extensions of our hwio32 stand-in for hosts, tests and the simulator.
 * The driver library never imports these; it only looks up
 * HWIOX_DirectAccess at run time (see cardN5/direct_port.h). */
#ifndef CARDN5_HWIO32_EXT_H
#define CARDN5_HWIO32_EXT_H

#include <stdint.h>

#include "callconv.h"

#define HWIOX_API CARDN5_EXTERN_C CARDN5_VISIBLE

/* How an access reached the stand-in, passed to the device in 'flags'. */
#define HWIO_ACC_DIRECT 0x0001u    /* the library's own port instruction, not HWIO_Hin/Hout */
#define HWIO_ACC_EMULATED 0x0002u  /* emulation is on: seen, but no port is touched */
#define HWIO_ACC_LOWPULS 0x0004u   /* one of the two writes of HWIO_LowPuls */
#define HWIO_ACC_HIGHPULS 0x0008u  /* one of the two writes of HWIO_HighPuls */
#define HWIO_ACC_PULSE_END 0x0010u /* the second (closing) write of a pulse */
#define HWIO_ACC_BIT_SHIFT 8       /* bits 8-11: the pulsed bit number */

#define HWIO_CODE_PX 0
#define HWIO_CODE_LL 1

/* A device model that receives every access instead of the real ports.
 * Plain C with cdecl callbacks so that it can cross a DLL boundary and be
 * implemented by a Windows host. Unused callbacks may be null. */
typedef struct HWIO_DEVICE {
  void* pCtx;
  uint16_t(CARDN5_CDECL* pfnIn)(void* pCtx, uint16_t wPort, uint32_t dwFlags);
  void(CARDN5_CDECL* pfnOut)(void* pCtx, uint16_t wPort, uint16_t wValue, uint32_t dwFlags);
  int32_t(CARDN5_CDECL* pfnWriteCode)(void* pCtx, int32_t nKind, uint32_t dwArg1, uint32_t dwArg2, uint32_t dwFlags);
  int32_t(CARDN5_CDECL* pfnPollVorschub)(void* pCtx, const uint32_t* pdwArgs /* 7 */, uint32_t dwFlags);
  void(CARDN5_CDECL* pfnInterrupts)(void* pCtx, int32_t bEnabled, uint32_t dwFlags);
  /* Appended later: a block transfer of the direct-port layer in one call
   * (dwFlags has HWIO_ACC_DIRECT). Only HWIOX_AttachDeviceEx takes them;
   * without them a block reaches pfnIn/pfnOut word by word. */
  void(CARDN5_CDECL* pfnInBlock)(void* pCtx, uint16_t wPort, uint16_t* pwData, uint32_t dwCount, uint32_t dwFlags);
  void(CARDN5_CDECL* pfnOutBlock)(void* pCtx, uint16_t wPort, const uint16_t* pwData, uint32_t dwCount,
                                  uint32_t dwFlags);
} HWIO_DEVICE;

/* Attach a device (copied), or detach with null. Returns 1. Copies the
 * callbacks up to pfnInterrupts only, so that a host built before the block
 * callbacks were appended (its struct ends there) keeps working. */
HWIOX_API int32_t CARDN5_STDCALL HWIOX_AttachDevice(const HWIO_DEVICE* pDevice);
/* The same for a struct of cbSize bytes (sizeof(HWIO_DEVICE) of the host's
 * header); callbacks beyond it are taken as null. */
HWIOX_API int32_t CARDN5_STDCALL HWIOX_AttachDeviceEx(const HWIO_DEVICE* pDevice, uint32_t cbSize);
/* 0: real ports, 1: emulation on, 2: attached device (emulation off). */
HWIOX_API int32_t CARDN5_STDCALL HWIOX_GetBackend(void);
HWIOX_API int32_t CARDN5_STDCALL HWIOX_IsEmulation(void);
/* 1 once HWIO_GrantPortAccess succeeded on the real backend. */
HWIOX_API int32_t CARDN5_STDCALL HWIOX_HasPortAccess(void);

/* The direct-port layer's entry: the library's own port instructions are
 * routed here when this stand-in is loaded. nOp is one of HWIOX_DIRECT_*.
 * Returns 1 when the stand-in handled the access (device or emulation or
 * refused port access), 0 when the caller must use the processor's
 * instructions itself. */
#define HWIOX_DIRECT_IN 0        /* pwData[0] <- port */
#define HWIOX_DIRECT_IN_BLOCK 1  /* dwCount words from port into pwData */
#define HWIOX_DIRECT_OUT_BLOCK 2 /* dwCount words from pwData to port */
typedef int32_t(CARDN5_STDCALL* PFN_HWIOX_DirectAccess)(int32_t nOp, uint16_t wPort, uint16_t* pwData,
                                                        uint32_t dwCount);
HWIOX_API int32_t CARDN5_STDCALL HWIOX_DirectAccess(int32_t nOp, uint16_t wPort, uint16_t* pwData, uint32_t dwCount);

/* Back to the state after load: no device, emulation off, no port access. */
HWIOX_API int32_t CARDN5_STDCALL HWIOX_Reset(void);

#endif

/* Port-I/O library hwio32: the functions the boards import. */
#ifndef CARDN5_HWIO32_H
#define CARDN5_HWIO32_H

#include <stdint.h>

#include "callconv.h"

#define HWIO_API CARDN5_EXTERN_C CARDN5_VISIBLE

HWIO_API int32_t CARDN5_STDCALL HWIO_GrantPortAccess(void);
HWIO_API int32_t CARDN5_STDCALL HWIO_SetEmulation(int32_t bOn);
HWIO_API int32_t CARDN5_STDCALL HWIO_Hout(uint16_t wPort, uint16_t wValue);
HWIO_API int32_t CARDN5_STDCALL HWIO_Hin(uint16_t wPort);
HWIO_API int32_t CARDN5_STDCALL HWIO_SetBit(uint16_t* pwValue, int32_t nBit);
HWIO_API int32_t CARDN5_STDCALL HWIO_ResetBit(uint16_t* pwValue, int32_t nBit);
HWIO_API int32_t CARDN5_STDCALL HWIO_Bit(uint16_t wValue, int32_t nBit);
HWIO_API int32_t CARDN5_STDCALL HWIO_LowPuls(uint16_t wPort, uint16_t* pwShadow, int32_t nBit);
HWIO_API int32_t CARDN5_STDCALL HWIO_HighPuls(uint16_t wPort, uint16_t* pwShadow, int32_t nBit);
HWIO_API int32_t CARDN5_STDCALL HWIO_WritePXCode(uint32_t dwArg1, uint32_t dwArg2);
HWIO_API int32_t CARDN5_STDCALL HWIO_WriteLLCode(uint32_t dwArg1, uint32_t dwArg2);
HWIO_API int32_t CARDN5_STDCALL HWIO_PollVorschub(uint32_t dw1, uint32_t dw2, uint32_t dw3, uint32_t dw4, uint32_t dw5,
                                                  uint32_t dwFlag1, uint32_t dwFlag2);
HWIO_API double CARDN5_STDCALL HWIO_GetLinearInterpoliertenWert(const double* pdX, const double* pdY, uint16_t wCount,
                                                                double dX);
HWIO_API int32_t CARDN5_STDCALL HWIO_WindowsClearInterrupt(void);
HWIO_API int32_t CARDN5_STDCALL HWIO_WindowsSetInterrupt(void);

#endif

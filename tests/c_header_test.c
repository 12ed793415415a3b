/* A C host: the public header compiles as C (with its record layout checks
 * on 32-bit builds), and the exports and the port-I/O stand-in's device
 * interface work from C. */
#include <stdio.h>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "hwio32_ext.h"

static unsigned g_writes;
static unsigned g_lastPort, g_lastValue;

static uint16_t CARDN5_CDECL DevIn(void* ctx, uint16_t port, uint32_t flags) {
  (void)ctx;
  (void)flags;
  return (uint16_t)(port ^ 0x00FF);
}

static void CARDN5_CDECL DevOut(void* ctx, uint16_t port, uint16_t value, uint32_t flags) {
  (void)ctx;
  (void)flags;
  ++g_writes;
  g_lastPort = port;
  g_lastValue = value;
}

#define CHECK(cond)                                  \
  do {                                               \
    if (!(cond)) {                                   \
      printf("FAIL line %d: %s\n", __LINE__, #cond); \
      failures++;                                    \
    }                                                \
  } while (0)

int main(void) {
  int failures = 0;
  HWIO_DEVICE dev = {0};
  dev.pfnIn = DevIn;
  dev.pfnOut = DevOut;
  ERRLOGX_SetLogPath(NULL);
  HWIOX_AttachDevice(&dev);

  CHECK(CARDN5_CreateCardObjects() == 1);
  CHECK(CARDN5_PortOut(0x18700u, 0x10042u) == 1);
  CHECK(g_writes == 1 && g_lastPort == 0x8700 && g_lastValue == 0x0042);
  CHECK(CARDN5_PortIn(0x8300) == (0x8300 ^ 0x00FF));
  CHECK(CARDN5_SetEmulation(1) == 1);
  CHECK(CARDN5_SetEmulation(0) == 1);
  CARDN5_DeleteCardObjects();
  CARDN5_DeleteCardObjects();
  HWIOX_AttachDevice(NULL);

  printf("%d passed, %d failed\n", failures ? 0 : 1, failures ? 1 : 0);
  return failures ? 1 : 0;
}

/* A C host: the public header compiles as C (with its record layout checks
 * on 32-bit builds), and the exports and the port-I/O stand-in's device
 * interface work from C. */
#include <stdio.h>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "hwio32_ext.h"

static unsigned g_writes, g_lastPort, g_lastValue;
static int g_failures;

static uint16_t CARDN5_CDECL DevIn(void* ctx, uint16_t port, uint32_t flags) {
  (void)ctx, (void)flags;
  return (uint16_t)(port ^ 0x00FF);
}

static void CARDN5_CDECL DevOut(void* ctx, uint16_t port, uint16_t value, uint32_t flags) {
  (void)ctx, (void)flags;
  ++g_writes;
  g_lastPort = port;
  g_lastValue = value;
}

static void Check(int ok, int line, const char* what) {
  if (!ok) printf("FAIL line %d: %s\n", line, what), ++g_failures;
}
#define CHECK(cond) Check(cond, __LINE__, #cond)

int main(void) {
  HWIO_DEVICE dev = {.pfnIn = DevIn, .pfnOut = DevOut};
  ERRLOGX_SetLogPath(NULL);
  HWIOX_AttachDevice(&dev);

  CHECK(CARDN5_CreateCardObjects() == 1);
  CHECK(CARDN5_PortOut(0x18700u, 0x10042u) == 1);
  CHECK(g_writes == 1 && g_lastPort == 0x8700 && g_lastValue == 0x0042);
  CHECK(CARDN5_PortIn(0xABCD8300u) == (0x8300 ^ 0x00FF));
  CHECK(CARDN5_SetEmulation(1) == 1);
  CHECK(CARDN5_SetEmulation(0) == 1);
  CARDN5_DeleteCardObjects();
  CARDN5_DeleteCardObjects();
  HWIOX_AttachDevice(NULL);

  printf("%d passed, %d failed\n", g_failures ? 0 : 1, g_failures ? 1 : 0);
  return g_failures ? 1 : 0;
}

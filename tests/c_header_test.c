/* A C host: the public header compiles as C (with its record layout checks
 * on 32-bit builds), and the exports and the port-I/O stand-in's device
 * interface work from C. */
#include <stdio.h>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "hwio32_ext.h"

static unsigned g_writes, g_lastPort, g_lastValue;

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

int main(void) {
  HWIO_DEVICE dev = {.pfnIn = DevIn, .pfnOut = DevOut};
  int failures = 0;
  ERRLOGX_SetLogPath(NULL);
  HWIOX_AttachDevice(&dev);
  /* Ports and values are cut to their low 16 bits. */
  failures += CARDN5_CreateCardObjects() != 1 || CARDN5_PortOut(0x18700u, 0x10042u) != 1;
  failures += g_writes != 1 || g_lastPort != 0x8700 || g_lastValue != 0x0042;
  failures += CARDN5_PortIn(0xABCD8300u) != (0x8300 ^ 0x00FF);
  failures += CARDN5_SetEmulation(1) != 1 || CARDN5_SetEmulation(0) != 1;
  CARDN5_DeleteCardObjects();
  CARDN5_DeleteCardObjects(); /* a second time: nothing left to delete */
  HWIOX_AttachDevice(NULL);
  printf("%s (%d checks failed)\n", failures ? "FAIL" : "PASS", failures);
  return failures ? 1 : 0;
}

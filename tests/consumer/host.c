/* A host built against an installed tree, as another project would build
 * it: the public header and the stand-ins' extensions from the install,
 * nothing from the source tree. */
#include <stdio.h>
#include <string.h>

#include "cardN532.h"
#include "hwio32_ext.h"

int main(void) {
  int failures = 0;
  if (strcmp(CARDN5_VERSION, CARDN5_EXPECTED_VERSION) != 0) ++failures;
  if (CARDN5_CreateCardObjects() != 1) ++failures;
  if (CARDN5_SetEmulation(1) != 1) ++failures;
  if (HWIOX_IsEmulation() != 1) ++failures; /* the library switched the stand-in */
  if (CARDN5_PortOut(0x0300, 0x1234) != 1) ++failures;
  if (CARDN5_PortIn(0x0300) != 0) ++failures; /* emulated reads are 0 */
  CARDN5_DeleteCardObjects();
  if (CARDN5_SetEmulation(1) != 0) ++failures; /* no boards any more */
  printf("%s cardN5 %s (%d failed)\n", failures ? "FAIL" : "PASS", CARDN5_VERSION, failures);
  return failures ? 1 : 0;
}

/* A host linked against CARDN532.DLL's import library, as a MinGW-built
 * application would be. Its import table must name the decorated exports
 * (checked by win32.imports.import_host); under Wine it also runs. */
#include <stdio.h>

#include "cardN532.h"

int main(void) {
  int failures = 0;
  if (CARDN5_CreateCardObjects() != 1) ++failures;
  if (CARDN5_SetEmulation(1) != 1) ++failures;
  if (CARDN5_PortOut(0x0300, 0x1234) != 1) ++failures;
  if (CARDN5_PortIn(0x0300) != 0) ++failures; /* emulation reads 0 */
  /* Imported by its type-decorated name through the import library. */
  if (MBUN5_InitAction(0, 0) != 1) ++failures;
  CARDN5_DeleteCardObjects();
  if (CARDN5_SetEmulation(1) != 0) ++failures; /* no boards any more */
  printf("%s (%d failed)\n", failures ? "FAIL" : "PASS", failures);
  return failures ? 1 : 0;
}

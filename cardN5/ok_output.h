// The EPU's output word also carries the focusing head's and the scanner
// drive's lines. A board that drives one of them changes only its own bit
// of a copy of the word's shadow and writes the copy back through the EPU's
// exports: the other boards' lines stay as they were.
#ifndef CARDN5_OK_OUTPUT_H
#define CARDN5_OK_OUTPUT_H

#include <stdint.h>

#include "cardN532.h"
#include "hwio32.h"

namespace cardn5 {

template <typename LineT>
int32_t UpdateOKOutputLine(LineT line, bool bOn) {
  uint16_t wWord = EPUN5_GetOKOutput();
  if (bOn)
    HWIO_SetBit(&wWord, static_cast<int32_t>(line));
  else
    HWIO_ResetBit(&wWord, static_cast<int32_t>(line));
  return EPUN5_SetOKOutput(wWord);
}

}  // namespace cardn5

#endif

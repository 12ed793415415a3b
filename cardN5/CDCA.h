// DCA board: sensors, switches, voltages, stepper and light barrier.
#ifndef CARDN5_CDCA_H
#define CARDN5_CDCA_H

#include <stdint.h>

class CDCACard {
 public:
  CDCACard();
  virtual ~CDCACard();

  int32_t m_bEmulation;
};

#endif

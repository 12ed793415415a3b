// The pulse generator board: five registers behind an index port (0x0300)
// and a data port (0x0700). It makes N pulses in each period of 640,000
// counts of its clock; N is what the registers say, decoded the way the
// board counts: Q counts a pulse, and the enabled correction periods of
// T0, T1, T2 (in that order, each over the counts the one before left)
// stretch one pulse by a count to spread the period's remainder.
// It records as violations: data without an index selected, register 4
// (which starts the generator) before registers 0, 1 and 3 of the round,
// and T2 enabled without its low bits written in the same round.
#ifndef CARDN5_SIM_IPG_MODEL_H
#define CARDN5_SIM_IPG_MODEL_H

#include <stdint.h>

#include "ipg_regs.h"
#include "machine.h"

namespace sim {

class IpgModel : public Board {
 public:
  // The clock sets how fast the pulses come; 20 MHz puts N = 6400 at one
  // pulse every 5 us, slow enough for the EPU's polled count.
  explicit IpgModel(double clockHz = 20e6) : m_clockHz(clockHz) {}

  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  bool OnBus(uint16_t port) const override;

  // ---- Test face ----
  void set_clock_hz(double hz);
  uint16_t reg(int index) const;
  bool programmed() const;  // register 4 (the pulse length) was written
  uint32_t counts_per_pulse() const;
  uint32_t correction_period(int n) const;  // T0, T1, T2; 0 = not enabled
  double pulses_per_period() const;         // 0 before programming
  double pulse_period_ns() const;           // 0: no pulses

 private:
  double PulsesPerPeriodLocked() const;

  double m_clockHz;
  int m_index = 0;
  bool m_indexSelected = false;
  unsigned m_roundWritten = 0;  // registers written since register 4, one bit each
  uint16_t m_regs[8] = {};
  bool m_programmed = false;
};

}  // namespace sim

#endif

// The DCA board as the library sees it through its ports.
//
//  - Inputs (status word 0x5300, FET temperature on 0x4300) are set on the
//    test face; the light-barrier bit 13 is computed: it reads interrupted
//    for 3 ms after the barrier is switched on, and while an interruption is
//    latched. A high pulse on bit 4 of the step port clears the latch 200 us
//    after its end (unless something still blocks the beam).
//  - Latched registers are decoded on the test face as codes and volts.
//  - Each write to the step port with bit 0 set makes one step in the
//    direction of control bit 0.
//  - The indexed ports 0xC700/0xCB00 are shared with the engraving processor
//    board: this model keeps only what is its own. The LENZE selector (4)
//    takes the 12-bit speed code or the reset word 0xA000, which opens the
//    power-on stretch; the set-up selector (1) takes the set-up words while
//    that stretch is open. Selecting any index the DCA does not use closes
//    it, so the EPU's own words are never taken for the DCA's.
// Violations: a data word written while the board still takes the last one
// (10 us), a step less than 1 ms after a direction change or a direction
// change less than 1 ms after a step, a LENZE word that is neither code nor
// reset.
#ifndef CARDN5_SIM_DCA_MODEL_H
#define CARDN5_SIM_DCA_MODEL_H

#include <stdint.h>

#include <vector>

#include "dca_regs.h"
#include "machine.h"

namespace sim {

class DcaModel : public Board {
 public:
  static constexpr uint64_t kSettleNs = 3000000;     // light barrier after switching on
  static constexpr uint64_t kResetNs = 200000;       // latch clear after a reset pulse
  static constexpr uint64_t kDirectionNs = 1000000;  // motor still around a direction change

  bool Read(uint16_t port, uint32_t flags, uint16_t& value) override;
  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  void Advance(uint64_t nowNs) override;

  // ---- Test face: inputs ----
  // The level of an input bit on one of the two input ports (0x5300, 0x4300).
  void set_input(uint16_t port, int bit, bool high);
  void interrupt_light_barrier();           // latched while the barrier is on
  void set_light_barrier_blocked(bool on);  // latched again as long as it lasts

  // ---- Test face: what the board holds ----
  uint16_t le_focus_code() const;   // 0x4300 bits 0-7
  uint16_t ldk_focus_code() const;  // 0x4B00 bits 8-15
  uint16_t lenze_code8() const;     // 0x4B00 bits 0-7
  uint16_t lenze_code12() const;    // the last 12-bit code under the LENZE selector
  uint16_t fet_speed_code() const;  // 0x4F00 bits 8-15
  uint16_t sensitivity_word() const;
  static double Volts8(uint16_t code) { return code / dca::kCode8PerVolt; }
  static double Volts12(uint16_t code) { return code / dca::kCode12PerVolt; }
  bool laser_diode_on() const;
  bool light_barrier_on() const;          // control bit 4 = 0; also "speed not 0"
  uint32_t light_barrier_resets() const;  // high pulses on step bit 4
  uint32_t steps() const;
  int32_t position() const;                   // steps counted by direction (1: +1)
  std::vector<uint16_t> setup_words() const;  // of the last power-on

 private:
  uint16_t StatusAt(uint64_t now) const;
  void ControlWrite(uint16_t value, uint64_t now);
  void StepWrite(uint16_t value, uint64_t now);
  void IndexedWrite(uint16_t port, uint16_t value, uint64_t now);

  uint16_t m_inputs = 0;
  uint16_t m_fetInput = 0;
  std::vector<uint16_t> m_written = std::vector<uint16_t>(0x40, 0);  // by register number
  uint16_t Reg(uint16_t port) const { return m_written[port >> 10]; }

  // Light barrier
  bool m_barrierOn = true;   // control bit 4 is 0 after reset
  uint64_t m_settledNs = 0;  // switched on long ago at power-up
  bool m_latched = false;
  bool m_blocked = false;
  uint64_t m_latchClearNs = 0;  // 0: no reset pending
  uint32_t m_resets = 0;

  // Stepper
  bool m_stepPortBit4 = false;
  int m_direction = 0;
  bool m_directionKnown = false;
  uint64_t m_directionNs = 0;
  uint64_t m_lastStepNs = 0;
  uint32_t m_steps = 0;
  int32_t m_position = 0;

  // Indexed registers
  uint16_t m_index = 0;
  uint16_t m_selector = 0;
  uint16_t m_lenze12 = 0;
  bool m_setupOpen = false;
  std::vector<uint16_t> m_setupWords;
  uint64_t m_busyUntilNs = 0;
};

}  // namespace sim

#endif

// The scanner optic on the lines of the engraving processor board: its
// motor hangs on bits of the EPU's output word and its end sensor on a FINP
// input, so the model listens to the EpuModel instead of owning ports.
//
//  - Position 0 to 1924 steps from the end sensor. While the chopper current
//    is on (bit 5 low), each pulse of the step line (bit 3) moves the optic
//    one step at its falling edge, in the direction of bit 2 (1: away from
//    the sensor): two toggles from a resting low line make one step.
//    Bit 3 is also the EPU's stepper speed bit: whoever toggles it moves the
//    optic.
//  - The end sensor (FINP bit 3, active low) is active at position 0.
// Violations, only while the motor has current: a toggle less than 1666 us
// after the one before (the motor follows at most 300 steps a second), a
// toggle less than 1 ms after a direction change, a step into a hard end of
// the travel (once per run of such steps).
// Fault faces: sensor never active, sensor stuck active, a script of sensor
// readings; an optic without chopper current (bit 5 high) stands still and
// counts the toggles it lost.
#ifndef CARDN5_SIM_SDU_MODEL_H
#define CARDN5_SIM_SDU_MODEL_H

#include <stdint.h>

#include <deque>
#include <vector>

#include "machine.h"
#include "sdu_regs.h"

namespace sim {

class EpuModel;

class SduModel : public Board {
 public:
  enum class SensorFault { kNone, kNeverActive, kStuckActive };
  static constexpr uint64_t kToggleNs = sdu::kToggleUs * 1000ull;
  static constexpr uint64_t kDirectionNs = sdu::kDirectionMs * 1000000ull;

  // Hangs itself on the EPU model's output word and FINP word.
  explicit SduModel(EpuModel& epu);

  // ---- Test face ----
  void set_position(int32_t steps);
  void set_sensor_fault(SensorFault fault);
  // The next FINP reads see the sensor so (true: active), in order.
  void ScriptSensor(const std::vector<bool>& active);

  int32_t position() const;
  uint32_t steps() const;               // steps made
  uint32_t lost_toggles() const;        // toggles without current: the optic stood still
  uint64_t shortest_toggle_ns() const;  // UINT64_MAX before two toggles

 private:
  void Output(uint16_t before, uint16_t after);
  void Toggle(bool falling, int direction, uint64_t now);
  uint16_t Finp(uint16_t finp);
  bool SensorActive() const;
  bool Current() const;

  int32_t m_position = 0;
  SensorFault m_fault = SensorFault::kNone;
  std::deque<bool> m_script;
  uint16_t m_word = 0;   // the EPU's output word as last written
  bool m_atEnd = false;  // in a run of steps refused by a hard end
  uint32_t m_steps = 0, m_lostToggles = 0;
  bool m_toggled = false;
  uint64_t m_lastToggleNs = 0;
  uint64_t m_directionNs = 0;
  bool m_directionChanged = false;
  uint64_t m_shortestToggleNs = UINT64_MAX;
};

}  // namespace sim

#endif

// The focusing head's lens carriage, hung on the EPU model's output word and
// FINP input (the head has no port of its own):
//  - a rising edge of output bit 1 ends a step pulse and moves the motor one
//    step, in direction 1 (up, away from the sensor) while bit 2 is set;
//  - the lens follows the motor with an optional play: going up it trails
//    the motor by up to the backlash, going down it sits on the motor;
//  - the reference sensor is active (FINP bit 0 low) while the lens is at or
//    below the sensor position; hard limits stop the carriage.
// It records every step's time and direction, the shortest low pulse and the
// shortest step period, and flags what the driver would not take: a low
// pulse under 200 us, a step less than 1 ms after a direction change, a
// move against a hard limit.
#ifndef CARDN5_SIM_CPH_MODEL_H
#define CARDN5_SIM_CPH_MODEL_H

#include <stdint.h>

#include <deque>
#include <vector>

#include "machine.h"

namespace sim {

class EpuModel;

struct LensStep {
  uint64_t timeNs;  // the rising edge that made it
  int direction;    // 1: up, 0: down
};

class CphModel : public Board {
 public:
  static constexpr uint64_t kMinLowPulseNs = 200000;
  static constexpr uint64_t kDirectionSetupNs = 1000000;

  explicit CphModel(EpuModel& epu);

  // ---- Test face: mechanics ----
  void set_sensor_position(int64_t steps);     // default 0
  void set_limits(int64_t low, int64_t high);  // default -200 .. 50000
  void set_backlash(int64_t steps);            // default 0
  // Puts lens and motor at a position, the play taken up downwards.
  void set_position(int64_t steps);  // default 1000

  // ---- Test face: faults ----
  void set_sensor_never_found(bool on);   // FINP bit 0 always 1
  void set_sensor_stuck_active(bool on);  // FINP bit 0 always 0
  // The next FINP reads show these sensor states (true: active), in order,
  // whatever the position: a move that stops early.
  void ScriptSensor(const std::vector<bool>& active);

  // ---- Test face: what the carriage did ----
  int64_t lens_position() const;
  int64_t motor_position() const;
  std::vector<LensStep> steps() const;
  size_t step_count() const;
  uint64_t shortest_low_pulse_ns() const;    // UINT64_MAX before the first step
  uint64_t shortest_step_period_ns() const;  // UINT64_MAX before the second step
  uint32_t steps_against_limit() const;      // steps that did not move the stalled carriage
  // Forgets the steps and the shortest times (not the position).
  void ClearRecord();

 private:
  void OnOutput(uint16_t before, uint16_t after);
  void Step(uint64_t now, bool up);
  uint16_t Finp(uint16_t finp);

  int64_t m_sensorAt = 0;
  int64_t m_low = -200, m_high = 50000;
  int64_t m_backlash = 0;
  int64_t m_motor = 1000, m_lens = 1000;
  bool m_neverFound = false, m_stuckActive = false;
  std::deque<bool> m_script;

  uint64_t m_lowSinceNs = 0;  // when the step line last went low (before the model: since time 0)
  uint64_t m_directionChangedNs = 0;
  bool m_directionChanged = false;
  bool m_haveStep = false;
  uint64_t m_lastStepNs = 0;
  bool m_atLimit = false;
  std::vector<LensStep> m_steps;
  uint64_t m_shortestLowNs = UINT64_MAX;
  uint64_t m_shortestPeriodNs = UINT64_MAX;
  uint32_t m_againstLimit = 0;
};

}  // namespace sim

#endif

#include "cph_model.h"

#include <algorithm>
#include <mutex>

#include "cph_regs.h"
#include "epu_model.h"

namespace sim {

namespace {

using Guard = std::lock_guard<BusLock>;

constexpr uint16_t kStepMask = BitMask(cph::OKOutput::kStep);
constexpr uint16_t kDirectionMask = BitMask(cph::OKOutput::kDirection);
constexpr uint16_t kSensorMask = BitMask(cph::Finp::kReferenceSensor);

}  // namespace

// Both models live as long as the machine that owns them.
CphModel::CphModel(EpuModel& epu) {
  epu.on_ok_output([this](uint16_t before, uint16_t after) { OnOutput(before, after); });
  epu.add_finp_source([this](uint16_t finp) { return Finp(finp); });
}

void CphModel::OnOutput(uint16_t before, uint16_t after) {
  const uint64_t now = m_machine->NowNs();
  if ((before ^ after) & kDirectionMask) {
    m_directionChanged = true;
    m_directionChangedNs = now;
  }
  if ((before & kStepMask) && !(after & kStepMask)) m_lowSinceNs = now;
  if (!(before & kStepMask) && (after & kStepMask)) Step(now, (after & kDirectionMask) != 0);
}

void CphModel::Step(uint64_t now, bool up) {
  const uint64_t lowNs = now - m_lowSinceNs;
  m_shortestLowNs = std::min(m_shortestLowNs, lowNs);
  if (lowNs < kMinLowPulseNs)
    Violation("CPH step pulse low for %.1f us, shorter than 200 us", static_cast<double>(lowNs) / 1000.0);
  if (m_directionChanged) {
    // The driver takes the direction at the pulse's start, or at its end
    // when the direction changed while the line was low.
    const uint64_t takenNs = m_lowSinceNs >= m_directionChangedNs ? m_lowSinceNs : now;
    const uint64_t setupNs = takenNs - m_directionChangedNs;
    if (setupNs < kDirectionSetupNs)
      Violation("CPH step %.1f us after a direction change, less than 1 ms", static_cast<double>(setupNs) / 1000.0);
  }
  if (m_haveStep) m_shortestPeriodNs = std::min(m_shortestPeriodNs, now - m_lastStepNs);
  m_haveStep = true;
  m_lastStepNs = now;
  m_steps.push_back({now, up ? 1 : 0});

  const int64_t motor = m_motor + (up ? 1 : -1);
  const int64_t lens = up ? std::max(m_lens, motor - m_backlash) : std::min(m_lens, motor);
  if (lens < m_low || lens > m_high) {
    ++m_againstLimit;
    if (!m_atLimit) Violation("CPH lens driven against its hard limit at %lld steps", static_cast<long long>(m_lens));
    m_atLimit = true;
    return;
  }
  m_atLimit = false;
  m_motor = motor;
  m_lens = lens;
}

uint16_t CphModel::Finp(uint16_t finp) {
  bool active = m_lens <= m_sensorAt;
  if (m_neverFound) active = false;
  if (m_stuckActive) active = true;
  if (!m_script.empty()) {
    active = m_script.front();
    m_script.pop_front();
  }
  return active ? static_cast<uint16_t>(finp & ~kSensorMask) : static_cast<uint16_t>(finp | kSensorMask);
}

// ---- Test face --------------------------------------------------------------------

void CphModel::set_sensor_position(int64_t steps) {
  Guard g(m_machine->mutex());
  m_sensorAt = steps;
}

void CphModel::set_limits(int64_t low, int64_t high) {
  Guard g(m_machine->mutex());
  m_low = low;
  m_high = high;
}

void CphModel::set_backlash(int64_t steps) {
  Guard g(m_machine->mutex());
  m_backlash = steps;
}

void CphModel::set_position(int64_t steps) {
  Guard g(m_machine->mutex());
  m_motor = m_lens = steps;
  m_atLimit = false;
}

void CphModel::set_sensor_never_found(bool on) {
  Guard g(m_machine->mutex());
  m_neverFound = on;
}

void CphModel::set_sensor_stuck_active(bool on) {
  Guard g(m_machine->mutex());
  m_stuckActive = on;
}

void CphModel::ScriptSensor(const std::vector<bool>& active) {
  Guard g(m_machine->mutex());
  m_script.insert(m_script.end(), active.begin(), active.end());
}

int64_t CphModel::lens_position() const {
  Guard g(m_machine->mutex());
  return m_lens;
}

int64_t CphModel::motor_position() const {
  Guard g(m_machine->mutex());
  return m_motor;
}

std::vector<LensStep> CphModel::steps() const {
  Guard g(m_machine->mutex());
  return m_steps;
}

size_t CphModel::step_count() const {
  Guard g(m_machine->mutex());
  return m_steps.size();
}

uint64_t CphModel::shortest_low_pulse_ns() const {
  Guard g(m_machine->mutex());
  return m_shortestLowNs;
}

uint64_t CphModel::shortest_step_period_ns() const {
  Guard g(m_machine->mutex());
  return m_shortestPeriodNs;
}

uint32_t CphModel::steps_against_limit() const {
  Guard g(m_machine->mutex());
  return m_againstLimit;
}

void CphModel::ClearRecord() {
  Guard g(m_machine->mutex());
  m_steps.clear();
  m_haveStep = false;
  m_shortestLowNs = m_shortestPeriodNs = UINT64_MAX;
  m_againstLimit = 0;
}

}  // namespace sim

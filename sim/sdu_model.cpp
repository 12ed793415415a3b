#include "sdu_model.h"

#include <mutex>

#include "epu_model.h"

namespace sim {

namespace {

using Guard = std::lock_guard<BusLock>;

constexpr uint16_t kDirection = BitMask(sdu::OKOutput::kDirection);
constexpr uint16_t kStep = BitMask(sdu::OKOutput::kStep);
constexpr uint16_t kChopperOff = BitMask(sdu::OKOutput::kChopperOff);
constexpr uint16_t kEndSensor = BitMask(sdu::Finp::kEndSensor);

double Us(uint64_t ns) { return static_cast<double>(ns) / 1000.0; }

}  // namespace

SduModel::SduModel(EpuModel& epu) {
  m_word = epu.ok_output();
  epu.on_ok_output([this](uint16_t before, uint16_t after) { Output(before, after); });
  epu.add_finp_source([this](uint16_t finp) { return Finp(finp); });
}

// ---- Lines --------------------------------------------------------------------

void SduModel::Output(uint16_t before, uint16_t after) {
  const uint64_t now = m_machine->NowNs();
  m_word = after;
  if ((before ^ after) & kDirection) {
    m_directionNs = now;
    m_directionChanged = true;
  }
  if ((before ^ after) & kStep) Toggle((after & kStep) == 0, (after & kDirection) ? 1 : -1, now);
}

void SduModel::Toggle(bool falling, int direction, uint64_t now) {
  if (!Current()) {
    ++m_lostToggles;
    return;
  }
  if (m_toggled) {
    const uint64_t since = now - m_lastToggleNs;
    if (since < m_shortestToggleNs) m_shortestToggleNs = since;
    if (since < kToggleNs) Violation("optic step line toggled %.1f us after the last toggle", Us(since));
  }
  if (m_directionChanged && now < m_directionNs + kDirectionNs)
    Violation("optic step line toggled %.1f us after a direction change", Us(now - m_directionNs));
  m_toggled = true;
  m_lastToggleNs = now;
  if (!falling) return;
  const int32_t next = m_position + direction;
  if (next < 0 || next > sdu::kTravelSteps) {
    if (!m_atEnd) Violation("optic driven into its end at %d steps", m_position);
    m_atEnd = true;
    return;
  }
  m_atEnd = false;
  m_position = next;
  ++m_steps;
}

bool SduModel::Current() const { return (m_word & kChopperOff) == 0; }

bool SduModel::SensorActive() const {
  if (m_fault != SensorFault::kNone) return m_fault == SensorFault::kStuckActive;
  return m_position <= 0;
}

uint16_t SduModel::Finp(uint16_t finp) {
  bool active = SensorActive();
  if (!m_script.empty()) {
    active = m_script.front();
    m_script.pop_front();
  }
  return active ? static_cast<uint16_t>(finp & ~kEndSensor) : static_cast<uint16_t>(finp | kEndSensor);
}

// ---- Test face --------------------------------------------------------------------

void SduModel::set_position(int32_t steps) {
  Guard g(m_machine->mutex());
  m_position = steps;
}

void SduModel::set_sensor_fault(SensorFault fault) {
  Guard g(m_machine->mutex());
  m_fault = fault;
}

void SduModel::ScriptSensor(const std::vector<bool>& active) {
  Guard g(m_machine->mutex());
  m_script.insert(m_script.end(), active.begin(), active.end());
}

int32_t SduModel::position() const {
  Guard g(m_machine->mutex());
  return m_position;
}

uint32_t SduModel::steps() const {
  Guard g(m_machine->mutex());
  return m_steps;
}

uint32_t SduModel::lost_toggles() const {
  Guard g(m_machine->mutex());
  return m_lostToggles;
}

uint64_t SduModel::shortest_toggle_ns() const {
  Guard g(m_machine->mutex());
  return m_shortestToggleNs;
}

}  // namespace sim

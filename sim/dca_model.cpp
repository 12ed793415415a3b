#include "dca_model.h"

#include <mutex>

namespace sim {

namespace {

using Guard = std::lock_guard<BusLock>;

constexpr uint16_t kStatusMask = BitMask(dca::Status::kLeftSchalter) | BitMask(dca::Status::kRightSchalter) |
                                 BitMask(dca::Status::kHeadReady) | BitMask(dca::Status::kInkLow) |
                                 BitMask(dca::Status::kLeftSensor) | BitMask(dca::Status::kRightSensor) |
                                 BitMask(dca::FocusStatus::kLEFokstat);

double Us(uint64_t ns) { return static_cast<double>(ns) / 1000.0; }

}  // namespace

// ---- Bus face -------------------------------------------------------------------

bool DcaModel::Read(uint16_t port, uint32_t, uint16_t& value) {
  const uint64_t now = m_machine->NowNs();
  if (port == dca::kStatusPort) {
    value = StatusAt(now);
    return true;
  }
  if (port == dca::kLEFocusPort) {
    value = m_fetInput & BitMask(dca::FETTemp::kOverheated);
    return true;
  }
  return false;
}

void DcaModel::Write(uint16_t port, uint16_t value, uint32_t) {
  const uint64_t now = m_machine->NowNs();
  switch (port) {
    case dca::kControlPort:
      ControlWrite(value, now);
      break;
    case dca::kStepPort:
      StepWrite(value, now);
      break;
    case dca::kIndexPort:
    case dca::kDataPort:
      IndexedWrite(port, value, now);
      return;
    case dca::kStatusPort:
    case dca::kLEFocusPort:
    case dca::kVoltagePort:
    case dca::kFETSpeedPort:
    case dca::kSensitivityPort:
      break;
    default:
      return;
  }
  m_written[port >> 10] = value;
}

void DcaModel::Advance(uint64_t nowNs) {
  if (m_latchClearNs != 0 && nowNs >= m_latchClearNs) {
    m_latched = m_blocked;
    m_latchClearNs = 0;
  }
}

uint16_t DcaModel::StatusAt(uint64_t now) const {
  uint16_t s = static_cast<uint16_t>(m_inputs & kStatusMask);
  const bool settling = now < m_settledNs;
  if (m_barrierOn && (settling || m_latched || m_blocked)) s |= BitMask(dca::Status::kLightBarrier);
  return s;
}

void DcaModel::ControlWrite(uint16_t value, uint64_t now) {
  const bool on = (value & BitMask(dca::Control::kLightBarrierOff)) == 0;
  if (on && !m_barrierOn) m_settledNs = now + kSettleNs;
  m_barrierOn = on;
  if (on && m_blocked) m_latched = true;

  const int direction = (value & BitMask(dca::Control::kDirection)) ? 1 : 0;
  if (direction == m_direction) return;
  if (m_steps != 0 && now < m_lastStepNs + kDirectionNs)
    Violation("DCA stepper direction changed %.1f us after a step (it needs 1 ms)", Us(now - m_lastStepNs));
  m_direction = direction;
  m_directionNs = now;
  m_directionKnown = true;
}

void DcaModel::StepWrite(uint16_t value, uint64_t now) {
  const bool bit4 = (value & BitMask(dca::Step::kLightBarrierReset)) != 0;
  if (m_stepPortBit4 && !bit4) {
    ++m_resets;
    m_latchClearNs = now + kResetNs;
  }
  m_stepPortBit4 = bit4;
  if (!(value & BitMask(dca::Step::kStep))) return;
  if (m_directionKnown && now < m_directionNs + kDirectionNs)
    Violation("DCA step %.1f us after a direction change (it needs 1 ms)", Us(now - m_directionNs));
  ++m_steps;
  m_position += m_direction ? 1 : -1;
  m_lastStepNs = now;
}

void DcaModel::IndexedWrite(uint16_t port, uint16_t value, uint64_t now) {
  if (now < m_busyUntilNs)
    Violation("DCA indexed register written %.1f us after a data word (it takes %u us)",
              Us(now + uint64_t{dca::kDataWordUs} * 1000 - m_busyUntilNs), static_cast<unsigned>(dca::kDataWordUs));
  if (port == dca::kIndexPort) {
    m_index = value;
    if (value != dca::kSelectorIndex && value != dca::kDataIndex) m_setupOpen = false;
    return;
  }
  if (m_index == dca::kSelectorIndex) {
    m_selector = value;
    return;
  }
  if (m_index != dca::kDataIndex) return;
  m_busyUntilNs = now + uint64_t{dca::kDataWordUs} * 1000;
  if (m_selector == dca::kSelectLENZE) {
    if (value == dca::kResetWord) {
      m_setupWords.clear();
      m_setupOpen = true;
    } else if (value <= 0x0FFF) {
      m_lenze12 = value;
      m_setupOpen = false;
    } else {
      Violation("DCA LENZE word 0x%04X is neither a 12-bit code nor the reset word", value);
    }
  } else if (m_selector == dca::kSelectSetup && m_setupOpen) {
    m_setupWords.push_back(value);
  }
}

// ---- Test face --------------------------------------------------------------------

void DcaModel::set_input(uint16_t port, int bit, bool high) {
  Guard g(m_machine->mutex());
  uint16_t& word = port == dca::kLEFocusPort ? m_fetInput : m_inputs;
  const uint16_t mask = static_cast<uint16_t>(1u << bit);
  word = high ? static_cast<uint16_t>(word | mask) : static_cast<uint16_t>(word & ~mask);
}

void DcaModel::interrupt_light_barrier() {
  Guard g(m_machine->mutex());
  if (m_barrierOn) m_latched = true;
}

void DcaModel::set_light_barrier_blocked(bool on) {
  Guard g(m_machine->mutex());
  m_blocked = on;
  if (on && m_barrierOn) m_latched = true;
}

uint16_t DcaModel::le_focus_code() const {
  Guard g(m_machine->mutex());
  return Reg(dca::kLEFocusPort) & 0xFF;
}

uint16_t DcaModel::ldk_focus_code() const {
  Guard g(m_machine->mutex());
  return Reg(dca::kVoltagePort) >> 8;
}

uint16_t DcaModel::lenze_code8() const {
  Guard g(m_machine->mutex());
  return Reg(dca::kVoltagePort) & 0xFF;
}

uint16_t DcaModel::lenze_code12() const {
  Guard g(m_machine->mutex());
  return m_lenze12;
}

uint16_t DcaModel::fet_speed_code() const {
  Guard g(m_machine->mutex());
  return Reg(dca::kFETSpeedPort) >> 8;
}

uint16_t DcaModel::sensitivity_word() const {
  Guard g(m_machine->mutex());
  return Reg(dca::kSensitivityPort);
}

bool DcaModel::laser_diode_on() const {
  Guard g(m_machine->mutex());
  return (Reg(dca::kStatusPort) & BitMask(dca::LaserDiode::kOn)) != 0;
}

bool DcaModel::light_barrier_on() const {
  Guard g(m_machine->mutex());
  return m_barrierOn;
}

uint32_t DcaModel::light_barrier_resets() const {
  Guard g(m_machine->mutex());
  return m_resets;
}

uint32_t DcaModel::steps() const {
  Guard g(m_machine->mutex());
  return m_steps;
}

int32_t DcaModel::position() const {
  Guard g(m_machine->mutex());
  return m_position;
}

std::vector<uint16_t> DcaModel::setup_words() const {
  Guard g(m_machine->mutex());
  return m_setupWords;
}

}  // namespace sim

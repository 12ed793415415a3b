#include "ipg_model.h"

#include <mutex>

namespace sim {

namespace {
using Guard = std::lock_guard<std::recursive_mutex>;
}

void IpgModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  (void)flags;
  if (port == kIndexPort) {
    m_index = value & 7;
  } else if (port == kDataPort) {
    m_regs[m_index] = value;
    m_dataWrites.emplace_back(m_index, value);
    if (m_index == 4) m_programmed = true;
  }
}

void IpgModel::set_clock_hz(double hz) {
  Guard g(m_machine->mutex());
  m_clockHz = hz;
}

uint16_t IpgModel::reg(int index) const {
  Guard g(m_machine->mutex());
  return m_regs[index & 7];
}

std::vector<std::pair<int, uint16_t>> IpgModel::data_writes() const {
  Guard g(m_machine->mutex());
  return m_dataWrites;
}

bool IpgModel::programmed() const {
  Guard g(m_machine->mutex());
  return m_programmed;
}

// The pulse counter is 8 bits wide: register 4's high byte is 256 - Q.
uint32_t IpgModel::counts_per_pulse() const {
  Guard g(m_machine->mutex());
  const uint32_t h = m_regs[4] >> 8;
  return h == 0 ? 256u : 256u - h;
}

uint32_t IpgModel::correction_period(int n) const {
  Guard g(m_machine->mutex());
  const uint16_t enables = m_regs[3];
  switch (n) {
    case 0:
      return (enables & 0x10) ? 65536u - m_regs[0] : 0u;
    case 1:
      return (enables & 0x20) ? 65536u - m_regs[1] : 0u;
    case 2:
      return (enables & 0x40) ? 0x100000u - ((static_cast<uint32_t>(enables & 0xF) << 16) | m_regs[2]) : 0u;
    default:
      return 0;
  }
}

double IpgModel::PulsesPerPeriodLocked() const {
  if (!m_programmed) return 0.0;
  // Each correction stretches one pulse by a count. The enabled periods
  // cascade: the first runs over the whole period, each next one over the
  // counts the one before left; what is left of the period is whole pulses.
  uint32_t corrections = 0;
  uint32_t counts = kPeriodCounts;
  for (int n = 0; n < 3; ++n) {
    const uint32_t t = correction_period(n);
    if (t == 0) continue;
    corrections += counts / t;
    counts -= counts / t;
  }
  if (corrections >= kPeriodCounts) return 0.0;
  return static_cast<double>(kPeriodCounts - corrections) / counts_per_pulse();
}

double IpgModel::pulses_per_period() const {
  Guard g(m_machine->mutex());
  return PulsesPerPeriodLocked();
}

double IpgModel::pulse_period_ns() const {
  Guard g(m_machine->mutex());
  const double n = PulsesPerPeriodLocked();
  if (n <= 0.0 || m_clockHz <= 0.0) return 0.0;
  return kPeriodCounts / m_clockHz * 1e9 / n;
}

}  // namespace sim

#include "ipg_model.h"

#include <mutex>

namespace sim {

namespace {
using Guard = std::lock_guard<BusLock>;
}

bool IpgModel::OnBus(uint16_t port) const { return port == ipg::kIndexPort || port == ipg::kDataPort; }

void IpgModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  (void)flags;
  if (port == ipg::kIndexPort) {
    m_index = value & 7;
    m_indexSelected = true;
    return;
  }
  if (port != ipg::kDataPort) return;
  if (!m_indexSelected) Violation("IPG data 0x%04X written without an index selected", value);
  m_indexSelected = false;
  m_regs[m_index] = value;
  m_roundWritten |= 1u << m_index;
  if (m_index == ipg::kEnables && (value & BitMask(ipg::Enables::kT2On)) && !(m_roundWritten & (1u << ipg::kT2Low)))
    Violation("IPG T2 enabled without its low bits in register 2");
  if (m_index == ipg::kPulseLength) {
    const unsigned needed = (1u << ipg::kT0) | (1u << ipg::kT1) | (1u << ipg::kEnables);
    if ((m_roundWritten & needed) != needed) Violation("IPG register 4 written before registers 0, 1 and 3");
    m_roundWritten = 0;
    m_programmed = true;
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

bool IpgModel::programmed() const {
  Guard g(m_machine->mutex());
  return m_programmed;
}

// The pulse counter is 8 bits wide: register 4's high byte is 256 - Q.
uint32_t IpgModel::counts_per_pulse() const {
  Guard g(m_machine->mutex());
  const uint32_t h = m_regs[ipg::kPulseLength] >> 8;
  return h == 0 ? 256u : 256u - h;
}

uint32_t IpgModel::correction_period(int n) const {
  Guard g(m_machine->mutex());
  const uint16_t enables = m_regs[ipg::kEnables];
  switch (n) {
    case 0:
      return (enables & BitMask(ipg::Enables::kT0On)) ? 65536u - m_regs[ipg::kT0] : 0u;
    case 1:
      return (enables & BitMask(ipg::Enables::kT1On)) ? 65536u - m_regs[ipg::kT1] : 0u;
    case 2:
      return (enables & BitMask(ipg::Enables::kT2On))
                 ? 0x100000u - ((static_cast<uint32_t>(enables & ipg::kT2HighMask) << 16) | m_regs[ipg::kT2Low])
                 : 0u;
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
  uint32_t counts = ipg::kPeriodCounts;
  for (int n = 0; n < 3; ++n) {
    const uint32_t t = correction_period(n);
    if (t == 0) continue;
    corrections += counts / t;
    counts -= counts / t;
  }
  if (corrections >= ipg::kPeriodCounts) return 0.0;
  return static_cast<double>(ipg::kPeriodCounts - corrections) / counts_per_pulse();
}

double IpgModel::pulses_per_period() const {
  Guard g(m_machine->mutex());
  return PulsesPerPeriodLocked();
}

double IpgModel::pulse_period_ns() const {
  Guard g(m_machine->mutex());
  const double n = PulsesPerPeriodLocked();
  if (n <= 0.0 || m_clockHz <= 0.0) return 0.0;
  return ipg::kPeriodCounts / m_clockHz * 1e9 / n;
}

}  // namespace sim

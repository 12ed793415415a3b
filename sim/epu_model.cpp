#include "epu_model.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>

#include "hwio32_ext.h"
#include "ipg_model.h"

namespace sim {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

constexpr uint16_t kCommandWord = 0x0202;
constexpr uint16_t kControlRowDone = 0x0010;  // control bit 4: set only while a job is being started

bool IsEpuPort(uint16_t port) { return (port & 0x3FF) == 0x300 && port >= 0x8300 && port <= 0xCB00; }

}  // namespace

EpuModel::EpuModel() = default;

// ---- Bus face -------------------------------------------------------------------

bool EpuModel::Read(uint16_t port, uint32_t flags, uint16_t& value) {
  switch (port) {
    case kStatus: {
      if (!m_ipg && !m_ipgLookedUp) FindIpg();
      uint16_t v = StatusAt(m_machine->NowNs());
      if (!(flags & HWIO_ACC_DIRECT)) {
        ++m_statusReads;
        for (auto& script : m_scripts) {
          if (script.second.empty()) continue;
          const uint16_t mask = static_cast<uint16_t>(1u << script.first);
          v = script.second.front() ? static_cast<uint16_t>(v | mask) : static_cast<uint16_t>(v & ~mask);
          script.second.pop_front();
        }
      }
      value = v;
      return true;
    }
    case kControl:
      value = m_finp;
      for (const auto& source : m_finpSources) value = source(value);
      return true;
    case kBank1Offset:
      value = m_memCounter[0];
      return true;
    case kShift:
      value = m_memCounter[1];
      return true;
    default:
      return false;
  }
}

void EpuModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  const uint64_t now = m_machine->NowNs();
  if (port == 0x0300 || port == 0x0700) {
    // The pulse generator is being programmed: it may be new to the machine.
    if (!m_ipgSetByTest) m_ipgLookedUp = false;
    return;
  }
  if (!IsEpuPort(port)) return;
  switch (port) {
    case kStatus:
      if (value == kCommandWord) m_codeBusyUntilNs = now + m_codeBusyNs;
      return;
    case kControl:
      ControlWrite(value, flags, now);
      return;
    case kSMStep:
      ++m_steps;
      break;
    case kOKOutput: {
      const uint16_t before = m_okOutput;
      m_okOutput = value;
      for (const auto& listener : m_onOkOutput) listener(before, value);
      break;
    }
    case kEcoDutyCycle:
      m_ecoWords.push_back(value);
      break;
    case kIndex:
      m_selectedIndex = value;
      break;
    case kData:
      m_indexed[m_selectedIndex] = value;
      m_indexedWrites.emplace_back(m_selectedIndex, value);
      break;
    default:
      break;
  }
  m_regs[port] = value;
}

bool EpuModel::WriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, int32_t& result) {
  if (!m_pendingRow) return false;
  m_pending.hasCode = true;
  m_pending.kind = kind;
  m_pending.arg1 = arg1;
  m_pending.arg2 = arg2;
  ++m_memCounter[m_pending.bank];
  result = 1;
  return true;
}

void EpuModel::ControlWrite(uint16_t value, uint32_t flags, uint64_t now) {
  m_control = value;
  const bool pulse = (flags & (HWIO_ACC_LOWPULS | HWIO_ACC_HIGHPULS)) != 0;
  if (!pulse) {
    // Power-on and the job preparation clear the whole word: no job runs.
    if (value == 0) {
      m_started = false;
      m_pendingRow = false;
    }
    return;
  }
  if (!(flags & HWIO_ACC_PULSE_END)) return;
  const int bit = static_cast<int>((flags >> HWIO_ACC_BIT_SHIFT) & 0xF);
  if (flags & HWIO_ACC_LOWPULS) {
    if (bit == 0 || bit == 1) {
      m_pending = EpuRow{};
      m_pending.bank = bit;
      m_pending.offeredBank = OfferedBankLocked();
      m_pendingRow = true;
    } else if (bit == 3) {
      m_offeredBank = 0;
      m_pendingRow = false;
      m_started = (value & kControlRowDone) != 0;
      if (m_started) {
        m_slotFreeNs = now;
        m_engravingUntilNs = now;
        m_envorschUntilNs = now;
      }
    }
  } else if (bit == 2) {
    BankChange(now);
  }
}

void EpuModel::BankChange(uint64_t now) {
  m_offeredBank ^= 1;
  ++m_bankChanges;
  m_lastBankChangeNs = now;
  if (!m_started) return;
  if (m_pendingRow) {
    EpuRow row = m_pending;
    row.startPos = m_regs[kStartPos];
    row.shift = m_regs[kShift];
    row.rowLength = m_regs[kRowLength];
    row.reg9B00 = m_regs[kReg9B00];
    row.regB700 = m_regs[kRegB700];
    row.advanceDivider = m_regs[kAdvanceDivider];
    row.bankOffset = m_regs[row.bank == 0 ? kBank0Offset : kBank1Offset];
    row.bankChangeNs = now;
    m_rows.push_back(row);
    m_pendingRow = false;
  }
  // One engraver: this row starts when the one before is done, and the bank
  // offered now is the one that row was in.
  const uint64_t previousDone = std::max(now, m_engravingUntilNs);
  m_slotFreeNs = previousDone;
  m_engravingUntilNs = previousDone + (m_engraveNs ? m_engraveNs : m_indexPeriodNs);
  m_envorschUntilNs = now + m_envorschNs;
}

uint16_t EpuModel::StatusAt(uint64_t now) const {
  uint16_t s = 0;
  auto set = [&s](int bit, bool on) {
    if (on) s = static_cast<uint16_t>(s | (1u << bit));
  };
  const uint64_t phase = now % m_indexPeriodNs;
  set(kIndexPulse, phase < m_indexHighNs);
  if (m_encoderPerTurn != 0) {
    const double period = static_cast<double>(m_indexPeriodNs) / m_encoderPerTurn;
    set(kEncoder, std::fmod(static_cast<double>(phase), period) < period / 2);
  }
  if (m_ipg) {
    const double period = m_ipg->pulse_period_ns();
    if (period > 0) set(kIpgPulse, std::fmod(static_cast<double>(now), period) < period / 2);
  }
  set(kPllInRange, m_pllLocked);
  if (m_started) {
    set(kWrallo, !m_wralloNeverSet && now >= m_slotFreeNs);
    set(kEnvorsch, now < m_envorschUntilNs);
  }
  const bool bank0 = OfferedBankLocked() == 0 && !m_wrpl1NeverSet;
  set(kWrpl1, bank0);
  set(kTurnOffBlocked, now < m_engravingUntilNs);
  set(kPXBusy, now < m_codeBusyUntilNs);
  set(kLLBusy, now < m_codeBusyUntilNs);
  return s;
}

// Not asked on every read: once, and again after a write to the pulse
// generator's ports.
void EpuModel::FindIpg() {
  m_ipgLookedUp = true;
  try {
    m_ipg = &m_machine->board<IpgModel>();
  } catch (const std::out_of_range&) {
    m_ipg = nullptr;
  }
}

// ---- Test face --------------------------------------------------------------------

void EpuModel::set_index_period_ns(uint64_t ns) {
  Guard g(m_machine->mutex());
  m_indexPeriodNs = ns ? ns : 1;
}

void EpuModel::set_drum_speed_rpm(double rpm) {
  Guard g(m_machine->mutex());
  m_indexPeriodNs = static_cast<uint64_t>(60e9 / rpm);
}

void EpuModel::set_index_high_ns(uint64_t ns) {
  Guard g(m_machine->mutex());
  m_indexHighNs = ns;
}

void EpuModel::set_engrave_ns(uint64_t ns) {
  Guard g(m_machine->mutex());
  m_engraveNs = ns;
}

void EpuModel::set_envorsch_ns(uint64_t ns) {
  Guard g(m_machine->mutex());
  m_envorschNs = ns;
}

void EpuModel::set_encoder_pulses_per_turn(uint32_t n) {
  Guard g(m_machine->mutex());
  m_encoderPerTurn = n;
}

void EpuModel::set_pll_locked(bool locked) {
  Guard g(m_machine->mutex());
  m_pllLocked = locked;
}

void EpuModel::set_ipg(IpgModel* ipg) {
  Guard g(m_machine->mutex());
  m_ipg = ipg;
  m_ipgSetByTest = true;
  m_ipgLookedUp = true;
}

void EpuModel::set_finp(uint16_t word) {
  Guard g(m_machine->mutex());
  m_finp = word;
}

void EpuModel::set_finp_bit(int bit, bool on) {
  Guard g(m_machine->mutex());
  const uint16_t mask = static_cast<uint16_t>(1u << bit);
  m_finp = on ? static_cast<uint16_t>(m_finp | mask) : static_cast<uint16_t>(m_finp & ~mask);
}

void EpuModel::on_ok_output(std::function<void(uint16_t, uint16_t)> fn) {
  Guard g(m_machine->mutex());
  m_onOkOutput.push_back(std::move(fn));
}

void EpuModel::add_finp_source(std::function<uint16_t(uint16_t)> fn) {
  Guard g(m_machine->mutex());
  m_finpSources.push_back(std::move(fn));
}

void EpuModel::set_wrong_bank(bool on) {
  Guard g(m_machine->mutex());
  m_wrongBank = on;
}

void EpuModel::set_wrpl1_never_set(bool on) {
  Guard g(m_machine->mutex());
  m_wrpl1NeverSet = on;
}

void EpuModel::set_wrallo_never_set(bool on) {
  Guard g(m_machine->mutex());
  m_wralloNeverSet = on;
}

void EpuModel::ScriptBit(int bit, const std::vector<bool>& values) {
  Guard g(m_machine->mutex());
  auto& q = m_scripts[bit];
  q.insert(q.end(), values.begin(), values.end());
}

void EpuModel::ScriptBitFor(int bit, bool value, size_t reads) { ScriptBit(bit, std::vector<bool>(reads, value)); }

uint64_t EpuModel::index_period_ns() const {
  Guard g(m_machine->mutex());
  return m_indexPeriodNs;
}

std::vector<EpuRow> EpuModel::rows() const {
  Guard g(m_machine->mutex());
  return m_rows;
}

size_t EpuModel::rows_in_bank(int bank) const {
  Guard g(m_machine->mutex());
  return static_cast<size_t>(
      std::count_if(m_rows.begin(), m_rows.end(), [bank](const EpuRow& r) { return r.bank == bank; }));
}

int EpuModel::OfferedBankLocked() const { return m_wrongBank ? m_offeredBank ^ 1 : m_offeredBank; }

int EpuModel::offered_bank() const {
  Guard g(m_machine->mutex());
  return OfferedBankLocked();
}

bool EpuModel::started() const {
  Guard g(m_machine->mutex());
  return m_started;
}

uint16_t EpuModel::control() const {
  Guard g(m_machine->mutex());
  return m_control;
}

bool EpuModel::error_led() const { return (control() & 0x0800) != 0; }

uint16_t EpuModel::ok_output() const {
  Guard g(m_machine->mutex());
  return m_okOutput;
}

uint16_t EpuModel::reg(uint16_t port) const {
  Guard g(m_machine->mutex());
  auto it = m_regs.find(port);
  return it == m_regs.end() ? 0 : it->second;
}

uint16_t EpuModel::indexed(uint16_t index) const {
  Guard g(m_machine->mutex());
  auto it = m_indexed.find(index);
  return it == m_indexed.end() ? 0 : it->second;
}

std::vector<std::pair<uint16_t, uint16_t>> EpuModel::indexed_writes() const {
  Guard g(m_machine->mutex());
  return m_indexedWrites;
}

std::vector<uint16_t> EpuModel::eco_words() const {
  Guard g(m_machine->mutex());
  return m_ecoWords;
}

uint32_t EpuModel::steps() const {
  Guard g(m_machine->mutex());
  return m_steps;
}

uint32_t EpuModel::bank_changes() const {
  Guard g(m_machine->mutex());
  return m_bankChanges;
}

uint16_t EpuModel::mem_counter(int bank) const {
  Guard g(m_machine->mutex());
  return m_memCounter[bank & 1];
}

uint64_t EpuModel::engraving_until_ns() const {
  Guard g(m_machine->mutex());
  return m_engravingUntilNs;
}

uint64_t EpuModel::last_bank_change_ns() const {
  Guard g(m_machine->mutex());
  return m_lastBankChangeNs;
}

uint64_t EpuModel::status_reads() const {
  Guard g(m_machine->mutex());
  return m_statusReads;
}

uint16_t EpuModel::StatusNow() const {
  Guard g(m_machine->mutex());
  return StatusAt(m_machine->NowNs());
}

}  // namespace sim

#include "epu_model.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <mutex>
#include <stdexcept>

#include "hwio32_ext.h"
#include "ipg_model.h"
#include "ipg_regs.h"

namespace sim {

namespace {

using Guard = std::lock_guard<BusLock>;
using epu::Control;
using epu::Status;

bool IsEpuPort(uint16_t port) { return (port & 0x3FF) == 0x300 && port >= epu::kStatusPort && port <= epu::kDataPort; }

bool IsRowRegister(uint16_t port) {
  return port == epu::kShiftPort || port == epu::kRowLengthPort || port == epu::kStartPosPort ||
         port == epu::kReg9B00Port || port == epu::kRegB700Port;
}

}  // namespace

EpuModel::EpuModel() = default;

// ---- Bus face -------------------------------------------------------------------

// A polling loop's plain reads between two status edges never get here: the
// machine answers them from the word StatusComputed kept.
bool EpuModel::Read(uint16_t port, uint32_t flags, uint16_t& value) {
  switch (port) {
    case epu::kStatusPort: {
      if (!m_ipg && !m_ipgLookedUp) FindIpg();
      uint16_t v = StatusComputed(BusNowNs());
      if (!(flags & HWIO_ACC_DIRECT)) {
        ++m_statusReads;
        for (auto script = m_scripts.begin(); script != m_scripts.end();) {
          const uint16_t mask = static_cast<uint16_t>(1u << script->first);
          v = script->second.front() ? static_cast<uint16_t>(v | mask) : static_cast<uint16_t>(v & ~mask);
          script->second.pop_front();
          script = script->second.empty() ? m_scripts.erase(script) : std::next(script);
        }
      }
      value = v;
      return true;
    }
    case epu::kFinpPort:
      value = m_finp;
      for (const auto& source : m_finpSources) value = source(value);
      return true;
    case epu::kMemCounter0Port:
      value = m_memCounter[0];
      return true;
    case epu::kMemCounter1Port:
      value = m_memCounter[1];
      return true;
    default:
      return false;
  }
}

// Its own ports, and the pulse generator's, whose programming it watches.
bool EpuModel::OnBus(uint16_t port) const {
  return IsEpuPort(port) || port == ipg::kIndexPort || port == ipg::kDataPort;
}

void EpuModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  const uint64_t now = BusNowNs();
  ForgetStatus();
  if (port == ipg::kIndexPort || port == ipg::kDataPort) {
    // The pulse generator is being programmed: it may be new to the machine.
    m_ipgLookedUp = false;
    return;
  }
  if (!IsEpuPort(port)) return;
  if (IsRowRegister(port)) RowRegisterWritten(port, now);
  switch (port) {
    case epu::kStatusPort:
      if (value == epu::kCommand) {
        m_codeBusyUntilNs = now + m_codeBusyNs;
        m_commandSinceRow = true;
      }
      return;
    case epu::kControlPort:
      ControlWrite(value, flags, now);
      return;
    case epu::kAdvanceDividerPort:
      m_dividerWritten = true;
      break;
    case epu::kBank0OffsetPort:
    case epu::kBank1OffsetPort:
      m_offsetWritten = m_offsetWritten || (port == epu::kBank1OffsetPort) == (m_pending.bank == 1);
      break;
    case epu::kSMStepPort:
      ++m_steps;
      break;
    case epu::kOKOutputPort: {
      const uint16_t before = m_okOutput;
      m_okOutput = value;
      for (const auto& listener : m_onOkOutput) listener(before, value);
      break;
    }
    case epu::kEcoDutyCyclePort:
      m_ecoWords.push_back(value);
      break;
    case epu::kIndexPort:
      m_selectedIndex = value;
      break;
    case epu::kDataPort:
      IndexedWrite(value);
      break;
    default:
      break;
  }
  m_regs[port] = value;
}

// The flags in index 9 count only right after index 13 got its guard value.
void EpuModel::IndexedWrite(uint16_t value) {
  if (m_selectedIndex == epu::kFlagsIndex &&
      (m_indexedWrites.empty() ||
       m_indexedWrites.back() != std::make_pair(epu::kFlagsGuardIndex, epu::kIndex13BeforeIndex9)))
    Violation("index 9 written without 0x%04X in index 13 right before", epu::kIndex13BeforeIndex9);
  m_indexed[m_selectedIndex] = value;
  m_indexedWrites.emplace_back(m_selectedIndex, value);
}

// While the board is busy (a row selected or being engraved) it takes new
// row registers only at an index pulse: two must pass before a bank change.
void EpuModel::RowRegisterWritten(uint16_t port, uint64_t now) {
  if (!m_started) return;
  if (now < m_envorschUntilNs) Violation("row register %04X written while ENVORSCH_BIT is set", port);
  if (m_pendingRow || now < m_engravingUntilNs) {
    m_rowRegsUnsettled = true;
    m_rowRegsChangedNs = now;
  }
}

// Falling edges of the index pulse at or before t.
uint64_t EpuModel::IndexFallsUpTo(uint64_t t) const {
  return t < m_indexHighNs ? 0 : (t - m_indexHighNs) / m_indexPeriodNs + 1;
}

bool EpuModel::WriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, int32_t& result) {
  result = 1;
  ForgetStatus();
  if (!m_pendingRow) {
    Violation("row code without a selected bank");
    return true;
  }
  if (BusNowNs() < m_codeBusyUntilNs) Violation("row code written while the code input is busy");
  m_pending.hasCode = true;
  m_pending.kind = kind;
  m_pending.arg1 = arg1;
  m_pending.arg2 = arg2;
  ++m_memCounter[m_pending.bank];
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
  const auto bit = static_cast<Control>((flags >> HWIO_ACC_BIT_SHIFT) & 0xF);
  if (flags & HWIO_ACC_HIGHPULS) {
    if (bit == Control::kBankChange) BankChange(now);
    return;
  }
  switch (bit) {
    case Control::kBank0Select:
    case Control::kBank1Select:
      SelectBank(bit == Control::kBank1Select ? 1 : 0, value, now);
      break;
    case Control::kRowDone:
      m_rowClosed = m_pendingRow;
      break;
    case Control::kStart:
      m_offeredBank = 0;
      m_pendingRow = false;
      m_started = (value & BitMask(Control::kRowDone)) != 0;
      if (m_started) {
        m_slotFreeNs = now;
        m_engravingUntilNs = now;
        m_envorschUntilNs = now;
        m_commandSinceRow = false;
        m_rowRegsUnsettled = false;
      }
      break;
    default:
      break;
  }
}

void EpuModel::SelectBank(int bank, uint16_t value, uint64_t now) {
  if (!m_started) {
    // Power-on and preparation pulse the select lines on a cleared word.
    if ((value & ~3u) != 0) Violation("bank %d selected before the start handshake", bank);
    return;
  }
  if (m_pendingRow)
    Violation("bank %d selected while the row for bank %d waits for its bank change", bank, m_pending.bank);
  if (!m_commandSinceRow) Violation("bank %d selected without the command word", bank);
  if (m_wralloNeverSet || now < m_slotFreeNs) Violation("bank %d selected while the board accepts no row", bank);
  m_pending = EpuRow{};
  m_pending.bank = bank;
  m_pending.offeredBank = OfferedBankLocked();
  m_pendingRow = true;
  m_rowClosed = m_dividerWritten = m_offsetWritten = false;
}

void EpuModel::CheckRowComplete(uint64_t now) {
  const int bank = m_pending.bank;
  if (!m_pending.hasCode) Violation("bank change of the row for bank %d without its code", bank);
  if (!m_rowClosed) Violation("bank change of the row for bank %d before its row-done pulse", bank);
  if (!m_dividerWritten) Violation("bank change of the row for bank %d without its advance divider", bank);
  if (!m_offsetWritten) Violation("bank change of the row for bank %d without its bank offset", bank);
  if (m_rowRegsUnsettled) {
    const uint64_t falls = IndexFallsUpTo(now) - IndexFallsUpTo(m_rowRegsChangedNs);
    if (falls < 2)
      Violation("bank change %u index pulses after the row registers changed", static_cast<unsigned>(falls));
  }
  m_rowRegsUnsettled = false;
  m_commandSinceRow = false;
}

void EpuModel::BankChange(uint64_t now) {
  m_offeredBank ^= 1;
  ++m_bankChanges;
  if (!m_started) return;
  if (m_pendingRow) {
    CheckRowComplete(now);
    EpuRow row = m_pending;
    row.startPos = m_regs[epu::kStartPosPort];
    row.shift = m_regs[epu::kShiftPort];
    row.rowLength = m_regs[epu::kRowLengthPort];
    row.reg9B00 = m_regs[epu::kReg9B00Port];
    row.regB700 = m_regs[epu::kRegB700Port];
    row.advanceDivider = m_regs[epu::kAdvanceDividerPort];
    row.bankOffset = m_regs[row.bank == 0 ? epu::kBank0OffsetPort : epu::kBank1OffsetPort];
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

// Where in its turn the drum is. The turn is kept from the last read: the
// clock mostly moves on by one bus cycle between two, and a division on
// every status read was a polling loop's largest cost.
uint64_t EpuModel::PhaseAt(uint64_t now) const {
  if (m_turnPeriodNs != m_indexPeriodNs || now < m_turnStartNs || now - m_turnStartNs >= m_indexPeriodNs) {
    m_turnPeriodNs = m_indexPeriodNs;
    m_turnStartNs = now - now % m_indexPeriodNs;
  }
  return now - m_turnStartNs;
}

uint16_t EpuModel::StatusAt(uint64_t now) const {
  uint16_t s = 0;
  auto set = [&s](Status bit, bool on) {
    if (on) s = static_cast<uint16_t>(s | BitMask(bit));
  };
  const uint64_t phase = PhaseAt(now);
  set(Status::kIndex, phase < m_indexHighNs);
  if (m_encoderPerTurn != 0) {
    const double period = static_cast<double>(m_indexPeriodNs) / m_encoderPerTurn;
    set(Status::kEncoder, std::fmod(static_cast<double>(phase), period) < period / 2);
  }
  if (m_ipg) {
    const double period = m_ipg->pulse_period_ns();
    if (period > 0) set(Status::kIPGPulse, std::fmod(static_cast<double>(now), period) < period / 2);
  }
  set(Status::kPLLInRange, m_pllLocked);
  if (m_started) {
    set(Status::WRALLO_BIT, !m_wralloNeverSet && now >= m_slotFreeNs);
    set(Status::ENVORSCH_BIT, now < m_envorschUntilNs);
  }
  const bool bank0 = OfferedBankLocked() == 0 && !m_wrpl1NeverSet;
  set(Status::WRPL1_BIT, bank0);
  set(Status::kTurnOffBlocked, now < m_engravingUntilNs);
  set(Status::kPXBusy, now < m_codeBusyUntilNs);
  set(Status::kLLBusy, now < m_codeBusyUntilNs);
  return s;
}

uint16_t EpuModel::StatusComputed(uint64_t now) {
  const uint16_t word = StatusAt(now);
  if (m_scripts.empty()) KeepRead(epu::kStatusPort, word, now, NextStatusEdge(now) - now, &m_statusReads);
  return word;
}

// The first instant after now at which a bit of the status word may change
// without a change of state: an edge of the index pulse, the end of a busy
// span. The encoder and the pulse generator change too often: now + 1.
uint64_t EpuModel::NextStatusEdge(uint64_t now) const {
  if (m_encoderPerTurn != 0 || m_ipg) return now + 1;
  const uint64_t turnStart = now - PhaseAt(now);
  uint64_t next = turnStart + m_indexPeriodNs;
  auto until = [now, &next](uint64_t t) {
    if (t > now && t < next) next = t;
  };
  until(turnStart + m_indexHighNs);
  if (m_started) {
    until(m_slotFreeNs);
    until(m_envorschUntilNs);
  }
  until(m_engravingUntilNs);
  until(m_codeBusyUntilNs);
  return next;
}

// Not asked on every read: once, and again after a write to the pulse
// generator's ports.
void EpuModel::FindIpg() {
  m_ipgLookedUp = true;
  ForgetStatus();
  try {
    m_ipg = &m_machine->board<IpgModel>();
  } catch (const std::out_of_range&) {
    m_ipg = nullptr;
  }
}

// ---- Test face --------------------------------------------------------------------

void EpuModel::set_index_period_ns(uint64_t ns) { SetStatusInput(m_indexPeriodNs, ns ? ns : 1); }

void EpuModel::set_drum_speed_rpm(double rpm) { SetStatusInput(m_indexPeriodNs, static_cast<uint64_t>(60e9 / rpm)); }

void EpuModel::set_index_high_ns(uint64_t ns) { SetStatusInput(m_indexHighNs, ns); }

void EpuModel::set_engrave_ns(uint64_t ns) { SetStatusInput(m_engraveNs, ns); }

void EpuModel::set_envorsch_ns(uint64_t ns) { SetStatusInput(m_envorschNs, ns); }

void EpuModel::set_encoder_pulses_per_turn(uint32_t n) { SetStatusInput(m_encoderPerTurn, n); }

void EpuModel::set_pll_locked(bool locked) { SetStatusInput(m_pllLocked, locked); }

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

void EpuModel::set_wrong_bank(bool on) { SetStatusInput(m_wrongBank, on); }

void EpuModel::set_wrpl1_never_set(bool on) { SetStatusInput(m_wrpl1NeverSet, on); }

void EpuModel::set_wrallo_never_set(bool on) { SetStatusInput(m_wralloNeverSet, on); }

void EpuModel::ScriptBit(Status bit, const std::vector<bool>& values) {
  Guard g(m_machine->mutex());
  if (values.empty()) return;
  ForgetStatus();
  auto& q = m_scripts[static_cast<int>(bit)];
  q.insert(q.end(), values.begin(), values.end());
}

void EpuModel::ScriptBitFor(Status bit, bool value, size_t reads) { ScriptBit(bit, std::vector<bool>(reads, value)); }

// The host's stepper hangs on the board's lines: it may move only once the
// board has taken the row's advance, and not while the board steps itself.
void EpuModel::HostMove() {
  Guard g(m_machine->mutex());
  const uint64_t now = m_machine->NowNs();
  if (m_started && now < m_envorschUntilNs) Violation("host stepper moved while ENVORSCH_BIT is set");
  if (m_control & BitMask(Control::kSMAuto)) Violation("host stepper moved while the board advances it");
}

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

bool EpuModel::error_led() const { return (control() & BitMask(Control::kErrorLED)) != 0; }

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

uint64_t EpuModel::engraving_until_ns() const {
  Guard g(m_machine->mutex());
  return m_engravingUntilNs;
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

#include "mbu_model.h"

#include <algorithm>

#include "hwio32_ext.h"
#include "mbu_regs.h"

namespace sim {

namespace {

// The board's memory in one-bit words a bank, by jumper ID (7: no card).
constexpr uint32_t kBankWords[8] = {0x80000, 0x100000, 0x80000, 0x100000, 0x80000, 0x100000, 0x100000, 0};

uint16_t Mask(int bit) { return static_cast<uint16_t>(1u << bit); }

}  // namespace

MbuModel::MbuModel(uint32_t jumperId) { set_jumper_id(jumperId); }

uint64_t MbuModel::Now() const { return BusNowNs(); }

bool MbuModel::ExclusivePorts(uint16_t& first, uint16_t& last) const {
  first = mbu::kFirstPort;
  last = mbu::kLastPort;
  return true;
}

// ---- State on the clock ----------------------------------------------------------

bool MbuModel::OnBus(uint16_t port) const { return port >= mbu::kFirstPort && port <= mbu::kLastPort; }

void MbuModel::Advance(uint64_t nowNs) { Update(nowNs); }

// A waiting trigger switches the banks once its latency has passed and the
// block being engraved is done.
void MbuModel::Update(uint64_t now) {
  if (!m_pending.active) return;
  const uint64_t switchNs = std::max(m_pending.acceptNs, m_engravingBank >= 0 ? m_engraveUntilNs : 0);
  if (now < switchNs) return;
  m_pending.active = false;
  if (m_neverSwitches) return;
  MbuBlock& block = m_pending.block;
  block.switchNs = switchNs;
  m_engravingBank = block.bank;
  m_engraveUntilNs = switchNs + m_engraveNs;
  m_pcBank = m_wrongBank ? block.bank : 1 - block.bank;
  m_address = 0;
  m_blocks.push_back(std::move(block));
}

int MbuModel::engraving_bank() const { return Now() < m_engraveUntilNs ? m_engravingBank : -1; }

uint16_t MbuModel::StatusNow() const {
  const uint64_t now = Now();
  uint16_t v = static_cast<uint16_t>(m_jumperId << mbu::kJumperShift);
  if (m_resetOccurred) v |= Mask(kResetOccurred);
  if (m_pcBank) v |= Mask(kBank);
  if (m_engravingBank >= 0 && now < m_engraveUntilNs) v |= Mask(kEngraving);
  if (m_laserPulse) v |= Mask(kLaserPulse);
  if (m_pending.active && now >= m_pending.acceptNs) v |= Mask(kTriggerWaiting);
  if (m_pll) v |= Mask(kPLLInRange);
  return static_cast<uint16_t>(v | (m_stuckBusy & mbu::kBusyMask));
}

uint16_t MbuModel::ZeroPulseWord() const {
  const uint64_t turns = m_drumTurnNs ? Now() / m_drumTurnNs : 0;
  return static_cast<uint16_t>((turns & 0xF) << 8);
}

uint16_t MbuModel::divider() const {
  return static_cast<uint16_t>((m_dividerLow & mbu::kDividerBits) | (m_dividerHigh << mbu::kDividerHighShift));
}

// ---- Bus face ------------------------------------------------------------------

bool MbuModel::Read(uint16_t port, uint32_t flags, uint16_t& value) {
  Update(Now());
  switch (port) {
    case mbu::kStatusPort: {
      uint16_t v = StatusNow();
      if (m_flapping && (m_statusReads & 1)) v ^= Mask(kBank);
      ++m_statusReads;
      for (auto& script : m_scripts) {
        if (script.second.empty()) continue;
        v = script.second.front() ? static_cast<uint16_t>(v | Mask(script.first))
                                  : static_cast<uint16_t>(v & ~Mask(script.first));
        script.second.pop_front();
      }
      value = v;
      return true;
    }
    case mbu::kZeroPulsePort:
      value = ZeroPulseWord();
      return true;
    case mbu::kMemoryPort:
      return ReadBlock(port, &value, 1, flags);
    default:
      return false;
  }
}

void MbuModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  const uint64_t now = Now();
  Update(now);
  switch (port) {
    case mbu::kMemoryPort:
      WriteBlock(port, &value, 1, flags);
      break;
    case mbu::kCommandPort:
      Command(value, now);
      break;
    case mbu::kZeroShiftPort:
      if (value > mbu::kZeroShiftMax) Violation("zero shift %u above 255 segments", value);
      m_zeroShift = value;
      break;
    case mbu::kDividerPort:
      m_dividerLow = value;
      break;
    case mbu::kDividerHighPort:
      if (value > 7) Violation("divider bits 13-15 written as 0x%04X", value);
      m_dividerHigh = value & 7;
      break;
    case mbu::kPlotHeight0Port:
    case mbu::kPlotHeight1Port:
    case mbu::kPlotHeight2Port:
      PlotHeightOrAMU(port, value);
      break;
    default:
      break;
  }
}

// 0xB700 and 0xBB00 carry a modulation index and value, or the low two
// bytes of the plot height; only the third byte on 0xA700 tells the plot
// height, and then the pair did not set a modulation value.
void MbuModel::PlotHeightOrAMU(uint16_t port, uint16_t value) {
  if (port == mbu::kPlotHeight0Port) {
    m_b700 = value;
  } else if (port == mbu::kPlotHeight1Port) {
    m_bb00 = value;
    const size_t index = m_b700 & 0x0F;
    m_amuUndo = AmuUndo{};
    if (index < m_amu.size()) {
      m_amuUndo = AmuUndo{true, index, m_amu[index], m_amuMode};
      m_amu[index] = static_cast<uint8_t>(value);
      m_amuMode = (m_b700 & 0x80) != 0;
    }
  } else {
    m_plotHeight = (m_b700 & 0xFFu) | (m_bb00 & 0xFFu) << 8 | (value & 0xFFu) << 16;
    if (m_amuUndo.valid) {
      m_amu[m_amuUndo.index] = m_amuUndo.value;
      m_amuMode = m_amuUndo.mode;
    }
    m_amuUndo = AmuUndo{};
  }
}

bool MbuModel::MemoryAccess(const char* what, uint32_t count, uint32_t& fit) {
  const uint64_t now = Now();
  if (m_engravingBank == m_pcBank && now < m_engraveUntilNs)
    Violation("%s %u words in bank %d, which the board is engraving", what, count, m_pcBank);
  if (m_pending.active && m_pending.block.bank == m_pcBank)
    Violation("%s %u words in bank %d, whose triggered block is not taken over yet", what, count, m_pcBank);
  fit = m_address < m_capacityWords ? std::min(count, m_capacityWords - m_address) : 0;
  if (fit < count) {
    m_overflowWords += count - fit;
    Violation("%s %u words past the end of bank %d (%u words)", what, count - fit, m_pcBank, m_capacityWords);
  }
  return fit != 0;
}

bool MbuModel::WriteBlock(uint16_t port, const uint16_t* data, uint32_t count, uint32_t) {
  if (port != mbu::kMemoryPort) return false;
  Update(Now());
  uint32_t fit = 0;
  if (!MemoryAccess("wrote", count, fit)) return true;
  std::vector<uint16_t>& bank = m_banks[m_pcBank];
  if (bank.size() < m_address + fit) bank.resize(m_address + fit);
  std::copy(data, data + fit, bank.begin() + m_address);
  m_address += fit;
  return true;
}

bool MbuModel::ReadBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t) {
  if (port != mbu::kMemoryPort) return false;
  Update(Now());
  uint32_t fit = 0;
  MemoryAccess("read", count, fit);
  const std::vector<uint16_t>& bank = m_banks[m_pcBank];
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t a = m_address + i;
    data[i] = i >= fit ? 0xFFFF : (a < bank.size() ? bank[a] : 0);
  }
  m_address += fit;
  return true;
}

// ---- Commands ----------------------------------------------------------------------

void MbuModel::Command(uint16_t code, uint64_t now) {
  m_commands.push_back(code);
  switch (code) {
    case mbu::kLaserPulseOn:
      m_laserPulse = true;
      break;
    case mbu::kSoftReset:
      SoftReset(now);
      break;
    case mbu::kBankSet:
      m_address = 0;
      break;
    case mbu::kTestMode:
      m_testMode = true;
      break;
    case mbu::kTriggerSegment0:
    case mbu::kTriggerSegmentSame:
    case mbu::kTriggerSegmentNew:
    case mbu::kTriggerTRIM:
      Trigger(code, now);
      break;
    default:
      Violation("unknown command 0x%04X", code);
      break;
  }
}

void MbuModel::SoftReset(uint64_t now) {
  m_pending = Pending{};
  m_engravingBank = -1;
  m_engraveUntilNs = now;
  m_pcBank = 0;
  m_address = 0;
  m_laserPulse = false;
  m_resetOccurred = true;
}

void MbuModel::Trigger(uint16_t code, uint64_t now) {
  if (m_address == 0) {
    Violation("trigger (command %u) before any word of a block", code);
    return;
  }
  if (m_pending.active) {
    Violation("trigger (command %u) while the previous one still waits", code);
    return;
  }
  m_resetOccurred = false;
  if (m_neverAccepted) return;
  MbuBlock block;
  block.bank = m_pcBank;
  block.command = code;
  const std::vector<uint16_t>& bank = m_banks[m_pcBank];
  block.words.assign(bank.begin(), bank.begin() + m_address);
  block.divider = divider();
  block.direction = direction();
  block.zeroShift = m_zeroShift;
  block.plotHeight = m_plotHeight;
  block.triggerNs = now;
  m_pending.active = true;
  m_pending.block = std::move(block);
  m_pending.acceptNs = m_latencyNs == kNever ? kNever : now + m_latencyNs;
}

// ---- Test face -------------------------------------------------------------------------

void MbuModel::set_jumper_id(uint32_t id) {
  m_jumperId = id & 7;
  m_capacityWords = kBankWords[m_jumperId];
}
void MbuModel::set_pll_in_range(bool on) { m_pll = on; }
void MbuModel::set_reset_occurred(bool on) { m_resetOccurred = on; }
void MbuModel::set_drum_turn_ns(uint64_t ns) { m_drumTurnNs = ns; }
void MbuModel::set_trigger_latency_ns(uint64_t ns) { m_latencyNs = ns; }
void MbuModel::set_engrave_ns(uint64_t ns) { m_engraveNs = ns; }
void MbuModel::set_trigger_never_accepted(bool on) { m_neverAccepted = on; }
void MbuModel::set_bank_never_switches(bool on) { m_neverSwitches = on; }
void MbuModel::set_switch_to_wrong_bank(bool on) { m_wrongBank = on; }
void MbuModel::set_stuck_busy(uint16_t bits) { m_stuckBusy = bits; }
void MbuModel::set_bank_bit_flapping(bool on) { m_flapping = on; }

void MbuModel::ScriptBit(int bit, const std::vector<bool>& values) {
  auto& q = m_scripts[bit];
  q.insert(q.end(), values.begin(), values.end());
}

}  // namespace sim

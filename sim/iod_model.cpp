#include "iod_model.h"

#include <algorithm>
#include <utility>

namespace sim {

namespace {

// PC output lines (active low).
constexpr uint16_t kPcStrobe = BitMask(iod::Out::PcStrobe);
constexpr uint16_t kPcAck = BitMask(iod::Out::PcAck);
// Above the data and the two handshake lines the PC always writes 1.
constexpr uint16_t kPcAlwaysHigh = iod::kOutData & ~(kPcStrobe | kPcAck);
// MCM input lines.
constexpr uint16_t kMcmStrobeHigh = BitMask(iod::In::McmStrobe);
constexpr uint16_t kMcmReady = BitMask(iod::In::McmReady);
constexpr uint16_t kVerdict = BitMask(iod::In::TelegramOk);
constexpr uint16_t kStatusMask =
    BitMask(iod::In::RechtesRad) | BitMask(iod::In::RapportStand) | BitMask(iod::In::DeviceReady);
// Bits 14 and 15 are not driven; the bus floats high.
constexpr uint16_t kUndriven = 0xC000;

uint64_t After(uint64_t atNs, uint64_t holdNs) {
  return holdNs == IodModel::kForever || atNs > IodModel::kForever - holdNs ? IodModel::kForever : atNs + holdNs;
}

// Sum of the bytes 1..count-2 against the two behind them, low byte first.
bool ChecksumFits(const std::vector<uint8_t>& b, size_t count, uint16_t mask) {
  if (count < 2 || b.size() < count + 1) return false;
  uint16_t sum = 0;
  for (size_t i = 1; i + 1 < count; ++i) sum = static_cast<uint16_t>(sum + b[i]);
  const uint16_t got = static_cast<uint16_t>(b[count - 1] | (b[count] << 8));
  return static_cast<uint16_t>(sum & mask) == got;
}

}  // namespace

IodModel::IodModel()
    // Rapport and device-ready inactive (high), the right wheel input low.
    : m_status(static_cast<uint16_t>(BitMask(iod::In::RapportStand) | BitMask(iod::In::DeviceReady))) {
  ReadyFor(0, 0, 0);
}

// ---- Test face -------------------------------------------------------------

void IodModel::SetVariant(Variant variant) { m_variant = variant; }

void IodModel::SetResponder(Responder responder) { m_responder = std::move(responder); }

void IodModel::SetRawResponder(RawResponder responder) { m_rawResponder = std::move(responder); }

void IodModel::SetStatusLine(iod::In line, bool high) {
  const uint16_t mask = static_cast<uint16_t>(BitMask(line) & kStatusMask);
  m_status = static_cast<uint16_t>(high ? (m_status | mask) : (m_status & ~mask));
}

void IodModel::SendRaw(const std::vector<uint8_t>& bytes) { StartAnswer(kRaw, bytes, kReactNs); }

void IodModel::NeverReady(int telegram, int byte, uint64_t holdNs) {
  AddFault({FaultKind::NeverReady, telegram, byte, holdNs, 0});
}
void IodModel::NeverTakeByte(int telegram, int byte) { AddFault({FaultKind::NeverTakeByte, telegram, byte, 0, 0}); }
void IodModel::NeverStrobe(int telegram, int answerByte) {
  AddFault({FaultKind::NeverStrobe, telegram, answerByte, 0, 0});
}
void IodModel::NeverReleaseStrobe(int telegram, int answerByte) {
  AddFault({FaultKind::NeverReleaseStrobe, telegram, answerByte, 0, 0});
}
void IodModel::RejectTelegram(int telegram) { AddFault({FaultKind::Reject, telegram, kEveryByte, 0, 0}); }
void IodModel::CorruptAnswerChecksum(int telegram, uint16_t delta) {
  Fault f{FaultKind::CorruptChecksum, telegram, kEveryByte, 0, 0};
  f.delta = delta;
  AddFault(f);
}
void IodModel::SendAnswerLength(int telegram, uint8_t length) {
  AddFault({FaultKind::BadLength, telegram, kEveryByte, 0, length});
}
void IodModel::DropVerdict(int telegram, uint64_t holdNs) {
  AddFault({FaultKind::DropVerdict, telegram, kEveryByte, holdNs, 0});
}
void IodModel::AnswerSlowly(int telegram, uint64_t delayNs, int answerByte) {
  AddFault({FaultKind::Slow, telegram, answerByte, delayNs, 0});
}
void IodModel::UnsteadyVerdict(int telegram, uint64_t settleNs, uint64_t holdNs) {
  Fault f{FaultKind::UnsteadyVerdict, telegram, kEveryByte, settleNs, 0};
  f.ns2 = holdNs;
  AddFault(f);
}
void IodModel::ClearFaults() { m_faults.clear(); }

void IodModel::AddFault(const Fault& fault) {
  m_faults.push_back(fault);
  // The ready line may already be up for the byte the fault names: it
  // drops now and stays low for the hold from here on.
  if (fault.kind == FaultKind::NeverReady && m_readyPending && fault.telegram == m_readyTelegram &&
      fault.byte == m_readyByte)
    ReadyFor(m_readyTelegram, m_readyByte, std::max(m_readyBaseNs, m_nowNs));
}

const IodModel::Fault* IodModel::FindFault(FaultKind kind, int telegram, int byte) const {
  for (const Fault& f : m_faults)
    if (f.kind == kind && f.telegram == telegram && (f.byte == kEveryByte || f.byte == byte)) return &f;
  return nullptr;
}

std::vector<uint8_t> IodModel::Received() const {
  std::vector<uint8_t> out;
  for (const Telegram& t : m_telegrams) out.insert(out.end(), t.bytes.begin(), t.bytes.end());
  return out;
}

uint16_t IodModel::InputLatch() const {
  return static_cast<uint16_t>(m_data | (m_strobeLow ? 0 : kMcmStrobeHigh) | (Ready() ? kMcmReady : 0) |
                               (VerdictShown() ? kVerdict : 0) | m_status | kUndriven);
}

bool IodModel::VerdictShown() const {
  if (!m_unsteady) return m_verdict;
  if (m_firstReadyReadNs == kForever) return !m_verdict;
  const uint64_t settledNs = After(m_firstReadyReadNs, m_unsteadySettleNs);
  const bool steady = m_nowNs > settledNs && m_nowNs <= After(settledNs, m_unsteadyHoldNs);
  return steady ? m_verdict : !m_verdict;
}

// ---- Bus face ----------------------------------------------------------------

bool IodModel::Read(uint16_t port, uint32_t, uint16_t& value) {
  if (port != iod::kInPort) return false;
  if (m_unsteady && Ready() && m_firstReadyReadNs == kForever) m_firstReadyReadNs = m_nowNs;
  value = InputLatch();
  return true;
}

void IodModel::Write(uint16_t port, uint16_t value, uint32_t) {
  if (port != iod::kOutPort) return;
  CheckPcWrite(value);
  const uint16_t old = m_pcOut;
  m_pcOut = value;
  const uint16_t fell = static_cast<uint16_t>(old & ~value);
  const uint16_t rose = static_cast<uint16_t>(~old & value);
  if (fell & kPcAck) OnPcAckFall();
  if (rose & kPcAck) OnPcAckRise();
  if (fell & kPcStrobe) OnPcStrobeFall();
  if (rose & kPcStrobe) OnPcStrobeRise();
}

// What the MCM would misread or never see. The time-outs of the PC are no
// violation: a byte the MCM never took may be withdrawn, an answer byte
// whose strobe the MCM holds may be let go of.
void IodModel::CheckPcWrite(uint16_t value) {
  const uint16_t old = m_pcOut;
  const bool strobeWasLow = (old & kPcStrobe) == 0, strobeLow = (value & kPcStrobe) == 0;
  const bool ackWasLow = (old & kPcAck) == 0, ackLow = (value & kPcAck) == 0;
  const bool dataChanged = ((old ^ value) & iod::kDataMask) != 0;
  if ((value & kPcAlwaysHigh) != kPcAlwaysHigh) Violation("PC wrote 0x%04X: bits 10-15 must be 1", value);
  if (strobeLow && ackLow) Violation("PC strobe and acknowledge low together (0x%04X)", value);
  if (strobeLow && dataChanged)
    Violation("PC data changed from 0x%02X to 0x%02X with its strobe low", old & iod::kDataMask,
              value & iod::kDataMask);
  if (strobeLow && !strobeWasLow && !Ready()) Violation("PC offered a byte before the MCM was ready for it");
  if (!strobeLow && strobeWasLow && m_takePending) Violation("PC withdrew its byte before the MCM took it");
  if (ackLow && !ackWasLow && !m_strobeLow) Violation("PC acknowledged with no byte offered");
  if (!ackLow && ackWasLow && m_txActive && m_txAcked && !m_txReleased && !m_txHeld)
    Violation("PC released its acknowledge before the MCM released its strobe");
}

// Events run at their own time, so what they schedule is timed from the
// moment they happened, not from the end of the PC's pause.
void IodModel::Advance(uint64_t nowNs) {
  while (!m_events.empty() && m_events.begin()->first <= nowNs) {
    auto it = m_events.begin();
    m_nowNs = std::max(m_nowNs, it->first);
    std::function<void()> action = std::move(it->second);
    m_events.erase(it);
    action();
  }
  m_nowNs = nowNs;
}

void IodModel::Schedule(uint64_t delayNs, std::function<void()> action) {
  if (delayNs == kForever) return;
  m_events.emplace(After(m_nowNs, delayNs), std::move(action));
}

// ---- Ready line ----------------------------------------------------------------

void IodModel::ReadyFor(int telegram, int byte, uint64_t atNs) {
  m_readyTelegram = telegram;
  m_readyByte = byte;
  m_readyBaseNs = atNs;
  m_readyPending = true;
  const Fault* never = FindFault(FaultKind::NeverReady, telegram, byte);
  m_readyFromNs = never ? After(atNs, never->ns) : atNs;
  if (never && telegram == m_rxOpen) m_rxGivenUp = true;
}

void IodModel::DropReady() {
  m_readyFromNs = kForever;
  m_readyPending = false;
}

// ---- Receiving -------------------------------------------------------------------

void IodModel::OnPcStrobeFall() {
  // The PC offers a byte: it is not listening to an answer any more.
  AbandonAnswer();
  if (m_rxOpen >= 0 && m_nowNs - m_lastOfferNs > kResyncNs) {
    if (!m_rxGivenUp)
      Violation("telegram %d broken off after %zu bytes", m_rxOpen,
                m_telegrams[static_cast<size_t>(m_rxOpen)].bytes.size());
    m_rxOpen = -1;
  }
  m_lastOfferNs = m_nowNs;
  if (m_rxOpen < 0) {
    m_telegrams.emplace_back();
    m_rxOpen = static_cast<int>(m_telegrams.size()) - 1;
    m_rxGivenUp = false;
    m_verdict = false;
    m_unsteady = false;
  }
  const int byte = static_cast<int>(m_telegrams[static_cast<size_t>(m_rxOpen)].bytes.size());
  if (FindFault(FaultKind::NeverTakeByte, m_rxOpen, byte)) {
    m_rxGivenUp = true;
    return;
  }
  m_takePending = true;
  const uint64_t gen = ++m_rxGen;
  Schedule(kReactNs, [this, gen] { TakeByte(gen); });
}

void IodModel::TakeByte(uint64_t gen) {
  // The PC gave up on this byte before the MCM got to it.
  if (gen != m_rxGen || !m_takePending || (m_pcOut & kPcStrobe)) return;
  m_takePending = false;
  m_telegrams[static_cast<size_t>(m_rxOpen)].bytes.push_back(static_cast<uint8_t>(m_pcOut & 0xFF));
  DropReady();
  m_awaitStrobeRise = true;
}

void IodModel::OnPcStrobeRise() {
  m_takePending = false;
  if (!m_awaitStrobeRise) return;
  m_awaitStrobeRise = false;
  const int telegram = m_rxOpen;
  Telegram& t = m_telegrams[static_cast<size_t>(telegram)];
  const Assessment a = Assess(t.bytes);
  if (!a.complete) {
    ReadyFor(telegram, static_cast<int>(t.bytes.size()), m_nowNs + kReactNs);
    if (a.couldEndHere) {
      const size_t count = t.bytes.size();
      Schedule(kShortEndNs, [this, telegram, count] { CloseShort(telegram, count); });
    }
    return;
  }
  t.complete = true;
  m_rxOpen = -1;
  Schedule(kProcessNs, [this, telegram, a] { Process(telegram, a); });
}

// N5 counts every following byte in the length. N6 marks the length with
// bit 7, which below 128 is only a mark and above it part of the count:
// 0x85 may announce 5 bytes or 133. The short reading wins when its
// checksum holds there.
IodModel::Assessment IodModel::Assess(const std::vector<uint8_t>& b) const {
  Assessment a;
  const uint8_t length = b[0];
  const size_t following = b.size() - 1;
  const bool marked = (length & 0x80) != 0;
  if (m_variant == Variant::N5 || (m_variant == Variant::Auto && !marked)) {
    a.variant = Variant::N5;
    a.complete = following >= length;
    a.accepted = a.complete && ChecksumFits(b, length, 0xFFFF);
    a.textLength = length >= 2 ? length - 2u : 0;
    return a;
  }
  a.variant = Variant::N6;
  const size_t shortCount = length & 0x7Fu;
  if (marked && following == shortCount && shortCount >= 2) {
    if (ChecksumFits(b, shortCount, 0xFF7F)) {
      a.complete = a.accepted = true;
      a.textLength = shortCount - 2;
      return a;
    }
    a.couldEndHere = true;
  }
  if (following < length) return a;
  a.complete = true;
  a.textLength = length >= 2 ? length - 2u : 0;
  a.accepted = marked && ChecksumFits(b, length, 0xFF7F);
  if (!a.accepted && m_variant == Variant::Auto && ChecksumFits(b, length, 0xFFFF)) {
    a.variant = Variant::N5;
    a.accepted = true;
  }
  return a;
}

void IodModel::Process(int telegram, Assessment a) {
  Telegram& t = m_telegrams[static_cast<size_t>(telegram)];
  t.variant = a.variant;
  if (!a.accepted)
    Violation("telegram %d does not add up: length 0x%02X, %zu bytes", telegram, t.bytes[0], t.bytes.size());
  t.accepted = a.accepted && !FindFault(FaultKind::Reject, telegram);
  if (a.textLength > 0 && t.bytes.size() >= a.textLength + 1)
    t.command.assign(t.bytes.begin() + 1, t.bytes.begin() + 1 + static_cast<std::ptrdiff_t>(a.textLength));
  m_verdict = t.accepted;
  if (const Fault* unsteady = FindFault(FaultKind::UnsteadyVerdict, telegram)) {
    m_unsteady = true;
    m_unsteadySettleNs = unsteady->ns;
    m_unsteadyHoldNs = unsteady->ns2;
    m_firstReadyReadNs = kForever;
  }
  if (const Fault* drop = FindFault(FaultKind::DropVerdict, telegram)) {
    m_readyFromNs = After(m_nowNs, drop->ns);
    m_readyPending = false;
  } else {
    ReadyFor(telegram + 1, 0, m_nowNs);
  }
  if (!t.accepted) return;
  // The responder may call back into the library; t may move meanwhile.
  const std::string command = m_telegrams[static_cast<size_t>(telegram)].command;
  std::vector<uint8_t> answer;
  if (m_rawResponder)
    answer = m_rawResponder(command);
  else
    answer = BuildAnswer(telegram, m_responder ? m_responder(command) : "");
  m_telegrams[static_cast<size_t>(telegram)].answer = answer;
  StartAnswer(telegram, std::move(answer), kAnswerNs);
}

// The PC stopped after the short length: it meant it, and the checksum is wrong.
void IodModel::CloseShort(int telegram, size_t count) {
  if (m_rxOpen != telegram || m_takePending) return;
  Telegram& t = m_telegrams[static_cast<size_t>(telegram)];
  if (t.bytes.size() != count) return;
  t.complete = true;
  m_rxOpen = -1;
  Assessment a;
  a.complete = true;
  a.variant = Variant::N6;
  a.textLength = count - 3;
  Process(telegram, a);
}

// ---- Sending the answer ------------------------------------------------------------

std::vector<uint8_t> IodModel::BuildAnswer(int telegram, const std::string& text) const {
  // The length byte has room for 253 characters at most.
  const size_t n = std::min<size_t>(text.size(), 253);
  std::vector<uint8_t> b;
  b.push_back(static_cast<uint8_t>(n + 2));
  uint16_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    b.push_back(static_cast<uint8_t>(text[i]));
    sum = static_cast<uint16_t>(sum + static_cast<uint8_t>(text[i]));
  }
  if (const Fault* corrupt = FindFault(FaultKind::CorruptChecksum, telegram))
    sum = static_cast<uint16_t>(sum + corrupt->delta);
  if (const Fault* length = FindFault(FaultKind::BadLength, telegram)) b[0] = length->value;
  b.push_back(static_cast<uint8_t>(sum & 0xFF));
  b.push_back(static_cast<uint8_t>(sum >> 8));
  return b;
}

void IodModel::StartAnswer(int key, std::vector<uint8_t> bytes, uint64_t delayNs) {
  AbandonAnswer();
  m_tx = std::move(bytes);
  m_txPos = 0;
  m_txKey = key;
  m_txActive = !m_tx.empty();
  if (m_txActive) ScheduleOffer(delayNs);
}

void IodModel::ScheduleOffer(uint64_t delayNs) {
  if (const Fault* slow = FindFault(FaultKind::Slow, m_txKey, static_cast<int>(m_txPos)))
    delayNs = After(delayNs, slow->ns);
  const uint64_t gen = m_txGen;
  Schedule(delayNs, [this, gen] { Offer(gen); });
}

void IodModel::Offer(uint64_t gen) {
  if (gen != m_txGen || !m_txActive) return;
  if (FindFault(FaultKind::NeverStrobe, m_txKey, static_cast<int>(m_txPos))) return;
  m_data = m_tx[m_txPos];
  m_strobeLow = true;
  m_txAcked = false;
  m_txReleased = false;
  m_txHeld = false;
}

void IodModel::OnPcAckFall() {
  if (!m_txActive || !m_strobeLow || m_txAcked) return;
  m_txAcked = true;
  CountTaken();
  m_txHeld = FindFault(FaultKind::NeverReleaseStrobe, m_txKey, static_cast<int>(m_txPos)) != nullptr;
  if (m_txHeld) return;
  const uint64_t gen = m_txGen;
  Schedule(kReactNs, [this, gen] { ReleaseStrobe(gen); });
}

void IodModel::ReleaseStrobe(uint64_t gen) {
  if (gen != m_txGen || !m_txActive) return;
  m_strobeLow = false;
  m_txReleased = true;
  // N5 may already have released its acknowledge; N6 waits for this edge.
  if (m_pcOut & kPcAck) NextAnswerByte();
}

void IodModel::OnPcAckRise() {
  if (m_txActive && m_txAcked && m_txReleased) NextAnswerByte();
}

void IodModel::NextAnswerByte() {
  m_txAcked = m_txReleased = false;
  if (++m_txPos >= m_tx.size()) {
    m_txActive = false;
    return;
  }
  ScheduleOffer(kReactNs);
}

void IodModel::AbandonAnswer() {
  ++m_txGen;
  m_txActive = false;
  m_strobeLow = false;
  m_txHeld = false;
}

void IodModel::CountTaken() {
  if (m_txKey == kRaw)
    ++m_rawTaken;
  else
    m_telegrams[static_cast<size_t>(m_txKey)].answerTaken = m_txPos + 1;
}

}  // namespace sim

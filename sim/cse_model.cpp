#include "cse_model.h"

#include <cinttypes>
#include <mutex>

#include "cse_regs.h"

namespace sim {

namespace {

using Guard = std::lock_guard<BusLock>;

// The front end's channels: the lamp's light that reaches each sensor, the
// dark level of its amplifier, the dark level one offset step takes away,
// and the gain as (kGainBase + setting) / kGainScale. Chosen so that the
// alignments end at mid-range settings, as on a healthy scanner.
constexpr int32_t kLampLight[3] = {560, 600, 520};
constexpr int32_t kDarkLevel[3] = {420, 400, 440};
constexpr int32_t kOffsetStep = 3;
constexpr int32_t kGainBase = 32;
constexpr int32_t kGainScale = 256;

constexpr uint16_t Mask(cse::HandshakeIn b) { return BitMask(b); }

bool HasBit(uint16_t value, cse::Control b) { return (value & BitMask(b)) != 0; }

uint16_t Of(const Reflectance& r, int channel) { return channel == 0 ? r.red : channel == 1 ? r.green : r.blue; }

// A counter-based hash (splitmix64's finaliser): the same seed and counter
// give the same noise on every build and standard library.
uint64_t Mix(uint64_t z) {
  z ^= z >> 30;
  z *= 0xBF58476D1CE4E5B9ull;
  z ^= z >> 27;
  z *= 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int32_t Noise(uint32_t seed, uint64_t counter, int channel, int amplitude) {
  if (amplitude <= 0) return 0;
  const uint64_t h = Mix(Mix(seed * 0x9E3779B97F4A7C15ull + counter) + static_cast<uint64_t>(channel));
  return static_cast<int32_t>(h % static_cast<uint64_t>(2 * amplitude + 1)) - amplitude;
}

uint8_t Clamp8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

int32_t Analog(int channel, uint16_t reflectance, bool lamp, uint8_t offset, uint8_t gain) {
  const int32_t light = lamp ? kLampLight[channel] * reflectance / 1000 : 0;
  const int32_t level = kDarkLevel[channel] + light - offset * kOffsetStep;
  return level * (kGainBase + gain) / kGainScale;
}

}  // namespace

uint8_t CseModel::Level(int channel, uint16_t reflectance, bool lamp, uint8_t offset, uint8_t gain) {
  return Clamp8(Analog(channel, reflectance, lamp, offset, gain));
}

// ---- Bus face -------------------------------------------------------------------

bool CseModel::Read(uint16_t port, uint32_t flags, uint16_t& value) {
  (void)flags;
  const uint64_t now = m_machine->NowNs();
  switch (port) {
    case cse::kStatusPort:
      value = static_cast<uint16_t>((m_ready ? BitMask(cse::Status::kDeviceReady) : 0) |
                                    (m_lamp ? BitMask(cse::Status::kXenonOn) : 0));
      return true;
    case cse::kRedGreenPort:
      m_last = Sample(UnderHead(0, 0));
      value = static_cast<uint16_t>(m_last[kRed] | m_last[kGreen] << 8);
      return true;
    case cse::kBluePort:
      value = m_last[kBlue];
      return true;
    case cse::kHandshakePort:
      value = HandshakeIn(now);
      return true;
    default:
      return false;
  }
}

void CseModel::Write(uint16_t port, uint16_t value, uint32_t flags) {
  (void)flags;
  const uint64_t now = m_machine->NowNs();
  UpdateAck(now);
  switch (port) {
    case cse::kRedDACPort:
      return ChannelWrite(kRed, value);
    case cse::kGreenDACPort:
      return ChannelWrite(kGreen, value);
    case cse::kBlueDACPort:
      return ChannelWrite(kBlue, value);
    case cse::kControlPort:
      return ControlWrite(value, now);
    case cse::kHandshakePort: {
      m_handshakeOut = value;
      const bool request = (value & BitMask(cse::HandshakeOut::kStopRequest)) != 0;
      if (request != m_request) {
        m_request = request;
        m_requestNs = now;
      }
      return;
    }
    default:
      return;
  }
}

bool CseModel::PollVorschub(const uint32_t* args, int32_t& result) {
  UpdateAck(m_machine->NowNs());
  CseRow row;
  for (size_t i = 0; i < row.args.size(); ++i) row.args[i] = args[i];
  if (m_ack) {
    Violation("scan row requested while the scan sequence is stopped");
    result = 0;
  } else {
    // Flag B: the count is in whole groups of 16 pixels.
    const uint64_t pixels = args[6] ? uint64_t{args[1]} * 16u : args[1];
    const uint32_t kept = pixels < kMaxRowPixels ? static_cast<uint32_t>(pixels) : kMaxRowPixels;
    for (uint32_t i = 0; i < kept; ++i) row.pixels.push_back(Sample(UnderHead(args[3] + i, args[0])));
    result = m_rowResult;
  }
  m_rows.push_back(std::move(row));
  return true;
}

Reflectance CseModel::UnderHead(uint32_t x, uint32_t y) const {
  switch (m_under) {
    case Under::kBlackReference:
      return kBlackReference;
    case Under::kWhiteReference:
      return kWhiteReference;
    case Under::kPicture:
      break;
  }
  return m_picture ? m_picture(x, y) : kBlackReference;
}

Rgb CseModel::Sample(const Reflectance& spot) {
  const uint64_t n = m_samples++;
  Rgb out;
  for (int c = 0; c < 3; ++c) {
    const int32_t v =
        Analog(c, Of(spot, c), m_lamp, m_offset[c], m_gain[c]) + Noise(m_noiseSeed, n, c, m_noiseAmplitude);
    out[c] = c == m_deadChannel ? m_deadLevel : Clamp8(v);
  }
  return out;
}

void CseModel::UpdateAck(uint64_t now) const {
  if (m_ack != m_request && now - m_requestNs >= m_ackDelayNs) m_ack = m_request;
}

uint16_t CseModel::HandshakeIn(uint64_t now) {
  UpdateAck(now);
  bool busy = m_busy == Busy::kStuck || (m_busy == Busy::kPeriodic && now % kConversionPeriodNs < kConversionNs);
  if (!m_busyScript.empty()) {
    busy = m_busyScript.front();
    m_busyScript.pop_front();
  }
  uint16_t v = 0;
  if (busy) v |= Mask(cse::HandshakeIn::kBusy);
  if (!m_colorselect) v |= Mask(cse::HandshakeIn::kColorselectInactive);
  if (!m_alignmentValid) v |= Mask(cse::HandshakeIn::kAlignmentInvalid);
  if (m_ack) v |= Mask(cse::HandshakeIn::kSequenceStoppedAck);
  return v;
}

void CseModel::ControlWrite(uint16_t value, uint64_t now) {
  const uint16_t before = m_control;
  m_control = value;
  const bool startBefore = HasBit(before, cse::Control::kXenonStart);
  const bool stopBefore = HasBit(before, cse::Control::kXenonStop);
  const bool start = HasBit(value, cse::Control::kXenonStart);
  const bool stop = HasBit(value, cse::Control::kXenonStop);
  if (start && !startBefore) m_startRiseNs = now;
  if (!start && startBefore) LampPulse(true, now - m_startRiseNs);
  if (stop && !stopBefore) m_stopRiseNs = now;
  if (!stop && stopBefore) LampPulse(false, now - m_stopRiseNs);
}

void CseModel::LampPulse(bool start, uint64_t lengthNs) {
  if (lengthNs < kMinLampPulseNs) {
    Violation("xenon %s pulse of %" PRIu64 " us, the lamp needs %" PRIu64 " ms", start ? "start" : "stop",
              lengthNs / 1000, kMinLampPulseNs / 1000000);
    return;
  }
  m_lamp = start && !m_lampNeverLights;
}

void CseModel::ChannelWrite(int channel, uint16_t value) {
  const bool offset = HasBit(m_control, cse::Control::kOffsetSelect);
  if (m_ack)
    Violation("%s %s set to %u while the scan sequence is stopped",
              channel == kRed     ? "red"
              : channel == kGreen ? "green"
                                  : "blue",
              offset ? "offset" : "gain", value);
  (offset ? m_offset : m_gain)[channel] = static_cast<uint8_t>(value);
}

// ---- Test face --------------------------------------------------------------------

void CseModel::set_under(Under under) {
  Guard g(m_machine->mutex());
  m_under = under;
}

void CseModel::set_picture(Picture picture) {
  Guard g(m_machine->mutex());
  m_picture = std::move(picture);
  m_under = Under::kPicture;
}

void CseModel::set_noise(uint32_t seed, int amplitude) {
  Guard g(m_machine->mutex());
  m_noiseSeed = seed;
  m_noiseAmplitude = amplitude;
}

void CseModel::set_ready(bool ready) {
  Guard g(m_machine->mutex());
  m_ready = ready;
}

void CseModel::set_colorselect(bool selected) {
  Guard g(m_machine->mutex());
  m_colorselect = selected;
}

void CseModel::set_alignment_valid(bool valid) {
  Guard g(m_machine->mutex());
  m_alignmentValid = valid;
}

void CseModel::set_row_result(int32_t result) {
  Guard g(m_machine->mutex());
  m_rowResult = result;
}

void CseModel::set_ack_delay_ns(uint64_t ns) {
  Guard g(m_machine->mutex());
  m_ackDelayNs = ns;
}

void CseModel::set_busy(Busy busy) {
  Guard g(m_machine->mutex());
  m_busy = busy;
}

void CseModel::ScriptBusy(const std::vector<bool>& values) {
  Guard g(m_machine->mutex());
  m_busyScript.insert(m_busyScript.end(), values.begin(), values.end());
}

void CseModel::set_lamp_never_lights(bool never) {
  Guard g(m_machine->mutex());
  m_lampNeverLights = never;
}

void CseModel::set_dead_channel(int channel, uint8_t level) {
  Guard g(m_machine->mutex());
  m_deadChannel = channel;
  m_deadLevel = level;
}

uint8_t CseModel::offset(int channel) const {
  Guard g(m_machine->mutex());
  return m_offset[channel];
}

uint8_t CseModel::gain(int channel) const {
  Guard g(m_machine->mutex());
  return m_gain[channel];
}

uint16_t CseModel::control() const {
  Guard g(m_machine->mutex());
  return m_control;
}

uint16_t CseModel::handshake_out() const {
  Guard g(m_machine->mutex());
  return m_handshakeOut;
}

bool CseModel::started() const {
  Guard g(m_machine->mutex());
  UpdateAck(m_machine->NowNs());
  return !m_ack;
}

bool CseModel::lamp_on() const {
  Guard g(m_machine->mutex());
  return m_lamp;
}

Rgb CseModel::last_reading() const {
  Guard g(m_machine->mutex());
  return m_last;
}

std::vector<CseRow> CseModel::rows() const {
  Guard g(m_machine->mutex());
  return m_rows;
}

}  // namespace sim

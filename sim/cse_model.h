// The colour scanner electronics and the scanner front end behind them, as
// the library sees them through their ports and the polled row read.
//
//  - Three channels turn the light that comes back from what lies under the
//    head (a black reference, a white reference or a picture) into 8-bit
//    readings, each through an offset and a gain register (control bit 2
//    selects which one a channel write sets). Integer arithmetic only, so
//    that the native and the 32-bit builds read the same values; optional
//    noise comes from a hash of a seed and a reading counter.
//  - The sequence acknowledge follows the request after a delay; the board
//    is started while it shows 0. The busy bit is never set, stuck, set by
//    periodic conversions (the default) or scripted read by read.
//  - The xenon lamp lights after a start pulse of at least 100 ms and goes
//    out after a stop pulse as long; a shorter pulse is a violation.
//  - A scanned row (HWIO_PollVorschub) is kept with its seven arguments and
//    its pixels read from the picture through the same channels.
// Violations: a channel setting written while the sequence is stopped, a row
// requested while it is stopped, a lamp pulse too short.
#ifndef CARDN5_SIM_CSE_MODEL_H
#define CARDN5_SIM_CSE_MODEL_H

#include <stdint.h>

#include <array>
#include <deque>
#include <functional>
#include <vector>

#include "machine.h"

namespace sim {

// Light sent back by a spot, per channel, in thousandths of the lamp's.
struct Reflectance {
  uint16_t red, green, blue;
};

using Rgb = std::array<uint8_t, 3>;  // red, green, blue

struct CseRow {
  std::array<uint32_t, 7> args;  // as HWIO_PollVorschub got them
  std::vector<Rgb> pixels;       // empty when the board refused the row
};

class CseModel : public Board {
 public:
  enum Channel : int { kRed = 0, kGreen = 1, kBlue = 2 };
  enum class Under { kBlackReference, kWhiteReference, kPicture };
  enum class Busy { kNever, kStuck, kPeriodic };
  // Pixel (x, y) of the picture: x from the row's fourth argument on, y the
  // row's first argument.
  using Picture = std::function<Reflectance(uint32_t x, uint32_t y)>;

  static constexpr Reflectance kBlackReference = {30, 30, 30};
  static constexpr Reflectance kWhiteReference = {900, 900, 900};
  static constexpr uint64_t kAckDelayNs = 5000;
  static constexpr uint64_t kNever = UINT64_MAX;
  static constexpr uint64_t kMinLampPulseNs = 100000000;
  static constexpr uint64_t kConversionPeriodNs = 50000;  // one conversion every 50 us ...
  static constexpr uint64_t kConversionNs = 2000;         // ... that keeps the board busy for 2 us
  static constexpr uint32_t kMaxRowPixels = 65536;        // pixels kept of a longer row

  // The reading of one channel without noise: the lamp's light (if lit)
  // times the reflectance, on the channel's dark level, less the offset,
  // times the gain, clamped to 0 to 255.
  static uint8_t Level(int channel, uint16_t reflectance, bool lamp, uint8_t offset, uint8_t gain);

  // ---- Bus face ----
  bool Read(uint16_t port, uint32_t flags, uint16_t& value) override;
  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  bool PollVorschub(const uint32_t* args, int32_t& result) override;

  // ---- Test face: the scene and the inputs ----
  void set_under(Under under);
  void set_picture(Picture picture);             // also puts the picture under the head
  void set_noise(uint32_t seed, int amplitude);  // amplitude 0: no noise
  void set_ready(bool ready);                    // default ready
  void set_colorselect(bool selected);           // default not selected
  void set_alignment_valid(bool valid);          // default not valid
  void set_row_result(int32_t result);           // what a scanned row returns (default 1)

  // ---- Test face: faults ----
  // A slow acknowledge; kNever: it keeps its level.
  void set_ack_delay_ns(uint64_t ns);
  void set_busy(Busy busy);
  // The busy bit of the next handshake reads, in order, whatever the mode says.
  void ScriptBusy(const std::vector<bool>& values);
  void set_lamp_never_lights(bool never);
  // A dead channel reads level whatever its settings: no alignment converges.
  void set_dead_channel(int channel, uint8_t level = 128);

  // ---- Test face: what the board saw ----
  uint8_t offset(int channel) const;
  uint8_t gain(int channel) const;
  uint16_t control() const;
  uint16_t handshake_out() const;
  bool started() const;
  bool lamp_on() const;
  Rgb last_reading() const;
  std::vector<CseRow> rows() const;

 private:
  Reflectance UnderHead(uint32_t x, uint32_t y) const;
  Rgb Sample(const Reflectance& spot);
  void UpdateAck(uint64_t now) const;
  uint16_t HandshakeIn(uint64_t now);
  void ControlWrite(uint16_t value, uint64_t now);
  void LampPulse(bool start, uint64_t lengthNs);
  void ChannelWrite(int channel, uint16_t value);

  // Scene and inputs
  Under m_under = Under::kBlackReference;
  Picture m_picture;
  uint32_t m_noiseSeed = 0;
  int m_noiseAmplitude = 0;
  bool m_ready = true;
  bool m_colorselect = false;
  bool m_alignmentValid = false;
  int32_t m_rowResult = 1;

  // Faults
  uint64_t m_ackDelayNs = kAckDelayNs;
  Busy m_busy = Busy::kPeriodic;
  std::deque<bool> m_busyScript;
  bool m_lampNeverLights = false;
  int m_deadChannel = -1;
  uint8_t m_deadLevel = 0;

  // Board state
  uint8_t m_offset[3] = {0, 0, 0};
  uint8_t m_gain[3] = {0, 0, 0};
  uint16_t m_control = 0;
  uint16_t m_handshakeOut = 0;
  bool m_request = true;  // stop requested
  uint64_t m_requestNs = 0;
  mutable bool m_ack = true;  // stopped; follows the request when asked
  bool m_lamp = false;
  uint64_t m_startRiseNs = 0;
  uint64_t m_stopRiseNs = 0;
  uint64_t m_samples = 0;
  Rgb m_last = {0, 0, 0};
  std::vector<CseRow> m_rows;
};

}  // namespace sim

#endif

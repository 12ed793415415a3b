// The IOD board and the machine controller (MCM) at the far end of its
// link. The MCM runs the two-line handshake from its side, driven by what
// the PC writes and by virtual time (one fault also watches its reads): it
// takes the PC's bytes, checks each telegram's length and checksum, shows
// its verdict on input bit 10, and strobes out the answer a test chooses.
// Faults make it misbehave on a chosen telegram or byte; everything it took
// is kept for the test to read. What the PC does out of turn (a strobe
// before the MCM is ready, data changed under the strobe, an acknowledge of
// nothing, a telegram that does not add up) is recorded as a violation.
#ifndef CARDN5_SIM_IOD_MODEL_H
#define CARDN5_SIM_IOD_MODEL_H

#include <stdint.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "iod_regs.h"
#include "machine.h"

namespace sim {

class IodModel : public Board {
 public:
  static constexpr uint64_t kForever = UINT64_MAX;
  // Telegram number of the bytes SendRaw strobes out, for the answer faults.
  static constexpr int kRaw = -1;
  static constexpr int kEveryByte = -1;

  // The MCM's firmware loop: how soon it sees a line change of the PC.
  static constexpr uint64_t kReactNs = 3000;
  // Checking a whole telegram before it shows the verdict.
  static constexpr uint64_t kProcessNs = 50000;
  // From the verdict to the first byte of the answer.
  static constexpr uint64_t kAnswerNs = 20000;
  // A telegram whose next byte is this late is given up: the PC has started
  // it again from its first byte.
  static constexpr uint64_t kResyncNs = 50000000;
  // An N6 telegram that could have ended at its short length (see Assess)
  // but failed its checksum there is closed as rejected when no further
  // byte comes within this time.
  static constexpr uint64_t kShortEndNs = 200000;

  enum class Variant { Auto, N5, N6 };
  using Responder = std::function<std::string(const std::string& command)>;
  using RawResponder = std::function<std::vector<uint8_t>(const std::string& command)>;

  struct Telegram {
    std::vector<uint8_t> bytes;       // as taken from the PC, length byte first
    bool complete = false;            // as many bytes came as the length announced
    bool accepted = false;            // the verdict shown on bit 10
    Variant variant = Variant::Auto;  // how the MCM read it
    std::string command;              // its text, once complete
    std::vector<uint8_t> answer;      // the answer telegram the MCM offered
    size_t answerTaken = 0;           // bytes of the answer the PC acknowledged
  };

  IodModel();

  // ---- Test face ----
  // Auto reads a length byte with bit 7 as N6, and accepts a long telegram
  // whose checksum fits either variant.
  void SetVariant(Variant variant);
  // Called with each accepted command; returns the answer text (default: empty).
  void SetResponder(Responder responder);
  // Instead: returns the whole answer telegram as the MCM strobes it out,
  // length byte and checksum included, nothing computed or checked (the
  // answer faults do not apply). Null goes back to the responder.
  void SetRawResponder(RawResponder responder);
  // The status inputs (bits 11 to 13) as the machine drives them.
  void SetStatusLine(iod::In line, bool high);
  // Strobes these bytes out at once, as an answer to no telegram.
  void SendRaw(const std::vector<uint8_t>& bytes);

  // Faults. Telegrams are numbered from 0 in the order the MCM sees them
  // begin; bytes from 0, the length byte first.
  // Bit 9 stays low before the byte: for holdNs from when it would have
  // risen (or from now, if that has passed), then it rises after all.
  void NeverReady(int telegram, int byte, uint64_t holdNs = kForever);
  // The byte's strobe is ignored: bit 9 never drops for it.
  void NeverTakeByte(int telegram, int byte);
  // The answer stops before this byte: the strobe never falls for it.
  void NeverStrobe(int telegram, int answerByte);
  // After the PC acknowledged this answer byte, the strobe stays low.
  void NeverReleaseStrobe(int telegram, int answerByte);
  // Bit 10 reads 0 after the telegram, and no answer comes.
  void RejectTelegram(int telegram);
  // The answer's checksum is off by delta; 0x100 spoils only its high byte.
  void CorruptAnswerChecksum(int telegram, uint16_t delta = 1);
  // The answer's length byte is this value; the rest follows unchanged.
  void SendAnswerLength(int telegram, uint8_t length);
  // After the telegram bit 9 stays low (holdNs); the answer still comes.
  void DropVerdict(int telegram, uint64_t holdNs = kForever);
  // Each answer byte (or the one named) comes delayNs later than usual.
  void AnswerSlowly(int telegram, uint64_t delayNs, int answerByte = kEveryByte);
  // Bit 10 is not steady around the telegram's verdict: it shows the
  // opposite of the verdict until settleNs after the first read that sees
  // bit 9 high again, then the verdict for holdNs, then the opposite again.
  // Timed from that read rather than from the rise, so that a test knows
  // exactly which of the PC's reads finds the verdict, whatever the phase
  // of its polling.
  void UnsteadyVerdict(int telegram, uint64_t settleNs, uint64_t holdNs = kForever);
  void ClearFaults();

  // ---- What it saw ----
  const std::vector<Telegram>& telegrams() const { return m_telegrams; }
  // Every byte taken from the PC, all telegrams in order.
  std::vector<uint8_t> Received() const;
  // Raw bytes the PC acknowledged.
  size_t rawTaken() const { return m_rawTaken; }
  // The input latch as the PC would read it now.
  uint16_t InputLatch() const;

  // ---- Bus face ----
  bool Read(uint16_t port, uint32_t flags, uint16_t& value) override;
  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  void Advance(uint64_t nowNs) override;

 private:
  enum class FaultKind {
    NeverReady,
    NeverTakeByte,
    NeverStrobe,
    NeverReleaseStrobe,
    Reject,
    CorruptChecksum,
    BadLength,
    DropVerdict,
    Slow,
    UnsteadyVerdict
  };
  struct Fault {
    FaultKind kind;
    int telegram;
    int byte;
    uint64_t ns;
    uint8_t value;
    uint64_t ns2 = 0;    // a second time: UnsteadyVerdict's hold
    uint16_t delta = 0;  // CorruptChecksum's offset
  };
  struct Assessment {
    bool complete = false;
    bool accepted = false;
    Variant variant = Variant::Auto;
    size_t textLength = 0;
    bool couldEndHere = false;  // N6 short reading with a failed checksum
  };

  void AddFault(const Fault& fault);
  const Fault* FindFault(FaultKind kind, int telegram, int byte = kEveryByte) const;
  // The PC's handshake rules, checked on each write before the MCM reacts.
  void CheckPcWrite(uint16_t value);
  void Schedule(uint64_t delayNs, std::function<void()> action);
  bool Ready() const { return m_nowNs >= m_readyFromNs; }
  void ReadyFor(int telegram, int byte, uint64_t atNs);
  void DropReady();
  bool VerdictShown() const;

  // Receiving the PC's telegram.
  void OnPcStrobeFall();
  void TakeByte(uint64_t gen);
  void OnPcStrobeRise();
  Assessment Assess(const std::vector<uint8_t>& bytes) const;
  void Process(int telegram, Assessment assessment);
  void CloseShort(int telegram, size_t count);

  // Sending the answer.
  std::vector<uint8_t> BuildAnswer(int telegram, const std::string& text) const;
  void StartAnswer(int key, std::vector<uint8_t> bytes, uint64_t delayNs);
  void ScheduleOffer(uint64_t delayNs);
  void Offer(uint64_t gen);
  void OnPcAckFall();
  void ReleaseStrobe(uint64_t gen);
  void OnPcAckRise();
  void NextAnswerByte();
  void AbandonAnswer();
  void CountTaken();

  // Lines
  uint16_t m_pcOut = 0xFFFF;  // the PC's output latch as last written
  uint8_t m_data = 0xFF;
  bool m_strobeLow = false;
  uint64_t m_readyFromNs = 0;  // bit 9 reads 1 from this time on
  bool m_verdict = false;
  // An UnsteadyVerdict fault on the telegram last judged, and when a read
  // first saw bit 9 high after the verdict (kForever: not yet).
  bool m_unsteady = false;
  uint64_t m_unsteadySettleNs = 0;
  uint64_t m_unsteadyHoldNs = 0;
  uint64_t m_firstReadyReadNs = kForever;
  uint16_t m_status;
  uint64_t m_nowNs = 0;

  // Ready line bookkeeping: which byte it was raised for, so that a fault
  // added later still finds a rise that has not been seen yet.
  int m_readyTelegram = 0;
  int m_readyByte = 0;
  uint64_t m_readyBaseNs = 0;
  bool m_readyPending = true;

  // Receiving
  int m_rxOpen = -1;  // telegram being received, -1 between telegrams
  // A fault of the MCM made the PC give up on a byte of the open telegram,
  // so the PC may rightly start it again.
  bool m_rxGivenUp = false;
  uint64_t m_lastOfferNs = 0;
  bool m_takePending = false;
  bool m_awaitStrobeRise = false;
  uint64_t m_rxGen = 0;

  // Sending
  std::vector<uint8_t> m_tx;
  size_t m_txPos = 0;
  int m_txKey = kRaw;
  bool m_txActive = false;
  bool m_txAcked = false;
  bool m_txReleased = false;
  bool m_txHeld = false;  // the MCM keeps its strobe low on purpose (a fault)
  uint64_t m_txGen = 0;
  size_t m_rawTaken = 0;

  Variant m_variant = Variant::Auto;
  Responder m_responder;
  RawResponder m_rawResponder;
  std::vector<Fault> m_faults;
  std::vector<Telegram> m_telegrams;
  std::multimap<uint64_t, std::function<void()>> m_events;
};

}  // namespace sim

#endif

// The memory buffer board as the library sees it through its ports.
//
// Two banks keep every image word written to them. The PC writes into the
// bank the status shows in bit 1, the board's address counter advancing by
// one each word. A trigger command hands the words written since the last
// switch to the board: after the trigger latency the board takes them over,
// but not before the block it engraves has been engraved for the engraving
// time; until then status bit 5 says the trigger waits. At the switch the
// board engraves the new block (status bit 2) and opens the other bank to
// the PC. The status word is computed from this state on the virtual clock:
//  bit 0 a reset occurred (power-up, soft reset; cleared by a trigger),
//  bit 1 the PC's bank, bit 2 engraving, bit 4 explicit laser pulse on,
//  bit 5 trigger waiting, bit 12 PLL in range, bits 13-15 the jumper ID.
// Reads of the command port give the zero-pulse counter, one count a drum
// turn, four bits wide from bit 8 (the library uses three).
//
// Violations: words written into a bank the board engraves or whose
// triggered block it has not taken over yet, words past a bank's capacity,
// a trigger before any word of a block, a trigger while one still waits, an
// unknown command, a zero shift above 255, divider bits above 15.
#ifndef CARDN5_SIM_MBU_MODEL_H
#define CARDN5_SIM_MBU_MODEL_H

#include <stdint.h>

#include <array>
#include <deque>
#include <map>
#include <vector>

#include "machine.h"

namespace sim {

// One block the board took over at a trigger.
struct MbuBlock {
  int bank = 0;
  uint16_t command = 0;
  std::vector<uint16_t> words;
  uint16_t divider = 0;  // bits 0-12 of 0xB300, bits 13-15 from 0xBF00
  bool direction = false;
  uint16_t zeroShift = 0;
  uint32_t plotHeight = 0;
  uint64_t triggerNs = 0;
  uint64_t switchNs = 0;
};

class MbuModel : public Board {
 public:
  enum StatusBit : int {
    kResetOccurred = 0,
    kBank = 1,
    kEngraving = 2,
    kLaserPulse = 4,
    kTriggerWaiting = 5,
    kPLLInRange = 12,
  };
  static constexpr uint64_t kNever = UINT64_MAX;

  explicit MbuModel(uint32_t jumperId = 3);

  bool Read(uint16_t port, uint32_t flags, uint16_t& value) override;
  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  bool ReadBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t flags) override;
  bool WriteBlock(uint16_t port, const uint16_t* data, uint32_t count, uint32_t flags) override;
  void Advance(uint64_t nowNs) override;
  bool ExclusivePorts(uint16_t& first, uint16_t& last) const override;
  bool OnBus(uint16_t port) const override;

  // ---- Test face: the card and the machine ----
  void set_jumper_id(uint32_t id);  // 0-7; also sets the banks' capacity
  void set_pll_in_range(bool on);
  void set_reset_occurred(bool on);
  void set_drum_turn_ns(uint64_t ns);        // 0 (default): the drum stands
  void set_trigger_latency_ns(uint64_t ns);  // default 20 us
  void set_engrave_ns(uint64_t ns);          // one block's engraving, default 2 ms

  // ---- Test face: faults ----
  void set_trigger_never_accepted(bool on);  // triggers are recorded, nothing else
  void set_bank_never_switches(bool on);     // a waiting trigger is dropped when it would switch
  void set_switch_to_wrong_bank(bool on);    // the PC keeps the bank the board now engraves
  void set_stuck_busy(uint16_t bits);        // these of bits 2-7 always set
  void set_bank_bit_flapping(bool on);       // bit 1 inverted on every other read
  // The next status reads show these values of one bit, in order.
  void ScriptBit(int bit, const std::vector<bool>& values);

  // ---- Test face: what the board saw ----
  int pc_bank() const { return m_pcBank; }
  int engraving_bank() const;  // -1 while idle
  const std::vector<uint16_t>& bank(int b) const { return m_banks[b & 1]; }
  uint32_t capacity_words() const { return m_capacityWords; }
  uint32_t address_counter() const { return m_address; }
  uint64_t overflow_words() const { return m_overflowWords; }
  const std::vector<MbuBlock>& blocks() const { return m_blocks; }
  void clear_blocks() { m_blocks.clear(); }
  const std::vector<uint16_t>& commands() const { return m_commands; }
  uint16_t divider() const;
  bool direction() const { return (m_dividerLow & 0x8000) != 0; }
  uint16_t zero_shift() const { return m_zeroShift; }
  uint32_t plot_height() const { return m_plotHeight; }
  uint8_t amu(int index) const { return m_amu.at(static_cast<size_t>(index)); }
  bool amu_mode() const { return m_amuMode; }
  bool laser_pulse_on() const { return m_laserPulse; }
  bool test_mode() const { return m_testMode; }
  uint64_t status_reads() const { return m_statusReads; }
  uint16_t StatusNow() const;

 private:
  struct Pending {
    bool active = false;
    MbuBlock block;
    uint64_t acceptNs = 0;
  };

  uint64_t Now() const;
  void Update(uint64_t now);
  void Command(uint16_t code, uint64_t now);
  void Trigger(uint16_t code, uint64_t now);
  void SoftReset(uint64_t now);
  // Checks where words of a transfer go; false when none may be stored.
  bool MemoryAccess(const char* what, uint32_t count, uint32_t& fit);
  void PlotHeightOrAMU(uint16_t port, uint16_t value);
  uint16_t ZeroPulseWord() const;

  // Card, machine, timing
  uint32_t m_jumperId = 3;
  uint32_t m_capacityWords = 0;
  bool m_pll = true;
  bool m_resetOccurred = true;
  uint64_t m_drumTurnNs = 0;
  uint64_t m_latencyNs = 20000;
  uint64_t m_engraveNs = 2000000;

  // Faults and scripts
  bool m_neverAccepted = false;
  bool m_neverSwitches = false;
  bool m_wrongBank = false;
  uint16_t m_stuckBusy = 0;
  bool m_flapping = false;
  std::map<int, std::deque<bool>> m_scripts;

  // Memory and banks
  std::array<std::vector<uint16_t>, 2> m_banks;
  int m_pcBank = 0;
  int m_engravingBank = -1;
  uint64_t m_engraveUntilNs = 0;
  uint32_t m_address = 0;
  uint64_t m_overflowWords = 0;
  Pending m_pending;
  std::vector<MbuBlock> m_blocks;
  std::vector<uint16_t> m_commands;

  // Latched registers
  uint16_t m_dividerLow = 0;
  uint16_t m_dividerHigh = 0;
  uint16_t m_zeroShift = 0;
  uint32_t m_plotHeight = 0;
  uint16_t m_b700 = 0, m_bb00 = 0;
  std::array<uint8_t, 12> m_amu{};
  bool m_amuMode = false;
  struct AmuUndo {
    bool valid = false;
    size_t index = 0;
    uint8_t value = 0;
    bool mode = false;
  } m_amuUndo;
  bool m_laserPulse = false;
  bool m_testMode = false;
  uint64_t m_statusReads = 0;
};

}  // namespace sim

#endif

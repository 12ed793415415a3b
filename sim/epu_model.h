// The engraving processor board as the library sees it through its ports.
//
// Its status word is computed from state and virtual time, never stored:
//  - the drum turns with a period set on the test face; bit 4 is the index
//    pulse at the start of each turn, bit 7 an encoder with N pulses a turn,
//    bit 5 the pulse generator's output (the IpgModel's programmed rate);
//  - the start handshake (a low pulse of control bit 3 with bit 4 set)
//    offers bank 0 and opens the row slot (WRALLO_BIT);
//  - each bank change (high pulse of control bit 2) hands the row to the
//    engraver: it takes one drum turn, engraving is sequential, and the bank
//    now offered becomes free when the row before was engraved. Turn-off is
//    blocked while a row is engraved; ENVORSCH_BIT is set for a short while
//    after each bank change; WRPL1_BIT shows the offered bank;
//  - the command word 0x0202 makes the code input busy (bits 12 and 0) for
//    a few microseconds.
// Fault faces and read scripts override single bits for test cases.
//
// It records as violations what the board would not accept: a row selected
// before the start handshake, without the command word or while the slot is
// closed; row code while the code input is busy or without a bank; a bank
// change of a row that lacks its code, row-done pulse, divider or offset,
// or whose row registers changed (while the board was busy) less than two
// index pulses before; row registers written while ENVORSCH_BIT is set;
// index 9 without index 13's guard value; and a host stepper move while
// ENVORSCH_BIT is set or while the board advances the stepper itself.
#ifndef CARDN5_SIM_EPU_MODEL_H
#define CARDN5_SIM_EPU_MODEL_H

#include <stdint.h>

#include <deque>
#include <functional>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

#include "epu_regs.h"
#include "machine.h"

namespace sim {

class IpgModel;

// One row the board took: its code and the row registers at its bank change.
struct EpuRow {
  int bank = 0;         // bank selected for the write (control bit 0 or 1 pulse)
  int offeredBank = 0;  // bank the board offered at that time
  bool hasCode = false;
  int32_t kind = 0;  // HWIO_CODE_PX or HWIO_CODE_LL
  uint32_t arg1 = 0, arg2 = 0;
  uint16_t startPos = 0, shift = 0, rowLength = 0, reg9B00 = 0, regB700 = 0;
  uint16_t advanceDivider = 0, bankOffset = 0;
  uint64_t bankChangeNs = 0;
};

class EpuModel : public Board {
 public:
  EpuModel();

  bool Read(uint16_t port, uint32_t flags, uint16_t& value) override;
  void Write(uint16_t port, uint16_t value, uint32_t flags) override;
  bool WriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, int32_t& result) override;
  bool OnBus(uint16_t port) const override;
  // 0xA300-0xBF00 are the MBU's ports too: a machine holds one of the two.
  bool ExclusivePorts(uint16_t& first, uint16_t& last) const override {
    first = epu::kStartPosPort;
    last = epu::kEcoDutyCyclePort;
    return true;
  }

  // ---- Test face: the drum and the signals ----
  void set_index_period_ns(uint64_t ns);  // one drum turn (default 1 ms)
  void set_drum_speed_rpm(double rpm);
  void set_index_high_ns(uint64_t ns);  // default 50 us
  void set_engrave_ns(uint64_t ns);     // 0 (default): one drum turn
  void set_envorsch_ns(uint64_t ns);    // default 20 us
  void set_encoder_pulses_per_turn(uint32_t n);
  void set_pll_locked(bool locked);
  void set_finp(uint16_t word);
  void set_finp_bit(int bit, bool on);
  // Each listener is called with every new output word, in the order they
  // were added: the head, optics and other mechanics hang on its lines.
  void on_ok_output(std::function<void(uint16_t before, uint16_t after)> fn);
  // Each source may change the FINP word a read returns (its own bits only),
  // computed at the read from its model's state: sensors of the mechanics.
  void add_finp_source(std::function<uint16_t(uint16_t finp)> fn);

  // ---- Test face: faults ----
  void set_wrong_bank(bool on);        // the board offers the other bank than the pulses say
  void set_wrpl1_never_set(bool on);   // WRPL1_BIT always 0
  void set_wrallo_never_set(bool on);  // the row slot never opens
  // The next status reads through HWIO_Hin show these values of one bit, in
  // order, whatever the state says (the direct reads are not scripted).
  void ScriptBit(epu::Status bit, const std::vector<bool>& values);
  void ScriptBitFor(epu::Status bit, bool value, size_t reads);

  // ---- Test face: the host's stepper, driven by its SmMove function ----
  void HostMove();

  // ---- Test face: what the board saw ----
  uint64_t index_period_ns() const;
  std::vector<EpuRow> rows() const;
  size_t rows_in_bank(int bank) const;
  int offered_bank() const;
  bool started() const;
  uint16_t control() const;
  bool error_led() const;
  uint16_t ok_output() const;
  uint16_t reg(uint16_t port) const;  // last value written to a port of the board
  uint16_t indexed(uint16_t index) const;
  std::vector<uint16_t> eco_words() const;
  uint32_t steps() const;
  uint32_t bank_changes() const;
  uint64_t engraving_until_ns() const;
  uint64_t status_reads() const;  // through HWIO_Hin
  uint16_t StatusNow() const;     // the word a read would see now, unscripted

 private:
  uint16_t StatusAt(uint64_t now) const;
  // The status word at now, kept by the machine for plain reads until its
  // next possible change (not while scripted values wait).
  uint16_t StatusComputed(uint64_t now);
  uint64_t NextStatusEdge(uint64_t now) const;
  // Every change of state the status word depends on calls this.
  void ForgetStatus() { ForgetKeptRead(); }
  // A setting the status word depends on, changed from the test face.
  template <typename T>
  void SetStatusInput(T& field, typename std::common_type<T>::type value) {
    std::lock_guard<BusLock> lock(m_machine->mutex());
    ForgetStatus();
    field = value;
  }
  uint64_t PhaseAt(uint64_t now) const;
  int OfferedBankLocked() const;
  void ControlWrite(uint16_t value, uint32_t flags, uint64_t now);
  void SelectBank(int bank, uint16_t value, uint64_t now);
  void BankChange(uint64_t now);
  void CheckRowComplete(uint64_t now);
  void RowRegisterWritten(uint16_t port, uint64_t now);
  void IndexedWrite(uint16_t value);
  uint64_t IndexFallsUpTo(uint64_t t) const;
  void FindIpg();

  // Drum and timing
  uint64_t m_indexPeriodNs = 1000000;
  mutable uint64_t m_turnPeriodNs = 0, m_turnStartNs = 0;  // the turn PhaseAt last found
  uint64_t m_indexHighNs = 50000;
  uint64_t m_engraveNs = 0;
  uint64_t m_envorschNs = 20000;
  uint64_t m_codeBusyNs = 3000;
  uint32_t m_encoderPerTurn = 0;
  bool m_pllLocked = true;
  IpgModel* m_ipg = nullptr;
  bool m_ipgLookedUp = false;

  // Faults and scripts
  bool m_wrongBank = false;
  bool m_wrpl1NeverSet = false;
  bool m_wralloNeverSet = false;
  std::map<int, std::deque<bool>> m_scripts;  // a bit's values still to come; none left: no entry

  // Board state
  bool m_started = false;
  int m_offeredBank = 0;
  uint16_t m_control = 0;
  uint64_t m_slotFreeNs = 0;
  uint64_t m_engravingUntilNs = 0;
  uint64_t m_envorschUntilNs = 0;
  uint64_t m_codeBusyUntilNs = 0;
  uint32_t m_bankChanges = 0;
  bool m_pendingRow = false;
  EpuRow m_pending;
  // What the pending row got since its bank was selected.
  bool m_rowClosed = false, m_dividerWritten = false, m_offsetWritten = false;
  bool m_commandSinceRow = false;
  // Row registers changed while the board was busy, and when.
  bool m_rowRegsUnsettled = false;
  uint64_t m_rowRegsChangedNs = 0;
  std::vector<EpuRow> m_rows;
  uint16_t m_memCounter[2] = {0, 0};
  std::map<uint16_t, uint16_t> m_regs;
  uint16_t m_selectedIndex = 0;
  std::map<uint16_t, uint16_t> m_indexed;
  std::vector<std::pair<uint16_t, uint16_t>> m_indexedWrites;
  std::vector<uint16_t> m_ecoWords;
  uint32_t m_steps = 0;
  uint16_t m_okOutput = 0;
  uint16_t m_finp = 0;
  std::vector<std::function<void(uint16_t, uint16_t)>> m_onOkOutput;
  std::vector<std::function<uint16_t(uint16_t)>> m_finpSources;
  uint64_t m_statusReads = 0;
};

}  // namespace sim

#endif

// A simulated machine behind the port-I/O stand-in. It has two faces:
//  - the bus face the library sees (port reads and writes, row-code calls,
//    scan rows, interrupt hold-off, delays), reached only through the hwio32
//    and timing32 stand-ins once Attach() has run;
//  - the test face a test or host uses to script it: inputs, board models,
//    faults, the trace and the virtual clock.
// Virtual time: each port access costs kPortAccessNs, each delay its length,
// so long handshakes and time-outs cost microseconds of real time.
#ifndef CARDN5_SIM_MACHINE_H
#define CARDN5_SIM_MACHINE_H

#include <stdint.h>

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeindex>
#include <vector>

#include "bus_lock.h"
#include "trace.h"

namespace sim {

class Machine;
struct BusHooks;

// A board's model. Models see only non-emulated accesses and answer the
// ports they own; a port nobody answers reads as the machine's input latch.
// Every call is made with the machine's lock held.
class Board {
 public:
  virtual ~Board() = default;
  // The ports whose reads this model may answer and whose writes it wants
  // to see (its own and any it watches). Asked once per port when the model
  // is added; the machine then calls Read and Write only for these. The
  // default, every port, suits a model that filters ports itself.
  virtual bool OnBus(uint16_t port) const {
    (void)port;
    return true;
  }
  // Return true when the model answered the read.
  virtual bool Read(uint16_t port, uint32_t flags, uint16_t& value) {
    (void)port, (void)flags, (void)value;
    return false;
  }
  virtual void Write(uint16_t port, uint16_t value, uint32_t flags) { (void)port, (void)value, (void)flags; }
  // Return true when the model took the row code; result is the call's result.
  virtual bool WriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, int32_t& result) {
    (void)kind, (void)arg1, (void)arg2, (void)result;
    return false;
  }
  virtual bool PollVorschub(const uint32_t* args, int32_t& result) {
    (void)args, (void)result;
    return false;
  }
  virtual void Interrupts(bool enabled) { (void)enabled; }
  // A block transfer of the library's direct-port layer, at the time it
  // starts. Return true when the model took all words at once; otherwise
  // they reach Write (or Read) one by one.
  virtual bool WriteBlock(uint16_t port, const uint16_t* data, uint32_t count, uint32_t flags) {
    (void)port, (void)data, (void)count, (void)flags;
    return false;
  }
  virtual bool ReadBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t flags) {
    (void)port, (void)data, (void)count, (void)flags;
    return false;
  }
  // Ports this model answers that another board's model answers too (boards
  // whose port numbers overlap): a machine holds one such model at a time.
  virtual bool ExclusivePorts(uint16_t& first, uint16_t& last) const {
    (void)first, (void)last;
    return false;
  }
  // Virtual time moved on to nowNs (after an access or a delay). A model
  // without state on the clock leaves this alone; the first call tells the
  // machine so, and it calls no more (an override must not call this one).
  virtual void Advance(uint64_t nowNs) {
    (void)nowNs;
    m_offClock = true;
  }

 protected:
  friend class Machine;
  struct BusHooks;
  // A protocol violation the real board would not accept or would mishandle
  // (printf-style text). Recorded with the virtual time; the test fixtures
  // fail every test that leaves one.
  void Violation(const char* fmt, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;
  // The virtual time, for the bus face (the machine's lock is held there).
  inline uint64_t BusNowNs() const;
  // A value the machine gives plain reads of a port (no flags) without
  // asking the board, from fromNs for spanNs of virtual time, counting each
  // in *reads: a status word between two of its edges, which a polling loop
  // reads a thousand times. One board at a time keeps a read; with the lock.
  inline void KeepRead(uint16_t port, uint16_t value, uint64_t fromNs, uint64_t spanNs, uint64_t* reads);
  // Whatever the kept value depends on changed.
  inline void ForgetKeptRead();
  Machine* m_machine = nullptr;

 private:
  bool m_offClock = false;
};

class Machine {
 public:
  static constexpr uint64_t kPortAccessNs = 1000;  // one ISA bus cycle, rounded
  static constexpr uint64_t kDefaultTimeLimitNs = 3600ull * 1000000000ull;

  Machine();
  ~Machine();
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  // Become the port-I/O stand-in's device and the timing stand-in's clock.
  // At most one machine is attached at a time.
  void Attach();
  void Detach();
  bool attached() const { return m_attached; }

  // ---- Test face ----
  template <typename T, typename... Args>
  T& Add(Args&&... args) {
    auto model = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *model;
    std::lock_guard<BusLock> lock(m_mutex);
    CheckExclusivePorts(*model);
    model->m_machine = this;
    m_boardsByType[std::type_index(typeid(T))] = model.get();
    AddToDispatch(*model);
    m_boards.push_back(std::move(model));
    return ref;
  }
  template <typename T>
  T& board() {
    std::lock_guard<BusLock> lock(m_mutex);
    return *static_cast<T*>(m_boardsByType.at(std::type_index(typeid(T))));
  }

  // What an unmodelled port reads: the latch (default 0xFFFF, a floating
  // bus), unless values were queued for it, which are read first, in order.
  void SetInput(uint16_t port, uint16_t value);
  void QueueReads(uint16_t port, const std::vector<uint16_t>& values);
  // The last value written to a port (0 if never written).
  uint16_t LastWritten(uint16_t port) const;

  uint64_t NowNs() const;
  void AdvanceNs(uint64_t ns);
  // A run-away wait in the library (most have no time-out) ends the test
  // with the trace's tail instead of hanging it.
  void SetTimeLimitNs(uint64_t ns);

  // Protocol violations the models saw, oldest first ("12.000us: text").
  std::vector<std::string> Violations() const;
  // Whether a violation seen so far contains text.
  bool HasViolation(const std::string& text) const;
  void ClearViolations();
  void AddViolation(const std::string& text);

  Trace& trace() { return m_trace; }
  std::string TraceText(size_t maxLines = 200) const;
  // The machine's lock, for models' test faces (see bus_lock.h).
  BusLock& mutex() { return m_mutex; }
  // Boards whose Read and Write the machine calls for a port, in the order
  // they were added.
  const std::vector<Board*>& BoardsOnPort(uint16_t port) const { return m_portLists[m_portList[port]]; }

 private:
  // ---- Bus face: only the stand-ins' device hooks reach it ----
  friend struct BusHooks;
  uint16_t BusIn(uint16_t port, uint32_t flags);
  void BusOut(uint16_t port, uint16_t value, uint32_t flags);
  int32_t BusWriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, uint32_t flags);
  int32_t BusPollVorschub(const uint32_t* args, uint32_t flags);
  void BusInterrupts(bool enabled, uint32_t flags);
  void BusDelayUs(uint64_t us);
  // One trace entry a block; the clock moves on by one bus cycle a word.
  void BusInBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t flags);
  void BusOutBlock(uint16_t port, const uint16_t* data, uint32_t count, uint32_t flags);

  void CheckExclusivePorts(const Board& model) const;
  void AddToDispatch(Board& model);
  uint16_t ReadLocked(uint16_t port, uint32_t flags) {
    uint16_t value = 0;
    if (Board* b = m_soleBoard[port]) return b->Read(port, flags, value) ? value : ReadUnclaimed(port);
    for (Board* b : BoardsOnPort(port))
      if (b->Read(port, flags, value)) return value;
    return ReadUnclaimed(port);
  }
  uint16_t ReadUnclaimed(uint16_t port);
  // Whether a board's kept value answers this read (see Board::KeepRead).
  bool ReadIsKept(uint16_t port, uint32_t flags) const {
    return port == m_kept.port && flags == 0 && m_nowNs - m_kept.fromNs < m_kept.spanNs;
  }
  uint16_t KeptValue() {
    ++*m_kept.reads;
    return m_kept.value;
  }
  void WriteLocked(uint16_t port, uint16_t value, uint32_t flags);
  void AdvanceLocked(uint64_t ns) {
    m_nowNs += ns;
    if (!m_clocked.empty()) AdvanceClocked();
    if (m_nowNs > m_limitNs) TimeLimitPassed();
  }
  // Out of line: most machines soon have no board on the clock, and the
  // loop would otherwise weigh on every access's registers.
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  void
  AdvanceClocked();
  [[noreturn]] void TimeLimitPassed() const;
  void Record(TraceEntry e);

  friend class Board;
  static constexpr size_t kPorts = 0x10000;

  mutable BusLock m_mutex;
  bool m_attached = false;
  uint64_t m_nowNs = 0;
  uint64_t m_limitNs = kDefaultTimeLimitNs;
  Trace m_trace;
  std::vector<std::unique_ptr<Board>> m_boards;
  std::vector<Board*> m_clocked;  // boards whose Advance does something
  std::map<std::type_index, Board*> m_boardsByType;
  // Port to board dispatch without a search: for each port the index of its
  // list of boards (a few distinct lists serve all 65536 ports).
  std::vector<uint16_t> m_portList = std::vector<uint16_t>(kPorts, 0);
  std::vector<std::vector<Board*>> m_portLists = std::vector<std::vector<Board*>>(1);
  // The board of a port that has exactly one (most have): one load, no list.
  std::vector<Board*> m_soleBoard = std::vector<Board*>(kPorts, nullptr);
  std::vector<uint16_t> m_inputs = std::vector<uint16_t>(kPorts, 0xFFFF);
  std::map<uint16_t, std::deque<uint16_t>> m_queued;
  std::vector<uint16_t> m_lastWritten = std::vector<uint16_t>(kPorts, 0);
  std::vector<std::string> m_violations;
  struct KeptRead {
    const Board* board = nullptr;
    uint16_t port = 0;
    uint16_t value = 0;
    uint64_t fromNs = 0;
    uint64_t spanNs = 0;  // 0: nothing kept
    uint64_t* reads = nullptr;
  } m_kept;
};

uint64_t Board::BusNowNs() const { return m_machine ? m_machine->m_nowNs : 0; }

void Board::KeepRead(uint16_t port, uint16_t value, uint64_t fromNs, uint64_t spanNs, uint64_t* reads) {
  if (m_machine) m_machine->m_kept = Machine::KeptRead{this, port, value, fromNs, spanNs, reads};
}

void Board::ForgetKeptRead() {
  if (m_machine && m_machine->m_kept.board == this) m_machine->m_kept.spanNs = 0;
}

}  // namespace sim

#endif

// The port trace of a simulated machine: every access the library made, in
// order, with its virtual time. Repeated identical reads (a polling loop)
// fold into one entry with a count, so a wait of 30,000 polls stays small.
#ifndef CARDN5_SIM_TRACE_H
#define CARDN5_SIM_TRACE_H

#include <stdint.h>

#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sim {

enum class Access : uint8_t {
  In,            // HWIO_Hin
  Out,           // HWIO_Hout, also each write of a pulse
  DirectIn,      // the library's own port instruction
  DirectOut,     // the library's own block output
  Code,          // HWIO_WritePXCode / HWIO_WriteLLCode: arg1, arg2; port = kind
  PollVorschub,  // HWIO_PollVorschub: arg1 = first argument
  Interrupts,    // value 0: held off, 1: allowed again
  Delay,         // a TIMING_* pause or Sleep: arg1 = microseconds
  BlockIn,       // the library's block input: arg1 = words, value = the first
  BlockOut,      // the library's block output: arg1 = words, value = the first
};

struct TraceEntry {
  uint64_t timeNs = 0;
  Access kind = Access::In;
  uint16_t port = 0;
  uint16_t value = 0;
  uint32_t flags = 0;  // HWIO_ACC_* as the port-I/O stand-in passed them
  uint32_t arg1 = 0;
  uint32_t arg2 = 0;
  uint32_t repeat = 1;  // identical consecutive reads folded into this one

  bool emulated() const;
  bool IsWrite() const { return kind == Access::Out || kind == Access::DirectOut; }
  bool IsRead() const { return kind == Access::In || kind == Access::DirectIn; }
};

// A stretch of the trace (from a mark to its end, or all of it) and the
// questions tests ask of it. Valid until the trace changes.
class TraceView {
 public:
  TraceView(const TraceEntry* begin, const TraceEntry* end) : m_begin(begin), m_end(end) {}
  const TraceEntry* begin() const { return m_begin; }
  const TraceEntry* end() const { return m_end; }
  size_t size() const { return static_cast<size_t>(m_end - m_begin); }
  const TraceEntry& operator[](size_t i) const { return m_begin[i]; }

  // Values written to a port, in order (pulse writes included).
  std::vector<uint16_t> Writes(uint16_t port) const;
  // Every write as (port, value), in order.
  std::vector<std::pair<uint16_t, uint16_t>> AllWrites() const;
  size_t WriteCount() const;
  // When the last write began (0 without one).
  uint64_t LastWriteNs() const;
  // Reads of a port, counting folded repeats.
  uint64_t ReadCount(uint16_t port) const;
  // Values read from a port, folded repeats unfolded (kind In or DirectIn).
  std::vector<uint16_t> Reads(uint16_t port, Access kind = Access::In) const;
  // How often interrupts were held off.
  size_t HoldOffs() const;
  // Whether the stretch is nothing but the processor's own reads with
  // interrupts held off around them: each hold-off released before the next,
  // and interrupts allowed again at the end.
  bool OnlyDirectReadsInterruptsRestored() const;
  // The stretch up to (not including) the first write.
  TraceView UntilFirstWrite() const;
  // Up to the first write of `value` (to any port); the whole view when none.
  TraceView UntilWriteOf(uint16_t value) const;
  // Pauses in microseconds, in order; how many lasted exactly us.
  std::vector<uint32_t> Delays() const;
  size_t CountDelays(uint32_t us) const;
  // The pauses together, in microseconds.
  uint64_t TotalDelayUs() const;
  // How many entries of a kind (folded repeats count once).
  size_t Count(Access kind) const;
  // How many port accesses (entries other than pauses) were emulated, or not.
  size_t Accesses(bool emulated) const;
  // Words moved by block transfers of a kind (BlockIn, BlockOut) on a port.
  uint64_t BlockWords(Access kind, uint16_t port) const;
  // Writes and pauses in their order, as text: "C700<-0005", "10us". For
  // sequences whose pauses are part of the contract.
  std::vector<std::string> WritesAndDelays() const;

 private:
  const TraceEntry* m_begin;
  const TraceEntry* m_end;
};

class Trace {
 public:
  Trace() = default;
  ~Trace() { std::free(m_entries); }
  Trace(const Trace&) = delete;  // it points into its own entries
  Trace& operator=(const Trace&) = delete;
  // Inline: a port access appends or folds one entry, millions of times a
  // job. Amortized constant time, no allocation but the buffer's growth.
  void Add(const TraceEntry& e) {
    if (!m_enabled || (e.IsRead() && Folds(e.kind, e.port, e.value, e.flags))) return;
    Append(e);
  }
  // A read (In or DirectIn), passed as values: the polling loop's path.
  void AddRead(Access kind, uint16_t port, uint16_t value, uint32_t flags, uint64_t timeNs) {
    if (!m_enabled || Folds(kind, port, value, flags)) return;
    TraceEntry e;
    e.timeNs = timeNs;
    e.kind = kind;
    e.port = port;
    e.value = value;
    e.flags = flags;
    Append(e);
  }
  void Clear();
  void SetEnabled(bool on) { m_enabled = on; }
  bool enabled() const { return m_enabled; }

  size_t size() const { return m_size; }

  // A mark is the trace's length now; Since(mark) is what came after it.
  // Reads after a mark never fold into an entry before it.
  size_t Mark() const {
    m_foldInto = nullptr;
    return m_size;
  }
  TraceView Since(size_t mark) const;
  TraceView Between(size_t fromMark, size_t toMark) const;
  TraceView All() const { return Since(0); }

  std::vector<uint16_t> Writes(uint16_t port) const { return All().Writes(port); }
  std::vector<std::pair<uint16_t, uint16_t>> AllWrites() const { return All().AllWrites(); }
  uint64_t ReadCount(uint16_t port) const { return All().ReadCount(port); }
  std::vector<uint32_t> Delays() const { return All().Delays(); }
  size_t CountDelays(uint32_t us) const { return All().CountDelays(us); }

  // One line an entry: "    1.000us  out  8700 <- 0x0004  [lowpuls bit 2]".
  std::string ToString(size_t maxLines = 0) const;
  // Value change dump of every port written or read, 1 ns time scale.
  std::string ToVcd() const;
  bool WriteVcd(const std::string& path) const;

 private:
  // A read the same as the entry before it (and after the last mark) only
  // counts that entry up. Compared field by field from the values: an
  // entry just built in memory and compared as one word stalls the load.
  bool Folds(Access kind, uint16_t port, uint16_t value, uint32_t flags) {
    TraceEntry* last = m_foldInto;
    if (!last || last->kind != kind || last->port != port || last->value != value || last->flags != flags) return false;
    ++last->repeat;
    return true;
  }
  void Append(const TraceEntry& e) {
    if (m_size == m_capacity) Grow();
    m_foldInto = m_entries + m_size++;
    *m_foldInto = e;
  }
  // Entries are plain bytes, so the buffer grows by realloc: a large one is
  // moved by remapping its pages, not by copying a job's worth of entries.
  void Grow();

  static_assert(std::is_trivially_copyable<TraceEntry>::value, "the trace moves entries as bytes");
  TraceEntry* m_entries = nullptr;
  size_t m_size = 0;
  size_t m_capacity = 0;
  // The last entry while a read may still fold into it (none right after a
  // mark): one load instead of the length against the mark.
  mutable TraceEntry* m_foldInto = nullptr;
  bool m_enabled = true;
};

std::string FormatEntry(const TraceEntry& e);

}  // namespace sim

#endif

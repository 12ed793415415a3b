#include "machine.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "hwio32_ext.h"
#include "timing32_ext.h"

namespace sim {

namespace {

Machine* g_attached = nullptr;

}  // namespace

// The stand-ins' device hooks: the only way onto the bus face.
struct BusHooks {
  static Machine* M(void* ctx) { return static_cast<Machine*>(ctx); }
  static uint16_t CARDN5_CDECL In(void* ctx, uint16_t port, uint32_t flags) { return M(ctx)->BusIn(port, flags); }
  static void CARDN5_CDECL Out(void* ctx, uint16_t port, uint16_t value, uint32_t flags) {
    M(ctx)->BusOut(port, value, flags);
  }
  static int32_t CARDN5_CDECL WriteCode(void* ctx, int32_t kind, uint32_t a1, uint32_t a2, uint32_t flags) {
    return M(ctx)->BusWriteCode(kind, a1, a2, flags);
  }
  static int32_t CARDN5_CDECL Poll(void* ctx, const uint32_t* args, uint32_t flags) {
    return M(ctx)->BusPollVorschub(args, flags);
  }
  static void CARDN5_CDECL Interrupts(void* ctx, int32_t enabled, uint32_t flags) {
    M(ctx)->BusInterrupts(enabled != 0, flags);
  }
  static void CARDN5_CDECL InBlock(void* ctx, uint16_t port, uint16_t* data, uint32_t count, uint32_t flags) {
    M(ctx)->BusInBlock(port, data, count, flags);
  }
  static void CARDN5_CDECL OutBlock(void* ctx, uint16_t port, const uint16_t* data, uint32_t count, uint32_t flags) {
    M(ctx)->BusOutBlock(port, data, count, flags);
  }
  static void CARDN5_CDECL Clock(void* ctx, uint64_t us) { M(ctx)->BusDelayUs(us); }
};

Machine::Machine() = default;

Machine::~Machine() { Detach(); }

void Machine::Attach() {
  if (m_attached) return;
  if (g_attached) g_attached->Detach();
  HWIO_DEVICE dev{};
  dev.pCtx = this;
  dev.pfnIn = BusHooks::In;
  dev.pfnOut = BusHooks::Out;
  dev.pfnWriteCode = BusHooks::WriteCode;
  dev.pfnPollVorschub = BusHooks::Poll;
  dev.pfnInterrupts = BusHooks::Interrupts;
  dev.pfnInBlock = BusHooks::InBlock;
  dev.pfnOutBlock = BusHooks::OutBlock;
  HWIOX_AttachDeviceEx(&dev, sizeof dev);
  TIMINGX_SetVirtualClock(BusHooks::Clock, this);
  m_attached = true;
  g_attached = this;
}

void Machine::Detach() {
  if (!m_attached) return;
  HWIOX_AttachDevice(nullptr);
  TIMINGX_SetVirtualClock(nullptr, nullptr);
  m_attached = false;
  if (g_attached == this) g_attached = nullptr;
}

void Board::Violation(const char* fmt, ...) {
  char text[256];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  if (m_machine) m_machine->AddViolation(text);
}

void Machine::AddViolation(const std::string& text) {
  BusLock::Guard lock(m_mutex);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.3fus: ", static_cast<double>(m_nowNs) / 1000.0);
  m_violations.push_back(stamp + text);
}

std::vector<std::string> Machine::Violations() const {
  BusLock::Guard lock(m_mutex);
  return m_violations;
}

bool Machine::HasViolation(const std::string& text) const {
  BusLock::Guard lock(m_mutex);
  return std::any_of(m_violations.begin(), m_violations.end(),
                     [&text](const std::string& v) { return v.find(text) != std::string::npos; });
}

void Machine::ClearViolations() {
  BusLock::Guard lock(m_mutex);
  m_violations.clear();
}

void Machine::SetInput(uint16_t port, uint16_t value) {
  BusLock::Guard lock(m_mutex);
  m_inputs[port] = value;
}

void Machine::QueueReads(uint16_t port, const std::vector<uint16_t>& values) {
  BusLock::Guard lock(m_mutex);
  auto& q = m_queued[port];
  q.insert(q.end(), values.begin(), values.end());
}

uint16_t Machine::LastWritten(uint16_t port) const {
  BusLock::Guard lock(m_mutex);
  return m_lastWritten[port];
}

uint64_t Machine::NowNs() const {
  BusLock::Guard lock(m_mutex);
  return m_nowNs;
}

void Machine::AdvanceNs(uint64_t ns) {
  BusLock::Guard lock(m_mutex);
  AdvanceLocked(ns);
}

void Machine::SetTimeLimitNs(uint64_t ns) {
  BusLock::Guard lock(m_mutex);
  m_limitNs = ns;
}

std::string Machine::TraceText(size_t maxLines) const {
  BusLock::Guard lock(m_mutex);
  return m_trace.ToString(maxLines);
}

void Machine::TimeLimitPassed() const {
  std::fprintf(stderr,
               "sim: virtual time passed its limit (%.3f s): the library waits for something the machine never "
               "does.\nLast accesses:\n%s",
               static_cast<double>(m_limitNs) / 1e9, m_trace.ToString(40).c_str());
  std::abort();
}

void Machine::Record(TraceEntry e) {
  e.timeNs = m_nowNs;
  m_trace.Add(e);
}

void Machine::CheckExclusivePorts(const Board& model) const {
  uint16_t first = 0, last = 0;
  if (!model.ExclusivePorts(first, last)) return;
  for (const auto& b : m_boards) {
    uint16_t otherFirst = 0, otherLast = 0;
    if (b->ExclusivePorts(otherFirst, otherLast) && first <= otherLast && otherFirst <= last) {
      std::fprintf(stderr,
                   "sim: two board models answer ports %04X-%04X; a machine holds one of them (use a machine per "
                   "board)\n",
                   first > otherFirst ? first : otherFirst, last < otherLast ? last : otherLast);
      std::abort();
    }
  }
}

// A new board joins the list of every port it is on. The lists stay in the
// order boards were added, which decides who answers a read first.
void Machine::AddToDispatch(Board& model) {
  // old list index -> new list index, for the ports the board joins
  std::vector<uint16_t> joined(m_portLists.size(), 0);
  for (size_t port = 0; port < kPorts; ++port) {
    if (!model.OnBus(static_cast<uint16_t>(port))) continue;
    uint16_t& list = m_portList[port];
    if (joined[list] == 0) {
      if (m_portLists.size() > UINT16_MAX) {
        std::fprintf(stderr, "sim: too many boards with different ports on one machine\n");
        std::abort();
      }
      std::vector<Board*> boards = m_portLists[list];
      boards.push_back(&model);
      joined[list] = static_cast<uint16_t>(m_portLists.size());
      m_portLists.push_back(std::move(boards));
    }
    list = joined[list];
    const std::vector<Board*>& boards = m_portLists[list];
    m_soleBoard[port] = boards.size() == 1 ? boards.front() : nullptr;
  }
  m_clocked.push_back(&model);
}

void Machine::AdvanceClocked() {
  for (size_t i = 0; i < m_clocked.size();) {
    Board* b = m_clocked[i];
    b->Advance(m_nowNs);
    if (b->m_offClock)
      m_clocked.erase(m_clocked.begin() + static_cast<std::ptrdiff_t>(i));
    else
      ++i;
  }
}

uint16_t Machine::ReadUnclaimed(uint16_t port) {
  if (!m_queued.empty()) {
    auto q = m_queued.find(port);
    if (q != m_queued.end() && !q->second.empty()) {
      const uint16_t value = q->second.front();
      q->second.pop_front();
      return value;
    }
  }
  return m_inputs[port];
}

void Machine::WriteLocked(uint16_t port, uint16_t value, uint32_t flags) {
  if (Board* b = m_soleBoard[port]) {
    b->Write(port, value, flags);
    return;
  }
  for (Board* b : BoardsOnPort(port)) b->Write(port, value, flags);
}

uint16_t Machine::BusIn(uint16_t port, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  uint16_t value = 0;
  // Stamped when the access starts, like a write; the value is what the
  // board shows once the bus cycle is over.
  const uint64_t startNs = m_nowNs;
  if (!(flags & HWIO_ACC_EMULATED)) {
    AdvanceLocked(kPortAccessNs);
    value = ReadIsKept(port, flags) ? KeptValue() : ReadLocked(port, flags);
  }
  m_trace.AddRead((flags & HWIO_ACC_DIRECT) ? Access::DirectIn : Access::In, port, value, flags, startNs);
  return value;
}

void Machine::BusOut(uint16_t port, uint16_t value, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = (flags & HWIO_ACC_DIRECT) ? Access::DirectOut : Access::Out;
  e.port = port;
  e.value = value;
  e.flags = flags;
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return;
  m_lastWritten[port] = value;
  WriteLocked(port, value, flags);
  AdvanceLocked(kPortAccessNs);
}

int32_t Machine::BusWriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::Code;
  e.port = static_cast<uint16_t>(kind);
  e.flags = flags;
  e.arg1 = arg1;
  e.arg2 = arg2;
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return 1;
  int32_t result = 1;
  for (auto& b : m_boards)
    if (b->WriteCode(kind, arg1, arg2, result)) break;
  return result;
}

int32_t Machine::BusPollVorschub(const uint32_t* args, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::PollVorschub;
  e.flags = flags;
  e.arg1 = args[0];
  e.arg2 = args[1];
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return 1;
  int32_t result = 1;
  for (auto& b : m_boards)
    if (b->PollVorschub(args, result)) break;
  return result;
}

void Machine::BusInterrupts(bool enabled, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::Interrupts;
  e.value = enabled ? 1 : 0;
  e.flags = flags;
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return;
  for (auto& b : m_boards) b->Interrupts(enabled);
}

void Machine::BusDelayUs(uint64_t us) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::Delay;
  e.arg1 = static_cast<uint32_t>(us);
  Record(e);
  AdvanceLocked(us * 1000u);
}

void Machine::BusInBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::BlockIn;
  e.port = port;
  e.flags = flags;
  e.arg1 = count;
  e.timeNs = m_nowNs;
  if (!(flags & HWIO_ACC_EMULATED) && count != 0) {
    bool taken = false;
    for (Board* b : BoardsOnPort(port))
      if (b->ReadBlock(port, data, count, flags)) {
        taken = true;
        break;
      }
    if (taken) {
      AdvanceLocked(count * kPortAccessNs);
    } else {
      for (uint32_t i = 0; i < count; ++i) {
        AdvanceLocked(kPortAccessNs);
        data[i] = ReadLocked(port, flags);
      }
    }
    e.value = data[0];
  }
  m_trace.Add(e);
}

void Machine::BusOutBlock(uint16_t port, const uint16_t* data, uint32_t count, uint32_t flags) {
  BusLock::Guard lock(m_mutex);
  TraceEntry e;
  e.kind = Access::BlockOut;
  e.port = port;
  e.value = count != 0 ? data[0] : 0;
  e.flags = flags;
  e.arg1 = count;
  Record(e);
  if ((flags & HWIO_ACC_EMULATED) || count == 0) return;
  m_lastWritten[port] = data[count - 1];
  for (Board* b : BoardsOnPort(port))
    if (!b->WriteBlock(port, data, count, flags))
      for (uint32_t i = 0; i < count; ++i) b->Write(port, data[i], flags);
  AdvanceLocked(count * kPortAccessNs);
}

}  // namespace sim

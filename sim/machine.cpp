#include "machine.h"

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
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%.3fus: ", static_cast<double>(m_nowNs) / 1000.0);
  m_violations.push_back(stamp + text);
}

std::vector<std::string> Machine::Violations() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_violations;
}

bool Machine::HasViolation(const std::string& text) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  for (const std::string& v : m_violations)
    if (v.find(text) != std::string::npos) return true;
  return false;
}

void Machine::ClearViolations() {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_violations.clear();
}

void Machine::SetInput(uint16_t port, uint16_t value) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_inputs[port] = value;
}

void Machine::QueueReads(uint16_t port, const std::vector<uint16_t>& values) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto& q = m_queued[port];
  q.insert(q.end(), values.begin(), values.end());
}

uint16_t Machine::LastWritten(uint16_t port) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  auto it = m_lastWritten.find(port);
  return it == m_lastWritten.end() ? 0 : it->second;
}

uint64_t Machine::NowNs() const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_nowNs;
}

void Machine::AdvanceNs(uint64_t ns) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  AdvanceLocked(ns);
}

void Machine::SetTimeLimitNs(uint64_t ns) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  m_limitNs = ns;
}

std::string Machine::TraceText(size_t maxLines) const {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  return m_trace.ToString(maxLines);
}

void Machine::AdvanceLocked(uint64_t ns) {
  m_nowNs += ns;
  for (auto& b : m_boards) b->Advance(m_nowNs);
  if (m_nowNs > m_limitNs) {
    std::fprintf(stderr,
                 "sim: virtual time passed its limit (%.3f s): the library waits for something the machine never "
                 "does.\nLast accesses:\n%s",
                 static_cast<double>(m_limitNs) / 1e9, m_trace.ToString(40).c_str());
    std::abort();
  }
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

uint16_t Machine::ReadLocked(uint16_t port, uint32_t flags) {
  uint16_t value = 0;
  for (auto& b : m_boards)
    if (b->Read(port, flags, value)) return value;
  auto q = m_queued.find(port);
  if (q != m_queued.end() && !q->second.empty()) {
    value = q->second.front();
    q->second.pop_front();
    return value;
  }
  auto in = m_inputs.find(port);
  return in == m_inputs.end() ? 0xFFFF : in->second;
}

uint16_t Machine::BusIn(uint16_t port, uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  uint16_t value = 0;
  // Stamped when the access starts, like a write; the value is what the
  // board shows once the bus cycle is over.
  const uint64_t startNs = m_nowNs;
  if (!(flags & HWIO_ACC_EMULATED)) {
    AdvanceLocked(kPortAccessNs);
    value = ReadLocked(port, flags);
  }
  TraceEntry e;
  e.kind = (flags & HWIO_ACC_DIRECT) ? Access::DirectIn : Access::In;
  e.port = port;
  e.value = value;
  e.flags = flags;
  e.timeNs = startNs;
  m_trace.Add(e);
  return value;
}

void Machine::BusOut(uint16_t port, uint16_t value, uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  TraceEntry e;
  e.kind = (flags & HWIO_ACC_DIRECT) ? Access::DirectOut : Access::Out;
  e.port = port;
  e.value = value;
  e.flags = flags;
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return;
  m_lastWritten[port] = value;
  for (auto& b : m_boards) b->Write(port, value, flags);
  AdvanceLocked(kPortAccessNs);
}

int32_t Machine::BusWriteCode(int32_t kind, uint32_t arg1, uint32_t arg2, uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
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
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
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
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  TraceEntry e;
  e.kind = Access::Interrupts;
  e.value = enabled ? 1 : 0;
  e.flags = flags;
  Record(e);
  if (flags & HWIO_ACC_EMULATED) return;
  for (auto& b : m_boards) b->Interrupts(enabled);
}

void Machine::BusDelayUs(uint64_t us) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  TraceEntry e;
  e.kind = Access::Delay;
  e.arg1 = static_cast<uint32_t>(us);
  Record(e);
  AdvanceLocked(us * 1000u);
}

void Machine::BusInBlock(uint16_t port, uint16_t* data, uint32_t count, uint32_t flags) {
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  TraceEntry e;
  e.kind = Access::BlockIn;
  e.port = port;
  e.flags = flags;
  e.arg1 = count;
  e.timeNs = m_nowNs;
  if (!(flags & HWIO_ACC_EMULATED) && count != 0) {
    bool taken = false;
    for (auto& b : m_boards)
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
  std::lock_guard<std::recursive_mutex> lock(m_mutex);
  TraceEntry e;
  e.kind = Access::BlockOut;
  e.port = port;
  e.value = count != 0 ? data[0] : 0;
  e.flags = flags;
  e.arg1 = count;
  Record(e);
  if ((flags & HWIO_ACC_EMULATED) || count == 0) return;
  m_lastWritten[port] = data[count - 1];
  for (auto& b : m_boards)
    if (!b->WriteBlock(port, data, count, flags))
      for (uint32_t i = 0; i < count; ++i) b->Write(port, data[i], flags);
  AdvanceLocked(count * kPortAccessNs);
}

}  // namespace sim

#include "trace.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>

#include "hwio32_ext.h"

namespace sim {

bool TraceEntry::emulated() const { return (flags & HWIO_ACC_EMULATED) != 0; }

void Trace::Clear() {
  m_size = 0;
  m_foldInto = nullptr;
}

void Trace::Grow() {
  const size_t capacity = m_capacity ? 2 * m_capacity : 1024;
  void* grown = std::realloc(m_entries, capacity * sizeof(TraceEntry));
  if (!grown) {
    std::fprintf(stderr, "sim: no memory for %zu trace entries\n", capacity);
    std::abort();
  }
  m_entries = static_cast<TraceEntry*>(grown);
  m_capacity = capacity;
}

TraceView Trace::Since(size_t mark) const { return Between(mark, m_size); }

TraceView Trace::Between(size_t fromMark, size_t toMark) const {
  const TraceEntry* base = m_entries;
  const size_t to = toMark < m_size ? toMark : m_size;
  const size_t from = fromMark < to ? fromMark : to;
  return TraceView(base + from, base + to);
}

std::vector<uint16_t> TraceView::Writes(uint16_t port) const {
  std::vector<uint16_t> out;
  for (const TraceEntry& e : *this)
    if (e.IsWrite() && e.port == port) out.push_back(e.value);
  return out;
}

std::vector<std::pair<uint16_t, uint16_t>> TraceView::AllWrites() const {
  std::vector<std::pair<uint16_t, uint16_t>> out;
  for (const TraceEntry& e : *this)
    if (e.IsWrite()) out.emplace_back(e.port, e.value);
  return out;
}

size_t TraceView::WriteCount() const {
  size_t n = 0;
  for (const TraceEntry& e : *this) n += e.IsWrite() ? 1 : 0;
  return n;
}

uint64_t TraceView::LastWriteNs() const {
  uint64_t t = 0;
  for (const TraceEntry& e : *this)
    if (e.IsWrite()) t = e.timeNs;
  return t;
}

uint64_t TraceView::ReadCount(uint16_t port) const {
  uint64_t n = 0;
  for (const TraceEntry& e : *this)
    if (e.IsRead() && e.port == port) n += e.repeat;
  return n;
}

std::vector<uint16_t> TraceView::Reads(uint16_t port, Access kind) const {
  std::vector<uint16_t> out;
  for (const TraceEntry& e : *this)
    if (e.kind == kind && e.port == port) out.insert(out.end(), e.repeat, e.value);
  return out;
}

size_t TraceView::HoldOffs() const {
  size_t n = 0;
  for (const TraceEntry& e : *this) n += (e.kind == Access::Interrupts && e.value == 0) ? 1 : 0;
  return n;
}

size_t TraceView::Accesses(bool emulated) const {
  size_t n = 0;
  for (const TraceEntry& e : *this) n += (e.kind != Access::Delay && e.emulated() == emulated) ? 1 : 0;
  return n;
}

bool TraceView::OnlyDirectReadsInterruptsRestored() const {
  bool heldOff = false;
  for (const TraceEntry& e : *this) {
    if (e.kind == Access::Interrupts && (e.value == 0) != heldOff) {
      heldOff = !heldOff;
    } else if (e.kind != Access::DirectIn) {
      return false;
    }
  }
  return !heldOff;
}

TraceView TraceView::UntilFirstWrite() const {
  const TraceEntry* end = m_begin;
  while (end != m_end && !end->IsWrite()) ++end;
  return TraceView(m_begin, end);
}

TraceView TraceView::UntilWriteOf(uint16_t value) const {
  const TraceEntry* end = m_begin;
  while (end != m_end && !(end->IsWrite() && end->value == value)) ++end;
  return TraceView(m_begin, end);
}

std::vector<uint32_t> TraceView::Delays() const {
  std::vector<uint32_t> out;
  for (const TraceEntry& e : *this)
    if (e.kind == Access::Delay) out.push_back(e.arg1);
  return out;
}

size_t TraceView::CountDelays(uint32_t us) const {
  size_t n = 0;
  for (const TraceEntry& e : *this) n += (e.kind == Access::Delay && e.arg1 == us) ? 1 : 0;
  return n;
}

uint64_t TraceView::TotalDelayUs() const {
  uint64_t us = 0;
  for (const TraceEntry& e : *this) us += e.kind == Access::Delay ? e.arg1 : 0;
  return us;
}

size_t TraceView::Count(Access kind) const {
  size_t n = 0;
  for (const TraceEntry& e : *this) n += e.kind == kind ? 1 : 0;
  return n;
}

uint64_t TraceView::BlockWords(Access kind, uint16_t port) const {
  uint64_t n = 0;
  for (const TraceEntry& e : *this) n += (e.kind == kind && e.port == port) ? e.arg1 : 0;
  return n;
}

std::vector<std::string> TraceView::WritesAndDelays() const {
  std::vector<std::string> out;
  char text[32];
  for (const TraceEntry& e : *this) {
    if (e.IsWrite())
      std::snprintf(text, sizeof text, "%04X<-%04X", e.port, e.value);
    else if (e.kind == Access::Delay)
      std::snprintf(text, sizeof text, "%" PRIu32 "us", e.arg1);
    else
      continue;
    out.push_back(text);
  }
  return out;
}

namespace {

void FormatIn(char (&buf)[160], const TraceEntry& e, double us, const char* emu) {
  const char* name = e.kind == Access::In ? "in" : "din";
  if (e.repeat > 1)
    std::snprintf(buf, sizeof buf, "%12.3fus  %-4s %04X -> 0x%04X  x%" PRIu32 "%s", us, name, e.port, e.value, e.repeat,
                  emu);
  else
    std::snprintf(buf, sizeof buf, "%12.3fus  %-4s %04X -> 0x%04X%s", us, name, e.port, e.value, emu);
}

void FormatOut(char (&buf)[160], const TraceEntry& e, double us, const char* emu) {
  char pulse[40] = "";
  if (e.flags & (HWIO_ACC_LOWPULS | HWIO_ACC_HIGHPULS))
    std::snprintf(pulse, sizeof pulse, "  [%s bit %u%s]", (e.flags & HWIO_ACC_LOWPULS) ? "lowpuls" : "highpuls",
                  (e.flags >> HWIO_ACC_BIT_SHIFT) & 0xF, (e.flags & HWIO_ACC_PULSE_END) ? " end" : "");
  std::snprintf(buf, sizeof buf, "%12.3fus  %-4s %04X <- 0x%04X%s%s", us, e.kind == Access::Out ? "out" : "dout",
                e.port, e.value, pulse, emu);
}

}  // namespace

std::string FormatEntry(const TraceEntry& e) {
  char buf[160];
  const double us = static_cast<double>(e.timeNs) / 1000.0;
  const char* emu = e.emulated() ? " (emulated)" : "";
  switch (e.kind) {
    case Access::In:
    case Access::DirectIn:
      FormatIn(buf, e, us, emu);
      break;
    case Access::Out:
    case Access::DirectOut:
      FormatOut(buf, e, us, emu);
      break;
    case Access::Code:
      std::snprintf(buf, sizeof buf, "%12.3fus  %s code 0x%08" PRIX32 " 0x%08" PRIX32 "%s", us,
                    e.port == HWIO_CODE_PX ? "PX" : "LL", e.arg1, e.arg2, emu);
      break;
    case Access::PollVorschub:
      std::snprintf(buf, sizeof buf, "%12.3fus  poll-vorschub 0x%08" PRIX32 "%s", us, e.arg1, emu);
      break;
    case Access::Interrupts:
      std::snprintf(buf, sizeof buf, "%12.3fus  interrupts %s%s", us, e.value ? "on" : "off", emu);
      break;
    case Access::Delay:
      std::snprintf(buf, sizeof buf, "%12.3fus  delay %" PRIu32 "us", us, e.arg1);
      break;
    case Access::BlockIn:
    case Access::BlockOut:
      std::snprintf(buf, sizeof buf, "%12.3fus  %-4s %04X %s %" PRIu32 " words, first 0x%04X%s", us,
                    e.kind == Access::BlockIn ? "bin" : "bout", e.port, e.kind == Access::BlockIn ? "->" : "<-", e.arg1,
                    e.value, emu);
      break;
  }
  return buf;
}

std::string Trace::ToString(size_t maxLines) const {
  std::string out;
  size_t first = 0;
  if (maxLines && m_size > maxLines) {
    first = m_size - maxLines;
    out += "... " + std::to_string(first) + " earlier entries\n";
  }
  for (size_t i = first; i < m_size; ++i) out += FormatEntry(m_entries[i]) + "\n";
  return out;
}

namespace {

std::string VcdId(size_t n) {
  // Printable identifier codes as VCD allows them: '!' to '~'.
  std::string id;
  do {
    id += static_cast<char>('!' + n % 94);
    n /= 94;
  } while (n);
  return id;
}

std::string Bits(uint16_t v) {
  std::string s = "b";
  for (int b = 15; b >= 0; --b) s += ((v >> b) & 1) ? '1' : '0';
  return s;
}

}  // namespace

std::string Trace::ToVcd() const {
  // One 16-bit signal per port and direction, in port order.
  std::map<std::pair<uint16_t, int>, std::string> ids;
  for (const TraceEntry& e : All()) {
    if (!e.IsRead() && !e.IsWrite()) continue;
    ids.emplace(std::make_pair(e.port, e.IsWrite() ? 1 : 0), "");
  }
  size_t n = 0;
  for (auto& kv : ids) kv.second = VcdId(n++);

  std::string out = "$timescale 1ns $end\n$scope module machine $end\n";
  char name[32];
  for (const auto& kv : ids) {
    std::snprintf(name, sizeof name, "%s_%04X", kv.first.second ? "out" : "in", kv.first.first);
    out += "$var wire 16 " + kv.second + " " + name + " $end\n";
  }
  out += "$upscope $end\n$enddefinitions $end\n";
  uint64_t lastTime = UINT64_MAX;
  for (const TraceEntry& e : All()) {
    if (!e.IsRead() && !e.IsWrite()) continue;
    if (e.timeNs != lastTime) {
      out += "#" + std::to_string(e.timeNs) + "\n";
      lastTime = e.timeNs;
    }
    out += Bits(e.value) + " " + ids[std::make_pair(e.port, e.IsWrite() ? 1 : 0)] + "\n";
  }
  return out;
}

bool Trace::WriteVcd(const std::string& path) const {
  std::ofstream f(path, std::ios::binary);
  if (!f) return false;
  f << ToVcd();
  return static_cast<bool>(f);
}

}  // namespace sim

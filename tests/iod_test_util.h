// What the IOD tests read off the port trace.
#ifndef CARDN5_TESTS_IOD_TEST_UTIL_H
#define CARDN5_TESTS_IOD_TEST_UTIL_H

#include <stdint.h>

#include <string>
#include <vector>

#include "iod_model.h"
#include "trace.h"

namespace iodtest {

constexpr uint16_t kIodPort = iod::kOutPort;
constexpr uint64_t kMs = 1000000;

// Pauses of exactly this many microseconds.
inline int CountDelays(const sim::Trace& trace, uint32_t us) {
  int n = 0;
  for (const sim::TraceEntry& e : trace.entries())
    if (e.kind == sim::Access::Delay && e.arg1 == us) ++n;
  return n;
}

// Reads of the IOD port and pauses of 10 us after the last write to it:
// the shape of the wait that ended an operation.
struct Tail {
  uint64_t reads = 0;
  int shortPauses = 0;
  int otherPauses = 0;
};
inline Tail AfterLastWrite(const sim::Trace& trace) {
  Tail t;
  for (const sim::TraceEntry& e : trace.entries()) {
    if (e.IsWrite() && e.port == kIodPort) t = Tail();
    if (e.IsRead() && e.port == kIodPort) t.reads += e.repeat;
    if (e.kind == sim::Access::Delay) ++(e.arg1 == 10 ? t.shortPauses : t.otherPauses);
  }
  return t;
}

// Any access to the IOD port, emulated ones included.
inline int IodAccesses(const sim::Trace& trace) {
  int n = 0;
  for (const sim::TraceEntry& e : trace.entries())
    if ((e.IsRead() || e.IsWrite()) && e.port == kIodPort) n += static_cast<int>(e.repeat);
  return n;
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

}  // namespace iodtest

#endif

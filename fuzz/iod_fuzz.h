// What the IOD fuzz targets share: the boards created once per process, a
// fresh simulated MCM for each input, and an answer buffer that shows a
// write past its 249 bytes.
#ifndef CARDN5_FUZZ_IOD_FUZZ_H
#define CARDN5_FUZZ_IOD_FUZZ_H

#include <stddef.h>
#include <stdint.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "CIOD.h"
#include "cardN532.h"
#include "errlog32_ext.h"
#include "hwio32_ext.h"
#include "iod_model.h"
#include "machine.h"

#if defined(__SANITIZE_ADDRESS__)
#define CARDN5_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CARDN5_FUZZ_ASAN 1
#endif
#endif

namespace iodfuzz {

// A broken expectation stops the program, so that libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? (void)0 : iodfuzz::Fail(#cond))

// The MCM on a machine of its own for one input; the library's boards are
// created once, with the log switched off. The trace stays off: a time-out
// polls 30,000 times.
struct Link {
  Link() {
    static const bool created = [] {
      ERRLOGX_SetLogPath(nullptr);
      ERRLOGX_SetCapture(0);
      HWIOX_Reset();
      return CARDN5_CreateCardObjects() == 1;
    }();
    FUZZ_CHECK(created);
    machine.trace().SetEnabled(false);
    mcm = &machine.Add<sim::IodModel>();
    machine.Attach();
  }
  sim::Machine machine;
  sim::IodModel* mcm;
};

// The room an answer may use. Under AddressSanitizer the allocation ends
// there and its red zone is the guard; otherwise guard bytes follow.
class AnswerBuffer {
 public:
  static constexpr size_t kRoom = 249;
#ifdef CARDN5_FUZZ_ASAN
  static constexpr size_t kGuard = 0;
#else
  static constexpr size_t kGuard = 32;
#endif
  AnswerBuffer() : m_bytes(new char[kRoom + kGuard]) { std::memset(m_bytes.get(), kFill, kRoom + kGuard); }
  char* data() { return m_bytes.get(); }
  bool GuardIntact() const {
    for (size_t i = kRoom; i < kRoom + kGuard; ++i)
      if (m_bytes[i] != kFill) return false;
    return true;
  }

 private:
  static constexpr char kFill = '\x5C';
  std::unique_ptr<char[]> m_bytes;
};

}  // namespace iodfuzz

#endif

// What the IOD fuzz targets share: the boards created once per process, a
// fresh simulated MCM for each input, and an answer buffer that shows a
// write past its 249 bytes.
#ifndef CARDN5_FUZZ_IOD_FUZZ_H
#define CARDN5_FUZZ_IOD_FUZZ_H

#include "CIOD.h"
#include "fuzz_check.h"
#include "hwio32_ext.h"
#include "iod_model.h"

namespace iodfuzz {

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

// The room an answer may use, and guard bytes behind it: a write into them
// shows in every build, one further out under AddressSanitizer.
struct AnswerBuffer {
  static constexpr size_t kRoom = 249;
  static constexpr char kFill = '\x5C';
  char* data() { return bytes.data(); }
  bool GuardIntact() const {
    return std::all_of(bytes.begin() + kRoom, bytes.end(), [](char c) { return c == kFill; });
  }
  std::vector<char> bytes = std::vector<char>(kRoom + 32, kFill);
};

}  // namespace iodfuzz

#endif

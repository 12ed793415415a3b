// The one way a board operation waits for its board: poll a condition, with
// or without a bound on the number of polls, and with whatever the caller
// does between two polls (a pause, a log line every n polls, nothing).
#ifndef CARDN5_POLL_H
#define CARDN5_POLL_H

#include <stdint.h>

namespace cardn5 {

// A wait that ends only when the board answers.
constexpr uint32_t kUnbounded = 0;

// Evaluates done() until it holds or dwMaxPolls evaluations found it false
// (never gives up with kUnbounded). After each evaluation n (1-based) that
// found it false, between(n) runs, also after the last one. True when done.
template <typename Done, typename Between>
bool PollUntil(uint32_t dwMaxPolls, Done done, Between between) {
  for (uint32_t n = 1; dwMaxPolls == kUnbounded || n <= dwMaxPolls; ++n) {
    if (done()) return true;
    between(n);
  }
  return false;
}

template <typename Done>
bool PollUntil(uint32_t dwMaxPolls, Done done) {
  return PollUntil(dwMaxPolls, done, [](uint32_t) {});
}

}  // namespace cardn5

#endif

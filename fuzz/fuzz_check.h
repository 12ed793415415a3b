// What every fuzz target shares: the library's and the simulator's headers,
// and a check whose failure stops the program, so that libFuzzer keeps the
// input.
#ifndef CARDN5_FUZZ_FUZZ_CHECK_H
#define CARDN5_FUZZ_FUZZ_CHECK_H

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cardN532.h"
#include "errlog32_ext.h"
#include "machine.h"

namespace fuzzcheck {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace fuzzcheck

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzzcheck::Fail(#cond))

#endif

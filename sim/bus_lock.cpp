#include "bus_lock.h"

#include <cstdio>
#include <cstdlib>

#if defined(__linux__) && __has_include(<linux/membarrier.h>)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#define CARDN5_HAVE_MEMBARRIER 1
#endif

namespace sim {

namespace {

bool RegisterMembarrier() {
#if CARDN5_HAVE_MEMBARRIER
  // Emulators and sandboxes may lack it: then the owner's fence is used.
  const long commands = syscall(__NR_membarrier, MEMBARRIER_CMD_QUERY, 0, 0);
  if (commands < 0 || !(commands & MEMBARRIER_CMD_PRIVATE_EXPEDITED)) return false;
  return syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
#else
  return false;
#endif
}

}  // namespace

bool BusLock::AsymmetricBarrier() {
  static const bool available = RegisterMembarrier();
  return available;
}

void BusLock::HeavyBarrier() {
#if CARDN5_HAVE_MEMBARRIER
  if (syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0) == 0) return;
#endif
  // Registered but refused: the owner could be inside unseen.
  std::fprintf(stderr, "sim: membarrier failed after it was registered\n");
  std::abort();
}

}  // namespace sim

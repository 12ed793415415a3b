// Replaces the global allocation functions of a test program so that tests
// can see which objects the library allocates and frees, and make one of its
// allocations fail. Everything goes to malloc/free so that sanitizers see a
// consistent pair.
#ifndef CARDN5_ALLOC_HOOK_H
#define CARDN5_ALLOC_HOOK_H

#include <stddef.h>

#include <utility>

namespace allochook {

// Counting starts with Arm(); failNth > 0 makes the n-th nothrow allocation
// from then on return null.
void Arm(int failNth = 0);
void Disarm();
int NothrowAllocations();
// Of the nothrow allocations while armed: how many were freed, how many are live.
std::pair<int, size_t> FreedAndLive();

}  // namespace allochook

#endif

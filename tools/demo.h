// The demo host's parts, one a subsystem, each run on the same simulated
// machine. Each returns 0 on success and prints what it did.
#ifndef CARDN5_DEMO_H
#define CARDN5_DEMO_H

#include "machine.h"

int RunFrameDemo(sim::Machine& machine);
int RunTelegramDemo(sim::Machine& machine);
int RunEngravingDemo(sim::Machine& machine);
int RunHeadDemo(sim::Machine& machine);
int RunScanDemo(sim::Machine& machine);

// Runs on a machine of its own and attaches the given one again afterwards.
int RunMbuDemo(sim::Machine& machine);

int RunOpticsDemo(sim::Machine& machine);

#endif

// The engraving job the demo, the benchmarks and the tests start from: a row
// of 10,000 pulses and length 1000, laser pulse ratio 1:10000, start position
// 300, PX code rows, the host advancing the stepper, fixed start offsets.
#ifndef CARDN5_SIM_EPU_SAMPLE_JOB_H
#define CARDN5_SIM_EPU_SAMPLE_JOB_H

#include "cardN532.h"

namespace sim {

inline EPU_GRAVUR_PARAMS EpuSampleJob() {
  EPU_GRAVUR_PARAMS job{};
  job.dwPulsesPerRow = 10000;
  job.wRowLength = 1000;
  job.dPulseNumerator = 1.0;
  job.dPulseDenominator = 10000.0;
  job.wStartposY = 300;
  return job;
}

}  // namespace sim

#endif

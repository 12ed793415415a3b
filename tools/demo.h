// The demo host's parts, one a subsystem, all driving one job through the
// exports. The parts on the engraving machine share its models (a Rig); the
// memory buffer board runs on a machine of its own, because its ports are
// the EPU's too. Each part returns its count of failed checks and prints
// what it did.
#ifndef CARDN5_DEMO_H
#define CARDN5_DEMO_H

#include <stdint.h>

#include <string>
#include <vector>

#include "demo_image.h"
#include "machine.h"

namespace sim {
class CphModel;
class CseModel;
class DcaModel;
class EpuModel;
class IodModel;
class IpgModel;
class SduModel;
}  // namespace sim

namespace demo {

// Machine-clock spans for printing.
inline double Seconds(uint64_t ns) { return static_cast<double>(ns) / 1e9; }
inline double Millis(uint64_t ns) { return static_cast<double>(ns) / 1e6; }

// Every export the host calls goes through CALL(), so the summary can say
// how many calls of how many exports the job made.
void CountCall(const char* callText);
uint64_t CallCount();
size_t ExportsCalled();
#define CALL(call) (::demo::CountCall(#call), (call))

struct Job {
  uint32_t rows = 320;     // EPU rows of the image
  uint32_t blocks = 8;     // MBU blocks of kBlockRows rows each
  uint32_t scanRows = 64;  // rows of the scanned test picture
  uint32_t seed = 1;
  std::string outDir;  // empty: beside the log
  std::string vcd;     // empty: in outDir
};

// What the job produced: the image the host generated, the drum as the EPU
// and MBU models received it, and the scanned picture.
struct Results {
  Picture image;
  Picture drum;
  Picture scan;
  uint64_t virtualNs = 0;
  double fileWallS = 0;  // wall time spent writing files, not the job's
};

// Writes the machine's port trace as a VCD file; the time it takes is kept
// out of the job's wall time.
bool WriteTrace(sim::Machine& machine, const std::string& path, Results& out);

// The engraving machine: every board but the MBU, the models the parts read.
struct Rig {
  sim::Machine& machine;
  sim::EpuModel& epu;
  sim::IpgModel& ipg;
  sim::IodModel& mcm;
  sim::CphModel& cph;
  sim::DcaModel& dca;
  sim::SduModel& sdu;
  sim::CseModel& cse;
};

// A long part's progress: a bar redrawn in place on a terminal, a plain
// line every quarter otherwise (a log, a pipe).
class Progress {
 public:
  Progress(const char* what, uint64_t total);
  void Update(uint64_t done, const std::string& detail);
  void Finish();  // after the last Update

 private:
  const char* m_what;
  uint64_t m_total;
  bool m_tty;
  int m_shown = -1;  // last percentage (terminal) or quarter (lines) shown
};

int RunFrameDemo(sim::Machine& machine);
int RunPowerOn(Rig& rig);
int RunTelegramDemo(Rig& rig);
int RunHeadDemo(Rig& rig);
int RunEngravingDemo(Rig& rig, const Job& job, Results& out);
int RunOpticsDemo(Rig& rig);
int RunScanDemo(Rig& rig, const Job& job, Results& out);
// Creates, powers on and deletes the boards on a machine of its own.
int RunMbuDemo(const Job& job, Results& out, const std::string& vcdPath);

}  // namespace demo

#endif

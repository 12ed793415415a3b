// Demo host: drives one job through the library's exports, as the machine's
// control program does, against a simulated machine, and writes what the
// drum received, the scanned picture and the port trace beside the log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "cardN532.h"
#include "cph_model.h"
#include "cse_model.h"
#include "dca_model.h"
#include "demo.h"
#include "epu_model.h"
#include "errlog32_ext.h"
#include "iod_model.h"
#include "ipg_model.h"
#include "sdu_model.h"

namespace {

constexpr const char* kUsage =
    "usage: cardn5_demo [options]\n"
    "Runs one job on a simulated machine through the library's exports.\n"
    "  --rows N       EPU rows of the engraved image (default 320)\n"
    "  --blocks N     MBU blocks of 16 rows each (default 8)\n"
    "  --scan-rows N  rows of the scanned test picture (default 64)\n"
    "  --seed N       seed of the engraved image and the scanner's noise (default 1)\n"
    "  --out DIR      folder of the files written (default: the log's folder)\n"
    "  --vcd FILE     port trace of the engraving machine (default DIR/cardn5-ports.vcd;\n"
    "                 the MBU machine's goes beside it, -mbu before .vcd)\n"
    "  --help         this text\n";

bool Number(const char* text, uint32_t max, uint32_t& value) {
  char* end = nullptr;
  const unsigned long v = std::strtoul(text, &end, 10);
  if (!*text || *end || v < 1 || v > max) return false;
  value = static_cast<uint32_t>(v);
  return true;
}

// 0: run; 1: --help shown; 2: bad arguments.
int ParseOptions(int argc, char** argv, demo::Job& job) {
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help") return std::printf("%s", kUsage), 1;
    const char* value = i + 1 < argc ? argv[++i] : "";
    bool ok = true;
    if (opt == "--rows")
      ok = Number(value, 100000, job.rows);
    else if (opt == "--blocks")
      ok = Number(value, 10000, job.blocks);
    else if (opt == "--scan-rows")
      ok = Number(value, 10000, job.scanRows);
    else if (opt == "--seed")
      ok = Number(value, UINT32_MAX, job.seed);
    else if (opt == "--out" && *value)
      job.outDir = value;
    else if (opt == "--vcd" && *value)
      job.vcd = value;
    else
      ok = false;
    if (!ok) return std::fprintf(stderr, "cardn5_demo: bad option %s %s\n%s", opt.c_str(), value, kUsage), 2;
  }
  return 0;
}

// Beside the log, or in the working folder when the log is off.
std::string DefaultOutDir() {
  char log[512] = "";
  ERRLOGX_GetLogPath(log, sizeof log);
  const std::string dir = std::filesystem::path(log).parent_path().string();
  return dir.empty() ? "." : dir;
}

// The engraving machine's part of the job: every board but the MBU.
int RunEngravingMachine(const demo::Job& job, demo::Results& out) {
  sim::Machine machine;
  machine.Attach();
  sim::EpuModel& epu = machine.Add<sim::EpuModel>();
  demo::Rig rig{machine,
                epu,
                machine.Add<sim::IpgModel>(20e6),
                machine.Add<sim::IodModel>(),
                machine.Add<sim::CphModel>(epu),
                machine.Add<sim::DcaModel>(),
                machine.Add<sim::SduModel>(epu),
                machine.Add<sim::CseModel>()};
  // A part whose checks fail says so and the job goes on.
  const auto part = [](const char* name, int failed) {
    if (failed) std::printf("  ** %s: %d checks failed\n", name, failed);
    return failed;
  };
  int failures = part("frame", demo::RunFrameDemo(machine));
  failures += part("power-on", demo::RunPowerOn(rig));
  failures += part("link", demo::RunTelegramDemo(rig));
  failures += part("head", demo::RunHeadDemo(rig));
  failures += part("engraving", demo::RunEngravingDemo(rig, job, out));
  failures += part("optics", demo::RunOpticsDemo(rig));
  failures += part("scanning", demo::RunScanDemo(rig, job, out));
  CALL(CARDN5_DeleteCardObjects());
  for (const std::string& v : machine.Violations()) std::printf("  protocol violation: %s\n", v.c_str());
  failures += !machine.Violations().empty();
  out.virtualNs += machine.NowNs();
  failures += !demo::WriteTrace(machine, job.vcd, out);
  machine.Detach();
  return failures;
}

std::string MbuVcdPath(const std::string& vcd) {
  const size_t dot = vcd.rfind(".vcd");
  return dot != std::string::npos && dot + 4 == vcd.size() ? vcd.substr(0, dot) + "-mbu.vcd" : vcd + "-mbu";
}

int WriteFiles(const demo::Job& job, const demo::Results& out) {
  int failures = 0;
  std::printf("\nFiles written to %s:\n", job.outDir.c_str());
  const auto show = [&](const std::string& path, bool written, const std::string& what) {
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    const std::filesystem::path p(path);
    const std::string name = p.parent_path() == job.outDir ? p.filename().string() : path;
    std::printf("  %-22s %9llu bytes  %s\n", name.c_str(), ec ? 0ull : static_cast<unsigned long long>(bytes),
                what.c_str());
    failures += !written || ec;
  };
  const std::string drum = job.outDir + "/cardn5-drum.png", scan = job.outDir + "/cardn5-scan.png";
  show(drum, demo::WritePng(drum, out.drum),
       std::to_string(out.drum.width) + " x " + std::to_string(out.drum.height) + ", what the drum received");
  show(scan, demo::WritePng(scan, out.scan),
       std::to_string(out.scan.width) + " x " + std::to_string(out.scan.height) + ", the scanned picture");
  show(job.vcd, true, "port trace of the engraving machine (VCD)");
  show(MbuVcdPath(job.vcd), true, "port trace of the MBU machine (VCD)");
  char log[512] = "";
  ERRLOGX_GetLogPath(log, sizeof log);
  if (*log) show(log, true, "the library's log");
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  demo::Job job;
  if (const int parsed = ParseOptions(argc, argv, job)) return parsed == 1 ? 0 : 2;
  if (job.outDir.empty()) job.outDir = DefaultOutDir();
  while (job.outDir.size() > 1 && job.outDir.back() == '/') job.outDir.pop_back();
  if (job.vcd.empty()) job.vcd = job.outDir + "/cardn5-ports.vcd";
  std::error_code ec;
  std::filesystem::create_directories(job.outDir, ec);

  char logPath[512];
  ERRLOGX_GetLogPath(logPath, sizeof logPath);
  std::printf("CARDN532 demo job on a simulated machine: %u EPU rows, %u MBU blocks, %u scanned rows, seed %u\n",
              job.rows, job.blocks, job.scanRows, job.seed);
  std::printf("log: %s\n", *logPath ? logPath : "(off)");

  demo::Results out;
  out.image = demo::MakeJobImage(job.rows + job.blocks * demo::kBlockRows, job.seed);
  out.drum = demo::Picture(demo::kImageWidth, 0, 1);
  out.drum.data.clear();
  const auto wallStart = std::chrono::steady_clock::now();
  int failures = RunEngravingMachine(job, out);
  failures += demo::RunMbuDemo(job, out, MbuVcdPath(job.vcd));
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count() - out.fileWallS;

  // The drum must show the image the host sent, row for row.
  const bool same = out.drum.height == out.image.height && out.drum.data == out.image.data;
  std::printf("\nDrum: %u rows received, %s the generated image\n", out.drum.height,
              same ? "equal to" : "DIFFERENT from");
  failures += !same;
  failures += WriteFiles(job, out);

  const double virt = demo::Seconds(out.virtualNs);
  std::printf("\n== Summary ==\n");
  std::printf("exports called:  %llu calls of %zu exports\n", static_cast<unsigned long long>(demo::CallCount()),
              demo::ExportsCalled());
  std::printf("virtual time:    %.3f s\n", virt);
  std::printf("wall time:       %.3f s\n", wall);
  std::printf("virtual / wall:  %.1f\n", wall > 0 ? virt / wall : 0.0);
  std::printf("\nDemo %s\n", failures ? "FAILED" : "finished");
  return failures ? 1 : 0;
}

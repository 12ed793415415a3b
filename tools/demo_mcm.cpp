// The link to the machine controller: a few commands and answers in both
// protocol variants with a simulated MCM, one answer spoiled on the way and
// sent again, and the machine's status inputs.
#include <cstdio>
#include <string>
#include <vector>

#include "cardN532.h"
#include "demo.h"
#include "iod_model.h"

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char b[4];
  for (uint8_t v : bytes) {
    std::snprintf(b, sizeof b, "%02X ", v);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

}  // namespace

namespace demo {

int RunTelegramDemo(Rig& rig) {
  std::printf("\n== Machine-controller link ==\n");
  int failures = 0;
  sim::Machine& machine = rig.machine;
  sim::IodModel& mcm = rig.mcm;
  // The command vocabulary belongs to the host and the MCM; these are made up.
  mcm.SetResponder([](const std::string& command) {
    if (command == "STATUS?") return std::string("READY");
    if (command == "POS?") return std::string("X=120.5 Y=7.25");
    return std::string("?");
  });

  char answer[249] = "";
  const uint64_t start = machine.NowNs();
  int32_t ok = CALL(IODN5_RepReceiveTxt("STATUS?", answer));
  std::printf("IODN5_RepReceiveTxt(\"STATUS?\") -> %d, answer \"%s\"\n", ok, answer);
  std::printf("  on the wire: %s\n", Hex(mcm.telegrams().back().bytes).c_str());
  failures += ok != 1 || std::string(answer) != "READY";

  ok = CALL(IODN6_RepReceiveTxt("POS?", answer));
  std::printf("IODN6_RepReceiveTxt(\"POS?\") -> %d, answer \"%s\"\n", ok, answer);
  std::printf("  on the wire: %s\n", Hex(mcm.telegrams().back().bytes).c_str());
  failures += ok != 1 || std::string(answer) != "X=120.5 Y=7.25";

  // The next answer arrives with a wrong checksum: the library logs it,
  // waits 150 ms and sends the command again.
  const size_t before = mcm.telegrams().size();
  mcm.CorruptAnswerChecksum(static_cast<int>(before));
  ok = CALL(IODN6_RepReceiveTxt("STATUS?", answer));
  std::printf("IODN6_RepReceiveTxt(\"STATUS?\") with a spoiled answer -> %d, answer \"%s\" after %zu telegrams\n", ok,
              answer, mcm.telegrams().size() - before);
  failures += ok != 1 || mcm.telegrams().size() - before != 2;

  mcm.SetStatusLine(iod::In::RapportStand, false);  // active low: the repeat position is reached
  mcm.SetStatusLine(iod::In::RechtesRad, true);
  const int32_t rapport = CALL(IODN5_TestRapportStand()), ready = CALL(IODN5_TestDeviceReady());
  const int32_t rad = CALL(IODN5_TestRechtesRadHinten()), xenon = CALL(IODN5_IsXenonOn());
  std::printf("status: TestRapportStand %d, TestDeviceReady %d, TestRechtesRadHinten %d, IsXenonOn %d\n", rapport,
              ready, rad, xenon);
  failures += rapport != 1 || ready != 0;

  std::printf("virtual time on the link: %.3f ms\n", Millis(machine.NowNs() - start));
  return failures;
}

}  // namespace demo

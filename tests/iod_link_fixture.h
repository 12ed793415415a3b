// The boards created through the exports, a simulated MCM on the IOD port,
// and an answer buffer with a guard area behind the 249 bytes the library
// may write.
#ifndef CARDN5_TESTS_IOD_LINK_FIXTURE_H
#define CARDN5_TESTS_IOD_LINK_FIXTURE_H

#include <string.h>

#include <string>

#include "cardN532.h"
#include "iod_model.h"
#include "iod_test_util.h"
#include "test_support.h"

namespace iodtest {

enum class Variant { N5, N6 };

inline const char* Name(Variant v) { return v == Variant::N5 ? "N5" : "N6"; }

class IodLinkTest : public testsupport::BoardsTest {
 protected:
  static constexpr size_t kAnswerBytes = 249;
  static constexpr char kUnwritten = '\x5C';

  void SetUp() override {
    BoardsTest::SetUp();
    mcm = &machine.Add<sim::IodModel>();
    mcm->SetResponder([](const std::string&) { return std::string("Hallo"); });
    ResetAnswer();
  }

  void ResetAnswer() { memset(answer, kUnwritten, sizeof answer); }
  // True while nothing was written behind the room an answer may use.
  bool GuardIntact() const {
    for (size_t i = kAnswerBytes; i < sizeof answer; ++i)
      if (answer[i] != kUnwritten) return false;
    return true;
  }

  // The exports of a variant.
  int32_t RepSend(Variant v, const char* command) {
    return v == Variant::N5 ? IODN5_RepSendTxt(command) : IODN6_RepSendTxt(command);
  }
  int32_t RepReceive(Variant v, const char* command) {
    return v == Variant::N5 ? IODN5_RepReceiveTxt(command, answer) : IODN6_RepReceiveTxt(command, answer);
  }
  // Starts from a clean slate for one row of a table.
  void NextRow(sim::IodModel::Variant variant = sim::IodModel::Variant::Auto) {
    mcm->ClearFaults();
    mcm->SetVariant(variant);
    machine.trace().Clear();
    log.Clear();
    testsupport::ClearLastError();
    ResetAnswer();
  }
  // The model numbers telegrams from 0 for the whole test.
  int NextTelegram() const { return static_cast<int>(mcm->telegrams().size()); }

  sim::IodModel* mcm = nullptr;
  char answer[kAnswerBytes + 16];
};

}  // namespace iodtest

#endif

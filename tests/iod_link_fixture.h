// The IOD tests' one fixture: the boards created, a simulated MCM on the IOD
// port that answers "Hallo", the exports by operation, one fault enum that
// puts the MCM (or the host's arguments) out of step, the catalogue of the
// link's failure lines, and an answer buffer with a guard behind the 249
// bytes the library may write.
#ifndef CARDN5_TESTS_IOD_LINK_FIXTURE_H
#define CARDN5_TESTS_IOD_LINK_FIXTURE_H

#include <string.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "cardN5.h"
#include "cardN532.h"
#include "iod_model.h"
#include "test_support.h"

namespace iodtest {

using sim::IodModel;
constexpr uint64_t kMs = 1000000;

// How the MCM spoils an exchange (Held: it keeps its strobe low after the
// PC's acknowledge), or the host's arguments do. `at` names the telegram
// byte (the length byte is 0) or the answer byte a fault hits; for BadSum
// the amount the answer's checksum is off by, for BadLength the length sent.
enum class Fault { None, Reject, NotReady, NotTaken, NoStrobe, Held, BadSum, BadLength, NoCommand, NoBuffer, TooLong };

inline void Inject(IodModel& m, Fault f, int telegram, int at) {
  if (f == Fault::Reject) m.RejectTelegram(telegram);
  if (f == Fault::NotReady) m.NeverReady(telegram, at, 400 * kMs);
  if (f == Fault::NotTaken) m.NeverTakeByte(telegram, at);
  if (f == Fault::NoStrobe) m.NeverStrobe(telegram, at);
  if (f == Fault::Held) m.NeverReleaseStrobe(telegram, at);
  if (f == Fault::BadSum) m.CorruptAnswerChecksum(telegram, static_cast<uint16_t>(at));
  if (f == Fault::BadLength) m.SendAnswerLength(telegram, static_cast<uint8_t>(at));
}

enum class Op { SendN5, SendN6, ExchN5, ExchN6, SingleN6 };

inline int32_t Call(Op op, const char* command, char* answer) {
  if (op == Op::SendN5) return IODN5_RepSendTxt(command);
  if (op == Op::SendN6) return IODN6_RepSendTxt(command);
  if (op == Op::ExchN5) return IODN5_RepReceiveTxt(command, answer);
  if (op == Op::ExchN6) return IODN6_RepReceiveTxt(command, answer);
  return IODN6_SingleReceiveTxt(command, answer);
}

// The link's failure lines, for the command "AAA" and the answer "Hallo".
constexpr const char *kNotReadyN5 = "IODTransmitByte MCM not ready to receive, Timeout 1 \n",
                     *kNotReadyN6 = "IODTransmitByteN6 MCM not ready to receive, Timeout 1 \n";
constexpr const char *kNotTakenN5 = "IODTransmitByte MCM has not correct received, Timeout 2 \n",
                     *kNotTakenN6 = "IODTransmitByteN6 MCM has not correct received, Timeout 2 \n";
constexpr const char *kNoStrobeN5 = "ReceiveByte Timeout \n",
                     *kNoStrobeN6 = "ReceiveByteN6 PC not ready to receive, timeout 1\n";
constexpr const char* kNoReleaseN6 = "ReceiveByteN6 PC has not correct received, Timeout 2 \n";
constexpr const char *kComN5 = "SendTxt MCM_COM_ERROR \n", *kComN6 = "SendTxtN6 MCM_COM_ERROR \n";
constexpr const char *kLongN5 = "String in SendTxt zu lang! \n", *kLongN6 = "String in SendTxtN6 zu lang! \n";
constexpr const char *kNoLengthN5 = "Fehler bei Stringlaenge \n",
                     *kNoLengthN6 = "ReceiveTxtN6 Fehler bei Stringlaenge \n";
constexpr const char *kNoByteN5 = "Fehler im String \n", *kNoByteN6 = "ReceiveTxtN6 Fehler im String \n";
constexpr const char *kSumN5 = "ReceiveTxt Fehler in checksumme \n",
                     *kSumN6 = "ReceiveTxtN6 Fehler in checksumme Soll: 1f1  Ist: 1f0\n";
// Stands for the four lines a failed N6 byte leaves behind: the length
// (sign-extended), the command, the checksum and the index of the byte.
constexpr const char* kUnsentN6 = "(unsent)";

inline std::vector<std::string> Texts(const std::vector<std::string>& lines, int at) {
  std::vector<std::string> out;
  for (const std::string& l : lines) {
    if (l != kUnsentN6) out.push_back(l);
    if (l == kUnsentN6)
      out.insert(out.end(), {"stringlen 0xffffff85 \n", "comand    AAA \n", "checksum  0x43 \n",
                             "act. byte count " + std::to_string(at) + " \n"});
  }
  return out;
}

class IodTest : public testsupport::BoardsTest {
 protected:
  static constexpr size_t kAnswerBytes = 249;
  static constexpr char kUnwritten = '\x5C';

  void SetUp() override {
    BoardsTest::SetUp();
    mcm = &machine.Add<IodModel>();
    mcm->SetResponder([](const std::string&) { return std::string("Hallo"); });
    NextRow();
  }
  // A clean slate for one row of a table. The MCM numbers its telegrams
  // over the whole test: this is the number of the next one.
  int NextRow(IodModel::Variant variant = IodModel::Variant::Auto) {
    mcm->ClearFaults();
    mcm->SetVariant(variant);
    m_mark = machine.trace().Mark();
    log.Clear();
    testsupport::ClearLastError();
    memset(answer, kUnwritten, sizeof answer);
    return static_cast<int>(mcm->telegrams().size());
  }
  // The port trace of the current row.
  sim::TraceView RowTrace() { return machine.trace().Since(m_mark); }
  // The answer buffer's text, or null while nothing was written to it.
  const char* Written() const { return answer[0] == kUnwritten ? nullptr : answer; }
  bool GuardIntact() const {
    return std::all_of(answer + kAnswerBytes, std::end(answer), [](char c) { return c == kUnwritten; });
  }

  IodModel* mcm = nullptr;
  char answer[kAnswerBytes + 16];

 private:
  size_t m_mark = 0;
};

}  // namespace iodtest

#endif

// Answers of the MCM, byte for byte as the fuzzer writes them (every length
// byte, every checksum), into the exchanges of both protocol variants.
// Input: one byte choosing the export (bits 0-1) and how the stream ends
// (bit 2), then the stream: each accepted command is answered with what the
// PC has not taken yet. Bit 2 clear: zeros follow the stream as far as the
// PC reads, so that no wait times out and an input stays cheap. Bit 2 set:
// the MCM stops where the stream ends and does not answer the next command
// at all (each costs a time-out of 30,000 polls). After that it answers "OK".
#include <numeric>
#include <string>
#include <vector>

#include "iod_fuzz.h"

namespace {

const char kCommand[] = "STATUS";

int32_t Exchange(int nExport, char* pszAnswer) {
  if (nExport == 0) return IODN5_RepReceiveTxt(kCommand, pszAnswer);
  return nExport == 1 ? IODN6_RepReceiveTxt(kCommand, pszAnswer) : IODN6_SingleReceiveTxt(kCommand, pszAnswer);
}

// A successful exchange took the last answer offered: a length of 2 to 250,
// the sum of its text in its last two bytes, its text in the buffer with a
// zero behind it.
void CheckAccepted(const std::vector<uint8_t>& a, const char* pszAnswer) {
  FUZZ_CHECK(!a.empty() && a[0] >= 2 && a[0] <= 250 && a.size() > a[0]);
  const size_t nLength = a[0];
  const uint16_t wSum = static_cast<uint16_t>(std::accumulate(&a[1], &a[nLength - 1], 0u));
  FUZZ_CHECK(wSum == (a[nLength - 1] | (a[nLength] << 8)));
  FUZZ_CHECK(std::memcmp(pszAnswer, &a[1], nLength - 2) == 0);
  FUZZ_CHECK(pszAnswer[nLength - 2] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int nExport = (data[0] & 3) % 3;
  const bool bStops = (data[0] & 4) != 0;
  bool bSilentOnce = bStops;
  std::vector<uint8_t> stream(data + 1, data + size);
  // Enough for the longest answer a length byte can announce.
  if (!bStops) stream.resize(stream.size() + 256, 0);
  const size_t nInput = size - 1;

  iodfuzz::Link link;
  link.mcm->SetVariant(nExport == 0 ? sim::IodModel::Variant::N5 : sim::IodModel::Variant::N6);
  link.mcm->SetRawResponder([&](const std::string&) {
    size_t nTaken = 0;
    for (const sim::IodModel::Telegram& t : link.mcm->telegrams()) nTaken += t.answerTaken;
    if (nTaken < nInput)
      return std::vector<uint8_t>(stream.begin() + static_cast<std::ptrdiff_t>(nTaken), stream.end());
    if (bSilentOnce) {
      bSilentOnce = false;
      return std::vector<uint8_t>();
    }
    return std::vector<uint8_t>{4, 'O', 'K', 'O' + 'K', 0};
  });
  iodfuzz::AnswerBuffer answer;
  const int32_t bResult = Exchange(nExport, answer.data());

  FUZZ_CHECK(bResult == 0 || bResult == 1);
  FUZZ_CHECK(answer.GuardIntact());
  FUZZ_CHECK(g_bRepReceiveTxtN6InUse == 0);
  if (bResult == 1) CheckAccepted(link.mcm->telegrams().back().answer, answer.data());
  return 0;
}

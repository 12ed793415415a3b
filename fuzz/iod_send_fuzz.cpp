// Commands of any length and any bytes into the send exports of both
// protocol variants. Input: one byte choosing the variant and a fault of the
// MCM, then the command; it ends at its first zero byte, as a C host's
// text does, and its buffer ends there too, so a read past it is caught.
#include <numeric>
#include <vector>

#include "iod_fuzz.h"

namespace {

// The telegram as the variant frames it: length byte, text, checksum.
std::vector<uint8_t> Frame(const char* pszCommand, size_t n, bool bN6) {
  std::vector<uint8_t> t{static_cast<uint8_t>((n + 2) | (bN6 ? 0x80 : 0))};
  t.insert(t.end(), pszCommand, pszCommand + n);
  const uint16_t wSum = static_cast<uint16_t>(std::accumulate(t.begin() + 1, t.end(), 0u) & (bN6 ? 0xFF7F : 0xFFFF));
  t.insert(t.end(), {static_cast<uint8_t>(wSum & 0xFF), static_cast<uint8_t>(wSum >> 8)});
  return t;
}

// Bits 1-2: none, the first telegram rejected, one of its bytes never
// taken, or its verdict late; bits 3-7 say which byte or how late.
void AddFault(sim::IodModel& mcm, uint8_t bMode) {
  const int nWhich = bMode >> 3, nFault = (bMode >> 1) & 3;
  if (nFault == 1) mcm.RejectTelegram(0);
  if (nFault == 2) mcm.NeverTakeByte(0, nWhich);
  if (nFault == 3) mcm.DropVerdict(0, static_cast<uint64_t>(nWhich) * 2000000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t bMode = data[0];
  const bool bN6 = (bMode & 1) != 0;
  const size_t nCopied = std::find(data + 1, data + size, 0) - (data + 1);
  std::unique_ptr<char[]> command(new char[nCopied + 1]);
  std::memcpy(command.get(), data + 1, nCopied);
  command[nCopied] = '\0';

  iodfuzz::Link link;
  link.mcm->SetVariant(bN6 ? sim::IodModel::Variant::N6 : sim::IodModel::Variant::N5);
  AddFault(*link.mcm, bMode);
  const int32_t bResult = bN6 ? IODN6_RepSendTxt(command.get()) : IODN5_RepSendTxt(command.get());

  FUZZ_CHECK(bResult == 0 || bResult == 1);
  if (nCopied > 250) {
    FUZZ_CHECK(bResult == 0 && link.mcm->Received().empty());
  } else if (((bMode >> 1) & 3) == 0) {
    // Sent once, whole, and accepted. (An N6 length byte of 0x82 or more
    // can also be read as a short one: the MCM may split the telegram.)
    const std::vector<uint8_t> expected = Frame(command.get(), nCopied, bN6);
    const std::vector<uint8_t> received = link.mcm->Received();
    FUZZ_CHECK(received.size() >= expected.size() && std::equal(expected.begin(), expected.end(), received.begin()));
    if (!bN6 || nCopied + 2 < 0x80) FUZZ_CHECK(bResult == 1 && received.size() == expected.size());
  }
  return 0;
}

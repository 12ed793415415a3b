// EPU power-on, shutter, eco duty cycle and job preparation against the
// simulated board.
#include <gtest/gtest.h>

#include <algorithm>

#include "epu_support.h"
#include "hwconf32_ext.h"

namespace {

using eputest::DefaultJob;
using eputest::EpuTest;
using sim::EpuModel;

using Writes = std::vector<std::pair<uint16_t, uint16_t>>;

TEST_F(EpuTest, PowerOnWritesControlPulsesLaserCommandShutterEcoAndIndexedRegisters) {
  EPUN5_SetSMSpeed(0);  // a speed flag that power-on must not forget
  machine.trace().Clear();
  log.Clear();

  EXPECT_EQ(1, EPUN5_InitPowerOn(1));

  const Writes expected = {
      {0x8700, 0x0000},                                                                          // control word cleared
      {0x8700, 0x0000}, {0x8700, 0x0001}, {0x8700, 0x0000}, {0x8700, 0x0002},                    // low pulses 0, 1
      {0x8700, 0x0000}, {0x8700, 0x0010}, {0x8700, 0x0000}, {0x8700, 0x0008},                    // low pulses 4, 3
      {0x8700, 0x0004}, {0x8700, 0x0000},                                                        // high pulse 2
      {0xBB00, 0x0000}, {0x8300, 0x0202},                                                        // laser pulse, command
      {0x8700, 0x0000}, {0xC700, 13},     {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0008},  // shutter closed
      {0xBF00, 1199},   {0xBF00, 599},    {0xBF00, 58},     {0xBF00, 1199},   {0xBF00, 599},
      {0xBF00, 0xA000}, {0xC700, 13},     {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0000},
      {0xC700, 5},      {0xCB00, 0x0001}, {0xC700, 1},      {0xCB00, 0x4A9E},
  };
  EXPECT_EQ(expected, machine.trace().AllWrites());
  EXPECT_EQ(3u, CountDelays(10));
  EXPECT_EQ(0x0008u, g_wIndex9Flags);  // the write of 0 to index 9 leaves the flags alone
  const std::vector<std::string> eco = {"Register0: 4af\n", "Register1: 257\n", "Register2: 3a\n",
                                        "Register3: 4af\n", "Register4: 257\n", "Register5: a000\n"};
  EXPECT_EQ(eco, log.Lines());
}

TEST_F(EpuTest, PowerOnLooksOnlyAtTheLowByteOfItsFlag) {
  const int32_t queries = HWCONFX_QueryCount();
  EXPECT_EQ(1, EPUN5_InitPowerOn(0x100));
  EXPECT_TRUE(epu->eco_words().empty());
  EXPECT_EQ(queries, HWCONFX_QueryCount());
  EXPECT_TRUE(log.Lines().empty());
}

struct EcoCase {
  double s118, duty, s120, s121, s122, s123;
  std::vector<uint16_t> words;
  const char* register5Log;
};

TEST_F(EpuTest, EcoDutyCycleRegistersFromSetupValues) {
  const EcoCase cases[] = {
      // 10 kHz, 50 %: 5 us is just below 60 counts in double arithmetic
      {10, 50, 5, 10, 50, 1, {1199, 599, 58, 1199, 599, 0xA000}, "Register5: a000\n"},
      // channel frequencies of 0 give period and duty 0
      {0, 50, 5, 0, 50, 1, {0, 0, 58, 0, 0, 0xA000}, "Register5: a000\n"},
      {0, 0, 5, 0, 0, 1, {0, 0, 58, 0, 0, 0xA000}, "Register5: a000\n"},
      // full duty clamps to 0, no duty keeps the period
      {10, 100, 5, 10, 0, 1, {1199, 0, 58, 1199, 1199, 0xA000}, "Register5: a000\n"},
      {10, 0, 5, 10, 100, 1, {1199, 1199, 58, 1199, 0, 0xA000}, "Register5: a000\n"},
      {20, 0, 5, 20, 0, 1, {599, 599, 58, 599, 599, 0xA000}, "Register5: a000\n"},
      // a negative duty lengthens, a tiny frequency clamps at 65535
      {10, -10, 5, 0.1, 50, 1, {1199, 1319, 58, 65535, 5535, 0xA000}, "Register5: a000\n"},
      // mode bits beyond 16 are logged but do not reach the port
      {20, 25, 0, 10, 50, 8, {599, 449, 0, 1199, 599, 0x8000}, "Register5: 18000\n"},
      {20, 25, 0.25, 10, 50, 3, {599, 449, 2, 1199, 599, 0xE000}, "Register5: e000\n"},
  };
  for (const EcoCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "S118 " << c.s118 << " duty " << c.duty << " S121 " << c.s121);
    HWCONFX_SetSetupValue(118, c.s118);
    HWCONFX_SetSetupValue(120, c.s120);
    HWCONFX_SetSetupValue(121, c.s121);
    HWCONFX_SetSetupValue(122, c.s122);
    HWCONFX_SetSetupValue(123, c.s123);
    machine.trace().Clear();
    log.Clear();
    EXPECT_EQ(1, EPUN5_SetEcoDutyCycle(c.duty));
    EXPECT_EQ(c.words, machine.trace().Writes(EpuModel::kEcoDutyCycle));
    ASSERT_EQ(6u, log.Lines().size());
    EXPECT_EQ(c.register5Log, log.Lines()[5]);
  }
}

TEST_F(EpuTest, ShutterAndSpeedShareIndexRegisterNine) {
  EPUN5_SetSMSpeed(1);                       // the flags are process-wide: start with the speed bit clear
  EXPECT_EQ(10, EPUN5_SetSWShutterOpen(1));  // what the closing 10 us pause returned
  EXPECT_EQ(0x0040, epu->control());
  EXPECT_EQ(0x0002, epu->indexed(9));
  EPUN5_SetSMSpeed(0);
  EXPECT_EQ(0x000A, epu->indexed(9));
  EPUN5_InitPowerOn(0);  // writes 0 to index 9, closes the shutter
  EXPECT_EQ(0x0000, epu->indexed(9));
  EXPECT_EQ(0x0000, epu->control());
  EPUN5_SetSWShutterOpen(7);
  EXPECT_EQ(0x000A, epu->indexed(9));  // the speed flag was kept
  EPUN5_SetSMSpeed(1);
  EXPECT_EQ(10, EPUN5_SetSWShutterOpen(0));
  EXPECT_EQ(0x0000, epu->indexed(9));
  // index 13 gets 0x0010 right before every write of index 9
  const auto writes = epu->indexed_writes();
  for (size_t i = 0; i < writes.size(); ++i)
    if (writes[i].first == 9) {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(13, writes[i - 1].first);
      EXPECT_EQ(0x0010, writes[i - 1].second);
    }
}

TEST_F(EpuTest, PreparationRunsInitActionAndTheStartHandshake) {
  const EPU_GRAVUR_PARAMS job = DefaultJob();
  EXPECT_EQ(1, EPUN5_GravurVorbereiten(job));

  const std::vector<std::string> lines = {"machine must running with correct DrumSpeed \n",
                                          "IPG must be programmed correct \n", "WRPL1_BIT wurde als 1 erkannt\n"};
  EXPECT_EQ(lines, log.Lines());
  const std::vector<uint16_t> control = {
      0x0000,                          // shutter closed
      0x0000, 0x0000,                  // InitAction: cleared, shutter closed
      0x0000, 0x0001, 0x0000, 0x0002,  // low pulses 0, 1
      0x0000, 0x0010, 0x0000, 0x0008,  // low pulses 4, 3
      0x0004, 0x0000,                  // high pulse 2
      0x0238,                          // SetBits: PX code, direction, start, row done
      0x0228, 0x0238,                  // low pulse 4
      0x023C, 0x0238, 0x0230, 0x0238,  // first try: high pulse 2, low pulse 3
  };
  EXPECT_EQ(control, machine.trace().Writes(EpuModel::kControl));
  EXPECT_EQ(std::vector<uint16_t>{0x8096}, machine.trace().Writes(EpuModel::kLaserPulse));
  EXPECT_EQ(5u, epu->reg(EpuModel::kShift));
  EXPECT_EQ(1000u, epu->reg(EpuModel::kRowLength));
  EXPECT_EQ(302u, epu->reg(EpuModel::kStartPos));
  EXPECT_EQ(0x1234u, epu->reg(EpuModel::kReg9B00));
  EXPECT_EQ(1u, epu->reg(EpuModel::kRegB700));
  EXPECT_EQ(std::vector<uint16_t>{65500}, machine.trace().Writes(EpuModel::kAdvanceDivider));
  EXPECT_EQ(1u, CountDelays(10000u * 1000u));
  EXPECT_TRUE(epu->started());
  EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
  EXPECT_EQ(1, g_pEPU->m_bFirstRow);
  EXPECT_EQ(0xFFFF, g_pEPU->m_wRowShift);
}

TEST_F(EpuTest, PreparationJobFlagsReachTheControlWord) {
  EPU_GRAVUR_PARAMS job = DefaultJob();
  job.wSMAuto = 1;
  job.wFlag7 = 1;
  job.wLLCode = 1;
  job.wRandomOffset = 3;
  PrepareJob(job);
  // SM auto 8, direction 9, flag 7, random offset 10, start 3, row done 4; no PX bit 5
  EXPECT_EQ(0x0798, epu->control());
}

struct RecordCase {
  const char* name;
  uint16_t randomOffset;
  uint32_t startposY, rowLength, reg9B00;
  double numerator, denominator;
  uint16_t startPos, b700, laserPulse, rowLengthWritten, reg9B00Written;
  bool startposLogged;
};

TEST_F(EpuTest, PreparationTakesTheJobRecordFieldByField) {
  const RecordCase cases[] = {
      {"random offset 1 forces start 0", 1, 300, 1000, 7, 1, 10000, 2, 0, 0x8096, 1000, 7, true},
      {"random offset 2 keeps the start", 2, 300, 1000, 7, 1, 10000, 302, 1, 0x8096, 1000, 7, false},
      {"random offset 1 at start 0 logs nothing", 1, 0, 1000, 7, 1, 10000, 2, 0, 0x8096, 1000, 7, false},
      {"ratio above 255 is capped", 0, 300, 1000, 7, 1, 5000, 302, 1, 0x80FF, 1000, 7, false},
      {"ratio 0 clears bit 15", 0, 300, 1000, 7, 0, 5000, 302, 1, 0x0000, 1000, 7, false},
      {"denominator 0", 0, 300, 1000, 7, 1, 0, 302, 1, 0x0000, 1000, 7, false},
      {"0 / 0", 0, 300, 1000, 7, 0, 0, 302, 1, 0x0000, 1000, 7, false},
      {"upper halves ignored", 0, 0x10000u + 300, 0x20000u + 1000, 0xABCD1234u, 1, 10000, 302, 1, 0x8096, 1000, 0x1234,
       false},
      {"start position wraps", 0, 0xFFFF, 1000, 7, 1, 10000, 1, 1, 0x8096, 1000, 7, false},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = DefaultJob();
    job.wRandomOffset = c.randomOffset;
    job.wStartposY = c.startposY;
    job.wRowLength = c.rowLength;
    job.w9B00Value = c.reg9B00;
    job.dPulseNumerator = c.numerator;
    job.dPulseDenominator = c.denominator;
    log.Clear();
    ASSERT_EQ(1, EPUN5_GravurVorbereiten(job));
    EXPECT_EQ(c.startPos, epu->reg(EpuModel::kStartPos));
    EXPECT_EQ(c.b700, epu->reg(EpuModel::kRegB700));
    EXPECT_EQ(c.laserPulse, epu->reg(EpuModel::kLaserPulse));
    EXPECT_EQ(c.rowLengthWritten, epu->reg(EpuModel::kRowLength));
    EXPECT_EQ(c.reg9B00Written, epu->reg(EpuModel::kReg9B00));
    EXPECT_EQ(c.startposLogged ? 1 : 0, log.Count("m_wStartposY = 300\n"));
  }
}

TEST_F(EpuTest, RandomTableFollowsThePulsesPerRow) {
  EPU_GRAVUR_PARAMS job = DefaultJob();
  job.dwPulsesPerRow = 0;
  PrepareJob(job);
  const uint16_t* table = g_pEPU->m_awRandomOffsets;
  EXPECT_TRUE(std::all_of(table, table + 1000, [](uint16_t v) { return v == 2; }));
  EXPECT_EQ(0, g_pEPU->m_wSpiralB700);

  // 0.8 x 30,000 would allow 24,000; the limit is 16,000.
  job.dwPulsesPerRow = 30000;
  PrepareJob(job);
  EXPECT_EQ(1500, g_pEPU->m_wSpiralB700);
  EXPECT_LE(*std::max_element(table, table + 1000), 16000);
  EXPECT_GT(*std::max_element(table, table + 1000), 15000);
  EXPECT_GE(*std::min_element(table, table + 1000), 2);

  // 0.8 x 1,000: a fresh table from the continuing sequence
  std::vector<uint16_t> before(table, table + 1000);
  job.dwPulsesPerRow = 1000;
  PrepareJob(job);
  EXPECT_LE(*std::max_element(table, table + 1000), 800);
  PrepareJob(job);
  EXPECT_FALSE(std::equal(before.begin(), before.end(), table));
}

// ---- Handshake failures --------------------------------------------------------

TEST_F(EpuTest, HandshakeWithoutBankZeroFailsAfterFiveTriesAndStillPolls) {
  epu->set_wrpl1_never_set(true);
  EXPECT_EQ(0, EPUN5_GravurVorbereiten(DefaultJob()));

  EXPECT_EQ(5u, CountDelays(10000u * 1000u));
  EXPECT_EQ(0, log.Count("WRPL1_BIT wurde als 1 erkannt\n"));
  EXPECT_EQ(1, log.Count("WRPL1_BIT wurde als 0 erkannt\n"));
  EXPECT_EQ(1, log.Count("Error in EPUN5_GravurVorbereiten : SetBits\n"));
  EXPECT_EQ(6u, epu->status_reads());  // five tries, then the first poll succeeds
  const auto err = testsupport::LastError();
  EXPECT_EQ(2006, err.code);
  EXPECT_EQ("CEPU.cpp", err.file);
  // the job's fields and row registers stay
  EXPECT_EQ(1000, g_pEPU->m_wRowLength);
  EXPECT_EQ(1000u, epu->reg(EpuModel::kRowLength));
  EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
}

TEST_F(EpuTest, HandshakeWithoutRowSlotGivesUpAfter2000Polls) {
  epu->set_wrallo_never_set(true);
  EXPECT_EQ(0, EPUN5_GravurVorbereiten(DefaultJob()));
  EXPECT_EQ(40, log.Count("WRALLO_BIT wurde als 0 erkannt -> retrying\n"));
  EXPECT_EQ(0, log.Count("ENVORSCH_BIT wurde als 1 erkannt -> retrying\n"));
  EXPECT_EQ(1, log.Count("2000 Retries -> immer noch nicht ok\n"));
  EXPECT_EQ(1, log.Count("Error in EPUN5_GravurVorbereiten : SetBits\n"));
  EXPECT_EQ(2000u, CountDelays(1000));
  EXPECT_EQ(2001u, epu->status_reads());
  EXPECT_EQ(2006, testsupport::LastError().code);
}

TEST_F(EpuTest, HandshakePollMessagesOnPolls1And51And101) {
  // the first status read is the handshake try's
  epu->ScriptBitFor(EpuModel::kWrallo, false, 1 + 120);
  epu->ScriptBit(EpuModel::kEnvorsch, std::vector<bool>(1, false));
  epu->ScriptBitFor(EpuModel::kEnvorsch, true, 60);
  EXPECT_EQ(1, EPUN5_GravurVorbereiten(DefaultJob()));

  const std::vector<std::string> lines = log.Lines();
  std::vector<std::string> polls(lines.begin() + 3, lines.end());
  const std::string wrallo = "WRALLO_BIT wurde als 0 erkannt -> retrying\n";
  const std::string envorsch = "ENVORSCH_BIT wurde als 1 erkannt -> retrying\n";
  EXPECT_EQ((std::vector<std::string>{wrallo, envorsch, wrallo, envorsch, wrallo}), polls);
  EXPECT_EQ(120u, CountDelays(1000));
  EXPECT_EQ(0, testsupport::LastError().code);
}

TEST_F(EpuTest, HandshakeSucceedsOnThe2000thPollButNotAfter) {
  epu->ScriptBitFor(EpuModel::kWrallo, false, 1 + 1999);
  EXPECT_EQ(1, EPUN5_GravurVorbereiten(DefaultJob()));
  EXPECT_EQ(0, log.Count("2000 Retries -> immer noch nicht ok\n"));
  EXPECT_EQ(1999u, CountDelays(1000));

  machine.trace().Clear();
  log.Clear();
  epu->ScriptBitFor(EpuModel::kWrallo, false, 1 + 2000);
  EXPECT_EQ(0, EPUN5_GravurVorbereiten(DefaultJob()));
  EXPECT_EQ(1, log.Count("2000 Retries -> immer noch nicht ok\n"));
}

// Any non-zero emulation flag, not only 1.
TEST_F(EpuTest, EmulatedPreparationSucceedsAtOnceWhateverTheBoardSays) {
  epu->set_wrpl1_never_set(true);
  epu->set_wrallo_never_set(true);
  for (int32_t emulation : {1, 2}) {
    SCOPED_TRACE(testing::Message() << "emulation " << emulation);
    ASSERT_EQ(1, CARDN5_SetEmulation(emulation));
    g_pEPU->m_wExpectedBank = 1;
    machine.trace().Clear();
    log.Clear();
    const uint64_t start = machine.NowNs();
    eputest::Watchdog watchdog("an emulated preparation");

    EXPECT_EQ(1, EPUN5_GravurVorbereiten(DefaultJob()));
    EXPECT_EQ(0u, CountDelays(10000u * 1000u));
    EXPECT_LT(machine.NowNs() - start, 1000000u);
    EXPECT_EQ(0u, epu->status_reads());
    for (const sim::TraceEntry& e : machine.trace().entries())
      EXPECT_TRUE(e.kind == sim::Access::Delay || e.emulated());
    // five tries, all reading 0 in emulation
    EXPECT_EQ(5u, machine.trace().ReadCount(EpuModel::kStatus));
    EXPECT_EQ(0, log.Count("WRPL1_BIT wurde als 0 erkannt\n"));
    EXPECT_EQ(0, log.Count("Error in EPUN5_GravurVorbereiten : SetBits\n"));
    EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
    CARDN5_SetEmulation(0);
  }
}

TEST_F(EpuTest, RowLengthZeroIsRefusedAndTheJobBeforeStays) {
  PrepareJob(DefaultJob());
  EPU_GRAVUR_PARAMS job = DefaultJob();
  job.wRowLength = 0x30000;  // low 16 bits 0
  job.wStartposY = 77;

  EXPECT_EQ(0, EPUN5_GravurVorbereiten(job));
  EXPECT_EQ(1, log.Count("InitParameter: wRowLength = 0 refused\n"));
  EXPECT_EQ(1, log.Count("Error in EPUN5_GravurVorbereiten : InitParameter\n"));
  EXPECT_EQ(2006, testsupport::LastError().code);
  EXPECT_EQ(1000, g_pEPU->m_wRowLength);
  EXPECT_EQ(300, g_pEPU->m_wStartposY);
  // only the shutter was written
  for (const auto& w : machine.trace().AllWrites())
    EXPECT_TRUE(w.first == EpuModel::kControl || w.first == EpuModel::kIndex || w.first == EpuModel::kData);
}

}  // namespace

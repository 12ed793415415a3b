// EPU power-on, shutter, eco duty cycle and job preparation against the
// simulated board.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "epu_support.h"
#include "hwconf32_ext.h"

namespace {

using eputest::EpuTest;
using eputest::Job;
using Writes = std::vector<std::pair<uint16_t, uint16_t>>;
using Lines = std::vector<std::string>;

// The one guard of power-on's order; the eco words come from the default setup values.
TEST_F(EpuTest, PowerOnWritesControlPulsesLaserCommandShutterEcoAndIndexedRegisters) {
  EPUN5_SetSMSpeed(0);  // a speed flag that power-on must not forget
  Forget();
  EXPECT_EQ(1, EPUN5_InitPowerOn(1));
  const Writes expected = {
      {0x8700, 0x0000}, {0x8700, 0x0000}, {0x8700, 0x0001}, {0x8700, 0x0000}, {0x8700, 0x0002},  // cleared, pulses 0, 1
      {0x8700, 0x0000}, {0x8700, 0x0010}, {0x8700, 0x0000}, {0x8700, 0x0008},                    // low pulses 4, 3
      {0x8700, 0x0004}, {0x8700, 0x0000}, {0xBB00, 0x0000}, {0x8300, 0x0202},  // high pulse 2, laser, command
      {0x8700, 0x0000}, {0xC700, 13},     {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0008},  // shutter closed
      {0xBF00, 1199},   {0xBF00, 599},    {0xBF00, 58},     {0xBF00, 1199},   {0xBF00, 599},
      {0xBF00, 0xA000}, {0xC700, 13},     {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0000},
      {0xC700, 5},      {0xCB00, 0x0001}, {0xC700, 1},      {0xCB00, 0x4A9E},
  };
  EXPECT_EQ(expected, machine.trace().AllWrites());
  EXPECT_EQ(3u, machine.trace().CountDelays(10));
  EXPECT_EQ(0x0008u, g_wIndex9Flags);  // the write of 0 to index 9 leaves the flags alone
  EXPECT_EQ((Lines{"Register0: 4af\n", "Register1: 257\n", "Register2: 3a\n", "Register3: 4af\n", "Register4: 257\n",
                   "Register5: a000\n"}),
            log.Lines());

  const int32_t queries = HWCONFX_QueryCount();
  EXPECT_EQ(1, EPUN5_InitPowerOn(0x100));  // only the low byte counts
  EXPECT_EQ(6u, epu->eco_words().size());
  EXPECT_EQ(queries, HWCONFX_QueryCount());
}

TEST_F(EpuTest, EcoDutyCycleRegistersFromSetupValues) {
  const struct {
    double s118, duty, s120, s121, s122, s123;
    std::vector<uint16_t> words;
    const char* register5Log;
  } cases[] = {
      // 10 kHz, 50 %: 5 us is just below 60 counts in double arithmetic
      {10, 50, 5, 10, 50, 1, {1199, 599, 58, 1199, 599, 0xA000}, "Register5: a000\n"},
      // channel frequencies of 0 give period and duty 0
      {0, 50, 5, 0, 50, 1, {0, 0, 58, 0, 0, 0xA000}, "Register5: a000\n"},
      // full duty clamps to 0, no duty keeps the period
      {10, 100, 5, 10, 0, 1, {1199, 0, 58, 1199, 1199, 0xA000}, "Register5: a000\n"},
      {10, 0, 5, 10, 100, 1, {1199, 1199, 58, 1199, 0, 0xA000}, "Register5: a000\n"},
      // a negative duty lengthens, a tiny frequency clamps at 65535
      {10, -10, 5, 0.1, 50, 1, {1199, 1319, 58, 65535, 5535, 0xA000}, "Register5: a000\n"},
      // mode bits beyond 16 are logged but do not reach the port
      {20, 25, 0, 10, 50, 8, {599, 449, 0, 1199, 599, 0x8000}, "Register5: 18000\n"},
      {20, 25, 0.25, 10, 50, 3, {599, 449, 2, 1199, 599, 0xE000}, "Register5: e000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "S118 " << c.s118 << " duty " << c.duty << " S121 " << c.s121);
    const double values[] = {c.s118, 0, c.s120, c.s121, c.s122, c.s123};
    for (int id = 118; id <= 123; ++id) HWCONFX_SetSetupValue(id, values[id - 118]);
    Forget();
    EXPECT_EQ(1, EPUN5_SetEcoDutyCycle(c.duty));
    EXPECT_EQ(c.words, machine.trace().Writes(epu::kEcoDutyCyclePort));
    ASSERT_EQ(6u, log.Lines().size());
    EXPECT_EQ(c.register5Log, log.Lines()[5]);
  }
}

// The shutter and the stepper speed share the flags of indexed register 9;
// power-on writes 0 there without forgetting them.
TEST_F(EpuTest, ShutterAndSpeedShareIndexRegisterNine) {
  const struct {
    const char* step;
    std::function<int32_t()> call;
    int32_t result;
    uint16_t control, index9, okOutput;
  } steps[] = {
      {"speed 1", [] { return EPUN5_SetSMSpeed(1); }, 10, 0x0000, 0x0000, 0x0000},
      {"shutter open", [] { return EPUN5_SetSWShutterOpen(1); }, 10, 0x0040, 0x0002, 0x0000},
      {"speed 0", [] { return EPUN5_SetSMSpeed(0); }, 10, 0x0040, 0x000A, 0x0008},
      {"power-on", [] { return EPUN5_InitPowerOn(0); }, 1, 0x0000, 0x0000, 0x0008},
      {"shutter open (7)", [] { return EPUN5_SetSWShutterOpen(7); }, 10, 0x0040, 0x000A, 0x0008},
      {"speed 5", [] { return EPUN5_SetSMSpeed(5); }, 10, 0x0040, 0x0002, 0x0000},
      {"shutter closed", [] { return EPUN5_SetSWShutterOpen(0); }, 10, 0x0000, 0x0000, 0x0000},
  };
  EPUN5_SetOKOutput(0);
  for (const auto& s : steps) {
    SCOPED_TRACE(s.step);
    EXPECT_EQ(s.result, s.call());  // the closing 10 us pause's result
    EXPECT_EQ(s.control, epu->control());
    EXPECT_EQ(s.index9, epu->indexed(epu::kFlagsIndex));
    EXPECT_EQ(s.okOutput, epu->ok_output());
  }
}

// The preparation's own sequence on the control word is the one guard of
// its order; the board checks the rows that follow.
TEST_F(EpuTest, PreparationRunsInitActionAndTheStartHandshake) {
  EXPECT_EQ(1, EPUN5_GravurVorbereiten(Job()));
  EXPECT_EQ((Lines{"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n",
                   "WRPL1_BIT wurde als 1 erkannt\n"}),
            log.Lines());
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
  EXPECT_EQ(control, machine.trace().Writes(epu::kControlPort));
  EXPECT_EQ(std::vector<uint16_t>{65500}, machine.trace().Writes(epu::kAdvanceDividerPort));
}

// flags sets wSMAuto, wFlag7 and wLLCode alike.
TEST_F(EpuTest, PreparationTakesTheJobRecordFieldByField) {
  const struct {
    const char* name;
    uint16_t randomOffset, flags;
    uint32_t startposY, rowLength, reg9B00;
    double ratioDenominator;
    uint16_t control, startPos, b700, laserPulse;
    bool startposLogged;
  } cases[] = {
      {"default", 0, 0, 300, 1000, 7, 10000, 0x0238, 302, 1, 0x8096, false},
      {"random offset 1 forces start 0", 1, 0, 300, 1000, 7, 10000, 0x0638, 2, 0, 0x8096, true},
      {"random offset 1 at start 0", 1, 0, 0, 1000, 7, 10000, 0x0638, 2, 0, 0x8096, false},
      {"flags and random offset 3", 3, 1, 300, 1000, 7, 10000, 0x0798, 302, 1, 0x8096, false},
      {"ratio above 255 is capped", 0, 0, 300, 1000, 7, 5000, 0x0238, 302, 1, 0x80FF, false},
      {"ratio 0 clears bit 15", 0, 0, 300, 1000, 7, 1e7, 0x0238, 302, 1, 0x0000, false},
      {"denominator 0", 0, 0, 300, 1000, 7, 0, 0x0238, 302, 1, 0x0000, false},
      {"upper halves", 0, 0, 0x10000u + 300, 0x20000u + 1000, 0xABCD0007u, 10000, 0x0238, 302, 1, 0x8096, false},
      {"start position wraps", 0, 0, 0xFFFF, 1000, 7, 10000, 0x0238, 1, 1, 0x8096, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EPU_GRAVUR_PARAMS job = Job();
    job.wRandomOffset = c.randomOffset;
    job.wSMAuto = job.wFlag7 = job.wLLCode = c.flags;
    job.wStartposY = c.startposY;
    job.wRowLength = c.rowLength;
    job.w9B00Value = c.reg9B00;
    job.dPulseDenominator = c.ratioDenominator;
    log.Clear();
    ASSERT_EQ(1, EPUN5_GravurVorbereiten(job));
    EXPECT_EQ(c.control, epu->control());
    EXPECT_EQ((std::vector<uint16_t>{5, 1000, c.startPos, 7, c.b700, c.laserPulse}),
              (std::vector<uint16_t>{epu->reg(epu::kShiftPort), epu->reg(epu::kRowLengthPort),
                                     epu->reg(epu::kStartPosPort), epu->reg(epu::kReg9B00Port),
                                     epu->reg(epu::kRegB700Port), epu->reg(epu::kLaserPulsePort)}));
    EXPECT_EQ(c.startposLogged ? 1 : 0, log.Count("m_wStartposY = 300\n"));
  }
}

TEST_F(EpuTest, RandomTableFollowsThePulsesPerRow) {
  const uint16_t* table = g_pEPU->m_awRandomOffsets;
  PrepareJob([](EPU_GRAVUR_PARAMS& j) { j.dwPulsesPerRow = 0; });
  EXPECT_TRUE(std::all_of(table, table + 1000, [](uint16_t v) { return v == 2; }));
  EXPECT_EQ(0, g_pEPU->m_wSpiralB700);

  // 0.8 x 30,000 would allow 24,000; the limit is 16,000.
  PrepareJob([](EPU_GRAVUR_PARAMS& j) { j.dwPulsesPerRow = 30000; });
  EXPECT_EQ(1500, g_pEPU->m_wSpiralB700);
  EXPECT_LE(*std::max_element(table, table + 1000), 16000);
  EXPECT_GT(*std::max_element(table, table + 1000), 15000);
  EXPECT_GE(*std::min_element(table, table + 1000), 2);

  // 0.8 x 1,000; each preparation draws a fresh table
  const std::vector<uint16_t> before(table, table + 1000);
  PrepareJob([](EPU_GRAVUR_PARAMS& j) { j.dwPulsesPerRow = 1000; });
  EXPECT_LE(*std::max_element(table, table + 1000), 800);
  EXPECT_FALSE(std::equal(before.begin(), before.end(), table));
}

// The five handshake tries (10 s each) and the 2000 polls for the row slot.
TEST_F(EpuTest, StartHandshakeTriesAndPolls) {
  using epu::Status;
  const std::string wrallo = "WRALLO_BIT wurde als 0 erkannt -> retrying\n";
  const std::string envorsch = "ENVORSCH_BIT wurde als 1 erkannt -> retrying\n";
  auto slotAfter120 = [](sim::EpuModel& b) {
    b.ScriptBitFor(Status::WRALLO_BIT, false, 1 + 120);
    b.ScriptBit(Status::ENVORSCH_BIT, {false});
    b.ScriptBitFor(Status::ENVORSCH_BIT, true, 60);
  };
  const struct {
    const char* name;
    std::function<void(sim::EpuModel&)> board;
    int32_t result;
    size_t tries, sleeps;
    uint64_t statusReads;
    Lines polls;  // the poll messages, in order
  } cases[] = {
      {"bank 0 at once", [](sim::EpuModel&) {}, 1, 1, 0, 2, {}},
      {"bank 0 never", [](sim::EpuModel& b) { b.set_wrpl1_never_set(true); }, 0, 5, 0, 6, {}},
      {"no row slot", [](sim::EpuModel& b) { b.set_wrallo_never_set(true); }, 0, 1, 2000, 2001, Lines(40, wrallo)},
      {"slot on the 2000th poll", [](sim::EpuModel& b) { b.ScriptBitFor(Status::WRALLO_BIT, false, 1 + 1999); }, 1, 1,
       1999, 2001, Lines(40, wrallo)},
      {"messages on polls 1, 51, 101", slotAfter120, 1, 1, 120, 122, {wrallo, envorsch, wrallo, envorsch, wrallo}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.board(*epu);
    const uint64_t reads = epu->status_reads();
    Forget();
    EXPECT_EQ(c.result, EPUN5_GravurVorbereiten(Job()));
    EXPECT_EQ(c.tries, machine.trace().CountDelays(10000u * 1000u));
    EXPECT_EQ(c.sleeps, machine.trace().CountDelays(1000));
    EXPECT_EQ(c.statusReads, epu->status_reads() - reads);
    EXPECT_EQ(c.polls, log.Containing("-> retrying"));
    EXPECT_EQ(0, g_pEPU->m_wExpectedBank);
    epu->set_wrpl1_never_set(false);
    epu->set_wrallo_never_set(false);
  }
}

}  // namespace

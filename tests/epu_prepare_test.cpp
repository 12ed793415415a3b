// EPU power-on, shutter, eco duty cycle and job preparation against the
// simulated board.

#include <algorithm>

#include "epu_support.h"
#include "hwconf32_ext.h"

namespace {

using namespace eputest;

// The one guard of power-on's order; the eco words come from the default setup values.
TEST_F(EpuTest, PowerOnWritesControlPulsesLaserCommandShutterEcoAndIndexedRegisters) {
  EPUN5_SetSMSpeed(0);  // a speed flag that power-on must not forget
  Forget();
  EXPECT_EQ(1, EPUN5_InitPowerOn(1));
  // The control word cleared, low pulses 0, 1, 4, 3, high pulse 2; the laser
  // pulse word, the command; the shutter closed; the eco words; the indexed
  // registers.
  const Writes expected = {{0x8700, 0x0000}, {0x8700, 0x0000}, {0x8700, 0x0001}, {0x8700, 0x0000}, {0x8700, 0x0002},
                           {0x8700, 0x0000}, {0x8700, 0x0010}, {0x8700, 0x0000}, {0x8700, 0x0008}, {0x8700, 0x0004},
                           {0x8700, 0x0000}, {0xBB00, 0x0000}, {0x8300, 0x0202}, {0x8700, 0x0000}, {0xC700, 13},
                           {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0008}, {0xBF00, 1199},   {0xBF00, 599},
                           {0xBF00, 58},     {0xBF00, 1199},   {0xBF00, 599},    {0xBF00, 0xA000}, {0xC700, 13},
                           {0xCB00, 0x0010}, {0xC700, 9},      {0xCB00, 0x0000}, {0xC700, 5},      {0xCB00, 0x0001},
                           {0xC700, 1},      {0xCB00, 0x4A9E}};
  EXPECT_EQ(expected, machine.trace().AllWrites());
  // three 10 us pauses; the write of 0 to index 9 leaves the flags alone
  EXPECT_EQ((std::pair<size_t, int>{3, 0x0008}),
            (std::pair<size_t, int>{machine.trace().CountDelays(10), g_wIndex9Flags}));
  EXPECT_EQ((Lines{"Register0: 4af\n", "Register1: 257\n", "Register2: 3a\n", "Register3: 4af\n", "Register4: 257\n",
                   "Register5: a000\n"}),
            log.Lines());

  const int32_t queries = HWCONFX_QueryCount();
  EXPECT_EQ(1, EPUN5_InitPowerOn(0x100));  // only the low byte counts
  EXPECT_EQ(6u, epu->eco_words().size());
  EXPECT_EQ(queries, HWCONFX_QueryCount());
}

TEST_F(EpuTest, EcoDutyCycleRegistersFromSetupValues) {
  // setup values 118, 120 to 123, the duty; the words and the last line logged
  const std::tuple<double, double, double, double, double, double, std::vector<uint16_t>, const char*> cases[] = {
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
  for (const auto& [s118, duty, s120, s121, s122, s123, words, register5Log] : cases) {
    SCOPED_TRACE(testing::Message() << "S118 " << s118 << " duty " << duty << " S121 " << s121);
    const double values[] = {s118, 0, s120, s121, s122, s123};
    for (int id = 118; id <= 123; ++id) HWCONFX_SetSetupValue(id, values[id - 118]);
    Forget();
    EXPECT_EQ(1, EPUN5_SetEcoDutyCycle(duty));
    EXPECT_EQ(words, machine.trace().Writes(epu::kEcoDutyCyclePort));
    EXPECT_EQ(register5Log, log.Lines().back());
  }
}

// The shutter and the stepper speed share the flags of indexed register 9;
// power-on writes 0 there without forgetting them.
TEST_F(EpuTest, ShutterAndSpeedShareIndexRegisterNine) {
  // the step, its result, then the control word, index 9 and the output word
  const std::tuple<const char*, std::function<int32_t()>, int32_t, uint16_t, uint16_t, uint16_t> steps[] = {
      {"speed 1", [] { return EPUN5_SetSMSpeed(1); }, 10, 0x0000, 0x0000, 0x0000},
      {"shutter open", [] { return EPUN5_SetSWShutterOpen(1); }, 10, 0x0040, 0x0002, 0x0000},
      {"speed 0", [] { return EPUN5_SetSMSpeed(0); }, 10, 0x0040, 0x000A, 0x0008},
      {"power-on", [] { return EPUN5_InitPowerOn(0); }, 1, 0x0000, 0x0000, 0x0008},
      {"shutter open (7)", [] { return EPUN5_SetSWShutterOpen(7); }, 10, 0x0040, 0x000A, 0x0008},
      {"speed 5", [] { return EPUN5_SetSMSpeed(5); }, 10, 0x0040, 0x0002, 0x0000},
      {"shutter closed", [] { return EPUN5_SetSWShutterOpen(0); }, 10, 0x0000, 0x0000, 0x0000},
  };
  EPUN5_SetOKOutput(0);
  for (const auto& [step, call, result, control, index9, okOutput] : steps) {
    SCOPED_TRACE(step);
    // the result is the closing 10 us pause's
    EXPECT_EQ((std::vector<int>{result, control, index9, okOutput}),
              (std::vector<int>{call(), epu->control(), epu->indexed(epu::kFlagsIndex), epu->ok_output()}));
  }
}

// The preparation's own sequence on the control word is the one guard of
// its order; the board checks the rows that follow.
TEST_F(EpuTest, PreparationRunsInitActionAndTheStartHandshake) {
  EXPECT_EQ(1, EPUN5_GravurVorbereiten(Job()));
  EXPECT_EQ((Lines{"machine must running with correct DrumSpeed \n", "IPG must be programmed correct \n",
                   "WRPL1_BIT wurde als 1 erkannt\n"}),
            log.Lines());
  // Shutter closed; InitAction: cleared, shutter closed, low pulses 0, 1, 4, 3,
  // high pulse 2; SetBits: PX code, direction, start, row done; low pulse 4;
  // the first try: high pulse 2, low pulse 3.
  const std::vector<uint16_t> control = {0x0000, 0x0000, 0x0000, 0x0000, 0x0001, 0x0000, 0x0002,
                                         0x0000, 0x0010, 0x0000, 0x0008, 0x0004, 0x0000, 0x0238,
                                         0x0228, 0x0238, 0x023C, 0x0238, 0x0230, 0x0238};
  EXPECT_EQ(control, machine.trace().Writes(epu::kControlPort));
  EXPECT_EQ(std::vector<uint16_t>{65500}, machine.trace().Writes(epu::kAdvanceDividerPort));
}

// flags sets wSMAuto, wFlag7 and wLLCode alike.
TEST_F(EpuTest, PreparationTakesTheJobRecordFieldByField) {
  // random offset, flags, start position, row length, 9B00 value, ratio
  // denominator; the control word, start position, B700 and laser pulse
  // registers, and whether the start position is logged
  using Row = std::tuple<const char*, uint16_t, uint16_t, uint32_t, uint32_t, uint32_t, double, uint16_t, uint16_t,
                         uint16_t, uint16_t, bool>;
  const Row cases[] = {
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
  for (const auto& [name, randomOffset, flags, startposY, rowLength, reg9B00, denominator, control, startPos, b700,
                    laserPulse, startposLogged] : cases) {
    SCOPED_TRACE(name);
    EPU_GRAVUR_PARAMS job = Job();
    std::tie(job.wRandomOffset, job.wStartposY, job.wRowLength, job.w9B00Value, job.dPulseDenominator) =
        std::make_tuple(randomOffset, startposY, rowLength, reg9B00, denominator);
    job.wSMAuto = job.wFlag7 = job.wLLCode = flags;
    log.Clear();
    ASSERT_EQ(1, EPUN5_GravurVorbereiten(job));
    EXPECT_EQ((std::vector<uint16_t>{control, 5, 1000, startPos, 7, b700, laserPulse}),
              (std::vector<uint16_t>{epu->control(), epu->reg(epu::kShiftPort), epu->reg(epu::kRowLengthPort),
                                     epu->reg(epu::kStartPosPort), epu->reg(epu::kReg9B00Port),
                                     epu->reg(epu::kRegB700Port), epu->reg(epu::kLaserPulsePort)}));
    EXPECT_EQ(startposLogged ? 1 : 0, log.Count("m_wStartposY = 300\n"));
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

}  // namespace

/* A Windows host as the machine's application is one: it knows CARDN532.DLL
 * only by its file name and the decorated export names, loads it at run
 * time, resolves every export and calls through stdcall function pointers.
 * Run under Wine.
 *
 * The boards it drives are a small device of its own, attached to the hwio32
 * stand-in from this side of the DLL boundary, on a virtual clock set in
 * timing32: just enough machine for each board's main path to succeed,
 * recording what reached the ports so that the results can be checked. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "cardN532.h"
#include "hwio32_ext.h"
#include "timing32_ext.h"

static int g_failures;

static void Check(int ok, const char* what) {
  printf("%s %s\n", ok ? "ok  " : "FAIL", what);
  if (!ok) ++g_failures;
}

/* ---- Exports, by the names a host built against the DLL imports ---------- */

static struct {
  const char *name, *decorated;
  void* p;
} g_exports[] = {
#include "wine_exports.h" /* made from cardN5/exports.txt */
};
#define NEXPORTS (sizeof g_exports / sizeof g_exports[0])

static void* Fn(const char* name) {
  size_t i;
  for (i = 0; i < NEXPORTS; ++i)
    if (strcmp(g_exports[i].name, name) == 0) return g_exports[i].p;
  return NULL;
}
/* The export as a pointer of its declared type, stdcall included. */
#define X(name) ((__typeof__(&name))Fn(#name))

/* ---- The device ------------------------------------------------------------ */

typedef struct Device {
  uint16_t out[65536]; /* last value written to each port */
  uint64_t qwNowUs;
  int nEpuBank, nIndexReads;        /* EPU: bank offered; index pulse source */
  uint32_t adwCode[3], dwSmSteps;   /* EPU: code row (kind, arguments), stepper moves */
  int nMbuBank, bMbuTrigger;        /* MBU: bank open to the PC, trigger taken */
  uint32_t dwMbuWords, dwMbuSum;    /* MBU: memory words written */
  int nLens, nOptic, nOpticToggles; /* lens and optic positions, 0 at the sensor */
  uint32_t adwVorschub[7];          /* CSE: the last row's arguments */
  int bPcStrobe, bPcAck;            /* IOD: the PC's handshake lines */
  uint8_t abRx[256], abTx[256];     /* IOD: telegram from and answer to the PC */
  int nRx, nTx, iTx;
} Device;

static Device g_dev;

static int Edge(uint16_t prev, uint16_t now, int bit, int rising) {
  return ((prev >> bit) & 1) == (rising ? 0 : 1) && ((now >> bit) & 1) == (rising ? 1 : 0);
}

/* The MCM checks the telegram (N6 marks the length and clears checksum bit 7)
 * and answers "N5 <command>" or "N6 <command>", or "BAD" for a wrong checksum. */
static void McmAnswer(void) {
  Device* d = &g_dev;
  int n = d->nRx - 3, i;
  uint16_t sum = 0, mask = (d->abRx[0] & 0x80) ? 0xFF7F : 0xFFFF;
  char text[260];
  for (i = 0; i < n; ++i) sum = (uint16_t)(sum + d->abRx[1 + i]);
  if ((sum & mask) == (d->abRx[n + 1] | d->abRx[n + 2] << 8))
    snprintf(text, sizeof text, "N%c %.*s", mask == 0xFFFF ? '5' : '6', n, (const char*)d->abRx + 1);
  else
    strcpy(text, "BAD");
  n = (int)strlen(text);
  d->abTx[0] = (uint8_t)(n + 2);
  for (sum = 0, i = 0; i < n; ++i) sum = (uint16_t)(sum + (d->abTx[1 + i] = (uint8_t)text[i]));
  d->abTx[n + 1] = (uint8_t)sum;
  d->abTx[n + 2] = (uint8_t)(sum >> 8);
  d->nTx = n + 3;
  d->iTx = d->nRx = 0;
}

static void McmOut(uint16_t v) {
  Device* d = &g_dev;
  int strobe = (v >> 8) & 1, ack = (v >> 9) & 1;
  if (d->bPcStrobe && !strobe) { /* a byte for the MCM */
    d->abRx[d->nRx++] = (uint8_t)v;
    if (d->nRx == (d->abRx[0] & 0x7F) + 1) McmAnswer();
  }
  if (!d->bPcAck && ack && d->iTx < d->nTx) ++d->iTx; /* the PC took a byte */
  d->bPcStrobe = strobe;
  d->bPcAck = ack;
}

static uint16_t McmIn(void) {
  Device* d = &g_dev;
  int pending = d->iTx < d->nTx;
  /* a byte stays on the lines until the PC releases its acknowledge; ready
   * while the PC's strobe is high; telegram ok, right wheel, device not ready */
  return (uint16_t)((pending ? d->abTx[d->iTx] : 0) | (pending && d->bPcAck ? 0 : 0x100) | (d->bPcStrobe << 9) |
                    0x2C00);
}

static void __cdecl DevOut(void* ctx, uint16_t port, uint16_t v, uint32_t flags) {
  Device* d = &g_dev;
  uint16_t prev = d->out[port];
  (void)ctx;
  d->out[port] = v;
  if (port == 0x8700 && Edge(prev, v, 3, 0)) d->nEpuBank = 0;  /* job start */
  if (port == 0x8700 && Edge(prev, v, 2, 1)) d->nEpuBank ^= 1; /* bank change */
  if (port == 0xAB00 && Edge(prev, v, 1, 1)) d->nLens += (v & 4) ? 1 : -1;
  if (port == 0xAB00 && ((prev ^ v) & 8) && (++d->nOpticToggles & 1) == 0) d->nOptic += (v & 4) ? 1 : -1;
  if (port == 0xA300 && (flags & HWIO_ACC_DIRECT)) ++d->dwMbuWords, d->dwMbuSum += v;
  if (port == 0xAF00 && v == 3) d->nMbuBank = d->bMbuTrigger = 0; /* soft reset */
  if (port == 0xAF00 && (v == 5 || v == 10 || v == 12 || v == 13)) d->nMbuBank ^= 1, d->bMbuTrigger = 1;
  if (port == 0xC300) McmOut(v);
}

static uint16_t __cdecl DevIn(void* ctx, uint16_t port, uint32_t flags) {
  /* CSE: red 0x80, green 0x40, blue 0x20, ready, lamp lit; DCA: only the right sensor inactive */
  static const uint16_t kFixed[][2] = {{0x3B00, 0x4080}, {0x3700, 0x0020}, {0x3300, 0x0082}, {0x5300, 0x1000}};
  Device* d = &g_dev;
  size_t i;
  (void)ctx, (void)flags;
  /* row slot, bank 0 flag, PLL locked, index every other read */
  if (port == 0x8300) return (uint16_t)(0x42 | (d->nEpuBank == 0 ? 4 : 0) | ((++d->nIndexReads & 2) << 3));
  /* FINP: reference sensor bit 0, optic end sensor bit 3, active low */
  if (port == 0x8700) return (uint16_t)((d->nLens > 0 ? 1 : 0) | (d->nOptic > 0 ? 8 : 0));
  /* PLL, jumper ID 2 (TRIM), bank, trigger taken */
  if (port == 0xA700) return (uint16_t)(0x5000 | d->nMbuBank << 1 | (d->bMbuTrigger ? 0x20 : 0));
  /* acknowledge follows the stop request; never busy */
  if (port == 0x3F00) return (uint16_t)(d->out[0x3F00] & 0x100);
  if (port == 0xC300) return McmIn();
  for (i = 0; i < sizeof kFixed / sizeof kFixed[0]; ++i)
    if (kFixed[i][0] == port) return kFixed[i][1];
  return 0;
}

static int32_t __cdecl DevCode(void* ctx, int32_t kind, uint32_t a1, uint32_t a2, uint32_t flags) {
  (void)ctx, (void)flags;
  g_dev.adwCode[0] = (uint32_t)kind, g_dev.adwCode[1] = a1, g_dev.adwCode[2] = a2;
  return 1;
}

static int32_t __cdecl DevVorschub(void* ctx, const uint32_t* args, uint32_t flags) {
  (void)ctx, (void)flags;
  memcpy(g_dev.adwVorschub, args, sizeof g_dev.adwVorschub);
  return 1;
}

static void __cdecl Advance(void* ctx, uint64_t us) {
  (void)ctx;
  g_dev.qwNowUs += us;
}

static int32_t __stdcall SmMove(uint32_t steps, uint32_t one, uint32_t zero) {
  g_dev.dwSmSteps += steps + one * 1000 + zero * 100000;
  return 1;
}

/* ---- One scenario per board ---------------------------------------------------- */

static void Frame(void) {
  Check(X(CARDN5_PortOut)(0xABCD0704u, 0x55AA1234u) == 1 && g_dev.out[0x0704] == 0x1234,
        "PortOut: low 16 bits of port and value");
  Check(X(CARDN5_PortIn)(0x1111C300u) == McmIn(), "PortIn: the device's answer from the low 16 bits");
}

static void Mbu(void) {
  static uint16_t awData[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  MBU_BLOCK_INFO b = {.pwData = awData, .dwPixelX = 32, .dwPixelY = 4, .dwSteps = 10};
  MBU_CARD_INFO info;
  Check(X(MBUN5_InitPowerOn)() == 1, "MBU power-on reads jumper ID 2");
  info = X(MBUN5_GetCardInfo)();
  Check(info.dwJumperID == 2 && info.dwPossiblePixels == 0x800000 && info.dwAdvanceType == 2,
        "MBU card info returned by value: ID 2, 8M pixels, TRIM");
  Check(X(MBUN5_InitAction)(0xFFFFFFFFu, 7) == 1 && g_dev.out[0xAF00] == 3, "InitAction resets the board");
  Check(X(MBUN5_WriteBlock)(b) == 1 && g_dev.dwMbuWords == 8 && g_dev.dwMbuSum == 36,
        "WriteBlock by value: 32 x 4 pixels are 8 words into bank 0");
  Check(X(MBUN5_TriggerBlock)(b) == 1 && g_dev.out[0xAF00] == 5 && g_dev.nMbuBank == 1,
        "TriggerBlock hands the block over with segment 0");
  Check(X(MBUN5_WriteBlock)(b) == 1 && g_dev.dwMbuWords == 16, "the next block goes into bank 1");
}

static void Epu(void) {
  EPU_GRAVUR_PARAMS p = {0};
  p.dwPulsesPerRow = 4000, p.wRowLength = 1000, p.dPulseNumerator = 1, p.dPulseDenominator = 10000;
  p.w9B00Value = 0x9B, p.wStartposY = 40;
  Check(X(IPGN5_SetIPGPulses)(1000) == 1 && g_dev.out[0x0300] == 4 && g_dev.out[0x0700] == 0x80C0,
        "IPG: 640 counts a pulse, no correction");
  Check(X(EPUN5_InitPowerOn)(0) == 1, "EPU power-on");
  Check(X(EPUN5_SetDAC0)(2.0) == 1 && g_dev.out[0xAF00] == 819, "DAC 0 at 2 V is 819");
  Check(X(EPUN5_GravurVorbereiten)(p) == 1, "GravurVorbereiten by value starts the job");
  Check(
      g_dev.out[0x9700] == 1000 && g_dev.out[0x9B00] == 0x9B && g_dev.out[0xA300] == 42 && g_dev.out[0xBB00] == 0x8096,
      "the record's row length, 9B00 value, start position and pulse ratio reached the board");
  Check(X(EPUN5_DoOneRow)(0x1000, 0x2000, 0, 5, 3, SmMove) == 1 && g_dev.out[0x9300] == 1 &&
            g_dev.adwCode[0] == HWIO_CODE_PX && g_dev.adwCode[1] == 0x1000 && g_dev.adwCode[2] == 0x2000 &&
            g_dev.dwSmSteps == 0,
        "first row: shift 1, PX code, no stepper move");
  Check(X(EPUN5_DoOneRow)(0x3000, 0x4000, 0, 5, 3, SmMove) == 1 && g_dev.adwCode[1] == 0x3000 &&
            g_dev.dwSmSteps == 1005 && g_dev.nEpuBank == 0 && (g_dev.out[0x8700] & 0x800) == 0,
        "second row into bank 1 after the host's stepper moved 5 steps");
}

static void Iod(void) {
  char answer[249];
  Check(X(IODN5_RepReceiveTxt)("STATUS?", answer) == 1 && strcmp(answer, "N5 STATUS?") == 0, "IOD N5 exchange");
  /* Its checksum has bit 7 set: only N6's mask makes the MCM accept it. */
  Check(X(IODN6_RepReceiveTxt)("STATUS?]", answer) == 1 && strcmp(answer, "N6 STATUS?]") == 0, "IOD N6 exchange");
  Check(X(IODN6_SingleReceiveTxt)("GO", answer) == 1 && strcmp(answer, "N6 GO") == 0, "IOD N6 single exchange");
  Check(X(IODN5_RepSendTxt)("GO") == 1 && X(IODN6_RepSendTxt)("GO") == 1, "IOD sending in both variants");
  Check(X(IODN5_TestRapportStand)() == 1 && X(IODN5_TestDeviceReady)() == 0 && X(IODN5_IsXenonOn)() == 1,
        "IOD status inputs");
}

static void Heads(void) {
  g_dev.nLens = 40, g_dev.nOptic = 300, g_dev.nOpticToggles = 0;
  Check(X(CPHN5_InitPowerOn)() == 1 && X(CPHN5_GotoRepeatPosition)() == 39 && g_dev.nLens == 1,
        "CPH: 40 steps onto the sensor, 1 off it");
  Check(X(CPHN5_SetCalibParam)(100.0, 100.0, 25) == 1 && X(CPHN5_GotoEngravingPosition)() == 1 && g_dev.nLens == 26,
        "CPH: engraving position 25 steps from the repeat position");
  Check(X(SDUN5_InitPowerOn)() == 1 && X(SDUN5_SetOpticPosition)(100) == 1 && g_dev.nOptic == 100,
        "SDU: optic to its end sensor, then 100 steps");
  Check(X(DCAN5_InitPowerOn)() == 1 && X(DCAN5_SetLEFokusspannung)(5.0) == 1 && (g_dev.out[0x4300] & 0xFF) == 127,
        "DCA: LE focus 5 V is code 127");
  Check(X(DCAN5_SetLDKFokusspannung)(2.0) == 1 && g_dev.out[0x4B00] >> 8 == 51, "DCA: LDK focus 2 V is code 51");
  Check(X(DCAN5_TestLeftSensor)() == 1 && X(DCAN5_TestRightSensor)() == 0, "DCA sensors, active low");
}

static void Cse(void) {
  uint32_t rgb = 0;
  Check(X(CSEN5_InitPowerOn)() == 1 && X(CSEN5_SetScanmode)(1, 1, 0) == 1, "CSE scan mode 1, light source 1");
  Check((g_dev.out[0x2F00] & 0x8032) == 2 && (g_dev.out[0x3F00] & 0x100) != 0,
        "CSE: mode and light source bits, sequence stopped again");
  Check(X(CSEN5_GetRGBValue)(&rgb) == 1 && rgb == 0x204080, "CSE RGB reading");
  Check(X(CSEN5_ScanOneRow)(7, 100, 0, 4, 5) == 1 && g_dev.adwVorschub[0] == 7 && g_dev.adwVorschub[1] == 100 &&
            g_dev.adwVorschub[4] == 5,
        "CSE row handed to the advance poll");
  Check(X(CSEN5_GetDeviceReady)() == 1 && X(CSEN5_IsXenonOn)() == 1, "CSE status");
}

int main(void) {
  static const char* const kUndecorated[] = {"CARDN5_PortOut", "CARDN5_PortOut@8", "MBUN5_InitAction",
                                             "_MBUN5_InitAction@8"};
  HWIO_DEVICE dev = {.pfnIn = DevIn, .pfnOut = DevOut, .pfnWriteCode = DevCode, .pfnPollVorschub = DevVorschub};
  HMODULE hLib = LoadLibraryA("CARDN532.DLL"), hIo = GetModuleHandleA("hwio32.dll"),
          hTime = GetModuleHandleA("timing32.dll");
  size_t i, nMissing = 0;
  if (!hLib) {
    printf("FAIL LoadLibrary(CARDN532.DLL): error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  for (i = 0; i < NEXPORTS; ++i)
    if ((g_exports[i].p = (void*)GetProcAddress(hLib, g_exports[i].decorated)) == NULL)
      printf("FAIL missing export %s\n", g_exports[i].decorated), ++nMissing;
  Check(NEXPORTS == 122 && nMissing == 0, "all 122 exports resolved by their decorated names");
  for (i = 0; i < sizeof kUndecorated / sizeof kUndecorated[0]; ++i)
    if (GetProcAddress(hLib, kUndecorated[i]) != NULL)
      printf("FAIL exported undecorated: %s\n", kUndecorated[i]), ++g_failures;
  if (nMissing || !hIo || !hTime) return printf("FAIL\n"), 1;

  g_dev.bPcStrobe = g_dev.bPcAck = 1;
  Check(((int32_t(__stdcall*)(PFN_TIMINGX_Advance, void*))(void*)GetProcAddress(hTime, "_TIMINGX_SetVirtualClock@8"))(
            Advance, NULL) == 1,
        "virtual clock set");
  Check(((int32_t(__stdcall*)(const HWIO_DEVICE*))(void*)GetProcAddress(hIo, "_HWIOX_AttachDevice@4"))(&dev) == 1,
        "device attached");
  Check(X(CARDN5_SetEmulation)(0) == 0 && X(CARDN5_CreateCardObjects)() == 1 && X(CARDN5_SetEmulation)(0) == 1,
        "board objects created, emulation off");
  Frame();
  Mbu();
  Epu();
  Iod();
  Heads();
  Cse();
  X(CARDN5_DeleteCardObjects)();
  Check(X(CARDN5_SetEmulation)(1) == 0 && FreeLibrary(hLib) != 0, "board objects deleted, library freed");
  printf("%s (%d failed, %.3f s virtual)\n", g_failures ? "FAIL" : "PASS", g_failures, g_dev.qwNowUs / 1e6);
  return g_failures ? 1 : 0;
}

// hwio32 stand-in. Every access goes to one of three backends: emulation (no
// port touched), an attached device model (the simulator or a host's own), or
// the real ports once HWIO_GrantPortAccess has obtained access.
#include "hwio32.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#if defined(__linux__) && (defined(__i386__) || defined(__x86_64__))
#include <sys/io.h>
#define HWIO_HAVE_LINUX_PORTS 1
#endif

#include "errlog32.h"
#include "hwio32_ext.h"
#include "lock.h"

namespace {

// What every access reads, without a lock (a port access is the
// simulator's hottest path) and constant-initialized (no guard to test).
// Each attached device is copied once and the copy kept until the process
// ends, so that a call in flight on another thread still holds a valid one
// after a detach.
std::atomic<const HWIO_DEVICE*> g_device{nullptr};
std::atomic<int32_t> g_emulation{0};

struct IoState {
  cardn5::Lock lock;  // attach and detach
  std::vector<std::unique_ptr<HWIO_DEVICE>> copies;
  std::atomic<int32_t> portAccess{0};
  std::atomic<int32_t> refusalLogged{0};
  std::atomic<int32_t> noBackendLogged{0};
};

IoState& State() {
  static IoState* s = new IoState;
  return *s;
}

const HWIO_DEVICE* Device() { return g_device.load(std::memory_order_acquire); }

// Under the lock. A device attached before (the same machine again) reuses
// its copy.
const HWIO_DEVICE* KeepCopy(const HWIO_DEVICE& dev) {
  IoState& s = State();
  for (const auto& copy : s.copies)
    if (std::memcmp(copy.get(), &dev, sizeof dev) == 0) return copy.get();
  s.copies.push_back(std::make_unique<HWIO_DEVICE>(dev));
  return s.copies.back().get();
}

uint32_t EmulationFlag() { return g_emulation.load() ? HWIO_ACC_EMULATED : 0u; }

void LogRefusedOnce() {
  if (State().refusalLogged.exchange(1) == 0)
    ERRLOG_WriteToLOGFile("hwio32: no port access; reads return 0xFFFF and writes are dropped\n");
}

uint16_t RealIn(uint16_t port) {
#if HWIO_HAVE_LINUX_PORTS
  if (State().portAccess.load()) return inw(port);
#else
  (void)port;
#endif
  LogRefusedOnce();
  return 0xFFFF;
}

bool RealOut(uint16_t port, uint16_t value) {
#if HWIO_HAVE_LINUX_PORTS
  if (State().portAccess.load()) {
    outw(value, port);
    return true;
  }
#else
  (void)port;
  (void)value;
#endif
  LogRefusedOnce();
  return false;
}

// One port read as the boards see it; flags say how it was made.
uint16_t PortIn(uint16_t port, uint32_t flags) {
  flags |= EmulationFlag();
  if (const HWIO_DEVICE* dev = Device()) {
    if (!dev->pfnIn) return (flags & HWIO_ACC_EMULATED) ? 0 : 0xFFFF;
    // The device's value as it is (a tail call), but an emulated read is 0.
    if (!(flags & HWIO_ACC_EMULATED)) return dev->pfnIn(dev->pCtx, port, flags);
    dev->pfnIn(dev->pCtx, port, flags);
    return 0;
  }
  if (flags & HWIO_ACC_EMULATED) return 0;
  return RealIn(port);
}

int32_t PortOut(uint16_t port, uint16_t value, uint32_t flags) {
  flags |= EmulationFlag();
  if (const HWIO_DEVICE* dev = Device()) {
    if (dev->pfnOut) dev->pfnOut(dev->pCtx, port, value, flags);
    return 1;
  }
  if (flags & HWIO_ACC_EMULATED) return 1;
  return RealOut(port, value) ? 1 : 0;
}

uint16_t Mask(int32_t bit) { return (bit >= 0 && bit < 16) ? static_cast<uint16_t>(1u << bit) : 0; }

uint32_t PulseFlags(uint32_t kind, int32_t bit) {
  return kind | (static_cast<uint32_t>(bit & 0xF) << HWIO_ACC_BIT_SHIFT);
}

void LogNoBackendOnce(const char* what) {
  if (State().noBackendLogged.exchange(1) == 0)
    ERRLOG_WriteToLOGFile("hwio32: %s needs a device model or emulation in this stand-in\n", what);
}

int32_t WriteCode(int32_t kind, uint32_t a1, uint32_t a2) {
  uint32_t flags = EmulationFlag();
  if (const HWIO_DEVICE* dev = Device())
    return dev->pfnWriteCode ? dev->pfnWriteCode(dev->pCtx, kind, a1, a2, flags) : 1;
  if (flags) return 1;
  LogNoBackendOnce(kind == HWIO_CODE_PX ? "HWIO_WritePXCode" : "HWIO_WriteLLCode");
  return 0;
}

int32_t Interrupts(int32_t enabled) {
  uint32_t flags = EmulationFlag();
  const HWIO_DEVICE* dev = Device();
  if (dev && dev->pfnInterrupts) dev->pfnInterrupts(dev->pCtx, enabled, flags);
  // A user-mode process cannot mask interrupts; the counting loops tolerate
  // that on a bench machine, and the real library does it in its driver.
  return 1;
}

}  // namespace

int32_t CARDN5_STDCALL HWIO_GrantPortAccess(void) {
  IoState& s = State();
#if HWIO_HAVE_LINUX_PORTS
  // A development machine's ports belong to other hardware: touching them
  // only because the process happens to run as root could do real harm, so
  // the real ports need an explicit opt-in.
  const char* optIn = std::getenv("CARDN5_HWIO_REAL");
  if (!optIn || std::strcmp(optIn, "1") != 0) {
    ERRLOG_WriteToLOGFile("hwio32: real port access is off (set CARDN5_HWIO_REAL=1 on the machine)\n");
    s.refusalLogged.store(1);
    return 0;
  }
  // ioperm covers only ports below 0x400; the boards sit up to 0xFF00.
  if (iopl(3) == 0) {
    s.portAccess.store(1);
    return 1;
  }
  ERRLOG_WriteToLOGFile("hwio32: port access refused (iopl: %s)\n", std::strerror(errno));
#else
  ERRLOG_WriteToLOGFile("hwio32: port access refused (no port access on this platform)\n");
#endif
  s.refusalLogged.store(1);
  return 0;
}

int32_t CARDN5_STDCALL HWIO_SetEmulation(int32_t bOn) {
  g_emulation.store(bOn != 0 ? 1 : 0);
  return 1;
}

int32_t CARDN5_STDCALL HWIO_Hout(uint16_t wPort, uint16_t wValue) { return PortOut(wPort, wValue, 0); }

int32_t CARDN5_STDCALL HWIO_Hin(uint16_t wPort) { return PortIn(wPort, 0); }

int32_t CARDN5_STDCALL HWIO_SetBit(uint16_t* pwValue, int32_t nBit) {
  if (pwValue) *pwValue = static_cast<uint16_t>(*pwValue | Mask(nBit));
  return 1;
}

int32_t CARDN5_STDCALL HWIO_ResetBit(uint16_t* pwValue, int32_t nBit) {
  if (pwValue) *pwValue = static_cast<uint16_t>(*pwValue & ~Mask(nBit));
  return 1;
}

int32_t CARDN5_STDCALL HWIO_Bit(uint16_t wValue, int32_t nBit) { return wValue & Mask(nBit); }

// A low pulse drives the bit to 0 and back to 1; the shadow itself is left
// as it was, so the register's next Out writes what the board code set.
// The port library's signatures are the machine's: the shadow stays non-const.
// NOLINTNEXTLINE(readability-non-const-parameter)
int32_t CARDN5_STDCALL HWIO_LowPuls(uint16_t wPort, uint16_t* pwShadow, int32_t nBit) {
  uint16_t v = pwShadow ? *pwShadow : 0;
  uint16_t m = Mask(nBit);
  PortOut(wPort, static_cast<uint16_t>(v & ~m), PulseFlags(HWIO_ACC_LOWPULS, nBit));
  PortOut(wPort, static_cast<uint16_t>(v | m), PulseFlags(HWIO_ACC_LOWPULS | HWIO_ACC_PULSE_END, nBit));
  return 1;
}

// NOLINTNEXTLINE(readability-non-const-parameter)
int32_t CARDN5_STDCALL HWIO_HighPuls(uint16_t wPort, uint16_t* pwShadow, int32_t nBit) {
  uint16_t v = pwShadow ? *pwShadow : 0;
  uint16_t m = Mask(nBit);
  PortOut(wPort, static_cast<uint16_t>(v | m), PulseFlags(HWIO_ACC_HIGHPULS, nBit));
  PortOut(wPort, static_cast<uint16_t>(v & ~m), PulseFlags(HWIO_ACC_HIGHPULS | HWIO_ACC_PULSE_END, nBit));
  return 1;
}

int32_t CARDN5_STDCALL HWIO_WritePXCode(uint32_t dwArg1, uint32_t dwArg2) {
  return WriteCode(HWIO_CODE_PX, dwArg1, dwArg2);
}

int32_t CARDN5_STDCALL HWIO_WriteLLCode(uint32_t dwArg1, uint32_t dwArg2) {
  return WriteCode(HWIO_CODE_LL, dwArg1, dwArg2);
}

int32_t CARDN5_STDCALL HWIO_PollVorschub(uint32_t dw1, uint32_t dw2, uint32_t dw3, uint32_t dw4, uint32_t dw5,
                                         uint32_t dwFlag1, uint32_t dwFlag2) {
  const uint32_t args[7] = {dw1, dw2, dw3, dw4, dw5, dwFlag1, dwFlag2};
  uint32_t flags = EmulationFlag();
  if (const HWIO_DEVICE* dev = Device()) return dev->pfnPollVorschub ? dev->pfnPollVorschub(dev->pCtx, args, flags) : 1;
  if (flags) return 1;
  LogNoBackendOnce("HWIO_PollVorschub");
  return 0;
}

// Piecewise linear over an ascending x column; outside the table the end
// values hold. A single entry is a constant; an empty table yields 0.
double CARDN5_STDCALL HWIO_GetLinearInterpoliertenWert(const double* pdX, const double* pdY, uint16_t wCount,
                                                       double dX) {
  if (!pdX || !pdY || wCount == 0) return 0.0;
  if (wCount == 1 || std::isnan(dX) || dX <= pdX[0]) return pdY[0];
  const unsigned last = wCount - 1u;
  if (dX >= pdX[last]) return pdY[last];
  unsigned i = 0;
  while (i + 1 < last && dX >= pdX[i + 1]) ++i;
  const double dx = pdX[i + 1] - pdX[i];
  if (!(dx > 0.0)) return pdY[i + 1];  // a step in the table: take its upper value
  return pdY[i] + (dX - pdX[i]) * (pdY[i + 1] - pdY[i]) / dx;
}

int32_t CARDN5_STDCALL HWIO_WindowsClearInterrupt(void) { return Interrupts(0); }

int32_t CARDN5_STDCALL HWIO_WindowsSetInterrupt(void) { return Interrupts(1); }

int32_t CARDN5_STDCALL HWIOX_AttachDevice(const HWIO_DEVICE* pDevice) {
  return HWIOX_AttachDeviceEx(pDevice, static_cast<uint32_t>(offsetof(HWIO_DEVICE, pfnInBlock)));
}

int32_t CARDN5_STDCALL HWIOX_AttachDeviceEx(const HWIO_DEVICE* pDevice, uint32_t cbSize) {
  IoState& s = State();
  cardn5::LockGuard guard(s.lock);
  HWIO_DEVICE dev{};
  if (pDevice) std::memcpy(&dev, pDevice, cbSize < sizeof(HWIO_DEVICE) ? cbSize : sizeof(HWIO_DEVICE));
  g_device.store(pDevice ? KeepCopy(dev) : nullptr, std::memory_order_release);
  return 1;
}

int32_t CARDN5_STDCALL HWIOX_GetBackend(void) {
  if (g_emulation.load()) return 1;
  return Device() ? 2 : 0;
}

int32_t CARDN5_STDCALL HWIOX_IsEmulation(void) { return g_emulation.load(); }

int32_t CARDN5_STDCALL HWIOX_HasPortAccess(void) { return State().portAccess.load(); }

int32_t CARDN5_STDCALL HWIOX_DirectAccess(int32_t nOp, uint16_t wPort, uint16_t* pwData, uint32_t dwCount) {
  IoState& s = State();
  const HWIO_DEVICE* dev = Device();
  // With real access granted and nothing attached, the caller's own port
  // instructions are faster and keep their timing.
  if (!dev && !g_emulation.load() && s.portAccess.load()) return 0;
  if (!pwData) return 1;
  const uint32_t flags = HWIO_ACC_DIRECT;
  // A block is one call where the device takes blocks: the simulator then
  // sees a 0x100000-word block as one access, not a million.
  const uint32_t blockFlags = flags | EmulationFlag();
  switch (nOp) {
    case HWIOX_DIRECT_IN:
      pwData[0] = PortIn(wPort, flags);
      break;
    case HWIOX_DIRECT_IN_BLOCK:
      if (dev && dev->pfnInBlock) {
        dev->pfnInBlock(dev->pCtx, wPort, pwData, dwCount, blockFlags);
        // as every single read under emulation
        if (blockFlags & HWIO_ACC_EMULATED) std::memset(pwData, 0, dwCount * sizeof(uint16_t));
      } else {
        for (uint32_t i = 0; i < dwCount; ++i) pwData[i] = PortIn(wPort, flags);
      }
      break;
    case HWIOX_DIRECT_OUT_BLOCK:
      if (dev && dev->pfnOutBlock)
        dev->pfnOutBlock(dev->pCtx, wPort, pwData, dwCount, blockFlags);
      else
        for (uint32_t i = 0; i < dwCount; ++i) PortOut(wPort, pwData[i], flags);
      break;
    default:
      break;
  }
  return 1;
}

int32_t CARDN5_STDCALL HWIOX_Reset(void) {
  IoState& s = State();
  cardn5::LockGuard guard(s.lock);
  g_device.store(nullptr, std::memory_order_release);
  g_emulation.store(0);
  s.portAccess.store(0);
  s.refusalLogged.store(0);
  s.noBackendLogged.store(0);
  return 1;
}

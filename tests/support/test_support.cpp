#include "test_support.h"

#include <cstdio>
#include <cstdlib>

#include "errlog32_ext.h"
#include "hwconf32_ext.h"
#include "hwinfo32_ext.h"
#include "hwio32_ext.h"
#include "timing32_ext.h"

namespace testsupport {

LogCapture::LogCapture() {
  ERRLOGX_SetLogPath(nullptr);
  ERRLOGX_ClearCapture();
  ERRLOGX_SetCapture(1);
}

LogCapture::~LogCapture() {
  ERRLOGX_SetCapture(0);
  ERRLOGX_ClearCapture();
}

std::vector<std::string> LogCapture::Lines() const {
  std::vector<std::string> out;
  const int32_t n = ERRLOGX_CaptureCount();
  for (int32_t i = 0; i < n; ++i) {
    const int32_t len = ERRLOGX_CaptureGet(i, nullptr, 0);
    std::string s(static_cast<size_t>(len) + 1, '\0');
    ERRLOGX_CaptureGet(i, &s[0], len + 1);
    s.resize(static_cast<size_t>(len));
    out.push_back(s);
  }
  return out;
}

int LogCapture::Count(const std::string& text) const {
  int n = 0;
  for (const std::string& s : Lines())
    if (s == text) ++n;
  return n;
}

std::vector<std::string> LogCapture::Containing(const std::string& part) const {
  std::vector<std::string> out;
  for (const std::string& s : Lines())
    if (s.find(part) != std::string::npos) out.push_back(s);
  return out;
}

void LogCapture::Clear() { ERRLOGX_ClearCapture(); }

std::string LogCapture::Dump() const {
  std::string out;
  for (const std::string& s : Lines()) out += "  | " + s + (s.empty() || s.back() != '\n' ? "\n" : "");
  return out;
}

RecordedError LastError() {
  RecordedError e;
  char file[260];
  e.code = ERRLOGX_GetLastError(file, sizeof file, &e.line);
  e.file = file;
  return e;
}

void ClearLastError() { ERRLOGX_ClearLastError(); }

void MachineTest::SetUp() {
  HWIOX_Reset();
  HWCONFX_ResetDefaults();
  HWINFOX_Clear();
  HWINFOX_SetEcho(0);
  ClearLastError();
  machine.Attach();
  log.Clear();
}

Watchdog::Watchdog(const char* what, std::chrono::seconds limit) : m_what(what) {
  m_thread = std::thread([this, limit] {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_cv.wait_for(lock, limit, [this] { return m_done; })) {
      std::fprintf(stderr, "watchdog: %s did not return\n", m_what);
      std::abort();
    }
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_done = true;
  }
  m_cv.notify_all();
  m_thread.join();
}

void MachineTest::TearDown() {
  for (const std::string& v : machine.Violations()) ADD_FAILURE() << "protocol violation: " << v;
  if (HasFailure()) {
    std::printf("Port trace (tail):\n%s", machine.TraceText(80).c_str());
    std::printf("Log:\n%s", log.Dump().c_str());
  }
  machine.Detach();
  HWIOX_Reset();
}

}  // namespace testsupport

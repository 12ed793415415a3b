#include "test_support.h"

#include <algorithm>
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
    std::string s(static_cast<size_t>(ERRLOGX_CaptureGet(i, nullptr, 0)) + 1, '\0');
    s.resize(static_cast<size_t>(ERRLOGX_CaptureGet(i, &s[0], static_cast<int32_t>(s.size()))));
    out.push_back(s);
  }
  return out;
}

int LogCapture::Count(const std::string& text) const {
  const std::vector<std::string> lines = Lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
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

Watchdog::Watchdog(const char* what, std::chrono::seconds limit)
    : m_thread([what, limit, done = m_done.get_future()] {
        if (done.wait_for(limit) == std::future_status::timeout) {
          std::fprintf(stderr, "watchdog: %s did not return\n", what);
          std::abort();
        }
      }) {}

Watchdog::~Watchdog() {
  m_done.set_value();
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

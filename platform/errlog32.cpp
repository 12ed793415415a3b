// errlog32 stand-in: a timestamped log file, an in-memory capture for tests
// and the last recorded error.
#include "errlog32.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/time.h>
#endif

#include "errlog32_ext.h"
#include "lock.h"

namespace {

struct LogState {
  cardn5::Lock mutex;
  bool pathChosen = false;
  std::string path;
  bool capture = false;
  std::vector<std::string> captured;
  PFN_ERRLOGX_LineHook hook = nullptr;
  void* hookCtx = nullptr;
  int32_t lastCode = 0;
  std::string lastFile;
  int32_t lastLine = 0;
  int32_t errorCount = 0;
};

// Never destroyed: the driver library may still log from its own unload
// code after this library's static destructors would have run.
LogState& State() {
  static LogState* s = new LogState;
  return *s;
}

std::string DefaultPath() {
  if (const char* env = std::getenv("CARDN5_LOG")) return env;
#if defined(_WIN32)
  char dir[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof dir, dir);
  std::string base = (n > 0 && n < sizeof dir) ? std::string(dir, n) : std::string(".\\");
  return base + "CARDN532.log";
#else
  const char* tmp = std::getenv("TMPDIR");
  std::string base = (tmp && *tmp) ? tmp : "/tmp";
  return base + "/CARDN532.log";
#endif
}

const std::string& LogPath(LogState& s) {
  if (!s.pathChosen) {
    s.path = DefaultPath();
    s.pathChosen = true;
  }
  return s.path;
}

std::string TimeStamp() {
  char buf[96];
#if defined(_WIN32)
  SYSTEMTIME st;
  GetLocalTime(&st);
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds);
#else
  timeval tv;
  gettimeofday(&tv, nullptr);
  tm local;
  localtime_r(&tv.tv_sec, &local);
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03ld ", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<long>(tv.tv_usec / 1000));
#endif
  return buf;
}

void CopyOut(const std::string& text, char* buf, int32_t len) {
  if (!buf || len <= 0) return;
  size_t n = text.size() < static_cast<size_t>(len - 1) ? text.size() : static_cast<size_t>(len - 1);
  std::memcpy(buf, text.data(), n);
  buf[n] = '\0';
}

}  // namespace

int32_t CARDN5_CDECL ERRLOG_WriteToLOGFile(const char* pszFormat, ...) {
  if (!pszFormat) return 0;
  va_list args;
  va_start(args, pszFormat);
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, pszFormat, args);
  va_end(args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), pszFormat, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);

  LogState& s = State();
  PFN_ERRLOGX_LineHook hook;
  void* hookCtx;
  {
    cardn5::LockGuard lock(s.mutex);
    if (s.capture) s.captured.push_back(text);
    const std::string& path = LogPath(s);
    if (!path.empty()) {
      if (FILE* f = std::fopen(path.c_str(), "ab")) {
        std::string line = TimeStamp() + text;
        std::fwrite(line.data(), 1, line.size(), f);
        std::fclose(f);
      }
    }
    hook = s.hook;
    hookCtx = s.hookCtx;
  }
  if (hook) hook(hookCtx, text.c_str());
  return 1;
}

int32_t CARDN5_STDCALL ERRLOG_SetLastDebugError(int32_t nCode, int32_t /*nZero*/, const char* pszFile, int32_t nLine) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.lastCode = nCode;
  s.lastFile = pszFile ? pszFile : "";
  s.lastLine = nLine;
  ++s.errorCount;
  return 1;
}

int32_t CARDN5_STDCALL ERRLOG_IsError(void) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  return s.lastCode != 0 ? 1 : 0;
}

int32_t CARDN5_STDCALL ERRLOGX_SetLogPath(const char* pszPath) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.path = pszPath ? pszPath : "";
  s.pathChosen = true;
  return 1;
}

int32_t CARDN5_STDCALL ERRLOGX_GetLogPath(char* pszBuf, int32_t nBufLen) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  const std::string& path = LogPath(s);
  CopyOut(path, pszBuf, nBufLen);
  return static_cast<int32_t>(path.size());
}

int32_t CARDN5_STDCALL ERRLOGX_SetCapture(int32_t bOn) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.capture = bOn != 0;
  return 1;
}

int32_t CARDN5_STDCALL ERRLOGX_ClearCapture(void) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.captured.clear();
  return 1;
}

int32_t CARDN5_STDCALL ERRLOGX_CaptureCount(void) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  return static_cast<int32_t>(s.captured.size());
}

int32_t CARDN5_STDCALL ERRLOGX_CaptureGet(int32_t i, char* pszBuf, int32_t nBufLen) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  if (i < 0 || static_cast<size_t>(i) >= s.captured.size()) return -1;
  CopyOut(s.captured[static_cast<size_t>(i)], pszBuf, nBufLen);
  return static_cast<int32_t>(s.captured[static_cast<size_t>(i)].size());
}

int32_t CARDN5_STDCALL ERRLOGX_SetLineHook(PFN_ERRLOGX_LineHook pfn, void* pCtx) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.hook = pfn;
  s.hookCtx = pCtx;
  return 1;
}

int32_t CARDN5_STDCALL ERRLOGX_GetLastError(char* pszFile, int32_t nFileLen, int32_t* pnLine) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  CopyOut(s.lastFile, pszFile, nFileLen);
  if (pnLine) *pnLine = s.lastLine;
  return s.lastCode;
}

int32_t CARDN5_STDCALL ERRLOGX_ClearLastError(void) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  s.lastCode = 0;
  s.lastFile.clear();
  s.lastLine = 0;
  s.errorCount = 0;
  return 1;
}

int32_t CARDN5_STDCALL ERRLOGX_ErrorCount(void) {
  LogState& s = State();
  cardn5::LockGuard lock(s.mutex);
  return s.errorCount;
}

// hwinfo32 stand-in. There is no window here: what the window would show
// goes to stderr and to the log, and every call is kept for tests.
#include "hwinfo32.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "errlog32.h"
#include "hwinfo32_ext.h"
#include "lock.h"

namespace {

// The value that identifies "the window"; any non-zero value would do.
constexpr int32_t kWindowValue = 0x4D31;

struct Call {
  int32_t kind;
  int32_t what;
  int32_t code;
  std::string text;
};

struct InfoState {
  cardn5::Lock lock;
  std::vector<Call> calls;
  bool echo = true;
  bool shown = false;
};

InfoState& State() {
  static InfoState* s = new InfoState;
  return *s;
}

}  // namespace

int32_t CARDN5_STDCALL HWINFO_ShowHDWInfo(int32_t nWhat, int32_t nCode, const char* pszText) {
  InfoState& s = State();
  bool echo;
  {
    cardn5::LockGuard guard(s.lock);
    s.calls.push_back(Call{0, nWhat, nCode, pszText ? pszText : ""});
    echo = s.echo;
    if (nWhat == HWINFO_OPEN) s.shown = true;
    if (nWhat == HWINFO_CLOSED) s.shown = false;
  }
  if (nCode == HWINFO_TEXT && pszText) {
    if (echo) std::fprintf(stderr, "[hardware info] %s\n", pszText);
    ERRLOG_WriteToLOGFile("hwinfo32: %s\n", pszText);
  }
  return nWhat == HWINFO_OPEN ? kWindowValue : 1;
}

int32_t CARDN5_STDCALL HWINFO_HideHDWInfo(int32_t nWindow) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  s.calls.push_back(Call{1, nWindow, 0, ""});
  s.shown = false;
  return 1;
}

int32_t CARDN5_STDCALL HWINFOX_CallCount(void) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  return static_cast<int32_t>(s.calls.size());
}

int32_t CARDN5_STDCALL HWINFOX_GetCall(int32_t i, int32_t* pnKind, int32_t* pnWhat, int32_t* pnCode, char* pszText,
                                       int32_t nTextLen) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  if (i < 0 || static_cast<size_t>(i) >= s.calls.size()) return 0;
  const Call& c = s.calls[static_cast<size_t>(i)];
  if (pnKind) *pnKind = c.kind;
  if (pnWhat) *pnWhat = c.what;
  if (pnCode) *pnCode = c.code;
  if (pszText && nTextLen > 0) {
    size_t n = c.text.size() < static_cast<size_t>(nTextLen - 1) ? c.text.size() : static_cast<size_t>(nTextLen - 1);
    std::memcpy(pszText, c.text.data(), n);
    pszText[n] = '\0';
  }
  return 1;
}

int32_t CARDN5_STDCALL HWINFOX_Clear(void) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  s.calls.clear();
  s.shown = false;
  return 1;
}

int32_t CARDN5_STDCALL HWINFOX_SetEcho(int32_t bOn) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  s.echo = bOn != 0;
  return 1;
}

int32_t CARDN5_STDCALL HWINFOX_IsShown(void) {
  InfoState& s = State();
  cardn5::LockGuard guard(s.lock);
  return s.shown ? 1 : 0;
}

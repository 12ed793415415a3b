// hwconf32 stand-in: setup values by id and custom values by key, from
// built-in defaults overlaid by a plain text file (format in hwconf32_ext.h).
#include "hwconf32.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "errlog32.h"
#include "hwconf32_ext.h"
#include "lock.h"

namespace {

// Defaults a bench machine runs with; docs/hwconf.md explains each value.
struct SetupDefault {
  int32_t id;
  double value;
};
constexpr SetupDefault kSetupDefaults[] = {
    {118, 10.0},  // eco channel 1 frequency, kHz
    {119, 50.0},  // eco channel 1 default duty cycle, percent
    {120, 5.0},   // eco pulse width, microseconds
    {121, 10.0},  // eco channel 2 frequency, kHz
    {122, 50.0},  // eco channel 2 duty cycle, percent
    {123, 1.0},   // eco mode number
};

struct CustomDefault {
  const char* key;
  double value;
};
constexpr CustomDefault kCustomDefaults[] = {
    {"AMU_Channel_Floor_FirstStep", 0.0},    {"AMU_Channel_Floor_PowerMin", 0.0},
    {"AMU_Channel_Floor_PowerMax", 255.0},   {"AMU_Channel_Floor_ClockDivider", 1.0},
    {"AMU_Channel_Middle_FirstStep", 0.0},   {"AMU_Channel_Middle_PowerMin", 0.0},
    {"AMU_Channel_Middle_PowerMax", 255.0},  {"AMU_Channel_Middle_ClockDivider", 1.0},
    {"AMU_Channel_Contour_FirstStep", 0.0},  {"AMU_Channel_Contour_PowerMin", 0.0},
    {"AMU_Channel_Contour_PowerMax", 255.0}, {"AMU_Channel_Contour_ClockDivider", 1.0},
};

struct Config {
  cardn5::Lock lock;
  bool loaded = false;
  std::map<int32_t, double> setup;
  std::map<std::string, double> custom;
  int32_t queries = 0;
};

Config& State() {
  static Config* c = new Config;
  return *c;
}

void ApplyDefaults(Config& c) {
  c.setup.clear();
  c.custom.clear();
  for (const SetupDefault& d : kSetupDefaults) c.setup[d.id] = d.value;
  for (const CustomDefault& d : kCustomDefaults) c.custom[d.key] = d.value;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Returns the number of values read or -1; the caller holds the lock.
int32_t ReadFile(Config& c, const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) {
    ERRLOG_WriteToLOGFile("hwconf32: cannot open %s: %s\n", path, std::strerror(errno));
    return -1;
  }
  int32_t count = 0;
  int lineNo = 0;
  char buf[512];
  while (std::fgets(buf, sizeof buf, f)) {
    ++lineNo;
    std::string line = buf;
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    line = Trim(line);
    if (line.empty()) continue;
    size_t eq = line.find('=');
    std::string key = eq == std::string::npos ? "" : Trim(line.substr(0, eq));
    std::string val = eq == std::string::npos ? "" : Trim(line.substr(eq + 1));
    char* end = nullptr;
    double value = val.empty() ? 0.0 : std::strtod(val.c_str(), &end);
    if (key.empty() || val.empty() || (end && *end != '\0')) {
      ERRLOG_WriteToLOGFile("hwconf32: %s:%d: expected 'id = value' or 'key = value'\n", path, lineNo);
      continue;
    }
    char* idEnd = nullptr;
    long id = std::strtol(key.c_str(), &idEnd, 10);
    if (idEnd && *idEnd == '\0')
      c.setup[static_cast<int32_t>(id)] = value;
    else
      c.custom[key] = value;
    ++count;
  }
  std::fclose(f);
  return count;
}

void EnsureLoaded(Config& c) {
  if (c.loaded) return;
  c.loaded = true;
  ApplyDefaults(c);
  if (const char* path = std::getenv("CARDN5_HWCONF")) {
    if (*path) ReadFile(c, path);
  }
}

}  // namespace

double CARDN5_STDCALL HWCONF_GetSetupValue(int32_t nId) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  EnsureLoaded(c);
  ++c.queries;
  auto it = c.setup.find(nId);
  if (it == c.setup.end()) {
    ERRLOG_WriteToLOGFile("hwconf32: no setup value %d, using 0\n", static_cast<int>(nId));
    return 0.0;
  }
  return it->second;
}

double CARDN5_STDCALL HWCONF_GetCustomValue(const char* pszKey) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  EnsureLoaded(c);
  ++c.queries;
  if (!pszKey) return 0.0;
  auto it = c.custom.find(pszKey);
  if (it == c.custom.end()) {
    ERRLOG_WriteToLOGFile("hwconf32: no custom value %s, using 0\n", pszKey);
    return 0.0;
  }
  return it->second;
}

int32_t CARDN5_STDCALL HWCONFX_LoadFile(const char* pszPath) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  EnsureLoaded(c);
  if (!pszPath) return -1;
  return ReadFile(c, pszPath);
}

int32_t CARDN5_STDCALL HWCONFX_SetSetupValue(int32_t nId, double dValue) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  EnsureLoaded(c);
  c.setup[nId] = dValue;
  return 1;
}

int32_t CARDN5_STDCALL HWCONFX_SetCustomValue(const char* pszKey, double dValue) {
  if (!pszKey) return 0;
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  EnsureLoaded(c);
  c.custom[pszKey] = dValue;
  return 1;
}

int32_t CARDN5_STDCALL HWCONFX_ResetDefaults(void) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  c.loaded = true;
  ApplyDefaults(c);
  c.queries = 0;
  return 1;
}

int32_t CARDN5_STDCALL HWCONFX_QueryCount(void) {
  Config& c = State();
  cardn5::LockGuard guard(c.lock);
  return c.queries;
}

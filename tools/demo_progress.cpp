// The host's bookkeeping: the count of export calls and the progress of
// the long parts.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>

#include "demo.h"

namespace demo {

namespace {
uint64_t g_calls = 0;
std::set<std::string> g_exports;
}  // namespace

void CountCall(const char* callText) {
  ++g_calls;
  const std::string text = callText;
  g_exports.insert(text.substr(0, text.find('(')));
}

uint64_t CallCount() { return g_calls; }
size_t ExportsCalled() { return g_exports.size(); }

bool WriteTrace(sim::Machine& machine, const std::string& path, Results& out) {
  const auto start = std::chrono::steady_clock::now();
  const bool written = machine.trace().WriteVcd(path);
  out.fileWallS += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!written) std::printf("could not write %s\n", path.c_str());
  return written;
}

Progress::Progress(const char* what, uint64_t total)
    : m_what(what), m_total(total ? total : 1), m_tty(isatty(fileno(stdout)) != 0) {}

void Progress::Update(uint64_t done, const std::string& detail) {
  const int percent = static_cast<int>(done * 100 / m_total);
  // A terminal redraws at each percent; a log gets a line each quarter.
  const int step = m_tty ? percent : percent / 25;
  if (step == m_shown) return;
  m_shown = step;
  if (m_tty) {
    constexpr int kBar = 30;
    const int filled = percent * kBar / 100;
    std::printf("\r  %-10s [%s%s] %3d%%  %llu/%llu  %s\033[K", m_what, std::string(filled, '#').c_str(),
                std::string(kBar - filled, '.').c_str(), percent, static_cast<unsigned long long>(done),
                static_cast<unsigned long long>(m_total), detail.c_str());
  } else {
    std::printf("  %s: %llu/%llu (%d%%)%s%s\n", m_what, static_cast<unsigned long long>(done),
                static_cast<unsigned long long>(m_total), percent, detail.empty() ? "" : " ", detail.c_str());
  }
  std::fflush(stdout);
}

void Progress::Finish() {
  if (m_tty) std::printf("\n");
}

}  // namespace demo

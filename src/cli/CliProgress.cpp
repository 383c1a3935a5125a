#include "cli/CliProgress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

TCliProgress::TCliProgress() : m_enabled(isatty(STDERR_FILENO) == 1) {}

TCliProgress::~TCliProgress() { Finish(); }

void TCliProgress::Show(const std::string& label, int percent, const std::string& suffix) {
  if (!m_enabled) return;
  percent = std::clamp(percent, 0, 100);
  constexpr int width = 30;
  const int filled = percent * width / 100;
  std::fprintf(stderr, "\r%-12s [%s%s] %3d%% %s\033[K", label.c_str(), std::string(size_t(filled), '#').c_str(),
               std::string(size_t(width - filled), ' ').c_str(), percent, suffix.c_str());
  std::fflush(stderr);
  m_open = true;
}

void TCliProgress::Count(const std::string& label, int count) {
  if (!m_enabled) return;
  std::fprintf(stderr, "\r%-12s %d\033[K", label.c_str(), count);
  std::fflush(stderr);
  m_open = true;
}

void TCliProgress::Finish() {
  if (m_enabled && m_open) std::fputc('\n', stderr);
  m_open = false;
}

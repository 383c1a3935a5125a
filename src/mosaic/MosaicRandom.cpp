#include "mosaic/MosaicRandom.h"

#include <chrono>

int TSeededRandom::Random(int bound) {
  if (bound <= 1) return 0;
  // Multiply-shift maps 32 random bits onto 0..bound-1 without division.
  return int((std::uint64_t(m_engine()) * std::uint64_t(bound)) >> 32);
}

namespace {
std::uint64_t ClockSeed() {
  return std::uint64_t(std::chrono::high_resolution_clock::now().time_since_epoch().count());
}
}  // namespace

TClockRandom::TClockRandom() : TSeededRandom(ClockSeed()) {}

void TClockRandom::Randomize() {
  m_seed = ClockSeed();
  m_engine.seed(std::mt19937::result_type(m_seed ^ (m_seed >> 32)));
}

#pragma once
// The random source of the mosaic builder. A build reseeds it at its start;
// the clock source gives a different mosaic each time, a seeded one repeats.
#include <cstdint>
#include <random>

class TRandom {
 public:
  virtual ~TRandom() = default;
  // Called once at the start of every build.
  virtual void Randomize() = 0;
  // Uniform integer in 0..bound-1 (bound >= 1).
  virtual int Random(int bound) = 0;
};

// Mersenne Twister with a bounded draw whose arithmetic is fixed here, so a
// seed gives the same sequence with every standard library.
class TSeededRandom : public TRandom {
 public:
  explicit TSeededRandom(std::uint64_t seed) : m_seed(seed), m_engine(seed) {}
  // Restarts the sequence: builds with one seed give one mosaic.
  void Randomize() override { m_engine.seed(m_seed); }
  int Random(int bound) override;

 protected:
  std::uint64_t m_seed;
  std::mt19937 m_engine;
};

// Reseeded from the clock at every build.
class TClockRandom : public TSeededRandom {
 public:
  TClockRandom();
  void Randomize() override;
};

#pragma once
// Deterministic value noise for the benchmarks' synthetic photographs: a
// hashed lattice, smoothly interpolated, summed over five octaves.
#include <cmath>
#include <cstdint>

namespace bench_noise {

// A pseudo-random value in 0..1 for one lattice point.
inline double Lattice(int x, int y, std::uint32_t seed) {
  std::uint32_t h = std::uint32_t(x) * 374761393u + std::uint32_t(y) * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return double(h ^ (h >> 16)) / 4294967295.0;
}

inline double Noise(double x, double y, std::uint32_t seed) {
  const int xi = int(std::floor(x)), yi = int(std::floor(y));
  const double fx = x - xi, fy = y - yi;
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  const double a = Lattice(xi, yi, seed), b = Lattice(xi + 1, yi, seed);
  const double c = Lattice(xi, yi + 1, seed), d = Lattice(xi + 1, yi + 1, seed);
  return (a + (b - a) * sx) * (1 - sy) + (c + (d - c) * sx) * sy;
}

inline double Fractal(double x, double y, std::uint32_t seed) {
  double sum = 0, amp = 0.5, f = 1;
  for (int o = 0; o < 5; ++o, amp *= 0.5, f *= 2) sum += amp * Noise(x * f, y * f, seed + std::uint32_t(o));
  return sum;
}

}  // namespace bench_noise

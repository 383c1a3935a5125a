#include "mosaic/LabColor.h"

#include <algorithm>
#include <cmath>
#include <numbers>

const std::array<float, 256>& SrgbToLinearTable() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      t[size_t(i)] = float(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
    }
    return t;
  }();
  return table;
}

std::uint8_t LinearToSrgb(float linear) {
  const double c = std::clamp(double(linear), 0.0, 1.0);
  const double s = c <= 0.0031308 ? c * 12.92 : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
  return std::uint8_t(std::lround(s * 255.0));
}

namespace {
double LabF(double t) {
  constexpr double e = 216.0 / 24389.0, k = 24389.0 / 27.0;
  return t > e ? std::cbrt(t) : (k * t + 16.0) / 116.0;
}
}  // namespace

TLab LinearRgbToLab(float r, float g, float b) {
  // sRGB primaries, D65 white.
  const double x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = (0.0193339 * r + 0.1191920 * g + 0.9503041 * b) / 1.08883;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  return {float(116.0 * fy - 16.0), float(500.0 * (fx - fy)), float(200.0 * (fy - fz))};
}

float DeltaE76(const TLab& x, const TLab& y) {
  const float dl = x.L - y.L, da = x.a - y.a, db = x.b - y.b;
  return std::sqrt(dl * dl + da * da + db * db);
}

double DeltaE2000(const TLab& x, const TLab& y) {
  using std::numbers::pi;
  const auto deg = [](double r) { return r * 180.0 / pi; };
  const auto rad = [](double d) { return d * pi / 180.0; };
  const double c1 = std::hypot(x.a, x.b), c2 = std::hypot(y.a, y.b);
  const double cbar7 = std::pow((c1 + c2) / 2.0, 7.0);
  const double g = 0.5 * (1.0 - std::sqrt(cbar7 / (cbar7 + std::pow(25.0, 7.0))));
  const double a1 = (1.0 + g) * x.a, a2 = (1.0 + g) * y.a;
  const double cp1 = std::hypot(a1, double(x.b)), cp2 = std::hypot(a2, double(y.b));
  const auto hue = [&](double b, double a) {
    if (a == 0 && b == 0) return 0.0;
    const double h = deg(std::atan2(b, a));
    return h < 0 ? h + 360.0 : h;
  };
  const double hp1 = hue(x.b, a1), hp2 = hue(y.b, a2);
  const double dL = double(y.L) - x.L, dC = cp2 - cp1;
  double dh = 0;
  if (cp1 * cp2 != 0) {
    dh = hp2 - hp1;
    if (dh > 180) dh -= 360;
    if (dh < -180) dh += 360;
  }
  const double dH = 2.0 * std::sqrt(cp1 * cp2) * std::sin(rad(dh / 2.0));
  const double lbar = (double(x.L) + y.L) / 2.0, cbarp = (cp1 + cp2) / 2.0;
  double hbar = hp1 + hp2;
  if (cp1 * cp2 != 0) {
    if (std::abs(hp1 - hp2) > 180) hbar += hp1 + hp2 < 360 ? 360 : -360;
    hbar /= 2.0;
  }
  const double t = 1.0 - 0.17 * std::cos(rad(hbar - 30)) + 0.24 * std::cos(rad(2 * hbar)) +
                   0.32 * std::cos(rad(3 * hbar + 6)) - 0.20 * std::cos(rad(4 * hbar - 63));
  const double dTheta = 30.0 * std::exp(-std::pow((hbar - 275.0) / 25.0, 2.0));
  const double cbarp7 = std::pow(cbarp, 7.0);
  const double rc = 2.0 * std::sqrt(cbarp7 / (cbarp7 + std::pow(25.0, 7.0)));
  const double l50 = (lbar - 50.0) * (lbar - 50.0);
  const double sl = 1.0 + 0.015 * l50 / std::sqrt(20.0 + l50);
  const double sc = 1.0 + 0.045 * cbarp, sh = 1.0 + 0.015 * cbarp * t;
  const double rt = -std::sin(rad(2.0 * dTheta)) * rc;
  const double tl = dL / sl, tc = dC / sc, th = dH / sh;
  return std::sqrt(tl * tl + tc * tc + th * th + rt * tc * th);
}

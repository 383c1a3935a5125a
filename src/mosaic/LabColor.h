#pragma once
// Colours as the eye compares them. Averages of pictures are taken in linear
// light (what a mosaic seen from afar mixes), then described in CIELAB (D65),
// where equal distances look about equally different.
#include <array>
#include <cstdint>

struct TLab {
  float L = 0, a = 0, b = 0;
};

// sRGB byte -> linear light in 0..1.
const std::array<float, 256>& SrgbToLinearTable();
// Linear light in 0..1 -> the nearest sRGB byte.
std::uint8_t LinearToSrgb(float linear);

TLab LinearRgbToLab(float r, float g, float b);

// CIE 1976 distance (Euclidean in CIELAB), the measure the matching uses.
float DeltaE76(const TLab& x, const TLab& y);
// CIEDE2000 (Sharma, Wu and Dalal's formulation), the measure the fidelity
// benchmark reports.
double DeltaE2000(const TLab& x, const TLab& y);

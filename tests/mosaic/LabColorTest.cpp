#include "mosaic/LabColor.h"

#include <gtest/gtest.h>

namespace {

// Pairs from Sharma, Wu and Dalal's CIEDE2000 test data, chosen to pass
// through the hue wrap-around, the rotation term and a grey.
struct DeltaCase {
  TLab a, b;
  double expected;
};

const DeltaCase kSharma[] = {
    {{50, 2.6772f, -79.7751f}, {50, 0, -82.7485f}, 2.0425},
    {{50, 3.1571f, -77.2803f}, {50, 0, -82.7485f}, 2.8615},
    {{50, 2.5f, 0}, {50, 0, -2.5f}, 4.3065},
    {{50, 2.5f, 0}, {73, 25, -18}, 27.1492},
    {{50, 0, 0}, {50, -1, 2}, 2.3669},
    {{50, 2.5f, 0}, {50, 3.1736f, 0.5854f}, 1.0000},
    {{60.2574f, -34.0099f, 36.2677f}, {60.4626f, -34.1751f, 39.4387f}, 1.2644},
    {{22.7233f, 20.0904f, -46.6940f}, {23.0331f, 14.9730f, -42.5619f}, 2.0373},
    {{90.9257f, -0.5406f, -0.9208f}, {88.6381f, -0.8985f, -0.7239f}, 1.5381},
    {{2.0776f, 0.0795f, -1.1350f}, {0.9033f, -0.0636f, -0.5514f}, 0.9082},
};

}  // namespace

TEST(LabColor, DeltaE2000MatchesPublishedPairs) {
  for (const DeltaCase& c : kSharma) {
    SCOPED_TRACE(::testing::Message() << c.a.L << " " << c.a.a << " " << c.a.b << " / " << c.b.L);
    EXPECT_NEAR(DeltaE2000(c.a, c.b), c.expected, 1e-4);
    EXPECT_NEAR(DeltaE2000(c.b, c.a), c.expected, 1e-4);
  }
}

TEST(LabColor, SrgbBytesToLab) {
  const auto& lin = SrgbToLinearTable();
  const struct {
    int r, g, b;
    TLab lab;
  } cases[] = {
      {255, 255, 255, {100, 0, 0}},          {0, 0, 0, {0, 0, 0}},
      {255, 0, 0, {53.24f, 80.09f, 67.20f}}, {0, 0, 255, {32.30f, 79.19f, -107.86f}},
      {119, 119, 119, {50.03f, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.r << "," << c.g << "," << c.b);
    const TLab lab = LinearRgbToLab(lin[size_t(c.r)], lin[size_t(c.g)], lin[size_t(c.b)]);
    EXPECT_NEAR(lab.L, c.lab.L, 0.02);
    EXPECT_NEAR(lab.a, c.lab.a, 0.02);
    EXPECT_NEAR(lab.b, c.lab.b, 0.02);
  }
  for (int i = 0; i < 256; ++i) EXPECT_EQ(LinearToSrgb(lin[size_t(i)]), i);
}

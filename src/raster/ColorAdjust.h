#pragma once
// In-place pixel operations on 24-bit bitmaps and helpers on colour values.
// All arithmetic is integer: divisions truncate toward zero and every table
// entry is clamped to 0..255 when the table is built.
#include <array>
#include <cstdint>

#include "raster/Bitmap.h"
#include "raster/Color.h"
#include "raster/RectUtils.h"

// Three bytes in pixel memory order: blue, green, red.
struct TColorTriple {
  std::uint8_t B = 0;
  std::uint8_t G = 0;
  std::uint8_t R = 0;
  friend bool operator==(const TColorTriple&, const TColorTriple&) = default;
};

using TChannelTable = std::array<std::uint8_t, 256>;

// table[i] = clamp(i + ((target - i) * percent) div 100)
void BuildColorizeTable(TChannelTable& table, int target, int percent);
// table[i] = clamp(i + ((i - 128) * percent) div 100)
void BuildContrastTable(TChannelTable& table, int percent);

TColorTriple ColorToBGR(TColor color);
void ColorizeBitmap(TBitmap& bitmap, TColor color, int percent, TRect rect);
void ContrastBitmap(TBitmap& bitmap, int percent, TRect rect);
void BlurBitmap(TBitmap& bitmap, TRect rect);
void GrayTintBitmap(TBitmap& bitmap, TColor keyColor, TColor tintColor, int percent);
void MakeColorMask(const TBitmap& source, TBitmap& mask, TColor color, int tolerance, bool markMatches, TRect rect);
void BlendPixelMasked(std::uint8_t* targetPixel, const TColorTriple& color, const std::uint8_t* maskPixel, int percent);
void BlendColorMasked(const TBitmap& mask, TRect maskRect, TBitmap& target, int x, int y, TRect targetRect,
                      TColor color, int percent);
void TileBitmap(const TBitmap& tile, TBitmap& target, int originX, int originY, TRect rect);
bool ColorsNear(TColor a, TColor b, int tolerance);
TColor MixColors(TColor a, TColor b, int percent);
void SmoothMaskEdges(TBitmap& mask, TRect rect, int maxRun);

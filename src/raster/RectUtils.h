#pragma once
// Rectangle helpers, proportional fitting and plain (nearest pixel) resampling.
#include <cstdint>

class TBitmap;

// Right and Bottom are exclusive.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

constexpr TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }

// Stands for the whole bitmap once clipped.
constexpr TRect FullRect{-99999, -99999, 99999, 99999};

bool IsRectEmpty(const TRect& r);
// Intersection of a and b; an empty intersection gives (0, 0, 0, 0).
bool IntersectRect(TRect& result, const TRect& a, const TRect& b);

int RectWidth(const TRect& r);
int RectHeight(const TRect& r);
bool RectIsPoint(const TRect& r);
TRect PointsToRect(int x1, int y1, int x2, int y2);
TRect NormalizeRect(const TRect& r);
TRect SquareRect(const TRect& r, bool keepLeft, bool keepTop);
TRect BitmapRect(const TBitmap& bitmap);
void ClipRectToBitmap(TRect& r, const TBitmap& bitmap);

// Scales (width, height) proportionally so that it touches the box.
void FitInBox(int& width, int& height, int boxWidth, int boxHeight);

// Nearest-pixel stretch of the whole source onto a target of the new size;
// nothing is blended and the source's pixel format and palette are kept.
void ResampleBitmap(int newWidth, int newHeight, const TBitmap& source, TBitmap& target);
void ScaleBitmap(int newWidth, int newHeight, TBitmap& bitmap);

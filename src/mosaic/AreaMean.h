#pragma once
// The mean colour of a part of a 24-bit bitmap, in linear light, and how a
// side is cut into parts: the measure of a tile's descriptor and of the
// quality meter alike.
#include "raster/Bitmap.h"

struct TLinearMean {
  float R = 0, G = 0, B = 0;
};

// The span [first, last) of part i of n along a side of `length` pixels; a
// part narrower than a pixel takes the nearest one.
void PartSpan(int i, int n, int length, int& first, int& last);

// The mean of the pixels [x0, x1) x [y0, y1), in linear light.
TLinearMean AreaMean(const TBitmap& bitmap, int x0, int y0, int x1, int y1);

#pragma once
// The square thumbnails that keep a photograph's proportions: its largest
// centred square, reduced to the cell by area averaging.
#include "raster/Bitmap.h"

// The largest square centred in a width x height picture, as (left, top,
// side); an odd margin leaves its extra pixel on the right or bottom.
struct TSquareRegion {
  int Left = 0, Top = 0, Side = 0;
};
TSquareRegion CentredSquare(int width, int height);

// The centred square of picture (any pixel format) reduced or enlarged to a
// size x size 24-bit bitmap; every target pixel is the average of the source
// area it covers, weighted by how much of each source pixel it covers.
TBitmap CropToSquare(const TBitmap& picture, int size);

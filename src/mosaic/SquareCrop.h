#pragma once
// The thumbnails that keep a photograph's proportions: its largest centred
// square, or centred region of the tile's shape, reduced to the cell by area
// averaging.
#include <QString>

#include "raster/Bitmap.h"

// The largest square centred in a width x height picture, as (left, top,
// side); an odd margin leaves its extra pixel on the right or bottom.
struct TSquareRegion {
  int Left = 0, Top = 0, Side = 0;
};
TSquareRegion CentredSquare(int width, int height);

// The largest region of proportions shapeWidth : shapeHeight centred in a
// width x height picture. Its free side is rounded to the nearest pixel
// (never beyond the picture); an odd margin leaves its extra pixel on the
// right or bottom. For a square shape it is CentredSquare's.
struct TCropRegion {
  int Left = 0, Top = 0, Width = 0, Height = 0;
};
TCropRegion CentredRegion(int width, int height, int shapeWidth, int shapeHeight);

// The centred region of picture (any pixel format) with the proportions of
// width x height, reduced or enlarged to a width x height 24-bit bitmap;
// every target pixel is the average of the source area it covers, weighted
// by how much of each source pixel it covers. The region takes the target's
// own proportions, so that the reduction never stretches the photograph.
TBitmap CropToShape(const TBitmap& picture, int width, int height);
// CropToShape(picture, size, size).
TBitmap CropToSquare(const TBitmap& picture, int size);

// The shape of a mosaic's tiles, width : height in lowest terms.
struct TTileAspect {
  int Width = 1, Height = 1;
  bool Square() const { return Width == Height; }
  bool operator==(const TTileAspect&) const = default;
};

// The shapes a mosaic's tiles may take: 1:1, the usual photograph shapes
// 4:3, 3:2 and 16:9, and their portrait forms.
inline constexpr TTileAspect TileAspects[] = {{1, 1}, {4, 3}, {3, 2}, {16, 9}, {3, 4}, {2, 3}, {9, 16}};
// "1:1, 4:3, 3:2, 16:9, 3:4, 2:3 or 9:16", for messages.
QString TileAspectList();
// The tile shape written "W:H"; false when it is not one of TileAspects.
bool ParseTileAspect(const QString& text, TTileAspect& aspect);

// A tile's sides for a cell size: the cell size is the longer side, the
// shorter is rounded to the nearest pixel (at least 1), so that a tile of
// any shape fits the square cell of the same size and a shape and its
// portrait form are the same tile turned.
struct TTileSize {
  int Width = 0, Height = 0;
};
TTileSize TileSize(int cellSize, TTileAspect aspect);

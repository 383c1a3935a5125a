#pragma once
// The descriptor of a tile or a cell of the matched mosaic: the picture is
// cut into a 4 x 4 grid of parts and each part's average colour (in linear
// light) is given in CIELAB with its chroma compressed, 48 numbers in all.
#include <array>

#include "raster/Bitmap.h"

// Parts a side (see the notes in MatchedMosaic.cpp for why 4).
constexpr int MatchGrid = 4;
constexpr int MatchDescriptorSize = MatchGrid * MatchGrid * 3;

// L, a, b of each part, parts row by row.
using TTileDescriptor = std::array<float, MatchDescriptorSize>;

// The descriptor of the w x h area of a 24-bit bitmap whose top-left corner
// is (x, y), in MatchGrid x MatchGrid parts cut at i * w / MatchGrid (see
// PartSpan); a part narrower than a pixel takes the nearest pixel column or
// row.
TTileDescriptor DescribeArea(const TBitmap& bitmap, int x, int y, int w, int h);

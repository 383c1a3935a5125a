#pragma once
// Colour reduction for the palette writers (GIF, RLE): octree quantisation to
// at most maxColors colours with Floyd-Steinberg error diffusion.
#include "raster/Bitmap.h"

// Returns an 8-bit palette picture (pf8bit) of the same size as source with at
// most maxColors (2..256) palette entries. A source of 8 bits or fewer keeps
// its colours (only converted to 8 bits) when they fit.
TBitmap QuantizeOctree(const TBitmap& source, int maxColors = 256);

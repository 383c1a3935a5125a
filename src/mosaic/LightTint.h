#pragma once
// The light tint of the matched mosaic: each part of a placed photo pulled
// towards the target's own light there, the photo's detail kept whole.
#include "mosaic/MatchOptions.h"
#include "raster/Bitmap.h"

// Draws the w x h top-left part of tile at (x, y) of image, each part of it
// moved towards the mean of the image's own pixels it replaces: no further
// than the smallest fraction that brings the part within the tolerance
// (its light measured in linear light), nor than the limit. The moves are
// offsets of the pixel values, spread smoothly between the parts' centres,
// so the tile's own detail is kept whole and only its light follows the
// target's; a pixel changes by at most the limit's share of the difference
// between the part's means, never more than a blend with the target would.
// Returns the mean percent of the parts.
int DrawLightTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, const TMatchOptions& options);

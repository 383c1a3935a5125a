#pragma once
// The whole-tile tint of the matched mosaic: a placed photo pulled as a whole
// towards its cell's average colour, only as far as needed to reach it, up to
// a limit.
#include "mosaic/MatchOptions.h"
#include "raster/Bitmap.h"

// The tint percent (0..limit) that brings a tile's average within the
// tolerance of the target colour, the smallest that does, or the limit.
int AdaptiveTint(const TBitmap& tile, int w, int h, TColor target, const TMatchOptions& options);

// Draws the w x h top-left part of tile at (x, y) of image, pulled as a
// whole towards the cell's average colour as far as AdaptiveTint finds
// needed; returns that percent.
int DrawWholeTinted(const TBitmap& tile, TBitmap& image, int x, int y, int w, int h, TColor target,
                    const TMatchOptions& options);

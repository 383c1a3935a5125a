#pragma once
// Smoothing resampler: a separable Lanczos-3 filter (sinc(x)·sinc(x/3) for
// |x| < 3) for resizing a picture with antialiasing.
#include <cstdint>

#include "raster/Bitmap.h"

// The largest picture the resampler makes: anything larger is refused before
// memory is asked for.
constexpr std::int64_t MaxResampleSide = MaxPictureSide;
constexpr std::int64_t MaxResamplePixels = MaxPicturePixels;

// Resizes source to newWidth x newHeight. The target is replaced by a pf24bit,
// non-transparent bitmap of exactly that size; a source of any other format is
// read as 24-bit (the source itself is never changed, and may be the target).
//
// Along each axis the scale is (new - 1) / (old - 1), or new / old when the old
// size is 1, so that the first and last pixels of every row and column sit on
// the source's first and last pixels; a new size of 1 takes the filtered
// middle of the source. When reducing, the filter is widened by the reduction
// factor so that every source pixel contributes. Rows are filtered first, then
// columns; each channel is rounded and clamped to 0..255 after each pass.
// Taps that would fall outside the picture are dropped and the remaining
// weights renormalised, so a flat picture stays exactly flat.
//
// Returns false and leaves the target untouched when the source is empty or
// the size is not positive or exceeds MaxResampleSide / MaxResamplePixels.
// Throws std::bad_alloc when memory runs out, the target then also untouched.
bool SmoothResampleBitmap(int newWidth, int newHeight, const TBitmap& source, TBitmap& target);

#pragma once
// Smoothing resampler: a separable Lanczos-3 filter (sinc(x)·sinc(x/3) for
// |x| < 3) for resizing a picture with antialiasing.
#include <cstdint>
#include <memory>

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

// The side a resize made band by band may reach: only a band is ever held.
constexpr std::int64_t MaxBandResampleSide = 1000000;

// The same resize a band of rows at a time, for a result too large to hold:
// Rows(y0, y1) gives exactly rows y0..y1-1 of what SmoothResampleBitmap
// makes at that size, whatever the cut. The source is shared, not copied,
// and must not change while the resampler lives.
class TBandResampler {
 public:
  TBandResampler(const TBitmap& source, int newWidth, int newHeight);
  ~TBandResampler();
  // False when the source is empty or a side is not positive or exceeds
  // MaxBandResampleSide.
  bool Valid() const { return m_filters != nullptr; }
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Replaces band by rows y0..y1-1 (pf24bit, Width() wide); false, band
  // untouched, when invalid or the rows are not within 0..Height(). Throws
  // std::bad_alloc when memory runs out.
  bool Rows(int y0, int y1, TBitmap& band) const;

 private:
  struct TFilters;
  TBitmap m_source;
  int m_width, m_height;
  std::shared_ptr<const TFilters> m_filters;
};

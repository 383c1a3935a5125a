#pragma once
// The mosaic drawn band by band into a band sink, for a mosaic too large to
// hold whole: each band of the enlarged target is made from the picture,
// its cells drawn, and the band passed on and dropped. The bytes are those
// of the mosaic built in memory with the same options and random source.
#include <memory>
#include <vector>

#include "mosaic/MatchedMosaic.h"
#include "mosaic/MosaicBuilder.h"
#include "mosaic/MosaicQuality.h"
#include "mosaic/ThumbnailList.h"
#include "raster/BandSink.h"
#include "raster/Bitmap.h"
#include "raster/Lanczos.h"

// The rows of the target a mosaic is drawn over: the picture itself, or the
// picture enlarged smoothly `scale` times (the rows the whole enlargement
// would have).
class TTargetRows {
 public:
  // The picture must outlive this and stay unchanged.
  TTargetRows(const TBitmap& picture, int scale);
  // False when the picture is empty or the enlargement beyond
  // MaxBandResampleSide.
  bool Valid() const;
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  // Replaces band by rows y0..y1-1, 24-bit.
  bool Rows(int y0, int y1, TBitmap& band) const;

 private:
  TBitmap m_picture;  // 24-bit, when not enlarged
  std::unique_ptr<TBandResampler> m_resampler;
  int m_width = 0, m_height = 0;
};

// How the bands are cut: whole rows of cells, this many a band (0: as many
// as fit in about 64 MB, at least one).
struct TBandLayout {
  int CellRows = 0;
};

// The random mosaic of BuildMosaic in bands. False when there is no
// thumbnail or cell (the sink untouched), when cancelled, or when the sink
// fails (Error() says why); the sink is then abandoned.
bool DrawMosaicInBands(const TTargetRows& target, const TThumbnailList& thumbnails, int cellWidth, int cellHeight,
                       bool antialias, TRandom* random, TBandSink& sink, const TProgressProc& progress,
                       const TCancelProc& cancelled, TBandLayout layout = {});

// The matched mosaic of BuildMatchedMosaic in bands: one pass over the bands
// describes the cells, the placement is made, a second pass draws them.
// placement and quality as BuildMatchedMosaic fills them.
bool DrawMatchedMosaicInBands(const TTargetRows& target, const TThumbnailList& thumbnails, const TMatchLibrary& library,
                              const TMatchOptions& options, TBandSink& sink, const TProgressProc& progress,
                              TMatchPlacement* placement = nullptr, TMosaicQuality* quality = nullptr,
                              TBandLayout layout = {});

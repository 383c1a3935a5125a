#pragma once
// A Deep Zoom pyramid written from bands as they come: NAME.dzi and
// NAME_files/LEVEL/COL_ROW.jpg, 256-pixel JPEG tiles overlapping by one pixel,
// level LEVEL the picture halved (2x2 means, an edge pixel weighted by what
// it covers) MaxLevel - LEVEL times, down to one pixel at level 0.
//
// Each level keeps one strip of tile rows (256 + 2 overlap rows of its
// width) and one row waiting for its pair to make the next level's row, so
// the memory is about 2 x 258 rows of the full width, whatever the height.
// The tiles of a row are encoded on all cores. They are written into a
// hidden folder beside the final one and put in place by Finish, so an
// abandoned or failed pyramid leaves nothing and an older one of the same
// name is replaced whole.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "raster/BandSink.h"

class TDeepZoomWriter : public TBandSink {
 public:
  static constexpr int TileSize = 256;
  static constexpr int Overlap = 1;

  // Writes folder/name.dzi and folder/name_files; folder must exist.
  TDeepZoomWriter(QString folder, QString name, int quality = 85);
  ~TDeepZoomWriter() override;

  bool Begin(int width, int height) override;
  bool Write(const TBitmap& band, int top) override;
  bool Finish() override;
  void Abandon() override;
  QString Error() const override { return m_error; }

  // The deepest level (the full-size picture): ceil(log2(longer side)).
  static int MaxLevel(int width, int height);
  // The .dzi description of a picture of that size.
  static QByteArray Descriptor(int width, int height);

 private:
  struct TLevel;
  bool Fail(const QString& error);
  bool PushRow(int level, const std::uint8_t* row);
  bool WriteTileRow(TLevel& level, int tileRow);

  QString m_folder, m_name, m_partial;
  int m_quality;
  int m_width = 0, m_height = 0, m_nextRow = 0;
  bool m_finished = false;
  std::vector<std::unique_ptr<TLevel>> m_levels;
  QString m_error;
};

// An upper bound of the bytes the pyramid of a width x height picture takes
// on a disk: every tile, with its overlap, at three bytes a pixel (more than
// a JPEG of noise at any quality takes), its markers and a block of the file
// system of its own, and the description.
std::uint64_t DeepZoomBytesNeeded(std::int64_t width, std::int64_t height);

#include "imagefiles/DeepZoom.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/FileNames.h"
#include "imagefiles/JpegImage.h"
#include "raster/ParallelFor.h"

namespace fs = std::filesystem;

namespace {

fs::path SystemPath(const QString& name) { return fs::path(EncodeFileName(name).toStdString()); }

// The first and one-past-last pixel of tile index i along a side of size
// `side`: the tile's 256 pixels and one more on each side that has a
// neighbour.
int TileStart(int i) { return std::max(0, i * TDeepZoomWriter::TileSize - TDeepZoomWriter::Overlap); }
int TileEnd(int i, int side) { return std::min(side, (i + 1) * TDeepZoomWriter::TileSize + TDeepZoomWriter::Overlap); }

QString CannotWrite(const QString& name, const QString& reason) {
  return QStringLiteral("cannot write \"%1\": %2").arg(name, reason);
}

// One tile into its file; empty, or why it failed. Each thread has its own
// encoder, made once and reused tile after tile (an encoder per tile would
// cost the library's memory pools each time), so that the tiles of a row
// are encoded on all cores at once.
QString WriteTile(const QString& name, const std::uint8_t* const* rows, int width, int height, int quality) {
  std::FILE* file = std::fopen(EncodeFileName(name).constData(), "wb");
  if (!file) return CannotWrite(name, QString::fromLocal8Bit(std::strerror(errno)));
  QString error;
  try {
    thread_local TJpegEncoder encoder;
    // The encoder gathers a tile (a few tens of kilobytes) before it writes.
    encoder.Start(width, height, quality, false, [file](const std::uint8_t* data, size_t size) {
      if (std::fwrite(data, 1, size, file) != size) throw EImageError(std::strerror(errno));
    });
    encoder.Write(rows, height);
    encoder.Finish();
  } catch (const std::exception& e) {
    error = CannotWrite(name, QString::fromLocal8Bit(e.what()));
  }
  const bool closed = std::fclose(file) == 0;
  if (error.isEmpty() && !closed) error = CannotWrite(name, QString::fromLocal8Bit(std::strerror(errno)));
  return error;
}

}  // namespace

struct TDeepZoomWriter::TLevel {
  int Index = 0, Width = 0, Height = 0;
  std::vector<std::uint8_t> Strip;  // rows StripTop.. of the current tile row
  int StripTop = 0;
  int Rows = 0;      // rows held in Strip
  int Received = 0;  // rows of this level received so far
  int NextTileRow = 0;
  std::vector<std::uint8_t> Pending;  // an even row waiting for the row below it
  size_t Stride() const { return size_t(Width) * 3; }
};

TDeepZoomWriter::TDeepZoomWriter(QString folder, QString name, int quality)
    : m_folder(std::move(folder)), m_name(std::move(name)), m_quality(std::clamp(quality, 1, 100)) {}

TDeepZoomWriter::~TDeepZoomWriter() = default;

int TDeepZoomWriter::MaxLevel(int width, int height) {
  const int side = std::max(width, height);
  int level = 0;
  while ((std::int64_t(1) << level) < side) ++level;
  return level;
}

QByteArray TDeepZoomWriter::Descriptor(int width, int height) {
  return QByteArrayLiteral(
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<Image xmlns=\"http://schemas.microsoft.com/deepzoom/2008\" TileSize=\"") +
         QByteArray::number(TileSize) + "\" Overlap=\"" + QByteArray::number(Overlap) +
         "\" Format=\"jpg\">\n  <Size Width=\"" + QByteArray::number(width) + "\" Height=\"" +
         QByteArray::number(height) + "\"/>\n</Image>\n";
}

std::uint64_t DeepZoomBytesNeeded(std::int64_t width, std::int64_t height) {
  // A tile's markers and tables, and the block a small file still fills.
  constexpr std::uint64_t TileOverhead = 1024 + 4096;
  if (width <= 0 || height <= 0) return 0;
  const int maxLevel = TDeepZoomWriter::MaxLevel(int(std::min<std::int64_t>(width, INT_MAX)),
                                                 int(std::min<std::int64_t>(height, INT_MAX)));
  const std::int64_t tile = TDeepZoomWriter::TileSize;
  std::uint64_t bytes = std::uint64_t(TDeepZoomWriter::Descriptor(int(width), int(height)).size()) + 4096;
  for (int l = maxLevel; l >= 0; --l) {
    const std::int64_t shift = std::int64_t(1) << (maxLevel - l);
    const std::int64_t w = (width + shift - 1) / shift, h = (height + shift - 1) / shift;
    const std::int64_t columns = (w + tile - 1) / tile, rows = (h + tile - 1) / tile;
    const std::int64_t overlap = 2 * TDeepZoomWriter::Overlap;
    bytes += std::uint64_t(w + overlap * columns) * std::uint64_t(h + overlap * rows) * 3 +
             std::uint64_t(columns * rows) * TileOverhead;
  }
  return bytes;
}

bool TDeepZoomWriter::Fail(const QString& error) {
  m_error = error;
  return false;
}

bool TDeepZoomWriter::Begin(int width, int height) {
  if (width <= 0 || height <= 0) return Fail(QStringLiteral("no picture to write"));
  m_width = width;
  m_height = height;
  m_nextRow = 0;
  m_finished = false;
  m_partial = m_folder + QStringLiteral("/.") + m_name + QStringLiteral("_files.partial");
  const int maxLevel = MaxLevel(width, height);
  std::error_code ec;
  fs::remove_all(SystemPath(m_partial), ec);
  for (int l = 0; l <= maxLevel; ++l) {
    fs::create_directories(SystemPath(m_partial + QLatin1Char('/') + QString::number(l)), ec);
    if (ec)
      return Fail(
          QStringLiteral("cannot create the folder \"%1\": %2").arg(m_partial, QString::fromStdString(ec.message())));
  }
  m_levels.clear();
  try {
    for (int l = 0; l <= maxLevel; ++l) {
      auto level = std::make_unique<TLevel>();
      const int shift = maxLevel - l;
      level->Index = l;
      level->Width = int((std::int64_t(width) + (std::int64_t(1) << shift) - 1) >> shift);
      level->Height = int((std::int64_t(height) + (std::int64_t(1) << shift) - 1) >> shift);
      level->Strip.resize(level->Stride() * size_t(TileSize + 2 * Overlap));
      if (l > 0) level->Pending.resize(size_t(level->Width) * 2 * 3);
      m_levels.push_back(std::move(level));
    }
  } catch (const std::bad_alloc&) {
    m_levels.clear();
    return Fail(QStringLiteral("not enough memory"));
  }
  return true;
}

bool TDeepZoomWriter::Write(const TBitmap& band, int top) {
  if (m_levels.empty() || top != m_nextRow || band.Width() != m_width || band.PixelFormat() != pf24bit ||
      top + band.Height() > m_height)
    return Fail(QStringLiteral("bands out of order"));
  for (int y = 0; y < band.Height(); ++y)
    if (!PushRow(int(m_levels.size()) - 1, band.ScanLine(y))) return false;
  m_nextRow += band.Height();
  return true;
}

bool TDeepZoomWriter::PushRow(int index, const std::uint8_t* row) {
  TLevel& level = *m_levels[size_t(index)];
  const size_t stride = level.Stride();
  std::memcpy(level.Strip.data() + size_t(level.Rows) * stride, row, stride);
  ++level.Rows;
  const int y = level.Received++;
  // A side of 256 n + 1 pixels ends two tile rows at once: the last is the
  // overlap row and the last row.
  while (level.NextTileRow * TileSize < level.Height && level.Received == TileEnd(level.NextTileRow, level.Height)) {
    if (!WriteTileRow(level, level.NextTileRow)) return false;
    ++level.NextTileRow;
    if (level.NextTileRow * TileSize < level.Height) {
      // The overlap rows stay: they begin the next tile row.
      const int keepFrom = TileStart(level.NextTileRow) - level.StripTop;
      std::memmove(level.Strip.data(), level.Strip.data() + size_t(keepFrom) * stride,
                   size_t(level.Rows - keepFrom) * stride);
      level.Rows -= keepFrom;
      level.StripTop += keepFrom;
    }
  }
  if (index == 0) return true;
  // The level above takes the averages of 2x2 pixels. A pixel of the last
  // column or row may stand for fewer pixels of the picture than the others
  // (the picture's side is not a power of two): each counts for as many as
  // it stands for, so every pixel of a level is the mean of its block of the
  // picture and an edge never weighs more than its share.
  std::uint8_t* pending = level.Pending.data();
  if (y % 2 == 0 && y + 1 < level.Height) {
    std::memcpy(pending, row, stride);
    return true;
  }
  const std::int64_t full = std::int64_t(1) << (m_levels.size() - 1 - size_t(index));
  const auto span = [&](int i, int count, int side) {
    return i < count - 1 ? full : std::int64_t(side) - full * (count - 1);
  };
  const bool pair = y % 2 == 1;
  const std::uint8_t* upper = pair ? pending : row;
  const std::int64_t upperWeight = span(pair ? y - 1 : y, level.Height, m_height);
  const std::int64_t lowerWeight = pair ? span(y, level.Height, m_height) : 0;
  std::uint8_t* half = pending + stride;  // the second half of Pending
  const int halfWidth = m_levels[size_t(index - 1)]->Width;
  for (int x = 0; x < halfWidth; ++x) {
    const int a = 2 * x * 3;
    const bool right = 2 * x + 1 < level.Width;
    const std::int64_t leftWeight = span(2 * x, level.Width, m_width);
    const std::int64_t rightWeight = right ? span(2 * x + 1, level.Width, m_width) : 0;
    if (pair && right && leftWeight == rightWeight && upperWeight == lowerWeight) {
      for (int c = 0; c < 3; ++c)
        half[a / 2 + c] = std::uint8_t((upper[a + c] + upper[a + 3 + c] + row[a + c] + row[a + 3 + c] + 2) >> 2);
      continue;
    }
    const std::int64_t total = (leftWeight + rightWeight) * (upperWeight + lowerWeight);
    for (int c = 0; c < 3; ++c) {
      std::int64_t sum = (upper[a + c] * leftWeight) * upperWeight;
      if (right) sum += (upper[a + 3 + c] * rightWeight) * upperWeight;
      if (pair) {
        sum += (row[a + c] * leftWeight) * lowerWeight;
        if (right) sum += (row[a + 3 + c] * rightWeight) * lowerWeight;
      }
      half[a / 2 + c] = std::uint8_t((sum + total / 2) / total);
    }
  }
  return PushRow(index - 1, half);
}

bool TDeepZoomWriter::WriteTileRow(TLevel& level, int tileRow) {
  const int height = level.Rows, columns = (level.Width + TileSize - 1) / TileSize;
  const QString folder = m_partial + QLatin1Char('/') + QString::number(level.Index) + QLatin1Char('/');
  std::vector<QString> errors(static_cast<size_t>(columns));
  ParallelFor(size_t(columns), [&](size_t i) {
    const int column = int(i), left = TileStart(column), width = TileEnd(column, level.Width) - left;
    const std::uint8_t* rows[TileSize + 2 * Overlap];
    for (int y = 0; y < height; ++y) rows[y] = level.Strip.data() + size_t(y) * level.Stride() + size_t(left) * 3;
    errors[i] =
        WriteTile(folder + QStringLiteral("%1_%2.jpg").arg(column).arg(tileRow), rows, width, height, m_quality);
  });
  for (const QString& error : errors)
    if (!error.isEmpty()) return Fail(error);
  return true;
}

bool TDeepZoomWriter::Finish() {
  if (m_levels.empty() || m_nextRow != m_height) return Fail(QStringLiteral("the picture is incomplete"));
  m_levels.clear();
  const QString files = m_folder + QLatin1Char('/') + m_name + QStringLiteral("_files");
  const QString dzi = m_folder + QLatin1Char('/') + m_name + QStringLiteral(".dzi");
  std::error_code ec;
  fs::remove_all(SystemPath(files), ec);
  if (!ec) fs::rename(SystemPath(m_partial), SystemPath(files), ec);
  if (ec) return Fail(QStringLiteral("cannot write \"%1\": %2").arg(files, QString::fromStdString(ec.message())));
  m_finished = true;
  const QByteArray text = Descriptor(m_width, m_height);
  std::FILE* file = std::fopen(EncodeFileName(dzi).constData(), "wb");
  const bool written = file && std::fwrite(text.constData(), 1, size_t(text.size()), file) == size_t(text.size());
  if ((file && std::fclose(file) != 0) || !written)
    return Fail(QStringLiteral("cannot write \"%1\": %2").arg(dzi, QString::fromLocal8Bit(std::strerror(errno))));
  return true;
}

void TDeepZoomWriter::Abandon() {
  m_levels.clear();
  std::error_code ec;
  if (!m_partial.isEmpty()) fs::remove_all(SystemPath(m_partial), ec);
  if (m_finished) {
    // Another output of the same picture failed after this one was done.
    fs::remove_all(SystemPath(m_folder + QLatin1Char('/') + m_name + QStringLiteral("_files")), ec);
    fs::remove(SystemPath(m_folder + QLatin1Char('/') + m_name + QStringLiteral(".dzi")), ec);
    m_finished = false;
  }
}

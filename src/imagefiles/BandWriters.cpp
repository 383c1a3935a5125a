#include "imagefiles/BandWriters.h"

#include <sys/statvfs.h>

#include <QLocale>
#include <algorithm>
#include <exception>
#include <new>
#include <optional>

#include "app/FileNames.h"
#include "imagefiles/FileBytes.h"
#include "imagefiles/JpegImage.h"
#include "imagefiles/PictureFormats.h"
#include "imagefiles/PngImage.h"
#include "imagefiles/TiffWriter.h"
#include "imagefiles/ZlibStream.h"

namespace {

std::optional<TPictureFormat> FormatOf(const QString& fileName) {
  const TFormatDescriptor* format = WritableFormat(fileName);
  if (!format) return std::nullopt;
  return format->Format;
}

// What every file writer shares: the new file, the checks before the first
// band, and failures turned into the sink's error with the file removed.
class TFileBandWriter : public TBandSink {
 public:
  TFileBandWriter(QString fileName, TBandFileOptions options) : m_fileName(std::move(fileName)), m_options(options) {}

  bool Begin(int width, int height) override {
    return Try([&] {
      const std::int64_t side = BandFileMaxSide(m_fileName);
      if (width < 1 || height < 1 || width > side || height > side)
        throw EImageError(QStringLiteral("%1 x %2 pixels: beyond the %3 pixels a side this format takes")
                              .arg(width)
                              .arg(height)
                              .arg(side)
                              .toStdString());
      if (const std::string problem = DiskSpaceProblem(m_fileName, BandFileBytesNeeded(m_fileName, width, height));
          !problem.empty())
        throw EImageError(problem);
      m_file = std::make_unique<TAtomicFile>(m_fileName);
      m_width = width;
      Start(width, height);
    });
  }
  bool Write(const TBitmap& band, int) override {
    return Try([&] {
      if (!m_file) throw EImageError("the file is not open");
      if (band.Width() != m_width || band.PixelFormat() != pf24bit) throw EImageError("a band of the wrong layout");
      Add(band);
    });
  }
  bool Finish() override {
    return Try([&] {
      if (!m_file) throw EImageError("the file is not open");
      End();
      m_file->Commit();
      m_file.reset();
    });
  }
  void Abandon() override {
    Stop();
    m_file.reset();  // removes the new file
  }
  QString Error() const override { return m_error; }

 protected:
  virtual void Start(int width, int height) = 0;
  virtual void Add(const TBitmap& band) = 0;
  virtual void End() = 0;
  // Drops the encoder without completing the file.
  virtual void Stop() = 0;
  TAtomicFile& File() { return *m_file; }
  const TBandFileOptions& Options() const { return m_options; }

 private:
  template <class F>
  bool Try(F&& work) {
    try {
      work();
      return true;
    } catch (const std::bad_alloc&) {
      m_error = QStringLiteral("not enough memory");
    } catch (const std::exception& e) {
      m_error = QString::fromStdString(e.what());
    }
    Abandon();
    return false;
  }

  QString m_fileName;
  TBandFileOptions m_options;
  std::unique_ptr<TAtomicFile> m_file;
  int m_width = 0;
  QString m_error;
};

class TTiffBandWriter : public TFileBandWriter {
 public:
  using TFileBandWriter::TFileBandWriter;

 protected:
  void Start(int width, int height) override {
    m_tiff =
        std::make_unique<TTiffWriter>(File().Descriptor(), width, height, TiffResolutionFraction(Options().Resolution));
  }
  void Add(const TBitmap& band) override { m_tiff->Write(band); }
  void End() override {
    m_tiff->Finish();
    m_tiff.reset();
  }
  void Stop() override { m_tiff.reset(); }

 private:
  std::unique_ptr<TTiffWriter> m_tiff;
};

class TPngBandWriter : public TFileBandWriter {
 public:
  using TFileBandWriter::TFileBandWriter;

 protected:
  void Start(int width, int height) override {
    m_width = width;
    m_rowBytes = 1 + 3 * size_t(width);
    PutPngHead(m_out, width, height, Options().Resolution);
    m_stream = std::make_unique<TDeflateStream>(height, m_rowBytes, PngCompressionLevel,
                                                [this](const std::uint8_t* data, size_t size) {
                                                  m_chunks.Add(data, size, m_out);
                                                  if (m_out.size() >= kFlushBytes) Flush();
                                                });
    Flush();
  }
  void Add(const TBitmap& band) override {
    // Filtered a few megabytes at a time, so that a wide band is not held twice.
    const int step = int(std::max<size_t>(1, kFlushBytes / m_rowBytes));
    for (int y0 = 0; y0 < band.Height(); y0 += step) {
      const int rows = std::min(step, band.Height() - y0);
      m_filtered.resize(size_t(rows) * m_rowBytes);
      for (int y = 0; y < rows; ++y) FilterPngRow(band.ScanLine(y0 + y), m_width, &m_filtered[size_t(y) * m_rowBytes]);
      m_stream->Add(m_filtered.data(), rows);
    }
  }
  void End() override {
    m_stream->Finish();
    m_stream.reset();
    m_chunks.Finish(m_out);
    Flush();
  }
  void Stop() override { m_stream.reset(); }

 private:
  static constexpr size_t kFlushBytes = size_t(4) << 20;
  void Flush() {
    File().Write(m_out.data(), m_out.size());
    m_out.clear();
  }
  int m_width = 0;
  size_t m_rowBytes = 0;
  TByteBuffer m_out, m_filtered;
  TPngImageData m_chunks;
  std::unique_ptr<TDeflateStream> m_stream;
};

class TJpegBandWriter : public TFileBandWriter {
 public:
  using TFileBandWriter::TFileBandWriter;

 protected:
  void Start(int width, int height) override {
    m_jpeg = std::make_unique<TJpegEncoder>();
    m_jpeg->Start(width, height, Options().JpegQuality, Options().JpegProgressive,
                  [this](const std::uint8_t* data, size_t size) { File().Write(data, size); });
  }
  void Add(const TBitmap& band) override { m_jpeg->Write(band); }
  void End() override {
    m_jpeg->Finish();
    m_jpeg.reset();
  }
  void Stop() override { m_jpeg.reset(); }

 private:
  std::unique_ptr<TJpegEncoder> m_jpeg;
};

}  // namespace

std::int64_t BandFileMaxSide(const QString& fileName) {
  switch (FormatOf(fileName).value_or(TPictureFormat::Bmp)) {
    case TPictureFormat::Tiff: return 0xFFFFFFFFll;  // BigTIFF keeps 32-bit sides
    case TPictureFormat::Png: return 0x7FFFFFFFll;
    case TPictureFormat::Jpeg: return JpegMaxSide;
    default: return 0;
  }
}

std::uint64_t BandFileBytesNeeded(const QString& fileName, std::int64_t width, std::int64_t height) {
  const std::uint64_t w = std::uint64_t(std::max<std::int64_t>(width, 0));
  const std::uint64_t h = std::uint64_t(std::max<std::int64_t>(height, 0));
  switch (FormatOf(fileName).value_or(TPictureFormat::Bmp)) {
    case TPictureFormat::Tiff: return 3 * w * h + 16 * h + 65536;
    case TPictureFormat::Png: {
      // Stored deflate blocks, the segments' few bytes, the chunks' twelve.
      const std::uint64_t raw = (1 + 3 * w) * h;
      return raw + raw / 512 + 12 * (raw / 65535 + 1) + 65536;
    }
    case TPictureFormat::Jpeg: return 3 * w * h + 65536;
    default: return 0;
  }
}

std::string DiskSpaceProblem(const QString& fileName, std::uint64_t bytes) {
  QByteArray folder = EncodeFileName(fileName);
  const qsizetype slash = folder.lastIndexOf('/');
  folder = slash < 0 ? QByteArrayLiteral(".") : slash == 0 ? QByteArrayLiteral("/") : folder.left(slash);
  struct statvfs fs {};
  if (::statvfs(folder.constData(), &fs) != 0) return {};
  const std::uint64_t free = std::uint64_t(fs.f_bavail) * std::uint64_t(fs.f_frsize);
  if (free >= bytes) return {};
  const QLocale c = QLocale::c();
  const auto megabytes = [&](std::uint64_t b) { return c.toString(double(b) / 1e6, 'f', 0); };
  return QStringLiteral("disk full: the file needs up to %1 MB, %2 MB are free")
      .arg(megabytes(bytes), megabytes(free))
      .toStdString();
}

std::unique_ptr<TBandSink> MakeBandFileWriter(const QString& fileName, const TBandFileOptions& options) {
  switch (FormatOf(fileName).value_or(TPictureFormat::Bmp)) {
    case TPictureFormat::Tiff: return std::make_unique<TTiffBandWriter>(fileName, options);
    case TPictureFormat::Png: return std::make_unique<TPngBandWriter>(fileName, options);
    case TPictureFormat::Jpeg: return std::make_unique<TJpegBandWriter>(fileName, options);
    default: return nullptr;
  }
}

#pragma once
// TBitmap: the picture every part of the program works on. A QImage plus the
// pixel format the picture is meant to have and its transparency settings.
// A bitmap tells no one of its changes: whoever shows one is told by whoever
// changed it.
//
// Storage by pixel format:
//   pf1bit  QImage::Format_Mono (most significant bit first) with a colour table
//   pf4bit  QImage::Format_Indexed8 with at most 16 colours (one byte a pixel)
//   pf8bit  QImage::Format_Indexed8
//   pf15bit QImage::Format_RGB555, pf16bit QImage::Format_RGB16
//   pf24bit QImage::Format_BGR888: blue, green, red in memory
//   pf32bit QImage::Format_ARGB32: blue, green, red, alpha in memory
#include <QImage>
#include <cstdint>

#include "raster/Color.h"

// Ordinals as stored in files and dispatch results; pfDevice and pfCustom are
// kept for that only and behave as pf24bit when set.
enum TPixelFormat : std::uint8_t { pfDevice = 0, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };

QImage::Format QImageFormatOf(TPixelFormat pf);

// The largest picture the program makes or reads: the readers check a
// header's size against these before asking for pixel memory, and the
// resamplers refuse larger results.
constexpr std::int64_t MaxPictureSide = 65535;
constexpr std::int64_t MaxPicturePixels = std::int64_t(1) << 29;

class TBitmap {
 public:
  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat pf = pf24bit);
  // Copies share the pixels until one of them is written.
  TBitmap(const TBitmap& other) = default;
  TBitmap& operator=(const TBitmap& other) = default;
  TBitmap(TBitmap&& other) noexcept = default;
  TBitmap& operator=(TBitmap&& other) noexcept = default;
  ~TBitmap() = default;

  bool Empty() const { return m_image.isNull(); }
  // A side may be set while the other is still 0: the bitmap stays empty
  // until both are positive, so setting width then height works.
  int Width() const { return m_width; }
  int Height() const { return m_height; }

  // Resizing keeps the pixels of the common area; new pixels are zero
  // (black for true colour, palette entry 0 otherwise). A zero side empties.
  void SetWidth(int width);
  void SetHeight(int height);
  void SetSize(int width, int height);

  TPixelFormat PixelFormat() const { return m_format; }
  // Converts the pixels: to pf24bit the colour bytes are kept and any alpha is
  // dropped, with no blending; palette pictures expand through their table;
  // pf1bit/pf4bit/pf8bit from true colour quantise.
  void SetPixelFormat(TPixelFormat pf);

  // Colour table of palette formats (empty for true colour).
  QList<QRgb> Palette() const { return m_image.colorTable(); }
  void SetPalette(const QList<QRgb>& colors);

  bool Transparent = false;
  // The transparent colour is the bottom-left pixel until one is set.
  TColor TransparentColor() const;
  void SetTransparentColor(TColor color);
  bool TransparentColorSet() const { return m_transparentColorSet; }

  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  qsizetype BytesPerLine() const { return m_image.bytesPerLine(); }

  // Copies the picture and settings of source, or empties this one for nullptr.
  void Assign(const TBitmap* source);

  // One pixel as a colour value; clNone outside the picture.
  TColor Pixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // Draws source with its top-left corner at (x, y), clipped to this bitmap.
  // A transparent source leaves this bitmap's pixels where the source has its
  // transparent colour.
  void Draw(int x, int y, const TBitmap& source);

  // Fills the whole bitmap with a colour (true colour formats).
  void Fill(TColor color);

  const QImage& Image() const { return m_image; }
  // Replaces the picture; the format tag follows the image unless one is given.
  void SetImage(QImage image);
  void SetImage(QImage image, TPixelFormat pf);
  // Hands out the image for direct writing. The size must stay as it is.
  QImage& MutableImage() { return m_image; }

 private:
  void Reallocate(int width, int height);

  QImage m_image;
  int m_width = 0;
  int m_height = 0;
  TPixelFormat m_format = pf24bit;
  TColor m_transparentColor = clDefault;
  bool m_transparentColorSet = false;
};

// The format tag that fits a QImage as it stands.
TPixelFormat PixelFormatOfImage(const QImage& image);

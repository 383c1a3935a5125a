#include "raster/Bitmap.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

#include "raster/MemoryHints.h"

QImage::Format QImageFormatOf(TPixelFormat pf) {
  switch (pf) {
    case pf1bit: return QImage::Format_Mono;
    case pf4bit:
    case pf8bit: return QImage::Format_Indexed8;
    case pf15bit: return QImage::Format_RGB555;
    case pf16bit: return QImage::Format_RGB16;
    case pf32bit: return QImage::Format_ARGB32;
    default: return QImage::Format_BGR888;
  }
}

TPixelFormat PixelFormatOfImage(const QImage& image) {
  switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: return pf1bit;
    case QImage::Format_Indexed8: return image.colorCount() <= 16 ? pf4bit : pf8bit;
    case QImage::Format_RGB555: return pf15bit;
    case QImage::Format_RGB16: return pf16bit;
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGB32: return pf32bit;
    default: return pf24bit;
  }
}

namespace {

TPixelFormat Normalised(TPixelFormat pf) { return (pf == pfDevice || pf == pfCustom) ? pf24bit : pf; }

TColor FromQRgb(QRgb c) { return RGBColor(qRed(c), qGreen(c), qBlue(c)); }

// True colour to 24 bits without blending: alpha is dropped, never composited.
QImage To24(const QImage& src) {
  const int w = src.width(), h = src.height();
  QImage dst(w, h, QImage::Format_BGR888);
  if (dst.isNull()) throw std::bad_alloc();
  if (src.format() == QImage::Format_ARGB32 || src.format() == QImage::Format_RGB32) {
    for (int y = 0; y < h; ++y) {
      const uchar* s = src.constScanLine(y);
      uchar* d = dst.scanLine(y);
      for (int x = 0; x < w; ++x, s += 4, d += 3) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
      }
    }
    return dst;
  }
  const QList<QRgb> table = src.colorTable();
  const bool indexed = src.format() == QImage::Format_Indexed8;
  for (int y = 0; y < h; ++y) {
    const uchar* s = src.constScanLine(y);
    uchar* d = dst.scanLine(y);
    for (int x = 0; x < w; ++x, d += 3) {
      QRgb c;
      if (indexed) {
        const int i = s[x];
        c = i < table.size() ? table[i] : 0;
      } else {
        c = src.pixel(x, y);  // every other format: Qt's own decoding, alpha unused
      }
      d[0] = uchar(qBlue(c));
      d[1] = uchar(qGreen(c));
      d[2] = uchar(qRed(c));
    }
  }
  return dst;
}

QImage To32(const QImage& src) {
  if (src.format() == QImage::Format_ARGB32) return src;
  const int w = src.width(), h = src.height();
  QImage dst(w, h, QImage::Format_ARGB32);
  if (dst.isNull()) throw std::bad_alloc();
  if (src.format() == QImage::Format_BGR888) {
    for (int y = 0; y < h; ++y) {
      const uchar* s = src.constScanLine(y);
      uchar* d = dst.scanLine(y);
      for (int x = 0; x < w; ++x, s += 3, d += 4) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = 255;
      }
    }
    return dst;
  }
  dst = src.convertToFormat(QImage::Format_ARGB32);
  if (dst.isNull()) throw std::bad_alloc();
  return dst;
}

// A palette picture of at most `colors` entries.
QImage ToIndexed(const QImage& src, int colors, QImage::Format format) {
  QImage dst;
  if (src.format() == QImage::Format_Indexed8 || src.format() == QImage::Format_Mono ||
      src.format() == QImage::Format_MonoLSB) {
    if (src.colorCount() <= colors) {
      dst = src.convertToFormat(format);
      if (!dst.isNull() && format == QImage::Format_Indexed8) dst.setColorTable(src.colorTable());
    }
  }
  if (dst.isNull()) {
    const QImage rgb = src.convertToFormat(QImage::Format_RGB32);
    if (colors <= 2) {
      dst = rgb.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    } else {
      dst = rgb.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
      if (dst.colorCount() > colors) {
        // Qt's own reduction allows 256 colours: narrow to a fixed cube.
        QList<QRgb> table;
        for (int i = 0; i < 16; ++i) {
          const int r = (i & 1) ? 255 : 0, g = (i & 2) ? 255 : 0, b = (i & 4) ? 255 : 0;
          const int k = (i & 8) ? 1 : 2;
          table.append(qRgb(r / k, g / k, b / k));
        }
        dst = rgb.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
      }
    }
    if (dst.format() != format) dst = dst.convertToFormat(format);
  }
  if (dst.isNull()) throw std::bad_alloc();
  return dst;
}

}  // namespace

TBitmap::TBitmap(int width, int height, TPixelFormat pf) : m_format(Normalised(pf)) { SetSize(width, height); }

void TBitmap::Reallocate(int width, int height) {
  if (width <= 0 || height <= 0) {
    m_image = QImage();
    return;
  }
  QImage img(width, height, QImageFormatOf(m_format));
  if (img.isNull()) throw std::bad_alloc();
  PreferHugePages(img.bits(), size_t(img.sizeInBytes()));
  img.fill(0);
  const QList<QRgb> table = m_image.colorTable();
  if (m_format == pf1bit) {
    img.setColorTable(table.size() == 2 ? table : QList<QRgb>{qRgb(0, 0, 0), qRgb(255, 255, 255)});
  } else if (m_format == pf4bit || m_format == pf8bit) {
    img.setColorTable(table.isEmpty() ? QList<QRgb>{qRgb(0, 0, 0)} : table);
  }
  if (!m_image.isNull() && m_image.format() == img.format()) {
    const int rows = std::min(height, m_image.height());
    const qsizetype bytes = std::min(img.bytesPerLine(), m_image.bytesPerLine());
    const int bpp = img.depth();
    const qsizetype used = (qsizetype(std::min(width, m_image.width())) * bpp + 7) / 8;
    for (int y = 0; y < rows; ++y) std::memcpy(img.scanLine(y), m_image.constScanLine(y), std::min(bytes, used));
  }
  m_image = std::move(img);
}

void TBitmap::SetWidth(int width) { SetSize(width, Height()); }
void TBitmap::SetHeight(int height) { SetSize(Width(), height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == m_width && height == m_height) return;
  Reallocate(width, height);
  m_width = width;
  m_height = height;
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  pf = Normalised(pf);
  if (pf == m_format) return;
  m_format = pf;
  if (m_image.isNull()) return;
  switch (pf) {
    case pf24bit: m_image = To24(m_image); break;
    case pf32bit: m_image = To32(m_image); break;
    case pf1bit: m_image = ToIndexed(m_image, 2, QImage::Format_Mono); break;
    case pf4bit: m_image = ToIndexed(m_image, 16, QImage::Format_Indexed8); break;
    case pf8bit: m_image = ToIndexed(m_image, 256, QImage::Format_Indexed8); break;
    default: {
      const QImage img = m_image.convertToFormat(QImageFormatOf(pf));
      if (img.isNull()) throw std::bad_alloc();
      m_image = img;
    }
  }
}

void TBitmap::SetPalette(const QList<QRgb>& colors) {
  if (m_format == pf1bit || m_format == pf4bit || m_format == pf8bit) {
    m_image.setColorTable(colors);
  }
}

TColor TBitmap::TransparentColor() const {
  if (m_transparentColorSet) return m_transparentColor;
  if (m_image.isNull()) return clDefault;
  return Pixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor color) {
  m_transparentColor = color;
  m_transparentColorSet = color != clDefault;
}

std::uint8_t* TBitmap::ScanLine(int y) { return m_image.scanLine(y); }
const std::uint8_t* TBitmap::ScanLine(int y) const { return m_image.constScanLine(y); }

void TBitmap::Assign(const TBitmap* source) {
  if (source == this) return;
  if (!source) {
    m_image = QImage();
    m_width = m_height = 0;
    Transparent = false;
    m_transparentColorSet = false;
    m_transparentColor = clDefault;
  } else {
    m_image = source->m_image;
    m_width = source->m_width;
    m_height = source->m_height;
    m_format = source->m_format;
    Transparent = source->Transparent;
    m_transparentColor = source->m_transparentColor;
    m_transparentColorSet = source->m_transparentColorSet;
  }
}

TColor TBitmap::Pixel(int x, int y) const {
  if (m_image.isNull() || x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return clNone;
  if (m_format == pf24bit) {
    const uchar* p = m_image.constScanLine(y) + 3 * x;
    return RGBColor(p[2], p[1], p[0]);
  }
  return FromQRgb(m_image.pixel(x, y));
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (m_image.isNull() || x < 0 || y < 0 || x >= m_image.width() || y >= m_image.height()) return;
  color = ColorToRGB(color);
  if (m_format == pf24bit) {
    uchar* p = m_image.scanLine(y) + 3 * x;
    p[0] = uchar(GetBValue(color));
    p[1] = uchar(GetGValue(color));
    p[2] = uchar(GetRValue(color));
  } else if (m_image.format() == QImage::Format_Indexed8 || m_image.format() == QImage::Format_Mono) {
    // Nearest palette entry, as a palette device would map it.
    const QList<QRgb> table = m_image.colorTable();
    int best = 0;
    long bestDist = -1;
    for (int i = 0; i < table.size(); ++i) {
      const long dr = qRed(table[i]) - GetRValue(color), dg = qGreen(table[i]) - GetGValue(color),
                 db = qBlue(table[i]) - GetBValue(color);
      const long d = dr * dr + dg * dg + db * db;
      if (bestDist < 0 || d < bestDist) best = i, bestDist = d;
    }
    m_image.setPixel(x, y, uint(best));
  } else {
    const QRgb old = m_image.pixel(x, y);
    m_image.setPixel(x, y, qRgba(GetRValue(color), GetGValue(color), GetBValue(color), qAlpha(old)));
  }
}

void TBitmap::Draw(int x, int y, const TBitmap& source) {
  if (source.Empty() || Empty()) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + source.Width(), Width()), y1 = std::min(y + source.Height(), Height());
  if (x0 >= x1 || y0 >= y1) return;
  const bool keyed = source.Transparent;
  const TColor key = keyed ? ColorToRGB(source.TransparentColor()) : 0;
  if (!keyed && m_format == source.m_format && (m_format == pf24bit || m_format == pf32bit)) {
    const int bpp = m_format == pf24bit ? 3 : 4;
    const size_t bytes = size_t(x1 - x0) * bpp;
    for (int ty = y0; ty < y1; ++ty)
      std::memcpy(m_image.scanLine(ty) + x0 * bpp, source.m_image.constScanLine(ty - y) + (x0 - x) * bpp, bytes);
  } else {
    for (int ty = y0; ty < y1; ++ty)
      for (int tx = x0; tx < x1; ++tx) {
        const TColor c = source.Pixel(tx - x, ty - y);
        if (!keyed || c != key) SetPixel(tx, ty, c);
      }
  }
}

void TBitmap::Fill(TColor color) {
  if (m_image.isNull()) return;
  color = ColorToRGB(color);
  if (m_format == pf24bit) {
    for (int y = 0; y < Height(); ++y) {
      uchar* p = m_image.scanLine(y);
      for (int x = 0; x < Width(); ++x, p += 3) {
        p[0] = uchar(GetBValue(color));
        p[1] = uchar(GetGValue(color));
        p[2] = uchar(GetRValue(color));
      }
    }
  } else if (m_format == pf32bit || m_format == pf15bit || m_format == pf16bit) {
    m_image.fill(QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
  } else {
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x) SetPixel(x, y, color);
  }
}

void TBitmap::SetImage(QImage image) {
  const TPixelFormat pf = PixelFormatOfImage(image);
  SetImage(std::move(image), pf);
}

void TBitmap::SetImage(QImage image, TPixelFormat pf) {
  pf = Normalised(pf);
  if (!image.isNull() && image.format() != QImageFormatOf(pf)) {
    if (pf == pf24bit)
      image = To24(image);
    else if (pf == pf32bit)
      image = To32(image);
    else if (pf == pf1bit || pf == pf4bit || pf == pf8bit)
      image = ToIndexed(image, pf == pf1bit ? 2 : pf == pf4bit ? 16 : 256, QImageFormatOf(pf));
    else
      image = image.convertToFormat(QImageFormatOf(pf));
  }
  m_image = std::move(image);
  m_width = m_image.width();
  m_height = m_image.height();
  m_format = pf;
}

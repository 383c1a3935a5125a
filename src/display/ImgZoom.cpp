#include "display/ImgZoom.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <vector>

#include "raster/ColorAdjust.h"
#include "raster/ParallelFor.h"

namespace {

// Zoomed sides are kept well inside int so that positions plus sides, and
// the scroll ranges built on them, cannot overflow.
constexpr int kMaxZoomedSide = 1 << 28;

int ZoomedSide(int side, double zoom) {
  const double v = double(side) * zoom;
  if (!(v > 0)) return 0;
  return int(std::min<long long>(RoundEven(std::min(v, double(kMaxZoomedSide))), kMaxZoomedSide));
}

TRect Clamped(long long l, long long t, long long r, long long b) {
  const auto c = [](long long v) { return int(std::clamp<long long>(v, INT_MIN / 2, INT_MAX / 2)); };
  return TRect{c(l), c(t), c(r), c(b)};
}

// ---- Reading source pixels as 0xFFRRGGBB, whatever the storage -------------

struct TBgrReader {
  const QImage& Img;
  const uchar* RowPtr = nullptr;
  void Row(int y) { RowPtr = Img.constScanLine(y); }
  QRgb operator()(int x) const {
    const uchar* p = RowPtr + 3 * qsizetype(x);
    return 0xFF000000u | (QRgb(p[2]) << 16) | (QRgb(p[1]) << 8) | p[0];
  }
};

// 32-bit storage: the alpha byte is ignored, as a plain copy would ignore it.
struct TRgb32Reader {
  const QImage& Img;
  const QRgb* RowPtr = nullptr;
  void Row(int y) { RowPtr = reinterpret_cast<const QRgb*>(Img.constScanLine(y)); }
  QRgb operator()(int x) const { return RowPtr[x] | 0xFF000000u; }
};

struct TIndexedReader {
  const QImage& Img;
  std::vector<QRgb> Table;
  const uchar* RowPtr = nullptr;
  explicit TIndexedReader(const QImage& img) : Img(img), Table(256, 0xFF000000u) {
    const QList<QRgb> t = img.colorTable();
    for (qsizetype i = 0; i < t.size() && i < 256; ++i) Table[size_t(i)] = t[i] | 0xFF000000u;
  }
  void Row(int y) { RowPtr = Img.constScanLine(y); }
  QRgb operator()(int x) const { return Table[RowPtr[x]]; }
};

// Everything else (1 bit, 15 and 16 bits): Qt's own decoding.
struct TAnyReader {
  const QImage& Img;
  int Y = 0;
  void Row(int y) { Y = y; }
  QRgb operator()(int x) const { return Img.pixel(x, Y) | 0xFF000000u; }
};

template <class F>
void WithReader(const QImage& img, F&& f) {
  switch (img.format()) {
    case QImage::Format_BGR888: f(TBgrReader{img}); break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied: f(TRgb32Reader{img}); break;
    case QImage::Format_Indexed8: f(TIndexedReader{img}); break;
    default: f(TAnyReader{img}); break;
  }
}

// ---- Mapping zoomed pixels to source pixels ---------------------------------

// The source pixel under zoomed pixel d: the last source pixel i whose span
// floor(i * zoomed / side) .. starts at or before d.
int NearestSource(int d, int side, int zoomed) {
  const long long i = (((long long)d + 1) * side - 1) / zoomed;
  return int(std::min<long long>(i, side - 1));
}

// Weights of the source pixels that make one zoomed pixel, for one axis.
struct TTaps {
  std::vector<int> First;  // per zoomed pixel: index into Index/Weight
  std::vector<int> Index;
  std::vector<std::uint32_t> Weight;
  std::uint64_t Total = 1;  // the weights of every zoomed pixel add up to this
};

// Zoomed pixels from..to-1 of an axis of `side` source pixels shown as
// `zoomed` pixels, each the average of the source area it covers: source
// pixel i covers [i * zoomed, (i + 1) * zoomed) and zoomed pixel d covers
// [d * side, (d + 1) * side) on a common scale, the weight is their overlap,
// and the weights of one zoomed pixel add up to `side`. Reductions average;
// enlargements repeat source pixels, blending the zoomed pixels that
// straddle two of them.
TTaps SmoothTaps(int from, int to, int side, int zoomed) {
  TTaps t;
  t.Total = std::uint64_t(side);
  t.First.reserve(size_t(to - from) + 1);
  for (int d = from; d < to; ++d) {
    t.First.push_back(int(t.Index.size()));
    const long long lo = (long long)d * side, hi = lo + side;
    for (long long i = lo / zoomed; i * zoomed < hi && i < side; ++i) {
      const long long w = std::min(hi, (i + 1) * zoomed) - std::max(lo, i * zoomed);
      if (w <= 0) continue;
      t.Index.push_back(int(i));
      t.Weight.push_back(std::uint32_t(w));
    }
  }
  t.First.push_back(int(t.Index.size()));
  return t;
}

// Below this many source reads a smooth stretch is not worth a thread.
constexpr std::uint64_t kParallelTaps = 4'000'000;

QImage NewImage(int w, int h, QImage::Format f) {
  QImage img(w, h, f);
  if (img.isNull()) throw std::bad_alloc();
  return img;
}

QRgb KeyOf(const TBitmap& bitmap) {
  const TColor c = ColorToRGB(bitmap.TransparentColor());
  return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

TRect PainterClipRect(const QPainter& painter) {
  const QPaintDevice* dev = painter.device();
  if (!dev) return TRect{};
  QRect r(0, 0, dev->width(), dev->height());
  if (painter.hasClipping()) r &= painter.clipBoundingRect().toAlignedRect();
  if (r.isEmpty()) return TRect{};
  return TRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

QColor ToQColor(TColor c) {
  c = ColorToRGB(c);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }

QImage StretchPart(const TBitmap& bitmap, int zw, int zh, const TRect& part, TStretchKind kind) {
  const int w = bitmap.Width(), h = bitmap.Height();
  TRect p;
  if (bitmap.Empty() || zw <= 0 || zh <= 0 || !IntersectRect(p, part, TRect{0, 0, zw, zh})) return QImage();
  const int pw = p.Right - p.Left, ph = p.Bottom - p.Top;
  const QImage& src = bitmap.Image();

  if (kind != TStretchKind::Smooth) {
    const bool masked = kind == TStretchKind::Masked;
    QImage out = NewImage(pw, ph, masked ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    std::vector<int> cols(size_t(pw), 0);
    for (int c = 0; c < pw; ++c) cols[size_t(c)] = NearestSource(p.Left + c, w, zw);
    const QRgb key = KeyOf(bitmap);
    WithReader(src, [&](auto reader) {
      int lastRow = -1;
      for (int r = 0; r < ph; ++r) {
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(r));
        const int sy = NearestSource(p.Top + r, h, zh);
        if (sy == lastRow) {  // an enlarged row repeats the one above
          std::copy_n(reinterpret_cast<const QRgb*>(out.constScanLine(r - 1)), pw, o);
          continue;
        }
        lastRow = sy;
        reader.Row(sy);
        if (masked) {
          for (int c = 0; c < pw; ++c) {
            const QRgb v = reader(cols[size_t(c)]);
            o[c] = v == key ? 0u : v;
          }
        } else {
          for (int c = 0; c < pw; ++c) o[c] = reader(cols[size_t(c)]);
        }
      }
    });
    return out;
  }

  QImage out = NewImage(pw, ph, QImage::Format_RGB32);
  const TTaps tx = SmoothTaps(p.Left, p.Right, w, zw);
  const TTaps ty = SmoothTaps(p.Top, p.Bottom, h, zh);
  const std::uint64_t total = tx.Total * ty.Total, half = total / 2;
  // Rows are independent: large reductions (the first paint after zooming
  // out of a big picture) are shared among the cores in bands of rows.
  uchar* const bits = out.bits();
  const qsizetype stride = out.bytesPerLine();
  const auto band = [&](int r0, int r1) {
    std::vector<std::uint64_t> acc(size_t(pw) * 3);
    WithReader(src, [&](auto reader) {
      for (int r = r0; r < r1; ++r) {
        std::fill(acc.begin(), acc.end(), 0);
        for (int k = ty.First[size_t(r)]; k < ty.First[size_t(r) + 1]; ++k) {
          const std::uint64_t wy = ty.Weight[size_t(k)];
          reader.Row(ty.Index[size_t(k)]);
          std::uint64_t* a = acc.data();
          for (int c = 0; c < pw; ++c, a += 3) {
            std::uint64_t sr = 0, sg = 0, sb = 0;
            for (int m = tx.First[size_t(c)]; m < tx.First[size_t(c) + 1]; ++m) {
              const QRgb v = reader(tx.Index[size_t(m)]);
              const std::uint64_t wx = tx.Weight[size_t(m)];
              sr += wx * qRed(v);
              sg += wx * qGreen(v);
              sb += wx * qBlue(v);
            }
            a[0] += wy * sr;
            a[1] += wy * sg;
            a[2] += wy * sb;
          }
        }
        QRgb* o = reinterpret_cast<QRgb*>(bits + qsizetype(r) * stride);
        const std::uint64_t* a = acc.data();
        for (int c = 0; c < pw; ++c, a += 3)
          o[c] = qRgb(int((a[0] + half) / total), int((a[1] + half) / total), int((a[2] + half) / total));
      }
    });
  };
  const std::uint64_t taps = std::uint64_t(ty.Index.size()) * std::uint64_t(tx.Index.size());
  if (taps < kParallelTaps || ph < 2) {
    band(0, ph);
  } else {
    const int bands = std::min(ph, 64);
    ParallelFor(size_t(bands), [&](size_t b) {
      band(int(b * size_t(ph) / size_t(bands)), int((b + 1) * size_t(ph) / size_t(bands)));
    });
  }
  return out;
}

// ---- TImageZoom --------------------------------------------------------------

void TImageZoom::SetBitmap(const TBitmap* bitmap) {
  if (bitmap == m_bitmap) return;
  m_bitmap = bitmap;
  m_cache = QImage();
  Recalc();
}

void TImageZoom::SetCanvas(QPainter* canvas) {
  if (canvas == m_canvas) return;
  m_canvas = canvas;
  m_box = canvas ? PainterClipRect(*canvas) : TRect{};
  Recalc();
}

void TImageZoom::SetBox(const TRect& box) {
  if (box == m_box) return;
  m_box = box;
  Recalc();
}

void TImageZoom::SetZoomMode(TZoomMode mode) {
  if (mode == m_zoomMode) return;
  m_zoomMode = mode;
  Recalc();
}

void TImageZoom::SetZoom(double zoom) {
  if (!(zoom > 0) || !std::isfinite(zoom)) zoom = 1.0;
  m_zoomMode = zmCustom;
  if (zoom == m_zoom) return;
  m_zoom = zoom;
  Recalc();
}

void TImageZoom::SetZoomWidth(int w) {
  // An empty bitmap has no width to divide by.
  if (!m_bitmap || m_bitmap->Empty() || w <= 0 || w == m_zoomWidth) return;
  m_zoomWidth = std::min(w, kMaxZoomedSide);
  m_zoom = double(m_zoomWidth) / m_bitmap->Width();
  m_zoomHeight = ZoomedSide(m_bitmap->Height(), m_zoom);
  m_zoomMode = zmCustom;
  Align();
}

void TImageZoom::SetZoomHeight(int h) {
  if (!m_bitmap || m_bitmap->Empty() || h <= 0 || h == m_zoomHeight) return;
  m_zoomHeight = std::min(h, kMaxZoomedSide);
  m_zoom = double(m_zoomHeight) / m_bitmap->Height();
  m_zoomWidth = ZoomedSide(m_bitmap->Width(), m_zoom);
  m_zoomMode = zmCustom;
  Align();
}

void TImageZoom::SetAlign(TZoomAlign align) {
  if (align == m_zoomAlign) return;
  m_zoomAlign = align;
  Align();
}

void TImageZoom::SetLeft(int x) {
  m_left = x;
  m_zoomAlign = zaManual;
}

void TImageZoom::SetTop(int y) {
  m_top = y;
  m_zoomAlign = zaManual;
}

void TImageZoom::PictureChanged() {
  m_cache = QImage();
  Recalc();
}

double TImageZoom::ComputeFitZoom(const TBitmap* bitmap, const TRect& box, int kind) {
  if (!bitmap || bitmap->Empty() || IsRectEmpty(box)) return 0;
  const double zx = double(box.Right - box.Left) / bitmap->Width();
  const double zy = double(box.Bottom - box.Top) / bitmap->Height();
  switch (kind) {
    case zmFitWidth: return zx;
    case zmFitHeight: return zy;
    case zmFitBox: return std::min(zx, zy);
    default: return 1.0;
  }
}

void TImageZoom::Recalc() {
  if (!m_bitmap) {
    m_zoomWidth = m_zoomHeight = 0;
    return;
  }
  if (!IsRectEmpty(m_box)) {
    if (m_zoomMode == zmActualSize)
      m_zoom = 1.0;
    else if (m_zoomMode >= zmFitWidth && m_zoomMode <= zmFitBox)
      m_zoom = ComputeFitZoom(m_bitmap, m_box, m_zoomMode);
  }
  m_zoomWidth = ZoomedSide(m_bitmap->Width(), m_zoom);
  m_zoomHeight = ZoomedSide(m_bitmap->Height(), m_zoom);
  Align();
}

void TImageZoom::Align() {
  if (!m_bitmap || IsRectEmpty(m_box) || m_zoomAlign == zaManual) return;
  const int bw = m_box.Right - m_box.Left, bh = m_box.Bottom - m_box.Top;
  switch (m_zoomAlign) {
    case zaTopCenter:
    case zaCenter:
    case zaBottomCenter:
    case zaCenterHorz: m_left = m_box.Left + (bw - m_zoomWidth) / 2; break;
    case zaTopLeft:
    case zaMiddleLeft:
    case zaBottomLeft: m_left = m_box.Left; break;
    case zaTopRight:
    case zaMiddleRight:
    case zaBottomRight: m_left = m_box.Right - m_zoomWidth; break;
    default: break;
  }
  switch (m_zoomAlign) {
    case zaMiddleLeft:
    case zaCenter:
    case zaMiddleRight:
    case zaCenterVert: m_top = m_box.Top + (bh - m_zoomHeight) / 2; break;
    case zaTopLeft:
    case zaTopCenter:
    case zaTopRight: m_top = m_box.Top; break;
    case zaBottomLeft:
    case zaBottomCenter:
    case zaBottomRight: m_top = m_box.Bottom - m_zoomHeight; break;
    default: break;
  }
}

bool TImageZoom::UseCache(int zw, int zh) const {
  // Worth it for reductions to a quarter of the area or less: each draw would
  // otherwise average four or more source pixels per drawn pixel. Such a
  // cache costs at most a third of the 24-bit picture's own memory.
  const int w = m_bitmap->Width(), h = m_bitmap->Height();
  return CacheZoomed && 4LL * zw * zh <= (long long)w * h;
}

void TImageZoom::DrawPart(const TRect& part, int x, int y, int zw, int zh) {
  const TBitmap& bmp = *m_bitmap;
  QPainter& p = *m_canvas;
  const TRect zpart{part.Left - x, part.Top - y, part.Right - x, part.Bottom - y};
  const bool masked = bmp.Transparent && !Plain;
  TStretchKind kind =
      masked ? TStretchKind::Masked : (Halftone && !bmp.Transparent ? TStretchKind::Smooth : TStretchKind::Nearest);
  // At actual size both give the source pixels; the nearest loop is the cheaper.
  if (kind == TStretchKind::Smooth && zw == bmp.Width() && zh == bmp.Height()) kind = TStretchKind::Nearest;
  p.save();
  p.setCompositionMode(QPainter::CompositionMode_SourceOver);
  if (kind == TStretchKind::Smooth && zw < bmp.Width() && zh < bmp.Height() && UseCache(zw, zh)) {
    const TCacheKey key{&bmp, bmp.Image().cacheKey(), zw, zh};
    if (m_cache.isNull() || !(key == m_cacheKey)) {
      m_cache = QImage();  // release the old one before building the new one
      m_cache = StretchPart(bmp, zw, zh, TRect{0, 0, zw, zh}, TStretchKind::Smooth);
      m_cacheKey = key;
    }
    p.drawImage(QPoint(part.Left, part.Top), m_cache, ToQRect(zpart));
  } else {
    p.drawImage(QPoint(part.Left, part.Top), StretchPart(bmp, zw, zh, zpart, kind));
  }
  p.restore();
}

TRect TImageZoom::Draw(bool fill) {
  if (!m_bitmap || !m_canvas) return TRect{};
  QPainter& p = *m_canvas;
  const TRect& b = m_box;
  const int zw = ZoomedSide(m_bitmap->Width(), m_zoom), zh = ZoomedSide(m_bitmap->Height(), m_zoom);
  const TRect d = Clamped(m_left, m_top, (long long)m_left + zw, (long long)m_top + zh);
  TRect v;
  if (!IntersectRect(v, d, b)) {
    if (fill && !IsRectEmpty(b)) p.fillRect(ToQRect(b), p.brush());
    return v;
  }
  if (fill && m_bitmap->Transparent && !Plain) p.fillRect(ToQRect(v), p.brush());

  // Source pixels are placed by the zoomed picture as a whole (see
  // StretchPart), so a source pixel cut by the box or by a repaint edge is
  // still drawn whole up to that edge: what WholePixels asks for, at any zoom.
  // Only what the painter can show is stretched.
  TRect part;
  if (IntersectRect(part, v, PainterClipRect(p))) DrawPart(part, d.Left, d.Top, zw, zh);

  if (fill && !Plain) {
    const QBrush brush = p.brush();
    const TRect bands[4] = {{b.Left, b.Top, b.Right, v.Top},
                            {b.Left, v.Bottom, b.Right, b.Bottom},
                            {b.Left, v.Top, v.Left, v.Bottom},
                            {v.Right, v.Top, b.Right, v.Bottom}};
    for (const TRect& band : bands)
      if (!IsRectEmpty(band)) p.fillRect(ToQRect(band), brush);
  }
  return v;
}

// ---- Shadows and frames --------------------------------------------------------

void FillDarkened(QPainter& canvas, int left, int top, int right, int bottom, TColor color, int percent) {
  const QBrush brush(ToQColor(MixColors(color, clBlack, percent)));
  canvas.setBrush(brush);
  if (right > left && bottom > top) canvas.fillRect(QRect(left, top, right - left, bottom - top), brush);
}

namespace {

// One ring of a soft shadow: the row y = r.Bottom and the column x = r.Right,
// each fading in over its first four pixels. A limited ring stops its row and
// column at the corner (cr, cb) and fades out past it.
void ShadowRing(QPainter& c, const TRect& r, TColor color, int p, bool limited, int cr, int cb) {
  const int l = r.Left, t = r.Top, y = r.Bottom, x = r.Right;
  if (r.Right < cr || r.Bottom < cb) limited = false;
  const auto px = [&](int px, int py, int percent) { FillDarkened(c, px, py, px + 1, py + 1, color, percent); };
  for (int i = 0; i < 4; ++i) px(l + i, y, p * (2 * i + 2) / 10);
  FillDarkened(c, l + 4, y, (limited ? cr - 1 : r.Right) + 1, y + 1, color, p);
  for (int i = 0; i < 4; ++i) px(x, t + i, p * (2 * i + 2) / 10);
  FillDarkened(c, x, t + 4, x + 1, (limited ? cb - 1 : r.Bottom - 1) + 1, color, p);
  if (!limited) return;
  px(cr, y, p * 8 / 10);
  const int kx = r.Right - cr;
  for (int i = 1; i <= 3 && kx > i - 1; ++i) px(cr + i, y, p * (8 - 2 * i) / 10);
  const int ky = r.Bottom - cb;
  for (int i = 0; i <= 3 && ky > i; ++i) px(x, cb + i, p * (8 - 2 * i) / 10);
}

}  // namespace

void DrawShadow(QPainter& canvas, TRect r, int size, bool soft, TColor color, int percent) {
  if (IsRectEmpty(r) || size <= 0 || percent <= 0 || percent > 100) return;
  r.Left += size;
  r.Top += size;
  if (!soft) {
    FillDarkened(canvas, r.Left, r.Bottom, r.Right + size, r.Bottom + size, color, percent);
    FillDarkened(canvas, r.Right, r.Top, r.Right + size, r.Bottom, color, percent);
    return;
  }
  int n = size;
  if (n > 4) {
    for (int k = 0; k < n - 4; ++k, ++r.Right, ++r.Bottom) ShadowRing(canvas, r, color, percent, false, 0, 0);
    n = 4;
  }
  const int cr = r.Right, cb = r.Bottom;
  const int step = percent / (n + 1);
  int p = percent;
  for (int k = 0; k < n; ++k, ++r.Right, ++r.Bottom) {
    p -= step;
    if (p <= 0) break;
    ShadowRing(canvas, r, color, p, true, cr, cb);
  }
}

void Frame3D(QPainter& canvas, TRect& r, TColor topColor, TColor bottomColor, int width) {
  const QColor top = ToQColor(topColor), bottom = ToQColor(bottomColor);
  for (; width > 0; --width) {
    if (!IsRectEmpty(r)) {
      const int w = r.Right - r.Left, h = r.Bottom - r.Top;
      canvas.fillRect(QRect(r.Left, r.Top, w - 1, 1), top);
      canvas.fillRect(QRect(r.Left, r.Top, 1, h - 1), top);
      canvas.fillRect(QRect(r.Right - 1, r.Top, 1, h), bottom);
      canvas.fillRect(QRect(r.Left, r.Bottom - 1, w, 1), bottom);
    }
    r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
}

TRect DrawFramedPicture(const TBitmap& source, TBitmap& target, TColor faceColor, bool halftone, TColor backColor,
                        int shadowSize, int inset) {
  TRect drawn{};
  if (target.Empty()) return drawn;
  // QPainter cannot paint on palette images.
  const TPixelFormat pf = target.PixelFormat();
  if (pf == pf1bit || pf == pf4bit || pf == pf8bit) target.SetPixelFormat(pf24bit);
  {
    QPainter p(&target.MutableImage());
    const auto fill = [&p](const TRect& r, TColor c) {
      if (!IsRectEmpty(r)) p.fillRect(ToQRect(r), ToQColor(c));
    };
    TRect r{0, 0, target.Width(), target.Height()};
    if (shadowSize > 0) {
      fill(r, backColor);
      r.Right -= shadowSize;
      r.Bottom -= shadowSize;
      DrawShadow(p, r, shadowSize, true, backColor, 70);
    }
    fill(r, faceColor);
    if (shadowSize > 0) {
      Frame3D(p, r, 0xCCCCCC, 0x555555, 1);
      r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
    }
    if (inset > 0) r = TRect{r.Left + inset, r.Top + inset, r.Right - inset, r.Bottom - inset};
    TImageZoom zoom;
    zoom.SetAlign(zaCenter);
    zoom.SetBitmap(&source);
    zoom.SetCanvas(&p);
    zoom.SetBox(r);
    zoom.SetZoomMode(zmFitBox);
    if (zoom.Zoom() > 1) zoom.SetZoomMode(zmActualSize);
    zoom.Halftone = halftone;
    drawn = zoom.Draw(false);
  }
  return drawn;
}

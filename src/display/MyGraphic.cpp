#include "MyGraphic.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <cmath>

#include "raster/ColorAdjust.h"

namespace {

constexpr int kLineStep = 8;  // pixels per scroll-bar arrow click

QColor ToQColor(TColor c) {
  c = ColorToRGB(c);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top); }

int ClampInt(long long v) { return int(std::clamp<long long>(v, INT_MIN, INT_MAX)); }
int TruncInt(double v) { return std::isnan(v) ? 0 : ClampInt((long long)std::clamp(std::trunc(v), -9e18, 9e18)); }
int RoundInt(double v) { return ClampInt(RoundEven(v)); }

bool Contains(const TRect& r, QPoint p) { return p.x() >= r.Left && p.x() < r.Right && p.y() >= r.Top && p.y() < r.Bottom; }

void FillSolid(QPainter& p, const TRect& r, const QColor& c) {
  if (!IsRectEmpty(r)) p.fillRect(ToQRect(r), c);
}

}  // namespace

TMyImage::TMyImage(QWidget* parent) : QAbstractScrollArea(parent) {
  // Every pixel is painted by paintEvent: nothing to erase first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setMouseTracking(true);
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  horizontalScrollBar()->setSingleStep(kLineStep);
  verticalScrollBar()->setSingleStep(kLineStep);
  horizontalScrollBar()->setTracking(true);
  verticalScrollBar()->setTracking(true);
  m_zoomer.SetAlign(zaManual);
  m_zoomer.SetBitmap(&m_bitmap);
  m_zoomer.WholePixels = true;
  m_zoomer.CacheZoomed = true;
  m_bitmap.OnChange = [this] { BitmapChanged(); };
  UpdateLayout();
}

TMyImage::~TMyImage() { m_bitmap.OnChange = nullptr; }

// ---- Properties -----------------------------------------------------------------

TColor TMyImage::Color() const {
  if (m_color != clDefault) return m_color;
  if (const QWidget* parent = parentWidget()) {
    const QColor c = parent->palette().color(parent->backgroundRole());
    return RGBColor(c.red(), c.green(), c.blue());
  }
  return ColorToRGB(clBtnFace);
}

void TMyImage::SetColor(TColor color) {
  if (color == m_color) return;
  m_color = color;
  viewport()->update();
}

void TMyImage::SetZoom(double zoom) {
  m_zoomer.SetZoom(zoom);
  UpdateLayout();
  UpdateCursor();
  viewport()->update();
}

void TMyImage::SetBorderStyle(TBorderStyle style) {
  if (style == m_borderStyle) return;
  m_borderStyle = style;
  setFrameStyle(style == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : int(QFrame::NoFrame));
}

void TMyImage::SetMarge(int marge) {
  if (marge == m_marge) return;
  m_marge = marge;
  UpdateLayout();
  UpdateCursor();
  viewport()->update();
}

void TMyImage::SetDefaultCursor(Qt::CursorShape cursor) {
  if (cursor == m_defaultCursor) return;
  m_defaultCursor = cursor;
  UpdateCursor();
}

void TMyImage::SetImgCursor(Qt::CursorShape cursor) {
  if (cursor == m_imgCursor) return;
  m_imgCursor = cursor;
  UpdateCursor();
}

void TMyImage::SetSelShape(TMyShape shape) {
  if (m_selState <= 1 && shape != ssLine && shape != ssLineWidth) m_selShape = shape;
}

void TMyImage::SetLineShape(TMyShape shape) {
  if (m_selState <= 1 && (shape == ssLine || shape == ssLineWidth)) m_lineShape = shape;
}

void TMyImage::SetOptimizeMode(TOptimizeMode mode) {
  if (mode == m_optimizeMode) return;
  m_optimizeMode = mode;
  viewport()->update();
}

void TMyImage::SetBorderColor(TColor color) {
  if (color == m_borderColor) return;
  m_borderColor = color;
  viewport()->update();
}

void TMyImage::SetShadowSize(int size) {
  if (size < 0 || size > 7) size = 0;
  if (size == m_shadowSize) return;
  m_shadowSize = size;
  viewport()->update();
}

// ---- Zoom and layout ------------------------------------------------------------

void TMyImage::ZoomToFit() {
  // With no range the scroll bars go and the client area is the whole control.
  m_rangeW = m_rangeH = 0;
  ApplyRanges();
  const QSize full = maximumViewportSize();
  ZoomToSize(full.width(), full.height());
}

void TMyImage::ZoomToSize(int w, int h) {
  const int m = m_marge;
  m_zoomer.SetZoomWidth(w - 2 * m);
  if (h - 2 * m < m_zoomer.ZoomHeight()) m_zoomer.SetZoomHeight(h - 2 * m);
  UpdateLayout();
  UpdateCursor();
  viewport()->update();
}

void TMyImage::UpdateLayout() {
  const int w = ClampInt(m_zoomer.ZoomWidth() + 2LL * m_marge);
  const int h = ClampInt(m_zoomer.ZoomHeight() + 2LL * m_marge);
  if (w != m_rangeW || h != m_rangeH) {
    m_rangeW = w;
    m_rangeH = h;
    ApplyRanges();
  }
  m_lastHorz = horizontalScrollBar()->value();
  m_lastVert = verticalScrollBar()->value();
}

// Turns the content extent into the scroll bars' ranges for the client size
// that results. The vertical range is set first: whether its bar shows
// narrows the width the horizontal range is measured against.
void TMyImage::ApplyRanges() {
  const QSize full = maximumViewportSize();
  const bool transient = style()->styleHint(QStyle::SH_ScrollBar_Transient, nullptr, this);
  const int barW = transient ? 0 : verticalScrollBar()->sizeHint().width();
  const int barH = transient ? 0 : horizontalScrollBar()->sizeHint().height();
  const int cw = std::max(m_rangeW, 0), ch = std::max(m_rangeH, 0);
  bool needV = ch > full.height(), needH = cw > full.width();
  if (needV && !needH) needH = cw > full.width() - barW;
  if (needH && !needV) needV = ch > full.height() - barH;
  const int vw = std::max(full.width() - (needV ? barW : 0), 0);
  const int vh = std::max(full.height() - (needH ? barH : 0), 0);
  QScrollBar* vbar = verticalScrollBar();
  vbar->setRange(0, std::max(ch - vh, 0));
  vbar->setPageStep(std::max(vh, 1));
  QScrollBar* hbar = horizontalScrollBar();
  hbar->setRange(0, std::max(cw - vw, 0));
  hbar->setPageStep(std::max(vw, 1));
}

void TMyImage::BitmapChanged() {
  m_zoomer.SetZoomMode(zmCustom);
  m_zoomer.PictureChanged();
  m_layoutDirty = true;
  viewport()->update();
}

void TMyImage::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ApplyRanges();
}

void TMyImage::scrollContentsBy(int dx, int dy) {
  viewport()->scroll(dx, dy);
  // Selection tracking hooks in here: a multi-line polygon being built is
  // shifted by (last - new) so that it stays on the same picture pixels.
  m_lastHorz = horizontalScrollBar()->value();
  m_lastVert = verticalScrollBar()->value();
}

// ---- Geometry ---------------------------------------------------------------------

TRect TMyImage::ClientRect() const { return TRect{0, 0, viewport()->width(), viewport()->height()}; }

TPoint TMyImage::PicturePos() const {
  return TPoint{m_marge - horizontalScrollBar()->value(), m_marge - verticalScrollBar()->value()};
}

TRect TMyImage::ImageRect() const {
  const TPoint p = PicturePos();
  return TRect{p.X, p.Y, ClampInt((long long)p.X + m_zoomer.ZoomWidth()),
               ClampInt((long long)p.Y + m_zoomer.ZoomHeight())};
}

TRect TMyImage::VisibleImageRect() const {
  TRect r;
  IntersectRect(r, ImageRect(), ClientRect());
  return r;
}

double TMyImage::SafeZoom() const {
  const double z = m_zoomer.Zoom();
  return z > 0 ? z : 1.0;
}

TRect TMyImage::ClientToImageRect(const TRect& r) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  return TRect{r.Left == ir.Left ? 0 : TruncInt((double(r.Left) - ir.Left) / z),
               r.Top == ir.Top ? 0 : TruncInt((double(r.Top) - ir.Top) / z),
               r.Right == ir.Right ? m_bitmap.Width() : TruncInt((double(r.Right) - ir.Left) / z),
               r.Bottom == ir.Bottom ? m_bitmap.Height() : TruncInt((double(r.Bottom) - ir.Top) / z)};
}

TRect TMyImage::ImageToClientRect(const TRect& r) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto side = [z](int v, int origin) { return ClampInt((long long)RoundInt(z * v) + origin); };
  return TRect{r.Left == 0 ? ir.Left : side(r.Left, ir.Left), r.Top == 0 ? ir.Top : side(r.Top, ir.Top),
               r.Right == m_bitmap.Width() ? ir.Right : side(r.Right, ir.Left),
               r.Bottom == m_bitmap.Height() ? ir.Bottom : side(r.Bottom, ir.Top)};
}

TPoint TMyImage::ClientToImagePoint(TPoint p) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto axis = [z](int v, int lo, int hi, int size) {
    if (v + 1 == hi) return size - 1;
    if (v == lo) return 0;
    return TruncInt((double(v) - lo) / z);
  };
  return TPoint{axis(p.X, ir.Left, ir.Right, m_bitmap.Width()), axis(p.Y, ir.Top, ir.Bottom, m_bitmap.Height())};
}

TPoint TMyImage::ImageToClientPoint(TPoint p) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto axis = [z](int v, int lo, int hi, int size) {
    if (v + 1 == size) return hi - 1;
    if (v == 0) return lo;
    return ClampInt((long long)lo + RoundInt(z * v));
  };
  return TPoint{axis(p.X, ir.Left, ir.Right, m_bitmap.Width()), axis(p.Y, ir.Top, ir.Bottom, m_bitmap.Height())};
}

TPoint TMyImage::SnapPointToPixel(TPoint p) const {
  TPoint q = ClientToImagePoint(p);
  q.X = std::clamp(q.X, 0, std::max(m_bitmap.Width() - 1, 0));
  q.Y = std::clamp(q.Y, 0, std::max(m_bitmap.Height() - 1, 0));
  return ImageToClientPoint(q);
}

TRect TMyImage::SnapRectToGrid(const TRect& r) const {
  TRect q = ClientToImageRect(r);
  if (GridAlign && GridWidth > 0) {
    const auto snap = [g = GridWidth](int v) { return ClampInt((long long)g * RoundEven(double(v) / g)); };
    q = TRect{snap(q.Left), snap(q.Top), snap(q.Right), snap(q.Bottom)};
  }
  return ImageToClientRect(q);
}

// ---- Cursor and input ----------------------------------------------------------------

void TMyImage::UpdateCursor() {
  if (!isVisible()) return;
  const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
  if (viewport()->rect().contains(pos)) ApplyCursor(pos);
}

void TMyImage::ApplyCursor(QPoint pos) {
  // A cursor set on the widget shows at once unless an override cursor (the
  // hourglass of a long operation) is active, which keeps precedence.
  viewport()->setCursor(Contains(ImageRect(), pos) ? m_imgCursor : m_defaultCursor);
}

void TMyImage::mousePressEvent(QMouseEvent* event) {
  // Selection tracking starts here for smShape and smLine (a left press on a
  // non-empty picture sets SelState 1); with smNone a press changes nothing.
  if (OnMouseDown) OnMouseDown(event);
}

void TMyImage::mouseMoveEvent(QMouseEvent* event) {
  // While a selection is tracked, the tracking step goes here instead.
  if (m_selState == 0) ApplyCursor(event->position().toPoint());
  if (OnMouseMove) OnMouseMove(event);
}

void TMyImage::mouseReleaseEvent(QMouseEvent* event) {
  // Completion or cancellation of a tracked selection goes here.
  if (OnMouseUp) OnMouseUp(event);
}

void TMyImage::mouseDoubleClickEvent(QMouseEvent* event) {
  // A double click closes a polygon being built point by point.
  if (OnDblClick) OnDblClick(event);
}

// The view has no keyboard or wheel scrolling of its own: both go to the
// parent. Enter, Escape, Delete and Shift will drive the selection tracking.
void TMyImage::keyPressEvent(QKeyEvent* event) { QWidget::keyPressEvent(event); }
void TMyImage::keyReleaseEvent(QKeyEvent* event) { QWidget::keyReleaseEvent(event); }
void TMyImage::wheelEvent(QWheelEvent* event) { event->ignore(); }

void TMyImage::contextMenuEvent(QContextMenuEvent* event) {
  if (m_popupMenu) m_popupMenu->popup(event->globalPos());
}

// ---- Painting --------------------------------------------------------------------

void TMyImage::paintEvent(QPaintEvent* event) {
  if (m_layoutDirty) {
    UpdateLayout();
    UpdateCursor();
    m_layoutDirty = false;
  }
  const QRect clip = event->rect();
  if (clip.isEmpty() || viewport()->width() <= 0 || viewport()->height() <= 0) return;
  {
    QPainter p(viewport());
    p.setClipRect(clip);
    if (m_bitmap.Empty()) {
      p.fillRect(ToQRect(ClientRect()), ToQColor(Color()));
    } else if (DoubleBuffer) {
      const TRect client = ClientRect();
      TBitmap buffer(client.Right, client.Bottom, pf24bit);
      PaintContents(p, clip, &buffer);
      p.drawImage(clip.topLeft(), buffer.Image(), clip);
    } else {
      PaintContents(p, clip, nullptr);
    }
  }
  if (OnPaint) {
    QPainter p(viewport());
    p.setClipRect(clip);
    OnPaint(*this, p);
  }
}

// Everything but the empty picture, on the control (buffer null) or into the
// buffer, which the caller then copies to the control.
void TMyImage::PaintContents(QPainter& control, const QRect& clip, TBitmap* buffer) {
  const TPoint pos = PicturePos();
  // The checkerboard lies under the picture only, where nothing else paints,
  // so it can go into the buffer before the painter opens it.
  TRect checker;
  if (m_bitmap.Transparent && IntersectRect(checker, VisibleImageRect(), TRect{clip.left(), clip.top(),
                                                                                  clip.right() + 1, clip.bottom() + 1})) {
    if (buffer) {
      TileBitmap(CheckerTile(), *buffer, pos.X % 8, pos.Y % 8, checker);
    } else {
      control.save();
      control.setBrushOrigin(pos.X % 8, pos.Y % 8);
      control.fillRect(ToQRect(checker), QBrush(CheckerTile().Image()));
      control.restore();
    }
  }

  QPainter bufferPainter;
  if (buffer) {
    bufferPainter.begin(&buffer->MutableImage());
    bufferPainter.setClipRect(clip);
  }
  QPainter& p = buffer ? bufferPainter : control;
  PaintBackground(p);

  m_zoomer.Halftone = m_optimizeMode == omSystem || (m_optimizeMode == omReduction && m_zoomer.Zoom() < 1);
  m_zoomer.Plain = false;
  m_zoomer.WholePixels = true;
  m_zoomer.SetCanvas(&p);
  m_zoomer.SetBox(ClientRect());
  m_zoomer.SetLeft(pos.X);
  m_zoomer.SetTop(pos.Y);
  m_zoomer.Draw(false);
  m_zoomer.SetCanvas(nullptr);

  if (ShowGrid) PaintGrid(p, clip);
  // The outline of a tracked selection is redrawn here (exclusive-or) once
  // selection tracking exists.
}

void TMyImage::PaintBackground(QPainter& p) {
  const TColor color = ColorToRGB(Color());
  const QColor back = ToQColor(color);
  const TRect ir = ImageRect();
  TRect r = ir;
  if (m_borderColor != clNone) {
    r = TRect{r.Left - 1, r.Top - 1, r.Right + 1, r.Bottom + 1};
    const QColor border = ToQColor(m_borderColor);
    FillSolid(p, TRect{r.Left, r.Top, r.Right, r.Top + 1}, border);
    FillSolid(p, TRect{r.Left, r.Bottom - 1, r.Right, r.Bottom}, border);
    FillSolid(p, TRect{r.Left, r.Top, r.Left + 1, r.Bottom}, border);
    FillSolid(p, TRect{r.Right - 1, r.Top, r.Right, r.Bottom}, border);
  }
  // A picture of 7 pixels or less gets no shadow, border or not.
  const int s = m_shadowSize;
  if (s > 0 && ir.Right - ir.Left > 7 && ir.Bottom - ir.Top > 7) {
    DrawShadow(p, r, s, true, color, 77);
    // The squares left bare by the offset shadow.
    FillSolid(p, TRect{r.Right, r.Top, r.Right + s, r.Top + s}, back);
    FillSolid(p, TRect{r.Left, r.Bottom, r.Left + s, r.Bottom + s}, back);
    r.Right += s;
    r.Bottom += s;
  }
  const TRect c = ClientRect();
  FillSolid(p, TRect{c.Left, c.Top, c.Right, r.Top}, back);
  FillSolid(p, TRect{c.Left, r.Bottom, c.Right, c.Bottom}, back);
  FillSolid(p, TRect{c.Left, r.Top, r.Left, r.Bottom}, back);
  FillSolid(p, TRect{r.Right, r.Top, c.Right, r.Bottom}, back);
}

void TMyImage::PaintGrid(QPainter& p, const QRect& clip) {
  const double z = SafeZoom();
  if (GridWidth <= 0 || z * GridWidth < 2) return;
  const TRect ir = ImageRect();
  const int w = m_bitmap.Width(), h = m_bitmap.Height();
  const QColor color = ToQColor(GridColor);
  // Lines from picture (x, 0) to (x, h) and (0, y) to (w, y), the end point
  // left out as a line drawing does; those outside the clip are skipped.
  const int bottom = ClampInt((long long)RoundInt(z * h) + ir.Top);
  const int right = ClampInt((long long)RoundInt(z * w) + ir.Left);
  for (long long x = 0; x < w; x += GridWidth) {
    const int cx = ClampInt((long long)RoundInt(z * double(x)) + ir.Left);
    if (cx >= clip.left() && cx <= clip.right()) FillSolid(p, TRect{cx, ir.Top, cx + 1, bottom}, color);
  }
  for (long long y = 0; y < h; y += GridWidth) {
    const int cy = ClampInt((long long)RoundInt(z * double(y)) + ir.Top);
    if (cy >= clip.top() && cy <= clip.bottom()) FillSolid(p, TRect{ir.Left, cy, right, cy + 1}, color);
  }
}

// White, with the squares (0, 0)-(4, 4) and (4, 4)-(8, 8) in the background
// colour; made again when that colour changes.
const TBitmap& TMyImage::CheckerTile() {
  const TColor color = ColorToRGB(Color());
  if (m_checkerTile.Empty() || m_checkerColor != color) {
    m_checkerTile = TBitmap(8, 8, pf24bit);
    m_checkerTile.Fill(clWhite);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x)
        if ((x < 4) == (y < 4)) m_checkerTile.SetPixel(x, y, color);
    m_checkerColor = color;
  }
  return m_checkerTile;
}

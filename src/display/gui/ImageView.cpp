// Unit MyGraphic.
#include "display/gui/ImageView.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <climits>
#include <cmath>

#include "raster/ColorAdjust.h"

namespace {

constexpr int kLineStep = 8;  // pixels per scroll-bar arrow click

int ClampInt(long long v) { return int(std::clamp<long long>(v, INT_MIN, INT_MAX)); }
int TruncInt(double v) { return std::isnan(v) ? 0 : ClampInt((long long)std::clamp(std::trunc(v), -9e18, 9e18)); }
int RoundInt(double v) { return ClampInt(RoundEven(v)); }

bool Contains(const TRect& r, QPoint p) {
  return p.x() >= r.Left && p.x() < r.Right && p.y() >= r.Top && p.y() < r.Bottom;
}

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
  m_zoomer.SetBitmap(m_bitmap);
  m_zoomer.WholePixels = true;
  m_zoomer.CacheZoomed = true;
  UpdateLayout();
}

TMyImage::~TMyImage() {
  ResetTracking();  // gives LineWidth back
}

void TMyImage::ShowBitmap(TBitmap* picture) {
  TBitmap* shown = picture ? picture : &m_ownBitmap;
  if (shown == m_bitmap) return;
  m_bitmap = shown;
  m_zoomer.SetBitmap(m_bitmap);
  BitmapChanged();
}

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
  const int horz = horizontalScrollBar()->value(), vert = verticalScrollBar()->value();
  const int sx = m_lastHorz - horz, sy = m_lastVert - vert;
  bool outlineMoves = m_selState != 2;
  if (m_selState != 0 && PointByPoint() && (sx != 0 || sy != 0)) {
    // A polygon built point by point stays on the same picture pixels.
    m_selStart = TPoint{m_selStart.X + sx, m_selStart.Y + sy};
    if (m_selState == 2) {
      m_shapeManager.Offset(sx, sy);
      m_selRect = TRect{m_selRect.Left + sx, m_selRect.Top + sy, m_selRect.Right + sx, m_selRect.Bottom + sy};
      m_lastPoint = TPoint{m_lastPoint.X + sx, m_lastPoint.Y + sy};
    }
    outlineMoves = true;
  }
  // Other outlines keep their place on the view while the picture moves
  // under them: scrolling the pixels would carry the old outline along.
  if (outlineMoves)
    viewport()->scroll(dx, dy);
  else
    viewport()->update();
  m_lastHorz = horz;
  m_lastVert = vert;
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
               r.Right == ir.Right ? m_bitmap->Width() : TruncInt((double(r.Right) - ir.Left) / z),
               r.Bottom == ir.Bottom ? m_bitmap->Height() : TruncInt((double(r.Bottom) - ir.Top) / z)};
}

TRect TMyImage::ImageToClientRect(const TRect& r) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto side = [z](int v, int origin) { return ClampInt((long long)RoundInt(z * v) + origin); };
  return TRect{r.Left == 0 ? ir.Left : side(r.Left, ir.Left), r.Top == 0 ? ir.Top : side(r.Top, ir.Top),
               r.Right == m_bitmap->Width() ? ir.Right : side(r.Right, ir.Left),
               r.Bottom == m_bitmap->Height() ? ir.Bottom : side(r.Bottom, ir.Top)};
}

TPoint TMyImage::ClientToImagePoint(TPoint p) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto axis = [z](int v, int lo, int hi, int size) {
    if (v + 1 == hi) return size - 1;
    if (v == lo) return 0;
    return TruncInt((double(v) - lo) / z);
  };
  return TPoint{axis(p.X, ir.Left, ir.Right, m_bitmap->Width()), axis(p.Y, ir.Top, ir.Bottom, m_bitmap->Height())};
}

TPoint TMyImage::ImageToClientPoint(TPoint p) const {
  const TRect ir = ImageRect();
  const double z = SafeZoom();
  const auto axis = [z](int v, int lo, int hi, int size) {
    if (v + 1 == size) return hi - 1;
    if (v == 0) return lo;
    return ClampInt((long long)lo + RoundInt(z * v));
  };
  return TPoint{axis(p.X, ir.Left, ir.Right, m_bitmap->Width()), axis(p.Y, ir.Top, ir.Bottom, m_bitmap->Height())};
}

TPoint TMyImage::SnapPointToPixel(TPoint p) const {
  TPoint q = ClientToImagePoint(p);
  q.X = std::clamp(q.X, 0, std::max(m_bitmap->Width() - 1, 0));
  q.Y = std::clamp(q.Y, 0, std::max(m_bitmap->Height() - 1, 0));
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
  PressStep(event, false);
  if (OnMouseDown) OnMouseDown(event);
}

void TMyImage::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const bool shift = event->modifiers() & Qt::ShiftModifier;
  // A drag whose release never arrived (the grab was lost) starts nothing.
  if (m_selState == 1 && !PointByPoint() && !(event->buttons() & Qt::LeftButton)) m_selState = 0;
  if (m_selState == 1 && (pos.x() != m_selStart.X || pos.y() != m_selStart.Y)) BeginTracking();
  if (m_selState == 2) TrackTo(pos, shift);
  if (m_selState == 0) ApplyCursor(pos);
  if (OnMouseMove) OnMouseMove(event);
}

void TMyImage::mouseReleaseEvent(QMouseEvent* event) {
  // A polygon built point by point ignores releases: it waits for its next
  // click, even before its first move.
  if (event->button() == Qt::LeftButton && !PointByPoint()) {
    if (m_selState == 1) {
      m_selState = 0;
    } else if (m_selState == 2) {
      const QPoint pos = event->position().toPoint();
      if (pos != m_lastMouse) TrackTo(pos, event->modifiers() & Qt::ShiftModifier);
      FinishSelection();
    }
  }
  if (OnMouseUp) OnMouseUp(event);
}

void TMyImage::mouseDoubleClickEvent(QMouseEvent* event) {
  // The second press of a double click: it closes a polygon being built,
  // and is an ordinary press otherwise.
  PressStep(event, true);
  if (OnDblClick) OnDblClick(event);
}

void TMyImage::keyPressEvent(QKeyEvent* event) {
  if (m_selState != 0) {
    const bool building = m_selState == 2 && PointByPoint();
    switch (event->key()) {
      case Qt::Key_Escape: EndTracking(soCancel); return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (!building) break;
        FinishSelection();
        return;
      case Qt::Key_Delete:
        if (!building) break;
        RemovePolygonPoint();
        return;
      case Qt::Key_Shift:
        if (m_selState == 2 && !event->isAutoRepeat() && !m_shiftDown) TrackTo(m_lastMouse, true);
        return;
      default: break;
    }
  }
  // The view has no keyboard scrolling of its own: other keys go to the parent.
  QWidget::keyPressEvent(event);
}

void TMyImage::keyReleaseEvent(QKeyEvent* event) {
  if (m_selState == 2 && event->key() == Qt::Key_Shift && !event->isAutoRepeat() && m_shiftDown) {
    TrackTo(m_lastMouse, false);
    return;
  }
  QWidget::keyReleaseEvent(event);
}

// Nor wheel scrolling: the wheel goes to the parent.
void TMyImage::wheelEvent(QWheelEvent* event) { event->ignore(); }

void TMyImage::contextMenuEvent(QContextMenuEvent* event) {
  if (m_popupMenu) m_popupMenu->popup(event->globalPos());
}

// ---- Selection tracking ------------------------------------------------------------

namespace {

// Outlines are drawn with the dotted exclusive-or pen (TShapeManager::Draw mode 1).
constexpr int kOutlineMode = 1;

// Closer than this to a polygon's first point, a click closes the polygon.
constexpr int kCloseDistance = 8;

TRect Inflated(const TRect& r, int d) { return TRect{r.Left - d, r.Top - d, r.Right + d, r.Bottom + d}; }

// Keeps a line from `from` to `to` horizontal, vertical or at 45 degrees.
QPoint ConstrainLine(TPoint from, QPoint to) {
  int dx = to.x() - from.X, dy = to.y() - from.Y;
  const int adx = std::abs(dx), ady = std::abs(dy);
  const double ratio = dy == 0 ? 0.0 : double(adx) / ady;
  if (ratio > 0.77 && ratio < 1.33) {
    const int m = std::min(adx, ady);
    dx = dx < 0 ? -m : m;
    dy = dy < 0 ? -m : m;
  } else if (adx < ady) {
    dx = 0;
  } else {
    dy = 0;
  }
  return QPoint(from.X + dx, from.Y + dy);
}

}  // namespace

// A polygon built by clicks rather than by dragging.
bool TMyImage::PointByPoint() const {
  const TMyShape shape = m_selState == 2 ? m_trackShape : m_selShape;
  return MultiLine && SelectionMode == smShape && shape == ssPolygon;
}

void TMyImage::PressStep(QMouseEvent* event, bool doubleClick) {
  const QPoint pos = event->position().toPoint();
  if (event->button() != Qt::LeftButton) {
    // Another button ends whatever is being tracked.
    if (m_selState != 0) EndTracking(soCancel);
    return;
  }
  if (SelectionMode == smNone || m_bitmap->Empty()) return;
  if (m_selState == 2) {
    if (!PointByPoint()) return;
    if (doubleClick)
      FinishSelection();
    else
      ClickPolygonPoint(pos);
    return;
  }
  m_selState = 1;
  m_selStart = TPoint{pos.x(), pos.y()};
  m_shiftDown = event->modifiers() & Qt::ShiftModifier;
}

void TMyImage::BeginTracking() {
  if (SelectionMode == smShape && m_selShape == ssMultiPoints) m_selShape = ssRect;
  m_trackShape = SelectionMode == smLine ? m_lineShape : m_selShape;
  m_selState = 2;
  if (m_trackShape == ssLineWidth) {
    // A wide line is as wide as one picture pixel at the current zoom.
    m_savedLineWidth = LineWidth.load();
    LineWidth = std::max(1, RoundInt(Zoom()));
    m_lineWidthSet = true;
  }
  if (TrackingPolygon()) {
    m_selStart = SnapPointToPixel(m_selStart);
    m_shapeManager.StartPolygon(m_selStart);
    m_lastPoint = m_selStart;
  }
  m_lastMouse = QPoint(m_selStart.X, m_selStart.Y);
  m_selRect = TRect{m_selStart.X, m_selStart.Y, m_selStart.X, m_selStart.Y};
  Notify(m_selRect, soBegin);
}

// One tracking step towards the mouse at pos.
void TMyImage::TrackTo(QPoint pos, bool shift) {
  if (m_selState != 2) return;
  m_lastMouse = pos;
  m_shiftDown = shift;
  const TRect before = OutlineArea();
  if (TrackingPolygon()) {
    const TPoint p = SnapPointToPixel(TPoint{pos.x(), pos.y()});
    if (!PointByPoint()) m_shapeManager.AddPoint(p);
    m_lastPoint = p;
    m_selRect = PolygonRect();
  } else if (TrackingLine()) {
    const QPoint end = shift ? ConstrainLine(m_selStart, pos) : pos;
    m_selRect = TRect{m_selStart.X, m_selStart.Y, end.x(), end.y()};
  } else {
    // The dragged rectangle within the picture: both corners clamped into it,
    // so that the start corner stays the anchor of a squared rectangle.
    const TRect ir = ImageRect();
    const auto clampX = [&](int x) { return std::clamp(x, ir.Left, std::max(ir.Left, ir.Right)); };
    const auto clampY = [&](int y) { return std::clamp(y, ir.Top, std::max(ir.Top, ir.Bottom)); };
    const int sx = clampX(m_selStart.X), sy = clampY(m_selStart.Y);
    const int ex = clampX(pos.x()), ey = clampY(pos.y());
    TRect r = PointsToRect(sx, sy, ex, ey);
    if (shift) r = SquareRect(r, sx <= ex, sy <= ey);
    m_selRect = SnapRectToGrid(r);
  }
  RefreshOutline(before);
  Notify(m_selRect, soChange);
}

void TMyImage::ClickPolygonPoint(QPoint pos) {
  const TPoint p = SnapPointToPixel(TPoint{pos.x(), pos.y()});
  const TPoint first = m_shapeManager.GetFirstPoint();
  const int reach = std::max(RoundInt(Zoom()), kCloseDistance);
  // Only a polygon that can be completed is closed; before its third point a
  // click near the start is an ordinary point.
  if (m_shapeManager.PointCount() >= 3 && std::abs(p.X - first.X) <= reach && std::abs(p.Y - first.Y) <= reach) {
    FinishSelection();
    return;
  }
  const TRect before = OutlineArea();
  m_shapeManager.AddPoint(p);
  m_lastPoint = p;
  m_lastMouse = pos;
  m_selRect = PolygonRect();
  RefreshOutline(before);
  Notify(m_selRect, soChange);
}

void TMyImage::RemovePolygonPoint() {
  if (m_shapeManager.PointCount() <= 1) {
    EndTracking(soCancel);
    return;
  }
  const TRect before = OutlineArea();
  TRect bounds;
  m_shapeManager.RemoveLastPoint(bounds);
  m_selRect = PolygonRect();
  RefreshOutline(before);
  Notify(m_selRect, soChange);
}

// Completes the tracked selection when it is large enough, cancels it otherwise.
void TMyImage::FinishSelection() {
  if (m_selState != 2) return;
  bool enough;
  if (TrackingPolygon()) {
    enough = m_shapeManager.PointCount() >= 3;
  } else if (TrackingLine()) {
    enough = std::abs(m_selRect.Right - m_selRect.Left) > 1 || std::abs(m_selRect.Bottom - m_selRect.Top) > 1;
  } else {
    const int least = std::max(MinSelSize, ClampInt((long long)std::ceil(std::min(SafeZoom(), 1e9))));
    enough = m_selRect.Right - m_selRect.Left >= least && m_selRect.Bottom - m_selRect.Top >= least;
  }
  EndTracking(enough ? soEnd : soCancel);
}

// Leaves tracking with soEnd or soCancel. The view is at rest before the
// handler hears of it, so that the handler may start anything, a new
// selection shape included.
void TMyImage::EndTracking(TSelOption option) {
  const bool tracked = m_selState == 2;
  if (tracked && TrackingPolygon()) {
    if (option == soEnd)
      m_shapeManager.Finish(Zoom());
    else
      m_shapeManager.ResetWorking();
  }
  ResetTracking();
  if (!tracked) return;
  viewport()->update();
  Notify(m_selRect, option);
}

void TMyImage::ResetTracking() {
  m_selState = 0;
  if (m_lineWidthSet) {
    LineWidth = m_savedLineWidth;
    m_lineWidthSet = false;
  }
}

// The polygon's points as a rectangle whose right and bottom lie past the
// last column and row, the way Draw takes it.
TRect TMyImage::PolygonRect() const {
  const TRect& b = m_shapeManager.Working.Bounds;
  return TRect{b.Left, b.Top, b.Right + 1, b.Bottom + 1};
}

// What the outline covers on the view (nothing while no selection is tracked).
TRect TMyImage::OutlineArea() const {
  if (m_selState != 2) return TRect{};
  TRect r;
  if (TrackingPolygon()) {
    const TRect p = PolygonRect();
    r = TRect{std::min(p.Left, m_lastPoint.X), std::min(p.Top, m_lastPoint.Y), std::max(p.Right, m_lastPoint.X + 1),
              std::max(p.Bottom, m_lastPoint.Y + 1)};
    r = Inflated(r, 1);
  } else if (TrackingLine()) {
    // A wide line reaches half its width beyond its ends, corners rounded.
    r = Inflated(NormalizeRect(m_selRect), std::max(LineWidth.load(), 1) + 2);
  } else {
    r = Inflated(NormalizeRect(m_selRect), 1);
  }
  TRect visible;
  IntersectRect(visible, r, ImageRect());
  return visible;
}

// Repaints where the outline was and where it is now: the picture comes back
// under the old one and the new one is drawn over it.
void TMyImage::RefreshOutline(const TRect& before) {
  QRegion region;
  if (!IsRectEmpty(before)) region += ToQRect(before);
  const TRect after = OutlineArea();
  if (!IsRectEmpty(after)) region += ToQRect(after);
  if (!region.isEmpty()) viewport()->update(region);
}

// The outline in exclusive-or over whatever the canvas holds, within the
// picture. A polygon being built shows its open path and the rubber-band
// segment to the mouse: the path leaves out its last point, which the
// segment starts on, so no pixel is flipped twice.
void TMyImage::DrawOutline(TShapeCanvas& canvas) {
  if (m_selState != 2) return;
  TRect clip;
  if (!IntersectRect(clip, canvas.ClipRect, ImageRect())) return;
  canvas.ClipRect = clip;
  if (TrackingPolygon()) {
    m_shapeManager.Draw(canvas, m_selRect, kOutlineMode, ssPolyline);
    const TPoint last = m_shapeManager.GetLastPoint();
    m_shapeManager.Draw(canvas, TRect{last.X, last.Y, m_lastPoint.X, m_lastPoint.Y}, kOutlineMode, ssLine);
  } else {
    m_shapeManager.Draw(canvas, m_selRect, kOutlineMode, m_trackShape);
  }
}

void TMyImage::Notify(const TRect& r, TSelOption option) {
  if (OnSelection) OnSelection(*this, r, option);
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
    if (m_bitmap->Empty()) {
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
  if (m_bitmap->Transparent &&
      IntersectRect(checker, VisibleImageRect(), TRect{clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1})) {
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

  if (m_selState == 2) {
    // Exclusive-or needs 32-bit pixels: the 24-bit buffer is flipped byte
    // by byte once its painter is done.
    if (buffer) {
      bufferPainter.end();
      TShapeCanvas canvas(*buffer);
      IntersectRect(canvas.ClipRect, canvas.ClipRect,
                    TRect{clip.left(), clip.top(), clip.right() + 1, clip.bottom() + 1});
      DrawOutline(canvas);
    } else {
      TShapeCanvas canvas(control);
      DrawOutline(canvas);
    }
  }
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
  const int w = m_bitmap->Width(), h = m_bitmap->Height();
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

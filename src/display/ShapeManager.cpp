#include "display/ShapeManager.h"

#include <QPaintDevice>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "app/PathAndTextHelpers.h"

const std::array<TShapePenStyle, 4> ShapePenStyles = {{
    {pmXor, psDot, 0xFFD8CE, clBlack},
    {pmXor, psSolid, 0xFFD8CE, clBlack},
    {pmCopy, psDot, clBlack, clWhite},
    {pmCopy, psDot, clWhite, clBlack},
}};

std::atomic<int> LineWidth{1};
bool ShapeToggle = false;

namespace {

// Coordinates are kept within this range before any arithmetic, so that
// products of two of them and the walks along a line stay bounded.
constexpr std::int64_t kCoordLimit = std::int64_t(1) << 24;
constexpr int kMaxPenWidth = 4096;

int ClampCoord(std::int64_t v) { return int(std::clamp(v, -kCoordLimit, kCoordLimit)); }
int ClampCoord(double v) {
  if (std::isnan(v)) return 0;
  return int(std::clamp(v, double(-kCoordLimit), double(kCoordLimit)));
}
TPoint ClampPoint(TPoint p) { return TPoint{ClampCoord(std::int64_t(p.X)), ClampCoord(std::int64_t(p.Y))}; }
TRect ClampRect(const TRect& r) {
  return TRect{ClampCoord(std::int64_t(r.Left)), ClampCoord(std::int64_t(r.Top)), ClampCoord(std::int64_t(r.Right)),
               ClampCoord(std::int64_t(r.Bottom))};
}

// Rounded with halves to the even neighbour, within the coordinate range.
int RoundCoord(double v) { return ClampCoord(std::int64_t(RoundEven(v))); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {  // b > 0
  std::int64_t q = a / b;
  if ((a % b) != 0 && a < 0) --q;
  return q;
}
std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return -FloorDiv(-a, b); }  // b > 0

// ---- the pixels of one figure ----

enum TPixelKind : std::uint8_t { pkNone = 0, pkBrush = 1, pkGap = 2, pkPen = 3 };

// Collects the pixels of one figure and paints them on the canvas. In copy
// mode pixels go straight to the canvas (the brush first, the pen over it).
// In exclusive-or mode every pixel must be flipped exactly once, so the
// figure is first gathered in a mask over its visible area and then painted.
class TFigureTarget {
 public:
  TFigureTarget(TShapeCanvas& canvas, const TRect& reach, bool gapsVisible)
      : m_canvas(canvas), m_gapsVisible(gapsVisible), m_xor(canvas.Pen.Mode == pmXor) {
    m_penWidth = std::clamp(canvas.Pen.Width, 1, kMaxPenWidth);
    const TRect grown{reach.Left - m_penWidth, reach.Top - m_penWidth, reach.Right + m_penWidth,
                      reach.Bottom + m_penWidth};
    IntersectRect(m_area, NormalizeRect(canvas.ClipRect), grown);
    if (m_xor && !IsRectEmpty(m_area))
      m_mask.assign(std::size_t(m_area.Right - m_area.Left) * std::size_t(m_area.Bottom - m_area.Top), pkNone);
  }

  bool Empty() const { return IsRectEmpty(m_area); }
  const TRect& Area() const { return m_area; }
  int PenWidth() const { return m_penWidth; }

  // Pixels [x0, x1) of row y.
  void Span(std::int64_t y, std::int64_t x0, std::int64_t x1, TPixelKind kind) {
    if (y < m_area.Top || y >= m_area.Bottom) return;
    x0 = std::max<std::int64_t>(x0, m_area.Left);
    x1 = std::min<std::int64_t>(x1, m_area.Right);
    if (x0 >= x1) return;
    if (kind == pkGap && !m_gapsVisible) return;
    if (!m_xor) {
      m_canvas.FillSpan(int(y), int(x0), int(x1), ColorOf(kind), pmCopy);
      return;
    }
    const std::size_t w = std::size_t(m_area.Right - m_area.Left);
    std::uint8_t* row = m_mask.data() + std::size_t(y - m_area.Top) * w;
    for (std::int64_t x = x0; x < x1; ++x) {
      std::uint8_t& cell = row[x - m_area.Left];
      cell = std::max<std::uint8_t>(cell, kind);
    }
  }

  // One pixel of the pen's path; a wide pen covers a square around it.
  void PenPixel(std::int64_t x, std::int64_t y, bool gap) {
    if (m_penWidth == 1) {
      Span(y, x, x + 1, gap ? pkGap : pkPen);
      return;
    }
    const int off = m_penWidth / 2;
    for (std::int64_t yy = y - off; yy < y - off + m_penWidth; ++yy) Span(yy, x - off, x - off + m_penWidth, pkPen);
  }

  // Paints what the mask gathered (exclusive-or mode).
  void Flush() {
    if (!m_xor || m_mask.empty()) return;
    const int w = m_area.Right - m_area.Left;
    for (int y = m_area.Top; y < m_area.Bottom; ++y) {
      const std::uint8_t* row = m_mask.data() + std::size_t(y - m_area.Top) * std::size_t(w);
      int x = 0;
      while (x < w) {
        const std::uint8_t kind = row[x];
        int end = x + 1;
        while (end < w && row[end] == kind) ++end;
        if (kind != pkNone) m_canvas.FillSpan(y, m_area.Left + x, m_area.Left + end, ColorOf(TPixelKind(kind)), pmXor);
        x = end;
      }
    }
    m_mask.clear();
  }

 private:
  TColor ColorOf(TPixelKind kind) const {
    switch (kind) {
      case pkBrush: return m_canvas.Brush.Color;
      case pkGap: return m_canvas.BackgroundColor;
      default: return m_canvas.Pen.Color;
    }
  }

  TShapeCanvas& m_canvas;
  bool m_gapsVisible;
  bool m_xor;
  int m_penWidth = 1;
  TRect m_area;
  std::vector<std::uint8_t> m_mask;
};

struct TPaintStyle {
  bool Pen, Brush, Dotted;
};
TPaintStyle StyleOf(const TShapeCanvas& c) {
  return TPaintStyle{c.Pen.Style != psClear, c.Brush.Style != bsClear, c.Pen.Style == psDot && c.Pen.Width <= 1};
}

// A dotted pen is 4 pixels on, 4 pixels off.
bool GapAt(std::int64_t index) { return ((index % 8) + 8) % 8 >= 4; }

// ---- area figures: rectangle, ellipse, round rectangle ----

// A row's pixels first..last; empty when first > last.
struct TSpan {
  std::int64_t First = 0, Last = -1;
  bool Empty() const { return First > Last; }
};

std::uint64_t ISqrt(std::uint64_t q) {
  auto r = std::uint64_t(std::sqrt(static_cast<long double>(q)));
  while (r > 0 && r * r > q) --r;
  while ((r + 1) * (r + 1) <= q) ++r;
  return r;
}

// Row dy (0 at the top) of the ellipse inscribed in a w x h box, as columns
// relative to the box: the pixels whose centres lie inside the ellipse,
// computed exactly in integers. The middle rows always span the whole width
// and every row holds at least its middle pixels, so that even a very thin
// ellipse touches all four sides of its box and stays connected.
TSpan EllipseRow(std::int64_t w, std::int64_t h, std::int64_t dy) {
  if (dy < 0 || dy >= h || w <= 0) return {};
  if (dy == (h - 1) / 2 || dy == h / 2) return {0, w - 1};
  // Doubled coordinates from the centre: pixel column k is at 2k + 1 - w.
  const std::int64_t y2 = 2 * dy + 1 - h;
  const __int128 v = __int128(w) * w * (__int128(h) * h - __int128(y2) * y2);
  TSpan s;
  if (v >= 0) {
    auto x2 = std::int64_t(ISqrt(std::uint64_t(v / (__int128(h) * h))));
    if (((x2 + w + 1) & 1) != 0) --x2;  // x2 takes the parity of 1 - w
    if (x2 >= 0) s = TSpan{(w - 1 - x2) / 2, (w - 1 + x2) / 2};
  }
  if (s.Empty()) s = TSpan{(w - 1) / 2, w / 2};
  return s;
}

// Fills and outlines an area given row by row (rows top..bottom-1, each a
// single run). The outline is the area's own border: the pixels of a row that
// have no area pixel above or below them, plus the row's two ends.
template <class SpanOf>
void DrawArea(TFigureTarget& t, const TPaintStyle& st, const TRect& box, SpanOf spanOf) {
  const std::int64_t top = box.Top, bottom = box.Bottom;
  const std::int64_t y0 = std::max<std::int64_t>(top, t.Area().Top - t.PenWidth());
  const std::int64_t y1 = std::min<std::int64_t>(bottom, t.Area().Bottom + t.PenWidth());
  const std::int64_t xMin = t.Area().Left - t.PenWidth(), xMax = t.Area().Right + t.PenWidth();
  // The dotted pattern runs along each quarter of the figure.
  const std::int64_t cx2 = std::int64_t(box.Left) + box.Right, cy2 = top + bottom;
  auto gapAt = [&](std::int64_t x, std::int64_t y) {
    const std::int64_t rx = x - box.Left, ry = y - top;
    const bool falling = ((2 * x + 1 - cx2) < 0) == ((2 * y + 1 - cy2) < 0);
    return GapAt(falling ? rx - ry : rx + ry);
  };
  auto border = [&](std::int64_t y, std::int64_t a, std::int64_t b) {
    if (!st.Dotted && t.PenWidth() == 1) {
      t.Span(y, a, b + 1, pkPen);
      return;
    }
    for (std::int64_t x = std::max(a, xMin); x <= std::min(b, xMax); ++x) t.PenPixel(x, y, st.Dotted && gapAt(x, y));
  };
  for (std::int64_t y = y0; y < y1; ++y) {
    const TSpan s = spanOf(y);
    if (s.Empty()) continue;
    if (!st.Pen) {
      if (st.Brush) t.Span(y, s.First, s.Last + 1, pkBrush);
      continue;
    }
    const TSpan up = y > top ? spanOf(y - 1) : TSpan{};
    const TSpan down = y + 1 < bottom ? spanOf(y + 1) : TSpan{};
    TSpan inner;
    if (!up.Empty() && !down.Empty())
      inner = TSpan{std::max({s.First + 1, up.First, down.First}), std::min({s.Last - 1, up.Last, down.Last})};
    if (inner.Empty()) {
      border(y, s.First, s.Last);
      continue;
    }
    if (st.Brush) t.Span(y, inner.First, inner.Last + 1, pkBrush);
    if (s.First < inner.First) border(y, s.First, inner.First - 1);
    if (inner.Last < s.Last) border(y, inner.Last + 1, s.Last);
  }
}

void DrawRectangle(TShapeCanvas& canvas, TRect r) {
  r = NormalizeRect(r);
  if (IsRectEmpty(r)) return;
  TFigureTarget t(canvas, r, canvas.OpaqueBackground);
  if (t.Empty()) return;
  DrawArea(t, StyleOf(canvas), r, [&](std::int64_t) { return TSpan{r.Left, std::int64_t(r.Right) - 1}; });
  t.Flush();
}

void DrawEllipse(TShapeCanvas& canvas, TRect r) {
  r = NormalizeRect(r);
  if (IsRectEmpty(r)) return;
  TFigureTarget t(canvas, r, canvas.OpaqueBackground);
  if (t.Empty()) return;
  const std::int64_t w = std::int64_t(r.Right) - r.Left, h = std::int64_t(r.Bottom) - r.Top;
  DrawArea(t, StyleOf(canvas), r, [&](std::int64_t y) {
    TSpan s = EllipseRow(w, h, y - r.Top);
    return TSpan{s.First + r.Left, s.Last + r.Left};
  });
  t.Flush();
}

// A rectangle whose corners are the quarters of a corner x corner ellipse.
void DrawRoundRect(TShapeCanvas& canvas, TRect r, int corner) {
  r = NormalizeRect(r);
  if (IsRectEmpty(r)) return;
  TFigureTarget t(canvas, r, canvas.OpaqueBackground);
  if (t.Empty()) return;
  const std::int64_t w = std::int64_t(r.Right) - r.Left, h = std::int64_t(r.Bottom) - r.Top;
  const std::int64_t cw = std::min<std::int64_t>(corner, w), ch = std::min<std::int64_t>(corner, h);
  DrawArea(t, StyleOf(canvas), r, [&](std::int64_t y) {
    const std::int64_t fromTop = y - r.Top, fromBottom = r.Bottom - 1 - y;
    std::int64_t dy = -1;
    if (cw > 0 && ch > 0) {
      if (2 * fromTop + 1 < ch)
        dy = fromTop;
      else if (2 * fromBottom + 1 < ch)
        dy = fromBottom;
    }
    if (dy < 0) return TSpan{r.Left, std::int64_t(r.Right) - 1};
    const TSpan e = EllipseRow(cw, ch, dy);
    return TSpan{r.Left + e.First, std::int64_t(r.Right) - cw + e.Last};
  });
  t.Flush();
}

// ---- lines and polygons ----

TRect PointsReach(std::span<const TPoint> pts) {
  TRect b{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (const TPoint& p : pts) {
    b.Left = std::min(b.Left, p.X);
    b.Top = std::min(b.Top, p.Y);
    b.Right = std::max(b.Right, p.X);
    b.Bottom = std::max(b.Bottom, p.Y);
  }
  ++b.Right;
  ++b.Bottom;
  return b;
}

// n / d rounded to the nearest integer, halves to the even one (d > 0).
std::int64_t RoundDiv(std::int64_t n, std::int64_t d) {
  std::int64_t q = FloorDiv(n, d);
  const std::int64_t twice = 2 * (n - q * d);
  if (twice > d || (twice == d && (q & 1) != 0)) ++q;
  return q;
}

// The pixels from a towards b, b itself left out (the next segment starts
// there, or the figure ends before it). Each step of the longer axis takes
// the nearest pixel of the exact line, so a segment covers the same pixels
// whichever way it is drawn and mirrored segments give mirrored pixels.
// index advances the dotted pattern.
void LinePixels(TFigureTarget& t, TPoint a, TPoint b, bool dotted, std::int64_t& index) {
  const std::int64_t dx = std::int64_t(b.X) - a.X, dy = std::int64_t(b.Y) - a.Y;
  const std::int64_t adx = std::llabs(dx), ady = std::llabs(dy);
  if (adx >= ady) {
    const int sx = dx >= 0 ? 1 : -1;
    for (std::int64_t i = 0; i < adx; ++i) {
      const std::int64_t y = RoundDiv(std::int64_t(a.Y) * adx + i * dy, adx);
      t.PenPixel(a.X + i * sx, y, dotted && GapAt(index++));
    }
  } else {
    const int sy = dy >= 0 ? 1 : -1;
    for (std::int64_t i = 0; i < ady; ++i) {
      const std::int64_t x = RoundDiv(std::int64_t(a.X) * ady + i * dx, ady);
      t.PenPixel(x, a.Y + i * sy, dotted && GapAt(index++));
    }
  }
}

// Alternate filling, sampled at the integer coordinates: on row y the pixels
// from the ceiling of one crossing up to, not including, the ceiling of the
// next; an edge counts for its rows ymin .. ymax - 1.
void FillPolygon(TFigureTarget& t, std::span<const TPoint> pts) {
  struct TEdge {
    std::int64_t yTop, yEnd, x0, y0, dx, dy;  // dy > 0
  };
  std::vector<TEdge> edges;
  edges.reserve(pts.size());
  for (std::size_t i = 0; i < pts.size(); ++i) {
    TPoint p = pts[i], q = pts[(i + 1) % pts.size()];
    if (p.Y == q.Y) continue;
    if (p.Y > q.Y) std::swap(p, q);
    edges.push_back(TEdge{p.Y, q.Y, p.X, p.Y, std::int64_t(q.X) - p.X, std::int64_t(q.Y) - p.Y});
  }
  if (edges.empty()) return;
  std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.yTop < b.yTop; });
  std::int64_t yMax = edges[0].yEnd;
  for (const TEdge& e : edges) yMax = std::max(yMax, e.yEnd);
  const std::int64_t yFrom = std::max<std::int64_t>(edges[0].yTop, t.Area().Top);
  const std::int64_t yTo = std::min<std::int64_t>(yMax, t.Area().Bottom);
  std::vector<const TEdge*> active;
  std::vector<std::int64_t> xs;
  std::size_t next = 0;
  for (std::int64_t y = yFrom; y < yTo; ++y) {
    while (next < edges.size() && edges[next].yTop <= y) active.push_back(&edges[next++]);
    std::erase_if(active, [y](const TEdge* e) { return e->yEnd <= y; });
    xs.clear();
    for (const TEdge* e : active) xs.push_back(e->x0 + CeilDiv((y - e->y0) * e->dx, e->dy));
    std::sort(xs.begin(), xs.end());
    for (std::size_t k = 0; k + 1 < xs.size(); k += 2) t.Span(y, xs[k], xs[k + 1], pkBrush);
  }
}

void DrawPoints(TShapeCanvas& canvas, std::span<const TPoint> input, bool closed) {
  if (input.empty()) return;
  std::vector<TPoint> pts(input.begin(), input.end());
  for (TPoint& p : pts) p = ClampPoint(p);
  TFigureTarget t(canvas, PointsReach(pts), canvas.OpaqueBackground);
  if (t.Empty()) return;
  const TPaintStyle st = StyleOf(canvas);
  if (closed && st.Brush) FillPolygon(t, pts);
  if (st.Pen) {
    std::int64_t index = 0;
    const std::size_t segments = closed ? pts.size() : pts.size() - 1;
    for (std::size_t i = 0; i < segments; ++i) LinePixels(t, pts[i], pts[(i + 1) % pts.size()], st.Dotted, index);
  }
  t.Flush();
}

// The segment (L, T)-(R, B) widened to LineWidth: a rectangle of the
// segment's length turned to its angle, corners rounded.
std::array<TPoint, 4> WideLineCorners(const TRect& r) {
  const double dx = double(r.Right) - r.Left, dy = double(r.Bottom) - r.Top;
  const double length = std::hypot(dx, dy), angle = std::atan2(dy, dx);
  const double c = std::cos(angle), s = std::sin(angle);
  const int width = std::clamp(LineWidth.load(), -int(kCoordLimit), int(kCoordLimit));
  const double above = -(width / 2), below = (width + 1) / 2;
  auto corner = [&](double x, double y) {
    return TPoint{RoundCoord(r.Left + x * c - y * s), RoundCoord(r.Top + x * s + y * c)};
  };
  return {corner(0, above), corner(length, above), corner(length, below), corner(0, below)};
}

// ---- reading selection files ----

class TLineReader {
 public:
  explicit TLineReader(std::span<const std::uint8_t> data) : m_data(data) {}

  // A line ends at CR or LF; one more CR or LF right after belongs to the
  // same line end. False when nothing is left to read.
  bool ReadLine(std::string& line) {
    if (m_pos >= m_data.size()) return false;
    const std::size_t start = m_pos;
    while (m_pos < m_data.size() && m_data[m_pos] != '\r' && m_data[m_pos] != '\n') ++m_pos;
    line.assign(reinterpret_cast<const char*>(m_data.data()) + start, m_pos - start);
    m_lineEnd.clear();
    if (m_pos < m_data.size()) {
      m_lineEnd.push_back(char(m_data[m_pos++]));
      if (m_pos < m_data.size() && (m_data[m_pos] == '\r' || m_data[m_pos] == '\n'))
        m_lineEnd.push_back(char(m_data[m_pos++]));
    }
    return true;
  }
  // The characters that ended the last line read.
  const std::string& LineEnd() const { return m_lineEnd; }
  void Unread(std::size_t n) { m_pos -= std::min(n, m_pos); }
  void Rewind() { m_pos = 0; }

  bool ReadInt32(std::int32_t& v) {
    if (Remaining() < 4) return false;
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= std::uint32_t(m_data[m_pos + std::size_t(i)]) << (8 * i);
    m_pos += 4;
    v = std::int32_t(u);
    return true;
  }
  std::size_t Remaining() const { return m_data.size() - m_pos; }

 private:
  std::span<const std::uint8_t> m_data;
  std::size_t m_pos = 0;
  std::string m_lineEnd;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A decimal 32-bit integer with an optional sign; blanks around it are allowed.
bool ParseInt(std::string_view s, std::int32_t& v) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > std::int64_t(INT_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return false;
  v = std::int32_t(value);
  return true;
}

const char kSelectionHeader[] = "Brindlemark Selection";

}  // namespace

// ---- TShapeCanvas ----

TShapeCanvas::TShapeCanvas(TBitmap& bitmap) : ClipRect{0, 0, bitmap.Width(), bitmap.Height()}, m_bitmap(&bitmap) {}

TShapeCanvas::TShapeCanvas(QPainter& painter) : m_painter(&painter) {
  QRect area;
  if (const QPaintDevice* device = painter.device()) area = QRect(0, 0, device->width(), device->height());
  if (painter.hasClipping()) area &= painter.clipBoundingRect().toAlignedRect();
  if (!area.isEmpty())
    ClipRect = TRect{area.left(), area.top(), area.left() + area.width(), area.top() + area.height()};
}

void TShapeCanvas::FillSpan(int y, int x0, int x1, TColor color, TPenMode mode) {
  if (y < ClipRect.Top || y >= ClipRect.Bottom) return;
  x0 = std::max(x0, ClipRect.Left);
  x1 = std::min(x1, ClipRect.Right);
  if (x0 >= x1) return;
  color = ColorToRGB(color);
  if (m_painter) {
    const QColor c(GetRValue(color), GetGValue(color), GetBValue(color));
    const QRect span(x0, y, x1 - x0, 1);
    if (mode == pmXor) {
      const QPainter::CompositionMode old = m_painter->compositionMode();
      m_painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      m_painter->fillRect(span, c);
      m_painter->setCompositionMode(old);
    } else {
      m_painter->fillRect(span, c);
    }
    return;
  }
  TBitmap& b = *m_bitmap;
  if (y < 0 || y >= b.Height()) return;
  x0 = std::max(x0, 0);
  x1 = std::min(x1, b.Width());
  if (x0 >= x1) return;
  const auto blue = std::uint8_t(GetBValue(color)), green = std::uint8_t(GetGValue(color)),
             red = std::uint8_t(GetRValue(color));
  if (b.PixelFormat() == pf24bit || b.PixelFormat() == pf32bit) {
    const int step = b.PixelFormat() == pf24bit ? 3 : 4;
    std::uint8_t* p = b.ScanLine(y) + std::size_t(x0) * std::size_t(step);
    for (int x = x0; x < x1; ++x, p += step) {
      if (mode == pmXor) {
        p[0] ^= blue, p[1] ^= green, p[2] ^= red;
      } else {
        p[0] = blue, p[1] = green, p[2] = red;
      }
    }
    return;
  }
  for (int x = x0; x < x1; ++x) b.SetPixel(x, y, mode == pmXor ? (b.Pixel(x, y) ^ color) & 0xFFFFFF : color);
}

// ---- TShapeManager ----

int RoundRectCorner(const TRect& r) {
  const std::int64_t w = std::llabs(std::int64_t(r.Right) - r.Left), h = std::llabs(std::int64_t(r.Bottom) - r.Top);
  return int(std::min<std::int64_t>(std::min(w, h) / 4, INT_MAX));
}

TShapeManager::TShapeManager() : PenStyles(ShapePenStyles), Toggle(&ShapeToggle) {}

TShapeManager::~TShapeManager() { Clear(); }

void TShapeManager::Clear() {
  Stored.Points.clear();
  Stored.Flags.clear();
  Stored.Bounds = TRect{};
  Working.Points.clear();
  Working.Bounds = TRect{};
  Building = false;
  m_workingFitted = false;
}

void TShapeManager::Draw(TShapeCanvas& canvas, TRect r, int mode, TMyShape kind) {
  int style = -1;
  switch (mode) {
    case 1: style = 0; break;
    case 2: style = 1; break;
    case 3:
    case 4:
      style = *Toggle ? 3 : 2;
      if (mode == 3) *Toggle = !*Toggle;
      break;
    default: break;
  }
  if (style >= 0) {
    const TShapePenStyle& s = PenStyles[std::size_t(style)];
    canvas.Brush.Style = bsClear;
    canvas.BackgroundColor = s.BackColor;
    canvas.OpaqueBackground = true;
    canvas.Pen.Mode = s.Mode;
    canvas.Pen.Width = 1;
    canvas.Pen.Color = s.Color;
    canvas.Pen.Style = s.Style;
  }

  r = ClampRect(r);
  // These figures reach the last pixel column and row of r, not beyond.
  if (kind >= ssTriangle1) --r.Right, --r.Bottom;
  const int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
  const int MX = (L + R) / 2, MY = (T + B) / 2;
  switch (kind) {
    case ssRect: DrawRectangle(canvas, r); break;
    case ssEllipse: DrawEllipse(canvas, r); break;
    case ssRoundRect: DrawRoundRect(canvas, r, RoundRectCorner(r)); break;
    case ssLine: {
      const TPoint line[] = {{L, T}, {R, B}};
      DrawPoints(canvas, line, false);
      break;
    }
    case ssLineWidth: {
      const auto corners = WideLineCorners(r);
      DrawPoints(canvas, corners, true);
      break;
    }
    case ssTriangle1: {
      const TPoint p[] = {{L, B}, {MX, T}, {R, B}};
      DrawPoints(canvas, p, true);
      break;
    }
    case ssTriangle2: {
      const TPoint p[] = {{L, T}, {R, MY}, {L, B}};
      DrawPoints(canvas, p, true);
      break;
    }
    case ssTriangle3: {
      const TPoint p[] = {{L, T}, {R, T}, {MX, B}};
      DrawPoints(canvas, p, true);
      break;
    }
    case ssTriangle4: {
      const TPoint p[] = {{L, MY}, {R, T}, {R, B}};
      DrawPoints(canvas, p, true);
      break;
    }
    case ssLosange: {
      const TPoint p[] = {{MX, T}, {R, MY}, {MX, B}, {L, MY}};
      DrawPoints(canvas, p, true);
      break;
    }
    case ssPolygon:
    case ssPolyline:
      FitTo(r);
      DrawPoints(canvas, Working.Points, kind == ssPolygon);
      break;
    case ssMultiPoints: DrawEdges(canvas, r); break;
  }
}

void TShapeManager::DrawEdges(TShapeCanvas& canvas, const TRect& rect) {
  const std::vector<TPoint>& pts = Stored.Points;
  if (pts.empty() || Stored.Bounds.Right < 0 || Stored.Bounds.Bottom < 0) return;
  const TRect r = ClampRect(rect);
  const double sx = (double(r.Right) - r.Left + 1) / (double(Stored.Bounds.Right) + 1);
  const double sy = (double(r.Bottom) - r.Top + 1) / (double(Stored.Bounds.Bottom) + 1);
  if (!(sx > 0) || !(sy > 0)) return;
  // Scaled picture coordinates, before the offset of r.
  auto scaleX = [&](std::int64_t x) { return std::int64_t(ClampCoord(std::trunc(double(x) * sx))); };
  auto scaleY = [&](std::int64_t y) { return std::int64_t(ClampCoord(std::trunc(double(y) * sy))); };
  auto flagOf = [&](std::size_t i) { return i < Stored.Flags.size() ? Stored.Flags[i] : std::uint8_t(0); };

  TFigureTarget t(canvas, TRect{r.Left, r.Top, r.Right + 1, r.Bottom + 1}, true);
  if (t.Empty()) return;

  // Runs: a left-flagged point up to the next right-flagged one of its row.
  if (canvas.Brush.Style != bsClear) {
    std::size_t i = 0;
    while (i < pts.size()) {
      if ((flagOf(i) & mpLeft) == 0) break;
      std::size_t j = i;
      while (j < pts.size() && (flagOf(j) & mpRight) == 0) ++j;
      if (j == pts.size() || pts[j].Y != pts[i].Y) break;
      const std::int64_t x0 = scaleX(pts[i].X), x1 = scaleX(std::int64_t(pts[j].X) + 1);
      const std::int64_t y0 = scaleY(pts[i].Y), y1 = std::max(scaleY(std::int64_t(pts[i].Y) + 1), y0 + 1);
      for (std::int64_t y = y0; y < y1; ++y) t.Span(y + r.Top, x0 + r.Left, x1 + r.Left, pkBrush);
      i = j + 1;
    }
  }

  if (canvas.Pen.Style != psClear) {
    const int width = t.PenWidth();
    const bool dotted = canvas.Pen.Style == psDot;
    // One side as the pixels xa..xb, ya..yb of the scaled cell.
    const TRect& area = t.Area();
    auto side = [&](std::int64_t xa, std::int64_t xb, std::int64_t ya, std::int64_t yb) {
      // Only the part that can reach the visible area is walked.
      xa = std::max<std::int64_t>(xa, std::int64_t(area.Left) - r.Left - width);
      xb = std::min<std::int64_t>(xb, std::int64_t(area.Right) - r.Left + width);
      ya = std::max<std::int64_t>(ya, std::int64_t(area.Top) - r.Top - width);
      yb = std::min<std::int64_t>(yb, std::int64_t(area.Bottom) - r.Top + width);
      if (xa > xb || ya > yb) return;
      if (width >= 2) {
        const int off = width / 2;
        for (std::int64_t y = ya - off; y < yb - off + width; ++y)
          t.Span(y + r.Top, xa - off + r.Left, xb - off + width + r.Left, pkPen);
        return;
      }
      for (std::int64_t y = ya; y <= yb; ++y)
        for (std::int64_t x = xa; x <= xb; ++x) t.PenPixel(x + r.Left, y + r.Top, dotted && GapAt(x + y));
    };
    for (std::size_t i = 0; i < pts.size(); ++i) {
      const std::uint8_t f = flagOf(i);
      if ((f & (mpLeft | mpTop | mpRight | mpBottom)) == 0) continue;
      const std::int64_t cx0 = scaleX(pts[i].X), cy0 = scaleY(pts[i].Y);
      // A factor of at most 1 shrinks every side to the cell's one pixel.
      const std::int64_t cx1 = sx <= 1 ? cx0 : std::max(cx0, scaleX(std::int64_t(pts[i].X) + 1) - 1);
      const std::int64_t cy1 = sy <= 1 ? cy0 : std::max(cy0, scaleY(std::int64_t(pts[i].Y) + 1) - 1);
      if (f & mpLeft) side(cx0, cx0, cy0, cy1);
      if (f & mpTop) side(cx0, cx1, cy0, cy0);
      if (f & mpRight) side(cx1, cx1, cy0, cy1);
      if (f & mpBottom) side(cx0, cx1, cy1, cy1);
    }
  }
  t.Flush();
}

void TShapeManager::FitTo(const TRect& r) {
  if (Building) return;
  if (Working.Points.size() != Stored.Points.size()) {
    Working.Points.assign(Stored.Points.size(), TPoint{});
    m_workingFitted = false;
  }
  if (m_workingFitted && r == Working.Bounds) return;
  const std::int64_t w = std::int64_t(r.Right) - r.Left, h = std::int64_t(r.Bottom) - r.Top;
  const std::int64_t oldW = std::int64_t(Working.Bounds.Right) - Working.Bounds.Left;
  const std::int64_t oldH = std::int64_t(Working.Bounds.Bottom) - Working.Bounds.Top;
  if (m_workingFitted && w == oldW && h == oldH) {
    const std::int64_t dx = std::int64_t(r.Left) - Working.Bounds.Left, dy = std::int64_t(r.Top) - Working.Bounds.Top;
    for (TPoint& p : Working.Points) p = TPoint{ClampCoord(p.X + dx), ClampCoord(p.Y + dy)};
  } else {
    const int sw = Stored.Bounds.Right, sh = Stored.Bounds.Bottom;
    // A shape without extent in one direction stays at r's edge there.
    auto scale = [](int v, std::int64_t size, int stored) -> std::int64_t {
      if (size == stored) return v;
      if (stored == 0) return 0;
      return RoundCoord(v * (double(size) / stored));
    };
    for (std::size_t i = 0; i < Stored.Points.size(); ++i) {
      const TPoint& s = Stored.Points[i];
      Working.Points[i] = TPoint{ClampCoord(scale(s.X, w, sw) + r.Left), ClampCoord(scale(s.Y, h, sh) + r.Top)};
    }
  }
  Working.Bounds = r;
  m_workingFitted = true;
}

void TShapeManager::StartPolygon(TPoint p) {
  Building = true;
  Working.Points.assign(1, p);
  Working.Bounds = TRect{p.X, p.Y, p.X, p.Y};
  m_workingFitted = true;
}

int TShapeManager::AddPoint(TPoint p) {
  if (!Working.Points.empty()) {
    const TPoint last = Working.Points.back();
    if (std::llabs(std::int64_t(p.X) - last.X) < MinPointDistance &&
        std::llabs(std::int64_t(p.Y) - last.Y) < MinPointDistance)
      return -1;
    Working.Bounds = TRect{std::min(Working.Bounds.Left, p.X), std::min(Working.Bounds.Top, p.Y),
                           std::max(Working.Bounds.Right, p.X), std::max(Working.Bounds.Bottom, p.Y)};
  } else {
    Working.Bounds = TRect{p.X, p.Y, p.X, p.Y};
  }
  Working.Points.push_back(p);
  m_workingFitted = true;
  return int(Working.Points.size()) - 1;
}

TPoint TShapeManager::GetLastPoint() const { return Working.Points.empty() ? TPoint{} : Working.Points.back(); }
TPoint TShapeManager::GetFirstPoint() const { return Working.Points.empty() ? TPoint{} : Working.Points.front(); }

int TShapeManager::PointCount() const {
  return int(Working.Points.empty() ? Stored.Points.size() : Working.Points.size());
}

void TShapeManager::RemoveLastPoint(TRect& bounds) {
  if (!Working.Points.empty()) Working.Points.pop_back();
  bounds = Working.Points.empty() ? TRect{} : PointsReach(Working.Points);
  if (!Working.Points.empty()) --bounds.Right, --bounds.Bottom;
  Working.Bounds = bounds;
}

void TShapeManager::Offset(int dx, int dy) {
  for (TPoint& p : Working.Points) p = TPoint{ClampCoord(std::int64_t(p.X) + dx), ClampCoord(std::int64_t(p.Y) + dy)};
  const TRect& b = Working.Bounds;
  Working.Bounds = TRect{ClampCoord(std::int64_t(b.Left) + dx), ClampCoord(std::int64_t(b.Top) + dy),
                         ClampCoord(std::int64_t(b.Right) + dx), ClampCoord(std::int64_t(b.Bottom) + dy)};
}

void TShapeManager::Finish(double zoom) {
  Stored.Points.clear();
  Stored.Flags.clear();
  Stored.Bounds = TRect{};
  Building = false;
  if (Working.Points.empty()) return;
  if (!(zoom > 0)) zoom = 1;  // a zoom of 0 or less cannot scale back to picture pixels
  const TRect box = PointsReach(Working.Points);
  Stored.Points.reserve(Working.Points.size());
  for (const TPoint& p : Working.Points) {
    TPoint s{p.X - box.Left, p.Y - box.Top};
    if (zoom != 1) s = TPoint{ClampCoord(std::trunc(s.X / zoom)), ClampCoord(std::trunc(s.Y / zoom))};
    Stored.Points.push_back(s);
    Stored.Bounds.Right = std::max(Stored.Bounds.Right, s.X);
    Stored.Bounds.Bottom = std::max(Stored.Bounds.Bottom, s.Y);
  }
}

void TShapeManager::ResetWorking() {
  Working.Points = Stored.Points;
  Working.Bounds = TRect{};
  Building = false;
  m_workingFitted = false;
}

std::string TShapeManager::ReadSelection(std::span<const std::uint8_t> data, TMyShape& kind, TRect& bounds) {
  auto fail = [this](const char* why) {
    Clear();
    return std::string(why);
  };
  TLineReader in(data);
  std::string line;
  if (!in.ReadLine(line)) return fail("empty selection file");
  bool binary = false;
  if (line == kSelectionHeader) {
    if (!in.ReadLine(line)) return fail("selection file ends after its first line");
    binary = line == "Binary";
    // The count follows the line end directly: a single LF or CR before a
    // count byte of 10 or 13 must not swallow that byte.
    if (binary && in.LineEnd().size() == 2 && in.LineEnd() != "\r\n") in.Unread(1);
  } else {
    in.Rewind();
  }

  std::int32_t count = 0;
  if (binary) {
    if (!in.ReadInt32(count)) return fail("selection file ends before its point count");
    if (count < 0) return fail("negative point count");
  } else {
    if (!in.ReadLine(line)) return fail("selection file has no count line");
    if (!ParseInt(line, count)) return fail("count line is not a number");
    if (count < 0) {
      if (count < -10) return fail("unknown shape code");
      std::int32_t width = 0, height = 0;
      if (!in.ReadLine(line) || !ParseInt(line, width)) return fail("missing or invalid shape width");
      if (!in.ReadLine(line) || !ParseInt(line, height)) return fail("missing or invalid shape height");
      kind = TMyShape(-count - 1);
      bounds = TRect{0, 0, width, height};
      return {};
    }
  }
  if (count == 0) return fail("selection without points");
  // Every point needs its bytes: 12 a binary record, "x;y" and a line end a text line.
  const std::size_t room = binary ? in.Remaining() / 12 : (in.Remaining() + 1) / 4;
  if (std::size_t(count) > room) return fail("point count larger than the data");

  Clear();
  struct TRawPoint {
    std::int64_t x, y;
  };
  std::vector<TRawPoint> raw(static_cast<std::size_t>(count));
  if (binary) Stored.Flags.resize(std::size_t(count));
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (binary) {
      std::int32_t x = 0, flag = 0, y = 0;
      if (!in.ReadInt32(x) || !in.ReadInt32(flag) || !in.ReadInt32(y)) return fail("selection file ends in its points");
      raw[i] = TRawPoint{std::int64_t(x) - 33, std::int64_t(y) - 33};
      Stored.Flags[i] = std::uint8_t((std::int64_t(flag) - 77) & 0xFF);
    } else {
      std::int32_t x = 0, y = 0;
      if (!in.ReadLine(line)) return fail("selection file ends in its points");
      const std::size_t semicolon = line.find(';');
      if (semicolon == std::string::npos || semicolon == 0) return fail("point line without x;y");
      if (!ParseInt(std::string_view(line).substr(0, semicolon), x) ||
          !ParseInt(std::string_view(line).substr(semicolon + 1), y))
        return fail("point coordinate is not a number");
      raw[i] = TRawPoint{x, y};
    }
  }

  std::int64_t minX = raw[0].x, maxX = raw[0].x, minY = raw[0].y, maxY = raw[0].y;
  for (const TRawPoint& p : raw) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  // The bounds handed back are one larger than the extent and must stay integers.
  if (maxX - minX >= INT_MAX || maxY - minY >= INT_MAX) return fail("shape too large");
  Stored.Points.resize(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) Stored.Points[i] = TPoint{int(raw[i].x - minX), int(raw[i].y - minY)};
  Stored.Bounds = TRect{0, 0, int(maxX - minX), int(maxY - minY)};
  kind = binary ? ssMultiPoints : ssPolygon;
  bounds = TRect{0, 0, Stored.Bounds.Right + 1, Stored.Bounds.Bottom + 1};
  return {};
}

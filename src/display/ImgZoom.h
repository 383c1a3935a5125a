#pragma once
// Zoomed drawing of a bitmap into a box of a painter, drop shadows and framed
// previews. Shared by the image view, the print layout preview and the
// open-picture dialog's preview; works on any QPaintDevice (a widget, or the
// QImage of a TBitmap).
#include <QImage>
#include <cstdint>

#include "app/PathAndTextHelpers.h"  // RoundEven
#include "raster/Bitmap.h"
#include "raster/Color.h"
#include "raster/RectUtils.h"

class QPainter;

enum TZoomMode : std::uint8_t {
  zmActualSize = 0,  // factor 1
  zmFitWidth = 1,
  zmFitHeight = 2,
  zmFitBox = 3,
  zmCustom = 4,  // factor set from outside
};

enum TZoomAlign : std::uint8_t {
  zaTopLeft = 0,
  zaTopCenter = 1,
  zaTopRight = 2,
  zaMiddleLeft = 3,
  zaCenter = 4,
  zaMiddleRight = 5,
  zaBottomLeft = 6,
  zaBottomCenter = 7,
  zaBottomRight = 8,
  zaCenterHorz = 9,   // Top left alone
  zaCenterVert = 10,  // Left left alone
  zaManual = 11,      // Left and Top set from outside
};

// The visible rectangle of a painter in its own coordinates: the device
// intersected with the region being repainted (a widget's update region) and
// the painter's clip. Assumes no transformation.
TRect PainterClipRect(const QPainter& painter);

// A colour value (system colours resolved) and a rectangle as Qt takes them.
QColor ToQColor(TColor c);
QRect ToQRect(const TRect& r);

class TImageZoom {
 public:
  TImageZoom() = default;
  TImageZoom(const TImageZoom&) = delete;
  TImageZoom& operator=(const TImageZoom&) = delete;

  const TBitmap* Bitmap() const { return m_bitmap; }
  QPainter* Canvas() const { return m_canvas; }
  const TRect& Box() const { return m_box; }
  int Left() const { return m_left; }
  int Top() const { return m_top; }
  double Zoom() const { return m_zoom; }
  int ZoomWidth() const { return m_zoomWidth; }
  int ZoomHeight() const { return m_zoomHeight; }
  TZoomMode ZoomMode() const { return m_zoomMode; }
  TZoomAlign ZoomAlign() const { return m_zoomAlign; }

  void SetBitmap(const TBitmap* bitmap);
  // The box becomes the painter's visible rectangle (empty without a painter).
  void SetCanvas(QPainter* canvas);
  void SetBox(const TRect& box);
  void SetZoomMode(TZoomMode mode);
  // A factor that is not > 0 becomes 1; the mode becomes zmCustom.
  void SetZoom(double zoom);
  // Ignored without a bitmap, for w <= 0 or the current zoomed width; sets
  // the factor so that the picture is w wide (the height follows).
  void SetZoomWidth(int w);
  void SetZoomHeight(int h);
  void SetAlign(TZoomAlign align);
  // Place the picture and switch the alignment to zaManual.
  void SetLeft(int x);
  void SetTop(int y);

  bool Halftone = false;     // smooth stretching
  bool WholePixels = false;  // when enlarging, whole source pixels only
  bool Plain = false;        // no transparency, no band filling, no snapping

  // Keep the reduced picture between draws when a smooth reduction would
  // otherwise read many source pixels per draw (the view turns this on).
  bool CacheZoomed = false;
  // The picture's pixels or size changed: drop what was kept and recompute
  // the zoomed size for the unchanged factor.
  void PictureChanged();

  TRect PictureRect() const { return TRect{m_left, m_top, m_left + m_zoomWidth, m_top + m_zoomHeight}; }

  // Draws the part of the zoomed picture that falls inside the box (and the
  // painter's visible rectangle); with fill, the rest of the box is filled
  // with the painter's brush. Returns the drawn rectangle, empty when
  // nothing was drawn or without a bitmap or painter.
  TRect Draw(bool fill);

  // 0 for a missing or empty bitmap or an empty box; kind 1 box width over
  // bitmap width, 2 the heights, 3 the smaller of the two; otherwise 1.
  static double ComputeFitZoom(const TBitmap* bitmap, const TRect& box, int kind);

 private:
  void Recalc();
  void Align();
  // Draws the part `part` (canvas coordinates, inside the zoomed picture at
  // (x, y)) of the zoomed picture.
  void DrawPart(const TRect& part, int x, int y, int zw, int zh);
  bool UseCache(int zw, int zh) const;

  const TBitmap* m_bitmap = nullptr;
  QPainter* m_canvas = nullptr;
  TRect m_box;
  int m_left = 0;
  int m_top = 0;
  double m_zoom = 1.0;
  int m_zoomWidth = 0;
  int m_zoomHeight = 0;
  TZoomMode m_zoomMode = zmActualSize;
  TZoomAlign m_zoomAlign = zaTopLeft;

  // The whole reduced picture and what it was made from.
  struct TCacheKey {
    const TBitmap* Bitmap = nullptr;
    qint64 ImageKey = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TCacheKey&, const TCacheKey&) = default;
  };
  QImage m_cache;
  TCacheKey m_cacheKey;
};

// The stretching itself, exposed for the view's tests and the benchmark. The
// zoomed picture is zw x zh; `part` is a rectangle of it (zoomed picture
// coordinates). Source pixel i spans the zoomed columns
// floor(i * zw / w) .. floor((i + 1) * zw / w) - 1, so every source pixel is
// whole wherever a part starts, and any part equals the same crop of the
// whole zoomed picture.
//   nearest: each zoomed pixel takes the source pixel it lies on;
//   smooth: each zoomed pixel the average of the source area it covers (so a
//   whole-factor enlargement gives blocks, as the nearest stretch does);
//   masked: nearest, pixels of the transparent colour become fully transparent
//   (Format_ARGB32_Premultiplied), everything else opaque.
// Colour formats: opaque Format_RGB32, alpha of the source ignored.
enum class TStretchKind { Nearest, Smooth, Masked };
QImage StretchPart(const TBitmap& bitmap, int zw, int zh, const TRect& part, TStretchKind kind);

// Fills (left, top, right, bottom) with color darkened by percent % towards
// black; the painter's brush becomes that solid colour.
void FillDarkened(QPainter& canvas, int left, int top, int right, int bottom, TColor color, int percent);

// A shadow to the right of and below r, offset by size: soft (rings of
// decreasing strength with faded ends) or hard (two solid bands). Nothing for
// an empty r, size <= 0 or percent outside 1..100.
void DrawShadow(QPainter& canvas, TRect r, int size, bool soft, TColor color, int percent);

// A raised one-pixel frame along the edge of r: top and left in topColor,
// bottom and right (with the top-right and bottom-left corners) in
// bottomColor; r shrinks by width on every side.
void Frame3D(QPainter& canvas, TRect& r, TColor topColor, TColor bottomColor, int width);

// Draws source fitted and centred in target (never enlarged) on faceColor;
// with shadowSize > 0 inside a 3D frame with a soft shadow on backColor.
// Palette targets are made pf24bit first. Returns where the picture landed.
TRect DrawFramedPicture(const TBitmap& source, TBitmap& target, TColor faceColor, bool halftone, TColor backColor,
                        int shadowSize, int inset);

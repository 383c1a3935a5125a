#pragma once
// TShapeManager: the geometry of one selection shape and its drawing, as an
// exclusive-or outline while the view tracks a selection and as a filled and
// outlined figure when a selection file becomes a mask picture.
//
// Drawing goes through TShapeCanvas, a small pen-and-brush state over either a
// TBitmap or an active QPainter. The figures are rasterised here rather than
// by QPainter so that their pixels follow the classic device conventions the
// selection files were made with: a rectangle (L, T, R, B) covers columns
// L..R-1 and rows T..B-1, a line leaves out its last pixel, polygon corners
// land on their exact pixels, and nothing is antialiased.
#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "raster/Bitmap.h"
#include "raster/Color.h"
#include "raster/RectUtils.h"

class QPainter;

// Shape kinds; the ordinals are those of the selection files' codes.
enum TMyShape : std::uint8_t {
  ssRect = 0,
  ssEllipse,
  ssRoundRect,
  ssLine,
  ssLineWidth,
  ssTriangle1,
  ssTriangle2,
  ssTriangle3,
  ssTriangle4,
  ssLosange,
  ssPolygon,
  ssPolyline,
  ssMultiPoints
};

using TArrayOfPoint = std::vector<TPoint>;
using TArrayOfByte = std::vector<std::uint8_t>;

struct TPointsData {
  TArrayOfPoint Points;
  TRect Bounds;
};

struct TPointsDataEx {
  TArrayOfPoint Points;
  TArrayOfByte Flags;  // one per point, ssMultiPoints only
  TRect Bounds;
};

// Boundary sides of a multi-point pixel, as stored in its flag byte.
constexpr std::uint8_t mpLeft = 1;
constexpr std::uint8_t mpTop = 2;
constexpr std::uint8_t mpRight = 4;
constexpr std::uint8_t mpBottom = 8;

enum TPenMode : std::uint8_t { pmCopy, pmXor };
enum TPenStyle : std::uint8_t { psSolid, psDot, psClear };
enum TBrushStyle : std::uint8_t { bsSolid, bsClear };

// Where shapes are drawn and with what. The pen outlines, the brush fills;
// a dotted pen of width 1 paints its gaps in BackgroundColor when
// OpaqueBackground is set and leaves them alone otherwise. Pen.Mode applies
// to every pixel a figure writes: pmXor flips the bits of the pixels, so
// drawing the same figure twice restores the picture.
//
// Over a QPainter the canvas draws in the painter's coordinates with integer
// rectangles only; exclusive-or needs a 32-bit raster target (QImage or a
// widget's backing store). Over a TBitmap every pixel format works; pf24bit
// and pf32bit are written directly.
class TShapeCanvas {
 public:
  explicit TShapeCanvas(TBitmap& bitmap);
  explicit TShapeCanvas(QPainter& painter);

  struct TPen {
    TColor Color = clBlack;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
    int Width = 1;
  } Pen;
  struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
  } Brush;
  TColor BackgroundColor = clWhite;
  bool OpaqueBackground = true;

  // Nothing is drawn outside it. At construction: the bitmap, or the
  // painter's device (narrowed to the painter's clip when it has one).
  TRect ClipRect;

  // Paints pixels [x0, x1) of row y in color (resolved with ColorToRGB),
  // combined through mode, clipped to ClipRect.
  void FillSpan(int y, int x0, int x1, TColor color, TPenMode mode);

 private:
  TBitmap* m_bitmap = nullptr;
  QPainter* m_painter = nullptr;
};

// One selectable drawing style: pen mode, pen style, pen colour and the
// colour of the gaps of a dotted pen.
struct TShapePenStyle {
  TPenMode Mode;
  TPenStyle Style;
  TColor Color;
  TColor BackColor;
};

// Styles 0 and 1: exclusive-or outlines (dotted, solid); 2 and 3: the two
// phases of a crawling black-and-white dotted outline.
extern const std::array<TShapePenStyle, 4> ShapePenStyles;

// Module-wide state of the shape unit.
extern std::atomic<int> LineWidth;   // width in canvas pixels of ssLineWidth shapes (initially 1)
extern bool ShapeToggle;             // alternates the styles 2 and 3 of the crawling outline
constexpr int MinPointDistance = 3;  // canvas pixels between the points of a polygon being built

class TShapeManager {
 public:
  TShapeManager();
  ~TShapeManager();
  TShapeManager(const TShapeManager&) = default;
  TShapeManager& operator=(const TShapeManager&) = default;

  TPointsDataEx Stored;   // relative to the shape's top-left: Bounds is (0, 0, max x, max y)
  TPointsData Working;    // as placed on the canvas
  bool Building = false;  // a polygon is being built point by point
  std::array<TShapePenStyle, 4> PenStyles;
  bool* Toggle;  // ShapeToggle unless pointed elsewhere

  // Empties the points and flags; both bounds become (0, 0, 0, 0).
  void Clear();

  // Draws kind fitted to r. Mode 0 uses the canvas's pen and brush as they
  // are; 1 selects style 0, 2 style 1, 3 and 4 style 3 when *Toggle is set
  // and style 2 otherwise, and 3 then flips *Toggle. A selected style leaves
  // the canvas with a clear brush, an opaque background of the style's
  // colour and a pen of width 1.
  void Draw(TShapeCanvas& canvas, TRect r, int mode, TMyShape kind);
  // The multi-point shape scaled into r (whose right and bottom are its last
  // pixel column and row): runs filled with the brush, flagged sides drawn
  // with the pen.
  void DrawEdges(TShapeCanvas& canvas, const TRect& r);
  // Places the working points in r (scaled and shifted copies of the stored ones).
  void FitTo(const TRect& r);

  // Polygon building on the canvas.
  void StartPolygon(TPoint p);
  // -1 (nothing added) when p is closer than MinPointDistance to the last
  // point in both x and y; otherwise the new point's index.
  int AddPoint(TPoint p);
  TPoint GetLastPoint() const;
  TPoint GetFirstPoint() const;
  int PointCount() const;
  void RemoveLastPoint(TRect& bounds);
  void Offset(int dx, int dy);
  // The working points become the stored shape, relative to their top-left
  // corner and divided by zoom (truncating) to turn canvas pixels into
  // picture pixels.
  void Finish(double zoom);
  void ResetWorking();

  // Reads a selection file (binary, text with header or bare text). On
  // success: kind and bounds of the shape, polygons and multi-point shapes
  // stored, and an empty string; on failure the shape is cleared and the
  // reason comes back. It shows nothing (LoadShapeFromStream, with the
  // picture files, says "Fichier de données invalide !"). Safe to use from
  // any thread (for its own manager).
  std::string ReadSelection(std::span<const std::uint8_t> data, TMyShape& kind, TRect& bounds);

 private:
  bool m_workingFitted = false;  // the working points hold a FitTo result
};

// The corner ellipse's width and height of an ssRoundRect drawn into r:
// min(width, height) div 4.
int RoundRectCorner(const TRect& r);

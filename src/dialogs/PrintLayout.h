#pragma once
// The arithmetic of the print layout: the page in device pixels and in the
// chosen unit, the on-screen preview page, the scale bar, the printed
// rectangle, the crop marks and the bounds the fields are checked against.
// Free of widgets and printers so that it is tested on its own.
#include <QLineF>
#include <QString>
#include <vector>

#include "raster/RectUtils.h"

// The printable page as the printer reports it, and its size in the unit
// (centimetres, or inches). The horizontal resolution serves both directions.
struct TPageGeometry {
  int WidthPx = 0;
  int HeightPx = 0;
  bool Inch = false;
  double WidthUnit = 0;
  double HeightUnit = 0;
};

// False (geometry untouched) for a page or resolution that is not positive:
// nothing could be laid out on it.
bool ReadPageSize(int widthPx, int heightPx, double dpi, bool inch, TPageGeometry& page);

// pixels × unit size / pixel size along one direction.
double UnitFromPixels(const TPageGeometry& page, double pixels, bool horizontal);
// value × pixel size / unit size, rounded to the nearest integer, halves to even.
int PixelsFromUnit(const TPageGeometry& page, bool horizontal, double value);

// A picture wider than high, or square, prints landscape.
bool PrintsPortrait(int imageWidth, int imageHeight);

// The preview page: its longer side is 225 screen pixels.
struct TPreviewGeometry {
  int Width = 0;
  int Height = 0;
  double Scale = 0;  // preview pixels per device pixel
};
constexpr int PreviewLongSide = 225;
TPreviewGeometry PreviewGeometry(const TPageGeometry& page);

// The largest print scale at which the picture fits the page (device pixels
// per picture pixel).
double FitFactor(int imageWidth, int imageHeight, const TPageGeometry& page);

// The scale bar counts tenths: its maximum is the fit scale in tenths,
// truncated, and never below its minimum of 1 (a picture far larger than the
// page would otherwise give an empty range).
int ScaleBarMax(double fitFactor);
// The scale a layout starts with: 80 % of the fit, at most 5.
double InitialPrintScale(double fitFactor);
// The bar position for a scale: tenths rounded, clamped to 1..max.
int ScaleBarPosition(double printScale, int barMax);

// The printed rectangle in device pixels from the four fields (in the unit).
TRect PrintRect(const TPageGeometry& page, double left, double top, double width, double height);

// The crop marks around a printed rectangle, each segment drawn from p1
// towards p2 with p2 itself left out (flat pen caps): eight corner marks from
// 0.8 cm to 0.1 cm away from the picture's edge lines, and two middle marks
// when the picture is at least 1.5 times longer than wide.
std::vector<QLineF> CropMarkSegments(const TPageGeometry& page, const TRect& printRect, int imageWidth,
                                     int imageHeight);

// A bound as announced with two decimals: never above the true bound (a page
// 21.0 wide is announced as 20.99). The messages show it cut to two decimals.
double ShownBound(double v);

// The four range checks of the size and position fields, in the unit. The
// margin bounds come from the picture's size as last applied (zoomed width and
// height in device pixels). Returns 0 when all hold, otherwise the number of
// the first check that fails (1 width, 2 height, 3 left, 4 top) and its message.
int CheckLayoutRanges(const TPageGeometry& page, int zoomWidthPx, int zoomHeightPx, double width, double height,
                      double left, double top, QString& message);

#include "dialogs/PrintLayout.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

#include "display/ImgZoom.h"

bool ReadPageSize(int widthPx, int heightPx, double dpi, bool inch, TPageGeometry& page) {
  if (widthPx <= 0 || heightPx <= 0 || !(dpi > 0) || !std::isfinite(dpi)) return false;
  page.WidthPx = widthPx;
  page.HeightPx = heightPx;
  page.Inch = inch;
  page.WidthUnit = widthPx / dpi * 2.54;
  page.HeightUnit = heightPx / dpi * 2.54;
  if (inch) {
    page.WidthUnit /= 2.54;
    page.HeightUnit /= 2.54;
  }
  return true;
}

double UnitFromPixels(const TPageGeometry& page, double pixels, bool horizontal) {
  return horizontal ? pixels * page.WidthUnit / page.WidthPx : pixels * page.HeightUnit / page.HeightPx;
}

int PixelsFromUnit(const TPageGeometry& page, bool horizontal, double value) {
  const double px = horizontal ? value * page.WidthPx / page.WidthUnit : value * page.HeightPx / page.HeightUnit;
  // Fields hold at most 1000 units; the clamp only keeps damaged input from
  // overflowing the conversion.
  return int(RoundEven(std::clamp(px, -1e9, 1e9)));
}

bool PrintsPortrait(int imageWidth, int imageHeight) { return imageWidth < imageHeight; }

TPreviewGeometry PreviewGeometry(const TPageGeometry& page) {
  TPreviewGeometry g;
  if (page.HeightPx < page.WidthPx) {
    g.Width = PreviewLongSide;
    g.Scale = double(PreviewLongSide) / page.WidthPx;
    g.Height = int(RoundEven(page.HeightPx * g.Scale));
  } else {
    g.Height = PreviewLongSide;
    g.Scale = double(PreviewLongSide) / page.HeightPx;
    g.Width = int(RoundEven(page.WidthPx * g.Scale));
  }
  return g;
}

double FitFactor(int imageWidth, int imageHeight, const TPageGeometry& page) {
  if (imageWidth <= 0 || imageHeight <= 0 || page.WidthPx <= 0 || page.HeightPx <= 0) return 0;
  return std::min(double(page.WidthPx) / imageWidth, double(page.HeightPx) / imageHeight);
}

int ScaleBarMax(double fitFactor) { return std::max(1, int(std::trunc(std::min(fitFactor * 10, 1e9)))); }

double InitialPrintScale(double fitFactor) { return std::min(0.8 * fitFactor, 5.0); }

int ScaleBarPosition(double printScale, int barMax) {
  return int(std::clamp<long long>(RoundEven(std::min(printScale * 10, 1e9)), 1, std::max(1, barMax)));
}

TRect PrintRect(const TPageGeometry& page, double left, double top, double width, double height) {
  const int l = PixelsFromUnit(page, true, left);
  const int t = PixelsFromUnit(page, false, top);
  return TRect{l, t, l + PixelsFromUnit(page, true, width), t + PixelsFromUnit(page, false, height)};
}

std::vector<QLineF> CropMarkSegments(const TPageGeometry& page, const TRect& r, int imageWidth, int imageHeight) {
  // Both distances use the horizontal conversion.
  const double far = PixelsFromUnit(page, true, page.Inch ? 0.8 / 2.54 : 0.8);
  const double near = PixelsFromUnit(page, true, page.Inch ? 0.1 / 2.54 : 0.1);
  const double l = r.Left, t = r.Top, rt = r.Right, b = r.Bottom;
  std::vector<QLineF> s = {
      {l - far, t, l - near, t},   {l, t - far, l, t - near},    // top-left
      {rt + far, t, rt + near, t}, {rt, t - far, rt, t - near},  // top-right
      {rt + far, b, rt + near, b}, {rt, b + far, rt, b + near},  // bottom-right
      {l - far, b, l - near, b},   {l, b + far, l, b + near},    // bottom-left
  };
  if (imageWidth > 0 && imageHeight > 0) {
    const double ratio = double(imageWidth) / imageHeight;
    if (std::max(ratio, 1 / ratio) >= 1.5) {
      if (imageWidth > imageHeight) {
        const double x = r.Left + (r.Right - r.Left) / 2;
        s.push_back({x, t - far, x, t - near});
        s.push_back({x, b + far, x, b + near});
      } else {
        const double y = r.Top + (r.Bottom - r.Top) / 2;
        s.push_back({l - far, y, l - near, y});
        s.push_back({rt + far, y, rt + near, y});
      }
    }
  }
  return s;
}

double ShownBound(double v) { return std::max(v - 0.005, 0.0); }

namespace {

QString Number(double v) { return QLocale().toString(v, 'f', 2); }

// A shown bound with two decimals, cut rather than rounded: 21.0 - 0.005 is
// 20.995 in decimal but may sit just above it in binary, and must read 20.99.
QString BoundText(double v) { return Number(std::floor(ShownBound(v) * 100 + 1e-7) / 100); }

}  // namespace

int CheckLayoutRanges(const TPageGeometry& page, int zoomWidthPx, int zoomHeightPx, double width, double height,
                      double left, double top, QString& message) {
  constexpr double minSize = 1.0;
  const double maxX = std::max(page.WidthUnit - UnitFromPixels(page, zoomWidthPx, true), 0.0);
  const double maxY = std::max(page.HeightUnit - UnitFromPixels(page, zoomHeightPx, false), 0.0);
  if (width < minSize || width > page.WidthUnit) {
    message = QStringLiteral("The width must lie between %1 and %2 !").arg(Number(minSize), BoundText(page.WidthUnit));
    return 1;
  }
  if (height < minSize || height > page.HeightUnit) {
    message =
        QStringLiteral("The height must lie between %1 and %2 !").arg(Number(minSize), BoundText(page.HeightUnit));
    return 2;
  }
  if (left > maxX) {
    message = QStringLiteral("The left margin must be lower or equal to %1 !").arg(BoundText(maxX));
    return 3;
  }
  if (top > maxY) {
    message = QStringLiteral("The top margin must be lower or equal to %1 !").arg(BoundText(maxY));
    return 4;
  }
  return 0;
}

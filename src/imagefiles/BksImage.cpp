#include "imagefiles/BksImage.h"

#include <algorithm>
#include <string>

#include "app/InterfaceTexts.h"
#include "app/MyMsgDlg.h"
#include "raster/ColorAdjust.h"

bool ShapeFileErrors = true;

bool LoadShapeFromStream(TShapeManager& shapes, std::span<const std::uint8_t> data, TMyShape& kind, TRect& bounds) {
  if (shapes.ReadSelection(data, kind, bounds).empty()) return true;
  if (ShapeFileErrors) MyMessageDlg(LangText(lsInvalidData), mkError, btOk);
  return false;
}

void TBksImage::ReadBytes(TBytes data) {
  TShapeManager shapes;
  TMyShape kind = ssRect;
  TRect bounds;
  // The silent read: no message while a picture is being loaded.
  const std::string problem = shapes.ReadSelection(data, kind, bounds);
  if (!problem.empty()) throw EImageError("BKS: " + problem);

  const std::int64_t margin = std::max<std::int64_t>(bounds.Right, bounds.Bottom) / 12;
  const std::int64_t width = bounds.Right + 2 * margin, height = bounds.Bottom + 2 * margin;
  // A shape is a few numbers, but the mask is painted pixel by pixel: it
  // obeys the same share of pixels per byte of file as any picture.
  CheckPictureSize(width, height);

  TBitmap mask(int(width), int(height), pf24bit);
  mask.Fill(clWhite);
  const int m = int(margin);
  const TRect placed{bounds.Left + m, bounds.Top + m, bounds.Right + m, bounds.Bottom + m};
  TShapeCanvas canvas(mask);
  canvas.Brush.Color = clBlack;
  canvas.Pen.Color = clBlack;
  shapes.Draw(canvas, placed, 0, kind);
  if (kind != ssRect) SmoothMaskEdges(mask, FullRect, 33);
  m_bitmap.Assign(&mask);
}

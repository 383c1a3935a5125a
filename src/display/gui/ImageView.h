#pragma once
// Unit MyGraphic.
// TMyImage: the scrolling view that holds the working picture and shows it at
// a zoom factor, `Marge` pixels from the top-left corner of its content, with
// a one-pixel border, a soft drop shadow, an optional transparency
// checkerboard and pixel grid, on a background colour.
//
// With SelectionMode smShape or smLine a left drag tracks a selection (an
// area shape, a line, or a polygon, point by point when MultiLine is set)
// whose exclusive-or outline is drawn over the picture while it lasts, and
// OnSelection reports it. With smNone, the application's setting, a press
// changes nothing and moves only set the cursor.
#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>

#include "display/ImgZoom.h"
#include "display/ShapeManager.h"
#include "raster/Bitmap.h"
#include "raster/Color.h"
#include "raster/RectUtils.h"

class QMenu;

enum TBorderStyle : std::uint8_t { bsNone = 0, bsSingle = 1 };
enum TSelMode : std::uint8_t { smNone = 0, smShape = 1, smLine = 2 };
enum TOptimizeMode : std::uint8_t {
  omNone = 0,       // plain stretching
  omReduction = 1,  // smooth when the zoom is below 1
  omSystem = 2,     // always smooth
};
// What OnSelection reports; 3 is never passed.
enum TSelOption : std::uint8_t { soBegin = 0, soChange = 1, soEnd = 2, soCancel = 4 };

class TMyImage : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TMyImage(QWidget* parent = nullptr);
  ~TMyImage() override;

  // The picture. Whoever changes it calls BitmapChanged afterwards.
  TBitmap& Bitmap() { return *m_bitmap; }
  const TBitmap& Bitmap() const { return *m_bitmap; }
  // Shows a picture kept elsewhere (a document's) instead of the view's own;
  // nullptr goes back to its own. The view keeps a pointer to it: the picture
  // must outlive the view or be taken back first.
  void ShowBitmap(TBitmap* picture);
  // The picture's pixels or size changed: the view drops what it drew from
  // the old one, lays itself out again and repaints.
  void BitmapChanged();
  TImageZoom& Zoomer() { return m_zoomer; }
  // The shape being tracked; a completed polygon is left in its Stored
  // points, in picture pixels.
  TShapeManager& ShapeManager() { return m_shapeManager; }

  // Background of everything that is not picture, base of the shadow and of
  // the checkerboard. Until set, the parent's window colour.
  TColor Color() const;
  void SetColor(TColor color);

  // A factor <= 0 becomes 1. Setting it always lays out and repaints.
  double Zoom() const { return m_zoomer.Zoom(); }
  void SetZoom(double zoom);

  TBorderStyle BorderStyle() const { return m_borderStyle; }
  void SetBorderStyle(TBorderStyle style);

  // Margin in client pixels around the picture on each side.
  int Marge() const { return m_marge; }
  void SetMarge(int marge);

  Qt::CursorShape DefaultCursor() const { return m_defaultCursor; }
  void SetDefaultCursor(Qt::CursorShape cursor);
  Qt::CursorShape ImgCursor() const { return m_imgCursor; }
  void SetImgCursor(Qt::CursorShape cursor);

  // Paint through an off-screen 24-bit bitmap of the client size.
  bool DoubleBuffer = false;
  TSelMode SelectionMode = smNone;

  // Accepted only while no selection is tracked; SelShape takes the area
  // kinds, LineShape ssLine and ssLineWidth.
  TMyShape SelShape() const { return m_selShape; }
  void SetSelShape(TMyShape shape);
  TMyShape LineShape() const { return m_lineShape; }
  void SetLineShape(TMyShape shape);

  TOptimizeMode OptimizeMode() const { return m_optimizeMode; }
  void SetOptimizeMode(TOptimizeMode mode);

  // clNone: no border.
  TColor BorderColor() const { return m_borderColor; }
  void SetBorderColor(TColor color);

  // 0 to 7; anything else becomes 0 (no shadow).
  int ShadowSize() const { return m_shadowSize; }
  void SetShadowSize(int size);

  int GridWidth = 16;  // picture pixels between grid lines
  bool GridAlign = false;
  TColor GridColor = 0xC0C0C0;
  bool ShowGrid = false;
  // A polygon is built click by click (a click near the first point, a
  // double click or Enter ends it) instead of along a drag.
  bool MultiLine = false;
  int MinSelSize = 8;  // smallest selection side in client pixels

  // Shown on a right click (not owned).
  QMenu* PopupMenu() const { return m_popupMenu; }
  void SetPopupMenu(QMenu* menu) { m_popupMenu = menu; }

  // Called after every paint with a painter clipped to the repainted area.
  std::function<void(TMyImage& sender, QPainter& canvas)> OnPaint;
  // Called as a selection begins, changes, ends or is cancelled; r in client
  // coordinates.
  std::function<void(TMyImage& sender, const TRect& r, TSelOption option)> OnSelection;
  // Mouse events, after the view's own handling.
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp, OnDblClick;

  // 0 idle, 1 left button down (selection not yet begun), 2 tracking.
  int SelState() const { return m_selState; }
  // The tracked selection, or the last one once it ended; a line runs from
  // (Left, Top) to (Right, Bottom).
  TRect SelRect() const { return m_selRect; }

  // Hides the scroll bars and zooms the picture to fit the whole control.
  void ZoomToFit();
  // Zooms so that the picture with its margins is w wide, or h high when
  // that is the tighter limit.
  void ZoomToSize(int w, int h);

  // The client area: the viewport's own coordinates.
  TRect ClientRect() const;
  // Where the picture is drawn, in client coordinates.
  TRect ImageRect() const;
  TRect VisibleImageRect() const;
  // The scroll ranges: the content's extent (zoomed picture plus margins).
  int HorzRange() const { return m_rangeW; }
  int VertRange() const { return m_rangeH; }

  TRect ClientToImageRect(const TRect& r) const;
  TRect ImageToClientRect(const TRect& r) const;
  TPoint ClientToImagePoint(TPoint p) const;
  TPoint ImageToClientPoint(TPoint p) const;
  TPoint SnapPointToPixel(TPoint p) const;
  TRect SnapRectToGrid(const TRect& r) const;

  // Shows ImgCursor over the picture and DefaultCursor elsewhere when the
  // mouse is inside the client area.
  void UpdateCursor();
  // Sets the scroll ranges to the content's extent.
  void UpdateLayout();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void ApplyRanges();
  void ApplyCursor(QPoint pos);
  TPoint PicturePos() const;
  double SafeZoom() const;

  void PaintContents(QPainter& p, const QRect& clip, TBitmap* buffer);
  void PaintBackground(QPainter& p);
  void PaintGrid(QPainter& p, const QRect& clip);
  const TBitmap& CheckerTile();

  // Selection tracking.
  void PressStep(QMouseEvent* event, bool doubleClick);
  bool PointByPoint() const;
  bool TrackingPolygon() const { return m_trackShape == ssPolygon; }
  bool TrackingLine() const { return m_trackShape == ssLine || m_trackShape == ssLineWidth; }
  void BeginTracking();
  void TrackTo(QPoint pos, bool shift);
  void ClickPolygonPoint(QPoint pos);
  void RemovePolygonPoint();
  void FinishSelection();
  void EndTracking(TSelOption option);
  void ResetTracking();
  TRect PolygonRect() const;
  TRect OutlineArea() const;
  void RefreshOutline(const TRect& before);
  void DrawOutline(TShapeCanvas& canvas);
  void Notify(const TRect& r, TSelOption option);

  TBitmap m_ownBitmap;
  TBitmap* m_bitmap = &m_ownBitmap;
  TImageZoom m_zoomer;
  TShapeManager m_shapeManager;
  TBitmap m_checkerTile;
  TColor m_checkerColor = clNone;  // the colour the tile was made with

  TColor m_color = clDefault;  // clDefault: the parent's colour
  TBorderStyle m_borderStyle = bsSingle;
  int m_marge = 8;
  Qt::CursorShape m_defaultCursor = Qt::ArrowCursor;
  Qt::CursorShape m_imgCursor = Qt::ArrowCursor;
  TMyShape m_selShape = ssRect;
  TMyShape m_lineShape = ssLineWidth;
  TOptimizeMode m_optimizeMode = omNone;
  TColor m_borderColor = clNone;
  int m_shadowSize = 0;
  QMenu* m_popupMenu = nullptr;

  bool m_layoutDirty = false;
  int m_rangeW = -1, m_rangeH = -1;
  int m_lastHorz = 0, m_lastVert = 0;  // scroll positions at the last layout or scroll

  // Selection tracking state, at rest while SelectionMode is smNone.
  int m_selState = 0;
  TRect m_selRect;
  TPoint m_selStart;         // press point; a polygon's first point once snapped
  TPoint m_lastPoint;        // free end of a polygon's rubber-band segment
  QPoint m_lastMouse;        // position of the last tracking step
  bool m_shiftDown = false;  // Shift at the last tracking step
  TMyShape m_trackShape = ssRect;
  int m_savedLineWidth = 0;  // LineWidth before a wide line was tracked
  bool m_lineWidthSet = false;
};

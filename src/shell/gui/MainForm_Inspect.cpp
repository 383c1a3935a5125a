// The inspection of a matched mosaic: the cell under the mouse, its photo
// in the status bar, outlined in the view, and opened from the context menu;
// the space bar held on the view shows the picture before the mosaic.
// It lasts while the picture's pixels are the mosaic's: any change (undo,
// open, resize, paste) gives the picture new pixels and ends it.
#include <QAction>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <functional>
#include <utility>

#include "display/gui/ImageView.h"
#include "shell/gui/MainForm.h"

namespace {

// The space bar on the view: held, the picture before the mosaic.
class TCompareKey : public QObject {
 public:
  TCompareKey(QObject* parent, std::function<void(bool)> hold) : QObject(parent), m_hold(std::move(hold)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
      const auto* key = static_cast<QKeyEvent*>(event);
      if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier) {
        if (!key->isAutoRepeat()) m_hold(event->type() == QEvent::KeyPress);
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void(bool)> m_hold;
};

}  // namespace

void TMainForm::SetComparing(bool comparing) {
  CheckInspection();
  if (comparing == m_comparing) return;
  m_comparing = comparing;
  ImageView->viewport()->update();
}

void TMainForm::StartInspection() {
  CheckInspection();
  m_inspectedPicture = WorkingImage().Image().cacheKey();
  m_inspectedCell = -1;
  ImageView->OnMouseMove = [this](QMouseEvent* event) { InspectAt(event->position().toPoint()); };
  ImageView->OnPaint = [this](TMyImage&, QPainter& canvas) { PaintInspection(canvas); };
  if (!m_compareKey) {
    m_compareKey = new TCompareKey(ImageView, [this](bool held) { SetComparing(held); });
    ImageView->installEventFilter(m_compareKey);
  }
}

bool TMainForm::Inspecting() const {
  return m_inspectedPicture != 0 && MosaicResult.Matched() && !Document.Picture().Empty() &&
         Document.Picture().Image().cacheKey() == m_inspectedPicture;
}

void TMainForm::CheckInspection() {
  if (m_inspectedPicture == 0 || Inspecting()) return;
  m_inspectedPicture = 0;
  m_inspectedCell = -1;
  m_comparing = false;
  if (!m_inspectStatus.isEmpty() && StatusPanel[0]->text() == m_inspectStatus)
    StatusPanel[0]->setText(m_statusBeforeInspect);
  m_inspectStatus.clear();
  ImageView->viewport()->update();
}

int TMainForm::CellAt(QPoint viewportPoint) const {
  if (!Inspecting()) return -1;
  const TRect r = ImageView->ImageRect();
  if (viewportPoint.x() < r.Left || viewportPoint.x() >= r.Right || viewportPoint.y() < r.Top ||
      viewportPoint.y() >= r.Bottom)
    return -1;
  const TPoint p = ImageView->ClientToImagePoint(TPoint{viewportPoint.x(), viewportPoint.y()});
  const TMatchPlacement& placement = MosaicResult.Placement;
  const TTileSize cell = MosaicResult.Cell;
  if (cell.Width <= 0 || cell.Height <= 0) return -1;
  const int column = p.X / cell.Width, row = p.Y / cell.Height;
  if (column >= placement.Columns || row >= placement.Rows) return -1;
  return row * placement.Columns + column;
}

void TMainForm::InspectAt(QPoint viewportPoint) {
  CheckInspection();
  if (m_inspectedPicture == 0 || Busy()) return;
  const int cell = CellAt(viewportPoint);
  if (cell == m_inspectedCell) return;
  m_inspectedCell = cell;
  ImageView->viewport()->update();
  const bool ours = !m_inspectStatus.isEmpty() && StatusPanel[0]->text() == m_inspectStatus;
  if (cell < 0 || size_t(cell) >= MosaicResult.Placement.Thumbnail.size()) {
    if (ours) StatusPanel[0]->setText(m_statusBeforeInspect);
    m_inspectStatus.clear();
    return;
  }
  if (!ours) m_statusBeforeInspect = StatusPanel[0]->text();
  const int photo = MosaicResult.Placement.Thumbnail[size_t(cell)];
  const QStringList& files = MosaicResult.LibraryLoad.Loaded;
  const QString name = photo >= 0 && photo < files.size() ? QFileInfo(files[photo]).fileName() : QString();
  const int tint = size_t(cell) < MosaicResult.Placement.Tint.size() ? MosaicResult.Placement.Tint[size_t(cell)] : 0;
  m_inspectStatus = QStringLiteral("%1, tint %2 %").arg(name).arg(tint);
  StatusPanel[0]->setText(m_inspectStatus);
}

void TMainForm::PaintInspection(QPainter& canvas) {
  if (Comparing()) {
    // Where the mosaic is, at its size: "Check size" may have enlarged it.
    const TRect r = ImageView->ImageRect();
    canvas.drawImage(QRect(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top), Document.UndoCopy().Image());
    return;
  }
  const int cell = InspectedCell();
  if (cell < 0) return;
  const TTileSize size = MosaicResult.Cell;
  const int column = cell % MosaicResult.Placement.Columns, row = cell / MosaicResult.Placement.Columns;
  const int right = std::min((column + 1) * size.Width, WorkingImage().Width());
  const int bottom = std::min((row + 1) * size.Height, WorkingImage().Height());
  const TRect r = ImageView->ImageToClientRect(TRect{column * size.Width, row * size.Height, right, bottom});
  // Black inside white: seen on any photo.
  const QRect outer(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  canvas.setBrush(Qt::NoBrush);
  canvas.setPen(QPen(Qt::white, 1));
  canvas.drawRect(outer.adjusted(0, 0, -1, -1));
  canvas.setPen(QPen(Qt::black, 1));
  canvas.drawRect(outer.adjusted(1, 1, -2, -2));
}

void TMainForm::PopOuvrirPhotoClick() {
  const int cell = InspectedCell();
  if (cell < 0 || size_t(cell) >= MosaicResult.Placement.Thumbnail.size()) return;
  const int photo = MosaicResult.Placement.Thumbnail[size_t(cell)];
  const QStringList& files = MosaicResult.LibraryLoad.Loaded;
  if (photo < 0 || photo >= files.size()) return;
  // The window's own way in: it asks to save a changed picture first.
  OpenFile(files[photo], true);
}

// Unit Apropos.
#include "dialogs/gui/AboutBox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <functional>

#include "app/PathAndTextHelpers.h"
#include "app/Version.h"

namespace {

// A label that reacts to a click like a link.
class TLinkLabel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick) OnClick();
  }
};

QColor Mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                          float(a.greenF() + (b.greenF() - a.greenF()) * t),
                          float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The scene before it is laid in tiles.
QImage ArtworkScene() {
  QImage scene(96, 200, QImage::Format_RGB32);
  QPainter p(&scene);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 124);
  sky.setColorAt(0, QColor(10, 16, 58));
  sky.setColorAt(1, QColor(88, 70, 140));
  p.fillRect(0, 0, 96, 124, sky);
  QLinearGradient sea(0, 124, 0, 200);
  sea.setColorAt(0, QColor(36, 52, 112));
  sea.setColorAt(1, QColor(6, 12, 40));
  p.fillRect(0, 124, 96, 76, sea);
  // The moon, with a few darker seas of its own.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(252, 240, 190));
  p.drawEllipse(QPointF(48, 62), 30, 30);
  p.setBrush(QColor(222, 206, 150));
  p.drawEllipse(QPointF(38, 54), 9, 7);
  p.drawEllipse(QPointF(58, 72), 7, 6);
  p.drawEllipse(QPointF(54, 48), 4, 4);
  // Its road of light on the water, narrowing towards the shore.
  for (int y = 128; y < 200; y += 6) {
    const double t = (y - 128) / 72.0;
    const double half = 22 - 14 * t;
    p.setBrush(Mix(QColor(250, 230, 170), QColor(60, 70, 130), t));
    p.drawRect(QRectF(48 - half, y, 2 * half, 3));
  }
  p.setBrush(QColor(235, 235, 255));
  for (const QPointF star : {QPointF(10, 14), QPointF(84, 22), QPointF(20, 104), QPointF(88, 96), QPointF(70, 8)})
    p.drawEllipse(star, 1.2, 1.2);
  return scene;
}

}  // namespace

QImage AproposArtwork() {
  // Each 8 x 8 cell takes the average colour of the scene beneath it and is
  // drawn as a small bevelled tile in a dark joint.
  const QImage scene = ArtworkScene();
  QImage art(96, 200, QImage::Format_RGB32);
  art.fill(QColor(20, 20, 28));
  constexpr int cell = 8;
  for (int top = 0; top < 200; top += cell) {
    for (int left = 0; left < 96; left += cell) {
      long r = 0, g = 0, b = 0, n = 0;
      for (int y = top; y < std::min(top + cell, 200); ++y)
        for (int x = left; x < left + cell; ++x) {
          const QRgb c = scene.pixel(x, y);
          r += qRed(c), g += qGreen(c), b += qBlue(c), ++n;
        }
      const QColor face(int(r / n), int(g / n), int(b / n));
      const int h = std::min(cell, 200 - top);
      for (int y = 0; y < h - 1; ++y)
        for (int x = 0; x < cell - 1; ++x) {
          QColor c = face;
          if (x == 0 || y == 0)
            c = face.lighter(125);
          else if (x == cell - 2 || y == h - 2)
            c = face.darker(125);
          art.setPixel(left + x, top + y, c.rgb());
        }
    }
  }
  return art;
}

QString VersionText() {
  return QStringLiteral("Version %1 (%2)")
      .arg(QStringLiteral(TESSELUNE_VERSION_TEXT), QStringLiteral(TESSELUNE_BUILD_MONTH));
}

TAProposForm::TAProposForm(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Tesselune"));
  setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
  QPalette black = palette();
  black.setColor(QPalette::WindowText, Qt::black);
  setPalette(black);

  auto* panel1 = new QFrame(this);
  panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel1->setLineWidth(2);
  panel1->setGeometry(16, 16, 305, 226);

  auto* panel2 = new QFrame(panel1);
  panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel2->setLineWidth(1);
  panel2->setGeometry(12, 12, 98, 202);
  Image1 = new QLabel(panel2);
  Image1->setGeometry(1, 1, 96, 200);
  Image1->setPixmap(QPixmap::fromImage(AproposArtwork()));

  ProductName = new QLabel(QStringLiteral("Tesselune"), panel1);
  QFont big = ProductName->font();
  big.setBold(true);
  big.setPixelSize(16);
  ProductName->setFont(big);
  ProductName->adjustSize();
  ProductName->move(127, 24);

  Version = new QLabel(VersionText(), panel1);
  QFont bold = Version->font();
  bold.setBold(true);
  Version->setFont(bold);
  Version->adjustSize();
  Version->move(128, 52);

  auto* bevel1 = new QFrame(panel1);
  bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  bevel1->setGeometry(128, 80, 151, 2);

  // Rows keep their designed places unless the font is taller than the
  // font they were laid out for.
  const int line = fontMetrics().height();
  const int notice1 = 96, notice2 = std::max(114, notice1 + line + 2);
  const int link1 = std::max(140, notice2 + line + 8), link2 = std::max(156, link1 + line + 1);
  auto* label3 = new QLabel(QStringLiteral("Photo mosaics made"), panel1);
  label3->adjustSize();
  label3->move(128, notice1);
  auto* label4 = new QLabel(QStringLiteral("from your own pictures."), panel1);
  label4->adjustSize();
  label4->move(128, notice2);

  const QString infoPage =
      BundledPath(QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(".htm"));
  const QString samples = BundledPath(QStringLiteral("Thumbnails"));
  m_infoUrl = QUrl::fromLocalFile(infoPage);
  m_sampleUrl = QUrl::fromLocalFile(samples);
  const auto makeLink = [this, panel1](const QString& caption, int top) {
    auto* link = new TLinkLabel(caption, panel1);
    QPalette blue = link->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    link->setPalette(blue);
    QFont underlined = link->font();
    underlined.setUnderline(true);
    link->setFont(underlined);
    link->setCursor(Qt::PointingHandCursor);
    link->adjustSize();
    link->move(128, top);
    link->OnClick = [this, link] { URLClick(link); };
    return link;
  };
  URL = makeLink(QFileInfo(infoPage).fileName(), link1);
  Label2 = makeLink(QFileInfo(samples).fileName(), link2);

  // The designed box is the least: a wider font widens the panel to its
  // longest text, and the box and the Ok button follow.
  int panelWidth = 305;
  for (const QLabel* label : panel1->findChildren<QLabel*>(Qt::FindDirectChildrenOnly))
    panelWidth = std::max(panelWidth, label->geometry().right() + 1 + 16);
  panel1->resize(panelWidth, 226);
  const int clientWidth = panelWidth + 32;

  Button1 = new QPushButton(QStringLiteral("Ok"), this);
  Button1->setGeometry(clientWidth - 16 - 75, 252, 75, 25);
  Button1->setDefault(true);
  connect(Button1, &QPushButton::clicked, this, [this] { done(1); });
  setFixedSize(clientWidth, 292);
}

void TAProposForm::URLClick(QLabel* sender) {
  if (sender == URL)
    QDesktopServices::openUrl(m_infoUrl);
  else if (sender == Label2)
    QDesktopServices::openUrl(m_sampleUrl);
}

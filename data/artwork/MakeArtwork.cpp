// Draws the program's own artwork: the six toolbar pictures (39 x 34, on a
// transparent background) and the application icon at the sizes of the
// desktop's icon theme. The pictures are committed; run
// scripts/make-artwork.sh after changing this file to draw them again.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

namespace {

constexpr int ButtonWidth = 39;
constexpr int ButtonHeight = 34;

QImage Canvas(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  return image;
}

void Begin(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
}

QPen Outline(QColor colour, qreal width = 1.0) {
  QPen pen(colour, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

// 0: "Save as": a diskette.
QImage SaveImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  QPainterPath body;
  body.moveTo(7.5, 3.5);
  body.lineTo(28.5, 3.5);
  body.lineTo(32.5, 7.5);
  body.lineTo(32.5, 30.5);
  body.lineTo(6.5, 30.5);
  body.lineTo(6.5, 4.5);
  body.closeSubpath();
  p.setPen(Outline(QColor(20, 30, 80)));
  p.setBrush(QColor(48, 78, 160));
  p.drawPath(body);
  // The shutter with its window.
  p.setPen(Outline(QColor(90, 90, 100)));
  p.setBrush(QColor(200, 205, 215));
  p.drawRect(QRectF(11.5, 3.5, 15, 9));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(48, 78, 160));
  p.drawRect(QRectF(21, 5, 3.5, 6));
  // The label.
  p.setPen(Outline(QColor(150, 150, 160)));
  p.setBrush(QColor(250, 250, 245));
  p.drawRect(QRectF(10.5, 17.5, 18, 11));
  p.setPen(Outline(QColor(170, 60, 60)));
  p.drawLine(QPointF(13, 21), QPointF(26, 21));
  p.setPen(Outline(QColor(120, 120, 140)));
  p.drawLine(QPointF(13, 25), QPointF(24, 25));
  return image;
}

// 1: "Print": a printer with a sheet.
QImage PrintImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  // The sheet going in.
  p.setPen(Outline(QColor(120, 120, 130)));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(11.5, 2.5, 16, 13));
  p.setPen(Outline(QColor(70, 110, 190)));
  for (int y = 6; y <= 12; y += 3) p.drawLine(QPointF(14, y), QPointF(25, y));
  // The body.
  QLinearGradient body(0, 13, 0, 27);
  body.setColorAt(0, QColor(215, 215, 220));
  body.setColorAt(1, QColor(140, 140, 150));
  p.setPen(Outline(QColor(60, 60, 70)));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(4.5, 13.5, 30, 13), 2.5, 2.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 80));
  p.drawEllipse(QPointF(29, 17.5), 1.6, 1.6);
  // The printed sheet coming out.
  p.setPen(Outline(QColor(120, 120, 130)));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(10.5, 22.5, 18, 9));
  p.setPen(Outline(QColor(200, 80, 60)));
  p.drawLine(QPointF(13, 26), QPointF(26, 26));
  p.drawLine(QPointF(13, 29), QPointF(22, 29));
  return image;
}

// 2: "Create the mosaic": a square of tiles, light towards one corner.
QImage MosaicImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  const QColor colours[] = {QColor(230, 80, 60),  QColor(245, 170, 40), QColor(250, 220, 70), QColor(90, 180, 80),
                            QColor(60, 150, 210), QColor(110, 90, 200), QColor(220, 90, 160)};
  const int cell = 7;
  const int left = 5, top = 3;
  for (int row = 0; row < 4; ++row)
    for (int col = 0; col < 4; ++col) {
      const QColor c = colours[(row * 5 + col * 3) % 7];
      p.setPen(Outline(c.darker(160)));
      p.setBrush(c);
      p.drawRect(QRectF(left + col * cell + 0.5, top + row * cell + 0.5, cell - 1, cell - 1));
    }
  // A sparkle: the command makes something.
  QPainterPath star;
  const QPointF centre(30.5, 25.5);
  for (int i = 0; i < 8; ++i) {
    const qreal r = (i % 2 == 0) ? 7.5 : 2.5;
    const qreal a = i * 3.14159265358979 / 4;
    const QPointF pt(centre.x() + r * std::sin(a), centre.y() - r * std::cos(a));
    if (i == 0)
      star.moveTo(pt);
    else
      star.lineTo(pt);
  }
  star.closeSubpath();
  p.setPen(Outline(QColor(150, 110, 0)));
  p.setBrush(QColor(255, 235, 90));
  p.drawPath(star);
  return image;
}

// 3: "Image size": a small landscape and a double arrow across it.
QImage ResizeImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  QLinearGradient sky(0, 4, 0, 24);
  sky.setColorAt(0, QColor(120, 180, 240));
  sky.setColorAt(1, QColor(210, 235, 255));
  p.setPen(Outline(QColor(50, 60, 90)));
  p.setBrush(sky);
  p.drawRect(QRectF(3.5, 3.5, 24, 19));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 150, 70));
  QPainterPath hill;
  hill.moveTo(4, 22);
  hill.quadTo(12, 12, 20, 18);
  hill.quadTo(24, 15, 27, 17);
  hill.lineTo(27, 22);
  hill.closeSubpath();
  p.drawPath(hill);
  p.setBrush(QColor(255, 210, 60));
  p.drawEllipse(QPointF(21, 9), 2.5, 2.5);
  // The larger frame it grows into.
  QPen dash = Outline(QColor(60, 60, 70));
  dash.setStyle(Qt::DashLine);
  p.setPen(dash);
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(3.5, 3.5, 31, 27));
  // The arrow.
  p.setPen(Outline(QColor(180, 30, 30), 2.0));
  p.drawLine(QPointF(17, 16), QPointF(31, 27));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(180, 30, 30));
  p.drawPolygon(QPolygonF({QPointF(34, 30), QPointF(26, 29), QPointF(32.5, 22.5)}));
  return image;
}

// 4: "Cancel": an arrow turning back.
QImage UndoImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  QPainterPath arc;
  arc.moveTo(12, 12);
  arc.cubicTo(22, 5, 35, 10, 32, 21);
  arc.cubicTo(30, 28, 22, 30, 16, 28);
  p.setBrush(Qt::NoBrush);
  p.setPen(Outline(QColor(20, 70, 140), 6.0));
  p.drawPath(arc);
  p.setPen(Outline(QColor(70, 150, 230), 3.5));
  p.drawPath(arc);
  p.setPen(Outline(QColor(20, 70, 140)));
  p.setBrush(QColor(70, 150, 230));
  p.drawPolygon(QPolygonF({QPointF(3.5, 16.5), QPointF(17.5, 4.5), QPointF(18.5, 19.5)}));
  return image;
}

// 5: "Open": an open folder.
QImage OpenImage() {
  QImage image = Canvas(ButtonWidth, ButtonHeight);
  QPainter p(&image);
  Begin(p);
  QPainterPath back;
  back.moveTo(4.5, 7.5);
  back.lineTo(13.5, 7.5);
  back.lineTo(16.5, 10.5);
  back.lineTo(29.5, 10.5);
  back.lineTo(29.5, 28.5);
  back.lineTo(4.5, 28.5);
  back.closeSubpath();
  p.setPen(Outline(QColor(130, 90, 10)));
  p.setBrush(QColor(215, 160, 40));
  p.drawPath(back);
  // A sheet inside.
  p.setBrush(Qt::white);
  p.setPen(Outline(QColor(140, 140, 140)));
  p.drawRect(QRectF(8.5, 12.5, 18, 12));
  QPainterPath front;
  front.moveTo(4.5, 28.5);
  front.lineTo(10.5, 16.5);
  front.lineTo(35.5, 16.5);
  front.lineTo(29.5, 28.5);
  front.closeSubpath();
  QLinearGradient g(0, 16, 0, 29);
  g.setColorAt(0, QColor(255, 225, 110));
  g.setColorAt(1, QColor(240, 185, 50));
  p.setPen(Outline(QColor(130, 90, 10)));
  p.setBrush(g);
  p.drawPath(front);
  return image;
}

// The application icon: a crescent moon laid in square tiles on a night sky.
QImage AppIcon(int size) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  Begin(p);
  const qreal s = size / 16.0;  // the icon is 16 tiles wide
  p.setBrush(QColor(18, 28, 70));
  p.drawRoundedRect(QRectF(0, 0, size, size), 2 * s, 2 * s);
  const QPointF outer(7.6, 8.0), inner(10.4, 6.4);
  for (int row = 1; row < 15; ++row)
    for (int col = 1; col < 15; ++col) {
      const QPointF c(col + 0.5, row + 0.5);
      const QPointF a = c - outer, b = c - inner;
      const bool lit = a.x() * a.x() + a.y() * a.y() < 6.2 * 6.2 && b.x() * b.x() + b.y() * b.y() > 5.0 * 5.0;
      const int shade = ((row * 7 + col * 11) % 5) * 9;
      QColor tile = lit ? QColor(255, 236 - shade, 140 - shade) : QColor(30 + shade / 2, 50 + shade / 2, 110 + shade);
      p.setBrush(tile);
      const qreal gap = size >= 64 ? 0.12 : 0.0;
      p.drawRect(QRectF((col + gap / 2) * s, (row + gap / 2) * s, (1 - gap) * s, (1 - gap) * s));
    }
  return image;
}

bool Save(const QImage& image, const QDir& dir, const QString& name) {
  const QString path = dir.filePath(name);
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "Cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Nothing is shown: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TOOLBAR_DIR ICON_DIR\n", argv[0]);
    return 2;
  }
  const QDir toolbar(QString::fromLocal8Bit(argv[1])), icons(QString::fromLocal8Bit(argv[2]));
  QDir().mkpath(toolbar.path());
  QDir().mkpath(icons.path());
  // Indexes of the toolbar table: 0 save, 1 print, 2 mosaic, 3 size, 4 undo, 5 open.
  const QImage buttons[] = {SaveImage(), PrintImage(), MosaicImage(), ResizeImage(), UndoImage(), OpenImage()};
  bool ok = true;
  for (int i = 0; i < 6; ++i) ok &= Save(buttons[i], toolbar, QStringLiteral("button%1.png").arg(i));
  for (int size : {32, 48, 64, 128, 256})
    ok &= Save(AppIcon(size), icons, QStringLiteral("tesselune-%1.png").arg(size));
  return ok ? 0 : 1;
}
